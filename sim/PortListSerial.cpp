#include "sim/PortListSerial.h"

namespace varnok::sim {

namespace {

const std::string kDevicePrefix = "\\\\.\\";

class ListedPort : public serial::SerialPort {
public:
    ListedPort(PortListSerial& owner, std::string name) : owner_(owner), name_(std::move(name)) {
        ++owner_.openHandles;
        owner_.busy.insert(name_);  // exclusive while open
    }
    ~ListedPort() override {
        owner_.busy.erase(name_);
        owner_.closes.push_back(name_);
        --owner_.openHandles;
    }
    bool setTimeouts(const serial::CommTimeouts&) override { return true; }
    bool setLine(const std::string&) override { return true; }
    bool purge(uint32_t flags) override {
        owner_.purges.emplace_back(name_, flags);
        return true;
    }
    bool read(uint8_t*, uint32_t, uint32_t* received) override {
        *received = 0;
        return true;
    }
    bool write(const uint8_t*, uint32_t size, uint32_t* written) override {
        *written = size;
        return true;
    }

private:
    PortListSerial& owner_;
    std::string name_;
};

}  // namespace

std::unique_ptr<serial::SerialPort> PortListSerial::open(const std::string& path) {
    opens.push_back(path);
    std::string name = path.compare(0, kDevicePrefix.size(), kDevicePrefix) == 0
                           ? path.substr(kDevicePrefix.size())
                           : path;
    if (!present.count(name)) {
        lastError_ = serial::kErrorFileNotFound;
        return nullptr;
    }
    if (busy.count(name)) {
        lastError_ = serial::kErrorAccessDenied;
        return nullptr;
    }
    lastError_ = serial::kErrorSuccess;
    return std::make_unique<ListedPort>(*this, name);
}

bool PortListSerial::exists(const std::string& name) {
    existsAsked.push_back(name);
    return present.count(name) != 0;
}

}  // namespace varnok::sim
