// The ftdi_sio driver's latency timer: the sysfs attribute `latency_timer`
// of a port (read and write, 1-255 ms), and the udev rule file that sets it
// again whenever the device appears. A rule holds no text that came from
// the device: its serial is matched through a pattern of safe bytes only.
// Paths go through a root prefix, so tests can work on a tree of their own.
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
// errno's text, with a hint to run as root when permission was refused.
std::string ReasonOf(int error);

// The value, or nothing (with errno in *error) when it cannot be read or
// is not a number 1-255.
std::optional<uint32_t> ReadLatencyTimer(const std::string& root, const FtdiTty& port,
                                         int* error = nullptr);
FileResult WriteLatencyTimer(const std::string& root, const FtdiTty& port, uint32_t value);

constexpr const char* kRulesDir = "/etc/udev/rules.d";

// The driver's own default; `set --persist` with it removes the port's rule.
constexpr uint32_t kDefaultLatencyTimer = 16;

// A device's USB serial as a udev match value inside "...": printable ASCII
// stays; a byte that would end the value, escape, or mean something to udev's
// glob matching ('*', '?', '[', ']', '|') becomes '?', and a run of non-ASCII
// bytes becomes '*'. The result never holds a quote, a backslash or a line
// break, so no device can add text of its own to a rule.
std::string UdevMatchPattern(const std::string& raw);

// File name of a port's rule: "75-varnokctl-latency-<serial>-<hash>-<letter>.rules",
// at most 32 of the serial's letters, digits, '-' and '_' (anything else
// becomes '_'), then eight hexadecimal digits of a hash of the raw serial, so
// that serials which differ only in other bytes keep files of their own.
std::string LatencyRuleFileName(const FtdiTty& port);

// The rule: on every add of the ftdi_sio usb-serial port whose USB device
// (vendor 0403) has this serial, and whose interface has this number, write
// the value to its latency_timer. Each line matches keys of one parent
// device only, as udev requires. The port must have a USB serial.
std::string LatencyRuleText(const FtdiTty& port, uint32_t value);

// The value a rule file written by varnokctl sets; nothing for any other text.
std::optional<uint32_t> PersistedLatency(const std::string& ruleText);
// The value of the port's rule under `root` + kRulesDir; nothing without one.
std::optional<uint32_t> ReadPersistedLatency(const std::string& root, const FtdiTty& port);

// Writes `text` to `path` beside it ("<path>.tmp", synced), then renames
// it over the file: a reader sees the old or the new file, never a part.
FileResult WriteFileBeside(const std::string& path, const std::string& text);
// Removes a file; one that is not there is no failure.
FileResult RemoveFile(const std::string& path);
// A small file (up to 64 KiB, not through a symbolic link); nothing when it
// cannot be read. Rule files are small: anything larger is not one of ours.
std::optional<std::string> ReadRuleFile(const std::string& path);

// Writes the rule file under `root` + kRulesDir (beside, then renamed).
FileResult WriteLatencyRule(const std::string& root, const FtdiTty& port, uint32_t value);
bool LatencyRuleExists(const std::string& root, const FtdiTty& port);
// Removes the port's rule file; one that is not there is no failure.
FileResult RemoveLatencyRule(const std::string& root, const FtdiTty& port);
// Removes a rule of the port that an older varnokctl wrote under the name
// "75-varnokctl-latency-<serial>-<letter>.rules" (one that udev never
// applied, and whose comment could carry the device's own text), when the
// file begins as varnokctl's do. True when one was removed.
bool RemoveOlderLatencyRule(const std::string& root, const FtdiTty& port);

}  // namespace varnok::linuxhost
