#include "configurator/settings/IgnoreSerial.h"

#include <memory>
#include <vector>

#include "resources/ConfiguratorIds.h"

namespace varnok::cfg {

const std::array<const char*, 4> kIgnoreSerialValueNames = {
    "IgnoreHWSerNum04036001", "IgnoreHWSerNum04036010", "IgnoreHWSerNum04036011",
    "IgnoreHWSerNum04036015"};

namespace {
constexpr std::size_t kFlagQueryCapacity = 64;
}

void ReadIgnoreSerialFlag(Configurator& app, ui::DialogView& view) {
    std::unique_ptr<reg::RegistryKey> key;
    if (app.registry.openKey(kUsbFlagsKeyPath, reg::kKeyRead, &key) == reg::kSuccess) {
        bool on = false;
        for (const char* name : kIgnoreSerialValueNames) {
            uint32_t type = 0;
            std::vector<uint8_t> data;
            if (key->queryValue(name, kFlagQueryCapacity, &type, &data) == reg::kSuccess) {
                on = true;
                break;
            }
        }
        app.ignoreSerialRemembered = on;
    }
    view.setCheckState(IDC_IGNORE_SERIAL,
                       app.ignoreSerialRemembered ? ui::kChecked : ui::kUnchecked);
}

void ApplyIgnoreSerialFlag(Configurator& app, ui::DialogView& view) {
    const bool on = view.checkState(IDC_IGNORE_SERIAL) == ui::kChecked;
    std::unique_ptr<reg::RegistryKey> key;
    if (app.registry.openKey(kUsbFlagsKeyPath, reg::kKeyAllAccess, &key) != reg::kSuccess) return;
    const uint8_t one = 0x01;
    for (const char* name : kIgnoreSerialValueNames) {
        if (on) {
            if (key->setValue(name, reg::kBinary, &one, 1) != reg::kSuccess) break;
        } else {
            key->deleteValue(name);  // a missing value is no error
        }
    }
}

}  // namespace varnok::cfg
