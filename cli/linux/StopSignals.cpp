#include "cli/linux/StopSignals.h"

namespace varnok::linuxhost {

namespace {

// Only what is safe in a handler: lock-free atomics.
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free);
std::atomic<bool> g_stop{false};
std::atomic<int> g_signal{0};

void OnSignal(int number) {
    g_signal.store(number);
    g_stop.store(true);
}

}  // namespace

StopSignals::StopSignals() {
    g_stop.store(false);
    g_signal.store(0);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // Calls that can be restarted are (tty writes, tcdrain, the libraries'
    // reads). poll and nanosleep return EINTR all the same: the serial seam's
    // reads and std::this_thread::sleep_for go on with the time left.
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        sigaction(kSignals[i], &action, &previous_[i]);
}

StopSignals::~StopSignals() {
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        sigaction(kSignals[i], &previous_[i], nullptr);
}

const std::atomic<bool>* StopSignals::flag() const { return &g_stop; }

int StopSignals::signal() const { return g_signal.load(); }

}  // namespace varnok::linuxhost
