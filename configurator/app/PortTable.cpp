#include "configurator/app/PortTable.h"

#include <algorithm>
#include <cstring>

namespace varnok::cfg {

const std::array<uint8_t, 16> kSerenumOn = {'s', 'e', 'r', 'e', 'n', 'u', 'm', 0,
                                            0,   0,   0,   0,   0,   0,   0,   0};
const std::array<uint8_t, 16> kSerenumOff = {};

bool PortEntry::serialEnumeratorOn() const {
    // The field read as a NUL-terminated string equals "serenum".
    const char* want = "serenum";
    for (std::size_t i = 0; i < upperFilters.size(); ++i) {
        if (upperFilters[i] != static_cast<uint8_t>(want[i])) return false;
        if (want[i] == '\0') return true;
    }
    return false;
}

ConfigDataChange PortEntry::changeConfigData(const ConfigBytes& next) {
    if (next == configData) return ConfigDataChange::None;
    configData = next;
    const bool wasRead = writesBack(kFieldConfigData);
    knownFields |= kFieldConfigData;
    return wasRead ? ConfigDataChange::Changed : ConfigDataChange::FromStandard;
}

int ComparePortNames(const PortEntry& a, const PortEntry& b) {
    if (a.portName.size() != b.portName.size())
        return a.portName.size() < b.portName.size() ? -1 : 1;
    for (std::size_t i = 0; i < a.portName.size(); ++i) {
        auto x = static_cast<unsigned char>(a.portName[i]);
        auto y = static_cast<unsigned char>(b.portName[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

void SortByPortName(PortTable& table) {
    std::stable_sort(table.entries.begin(), table.entries.end(),
                     [](const PortEntry& a, const PortEntry& b) { return ComparePortNames(a, b) < 0; });
}

}  // namespace varnok::cfg
