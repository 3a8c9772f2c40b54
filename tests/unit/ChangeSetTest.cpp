// The one way the registry is written: planners that hold only what differs
// from what was read, and ApplyChanges, which backs up exactly those values,
// writes them in order and goes on past a change that fails.
#include <gtest/gtest.h>

#include <functional>

#include "configurator/changes/ChangePlanners.h"
#include "configurator/settings/BufferedWrites.h"
#include "configurator/settings/Panel.h"
#include "configurator/settings/RegistrySettings.h"
#include "sim/MemFileStore.h"
#include "tests/unit/FtdiFixture.h"
#include "tests/unit/ShownProblems.h"

using namespace varnok;
using namespace varnok::cfg;
using varnok::test::FtdiFixture;
using varnok::test::kId232R;

namespace {

using Strings = std::vector<std::string>;

// Three installed ports read as the dialogs read them: COM3, COM4, COM5.
struct Installed {
    FtdiFixture f;
    explicit Installed(const std::function<void(sim::MemRegistry&)>& seed = {}) {
        for (const char* serial : {"AAAA0000A", "BBBB0000A", "CCCC0000A"}) {
            f.install(kId232R, serial, 3 + static_cast<int>(f.app.table.entries.size()));
            f.app.table.entries.push_back(test::KeyRecord(kId232R, serial));
        }
        if (seed) seed(f.registry);
        EXPECT_TRUE(test::ReadPortSettings(f.app, f.view));
        f.view.boxes.clear();
        f.registry.log.clear();
    }
    PortEntry& port(std::size_t i) { return f.app.table.entries[i]; }
    static std::string params(const char* serial) { return FtdiFixture::ParamsPath(kId232R, serial); }
    static std::string instance(const char* serial) {
        return FtdiFixture::InstancePath(kId232R, serial);
    }
};

// "COM4 LatencyTimer" (or "COM4 -UpperFilters" for a deletion) per change.
Strings Names(const ChangeSet& changes) {
    Strings out;
    for (const auto& c : changes) out.push_back(c.port + (c.deletes() ? " -" : " ") + c.valueName);
    return out;
}

TEST(PlanPortChanges, HoldsOnlyWhatDiffersFromWhatWasRead) {
    struct Case {
        const char* what;
        std::function<void(PortEntry&)> edit;
        Strings changes;
    };
    const Case cases[] = {
        {"nothing", [](PortEntry&) {}, {}},
        {"a value set to what it was", [](PortEntry& e) {
             ASSERT_TRUE(TakePanelNumber(e, kPanelNumbers[3], "16"));
         }, {}},
        {"the latency timer", [](PortEntry& e) {
             ASSERT_TRUE(TakePanelNumber(e, kPanelNumbers[3], "1"));
         }, {"COM4 LatencyTimer"}},
        {"an option bit", [](PortEntry& e) {
             ConfigBytes next = e.configData;
             SetOption(next, kOptSerialPrinter, true);
             e.changeConfigData(next);
         }, {"COM4 ConfigData"}},
        {"the serial enumerator", [](PortEntry& e) { TakeSerialEnumerator(e, false); },
         {"COM4 -UpperFilters"}},
        {"a preset", [](PortEntry& e) { ApplyPreset(e, Preset::Varnok); },
         {"COM4 MinReadTimeout", "COM4 MinWriteTimeout", "COM4 PollingPeriod",
          "COM4 LatencyTimer", "COM4 ConfigData", "COM4 -UpperFilters"}},
        // COM4's ConfigData has buffered writes on; its three values are not
        // there.
        {"buffered-write values", [](PortEntry& e) {
             ASSERT_TRUE(BufferedWritesOn(e));
             ASSERT_FALSE(TakeBufferedWriteBoxes(e, {"100", "2", "3"}).size);
         }, {"COM4 WriteBufferSize", "COM4 WriteBufferThreshold", "COM4 WriteLatency"}},
        {"buffered writes off", [](PortEntry& e) {
             ConfigBytes next = e.configData;
             SetOption(next, kOptBufferedWrites, false);
             e.changeConfigData(next);
             ASSERT_FALSE(TakeBufferedWriteBoxes(e, {"100", "2", "3"}).size);
         }, {"COM4 ConfigData"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Installed in;
        c.edit(in.port(1));
        EXPECT_EQ(Names(PlanTableChanges(in.f.app.table)), c.changes);
        EXPECT_TRUE(in.f.registry.log.empty()) << "planning reads nothing";
    }
}

TEST(PlanPortChanges, TheLatencyTimerIsWrittenFrom1To255) {
    for (int32_t latency : {0, 1, 2, 255, 256, -1}) {
        SCOPED_TRACE(latency);
        Installed in;
        in.port(0).latencyTimer = latency;
        Problems problems;
        const ChangeSet changes = PlanPortChanges(in.port(0), &problems);
        const bool writable = latency >= 1 && latency <= 255;
        EXPECT_EQ(changes.size(), writable ? 1u : 0u);
        EXPECT_EQ(problems.size(), writable ? 0u : 1u);
        EXPECT_EQ(LatencyTimerWritable(latency), writable);
    }
    // The panel takes 1 and refuses 0.
    PortEntry e;
    EXPECT_TRUE(TakePanelNumber(e, kPanelNumbers[3], "1"));
    EXPECT_FALSE(TakePanelNumber(e, kPanelNumbers[3], "0"));
}

TEST(PlanPortChanges, UnreadValuesAndForeignFilterListsStayUnlessTheUserSetsThem) {
    const std::string params = Installed::params("AAAA0000A");
    const std::string inst = Installed::instance("AAAA0000A");
    const std::vector<uint8_t> foreign = {'m', 'y', 'f', 0, 's', 'e', 'r', 'e', 'n', 'u',
                                          'm', 0,   'x', 'y', 'z', 'q', 'r', 0,   0};
    Installed in([&](sim::MemRegistry& r) {
        r.setRaw(inst, "UpperFilters", reg::kMultiSz, foreign);
        r.failQuery.insert(sim::MemRegistry::lower(params + "|ConfigData"));
        r.failQuery.insert(sim::MemRegistry::lower(params + "|PollingPeriod"));
    });
    in.f.registry.failQuery.clear();
    PortEntry& e = in.port(0);
    EXPECT_FALSE(e.writesBack(kFieldConfigData));
    EXPECT_FALSE(e.writesBack(kFieldUpperFilters));
    EXPECT_FALSE(e.writesBack(kFieldPollingPeriod));
    e.pollingPeriod = 99;  // not through the panel: not a change of the user
    EXPECT_TRUE(PlanPortChanges(e).empty());
    ASSERT_TRUE(TakePanelNumber(e, kPanelNumbers[0], "99"));
    EXPECT_EQ(Names(PlanPortChanges(e)), Strings{"COM3 MinReadTimeout"});
    ASSERT_TRUE(TakePanelNumber(e, kPanelNumbers[0], "98"));
    TakeSerialEnumerator(e, true);
    ConfigBytes next = e.configData;
    SetOption(next, kOptSetRtsOnClose, true);
    EXPECT_EQ(e.changeConfigData(next), ConfigDataChange::FromStandard);
    const ChangeSet changes = PlanPortChanges(e);
    ASSERT_EQ(Names(changes), (Strings{"COM3 MinReadTimeout", "COM3 ConfigData", "COM3 UpperFilters"}));
    EXPECT_FALSE(changes[1].before.has_value());
    EXPECT_EQ(*changes[2].after, std::vector<uint8_t>(kSerenumOn.begin(), kSerenumOn.end()));
}

// Faults on the way: each one is reported on its own change, and every
// other change (other ports included) is still written.
TEST(ApplyChanges, GoesOnPastAFailureAndReportsEachChange) {
    struct Fault {
        const char* what;
        std::function<void(sim::MemRegistry&)> inject;
        Strings failed;  // changes reported as failed
        bool keyOpened;
    };
    const Fault faults[] = {
        {"a value that cannot be set",
         [](sim::MemRegistry& r) {
             r.failSet.insert(sim::MemRegistry::lower(Installed::params("BBBB0000A") + "|LatencyTimer"));
         },
         {"COM4 LatencyTimer"}, true},
        {"a key that vanished",
         [](sim::MemRegistry& r) { r.removeKey(Installed::params("BBBB0000A")); },
         {"COM4 LatencyTimer", "COM4 ConfigData"}, false},
        {"an instance key that refuses",
         [](sim::MemRegistry& r) {
             r.failOpenForWrite.insert(sim::MemRegistry::lower(Installed::instance("BBBB0000A")));
         },
         {"COM4 -UpperFilters"}, false},
    };
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.what);
        Installed in;
        for (std::size_t i = 0; i < 3; ++i) {
            PortEntry& e = in.port(i);
            ASSERT_TRUE(TakePanelNumber(e, kPanelNumbers[3], "2"));
            ApplyPreset(e, Preset::Brivane);  // ConfigData; the filter list stays
            e.minReadTimeout = 16;
            e.minWriteTimeout = 17;
            e.pollingPeriod = 18;
            e.latencyTimer = 2;
            TakeSerialEnumerator(e, false);
        }
        const ChangeSet changes = PlanTableChanges(in.f.app.table);
        ASSERT_EQ(changes.size(), 9u);
        fault.inject(in.f.registry);
        const ApplyReport report = ApplyChanges(in.f.app, changes);
        Strings failed;
        for (std::size_t i : report.failed()) {
            failed.push_back(changes[i].port + (changes[i].deletes() ? " -" : " ") +
                             changes[i].valueName);
            EXPECT_EQ(report.results[i].keyOpened, fault.keyOpened);
        }
        EXPECT_EQ(failed, fault.failed);
        EXPECT_TRUE(report.anyWritten());
        EXPECT_FALSE(report.allWritten());
        for (const char* other : {"AAAA0000A", "CCCC0000A"}) {
            EXPECT_EQ(in.f.registry.dword(Installed::params(other), "LatencyTimer"), 2u);
            EXPECT_FALSE(in.f.registry.hasValue(Installed::instance(other), "UpperFilters"));
        }
        const std::string text = NotWrittenText(in.f.app, changes, report);
        for (const auto& name : failed)
            EXPECT_NE(text.find(name.substr(0, 4)), std::string::npos) << text;
        EXPECT_EQ(in.f.registry.openKeys, 0);
    }
}

TEST(ApplyChanges, BacksUpExactlyTheSetBeforeTheFirstWrite) {
    Installed in;
    sim::MemFileStore store;
    sim::FixedLocalTime time;
    backup::BackupJournal journal(in.f.registry, store, time);
    in.f.app.backup = &journal;
    ASSERT_TRUE(TakePanelNumber(in.port(2), kPanelNumbers[3], "3"));
    TakeSerialEnumerator(in.port(2), false);
    const ChangeSet changes = PlanTableChanges(in.f.app.table);

    // The backup fails: nothing is written unless the caller goes on.
    store.failWrite = true;
    ApplyReport report = ApplyChanges(in.f.app, changes);
    EXPECT_FALSE(report.backup.ok());
    EXPECT_FALSE(report.tried());
    EXPECT_EQ(in.f.registry.counters.sets + in.f.registry.counters.deletes, 0u);
    int asked = 0;
    report = ApplyChanges(in.f.app, changes, [&](const Failure&) { return ++asked, false; });
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(report.tried());

    store.failWrite = false;
    report = ApplyChanges(in.f.app, changes);
    EXPECT_TRUE(report.allWritten());
    ASSERT_EQ(store.files.size(), 1u);
    const std::string& text = store.files.begin()->second;
    EXPECT_NE(text.find("\"LatencyTimer\"=dword:00000010"), std::string::npos) << text;
    EXPECT_NE(text.find("\"UpperFilters\"=hex(7)"), std::string::npos) << text;
    for (const char* untouched : {"MinReadTimeout", "ConfigData", "AAAA0000A", "BBBB0000A"})
        EXPECT_EQ(text.find(untouched), std::string::npos) << untouched;
}

TEST(PlanIgnoreSerial, OnlyAChangeOfTheFlagIsPlanned) {
    Installed in;
    in.f.registry.createKey(kUsbFlagsKeyPath);
    EXPECT_TRUE(PlanIgnoreSerial(in.f.app, false).empty());
    ChangeSet on = PlanIgnoreSerial(in.f.app, true);
    ASSERT_EQ(on.size(), 4u);
    ASSERT_TRUE(ApplyChanges(in.f.app, on).allWritten());
    EXPECT_TRUE(PlanIgnoreSerial(in.f.app, true).empty());
    // Off deletes the values that are there.
    std::unique_ptr<reg::RegistryKey> key;
    ASSERT_EQ(in.f.registry.openKey(kUsbFlagsKeyPath, reg::kKeyAllAccess, &key), reg::kSuccess);
    ASSERT_EQ(key->deleteValue("IgnoreHWSerNum04036010"), reg::kSuccess);
    key.reset();
    const ChangeSet off = PlanIgnoreSerial(in.f.app, false);
    EXPECT_EQ(Names(off), (Strings{" -IgnoreHWSerNum04036001", " -IgnoreHWSerNum04036011",
                                   " -IgnoreHWSerNum04036015"}));
}

// The main dialog's Apply on an installation where one port's key vanished
// while the dialog was open: the port the user changed is written, and a
// change the registry refuses is told once, naming port and value.
TEST(MainDialogApply, WritesWhatChangedPastAVanishedKeyAndTellsFailuresOnce) {
    struct Case {
        const char* what;
        const char* vanished;      // serial of the key removed after start-up
        const char* refused;       // "serial|value" that cannot be set, or ""
        std::size_t boxes;
    };
    const Case cases[] = {
        {"another port's key vanished", "A1B2C3D4A", "", 0},
        {"the changed port's key vanished", "B1B2C3D4A", "", 1},
        {"a value is refused", "", "B1B2C3D4A|LatencyTimer", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FtdiFixture f;
        f.singlePort("A1B2C3D4", 5, 0x21);
        f.singlePort("B1B2C3D4", 6, 0x22);
        f.startDialog();
        f.view.selectRow(IDC_PORT_LIST, 1);
        ASSERT_EQ(f.app.table.selected()->portName, "COM6");
        f.view.boxes.clear();
        const std::string com6 = FtdiFixture::ParamsPath(kId232R, "B1B2C3D4A");
        if (*c.vanished) f.registry.removeKey(FtdiFixture::InstancePath(kId232R, c.vanished));
        if (*c.refused)
            f.registry.failSet.insert(sim::MemRegistry::lower(
                FtdiFixture::ParamsPath(kId232R, std::string(c.refused).substr(0, 9)) + "|" +
                std::string(c.refused).substr(10)));
        f.view.setText(IDC_LATENCY, "3");
        f.view.setText(IDC_MIN_READ_TIMEOUT, "7");
        f.d2xx.changes.clear();
        f.view.click(IDC_APPLY);
        ASSERT_EQ(f.view.boxes.size(), c.boxes);
        if (c.boxes == 1) {
            EXPECT_EQ(f.view.boxes[0].caption, "ERROR");
            EXPECT_NE(f.view.boxes[0].text.find("COM6 LatencyTimer"), std::string::npos)
                << f.view.boxes[0].text;
        }
        if (std::string(c.vanished) != "B1B2C3D4A") {
            EXPECT_EQ(f.registry.dword(com6, "MinReadTimeout"), 7u);
            EXPECT_EQ(f.registry.dword(com6, "LatencyTimer"), *c.refused ? 16u : 3u);
        }
        EXPECT_EQ(f.d2xx.changes, std::vector<std::string>{"FT_Reload 0x0403 0x0000"});
        EXPECT_EQ(f.registry.openKeys, 0);
    }
}

}  // namespace
