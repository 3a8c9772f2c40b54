// varnokctl's configuration commands against the in-memory registry, D2XX
// library and backup folder: what each command writes (and only that), the
// dry run, the one reload, the backup before the first write, exit statuses
// and the messages of bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "FtdiFixture.h"
#include "JsonSchemaCheck.h"
#include "cli/CommandLine.h"
#include "cli/ConfigCommands.h"
#include "cli/Json.h"
#include "configurator/comnames/ComDb.h"
#include "sim/MemFileStore.h"

using namespace varnok;
using namespace varnok::cli;
using nlohmann::json;

namespace {

const std::string kCom5 = test::FtdiFixture::ParamsPath(test::kId232R, "A1B2C3D4A");
const std::string kCom6 = test::FtdiFixture::ParamsPath(test::kId232R, "B1B2C3D4A");
const std::string kCom7 = test::FtdiFixture::ParamsPath(test::kId232R, "OLD00001A");

struct Rig {
    test::FtdiFixture f;
    sim::MemFileStore backups;
    sim::FixedLocalTime time;
    std::string out, err;
    std::string input;  // standard input
    bool d2xxMissing = false;

    Rig() {
        f.threePortSite();
    }

    ExitStatus run(const std::vector<std::string>& args) {
        const ParseResult parsed = ParseCommandLine(args, Platform::Windows);
        if (!parsed.command) {
            out = parsed.out;
            err = parsed.err;
            return parsed.status;
        }
        std::istringstream in(input);
        ConfigSeams seams(f.registry, f.d2xx, f.serialPorts, f.clock);
        seams.backupFolder = &backups;
        seams.localTime = &time;
        seams.input = &in;
        seams.d2xxAvailable = !d2xxMissing;
        if (d2xxMissing) seams.d2xxLoadError = "ftd2xx.dll not found";
        std::ostringstream o, e;
        f.registry.log.clear();
        const ExitStatus status = RunConfigCommand(*parsed.command, seams, o, e);
        out = o.str();
        err = e.str();
        return status;
    }
    // "set <value>" / "delete <value>" of each registry change, the key given
    // by the last part of its path before the value.
    std::vector<std::string> writes() const {
        std::vector<std::string> w;
        for (const auto& line : f.registry.log) {
            if (line.rfind("set ", 0) != 0 && line.rfind("delete ", 0) != 0) continue;
            const std::size_t bar = line.find('|');
            std::string path = line.substr(0, bar);
            const std::size_t space = path.find(' ');
            const std::string verb = path.substr(0, space);
            path = path.substr(space + 1);
            const std::string com5Instance =
                test::FtdiFixture::InstancePath(test::kId232R, "A1B2C3D4A");
            const std::string port = path == kCom5 || path == com5Instance ? "COM5"
                                     : path == kCom6                       ? "COM6"
                                     : path == kCom7                       ? "COM7"
                                     : path.substr(path.rfind('\\') + 1);
            w.push_back(verb + " " + port + " " + line.substr(bar + 1));
        }
        return w;
    }
    // The keys whose access list was changed, by the last part of their path.
    std::vector<std::string> dacls() const {
        std::vector<std::string> d;
        for (const auto& line : f.registry.log)
            if (line.rfind("dacl ", 0) == 0) d.push_back(line.substr(line.rfind('\\') + 1));
        return d;
    }
    std::size_t reloads() const {
        std::size_t n = 0;
        for (const auto& c : f.d2xx.changes) n += c == "FT_Reload 0x0403 0x0000";
        return n;
    }
    std::string tempFile(const std::string& name) const {
        // Named after the test, so that tests run side by side do not meet.
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        return (std::filesystem::temp_directory_path() /
                ("varnokctl_" + std::string(test->name()) + "_" + name))
            .string();
    }
};

using Strings = std::vector<std::string>;

std::string ReadText(const std::string& file) {
    std::ifstream in(file);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Commands that write: what they print, what reaches the registry, and that
// the driver is reloaded once and a backup taken first.
TEST(CliCommands, WritesOnlyWhatChanges) {
    struct Case {
        Strings args;
        Strings printed;  // lines of standard output
        Strings writes;
    };
    const Case cases[] = {
        {{"set", "--all", "latency-timer=1"},
         {"COM5 latencyTimer 16 -> 1", "COM6 latencyTimer 16 -> 1"},
         {"set COM5 LatencyTimer", "set COM6 LatencyTimer"}},
        {{"set", "COM6", "latency-timer=16", "polling-period=3"},
         {"COM6 pollingPeriod 18 -> 3"},
         {"set COM6 PollingPeriod"}},
        {{"set", "COM5", "serial-enumerator=off", "serial-printer=on"},
         {"COM5 serialEnumerator on -> off", "COM5 serialPrinter off -> on"},
         {"set COM5 ConfigData", "delete COM5 UpperFilters"}},
        {{"set", "serial:OLD00001A", "min-read-timeout=0"},
         {"COM7 minReadTimeout 16 -> 0"},
         {"set COM7 MinReadTimeout"}},
        {{"set", "--all", "--include-disconnected", "latency-timer=2"},
         {"COM5 latencyTimer 16 -> 2", "COM6 latencyTimer 16 -> 2", "COM7 latencyTimer 16 -> 2"},
         {"set COM5 LatencyTimer", "set COM6 LatencyTimer", "set COM7 LatencyTimer"}},
        {{"buffered", "COM5", "on", "size=2048"},
         {"COM5 bufferedWrites.enabled off -> on", "COM5 bufferedWrites.size (unread) -> 2048",
          "COM5 bufferedWrites.threshold (unread) -> 20",
          "COM5 bufferedWrites.latency (unread) -> 1"},
         {"set COM5 ConfigData", "set COM5 WriteBufferSize", "set COM5 WriteBufferThreshold",
          "set COM5 WriteLatency"}},
        {{"alias", "COM5", "921600=2000000"},
         {"COM5 baudAliases.921600 3000000 -> 2000000"},
         {"set COM5 ConfigData"}},
        {{"rename", "COM5", "COM9"},
         {"COM5 port COM5 -> COM9"},
         {"set COM5 FriendlyName", "set COM5 PortName", "set COM Name Arbiter ComDB"}},
        {{"import", "profile"},
         {"COM5 latencyTimer 16 -> 1", "COM6 latencyTimer 16 -> 1", "COM7 latencyTimer 16 -> 1"},
         {"set COM5 LatencyTimer", "set COM6 LatencyTimer", "set COM7 LatencyTimer"}},
        {{"ignore-serial", "on"},
         {"ignoreSerial off -> on"},
         {"set UsbFlags IgnoreHWSerNum04036001", "set UsbFlags IgnoreHWSerNum04036010",
          "set UsbFlags IgnoreHWSerNum04036011", "set UsbFlags IgnoreHWSerNum04036015"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        Strings args = c.args;
        if (args[0] == "import") {
            args[1] = Rig().tempFile("profile.json");
            std::ofstream(args[1]) << R"({"format": "varnokplus-settings", "version": 1,
                "ports": [{"match": "*", "settings": {"latencyTimer": 1}}]})";
        }
        Rig dry;
        EXPECT_EQ(dry.run([&] {
            Strings a{"--dry-run"};
            a.insert(a.end(), args.begin(), args.end());
            return a;
        }()),
                  ExitStatus::Done)
            << dry.err;
        EXPECT_TRUE(dry.writes().empty());
        EXPECT_TRUE(dry.dacls().empty());
        EXPECT_EQ(dry.reloads(), 0u);
        EXPECT_TRUE(dry.backups.files.empty());

        Rig r;
        EXPECT_EQ(r.run(args), ExitStatus::Done) << r.err;
        EXPECT_EQ(r.out, dry.out);
        Strings lines;
        std::istringstream in(r.out);
        for (std::string l; std::getline(in, l);) lines.push_back(l);
        if (c.args[0] != "alias") EXPECT_EQ(lines, c.printed);
        else EXPECT_EQ(lines.size(), 1u);
        EXPECT_EQ(r.writes(), c.writes);
        EXPECT_EQ(r.reloads(), 1u);
        ASSERT_EQ(r.backups.files.size(), 1u);
        // The backup names the values before they change, taken before the
        // first write.
        const std::string& reg = r.backups.files.begin()->second;
        for (const auto& w : c.writes) {
            const std::string value = w.substr(w.rfind(' ') + 1);
            EXPECT_NE(reg.find(value), std::string::npos) << value;
        }
        // The same as one JSON object: the dry run and the real run agree,
        // and a second run reports nothing changed.
        Rig dj, j;
        Strings jsonArgs{"--json"};
        jsonArgs.insert(jsonArgs.end(), args.begin(), args.end());
        Strings dryJsonArgs = jsonArgs;
        dryJsonArgs.insert(dryJsonArgs.begin(), "--dry-run");
        ASSERT_EQ(dj.run(dryJsonArgs), ExitStatus::Done) << dj.err;
        ASSERT_EQ(j.run(jsonArgs), ExitStatus::Done) << j.err;
        const json wouldDo = json::parse(dj.out), did = json::parse(j.out);
        EXPECT_EQ(wouldDo["changes"], did["changes"]);
        EXPECT_EQ(wouldDo["changed"], true);
        EXPECT_EQ(wouldDo["reloaded"], false);
        EXPECT_TRUE(wouldDo["backup"].is_null());
        EXPECT_EQ(did["changed"], true);
        EXPECT_EQ(did["reloaded"], true);
        EXPECT_EQ(did["backup"], j.backups.location() + "\\" + j.backups.files.begin()->first);
        ASSERT_EQ(did["changes"].size(), lines.size());
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const json& one = did["changes"][i];
            const std::string where =
                one["port"].is_null() ? "" : one["port"].get<std::string>() + " ";
            EXPECT_EQ(where + one["setting"].get<std::string>() + " " +
                          (one["from"].is_null() ? "(unread)" : one["from"].get<std::string>()) +
                          " -> " + one["to"].get<std::string>(),
                      lines[i]);
        }

        // Run again: nothing left to change, nothing written, no reload.
        if (args[0] == "rename") args[1] = "COM9";
        EXPECT_EQ(r.run(args), ExitStatus::Done);
        EXPECT_EQ(r.out, "nothing to change\n");
        EXPECT_TRUE(r.writes().empty());
        EXPECT_EQ(r.reloads(), 1u);
        jsonArgs.back() = args.back();
        if (args[0] == "rename") jsonArgs[2] = "COM9";
        EXPECT_EQ(j.run(jsonArgs), ExitStatus::Done);
        EXPECT_EQ(json::parse(j.out),
                  json::parse(R"({"changed": false, "changes": [], "skipped": [], "backup": null,
                                  "reloaded": false, "warnings": []})"));
        if (args[0] == "import") std::filesystem::remove(args[1]);
    }
}

TEST(CliCommands, LatencyOfOneIsWrittenAndNoReloadOnRequest) {
    Rig r;
    EXPECT_EQ(r.run({"--no-reload", "set", "COM5", "latency-timer=1"}), ExitStatus::Done);
    // The driver's keys were made writable first, as the configurator does:
    // the enumerator, the arbiter and the written port's instance key only.
    EXPECT_EQ(r.dacls(), (Strings{"FTDIBUS", "COM Name Arbiter", "0000"}));
    EXPECT_EQ(r.f.registry.dword(kCom5, "LatencyTimer"), 1u);
    EXPECT_EQ(r.reloads(), 0u);
    // Other values of the port are not rewritten.
    EXPECT_EQ(r.writes(), (Strings{"set COM5 LatencyTimer"}));
}

TEST(CliCommands, PresetThenValuesOfTheSameCall) {
    Rig r;
    EXPECT_EQ(r.run({"set", "COM6", "preset=varnok", "latency-timer=1"}), ExitStatus::Done);
    EXPECT_EQ(r.f.registry.dword(kCom6, "LatencyTimer"), 1u);
    EXPECT_EQ(r.f.registry.dword(kCom6, "MinReadTimeout"), 0u);
    const auto* data = r.f.registry.value(kCom6, "ConfigData");
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->data[0] & 0x20, 0x20);  // event on surprise removal
    EXPECT_EQ(r.f.registry.dword(kCom5, "LatencyTimer"), 16u);
}

