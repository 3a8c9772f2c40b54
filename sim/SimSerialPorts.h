// In-memory serial ports in virtual time: each device path leads to a
// simulated adapter (SimAdapter). Reads follow the time-outs the port was
// given (interval and total time-out, as the comm driver does) and advance
// the virtual clock by the time they would take; writes hand the bytes to the
// adapter at the current virtual time. Failures set the last-error code the
// way the system does: 2 for a path that does not exist (or an unplugged
// adapter), 5 for a port that another program holds open, 22 for I/O on an
// adapter that was unplugged while the port was open.
//
// A port that is only listed, opened and closed (the configurator's "Close
// All Ports") is an adapter attached with default options: it never speaks
// unasked.
//
// The engine runs several adapters' exchanges at once, each on its own port:
// the last-error code is kept per calling thread, as GetLastError is, so one
// exchange's failure is never read by another; the bookkeeping shared by the
// ports (log, open ports) is locked. The virtual clock is one for all ports,
// so exchanges in virtual time still run one at a time (sim/VirtualExecutor).
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
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

    // One record per call, with the virtual time: "exists COM5",
    // "open \\.\COM5", "close",
    // "timeouts 30/0/90/0/0", "line 38400,n,8,1", "purge 0x0C",
    // "write 0D", "read 31 bytes in 38 ms".
    struct Event {
        uint64_t atMs;
        std::string what;
    };
    std::vector<Event> log;
    std::vector<std::string> logTexts() const;
    int openPorts() const {
        std::lock_guard<std::mutex> lock(m_);
        return static_cast<int>(openSet_.size());
    }
    int opens() const {
        std::lock_guard<std::mutex> lock(m_);
        return opens_;
    }

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
    // The calling thread's code (0 on a thread that has none yet).
    uint32_t lastError() override;
    void setLastError(uint32_t code) override;
    std::string systemMessage(uint32_t code) override;

    // Used by the ports.
    VirtualClock& clock() { return clock_; }
    void record(const std::string& what) { recordAt(clock_.nowMs(), what); }
    void recordAt(uint64_t atMs, const std::string& what) {
        std::lock_guard<std::mutex> lock(m_);
        log.push_back({atMs, what});
    }
    void portClosed(const SimAdapter* a) {
        std::lock_guard<std::mutex> lock(m_);
        openSet_.erase(a);
    }

private:
    VirtualClock& clock_;
    std::map<std::string, std::unique_ptr<SimAdapter>> adapters_;
    mutable std::mutex m_;
    std::map<std::thread::id, uint32_t> lastErrors_;
    std::set<const SimAdapter*> openSet_;
    int opens_ = 0;
};

}  // namespace varnok::sim
