// varnokctl's Linux host without devices: the topology rule that the mode
// tool's discovery relies on (run through the real discovery over the udev
// D2XX seam and simulated adapters), the user area of an EEPROM image, the
// serial seam's read window on a pseudo-terminal, and latency timer and udev
// rule files on a directory tree of the test's own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "cli/linux/LatencyTimer.h"
#include "cli/linux/LinuxCommands.h"
#include "cli/linux/LinuxD2xx.h"
#include "cli/linux/PosixSerial.h"
#include "cli/linux/UdevDevices.h"
#include "modetool/Discovery.h"
#include "sim/SimSerialPorts.h"
#include "sim/VirtualClock.h"

namespace varnok::linuxhost {
namespace {

FtdiTty Tty(int number, std::vector<int> ports, int interfaceNumber, int interfaceCount,
            const std::string& product, const std::string& serial) {
    FtdiTty t;
    t.tty = "ttyUSB" + std::to_string(number);
    t.ports = std::move(ports);
    t.busNumber = 1;
    t.interfaceNumber = interfaceNumber;
    t.interfaceCount = interfaceCount;
    t.usbSerial = serial;
    t.productId = interfaceCount == 4 ? 0x6011 : 0x6015;
    t.description = D2xxDescription(product, interfaceNumber, interfaceCount);
    t.locationId = LocationFromTopology(1, t.ports, interfaceNumber, interfaceCount);
    t.ttySysPath = "/devices/usb1/" + t.tty;
    return t;
}

TEST(LinuxTopology, LocationDigitsAndLimits) {
    struct Case {
        int bus;
        std::vector<int> ports;
        int interfaceNumber, interfaceCount;
        uint32_t location;
    } cases[] = {
        {1, {3, 2}, 0, 4, 0x1321},           // quad chip, interface A
        {1, {3, 2}, 3, 4, 0x1324},           // interface D
        {1, {3, 1}, 0, 1, 0x131},            // one interface: no interface digit
        {2, {1, 2, 3, 4, 5, 6}, 1, 2, 0x21234562},
        {1, {1, 2, 3, 4, 5, 6, 7}, 0, 1, 0x11234567},
        {1, {1, 2, 3, 4, 5, 6, 7}, 0, 2, 0},  // nine digits do not fit
        {1, {16}, 0, 1, 0},                   // a port number above one digit
        {16, {1}, 0, 1, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LocationFromTopology(c.bus, c.ports, c.interfaceNumber, c.interfaceCount),
                  c.location);
    EXPECT_EQ(ParseUsbPortChain("1-3.2.14"), (std::vector<int>{3, 2, 14}));
    for (const char* bad : {"usb1", "1-", "1-3..2", "1-3.x", "-3", "1-3.2:1.0"})
        EXPECT_TRUE(ParseUsbPortChain(bad).empty()) << bad;
    EXPECT_EQ(D2xxDescription("Varnok Plus", 2, 4), "Varnok Plus C");
    EXPECT_EQ(D2xxDescription("FT232R USB UART", 0, 1), "FT232R USB UART");
    EXPECT_EQ(D2xxDescription(std::string(70, 'x'), 0, 2).size(), 63u);
    EXPECT_EQ(TtyNumber("ttyUSB12"), 12);
    for (const char* bad : {"ttyUSB", "ttyACM0", "ttyUSB1a", "ttyS0"}) EXPECT_EQ(TtyNumber(bad), -1);
    EXPECT_EQ(TtyPath("\\\\.\\ttyUSB3"), "/dev/ttyUSB3");
    EXPECT_EQ(TtyPath("/tmp/pty"), "/tmp/pty");
}

// One 8-port adapter behind its hub (configuration chip at hub port 1, quad
// chips at ports 2 and 3, one port missing), a foreign two-interface device
// at a location ending in 1, and a plain FT232R.
std::vector<FtdiTty> Installation() {
    std::vector<FtdiTty> list = {Tty(0, {4, 1}, 0, 1, "Varnok Plus - Config", "VPC1")};
    int n = 1;
    for (int chip : {2, 3})
        for (int i = 0; i < 4; ++i, ++n)
            if (n != 6) list.push_back(Tty(n, {4, chip}, i, 4, "Varnok Plus", "VPA" + std::to_string(chip)));
    list.push_back(Tty(9, {2}, 0, 2, "Other Box", "OB1"));
    list.push_back(Tty(10, {2}, 1, 2, "Other Box", "OB1"));
    list.push_back(Tty(11, {3}, 0, 1, "FT232R USB UART", "A5"));
    return list;
}

TEST(LinuxD2xxDiscovery, FindsTheAdapterAndItsTtysByTopology) {
    sim::VirtualClock clock;
    sim::SimSerialPorts ports{clock};
    sim::SimAdapterOptions options;
    options.portCount = 8;
    options.name = "Varnok Plus 8";
    ports.attach("ttyUSB0", options);
    const std::vector<uint8_t> userArea = {',', '1', '2', '4', 0};  // "1,42" pair-swapped
    LinuxD2xx d2xx([] { return Installation(); },
                   [&](const FtdiTty& d, std::vector<uint8_t>* area, std::string* why) {
                       if (d.tty != "ttyUSB0") {
                           *why = "no permission";
                           return false;
                       }
                       *area = userArea;
                       return true;
                   });
    mode::ModeTool tool(d2xx, ports, clock);
    tool.portPrefix = "ttyUSB";
    tool.firstPortNumber = 0;

    const mode::SearchResult found = mode::EnumVarnokDevices(tool);
    ASSERT_EQ(found.status, mode::SearchStatus::Found);
    ASSERT_EQ(found.adapters.size(), 1u);
    const mode::AdapterRecord& a = found.adapters[0];
    EXPECT_EQ(a.devicePath, "\\\\.\\ttyUSB0");
    EXPECT_EQ(mode::DeviceLine(a), "Varnok Plus 8 (42)");
    EXPECT_EQ(mode::PortLine(a, 0), "Port 1   (ttyUSB1)");
    EXPECT_EQ(mode::PortLine(a, 4), "Port 5   (ttyUSB5)");
    EXPECT_EQ(mode::PortLine(a, 5), "Port 6   ()");  // not plugged: no tty at 0x1432
    EXPECT_EQ(mode::PortLine(a, 7), "Port 8   (ttyUSB8)");
    EXPECT_TRUE(d2xx.notes().empty());

    // Without the user area the adapter is still found, numbered 0, and the
    // reason is kept for --verbose.
    LinuxD2xx denied([] { return Installation(); },
                     [](const FtdiTty&, std::vector<uint8_t>*, std::string* why) {
                         *why = "no permission to open the USB device";
                         return false;
                     });
    mode::ModeTool tool2(denied, ports, clock);
    tool2.portPrefix = "ttyUSB";
    tool2.firstPortNumber = 0;
    const mode::SearchResult again = mode::EnumVarnokDevices(tool2);
    ASSERT_EQ(again.adapters.size(), 1u);
    EXPECT_EQ(mode::DeviceLine(again.adapters[0]), "Varnok Plus 8 (0)");
    ASSERT_EQ(denied.notes().size(), 1u);
    EXPECT_EQ(denied.notes()[0],
              "ttyUSB0: user area not read, number 0: no permission to open the USB device");
}

TEST(LinuxD2xxDiscovery, HandlesAreCheckedAndClosed) {
    LinuxD2xx d2xx([] { return Installation(); }, nullptr);
    uint32_t count = 0;
    ASSERT_EQ(d2xx.CreateDeviceInfoList(&count), d2xx::kOk);
    d2xx::Handle h = nullptr;
    EXPECT_EQ(d2xx.Open(static_cast<int>(count), &h), d2xx::kDeviceNotFound);
    EXPECT_EQ(d2xx.OpenEx(0, d2xx::kOpenByLocation, &h), d2xx::kDeviceNotFound);
    ASSERT_EQ(d2xx.OpenEx(0x1421, d2xx::kOpenByLocation, &h), d2xx::kOk);
    int32_t port = -1;
    EXPECT_EQ(d2xx.GetComPortNumber(h, &port), d2xx::kOk);
    EXPECT_EQ(port, 1);
    EXPECT_EQ(d2xx.Close(h), d2xx::kOk);
    EXPECT_EQ(d2xx.Close(h), d2xx::kInvalidHandle);
    EXPECT_EQ(d2xx.GetComPortNumber(h, &port), d2xx::kInvalidHandle);
    uint32_t size = 0;
    EXPECT_EQ(d2xx.EE_UASize(h, &size), d2xx::kInvalidHandle);
}

TEST(LinuxUserArea, FoundBehindTheStringsOfAnEepromImage) {
    std::vector<uint8_t> eeprom(128, 0xFF);
    eeprom[0x0E] = 0x80 | 0x18; eeprom[0x0F] = 0x0A;  // manufacturer 0x18..0x21
    eeprom[0x10] = 0x80 | 0x22; eeprom[0x11] = 0x2A;  // product 0x22..0x4B
    eeprom[0x12] = 0x80 | 0x4C; eeprom[0x13] = 0x12;  // serial 0x4C..0x5D
    std::vector<uint8_t> area;
    ASSERT_TRUE(UserAreaFromEeprom(eeprom, &area));
    EXPECT_EQ(area.size(), 128u - 0x5E - 2);
    eeprom[0x13] = 0x34;  // a string over the checksum word
    EXPECT_FALSE(UserAreaFromEeprom(eeprom, &area));
    EXPECT_FALSE(UserAreaFromEeprom(std::vector<uint8_t>(100), &area));
    EXPECT_FALSE(UserAreaFromEeprom(std::vector<uint8_t>(256, 0), &area));  // blank
}

// A reply that starts late, but within the total time, is read: the
// interval time-out runs from the first byte (slow hardware takes longer
// than the interval to begin its identification line).
TEST(LinuxSerial, IntervalTimeOutStartsWithTheFirstByte) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    PosixSerialPorts ports;
    std::unique_ptr<serial::SerialPort> port = ports.open(ptsname(master));
    ASSERT_NE(port, nullptr);
    ASSERT_TRUE(port->setLine("38400,n,8,1"));
    ASSERT_TRUE(port->setTimeouts({30, 0, 5000, 0, 0}));
    std::thread adapter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_EQ(write(master, "V", 1), 1);
    });
    uint8_t reply[16] = {};
    uint32_t received = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(port->read(reply, sizeof reply, &received));
    const auto took = std::chrono::steady_clock::now() - start;
    adapter.join();
    EXPECT_EQ(received, 1u);
    EXPECT_LT(took, std::chrono::seconds(4)) << "the interval after the byte ends the read";
    port.reset();
    close(master);
}