TEST(CliCommands, UnreadValues) {
    // LatencyTimer missing and ConfigData cut short: both shown as null;
    // written only when the user sets them, never by a command that sets
    // something else.
    Rig r;
    {
        std::unique_ptr<reg::RegistryKey> key;
        ASSERT_EQ(r.f.registry.openKey(kCom5, reg::kKeyAllAccess, &key), reg::kSuccess);
        key->deleteValue("LatencyTimer");
    }
    r.f.registry.setBinary(kCom5, "ConfigData", std::vector<uint8_t>(10, 1));
    EXPECT_EQ(r.run({"--json", "show", "COM5"}), ExitStatus::Done);
    const json j = json::parse(r.out);
    EXPECT_TRUE(j[0]["settings"]["serialPrinter"].is_null());
    EXPECT_TRUE(j[0]["baudAliases"].is_null());
    EXPECT_TRUE(j[0]["settings"]["latencyTimer"].is_null());
    EXPECT_EQ(r.run({"set", "COM5", "polling-period=1"}), ExitStatus::Done);
    EXPECT_EQ(r.writes(), (Strings{"set COM5 PollingPeriod"}));

    EXPECT_EQ(r.run({"set", "COM5", "serial-printer=on"}), ExitStatus::Refused);
    EXPECT_NE(r.err.find("COM5 serialPrinter"), std::string::npos) << r.err;
    EXPECT_TRUE(r.writes().empty());
    EXPECT_EQ(r.run({"alias", "COM5", "--table", "brivane"}), ExitStatus::Refused);
    EXPECT_TRUE(r.writes().empty());
    // Buffered writes are a ConfigData bit too: no buffer values without it.
    EXPECT_EQ(r.run({"buffered", "COM5", "on", "size=2048"}), ExitStatus::Refused);
    EXPECT_NE(r.err.find("COM5 bufferedWrites.enabled"), std::string::npos) << r.err;
    EXPECT_TRUE(r.writes().empty());
    // Turning an option off that the standard image has off changes nothing.
    EXPECT_EQ(r.run({"set", "COM5", "serial-printer=off", "latency-timer=4"}), ExitStatus::Done);
    EXPECT_EQ(r.out, "COM5 latencyTimer (unread) -> 4\n");
    EXPECT_EQ(r.writes(), (Strings{"set COM5 LatencyTimer"}));
    EXPECT_EQ(r.f.registry.value(kCom5, "ConfigData")->data.size(), 10u);
    // A preset sets the whole value.
    EXPECT_EQ(r.run({"set", "COM5", "preset=default"}), ExitStatus::Done);
    EXPECT_EQ(r.f.registry.value(kCom5, "ConfigData")->data.size(), 64u);
}

