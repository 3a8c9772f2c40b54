#include "cli/linux/LinuxCommands.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>

#include "cli/Json.h"
#include "cli/TextOutput.h"
#include "cli/linux/LatencyTimer.h"

namespace varnok::linuxhost {

using cli::CliError;
using cli::ExitStatus;

namespace {

std::string NoPermission(int error) {
    return error == EACCES || error == EPERM ? " (run as root, for example with sudo)" : "";
}

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
    for (const FtdiTty& p : host.ports) infos.push_back(PortInfoOf(host, p));
    if (command.options.json) {
        nlohmann::ordered_json ports = nlohmann::ordered_json::parse(cli::PortsJson(infos));
        for (std::size_t i = 0; i < ports.size(); ++i)
            ports[i]["interface"] = std::string(1, host.ports[i].interfaceLetter());
        out << ports.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
        return ExitStatus::Done;
    }
    std::vector<std::vector<std::string>> rows = {
        {"TTY", "SERIAL", "INTERFACE", "LATENCY", "DESCRIPTION"}};
    for (std::size_t i = 0; i < infos.size(); ++i) {
        const auto& t = infos[i].settings.latencyTimer;
        rows.push_back({infos[i].port, infos[i].serial,
                        std::string(1, host.ports[i].interfaceLetter()),
                        t ? std::to_string(*t) : "?", infos[i].description});
    }
    std::vector<std::size_t> width(rows[0].size(), 0);
    for (const auto& row : rows)
        for (std::size_t c = 0; c < row.size(); ++c) width[c] = std::max(width[c], row[c].size());
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c)
            line += c + 1 == row.size() ? row[c] : row[c] + std::string(width[c] - row[c].size() + 2, ' ');
        out << line << "\n";
    }
    if (infos.empty()) out << "(no FTDI serial ports)\n";
    return ExitStatus::Done;
}

cli::ExitStatus RunSet(const cli::Command& command, const LinuxHost& host, std::ostream& out,
                       std::ostream& err) {
    const auto& set = std::get<cli::SetCommand>(command.action);
    const auto wanted = set.change.values.latencyTimer;
    if (!wanted) throw CliError(ExitStatus::Usage, "set: give latency-timer=N");
    const std::vector<const FtdiTty*> chosen = Chosen(set.target, host);
    if (chosen.empty()) throw CliError(ExitStatus::NotFound, "--all: no FTDI serial ports");

    // Read every value first: a port whose value cannot be read is named
    // before anything is written.
    std::vector<std::optional<uint32_t>> before;
    for (const FtdiTty* p : chosen) {
        int error = 0;
        before.push_back(ReadLatencyTimer(host.sysRoot, *p, &error));
        if (!before.back())
            throw CliError(ExitStatus::Failed, p->tty + ": latency_timer could not be read: " +
                                                   std::strerror(error) + NoPermission(error));
    }
    std::vector<std::string> written;
    const auto partial = [&]() {
        return written.empty() ? std::string(" Nothing was changed.")
                               : " Written before the failure: " + [&] {
                                     std::string s;
                                     for (const auto& w : written) s += (s.empty() ? "" : ", ") + w;
                                     return s;
                                 }() + ".";
    };
    for (std::size_t i = 0; i < chosen.size(); ++i) {
        const FtdiTty& p = *chosen[i];
        const bool change = *before[i] != *wanted;
        if (change) out << cli::FormatChange({p.tty, "latencyTimer", std::to_string(*before[i]),
                                              std::to_string(*wanted)}) << "\n";
        if (set.persist)
            out << p.tty << " udev rule " << kRulesDir << "/" << LatencyRuleFileName(p)
                << " latency_timer=" << *wanted << "\n";
        if (command.options.dryRun) continue;
        if (change) {
            const FileResult r = WriteLatencyTimer(host.sysRoot, p, *wanted);
            if (!r.ok) {
                err << cli::ErrorLine(p.tty + ": latency_timer could not be written: " +
                                      std::strerror(r.error) + NoPermission(r.error) + "." +
                                      partial());
                return ExitStatus::Failed;
            }
            written.push_back(p.tty);
        }
        if (set.persist) {
            const FileResult r = WriteLatencyRule(host.rulesRoot, p, *wanted);
            if (!r.ok) {
                err << cli::ErrorLine(p.tty + ": the udev rule " + kRulesDir + "/" +
                                      LatencyRuleFileName(p) + " could not be written: " +
                                      std::strerror(r.error) + NoPermission(r.error) + "." +
                                      partial());
                return ExitStatus::Failed;
            }
        }
        if (set.persist && !change) written.push_back(p.tty);
    }
    if (command.options.dryRun) {
        out << "(dry run: nothing written)\n";
    } else if (!set.persist) {
        out << "The value lasts until the device is unplugged; --persist keeps it.\n";
    }
    return ExitStatus::Done;
}

}  // namespace varnok::linuxhost
