// The modes commands' signals on Linux: each one raises the stop flag and
// leaves the process running, the status names the signal, the previous
// actions come back, and a signal in the middle of a serial read neither
// fails it nor cuts it short.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "cli/linux/PosixSerial.h"
#include "cli/linux/StopSignals.h"

namespace varnok::linuxhost {
namespace {

void Ignore(int) {}

TEST(StopSignals, EachSignalRaisesTheFlagAndTheOldActionComesBack) {
    for (int number : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(number);
        struct sigaction mine {};
        mine.sa_handler = Ignore;
        struct sigaction theirs {};
        ASSERT_EQ(sigaction(number, &mine, &theirs), 0);
        {
            StopSignals signals;
            EXPECT_FALSE(signals.flag()->load());
            EXPECT_EQ(signals.signal(), 0);
            ASSERT_EQ(raise(number), 0);  // had it not been caught, the test would end here
            EXPECT_TRUE(signals.flag()->load());
            EXPECT_EQ(signals.exitStatus(), 128 + number);
            ASSERT_EQ(raise(number), 0);  // a second one changes nothing
            EXPECT_TRUE(signals.flag()->load());
        }
        struct sigaction after {};
        ASSERT_EQ(sigaction(number, &theirs, &after), 0);
        EXPECT_EQ(after.sa_handler, &Ignore);
    }
    StopSignals fresh;  // a new command starts without a stop
    EXPECT_FALSE(fresh.flag()->load());
}

// A pseudo-terminal whose far end (the master) plays the adapter.
struct Pty {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    std::string slave;
    Pty() {
        if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0) slave = ptsname(master);
    }
    ~Pty() {
        if (master >= 0) close(master);
    }
};

TEST(StopSignals, ASignalDuringASerialReadLetsItGoOn) {
    Pty pty;
    ASSERT_FALSE(pty.slave.empty());
    PosixSerialPorts ports;
    auto port = ports.open(pty.slave);
    ASSERT_TRUE(port);
    ASSERT_TRUE(port->setLine("38400,n,8,1"));
    ASSERT_TRUE(port->setTimeouts({0, 0, 400, 0, 0}));

    StopSignals signals;
    const pthread_t reader = pthread_self();
    std::thread far([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        pthread_kill(reader, SIGINT);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_EQ(write(pty.master, "OK", 2), 2);
    });
    const auto start = std::chrono::steady_clock::now();
    uint8_t buffer[8] = {};
    uint32_t got = 0;
    const bool read = port->read(buffer, 2, &got);
    const auto took = std::chrono::steady_clock::now() - start;
    far.join();
    EXPECT_TRUE(signals.flag()->load());
    EXPECT_TRUE(read);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), got), "OK");
    EXPECT_GE(took, std::chrono::milliseconds(140));
}

}  // namespace
}  // namespace varnok::linuxhost