// A sysfs-like tree and a rules folder in a temporary directory.
class LatencyFiles : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/varnokctl-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        for (const FtdiTty& p : host_.ports) {
            ASSERT_EQ(std::system(("mkdir -p " + root_ + p.ttySysPath).c_str()), 0);
            Write(p, "16\n");
        }
        ASSERT_EQ(std::system(("mkdir -p " + root_ + "/etc/udev/rules.d " + root_ + "/dev").c_str()), 0);
        std::ofstream(root_ + "/dev/ttyS0").put('x');
        host_.sysRoot = host_.rulesRoot = host_.devRoot = root_;
    }
    void TearDown() override { std::system(("rm -rf " + root_).c_str()); }
    void Write(const FtdiTty& p, const std::string& text) {
        std::ofstream(root_ + p.ttySysPath + "/latency_timer") << text;
    }
    std::string Read(const std::string& path) {
        std::ifstream f(root_ + path);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }
    cli::ExitStatus Set(const std::vector<std::string>& args) {
        out_.str("");
        err_.str("");
        const cli::ParseResult parsed = cli::ParseCommandLine(args, cli::Platform::Linux);
        if (!parsed.command) {
            err_ << parsed.err;
            return parsed.status;
        }
        try {
            return RunSet(*parsed.command, host_, out_, err_);
        } catch (const cli::CliError& e) {
            err_ << e.what();
            return e.status();
        }
    }

    std::string root_;
    LinuxHost host_{{Tty(0, {1}, 0, 2, "Dual", "D1"), Tty(1, {1}, 1, 2, "Dual", "D1")}, "", "", ""};
    std::ostringstream out_, err_;
};

