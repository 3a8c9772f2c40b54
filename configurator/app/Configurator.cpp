#include "configurator/app/Configurator.h"

#include <cstdio>

namespace varnok::cfg {

const char* const kEnumeratorKeyPath = "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS";
const char* const kComNameArbiterKeyPath = "SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter";
const char* const kUsbFlagsKeyPath = "SYSTEM\\CurrentControlSet\\Control\\UsbFlags";

std::string InstanceKeyPath(const PortEntry& entry) {
    char ids[32];
    std::snprintf(ids, sizeof ids, "VID_%04x+PID_%04x+", static_cast<unsigned>(entry.deviceId >> 16),
                  static_cast<unsigned>(entry.deviceId & 0xFFFF));
    return std::string(kEnumeratorKeyPath) + "\\" + ids + entry.serialNumber + "\\0000";
}

std::string DeviceParametersKeyPath(const PortEntry& entry) {
    return InstanceKeyPath(entry) + "\\Device Parameters";
}

}  // namespace varnok::cfg
