// The driver's per-port values in the registry, read into and written from
// every record of the port table.
#pragma once
#include "configurator/app/Configurator.h"

namespace varnok::cfg {

int ReadPortSettings(Configurator& app);
int WritePortSettings(Configurator& app);

}  // namespace varnok::cfg
