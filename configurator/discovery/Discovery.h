// Finding FTDI devices and their registry instance keys, and rebuilding the
// port table from them. Front ends list the table and show the problems.
#pragma once
#include "common/platform/Registry.h"
#include "configurator/app/Configurator.h"
#include "configurator/app/Problems.h"

namespace varnok::cfg {

// Texts of discovery's problems.
extern const char* const kMsgDriverNotInstalled;  // "Device or FTDI driver is not installed"
extern const char* const kMsgAllocationFailed;    // " Memory allocation not possible"
// Told (caption "WARNING", warning icon) when NoActiveDevices holds.
extern const char* const kMsgNoActiveDevices;     // "No active FTDI devices found"

// Name buffer for enumerating instance keys, NUL included.
constexpr std::size_t kSubKeyNameCapacity = 255;
// PortName buffer of the key matching: names of up to six characters.
constexpr std::size_t kMatchPortNameCapacity = 7;

// Rebuilds the table from the D2XX library; recomputes openPortCount. When
// the library reports no device (or its list call fails) the table becomes
// empty. False when the enumerator key does not open or the table cannot be
// made (with its problem).
bool EnumerateD2xxDevices(Configurator& app, Problems& problems);
// Gives each D2XX record the serial part of its registry instance key,
// matched through the COM port name. enumeratorKey is open for reading.
// Each subkey's values are read at most once per call. False when the key
// has no subkeys.
bool MatchInstanceKeys(Configurator& app, reg::RegistryKey& enumeratorKey);
// Rebuilds the table with one record per registry instance key; a record is
// attached when the last D2XX pass found its device. False when there is no
// key or the table cannot be made (with its problem).
bool BuildTableFromRegistry(Configurator& app, reg::RegistryKey& enumeratorKey,
                            Problems& problems);
// True when the user is to be told "No active FTDI devices found": the
// table is empty and only attached devices are shown.
bool NoActiveDevices(const PortTable& table);
// The attached devices' table: EnumerateD2xxDevices, then, when it succeeded
// and the enumerator key opens, MatchInstanceKeys and (when that succeeded)
// ReadPortSettings. Returns the enumeration's result.
bool RebuildFromLibrary(Configurator& app, Problems& problems);

// What a rebuild for the port list came to.
enum class ListRebuild {
    Listed,     // the table may be listed
    NotBuilt,   // no table: the panel stays disabled
    NoKey,      // showing every device, and the enumerator key did not open
};
// The table the port list shows: the attached devices, or with
// showDisconnected every installed device (matched and read). The selection
// is cleared.
ListRebuild RebuildForList(Configurator& app, Problems& problems);
// Whether the port list shows record `entry` after a rebuild for the list:
// its name begins with "C".
bool ListedAfterRefresh(const PortEntry& entry);

}  // namespace varnok::cfg
