#include "modetool/ModeDialog.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <string>

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

const char kFinishingLine[] = "Finishing: leaving configuration mode...";

std::string ProgressLine(bool committing, std::size_t done, std::size_t total) {
    return std::string(committing ? "Writing: " : "Searching: ") + std::to_string(done) + " of " +
           std::to_string(total) + (total == 1 ? " adapter" : " adapters");
}

int ModeButtonId(int modeCode) { return IDC_MODE_GROUP + modeCode; }

std::string ModeNotSetText(int modeCode, uint16_t typeCode) {
    const std::string mode = HasMode(typeCode, modeCode)
                                 ? "\"" + std::string(ModeTable(typeCode)[modeCode - 1]) + "\""
                                 : std::to_string(modeCode);
    return "These adapters have no mode " + mode + " and were left as they were:";
}

ModeDialog::~ModeDialog() { joinWorker(); }

void ModeDialog::joinWorker() {
    if (worker_.joinable()) worker_.join();
}

EngineOptions ModeDialog::engineOptions(ui::DialogView& view, bool committing) {
    EngineOptions o;
    o.stop = &stop_;
    ui::DialogView* v = &view;
    o.progress = [this, v, committing](std::size_t done, std::size_t total) {
        v->post([this, v, committing, done, total] {
            if (!closing_) v->setBusyText(ProgressLine(committing, done, total));
        });
    };
    return o;
}

void ModeDialog::startWork(ui::DialogView& view, std::function<std::function<void()>()> work) {
    busy_ = true;
    stop_ = false;
    joinWorker();
    ui::DialogView* v = &view;
    auto job = [this, v, work = std::move(work)] {
        std::function<void()> done = work();
        v->post([this, v, done = std::move(done)] {
            busy_ = false;
            v->setBusyText("");
            if (closing_) {
                // Every started exchange has left configuration mode.
                v->endDialog(1);
                return;
            }
            done();
        });
    };
    if (start_) {
        start_(std::move(job));
        return;
    }
    try {
        worker_ = std::thread(std::move(job));
    } catch (const std::exception&) {
        job();  // no thread to be had: the work runs here
    }
}
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
        if (busy_) {
            // Ends once the started exchanges have left configuration mode.
            closing_ = true;
            stop_ = true;
            view.setBusyText(kFinishingLine);
            return;
        }
        view.endDialog(1);
        return;
    }
    if (busy_) return;
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
        if (s.empty()) return;
        const int code = id - IDC_MODE_GROUP;
        std::vector<AdapterRecord*> leftAlone;
        const BitsShown shown = ClickMode(s, code, &leftAlone);
        if (leftAlone.empty()) {
            ShowBitBoxes(view, shown);
            return;
        }
        // A mode an adapter's model lacks is never sent to it: say which
        // adapters kept their modes, and show the selection as it now is.
        std::string text = ModeNotSetText(code, s.adapters.front()->typeCode);
        for (const AdapterRecord* r : leftAlone) text += "\n" + DeviceLine(*r);
        view.messageBox(text, "Warning", ui::Icon::Warning);
        ShowModeAndBits(view, ShowSelection(s));
    } else if (IsBitBox(id)) {
        Selection s = selection(view);
        if (!s.empty()) ShowBitBoxes(view, ClickBits(s, CheckedBits(view)));
    }
}

void ModeDialog::onDestroy(ui::DialogView&) {
    stop_ = true;
    joinWorker();
    array_.clear();
}

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
    view.show(IDC_DEVICE_LIST, true);
    view.show(IDC_PORT_LIST_MT, true);
    for (int id : view.childIds())
        if (!IsBitBox(id)) view.enable(id, true);
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
    view.setBusyText("Searching...");
    EngineOptions o = engineOptions(view, false);
    ui::DialogView* v = &view;
    startWork(view, [this, v, o]() -> std::function<void()> {
        auto found = std::make_shared<SearchOutcome>(Engine(tool_, executor_).search(o));
        return [this, v, found] { searched(*v, std::move(*found)); };
    });
}

void ModeDialog::searched(ui::DialogView& view, SearchOutcome outcome) {
    // Failures are told in device-list order once every exchange has ended.
    for (const Failure& f : outcome.failures) showFailure(view, f);
    SearchResult& found = outcome.result;
    array_ = std::move(found.adapters);
    if (found.status == SearchStatus::Found) {
        for (AdapterRecord& r : array_) {
            int row = view.listAdd(IDC_DEVICE_LIST, DeviceLine(r));
            if (row != ui::kNoRow)
                view.listSetItemData(IDC_DEVICE_LIST, row, reinterpret_cast<intptr_t>(&r));
        }
        view.listSetSel(IDC_DEVICE_LIST, 0, true);
        deviceSelectionChanged(view);
        leaveBusy(view);
        return;
    }
    const bool failed = found.status != SearchStatus::NoneFound;
    if (failed && !tool_.d2xxAvailable && !libraryErrorShown_) {
        // Without the library no search can work: say why, once.
        libraryErrorShown_ = true;
        view.messageBox(d2xx::LibraryMissingText(tool_.d2xxLoadError), "Error", ui::Icon::Error);
    }
    // "Search Devices" stays usable, so a passing fault can be retried.
    view.enable(IDC_SEARCH, true);
    view.repaintNow();
    if (failed)
        view.messageBox(
            "EnumVarnokDevices failed (" + std::to_string(static_cast<int>(found.status)) + ")",
            "Error", ui::Icon::Error);
    else
        view.messageBox(kNoDeviceText, kNoDeviceCaption, ui::Icon::Warning);
}

void ModeDialog::commit(ui::DialogView& view) {
    enterBusy(view);
    view.setBusyText("Writing...");
    EngineOptions o = engineOptions(view, true);
    ui::DialogView* v = &view;
    // The records are not touched on the dialog's thread while the work runs:
    // every control that could change them is disabled.
    startWork(view, [this, v, o]() -> std::function<void()> {
        auto written = std::make_shared<CommitOutcome>(Engine(tool_, executor_).commit(array_, o));
        return [this, v, written] { committed(*v, *written); };
    });
}

void ModeDialog::committed(ui::DialogView& view, const CommitOutcome& written) {
    for (const Failure& f : written.failures) showFailure(view, f);
    leaveBusy(view);
    deviceSelectionChanged(view);
}

Selection ModeDialog::selection(ui::DialogView& view) {
    Selection s;
    for (int row : view.listSelectedRows(IDC_DEVICE_LIST)) {
        if (static_cast<int>(s.adapters.size()) == kMaxSelected) break;
        const intptr_t data = view.listItemData(IDC_DEVICE_LIST, row);
        const auto r = std::find_if(array_.begin(), array_.end(), [&](const AdapterRecord& a) {
            return reinterpret_cast<intptr_t>(&a) == data;
        });
        if (r != array_.end()) s.adapters.push_back(&*r);
    }
    if (s.adapters.size() == 1) {
        s.portRows = view.listSelectedRows(IDC_PORT_LIST_MT);
        if (static_cast<int>(s.portRows.size()) > kMaxSelected) s.portRows.resize(kMaxSelected);
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
