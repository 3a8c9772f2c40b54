// One event per process that says "stop now": raised by the console's
// control handler and by the service manager's stop request, waited on by
// every long wait (the registry watch) next to what it waits for.
#pragma once
#include <windows.h>

namespace varnok::win32 {

// Manual-reset, made on first use and kept for the life of the process;
// null only when the system could not make it (waits then end by time-out).
HANDLE ProcessStopEvent();
void RaiseProcessStop();

}  // namespace varnok::win32
