// varnokctl watch in virtual time: the in-memory registry's key watch runs a
// script of devices appearing (keys and library entries) at given times; the
// tests look at what was written, backed up and restarted, at the lines
// printed, and at how often the watcher woke.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>

#include "FtdiFixture.h"
#include "JsonSchemaCheck.h"
#include "cli/CommandLine.h"
#include "cli/Watch.h"
#include "sim/MemFileStore.h"

using namespace varnok;
using namespace varnok::cli;

namespace {

using Strings = std::vector<std::string>;

constexpr const char* kProfile =
    R"({"format": "varnokplus-settings", "version": 1, "ports": [)"
    R"({"match": "*", "settings": {"latencyTimer": 2, "serialEnumerator": false}}]})";

const std::string kNewParams = test::FtdiFixture::ParamsPath(test::kId232R, "NEW00001A");

struct WatchRig {
    test::FtdiFixture f;
    sim::MemFileStore backups;
    sim::FixedLocalTime time;
    std::atomic<bool> stop{false};
    Strings events, problems;
    // What happens when: each step runs once virtual time reaches it.
    std::vector<std::pair<uint64_t, std::function<void()>>> script;
    std::size_t next = 0;
    std::vector<uint32_t> waits;  // the time-out of every wait

    WatchRig() {
        f.threePortSite();
        f.registry.onWatchWait = [this](uint32_t timeout) {
            waits.push_back(timeout);
            const uint64_t now = f.clock.nowMs();
            if (next < script.size() && script[next].first <= now + timeout) {
                if (script[next].first > now) f.clock.advance(script[next].first - now);
                script[next++].second();
                return;
            }
            f.clock.advance(timeout);
            if (f.clock.nowMs() > 3600 * 1000) stop = true;  // a test that forgot to stop
        };
    }
    void at(uint64_t ms, std::function<void()> step) { script.emplace_back(ms, std::move(step)); }
    void stopAt(uint64_t ms) {
        at(ms, [this] { stop = true; });
    }
    // A new FT232R that the driver installs with its defaults (latency 16,
    // serial enumerator on), listed by the library when `attached`.
    void plugIn(bool attached = true, bool held = false) {
        f.install(test::kId232R, "NEW00001A", 9);
        if (!attached) return;
        sim::SimDevice& d = f.attach(test::kId232R, "NEW00001", 9, 0x23);
        if (held) {
            d.flags = d2xx::kFlagOpened;
            d.openable = false;
        }
    }
    Strings cycles() const {
        Strings c;
        for (const auto& line : f.d2xx.changes)
            if (line.rfind("FT_CyclePort", 0) == 0) c.push_back(line);
        return c;
    }
    std::size_t reloads() const {
        std::size_t n = 0;
        for (const auto& line : f.d2xx.changes) n += line.rfind("FT_Reload", 0) == 0;
        return n;
    }

