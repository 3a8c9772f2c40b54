#include <gtest/gtest.h>

#include <algorithm>

#include "modetool/Discovery.h"
#include "tests/unit/ModeToolRig.h"

using namespace varnok;
using namespace varnok::mode;
using namespace varnok::test;
using sim::Misbehaviour;
using sim::SimAdapterOptions;
using sim::SimD2xx;
using sim::SimDevice;

namespace {

SimDevice Device(uint32_t loc, const std::string& desc, int32_t com) {
    SimDevice d;
    d.locId = loc;
    d.description = desc;
    d.comPort = com;
    return d;
}

// A "Varnok Plus" adapter: its configuration interface at `loc` on COM `com`,
// its serial interfaces at the locations of its ports on COM 10, 11, ...
void AddVarnokPlus(ModeRig& rig, uint32_t loc, int32_t com, unsigned ports,
                   const std::string& userArea) {
    SimDevice cfg = Device(loc, "Varnok Plus - Config", com);
    cfg.userArea = SimD2xx::SwapPairs(userArea);
    rig.d2xx.devices.push_back(cfg);
    for (unsigned k = 0; k < ports; ++k)
        rig.d2xx.devices.push_back(
            Device(PortLocation(loc, static_cast<int>(k)), "Varnok Plus 8 B", 10 + static_cast<int>(k)));
    SimAdapterOptions o;
    o.accessKind = 2;
    o.portCount = ports;
    o.name = "Varnok Plus 8";
    rig.ports.attach("COM" + std::to_string(com), o);
}

int Count(const std::vector<std::string>& calls, const std::string& prefix) {
    return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const std::string& c) {
        return c.rfind(prefix, 0) == 0;
    }));
}

int32_t UserArea(const std::vector<uint8_t>& bytes) {
    return ParseUserAreaNumber(bytes.data(), bytes.size());
}

}  // namespace

TEST(ModeDiscovery, LocationRuleReplacesLowestDigitByTwo) {
    EXPECT_EQ(PortLocation(0x1A5, 0), 0x1A21u);
    EXPECT_EQ(PortLocation(0x1A5, 3), 0x1A24u);
    EXPECT_EQ(PortLocation(0x1A5, 4), 0x1A31u);
    EXPECT_EQ(PortLocation(0x1A5, 7), 0x1A34u);
    EXPECT_EQ(PortLocation(0x1A5, 8), 0x1A41u);
    EXPECT_EQ(PortLocation(0x30F, 0), 0x3021u) << "lowest digit of any value is replaced";
}

TEST(ModeDiscovery, UserAreaNumberFromSwappedText) {
    EXPECT_EQ(UserArea(SimD2xx::SwapPairs("Serial 1,25a")), 25);
    EXPECT_EQ(UserArea(SimD2xx::SwapPairs("x 1,7")), 7) << "odd length: last byte stays";
    EXPECT_EQ(UserArea(SimD2xx::SwapPairs("no number here")), 0);
    EXPECT_EQ(UserArea(SimD2xx::SwapPairs("1,")), 0);
    EXPECT_EQ(UserArea(SimD2xx::SwapPairs("1,99999999999")), INT32_MAX);
    EXPECT_EQ(UserArea(SimD2xx::SwapPairs("1,-5")), 0) << "no sign";
    std::vector<uint8_t> cut = SimD2xx::SwapPairs("ab1,42");
    cut[2] = 0;  // text ends at its first zero byte
    EXPECT_EQ(UserArea(cut), 0);
    const std::string plain = "1,42";
    std::vector<uint8_t> unswapped(plain.begin(), plain.end());
    EXPECT_EQ(UserArea(unswapped), 0) << "the stored bytes are exchanged in pairs";
}