TEST(CliCommands, BadInputWritesNothing) {
    struct Case {
        Strings args;
        ExitStatus status;
        std::string message;  // part of standard error
    };
    const Case cases[] = {
        {{"set", "COM42", "latency-timer=1"}, ExitStatus::NotFound, "COM42"},
        {{"set", "serial:NOPE", "latency-timer=1"}, ExitStatus::NotFound, "serial:NOPE"},
        {{"show", "COM3"}, ExitStatus::NotFound, "COM3"},
        {{"set", "COM5", "latency-timer=0"}, ExitStatus::Refused, "latency-timer"},
        {{"set", "COM5", "polling-period=256"}, ExitStatus::Refused, "polling-period"},
        {{"buffered", "COM5", "on", "size=5000"}, ExitStatus::Refused, "size"},
        {{"rename", "COM5", "COM6"}, ExitStatus::Refused, "COM6 is reserved"},
        {{"set", "COM5", "bogus=1"}, ExitStatus::Usage, "bogus"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1] + " " + c.args.back());
        Rig r;
        EXPECT_EQ(r.run(c.args), c.status);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_TRUE(r.writes().empty());
        EXPECT_EQ(r.reloads(), 0u);
        EXPECT_TRUE(r.backups.files.empty());
    }
}

TEST(CliCommands, FailedWrites) {
    // Not elevated (no take-ownership privilege): status 1, told to elevate,
    // nothing written and no access list changed. A dry run needs no rights.
    Rig n;
    n.f.registry.privilegeMissing = true;
    EXPECT_EQ(n.run({"--dry-run", "set", "--all", "latency-timer=1"}), ExitStatus::Done) << n.err;
    EXPECT_EQ(n.run({"set", "--all", "latency-timer=1"}), ExitStatus::Failed);
    EXPECT_NE(n.err.find("elevated prompt"), std::string::npos) << n.err;
    EXPECT_TRUE(n.writes().empty());
    for (const auto& line : n.f.registry.log) EXPECT_NE(line.rfind("dacl ", 0), 0u) << line;
    EXPECT_TRUE(n.backups.files.empty());

    // Elevated, and the keys still refuse: status 1 as well.
    Rig r;
    r.f.registry.failOpenForWrite.insert(sim::MemRegistry::lower(kCom5));
    r.f.registry.failOpenForWrite.insert(sim::MemRegistry::lower(kCom6));
    EXPECT_EQ(r.run({"set", "--all", "latency-timer=1"}), ExitStatus::Failed);
    EXPECT_NE(r.err.find("elevated prompt"), std::string::npos) << r.err;
    EXPECT_TRUE(r.writes().empty());
    EXPECT_EQ(r.reloads(), 0u);
    // Reading needs no rights.
    EXPECT_EQ(r.run({"list"}), ExitStatus::Done);

    // A change that fails does not stop the others: status 1, the failed
    // value and the ports written named, and the driver reloaded for what
    // was written.
    Rig p;
    p.f.registry.failSet.insert(sim::MemRegistry::lower(kCom5 + "|LatencyTimer"));
    EXPECT_EQ(p.run({"set", "--all", "latency-timer=1"}), ExitStatus::Failed);
    EXPECT_NE(p.err.find("COM5 LatencyTimer: cannot be written"), std::string::npos) << p.err;
    EXPECT_NE(p.err.find("not written: COM5; written: COM6"), std::string::npos) << p.err;
    EXPECT_EQ(p.f.registry.dword(kCom6, "LatencyTimer"), 1u);
    EXPECT_EQ(p.reloads(), 1u);
    // The only write fails: no port is named as written, and no reload.
    Rig first;
    first.f.registry.failSet.insert(sim::MemRegistry::lower(kCom5 + "|LatencyTimer"));
    EXPECT_EQ(first.run({"set", "COM5", "latency-timer=1"}), ExitStatus::Failed);
    EXPECT_NE(first.err.find("not written: COM5; nothing was written"), std::string::npos)
        << first.err;
    EXPECT_EQ(first.reloads(), 0u);

    // No backup: nothing written.
    Rig b;
    b.backups.failWrite = true;
    EXPECT_EQ(b.run({"set", "COM5", "latency-timer=1"}), ExitStatus::Failed);
    EXPECT_NE(b.err.find("no backup"), std::string::npos) << b.err;
    EXPECT_EQ(b.f.registry.dword(kCom5, "LatencyTimer"), 16u);

    // The reload fails after the write: status 1.
    Rig l;
    l.f.d2xx.reloadStatus = 4;
    EXPECT_EQ(l.run({"set", "COM5", "latency-timer=1"}), ExitStatus::Failed);
    EXPECT_NE(l.err.find("FT_Reload"), std::string::npos);

    // Without the D2XX library the values are written but the driver is not
    // reloaded: status 1, so that a script does not take them as in effect.
    Rig m;
    m.d2xxMissing = true;
    EXPECT_EQ(m.run({"set", "COM5", "latency-timer=1"}), ExitStatus::Failed);
    EXPECT_NE(m.err.find("not reloaded"), std::string::npos) << m.err;
    EXPECT_EQ(m.f.registry.dword(kCom5, "LatencyTimer"), 1u);
}

