// A configurator wired to the in-memory seams (ConfiguratorRig), and one with
// an FTDI port in the table and the registry keys the per-port operations use
// (PortOpsRig).
#pragma once
#include <string>

#include "configurator/app/Configurator.h"
#include "configurator/app/DialogCommon.h"
#include "sim/FakeDialogView.h"
#include "sim/MemRegistry.h"
#include "sim/SimD2xx.h"
#include "sim/SimSerialPorts.h"
#include "sim/VirtualClock.h"

namespace varnok::test {

struct ConfiguratorRig {
    sim::MemRegistry registry;
    sim::SimD2xx d2xx;
    sim::VirtualClock clock;
    sim::SimSerialPorts serial{clock};
    cfg::Configurator app{registry, d2xx, serial, clock};
    // The sub-dialogs' run-wide state, as the main dialog keeps it.
    cfg::DialogRunState dialogs;
};

struct PortOpsRig : ConfiguratorRig {
    sim::FakeDialogView mainView;

    PortOpsRig() {
        cfg::PortEntry e;
        e.portName = "COM5";
        e.deviceId = 0x04036001;
        e.serialNumber = "FT12AB34A";
        e.knownFields = cfg::kFieldConfigData;  // as if read from the registry
        app.table.entries.push_back(e);
        app.table.selectedIndex = 0;
        registry.createKey(instanceKey());
        registry.createKey(parametersKey());
    }
    cfg::PortEntry& port() { return app.table.entries[0]; }
    std::string instanceKey() { return cfg::InstanceKeyPath(port()); }
    std::string parametersKey() { return cfg::DeviceParametersKeyPath(port()); }
};

}  // namespace varnok::test
