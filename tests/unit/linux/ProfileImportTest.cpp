// A site profile on Linux: the udev rules planned from its entries (what
// each kind of entry becomes, what cannot become a rule, and that no
// profile text reaches a rule), the settings that do not exist here, and
// `import` on a directory tree of the test's own.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/linux/LatencyTimer.h"
#include "cli/linux/LinuxImport.h"
#include "cli/linux/ProfileRules.h"

namespace varnok::linuxhost {
namespace {

using cli::DocumentPort;

DocumentPort Entry(DocumentPort::Match match, std::optional<uint32_t> latency,
                   const std::string& serial = "", std::optional<uint32_t> deviceId = {}) {
    DocumentPort e;
    e.match = match;
    e.serial = serial;
    e.deviceId = deviceId;
    e.settings.latencyTimer = latency;
    return e;
}

// The rule lines of an entry placed second in a profile (so its flag is
// numbered 2), without the comment; or the warning it gives.
TEST(ProfileRules, EachKindOfEntry) {
    const std::string any = "ACTION==\"add\", SUBSYSTEM==\"usb-serial\", DRIVER==\"ftdi_sio\", ";
    struct Case {
        DocumentPort entry;
        std::string lines;    // empty: no rule
        std::string warning;  // a part of the warning, or empty
    } cases[] = {
        {Entry(DocumentPort::Match::Any, 1),
         any + "ATTRS{idVendor}==\"0403\", ATTR{latency_timer}=\"1\"\n", ""},
        {Entry(DocumentPort::Match::DeviceId, 2, "", 0x04036011),
         any + "ATTRS{idVendor}==\"0403\", ATTRS{idProduct}==\"6011\", ATTR{latency_timer}=\"2\"\n", ""},
        {Entry(DocumentPort::Match::Serial, 3, "VPA001B"),
         any + "ATTRS{idVendor}==\"0403\", ATTRS{serial}==\"VPA001\", ENV{VARNOKCTL_PROFILE_2}=\"1\"\n"
               "ACTION==\"add\", SUBSYSTEM==\"usb-serial\", ENV{VARNOKCTL_PROFILE_2}==\"1\", "
               "ATTRS{bInterfaceNumber}==\"01\", ATTR{latency_timer}=\"3\"\n", ""},
        {Entry(DocumentPort::Match::Serial, 4, "X1D", 0x04036010),
         any + "ATTRS{idVendor}==\"0403\", ATTRS{idProduct}==\"6010\", ATTRS{serial}==\"X1\", "
               "ENV{VARNOKCTL_PROFILE_2}=\"1\"\n"
               "ACTION==\"add\", SUBSYSTEM==\"usb-serial\", ENV{VARNOKCTL_PROFILE_2}==\"1\", "
               "ATTRS{bInterfaceNumber}==\"03\", ATTR{latency_timer}=\"4\"\n", ""},
        // A serial that tries to end the value and start a rule of its own.
        {Entry(DocumentPort::Match::Serial, 5, "Q\"\\\nRUN+=\"/bin/sh\"*A"),
         any + "ATTRS{idVendor}==\"0403\", ATTRS{serial}==\"Q???RUN+=?/bin/sh??\", "
               "ENV{VARNOKCTL_PROFILE_2}=\"1\"\n"
               "ACTION==\"add\", SUBSYSTEM==\"usb-serial\", ENV{VARNOKCTL_PROFILE_2}==\"1\", "
               "ATTRS{bInterfaceNumber}==\"00\", ATTR{latency_timer}=\"5\"\n", ""},
        {Entry(DocumentPort::Match::Serial, 6, "VPA001"), "", "does not end in an interface letter"},
        {Entry(DocumentPort::Match::Serial, 6, "B"), "", "does not end in an interface letter"},
        {Entry(DocumentPort::Match::Serial, 6, "\xC3\x84?*A"), "", "no plain letter or digit"},
        {Entry(DocumentPort::Match::Any, std::nullopt), "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines + c.warning);
        cli::SettingsDocument doc;
        doc.ports = {Entry(DocumentPort::Match::Any, std::nullopt), c.entry};
        const ProfileRulePlan plan = PlanProfileRules(doc);
        if (c.lines.empty()) {
            EXPECT_TRUE(plan.rules.empty());
            EXPECT_TRUE(plan.fileText.empty());
        } else {
            ASSERT_EQ(plan.rules.size(), 1u);
            const std::string& lines = plan.rules[0].lines;
            ASSERT_EQ(lines.rfind("# entry 2: ", 0), 0u) << lines;
            EXPECT_EQ(lines.substr(lines.find('\n') + 1), c.lines);
            EXPECT_EQ(plan.rules[0].target, ProfileTarget(c.entry));
            EXPECT_NE(plan.fileText.find(lines), std::string::npos);
        }
        ASSERT_EQ(plan.warnings.size(), c.warning.empty() ? 0u : 1u);
        if (!c.warning.empty()) {
            EXPECT_NE(plan.warnings[0].find(c.warning), std::string::npos);
        }
    }
}

TEST(ProfileRules, LaterEntriesComeLaterAndOtherSettingsAreSkipped) {
    cli::SettingsDocument doc;
    doc.ignoreSerial = true;
    DocumentPort all = Entry(DocumentPort::Match::Any, 8);
    all.settings.minReadTimeout = 100;
    all.settings.serialEnumerator = false;
    all.configData = cli::ConfigBytes{};
    all.bufferedWrites.size = 2048;
    doc.ports = {all, Entry(DocumentPort::Match::Serial, 1, "VPA001A")};
    const ProfileRulePlan plan = PlanProfileRules(doc);
    ASSERT_EQ(plan.rules.size(), 2u);
    EXPECT_EQ(plan.rules[0].target, "*");
    EXPECT_EQ(plan.rules[1].target, "serial:VPA001A");
    EXPECT_LT(plan.fileText.find("\"8\""), plan.fileText.find("\"1\""));
    EXPECT_EQ(SkippedLinuxSettings(doc),
              (std::vector<std::string>{
                  "ignoreSerial does not exist on Linux; skipped",
                  "entry 1 (*): configData does not exist on Linux; skipped",
                  "entry 1 (*): minReadTimeout does not exist on Linux; skipped",
                  "entry 1 (*): serialEnumerator does not exist on Linux; skipped",
                  "entry 1 (*): bufferedWrites.size does not exist on Linux; skipped",
              }));
}

FtdiTty Port(int n, const std::string& serial, int interfaceNumber) {
    FtdiTty t;
    t.tty = "ttyUSB" + std::to_string(n);
    t.usbSerial = serial;
    t.interfaceNumber = interfaceNumber;
    t.interfaceCount = 2;
    t.productId = 0x6010;
    t.ttySysPath = "/devices/usb1/" + t.tty;
    return t;
}

// Two ports of one dual chip on a sysfs-like tree with a rules folder.
class ImportFiles : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/varnokctl-import-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        host_.ports = {Port(0, "D1", 0), Port(1, "D1", 1)};
        host_.sysRoot = host_.rulesRoot = host_.devRoot = root_;
        for (const FtdiTty& p : host_.ports) {
            ASSERT_EQ(std::system(("mkdir -p " + root_ + p.ttySysPath).c_str()), 0);
            std::ofstream(root_ + p.ttySysPath + "/latency_timer") << "16\n";
        }
        ASSERT_EQ(std::system(("mkdir -p " + root_ + kRulesDir).c_str()), 0);
    }
    void TearDown() override { std::system(("rm -rf " + root_).c_str()); }
    std::string Read(const std::string& path) {
        std::ifstream f(root_ + path);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }
    std::string Latency(int port) { return Read(host_.ports[port].ttySysPath + "/latency_timer"); }
    cli::ExitStatus Import(const std::string& profile, std::vector<std::string> options = {}) {
        std::ofstream(root_ + "/profile.json") << profile;
        options.insert(options.begin(), {"import", root_ + "/profile.json"});
        out_.str("");
        err_.str("");
        const cli::ParseResult parsed = cli::ParseCommandLine(options, cli::Platform::Linux);
        EXPECT_TRUE(parsed.command) << parsed.err;
        return RunImport(*parsed.command, host_, out_, err_);
    }
    static std::string Profile(const std::string& ports) {
        return "{\"format\": \"varnokplus-settings\", \"version\": 1, \"ports\": [" + ports + "]}";
    }

