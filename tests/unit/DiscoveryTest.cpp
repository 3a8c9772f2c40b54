// Device enumeration, key matching and the registry-built table.
#include <gtest/gtest.h>

#include <map>

#include "configurator/discovery/Discovery.h"
#include "configurator/discovery/InstanceKeyName.h"
#include "tests/unit/FtdiFixture.h"
#include "tests/unit/MessageBoxes.h"
#include "tests/unit/ShownProblems.h"

using namespace varnok;
using namespace varnok::cfg;
using varnok::test::FtdiFixture;
using varnok::test::kId2232;
using varnok::test::kId230X;
using varnok::test::kId232H;
using varnok::test::kId232R;

namespace {

std::vector<std::string> Serials(const Configurator& app) {
    std::vector<std::string> out;
    for (const auto& e : app.table.entries) out.push_back(e.serialNumber);
    return out;
}

int Match(FtdiFixture& f) {
    std::unique_ptr<reg::RegistryKey> key;
    EXPECT_EQ(f.registry.openKey(kEnumeratorKeyPath, reg::kKeyRead, &key), reg::kSuccess);
    return MatchInstanceKeys(f.app, *key);
}

int Build(FtdiFixture& f) {
    std::unique_ptr<reg::RegistryKey> key;
    EXPECT_EQ(f.registry.openKey(kEnumeratorKeyPath, reg::kKeyRead, &key), reg::kSuccess);
    return test::BuildTableFromRegistry(f.app, f.view, *key);
}

}  // namespace

TEST(InstanceKeyName, SplitsAtFixedPlaces) {
    auto n = SplitInstanceKeyName("VID_0403+PID_6001+A1B2C3D4A");
    EXPECT_TRUE(n.valid);
    EXPECT_EQ(n.deviceId, 0x04036001u);
    EXPECT_EQ(n.serial, "A1B2C3D4A");
    auto upper = SplitInstanceKeyName("vid_0403+pid_60AF+X");
    EXPECT_TRUE(upper.valid);
    EXPECT_EQ(upper.deviceId, 0x040360AFu);
    // Serials longer than the record's old 19 characters are kept whole.
    EXPECT_EQ(SplitInstanceKeyName("VID_0403+PID_6001+" + std::string(40, 'Q')).serial.size(), 40u);
}

TEST(InstanceKeyName, OddNamesHaveNoIdentity) {
    for (const char* odd : {"", "VID_0403", "VID_0403+PID_6001", "VID_04G3+PID_6001+X",
                            "VID_0403+PID_60 1+X", "VID_+403+PID_6001+X", "XXX_0403+PID_6001+X",
                            "VID_0403-PID_6001+X", "VID_0403+PID_6001-X", "VID_0403+PID_6001+a\\b",
                            "VID_0403+PID_6001+a\x01"}) {
        auto n = SplitInstanceKeyName(odd);
        EXPECT_FALSE(n.valid) << odd;
        EXPECT_EQ(n.deviceId, 0u) << odd;
        EXPECT_TRUE(n.serial.empty()) << odd;
    }
}

TEST(EnumerateD2xx, SinglePortIdsGetThePortLetterAtPositionEight) {
    FtdiFixture f;
    f.attach(kId232R, "A1B2C3D4", 3, 0x11);
    f.attach(kId230X, "DN00XYZ9Q", 4, 0x12);  // letter replaces the ninth character
    f.attach(kId232H, "FT1ABCDE", 5, 0x13);   // other ids keep the library serial
    f.attach(kId232R, "SHORT", 6, 0x14);      // too short: the letter would follow the end
    ASSERT_TRUE(test::EnumerateD2xxDevices(f.app, f.view));
    EXPECT_EQ(Serials(f.app),
              (std::vector<std::string>{"A1B2C3D4A", "DN00XYZ9A", "FT1ABCDE", "SHORT"}));
    EXPECT_EQ(f.portNames(), (std::vector<std::string>{"COM3", "COM4", "COM5", "COM6"}));
    EXPECT_EQ(f.app.table.entries[0].description, "USB Serial Converter");
    EXPECT_EQ(f.app.table.entries[0].locationId, 0x11u);
    EXPECT_TRUE(f.app.table.entries[0].connected);
    EXPECT_EQ(f.app.table.openPortCount, 0);
    EXPECT_EQ(f.d2xx.openHandles(), 0);
}

