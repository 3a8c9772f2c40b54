// Serial port seam: the kernel32 comm calls the programs make, by device path.
// A SerialPort object owns its handle and closes it when destroyed.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

namespace varnok::serial {

constexpr uint32_t kErrorSuccess = 0;
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorGenFailure = 31;
constexpr uint32_t kErrorBadCommand = 22;

constexpr uint32_t kPurgeTxClear = 0x04;
constexpr uint32_t kPurgeRxClear = 0x08;

struct CommTimeouts {
    uint32_t readIntervalTimeout;
    uint32_t readTotalTimeoutMultiplier;
    uint32_t readTotalTimeoutConstant;
    uint32_t writeTotalTimeoutMultiplier;
    uint32_t writeTotalTimeoutConstant;
};

class SerialPort {
public:
    virtual ~SerialPort() = default;  // CloseHandle
    virtual bool setTimeouts(const CommTimeouts& timeouts) = 0;
    // GetCommState, BuildCommDCBA(definition) on the state read, SetCommState.
    virtual bool setLine(const std::string& definition) = 0;
    virtual bool purge(uint32_t flags) = 0;
    virtual bool read(uint8_t* buffer, uint32_t size, uint32_t* received) = 0;
    virtual bool write(const uint8_t* data, uint32_t size, uint32_t* written) = 0;
};

class SerialPorts {
public:
    virtual ~SerialPorts() = default;
    // CreateFileA(path, GENERIC_READ|GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
    // FILE_ATTRIBUTE_NORMAL, NULL); null on failure (see lastError()).
    virtual std::unique_ptr<SerialPort> open(const std::string& path) = 0;
    // GetDefaultCommConfigA succeeds for this name ("COM5").
    virtual bool exists(const std::string& name) = 0;
    // The calling thread's last system error code (GetLastError).
    virtual uint32_t lastError() = 0;
    virtual void setLastError(uint32_t code) = 0;
    // The system's text for an error code (FormatMessageA with
    // FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, language
    // 0x400, buffer released with LocalFree); empty when the system has none
    // (and in simulations that have no texts of their own).
    virtual std::string systemMessage(uint32_t /*code*/) { return {}; }
};

}  // namespace varnok::serial
