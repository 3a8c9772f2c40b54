// The COM Port Assignment dialog (resource 108) for the selected port.
#pragma once
#include <string>
#include <vector>

#include "common/platform/DialogView.h"
#include "configurator/app/Configurator.h"
#include "configurator/app/DialogCommon.h"

namespace varnok::cfg {

extern const char* const kCaptionComAssignment;     // "COM Port Assignment"
extern const char* const kMsgNumberReserved;        // "Selected COM Port Number is reserved"
extern const char* const kMsgComDbNotRead;

// Adds every free name of the map to list box 40006 and to `freeNames`
// (cleared first), and its number to `freeNumbers` when given (cleared
// first, parallel to `freeNames`). When the list box refuses a text, shows
// "ListBox Error" and stops; the entries added before stay.
void ListFreeComNumbers(ui::DialogView& view, const std::vector<uint8_t>& bitmap,
                        std::vector<std::string>& freeNames,
                        std::vector<int>* freeNumbers = nullptr);

// The OK action: gives `entry` the name of the selected free-list item,
// writes FriendlyName and PortName and the map. True when the dialog may
// close. `mapRead` tells whether the map was read in this opening; a map
// that was not is never written, and neither are the names.
bool RenameComPort(Configurator& app, ui::DialogView& view, PortEntry& entry,
                   const std::vector<std::string>& freeNames, bool mapRead);

class ComPortAssignmentDialog : public ui::DialogLogic {
public:
    ComPortAssignmentDialog(Configurator& app, DialogRunState& run) : app_(app), run_(run) {}
    void onInit(ui::DialogView& view) override;
    void onCommand(ui::DialogView& view, int id, ui::Event event) override;
    bool onUpDownDelta(ui::DialogView& view, int id, int pos, int delta) override;

    const std::vector<std::string>& freeNames() const { return freeNames_; }

private:
    // Selects the first free-list item whose number is n; clears the list
    // selection and returns false when there is none.
    bool selectNumber(ui::DialogView& view, int n);
    void numberChanged(ui::DialogView& view);

    Configurator& app_;
    DialogRunState& run_;
    // The free-name list of this opening, parallel to list box 40006.
    std::vector<std::string> freeNames_;
    std::vector<int> freeNumbers_;  // the number of each free name, in the same order
    bool mapRead_ = false;
    bool initialising_ = false;  // inside onInit
};

}  // namespace varnok::cfg
