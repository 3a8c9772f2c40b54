#include "configurator/app/Configurator.h"

#include <cstdio>

namespace varnok::cfg {

const char* const kEnumeratorKeyPath = "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS";
const char* const kComNameArbiterKeyPath = "SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter";
const char* const kUsbFlagsKeyPath = "SYSTEM\\CurrentControlSet\\Control\\UsbFlags";

ui::Answer PlacedMessage(Configurator& app, const std::string& text, const std::string& caption,
                         ui::Icon icon, ui::Buttons buttons) {
    if (app.mainView == nullptr) return ui::Answer::Cancel;
    return app.mainView->messageBox(text, caption, icon, buttons);
}

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