TEST(CliCommands, AttachedDeviceWithoutKey) {
    // Listed first by the library, its key missing: the ports after it are
    // still read, and --all skips it with a word.
    Rig r;
    sim::SimDevice lost;
    lost.id = test::kId232R;
    lost.serial = "NOKEY123";
    lost.comPort = 4;
    lost.locId = 0x10;
    r.f.d2xx.devices.insert(r.f.d2xx.devices.begin(), lost);
    EXPECT_EQ(r.run({"set", "--all", "latency-timer=1"}), ExitStatus::Done) << r.err;
    EXPECT_EQ(r.out, "COM5 latencyTimer 16 -> 1\nCOM6 latencyTimer 16 -> 1\n");
    EXPECT_EQ(r.writes(), (Strings{"set COM5 LatencyTimer", "set COM6 LatencyTimer"}));
    EXPECT_NE(r.err.find("COM4: the driver has no registry key"), std::string::npos) << r.err;
    EXPECT_EQ(r.run({"set", "COM4", "latency-timer=1"}), ExitStatus::NotFound);
    EXPECT_TRUE(r.writes().empty());
}

TEST(CliCommands, ListShowsAttachedOrEveryPort) {
    Rig r;
    EXPECT_EQ(r.run({"--json", "list"}), ExitStatus::Done);
    json j = json::parse(r.out);
    ASSERT_EQ(j.size(), 2u);
    EXPECT_EQ(j[0]["port"], "COM5");
    EXPECT_EQ(j[0]["serial"], "A1B2C3D4A");
    EXPECT_EQ(j[0]["locationId"], "0x00000021");
    EXPECT_EQ(j[0]["description"], "USB Serial Converter");
    EXPECT_EQ(j[0]["settings"]["minWriteTimeout"], 17);
    EXPECT_EQ(j[0]["settings"]["serialEnumerator"], true);
    EXPECT_EQ(r.run({"--json", "list", "--include-disconnected"}), ExitStatus::Done);
    j = json::parse(r.out);
    ASSERT_EQ(j.size(), 3u);
    EXPECT_EQ(j[2]["port"], "COM7");
    EXPECT_EQ(j[2]["attached"], false);
    EXPECT_TRUE(j[2]["locationId"].is_null());
    EXPECT_EQ(j[0]["description"], "USB Serial Converter");
    EXPECT_TRUE(r.writes().empty());
    EXPECT_EQ(r.f.registry.openKeys, 0);
}

