// In-memory serial ports in virtual time: each device path leads to a
// simulated adapter (SimAdapter). Reads follow the time-outs the port was
// given (interval and total time-out, as the comm driver does) and advance
// the virtual clock by the time they would take; writes hand the bytes to the
// adapter at the current virtual time. Failures set the last-error code the
// way the system does: 2 for a path that does not exist (or an unplugged
// adapter), 5 for a port that another program holds open, 22 for I/O on an
// adapter that was unplugged while the port was open.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/platform/SerialPort.h"
#include "sim/SimAdapter.h"
#include "sim/VirtualClock.h"

namespace varnok::sim {

class SimSerialPorts : public serial::SerialPorts {
public:
    explicit SimSerialPorts(VirtualClock& clock) : clock_(clock) {}

    // Attaches an adapter at a bare port name ("COM5"); reached as "\\.\COM5".
    SimAdapter& attach(const std::string& portName, const SimAdapterOptions& options);
    SimAdapter* adapter(const std::string& portName);

    // One record per call, with the virtual time: "open \\.\COM5", "close",
    // "timeouts 30/0/90/0/0", "line 38400,n,8,1", "purge 0x0C",
    // "write 0D", "read 31 bytes in 38 ms".
    struct Event {
        uint64_t atMs;
        std::string what;
    };
    std::vector<Event> log;
    std::vector<std::string> logTexts() const;
    int openPorts() const { return openPorts_; }
    int opens() const { return opens_; }

    // Injected failures of the set-up calls of the next opened port.
    bool failTimeouts = false;
    bool failLine = false;
    bool failPurge = false;
    uint32_t unplugError = serial::kErrorBadCommand;

    // A table of system texts; codes not in it have none.
    std::map<uint32_t, std::string> messages = {
        {2, "The system cannot find the file specified.\r\n"},
        {5, "Access is denied.\r\n"},
        {22, "The device does not recognize the command.\r\n"},
        {31, "A device attached to the system is not functioning.\r\n"},
    };

    std::unique_ptr<serial::SerialPort> open(const std::string& path) override;
    bool exists(const std::string& name) override;
    uint32_t lastError() override { return lastError_; }
    void setLastError(uint32_t code) override { lastError_ = code; }
    std::string systemMessage(uint32_t code) override;

    // Used by the ports.
    VirtualClock& clock() { return clock_; }
    void record(const std::string& what) { log.push_back({clock_.nowMs(), what}); }
    void portClosed(const SimAdapter* a) {
        --openPorts_;
        openSet_.erase(a);
    }

private:
    VirtualClock& clock_;
    std::map<std::string, std::unique_ptr<SimAdapter>> adapters_;
    uint32_t lastError_ = 0;
    std::set<const SimAdapter*> openSet_;
    int openPorts_ = 0;
    int opens_ = 0;
};

}  // namespace varnok::sim
