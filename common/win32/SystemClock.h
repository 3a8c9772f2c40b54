// The clock of the real programs: Sleep and GetTickCount64.
#pragma once
#include "common/platform/Clock.h"

namespace varnok::win32 {

class SystemClock : public Clock {
public:
    void sleepMs(uint32_t ms) override;
    uint64_t nowMs() override;
};

}  // namespace varnok::win32
