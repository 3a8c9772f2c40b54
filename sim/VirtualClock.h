// A clock that never sleeps: sleeps advance virtual time and are recorded, so
// tests can assert every wait. Listeners (the simulated adapter) hear about
// every advance.
#pragma once
#include <cstdint>
#include <functional>
#include <numeric>
#include <vector>

#include "common/platform/Clock.h"

namespace varnok::sim {

class VirtualClock : public Clock {
public:
    void sleepMs(uint32_t ms) override {
        sleeps.push_back(ms);
        advance(ms);
    }
    uint64_t nowMs() override { return now_; }
    void advance(uint64_t ms) {
        now_ += ms;
        for (auto& l : listeners_) l(now_);
    }
    void onAdvance(std::function<void(uint64_t)> listener) { listeners_.push_back(std::move(listener)); }
    uint64_t totalSlept() const { return std::accumulate(sleeps.begin(), sleeps.end(), uint64_t{0}); }

    std::vector<uint32_t> sleeps;

private:
    uint64_t now_ = 0;
    std::vector<std::function<void(uint64_t)>> listeners_;
};

}  // namespace varnok::sim
