// "Close All Ports": opens every existing COM port exclusively, purges it and
// closes it again, reporting the ports another program holds.
#pragma once
#include "configurator/app/Configurator.h"

namespace varnok::cfg {

constexpr int kFirstComPortToClose = 1;
constexpr int kLastComPortToClose = 256;
extern const char* const kMsgCloseNotPossible;  // "Close COMPort not possible"

// Visits COM1..COM256 with the wait cursor shown; one message per existing
// port that cannot be opened. Always returns 1.
int CloseAllPorts(Configurator& app);

}  // namespace varnok::cfg
