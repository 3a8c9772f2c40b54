// Finding FTDI devices and their registry instance keys, and rebuilding the
// port table and the port list from them.
#pragma once
#include "common/platform/DialogView.h"
#include "common/platform/Registry.h"
#include "configurator/app/Configurator.h"

namespace varnok::cfg {

// Texts of discovery's messages.
extern const char* const kMsgDriverNotInstalled;  // "Device or FTDI driver is not installed"
extern const char* const kMsgAllocationFailed;    // " Memory allocation not possible"
extern const char* const kMsgNoActiveDevices;     // "No active FTDI devices found"

// Name buffer for enumerating instance keys, NUL included.
constexpr std::size_t kSubKeyNameCapacity = 255;
// PortName buffer of the key matching: names of up to six characters.
constexpr std::size_t kMatchPortNameCapacity = 7;

// Rebuilds the table from the D2XX library; recomputes openPortCount. When
// the library reports no device (or its list call fails) the table becomes
// empty and, in normal mode, "No active FTDI devices found" is shown.
int EnumerateD2xxDevices(Configurator& app);
// Gives each D2XX record the serial part of its registry instance key,
// matched through the COM port name. enumeratorKey is open for reading.
// Each subkey's values are read at most once per call.
int MatchInstanceKeys(Configurator& app, reg::RegistryKey& enumeratorKey);
// Rebuilds the table with one record per registry instance key; a record is
// attached (connected 1) when the last D2XX pass found its device.
int BuildTableFromRegistry(Configurator& app, reg::RegistryKey& enumeratorKey);
// Warns "No active FTDI devices found" when the table is empty in normal mode.
int ReportNoDevices(Configurator& app);
// The attached devices' table: EnumerateD2xxDevices, then, when it succeeded
// and the enumerator key opens, MatchInstanceKeys and (when that succeeded)
// ReadPortSettings. Returns the enumeration's result.
int RebuildFromLibrary(Configurator& app);
// Clears the panel, rebuilds the table by mode and refills the port list.
int RefreshPortList(Configurator& app, ui::DialogView& view);
// Adds a port-list row for every record (start-up) or for every record whose
// portName begins with "C" (list refresh); the row's item data is the
// record's index.
void AddPortRows(Configurator& app, ui::DialogView& view, bool comNamesOnly);

}  // namespace varnok::cfg
