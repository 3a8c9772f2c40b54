// Taking over the owner and access lists of the driver's registry keys.
#pragma once
#include <string>

#include "configurator/app/Configurator.h"

namespace varnok::cfg {

int EnablePrivilege(Configurator& app, const std::string& privilege, bool enable);
int GrantEnumeratorAccess(Configurator& app);
int GrantInstanceKeyAccess(Configurator& app);

}  // namespace varnok::cfg
