// Loads arbitrary bytes as a configuration file: only exactly 84 bytes are
// taken, and what was taken saves back to the same bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "configurator/settings/ConfigFiles.h"

using namespace varnok::cfg;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PortEntry e;
    e.portName = "COM3";
    e.minReadTimeout = 1000;
    const bool taken = DecodeConfigFile(data, size, e);
    if (taken != (size == kConfigFileSize)) std::abort();
    if (!taken) {
        if (e.minReadTimeout != 1000 || e.knownFields != 0) std::abort();
        return 0;
    }
    const ConfigFileBytes again = EncodeConfigFile(e);
    if (std::memcmp(again.data(), data, kConfigFileSize) != 0) std::abort();
    if (e.minReadTimeout > 255 || e.pollingPeriod > 255 || e.portName != "COM3") std::abort();
    return 0;
}
