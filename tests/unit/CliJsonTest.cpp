#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cli/Json.h"
#include "cli/TextOutput.h"
#include "cli/Values.h"

using namespace varnok::cli;
using nlohmann::json;

namespace {

PortInfo SamplePort() {
    PortInfo p;
    p.port = "COM5";
    p.serial = "A1B2C3D4A";
    p.description = "Varnok Plus 4 A";
    p.deviceId = 0x04036011;
    p.locationId = 0x121;
    p.attached = true;
    p.settings = {0, 10000, 0, 16, true, false, false, true, false, false};
    p.bufferedWrites = {true, 2048, 10, 4};
    p.baudAliases = kStandardAliasRates;
    ConfigBytes bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);
    p.configData = bytes;
    return p;
}

TEST(CliJson, PortsAndAdapters) {
    PortInfo unread = SamplePort();
    unread.port.clear();
    unread.locationId.reset();
    unread.attached = false;
    unread.settings.latencyTimer.reset();
    unread.settings.serialPrinter.reset();
    unread.baudAliases.reset();
    const json j = json::parse(PortsJson({SamplePort(), unread}));
    ASSERT_EQ(j.size(), 2u);
    EXPECT_EQ(j[0]["port"], "COM5");
    EXPECT_EQ(j[0]["deviceId"], "0x04036011");
    EXPECT_EQ(j[0]["locationId"], "0x00000121");
    EXPECT_EQ(j[0]["attached"], true);
    EXPECT_EQ(j[0]["settings"]["minWriteTimeout"], 10000);
    EXPECT_EQ(j[0]["settings"]["serialEnumerator"], true);
    EXPECT_EQ(j[0]["settings"].size(), 10u);
    EXPECT_EQ(j[0]["bufferedWrites"], (json{{"enabled", true}, {"size", 2048}, {"threshold", 10},
                                            {"latency", 4}}));
    EXPECT_EQ(j[0]["baudAliases"]["921600"], 923077);
    EXPECT_EQ(j[0]["baudAliases"]["14400"], 14406);
    EXPECT_EQ(j[0]["baudAliases"].size(), 14u);
    EXPECT_TRUE(j[1]["port"].is_null());
    EXPECT_TRUE(j[1]["locationId"].is_null());
    EXPECT_TRUE(j[1]["settings"]["latencyTimer"].is_null());
    EXPECT_TRUE(j[1]["settings"]["serialPrinter"].is_null());
    EXPECT_TRUE(j[1]["baudAliases"].is_null());
    // Alias rows in the dialog's order, not sorted as texts.
    const std::string text = PortsJson({SamplePort()});
    EXPECT_LT(text.find("\"921600\""), text.find("\"14400\""));
    // A description that is not UTF-8 does not stop the listing.
    PortInfo odd = SamplePort();
    odd.description = "Port \xE9t\xE9";
    EXPECT_NO_THROW({
        const json parsed = json::parse(PortsJson({odd}));
        (void)parsed;
    });

    AdapterInfo standard{"Varnok Plus 4 (7)", "COM9", AdapterModel::Standard,
                         {{1, "COM21", 1, 5}, {2, "", 9, 0}}};
    AdapterInfo reduced{"Apex 2", "COM11", AdapterModel::Reduced, {{1, "COM30", 4, 1}}};
    const json a = json::parse(AdaptersJson({standard, reduced}));
    EXPECT_EQ(a[0]["adapter"], "Varnok Plus 4 (7)");
    EXPECT_EQ(a[0]["via"], "COM9");
    EXPECT_EQ(a[0]["model"], "standard");
    EXPECT_EQ(a[0]["ports"][0], (json{{"number", 1}, {"port", "COM21"}, {"mode", 1},
                                      {"modeName", "rs485-rts-4w"}, {"bias", true},
                                      {"txterm", false}, {"rxterm", true}}));
    EXPECT_TRUE(a[0]["ports"][1]["port"].is_null());
    EXPECT_TRUE(a[0]["ports"][1]["modeName"].is_null());
    EXPECT_EQ(a[1]["ports"][0], (json{{"number", 1}, {"port", "COM30"}, {"mode", 4},
                                      {"modeName", "rs232"}, {"termination", true}}));
}

