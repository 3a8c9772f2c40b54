#include "modetool/Protocol.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "common/d2xx/D2xx.h"
#include "common/platform/Parse.h"

namespace varnok::mode {

namespace {

constexpr uint32_t kByteWaitMs = 10;
constexpr uint32_t kEnterWaitMs = 100;
constexpr uint32_t kReadWaitMs = 400;
constexpr uint32_t kWriteWaitMs = 200;
constexpr uint32_t kPieceWaitMs = 100;
constexpr uint32_t kStoreWaitMs = 200;
constexpr std::size_t kPieceSize = 50;
constexpr int kMaxPieces = 20;
constexpr uint32_t kReadSize = 4095;  // into a 4096-byte buffer, NUL behind

const char kPathPrefix[] = "\\\\.\\";
const char kLineSettings[] = "38400,n,8,1";

// The reply as text: the text functions of the protocol stop at a NUL byte.
std::string AsText(const uint8_t* data, std::size_t size) {
    return d2xx::FieldText(reinterpret_cast<const char*>(data), size);
}

// Numbers of a reply, 0 without a digit; decimal is held at 0xFFFFFFFF and
// hexadecimal keeps its low 32 bits before the callers cut them to a field.
uint32_t Dec(std::string_view s) { return parse::LeadingDigits(s).value_or(0); }
uint32_t Hex(std::string_view s) { return parse::LeadingHexLow32(s).value_or(0); }

}  // namespace

const char kNoSystemText[] = "(the system has no description of this error)";

// ---------------------------------------------------------------- parsers

IdResult ParseIdentification(const uint8_t* data, std::size_t size, AdapterRecord* record) {
    if (data == nullptr || size < 14 || data[0] != '\r' || data[1] != '[')
        return IdResult::NotIdLine;
    const std::string text = AsText(data, size);
    const std::string_view v(text);
    *record = AdapterRecord{};

    std::size_t hash = text.find('#', 2);
    if (hash == std::string::npos) return IdResult::NoMarker;
    uint32_t count = Hex(v.substr(2, hash - 2)) & 0xFFu;
    if (count == 0) return IdResult::NoPorts;
    record->portCount = static_cast<uint8_t>(count);
    if (count > static_cast<uint32_t>(kMaxPorts)) return IdResult::TooManyPorts;

    std::size_t close = text.find(']', hash + 1);
    if (close == std::string::npos) return IdResult::NoMarker;
    record->typeCode = static_cast<uint16_t>(Hex(v.substr(hash + 1, close - hash - 1)) & 0xFFFFu);

    // The name: after one separator byte behind "]", up to a ':' or the end.
    const std::size_t nameStart = close + 2;
    const std::size_t nameEnd = std::min(text.find(':', close + 1), text.size());
    if (nameEnd > nameStart)
        record->adapterName =
            text.substr(nameStart, std::min(nameEnd - nameStart, kMaxAdapterName));
    return IdResult::Ok;
}

bool ParseSettingsReply(const uint8_t* data, std::size_t size, AdapterRecord* record) {
    if (data == nullptr || record->portCount > kMaxPorts) return false;
    const std::string text = AsText(data, size);
    const std::string_view v(text);
    std::size_t start = text.find("\r\n\r\n\r\n");
    if (start == std::string::npos) return false;
    std::size_t pos = start + 2;
    for (uint32_t i = 1; i <= record->portCount; ++i) {
        std::size_t block = text.find("\r\n\r\n", pos);
        if (block == std::string::npos) return false;
        std::size_t numberAt = block + 4;
        if (Dec(v.substr(numberAt)) != i) return false;
        std::size_t modeLine = text.find("\r\n", numberAt);
        if (modeLine == std::string::npos) return false;
        std::size_t modeAt = modeLine + 2;
        std::size_t bitsLine = text.find("\r\n", modeAt);
        if (bitsLine == std::string::npos) return false;
        std::size_t bitsAt = bitsLine + 2;
        record->ports[i - 1].modeCode = static_cast<uint8_t>(Dec(v.substr(modeAt)) & 0xFFu);
        record->ports[i - 1].controlBits = static_cast<uint8_t>(Dec(v.substr(bitsAt)) & 0xFFu);
        pos = bitsAt;
    }
    return true;
}

std::string BuildSettingsText(const AdapterRecord& record) {
    std::string text;
    int count = std::min<int>(record.portCount, kMaxPorts);
    char block[64];
    for (int i = 0; i < count; ++i) {
        std::snprintf(block, sizeof block, "\r\n%d\r\n%d\r\n%d\r\n", i + 1,
                      static_cast<int>(record.ports[i].modeCode),
                      static_cast<int>(record.ports[i].controlBits));
        text += block;
    }
    return text;
}

std::string ErrorMessageText(uint32_t code, const std::string& name,
                             const std::string& systemText) {
    // Held in a string: a long path or system text is never cut or overrun.
    return "Error(" + std::to_string(static_cast<int32_t>(code)) + ") / " +
           (name.empty() ? std::string("none") : name) + ": " +
           (systemText.empty() ? std::string(kNoSystemText) : systemText);
}

// -------------------------------------------------------------- exchanges

namespace {

// One adapter's COM port for one exchange; closed when it goes.
class ConfigPort {
public:
    ConfigPort(serial::SerialPorts& ports, Clock& clock, std::string name)
        : ports_(ports), clock_(clock), name_(std::move(name)) {
        // Only what this exchange's own calls leave behind is reported.
        ports_.setLastError(serial::kErrorSuccess);
    }

