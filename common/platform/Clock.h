// Time seam: every wait of both programs goes through a Clock, so that unit
// tests can run protocol exchanges in virtual time and still assert each wait.
#pragma once
#include <cstdint>

namespace varnok {

class Clock {
public:
    virtual ~Clock() = default;
    virtual void sleepMs(uint32_t ms) = 0;
    // Monotonic milliseconds since an arbitrary origin.
    virtual uint64_t nowMs() = 0;
};

}  // namespace varnok
