// Ctrl-C, Ctrl-Break and a closed console window while a modes command or
// the watcher runs: the console's control handler only raises the stop flag
// the engine asks before each exchange (and the process's stop event, which
// ends the watcher's wait), so that the exchanges under way end as usual
// (leaving the adapters' configuration mode) before the program does. A
// second Ctrl-C changes nothing.
//
// Closing the console (or logging off, or shutting down) ends the process
// as soon as the handler returns, so there the handler waits until the
// program says it is done (finished()), at most as long as the system
// allows (about 5 s).
#pragma once
#include <atomic>

namespace varnok::cli {

class ConsoleStop {
public:
    ConsoleStop();   // installs the handler
    ~ConsoleStop();  // finished(), then removes the handler
    ConsoleStop(const ConsoleStop&) = delete;
    ConsoleStop& operator=(const ConsoleStop&) = delete;

    const std::atomic<bool>* flag() const;
    // The command has ended: its output is flushed, and a waiting handler
    // may return.
    void finished();
};

}  // namespace varnok::cli