TEST(ModeDiscovery, VarnokPlusAdapterWithEightPortsAndItsComNames) {
    ModeRig rig;
    AddVarnokPlus(rig, 0x1A5, 5, 8, "id 1,25x");
    rig.d2xx.devices.erase(rig.d2xx.devices.begin() + 3);  // port 3's location does not open
    SearchResult found = EnumVarnokDevices(rig.tool);
    ASSERT_EQ(found.status, SearchStatus::Found);
    ASSERT_EQ(found.adapters.size(), 1u);
    const AdapterRecord& r = found.adapters[0];
    EXPECT_EQ(r.adapterCount, 1);
    EXPECT_EQ(r.accessKind, 2);
    EXPECT_EQ(r.userAreaNumber, 25);
    EXPECT_EQ(r.devicePath, "\\\\.\\COM5");
    EXPECT_EQ(DeviceLine(r), "Varnok Plus 8 (25)");
    std::vector<std::string> lines;
    for (int k = 0; k < r.portCount; ++k) lines.push_back(PortLine(r, k));
    EXPECT_EQ(lines, (std::vector<std::string>{"Port 1   (COM10)", "Port 2   (COM11)",
                                               "Port 3   ()", "Port 4   (COM13)",
                                               "Port 5   (COM14)", "Port 6   (COM15)",
                                               "Port 7   (COM16)", "Port 8   (COM17)"}));
    EXPECT_EQ(Count(rig.d2xx.calls, "FT_Open "), 1) << "serial interfaces are never opened by index";
    EXPECT_EQ(rig.d2xx.openHandles(), 0);
    EXPECT_EQ(rig.ports.opens(), 1);
}

TEST(ModeDiscovery, FirstDataPortAdaptersAndForeignDevices) {
    ModeRig rig;
    rig.d2xx.devices.push_back(Device(0x11, "USB Serial Apex", 7));
    rig.d2xx.devices.push_back(Device(0x21, "Other maker", 8));   // ends in 1: listened to
    rig.d2xx.devices.push_back(Device(0x32, "Other maker", 9));   // never opened
    SimAdapterOptions apex;
    apex.accessKind = 1;
    apex.name = "Apex 4";
    apex.typeCode = 0x1004;
    rig.ports.attach("COM7", apex);
    SimAdapterOptions foreign;
    foreign.accessKind = 1;
    foreign.misbehaviour = Misbehaviour::Silent;
    auto& other = rig.ports.attach("COM8", foreign);
    rig.ports.attach("COM9", apex);

    std::vector<Failure> reported;
    const AdapterArray array =
        EnumVarnokDevices(rig.tool, [&](const Failure& f) { reported.push_back(f); }).adapters;
    ASSERT_EQ(array.size(), 1u);
    EXPECT_EQ(array[0].accessKind, 1);
    EXPECT_EQ(DeviceLine(array[0]), "Apex 4");
    EXPECT_EQ(PortLine(array[0], 0), "Port 1");
    EXPECT_EQ(array[0].userAreaNumber, 0);
    EXPECT_TRUE(other.received.empty()) << "a first interface is only listened to";
    EXPECT_EQ(rig.ports.adapter("COM9")->received.size(), 0u);
    EXPECT_EQ(rig.ports.opens(), 2);
    EXPECT_TRUE(reported.empty());
    EXPECT_EQ(rig.d2xx.openHandles(), 0);
}

TEST(ModeDiscovery, DevicesThatCannotBeUsedAreSkippedSilently) {
    ModeRig rig;
    AddVarnokPlus(rig, 0x15, 5, 2, "1,3");
    rig.d2xx.devices[0].openable = false;  // D2XX open fails
    AddVarnokPlus(rig, 0x25, 6, 2, "1,4");
    rig.ports.adapter("COM6")->heldByOtherProgram = true;
    AddVarnokPlus(rig, 0x35, 7, 2, "1,5");
    rig.d2xx.devices[6].comPort = -1;  // no COM port
    AddVarnokPlus(rig, 0x45, 8, 2, "1,6");
    rig.d2xx.devices[9].userAreaFails = true;  // listed with number 0

    std::vector<Failure> reported;
    const AdapterArray array =
        EnumVarnokDevices(rig.tool, [&](const Failure& f) { reported.push_back(f); }).adapters;
    ASSERT_EQ(array.size(), 1u);
    EXPECT_EQ(array[0].devicePath, "\\\\.\\COM8");
    EXPECT_EQ(array[0].userAreaNumber, 0);
    EXPECT_TRUE(reported.empty()) << "a port held by another program is not found, silently";
    EXPECT_EQ(rig.d2xx.openHandles(), 0);
}

