// Fuzz target: names of FTDIBUS instance keys, as the registry enumerates
// them (up to 254 characters). A name either splits into an identity whose
// key name gives the same name back, or has no identity at all.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "configurator/app/Configurator.h"
#include "configurator/discovery/InstanceKeyName.h"

namespace {

std::string Lower(std::string s) {
    for (auto& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace varnok::cfg;
    const std::string name(reinterpret_cast<const char*>(data), size);
    const InstanceKeyName split = SplitInstanceKeyName(name);
    if (!split.valid) {
        if (split.deviceId != 0 || !split.serial.empty()) std::abort();
        return 0;
    }
    // The key path made from the identity names exactly this key.
    PortEntry e;
    e.deviceId = split.deviceId;
    e.serialNumber = split.serial;
    const std::string prefix = std::string(kEnumeratorKeyPath) + "\\";
    const std::string path = InstanceKeyPath(e);
    if (Lower(path) != Lower(prefix + name + "\\0000")) std::abort();
    if (split.serial.find('\\') != std::string::npos) std::abort();
    return 0;
}
