// Test data for everything that reads the FTDI driver's keys: an in-memory
// registry and a simulated D2XX library seeded together with FTDI devices,
// and a configurator wired to them and to a fake main dialog view.
//
//   FtdiFixture f;
//   f.singlePort("A1B2C3D4", 5, 0x21);   // 0x04036001, key serial A1B2C3D4A, COM5
//   f.dualPort("FT4XQ1", 10, 11, 0x31, 0x32);
//   f.unplugged(0x04036001, "OLD00001A", 7);
#pragma once
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "configurator/app/Configurator.h"
#include "configurator/app/MainDialog.h"
#include "resources/ConfiguratorIds.h"
#include "sim/FakeDialogView.h"
#include "sim/MemRegistry.h"
#include "sim/SimD2xx.h"
#include "sim/SimSerialPorts.h"
#include "sim/VirtualClock.h"

namespace varnok::test {

// The values an installed port's keys hold.
struct DriverValues {
    int32_t minReadTimeout = 16;
    int32_t minWriteTimeout = 17;
    int32_t pollingPeriod = 18;
    int32_t latencyTimer = 16;
    bool serenum = true;
};

constexpr uint32_t kId232R = 0x04036001;
constexpr uint32_t kId2232 = 0x04036010;
constexpr uint32_t kId230X = 0x04036015;
constexpr uint32_t kId232H = 0x04036014;

// A record that names an installed key, as discovery leaves it.
inline cfg::PortEntry KeyRecord(uint32_t id, const std::string& serial) {
    cfg::PortEntry e;
    e.deviceId = id;
    e.serialNumber = serial;
    return e;
}

class FtdiFixture {
public:
    FtdiFixture() : app(registry, d2xx, serialPorts, clock) {
        registry.createKey(cfg::kEnumeratorKeyPath);
        registry.createKey(cfg::kComNameArbiterKeyPath);
    }

