#include "cli/CommandLine.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <memory>
#include <sstream>

namespace varnok::cli {

namespace {

// Raw texts of the arguments, checked after CLI11 has sorted them out.
struct RawArgs {
    std::string port, file, word, table, adapter, ports, mode;
    std::vector<std::string> items;
    bool all = false;
    bool includeDisconnected = false;
    bool persist = false;
};

// Every subcommand, once; the Windows-only ones stay null on Linux.
struct Commands {
    CLI::App *list = nullptr, *show = nullptr, *set = nullptr, *buffered = nullptr,
             *alias = nullptr, *rename = nullptr, *ignoreSerial = nullptr, *save = nullptr,
             *load = nullptr, *exportDoc = nullptr, *importDoc = nullptr, *reload = nullptr,
             *closePorts = nullptr, *modesList = nullptr, *modesSet = nullptr;
    CLI::App *watch = nullptr, *serviceInstall = nullptr, *serviceUninstall = nullptr,
             *serviceStatus = nullptr, *serviceRun = nullptr;
};

Commands Define(CLI::App& app, Platform platform, RawArgs& raw) {
    Commands c;
    const bool win = platform == Platform::Windows;
    const char* portHelp = PortForms(platform);

    c.list = app.add_subcommand(
        "list", win ? "List the FTDI ports and all their settings"
                    : "List the FTDI serial ports: tty, serial, description, interface, latency "
                      "timer");
    if (win)
        c.list->add_flag("--include-disconnected", raw.includeDisconnected,
                         "Also the ports installed but not attached");

    if (win) {
        c.show = app.add_subcommand("show", "Show one port and all its settings");
        c.show->add_option("PORT", raw.port, portHelp)->required();
    }

    c.set = app.add_subcommand(
        "set", win ? "Change settings of a port, or of every port with --all"
                   : "Set the latency timer (1-255 ms) of a port, or of every port with --all");
    c.set->footer(win ? "NAME=VALUE: min-read-timeout=0-10000, min-write-timeout=0-10000, "
                        "polling-period=0-255, latency-timer=1-255, serial-enumerator, "
                        "serial-printer, cancel-if-power-off, event-on-surprise-removal, "
                        "set-rts-on-close, disable-modem-ctrl-at-startup =on|off, "
                        "preset=varnok|brivane|default (applied first).\n"
                        "Example: varnokctl set --all latency-timer=1"
                      : "NAME=VALUE: latency-timer=1-255. Without --persist the value lasts "
                        "until the device is unplugged.\n"
                        "Example: varnokctl set --all latency-timer=1 --persist");
    c.set->add_option("PORT", raw.port, portHelp);
    c.set->add_option("SETTINGS", raw.items, "the settings to change (see below)")->type_name("NAME=VALUE");
    c.set->add_flag("--all", raw.all,
                    win ? "Every attached port (with --include-disconnected every installed one)"
                        : "Every FTDI serial port");
    if (win)
        c.set->add_flag("--include-disconnected", raw.includeDisconnected,
                        "With --all: also the ports installed but not attached");
    else
        c.set->add_flag("--persist", raw.persist,
                        "Also write a udev rule that sets the value whenever the device appears");

    if (win) {
        c.buffered = app.add_subcommand("buffered", "Switch a port's buffered writes on or off");
        c.buffered->footer("PARAMETERS (with on): size=1-4096, threshold=1-20, latency=1-16.\n"
                           "Example: varnokctl buffered COM5 on size=2048 threshold=10");
        c.buffered->add_option("PORT", raw.port, portHelp)->required();
        c.buffered->add_option("STATE", raw.word, "on or off")->required();
        c.buffered->add_option("PARAMETERS", raw.items, "with on (see below)")
            ->type_name("NAME=N");

        c.alias = app.add_subcommand("alias", "Set a port's baud-rate aliases");
        c.alias->footer("RATE=TARGET: the port runs at TARGET (184-1500000, 2000000 or 3000000) "
                        "when a program asks for RATE, one of 300 600 1200 2400 4800 9600 "
                        "19200 38400 57600 115200 230400 460800 921600 14400. --table loads a "
                        "built-in table first.\n"
                        "Example: varnokctl alias COM5 921600=2000000");
        c.alias->add_option("PORT", raw.port, portHelp)->required();
        c.alias->add_option("ALIASES", raw.items, "the aliases to change (see below)")->type_name("RATE=TARGET");
        c.alias->add_option("--table", raw.table, "standard or brivane");

        c.rename = app.add_subcommand("rename", "Give a port another COM number");
        c.rename->add_option("PORT", raw.port, portHelp)->required();
        c.rename->add_option("NAME", raw.word, "COM1 to COM256")->required();

        c.ignoreSerial = app.add_subcommand(
            "ignore-serial", "Show, or set with on/off, the Ignore Hardware Serial Number flag");
        c.ignoreSerial->add_option("STATE", raw.word, "on or off; none: show");

        c.save = app.add_subcommand("save", "Save a port's configuration as an 84-byte file");
        c.save->add_option("PORT", raw.port, portHelp)->required();
        c.save->add_option("FILE", raw.file, "file to write")->required();
        c.load = app.add_subcommand("load", "Load a port's configuration from an 84-byte file");
        c.load->add_option("PORT", raw.port, portHelp)->required();
        c.load->add_option("FILE", raw.file, "file to read")->required();

        c.exportDoc = app.add_subcommand(
            "export", "Write the settings of every port and the serial-number flag as JSON");
        c.exportDoc->add_option("FILE", raw.file, "file to write")->required();
        c.exportDoc->add_flag("--include-disconnected", raw.includeDisconnected,
                              "Also the ports installed but not attached");
        c.importDoc = app.add_subcommand("import", "Apply a settings document written by export "
                                                   "(or a site profile)");
        c.importDoc->add_option("FILE", raw.file, "file to read")->required();

        c.reload = app.add_subcommand("reload", "Reload the FTDI driver");
        c.closePorts = app.add_subcommand("close-ports", "Report COM ports held open by programs");

        c.watch = app.add_subcommand(
            "watch", "Apply a settings document to every port, then to each port that appears, "
                     "until Ctrl-C");
        c.watch->add_option("PROFILE", raw.file, "settings document (as for import)")->required();
        CLI::App* service =
            app.add_subcommand("service", "The watcher as a Windows service (Varnok Plus profile "
                                          "watcher)");
        service->require_subcommand(0, 1);
        c.serviceInstall = service->add_subcommand(
            "install", "Install and start the service with a copy of PROFILE");
        c.serviceInstall->add_option("PROFILE", raw.file, "settings document")->required();
        c.serviceUninstall = service->add_subcommand("uninstall", "Stop and remove the service");
        c.serviceStatus = service->add_subcommand("status", "Say whether the service runs");
        c.serviceRun = service->add_subcommand("run", "Run as the service (the service manager "
                                                      "starts this)");
    }

    if (!win) {
        c.importDoc = app.add_subcommand(
            "import", "Apply the latency timer of a settings document (a site profile) to the "
                      "FTDI serial ports");
        c.importDoc->footer("Other settings of the document do not exist on Linux: each is "
                            "reported and skipped.\n"
                            "Example: varnokctl import site.json --persist");
        c.importDoc->add_option("FILE", raw.file, "file to read")->required();
        c.importDoc->add_flag("--persist", raw.persist,
                              "Also write the profile's entries as udev rules, so that ports "
                              "plugged in later get the value");
    }

    CLI::App* modes = app.add_subcommand("modes", "Line interface of the Varnok adapters' ports");
    modes->require_subcommand(0, 1);
    c.modesList = modes->add_subcommand("list", "List the adapters, their ports, modes and bits");
    c.modesSet = modes->add_subcommand("set", "Set the mode (and bits) of an adapter's ports");
    c.modesSet->footer(
        "MODE: 1-8 or rs485-rts-4w, rs485-rts-2w, rs485-rts-2w-echo, rs485-auto-4w, "
        "rs485-auto-2w, rs485-auto-2w-echo, rs422, rs232; reduced model: rs485-4w, rs485-2w, "
        "rs422-4w, rs232. Bits (standard: bias, txterm, rxterm; reduced: termination) are "
        "refused in RS232 mode.\n"
        "Example: varnokctl modes set 1 2-4 rs485-auto-2w bias=on");
    c.modesSet->add_option("ADAPTER", raw.adapter,
                           "the line as listed, the COM port it is reached through, or its "
                           "number in modes list")
        ->required();
    c.modesSet->add_option("PORTS", raw.ports, "1, 1,3, 2-4 or all")->required();
    c.modesSet->add_option("MODE", raw.mode, "code 1-8 or name")->required();
    c.modesSet->add_option("BITS", raw.items, "control bits (see below)")
        ->type_name("BIT=on|off");
    return c;
}

Action Build(const CLI::App& app, const Commands& c, RawArgs& raw, Platform platform) {
    if (app.get_subcommands().empty())
        throw CliError(ExitStatus::Usage, "give a command (varnokctl --help lists them)");
    if (c.modesList->get_parent()->parsed() && !c.modesList->parsed() && !c.modesSet->parsed())
        throw CliError(ExitStatus::Usage, "modes: give list or set");
    // Arguments in braces are parsed left to right: the first bad one is named.
    const auto port = [&] { return ParsePortRef(raw.port, platform); };
    // The Windows-only commands are null on Linux.
    const auto given = [](const CLI::App* command) { return command && command->parsed(); };
    if (c.list->parsed()) return ListCommand{raw.includeDisconnected};
    if (given(c.show)) return ShowCommand{port()};
    if (c.set->parsed()) {
        SetCommand cmd;
        cmd.target.all = raw.all;
        cmd.target.includeDisconnected = raw.includeDisconnected;
        cmd.persist = raw.persist;
        if (raw.all) {
            // With --all the first word is a setting, not a port.
            if (!raw.port.empty() && raw.port.find('=') == std::string::npos)
                throw CliError(ExitStatus::Usage, "set: give a PORT or --all, not both");
            if (!raw.port.empty()) raw.items.insert(raw.items.begin(), raw.port);
        } else if (raw.port.empty()) {
            throw CliError(ExitStatus::Usage, "set: give a PORT or --all");
        } else {
            cmd.target.port = port();
        }
        if (raw.includeDisconnected && !raw.all)
            throw CliError(ExitStatus::Usage, "set: --include-disconnected goes with --all");
        cmd.change = ParseSetAssignments(raw.items, raw.all ? "--all" : raw.port, platform);
        return cmd;
    }
    if (given(c.buffered))
        return BufferedCommand{port(), ParseBuffered(raw.word, raw.items, raw.port)};
    if (given(c.alias)) {
        AliasCommand cmd;
        cmd.port = port();
        if (!raw.table.empty()) cmd.table = ParseAliasTable(raw.table);
        cmd.rows = ParseAliasAssignments(raw.items, cmd.port.text);
        if (!cmd.table && cmd.rows.empty())
            throw CliError(ExitStatus::Usage,
                           cmd.port.text + ": alias needs RATE=TARGET ... or --table");
        return cmd;
    }
    if (given(c.rename)) return RenameCommand{port(), ParseComNumber(raw.word, raw.port)};
    if (given(c.ignoreSerial))
        return raw.word.empty() ? IgnoreSerialCommand{}
                                : IgnoreSerialCommand{ParseOnOff(raw.word, "ignore-serial")};
    if (given(c.save)) return SaveCommand{port(), raw.file};
    if (given(c.load)) return LoadCommand{port(), raw.file};
    if (given(c.exportDoc)) return ExportCommand{raw.file, raw.includeDisconnected};
    if (given(c.importDoc)) return ImportCommand{raw.file, raw.persist};
    if (given(c.reload)) return ReloadCommand{};
    if (given(c.closePorts)) return ClosePortsCommand{};
    if (given(c.watch)) return WatchCommand{raw.file};
    if (c.serviceInstall) {
        using Verb = ServiceCommand::Verb;
        if (c.serviceInstall->parsed()) return ServiceCommand{Verb::Install, raw.file};
        if (c.serviceUninstall->parsed()) return ServiceCommand{Verb::Uninstall, {}};
        if (c.serviceStatus->parsed()) return ServiceCommand{Verb::Status, {}};
        if (c.serviceRun->parsed()) return ServiceCommand{Verb::Run, {}};
        if (c.serviceInstall->get_parent()->parsed())
            throw CliError(ExitStatus::Usage, "service: give install, uninstall or status");
    }
    if (c.modesList->parsed()) return ModesListCommand{};
    return ModesSetCommand{raw.adapter, ParsePortSelection(raw.ports), ParseModeSpec(raw.mode),
                           ParseBitAssignments(raw.items)};
}

// The parser of one platform: the CLI11 app with every option and
// subcommand, bound to the variables it fills. Defining it costs far more
// than a parse, so it is defined once (per thread and platform) and its
// variables and parse state are reset before each parse. CLI11 keeps the
// order of every option it parsed (App::parse_order) across parses, so a
// caller that parses again and again gets a fresh parser now and then.
class Parser {
public:
    explicit Parser(Platform platform)
        : platform_(platform),
          app_(platform == Platform::Windows
                   ? "Sets the FTDI driver's port options and the Varnok adapters' line "
                     "interfaces from the command line.\nExit status: 0 done, 1 failed, 2 usage "
                     "error, 3 not found, 4 refused."
                   : "Sets the latency timer of FTDI serial ports and the Varnok adapters' line "
                     "interfaces.\nExit status: 0 done, 1 failed, 2 usage error, 3 not found, "
                     "4 refused.",
               "varnokctl") {
        // Global options are taken before and after the command. A missing
        // command is caught after parsing, so that a mistyped one is named.
        app_.fallthrough();
        // One command a run: once it is seen, a later word is that command's
        // argument, never a second command (nor looked up as one).
        app_.require_subcommand(0, 1);
        // Options start with '-' only: the Windows build of CLI11 would
        // otherwise take "/dev/ttyUSB0" or a "/path" argument for an option.
        app_.allow_windows_style_options(false);
        app_.add_flag("--json", options_.json, "Print JSON");
        app_.add_flag("--dry-run", options_.dryRun, "Print each change and write nothing");
        if (platform == Platform::Windows)
            app_.add_flag("--no-reload", options_.noReload, "Do not reload the driver after writing");
        app_.add_flag("--verbose", options_.verbose, "Say more about what happens");
        app_.add_flag("--version", version_, "Print the program's version");
        commands_ = Define(app_, platform, raw_);
    }

