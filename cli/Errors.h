// Exit statuses of varnokctl and the error that carries one to the top.
#pragma once
#include <stdexcept>
#include <string>

namespace varnok::cli {

// What varnokctl returns to the shell. Scripts depend on these numbers.
enum class ExitStatus : int {
    Done = 0,      // done, also when nothing needed changing
    Failed = 1,    // the operation failed (registry, D2XX, serial, files)
    Usage = 2,     // the command line is wrong
    NotFound = 3,  // port, serial or adapter not found
    Refused = 4,   // out of range, reserved, unreadable, foreign document
    // Stopped by Ctrl-C (a modes command that finished what it had begun).
    // On Linux the program ends with 128 + the signal's number instead.
    Interrupted = 130,
};

constexpr int ToInt(ExitStatus s) { return static_cast<int>(s); }

// An error for the user: printed on standard error, then varnokctl ends
// with `status`. The message names the port and the value concerned.
class CliError : public std::runtime_error {
public:
    CliError(ExitStatus status, const std::string& message)
        : std::runtime_error(message), status_(status) {}
    ExitStatus status() const { return status_; }

private:
    ExitStatus status_;
};

// The line printed on standard error for an error.
inline std::string ErrorLine(const std::string& message) { return "varnokctl: " + message + "\n"; }

}  // namespace varnok::cli
