#include "cli/linux/PosixSerial.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <utility>

namespace varnok::linuxhost {

namespace {

thread_local uint32_t t_lastError = 0;

bool Fail(int error) {
    switch (error) {
    case EBUSY: case EWOULDBLOCK: t_lastError = serial::kErrorAccessDenied; break;
    case ENOENT: case ENODEV: case ENXIO: t_lastError = serial::kErrorFileNotFound; break;
    case EIO: t_lastError = serial::kErrorGenFailure; break;
    default: t_lastError = static_cast<uint32_t>(error);
    }
    return false;
}

uint64_t NowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

// The termios speed of a rate; 0 for a rate that is not made.
speed_t Speed(unsigned long baud) {
    constexpr std::pair<unsigned long, speed_t> kSpeeds[] = {
        {9600, B9600}, {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}};
    for (const auto& [rate, speed] : kSpeeds)
        if (rate == baud) return speed;
    return 0;
}

class PosixSerialPort : public serial::SerialPort {
public:
    explicit PosixSerialPort(int fd) : fd_(fd) {}
    // The terminal is left as it was found: its settings, and open to others.
    ~PosixSerialPort() override {
        if (saved_) tcsetattr(fd_, TCSANOW, &found_);
        if (madeExclusive_) ioctl(fd_, TIOCNXCL);
        flock(fd_, LOCK_UN);
        ::close(fd_);
    }
    PosixSerialPort(const PosixSerialPort&) = delete;
    PosixSerialPort& operator=(const PosixSerialPort&) = delete;

    // Keeps the terminal's settings to put back at close.
    bool save() {
        if (tcgetattr(fd_, &found_) != 0) return Fail(errno);
        saved_ = true;
        return true;
    }

    // TIOCEXCL: no further open but root's. A terminal already exclusive
    // (opened by root) stays so at close.
    bool makeExclusive() {
        int wasExclusive = 0;
        if (ioctl(fd_, TIOCGEXCL, &wasExclusive) == 0 && wasExclusive != 0) return true;
        if (ioctl(fd_, TIOCEXCL) != 0) {
            // A terminal that knows no exclusive mode (an emulated one) is
            // guarded by the lock alone.
            return errno == ENOTTY || errno == EINVAL ? true : Fail(errno);
        }
        madeExclusive_ = true;
        return true;
    }

    bool setTimeouts(const serial::CommTimeouts& t) override {
        timeouts_ = t;
        return true;
    }

    // "38400,n,8,1": only no parity, 8 data bits and 1 stop bit are made.
    bool setLine(const std::string& definition) override {
        std::istringstream in(definition);
        unsigned long baud = 0;
        char comma1 = 0, parity = 0, comma2 = 0, comma3 = 0;
        int bits = 0, stop = 0;
        in >> baud >> comma1 >> parity >> comma2 >> bits >> comma3 >> stop;
        const speed_t speed = Speed(baud);
        if (!in || comma1 != ',' || comma2 != ',' || comma3 != ',' ||
            (parity != 'n' && parity != 'N') || bits != 8 || stop != 1 || speed == 0)
            return Fail(EINVAL);
        termios tio{};
        if (tcgetattr(fd_, &tio) != 0) return Fail(errno);
        cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        tio.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 0;
        if (cfsetispeed(&tio, speed) != 0 || cfsetospeed(&tio, speed) != 0 ||
            tcsetattr(fd_, TCSANOW, &tio) != 0)
            return Fail(errno);
        return true;
    }

    bool purge(uint32_t flags) override {
        const bool rx = (flags & serial::kPurgeRxClear) != 0;
        const bool tx = (flags & serial::kPurgeTxClear) != 0;
        if (!rx && !tx) return true;
        if (tcflush(fd_, rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH) != 0) return Fail(errno);
        return true;
    }