    // Parses before the parser is defined anew.
    static constexpr int kParsesPerDefinition = 4096;
    int parses = 0;

    ParseResult parse(const std::vector<std::string>& args) {
        // Nothing of an earlier parse may show through: CLI11 leaves a bound
        // variable alone when its option is not given.
        options_ = GlobalOptions{};
        raw_ = RawArgs{};
        version_ = false;
        app_.clear();
        // Results: {command, status, standard output, standard error}.
        if (const std::string unknown = unknownCommand(args); !unknown.empty())
            return {std::nullopt, ExitStatus::Usage, "", ErrorLine(unknown)};
        try {
            std::vector<std::string> reversed(args.rbegin(), args.rend());
            app_.parse(reversed);
        } catch (const CLI::ParseError& e) {
            std::ostringstream out, err;
            const int code = app_.exit(e, out, err);
            return {std::nullopt, code == 0 ? ExitStatus::Done : ExitStatus::Usage, out.str(),
                    err.str()};
        }
        if (version_ && app_.get_subcommands().empty())
            return {std::nullopt, ExitStatus::Done,
                    options_.json ? "{\n  \"version\": \"" VARNOK_CLI_VERSION "\"\n}\n"
                                  : "varnokctl " VARNOK_CLI_VERSION "\n",
                    ""};
        try {
            return {Command{options_, Build(app_, commands_, raw_, platform_)}, ExitStatus::Done,
                    "", ""};
        } catch (const CliError& e) {
            return {std::nullopt, e.status(), "", ErrorLine(e.what())};
        }
    }

private:
    // "unknown command lst (did you mean list?)" for a first word (after
    // the global flags) that is no command; empty when it is one.
    std::string unknownCommand(const std::vector<std::string>& args) {
        const CLI::App* level = &app_;
        std::string path;
        for (const std::string& arg : args) {
            if (!arg.empty() && arg[0] == '-') {
                if (level == &app_) continue;  // a global flag
                break;
            }
            std::vector<std::string> names;  // the words that may follow: its subcommands
            for (const CLI::App* sub : level->get_subcommands([](const CLI::App*) { return true; }))
                names.push_back(sub->get_name());
            if (names.empty()) break;
            if (std::find(names.begin(), names.end(), arg) == names.end())
                return "unknown command " + path + arg + DidYouMean(arg, names) +
                       " (varnokctl --help lists them)";
            level = level->get_subcommand(arg);
            path += arg + " ";
        }
        return {};
    }

