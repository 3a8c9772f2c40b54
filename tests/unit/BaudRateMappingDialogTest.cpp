#include <gtest/gtest.h>

#include <vector>

#include "configurator/app/MainDialog.h"
#include "configurator/baud/BaudRateMappingDialog.h"
#include "configurator/changes/ChangePlanners.h"
#include "configurator/baud/DivisorMath.h"
#include "configurator/settings/RegistrySettings.h"
#include "resources/ConfiguratorIds.h"
#include "tests/unit/PanelFixture.h"
#include "tests/unit/MessageBoxes.h"

using namespace varnok;
using namespace varnok::cfg;
using sim::FakeDialogView;

namespace {

std::string StandardDivisorText(int row) {
    return FormatDivisor(DecodeDivisor(ReadSlotCode(kStandardDivisorTable, SlotOfRow(row))));
}

struct BaudDialog : ::testing::Test {
    test::PanelFixture f;
    FakeDialogView view;
    std::unique_ptr<BaudRateMappingDialog> dialog;

    void SetUp() override {
        f.addPort("COM3", "A1", test::SampleConfigData());
        f.addPort("COM4", "B1", kStandardDivisorTable);
        f.app.table.selectedIndex = 0;
    }
    void open() {
        view = FakeDialogView();
        dialog = std::make_unique<BaudRateMappingDialog>(f.app, f.dialogs);
        view.attach(*dialog);
        view.init();
    }
    void generate(const std::string& text) {
        view.type(IDC_BAUD_DESIRED, text);
        view.click(IDC_BAUD_GENERATE);
    }
    std::string cell(int row, int column) { return view.listViewCell(IDC_BAUD_LIST, row, column); }
    uint32_t storedSlot(std::size_t port, int slot) {
        std::vector<uint8_t> bytes = f.storedConfigData(port);
        ConfigBytes d{};
        std::copy(bytes.begin(), bytes.end(), d.begin());
        return ReadSlotCode(d, slot);
    }
};

}  // namespace

TEST_F(BaudDialog, OpensWithThreeRightAlignedColumnsAndFourteenRows) {
    open();
    const auto& columns = view.control(IDC_BAUD_LIST).columns;
    ASSERT_EQ(columns.size(), 3u);
    EXPECT_EQ(columns[0].title, "Virtual Baud");
    EXPECT_EQ(columns[0].width, 80);
    EXPECT_EQ(columns[1].title, "Generated Baud");
    EXPECT_EQ(columns[1].width, 100);
    EXPECT_EQ(columns[2].title, "Divisor");
    EXPECT_EQ(columns[2].width, 100);
    for (const auto& c : columns) EXPECT_TRUE(c.rightAligned);

    EXPECT_EQ(view.rowTexts(IDC_BAUD_LIST),
              (std::vector<std::string>{"300", "600", "1200", "2400", "4800", "9600", "19200",
                                        "38400", "57600", "115200", "230400", "460800", "921600",
                                        "14400"}));
    EXPECT_EQ(cell(0, 1), "300");
    EXPECT_EQ(cell(0, 2), "10000.000");
    EXPECT_EQ(cell(9, 1), "115385");
    EXPECT_EQ(cell(9, 2), "26.000");
    EXPECT_EQ(cell(13, 1), "14406");  // the last row shows slot 15, not slot 14
    EXPECT_EQ(cell(13, 2), "208.250");
    for (int id : {IDC_BAUD_DESIRED, IDC_BAUD_CLOSEST, IDC_BAUD_ERROR})
        EXPECT_EQ(view.text(id), "");
}

