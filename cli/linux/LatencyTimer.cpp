#include "cli/linux/LatencyTimer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace varnok::linuxhost {

namespace {

// Owns a file descriptor.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { if (fd_ >= 0) ::close(fd_); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    int release() { int fd = fd_; fd_ = -1; return fd; }

private:
    int fd_;
};

FileResult Error() { return FileResult{false, errno}; }

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::string LatencyTimerPath(const std::string& root, const FtdiTty& port) {
    return root + port.ttySysPath + "/latency_timer";
}

std::optional<uint32_t> ReadLatencyTimer(const std::string& root, const FtdiTty& port, int* error) {
    Fd fd(::open(LatencyTimerPath(root, port).c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        if (error) *error = errno;
        return std::nullopt;
    }
    char buf[16] = {};
    const ssize_t n = ::read(fd.get(), buf, sizeof buf - 1);
    if (n <= 0) {
        if (error) *error = n < 0 ? errno : EINVAL;
        return std::nullopt;
    }
    char* end = nullptr;
    const long v = std::strtol(buf, &end, 10);
    while (end && (*end == '\n' || *end == ' ')) ++end;
    if (end == buf || (end && *end != '\0') || v < 1 || v > 255) {
        if (error) *error = EINVAL;
        return std::nullopt;
    }
    return static_cast<uint32_t>(v);
}

FileResult WriteLatencyTimer(const std::string& root, const FtdiTty& port, uint32_t value) {
    // O_TRUNC: sysfs ignores it; a plain file (a test's tree) needs it.
    Fd fd(::open(LatencyTimerPath(root, port).c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
    if (fd.get() < 0) return Error();
    if (!WriteAll(fd.get(), std::to_string(value) + "\n")) return Error();
    if (::close(fd.release()) != 0) return Error();
    return FileResult{true, 0};
}

std::string LatencyRuleFileName(const FtdiTty& port) {
    std::string serial = port.usbSerial.empty() ? "noserial" : port.usbSerial;
    for (char& c : serial)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') c = '_';
    return "75-varnokctl-latency-" + serial + "-" + port.interfaceLetter() + ".rules";
}

std::string LatencyRuleText(const FtdiTty& port, uint32_t value) {
    char number[8];
    std::snprintf(number, sizeof number, "%02x", port.interfaceNumber & 0xFF);
    // udev matches values as glob patterns: quote the characters that mean
    // something there, and refuse quotes outright (they end the value).
    std::string serial;
    for (char c : port.usbSerial) {
        if (c == '*' || c == '?' || c == '[' || c == ']' || c == '|') serial += '\\';
        if (c != '"' && c != '\\' && static_cast<unsigned char>(c) >= 0x20) serial += c;
    }
    return "# Written by varnokctl: latency timer " + std::to_string(value) + " ms for " +
           port.portSerial() + " (" + port.description + ").\n" +
           "ACTION==\"add\", SUBSYSTEM==\"usb-serial\", DRIVERS==\"ftdi_sio\", "
           "ATTRS{idVendor}==\"0403\", ATTRS{serial}==\"" + serial +
           "\", ATTRS{bInterfaceNumber}==\"" + number + "\", ATTR{latency_timer}=\"" +
           std::to_string(value) + "\"\n";
}

FileResult WriteLatencyRule(const std::string& root, const FtdiTty& port, uint32_t value) {
    const std::string dir = root + kRulesDir;
    const std::string path = dir + "/" + LatencyRuleFileName(port);
    const std::string temp = path + ".tmp";
    {
        Fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (fd.get() < 0) return Error();
        if (!WriteAll(fd.get(), LatencyRuleText(port, value)) || ::close(fd.release()) != 0) {
            const FileResult failed = Error();
            ::unlink(temp.c_str());
            return failed;
        }
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const FileResult failed = Error();
        ::unlink(temp.c_str());
        return failed;
    }
    return FileResult{true, 0};
}

}  // namespace varnok::linuxhost
