// The driver's per-port values in the registry, read into and written from
// every record of the port table. The write rule lives here: a value goes
// back only when it was read or set by the user (PortEntry::writesBack).
#pragma once
#include <cstddef>
#include <string>

#include "common/platform/Outcome.h"
#include "common/platform/Registry.h"
#include "configurator/app/Configurator.h"
#include "configurator/app/Problems.h"

namespace varnok::cfg {

// Value names, spelled as the driver spells them.
extern const char* const kValueConfigData;
extern const char* const kValuePortName;
extern const char* const kValueMinReadTimeout;
extern const char* const kValueMinWriteTimeout;
extern const char* const kValuePollingPeriod;
extern const char* const kValueLatencyTimer;
extern const char* const kValueUpperFilters;
extern const char* const kValueConfigFlags;

// Problems of ReadPortSettings, one per value that could not be read.
extern const char* const kMsgConfigNotFound;        // "Config not found"
extern const char* const kMsgPortNameNotFound;      // "Port Name not found"
extern const char* const kMsgMinReadNotFound;       // "MinReadTime not found"
extern const char* const kMsgMinWriteNotFound;      // "MinWriteTime not found"
extern const char* const kMsgPollingNotFound;       // "PollingPEriod not found"
extern const char* const kMsgLatencyNotFound;       // "No Latency found"

// Told once when a change by the user makes a port whose ConfigData could not
// be read start from the standard image (a warning captioned "Warning").
std::string ConfigDataFromStandardText(const PortEntry& entry);

constexpr std::size_t kConfigDataSize = 64;
constexpr std::size_t kPortNameCapacity = 16;

// Reads every record's values (records with deviceId 0 are skipped), marks
// each value read in knownFields, and sorts the table by port name. A value
// that cannot be read adds its problem. False, unsorted, when a device
// parameters key does not open.
bool ReadPortSettings(Configurator& app, Problems& problems);
// Writes back every record's values that are in its knownFields. False at
// the first key that does not open or value that cannot be set.
bool WritePortSettings(Configurator& app);

// The one writer of ConfigData: the record's 64 bytes into its open Device
// Parameters key, when they were read or set by the user (otherwise nothing
// is written and the result is kSuccess).
reg::Status PutConfigData(reg::RegistryKey& parameters, const PortEntry& entry);
// The same, opening the record's key with full access. Fails for a record
// without a device identity, or whose ConfigData was neither read nor set.
Outcome WriteConfigData(Configurator& app, const PortEntry& entry);

}  // namespace varnok::cfg
