#include "modetool/Protocol.h"

#include <algorithm>
#include <cstdio>

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
    std::size_t n = 0;
    while (n < size && data[n] != 0) ++n;
    return std::string(reinterpret_cast<const char*>(data), n);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Leading hexadecimal digits from `pos` up to `end`; the low 32 bits are kept,
// the caller truncates further.
uint32_t HexNumber(const std::string& s, std::size_t pos, std::size_t end) {
    uint32_t v = 0;
    for (std::size_t i = pos; i < end && i < s.size(); ++i) {
        int d = HexDigit(s[i]);
        if (d < 0) break;
        v = (v << 4) | static_cast<uint32_t>(d);
    }
    return v;
}

// Leading decimal digits at `pos`, saturating at 0xFFFFFFFF; 0 without digits.
uint32_t DecNumber(const std::string& s, std::size_t pos) {
    uint64_t v = 0;
    for (std::size_t i = pos; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        v = v * 10 + static_cast<uint64_t>(s[i] - '0');
        if (v > 0xFFFFFFFFull) v = 0xFFFFFFFFull;
    }
    return static_cast<uint32_t>(v);
}

struct Reply {
    std::vector<uint8_t> buffer = std::vector<uint8_t>(kReadSize + 1, 0);
    uint32_t size = 0;
};

bool ReadReply(serial::SerialPort& port, Reply* reply) {
    reply->size = 0;
    if (!port.read(reply->buffer.data(), kReadSize, &reply->size)) return false;
    if (reply->size > kReadSize) reply->size = kReadSize;  // never trust a count beyond the buffer
    reply->buffer[reply->size] = 0;
    return true;
}

}  // namespace

const char kNoSystemText[] = "(the system has no description of this error)";

// ---------------------------------------------------------------- parsers

IdResult ParseIdentification(const uint8_t* data, std::size_t size, AdapterRecord* record) {
    if (data == nullptr || size < 14 || data[0] != '\r' || data[1] != '[')
        return IdResult::NotIdLine;
    const std::string text = AsText(data, size);
    *record = AdapterRecord{};

    std::size_t hash = text.find('#', 2);
    if (hash == std::string::npos) return IdResult::NoMarker;
    uint32_t count = HexNumber(text, 2, hash) & 0xFFu;
    if (count == 0) return IdResult::NoPorts;
    record->portCount = static_cast<uint8_t>(count);
    if (count > static_cast<uint32_t>(kMaxPorts)) return IdResult::TooManyPorts;

    std::size_t close = text.find(']', hash + 1);
    if (close == std::string::npos) return IdResult::NoMarker;
    record->typeCode = static_cast<uint16_t>(HexNumber(text, hash + 1, close) & 0xFFFFu);

    std::size_t nameStart = close + 2;  // one separator byte after "]"
    if (nameStart < text.size()) {
        std::size_t colon = text.find(':', close + 1);
        std::size_t nameEnd = colon == std::string::npos ? text.size() : colon;
        if (nameEnd > nameStart) {
            std::size_t len = std::min(nameEnd - nameStart, kMaxAdapterName);
            record->adapterName = text.substr(nameStart, len);
        }
    }
    return IdResult::Ok;
}

