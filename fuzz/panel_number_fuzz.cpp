// Fuzz target: the settings panel's number boxes and the Baud Rate Mapping
// dialog's desired-rate field, both fed with arbitrary text through the same
// paths the dialogs use.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "configurator/app/Configurator.h"
#include "configurator/baud/BaudRateMappingDialog.h"
#include "configurator/baud/ConfigDataRecord.h"
#include "configurator/baud/DivisorMath.h"
#include "configurator/app/MainDialogPanel.h"
#include "configurator/settings/Panel.h"
#include "resources/ConfiguratorIds.h"
#include "sim/FakeDialogView.h"
#include "sim/MemRegistry.h"
#include "sim/SimD2xx.h"
#include "sim/VirtualClock.h"

using namespace varnok;
using namespace varnok::cfg;

namespace {

class NoSerialPorts : public serial::SerialPorts {
public:
    std::unique_ptr<serial::SerialPort> open(const std::string&) override { return nullptr; }
    bool exists(const std::string&) override { return false; }
    uint32_t lastError() override { return 0; }
    void setLastError(uint32_t) override {}
};

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

void FuzzPanel(Configurator& app, const std::string& text) {
    static const int kBoxes[] = {IDC_MIN_READ_TIMEOUT, IDC_MIN_WRITE_TIMEOUT, IDC_POLLING_PERIOD,
                                 IDC_LATENCY};
    PortEntry& e = app.table.entries[0];
    e.minReadTimeout = 7;
    e.minWriteTimeout = 7;
    e.pollingPeriod = 7;
    e.latencyTimer = 7;
    sim::FakeDialogView view;
    for (int id : kBoxes) view.control(id).text = text;
    StorePortSettings(app, view);

    const auto parsed = ParsePanelNumber(text);
    Check(parsed.has_value() == (text.size() <= 5), "length rule");
    const int32_t fields[] = {e.minReadTimeout, e.minWriteTimeout, e.pollingPeriod,
                              e.latencyTimer};
    for (int i = 0; i < 4; ++i) {
        const bool accepted = parsed && PanelValueInRange(kBoxes[i], *parsed);
        if (accepted) {
            Check(fields[i] == static_cast<int32_t>(*parsed), "accepted value stored");
            Check(view.text(kBoxes[i]) == text, "accepted box left as typed");
        } else {
            Check(fields[i] == 7, "rejected value leaves the field");
            Check(view.text(kBoxes[i]) == "7", "rejected box refilled");
        }
        Check(fields[i] >= 0 && fields[i] <= 10000, "field within the widest range");
    }
}

void FuzzDesiredRate(Configurator& app, const std::string& text) {
    const double desired = ParseDesiredRate(text);
    const auto divisor = FindClosestDivisor(desired);
    if (divisor) {
        Check(*divisor >= 1.0 && *divisor <= kMaxEffectiveDivisor, "divisor fits the code");
        Check(DecodeDivisor(EncodeDivisor(*divisor)) == *divisor, "divisor survives storing");
        Check(!FormatClosestRate(*divisor).empty(), "closest rate shown");
        Check(!FormatDivisorError(desired, *divisor).empty(), "error shown");
    }

    // The same text through the dialog: Generate, Add to row "921600", Apply.
    PortEntry& e = app.table.entries[0];
    e.configData = kStandardDivisorTable;
    e.configData[0] = 0x5A;
    WriteSlotCode(e.configData, 14, 0x12345678);
    DialogRunState run;
    const double pendingBefore = run.pendingDivisor;
    sim::FakeDialogView view;
    BaudRateMappingDialog dialog(app, run);
    view.attach(dialog);
    view.init();
    view.type(IDC_BAUD_DESIRED, text);
    view.click(IDC_BAUD_GENERATE);
    if (divisor) {
        Check(view.boxes.empty() && run.pendingDivisor == *divisor, "valid rate taken");
    } else {
        Check(view.boxes.size() == 1 && view.text(IDC_BAUD_DESIRED).empty(), "invalid rate warned");
        Check(run.pendingDivisor == pendingBefore, "pending divisor kept");
    }
    view.selectRows(IDC_BAUD_LIST, {12});
    view.click(IDC_BAUD_ADD);
    view.click(IDC_BAUD_APPLY);
    Check(e.configData[0] == 0x5A && ReadSlotCode(e.configData, 14) == 0x12345678,
          "option bytes and slot 14 untouched");
    if (run.pendingDivisor != 0.0)
        Check(DecodeDivisor(ReadSlotCode(e.configData, 13)) == run.pendingDivisor,
              "slot 13 holds the pending divisor");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static sim::MemRegistry registry;
    static sim::SimD2xx d2xx;
    static NoSerialPorts serial;
    static sim::VirtualClock clock;
    static Configurator app = [] {
        registry.logging = false;  // a long run must not grow the call log
        Configurator a(registry, d2xx, serial, clock);
        PortEntry e;
        e.portName = "COM3";
        e.serialNumber = "FZ1";
        e.deviceId = 0x04036001;
        registry.createKey(DeviceParametersKeyPath(e));
        a.table.entries.push_back(e);
        a.table.selectedIndex = 0;
        return a;
    }();

    const std::string text(reinterpret_cast<const char*>(data), size);
    FuzzPanel(app, text);
    FuzzDesiredRate(app, text);
    return 0;
}