    const std::string rules_ = std::string(kRulesDir) + "/" + kProfileRuleFileName;
    std::string root_;
    LinuxHost host_;
    std::ostringstream out_, err_;
};

TEST_F(ImportFiles, PersistWritesOneFileThatTheNextProfileReplaces) {
    const std::string site = Profile(
        R"({"match": "*", "settings": {"latencyTimer": 2, "minReadTimeout": 100}},
           {"serial": "D1B", "settings": {"latencyTimer": 5}})");
    EXPECT_EQ(Import(site, {"--dry-run", "--persist"}), cli::ExitStatus::Done);
    EXPECT_EQ(Latency(0), "16\n");
    EXPECT_EQ(access((root_ + rules_).c_str(), F_OK), -1);

    EXPECT_EQ(Import(site, {"--persist"}), cli::ExitStatus::Done) << err_.str();
    EXPECT_EQ(out_.str(), "ttyUSB0 latencyTimer 16 -> 2\n"
                          "ttyUSB1 latencyTimer 16 -> 5\n"
                          "* udev rule " + rules_ + " latency_timer=2\n"
                          "serial:D1B udev rule " + rules_ + " latency_timer=5\n");
    EXPECT_EQ(err_.str(), "varnokctl: warning: entry 1 (*): minReadTimeout does not exist on "
                          "Linux; skipped\n");
    EXPECT_EQ(Latency(0), "2\n");
    EXPECT_EQ(Latency(1), "5\n");
    EXPECT_EQ(Read(rules_), PlanProfileRules(cli::ReadSettingsDocument(site)).fileText);

    EXPECT_EQ(Import(site, {"--persist"}), cli::ExitStatus::Done);
    EXPECT_EQ(out_.str(), "nothing to change\n");

    // Another profile replaces the first one's rules whole.
    EXPECT_EQ(Import(Profile(R"({"deviceId": "0x04036010", "settings": {"latencyTimer": 5}})"),
                     {"--persist", "--json"}),
              cli::ExitStatus::Done);
    const auto result = nlohmann::json::parse(out_.str());
    EXPECT_EQ(result["changes"], nlohmann::json::parse(
        R"([{"port": "ttyUSB0", "setting": "latencyTimer", "from": "2", "to": "5"},
            {"port": "deviceId:0x04036010", "setting": "persisted.latencyTimer", "from": null,
             "to": "5"}])"));
    EXPECT_EQ(Read(rules_).find("\"2\""), std::string::npos);
    EXPECT_EQ(access((root_ + rules_ + ".tmp").c_str(), F_OK), -1);

    // A profile without a latency timer leaves no rules behind.
    EXPECT_EQ(Import(Profile(R"({"match": "*", "settings": {"pollingPeriod": 4}})"), {"--persist"}),
              cli::ExitStatus::Done);
    EXPECT_EQ(out_.str(), "udev rule " + rules_ + " removed\n");
    EXPECT_EQ(access((root_ + rules_).c_str(), F_OK), -1);
}

TEST_F(ImportFiles, WithoutPersistOnlyThePortsAndFailuresAreTold) {
    // A port's own rule of set --persist comes after the profile's.
    ASSERT_TRUE(WriteLatencyRule(root_, host_.ports[1], 9).ok);
    const std::string blocked = root_ + rules_;
    ASSERT_EQ(mkdir(blocked.c_str(), 0755), 0);  // the rename onto it fails
    EXPECT_EQ(Import(Profile(R"({"match": "*", "settings": {"latencyTimer": 3}},
                                {"serial": "ZZ9A", "settings": {"latencyTimer": 4}})"),
                     {"--persist"}),
              cli::ExitStatus::Failed);
    EXPECT_EQ(Latency(0), "3\n");
    EXPECT_EQ(Latency(1), "3\n");
    EXPECT_NE(err_.str().find("ttyUSB1: its own udev rule of set --persist (latency timer 9)"),
              std::string::npos) << err_.str();
    EXPECT_NE(err_.str().find("the udev rule file " + rules_ + " could not be written: "),
              std::string::npos) << err_.str();
    EXPECT_NE(err_.str().find("Written: ttyUSB0, ttyUSB1."), std::string::npos);

    // Without --persist an entry for a device that is not here is skipped.
    EXPECT_EQ(Import(Profile(R"({"match": "*", "settings": {"latencyTimer": 3}},
                                {"serial": "ZZ9A", "settings": {"latencyTimer": 4}})"),
                     {"--json"}),
              cli::ExitStatus::Done);
    const auto result = nlohmann::json::parse(out_.str());
    EXPECT_EQ(result["changed"], false);
    EXPECT_EQ(result["skipped"], nlohmann::json::parse(
        R"([{"port": "serial:ZZ9A", "reason": "no such port is attached"}])"));
}

}  // namespace
}  // namespace varnok::linuxhost
