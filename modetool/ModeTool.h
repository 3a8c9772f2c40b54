// What the interface-mode tool works with: the seams of the D2XX library, the
// serial ports and the clock. Nothing here changes while the tool runs, so a
// search or a commit may hand it to several exchanges at once.
#pragma once
#include <cstdint>
#include <string>

#include "common/d2xx/D2xx.h"
#include "common/platform/Clock.h"
#include "common/platform/SerialPort.h"

namespace varnok::mode {

struct ModeTool {
    ModeTool(d2xx::D2xx& d, serial::SerialPorts& s, Clock& c) : d2xx(d), serial(s), clock(c) {}
    d2xx::D2xx& d2xx;
    serial::SerialPorts& serial;
    Clock& clock;
    // False when ftd2xx.dll could not be loaded: every D2XX call then fails.
    bool d2xxAvailable = true;
    std::string d2xxLoadError;
    // How a port number from FT_GetComPortNumber becomes a port name:
    // "COM5" on Windows; on Linux the number is that of a ttyUSB device,
    // which starts at 0.
    std::string portPrefix = "COM";
    int32_t firstPortNumber = 1;
};

}  // namespace varnok::mode
