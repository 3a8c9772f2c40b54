#include "configurator/comnames/ComPortAssignmentDialog.h"

#include <algorithm>

#include "common/platform/Parse.h"
#include "configurator/app/DialogCommon.h"
#include "configurator/changes/ChangePlanners.h"
#include "configurator/comnames/ComDb.h"
#include "resources/ConfiguratorIds.h"

namespace varnok::cfg {

const char* const kCaptionComAssignment = "COM Port Assignment";
const char* const kMsgNumberReserved = "Selected COM Port Number is reserved";
const char* const kMsgComDbNotRead =
    "The COM name database could not be read.\nThe COM port was not renamed and the database "
    "was left unchanged.";

// The field's text counts when it has at most three characters.
constexpr std::size_t kNumberFieldDigits = 3;

void ListFreeComNumbers(ui::DialogView& view, const std::vector<uint8_t>& bitmap,
                        std::vector<std::string>& freeNames, std::vector<int>* freeNumbers) {
    freeNames.clear();
    if (freeNumbers != nullptr) freeNumbers->clear();
    const std::vector<int> numbers = FreeComNumbers(bitmap);
    freeNames.reserve(numbers.size());
    if (freeNumbers != nullptr) freeNumbers->reserve(numbers.size());
    for (const int n : numbers) {
        const std::string name = "COM" + std::to_string(n);
        if (view.listAdd(IDC_CA_FREE_LIST, name) == ui::kNoRow) {
            view.messageBox(kMsgListBoxError, "ERROR", ui::Icon::Error);
            return;
        }
        freeNames.push_back(name);
        if (freeNumbers != nullptr) freeNumbers->push_back(n);
    }
}

bool RenameComPort(Configurator& app, ui::DialogView& view, PortEntry& entry,
                   const std::vector<std::string>& freeNames, bool mapRead) {
    if (!mapRead) {
        // Writing a map we do not know would release every reservation of
        // other software; renaming the port without it would leave the map
        // out of step with the names.
        view.messageBox(kMsgComDbNotRead, "ERROR", ui::Icon::Error);
        return false;
    }
    const int row = view.listCurSel(IDC_CA_FREE_LIST);
    if (row < 0 || static_cast<std::size_t>(row) >= freeNames.size()) {
        return view.messageBox(kMsgNumberReserved, "Error",
                               ui::Icon::Warning, ui::Buttons::OkCancel) == ui::Answer::Ok;
    }
    const ChangeSet changes = PlanRename(entry, freeNames[static_cast<std::size_t>(row)]);
    // The map (the last change) is told with its own texts; the two names
    // with the message of every change set.
    const ApplyReport report = ApplyChanges(app, changes, [&](const Failure& failure) {
        return AskToGoOnWithoutBackup(view, failure);
    });
    TakeWrittenAsRead(entry, changes, report);
    if (!report.tried()) return false;
    const ChangeResult mapResult = report.results.back();
    ApplyReport names = report;
    names.results.back() = ChangeResult{};
    const std::string failed = NotWrittenText(app, changes, names);
    if (!failed.empty()) view.messageBox(failed, kCaptionNotWritten, ui::Icon::Error);
    if (!mapResult.ok())
        view.messageBox(mapResult.keyOpened ? kMsgCantOpenComDb : kMsgCantOpenArbiterKey, "ERROR",
                        ui::Icon::Error);
    return mapResult.ok();
}

void ComPortAssignmentDialog::onInit(ui::DialogView& view) {
    // Change notifications that arrive from here on until the end of this
    // function come from the dialog filling its own field, not from the user.
    struct InitialisingScope {
        bool& flag;
        explicit InitialisingScope(bool& f) : flag(f) { flag = true; }
        ~InitialisingScope() { flag = false; }
    } scope(initialising_);
    view.upDownSetRange(IDC_CA_UPDOWN, kComNumberMin, kComNumberMax);
    PortEntry* entry = app_.table.selected();
    freeNames_.clear();
    freeNumbers_.clear();
    mapRead_ = false;
    if (entry == nullptr) return;
    const Outcome read = ReadComDb(app_, *entry);
    ShowFailure(view, read);
    mapRead_ = read.ok();
    view.setText(IDC_CA_CURRENT, entry->portName);
    view.setText(IDC_CA_NUMBER, entry->portName.size() > 3 ? entry->portName.substr(3, 3) : "");
    ListFreeComNumbers(view, entry->comDbBitmap, freeNames_, &freeNumbers_);
}

bool ComPortAssignmentDialog::selectNumber(ui::DialogView& view, int n) {
    const auto it = std::find(freeNumbers_.begin(), freeNumbers_.end(), n);
    if (it == freeNumbers_.end()) return false;
    view.listSetCurSel(IDC_CA_FREE_LIST, static_cast<int>(it - freeNumbers_.begin()));
    return true;
}

void ComPortAssignmentDialog::numberChanged(ui::DialogView& view) {
    // Only the notifications of the dialog's own initialisation are counted
    // and spared from clearing the selection. Measured under Wine 8: each
    // opening produces exactly one, from putting the port's number into the
    // field (the up-down control's range and buddy produce none that reach
    // the dialog, and the list is still empty then). Every later
    // notification is the user's, the first one included, so a taken number
    // typed after a click in the list always clears the selection.
    const bool ownInit = initialising_;
    if (ownInit && run_.comNumberChangeCounter < 2) ++run_.comNumberChangeCounter;
    const std::string text = view.text(IDC_CA_NUMBER);
    int n = 0;
    if (text.size() <= kNumberFieldDigits) {
        n = parse::LeadingDecimal(text);
        if (selectNumber(view, n)) return;
    }
    if (n == 1 || ownInit) return;
    view.listSetCurSel(IDC_CA_FREE_LIST, -1);
}

void ComPortAssignmentDialog::onCommand(ui::DialogView& view, int id, ui::Event event) {
    switch (id) {
        case IDC_CA_NUMBER:
            if (event == ui::Event::ValueChanged) numberChanged(view);
            return;
        case ui::kIdOk: {
            PortEntry* entry = app_.table.selected();
            if (entry == nullptr || RenameComPort(app_, view, *entry, freeNames_, mapRead_))
                view.endDialog(1);
            return;
        }
        case ui::kIdCancel:
            view.endDialog(1);
            return;
    }
}

bool ComPortAssignmentDialog::onUpDownDelta(ui::DialogView& view, int id, int /*pos*/, int delta) {
    if (id != IDC_CA_UPDOWN) return false;
    const std::string text = view.text(IDC_CA_NUMBER);
    if (text.size() <= kNumberFieldDigits) {
        const long long n = static_cast<long long>(parse::LeadingDecimal(text)) + delta;
        if (n < kComNumberMin || n > kComNumberMax || !selectNumber(view, static_cast<int>(n)))
            view.listSetCurSel(IDC_CA_FREE_LIST, -1);
    }
    return false;  // the step goes ahead; its new text runs the change rule
}

}  // namespace varnok::cfg
