// The driver's per-port values in the registry, read into and written from
// every record of the port table.
#pragma once
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

// Told once when a change by the user makes a port whose ConfigData could not
// be read start from the standard image (a warning captioned "Warning").
std::string ConfigDataFromStandardText(const PortEntry& entry);

// Reads every record's values (records with deviceId 0 are skipped), marks
// each value read in knownFields, and sorts the table by port name. A value
// that cannot be read adds its problem. False when a device parameters key
// does not open; that record stays unread and reading goes on.
bool ReadPortSettings(Configurator& app, Problems& problems);
// Nothing here writes: changes are planned (changes/ChangePlanners.h) and
// applied as one change set (changes/ChangeSet.h).

}  // namespace varnok::cfg
