// The configurator's main dialog (resource 100): start-up, the command
// table, the port list's rows and colours, the status line, closing.
#pragma once
#include <string>

#include "common/platform/DialogView.h"
#include "configurator/app/Configurator.h"
#include "configurator/app/DialogCommon.h"

namespace varnok::cfg {

// Texts of the main dialog.
// Asked (caption "Warning", OK/Cancel) before saving a port whose values do
// not fit the 84-byte file, with each value (FieldsCutInFile) between them.
extern const char* const kMsgValuesCutInFile;
extern const char* const kMsgSaveAnyway;  // "Save anyway?"
extern const char* const kAboutLink1Url;
extern const char* const kAboutLink2Url;

// Colours of the port list's rows.
constexpr ui::Colour kRowGreen{0, 255, 0};
constexpr ui::Colour kRowRed{255, 0, 0};
constexpr ui::Colour kRowBlack{0, 0, 0};

// Warns "No active FTDI devices found" (caption "WARNING") when the table is
// empty in normal mode.
void ReportNoDevices(const PortTable& table, ui::DialogView& view);

class MainDialog : public ui::DialogLogic {
public:
    explicit MainDialog(Configurator& app) : app_(app) {}

    void onInit(ui::DialogView& view) override;
    void onCommand(ui::DialogView& view, int id, ui::Event event) override;
    bool rowAppearance(int listId, intptr_t itemData, std::string* text,
                       ui::Colour* colour) override;

    // " %s, SN: %s,  ID: %x, LocalID: %x; Open COM Ports: %i" or, with
    // disconnected devices shown, " SN: %s,  ID: %x".
    static std::string PortStatusText(const PortTable& table, const PortEntry& entry);
    static std::string OpenPortsText(int count);  // "Open COM Ports: %i"

    const DialogRunState& runState() const { return run_; }

private:
    // True when a port is selected; otherwise shows "Please select COM-Port".
    bool needsPort();
    // The panel and the status line of the selected record; nothing without
    // a selection.
    void showSelected();
    // Record index of the list's selected row (its item data), or -1.
    int32_t recordOfListSelection();
    // Selects the row that shows the selected record again.
    void reselectRow();
    // OK and Apply: panel into the record, every record and the global flag
    // into the registry.
    bool writeEverything();
    // Runs a sub-dialog modally; "Dialog failed!" when it cannot be shown.
    void runSubDialog(int resourceId, ui::DialogLogic&& logic);
    void apply();
    void ok();
    void confirmClose(const char* question);
    // FT_Reload for `vendorId` (0: every device); false, told as "Reload
    // Driver failed!", when it fails.
    bool reloadDriver(uint16_t vendorId);
    // The port list and the panel after a rebuild of the table (Refresh,
    // Show disconnected devices, Close All Ports, a renamed port).
    void refreshPortList();
    // A row for every record, or (after a refresh) for every record the
    // refreshed list shows; the row's item data is the record's index.
    void addPortRows(bool afterRefresh);
    void showIgnoreSerialFlag();
    void saveConfigurationFile();
    void loadConfigurationFile();

    Configurator& app_;
    ui::DialogView* view_ = nullptr;
    // The sub-dialogs' state that lives for the whole run.
    DialogRunState run_;
};

class AboutDialog : public ui::DialogLogic {
public:
    void onInit(ui::DialogView& view) override;
    void onCommand(ui::DialogView& view, int id, ui::Event event) override;
    void onLeftClick(ui::DialogView& view) override;
};

}  // namespace varnok::cfg
