// Reading and writing the driver's per-port values.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "configurator/baud/ConfigDataRecord.h"
#include "configurator/settings/RegistrySettings.h"
#include "tests/unit/FtdiFixture.h"
#include "tests/unit/ShownProblems.h"

using namespace varnok;
using namespace varnok::cfg;
using varnok::test::FtdiFixture;
using varnok::test::kId232H;
using varnok::test::kId232R;

namespace {

// A record that names an installed key, as discovery leaves it.
PortEntry Record(uint32_t id, const std::string& serial) {
    PortEntry e;
    e.deviceId = id;
    e.serialNumber = serial;
    return e;
}

std::vector<std::string> Lines(const std::vector<std::string>& log, const std::string& prefix) {
    std::vector<std::string> out;
    for (const auto& l : log)
        if (l.compare(0, prefix.size(), prefix) == 0) out.push_back(l);
    return out;
}

std::string Param(const std::string& serial, const std::string& value) {
    return "set " + FtdiFixture::ParamsPath(kId232R, serial) + "|" + value;
}

}  // namespace

// --- ReadPortSettings ---

TEST(ReadPortSettings, ReadsEveryValueAndMarksItKnown) {
    FtdiFixture f;
    f.install(kId232R, "A1B2C3D4A", 5);
    f.app.table.entries = {Record(kId232R, "A1B2C3D4A")};
    ASSERT_TRUE(test::ReadPortSettings(f.app, f.view));
    const PortEntry& e = f.app.table.entries[0];
    EXPECT_EQ(e.portName, "COM5");
    EXPECT_EQ(std::vector<uint8_t>(e.configData.begin(), e.configData.end()),
              FtdiFixture::ConfigDataFor(5));
    EXPECT_EQ(e.minReadTimeout, 16);
    EXPECT_EQ(e.minWriteTimeout, 17);
    EXPECT_EQ(e.pollingPeriod, 18);
    EXPECT_EQ(e.latencyTimer, 16);
    EXPECT_TRUE(e.serialEnumeratorOn());  // 9-byte "serenum\0\0"
    EXPECT_EQ(e.upperFilters, kSerenumOn);
    EXPECT_EQ(e.knownFields, uint32_t(kFieldConfigData | kFieldPortName | kFieldMinReadTimeout |
                                       kFieldMinWriteTimeout | kFieldPollingPeriod |
                                       kFieldLatencyTimer | kFieldUpperFilters));
    EXPECT_TRUE(f.view.boxes.empty());
    EXPECT_EQ(f.registry.openKeys, 0);
}

TEST(ReadPortSettings, OneMessagePerMissingValueAndReadingGoesOn) {
    FtdiFixture f;
    f.install(kId232R, "A1B2C3D4A", 5);
    const std::string params = FtdiFixture::ParamsPath(kId232R, "A1B2C3D4A");
    f.registry.removeKey(params);
    f.registry.createKey(params);
    f.registry.setDword(params, "LatencyTimer", 4);
    f.app.table.entries = {Record(kId232R, "A1B2C3D4A")};
    f.app.table.entries[0].minReadTimeout = 77;  // a failed read keeps the field
    ASSERT_TRUE(test::ReadPortSettings(f.app, f.view));
    EXPECT_EQ(f.boxTexts(),
              (std::vector<std::string>{"Config not found", "Port Name not found",
                                        "MinReadTime not found", "MinWriteTime not found",
                                        "PollingPEriod not found"}));
    for (const auto& b : f.view.boxes) {
        EXPECT_EQ(b.caption, "ERROR");
        EXPECT_EQ(b.icon, ui::Icon::None);
    }
    const PortEntry& e = f.app.table.entries[0];
    EXPECT_EQ(e.latencyTimer, 4);
    EXPECT_EQ(e.minReadTimeout, 77);
    EXPECT_EQ(e.knownFields, uint32_t(kFieldLatencyTimer | kFieldUpperFilters));
}

