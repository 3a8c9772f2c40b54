// varnokctl's port commands on Linux: `list` and `set PORT|--all
// latency-timer=N [--persist]` over the FTDI ttys that udev reports and the
// driver's sysfs attributes. Everything the commands touch comes in a
// LinuxHost, so tests run them on a directory tree of their own.
#pragma once
#include <ostream>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/Data.h"
#include "cli/Errors.h"
#include "cli/linux/UdevDevices.h"

namespace varnok::linuxhost {

struct LinuxHost {
    std::vector<FtdiTty> ports;  // as ListFtdiTtys gives them
    std::string sysRoot;         // prefix of sysfs paths ("" on a real system)
    std::string rulesRoot;       // prefix of /etc/udev/rules.d ("" on a real system)
    std::string devRoot;         // prefix of /dev, to tell a tty that is not FTDI
};

// The port as the front end shows it: tty, serial with interface letter,
// description, ids, and the latency timer (empty when unreadable).
cli::PortInfo PortInfoOf(const LinuxHost& host, const FtdiTty& port);

// `list`: a table (tty, serial, interface, latency timer, the value a udev
// rule of varnokctl sets, description), or with --json the ports array of
// the Windows program with "interface" and "persisted" added.
cli::ExitStatus RunList(const cli::Command& command, const LinuxHost& host, std::ostream& out,
                        std::ostream& err);

// `set`: writes latency_timer of the chosen ports (only where the value
// changes), and with --persist a udev rule per port (only where it changes;
// the driver's default removes the rule). Dry-run prints the changes and
// writes nothing. A port that fails is told and the others are still
// written; then it says which ports were written and returns 1.
cli::ExitStatus RunSet(const cli::Command& command, const LinuxHost& host, std::ostream& out,
                       std::ostream& err);

}  // namespace varnok::linuxhost
