#include "common/win32/SystemClock.h"

#include <windows.h>

namespace varnok::win32 {

void SystemClock::sleepMs(uint32_t ms) { Sleep(ms); }

uint64_t SystemClock::nowMs() { return GetTickCount64(); }

}  // namespace varnok::win32
