// "Close All Ports": opens every existing COM port exclusively, purges it and
// closes it again, returning the ports another program holds.
#pragma once
#include "configurator/app/Configurator.h"
#include "configurator/app/Problems.h"

namespace varnok::cfg {

constexpr int kFirstComPortToClose = 1;
constexpr int kLastComPortToClose = 256;
extern const char* const kMsgCloseNotPossible;  // "Close COMPort not possible"

// Visits COM1..COM256; one problem per existing port that cannot be opened.
Problems CloseAllPorts(Configurator& app);

}  // namespace varnok::cfg
