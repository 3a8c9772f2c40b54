// Reads an arbitrary ComDB value through the COM Port Assignment dialog: the
// free list, the number field, a rename to a chosen free number and the map
// written back. Input: byte 0 picks the number typed, byte 1 the port's
// current number, the rest is the ComDB value.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "configurator/comnames/ComDb.h"
#include "configurator/comnames/ComPortAssignmentDialog.h"
#include "resources/ConfiguratorIds.h"
#include "sim/FakeDialogView.h"
#include "sim/MemRegistry.h"
#include "sim/SimD2xx.h"
#include "sim/SimSerialPorts.h"
#include "sim/VirtualClock.h"

using namespace varnok;

namespace {

// The configurator with one port, built once. An input changes the
// registry (the map, and what a rename writes) and the port's record; the
// registry's keys and the model's run state start afresh for every input.
struct Rig {
    sim::MemRegistry registry;
    sim::SimD2xx d2xx;
    sim::VirtualClock clock;
    sim::SimSerialPorts serial{clock};
    cfg::Configurator app{registry, d2xx, serial, clock};

    Rig() { registry.logging = false; }  // a long run must not grow the call log

    void reset(int current, std::vector<uint8_t> value) {
        registry.removeKey("SYSTEM");  // every key the dialog reads or writes
        if (registry.node("SYSTEM") != nullptr || registry.openKeys != 0) std::abort();
        registry.setBinary(cfg::kComNameArbiterKeyPath, cfg::kComDbValueName, std::move(value));
        // The table holds this one port, selected (its vector keeps its room).
        app.table.entries.resize(1);
        cfg::PortEntry& e = app.table.entries[0];
        e = cfg::PortEntry{};
        e.portName = "COM" + std::to_string(current);
        e.deviceId = 0x04036001;
        e.serialNumber = "FUZZ0A";
        app.table.selectedIndex = 0;
        app.table.showDisconnected = false;
        app.table.openPortCount = 0;
        app.attachedSerials.clear();
        app.tableFromLibrary = false;
        app.ignoreSerialRemembered = false;
    }
};

// The view is kept between inputs too: only what the dialog reads or fills
// is cleared, so the lists keep their room.
void ResetView(sim::FakeDialogView& view) {
    for (auto& [id, control] : view.controls) {
        control.text.clear();
        control.rows.clear();
        control.curSel = -1;
    }
    view.boxes.clear();
    view.answers.clear();
    view.ended = false;
    view.endResult = 0;
}

// Every listed name is "COM<k>" for a free k, in rising order: compared by
// hand, without making a string per number.
bool ListedNamesAreFree(const std::vector<std::string>& names, const std::vector<uint8_t>& value) {
    int last = 0;
    for (const auto& n : names) {
        if (n.size() < 4 || n.size() > 6 || n.compare(0, 3, "COM") != 0 || n[3] == '0') return false;
        int k = 0;
        for (std::size_t i = 3; i < n.size(); ++i) {
            if (n[i] < '0' || n[i] > '9') return false;
            k = k * 10 + (n[i] - '0');
        }
        if (k <= last || k > 256 || cfg::IsComNumberReserved(value, k)) return false;
        last = k;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int typed = data[0] + 1;    // 1..256
    const int current = data[1] + 1;  // 1..256
    std::vector<uint8_t> value(data + 2, data + size);

    static Rig rig;
    rig.reset(current, value);
    sim::MemRegistry& registry = rig.registry;
    cfg::Configurator& app = rig.app;
    cfg::DialogRunState run;
    run.comNumberChangeCounter = 2;

    static sim::FakeDialogView view;
    ResetView(view);
    cfg::ComPortAssignmentDialog dialog(app, run);
    view.attach(dialog);
    view.init();

    const auto& names = dialog.freeNames();
    if (!ListedNamesAreFree(names, value)) std::abort();
    const std::string typedText = std::to_string(typed);
    view.type(IDC_CA_NUMBER, typedText);
    dialog.onUpDownDelta(view, IDC_CA_UPDOWN, typed, (data[0] & 1) ? 1 : -1);
    view.type(IDC_CA_NUMBER, typedText);
    view.answers = {ui::Answer::Ok};
    view.click(ui::kIdOk);

    // The map written back keeps its length (at least 32 bytes) and every
    // byte above COM256.
    const auto* stored = registry.value(cfg::kComNameArbiterKeyPath, cfg::kComDbValueName);
    if (stored == nullptr) std::abort();
    const std::size_t expectedSize = value.size() < 32 ? 32 : value.size();
    if (view.ended && !names.empty() && view.listCurSel(IDC_CA_FREE_LIST) >= 0) {
        if (stored->data.size() != expectedSize) std::abort();
        if (!cfg::IsComNumberReserved(stored->data, typed)) std::abort();
    }
    for (std::size_t i = 32; i < value.size(); ++i)
        if (stored->data.size() <= i || stored->data[i] != value[i]) std::abort();
    if (registry.openKeys != 0) std::abort();
    return 0;
}