    bool read(uint8_t* buffer, uint32_t size, uint32_t* received) override {
        *received = 0;
        const uint64_t start = NowMs();
        uint64_t last = start;
        while (*received < size) {
            const uint64_t now = NowMs();
            uint64_t limit = UINT64_MAX;
            if (timeouts_.readTotalTimeoutConstant != 0 || timeouts_.readTotalTimeoutMultiplier != 0)
                limit = start + timeouts_.readTotalTimeoutConstant +
                        uint64_t{timeouts_.readTotalTimeoutMultiplier} * size;
            if (*received > 0 && timeouts_.readIntervalTimeout != 0)
                limit = std::min<uint64_t>(limit, last + timeouts_.readIntervalTimeout);
            if (now >= limit) break;
            const int wait = limit == UINT64_MAX ? -1 : static_cast<int>(limit - now);
            pollfd p{fd_, POLLIN, 0};
            const int ready = poll(&p, 1, wait);
            if (ready < 0) {
                if (errno == EINTR) continue;
                return Fail(errno);
            }
            if (ready == 0) break;
            if (p.revents & (POLLERR | POLLNVAL)) return Fail(EIO);
            const ssize_t n = ::read(fd_, buffer + *received, size - *received);
            if (n < 0) {
                if (errno == EINTR || errno == EAGAIN) continue;
                return Fail(errno);
            }
            if (n == 0) {
                if (p.revents & POLLHUP) return Fail(EIO);  // unplugged
                continue;
            }
            *received += static_cast<uint32_t>(n);
            last = NowMs();
        }
        return true;
    }

    bool write(const uint8_t* data, uint32_t size, uint32_t* written) override {
        *written = 0;
        while (*written < size) {
            const ssize_t n = ::write(fd_, data + *written, size - *written);
            if (n < 0) {
                if (errno == EINTR) continue;
                if (errno == EAGAIN) {
                    pollfd p{fd_, POLLOUT, 0};
                    poll(&p, 1, 1000);
                    continue;
                }
                return Fail(errno);
            }
            *written += static_cast<uint32_t>(n);
        }
        tcdrain(fd_);
        return true;
    }

private:
    int fd_;
    serial::CommTimeouts timeouts_{};
    termios found_{};
    bool saved_ = false;
    bool madeExclusive_ = false;
};

}  // namespace

std::string TtyPath(const std::string& path) {
    std::string name = path.rfind("\\\\.\\", 0) == 0 ? path.substr(4) : path;
    return name.find('/') == std::string::npos ? "/dev/" + name : name;
}

std::unique_ptr<serial::SerialPort> PosixSerialPorts::open(const std::string& path) {
    const int fd = ::open(TtyPath(path).c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        Fail(errno);
        return nullptr;
    }
    // Closes fd, and undoes what was done to the terminal, on every path below.
    auto port = std::make_unique<PosixSerialPort>(fd);
    if (!isatty(fd)) {
        Fail(ENOTTY);
        return nullptr;
    }
    // Another program that locks the port, or one that asked for it alone,
    // holds it: the port is in use. Its settings are that program's to keep.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        Fail(errno == EWOULDBLOCK ? EBUSY : errno);
        return nullptr;
    }
    if (!port->save() || !port->makeExclusive()) return nullptr;
    return port;
}

bool PosixSerialPorts::exists(const std::string& name) {
    return access(TtyPath(name).c_str(), F_OK) == 0;
}

uint32_t PosixSerialPorts::lastError() { return t_lastError; }
void PosixSerialPorts::setLastError(uint32_t code) { t_lastError = code; }

std::string PosixSerialPorts::systemMessage(uint32_t code) {
    switch (code) {
    case serial::kErrorAccessDenied: return "the port is in use by another program";
    case serial::kErrorFileNotFound: return "no such serial port";
    case serial::kErrorGenFailure: return std::strerror(EIO);
    default: return std::strerror(static_cast<int>(code));
    }
}

}  // namespace varnok::linuxhost
