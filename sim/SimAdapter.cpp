#include "sim/SimAdapter.h"

#include <cstdio>

namespace varnok::sim {

namespace {

constexpr unsigned kBytesPerMs = 4;  // 38400 baud, 10 bits per byte

// Leading decimal digits at `pos`; false when there are none.
bool Number(const std::string& s, std::size_t* pos, unsigned* value) {
    std::size_t p = *pos;
    unsigned v = 0;
    while (p < s.size() && s[p] >= '0' && s[p] <= '9') {
        v = v * 10 + static_cast<unsigned>(s[p] - '0');
        if (v > 100000) return false;
        ++p;
    }
    if (p == *pos) return false;
    *pos = p;
    *value = v;
    return true;
}

bool Expect(const std::string& s, std::size_t* pos, const std::string& lit) {
    if (s.compare(*pos, lit.size(), lit) != 0) return false;
    *pos += lit.size();
    return true;
}

}  // namespace

SimAdapter::SimAdapter(const SimAdapterOptions& options) : opt_(options) {
    unsigned n = opt_.portCount;
    ports.resize(n);
    bool reduced = (opt_.typeCode & 0xFF00) == 0x1000;
    for (unsigned i = 0; i < n; ++i) {
        ports[i].modeCode = static_cast<uint8_t>(1 + i % (reduced ? 4 : 8));
        ports[i].controlBits = static_cast<uint8_t>(i % (reduced ? 2 : 8));
    }
    if (opt_.accessKind == 1) {
        configMode_ = opt_.configButtonHeld;
        announcing_ = configMode_;
        nextAnnounceMs_ = opt_.announcePhaseMs;
    } else {
        configMode_ = true;  // the configuration interface always listens
    }
}

std::string SimAdapter::identificationLine() const {
    char head[48];
    std::snprintf(head, sizeof head, "\r[%X#%04X] ", opt_.portCount,
                  static_cast<unsigned>(opt_.typeCode));
    std::string line = std::string(head) + opt_.name + ":" + opt_.version + "\r\n";
    if (opt_.misbehaviour == Misbehaviour::GarbledId) line = line.substr(2);
    return line;
}

std::string SimAdapter::settingsReply() const {
    std::string r = "\r\nSETTINGS " + opt_.name + "\r\n";
    char block[64];
    for (std::size_t i = 0; i < ports.size(); ++i) {
        unsigned number = static_cast<unsigned>(i + 1);
        if (opt_.misbehaviour == Misbehaviour::WrongPortNumber && number == 2) number = 3;
        std::snprintf(block, sizeof block, "\r\n\r\n%u\r\n%u\r\n%u", number,
                      static_cast<unsigned>(ports[i].modeCode),
                      static_cast<unsigned>(ports[i].controlBits));
        r += block;
    }
    r += "\r\n";
    return r;
}

bool SimAdapter::applySettingsText(const std::string& text) {
    std::vector<SimAdapterPort> next = ports;
    std::size_t pos = 0;
    while (pos < text.size()) {
        unsigned number = 0, mode = 0, bits = 0;
        if (!Expect(text, &pos, "\r\n") || !Number(text, &pos, &number) ||
            !Expect(text, &pos, "\r\n") || !Number(text, &pos, &mode) ||
            !Expect(text, &pos, "\r\n") || !Number(text, &pos, &bits) ||
            !Expect(text, &pos, "\r\n"))
            return false;
        if (number < 1 || number > next.size() || mode > 255 || bits > 255) return false;
        next[number - 1].modeCode = static_cast<uint8_t>(mode);
        next[number - 1].controlBits = static_cast<uint8_t>(bits);
    }
    ports = next;
    return true;
}

void SimAdapter::send(const std::string& text, uint64_t firstByteAtMs) {
    if (opt_.misbehaviour == Misbehaviour::Silent || unplugged) return;
    uint64_t start = firstByteAtMs > lastOutMs_ ? firstByteAtMs : lastOutMs_;
    for (std::size_t i = 0; i < text.size(); ++i) {
        uint64_t at = start + i / kBytesPerMs;
        out_.push_back({at, static_cast<uint8_t>(text[i])});
        lastOutMs_ = at;
    }
}

void SimAdapter::produceUntil(uint64_t untilMs) {
    while (announcing_ && configMode_ && nextAnnounceMs_ <= untilMs) {
        send(identificationLine(), nextAnnounceMs_);
        nextAnnounceMs_ += opt_.announcePeriodMs;
    }
}

void SimAdapter::receive(uint8_t byte, uint64_t nowMs) {
    if (unplugged) return;
    received.push_back(byte);
    if (!configMode_) return;  // a data port: the controller does not listen
    produceUntil(nowMs);
    announcing_ = false;  // the host has spoken: it leads from now on

    if (receivingSettings_) {
        settings_.push_back(static_cast<char>(byte));
        if (opt_.misbehaviour == Misbehaviour::UnplugInCommit) {
            unplugged = true;
            return;
        }
        const std::string end = "\r99\r";
        if (settings_.size() >= end.size() &&
            settings_.compare(settings_.size() - end.size(), end.size(), end) == 0) {
            std::string text = settings_.substr(0, settings_.size() - end.size());
            storedTexts.push_back(text);
            events.push_back(applySettingsText(text) ? "store" : "store rejected");
            receivingSettings_ = false;
            settings_.clear();
        }
        return;
    }

    if (byte == '\r') {
        std::string cmd;
        for (char c : line_)
            if (c != '\n') cmd.push_back(c);
        line_.clear();
        command(cmd, nowMs);
    } else if (line_.size() < 64) {
        line_.push_back(static_cast<char>(byte));
    }
}

void SimAdapter::command(const std::string& cmd, uint64_t nowMs) {
    if (cmd.empty()) {
        send(identificationLine(), nowMs + opt_.idLatencyMs);
    } else if (cmd == "0") {
        // resynchronisation: nothing to answer
    } else if (cmd == "96") {
        events.push_back("settings");
        send(settingsReply(), nowMs + opt_.settingsLatencyMs);
    } else if (cmd == "97") {
        if (opt_.misbehaviour == Misbehaviour::NoOk) {
            events.push_back("busy");
            send("\r\nBUSY\r\n", nowMs + opt_.okLatencyMs);
        } else {
            events.push_back("ok");
            send("\r\nOK\r\n", nowMs + opt_.okLatencyMs);
            receivingSettings_ = true;
            settings_.clear();
        }
    } else if (cmd == "98") {
        events.push_back("leave");
        if (opt_.accessKind == 1) {
            configMode_ = opt_.rearmAfterLeave;
            announcing_ = opt_.rearmAfterLeave;
            nextAnnounceMs_ = nowMs + opt_.announcePeriodMs;
        }
    } else {
        send("\r\n?\r\n", nowMs + opt_.idLatencyMs);
    }
}

std::string SpacedHex(const uint8_t* bytes, std::size_t size) {
    std::string out;
    char b[4];
    for (std::size_t i = 0; i < size; ++i) {
        std::snprintf(b, sizeof b, " %02X", bytes[i]);
        out += b;
    }
    return out;
}

}  // namespace varnok::sim