TEST_F(BaudDialog, GenerateAddApplyStoresTheCodeInTheRegistry) {
    open();
    generate("2000000");
    EXPECT_TRUE(view.control(IDC_BAUD_DESIRED).allSelected);
    EXPECT_EQ(view.text(IDC_BAUD_CLOSEST), "2000000");
    EXPECT_EQ(view.text(IDC_BAUD_ERROR), "0.000%");
    EXPECT_EQ(f.dialogs.pendingDivisor, 1.5);

    view.selectRows(IDC_BAUD_LIST, {12});  // "921600"
    view.click(IDC_BAUD_ADD);
    EXPECT_EQ(cell(12, 1), "2000000");
    EXPECT_EQ(cell(12, 2), "1.500");
    EXPECT_EQ(f.storedConfigData(0), test::Bytes(test::SampleConfigData()))
        << "Add alone writes nothing";

    view.click(IDC_BAUD_APPLY);
    EXPECT_FALSE(view.ended);
    std::vector<uint8_t> want = test::Bytes(test::SampleConfigData());
    want[52] = 0x01;
    want[53] = want[54] = want[55] = 0x00;
    EXPECT_EQ(f.storedConfigData(0), want);  // bytes 0..3 and slot 14 as they were
    EXPECT_EQ(f.port(0).knownFields & kFieldConfigData, kFieldConfigData);
    EXPECT_EQ(f.storedConfigData(1), test::Bytes(kStandardDivisorTable));

    // Reopening shows the stored alias.
    open();
    EXPECT_EQ(cell(12, 1), "2000000");
    EXPECT_EQ(cell(12, 2), "1.500");
}

TEST_F(BaudDialog, InvalidRateWarnsEmptiesTheFieldAndKeepsTheRest) {
    open();
    generate("9600");
    for (const char* bad : {"183", "1500001", "abc", "", "183.10546874"}) {
        SCOPED_TRACE(bad);
        const std::size_t boxes = view.boxes.size();
        generate(bad);
        ASSERT_EQ(view.boxes.size(), boxes + 1);
        EXPECT_EQ(*view.lastBox(), (test::Box{"Not Valid Input   ", "Warning", ui::Icon::Warning}));
        EXPECT_EQ(view.text(IDC_BAUD_DESIRED), "");
        EXPECT_EQ(view.text(IDC_BAUD_CLOSEST), "9600");
        EXPECT_EQ(view.text(IDC_BAUD_ERROR), "0.000");
        EXPECT_EQ(f.dialogs.pendingDivisor, 312.5);
    }
}

TEST_F(BaudDialog, AddNeedsAGenerateAndTouchesOnlySelectedRows) {
    open();
    view.selectRows(IDC_BAUD_LIST, {0});
    view.type(IDC_BAUD_DESIRED, "42");
    view.click(IDC_BAUD_ADD);
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.lastBox()->text, "Not Valid Input   ");
    EXPECT_EQ(view.text(IDC_BAUD_DESIRED), "");
    EXPECT_EQ(cell(0, 2), "10000.000");

    generate("9600");
    view.selectRows(IDC_BAUD_LIST, {});
    view.click(IDC_BAUD_ADD);  // nothing selected: nothing changes
    for (int row = 0; row < kBaudRowCount; ++row)
        EXPECT_EQ(cell(row, 2), StandardDivisorText(row)) << row;

    view.selectRows(IDC_BAUD_LIST, {0, 1});
    view.click(IDC_BAUD_ADD);
    view.click(IDC_BAUD_OK);
    EXPECT_TRUE(view.ended);
    EXPECT_EQ(view.endResult, 1);
    EXPECT_EQ(storedSlot(0, 1), 0x4138u);
    EXPECT_EQ(storedSlot(0, 2), 0x4138u);
    EXPECT_EQ(storedSlot(0, 3), 0x9C4u);
}

TEST_F(BaudDialog, FullSpeedRateIsStoredAsCodeZero) {
    open();
    generate("3000000");
    EXPECT_EQ(view.text(IDC_BAUD_CLOSEST), "3000000");
    EXPECT_EQ(view.text(IDC_BAUD_ERROR), "0.000%");
    view.selectRows(IDC_BAUD_LIST, {0});
    view.click(IDC_BAUD_ADD);
    EXPECT_EQ(cell(0, 1), "3000000");
    EXPECT_EQ(cell(0, 2), "1.000");
    view.click(IDC_BAUD_APPLY);
    EXPECT_EQ(storedSlot(0, 1), 0u);
}