TEST_F(LatencyFiles, SetWritesOnlyChangesAndPersistKeepsOneRulePerPort) {
    Write(host_.ports[1], "1\n");
    EXPECT_EQ(Set({"set", "--all", "latency-timer=1"}), cli::ExitStatus::Done) << err_.str();
    EXPECT_EQ(out_.str(), "ttyUSB0 latencyTimer 16 -> 1\n"
                          "The value lasts until the device is unplugged; --persist keeps it.\n");
    EXPECT_EQ(Read(host_.ports[0].ttySysPath + "/latency_timer"), "1\n");

    // A rule of an older varnokctl for this port goes; a file of someone
    // else under a like name stays.
    std::ofstream(root_ + "/etc/udev/rules.d/75-varnokctl-latency-D1-B.rules")
        << "# Written by varnokctl: latency timer 4 ms for D1B (Dual B).\n";
    std::ofstream(root_ + "/etc/udev/rules.d/75-varnokctl-latency-D1-A.rules") << "# mine\n";
    const std::string rule = "/etc/udev/rules.d/" + LatencyRuleFileName(host_.ports[1]);
    EXPECT_EQ(Set({"set", "serial:D1b", "latency-timer=2", "--persist"}), cli::ExitStatus::Done);
    EXPECT_EQ(Read(host_.ports[1].ttySysPath + "/latency_timer"), "2\n");
    EXPECT_EQ(ReadPersistedLatency(root_, host_.ports[1]), 2u);
    EXPECT_EQ(ReadPersistedLatency(root_, host_.ports[0]), std::nullopt);
    EXPECT_NE(out_.str().find("ttyUSB1 udev rule " + rule + " latency_timer=2"), std::string::npos);
    EXPECT_EQ(access((root_ + "/etc/udev/rules.d/75-varnokctl-latency-D1-B.rules").c_str(), F_OK), -1);
    EXPECT_EQ(Read("/etc/udev/rules.d/75-varnokctl-latency-D1-A.rules"), "# mine\n");

    EXPECT_EQ(Set({"set", "serial:D1b", "latency-timer=2", "--persist"}), cli::ExitStatus::Done);
    EXPECT_EQ(out_.str(), "nothing to change\n");
    std::ostringstream list;
    RunList(*cli::ParseCommandLine({"list"}, cli::Platform::Linux).command, host_, list, err_);
    EXPECT_NE(list.str().find("ttyUSB1  D1B     B          2        2  "), std::string::npos)
        << list.str();

    // The driver's default takes the rule away again.
    EXPECT_EQ(Set({"set", "serial:D1b", "latency-timer=16", "--persist"}), cli::ExitStatus::Done);
    EXPECT_NE(out_.str().find("ttyUSB1 udev rule " + rule + " removed"), std::string::npos);
    EXPECT_EQ(access((root_ + rule).c_str(), F_OK), -1);
}

