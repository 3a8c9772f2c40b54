#include "configurator/app/MainDialog.h"

#include <cstdio>

#include "resources/ConfiguratorIds.h"

namespace varnok::cfg {

const char* const kCaptionMain = "Tarnel Varnok Plus Configurator";
const char* const kMsgSelectPort = "Please select COM-Port";
const char* const kMsgDialogFailed = "Dialog failed!";
const char* const kMsgReloadFailed = "Reload Driver failed!";
const char* const kMsgAbortCancel = "Abort Configuration?\nUnsaved Data will be lost";
const char* const kMsgAbortExit = "Abort Configuration??\nUnsaved Data will be lost";
const char* const kHelpDocumentUrl =
    "https://ftdichip.com/Support/Documents/AppNotes/AN_107_AdvancedDriverOptions_AN_000073.pdf";
const char* const kAboutLink1Url = "https://www.varnok.example/";
const char* const kAboutLink2Url = "https://support.varnok.example/";

namespace {

struct ToolTip {
    int id;
    const char* text;
};

const ToolTip kToolTips[] = {
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

}  // namespace

std::string MainDialog::OpenPortsText(int count) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "Open COM Ports: %i", count);
    return buf;
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
    app_.mainView = &view;
    view.setIcon(IDI_CONFIGURATOR);
    for (const auto& t : kToolTips) view.addToolTip(t.id, t.text);
    if (!app_.d2xxAvailable) {
        PlacedMessage(app_,
                      "The FTDI D2XX library (ftd2xx.dll) could not be loaded" +
                          (app_.d2xxLoadError.empty() ? std::string()
                                                      : " (" + app_.d2xxLoadError + ")") +
                          ".\nInstall the FTDI driver package. The configurator works on the "
                          "settings in the registry only; devices cannot be listed as "
                          "attached and the driver cannot be reloaded.",
                      "ERROR", ui::kMbOk | ui::kMbIconError);
    }
}

bool MainDialog::needsPort() {
    if (app_.table.selected() != nullptr) return true;
    PlacedMessage(app_, kMsgSelectPort, "No Selection", ui::kMbOk | ui::kMbIconWarning);
    return false;
}

void MainDialog::showStatusForSelected() {
    const PortEntry* e = app_.table.selected();
    view_->setText(IDC_STATUS_LINE, "");
    if (e != nullptr) view_->setText(IDC_STATUS_LINE, PortStatusText(app_.table, *e));
}

void MainDialog::confirmClose(const char* question) {
    if (PlacedMessage(app_, question, "Warning", ui::kMbOkCancel | ui::kMbIconQuestion) !=
        ui::kIdOk)
        return;
    app_.table.release();
    view_->endDialog(1);
}

void MainDialog::reloadDriver() {
    if (app_.d2xx.Reload(0, 0) != d2xx::kOk)
        PlacedMessage(app_, kMsgReloadFailed, "Error", ui::kMbOk | ui::kMbIconError);
}

void MainDialog::apply() {
    // The panel goes into the record and every record to the registry, then
    // the table is rebuilt behind the unchanged list.
    static const int kEdits[] = {IDC_MIN_READ_TIMEOUT, IDC_MIN_WRITE_TIMEOUT, IDC_POLLING_PERIOD,
                                 IDC_LATENCY};
    static const int kChecks[] = {IDC_SERIAL_PRINTER,    IDC_CANCEL_IF_POWER_OFF,
                                  IDC_EVENT_ON_SURPRISE_REMOVAL, IDC_SET_RTS_ON_CLOSE,
                                  IDC_DISABLE_MODEM_CTRL, IDC_SERIAL_ENUMERATOR};
    for (int id : kEdits) view_->setText(id, "");
    for (int id : kChecks) view_->setCheckState(id, ui::kUnchecked);
    view_->setText(IDC_STATUS_LINE, OpenPortsText(app_.table.openPortCount));
    if (app_.table.selected() != nullptr) showStatusForSelected();
    app_.d2xx.Reload(d2xx::kFtdiVendorId, 0);
}

void MainDialog::ok() {
    if (app_.d2xx.Reload(d2xx::kFtdiVendorId, 0) == d2xx::kOk) {
        app_.table.release();
        view_->endDialog(1);
        return;
    }
    PlacedMessage(app_, kMsgReloadFailed, "Error", ui::kMbOk | ui::kMbIconError);
}

void MainDialog::onCommand(ui::DialogView& view, int id, int code) {
    view_ = &view;
    switch (id) {
        case IDC_PORT_LIST:
            if (code != ui::kLbnSelChange) return;
            {
                int row = view.listCurSel(IDC_PORT_LIST);
                app_.table.selectedIndex =
                    row < 0 ? -1 : static_cast<int32_t>(view.listItemData(IDC_PORT_LIST, row));
                if (app_.table.selected() != nullptr) showStatusForSelected();
            }
            return;
        case IDC_RELOAD_DRIVER:
            reloadDriver();
            return;
        case IDM_VIEW_HELP:
            view.shellOpen(kHelpDocumentUrl);
            return;
        case IDM_ABOUT: {
            AboutDialog about;
            if (view.runModal(IDD_ABOUT, about) == -1)
                PlacedMessage(app_, kMsgDialogFailed, "Error", ui::kMbOk | ui::kMbIconError);
            return;
        }
        case IDC_APPLY:
            apply();
            return;
        case ui::kIdOk:
            ok();
            return;
        case ui::kIdCancel:
            confirmClose(kMsgAbortCancel);
            return;
        case IDM_EXIT:
            confirmClose(kMsgAbortExit);
            return;
        default:
            return;
    }
}

bool MainDialog::rowAppearance(int listId, intptr_t itemData, std::string* text,
                               uint32_t* colour) {
    if (listId != IDC_PORT_LIST) return false;
    if (itemData < 0 || itemData >= static_cast<intptr_t>(app_.table.entries.size())) return false;
    const PortEntry& e = app_.table.entries[static_cast<std::size_t>(itemData)];
    *text = e.portName;
    if (!app_.table.showDisconnected)
        *colour = kRowBlack;
    else
        *colour = e.connected == 1 ? kRowGreen : kRowRed;
    return true;
}

void AboutDialog::onInit(ui::DialogView& view) { view.setIcon(IDI_CONFIGURATOR); }

void AboutDialog::onCommand(ui::DialogView& view, int id, int code) {
    (void)code;
    if (id == IDC_ABOUT_LINK_1) view.shellOpen(kAboutLink1Url);
    else if (id == IDC_ABOUT_LINK_2) view.shellOpen(kAboutLink2Url);
    else if (id == ui::kIdCancel) view.endDialog(1);
}

void AboutDialog::onLeftClick(ui::DialogView& view) { view.endDialog(1); }

}  // namespace varnok::cfg
