// A front end without a dialog: an in-memory FTDI installation with one
// attached port, listed and given a new latency timer through the model
// alone. Built with VARNOK_NO_DIALOG_SEAM, linked against the model library
// and the simulators; exits 0 when the registry holds the new value.
#include <cstdio>

#include "common/platform/RegistryValues.h"
#include "configurator/app/Configurator.h"
#include "configurator/discovery/Discovery.h"
#include "configurator/settings/Panel.h"
#include "configurator/changes/ChangePlanners.h"
#include "configurator/settings/RegistrySettings.h"
#include "sim/MemRegistry.h"
#include "sim/SimD2xx.h"
#include "sim/SimSerialPorts.h"
#include "sim/VirtualClock.h"

using namespace varnok;

int main() {
    sim::MemRegistry registry;
    sim::SimD2xx d2xx;
    sim::VirtualClock clock;
    sim::SimSerialPorts serialPorts{clock};

    // One FT232R on COM7: its instance key and the device the library lists.
    const std::string params = std::string(cfg::kEnumeratorKeyPath) +
                               "\\VID_0403+PID_6001+A1B2C3D4A\\0000\\Device Parameters";
    registry.createKey(cfg::kEnumeratorKeyPath);
    registry.setDword(std::string(cfg::kEnumeratorKeyPath) + "\\VID_0403+PID_6001+A1B2C3D4A\\0000",
                      "ConfigFlags", 0);
    registry.setString(params, "PortName", "COM7");
    registry.setBinary(params, "ConfigData", std::vector<uint8_t>(64, 1));
    for (const char* name : {"MinReadTimeout", "MinWriteTimeout", "PollingPeriod"})
        registry.setDword(params, name, 0);
    registry.setDword(params, "LatencyTimer", 16);
    sim::SimDevice device;
    device.id = 0x04036001;
    device.serial = "A1B2C3D4";
    device.comPort = 7;
    device.locId = 0x21;
    device.description = "USB Serial Converter";
    d2xx.devices.push_back(device);

    cfg::Configurator app(registry, d2xx, serialPorts, clock);
    cfg::Problems problems;
    if (!cfg::RebuildFromLibrary(app, problems) || app.table.count() != 1) {
        std::puts("model_demo: the port was not listed");
        return 1;
    }
    for (const cfg::Problem& p : problems) std::printf("problem: %s\n", p.text.c_str());
    for (const cfg::PortEntry& e : app.table.entries)
        std::printf("%s  %s  latency %d ms%s\n", e.portName.c_str(), e.serialNumber.c_str(),
                    e.latencyTimer, e.connected ? "  attached" : "");

    app.table.selectedIndex = 0;
    cfg::PortEntry& port = *app.table.selected();
    if (!cfg::TakePanelNumber(port, cfg::kPanelNumbers[3], "4") ||
        !cfg::ApplyChanges(app, cfg::PlanTableChanges(app.table)).allWritten()) {
        std::puts("model_demo: the latency timer was not written");
        return 1;
    }
    std::unique_ptr<reg::RegistryKey> key = reg::OpenKey(registry, params, reg::Access::Read);
    const reg::DwordRead stored = reg::ReadDword(*key, "LatencyTimer");
    std::printf("%s latency timer now %u ms\n", port.portName.c_str(), stored.value);
    const bool ok = problems.empty() && stored.ok() && stored.value == 4 &&
                    port.portName == "COM7" && registry.value(params, "ConfigData")->data ==
                                                   std::vector<uint8_t>(64, 1);
    std::puts(ok ? "model_demo: ok" : "model_demo: FAILED");
    return ok ? 0 : 1;
}
