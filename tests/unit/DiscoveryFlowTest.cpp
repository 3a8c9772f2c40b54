// The main dialog's start-up, Refresh, "Show disconnected devices" and Apply
// as the user sees them, on a simulated installation.
#include <gtest/gtest.h>

#include <algorithm>

#include "configurator/discovery/Discovery.h"
#include "tests/unit/FtdiFixture.h"
#include "tests/unit/MessageBoxes.h"

using namespace varnok;
using namespace varnok::cfg;
using varnok::test::FtdiFixture;
using varnok::test::kId2232;
using varnok::test::kId232H;
using varnok::test::kId232R;

namespace {

using Strings = std::vector<std::string>;

// Two attached adapters (one dual-port), one held open by another program,
// two installed but unplugged, and a stale key.
void Installation(FtdiFixture& f) {
    f.dualPort("FT4XQ1", 10, 11, 0x31, 0x32);
    f.singlePort("A1B2C3D4", 2, 0x21);
    f.unplugged(kId232R, "OLD00001A", 4);
    f.unplugged(kId232H, "FTH0009", 12);
    f.staleKey(kId232R, "STALE001A", 2);
    f.heldOpen(kId232H, "HELD0001", 7, 0x41);
}

int RowOf(FtdiFixture& f, const std::string& port) {
    auto rows = f.view.rowTexts(IDC_PORT_LIST);
    auto it = std::find(rows.begin(), rows.end(), port);
    return it == rows.end() ? -1 : static_cast<int>(it - rows.begin());
}

}  // namespace

TEST(StartUp, ListsAttachedPortsInComNameOrder) {
    FtdiFixture f;
    Installation(f);
    f.startDialog();
    EXPECT_TRUE(f.view.boxes.empty()) << f.boxTexts().front();
    // The held device gets its name from its key (the library gave none).
    EXPECT_EQ(f.view.rowTexts(IDC_PORT_LIST), (Strings{"COM2", "COM7", "COM10", "COM11"}));
    EXPECT_EQ(f.rowsWithColour(),
              (Strings{"COM2 black", "COM7 black", "COM10 black", "COM11 black"}));
    EXPECT_EQ(f.view.text(IDC_STATUS_LINE), "Open COM Ports: 1");
    EXPECT_EQ(f.app.table.selectedIndex, -1);
    // The permission pass covered every installed key, attached or not.
    EXPECT_TRUE(f.registry.node(FtdiFixture::InstancePath(kId232R, "OLD00001A"))->daclSet);
    EXPECT_TRUE(f.registry.node(FtdiFixture::InstancePath(kId2232, "FT4XQ1B"))->daclSet);
    EXPECT_EQ(f.registry.openKeys, 0);
    EXPECT_EQ(f.d2xx.openHandles(), 0);
}

TEST(StartUp, WithNothingAttachedTheListIsEmptyAndTheWarningShown) {
    FtdiFixture f;
    f.unplugged(kId232R, "OLD00001A", 4);
    f.unplugged(kId232H, "FTH0009", 12);
    f.startDialog();
    EXPECT_EQ(f.view.boxes,
              test::Boxes({"No active FTDI devices found"}, "WARNING", ui::Icon::Warning));
    EXPECT_TRUE(f.view.rowTexts(IDC_PORT_LIST).empty());
    EXPECT_EQ(f.app.table.count(), 0u);
    EXPECT_EQ(f.view.text(IDC_STATUS_LINE), "Open COM Ports: 0");

    // Every per-port action then asks for a port.
    f.view.click(IDC_BUFFERED_WRITES);
    EXPECT_EQ(f.view.lastBox()->text, "Please select COM-Port");
}

