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
#include <istream>
#include <ostream>
#include <string>

#include "cli/CommandLine.h"
#include "cli/Data.h"
#include "cli/Json.h"
#include "cli/Errors.h"
#include "common/d2xx/D2xx.h"
#include "common/platform/Clock.h"
#include "common/platform/FileStore.h"
#include "common/platform/Registry.h"
#include "common/platform/SerialPort.h"
#include "configurator/app/PortTable.h"

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

// Runs one configuration command: output on `out`, errors (naming the port
// and the value) on `err`; returns the exit status.
ExitStatus RunConfigCommand(const Command& command, ConfigSeams& seams, std::ostream& out,
                            std::ostream& err);

// A record of the model as varnokctl shows it: values that could not be
// read (or set) are empty.
PortInfo PortInfoOf(const cfg::PortEntry& entry);

// Reads a settings document (from a file); errors name the file. The
// import of both systems reads its profile so.
SettingsDocument ParseDocument(const std::string& text, const std::string& name);
SettingsDocument ReadDocumentFile(const std::string& file);

}  // namespace varnok::cli