TEST(CliCommands, ExportThenImportElsewhere) {
    Rig from;
    ASSERT_EQ(from.run({"set", "COM5", "latency-timer=1", "serial-enumerator=off"}),
              ExitStatus::Done);
    ASSERT_EQ(from.run({"buffered", "COM6", "on", "threshold=10"}), ExitStatus::Done);
    const std::string file = from.tempFile("export.json");
    ASSERT_EQ(from.run({"export", file}), ExitStatus::Done) << from.err;
    ASSERT_EQ(from.run({"--json", "list"}), ExitStatus::Done);
    const json before = json::parse(from.out);
    // An exported port has the keys and values `list` shows, and its
    // ConfigData.
    const json exported = json::parse(ReadText(file))["ports"];
    ASSERT_EQ(exported.size(), before.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
        json shown = exported[i];
        EXPECT_EQ(shown["configData"].get<std::string>().size(), 128u);
        shown.erase("configData");
        EXPECT_EQ(shown, before[i]);
    }

    Rig to;
    ASSERT_EQ(to.run({"import", file}), ExitStatus::Done) << to.err;
    EXPECT_EQ(to.reloads(), 1u);
    ASSERT_EQ(to.run({"--json", "list"}), ExitStatus::Done);
    EXPECT_EQ(json::parse(to.out), before);
    // The same document again: nothing to write.
    ASSERT_EQ(to.run({"import", file}), ExitStatus::Done);
    EXPECT_TRUE(to.writes().empty());

    // A site profile for every port, and a serial not installed here.
    {
        std::ofstream(file) << R"({"format": "varnokplus-settings", "version": 1, "ports": [
            {"match": "*", "settings": {"latencyTimer": 1}},
            {"serial": "ZZZ", "deviceId": "0x04036001", "settings": {"latencyTimer": 9}}]})";
    }
    Rig site;
    EXPECT_EQ(site.run({"import", file}), ExitStatus::Done) << site.err;
    EXPECT_NE(site.err.find("serial ZZZ"), std::string::npos) << site.err;
    EXPECT_EQ(site.writes(), (Strings{"set COM5 LatencyTimer", "set COM6 LatencyTimer",
                                      "set COM7 LatencyTimer"}));

    // Another format or version, or broken JSON: status 4, nothing written.
    for (const char* text : {R"({"format": "other", "version": 1, "ports": []})",
                             R"({"format": "varnokplus-settings", "version": 2, "ports": []})",
                             "{\"format\": "}) {
        std::ofstream(file) << text;
        Rig foreign;
        EXPECT_EQ(foreign.run({"import", file}), ExitStatus::Refused) << text;
        EXPECT_NE(foreign.err.find(file), std::string::npos);
        EXPECT_TRUE(foreign.writes().empty());
    }
    std::filesystem::remove(file);
    Rig missing;
    EXPECT_EQ(missing.run({"import", file}), ExitStatus::Failed);
}