TEST(ReadPortSettings, ValuesThatDoNotFitAreNotRead) {
    FtdiFixture f;
    f.install(kId232R, "A1B2C3D4A", 5);
    const std::string params = FtdiFixture::ParamsPath(kId232R, "A1B2C3D4A");
    f.registry.setString(params, "PortName", "COM1234567890123");  // 16 characters
    f.registry.setBinary(params, "ConfigData", std::vector<uint8_t>(65, 1));
    f.registry.setRaw(params, "LatencyTimer", reg::kDword, {1, 2, 3, 4, 5});
    f.app.table.entries = {Record(kId232R, "A1B2C3D4A")};
    ASSERT_TRUE(test::ReadPortSettings(f.app, f.view));
    EXPECT_EQ(f.boxTexts(), (std::vector<std::string>{"Config not found", "Port Name not found",
                                                      "No Latency found"}));
    EXPECT_TRUE(f.app.table.entries[0].portName.empty());

    // Sixteen bytes without a terminator is no port name either.
    f.view.boxes.clear();
    f.registry.setRaw(params, "PortName", reg::kSz, std::vector<uint8_t>(16, 'C'));
    f.app.table.entries = {Record(kId232R, "A1B2C3D4A")};
    test::ReadPortSettings(f.app, f.view);
    EXPECT_EQ(f.boxTexts().at(1), "Port Name not found");
}

TEST(ReadPortSettings, ShortConfigDataIsReportedAndTheStandardImageStandsIn) {
    FtdiFixture f;
    f.install(kId232R, "A1B2C3D4A", 5);
    f.registry.setBinary(FtdiFixture::ParamsPath(kId232R, "A1B2C3D4A"), "ConfigData",
                         std::vector<uint8_t>(20, 0x55));
    f.app.table.entries = {Record(kId232R, "A1B2C3D4A")};
    ASSERT_TRUE(test::ReadPortSettings(f.app, f.view));
    EXPECT_EQ(f.boxTexts(), std::vector<std::string>{"Config not found"});
    EXPECT_EQ(f.app.table.entries[0].configData, kStandardDivisorTable);
    EXPECT_FALSE(f.app.table.entries[0].knownFields & kFieldConfigData);
}

TEST(ReadPortSettings, UpperFiltersKnownOnlyInTheFormsThisProgramWrites) {
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        bool absent;
        bool on;
        bool known;
    };
    const std::vector<Case> cases = {
        {"serenum with one NUL pair", {'s', 'e', 'r', 'e', 'n', 'u', 'm', 0, 0}, false, true, true},
        {"absent", {}, true, false, true},
        {"all NUL", {0, 0}, false, false, true},
        {"another filter first", {'f', 'o', 'o', 0, 0}, false, false, false},
        {"serenum second", {'a', 0, 's', 'e', 'r', 'e', 'n', 'u', 'm', 0, 0}, false, false, false},
        {"longer than 16 bytes",
         {'s', 'e', 'r', 'e', 'n', 'u', 'm', 0, 'o', 't', 'h', 'e', 'r', 'f', 'i', 'l', 't', 0, 0},
         false, false, false},
    };
    for (const auto& c : cases) {
        FtdiFixture f;
        f.install(kId232R, "A1B2C3D4A", 5);
        const std::string inst = FtdiFixture::InstancePath(kId232R, "A1B2C3D4A");
        if (c.absent) {
            std::unique_ptr<reg::RegistryKey> k;
            f.registry.openKey(inst, reg::kKeyAllAccess, &k);
            k->deleteValue("UpperFilters");
        } else {
            f.registry.setRaw(inst, "UpperFilters", reg::kMultiSz, c.bytes);
        }
        f.app.table.entries = {Record(kId232R, "A1B2C3D4A")};
        test::ReadPortSettings(f.app, f.view);
        const PortEntry& e = f.app.table.entries[0];
        EXPECT_EQ(e.serialEnumeratorOn(), c.on) << c.what;
        EXPECT_EQ(bool(e.knownFields & kFieldUpperFilters), c.known) << c.what;
    }
}

