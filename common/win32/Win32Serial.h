// The serial seam over the kernel32 comm API (synchronous I/O, no overlap).
#pragma once
#include "common/platform/SerialPort.h"

namespace varnok::win32 {

class Win32SerialPorts : public serial::SerialPorts {
public:
    std::unique_ptr<serial::SerialPort> open(const std::string& path) override;
    bool exists(const std::string& name) override;
    uint32_t lastError() override;
    void setLastError(uint32_t code) override;
    std::string systemMessage(uint32_t code) override;
};

}  // namespace varnok::win32