TEST_F(BaudDialog, BuiltInTablesReplaceTheSlotsInMemoryOnly) {
    open();
    view.click(IDC_BAUD_BRIVANE);
    ASSERT_EQ(view.rowTexts(IDC_BAUD_LIST).size(), 14u);
    for (int row = 0; row < kBaudRowCount; ++row) {
        const bool row115200 = row == 9;
        EXPECT_EQ(cell(row, 1), row115200 ? "115385" : "3000000") << row;
        EXPECT_EQ(cell(row, 2), row115200 ? "26.000" : "1.000") << row;
    }
    ConfigBytes want = kBrivaneDivisorTable;
    for (std::size_t i = 0; i < 4; ++i) want[i] = test::SampleConfigData()[i];
    EXPECT_EQ(f.port(0).configData, want);  // slot 14 from the table, bytes 0..3 kept
    EXPECT_EQ(f.port(0).knownFields & kFieldConfigData, kFieldConfigData);

    view.click(IDC_BAUD_RESTORE_DEFAULTS);
    for (int row = 0; row < kBaudRowCount; ++row)
        EXPECT_EQ(cell(row, 2), StandardDivisorText(row)) << row;

    view.click(IDC_BAUD_BRIVANE);
    view.click(IDC_BAUD_CANCEL);
    EXPECT_TRUE(view.ended);
    EXPECT_EQ(view.endResult, 1);
    // Cancel undoes nothing in memory and writes nothing.
    EXPECT_EQ(f.port(0).configData, want);
    EXPECT_EQ(f.storedConfigData(0), test::Bytes(test::SampleConfigData()));
}

TEST_F(BaudDialog, EscapeEndsWithoutApplyingAddedRows) {
    open();
    generate("9600");
    view.selectRows(IDC_BAUD_LIST, {3});
    view.click(IDC_BAUD_ADD);
    view.click(ui::kIdCancel);
    EXPECT_TRUE(view.ended);
    EXPECT_EQ(f.port(0).configData, test::SampleConfigData());
    EXPECT_EQ(f.registry.counters.sets, 0u);
}

TEST_F(BaudDialog, ApplyReencodesEveryRowSlotButNeverSlot14OrTheOptionBytes) {
    ConfigBytes d = test::SampleConfigData();
    WriteSlotCode(d, 6, 0xAB004138);   // high byte set: ignored when read, written as zero
    WriteSlotCode(d, 15, 0x00FE80D0);  // bits 17..23 set likewise
    WriteSlotCode(d, 14, 0xDEADBEEF);
    f.port(0).configData = d;
    open();
    EXPECT_EQ(cell(5, 2), "312.500");
    EXPECT_EQ(cell(13, 2), "208.250");
    view.click(IDC_BAUD_APPLY);
    ConfigBytes want = d;
    WriteSlotCode(want, 6, 0x4138);
    WriteSlotCode(want, 15, 0x80D0);
    EXPECT_EQ(f.port(0).configData, want);
    EXPECT_EQ(f.storedConfigData(0), test::Bytes(want));
}

TEST_F(BaudDialog, FailedWriteIsToldOnceAndKeepsTheNewTableInMemory) {
    f.registry.failOpenForWrite.insert(sim::MemRegistry::lower(DeviceParametersKeyPath(f.port(0))));
    open();
    generate("2000000");
    view.selectRows(IDC_BAUD_LIST, {12});
    view.click(IDC_BAUD_ADD);
    view.click(IDC_BAUD_OK);
    EXPECT_TRUE(view.ended);
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].caption, "ERROR");
    EXPECT_EQ(view.boxes[0].icon, ui::Icon::Error);
    EXPECT_NE(view.boxes[0].text.find(f.port(0).portName + " ConfigData"), std::string::npos)
        << view.boxes[0].text;
    EXPECT_EQ(ReadSlotCode(f.port(0).configData, 13), 1u);
    EXPECT_EQ(storedSlot(0, 13), 0x8003u);
    EXPECT_EQ(f.registry.openKeys, 0);
}