TEST(ReadPortSettings, SkipsRecordsWithoutIdentityAndSorts) {
    FtdiFixture f;
    f.install(kId232R, "TEN0000A", 10);
    f.install(kId232R, "TWO0000A", 2);
    f.install(kId232R, "NINE000A", 9);
    f.app.table.entries = {Record(kId232R, "TEN0000A"), Record(0, "garbage"),
                           Record(kId232R, "TWO0000A"), Record(kId232R, "NINE000A")};
    f.registry.log.clear();
    ASSERT_TRUE(test::ReadPortSettings(f.app, f.view));
    EXPECT_EQ(f.portNames(), (std::vector<std::string>{"", "COM2", "COM9", "COM10"}));
    for (const auto& l : f.registry.log) EXPECT_EQ(l.find("garbage"), std::string::npos) << l;
}

TEST(ReadPortSettings, MissingInstanceKeyIsSilentMissingParametersKeyStops) {
    FtdiFixture f;
    f.install(kId232R, "TEN0000A", 10);
    f.install(kId232R, "TWO0000A", 2);
    f.install(kId232R, "NINE000A", 9);
    f.registry.failOpen.insert(sim::MemRegistry::lower(FtdiFixture::InstancePath(kId232R, "TEN0000A")));
    f.registry.removeKey(FtdiFixture::ParamsPath(kId232R, "TWO0000A"));
    f.app.table.entries = {Record(kId232R, "TEN0000A"), Record(kId232R, "TWO0000A"),
                           Record(kId232R, "NINE000A")};
    EXPECT_FALSE(test::ReadPortSettings(f.app, f.view));
    // Unsorted, the third record never read.
    EXPECT_EQ(f.portNames(), (std::vector<std::string>{"COM10", "", ""}));
    EXPECT_FALSE(f.app.table.entries[0].knownFields & kFieldUpperFilters);
    EXPECT_TRUE(f.view.boxes.empty());
    EXPECT_EQ(f.registry.openKeys, 0);
}

// --- WritePortSettings ---

TEST(WritePortSettings, WritesEveryRecordInOrder) {
    FtdiFixture f;
    f.install(kId232R, "AAAA0000A", 3);
    f.install(kId232R, "BBBB0000A", 4);
    f.app.table.entries = {Record(kId232R, "AAAA0000A"), Record(0, "skipped"),
                           Record(kId232R, "BBBB0000A")};
    ASSERT_TRUE(test::ReadPortSettings(f.app, f.view));
    ASSERT_EQ(f.portNames(), (std::vector<std::string>{"", "COM3", "COM4"}));
    f.app.table.entries[2].latencyTimer = 4;
    f.app.table.entries[2].upperFilters = kSerenumOff;
    f.registry.log.clear();
    ASSERT_TRUE(WritePortSettings(f.app));
    std::vector<std::string> changes;
    for (const auto& l : f.registry.log)
        if (l.rfind("set ", 0) == 0 || l.rfind("delete ", 0) == 0) changes.push_back(l);
    const std::string instB = FtdiFixture::InstancePath(kId232R, "BBBB0000A");
    const std::string instA = FtdiFixture::InstancePath(kId232R, "AAAA0000A");
    EXPECT_EQ(changes, (std::vector<std::string>{
                           Param("AAAA0000A", "MinReadTimeout"), Param("AAAA0000A", "MinWriteTimeout"),
                           Param("AAAA0000A", "PollingPeriod"), Param("AAAA0000A", "LatencyTimer"),
                           Param("AAAA0000A", "ConfigData"), "set " + instA + "|UpperFilters",
                           Param("BBBB0000A", "MinReadTimeout"), Param("BBBB0000A", "MinWriteTimeout"),
                           Param("BBBB0000A", "PollingPeriod"), Param("BBBB0000A", "LatencyTimer"),
                           Param("BBBB0000A", "ConfigData"), "delete " + instB + "|UpperFilters"}));
    const std::string paramsB = FtdiFixture::ParamsPath(kId232R, "BBBB0000A");
    EXPECT_EQ(f.registry.dword(paramsB, "LatencyTimer"), 4u);
    EXPECT_EQ(f.registry.value(paramsB, "LatencyTimer")->type, reg::kDword);
    EXPECT_EQ(f.registry.value(paramsB, "ConfigData")->data, FtdiFixture::ConfigDataFor(4));
    EXPECT_FALSE(f.registry.hasValue(instB, "UpperFilters"));
    // The 9-byte serenum list comes back in its 16-byte form.
    const auto* filters = f.registry.value(instA, "UpperFilters");
    ASSERT_NE(filters, nullptr);
    EXPECT_EQ(filters->type, reg::kMultiSz);
    EXPECT_EQ(filters->data, std::vector<uint8_t>(kSerenumOn.begin(), kSerenumOn.end()));
    EXPECT_EQ(f.registry.openKeys, 0);
    // Never PortName, never the buffered-write values.
    for (const auto& l : changes) {
        EXPECT_EQ(l.find("|PortName"), std::string::npos);
        EXPECT_EQ(l.find("|Write"), std::string::npos);
    }
}

