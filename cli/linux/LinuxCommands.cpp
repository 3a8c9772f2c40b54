#include "cli/linux/LinuxCommands.h"

#include <unistd.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>

#include "cli/Json.h"
#include "cli/TextOutput.h"
#include "cli/WriteResult.h"
#include "cli/linux/LatencyTimer.h"

namespace varnok::linuxhost {

using cli::CliError;
using cli::ExitStatus;

namespace {

// The ports `target` names; throws "not found" for a port that is not there.
std::vector<const FtdiTty*> Chosen(const cli::PortTarget& target, const LinuxHost& host) {
    std::vector<const FtdiTty*> chosen;
    for (const FtdiTty& p : host.ports) {
        cli::PortInfo names;
        names.port = p.tty;
        names.serial = p.portSerial();
        if (target.all || cli::PortRefMatches(target.port, names)) chosen.push_back(&p);
    }
    if (!chosen.empty() || target.all) return chosen;
    const cli::PortRef& ref = target.port;
    if (ref.kind == cli::PortRef::Kind::Tty &&
        access((host.devRoot + "/dev/" + ref.name).c_str(), F_OK) == 0)
        throw CliError(ExitStatus::NotFound, ref.text + " is not an FTDI serial port");
    throw CliError(ExitStatus::NotFound, ref.text + ": no such FTDI serial port");
}

}  // namespace

cli::PortInfo PortInfoOf(const LinuxHost& host, const FtdiTty& port) {
    cli::PortInfo info;
    info.port = port.tty;
    info.serial = port.portSerial();
    info.description = port.description;
    info.deviceId = (uint32_t{0x0403} << 16) | port.productId;
    if (port.locationId != 0) info.locationId = port.locationId;
    info.attached = true;
    info.settings.latencyTimer = ReadLatencyTimer(host.sysRoot, port);
    return info;
}

cli::ExitStatus RunList(const cli::Command& command, const LinuxHost& host, std::ostream& out,
                        std::ostream&) {
    std::vector<cli::PortInfo> infos;
    std::vector<std::optional<uint32_t>> persisted;  // the value a udev rule of varnokctl sets
    for (const FtdiTty& p : host.ports) {
        infos.push_back(PortInfoOf(host, p));
        persisted.push_back(ReadPersistedLatency(host.rulesRoot, p));
    }
    if (command.options.json) {
        nlohmann::ordered_json ports = nlohmann::ordered_json::parse(cli::PortsJson(infos, cli::Platform::Linux));
        for (std::size_t i = 0; i < ports.size(); ++i) {
            ports[i]["interface"] = std::string(1, host.ports[i].interfaceLetter());
            ports[i]["persisted"] = nlohmann::ordered_json::object();
            if (persisted[i]) ports[i]["persisted"]["latencyTimer"] = *persisted[i];
        }
        out << ports.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
        return ExitStatus::Done;
    }
    std::vector<std::vector<std::string>> rows = {
        {"TTY", "SERIAL", "INTERFACE", "LATENCY", "PERSISTED", "DESCRIPTION"}};
    for (std::size_t i = 0; i < infos.size(); ++i) {
        const auto& t = infos[i].settings.latencyTimer;
        rows.push_back({infos[i].port, infos[i].serial,
                        std::string(1, host.ports[i].interfaceLetter()),
                        t ? std::to_string(*t) : "?",
                        persisted[i] ? std::to_string(*persisted[i]) : "-", infos[i].description});
    }
    std::vector<std::size_t> width(rows[0].size(), 0);
    for (const auto& row : rows)
        for (std::size_t c = 0; c < row.size(); ++c) width[c] = std::max(width[c], row[c].size());
    for (const auto& row : rows) {
        for (std::size_t c = 0; c + 1 < row.size(); ++c)
            out << row[c] << std::string(width[c] - row[c].size() + 2, ' ');
        out << row.back() << "\n";
    }
    if (infos.empty()) out << "(no FTDI serial ports)\n";
    return ExitStatus::Done;
}

cli::ExitStatus RunSet(const cli::Command& command, const LinuxHost& host, std::ostream& out,
                       std::ostream& err) {
    const auto& set = std::get<cli::SetCommand>(command.action);
    const auto wanted = set.change.values.latencyTimer;
    const bool dryRun = command.options.dryRun;
    if (!wanted) throw CliError(ExitStatus::Usage, "set: give latency-timer=N");
    const std::vector<const FtdiTty*> chosen = Chosen(set.target, host);
    // Not an error: a start-up script runs on PCs without an adapter too.
    if (chosen.empty()) err << cli::ErrorLine("--all: no FTDI serial port is attached");

    // Everything is read and checked first: a port whose value cannot be
    // read, or that a rule cannot single out, is named before anything is
    // written.
    struct Plan {
        const FtdiTty* port;
        uint32_t before;
        std::optional<uint32_t> rule;  // the value a rule of varnokctl sets now
        bool writeValue;
        bool writeRule;
        bool removeRule;
    };
    std::vector<Plan> plans;
    for (const FtdiTty* p : chosen) {
        int error = 0;
        const std::optional<uint32_t> before = ReadLatencyTimer(host.sysRoot, *p, &error);
        if (!before)
            throw CliError(ExitStatus::Failed, p->tty + ": latency_timer could not be read: " +
                                                   ReasonOf(error));
        if (set.persist && p->usbSerial.empty())
            throw CliError(ExitStatus::Refused,
                           p->tty + ": the device has no USB serial number, so a udev rule "
                                    "cannot tell it from other devices; --persist is not possible");
        Plan plan{p, *before, std::nullopt, *before != *wanted, false, false};
        if (set.persist) {
            plan.rule = ReadPersistedLatency(host.rulesRoot, *p);
            if (*wanted == kDefaultLatencyTimer)
                plan.removeRule = LatencyRuleExists(host.rulesRoot, *p);
            else
                plan.writeRule = plan.rule != wanted;
        }
        plans.push_back(plan);
    }

    // The text and the --json object are made from one result. A port that
    // fails is told and the others are still written.
    cli::WriteResult result;
    std::ostringstream text;
    std::vector<std::string> written;
    bool failures = false;
    const auto fail = [&](const std::string& what, int error) {
        const std::string line = what + ": " + ReasonOf(error);
        err << cli::ErrorLine(line);
        result.warnings.push_back(line);
        failures = true;
    };
    bool anything = false;
    for (const Plan& plan : plans) {
        const FtdiTty& p = *plan.port;
        const std::string rule = std::string(kRulesDir) + "/" + LatencyRuleFileName(p);
        const cli::Change value{p.tty, "latencyTimer", std::to_string(plan.before),
                                std::to_string(*wanted)};
        const cli::Change persisted{
            p.tty, "persisted.latencyTimer",
            plan.rule ? std::optional<std::string>(std::to_string(*plan.rule)) : std::nullopt,
            plan.writeRule ? std::to_string(*wanted) : "(removed)"};
        if (plan.writeValue) text << cli::FormatChange(value) << "\n";
        if (plan.writeRule) text << p.tty << " udev rule " << rule << " latency_timer=" << *wanted << "\n";
        if (plan.removeRule) text << p.tty << " udev rule " << rule << " removed\n";
        anything = anything || plan.writeValue || plan.writeRule || plan.removeRule;
        const std::size_t changesBefore = result.changes.size();
        if (plan.writeValue) {
            const FileResult r =
                dryRun ? FileResult{true, 0} : WriteLatencyTimer(host.sysRoot, p, *wanted);
            if (r.ok)
                result.changes.push_back(value);
            else
                fail(p.tty + ": latency_timer could not be written", r.error);
        }
        if (plan.writeRule || plan.removeRule) {
            const FileResult r = dryRun           ? FileResult{true, 0}
                                 : plan.writeRule ? WriteLatencyRule(host.rulesRoot, p, *wanted)
                                                  : RemoveLatencyRule(host.rulesRoot, p);
            if (r.ok)
                result.changes.push_back(persisted);
            else
                fail(p.tty + ": the udev rule " + rule + " could not be " +
                         (plan.writeRule ? "written" : "removed"),
                     r.error);
        }
        if (set.persist && !dryRun && RemoveOlderLatencyRule(host.rulesRoot, p)) {
            text << p.tty << " an older varnokctl rule for this port was removed\n";
            result.warnings.push_back(p.tty + ": an older varnokctl rule for this port was removed");
        }
        if (result.changes.size() > changesBefore) written.push_back(p.tty);
    }
    result.changed = !result.changes.empty();
    if (failures) {
        err << cli::ErrorLine(written.empty() ? "Nothing was changed."
                                              : "Written: " + cli::Join(written, ", ") + ".");
    } else if (!anything) {
        text << "nothing to change\n";
    } else if (dryRun) {
        text << "(dry run: nothing written)\n";
    } else if (!set.persist) {
        text << "The value lasts until the device is unplugged; --persist keeps it.\n";
    }
    out << (command.options.json ? cli::WriteResultJson(result) : text.str());
    return failures ? ExitStatus::Failed : ExitStatus::Done;
}

}  // namespace varnok::linuxhost
