#include "configurator/app/MainDialog.h"

#include <cstdio>
#include <utility>

#include "common/platform/RegistryValues.h"

#include "configurator/app/MainDialogPanel.h"
#include "configurator/changes/ChangePlanners.h"
#include "configurator/baud/BaudRateMappingDialog.h"
#include "configurator/comnames/ComPortAssignmentDialog.h"
#include "configurator/discovery/AccessRights.h"
#include "configurator/discovery/ClosePorts.h"
#include "configurator/discovery/Discovery.h"
#include "configurator/settings/BufferedWritesDialog.h"
#include "configurator/settings/ConfigFiles.h"
#include "configurator/settings/IgnoreSerial.h"
#include "configurator/settings/RegistrySettings.h"
#include "resources/ConfiguratorIds.h"

namespace varnok::cfg {

const char* const kMsgValuesCutInFile =
    "These values do not fit the configuration file's one-byte fields; the file keeps only "
    "their low 8 bits:";
const char* const kMsgSaveAnyway = "Save anyway?";
const char* const kAboutLink1Url = "https://www.varnok.example/";
const char* const kAboutLink2Url = "https://support.varnok.example/";

namespace {

const std::pair<int, const char*> kToolTips[] = {
    {IDC_SERIAL_PRINTER,
     "If enabled, serial printer will disable timeouts to allow for long delays associated with "
     "paper loading"},
    {IDC_CANCEL_IF_POWER_OFF,
     "This option will cancel any requests received by the driver when going into hibernate or "
     "suspend"},
    {IDC_EVENT_ON_SURPRISE_REMOVAL, "The driver signals an event on surprise removal"},
    {IDC_SET_RTS_ON_CLOSE, "This option will set the RTS signal on closing the port"},
    {IDC_DISABLE_MODEM_CTRL,
     "This option is used to control the modem control signals DTR and RTS at startup"},
    {IDC_IGNORE_SERIAL,
     "Treat devices with matching VID and PID connected to the same USB port as the same device. "
     "(Included PID's: 6001, 6010, 6011 and 6015)"},
    {IDC_SERIAL_ENUMERATOR,
     "Detect a Plug-and-Play enabled device that is attached to the USB serial port"},
    {IDC_OPTIMIZE_BRIVANE, "Reload Driver to make this change effective"},
    {IDC_OPTIMIZE_VARNOK, "Reload Driver to make this change effective"},
    {IDC_LATENCY,
     "The latency timer is a form of time-out mechanism for the read buffer. Intervals between "
     "2ms and 255 ms are possible"},
};

// Save asks before replacing a file; open takes only an existing one.
ui::FileDialogOptions ConfigFileOptions(const std::string& initialName, bool save) {
    return {initialName, "DAT files", "*.dat", "dat", save, !save};
}

}  // namespace

std::string MainDialog::OpenPortsText(int count) {
    return "Open COM Ports: " + std::to_string(count);
}

std::string MainDialog::PortStatusText(const PortTable& table, const PortEntry& e) {
    char buf[256];
    if (table.showDisconnected) {
        std::snprintf(buf, sizeof buf, " SN: %s,  ID: %x", e.serialNumber.c_str(),
                      static_cast<unsigned>(e.deviceId));
    } else {
        std::snprintf(buf, sizeof buf, " %s, SN: %s,  ID: %x, LocalID: %x; Open COM Ports: %i",
                      e.description.c_str(), e.serialNumber.c_str(),
                      static_cast<unsigned>(e.deviceId), static_cast<unsigned>(e.locationId),
                      table.openPortCount);
    }
    return buf;
}

void MainDialog::onInit(ui::DialogView& view) {
    view_ = &view;
    view.setIcon(IDI_CONFIGURATOR);
    Problems problems;
    EnablePrivilege(app_, "SeTakeOwnershipPrivilege", true, problems);
    ShowProblems(view, problems);
    for (const auto& [id, text] : kToolTips) view.addToolTip(id, text);
    if (!app_.d2xxAvailable) {
        view.messageBox(d2xx::LibraryMissingText(app_.d2xxLoadError) +
                            "\nInstall the FTDI driver package. The configurator works on the "
                            "settings in the registry only; devices cannot be listed as "
                            "attached and the driver cannot be reloaded.",
                        "ERROR", ui::Icon::Error);
    }

    // Permission pass over the registry-only table of every installed device.
    problems.clear();
    GrantEnumeratorAccess(app_, problems);
    ShowProblems(view, problems);
    if (auto key = reg::OpenKey(app_.registry, kEnumeratorKeyPath, reg::Access::Read)) {
        problems.clear();
        const bool keysIntact = !BuildTableFromRegistry(app_, *key, problems) ||
                                GrantInstanceKeyAccess(app_, problems);
        ShowProblems(view, problems);
        if (!keysIntact)
            view.messageBox("Some Registry Keys are corrupted.\n"
                            "Please clean your Registry with CDMUninstaller.",
                            "ERROR", ui::Icon::Warning);
    }

    showIgnoreSerialFlag();

    problems.clear();
    const bool rebuilt = RebuildFromLibrary(app_, problems);
    ShowProblems(view, problems);
    ReportNoDevices(app_.table, *view_);
    if (rebuilt) {
        view.setText(IDC_STATUS_LINE, "");
        view.listReset(IDC_PORT_LIST);
        addPortRows(false);
        view.setText(IDC_STATUS_LINE, OpenPortsText(app_.table.openPortCount));
    }
}

void ReportNoDevices(const PortTable& table, ui::DialogView& view) {
    if (NoActiveDevices(table)) view.messageBox(kMsgNoActiveDevices, "WARNING", ui::Icon::Warning);
}

void MainDialog::showIgnoreSerialFlag() {
    view_->setCheckState(IDC_IGNORE_SERIAL,
                         ReadIgnoreSerialFlag(app_) ? ui::kChecked : ui::kUnchecked);
}

void MainDialog::addPortRows(bool afterRefresh) {
    for (std::size_t i = 0; i < app_.table.entries.size(); ++i) {
        const PortEntry& e = app_.table.entries[i];
        if (afterRefresh && !ListedAfterRefresh(e)) continue;
        int row = view_->listAdd(IDC_PORT_LIST, e.portName);
        if (row >= 0) view_->listSetItemData(IDC_PORT_LIST, row, static_cast<intptr_t>(i));
    }
}

void MainDialog::refreshPortList() {
    ui::DialogView& view = *view_;
    view.setCursor(ui::Cursor::AppStarting);
    app_.table.selectedIndex = -1;
    view.setText(IDC_STATUS_LINE, "");
    view.listReset(IDC_PORT_LIST);
    ClearPortSettings(view);
    EnablePortSettings(view, false);
    view.enable(IDC_STATUS_LINE, false);

    Problems problems;
    const ListRebuild rebuilt = RebuildForList(app_, problems);
    ShowProblems(view, problems);
    if (rebuilt != ListRebuild::NoKey) ReportNoDevices(app_.table, *view_);
    if (rebuilt == ListRebuild::Listed) {
        addPortRows(true);
        view.setText(IDC_STATUS_LINE, OpenPortsText(app_.table.openPortCount));
    }
    view.setCursor(ui::Cursor::Arrow);
}

void MainDialog::saveConfigurationFile() {
    const PortEntry* e = app_.table.selected();
    std::string path;
    if (e == nullptr ||
        !view_->saveFileName(ConfigFileOptions(ConfigFileSuggestedName(*e), true), &path))
        return;
    const std::vector<std::string> cut = FieldsCutInFile(*e);
    if (!cut.empty()) {
        std::string text = kMsgValuesCutInFile;
        for (const auto& field : cut) text += "\n" + field;
        text += "\n\n";
        text += kMsgSaveAnyway;
        if (view_->messageBox(text, "Warning", ui::Icon::Warning, ui::Buttons::OkCancel) !=
            ui::Answer::Ok)
            return;
    }
    ShowFailure(*view_, SaveConfigurationFile(*e, path));
}

void MainDialog::loadConfigurationFile() {
    PortEntry* e = app_.table.selected();
    std::string path;
    if (e == nullptr || !view_->openFileName(ConfigFileOptions("", false), &path)) return;
    ShowFailure(*view_, LoadConfigurationFile(*e, path));
}

bool MainDialog::needsPort() {
    if (app_.table.selected() != nullptr) return true;
    view_->messageBox("Please select COM-Port", "No Selection", ui::Icon::Warning);
    return false;
}

int32_t MainDialog::recordOfListSelection() {
    int row = view_->listCurSel(IDC_PORT_LIST);
    if (row < 0) return -1;
    intptr_t data = view_->listItemData(IDC_PORT_LIST, row);
    if (data < 0 || data >= static_cast<intptr_t>(app_.table.entries.size())) return -1;
    return static_cast<int32_t>(data);
}

void MainDialog::reselectRow() {
    for (int row = 0, n = view_->listCount(IDC_PORT_LIST); row < n; ++row) {
        if (view_->listItemData(IDC_PORT_LIST, row) == app_.table.selectedIndex) {
            view_->listSetCurSel(IDC_PORT_LIST, row);
            return;
        }
    }
}

void MainDialog::showSelected() {
    const PortEntry* e = app_.table.selected();
    if (e == nullptr) return;
    ShowPortSettings(app_, *view_);
    view_->setText(IDC_STATUS_LINE, "");
    view_->setText(IDC_STATUS_LINE, PortStatusText(app_.table, *e));
}

void MainDialog::confirmClose(const char* question) {
    if (view_->messageBox(question, "Warning", ui::Icon::Question, ui::Buttons::OkCancel) !=
        ui::Answer::Ok)
        return;
    app_.table.release();
    view_->endDialog(1);
}

bool MainDialog::reloadDriver(uint16_t vendorId) {
    if (app_.d2xx.Reload(vendorId, 0) == d2xx::kOk) return true;
    view_->messageBox("Reload Driver failed!", "Error", ui::Icon::Error);
    return false;
}

bool MainDialog::writeEverything() {
    StorePortSettings(app_, *view_);
    Problems problems;
    ChangeSet changes = PlanTableChanges(app_.table, &problems);
    for (auto& c : PlanIgnoreSerial(app_, view_->checkState(IDC_IGNORE_SERIAL) == ui::kChecked))
        changes.push_back(std::move(c));
    ShowProblems(*view_, problems);
    const ApplyReport report = ApplyFromDialog(app_, *view_, changes);
    // No after a failed backup: nothing was written.
    return report.backup.ok() || report.tried();
}

void MainDialog::apply() {
    if (!writeEverything()) return;

    ClearPortSettings(*view_);

    // Rebuild the table behind the unchanged list.
    Problems problems;
    if (app_.table.showDisconnected) {
        auto key = reg::OpenKey(app_.registry, kEnumeratorKeyPath, reg::Access::Read);
        if (key && BuildTableFromRegistry(app_, *key, problems)) {
            MatchInstanceKeys(app_, *key);
            ReadPortSettings(app_, problems);
        }
        ShowProblems(*view_, problems);
    } else {
        const bool rebuilt = RebuildFromLibrary(app_, problems);
        ShowProblems(*view_, problems);
        if (rebuilt) ReportNoDevices(app_.table, *view_);
    }

    view_->setText(IDC_STATUS_LINE, OpenPortsText(app_.table.openPortCount));
    showIgnoreSerialFlag();
    showSelected();
    app_.d2xx.Reload(d2xx::kFtdiVendorId, 0);
}

void MainDialog::ok() {
    if (!writeEverything() || !reloadDriver(d2xx::kFtdiVendorId)) return;
    app_.table.release();
    view_->endDialog(1);
}

void MainDialog::runSubDialog(int resourceId, ui::DialogLogic&& logic) {
    if (view_->runModal(resourceId, logic) == -1)
        view_->messageBox("Dialog failed!", "Error", ui::Icon::Error);
}

void MainDialog::onCommand(ui::DialogView& view, int id, ui::Event event) {
    view_ = &view;
    switch (id) {
        case IDC_PORT_LIST:
            if (event != ui::Event::SelectionChanged) return;
            StorePortSettings(app_, view);
            app_.table.selectedIndex = recordOfListSelection();
            showSelected();
            return;
        case IDC_OPTIMIZE_VARNOK:
        case IDC_OPTIMIZE_BRIVANE:
        case IDC_DEFAULT_SETTINGS:
            app_.table.selectedIndex = recordOfListSelection();
            if (!needsPort()) return;
            ApplyPresetToPanel(app_, view,
                               id == IDC_OPTIMIZE_VARNOK    ? Preset::Varnok
                               : id == IDC_OPTIMIZE_BRIVANE ? Preset::Brivane
                                                            : Preset::Default);
            return;
        case IDC_SHOW_DISCONNECTED:
            app_.table.showDisconnected = view.checkState(IDC_SHOW_DISCONNECTED) == ui::kChecked;
            refreshPortList();
            return;
        case IDC_CLOSE_ALL_PORTS:
            view.setCursor(ui::Cursor::Wait);
            ShowProblems(view, CloseAllPorts(app_));
            view.setCursor(ui::Cursor::Arrow);
            refreshPortList();
            return;
        case IDC_REFRESH:
            showIgnoreSerialFlag();
            refreshPortList();
            return;
        case IDC_BAUD_MAPPINGS:
            if (!needsPort()) return;
            runSubDialog(IDD_BAUD_MAPPING, BaudRateMappingDialog(app_, run_));
            view.setText(IDC_STATUS_LINE, OpenPortsText(app_.table.openPortCount));
            showIgnoreSerialFlag();
            reselectRow();
            showSelected();
            return;
        case IDC_BUFFERED_WRITES:
            if (needsPort()) runSubDialog(IDD_BUFFERED_WRITES, BufferedWritesDialog(app_));
            return;
        case IDC_RENAME_COM_PORT:
            if (!needsPort()) return;
            runSubDialog(IDD_COM_ASSIGNMENT, ComPortAssignmentDialog(app_, run_));
            refreshPortList();
            return;
        case IDM_SAVE_CONFIG:
            if (needsPort()) saveConfigurationFile();
            return;
        case IDM_LOAD_CONFIG:
            if (!needsPort()) return;
            loadConfigurationFile();
            showSelected();
            return;
        case IDC_RELOAD_DRIVER:
            (void)reloadDriver(0);
            return;
        case IDM_VIEW_HELP:
            view.shellOpen("https://ftdichip.com/Support/Documents/AppNotes/"
                           "AN_107_AdvancedDriverOptions_AN_000073.pdf");
            return;
        case IDM_ABOUT:
            runSubDialog(IDD_ABOUT, AboutDialog());
            return;
        case IDC_APPLY:
            apply();
            return;
        case ui::kIdOk:
            ok();
            return;
        case ui::kIdCancel:
            confirmClose("Abort Configuration?\nUnsaved Data will be lost");
            return;
        case IDM_EXIT:
            confirmClose("Abort Configuration??\nUnsaved Data will be lost");
            return;
        default:
            return;
    }
}

bool MainDialog::rowAppearance(int listId, intptr_t itemData, std::string* text,
                               ui::Colour* colour) {
    if (listId != IDC_PORT_LIST) return false;
    if (itemData < 0 || itemData >= static_cast<intptr_t>(app_.table.entries.size())) return false;
    const PortEntry& e = app_.table.entries[static_cast<std::size_t>(itemData)];
    *text = e.portName;
    *colour = !app_.table.showDisconnected ? kRowBlack : e.connected ? kRowGreen : kRowRed;
    return true;
}

void AboutDialog::onInit(ui::DialogView& view) { view.setIcon(IDI_CONFIGURATOR); }

void AboutDialog::onCommand(ui::DialogView& view, int id, ui::Event) {
    if (id == IDC_ABOUT_LINK_1) view.shellOpen(kAboutLink1Url);
    else if (id == IDC_ABOUT_LINK_2) view.shellOpen(kAboutLink2Url);
    else if (id == ui::kIdCancel) view.endDialog(1);
}

void AboutDialog::onLeftClick(ui::DialogView& view) { view.endDialog(1); }

}  // namespace varnok::cfg
