#include "cli/linux/LatencyTimer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <charconv>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

std::string LatencyTimerPath(const std::string& root, const FtdiTty& port) {
    return root + port.ttySysPath + "/latency_timer";
}

bool WriteAll(int fd, const std::string& text) {
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno != EINTR) return false;
        if (n > 0) done += static_cast<std::size_t>(n);
    }
    return true;
}

constexpr char kRuleMark[] = "# Written by varnokctl";
constexpr std::size_t kFileNameSerialLength = 32;

std::string SafeNamePart(const std::string& raw, std::size_t length) {
    std::string part = raw.substr(0, length);
    for (char& c : part)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') c = '_';
    return part;
}

// FNV-1a over the raw serial in hexadecimal: a short, stable tag that the
// serial's own bytes cannot forge into the file name.
std::string HashTag(const FtdiTty& port) {
    uint32_t h = 2166136261u;
    for (const char c : port.usbSerial) {
        h ^= static_cast<unsigned char>(c);
        h *= 16777619u;
    }
    char tag[9];
    std::snprintf(tag, sizeof tag, "%08x", h);
    return tag;
}

std::string RulePath(const std::string& root, const std::string& name) {
    return root + kRulesDir + "/" + name;
}

}  // namespace

std::string ReasonOf(int error) {
    return std::string(std::strerror(error)) +
           (error == EACCES || error == EPERM ? " (run as root, for example with sudo)" : "");
}

std::optional<uint32_t> ReadLatencyTimer(const std::string& root, const FtdiTty& port, int* error) {
    const auto fail = [error](int code) -> std::optional<uint32_t> {
        if (error) *error = code;
        return std::nullopt;
    };
    Fd fd(::open(LatencyTimerPath(root, port).c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return fail(errno);
    char buf[16] = {};
    const ssize_t n = ::read(fd.get(), buf, sizeof buf - 1);
    if (n <= 0) return fail(n < 0 ? errno : EINVAL);
    char* end = nullptr;
    const long v = std::strtol(buf, &end, 10);
    while (*end == '\n' || *end == ' ') ++end;
    if (end == buf || *end != '\0' || v < 1 || v > 255) return fail(EINVAL);
    return static_cast<uint32_t>(v);
}

FileResult WriteLatencyTimer(const std::string& root, const FtdiTty& port, uint32_t value) {
    // O_TRUNC: sysfs ignores it; a plain file (a test's tree) needs it.
    Fd fd(::open(LatencyTimerPath(root, port).c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
    if (fd.get() < 0 || !WriteAll(fd.get(), std::to_string(value) + "\n") ||
        ::close(fd.release()) != 0)
        return Error();
    return FileResult{true, 0};
}

std::string UdevMatchPattern(const std::string& raw) {
    std::string pattern;
    for (const char c : raw) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x80) {
            if (pattern.empty() || pattern.back() != '*') pattern += '*';
        } else if (b < 0x20 || b == 0x7F || std::strchr("\"\\*?[]|", c) != nullptr) {
            pattern += '?';
        } else {
            pattern += c;
        }
    }
    return pattern;
}

// Rule files are small; anything past 64 KiB is not one of ours.
std::optional<std::string> ReadRuleFile(const std::string& path) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (fd.get() < 0) return std::nullopt;
    std::string text;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) return text;
        text.append(buf, static_cast<std::size_t>(n));
        if (text.size() > 65536) return std::nullopt;
    }
}

std::string LatencyRuleFileName(const FtdiTty& port) {
    return "75-varnokctl-latency-" + SafeNamePart(port.usbSerial, kFileNameSerialLength) + "-" +
           HashTag(port) + "-" + port.interfaceLetter() + ".rules";
}

