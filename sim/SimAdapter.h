// Simulated adapter controller: the firmware side of the configuration
// protocol, byte by byte. It is driven by time stamps only (milliseconds), so
// the same object runs in virtual time behind SimSerialPorts and in real time
// on a pseudo-terminal (sim/adapter_main.cpp).
//
// What it does:
//  - a lone CR is answered with the identification line
//    CR "[" hex port count "#" hex type code "]" " " name ":" version CR LF;
//  - "0" CR is a no-op (the host sends four of them to resynchronise);
//  - "96" CR is answered with the settings reply;
//  - "97" CR is answered with CR LF "OK" CR LF; the bytes that follow up to
//    CR "99" CR are the new settings text, stored and applied;
//  - "98" CR leaves configuration mode.
// A configuration interface (accessKind 2) always listens. A first data port
// (accessKind 1) is only in configuration mode while its button has been
// held: it then announces its identification line unprompted every
// `announcePeriodMs` until the host sends a byte; after "98" CR it is a data
// port again and neither listens nor talks.
#pragma once
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace varnok::sim {

enum class Misbehaviour {
    None,
    Silent,             // never sends a byte
    GarbledId,          // identification line without its leading CR and "["
    WrongPortNumber,    // the settings reply numbers its second block 3
    NoOk,               // answers "97" CR with an error instead of "OK"
    UnplugInCommit,     // unplugged after the first bytes of the settings text
};

struct SimAdapterPort {
    uint8_t modeCode = 8;
    uint8_t controlBits = 0;
};

struct SimAdapterOptions {
    int accessKind = 2;            // 2: configuration interface, 1: first data port
    uint16_t typeCode = 0x0203;    // high byte 0x10: reduced model
    unsigned portCount = 4;        // declared in the identification line (may exceed 64)
    std::string name = "Varnok Plus 4";
    std::string version = "FW 2.3";
    Misbehaviour misbehaviour = Misbehaviour::None;
    bool configButtonHeld = true;  // accessKind 1: in configuration mode at start
    // accessKind 1: the button is pressed again as soon as configuration mode
    // is left, so that a later search finds the adapter again.
    bool rearmAfterLeave = false;
    // Reply timing: first byte this long after the command's CR, then the
    // line rate of 38400 baud (about 4 bytes per millisecond).
    uint32_t idLatencyMs = 5;
    uint32_t settingsLatencyMs = 40;
    uint32_t okLatencyMs = 20;
    uint32_t announcePeriodMs = 50;
    uint32_t announcePhaseMs = 20;
};

class SimAdapter {
public:
    explicit SimAdapter(const SimAdapterOptions& options);

    // A byte from the host arrives at time `nowMs`.
    void receive(uint8_t byte, uint64_t nowMs);
    // Schedules unprompted output (announcements) up to time `untilMs`.
    void produceUntil(uint64_t untilMs);

    struct OutByte {
        uint64_t atMs;
        uint8_t byte;
    };
    // Bytes on their way to the host, in order of arrival.
    std::deque<OutByte>& output() { return out_; }

    const SimAdapterOptions& options() const { return opt_; }
    std::vector<SimAdapterPort> ports;       // current settings, port 1 first
    std::vector<uint8_t> received;            // every byte the host sent
    std::vector<std::string> storedTexts;     // each settings text stored by a commit
    std::vector<std::string> events;          // "enter", "settings", "ok", "store", "leave"
    bool inConfigMode() const { return configMode_; }
    bool unplugged = false;
    bool heldByOtherProgram = false;

    std::string identificationLine() const;
    std::string settingsReply() const;
    // Applies a settings text ("\r\n%d\r\n%d\r\n%d\r\n" per port); false when
    // it is malformed (nothing is applied then).
    bool applySettingsText(const std::string& text);

private:
    void send(const std::string& text, uint64_t firstByteAtMs);
    void command(const std::string& cmd, uint64_t nowMs);

    SimAdapterOptions opt_;
    std::deque<OutByte> out_;
    std::string line_;          // command being received
    bool configMode_ = true;
    bool receivingSettings_ = false;
    std::string settings_;      // settings text being received
    bool announcing_ = false;
    uint64_t nextAnnounceMs_ = 0;
    uint64_t lastOutMs_ = 0;
};

// Bytes as log text: each one a space and two upper-case hex digits (" 0D 0A").
std::string SpacedHex(const uint8_t* bytes, std::size_t size);

}  // namespace varnok::sim