TEST(ModeDiscovery, UserAreaOf128BytesReadsOnly127) {
    ModeRig rig;
    AddVarnokPlus(rig, 0x15, 5, 1, std::string(120, 'x') + "1,77xxxx");
    ASSERT_EQ(rig.d2xx.devices[0].userArea.size(), 128u);
    const AdapterArray array = EnumVarnokDevices(rig.tool).adapters;
    ASSERT_EQ(array.size(), 1u);
    EXPECT_EQ(Count(rig.d2xx.calls, "FT_EE_UARead 127"), 1);
    EXPECT_EQ(array[0].userAreaNumber, 77);
}

TEST(ModeDiscovery, ResultsOfTheDeviceList) {
    ModeRig rig;
    SearchResult found = EnumVarnokDevices(rig.tool);
    EXPECT_EQ(found.status, SearchStatus::NoneFound) << "no FTDI device at all";
    EXPECT_TRUE(found.adapters.empty());

    AddVarnokPlus(rig, 0x15, 5, 1, "");
    rig.d2xx.createListFails = true;
    found = EnumVarnokDevices(rig.tool);
    EXPECT_EQ(found.status, SearchStatus::ListFailed);
    EXPECT_EQ(static_cast<int>(found.status), -1);
    EXPECT_TRUE(found.adapters.empty());
    rig.d2xx.createListFails = false;
    rig.d2xx.getListFails = true;
    found = EnumVarnokDevices(rig.tool);
    EXPECT_EQ(found.status, SearchStatus::GetListFailed);
    EXPECT_EQ(static_cast<int>(found.status), -3);
    rig.d2xx.getListFails = false;
    rig.tool.d2xxAvailable = false;
    EXPECT_EQ(EnumVarnokDevices(rig.tool).status, SearchStatus::ListFailed);
    rig.tool.d2xxAvailable = true;
    found = EnumVarnokDevices(rig.tool);
    ASSERT_EQ(found.status, SearchStatus::Found);
    EXPECT_EQ(found.adapters[0].userAreaNumber, 0) << "empty user area";
}

TEST(ModeDiscovery, QueryFailuresAreReportedInDeviceOrder) {
    ModeRig rig;
    AddVarnokPlus(rig, 0x15, 5, 1, "1,1");
    AddVarnokPlus(rig, 0x25, 6, 1, "1,2");
    AddVarnokPlus(rig, 0x35, 7, 1, "1,3");
    rig.ports.adapter("COM5")->unplugged = true;  // gone since the device list was made
    rig.ports.adapter("COM6")->heldByOtherProgram = true;
    std::vector<Failure> reported;
    SearchResult found =
        EnumVarnokDevices(rig.tool, [&](const Failure& f) { reported.push_back(f); });
    ASSERT_EQ(found.adapters.size(), 1u);
    EXPECT_EQ(found.adapters[0].devicePath, "\\\\.\\COM7");
    ASSERT_EQ(reported.size(), 1u) << "access denied is not reported by a search";
    EXPECT_EQ(reported[0].code, 2u);
    EXPECT_EQ(reported[0].context, "COM5");
}

TEST(ModeDiscovery, ThreeAdaptersEachRecordKnowsTheCount) {
    ModeRig rig;
    AddVarnokPlus(rig, 0x15, 5, 2, "1,1");
    AddVarnokPlus(rig, 0x25, 6, 4, "1,2");
    rig.d2xx.devices.push_back(Device(0x31, "Apex", 7));
    SimAdapterOptions apex;
    apex.accessKind = 1;
    apex.name = "Apex 2";
    apex.portCount = 2;
    rig.ports.attach("COM7", apex);
    const AdapterArray array = EnumVarnokDevices(rig.tool).adapters;
    ASSERT_EQ(array.size(), 3u);
    for (const auto& r : array) EXPECT_EQ(r.adapterCount, 3);
    EXPECT_EQ(array[1].portCount, 4);
    EXPECT_EQ(array[2].accessKind, 1);
}
