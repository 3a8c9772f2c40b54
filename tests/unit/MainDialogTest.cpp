// The main dialog's frame: closing questions, OK and reload, per-port
// commands without a selection, the About dialog, rows and status texts.
#include <gtest/gtest.h>

#include <algorithm>

#include "configurator/app/MainDialog.h"
#include "resources/ConfiguratorIds.h"
#include "sim/FakeDialogView.h"
#include "tests/unit/MessageBoxes.h"
#include "tests/unit/PortOpsRig.h"

using namespace varnok;
using namespace varnok::cfg;
using sim::FakeDialogView;

namespace {

struct MainDialogFrame : ::testing::Test, test::ConfiguratorRig {
    MainDialog dialog{app};
    FakeDialogView view;

    void SetUp() override {
        registry.createKey(kEnumeratorKeyPath);
        registry.createKey(kComNameArbiterKeyPath);
        registry.createKey(kUsbFlagsKeyPath);
    }
    void start() {
        view.attach(dialog);
        view.init();
        view.boxes.clear();  // start-up messages are other tests' business
    }
    bool hasBox(const std::string& text, const std::string& caption, ui::Icon icon) const {
        return std::count(view.boxes.begin(), view.boxes.end(), test::Box{text, caption, icon}) > 0;
    }
};

TEST_F(MainDialogFrame, StartUpSetsIconAndEveryToolTip) {
    start();
    EXPECT_EQ(view.icons, std::vector<int>{IDI_CONFIGURATOR});
    EXPECT_EQ(view.toolTips.size(), 10u);
    EXPECT_EQ(view.toolTips[IDC_OPTIMIZE_VARNOK], "Reload Driver to make this change effective");
    EXPECT_EQ(view.toolTips[IDC_OPTIMIZE_BRIVANE], "Reload Driver to make this change effective");
    EXPECT_EQ(view.toolTips[IDC_EVENT_ON_SURPRISE_REMOVAL],
              "The driver signals an event on surprise removal");
    EXPECT_NE(view.toolTips[IDC_IGNORE_SERIAL].find("(Included PID's: 6001, 6010, 6011 and 6015)"),
              std::string::npos);
}

TEST_F(MainDialogFrame, MissingLibraryIsNamedOnceAtStartUp) {
    app.d2xxAvailable = false;
    view.attach(dialog);
    view.init();
    auto named = std::count_if(view.boxes.begin(), view.boxes.end(), [](const auto& b) {
        return b.caption == "ERROR" && b.text.find("ftd2xx.dll") != std::string::npos;
    });
    EXPECT_EQ(named, 1);
    view.boxes.clear();
    view.click(IDC_REFRESH);
    for (const auto& b : view.boxes) EXPECT_EQ(b.text.find("ftd2xx.dll"), std::string::npos);
}

TEST_F(MainDialogFrame, CancelAndExitAskBeforeClosing) {
    start();
    view.answers = {ui::Answer::Cancel};
    view.click(ui::kIdCancel);
    EXPECT_EQ(view.boxes, test::Boxes({"Abort Configuration?\nUnsaved Data will be lost"}, "Warning",
                                      ui::Icon::Question, ui::Buttons::OkCancel));
    EXPECT_FALSE(view.ended);

    view.answers = {ui::Answer::Ok};
    view.click(IDM_EXIT);
    EXPECT_EQ(view.boxes.back().text, "Abort Configuration??\nUnsaved Data will be lost");
    EXPECT_TRUE(view.ended);
    EXPECT_EQ(view.endResult, 1);
    EXPECT_TRUE(d2xx.changes.empty()) << "closing without OK never reloads the driver";
}

TEST_F(MainDialogFrame, OkReloadsTheDriverAndEndsOnlyWhenTheReloadWorked) {
    start();
    d2xx.reloadStatus = d2xx::kIoError;
    view.click(ui::kIdOk);
    EXPECT_EQ(d2xx.changes, std::vector<std::string>{"FT_Reload 0x0403 0x0000"});
    EXPECT_TRUE(hasBox("Reload Driver failed!", "Error", ui::Icon::Error));
    EXPECT_FALSE(view.ended);

    d2xx.reloadStatus = d2xx::kOk;
    view.click(ui::kIdOk);
    EXPECT_TRUE(view.ended);
    EXPECT_EQ(view.endResult, 1);
}

TEST_F(MainDialogFrame, ReloadDriverButtonReloadsEveryDeviceSilently) {
    start();
    view.click(IDC_RELOAD_DRIVER);
    EXPECT_EQ(d2xx.changes, std::vector<std::string>{"FT_Reload 0x0000 0x0000"});
    EXPECT_TRUE(view.boxes.empty());
    d2xx.reloadStatus = d2xx::kOtherError;
    view.click(IDC_RELOAD_DRIVER);
    EXPECT_TRUE(hasBox("Reload Driver failed!", "Error", ui::Icon::Error));
}

TEST_F(MainDialogFrame, ApplyReloadsAndKeepsTheDialogOpenEvenWhenTheReloadFails) {
    start();
    d2xx.reloadStatus = d2xx::kIoError;
    view.click(IDC_APPLY);
    EXPECT_EQ(d2xx.changes, std::vector<std::string>{"FT_Reload 0x0403 0x0000"});
    EXPECT_FALSE(view.ended);
    EXPECT_FALSE(hasBox("Reload Driver failed!", "Error", ui::Icon::Error));
    EXPECT_EQ(view.text(IDC_STATUS_LINE), "Open COM Ports: 0");
}

TEST_F(MainDialogFrame, EveryPerPortCommandNeedsASelection) {
    start();
    for (int id : {IDC_OPTIMIZE_VARNOK, IDC_OPTIMIZE_BRIVANE, IDC_DEFAULT_SETTINGS,
                   IDC_BAUD_MAPPINGS, IDC_BUFFERED_WRITES, IDC_RENAME_COM_PORT, IDM_SAVE_CONFIG,
                   IDM_LOAD_CONFIG}) {
        view.boxes.clear();
        view.click(id);
        EXPECT_EQ(view.boxes, test::Boxes({"Please select COM-Port"}, "No Selection",
                                          ui::Icon::Warning))
            << "command " << id;
    }
    EXPECT_TRUE(view.modalsRun.empty());
    EXPECT_TRUE(view.fileDialogs.empty());
}

TEST_F(MainDialogFrame, AboutOpensLinksAndAFailedDialogIsReported) {
    start();
    view.modalScripts[IDD_ABOUT] = [](FakeDialogView& about, ui::DialogLogic& logic) {
        logic.onCommand(about, IDC_ABOUT_LINK_1, ui::Event::Clicked);
        logic.onCommand(about, IDC_ABOUT_LINK_2, ui::Event::Clicked);
        EXPECT_FALSE(about.ended);
        logic.onLeftClick(about);
        EXPECT_TRUE(about.ended);
        EXPECT_EQ(about.shellOpened,
                  (std::vector<std::string>{kAboutLink1Url, kAboutLink2Url}));
    };
    view.click(IDM_ABOUT);
    EXPECT_EQ(view.modalsRun, std::vector<int>{IDD_ABOUT});
    EXPECT_TRUE(view.boxes.empty());

    view.failModal = {IDD_ABOUT};
    view.click(IDM_ABOUT);
    EXPECT_TRUE(hasBox("Dialog failed!", "Error", ui::Icon::Error));
}

TEST_F(MainDialogFrame, ViewHelpOpensTheApplicationNote) {
    start();
    view.click(IDM_VIEW_HELP);
    ASSERT_EQ(view.shellOpened.size(), 1u);
    EXPECT_NE(view.shellOpened[0].find(
                  "/Support/Documents/AppNotes/AN_107_AdvancedDriverOptions_AN_000073.pdf"),
              std::string::npos);
}

TEST_F(MainDialogFrame, RowsAreColouredOnlyWhenDisconnectedDevicesAreShown) {
    PortEntry attached, gone;
    attached.portName = "COM5";
    attached.connected = true;
    gone.portName = "COM12";
    app.table.entries = {attached, gone};
    std::string text;
    ui::Colour colour{1, 1, 1};
    ASSERT_TRUE(dialog.rowAppearance(IDC_PORT_LIST, 1, &text, &colour));
    EXPECT_EQ(text, "COM12");
    EXPECT_EQ(colour, kRowBlack);
    app.table.showDisconnected = true;
    dialog.rowAppearance(IDC_PORT_LIST, 0, &text, &colour);
    EXPECT_EQ(colour, (ui::Colour{0, 255, 0}));
    dialog.rowAppearance(IDC_PORT_LIST, 1, &text, &colour);
    EXPECT_EQ(colour, (ui::Colour{255, 0, 0}));
    EXPECT_FALSE(dialog.rowAppearance(IDC_PORT_LIST, 2, &text, &colour)) << "no such record";
    EXPECT_FALSE(dialog.rowAppearance(IDC_PORT_LIST, -1, &text, &colour));
}

TEST_F(MainDialogFrame, StatusTextsOfTheSelectedPort) {
    PortEntry e;
    e.description = "Varnok Plus A";
    e.serialNumber = "FT12AB34A";
    e.deviceId = 0x04036001;
    e.locationId = 0x213;
    app.table.openPortCount = 2;
    EXPECT_EQ(MainDialog::PortStatusText(app.table, e),
              " Varnok Plus A, SN: FT12AB34A,  ID: 4036001, LocalID: 213; Open COM Ports: 2");
    app.table.showDisconnected = true;
    EXPECT_EQ(MainDialog::PortStatusText(app.table, e), " SN: FT12AB34A,  ID: 4036001");
    EXPECT_EQ(MainDialog::OpenPortsText(7), "Open COM Ports: 7");
}

TEST_F(MainDialogFrame, SelectingARowActsOnTheRecordItShows) {
    // Rows need not be records in order: the row's item data names its record.
    start();
    PortEntry a, b;
    a.portName = "";
    b.portName = "COM3";
    app.table.entries = {a, b};
    view.listReset(IDC_PORT_LIST);
    int row = view.listAdd(IDC_PORT_LIST, "COM3");
    view.listSetItemData(IDC_PORT_LIST, row, 1);
    view.selectRow(IDC_PORT_LIST, row);
    EXPECT_EQ(app.table.selectedIndex, 1);
    EXPECT_NE(view.text(IDC_STATUS_LINE).find("Open COM Ports"), std::string::npos);
}

}  // namespace