TEST_F(BaudDialog, ARecordWithoutADeviceIdentityPlansNothing) {
    PortEntry e = f.port(1);
    e.configData[0] = 0x11;
    EXPECT_EQ(PlanPortChanges(e, nullptr, kFieldConfigData).size(), 1u);
    e.deviceId = 0;
    EXPECT_TRUE(PlanPortChanges(e, nullptr, kFieldConfigData).empty());
}

TEST_F(BaudDialog, AFailedRowInsertionLeavesThePartlyFilledList) {
    view = FakeDialogView();
    view.control(IDC_BAUD_LIST).failAddAt = 5;
    dialog = std::make_unique<BaudRateMappingDialog>(f.app, f.dialogs);
    view.attach(*dialog);
    view.init();
    EXPECT_EQ(view.rowTexts(IDC_BAUD_LIST).size(), 5u);
    EXPECT_TRUE(view.boxes.empty());
    view.click(IDC_BAUD_APPLY);  // rows without a list item keep their decoded divisors
    EXPECT_EQ(f.port(0).configData, test::SampleConfigData());
}

// Through the main dialog's "Baud Rate Mappings" button: the pending divisor
// outlives the dialog, and the panel shows the port again afterwards.
TEST(BaudDialogInMainDialog, PendingDivisorLivesForTheWholeRun) {
    test::PanelFixture f;
    f.addPort("COM3", "A1", kStandardDivisorTable);
    f.addPort("COM4", "B1", kStandardDivisorTable);
    FakeDialogView view;
    MainDialog dialog(f.app);
    view.attach(dialog);
    f.listPorts(view);
    std::vector<FakeDialogView::MessageBoxCall> dialogBoxes;

    view.selectRow(IDC_PORT_LIST, 0);
    view.modalScripts[IDD_BAUD_MAPPING] = [&](FakeDialogView& v, ui::DialogLogic&) {
        v.type(IDC_BAUD_DESIRED, "9600");
        v.click(IDC_BAUD_GENERATE);
        v.click(IDC_BAUD_CANCEL);
    };
    view.click(IDC_BAUD_MAPPINGS);
    EXPECT_EQ(dialog.runState().pendingDivisor, 312.5);

    view.selectRow(IDC_PORT_LIST, 1);
    view.modalScripts[IDD_BAUD_MAPPING] = [&](FakeDialogView& v, ui::DialogLogic&) {
        EXPECT_EQ(v.text(IDC_BAUD_DESIRED), "");  // fields start empty at every opening
        v.selectRows(IDC_BAUD_LIST, {0, 1});
        v.click(IDC_BAUD_ADD);  // no Generate in this opening
        v.click(IDC_BAUD_OK);
        dialogBoxes = v.boxes;
    };
    view.click(IDC_BAUD_MAPPINGS);
    EXPECT_TRUE(dialogBoxes.empty());
    ConfigBytes got{};
    const auto stored = f.storedConfigData(1);
    std::copy(stored.begin(), stored.end(), got.begin());
    EXPECT_EQ(ReadSlotCode(got, 1), 0x4138u);
    EXPECT_EQ(ReadSlotCode(got, 2), 0x4138u);
    EXPECT_EQ(f.storedConfigData(0), test::Bytes(kStandardDivisorTable));
    EXPECT_EQ(view.modalsRun, (std::vector<int>{IDD_BAUD_MAPPING, IDD_BAUD_MAPPING}));
    EXPECT_EQ(view.listCurSel(IDC_PORT_LIST), 1);
    EXPECT_EQ(view.text(IDC_LATENCY), "16");
}
