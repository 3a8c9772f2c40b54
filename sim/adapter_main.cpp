// adapter: runs the simulated adapter controller on a pseudo-terminal in real
// time, for the end-to-end tests and the demo. It prints the terminal's path
// (the slave side) on the first line of its output; Wine maps a COM port to
// that path through HKLM\Software\Wine\Ports.
//
//   adapter [--family config|first] [--model standard|reduced] [--type HEX]
//           [--ports N] [--name TEXT] [--version TEXT]
//           [--misbehave none|silent|garbled|wrong-port|no-ok|unplug]
//           [--rearm] [--log FILE] [--link PATH] [--seconds N] [--master-fd N]
//
// --master-fd: answer on the master side of a pseudo-terminal that the
// caller opened and handed down (as umockdev makes one for a fake tty)
// instead of a terminal of its own.
//
// The log file gets one line per event, appended as it happens:
//   <ms> recv <hex bytes>          bytes received from the host
//   <ms> sent <hex bytes>          bytes sent to the host
//   <ms> store <escaped text>      a settings text stored by a commit
//   <ms> ports 1:<mode>/<bits> ... the adapter's settings after a store
//   <ms> event <what>              settings / ok / busy / leave / unplugged
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sim/SimAdapter.h"
#include "sim/SimD2xx.h"

using varnok::sim::Misbehaviour;
using varnok::sim::ParseUnsigned;
using varnok::sim::SimAdapter;
using varnok::sim::SimAdapterOptions;
using varnok::sim::SpacedHex;

namespace {

volatile sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }

void Usage() {
    std::fprintf(stderr,
                 "usage: adapter [--family config|first] [--model standard|reduced] [--type HEX]\n"
                 "               [--ports N] [--name TEXT] [--version TEXT]\n"
                 "               [--misbehave none|silent|garbled|wrong-port|no-ok|unplug]\n"
                 "               [--rearm] [--log FILE] [--link PATH] [--seconds N]\n"
                 "               [--master-fd N]\n");
}

std::string Escaped(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\\') out += "\\\\";
        else if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) {
            char b[8];
            std::snprintf(b, sizeof b, "\\x%02X", static_cast<unsigned char>(c));
            out += b;
        } else out += c;
    }
    return out;
}

class Log {
public:
    explicit Log(const std::string& path) {
        if (!path.empty()) f_ = std::fopen(path.c_str(), "a");
    }
    ~Log() {
        if (f_ != nullptr) std::fclose(f_);
    }
    bool ok(const std::string& path) const { return path.empty() || f_ != nullptr; }
    void line(uint64_t ms, const std::string& what) {
        if (f_ == nullptr) return;
        std::fprintf(f_, "%llu %s\n", static_cast<unsigned long long>(ms), what.c_str());
        std::fflush(f_);
    }

private:
    FILE* f_ = nullptr;
};

// Both ends of the pseudo-terminal, closed on every path.
struct Pty {
    int master = -1;
    int slave = -1;
    ~Pty() {
        if (slave >= 0) close(slave);
        if (master >= 0) close(master);
    }
};

}  // namespace

