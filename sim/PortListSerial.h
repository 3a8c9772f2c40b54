// A small in-memory list of COM ports for the configurator's "Close All
// Ports": which ports exist, which another program holds open (opening them
// fails with access denied), and a record of every call. It speaks no
// protocol: reads give nothing, writes are swallowed.
#pragma once
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/platform/SerialPort.h"

namespace varnok::sim {

class PortListSerial : public serial::SerialPorts {
public:
    std::set<std::string> present;  // "COM5"
    std::set<std::string> busy;     // held by another program

    std::vector<std::string> existsAsked;  // names, in order
    std::vector<std::string> opens;        // paths, in order (also failed ones)
    std::vector<std::pair<std::string, uint32_t>> purges;  // name, flags
    std::vector<std::string> closes;       // names
    int openHandles = 0;                   // handles not closed yet

    std::unique_ptr<serial::SerialPort> open(const std::string& path) override;
    bool exists(const std::string& name) override;
    uint32_t lastError() override { return lastError_; }
    void setLastError(uint32_t code) override { lastError_ = code; }

private:
    uint32_t lastError_ = 0;
};

}  // namespace varnok::sim