    const Platform platform_;
    CLI::App app_;
    bool version_ = false;
    GlobalOptions options_;
    RawArgs raw_;
    Commands commands_;
};

}  // namespace

ParseResult ParseCommandLine(const std::vector<std::string>& args, Platform platform) {
    thread_local std::unique_ptr<Parser> windows, posix;
    std::unique_ptr<Parser>& parser = platform == Platform::Windows ? windows : posix;
    if (!parser || parser->parses >= Parser::kParsesPerDefinition)
        parser = std::make_unique<Parser>(platform);
    ++parser->parses;
    return parser->parse(args);
}

bool WritesSettings(const Action& action) {
    if (const auto* flag = std::get_if<IgnoreSerialCommand>(&action)) return flag->value.has_value();
    return std::holds_alternative<SetCommand>(action) ||
           std::holds_alternative<BufferedCommand>(action) ||
           std::holds_alternative<AliasCommand>(action) ||
           std::holds_alternative<RenameCommand>(action) ||
           std::holds_alternative<LoadCommand>(action) ||
           std::holds_alternative<ImportCommand>(action) ||
           std::holds_alternative<ReloadCommand>(action) ||
           std::holds_alternative<ClosePortsCommand>(action) ||
           std::holds_alternative<ModesSetCommand>(action);
}

}  // namespace varnok::cli
