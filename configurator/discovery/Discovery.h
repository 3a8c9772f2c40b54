// Finding FTDI devices and their registry instance keys, and rebuilding the
// port table and the port list from them.
#pragma once
#include "common/platform/DialogView.h"
#include "common/platform/Registry.h"
#include "configurator/app/Configurator.h"

namespace varnok::cfg {

// Rebuilds the table from the D2XX library; recomputes openPortCount.
int EnumerateD2xxDevices(Configurator& app);
// Gives each D2XX record the serial part of its registry instance key,
// matched through the COM port name. enumeratorKey is open for reading.
int MatchInstanceKeys(Configurator& app, reg::RegistryKey& enumeratorKey);
// Rebuilds the table with one record per registry instance key.
int BuildTableFromRegistry(Configurator& app, reg::RegistryKey& enumeratorKey);
// Warns "No active FTDI devices found" when the table is empty in normal mode.
int ReportNoDevices(Configurator& app);
// Clears the panel, rebuilds the table by mode and refills the port list.
int RefreshPortList(Configurator& app, ui::DialogView& view);

}  // namespace varnok::cfg
