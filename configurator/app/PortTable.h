// The configurator's one model: a record per FTDI device instance, the table
// of them, and the selection and mode values beside it.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "configurator/baud/ConfigDataRecord.h"

namespace varnok::cfg {

// Which registry-mirrored fields hold a value that was read from the registry
// or set by the user. Writers put back only these (PortEntry::writesBack), so
// a value that could not be read is never overwritten with the content of a
// fresh record. ConfigData counts as read only when it is exactly 64 bytes
// long; until it is read or changed by the user the record holds the
// standard image (PortEntry::configData).
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
    // The buffered-write values of Device Parameters (read while the
    // Buffered Writes dialog opens and by varnokctl).
    kFieldWriteBufferSize = 1u << 7,
    kFieldWriteBufferThreshold = 1u << 8,
    kFieldWriteLatency = 1u << 9,
};
constexpr uint32_t kPortSettingFields = kFieldConfigData | kFieldMinReadTimeout |
                                        kFieldMinWriteTimeout | kFieldPollingPeriod |
                                        kFieldLatencyTimer | kFieldUpperFilters | kFieldPortName;
constexpr uint32_t kBufferedWriteFields =
    kFieldWriteBufferSize | kFieldWriteBufferThreshold | kFieldWriteLatency;


// What a user's change of part of ConfigData did to the record.
enum class ConfigDataChange {
    None,          // the bytes are the same: nothing to write
    Changed,       // taken; written back with the record
    FromStandard,  // taken, and the stored value had not been read: the
                   // record now starts from the standard image (tell the user)
};

struct PortEntry {
    std::string description;                  // D2XX product description (at most 63 chars)
    // The driver's ConfigData block. A record starts with the standard
    // 64-byte image (option bytes 0 to 3 zero, the standard divisor table),
    // which stays in force while the stored value cannot be read: the panel
    // and the Baud Rate Mapping dialog show it, and a partial change by the
    // user is made on top of it, never on top of zeros.
    ConfigBytes configData = kStandardDivisorTable;
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
    bool connected = false;  // attached now (the last D2XX pass found it)
    uint32_t knownFields = 0;  // PortField bits
    // The values as the registry last held them (read, or written by this
    // run), with the fields read in its knownFields; null until read. The
    // change planners compare against it, so only what differs is written.
    std::shared_ptr<const PortEntry> asRead;

    bool serialEnumeratorOn() const;

    // The write rule: a value goes back to the registry only when it was
    // read from it or set by the user.
    bool writesBack(PortField field) const { return (knownFields & field) != 0; }
    // Takes `next` as the user's change of part of ConfigData (an option bit,
    // the buffered-writes bit, aliases). Bytes equal to those held change
    // nothing, so a value that was not read stays unwritten.
    ConfigDataChange changeConfigData(const ConfigBytes& next);
};

struct PortTable {
    std::vector<PortEntry> entries;
    int32_t selectedIndex = -1;
    bool showDisconnected = false;  // every installed device, not only the attached
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

// Takes `fields` of `entry` as what the registry holds now (each field's
// knownFields bit too: a field not known in `entry` counts as not read).
void RememberAsRead(PortEntry& entry, uint32_t fields);

// Orders by portName: a shorter name first; equal lengths byte by byte as
// unsigned characters. Negative, zero or positive.
int ComparePortNames(const PortEntry& a, const PortEntry& b);
// Stable sort of the table by ComparePortNames.
void SortByPortName(PortTable& table);

// "serenum" followed by nine NUL bytes, and 16 NUL bytes.
extern const std::array<uint8_t, 16> kSerenumOn;
extern const std::array<uint8_t, 16> kSerenumOff;

}  // namespace varnok::cfg