TEST(EnumerateD2xx, CountsHeldAndUnqueryableDevicesAsOpenPorts) {
    FtdiFixture f;
    f.attach(kId232R, "HELD0001", 7, 0x21).flags = d2xx::kFlagOpened;  // flags 1, still openable
    auto& held = f.attach(kId232R, "HELD0002", 8, 0x22);
    held.flags = d2xx::kFlagOpened;
    held.openable = false;
    f.attach(kId232R, "CQFAIL01", 9, 0x23).comQueryFails = true;
    f.withoutComPort(kId232R, "NOCOM001", 0x24);  // no COM port is not an open port
    f.attach(kId232R, "HS000001", 10, 0x25).flags = d2xx::kFlagOpened | d2xx::kFlagHighSpeed;
    ASSERT_TRUE(test::EnumerateD2xxDevices(f.app, f.view));
    EXPECT_EQ(f.app.table.openPortCount, 3);
    // Counted devices keep the library's serial (no port letter).
    EXPECT_EQ(Serials(f.app), (std::vector<std::string>{"HELD0001", "HELD0002", "CQFAIL01",
                                                        "NOCOM001A", "HS000001A"}));
    EXPECT_EQ(f.portNames(), (std::vector<std::string>{"COM7", "", "", "", "COM10"}));
    EXPECT_FALSE(f.app.table.entries[3].connected);
    EXPECT_EQ(f.d2xx.openHandles(), 0);
}

TEST(EnumerateD2xx, FullWidthLibraryFieldsAreReadWithinBounds) {
    FtdiFixture f;
    f.attach(kId232H, std::string(16, 'S'), 3, 1, std::string(64, 'D'));
    ASSERT_TRUE(test::EnumerateD2xxDevices(f.app, f.view));
    EXPECT_EQ(f.app.table.entries[0].serialNumber, std::string(16, 'S'));
    EXPECT_EQ(f.app.table.entries[0].description, std::string(63, 'D'));
}

TEST(EnumerateD2xx, NoDeviceEmptiesTheTableAndWarns) {
    for (bool listFails : {false, true}) {
        FtdiFixture f;
        f.unplugged(kId232R, "OLD00001A", 4);
        ASSERT_EQ(Build(f), 1);  // start-up's registry-only table
        ASSERT_EQ(f.app.table.count(), 1u);
        f.d2xx.createListFails = listFails;
        EXPECT_TRUE(test::EnumerateD2xxDevices(f.app, f.view));
        EXPECT_EQ(f.app.table.count(), 0u);
        EXPECT_EQ(f.view.boxes,
                  test::Boxes({"No active FTDI devices found"}, "WARNING", ui::Icon::Warning));
        EXPECT_TRUE(f.app.attachedSerials.empty());
    }
}

TEST(EnumerateD2xx, NoWarningWhileDisconnectedDevicesAreShown) {
    FtdiFixture f;
    f.app.table.showDisconnected = true;
    EXPECT_TRUE(test::EnumerateD2xxDevices(f.app, f.view));
    EXPECT_TRUE(f.view.boxes.empty());
}

TEST(EnumerateD2xx, MissingEnumeratorKeyFailsAndKeepsTheTable) {
    FtdiFixture f;
    f.singlePort("A1B2C3D4", 3, 1);
    ASSERT_TRUE(test::EnumerateD2xxDevices(f.app, f.view));
    f.app.table.openPortCount = 5;
    f.registry.failOpen.insert(sim::MemRegistry::lower(kEnumeratorKeyPath));
    EXPECT_FALSE(test::EnumerateD2xxDevices(f.app, f.view));
    EXPECT_EQ(f.app.table.count(), 1u);
    EXPECT_EQ(f.app.table.openPortCount, 0);
    EXPECT_EQ(f.view.boxes,
              test::Boxes({"Device or FTDI driver is not installed"}, "ERROR", ui::Icon::None));
    EXPECT_EQ(f.registry.openKeys, 0);
}

TEST(MatchInstanceKeys, GivesEachRecordTheSerialOfTheKeyWithItsComName) {
    FtdiFixture f;
    f.dualPort("FT4XQ1", 10, 11, 0x31, 0x32);
    f.singlePort("A1B2C3D4", 2, 0x21);
    // The library's serial and the key's serial differ for this device.
    f.install(kId232H, "FTH0001Z", 12);
    f.attach(kId232H, "FTH0001", 12, 0x41);
    ASSERT_TRUE(test::EnumerateD2xxDevices(f.app, f.view));
    ASSERT_EQ(Match(f), 1);
    EXPECT_EQ(Serials(f.app),
              (std::vector<std::string>{"FT4XQ1A", "FT4XQ1B", "A1B2C3D4A", "FTH0001Z"}));
    EXPECT_EQ(f.app.attachedSerials, Serials(f.app));
    EXPECT_EQ(f.registry.openKeys, 0);
}