TEST(WritePortSettings, LatencyOutsideTwoTo255IsLeftAlone) {
    for (int32_t latency : {0, 1, 256, -1, 2, 255}) {
        FtdiFixture f;
        f.install(kId232R, "AAAA0000A", 3);
        f.app.table.entries = {Record(kId232R, "AAAA0000A")};
        test::ReadPortSettings(f.app, f.view);
        f.app.table.entries[0].latencyTimer = latency;
        ASSERT_TRUE(WritePortSettings(f.app));
        const uint32_t stored = f.registry.dword(FtdiFixture::ParamsPath(kId232R, "AAAA0000A"),
                                                 "LatencyTimer");
        const bool writable = latency >= 2 && latency <= 255;
        EXPECT_EQ(stored, writable ? uint32_t(latency) : 16u) << latency;
        EXPECT_TRUE(f.view.boxes.empty());
    }
}

TEST(WritePortSettings, UnreadValuesAreNotOverwrittenWithZeros) {
    FtdiFixture f;
    f.install(kId232R, "AAAA0000A", 3);
    const std::string params = FtdiFixture::ParamsPath(kId232R, "AAAA0000A");
    // Unreadable now (say, access denied for a moment), present all the same.
    f.registry.failQuery.insert(sim::MemRegistry::lower(params + "|ConfigData"));
    f.registry.failQuery.insert(sim::MemRegistry::lower(params + "|PollingPeriod"));
    f.app.table.entries = {Record(kId232R, "AAAA0000A")};
    test::ReadPortSettings(f.app, f.view);
    f.registry.failQuery.clear();
    f.app.table.entries[0].minReadTimeout = 99;
    ASSERT_TRUE(WritePortSettings(f.app));
    EXPECT_EQ(f.registry.value(params, "ConfigData")->data, FtdiFixture::ConfigDataFor(3));
    EXPECT_EQ(f.registry.dword(params, "PollingPeriod"), 18u);
    EXPECT_EQ(f.registry.dword(params, "MinReadTimeout"), 99u);

    // Once the user sets a value it is written.
    f.app.table.entries[0].configData.fill(0x11);
    f.app.table.entries[0].knownFields |= kFieldConfigData;
    ASSERT_TRUE(WritePortSettings(f.app));
    EXPECT_EQ(f.registry.value(params, "ConfigData")->data, std::vector<uint8_t>(64, 0x11));
}

