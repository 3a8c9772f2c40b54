// The Linux serial seam on a pseudo-terminal: closing the port leaves the
// terminal as it was found (its settings, and open to other programs), and
// a port held by another program is left alone.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "cli/linux/PosixSerial.h"

namespace varnok::linuxhost {
namespace {

struct Terminal {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    int other = -1;  // another program's descriptor of the slave
    std::string slave;
    Terminal() {
        if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0) {
            slave = ptsname(master);
            other = open(slave.c_str(), O_RDWR | O_NOCTTY);
        }
    }
    ~Terminal() {
        if (other >= 0) close(other);
        if (master >= 0) close(master);
    }
    termios settings() const {
        termios t{};
        EXPECT_EQ(tcgetattr(other, &t), 0);
        return t;
    }
    bool exclusive() const {
        int on = 0;
        EXPECT_EQ(ioctl(other, TIOCGEXCL, &on), 0);
        return on != 0;
    }
};

void ExpectSameSettings(const termios& a, const termios& b) {
    EXPECT_EQ(a.c_iflag, b.c_iflag);
    EXPECT_EQ(a.c_oflag, b.c_oflag);
    EXPECT_EQ(a.c_cflag, b.c_cflag);
    EXPECT_EQ(a.c_lflag, b.c_lflag);
    EXPECT_EQ(cfgetispeed(&a), cfgetispeed(&b));
    EXPECT_EQ(cfgetospeed(&a), cfgetospeed(&b));
    for (int i = 0; i < NCCS; ++i) EXPECT_EQ(a.c_cc[i], b.c_cc[i]) << "c_cc[" << i << "]";
}

TEST(PosixSerial, ClosingLeavesTheTerminalAsItWasFound) {
    Terminal t;
    ASSERT_GE(t.other, 0);
    // As a terminal program leaves it: lines, echo, 9600 baud.
    termios found = t.settings();
    found.c_lflag |= ICANON | ECHO;
    cfsetispeed(&found, B9600);
    cfsetospeed(&found, B9600);
    ASSERT_EQ(tcsetattr(t.other, TCSANOW, &found), 0);
    found = t.settings();

    PosixSerialPorts ports;
    {
        auto port = ports.open(t.slave);
        ASSERT_TRUE(port);
        ASSERT_TRUE(port->setLine("38400,n,8,1"));
        const termios raw = t.settings();
        EXPECT_EQ(cfgetospeed(&raw), B38400);
        EXPECT_EQ(raw.c_lflag & ICANON, 0u);
        EXPECT_TRUE(t.exclusive());
    }
    ExpectSameSettings(t.settings(), found);
    EXPECT_FALSE(t.exclusive());

    // Locked by another program: the open fails and touches nothing.
    ASSERT_EQ(flock(t.other, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(ports.open(t.slave), nullptr);
    EXPECT_EQ(ports.lastError(), serial::kErrorAccessDenied);
    EXPECT_FALSE(t.exclusive());
    ASSERT_EQ(flock(t.other, LOCK_UN), 0);

    // Exclusive before (only root still opens it then): it stays so.
    ASSERT_EQ(ioctl(t.other, TIOCEXCL), 0);
    if (auto port = ports.open(t.slave)) {
        ASSERT_TRUE(port->setLine("38400,n,8,1"));
        port.reset();
        EXPECT_TRUE(t.exclusive());
        ExpectSameSettings(t.settings(), found);
    } else {
        EXPECT_EQ(ports.lastError(), serial::kErrorAccessDenied) << "not root";
    }
}

}  // namespace
}  // namespace varnok::linuxhost
