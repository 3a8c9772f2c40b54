// The configurator's one model: a record per FTDI device instance, the table
// of them, and the selection and mode values beside it.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace varnok::cfg {

// Which registry-mirrored fields hold a value that was read from the registry
// or set by the user. Writers put back only these, so a value that could not
// be read is never overwritten with the zeros of a fresh record. ConfigData
// counts as read only when it is exactly 64 bytes long.
enum PortField : uint32_t {
    kFieldConfigData = 1u << 0,
    kFieldMinReadTimeout = 1u << 1,
    kFieldMinWriteTimeout = 1u << 2,
    kFieldPollingPeriod = 1u << 3,
    kFieldLatencyTimer = 1u << 4,
    // UpperFilters: set when the value was read in one of the two forms this
    // program writes itself ("serenum" as the first string, or absent / all
    // NUL), or when the user changed the port's Serial Enumerator setting
    // (panel checkbox changed, preset, loaded file). Any other list (another
    // filter first, longer than 16 bytes, unreadable) stays unset, and the
    // writers then neither set nor delete the value.
    kFieldUpperFilters = 1u << 5,
    kFieldPortName = 1u << 6,
};

struct PortEntry {
    std::string description;                  // D2XX product description (at most 63 chars)
    std::array<uint8_t, 64> configData{};     // the driver's ConfigData block
    int32_t minReadTimeout = 0;
    int32_t minWriteTimeout = 0;
    int32_t pollingPeriod = 0;
    int32_t latencyTimer = 0;
    std::string portName;                     // "COMn"; row text and sort key
    std::array<uint8_t, 16> upperFilters{};   // "serenum" + NULs, or 16 NULs
    uint32_t deviceId = 0;                    // VID << 16 | PID; 0: no identity
    uint32_t locationId = 0;
    uint32_t writeBufferSize = 0;
    uint32_t writeBufferThreshold = 0;
    uint32_t writeLatency = 0;
    // The serial part of the registry instance key name, kept whole however
    // long it is, so that every instance key can be reached again.
    std::string serialNumber;
    // Working copy of the system's ComDB value, as long as it was read
    // (empty until the COM Port Assignment dialog has read it).
    std::vector<uint8_t> comDbBitmap;
    uint32_t flags = 0;
    uint32_t deviceType = 0;
    int32_t connected = 0;
    uint32_t knownFields = 0;  // PortField bits

    bool serialEnumeratorOn() const;
};

struct PortTable {
    std::vector<PortEntry> entries;
    int32_t selectedIndex = -1;
    int showDisconnected = 0;
    int openPortCount = 0;

    uint32_t count() const { return static_cast<uint32_t>(entries.size()); }
    PortEntry* selected() {
        if (selectedIndex < 0 || selectedIndex >= static_cast<int32_t>(entries.size())) return nullptr;
        return &entries[static_cast<std::size_t>(selectedIndex)];
    }
    void release() {
        entries.clear();
        entries.shrink_to_fit();
    }
};

// Orders by portName: a shorter name first; equal lengths byte by byte as
// unsigned characters. Negative, zero or positive.
int ComparePortNames(const PortEntry& a, const PortEntry& b);
// Stable sort of the table by ComparePortNames.
void SortByPortName(PortTable& table);

// "serenum" followed by nine NUL bytes, and 16 NUL bytes.
extern const std::array<uint8_t, 16> kSerenumOn;
extern const std::array<uint8_t, 16> kSerenumOff;

}  // namespace varnok::cfg