TEST(CliJson, ExportRoundTrip) {
    PortInfo partly = SamplePort();
    partly.serial = "ZZ9B";
    partly.configData.reset();
    partly.settings.pollingPeriod.reset();
    const std::string text = WriteSettingsDocument(ExportDocument({SamplePort(), partly}, true));
    const json j = json::parse(text);
    EXPECT_EQ(j["format"], "varnokplus-settings");
    EXPECT_EQ(j["version"], 1);
    EXPECT_EQ(j["ignoreSerial"], true);
    EXPECT_EQ(j["ports"][0]["configData"].get<std::string>().substr(0, 8), "00070e15");

    const SettingsDocument doc = ReadSettingsDocument(text);
    EXPECT_EQ(doc.ignoreSerial, true);
    ASSERT_EQ(doc.ports.size(), 2u);
    EXPECT_EQ(doc.ports[0].match, DocumentPort::Match::Serial);
    EXPECT_EQ(doc.ports[0].deviceId, 0x04036011u);
    EXPECT_EQ(doc.ports[0].configData, SamplePort().configData);
    EXPECT_EQ(doc.ports[0].settings.minWriteTimeout, 10000u);
    EXPECT_EQ(doc.ports[0].bufferedWrites.size, 2048u);
    EXPECT_FALSE(doc.ports[1].configData);
    EXPECT_FALSE(doc.ports[1].settings.pollingPeriod);
    // What the reader takes from an export (the list's other keys are
    // information only) survives another round.
    EXPECT_EQ(WriteSettingsDocument(ReadSettingsDocument(WriteSettingsDocument(doc))),
              WriteSettingsDocument(doc));
    EXPECT_EQ(j["ports"][0]["description"], SamplePort().description);

    PortInfo other = SamplePort();
    EXPECT_TRUE(DocumentPortMatches(doc.ports[0], other));
    other.deviceId = 0x04036001;  // same serial, another product id
    EXPECT_FALSE(DocumentPortMatches(doc.ports[0], other));
}

TEST(CliJson, SiteProfileMatchesByIdOrEveryPort) {
    const auto doc = ReadSettingsDocument(R"({
      "format": "varnokplus-settings", "version": 1,
      "ports": [
        {"match": "*", "settings": {"latencyTimer": 1, "serialEnumerator": false}},
        {"deviceId": "0x04036011", "bufferedWrites": {"enabled": false}},
        {"serial": "A1B2C3D4A"}
      ]})");
    EXPECT_FALSE(doc.ignoreSerial);
    ASSERT_EQ(doc.ports.size(), 3u);
    EXPECT_EQ(doc.ports[0].settings.latencyTimer, 1u);
    EXPECT_FALSE(doc.ports[0].settings.minReadTimeout);
    const PortInfo port = SamplePort();
    PortInfo foreign = port;
    foreign.deviceId = 0x04036001;
    foreign.serial = "QQ1A";
    EXPECT_TRUE(DocumentPortMatches(doc.ports[0], foreign));
    EXPECT_TRUE(DocumentPortMatches(doc.ports[1], port));
    EXPECT_FALSE(DocumentPortMatches(doc.ports[1], foreign));
    EXPECT_TRUE(DocumentPortMatches(doc.ports[2], port));
    EXPECT_FALSE(DocumentPortMatches(doc.ports[2], foreign));
}