TEST_F(LatencyFiles, APortThatFailsIsToldAndTheOthersAreWritten) {
    // A folder where ttyUSB0's rule would go: the rename onto it fails.
    const std::string blocked = root_ + "/etc/udev/rules.d/" + LatencyRuleFileName(host_.ports[0]);
    ASSERT_EQ(mkdir(blocked.c_str(), 0755), 0);
    EXPECT_EQ(Set({"set", "--all", "latency-timer=3", "--persist"}), cli::ExitStatus::Failed);
    EXPECT_NE(err_.str().find("ttyUSB0: the udev rule /etc/udev/rules.d/" +
                              LatencyRuleFileName(host_.ports[0]) + " could not be written: "),
              std::string::npos)
        << err_.str();
    EXPECT_NE(err_.str().find("Written: ttyUSB0, ttyUSB1."), std::string::npos) << err_.str();
    EXPECT_EQ(ReadPersistedLatency(root_, host_.ports[1]), 3u);

    // A device without a serial cannot be singled out by a rule.
    host_.ports[0].usbSerial.clear();
    EXPECT_EQ(Set({"set", "ttyUSB0", "latency-timer=5", "--persist"}), cli::ExitStatus::Refused);
    EXPECT_EQ(Read(host_.ports[0].ttySysPath + "/latency_timer"), "3\n");
}

