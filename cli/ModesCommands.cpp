#include "cli/ModesCommands.h"

#include <algorithm>
#include <exception>
#include <sstream>

#include "cli/Json.h"
#include "cli/ModeValues.h"
#include "cli/Values.h"
#include "common/d2xx/D2xx.h"
#include "modetool/Discovery.h"
#include "modetool/Modes.h"
#include "modetool/Protocol.h"

namespace varnok::cli {

namespace {

// "COM20" from "\\.\COM20", "ttyUSB0" from "/dev/ttyUSB0".
std::string WithoutDevicePrefix(const std::string& path) {
    for (const std::string prefix : {"\\\\.\\", "/dev/"})
        if (path.compare(0, prefix.size(), prefix) == 0) return path.substr(prefix.size());
    return path;
}

// The system's text as one line: without the line end it usually carries.
std::string OneLine(std::string text) {
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    return text;
}

// "Error(5) / \\.\COM20: Access is denied.", as the mode tool shows it.
std::string FailureText(const mode::ModeTool& tool, const varnok::Failure& failure) {
    return mode::ErrorMessageText(failure.code, failure.context,
                                  OneLine(tool.serial.systemMessage(failure.code)));
}

std::string ModeText(AdapterModel model, int code) {
    const char* name = ModeName(model, code);
    return name ? std::string(name) : "mode " + std::to_string(code) + " (unknown)";
}

std::string AdapterLabel(const AdapterInfo& a) { return "adapter \"" + a.line + "\""; }

// The found adapters as the command line shows them, each with the port it
// is reached through without "\\.\" or "/dev/".
std::vector<AdapterInfo> InfosOf(const mode::AdapterArray& array) {
    std::vector<AdapterInfo> infos;
    for (const mode::AdapterRecord& record : array) {
        AdapterInfo& info = infos.emplace_back();
        info.line = mode::DeviceLine(record);
        info.via = WithoutDevicePrefix(record.devicePath);
        info.model = mode::IsReducedModel(record.typeCode) ? AdapterModel::Reduced
                                                           : AdapterModel::Standard;
        const int count = std::min<int>(record.portCount, mode::kMaxPorts);
        for (int k = 0; k < count; ++k) {
            const mode::AdapterPort& p = record.ports[static_cast<std::size_t>(k)];
            info.ports.push_back({k + 1, p.comName, p.modeCode, p.controlBits});
        }
    }
    return infos;
}

// What `modes set` changes on `before` to make `after`, port by port:
// "Varnok Plus 4 (7) port 2 mode rs232 -> rs485-auto-2w". With `byPortName`
// each change names the port by its COM or tty name alone (empty when
// unknown), as the --json result does.
std::vector<Change> ModeChanges(const AdapterInfo& before, const AdapterInfo& after,
                                bool byPortName = false) {
    std::vector<Change> changes;
    const std::size_t count = std::min(before.ports.size(), after.ports.size());
    for (std::size_t k = 0; k < count; ++k) {
        const AdapterPortInfo& b = before.ports[k];
        const AdapterPortInfo& a = after.ports[k];
        const std::string port =
            byPortName ? a.com : after.line + " port " + std::to_string(a.number);
        if (b.modeCode != a.modeCode)
            changes.push_back(
                {port, "mode", ModeText(before.model, b.modeCode), ModeText(after.model, a.modeCode)});
        for (const BitInfo& bit : ModelBits(after.model)) {
            const bool was = (b.controlBits & bit.value) != 0;
            const bool is = (a.controlBits & bit.value) != 0;
            if (was != is) changes.push_back({port, bit.name, was ? "on" : "off", is ? "on" : "off"});
        }
    }
    return changes;
}

bool Stopped(const std::atomic<bool>* stop) { return stop != nullptr && stop->load(); }

mode::EngineOptions OptionsOf(const std::atomic<bool>* stop) {
    mode::EngineOptions o;
    o.stop = stop;
    return o;
}

// The configuration interfaces that were asked and failed without a told
// failure. A configuration interface always answers, so each one is an
// adapter missing from the list. (A first data port that keeps silent is
// usually no adapter at all, or one not in configuration mode.)
std::vector<const mode::QuietDevice*> QuietConfigPorts(const mode::SearchOutcome& found) {
    std::vector<const mode::QuietDevice*> quiet;
    for (const mode::QuietDevice& q : found.quiet)
        if (q.candidate.configInterface) quiet.push_back(&q);
    return quiet;
}

// "ttyUSB0: the adapter's configuration port did not answer".
std::string QuietText(const mode::QuietDevice& q) {
    return q.candidate.comName + ": the adapter's configuration port " +
           (q.failure.code == serial::kErrorAccessDenied ? "is in use by another program"
                                                          : "did not answer");
}

// Searches as "Search Devices" does. False (with the reason on `err`) when
// the device list could not be read at all. Query failures worth telling are
// written to `err` and left in `found.failures`; so are configuration ports
// that did not answer, each line ending with `consequence` when there is
// one.
bool Search(mode::Engine& engine, const mode::ModeTool& tool, const std::atomic<bool>* stop,
            const char* consequence, mode::SearchOutcome* found, std::ostream& err) {
    if (!tool.d2xxAvailable) {
        err << ErrorLine(d2xx::LibraryMissingText(tool.d2xxLoadError));
        return false;
    }
    *found = engine.search(OptionsOf(stop));
    for (const varnok::Failure& f : found->failures)
        err << ErrorLine("while searching: " + FailureText(tool, f));
    for (const mode::QuietDevice* q : QuietConfigPorts(*found))
        err << ErrorLine(QuietText(*q) + (consequence ? std::string("; ") + consequence : ""));
    switch (found->result.status) {
    case mode::SearchStatus::Found:
    case mode::SearchStatus::NoneFound:
        return true;
    case mode::SearchStatus::NoMemory:
        err << ErrorLine("no memory for the FTDI device list");
        return false;
    case mode::SearchStatus::ListFailed:
        err << ErrorLine("the FTDI device list could not be read (FT_CreateDeviceInfoList failed)");
        return false;
    case mode::SearchStatus::GetListFailed:
        err << ErrorLine("the FTDI device list could not be read (FT_GetDeviceInfoList failed)");
        return false;
    }
    return false;
}

// What an interrupted search leaves out: "interrupted: COM28, COM29 were not
// asked; the list is incomplete".
std::string InterruptedSearchText(const mode::SearchOutcome& found) {
    if (found.notAsked.empty()) return "interrupted after every device had been asked";
    std::string names;
    for (const mode::Candidate& c : found.notAsked) names += (names.empty() ? "" : ", ") + c.comName;
    return "interrupted: " + names + (found.notAsked.size() == 1 ? " was" : " were") +
           " not asked; the list is incomplete";
}

ExitStatus RunList(const GlobalOptions& options, mode::Engine& engine,
                   const mode::ModeTool& tool, const std::atomic<bool>* stop, std::ostream& out,
                   std::ostream& err) {
    mode::SearchOutcome found;
    if (!Search(engine, tool, stop, "the list is incomplete", &found, err))
        return ExitStatus::Failed;
    const bool interrupted = Stopped(stop);
    const bool quiet = !QuietConfigPorts(found).empty();
    const std::vector<AdapterInfo> infos = InfosOf(found.result.adapters);
    if (options.json) {
        out << AdaptersJson(infos);
    } else if (infos.empty()) {
        if (!interrupted && !quiet)
            err << ErrorLine("no adapter found (an Apex adapter must be put into configuration "
                             "mode first: hold its config button for two seconds until it lights)");
    } else {
        out << AdaptersText(infos);
    }
    if (interrupted) {
        err << ErrorLine(InterruptedSearchText(found));
        return ExitStatus::Interrupted;
    }
    // The list is incomplete when an adapter could not be asked.
    return found.failures.empty() && !quiet ? ExitStatus::Done : ExitStatus::Failed;
}

ExitStatus RunSet(const ModesSetCommand& set, const GlobalOptions& options,
                  mode::Engine& engine, const mode::ModeTool& tool,
                  const std::atomic<bool>* stop, std::ostream& out, std::ostream& err) {
    constexpr char kNotSent[] = "interrupted before the new settings were sent: ";
    mode::SearchOutcome found;
    if (!Search(engine, tool, stop, nullptr, &found, err)) return ExitStatus::Failed;
    if (Stopped(stop)) {
        err << ErrorLine(std::string(kNotSent) + "no adapter was changed");
        return ExitStatus::Interrupted;
    }
    mode::AdapterArray& array = found.result.adapters;
    const std::vector<AdapterInfo> infos = InfosOf(array);

    std::size_t index = 0;
    try {
        index = ResolveAdapter(set.adapter, infos);
    } catch (const CliError& e) {
        // An adapter that failed to answer may be the one asked for: the
        // failure, already told, is the reason.
        if (e.status() != ExitStatus::NotFound ||
            (found.failures.empty() && QuietConfigPorts(found).empty()))
            throw;
        err << ErrorLine(e.what());
        return ExitStatus::Failed;
    }
    const AdapterInfo& before = infos[index];
    const std::vector<int> ports = ResolvePortSelection(set.ports, before);
    AdapterInfo after = before;
    ApplyModeSet(after, ports, set.mode, set.bits);  // refuses before anything changes

    const std::vector<Change> changes = ModeChanges(before, after);
    // The result names each port by its COM or tty name, as every other
    // command does; the text keeps the adapter's line and port number.
    WriteResult outcome;
    outcome.changes = ModeChanges(before, after, true);
    outcome.changed = !changes.empty();
    const auto report = [&](bool done) {
        if (!done) outcome.changes.clear();
        outcome.changed = outcome.changed && done;
        if (options.json) {
            out << WriteResultJson(outcome);
        } else if (changes.empty()) {
            out << before.line << ": nothing to change\n";
        } else if (done) {
            for (const Change& c : changes) out << FormatChange(c) << "\n";
        }
    };
    if (changes.empty() || options.dryRun) {
        report(true);
        return ExitStatus::Done;
    }

    // The chosen ports selected and clicked as in the mode tool: the mode for
    // all of them at once, then each port's own bits, so that bits not named
    // stay as each port has them.
    mode::AdapterRecord& record = array[index];
    mode::Selection selection{{&record}, {}};
    for (int p : ports) selection.portRows.push_back(p - 1);
    mode::ClickMode(selection, after.ports[static_cast<std::size_t>(ports.front() - 1)].modeCode);
    if (!set.bits.empty()) {
        for (int p : ports) {
            mode::Selection one{{&record}, {p - 1}};
            mode::ClickBits(one, after.ports[static_cast<std::size_t>(p - 1)].controlBits);
        }
    }

    const mode::CommitOutcome written = engine.commit(array, OptionsOf(stop));
    const std::string where = AdapterLabel(before) + " via " + before.via;
    const auto warn = [&](const std::string& text) {
        err << ErrorLine(text);
        outcome.warnings.push_back(text);
    };
    if (written.stopped) {
        warn(kNotSent + where + " is unchanged");
        report(false);
        return ExitStatus::Interrupted;
    }
    // Stopped while the exchange ran: it was finished all the same, and what
    // it ended with is told first.
    const bool interrupted = Stopped(stop);
    const varnok::Result<mode::CommitStatus>& result = written.results.at(index);
    if (!result) {
        const varnok::Failure& f = result.failure();
        if (f.code != 0)
            warn(AdapterLabel(before) + ": " + FailureText(tool, f));
        else
            warn(where + " did not answer as expected; its settings may be "
                         "unchanged: run modes list to see them");
    } else if (result.value() != mode::CommitStatus::Stored) {
        warn(where + " did not accept the new settings (no OK); it is unchanged");
    } else {
        if (interrupted) warn("interrupted, but " + where + " had already stored the new settings");
        report(true);
        return interrupted ? ExitStatus::Interrupted : ExitStatus::Done;
    }
    if (interrupted) warn("interrupted while " + where + " was being written (see above)");
    report(false);
    return interrupted ? ExitStatus::Interrupted : ExitStatus::Failed;
}

ExitStatus RunModes(const Command& command, mode::ModeTool& tool, mode::Executor& executor,
                    std::ostream& out, std::ostream& err, const std::atomic<bool>* stop) {
    try {
        mode::Engine engine(tool, executor);
        if (std::holds_alternative<ModesListCommand>(command.action))
            return RunList(command.options, engine, tool, stop, out, err);
        if (const auto* set = std::get_if<ModesSetCommand>(&command.action))
            return RunSet(*set, command.options, engine, tool, stop, out, err);
        err << ErrorLine("not a modes command");
        return ExitStatus::Usage;
    } catch (const CliError& e) {
        err << ErrorLine(e.what());
        return e.status();
    } catch (const std::exception& e) {
        err << ErrorLine(std::string("modes: ") + e.what());
        return ExitStatus::Failed;
    }
}

}  // namespace

std::string AdaptersText(const std::vector<AdapterInfo>& adapters) {
    std::ostringstream s;
    for (std::size_t i = 0; i < adapters.size(); ++i) {
        const AdapterInfo& a = adapters[i];
        s << i + 1 << "  " << a.line << "  via " << (a.via.empty() ? "?" : a.via) << "  ("
          << ModelName(a.model) << " model)\n";
        for (const AdapterPortInfo& p : a.ports) {
            s << "   port " << p.number;
            if (!p.com.empty()) s << " (" << p.com << ")";
            s << ": " << ModeText(a.model, p.modeCode);
            for (const BitInfo& bit : ModelBits(a.model))
                s << ", " << bit.name << " " << ((p.controlBits & bit.value) ? "on" : "off");
            if (IsRs232(a.model, p.modeCode)) s << " (bits not used in rs232)";
            s << "\n";
        }
    }
    return s.str();
}

ExitStatus RunModesCommand(const Command& command, mode::ModeTool& tool,
                           mode::Executor& executor, std::ostream& out, std::ostream& err,
                           const std::atomic<bool>* stop) {
    if (!command.options.json || !std::holds_alternative<ModesSetCommand>(command.action))
        return RunModes(command, tool, executor, out, err, stop);
    // modes set --json prints its result object also when it ends before
    // the commit (no adapter list, an adapter or port not found, refused):
    // nothing changed, and what was told on standard error.
    std::ostringstream printed, told;
    const ExitStatus status = RunModes(command, tool, executor, printed, told, stop);
    err << told.str();
    if (!printed.str().empty()) {
        out << printed.str();
        return status;
    }
    WriteResult result;
    std::istringstream lines(told.str());
    std::string prefix = ErrorLine("");
    prefix.pop_back();  // its line end
    for (std::string line; std::getline(lines, line);)
        result.warnings.push_back(line.rfind(prefix, 0) == 0 ? line.substr(prefix.size()) : line);
    out << WriteResultJson(result);
    return status;
}

}  // namespace varnok::cli