int main(int argc, char** argv) {
    SimAdapterOptions o;
    std::string logPath, linkPath;
    long seconds = 0;
    int masterFd = -1;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](const char* what) -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "adapter: %s needs a value\n", what);
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--family") {
            std::string v = value("--family");
            if (v == "config") o.accessKind = 2;
            else if (v == "first") o.accessKind = 1;
            else return Usage(), 2;
        } else if (a == "--model") {
            std::string v = value("--model");
            if (v == "standard") o.typeCode = 0x0203;
            else if (v == "reduced") o.typeCode = 0x1004;
            else return Usage(), 2;
        } else if (a == "--type") {
            uint32_t t = 0;
            if (!ParseUnsigned(value("--type"), 16, &t) || t > 0xFFFF) return Usage(), 2;
            o.typeCode = static_cast<uint16_t>(t);
        } else if (a == "--ports") {
            uint32_t n = 0;
            if (!ParseUnsigned(value("--ports"), 10, &n) || n < 1 || n > 255) return Usage(), 2;
            o.portCount = n;
        } else if (a == "--name") {
            o.name = value("--name");
        } else if (a == "--version") {
            o.version = value("--version");
        } else if (a == "--misbehave") {
            std::string v = value("--misbehave");
            if (v == "none") o.misbehaviour = Misbehaviour::None;
            else if (v == "silent") o.misbehaviour = Misbehaviour::Silent;
            else if (v == "garbled") o.misbehaviour = Misbehaviour::GarbledId;
            else if (v == "wrong-port") o.misbehaviour = Misbehaviour::WrongPortNumber;
            else if (v == "no-ok") o.misbehaviour = Misbehaviour::NoOk;
            else if (v == "unplug") o.misbehaviour = Misbehaviour::UnplugInCommit;
            else return Usage(), 2;
        } else if (a == "--rearm") {
            o.rearmAfterLeave = true;
        } else if (a == "--log") {
            logPath = value("--log");
        } else if (a == "--link") {
            linkPath = value("--link");
        } else if (a == "--master-fd") {
            masterFd = static_cast<int>(std::strtol(value("--master-fd").c_str(), nullptr, 10));
            if (masterFd < 0) return Usage(), 2;
        } else if (a == "--seconds") {
            seconds = std::strtol(value("--seconds").c_str(), nullptr, 10);
        } else {
            Usage();
            return 2;
        }
    }

    Log log(logPath);
    if (!log.ok(logPath)) {
        std::fprintf(stderr, "adapter: cannot open log %s: %s\n", logPath.c_str(), std::strerror(errno));
        return 1;
    }

    Pty pty;
    pty.master = masterFd >= 0 ? masterFd : posix_openpt(O_RDWR | O_NOCTTY);
    if (pty.master < 0 || grantpt(pty.master) != 0 || unlockpt(pty.master) != 0) {
        std::perror("adapter: pseudo-terminal");
        return 1;
    }
    const char* name = ptsname(pty.master);
    if (name == nullptr) {
        std::perror("adapter: ptsname");
        return 1;
    }
    std::string slavePath = name;
    // Keeping the slave open ourselves keeps the terminal alive between the
    // host's opens; raw mode: no echo, no line editing, no CR/LF mapping.
    pty.slave = open(slavePath.c_str(), O_RDWR | O_NOCTTY);
    if (pty.slave < 0) {
        std::perror("adapter: open slave");
        return 1;
    }
    termios tio{};
    if (tcgetattr(pty.slave, &tio) == 0) {
        cfmakeraw(&tio);
        cfsetispeed(&tio, B38400);
        cfsetospeed(&tio, B38400);
        tcsetattr(pty.slave, TCSANOW, &tio);
    }
    fcntl(pty.master, F_SETFL, fcntl(pty.master, F_GETFL) | O_NONBLOCK);
    if (!linkPath.empty()) {
        unlink(linkPath.c_str());
        if (symlink(slavePath.c_str(), linkPath.c_str()) != 0) {
            std::perror("adapter: symlink");
            return 1;
        }
    }
    std::printf("%s\n", slavePath.c_str());
    std::fflush(stdout);

    signal(SIGINT, OnSignal);
    signal(SIGTERM, OnSignal);
    signal(SIGPIPE, SIG_IGN);

    SimAdapter adapter(o);
    const auto t0 = std::chrono::steady_clock::now();
    auto now = [&]() -> uint64_t {
        return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now() - t0)
                                         .count());
    };
    std::size_t storedSeen = 0, eventsSeen = 0;
    auto logPorts = [&](uint64_t at) {
        std::string ports = "ports";
        for (std::size_t k = 0; k < adapter.ports.size(); ++k)
            ports += " " + std::to_string(k + 1) + ":" + std::to_string(adapter.ports[k].modeCode) +
                     "/" + std::to_string(adapter.ports[k].controlBits);
        log.line(at, ports);
    };
    logPorts(0);

    while (!g_stop) {
        uint64_t t = now();
        if (seconds > 0 && t >= static_cast<uint64_t>(seconds) * 1000) break;

        // Bytes due now go out; the next due byte decides how long to wait.
        adapter.produceUntil(t);
        std::vector<uint8_t> due;
        auto& q = adapter.output();
        while (!q.empty() && q.front().atMs <= t) {
            due.push_back(q.front().byte);
            q.pop_front();
        }
        if (!due.empty()) {
            ssize_t w = write(pty.master, due.data(), due.size());
            (void)w;  // a full terminal drops the bytes, like a line nobody listens to
            log.line(t, "sent" + SpacedHex(due.data(), due.size()));
        }
        int waitMs = 5;
        if (!q.empty()) {
            uint64_t next = q.front().atMs;
            waitMs = next <= t ? 0 : static_cast<int>(std::min<uint64_t>(next - t, 5));
        }

        pollfd p{pty.master, POLLIN, 0};
        int r = poll(&p, 1, waitMs);
        if (r > 0 && (p.revents & POLLIN)) {
            uint8_t buf[512];
            ssize_t n = read(pty.master, buf, sizeof buf);
            if (n > 0) {
                uint64_t at = now();
                log.line(at, "recv" + SpacedHex(buf, static_cast<std::size_t>(n)));
                for (ssize_t k = 0; k < n; ++k) adapter.receive(buf[k], at);
            }
        }

        while (eventsSeen < adapter.events.size()) log.line(now(), "event " + adapter.events[eventsSeen++]);
        while (storedSeen < adapter.storedTexts.size()) {
            log.line(now(), "store " + Escaped(adapter.storedTexts[storedSeen++]));
            logPorts(now());
        }
        if (adapter.unplugged) {
            log.line(now(), "event unplugged");
            break;  // closing both ends: the host's next read or write fails
        }
    }
    if (!linkPath.empty()) unlink(linkPath.c_str());
    return 0;
}