TEST_F(LatencyFiles, DryRunAndRefusalsChangeNothing) {
    EXPECT_EQ(Set({"--dry-run", "set", "ttyUSB1", "latency-timer=5", "--persist"}),
              cli::ExitStatus::Done);
    EXPECT_NE(out_.str().find("ttyUSB1 latencyTimer 16 -> 5"), std::string::npos);
    EXPECT_EQ(Read(host_.ports[1].ttySysPath + "/latency_timer"), "16\n");
    EXPECT_EQ(ReadPersistedLatency(root_, host_.ports[1]), std::nullopt);
    struct Case {
        std::vector<std::string> args;
        cli::ExitStatus status;
        std::string message;
    } cases[] = {
        {{"set", "ttyUSB7", "latency-timer=1"}, cli::ExitStatus::NotFound, "ttyUSB7: no such FTDI serial port"},
        {{"set", "/dev/ttyS0", "latency-timer=1"}, cli::ExitStatus::NotFound, "/dev/ttyS0 is not an FTDI serial port"},
        {{"set", "serial:D1C", "latency-timer=1"}, cli::ExitStatus::NotFound, "no such FTDI serial port"},
        {{"set", "ttyUSB0", "latency-timer=256"}, cli::ExitStatus::Refused, "out of range"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Set(c.args), c.status) << c.args[1];
        EXPECT_NE(err_.str().find(c.message), std::string::npos) << err_.str() << out_.str();
    }
    // A value the driver does not give as a number stops the command before
    // anything is written.
    Write(host_.ports[1], "junk\n");
    EXPECT_EQ(Set({"set", "--all", "latency-timer=3"}), cli::ExitStatus::Failed);
    EXPECT_NE(err_.str().find("ttyUSB1: latency_timer could not be read"), std::string::npos);
    EXPECT_EQ(Read(host_.ports[0].ttySysPath + "/latency_timer"), "16\n");
    EXPECT_EQ(Read(host_.ports[1].ttySysPath + "/latency_timer"), "junk\n");
    EXPECT_EQ(system(("ls " + root_ + "/etc/udev/rules.d | grep -q .").c_str()) == 0, false);
}

// One case per family of hostile serials: whatever the bytes, the match
// value holds none that could end it, escape or start a new line, still
// matches the serial itself, and the file name is the device's own.
TEST(UdevRules, DeviceTextNeverReachesARule) {
    struct Case {
        std::string serial, pattern;
    } cases[] = {
        {"A50285BI", "A50285BI"},
        {"AB\"C", "AB?C"},
        {"AB\\C", "AB?C"},
        {"S\nRUN+=\"/bin/true\"", "S?RUN+=?/bin/true?"},
        {"G*[1]|?", "G??1???"},
        {"Gr\xC3\xBC\xC3\x9F" "e\x7F", "Gr*e?"},
        {"ATTR{latency_timer}=", "ATTR{latency_timer}="},  // read back all the same
    };
    std::set<std::string> names;
    for (const Case& c : cases) {
        FtdiTty port;
        port.usbSerial = c.serial;
        EXPECT_EQ(UdevMatchPattern(c.serial), c.pattern);
        const std::string name = LatencyRuleFileName(port);
        EXPECT_EQ(name.find('/'), std::string::npos) << name;
        names.insert(name);
        EXPECT_EQ(PersistedLatency(LatencyRuleText(port, 7)), 7u);
    }
    EXPECT_EQ(names.size(), std::size(cases));  // AB"C and AB\C keep their own files
    EXPECT_EQ(PersistedLatency("ATTR{latency_timer}=\"7\""), std::nullopt);  // not ours
    EXPECT_EQ(PersistedLatency("# Written by varnokctl\nATTR{latency_timer}=\"256\""), std::nullopt);
}

}  // namespace
}  // namespace varnok::linuxhost