TEST(WritePortSettings, ForeignFilterListsAreKeptUnlessTheUserChangesThem) {
    FtdiFixture f;
    f.install(kId232R, "AAAA0000A", 3);
    const std::string inst = FtdiFixture::InstancePath(kId232R, "AAAA0000A");
    const std::vector<uint8_t> foreign = {'m', 'y', 'f', 'i', 'l', 't', 0, 's', 'e', 'r',
                                          'e', 'n', 'u', 'm', 0,   'x', 'y', 'z', 0,   0};
    f.registry.setRaw(inst, "UpperFilters", reg::kMultiSz, foreign);
    f.app.table.entries = {Record(kId232R, "AAAA0000A")};
    test::ReadPortSettings(f.app, f.view);
    f.registry.log.clear();
    ASSERT_TRUE(WritePortSettings(f.app));
    EXPECT_EQ(f.registry.value(inst, "UpperFilters")->data, foreign);
    EXPECT_EQ(std::count(f.registry.log.begin(), f.registry.log.end(), "open " + inst), 0);

    // The user turns the serial enumerator on for this port.
    f.app.table.entries[0].upperFilters = kSerenumOn;
    f.app.table.entries[0].knownFields |= kFieldUpperFilters;
    ASSERT_TRUE(WritePortSettings(f.app));
    EXPECT_EQ(f.registry.value(inst, "UpperFilters")->data,
              std::vector<uint8_t>(kSerenumOn.begin(), kSerenumOn.end()));
}

TEST(WritePortSettings, StopsAtTheFirstFailureKeepingEarlierWrites) {
    struct Failure {
        const char* what;
        std::function<void(sim::MemRegistry&)> inject;
        std::vector<std::string> expectSets;  // value sets of the second record
    };
    const std::string paramsB = FtdiFixture::ParamsPath(kId232R, "BBBB0000A");
    const std::string instB = FtdiFixture::InstancePath(kId232R, "BBBB0000A");
    const std::vector<Failure> failures = {
        {"parameters key", [&](sim::MemRegistry& r) { r.failOpenForWrite.insert(sim::MemRegistry::lower(paramsB)); }, {}},
        {"a value", [&](sim::MemRegistry& r) { r.failSet.insert(sim::MemRegistry::lower(paramsB + "|PollingPeriod")); },
         {"set " + paramsB + "|MinReadTimeout", "set " + paramsB + "|MinWriteTimeout",
          "set " + paramsB + "|PollingPeriod"}},
        {"instance key", [&](sim::MemRegistry& r) { r.failOpenForWrite.insert(sim::MemRegistry::lower(instB)); },
         {"set " + paramsB + "|MinReadTimeout", "set " + paramsB + "|MinWriteTimeout",
          "set " + paramsB + "|PollingPeriod", "set " + paramsB + "|LatencyTimer",
          "set " + paramsB + "|ConfigData"}},
    };
    for (const auto& fail : failures) {
        FtdiFixture f;
        f.install(kId232R, "AAAA0000A", 3);
        f.install(kId232R, "BBBB0000A", 4);
        f.install(kId232R, "CCCC0000A", 5);
        f.app.table.entries = {Record(kId232R, "AAAA0000A"), Record(kId232R, "BBBB0000A"),
                               Record(kId232R, "CCCC0000A")};
        test::ReadPortSettings(f.app, f.view);
        fail.inject(f.registry);
        f.registry.log.clear();
        EXPECT_FALSE(WritePortSettings(f.app)) << fail.what;
        EXPECT_EQ(Lines(f.registry.log, "set " + FtdiFixture::ParamsPath(kId232R, "AAAA0000A")).size(), 5u);
        EXPECT_EQ(Lines(f.registry.log, "set " + paramsB), fail.expectSets) << fail.what;
        EXPECT_TRUE(Lines(f.registry.log, "open " + FtdiFixture::ParamsPath(kId232R, "CCCC0000A")).empty());
        EXPECT_TRUE(f.view.boxes.empty());
        EXPECT_EQ(f.registry.openKeys, 0);
    }
}
