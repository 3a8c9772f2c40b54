#include "cli/win32/ConsoleStop.h"

#include <windows.h>

#include <iostream>

#include "common/win32/StopEvent.h"

namespace varnok::cli {

namespace {

// The system gives a closing console 5 s; the handler returns a little
// before, so that it is the one to end the process.
constexpr DWORD kCloseWaitMs = 4500;
constexpr DWORD kPollMs = 20;

std::atomic<bool> g_stop{false};
std::atomic<bool> g_finished{false};

// Runs on a thread of its own that the system starts for each event.
BOOL WINAPI OnConsoleControl(DWORD event) {
    g_stop.store(true);
    win32::RaiseProcessStop();  // wakes a waiting watch
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        return TRUE;  // handled: the program goes on to finish
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        for (DWORD waited = 0; !g_finished.load() && waited < kCloseWaitMs; waited += kPollMs)
            Sleep(kPollMs);
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace

ConsoleStop::ConsoleStop() {
    g_stop.store(false);
    g_finished.store(false);
    (void)win32::ProcessStopEvent();  // made before the handler may need it
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

ConsoleStop::~ConsoleStop() {
    finished();
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
}

const std::atomic<bool>* ConsoleStop::flag() const { return &g_stop; }

void ConsoleStop::finished() {
    std::cout.flush();
    std::cerr.flush();
    g_finished.store(true);
}

}  // namespace varnok::cli
