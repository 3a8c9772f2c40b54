// "Close All Ports": opens every existing COM port exclusively, purges it and
// closes it again, reporting the ports another program holds.
#pragma once
#include "configurator/app/Configurator.h"

namespace varnok::cfg {

int CloseAllPorts(Configurator& app);

}  // namespace varnok::cfg