std::string LatencyRuleText(const FtdiTty& port, uint32_t value) {
    char number[8];
    std::snprintf(number, sizeof number, "%02x", port.interfaceNumber & 0xFF);
    std::string flag = "VARNOKCTL_DEVICE_" + HashTag(port);
    for (char& c : flag) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::string v = std::to_string(value);
    // udev matches all ATTRS keys of one line on one parent device: the USB
    // device is recognised on the first line, its interface on the second.
    return std::string(kRuleMark) + ": latency timer " + v + " ms for interface " +
           port.interfaceLetter() + " of the FTDI device whose serial number is matched below.\n" +
           "ACTION==\"add\", SUBSYSTEM==\"usb-serial\", DRIVER==\"ftdi_sio\", "
           "ATTRS{idVendor}==\"0403\", ATTRS{serial}==\"" + UdevMatchPattern(port.usbSerial) +
           "\", ENV{" + flag + "}=\"1\"\n" +
           "ACTION==\"add\", SUBSYSTEM==\"usb-serial\", ENV{" + flag + "}==\"1\", "
           "ATTRS{bInterfaceNumber}==\"" + number + "\", ATTR{latency_timer}=\"" + v + "\"\n";
}

std::optional<uint32_t> PersistedLatency(const std::string& ruleText) {
    if (ruleText.compare(0, sizeof kRuleMark - 1, kRuleMark) != 0) return std::nullopt;
    // The assignment ends the rule: a serial can hold the same text in the
    // match value before it, so the last one counts.
    static constexpr char kAssign[] = "ATTR{latency_timer}=\"";
    const std::size_t at = ruleText.rfind(kAssign);
    if (at == std::string::npos) return std::nullopt;
    const char* digits = ruleText.data() + at + sizeof kAssign - 1;
    const char* last = ruleText.data() + ruleText.size();
    uint32_t value = 0;
    const auto [end, ec] = std::from_chars(digits, last, value);
    if (ec != std::errc() || end - digits > 3 || end == last || *end != '"' || value < 1 ||
        value > 255)
        return std::nullopt;
    return value;
}

std::optional<uint32_t> ReadPersistedLatency(const std::string& root, const FtdiTty& port) {
    const std::optional<std::string> text = ReadRuleFile(RulePath(root, LatencyRuleFileName(port)));
    return text ? PersistedLatency(*text) : std::nullopt;
}

FileResult WriteFileBeside(const std::string& path, const std::string& text) {
    const std::string temp = path + ".tmp";
    Fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (fd.get() < 0) return Error();
    if (WriteAll(fd.get(), text) && ::fsync(fd.get()) == 0 && ::close(fd.release()) == 0 &&
        ::rename(temp.c_str(), path.c_str()) == 0)
        return FileResult{true, 0};
    const FileResult failed = Error();
    ::unlink(temp.c_str());
    return failed;
}

FileResult WriteLatencyRule(const std::string& root, const FtdiTty& port, uint32_t value) {
    return WriteFileBeside(RulePath(root, LatencyRuleFileName(port)), LatencyRuleText(port, value));
}

bool LatencyRuleExists(const std::string& root, const FtdiTty& port) {
    return ::access(RulePath(root, LatencyRuleFileName(port)).c_str(), F_OK) == 0;
}

FileResult RemoveFile(const std::string& path) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) return Error();
    return FileResult{true, 0};
}

FileResult RemoveLatencyRule(const std::string& root, const FtdiTty& port) {
    return RemoveFile(RulePath(root, LatencyRuleFileName(port)));
}

bool RemoveOlderLatencyRule(const std::string& root, const FtdiTty& port) {
    const std::string name = "75-varnokctl-latency-" +
                             SafeNamePart(port.usbSerial.empty() ? "noserial" : port.usbSerial,
                                          std::string::npos) +
                             "-" + port.interfaceLetter() + ".rules";
    const std::string path = RulePath(root, name);
    const std::optional<std::string> text = ReadRuleFile(path);
    if (!text || text->compare(0, sizeof kRuleMark - 1, kRuleMark) != 0) return false;
    return ::unlink(path.c_str()) == 0;
}

}  // namespace varnok::linuxhost
