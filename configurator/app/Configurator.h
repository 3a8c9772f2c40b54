// The configurator's model for one run: the seams it works through, the port
// table, and the state that lives for the whole run. Operations of every
// subsystem take it as their first argument; none of them shows anything
// (front ends own every view, see MainDialog).
#pragma once
#include <string>
#include <vector>

#include "common/d2xx/D2xx.h"
#include "common/platform/Clock.h"
#include "common/platform/Registry.h"
#include "common/platform/SerialPort.h"
#include "configurator/app/PortTable.h"

namespace varnok::cfg {

namespace backup {
class BackupJournal;
}

struct Configurator {
    Configurator(reg::Registry& r, d2xx::D2xx& d, serial::SerialPorts& s, Clock& c)
        : registry(r), d2xx(d), serial(s), clock(c) {}

    reg::Registry& registry;
    d2xx::D2xx& d2xx;
    serial::SerialPorts& serial;
    Clock& clock;

    // False when ftd2xx.dll could not be loaded: every D2XX call then fails.
    bool d2xxAvailable = true;
    std::string d2xxLoadError;

    PortTable table;
    // Discovery: the devices that the last D2XX pass found, each by the
    // serial part of its registry instance key (the library's serial where
    // no key matched). A table rebuilt from the registry marks exactly these
    // as attached, whatever the table held before.
    std::vector<std::string> attachedSerials;
    // True while the table holds the records of a D2XX pass in library
    // order (record k is attachedSerials[k]).
    bool tableFromLibrary = false;
    // Last state of the ignore-serial-number flag read from the registry.
    bool ignoreSerialRemembered = false;
    // Backup of the values this run changes, taken before each registry
    // write; none when null.
    backup::BackupJournal* backup = nullptr;
};

// Registry key paths shared by every subsystem.
extern const char* const kEnumeratorKeyPath;      // SYSTEM\CurrentControlSet\Enum\FTDIBUS
extern const char* const kComNameArbiterKeyPath;  // ...\Control\COM Name Arbiter
extern const char* const kUsbFlagsKeyPath;        // ...\Control\UsbFlags
// "SYSTEM\CurrentControlSet\Enum\FTDIBUS\VID_%04x+PID_%04x+%s\0000"
std::string InstanceKeyPath(const PortEntry& entry);
// InstanceKeyPath + "\Device Parameters"
std::string DeviceParametersKeyPath(const PortEntry& entry);

}  // namespace varnok::cfg
