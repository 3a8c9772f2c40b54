// The ftdi_sio driver's latency timer: the sysfs attribute `latency_timer`
// of a port (read and write, 1-255 ms), and the udev rule file that sets it
// again whenever the device appears. Paths go through a root prefix, so
// tests can work on a directory tree of their own.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/linux/UdevDevices.h"

namespace varnok::linuxhost {

struct FileResult {
    bool ok = false;
    int error = 0;  // errno when !ok
};

// `root` + the port's sysfs directory + "/latency_timer".
std::string LatencyTimerPath(const std::string& root, const FtdiTty& port);
// The value, or nothing (with errno in *error) when it cannot be read or
// is not a number 1-255.
std::optional<uint32_t> ReadLatencyTimer(const std::string& root, const FtdiTty& port,
                                         int* error = nullptr);
FileResult WriteLatencyTimer(const std::string& root, const FtdiTty& port, uint32_t value);

constexpr const char* kRulesDir = "/etc/udev/rules.d";

// File name of a port's rule: "75-varnokctl-latency-<serial>-<letter>.rules",
// the serial with anything but letters, digits, '-' and '_' replaced by '_'.
std::string LatencyRuleFileName(const FtdiTty& port);
// One rule: on every add of the FTDI tty with this USB serial and interface
// number, write the value to its latency_timer.
std::string LatencyRuleText(const FtdiTty& port, uint32_t value);
// Writes the rule file under `root` + kRulesDir (beside, then renamed).
FileResult WriteLatencyRule(const std::string& root, const FtdiTty& port, uint32_t value);

}  // namespace varnok::linuxhost
