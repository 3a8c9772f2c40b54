// `import PROFILE [--persist]` on Linux: the settings document of the
// Windows program, of which only the latency timer exists here. Every
// attached FTDI port that an entry matches gets the latency timer of the
// last entry that matches it and sets one (sysfs, only where it changes);
// with --persist the profile's entries also become udev rules
// (ProfileRules.h) in one file that replaces the previous profile's.
// Settings that do not exist on Linux are warned about and skipped.
#pragma once
#include <ostream>

#include "cli/CommandLine.h"
#include "cli/Errors.h"
#include "cli/linux/LinuxCommands.h"

namespace varnok::linuxhost {

// What the run did, as text lines like set's or with --json as one
// WriteResult object: a port's value is {"port": "ttyUSB3", "setting":
// "latencyTimer"}, a rule of the profile's file {"port": "*" |
// "deviceId:0x04036001" | "serial:...", "setting": "persisted.latencyTimer",
// "from": null}, the file taken away (a profile without a latency timer)
// {"port": null, "setting": "persisted.profileRules", "to": "removed"}.
// A write that fails is told with the system's reason, the rest is still
// written, and the status is 1.
cli::ExitStatus RunImport(const cli::Command& command, const LinuxHost& host, std::ostream& out,
                          std::ostream& err);

}  // namespace varnok::linuxhost
