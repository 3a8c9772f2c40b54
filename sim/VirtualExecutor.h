// The engine's executor in virtual time, for tests and the benchmark.
//
// How it models the overlap: the lanes run one after another on the calling
// thread against the one virtual clock (so the simulated adapters and their
// byte streams see exactly what they would see alone), and each lane's
// virtual duration is measured. The lanes are then placed the way the
// threaded executor starts them: in index order, each on the first of
// `bound` slots to come free. The latest end is the time the lanes take side
// by side (`makespanMs`); `elapsedMs(from)` turns the clock's time since
// `from` into the parallel time by replacing the lanes' summed time with it.
// The stop question is asked once before the first `bound` lanes (they start
// together) and then before each further lane, after every lane placed
// before it has run.
#pragma once
#include <algorithm>
#include <cstdint>
#include <numeric>
#include <vector>

#include "modetool/Engine.h"
#include "sim/VirtualClock.h"

namespace varnok::sim {

class VirtualExecutor : public mode::Executor {
public:
    explicit VirtualExecutor(VirtualClock& clock) : clock_(clock) {}

    // Runs the first batch's lanes in reverse order (lane ends reach the
    // engine out of index order); the placement in time is the same.
    bool reverseFirstBatch = false;

    void forEach(std::size_t count, std::size_t bound, const std::function<bool()>& stop,
                 const std::function<void(std::size_t)>& lane) override {
        bound = std::max<std::size_t>(bound, 1);
        std::vector<uint64_t> slots(std::min(bound, count), 0);
        auto run = [&](std::size_t i) {
            const uint64_t t0 = clock_.nowMs();
            lane(i);
            durations.push_back(clock_.nowMs() - t0);
            started.push_back(i);
        };
        if (count == 0 || (stop && stop())) return;
        const std::size_t first = slots.size();
        for (std::size_t k = 0; k < first; ++k) {
            const std::size_t i = reverseFirstBatch ? first - 1 - k : k;
            run(i);
            slots[i] = durations.back();
        }
        for (std::size_t i = first; i < count; ++i) {
            if (stop && stop()) break;
            auto slot = std::min_element(slots.begin(), slots.end());
            run(i);
            *slot += durations.back();
        }
        const uint64_t summed = std::accumulate(durations.begin(), durations.end(), uint64_t{0});
        laneMs += summed - lanesBefore_;
        lanesBefore_ = summed;
        makespanMs += *std::max_element(slots.begin(), slots.end());
    }

    // Virtual time since `fromMs` with the lanes side by side.
    uint64_t elapsedMs(uint64_t fromMs) const { return clock_.nowMs() - fromMs - laneMs + makespanMs; }

    std::vector<std::size_t> started;   // lane indices, in the order they ran
    std::vector<uint64_t> durations;    // their virtual durations, same order
    uint64_t laneMs = 0;                // summed over every forEach
    uint64_t makespanMs = 0;            // side by side, summed over every forEach

private:
    VirtualClock& clock_;
    uint64_t lanesBefore_ = 0;
};

}  // namespace varnok::sim
