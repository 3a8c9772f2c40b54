// Reading the driver's per-port values (writing them: ChangeSetTest).
#include <gtest/gtest.h>

#include <algorithm>

#include "configurator/baud/ConfigDataRecord.h"
#include "configurator/settings/RegistrySettings.h"
#include "tests/unit/FtdiFixture.h"
#include "tests/unit/MessageBoxes.h"
#include "tests/unit/ShownProblems.h"

using namespace varnok;
using namespace varnok::cfg;
using varnok::test::FtdiFixture;
using varnok::test::KeyRecord;
using varnok::test::kId232H;
using varnok::test::kId232R;

TEST(ReadPortSettings, ReadsEveryValueAndMarksItKnown) {
    FtdiFixture f;
    f.install(kId232R, "A1B2C3D4A", 5);
    f.app.table.entries = {KeyRecord(kId232R, "A1B2C3D4A")};
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
    f.app.table.entries = {KeyRecord(kId232R, "A1B2C3D4A")};
    f.app.table.entries[0].minReadTimeout = 77;  // a failed read keeps the field
    ASSERT_TRUE(test::ReadPortSettings(f.app, f.view));
    EXPECT_EQ(f.view.boxes, test::Boxes({"Config not found", "Port Name not found",
                                         "MinReadTime not found", "MinWriteTime not found",
                                         "PollingPEriod not found"},
                                        "ERROR", ui::Icon::None));
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
    f.app.table.entries = {KeyRecord(kId232R, "A1B2C3D4A")};
    ASSERT_TRUE(test::ReadPortSettings(f.app, f.view));
    EXPECT_EQ(f.boxTexts(), (std::vector<std::string>{"Config not found", "Port Name not found",
                                                      "No Latency found"}));
    EXPECT_TRUE(f.app.table.entries[0].portName.empty());

    // Sixteen bytes without a terminator is no port name either.
    f.view.boxes.clear();
    f.registry.setRaw(params, "PortName", reg::kSz, std::vector<uint8_t>(16, 'C'));
    f.app.table.entries = {KeyRecord(kId232R, "A1B2C3D4A")};
    test::ReadPortSettings(f.app, f.view);
    EXPECT_EQ(f.boxTexts().at(1), "Port Name not found");
}

TEST(ReadPortSettings, ShortConfigDataIsReportedAndTheStandardImageStandsIn) {
    FtdiFixture f;
    f.install(kId232R, "A1B2C3D4A", 5);
    f.registry.setBinary(FtdiFixture::ParamsPath(kId232R, "A1B2C3D4A"), "ConfigData",
                         std::vector<uint8_t>(20, 0x55));
    f.app.table.entries = {KeyRecord(kId232R, "A1B2C3D4A")};
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
        f.app.table.entries = {KeyRecord(kId232R, "A1B2C3D4A")};
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
    f.app.table.entries = {KeyRecord(kId232R, "TEN0000A"), KeyRecord(0, "garbage"),
                           KeyRecord(kId232R, "TWO0000A"), KeyRecord(kId232R, "NINE000A")};
    f.registry.log.clear();
    ASSERT_TRUE(test::ReadPortSettings(f.app, f.view));
    EXPECT_EQ(f.portNames(), (std::vector<std::string>{"", "COM2", "COM9", "COM10"}));
    for (const auto& l : f.registry.log) EXPECT_EQ(l.find("garbage"), std::string::npos) << l;
}

TEST(ReadPortSettings, MissingKeysAreSilentAndLeaveOnlyTheirPortUnread) {
    FtdiFixture f;
    f.install(kId232R, "TEN0000A", 10);
    f.install(kId232R, "TWO0000A", 2);
    f.install(kId232R, "NINE000A", 9);
    f.registry.failOpen.insert(sim::MemRegistry::lower(FtdiFixture::InstancePath(kId232R, "TEN0000A")));
    f.registry.removeKey(FtdiFixture::ParamsPath(kId232R, "TWO0000A"));
    f.app.table.entries = {KeyRecord(kId232R, "TEN0000A"), KeyRecord(kId232R, "TWO0000A"),
                           KeyRecord(kId232R, "NINE000A")};
    EXPECT_FALSE(test::ReadPortSettings(f.app, f.view));
    // The port without parameters stays unread (no name, so first); the
    // port after it is read and the table sorted.
    EXPECT_EQ(f.portNames(), (std::vector<std::string>{"", "COM9", "COM10"}));
    EXPECT_EQ(f.app.table.entries[0].knownFields & ~kFieldUpperFilters, 0u);
    EXPECT_TRUE(f.app.table.entries[1].knownFields & kFieldLatencyTimer);
    EXPECT_FALSE(f.app.table.entries[2].knownFields & kFieldUpperFilters);
    // Nothing of the unread port is planned.
    EXPECT_TRUE(PlanTableChanges(f.app.table).empty());
    EXPECT_TRUE(f.view.boxes.empty());
    EXPECT_EQ(f.registry.openKeys, 0);
}
