#include "configurator/app/PortTable.h"

#include <algorithm>
#include <cstring>

namespace varnok::cfg {

const std::array<uint8_t, 16> kSerenumOn = {'s', 'e', 'r', 'e', 'n', 'u', 'm', 0,
                                            0,   0,   0,   0,   0,   0,   0,   0};
const std::array<uint8_t, 16> kSerenumOff = {};

bool PortEntry::serialEnumeratorOn() const {
    // The field read as a NUL-terminated string equals "serenum".
    return std::memcmp(upperFilters.data(), "serenum", sizeof "serenum") == 0;
}

ConfigDataChange PortEntry::changeConfigData(const ConfigBytes& next) {
    if (next == configData) return ConfigDataChange::None;
    configData = next;
    const bool wasRead = writesBack(kFieldConfigData);
    knownFields |= kFieldConfigData;
    return wasRead ? ConfigDataChange::Changed : ConfigDataChange::FromStandard;
}

void RememberAsRead(PortEntry& e, uint32_t fields) {
    auto read = std::make_shared<PortEntry>(e.asRead ? *e.asRead : PortEntry());
    read->asRead.reset();
    auto take = [&](PortField f, auto member) {
        if ((fields & f) == 0) return;
        (*read).*member = e.*member;
        read->knownFields = (read->knownFields & ~f) | (e.knownFields & f);
    };
    take(kFieldConfigData, &PortEntry::configData);
    take(kFieldMinReadTimeout, &PortEntry::minReadTimeout);
    take(kFieldMinWriteTimeout, &PortEntry::minWriteTimeout);
    take(kFieldPollingPeriod, &PortEntry::pollingPeriod);
    take(kFieldLatencyTimer, &PortEntry::latencyTimer);
    take(kFieldUpperFilters, &PortEntry::upperFilters);
    take(kFieldPortName, &PortEntry::portName);
    take(kFieldWriteBufferSize, &PortEntry::writeBufferSize);
    take(kFieldWriteBufferThreshold, &PortEntry::writeBufferThreshold);
    take(kFieldWriteLatency, &PortEntry::writeLatency);
    e.asRead = std::move(read);
}

int ComparePortNames(const PortEntry& a, const PortEntry& b) {
    if (a.portName.size() != b.portName.size())
        return a.portName.size() < b.portName.size() ? -1 : 1;
    // char_traits<char> compares as unsigned characters.
    const int c = a.portName.compare(b.portName);
    return (c > 0) - (c < 0);
}

void SortByPortName(PortTable& table) {
    std::stable_sort(table.entries.begin(), table.entries.end(),
                     [](const PortEntry& a, const PortEntry& b) { return ComparePortNames(a, b) < 0; });
}

}  // namespace varnok::cfg
