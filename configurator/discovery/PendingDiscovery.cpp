// Not built yet: device discovery, registry settings and access rights.
// This file goes away when they arrive; until then these do nothing.
#include "configurator/discovery/AccessRights.h"
#include "configurator/discovery/Discovery.h"
#include "configurator/settings/RegistrySettings.h"

namespace varnok::cfg {

int EnumerateD2xxDevices(Configurator&) { return 0; }
int MatchInstanceKeys(Configurator&, reg::RegistryKey&) { return 0; }
int BuildTableFromRegistry(Configurator&, reg::RegistryKey&) { return 0; }
int ReportNoDevices(Configurator&) { return 1; }
int RefreshPortList(Configurator&, ui::DialogView&) { return 1; }
int EnablePrivilege(Configurator&, const std::string&, bool) { return 0; }
int GrantEnumeratorAccess(Configurator&) { return 0; }
int GrantInstanceKeyAccess(Configurator&) { return 1; }
int ReadPortSettings(Configurator&) { return 0; }
int WritePortSettings(Configurator&) { return 0; }

}  // namespace varnok::cfg