    Outcome open(const std::string& path) {
        if (path.size() > kMaxDevicePath) return failure();
        port_ = ports_.open(path);
        const serial::CommTimeouts timeouts{30, 0, 90, 0, 0};
        if (!port_ || !port_->setTimeouts(timeouts) || !port_->setLine(kLineSettings) ||
            !port_->purge(serial::kPurgeTxClear | serial::kPurgeRxClear))
            return failure();
        return {};
    }

    // Byte by byte, 10 ms after every byte.
    Outcome send(const std::string& text) {
        for (char c : text) {
            const uint8_t byte = static_cast<uint8_t>(c);
            uint32_t written = 0;
            if (!port_->write(&byte, 1, &written) || written != 1) return failure();
            clock_.sleepMs(kByteWaitMs);
        }
        return {};
    }

    // The settings text: writes of at most 50 bytes, 100 ms after each, at
    // most 20 of them.
    Outcome sendPieces(const std::string& text) {
        std::size_t pos = 0;
        for (int piece = 0; piece < kMaxPieces && pos < text.size(); ++piece) {
            const uint32_t size = static_cast<uint32_t>(std::min(kPieceSize, text.size() - pos));
            uint32_t written = 0;
            if (!port_->write(reinterpret_cast<const uint8_t*>(text.data() + pos), size, &written))
                return failure();
            clock_.sleepMs(kPieceWaitMs);
            pos += std::min(written, size);
        }
        return {};
    }

    Outcome purge(uint32_t flags) { return port_->purge(flags) ? Outcome() : failure(); }

    // One read of at most 4095 bytes: the bytes that came.
    Result<std::vector<uint8_t>> read() {
        std::vector<uint8_t> buffer(kReadSize + 1, 0);
        uint32_t size = 0;
        if (!port_->read(buffer.data(), kReadSize, &size)) return failure();
        buffer.resize(std::min(size, kReadSize));  // never trust a count beyond the buffer
        return Result<std::vector<uint8_t>>(std::move(buffer));
    }

    void wait(uint32_t ms) { clock_.sleepMs(ms); }
    Failure failure() const { return Failure{ports_.lastError(), name_}; }

private:
    serial::SerialPorts& ports_;
    Clock& clock_;
    std::string name_;
    std::unique_ptr<serial::SerialPort> port_;
};

enum class Purpose { Read, Write };

// The adapter's configuration mode. Once enter() has begun, "98\r" is sent
// exactly once: by leave(), or else when the guard goes (before the port
// closes), also when entering failed half-way.
class ConfigMode {
public:
    explicit ConfigMode(ConfigPort& port) : port_(port) {}
    ConfigMode(const ConfigMode&) = delete;
    ConfigMode& operator=(const ConfigMode&) = delete;
    ~ConfigMode() {
        if (entered_) (void)leave();
    }

