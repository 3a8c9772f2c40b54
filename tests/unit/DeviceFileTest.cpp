// The device file of the test ftd2xx.dll: what it accepts, and that every bad
// line is refused with its line number instead of being half understood.
#include <gtest/gtest.h>

#include <cstring>

#include "sim/SimD2xx.h"

using namespace varnok;
using sim::ParseDeviceFile;
using sim::SimD2xx;

namespace {

struct Parsed {
    bool ok;
    std::string error;
    SimD2xx sim;
};

Parsed Parse(const std::string& text) {
    Parsed p;
    p.ok = ParseDeviceFile(text, &p.sim, &p.error);
    return p;
}

}  // namespace

TEST(DeviceFile, ReadsEveryKeyOfADeviceLine) {
    auto p = Parse(
        "device id=04036010 loc=2A serial=FT5X7Q2LA com=11 flags=0x3 type=6 open=0 comfail=1 "
        "ua=\"1,25 x\" uafail=1 desc=Dual RS232 A  \n");
    ASSERT_TRUE(p.ok) << p.error;
    ASSERT_EQ(p.sim.devices.size(), 1u);
    const auto& d = p.sim.devices[0];
    EXPECT_EQ(d.id, 0x04036010u);
    EXPECT_EQ(d.locId, 0x2Au);
    EXPECT_EQ(d.serial, "FT5X7Q2LA");
    EXPECT_EQ(d.comPort, 11);
    EXPECT_EQ(d.flags, 3u);
    EXPECT_EQ(d.type, 6u);
    EXPECT_FALSE(d.openable);
    EXPECT_TRUE(d.comQueryFails);
    EXPECT_TRUE(d.userAreaFails);
    EXPECT_EQ(d.userArea, SimD2xx::SwapPairs("1,25 x"));
    EXPECT_EQ(d.description, "Dual RS232 A  ");  // to the end of the line, blanks kept
}

TEST(DeviceFile, SkipsCommentsBlanksAndCarriageReturnsAndReadsGlobalLines) {
    auto p = Parse("# attached devices\r\n\r\n   \t\n  device\tloc=1 com=none\r\n"
                   "device com=-1\nfail create\nfail list\nreload 4\r\n");
    ASSERT_TRUE(p.ok) << p.error;
    ASSERT_EQ(p.sim.devices.size(), 2u);
    EXPECT_EQ(p.sim.devices[0].comPort, -1);
    EXPECT_EQ(p.sim.devices[0].id, 0x04036001u);  // defaults of a device
    EXPECT_TRUE(p.sim.devices[0].openable);
    EXPECT_TRUE(p.sim.createListFails);
    EXPECT_TRUE(p.sim.getListFails);
    EXPECT_EQ(p.sim.reloadStatus, 4u);
}

TEST(DeviceFile, EmptyFileMeansNoDevices) {
    auto p = Parse("");
    EXPECT_TRUE(p.ok);
    EXPECT_TRUE(p.sim.devices.empty());
}

TEST(DeviceFile, RefusesBadLinesWithTheirLineNumber) {
    struct Case {
        const char* text;
        const char* error;
    } cases[] = {
        {"device id=04036001 color=red", "line 1: unknown key color"},
        {"# ok\ndevice id", "line 2: expected key=value"},
        {"device id=xyz", "line 1: bad hex number for id"},
        {"device loc=", "line 1: bad hex number for loc"},
        {"device id=100000000", "line 1: bad hex number for id"},  // beyond 32 bits
        {"device flags=-1", "line 1: bad number for flags"},
        {"device type=5x", "line 1: bad number for type"},
        {"device com=257", "line 1: bad COM number"},
        {"device com=COM3", "line 1: bad COM number"},
        {"device ua=\"unterminated", "line 1: unterminated quote"},
        {"device =5", "line 1: unknown key "},
        {"\n\ndevices id=1", "line 3: unknown line"},
        {"reload", "line 1: unknown line"},
        {"reload four", "line 1: bad reload status"},
        {"fail everything", "line 1: unknown line"},
    };
    for (const auto& c : cases) {
        auto p = Parse(c.text);
        EXPECT_FALSE(p.ok) << c.text;
        EXPECT_EQ(p.error, c.error) << c.text;
    }
}

TEST(DeviceFile, AcceptsTheWholeComRange) {
    auto p = Parse("device com=0\ndevice com=256\n");
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.sim.devices[1].comPort, 256);
}

// Texts as long as the library's fields fill them without a terminator and
// never write past them.
TEST(SimD2xx, FillsFullFieldsWithoutOverrunning) {
    auto p = Parse("device serial=0123456789ABCDEFGHIJ desc=" + std::string(80, 'd') + "\n");
    ASSERT_TRUE(p.ok) << p.error;
    char serial[16 + 4], desc[64 + 4];
    std::memset(serial, '#', sizeof serial);
    std::memset(desc, '#', sizeof desc);
    uint32_t f, t, id, loc;
    ASSERT_EQ(p.sim.GetDeviceInfoDetail(0, &f, &t, &id, &loc, serial, desc, nullptr), d2xx::kOk);
    EXPECT_EQ(d2xx::FieldText(serial, 16), "0123456789ABCDEF");
    EXPECT_EQ(d2xx::FieldText(desc, 64), std::string(64, 'd'));
    EXPECT_EQ(std::string(serial + 16, 4), "####");
    EXPECT_EQ(std::string(desc + 64, 4), "####");
}

TEST(SimD2xx, UserAreaReadsAsStoredAndRefusesMoreThanItHolds) {
    auto p = Parse("device loc=5 ua=\"1,25\"\ndevice loc=6\n");
    ASSERT_TRUE(p.ok) << p.error;
    auto& sim = p.sim;
    d2xx::ScopedHandle h(sim);
    ASSERT_EQ(sim.OpenEx(5, d2xx::kOpenByLocation, h.out()), d2xx::kOk);
    uint32_t size = 0, got = 0;
    uint8_t buf[8] = {};
    ASSERT_EQ(sim.EE_UASize(h.get(), &size), d2xx::kOk);
    EXPECT_EQ(size, 4u);
    EXPECT_NE(sim.EE_UARead(h.get(), buf, 5, &got), d2xx::kOk);
    ASSERT_EQ(sim.EE_UARead(h.get(), buf, 4, &got), d2xx::kOk);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), got), ",152");  // pairs exchanged

    d2xx::ScopedHandle empty(sim);
    ASSERT_EQ(sim.OpenEx(6, d2xx::kOpenByLocation, empty.out()), d2xx::kOk);
    EXPECT_EQ(sim.EE_UARead(empty.get(), buf, 0, &got), d2xx::kOk);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(sim.openHandles(), 2);
    h.reset();
    empty.reset();
    EXPECT_EQ(sim.openHandles(), 0);
}

TEST(SimD2xx, HeldOpenDeviceCannotBeOpenedAndReloadIsLogged) {
    auto p = Parse("device loc=31 flags=1 open=0\nreload 4\n");
    ASSERT_TRUE(p.ok) << p.error;
    d2xx::Handle h = reinterpret_cast<d2xx::Handle>(1);
    EXPECT_EQ(p.sim.OpenEx(0x31, d2xx::kOpenByLocation, &h), d2xx::kDeviceNotOpened);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(p.sim.Open(0, &h), d2xx::kDeviceNotOpened);
    EXPECT_EQ(p.sim.Reload(0x0403, 0), 4u);
    EXPECT_EQ(p.sim.changes, std::vector<std::string>{"FT_Reload 0x0403 0x0000"});
}
