#include "configurator/settings/IgnoreSerial.h"

#include "common/platform/RegistryValues.h"

namespace varnok::cfg {

const std::array<const char*, 4> kIgnoreSerialValueNames = {
    "IgnoreHWSerNum04036001", "IgnoreHWSerNum04036010", "IgnoreHWSerNum04036011",
    "IgnoreHWSerNum04036015"};

namespace {
constexpr std::size_t kFlagQueryCapacity = 64;
}

bool ReadIgnoreSerialFlag(Configurator& app) {
    if (auto key = reg::OpenKey(app.registry, kUsbFlagsKeyPath, reg::Access::Read)) {
        bool on = false;
        for (const char* name : kIgnoreSerialValueNames) {
            if (reg::ValueReadable(*key, name, kFlagQueryCapacity)) {
                on = true;
                break;
            }
        }
        app.ignoreSerialRemembered = on;
    }
    return app.ignoreSerialRemembered;
}

}  // namespace varnok::cfg