bool ParseSettingsReply(const uint8_t* data, std::size_t size, AdapterRecord* record) {
    if (data == nullptr || record->portCount > kMaxPorts) return false;
    const std::string text = AsText(data, size);
    std::size_t start = text.find("\r\n\r\n\r\n");
    if (start == std::string::npos) return false;
    std::size_t pos = start + 2;
    for (uint32_t i = 1; i <= record->portCount; ++i) {
        std::size_t block = text.find("\r\n\r\n", pos);
        if (block == std::string::npos) return false;
        std::size_t numberAt = block + 4;
        if (DecNumber(text, numberAt) != i) return false;
        std::size_t modeLine = text.find("\r\n", numberAt);
        if (modeLine == std::string::npos) return false;
        std::size_t modeAt = modeLine + 2;
        std::size_t bitsLine = text.find("\r\n", modeAt);
        if (bitsLine == std::string::npos) return false;
        std::size_t bitsAt = bitsLine + 2;
        record->ports[i - 1].modeCode = static_cast<uint8_t>(DecNumber(text, modeAt) & 0xFFu);
        record->ports[i - 1].controlBits = static_cast<uint8_t>(DecNumber(text, bitsAt) & 0xFFu);
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

std::unique_ptr<serial::SerialPort> OpenConfigPort(ModeTool& tool, const std::string& path) {
    std::unique_ptr<serial::SerialPort> port = tool.serial.open(path);
    if (!port) return nullptr;
    const serial::CommTimeouts timeouts{30, 0, 90, 0, 0};
    if (!port->setTimeouts(timeouts)) return nullptr;
    if (!port->setLine(kLineSettings)) return nullptr;
    if (!port->purge(serial::kPurgeTxClear | serial::kPurgeRxClear)) return nullptr;
    return port;
}

bool SendText(ModeTool& tool, serial::SerialPort& port, const std::string& text) {
    for (char c : text) {
        uint8_t byte = static_cast<uint8_t>(c);
        uint32_t written = 0;
        if (!port.write(&byte, 1, &written) || written != 1) return false;
        tool.clock.sleepMs(kByteWaitMs);
    }
    return true;
}

bool EnterConfigMode(ModeTool& tool, serial::SerialPort& port, Purpose purpose) {
    tool.inConfigMode = true;
    if (!SendText(tool, port, "\r")) return false;
    tool.clock.sleepMs(kEnterWaitMs);
    if (!port.purge(serial::kPurgeRxClear)) return false;
    if (purpose == Purpose::Read) {
        if (!SendText(tool, port, "96\r")) return false;
        tool.clock.sleepMs(kReadWaitMs);
    } else {
        if (!SendText(tool, port, "97\r")) return false;
        tool.clock.sleepMs(kWriteWaitMs);
    }
    return true;
}

bool LeaveConfigMode(ModeTool& tool, serial::SerialPort& port) {
    if (!tool.inConfigMode) return false;
    tool.inConfigMode = false;
    return SendText(tool, port, "98\r");
}

int QueryAdapter(ModeTool& tool, AdapterRecord* record, const std::string& portName,
                 int accessKind) {
    // Only what this exchange's own calls leave behind is reported.
    tool.serial.setLastError(serial::kErrorSuccess);
    const std::string path = kPathPrefix + portName;
    std::unique_ptr<serial::SerialPort> port;
    Reply reply;
    bool ok = false;

    do {
        if (path.size() > kMaxDevicePath) break;
        port = OpenConfigPort(tool, path);
        if (!port) break;

        bool identified = false;
        bool failed = false;
        for (int attempt = 0; attempt < 2 && !identified && !failed; ++attempt) {
            if (attempt == 0 && accessKind == kAccessConfigInterface) {
                if (!SendText(tool, *port, "0\r0\r0\r0\r") ||
                    !port->purge(serial::kPurgeRxClear) || !SendText(tool, *port, "\r")) {
                    failed = true;
                    break;
                }
            }
            if (!ReadReply(*port, &reply) || reply.size == 0) {
                failed = true;
                break;
            }
            switch (ParseIdentification(reply.buffer.data(), reply.size, record)) {
                case IdResult::Ok: identified = true; break;
                case IdResult::NoPorts:
                case IdResult::TooManyPorts: failed = true; break;
                case IdResult::NotIdLine:
                case IdResult::NoMarker: break;
            }
        }
        if (!identified) break;
        record->devicePath = path;

        if (!EnterConfigMode(tool, *port, Purpose::Read)) break;
        if (!ReadReply(*port, &reply)) break;
        if (!ParseSettingsReply(reply.buffer.data(), reply.size, record)) break;
        if (!LeaveConfigMode(tool, *port)) break;
        ok = true;
    } while (false);

    if (ok) {
        port.reset();
        return 0;
    }
    uint32_t code = tool.serial.lastError();
    if (code != serial::kErrorSuccess && code != serial::kErrorAccessDenied)
        ReportError(tool, code, portName);
    if (port) {
        LeaveConfigMode(tool, *port);
        port.reset();
    }
    return kQueryFailed;
}

namespace {

// One adapter's commit; false on the error path (the port is still open then).
bool CommitOne(ModeTool& tool, AdapterRecord& record,
               std::unique_ptr<serial::SerialPort>* portOut) {
    auto& port = *portOut;
    port = OpenConfigPort(tool, record.devicePath);
    if (!port) return false;
    if (!EnterConfigMode(tool, *port, Purpose::Write)) return false;
    Reply reply;
    if (!ReadReply(*port, &reply)) return false;
    if (AsText(reply.buffer.data(), reply.size).find("\r\nOK") == std::string::npos) {
        // The adapter declined: leave it as it is, without a message.
        if (!LeaveConfigMode(tool, *port)) return false;
        port.reset();
        return true;
    }

    const std::string text = BuildSettingsText(record);
    std::size_t pos = 0;
    for (int piece = 0; piece < kMaxPieces && pos < text.size(); ++piece) {
        uint32_t size = static_cast<uint32_t>(std::min(kPieceSize, text.size() - pos));
        uint32_t written = 0;
        if (!port->write(reinterpret_cast<const uint8_t*>(text.data() + pos), size, &written))
            return false;
        tool.clock.sleepMs(kPieceWaitMs);
        pos += std::min(written, size);
    }
    if (!SendText(tool, *port, "\r99\r")) return false;
    tool.clock.sleepMs(kStoreWaitMs);
    if (!LeaveConfigMode(tool, *port)) return false;
    port.reset();
    return true;
}

}  // namespace

int CommitAdapters(ModeTool& tool, AdapterArray* array) {
    if (array == nullptr) return 0;
    for (AdapterRecord& record : *array) {
        if (record.changed != 1) continue;
        tool.serial.setLastError(serial::kErrorSuccess);
        std::unique_ptr<serial::SerialPort> port;
        if (CommitOne(tool, record, &port)) continue;
        uint32_t code = tool.serial.lastError();
        if (code != serial::kErrorSuccess) ReportError(tool, code, record.devicePath);
        if (port) {
            if (tool.inConfigMode) LeaveConfigMode(tool, *port);
            port.reset();
        }
    }
    return 0;
}

void ReportError(ModeTool& tool, uint32_t code, const std::string& name) {
    std::string text = ErrorMessageText(code, name, tool.serial.systemMessage(code));
    if (tool.view != nullptr) tool.view->messageBox(text, "Error", ui::Icon::Warning);
}

}  // namespace varnok::mode