    ExitStatus run(Strings options = {}, const std::string& profile = kProfile) {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::string file = (std::filesystem::temp_directory_path() /
                                  ("varnokctl_watch_" + std::string(test->name()) + ".json"))
                                     .string();
        std::ofstream(file, std::ios::binary) << profile;
        options.push_back("watch");
        options.push_back(file);
        const ParseResult parsed = ParseCommandLine(options, Platform::Windows);
        EXPECT_TRUE(parsed.command) << parsed.err;
        ConfigSeams seams(f.registry, f.d2xx, f.serialPorts, f.clock);
        seams.backupFolder = &backups;
        seams.localTime = &time;
        WatchOutput output{[this](const std::string& l) { events.push_back(l); },
                           [this](const std::string& l) { problems.push_back(l); }};
        const ExitStatus status = RunWatch(*parsed.command, file, seams, output, &stop);
        std::filesystem::remove(file);
        return status;
    }
};

// A port that appears while the watcher waits gets the profile, its
// earlier values go to a backup of their own, and only its device is
// restarted; the installed ports were changed once at the start (with
// the one driver reload of an import).
TEST(CliWatch, NewPortGetsTheProfileAndOnlyItsDeviceRestarts) {
    WatchRig r;
    const std::string com5 = test::FtdiFixture::ParamsPath(test::kId232R, "A1B2C3D4A");
    // Someone sets COM5 by hand meanwhile: the new port's event leaves it.
    r.at(4000, [&] { r.f.registry.setDword(com5, "LatencyTimer", 7); });
    r.at(5000, [&] { r.plugIn(); });
    r.stopAt(20000);
    EXPECT_EQ(r.run(), ExitStatus::Interrupted);

    EXPECT_EQ(r.f.registry.dword(com5, "LatencyTimer"), 7u);
    EXPECT_EQ(r.f.registry.dword(kNewParams, "LatencyTimer"), 2u);
    EXPECT_FALSE(r.f.registry.hasValue(test::FtdiFixture::InstancePath(test::kId232R, "NEW00001A"),
                                       "UpperFilters"));
    EXPECT_EQ(r.cycles(), Strings{"FT_CyclePort loc=0x23 serial=NEW00001"});
    EXPECT_EQ(r.reloads(), 1u);
    ASSERT_EQ(r.events.size(), 2u) << ::testing::PrintToString(r.events);
    EXPECT_EQ(r.events[0].rfind("installed ports: COM5 latencyTimer 16 -> 2", 0), 0u) << r.events[0];
    EXPECT_EQ(r.events[1], "COM9 (new): latencyTimer 16 -> 2, serialEnumerator on -> off; backup " +
                               r.backups.location() + "\\20261207-183005_02.reg; restarted");
    // The event's backup holds the new port's values as the driver made
    // them, and nothing of the ports written at the start.
    ASSERT_EQ(r.backups.files.size(), 2u);
    const std::string& backup = r.backups.files["20261207-183005_02.reg"];
    EXPECT_NE(backup.find("NEW00001A\\0000\\Device Parameters]\r\n\"LatencyTimer\"=dword:00000010"),
              std::string::npos)
        << backup;
    EXPECT_EQ(backup.find("A1B2C3D4A"), std::string::npos);
    EXPECT_EQ(r.f.registry.openKeys, 0);
    EXPECT_EQ(r.f.d2xx.openHandles(), 0);
}

// Which new ports are restarted, and what the line says otherwise.
TEST(CliWatch, RestartsOnlyWhatItMay) {
    struct Case {
        const char* name;
        std::function<void(WatchRig&)> setUp;
        std::string ending;  // of the new port's line
        Strings cycles;
    };
    const Case cases[] = {
        {"held open", [](WatchRig& r) { r.at(5000, [&r] { r.plugIn(true, true); }); },
         "; held open by a program: the values take effect at the next plug-in", {}},
        {"opened by a program after the list was taken: the open fails",
         [](WatchRig& r) {
             r.at(5000, [&r] {
                 r.plugIn();
                 r.f.d2xx.devices.back().openable = false;
             });
         },
         "; held open by a program: the values take effect at the next plug-in", {}},
        {"listed by the library 3 s after its key",
         [](WatchRig& r) {
             r.at(5000, [&r] { r.plugIn(false); });
             r.at(8000, [&r] { r.f.attach(test::kId232R, "NEW00001", 9, 0x23); });
         },
         "; restarted", {"FT_CyclePort loc=0x23 serial=NEW00001"}},
        {"never listed: written after the settle limit",
         [](WatchRig& r) { r.at(5000, [&r] { r.plugIn(false); }); },
         "; not attached: the values take effect at the next plug-in", {}},
        {"restart refused by the library",
         [](WatchRig& r) {
             r.f.d2xx.cycleStatus = d2xx::kIoError;
             r.at(5000, [&r] { r.plugIn(); });
         },
         "; FT_CyclePort failed (D2XX status 4): the values take effect at the next plug-in",
         {"FT_CyclePort loc=0x23 serial=NEW00001"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WatchRig r;
        c.setUp(r);
        r.stopAt(60000);
        EXPECT_EQ(r.run(), ExitStatus::Interrupted);
        ASSERT_EQ(r.events.size(), 2u) << ::testing::PrintToString(r.events);
        const std::string& line = r.events[1];
        EXPECT_EQ(line.rfind("COM9 (new): latencyTimer 16 -> 2", 0), 0u) << line;
        EXPECT_EQ(line.substr(line.size() - std::min(line.size(), c.ending.size())), c.ending);
        EXPECT_EQ(r.f.registry.dword(kNewParams, "LatencyTimer"), 2u);
        EXPECT_EQ(r.cycles(), c.cycles);
        EXPECT_EQ(r.f.d2xx.openHandles(), 0);
    }
}

// --json: one object per event, the change object of import --json.
TEST(CliWatch, JsonPrintsOneWriteResultPerEvent) {
    WatchRig r;
    r.at(5000, [&] { r.plugIn(true, true); });
    r.stopAt(20000);
    EXPECT_EQ(r.run({"--json"}), ExitStatus::Interrupted);
    ASSERT_EQ(r.events.size(), 2u);
    for (const auto& e : r.events) EXPECT_EQ(e.find('\n'), std::string::npos);
    EXPECT_EQ(test::SchemaProblems({{"writeResult", r.events[0]}, {"writeResult", r.events[1]}}), "");
    const auto first = nlohmann::json::parse(r.events[0]);
    EXPECT_TRUE(first["reloaded"].get<bool>());
    const auto event = nlohmann::json::parse(r.events[1]);
    EXPECT_TRUE(event["changed"].get<bool>());
    EXPECT_FALSE(event["reloaded"].get<bool>());
    EXPECT_EQ(event["backup"], r.backups.location() + "\\20261207-183005_02.reg");
    EXPECT_EQ(event["changes"][0],
              (nlohmann::json{{"port", "COM9"}, {"setting", "latencyTimer"}, {"from", "16"},
                              {"to", "2"}}));
    ASSERT_EQ(event["warnings"].size(), 1u);
    EXPECT_NE(event["warnings"][0].get<std::string>().find("held open"), std::string::npos);
}

// Waiting costs nothing: an hour without changes is one look a minute;
// the enumerator key made later (a PC that never had an FTDI device) is
// watched through its parent until it exists.
TEST(CliWatch, WaitsOnTheNotificationAndLooksOnceAMinute) {
    {
        WatchRig r;
        r.stopAt(3600 * 1000);
        EXPECT_EQ(r.run(), ExitStatus::Interrupted);
        // The start's own writes wake it once (a short wait for quiet).
        std::size_t short_ = 0;
        for (uint32_t w : r.waits) short_ += w != kWatchRecheckMs;
        EXPECT_LE(short_, 2u);
        EXPECT_LE(r.waits.size(), 62u);
    }
    {
        WatchRig r;
        r.f.registry.removeKey(cfg::kEnumeratorKeyPath);
        r.at(5000, [&] { r.plugIn(); });
        r.stopAt(20000);
        EXPECT_EQ(r.run(), ExitStatus::Interrupted);
        EXPECT_EQ(r.f.registry.dword(kNewParams, "LatencyTimer"), 2u);
        EXPECT_EQ(r.cycles(), Strings{"FT_CyclePort loc=0x23 serial=NEW00001"});
    }
}

// A stop that comes while ports are being written ends the run after the
// port under way, with all of it done and nothing of the next one.
TEST(CliWatch, StopFinishesThePortUnderWay) {
    WatchRig r;
    const std::string second = test::FtdiFixture::ParamsPath(test::kId232R, "NEW00002A");
    r.at(5000, [&] {
        r.plugIn();
        r.f.install(test::kId232R, "NEW00002A", 10);
        r.f.attach(test::kId232R, "NEW00002", 10, 0x24);
    });
    r.f.d2xx.onChange = [&](const std::string& call) {
        if (call.rfind("FT_CyclePort", 0) == 0) r.stop = true;
    };
    EXPECT_EQ(r.run(), ExitStatus::Interrupted);
    EXPECT_EQ(r.cycles(), Strings{"FT_CyclePort loc=0x23 serial=NEW00001"});
    EXPECT_EQ(r.f.registry.dword(kNewParams, "LatencyTimer"), 2u);
    EXPECT_EQ(r.f.registry.dword(second, "LatencyTimer"), 16u);
    EXPECT_EQ(r.events.size(), 2u);
}

// Refusals end the run before it watches.
TEST(CliWatch, RefusesWhatItCannotDo) {
    {
        WatchRig r;
        EXPECT_EQ(r.run({}, R"({"format": "other", "version": 1, "ports": []})"),
                  ExitStatus::Refused);
        EXPECT_TRUE(r.waits.empty());
    }
    {
        WatchRig r;
        r.f.registry.privilegeMissing = true;
        EXPECT_EQ(r.run(), ExitStatus::Failed);
        ASSERT_EQ(r.problems.size(), 1u);
        EXPECT_NE(r.problems[0].find("administrator"), std::string::npos);
    }
}

}  // namespace