TEST(MatchInstanceKeys, KeysWithConfigFlagsOrWithoutPortNameNeverMatch) {
    FtdiFixture f;
    f.staleKey(kId232H, "AAAOLD", 5);  // enumerates first, same COM name
    f.install(kId232H, "AABROKEN", 0);  // no PortName
    f.install(kId232H, "ZZNEW", 5);
    f.attach(kId232H, "LIB", 5, 1);
    ASSERT_TRUE(test::EnumerateD2xxDevices(f.app, f.view));
    ASSERT_EQ(Match(f), 1);
    EXPECT_EQ(Serials(f.app), std::vector<std::string>{"ZZNEW"});
}

TEST(MatchInstanceKeys, FirstUnmatchedRecordEndsMatching) {
    FtdiFixture f;
    f.singlePort("A1B2C3D4", 3, 1);
    f.attach(kId232H, "NOKEY", 4, 2);  // no key has COM4
    f.singlePort("B1B2C3D4", 5, 3);
    f.withoutComPort(kId232H, "NOCOM", 4);
    ASSERT_TRUE(test::EnumerateD2xxDevices(f.app, f.view));
    ASSERT_EQ(Match(f), 1);
    EXPECT_EQ(Serials(f.app),
              (std::vector<std::string>{"A1B2C3D4A", "NOKEY", "B1B2C3D4A", "NOCOM"}));

    // A record without a COM name ends it as well: the device after it
    // keeps the library's serial rather than a key's.
    FtdiFixture g;
    g.withoutComPort(kId232H, "NOCOM", 1);
    g.install(kId232H, "KEYSER", 6);
    g.attach(kId232H, "LIBSER", 6, 2);
    ASSERT_TRUE(test::EnumerateD2xxDevices(g.app, g.view));
    ASSERT_EQ(Match(g), 1);
    EXPECT_EQ(Serials(g.app), (std::vector<std::string>{"NOCOM", "LIBSER"}));
}

TEST(MatchInstanceKeys, FailsWithoutSubkeys) {
    FtdiFixture f;
    f.attach(kId232H, "LIB", 5, 1);
    ASSERT_TRUE(test::EnumerateD2xxDevices(f.app, f.view));
    EXPECT_EQ(Match(f), 0);
    EXPECT_EQ(Serials(f.app), std::vector<std::string>{"LIB"});
}

TEST(MatchInstanceKeys, OddKeyNamesAreNeverOpened) {
    FtdiFixture f;
    f.registry.setDword(std::string(kEnumeratorKeyPath) + "\\ODD\\0000", "ConfigFlags", 0);
    f.registry.setString(std::string(kEnumeratorKeyPath) + "\\ODD\\0000\\Device Parameters",
                         "PortName", "COM5");
    f.attach(kId232H, "LIB", 5, 1);
    ASSERT_TRUE(test::EnumerateD2xxDevices(f.app, f.view));
    f.registry.log.clear();
    ASSERT_EQ(Match(f), 1);
    EXPECT_EQ(Serials(f.app), std::vector<std::string>{"LIB"});
    for (const auto& line : f.registry.log) EXPECT_EQ(line.find("ODD"), std::string::npos) << line;
}

namespace {

// The matching as first described: for each record, walk the keys from the
// first one, reading every key again, until one matches.
std::vector<std::string> NaiveMatch(FtdiFixture& f) {
    std::vector<std::string> serials = Serials(f.app);
    std::vector<std::pair<std::string, std::string>> keys;  // (serial, port) or ("", "")
    const auto* node = f.registry.node(kEnumeratorKeyPath);
    for (const auto& kid : node->kids) {
        auto n = SplitInstanceKeyName(kid.second->name);
        PortEntry probe;
        probe.deviceId = n.deviceId;
        probe.serialNumber = n.serial;
        bool ok = n.valid && f.registry.hasValue(InstanceKeyPath(probe), "ConfigFlags") &&
                  f.registry.dword(InstanceKeyPath(probe), "ConfigFlags") == 0;
        std::string port = ok ? f.registry.string(DeviceParametersKeyPath(probe), "PortName") : "";
        if (port.size() > 6) port.clear();
        keys.emplace_back(n.serial, port);
    }
    std::size_t i = 0, j = 0;
    while (i < serials.size() && j < keys.size()) {
        const std::string& port = f.app.table.entries[i].portName;
        if (!keys[j].second.empty() && keys[j].second == port) {
            serials[i] = keys[j].first;
            ++i;
            j = 0;
        } else {
            ++j;
        }
    }
    return serials;
}

}  // namespace

