// The global "Ignore Hardware Serial Number" flag (UsbFlags values).
#pragma once
#include <array>

#include "configurator/app/Configurator.h"

namespace varnok::cfg {

// The four flags for vendor 0403 and products 6001, 6010, 6011, 6015, in the
// order they are read, set and deleted.
extern const std::array<const char*, 4> kIgnoreSerialValueNames;
constexpr std::size_t kFlagQueryCapacity = 64;  // the most a flag value reads in

// Reads the flag (any readable value of at most 64 bytes counts as on) into
// the remembered state and returns the remembered state (kept as it was when
// the key does not open).
bool ReadIgnoreSerialFlag(Configurator& app);
// Setting it is a change set: PlanIgnoreSerial (changes/ChangePlanners.h).

}  // namespace varnok::cfg
