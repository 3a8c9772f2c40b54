#include "modetool/ModeDialog.h"

#include <cstdio>

#include "modetool/Discovery.h"
#include "resources/ModeToolIds.h"

namespace varnok::mode {

namespace {

constexpr int kMaxSelected = 64;

bool IsBitBox(int id) { return id >= IDC_BIT_FIRST && id <= IDC_BIT_LAST; }

}  // namespace

void ModeDialog::onInit(ui::DialogView& view) {
    tool_.view = &view;
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
        if (!s.empty()) ClickMode(view, s, id);
    } else if (IsBitBox(id)) {
        Selection s = selection(view);
        if (!s.empty()) ClickBit(view, s);
    }
}

void ModeDialog::onDestroy(ui::DialogView& view) {
    array_.clear();
    if (tool_.view == &view) tool_.view = nullptr;
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
        ShowSelection(view, s);
    } else if (bitsWereEnabled_) {
        for (int id : view.childIds())
            if (IsBitBox(id)) view.enable(id, true);
    }
}

void ModeDialog::search(ui::DialogView& view) {
    enterBusy(view);
    view.listReset(IDC_DEVICE_LIST);
    view.listReset(IDC_PORT_LIST_MT);
    int n = EnumVarnokDevices(tool_, &array_);
    if (n > 0) {
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
    } else if (n == 0) {
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
        std::snprintf(text, sizeof text, kEnumFailedFormat, n);
        // "Search Devices" stays usable, so a passing fault can be retried.
        view.enable(IDC_SEARCH, true);
        view.repaintNow();
        view.messageBox(text, "Error", ui::Icon::Error);
    }
}

void ModeDialog::commit(ui::DialogView& view) {
    enterBusy(view);
    CommitAdapters(tool_, &array_);
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
    ApplyModel(view, first.typeCode);
    if (s.adapters.size() == 1) {
        view.show(IDC_PORT_LIST_MT, true);
        for (int k = 0; k < first.portCount && k < kMaxPorts; ++k)
            view.listAdd(IDC_PORT_LIST_MT, PortLine(first, k));
        view.listSetSel(IDC_PORT_LIST_MT, 0, true);
        portSelectionChanged(view);
    } else {
        view.show(IDC_PORT_LIST_MT, false);
        ShowSelection(view, s);
    }
}

void ModeDialog::portSelectionChanged(ui::DialogView& view) {
    Selection s = selection(view);
    if (s.empty()) return;
    ShowSelection(view, s);
}

}  // namespace varnok::mode
