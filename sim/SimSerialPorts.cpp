#include "sim/SimSerialPorts.h"

#include <cstdio>

namespace varnok::sim {

namespace {

const char kPrefix[] = "\\\\.\\";

class SimSerialPort : public serial::SerialPort {
public:
    SimSerialPort(SimSerialPorts& owner, SimAdapter& adapter) : owner_(owner), adapter_(adapter) {}
    ~SimSerialPort() override {
        owner_.record("close");
        owner_.portClosed(&adapter_);
    }

    bool setTimeouts(const serial::CommTimeouts& t) override {
        char buf[80];
        std::snprintf(buf, sizeof buf, "timeouts %u/%u/%u/%u/%u", t.readIntervalTimeout,
                      t.readTotalTimeoutMultiplier, t.readTotalTimeoutConstant,
                      t.writeTotalTimeoutMultiplier, t.writeTotalTimeoutConstant);
        owner_.record(buf);
        if (!alive()) return false;
        if (owner_.failTimeouts) return fail(serial::kErrorGenFailure);
        timeouts_ = t;
        return true;
    }

    bool setLine(const std::string& definition) override {
        owner_.record("line " + definition);
        if (!alive()) return false;
        if (owner_.failLine) return fail(serial::kErrorGenFailure);
        return true;
    }

    bool purge(uint32_t flags) override {
        char buf[32];
        std::snprintf(buf, sizeof buf, "purge 0x%02X", flags);
        owner_.record(buf);
        if (!alive()) return false;
        if (owner_.failPurge) return fail(serial::kErrorGenFailure);
        if (flags & serial::kPurgeRxClear) {
            // Drops what the driver holds; bytes still on the wire arrive later.
            uint64_t now = owner_.clock().nowMs();
            adapter_.produceUntil(now);
            auto& q = adapter_.output();
            while (!q.empty() && q.front().atMs <= now) q.pop_front();
        }
        return true;
    }

    bool read(uint8_t* buffer, uint32_t size, uint32_t* received) override {
        *received = 0;
        if (!alive()) return false;
        VirtualClock& clock = owner_.clock();
        const uint64_t start = clock.nowMs();
        const uint64_t total = timeouts_.readTotalTimeoutConstant +
                               uint64_t{timeouts_.readTotalTimeoutMultiplier} * size;
        const uint64_t interval = timeouts_.readIntervalTimeout;
        const uint64_t deadline = start + total;
        adapter_.produceUntil(deadline);
        auto& q = adapter_.output();
        uint32_t n = 0;
        uint64_t last = start;
        while (n < size && !q.empty()) {
            uint64_t at = q.front().atMs > start ? q.front().atMs : start;
            if (total != 0 && at > deadline) break;
            if (n > 0 && interval != 0 && at - last > interval) break;
            buffer[n++] = q.front().byte;
            last = at;
            q.pop_front();
        }
        uint64_t end;
        if (n == size) {
            end = last;
        } else if (n == 0) {
            end = deadline;
        } else {
            end = interval != 0 ? last + interval : deadline;
            if (total != 0 && end > deadline) end = deadline;
        }
        clock.advance(end - start);
        *received = n;
        char buf[64];
        std::snprintf(buf, sizeof buf, "read %u bytes in %u ms", n,
                      static_cast<unsigned>(end - start));
        owner_.recordAt(start, buf);
        return true;
    }

    bool write(const uint8_t* data, uint32_t size, uint32_t* written) override {
        *written = 0;
        owner_.record("write" + SpacedHex(data, size));
        if (!alive()) return false;
        uint64_t now = owner_.clock().nowMs();
        for (uint32_t i = 0; i < size; ++i) adapter_.receive(data[i], now);
        *written = size;
        return true;
    }

private:
    bool alive() {
        if (!adapter_.unplugged) return true;
        return fail(owner_.unplugError);
    }
    bool fail(uint32_t code) {
        owner_.setLastError(code);
        return false;
    }
    SimSerialPorts& owner_;
    SimAdapter& adapter_;
    serial::CommTimeouts timeouts_{0, 0, 0, 0, 0};
};

}  // namespace

SimAdapter& SimSerialPorts::attach(const std::string& portName, const SimAdapterOptions& options) {
    auto& slot = adapters_[portName];
    slot = std::make_unique<SimAdapter>(options);
    return *slot;
}

SimAdapter* SimSerialPorts::adapter(const std::string& portName) {
    auto it = adapters_.find(portName);
    return it == adapters_.end() ? nullptr : it->second.get();
}

std::vector<std::string> SimSerialPorts::logTexts() const {
    std::lock_guard<std::mutex> lock(m_);
    std::vector<std::string> out;
    for (const auto& e : log) out.push_back(e.what);
    return out;
}

std::unique_ptr<serial::SerialPort> SimSerialPorts::open(const std::string& path) {
    record("open " + path);
    const std::string prefix(kPrefix);
    SimAdapter* a = nullptr;
    if (path.compare(0, prefix.size(), prefix) == 0) a = adapter(path.substr(prefix.size()));
    if (a == nullptr || a->unplugged) {
        setLastError(serial::kErrorFileNotFound);
        return nullptr;
    }
    {
        std::lock_guard<std::mutex> lock(m_);
        if (!a->heldByOtherProgram && openSet_.count(a) == 0) {
            ++opens_;
            openSet_.insert(a);
            return std::make_unique<SimSerialPort>(*this, *a);
        }
    }
    // Share mode 0: a port is open once at a time.
    setLastError(serial::kErrorAccessDenied);
    return nullptr;
}

uint32_t SimSerialPorts::lastError() {
    std::lock_guard<std::mutex> lock(m_);
    auto it = lastErrors_.find(std::this_thread::get_id());
    return it == lastErrors_.end() ? 0 : it->second;
}

void SimSerialPorts::setLastError(uint32_t code) {
    std::lock_guard<std::mutex> lock(m_);
    lastErrors_[std::this_thread::get_id()] = code;
}

bool SimSerialPorts::exists(const std::string& name) {
    record("exists " + name);
    return adapter(name) != nullptr;
}

std::string SimSerialPorts::systemMessage(uint32_t code) {
    auto it = messages.find(code);
    return it == messages.end() ? std::string() : it->second;
}

}  // namespace varnok::sim
