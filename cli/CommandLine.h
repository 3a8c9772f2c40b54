// varnokctl's command line: every command of the Windows and the Linux set,
// parsed with CLI11 into a plain Command, with the values checked by the
// parsers of Values.h.
#pragma once
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "cli/Errors.h"
#include "cli/ModeValues.h"
#include "cli/Values.h"

namespace varnok::cli {

struct GlobalOptions {
    bool json = false;
    bool dryRun = false;
    bool noReload = false;  // Windows only
    bool verbose = false;
};

struct ListCommand {
    bool includeDisconnected = false;  // Windows only
};
struct ShowCommand {
    PortRef port;
};
struct SetCommand {
    PortTarget target;
    SettingsChange change;
    bool persist = false;  // Linux only: also write a udev rule
};
struct BufferedCommand {
    PortRef port;
    BufferedChange change;
};
struct AliasCommand {
    PortRef port;
    std::optional<AliasTable> table;  // applied first
    std::vector<AliasAssignment> rows;
};
struct RenameCommand {
    PortRef port;
    int comNumber = 0;
};
struct IgnoreSerialCommand {
    std::optional<bool> value;  // empty: show
};
struct SaveCommand {
    PortRef port;
    std::string file;
};
struct LoadCommand {
    PortRef port;
    std::string file;
};
struct ExportCommand {
    std::string file;
    bool includeDisconnected = false;
};
struct ImportCommand {
    std::string file;
    bool persist = false;  // Linux only: also write the profile's udev rules
};
struct WatchCommand {
    std::string profile;
};
// The profile watcher as a Windows service; `run` is how the service
// manager starts it.
struct ServiceCommand {
    enum class Verb { Install, Uninstall, Status, Run };
    Verb verb = Verb::Status;
    std::string profile;  // install only
};
struct ReloadCommand {};
struct ClosePortsCommand {};
struct ModesListCommand {};
struct ModesSetCommand {
    std::string adapter;  // resolved against the adapters found (ResolveAdapter)
    PortSelection ports;
    ModeSpec mode;
    std::vector<BitAssignment> bits;
};

using Action = std::variant<ListCommand, ShowCommand, SetCommand, BufferedCommand, AliasCommand,
                            RenameCommand, IgnoreSerialCommand, SaveCommand, LoadCommand,
                            ExportCommand, ImportCommand, ReloadCommand, ClosePortsCommand,
                            ModesListCommand, ModesSetCommand, WatchCommand, ServiceCommand>;

struct Command {
    GlobalOptions options;
    Action action;
};

// What parsing gave: a command to run, or text to print and a status to end
// with (help: standard output, status 0; an error: standard error, the
// error's status, 2 for every error CLI11 finds).
struct ParseResult {
    std::optional<Command> command;
    ExitStatus status = ExitStatus::Done;
    std::string out;
    std::string err;
};

// Whether `action` changes settings (and prints a write result with --json):
// set, buffered, alias, rename, ignore-serial on|off, load, import, reload,
// close-ports, modes set.
bool WritesSettings(const Action& action);

// `args` without the program name.
ParseResult ParseCommandLine(const std::vector<std::string>& args,
                             Platform platform = kHostPlatform);

}  // namespace varnok::cli