TEST(CliCommands, SaveAndLoadFiles) {
    Rig r;
    const std::string file = r.tempFile("com5.dat");
    ASSERT_EQ(r.run({"save", "COM5", file}), ExitStatus::Done) << r.err;
    EXPECT_EQ(std::filesystem::file_size(file), 84u);
    ASSERT_EQ(r.run({"load", "COM6", file}), ExitStatus::Done) << r.err;
    EXPECT_EQ(r.f.registry.value(kCom6, "ConfigData")->data,
              r.f.registry.value(kCom5, "ConfigData")->data);
    // Same timings: only ConfigData differed.
    EXPECT_EQ(r.writes(), (Strings{"set COM6 ConfigData"}));
    std::ofstream(file, std::ios::trunc) << "short";
    EXPECT_EQ(r.run({"load", "COM6", file}), ExitStatus::Refused);
    // A time-out the file's one byte cannot hold is named before the save.
    ASSERT_EQ(r.run({"set", "COM5", "min-read-timeout=1000"}), ExitStatus::Done);
    ASSERT_EQ(r.run({"save", "COM5", file}), ExitStatus::Done) << r.err;
    EXPECT_NE(r.err.find("warning: COM5 minReadTimeout 1000 (saved as 232)"), std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("latencyTimer"), std::string::npos) << r.err;
    std::filesystem::remove(file);
}

TEST(CliCommands, ReadOnlyAndDriverCommands) {
    Rig r;
    EXPECT_EQ(r.run({"ignore-serial"}), ExitStatus::Done);
    EXPECT_EQ(r.out, "off\n");
    EXPECT_EQ(r.run({"reload"}), ExitStatus::Done);
    EXPECT_EQ(r.reloads(), 1u);
    r.f.serialPorts.attach("COM5", {});
    r.f.serialPorts.attach("COM6", {}).heldByOtherProgram = true;
    EXPECT_EQ(r.run({"close-ports"}), ExitStatus::Failed);
    EXPECT_NE(r.err.find("COM6: Close COMPort not possible"), std::string::npos) << r.err;
    EXPECT_EQ(r.f.serialPorts.openPorts(), 0);
    EXPECT_TRUE(r.writes().empty());
}

// varnokctl's setting names lead to the model's boxes, with their ranges.
TEST(CliCommands, EverySettingIsTheModelsOwn) {
    for (const SettingInfo& s : kSettings) {
        SCOPED_TRACE(s.jsonName);
        if (s.number) {
            const cfg::PanelNumber* box = cfg::PanelNumberNamed(s.jsonName);
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->low, s.min);
            EXPECT_EQ(box->high, s.max);
        } else {
            EXPECT_TRUE(cfg::PanelOptionNamed(s.jsonName) != nullptr ||
                        cfg::IsSerialEnumeratorSetting(s.jsonName));
        }
    }
}

// Buffered-write values left behind while the option is off stay unless a
// command switches the option off itself.
TEST(CliCommands, LeftoverBufferedValuesGoOnlyWhenSwitchedOff) {
    struct Case {
        const char* document;
        Strings writes;
    };
    const Case cases[] = {
        {R"({"match": "*", "settings": {"latencyTimer": 1}})",
         {"set COM5 LatencyTimer", "set COM6 LatencyTimer", "set COM7 LatencyTimer"}},
        {R"({"serial": "A1B2C3D4A", "bufferedWrites": {"enabled": false}})",
         {"delete COM5 WriteBufferSize", "delete COM5 WriteLatency"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.document);
        Rig r;
        r.f.registry.setDword(kCom5, "WriteBufferSize", 512);
        r.f.registry.setDword(kCom5, "WriteLatency", 3);
        const std::string file = r.tempFile("leftovers.json");
        std::ofstream(file) << R"({"format": "varnokplus-settings", "version": 1, "ports": [)"
                            << c.document << "]}";
        EXPECT_EQ(r.run({"import", file}), ExitStatus::Done) << r.err;
        EXPECT_EQ(r.writes(), c.writes);
        std::filesystem::remove(file);
    }
}

// set --all, import and export work on one set of ports: an attached port
// held open by another program is in it (its registry values do not need
// the port), a port whose Device Parameters key is missing is left out with
// the same warning, and the rest goes on.
TEST(CliCommands, OnePortSetForEveryCommand) {
    const std::string kHeld = test::FtdiFixture::ParamsPath(test::kId232R, "H1H2H3H4A");
    const std::string kNoKey = test::FtdiFixture::ParamsPath(test::kId232R, "C1C2C3D4A");
    const auto site = [&](Rig& r) {
        r.f.install(test::kId232R, "H1H2H3H4A", 8);
        sim::SimDevice& held = r.f.attach(test::kId232R, "H1H2H3H4", 8, 0x23);
        held.flags = d2xx::kFlagOpened;
        held.openable = false;
        r.f.install(test::kId232R, "C1C2C3D4A", 9);
        r.f.registry.removeKey(kNoKey);
        r.f.attach(test::kId232R, "C1C2C3D4", 9, 0x24);
    };
    const std::string profile = Rig().tempFile("profile.json");
    std::ofstream(profile) << R"({"format": "varnokplus-settings", "version": 1,
        "ports": [{"match": "*", "settings": {"latencyTimer": 3}}]})";
    struct Case {
        Strings args;
        Strings latencyThree;  // ports whose LatencyTimer is 3 afterwards
    };
    const Case cases[] = {
        {{"--json", "set", "--all", "latency-timer=3"}, {"COM5", "COM6", "COM8"}},
        {{"--json", "set", "--all", "--include-disconnected", "latency-timer=3"},
         {"COM5", "COM6", "COM7", "COM8"}},
        {{"--json", "import", profile}, {"COM5", "COM6", "COM7", "COM8"}},
    };
    const std::map<std::string, std::string> paths = {
        {"COM5", kCom5}, {"COM6", kCom6}, {"COM7", kCom7}, {"COM8", kHeld}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[1]);
        Rig r;
        site(r);
        ASSERT_EQ(r.run(c.args), ExitStatus::Done) << r.err;
        const json result = json::parse(r.out);
        for (const auto& [port, path] : paths) {
            const bool three = std::find(c.latencyThree.begin(), c.latencyThree.end(), port) !=
                               c.latencyThree.end();
            EXPECT_EQ(r.f.registry.dword(path, "LatencyTimer"), three ? 3u : 16u) << port;
        }
        ASSERT_EQ(result["skipped"].size(), 1u) << r.out;
        EXPECT_EQ(result["skipped"][0]["port"], "COM9");
        EXPECT_NE(r.err.find("COM9: " + result["skipped"][0]["reason"].get<std::string>()),
                  std::string::npos)
            << r.err;
    }
    // Export: the same attached ports, the same warning.
    Rig e;
    site(e);
    const std::string file = e.tempFile("export.json");
    ASSERT_EQ(e.run({"export", file}), ExitStatus::Done) << e.err;
    const json doc = json::parse(ReadText(file));
    Strings exported;
    for (const auto& p : doc["ports"]) exported.push_back(p["port"]);
    EXPECT_EQ(exported, (Strings{"COM5", "COM6", "COM8"}));
    EXPECT_NE(e.err.find("COM9: "), std::string::npos) << e.err;
    std::filesystem::remove(file);
    std::filesystem::remove(profile);
}

