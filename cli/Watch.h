// varnokctl watch: a settings document applied to every installed port, and
// then to each port whose key the FTDI driver creates later (an adapter
// plugged in for the first time), until stopped. Each port is changed as
// `import` changes it (the same planning, backup and refusals, through
// ApplyDocument limited to that port), then restarted alone with
// FT_CyclePort so that the driver takes the new values, unless a program
// holds it open.
//
// The wait is the registry's change notification on the enumerator key
// (reg::KeyWatch), with a look at the keys once a minute in case a
// notification was missed; nothing is polled in between.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "cli/CommandLine.h"
#include "cli/ConfigCommands.h"
#include "cli/Errors.h"

namespace varnok::cli {

// Where the watcher's lines go, each without its line end.
struct WatchOutput {
    std::function<void(const std::string&)> event;    // one per event: text, or a JSON object
    std::function<void(const std::string&)> problem;  // errors and warnings ("varnokctl: ...")
};

// Timing, in milliseconds (virtual in the unit tests).
constexpr uint32_t kWatchRecheckMs = 60000;  // the safety net's look at the keys
constexpr uint32_t kWatchQuietMs = 300;      // after a change: until the keys are quiet this long
constexpr uint32_t kWatchQuietLimitMs = 2000;
constexpr uint32_t kWatchSettleMs = 1000;  // a new key whose device is not ready: looked at again
constexpr uint32_t kWatchSettleLimitMs = 30000;  // ... at most this long, then written as it is

// Runs until *stop is raised (or the wait says the process stops), finishing
// the port under way: then Interrupted (130). Earlier only when the profile
// cannot be read or nothing can be watched or written.
ExitStatus RunWatch(const Command& command, const std::string& profile, ConfigSeams& seams,
                    const WatchOutput& output, const std::atomic<bool>* stop);

}  // namespace varnok::cli
