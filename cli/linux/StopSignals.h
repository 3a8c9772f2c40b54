// Ctrl-C, kill and a closed terminal while a modes command runs: SIGINT,
// SIGTERM and SIGHUP only raise the stop flag the engine asks before each
// exchange, and remember which signal came, so that the exchanges under way
// end as usual (leaving the adapters' configuration mode) before the program
// does. A second signal changes nothing. The previous actions come back when
// the object goes.
#pragma once
#include <atomic>
#include <csignal>
#include <iterator>

namespace varnok::linuxhost {

class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // True once one of the signals came.
    const std::atomic<bool>* flag() const;
    // The last of them to come; 0 when none has.
    int signal() const;
    // What the program ends with after one: 128 + the signal's number, as a
    // shell reports a program the signal ended.
    int exitStatus() const { return 128 + signal(); }

    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

private:
    struct sigaction previous_[std::size(kSignals)];
};

}  // namespace varnok::linuxhost