// --all that finds no port ends with 0 and says so on standard error, so
// that a start-up script does not fail on a PC without an adapter; a port
// named on its own that is not there stays "not found".
TEST(CliCommands, AllWithoutPortsIsNotAnError) {
    Rig r;
    r.f.d2xx.devices.clear();
    EXPECT_EQ(r.run({"--json", "set", "--all", "latency-timer=1"}), ExitStatus::Done) << r.err;
    EXPECT_EQ(json::parse(r.out)["changed"], false);
    EXPECT_NE(r.err.find("--all: no FTDI port is attached"), std::string::npos) << r.err;
    EXPECT_TRUE(r.writes().empty());
    EXPECT_EQ(r.run({"set", "COM42", "latency-timer=1"}), ExitStatus::NotFound);
}

// What a new user tries first: the version, a mistyped command or setting,
// the JSON names, "-" for standard output and input, the forms of a port
// name; and an export that fails keeps the file it would have replaced.
TEST(CliCommands, FirstContact) {
    const std::string profile = R"({"format": "varnokplus-settings", "version": 1,
        "ports": [{"match": "*", "settings": {"latencyTimer": 2}}]})";
    struct Case {
        Strings args;
        std::string input;
        ExitStatus status;
        std::string out;  // a part of standard output
        std::string err;  // a part of standard error
        Strings writes;
    };
    const auto Ok = ExitStatus::Done, Usage = ExitStatus::Usage;
    const Strings com5{"set COM5 LatencyTimer"};
    const Case cases[] = {
        {{"--version"}, "", Ok, "varnokctl " VARNOK_TEST_VERSION "\n", "", {}},
        {{"--json", "--version"}, "", Ok, "\"version\": \"" VARNOK_TEST_VERSION "\"", "", {}},
        {{"lst"}, "", Usage, "", "unknown command lst (did you mean list?)", {}},
        {{"--json", "imprt", "x.json"}, "", Usage, "", "(did you mean import?)", {}},
        {{"modes", "lsit"}, "", Usage, "", "unknown command modes lsit (did you mean list?)", {}},
        {{"set", "COM5", "latency-timr=1"}, "", Usage, "", "(did you mean latency-timer?)", {}},
        {{"set", "COM5", "latencytimer=1"}, "", Usage, "", "(did you mean latencyTimer?)", {}},
        {{"set", "COM5", "latencyTimer=1"}, "", Ok, "COM5 latencyTimer 16 -> 1", "", com5},
        {{"set", "COM5", "latencyTimer=1", "latency-timer=2"}, "", Usage, "", "given twice", {}},
        {{"set", "5", "latency-timer=1"}, "", Ok, "", "", com5},
        {{"set", "com05", "latency-timer=1"}, "", Ok, "", "", com5},
        {{"set", "\\\\.\\COM5", "latency-timer=1"}, "", Ok, "", "", com5},
        {{"set", "COM257", "latency-timer=1"}, "", Usage, "", "is not a port", {}},
        {{"export", "-"}, "", Ok, "\"format\": \"varnokplus-settings\"", "", {}},
        {{"import", "-"}, profile, Ok, "COM7 latencyTimer 16 -> 2", "",
         {"set COM5 LatencyTimer", "set COM6 LatencyTimer", "set COM7 LatencyTimer"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        Rig r;
        r.input = c.input;
        EXPECT_EQ(r.run(c.args), c.status) << r.err;
        EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        EXPECT_EQ(r.writes(), c.writes);
    }
    EXPECT_FALSE(std::filesystem::exists("-"));

    // Written beside and moved over the old file: another name of the old
    // file (a hard link) still holds the old document.
    Rig r;
    const std::string file = r.tempFile("site.json"), link = r.tempFile("site-link.json");
    std::filesystem::remove(link);
    std::ofstream(file) << "the old document";
    std::error_code linked;
    std::filesystem::create_hard_link(file, link, linked);
    if (linked) GTEST_SKIP() << "no hard links here: " << linked.message();
    ASSERT_EQ(r.run({"export", file}), ExitStatus::Done) << r.err;
    EXPECT_NO_THROW(ReadSettingsDocument(ReadText(file)));
    EXPECT_EQ(ReadText(link), "the old document");
    std::filesystem::remove(file);
    std::filesystem::remove(link);
}

// Every command's --json output, as the schema in docs/ describes it,
// judged by a JSON Schema validator: writes (done, dry, nothing to do, a
// partial failure, a skipped port, --all without ports) and reads.
TEST(CliCommands, EveryJsonOutputMatchesTheSchema) {
    Rig r;
    const std::string dat = r.tempFile("com5.dat"), doc = r.tempFile("site.json");
    std::ofstream(doc) << R"({"format": "varnokplus-settings", "version": 1,
        "ports": [{"match": "*", "settings": {"latencyTimer": 2, "serialPrinter": true}}]})";
    struct Step {
        const char* kind;
        Strings args;
    };
    const Step steps[] = {
        {"portList", {"--json", "list"}},
        {"portList", {"--json", "list", "--include-disconnected"}},
        {"portList", {"--json", "show", "COM7"}},
        {"writeResult", {"--json", "--dry-run", "set", "--all", "latency-timer=1"}},
        {"writeResult", {"--json", "set", "--all", "latency-timer=1", "serial-enumerator=off"}},
        {"writeResult", {"--json", "set", "--all", "latency-timer=1"}},
        {"writeResult", {"--json", "buffered", "COM5", "on", "size=64"}},
        {"writeResult", {"--json", "buffered", "COM5", "off"}},
        {"writeResult", {"--json", "alias", "COM5", "921600=2000000"}},
        {"writeResult", {"--json", "rename", "COM6", "COM9"}},
        {"writeResult", {"--json", "ignore-serial", "on"}},
        {"ignoreSerial", {"--json", "ignore-serial"}},
        {"fileWritten", {"--json", "save", "COM5", dat}},
        {"fileWritten", {"--json", "--dry-run", "save", "COM5", dat}},
        {"writeResult", {"--json", "load", "COM9", dat}},
        {"fileWritten", {"--json", "export", r.tempFile("export.json")}},
        {"settingsDocument", {"--json", "export", "-", "--include-disconnected"}},
        {"writeResult", {"--json", "import", doc}},
        {"writeResult", {"--json", "--dry-run", "import", doc}},
        {"writeResult", {"--json", "reload"}},
        {"writeResult", {"--json", "close-ports"}},
        {"version", {"--json", "--version"}},
    };
    test::JsonOutputs outputs;
    for (const Step& step : steps) {
        SCOPED_TRACE(::testing::PrintToString(step.args));
        EXPECT_EQ(r.run(step.args), ExitStatus::Done) << r.err;
        outputs.emplace_back(step.kind, r.out);
    }
    // A partial failure, a port whose key is missing, --all without ports.
    Rig p;
    p.f.registry.failSet.insert(sim::MemRegistry::lower(kCom5 + "|LatencyTimer"));
    EXPECT_EQ(p.run({"--json", "set", "--all", "latency-timer=1"}), ExitStatus::Failed);
    outputs.emplace_back("writeResult", p.out);
    Rig k;
    k.f.install(test::kId232R, "C1C2C3D4A", 9);
    k.f.registry.removeKey(test::FtdiFixture::ParamsPath(test::kId232R, "C1C2C3D4A"));
    EXPECT_EQ(k.run({"--json", "import", doc}), ExitStatus::Done) << k.err;
    outputs.emplace_back("writeResult", k.out);
    Rig none;
    none.f.d2xx.devices.clear();
    EXPECT_EQ(none.run({"--json", "set", "--all", "latency-timer=1"}), ExitStatus::Done);
    outputs.emplace_back("writeResult", none.out);
    // Stopped before the first write (not elevated, a port not there): the
    // object says nothing changed, and why.
    Rig n;
    n.f.registry.privilegeMissing = true;
    EXPECT_EQ(n.run({"--json", "set", "--all", "latency-timer=1"}), ExitStatus::Failed);
    const json refused = json::parse(n.out);
    EXPECT_EQ(refused["changed"], false);
    EXPECT_TRUE(refused["changes"].empty());
    EXPECT_NE(refused["warnings"].dump().find("elevated prompt"), std::string::npos) << n.out;
    outputs.emplace_back("writeResult", n.out);
    EXPECT_EQ(n.run({"--json", "set", "COM42", "latency-timer=1"}), ExitStatus::NotFound);
    outputs.emplace_back("writeResult", n.out);
    EXPECT_EQ(test::SchemaProblems(outputs), "");
    for (const auto& f : {dat, doc, r.tempFile("export.json")}) std::filesystem::remove(f);
}

}  // namespace