TEST(CliJson, ReaderRefusesWhatItCannotTake) {
    const std::string head = R"({"format": "varnokplus-settings", "version": 1, "ports": [)";
    struct Case {
        std::string text;
        const char* message;  // part of the message
    };
    const Case cases[] = {
        {R"({"format": "other", "version": 1, "ports": []})", "not a \"varnokplus-settings\""},
        {R"({"version": 1, "ports": []})", "/format"},
        {R"({"format": "varnokplus-settings", "version": 2, "ports": []})", "reads version 1"},
        {R"({"format": "varnokplus-settings", "version": "1", "ports": []})", "/version"},
        {R"([1, 2])", "expected an object"},
        {"{\"format\": \"varnokplus-settings\",\n \"version\": 1,\n \"ports\": [}",
         "line 3, column 12"},
        {"", "line 1, column 1"},
        {R"({"format": "varnokplus-settings", "format": "x", "version": 1, "ports": []})",
         "\"format\" appears twice"},
        {R"({"format": "varnokplus-settings", "version": 1, "ports": [], "extra": 1})",
         "/extra: unknown key"},
        {R"({"format": "varnokplus-settings", "version": 1})", "/ports"},
        {head + R"({"match": "*", "settings": {"latencyTimer": 300}}]})",
         "/ports/0/settings/latencyTimer: 300 is out of range (1 to 255)"},
        {head + R"({"match": "*", "settings": {"latencyTimer": -1}}]})", "out of range"},
        {head + R"({"match": "*", "settings": {"latencyTimer": 1.5}}]})", "not a whole number"},
        {head + R"({"match": "*", "settings": {"latencyTimer": "1"}}]})", "found string"},
        {head + R"({"match": "*", "settings": {"latencytimer": 1}}]})", "unknown setting"},
        {head + R"({"match": "*", "settings": {"serialPrinter": 1}}]})", "expected true, false"},
        {head + R"({"match": "*", "bufferedWrites": {"size": 5000}}]})", "/ports/0/bufferedWrites/size"},
        {head + R"({"match": "*", "bufferedWrites": {"enabled": true, "treshold": 5}}]})",
         "/ports/0/bufferedWrites/treshold: unknown key"},
        {head + R"({"match": "COM*"}]})", "/ports/0/match"},
        {head + R"({"match": "*", "serial": "A"}]})", "goes without serial"},
        {head + R"({"port": "COM5"}]})", "needs \"serial\", \"deviceId\""},
        {head + R"({"deviceId": "04036001"}]})", "/ports/0/deviceId"},
        {head + R"({"deviceId": "0x4036001Z"}]})", "/ports/0/deviceId"},
        {head + R"({"serial": 5}]})", "/ports/0/serial"},
        {head + R"({"serial": "A", "configData": "00"}]})", "128 hex digits"},
        {head + R"({"serial": "A", "configData": ")" + std::string(126, '0') + R"(zz"}]})",
         "at byte 63"},
        {head + "[[[[[[[[[[[[[[[[[[[[]]]]]]]]]]]]]]]]]]]]]}", "nested deeper"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            ReadSettingsDocument(c.text);
            ADD_FAILURE() << "accepted";
        } catch (const CliError& e) {
            EXPECT_EQ(e.status(), ExitStatus::Refused);
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

TEST(CliText, ChangesAndTable) {
    EXPECT_EQ(FormatChange({"COM5", "latencyTimer", std::string("16"), "1"}),
              "COM5 latencyTimer 16 -> 1");
    EXPECT_EQ(FormatChange({"", "ignoreSerial", std::nullopt, "on"}),
              "ignoreSerial (unread) -> on");

    const PortInfo before = SamplePort();
    PortInfo after = before;
    after.settings.latencyTimer = 1;
    after.settings.serialEnumerator = false;
    after.settings.minReadTimeout.reset();  // unknown after: no change
    after.bufferedWrites.size = 4096;
    (*after.baudAliases)[12] = 2000000;
    std::vector<std::string> lines;
    for (const auto& c : PortChanges(before, after)) lines.push_back(FormatChange(c));
    EXPECT_EQ(lines, (std::vector<std::string>{"COM5 latencyTimer 16 -> 1",
                                               "COM5 serialEnumerator on -> off",
                                               "COM5 bufferedWrites.size 2048 -> 4096",
                                               "COM5 baudAliases.921600 923077 -> 2000000"}));
    PortInfo unread = before;
    unread.settings.pollingPeriod.reset();
    after = unread;
    after.settings.pollingPeriod = 0;
    ASSERT_EQ(PortChanges(unread, after).size(), 1u);
    EXPECT_EQ(FormatChange(PortChanges(unread, after)[0]), "COM5 pollingPeriod (unread) -> 0");

    PortInfo second = SamplePort();
    second.port = "COM12";
    second.attached = false;
    second.bufferedWrites.enabled = false;
    second.baudAliases = kBrivaneAliasRates;
    second.settings.latencyTimer.reset();
    second.settings.eventOnSurpriseRemoval = false;
    second.settings.setRtsOnClose.reset();
    const std::string table = ListTable({SamplePort(), second});
    EXPECT_EQ(table,
              "PORT   ATTACHED  SERIAL     DEVICE      READ-TO  WRITE-TO  POLLING  LATENCY  "
              "BUFFERED   ALIASES   DESCRIPTION      OPTIONS\n"
              "COM5   yes       A1B2C3D4A  0x04036011        0     10000        0       16  "
              "2048/10/4  standard  Varnok Plus 4 A  serial-enumerator,event-on-surprise-removal\n"
              "COM12  no        A1B2C3D4A  0x04036011        0     10000        0        ?  "
              "off        brivane   Varnok Plus 4 A  serial-enumerator,set-rts-on-close?\n"
              "BUFFERED: size/threshold/latency when on. ?: could not be read.\n");
}

}  // namespace