TEST(MatchInstanceKeys, SameResultAsTheRestartingWalkWithEachKeyReadOnce) {
    // Duplicated COM names, stale keys, a device matched by a later key,
    // a record that ends the matching.
    FtdiFixture f;
    f.staleKey(kId232R, "00STALE1A", 7);
    f.install(kId232R, "11DUPCOMA", 8);
    f.install(kId232R, "22DUPCOMA", 8);
    f.install(kId232R, "33SECOND", 7);
    f.install(kId232R, "44THIRDA", 9);
    f.attach(kId232H, "X1", 8, 1);
    f.attach(kId232H, "X2", 7, 2);
    f.attach(kId232H, "X3", 8, 3);  // same COM name again: the same first key
    f.attach(kId232H, "X4", 12, 4);  // no key: ends matching
    f.attach(kId232H, "X5", 9, 5);
    ASSERT_TRUE(test::EnumerateD2xxDevices(f.app, f.view));
    const auto expected = NaiveMatch(f);
    f.registry.counters = {};
    ASSERT_EQ(Match(f), 1);
    EXPECT_EQ(Serials(f.app), expected);
    EXPECT_EQ(Serials(f.app),
              (std::vector<std::string>{"11DUPCOMA", "33SECOND", "11DUPCOMA", "X4", "X5"}));
    // Five keys: the enumerator key, then each instance key and device
    // parameters key opened once at most.
    EXPECT_LE(f.registry.counters.opens, 11u);
    EXPECT_LE(f.registry.counters.queries, 10u);
}

TEST(MatchInstanceKeys, StopsReadingKeysOnceEveryRecordIsMatched) {
    FtdiFixture f;
    f.singlePort("A1B2C3D4", 3, 1);
    for (int k = 0; k < 30; ++k) f.unplugged(kId232R, "ZZ" + std::to_string(100 + k) + "A", 20 + k);
    ASSERT_TRUE(test::EnumerateD2xxDevices(f.app, f.view));
    f.registry.counters = {};
    ASSERT_EQ(Match(f), 1);
    EXPECT_EQ(f.registry.counters.opens, 3u);  // enumerator key, then the first key's two
}

TEST(BuildTableFromRegistry, OneRecordPerKeyMarkedByTheLastD2xxPass) {
    FtdiFixture f;
    f.singlePort("A1B2C3D4", 3, 1);
    f.unplugged(kId232R, "OLD00001A", 4);
    f.registry.createKey(std::string(kEnumeratorKeyPath) + "\\VID_zz");  // odd name
    ASSERT_TRUE(test::EnumerateD2xxDevices(f.app, f.view));
    ASSERT_EQ(Match(f), 1);
    ASSERT_EQ(Build(f), 1);
    ASSERT_EQ(f.app.table.count(), 3u);
    std::map<std::string, int> connected;
    for (const auto& e : f.app.table.entries) {
        connected[e.serialNumber] = e.connected;
        EXPECT_TRUE(e.description.empty());
        EXPECT_EQ(e.locationId, 0u);
        EXPECT_TRUE(e.portName.empty());
    }
    EXPECT_EQ(connected, (std::map<std::string, int>{{"", 0}, {"A1B2C3D4A", 1}, {"OLD00001A", 0}}));
    for (const auto& e : f.app.table.entries)
        EXPECT_EQ(e.deviceId, e.serialNumber.empty() ? 0u : kId232R);

    // Built again from its own records (Apply), the marks stay true.
    ASSERT_EQ(Build(f), 1);
    for (const auto& e : f.app.table.entries) EXPECT_EQ(e.connected, connected[e.serialNumber]);
}

TEST(BuildTableFromRegistry, NoSubkeysGivesAnEmptyTableAndFailure) {
    FtdiFixture f;
    f.singlePort("A1B2C3D4", 3, 1);
    f.registry.removeKey(FtdiFixture::InstancePath(kId232R, "A1B2C3D4A").substr(
        0, FtdiFixture::InstancePath(kId232R, "A1B2C3D4A").size() - 5));
    ASSERT_TRUE(test::EnumerateD2xxDevices(f.app, f.view));
    EXPECT_EQ(Build(f), 0);
    EXPECT_EQ(f.app.table.count(), 0u);
}