TEST(StartUp, OddInstanceKeyNamesAreNeverUsedAsKeyPaths) {
    FtdiFixture f;
    f.singlePort("A1B2C3D4", 3, 0x21);
    const std::string root = std::string(kEnumeratorKeyPath) + "\\";
    for (const char* odd : {"ROOT_HUB", "VID_04", "VID_XYZW+PID_6001+S1", "VID_0403+PID_6001"}) {
        f.registry.setDword(root + odd + "\\0000", "ConfigFlags", 0);
        f.registry.setString(root + odd + "\\0000\\Device Parameters", "PortName", "COM3");
    }
    f.startDialog();
    f.view.click(IDC_SHOW_DISCONNECTED);
    f.view.selectRow(IDC_PORT_LIST, 0);
    f.view.click(IDC_APPLY);
    f.view.click(ui::kIdOk);
    EXPECT_TRUE(f.view.ended);
    for (const auto& line : f.registry.log)
        for (const char* odd : {"ROOT_HUB", "VID_04\\", "XYZW", "PID_6001\\"})
            EXPECT_EQ(line.find(odd), std::string::npos) << line;
    EXPECT_EQ(f.view.rowTexts(IDC_PORT_LIST), Strings{"COM3"});
    EXPECT_TRUE(f.view.boxes.empty());
}

TEST(Refresh, RebuildsTheListLeavingOutRecordsWithoutComName) {
    FtdiFixture f;
    f.singlePort("A1B2C3D4", 3, 0x21);
    f.startDialog();
    f.view.selectRow(IDC_PORT_LIST, 0);
    ASSERT_EQ(f.app.table.selectedIndex, 0);

    // Plugged in meanwhile: a device on COM12 and one with no COM port.
    f.singlePort("B1B2C3D4", 12, 0x22);
    f.withoutComPort(kId232H, "NOVCP", 0x23);
    f.view.cursors.clear();
    f.view.click(IDC_REFRESH);
    EXPECT_EQ(f.app.table.selectedIndex, -1);
    EXPECT_EQ(f.view.listCurSel(IDC_PORT_LIST), -1);
    EXPECT_EQ(f.view.cursors, (std::vector<ui::Cursor>{ui::Cursor::AppStarting, ui::Cursor::Arrow}));
    for (int id : {IDC_MIN_READ_TIMEOUT, IDC_LATENCY, IDC_SERIAL_ENUMERATOR, IDC_LABEL_LATENCY})
        EXPECT_FALSE(f.view.isEnabled(id)) << id;
    // The device without a key stops the reading, so the table stays in
    // library order; its record has no row and rows keep their records.
    EXPECT_EQ(f.view.rowTexts(IDC_PORT_LIST), (Strings{"COM3", "COM12"}));
    for (int row = 0; row < 2; ++row) {
        f.view.selectRow(IDC_PORT_LIST, row);
        ASSERT_NE(f.app.table.selected(), nullptr);
        EXPECT_EQ(f.app.table.selected()->portName, f.view.rowTexts(IDC_PORT_LIST)[row]);
    }
    EXPECT_EQ(f.view.text(IDC_STATUS_LINE), " USB Serial Converter, SN: B1B2C3D4A,  ID: 4036001, "
                                            "LocalID: 22; Open COM Ports: 0");
}

TEST(Refresh, UnpluggingEverythingEmptiesTheListWithTheWarning) {
    FtdiFixture f;
    f.singlePort("A1B2C3D4", 3, 0x21);
    f.startDialog();
    f.d2xx.devices.clear();
    f.view.click(IDC_REFRESH);
    EXPECT_TRUE(f.view.rowTexts(IDC_PORT_LIST).empty());
    EXPECT_EQ(f.boxTexts(), Strings{"No active FTDI devices found"});
}