    // CR, 100 ms, drop what came, then "96\r" and 400 ms or "97\r" and 200 ms.
    Outcome enter(Purpose purpose) {
        const bool reading = purpose == Purpose::Read;
        entered_ = true;
        if (Outcome o = port_.send("\r"); !o) return o;
        port_.wait(kEnterWaitMs);
        if (Outcome o = port_.purge(serial::kPurgeRxClear); !o) return o;
        if (Outcome o = port_.send(reading ? "96\r" : "97\r"); !o) return o;
        port_.wait(reading ? kReadWaitMs : kWriteWaitMs);
        return {};
    }

    Outcome leave() {
        entered_ = false;
        return port_.send("98\r");
    }

private:
    ConfigPort& port_;
    bool entered_ = false;
};

// Waits for the identification line and fills the record from it; fails when
// none came in two attempts or it declares no usable port count.
Outcome Identify(ConfigPort& port, int accessKind, AdapterRecord* record) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (attempt == 0 && accessKind == kAccessConfigInterface) {
            if (Outcome o = port.send("0\r0\r0\r0\r"); !o) return o;
            if (Outcome o = port.purge(serial::kPurgeRxClear); !o) return o;
            if (Outcome o = port.send("\r"); !o) return o;
        }
        Result<std::vector<uint8_t>> reply = port.read();
        if (!reply) return reply.outcome();
        if (reply->empty()) return port.failure();
        switch (ParseIdentification(reply->data(), reply->size(), record)) {
            case IdResult::Ok: return {};
            case IdResult::NoPorts:
            case IdResult::TooManyPorts: return port.failure();
            case IdResult::NotIdLine:
            case IdResult::NoMarker: break;
        }
    }
    return port.failure();
}

}  // namespace

Result<AdapterRecord> QueryAdapter(serial::SerialPorts& ports, Clock& clock,
                                   const std::string& portName, int accessKind) {
    const std::string path = kPathPrefix + portName;
    ConfigPort port(ports, clock, portName);
    if (Outcome o = port.open(path); !o) return o.failure();
    AdapterRecord record;
    if (Outcome o = Identify(port, accessKind, &record); !o) return o.failure();
    record.devicePath = path;

    ConfigMode mode(port);
    if (Outcome o = mode.enter(Purpose::Read); !o) return o.failure();
    Result<std::vector<uint8_t>> reply = port.read();
    if (!reply) return reply.failure();
    if (!ParseSettingsReply(reply->data(), reply->size(), &record)) return port.failure();
    if (Outcome o = mode.leave(); !o) return o.failure();
    return Result<AdapterRecord>(std::move(record));
}

Result<CommitStatus> CommitAdapter(serial::SerialPorts& ports, Clock& clock,
                                   const AdapterRecord& record) {
    ConfigPort port(ports, clock, record.devicePath);
    if (Outcome o = port.open(record.devicePath); !o) return o.failure();
    ConfigMode mode(port);
    if (Outcome o = mode.enter(Purpose::Write); !o) return o.failure();
    Result<std::vector<uint8_t>> reply = port.read();
    if (!reply) return reply.failure();
    if (AsText(reply->data(), reply->size()).find("\r\nOK") == std::string::npos) {
        // The adapter declined: leave it as it is, without a message.
        if (Outcome o = mode.leave(); !o) return o.failure();
        return CommitStatus::Declined;
    }
    if (Outcome o = port.sendPieces(BuildSettingsText(record)); !o) return o.failure();
    if (Outcome o = port.send("\r99\r"); !o) return o.failure();
    port.wait(kStoreWaitMs);
    if (Outcome o = mode.leave(); !o) return o.failure();
    return CommitStatus::Stored;
}

bool QueryFailureIsReported(const Failure& failure) {
    return failure.code != serial::kErrorSuccess && failure.code != serial::kErrorAccessDenied;
}

bool CommitFailureIsReported(const Failure& failure) {
    return failure.code != serial::kErrorSuccess;
}

std::vector<Result<CommitStatus>> CommitAdapters(serial::SerialPorts& ports, Clock& clock,
                                                 const AdapterArray& array,
                                                 const FailureReport& report) {
    std::vector<Result<CommitStatus>> results;
    results.reserve(array.size());
    for (const AdapterRecord& record : array) {
        if (record.changed != 1) {
            results.emplace_back(CommitStatus::Unchanged);
            continue;
        }
        results.push_back(CommitAdapter(ports, clock, record));
        if (!results.back() && report && CommitFailureIsReported(results.back().failure()))
            report(results.back().failure());
    }
    return results;
}

}  // namespace varnok::mode
