// One run of a varnokctl configuration command on Windows: the ports as read
// at its start, the lookup of the ports a command names, and the commit of a
// plan. Planning and writing are the model's (configurator/changes/): the
// session only turns a command into wanted records, prints the change lines
// and tells what the change set's report says.
#pragma once
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/ConfigCommands.h"
#include "cli/Json.h"
#include "cli/TextOutput.h"
#include "cli/WriteResult.h"
#include "configurator/app/Configurator.h"
#include "configurator/backup/BackupJournal.h"
#include "configurator/changes/ChangeSet.h"

namespace varnok::cli {

// One installed port as read at the start of the run (with its values as
// read in entry.asRead).
struct Port {
    bool keyFound = true;  // its Device Parameters key opens
    // Attached, but held open by another program: the library lists it
    // without its COM port. Its registry values can be written all the same.
    bool heldOpen = false;
    cfg::PortEntry entry;
    PortInfo info;

    bool attached() const { return entry.connected || heldOpen; }
};

// What one port shall become: its record, changed by the command.
struct PortPlan {
    std::size_t index = 0;  // into ports
    cfg::PortEntry next;
};

class Session {
public:
    Session(const Command& command, ConfigSeams& seams, std::ostream& out, std::ostream& err);

    const Command& command;
    ConfigSeams& seams;
    std::ostream& out;
    std::ostream& err;
    cfg::Configurator app;
    std::vector<Port> ports;

    // Reads the attached ports (with `everyInstalled` every installed one),
    // with the buffered-write values when `withBuffered`.
    void load(bool everyInstalled, bool withBuffered);
    Port& find(const PortRef& ref);
    // find, for a command that writes the port: its key must exist.
    std::size_t findWritable(const PortRef& ref);
    std::vector<std::size_t> targets(const PortTarget& target);
    // The ports that set --all, import and export work on: the attached ones
    // (held open or not; with `everyInstalled` every installed one) whose
    // key exists. The others are told on standard error and kept in
    // result.skipped. Loads every installed port first.
    std::vector<std::size_t> portSet(bool everyInstalled);

    PortPlan planFor(std::size_t index) const { return {index, ports[index].entry}; }
    // The settings of one `set` or document entry on top of `plan`.
    void applySettings(PortPlan& plan, const PortSettings& values) const;
    void applyBuffered(PortPlan& plan, const BufferedWrites& values) const;
    // Refused (status 4) when the port's ConfigData could not be read.
    void needConfigData(const PortPlan& plan, const std::string& what) const;

    // Fills `result` with the change lines of the plans and `lines`; then,
    // unless --dry-run, applies the change set of the plans and `extra`
    // (backup first), tells every change that failed, and reloads the
    // driver once when anything was written. Prints the result: its change
    // lines (or "nothing to change") as text, or with --json the one object.
    ExitStatus commit(const std::vector<PortPlan>& plans, std::vector<Change> lines,
                      cfg::ChangeSet extra);
    // What the last commit did (or would do with --dry-run), and whether it
    // was printed.
    WriteResult result;
    bool printed = false;

private:
    void grantAccess(const cfg::ChangeSet& changes);
    void checkWriteAccess(const cfg::ValueChange& first);
    ExitStatus reloadDriver();
    ExitStatus apply(const cfg::ChangeSet& changes);
    void print();
    void skip(const std::string& port, const std::string& reason);

    // Attached ports the library lists whose driver key is missing
    // altogether: not among the installed ports, but skipped by name.
    std::vector<std::string> keyless_;

    std::unique_ptr<cfg::backup::BackupJournal> journal_;
    bool loaded_ = false;
    bool everyInstalled_ = false;
};

// What `import` does once the document is read: every installed port read,
// each entry planned onto the ports it matches, one commit. With
// `onlyDeviceKeys` (lower-case names of the enumerator's subkeys,
// "vid_0403+pid_6001+a1b2c3d4a") only those ports are planned, entries that
// match none of them are not told, and the serial-number flag is left alone.
ExitStatus ApplyDocument(Session& s, const SettingsDocument& doc,
                         const std::set<std::string>* onlyDeviceKeys = nullptr);

// The enumerator subkey name of a port's record, lower-case.
std::string DeviceKeyOf(const cfg::PortEntry& entry);

}  // namespace varnok::cli
