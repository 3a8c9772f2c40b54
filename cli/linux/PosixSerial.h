// The serial seam on Linux: a tty opened with O_NOCTTY | O_CLOEXEC, taken
// exclusively (TIOCEXCL against other opens, flock against other programs
// that lock), set to raw 8N1 at the requested rate. Reads follow the same
// window as the Windows seam: a read ends when the buffer is full, when the
// interval time passes between two bytes, or when the total time has passed
// since it began. Closing the port puts back the terminal settings it had at
// open and ends the exclusive mode that the open began.
//
// Error codes: lastError() keeps the codes the behaviour tests for:
// kErrorAccessDenied (5) when the port is in use by another program,
// kErrorFileNotFound (2) when there is no such tty; every other failure is
// the errno value, except EIO, which becomes kErrorGenFailure.
#pragma once
#include <memory>
#include <string>

#include "common/platform/SerialPort.h"

namespace varnok::linuxhost {

// The mode tool's "\\.\ttyUSB0", or "ttyUSB0" -> "/dev/ttyUSB0"; a path with '/' stays.
std::string TtyPath(const std::string& path);

class PosixSerialPorts : public serial::SerialPorts {
public:
    std::unique_ptr<serial::SerialPort> open(const std::string& path) override;
    bool exists(const std::string& name) override;
    uint32_t lastError() override;
    void setLastError(uint32_t code) override;
    std::string systemMessage(uint32_t code) override;
};

}  // namespace varnok::linuxhost