TEST(ShowDisconnected, ListsEveryInstalledDeviceGreenOrRed) {
    FtdiFixture f;
    Installation(f);
    f.startDialog();
    f.view.click(IDC_SHOW_DISCONNECTED);
    EXPECT_TRUE(f.app.table.showDisconnected);
    EXPECT_EQ(f.rowsWithColour(),
              (Strings{"COM2 green", "COM2 red", "COM4 red", "COM7 green", "COM10 green",
                       "COM11 green", "COM12 red"}));
    EXPECT_EQ(f.view.text(IDC_STATUS_LINE), "Open COM Ports: 1");
    EXPECT_TRUE(f.view.boxes.empty());

    f.view.selectRow(IDC_PORT_LIST, RowOf(f, "COM4"));
    EXPECT_EQ(f.view.text(IDC_STATUS_LINE), " SN: OLD00001A,  ID: 4036001");

    // Apply rebuilds from the registry: the marks still say what is attached.
    f.view.click(IDC_APPLY);
    EXPECT_EQ(f.rowsWithColour(),
              (Strings{"COM2 green", "COM2 red", "COM4 red", "COM7 green", "COM10 green",
                       "COM11 green", "COM12 red"}));
    EXPECT_EQ(f.app.table.selected()->serialNumber, "OLD00001A");
    EXPECT_EQ(f.view.text(IDC_STATUS_LINE), " SN: OLD00001A,  ID: 4036001");

    f.view.click(IDC_SHOW_DISCONNECTED);
    EXPECT_EQ(f.rowsWithColour(),
              (Strings{"COM2 black", "COM7 black", "COM10 black", "COM11 black"}));
}

TEST(ShowDisconnected, WithNothingAttachedEveryDeviceIsRedAndNoWarning) {
    FtdiFixture f;
    f.unplugged(kId232R, "OLD00001A", 4);
    f.unplugged(kId232H, "FTH0009", 12);
    f.startDialog();
    f.view.boxes.clear();
    f.view.click(IDC_SHOW_DISCONNECTED);
    EXPECT_EQ(f.rowsWithColour(), (Strings{"COM4 red", "COM12 red"}));
    EXPECT_TRUE(f.view.boxes.empty());
    f.view.selectRow(IDC_PORT_LIST, 0);
    f.view.click(IDC_APPLY);
    EXPECT_EQ(f.rowsWithColour(), (Strings{"COM4 red", "COM12 red"}));
}

TEST(Apply, WritesEveryRecordRebuildsBehindTheListAndReloads) {
    FtdiFixture f;
    f.singlePort("A1B2C3D4", 5, 0x21);
    f.singlePort("B1B2C3D4", 2, 0x22);
    f.dualPort("FT4XQ1", 10, 11, 0x31, 0x32);
    f.startDialog();
    const int row = RowOf(f, "COM5");
    f.view.selectRow(IDC_PORT_LIST, row);
    f.view.setText(IDC_LATENCY, "4");  // typed into "Latency Timer:"
    const auto before = f.registry.node(FtdiFixture::ParamsPath(kId2232, "FT4XQ1A"))->values;
    f.view.click(IDC_APPLY);

    EXPECT_EQ(f.registry.dword(FtdiFixture::ParamsPath(kId232R, "A1B2C3D4A"), "LatencyTimer"), 4u);
    EXPECT_EQ(f.registry.node(FtdiFixture::ParamsPath(kId2232, "FT4XQ1A"))->values.size(),
              before.size());
    for (const auto& kv : before)
        EXPECT_EQ(f.registry.node(FtdiFixture::ParamsPath(kId2232, "FT4XQ1A"))->values.at(kv.first).data,
                  kv.second.data);
    EXPECT_EQ(f.d2xx.changes, Strings{"FT_Reload 0x0403 0x0000"});
    // Same rows, same selection, the record re-read from the registry.
    EXPECT_EQ(f.view.rowTexts(IDC_PORT_LIST), (Strings{"COM2", "COM5", "COM10", "COM11"}));
    EXPECT_EQ(f.view.listCurSel(IDC_PORT_LIST), row);
    EXPECT_EQ(f.app.table.selected()->portName, "COM5");
    EXPECT_EQ(f.app.table.selected()->latencyTimer, 4);
    EXPECT_EQ(f.view.text(IDC_STATUS_LINE), " USB Serial Converter, SN: A1B2C3D4A,  ID: 4036001, "
                                            "LocalID: 21; Open COM Ports: 0");
    EXPECT_TRUE(f.view.boxes.empty());
    EXPECT_EQ(f.registry.openKeys, 0);
}
