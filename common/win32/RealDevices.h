// A program's state over the real device seams: FTDI's ftd2xx.dll, the COM
// ports and the system clock, made first and handed to the state's
// constructor after what it takes before them (the registry), and the state
// told whether the library loaded and, if not, why.
#pragma once
#include "common/win32/SystemClock.h"
#include "common/win32/Win32D2xx.h"
#include "common/win32/Win32Serial.h"

namespace varnok::win32 {

template <class State>
struct OnRealDevices {
    template <class... Before>
    explicit OnRealDevices(Before&... before) : state(before..., d2xx, serialPorts, clock) {
        state.d2xxAvailable = d2xx.loaded();
        state.d2xxLoadError = d2xx.loadError();
    }

    Win32D2xx d2xx;
    Win32SerialPorts serialPorts;
    SystemClock clock;
    State state;  // last: made after the seams, destroyed before them
};

}  // namespace varnok::win32
