// Saving and loading one port's configuration as an 84-byte file.
#pragma once
#include "configurator/app/Configurator.h"

namespace varnok::cfg {

void SaveConfigurationFile(Configurator& app, int index);
void LoadConfigurationFile(Configurator& app, int index);

}  // namespace varnok::cfg
