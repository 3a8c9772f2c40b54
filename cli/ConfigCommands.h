// varnokctl's configuration commands on Windows: list, show, set, buffered,
// alias, rename, ignore-serial, save, load, export, import, reload and
// close-ports, over the configurator's model and its seams.
//
// Every command that writes reads the ports first, turns the command into
// wanted records, and has the model plan and apply them as one change set
// (configurator/changes/): only values that differ from what was read (a
// value that could not be read only when the user sets it), backed up
// before the first write, every change tried, one driver reload when
// something was written. The commands live in ConfigCommands.cpp, the
// reading, planning and commit in ConfigSession.
#pragma once
#include <cstdint>
#include <optional>
#include <istream>
#include <ostream>
#include <string>

#include "cli/CommandLine.h"
#include "cli/Data.h"
#include "cli/Errors.h"
#include "common/d2xx/D2xx.h"
#include "common/platform/Clock.h"
#include "common/platform/FileStore.h"
#include "common/platform/Registry.h"
#include "common/platform/SerialPort.h"
#include "configurator/app/PortTable.h"
#include "configurator/changes/ChangePlanners.h"

namespace varnok::cli {

// What the commands work through. The backup folder and clock may be null
// only in tests that do not look at backups (no backup is then taken).
struct ConfigSeams {
    ConfigSeams(reg::Registry& r, d2xx::D2xx& d, serial::SerialPorts& s, Clock& c)
        : registry(r), d2xx(d), serial(s), clock(c) {}

    reg::Registry& registry;
    d2xx::D2xx& d2xx;
    serial::SerialPorts& serial;  // close-ports; also the system's error texts
    Clock& clock;
    FileStore* backupFolder = nullptr;
    std::istream* input = nullptr;  // standard input, for `import -`
    LocalTimeSource* localTime = nullptr;
    bool d2xxAvailable = true;
    std::string d2xxLoadError;
};

// The latency timers written, by varnokctl as by the dialogs: 1 to 255 ms.
constexpr uint32_t kCliLatencyMin = cfg::kLatencyTimerMin;
constexpr uint32_t kCliLatencyMax = cfg::kLatencyTimerMax;

// Whether `action` is one of the commands RunConfigCommand runs.
bool IsConfigCommand(const Action& action);

// Runs one configuration command: output on `out`, errors (naming the port
// and the value) on `err`; returns the exit status.
ExitStatus RunConfigCommand(const Command& command, ConfigSeams& seams, std::ostream& out,
                            std::ostream& err);

// The three buffered-write values as read from a port's Device Parameters
// key (each empty when it could not be read).
struct BufferedValues {
    std::optional<uint32_t> size, threshold, latency;
};

// The buffered-write values a record holds as read or set (each empty when
// it was neither).
BufferedValues BufferedValuesOf(const cfg::PortEntry& entry);

// A record of the model as varnokctl shows it: values that could not be
// read are empty.
PortInfo PortInfoOf(const cfg::PortEntry& entry, const BufferedValues& buffered);
PortInfo PortInfoOf(const cfg::PortEntry& entry);


}  // namespace varnok::cli
