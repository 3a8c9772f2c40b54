// Process-wide state of the interface-mode tool and its dialog's behaviour.
#pragma once
#include <string>

#include "common/d2xx/D2xx.h"
#include "common/platform/Clock.h"
#include "common/platform/DialogView.h"
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
    // The mode dialog's view: owner of every message box of the tool.
    ui::DialogView* view = nullptr;
    // Set while an adapter is in configuration mode; makes leaving it
    // idempotent within one exchange (only one exchange runs at a time).
    bool inConfigMode = false;
};

}  // namespace varnok::mode