    static std::string KeyName(uint32_t id, const std::string& keySerial) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "VID_%04x+PID_%04x+", static_cast<unsigned>(id >> 16),
                      static_cast<unsigned>(id & 0xFFFF));
        return buf + keySerial;
    }
    static std::string InstancePath(uint32_t id, const std::string& keySerial) {
        return std::string(cfg::kEnumeratorKeyPath) + "\\" + KeyName(id, keySerial) + "\\0000";
    }
    static std::string ParamsPath(uint32_t id, const std::string& keySerial) {
        return InstancePath(id, keySerial) + "\\Device Parameters";
    }
    // A ConfigData block that differs per COM number and is never all zero.
    static std::vector<uint8_t> ConfigDataFor(int com) {
        std::vector<uint8_t> b(64);
        for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(com * 3 + i + 1);
        return b;
    }

    // An installed instance key with every driver value; com 0 leaves out
    // PortName.
    void install(uint32_t id, const std::string& keySerial, int com, uint32_t configFlags = 0,
                 const DriverValues& v = DriverValues()) {
        const std::string inst = InstancePath(id, keySerial);
        const std::string params = ParamsPath(id, keySerial);
        registry.setDword(inst, "ConfigFlags", configFlags);
        if (v.serenum)
            registry.setRaw(inst, "UpperFilters", reg::kMultiSz,
                            {'s', 'e', 'r', 'e', 'n', 'u', 'm', 0, 0});
        if (com > 0) registry.setString(params, "PortName", "COM" + std::to_string(com));
        registry.setBinary(params, "ConfigData", ConfigDataFor(com));
        registry.setDword(params, "MinReadTimeout", static_cast<uint32_t>(v.minReadTimeout));
        registry.setDword(params, "MinWriteTimeout", static_cast<uint32_t>(v.minWriteTimeout));
        registry.setDword(params, "PollingPeriod", static_cast<uint32_t>(v.pollingPeriod));
        registry.setDword(params, "LatencyTimer", static_cast<uint32_t>(v.latencyTimer));
    }

    // An attached device as the library reports it; com -1: no COM port.
    sim::SimDevice& attach(uint32_t id, const std::string& librarySerial, int com, uint32_t loc,
                           const std::string& description = "USB Serial Converter") {
        sim::SimDevice d;
        d.id = id;
        d.serial = librarySerial;
        d.comPort = com;
        d.locId = loc;
        d.description = description;
        d.flags = d2xx::kFlagHighSpeed;
        d2xx.devices.push_back(d);
        return d2xx.devices.back();
    }

    // Single-port FT232R: the library reports the chip serial, the key
    // carries the port letter.
    void singlePort(const std::string& chipSerial, int com, uint32_t loc,
                    uint32_t id = kId232R) {
        install(id, chipSerial.substr(0, 8) + "A", com);
        attach(id, chipSerial, com, loc);
    }
    // Dual-port FT2232: two interfaces, two keys, serials with A and B.
    void dualPort(const std::string& base, int comA, int comB, uint32_t locA, uint32_t locB) {
        install(kId2232, base + "A", comA);
        install(kId2232, base + "B", comB);
        attach(kId2232, base + "A", comA, locA, "Dual RS232 A");
        attach(kId2232, base + "B", comB, locB, "Dual RS232 B");
    }
    // Installed once, not attached now.
    void unplugged(uint32_t id, const std::string& keySerial, int com) {
        install(id, keySerial, com);
    }
    // The site the command-line tests share: COM5 and COM6 attached, COM7
    // installed and unplugged, the serial-number flags' key, and a ComDB
    // that reserves the three.
    void threePortSite() {
        singlePort("A1B2C3D4", 5, 0x21);
        singlePort("B1B2C3D4", 6, 0x22);
        unplugged(kId232R, "OLD00001A", 7);
        registry.createKey(cfg::kUsbFlagsKeyPath);
        std::vector<uint8_t> comDb(32, 0);
        comDb[0] = 0x70;  // COM5, COM6, COM7
        registry.setBinary(cfg::kComNameArbiterKeyPath, "ComDB", comDb);
    }
    // Held open by another program: flags exactly 1, the open fails.
    void heldOpen(uint32_t id, const std::string& keySerial, int com, uint32_t loc) {
        install(id, keySerial, com);
        sim::SimDevice& d = attach(id, keySerial, com, loc);
        d.flags = d2xx::kFlagOpened;
        d.openable = false;
    }
    // Attached, but the library knows no COM port for it (D2XX driver).
    void withoutComPort(uint32_t id, const std::string& librarySerial, uint32_t loc) {
        attach(id, librarySerial, -1, loc);
    }
    // A key left over from an earlier installation: ConfigFlags not 0.
    void staleKey(uint32_t id, const std::string& keySerial, int com) {
        install(id, keySerial, com, 0x400);
    }

    // The main dialog on the fake view, initialised like at start-up.
    cfg::MainDialog& startDialog() {
        dialog = std::make_unique<cfg::MainDialog>(app);
        view.declare(IDC_SHOW_DISCONNECTED, sim::FakeDialogView::Kind::AutoCheck);
        view.attach(*dialog);
        view.init();
        return *dialog;
    }

    std::vector<std::string> portNames() const {
        std::vector<std::string> out;
        for (const auto& e : app.table.entries) out.push_back(e.portName);
        return out;
    }
    std::vector<std::string> boxTexts() const {
        std::vector<std::string> out;
        for (const auto& b : view.boxes) out.push_back(b.text);
        return out;
    }
    // Texts and colours of the port list's rows, as the list draws them.
    std::vector<std::string> rowsWithColour() {
        std::vector<std::string> out;
        for (const auto& r : view.control(IDC_PORT_LIST).rows) {
            std::string text;
            ui::Colour colour;
            if (!dialog->rowAppearance(IDC_PORT_LIST, r.data, &text, &colour)) continue;
            out.push_back(text + (colour == cfg::kRowGreen ? " green"
                                  : colour == cfg::kRowRed ? " red"
                                                           : " black"));
        }
        return out;
    }

    sim::MemRegistry registry;
    sim::SimD2xx d2xx;
    sim::VirtualClock clock;
    sim::SimSerialPorts serialPorts{clock};
    cfg::Configurator app;
    sim::FakeDialogView view;
    std::unique_ptr<cfg::MainDialog> dialog;
};

}  // namespace varnok::test
