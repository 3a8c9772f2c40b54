#include "modetool/ModeDialog.h"

#include <cstdio>

#include "modetool/Discovery.h"
#include "resources/ModeToolIds.h"

namespace varnok::mode {

namespace {

constexpr int kMaxSelected = 64;
const char kNoDeviceCaption[] = "No device found";
const char kNoDeviceText[] =
    "Only for \"Apex\" series:\r\nPlease activate the configuration mode of the desired "
    "devices.\r\nTherefore you must press the config button for two seconds until the "
    "button will light.";
const char kEnumFailedFormat[] = "EnumVarnokDevices failed (%d)";

bool IsBitBox(int id) { return id >= IDC_BIT_FIRST && id <= IDC_BIT_LAST; }

// The rules' marks are the view's check states, value for value.
static_assert(static_cast<int>(Mark::Unchecked) == ui::kUnchecked &&
              static_cast<int>(Mark::Checked) == ui::kChecked &&
              static_cast<int>(Mark::Indeterminate) == ui::kIndeterminate);

// Labels and shows the mode buttons and bit boxes of the adapter's model and
// hides the rest (the label lists end with an empty entry).
void ShowModel(ui::DialogView& view, uint16_t typeCode) {
    auto apply = [&](const char* const* labels, int count, int (*id)(int), int first) {
        for (int k = 0; k < count; ++k) view.show(id(k + first), false);
        for (int k = 0; k < count && labels[k][0] != '\0'; ++k) {
            view.setText(id(k + first), labels[k]);
            view.show(id(k + first), true);
        }
    };
    apply(ModeTable(typeCode), kModeButtons, ModeButtonId, 1);
    apply(BitTable(typeCode), kBitBoxes, BitBoxId, 0);
}

void ShowBitBoxes(ui::DialogView& view, const BitsShown& shown) {
    for (int b = 0; b < kBitBoxes; ++b) {
        view.enable(BitBoxId(b), shown.enabled);
        view.setCheckState(BitBoxId(b), static_cast<int>(shown.marks[b]));
    }
}

void ShowModeAndBits(ui::DialogView& view, const Shown& shown) {
    for (int k = 1; k <= kModeButtons; ++k)
        view.setCheckState(ModeButtonId(k), k == shown.modeButton ? ui::kChecked : ui::kUnchecked);
    ShowBitBoxes(view, shown.bits);
}

// The bits whose boxes are checked (an indeterminate box counts as not set).
int CheckedBits(ui::DialogView& view) {
    int bits = 0;
    for (int b = 0; b < kBitBoxes; ++b)
        if (view.checkState(BitBoxId(b)) == ui::kChecked) bits |= 1 << b;
    return bits;
}

}  // namespace

int ModeButtonId(int modeCode) { return IDC_MODE_GROUP + modeCode; }
int BitBoxId(int bit) { return IDC_BIT_FIRST + bit; }

void ModeDialog::onInit(ui::DialogView& view) {
    view.setIcon(IDI_MODETOOL);
    view.setTimer(IDT_START_SEARCH, kStartSearchDelayMs);
}

void ModeDialog::onTimer(ui::DialogView& view, int timerId) {
    if (timerId != IDT_START_SEARCH) return;
    view.killTimer(IDT_START_SEARCH);
    onCommand(view, IDC_SEARCH, ui::Event::Clicked);
}

void ModeDialog::onCommand(ui::DialogView& view, int id, ui::Event event) {
    if (id == ui::kIdOk || id == ui::kIdCancel) {
        view.endDialog(1);
        return;
    }
    if (id == IDC_DEVICE_LIST) {
        if (event == ui::Event::SelectionChanged) deviceSelectionChanged(view);
        return;
    }
    if (id == IDC_PORT_LIST_MT) {
        if (event == ui::Event::SelectionChanged) portSelectionChanged(view);
        return;
    }
    if (event != ui::Event::Clicked) return;
    if (id == IDC_SEARCH) {
        search(view);
    } else if (id == IDC_COMMIT) {
        commit(view);
    } else if (id >= IDC_MODE_FIRST && id <= IDC_MODE_LAST) {
        Selection s = selection(view);
        if (!s.empty()) ShowBitBoxes(view, ClickMode(s, id - IDC_MODE_GROUP));
    } else if (IsBitBox(id)) {
        Selection s = selection(view);
        if (!s.empty()) ShowBitBoxes(view, ClickBits(s, CheckedBits(view)));
    }
}

void ModeDialog::onDestroy(ui::DialogView&) { array_.clear(); }

void ModeDialog::showFailure(ui::DialogView& view, const Failure& failure) {
    view.messageBox(ErrorMessageText(failure.code, failure.context,
                                     tool_.serial.systemMessage(failure.code)),
                    "Error", ui::Icon::Warning);
}

void ModeDialog::enterBusy(ui::DialogView& view) {
    for (int id : view.childIds()) {
        if (IsBitBox(id)) bitsWereEnabled_ = view.isEnabled(id);
        view.enable(id, false);
    }
    view.show(IDC_DEVICE_LIST, false);
    view.show(IDC_PORT_LIST_MT, false);
    view.repaintNow();
}

void ModeDialog::leaveBusy(ui::DialogView& view) {
    for (int id : view.childIds()) {
        if (IsBitBox(id)) continue;
        view.enable(id, true);
    }
    // The control-bit boxes follow the ports shown (the RS232 rule), not the
    // state they had before the busy spell, which may belong to another port.
    // Only with nothing to show do they go back to that state.
    Selection s = selection(view);
    if (!s.empty()) {
        ShowModeAndBits(view, ShowSelection(s));
    } else if (bitsWereEnabled_) {
        for (int id : view.childIds())
            if (IsBitBox(id)) view.enable(id, true);
    }
}

void ModeDialog::search(ui::DialogView& view) {
    enterBusy(view);
    view.listReset(IDC_DEVICE_LIST);
    view.listReset(IDC_PORT_LIST_MT);
    array_.clear();  // the old records go before the search
    SearchResult found =
        EnumVarnokDevices(tool_, [&](const Failure& f) { showFailure(view, f); });
    array_ = std::move(found.adapters);
    if (found.status == SearchStatus::Found) {
        for (AdapterRecord& r : array_) {
            int row = view.listAdd(IDC_DEVICE_LIST, DeviceLine(r));
            if (row != ui::kNoRow)
                view.listSetItemData(IDC_DEVICE_LIST, row, reinterpret_cast<intptr_t>(&r));
        }
        view.listSetSel(IDC_DEVICE_LIST, 0, true);
        deviceSelectionChanged(view);
        view.show(IDC_DEVICE_LIST, true);
        view.show(IDC_PORT_LIST_MT, true);
        leaveBusy(view);
    } else if (found.status == SearchStatus::NoneFound) {
        view.enable(IDC_SEARCH, true);
        view.repaintNow();
        view.messageBox(kNoDeviceText, kNoDeviceCaption, ui::Icon::Warning);
    } else {
        if (!tool_.d2xxAvailable && !libraryErrorShown_) {
            // Without the library no search can work: say why, once.
            libraryErrorShown_ = true;
            view.messageBox(d2xx::LibraryMissingText(tool_.d2xxLoadError), "Error",
                            ui::Icon::Error);
        }
        char text[64];
        std::snprintf(text, sizeof text, kEnumFailedFormat, static_cast<int>(found.status));
        // "Search Devices" stays usable, so a passing fault can be retried.
        view.enable(IDC_SEARCH, true);
        view.repaintNow();
        view.messageBox(text, "Error", ui::Icon::Error);
    }
}

void ModeDialog::commit(ui::DialogView& view) {
    enterBusy(view);
    (void)CommitAdapters(tool_.serial, tool_.clock, array_,
                         [&](const Failure& f) { showFailure(view, f); });
    view.show(IDC_DEVICE_LIST, true);
    view.show(IDC_PORT_LIST_MT, true);
    leaveBusy(view);
    deviceSelectionChanged(view);
}

Selection ModeDialog::selection(ui::DialogView& view) {
    Selection s;
    for (int row : view.listSelectedRows(IDC_DEVICE_LIST)) {
        if (static_cast<int>(s.adapters.size()) == kMaxSelected) break;
        intptr_t data = view.listItemData(IDC_DEVICE_LIST, row);
        for (AdapterRecord& r : array_) {
            if (reinterpret_cast<intptr_t>(&r) == data) {
                s.adapters.push_back(&r);
                break;
            }
        }
    }
    if (s.adapters.size() == 1) {
        for (int row : view.listSelectedRows(IDC_PORT_LIST_MT)) {
            if (static_cast<int>(s.portRows.size()) == kMaxSelected) break;
            s.portRows.push_back(row);
        }
    }
    return s;
}

void ModeDialog::deviceSelectionChanged(ui::DialogView& view) {
    Selection s = selection(view);
    if (s.empty()) return;
    view.listReset(IDC_PORT_LIST_MT);
    const AdapterRecord& first = *s.adapters.front();
    ShowModel(view, first.typeCode);
    if (s.adapters.size() == 1) {
        view.show(IDC_PORT_LIST_MT, true);
        for (int k = 0; k < first.portCount && k < kMaxPorts; ++k)
            view.listAdd(IDC_PORT_LIST_MT, PortLine(first, k));
        view.listSetSel(IDC_PORT_LIST_MT, 0, true);
        portSelectionChanged(view);
    } else {
        view.show(IDC_PORT_LIST_MT, false);
        ShowModeAndBits(view, ShowSelection(s));
    }
}

void ModeDialog::portSelectionChanged(ui::DialogView& view) {
    Selection s = selection(view);
    if (s.empty()) return;
    ShowModeAndBits(view, ShowSelection(s));
}

}  // namespace varnok::mode
