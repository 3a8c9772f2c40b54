// Loads arbitrary bytes as a configuration file: only exactly 84 bytes are
// taken, and what was taken saves back to the same bytes, but for the 16
// filter bytes (offset 67), which only say whether the Serial Enumerator is
// on and are saved in the program's own form of that state.
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
    constexpr std::size_t kFilters = 67, kFiltersSize = 16;
    const ConfigFileBytes again = EncodeConfigFile(e);
    if (std::memcmp(again.data(), data, kFilters) != 0 ||
        std::memcmp(again.data() + kFilters + kFiltersSize, data + kFilters + kFiltersSize,
                    kConfigFileSize - kFilters - kFiltersSize) != 0)
        std::abort();
    const bool serenum = std::memcmp(data + kFilters, "serenum", sizeof "serenum") == 0;
    const auto& form = serenum ? kSerenumOn : kSerenumOff;
    if (std::memcmp(again.data() + kFilters, form.data(), kFiltersSize) != 0) std::abort();
    if (e.minReadTimeout > 255 || e.pollingPeriod > 255 || e.portName != "COM3") std::abort();
    return 0;
}
