// A configurator over in-memory seams with a small port table, for the tests
// of the settings panel and the Baud Rate Mapping dialog.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "configurator/baud/ConfigDataRecord.h"
#include "resources/ConfiguratorIds.h"
#include "sim/FakeDialogView.h"
#include "tests/unit/PortOpsRig.h"

namespace varnok::test {

struct PanelFixture : ConfiguratorRig {
    // Adds a port record and its Device Parameters key holding `configData`.
    cfg::PortEntry& addPort(const std::string& portName, const std::string& serialNumber,
                            const cfg::ConfigBytes& configData) {
        cfg::PortEntry e;
        e.portName = portName;
        e.serialNumber = serialNumber;
        e.deviceId = 0x04036001;
        e.configData = configData;
        e.minReadTimeout = 100;
        e.minWriteTimeout = 200;
        e.pollingPeriod = 10;
        e.latencyTimer = 16;
        e.knownFields = cfg::kFieldConfigData;  // read from the key below
        registry.setBinary(cfg::DeviceParametersKeyPath(e), "ConfigData",
                           std::vector<uint8_t>(configData.begin(), configData.end()));
        app.table.entries.push_back(e);
        return app.table.entries.back();
    }

    cfg::PortEntry& port(std::size_t i) { return app.table.entries[i]; }

    // Fills the main dialog's port list with one row per record, the row's
    // item data naming its record, as the main dialog does at start-up.
    void listPorts(sim::FakeDialogView& view) {
        for (std::size_t i = 0; i < app.table.entries.size(); ++i) {
            int row = view.listAdd(IDC_PORT_LIST, port(i).portName);
            view.listSetItemData(IDC_PORT_LIST, row, static_cast<intptr_t>(i));
        }
    }

    // The ConfigData bytes the registry holds for record i.
    std::vector<uint8_t> storedConfigData(std::size_t i) {
        const sim::MemValue* v =
            registry.value(cfg::DeviceParametersKeyPath(port(i)), "ConfigData");
        return v == nullptr ? std::vector<uint8_t>() : v->data;
    }
};

// The standard table with distinctive option bytes and slot 14 content.
inline cfg::ConfigBytes SampleConfigData() {
    cfg::ConfigBytes d = cfg::kStandardDivisorTable;
    d[0] = 0x97;  // Serial Printer on, the unnamed bits 0x17 on
    d[1] = 0x05;  // buffered writes on, an unnamed bit on
    d[2] = 0xA5;
    d[3] = 0x5A;
    cfg::WriteSlotCode(d, 14, 0xC0FFEE11);
    return d;
}

inline std::vector<uint8_t> Bytes(const cfg::ConfigBytes& d) {
    return std::vector<uint8_t>(d.begin(), d.end());
}

}  // namespace varnok::test
