#include "configurator/settings/IgnoreSerial.h"

#include <algorithm>

#include "common/platform/RegistryValues.h"

namespace varnok::cfg {

const std::array<const char*, 4> kIgnoreSerialValueNames = {
    "IgnoreHWSerNum04036001", "IgnoreHWSerNum04036010", "IgnoreHWSerNum04036011",
    "IgnoreHWSerNum04036015"};

bool ReadIgnoreSerialFlag(Configurator& app) {
    if (auto key = reg::OpenKey(app.registry, kUsbFlagsKeyPath, reg::Access::Read)) {
        app.ignoreSerialRemembered =
            std::any_of(kIgnoreSerialValueNames.begin(), kIgnoreSerialValueNames.end(),
                        [&](const char* name) {
                            return reg::ValueReadable(*key, name, kFlagQueryCapacity);
                        });
    }
    return app.ignoreSerialRemembered;
}

}  // namespace varnok::cfg
