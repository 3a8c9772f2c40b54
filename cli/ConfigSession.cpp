#include "cli/ConfigSession.h"

#include <algorithm>
#include <utility>

#include "common/platform/RegistryValues.h"
#include "configurator/changes/ChangePlanners.h"
#include "configurator/discovery/AccessRights.h"
#include "configurator/discovery/Discovery.h"
#include "configurator/settings/BufferedWrites.h"
#include "configurator/settings/Panel.h"
#include "configurator/settings/RegistrySettings.h"

namespace varnok::cli {

Session::Session(const Command& c, ConfigSeams& s, std::ostream& o, std::ostream& e)
    : command(c), seams(s), out(o), err(e), app(s.registry, s.d2xx, s.serial, s.clock) {
    app.d2xxAvailable = s.d2xxAvailable;
    app.d2xxLoadError = s.d2xxLoadError;
    if (s.backupFolder && s.localTime) {
        journal_ = std::make_unique<cfg::backup::BackupJournal>(s.registry, *s.backupFolder,
                                                                *s.localTime);
        app.backup = journal_.get();
    }
}

// ---- reading ------------------------------------------------------------

namespace {

// The library's serial of a single-port chip lacks the port letter its key
// has when the device could not be opened.
bool SameDevice(const cfg::PortEntry& installed, uint32_t deviceId, const std::string& serial) {
    return installed.deviceId == deviceId &&
           (installed.serialNumber == serial || installed.serialNumber == serial + "A");
}

constexpr char kNoKeyReason[] = "the driver has no registry key for this device";

}  // namespace

void Session::load(bool everyInstalled, bool withBuffered) {
    if (!seams.d2xxAvailable && !loaded_) {
        err << ErrorLine("warning: the D2XX library could not be loaded (" +
                         seams.d2xxLoadError + "); attached ports are not known");
    }
    cfg::Problems problems;
    app.table.showDisconnected = false;
    cfg::RebuildFromLibrary(app, problems);
    // Descriptions and locations come from the library's pass only.
    const std::vector<cfg::PortEntry> library = app.table.entries;
    if (everyInstalled) {
        app.table.showDisconnected = true;
        cfg::RebuildForList(app, problems);
    }
    ports.clear();
    keyless_.clear();
    for (const auto& e : app.table.entries) {
        if (e.deviceId == 0) continue;  // a key whose name is not an instance key
        Port p;
        p.entry = e;
        p.keyFound = reg::OpenKey(seams.registry, cfg::DeviceParametersKeyPath(e),
                                  reg::Access::Read) != nullptr;
        if (everyInstalled) {
            for (const auto& l : library) {
                if (e.connected && l.serialNumber == e.serialNumber) {
                    p.entry.description = l.description;
                    p.entry.locationId = l.locationId;
                }
                if (!l.connected && SameDevice(e, l.deviceId, l.serialNumber) && !e.connected)
                    p.heldOpen = true;
                // The name of a port whose Device Parameters key is missing
                // is the library's.
                if (!p.keyFound && p.entry.portName.empty() && l.connected &&
                    l.deviceId == e.deviceId && l.serialNumber == e.serialNumber)
                    p.entry.portName = l.portName;
            }
        }
        if (withBuffered && p.keyFound) cfg::ReadBufferedWriteValues(app, p.entry);
        p.info = PortInfoOf(p.entry);
        ports.push_back(std::move(p));
    }
    if (everyInstalled) {
        for (const auto& l : library) {
            if (!l.connected) continue;
            bool installed = false;
            for (const auto& p : ports)
                installed = installed || SameDevice(p.entry, l.deviceId, l.serialNumber);
            if (!installed) keyless_.push_back(cfg::PortLabel(l));
        }
    }
    loaded_ = true;
    everyInstalled_ = everyInstalled;
    if (command.options.verbose)
        for (const auto& problem : problems) err << ErrorLine(problem.text);
}

Port& Session::find(const PortRef& ref) {
    const auto named = [&](const Port& p) { return PortRefMatches(ref, p.info); };
    auto found = std::find_if(ports.begin(), ports.end(), named);
    if (found == ports.end() && !everyInstalled_) {
        // A port named on its own may be installed but not attached.
        load(true, true);
        found = std::find_if(ports.begin(), ports.end(), named);
    }
    if (found == ports.end())
        Fail(ExitStatus::NotFound, ref.text + ": no such FTDI port is installed");
    return *found;
}

std::size_t Session::findWritable(const PortRef& ref) {
    Port& p = find(ref);
    if (!p.keyFound) Fail(ExitStatus::NotFound, ref.text + ": " + kNoKeyReason);
    return static_cast<std::size_t>(&p - ports.data());
}

void Session::skip(const std::string& port, const std::string& reason) {
    err << ErrorLine(port + ": " + reason + "; skipped");
    result.skipped.push_back({port, reason});
}

std::vector<std::size_t> Session::portSet(bool everyInstalled) {
    load(true, true);
    std::vector<std::size_t> found;
    for (const std::string& name : keyless_) skip(name, kNoKeyReason);
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (!everyInstalled && !ports[i].attached()) continue;
        if (!ports[i].keyFound) {
            skip(cfg::PortLabel(ports[i].entry), kNoKeyReason);
            continue;
        }
        found.push_back(i);
    }
    return found;
}

std::vector<std::size_t> Session::targets(const PortTarget& target) {
    if (!target.all) {
        load(false, false);
        return {findWritable(target.port)};
    }
    std::vector<std::size_t> found = portSet(target.includeDisconnected);
    // Not an error: a start-up script runs on PCs without an adapter too.
    if (found.empty())
        err << ErrorLine(target.includeDisconnected ? "--all: no FTDI port is installed"
                                                    : "--all: no FTDI port is attached");
    return found;
}

// ---- planning -------------------------------------------------------------

void Session::needConfigData(const PortPlan& plan, const std::string& what) const {
    if (plan.next.writesBack(cfg::kFieldConfigData)) return;
    Fail(ExitStatus::Refused,
         cfg::PortLabel(plan.next) + " " + what +
             ": the port's ConfigData could not be read, so it is not changed (a preset, "
             "load or import sets the whole value)");
}

void Session::applySettings(PortPlan& plan, const PortSettings& values) const {
    cfg::PortEntry& e = plan.next;
    for (const SettingInfo& info : kSettings) {
        if (info.number) {
            const auto& v = values.*(info.number);
            const cfg::PanelNumber* box = cfg::PanelNumberNamed(info.jsonName);
            if (!v || box == nullptr) continue;
            if (*v < box->low || *v > box->high)
                Fail(ExitStatus::Refused, cfg::PortLabel(e) + " " + info.jsonName + "=" +
                                              std::to_string(*v) + ": out of range (" +
                                              std::to_string(box->low) + "-" +
                                              std::to_string(box->high) + ")");
            e.*box->field = static_cast<int32_t>(*v);
            e.knownFields |= box->known;
            continue;
        }
        const auto& v = values.*(info.flag);
        if (!v) continue;
        if (cfg::IsSerialEnumeratorSetting(info.jsonName)) {
            cfg::TakeSerialEnumerator(e, *v);
            continue;
        }
        const cfg::PanelOption* option = cfg::PanelOptionNamed(info.jsonName);
        if (option == nullptr || cfg::HasOption(e.configData, option->bit) == *v) continue;
        needConfigData(plan, info.jsonName);
        cfg::SetOption(e.configData, option->bit, *v);
    }
}

void Session::applyBuffered(PortPlan& plan, const BufferedWrites& values) const {
    cfg::PortEntry& e = plan.next;
    if (!values.enabled && !values.size && !values.threshold && !values.latency) return;
    if (values.enabled && cfg::HasOption(e.configData, cfg::kOptBufferedWrites) != *values.enabled) {
        needConfigData(plan, "bufferedWrites.enabled");
        cfg::SetOption(e.configData, cfg::kOptBufferedWrites, *values.enabled);
    }
    if (!cfg::HasOption(e.configData, cfg::kOptBufferedWrites)) {
        if (values.enabled) cfg::ReleaseBufferedWriteValues(e);
        return;
    }
    auto take = [&](const std::optional<uint32_t>& given, cfg::PortField field, uint32_t high,
                    uint32_t fallback, const char* name, uint32_t cfg::PortEntry::*into) {
        if (given) {
            if (*given < 1 || *given > high)
                Fail(ExitStatus::Refused, cfg::PortLabel(e) + " bufferedWrites." + name + "=" +
                                              std::to_string(*given) + ": out of range (1-" +
                                              std::to_string(high) + ")");
            e.*into = *given;
            e.knownFields |= field;
        } else if (!e.writesBack(field) && values.enabled) {
            e.*into = fallback;  // as the dialog: a missing value gets its default
            e.knownFields |= field;
        }
    };
    take(values.size, cfg::kFieldWriteBufferSize, cfg::kMaxWriteBufferSize,
         cfg::kDefaultWriteBufferSize, "size", &cfg::PortEntry::writeBufferSize);
    take(values.threshold, cfg::kFieldWriteBufferThreshold, cfg::kMaxWriteBufferThreshold,
         cfg::kDefaultWriteBufferThreshold, "threshold", &cfg::PortEntry::writeBufferThreshold);
    take(values.latency, cfg::kFieldWriteLatency, cfg::kMaxWriteLatency,
         cfg::kDefaultWriteLatency, "latency", &cfg::PortEntry::writeLatency);
}

// ---- writing ---------------------------------------------------------------

// The driver's keys are the system's: like the configurator at start-up,
// varnokctl makes them writable for administrators before it writes them.
// Only an elevated token holds the take-ownership privilege.
void Session::grantAccess(const cfg::ChangeSet& changes) {
    const std::string enumerator = std::string(cfg::kEnumeratorKeyPath) + "\\";
    const std::string arbiter = cfg::kComNameArbiterKeyPath;
    bool driverKeys = false;
    for (const auto& c : changes)
        driverKeys = driverKeys || c.keyPath.rfind(enumerator, 0) == 0 || c.keyPath == arbiter;
    cfg::Problems problems;
    bool adjusted = false;
    const reg::Status st =
        seams.registry.enablePrivilege("SeTakeOwnershipPrivilege", true, &adjusted);
    if (st == reg::kNotAllAssigned)
        Fail(ExitStatus::Failed,
             "changing the driver's settings needs administrator rights: run varnokctl from an "
             "elevated prompt (Run as administrator); nothing was written");
    if (!driverKeys) return;
    cfg::Configurator grant(seams.registry, seams.d2xx, seams.serial, seams.clock);
    cfg::GrantEnumeratorAccess(grant, problems);
    std::set<std::string> written;
    for (const auto& c : changes) written.insert(c.keyPath);
    for (const Port& p : ports)
        if (written.count(cfg::InstanceKeyPath(p.entry)) ||
            written.count(cfg::DeviceParametersKeyPath(p.entry)))
            grant.table.entries.push_back(p.entry);
    cfg::GrantInstanceKeyAccess(grant, problems);
    if (command.options.verbose)
        for (const auto& problem : problems) err << ErrorLine("warning: " + problem.text);
}

void Session::checkWriteAccess(const cfg::ValueChange& first) {
    std::unique_ptr<reg::RegistryKey> key;
    const reg::Status st = seams.registry.openKey(first.keyPath, reg::kKeyAllAccess, &key);
    if (st == reg::kAccessDenied)
        Fail(ExitStatus::Failed,
             (first.port.empty() ? std::string() : first.port + ": ") +
                 "writing the driver's settings needs administrator rights: run varnokctl "
                 "from an elevated prompt (Run as administrator); nothing was written");
}

ExitStatus Session::reloadDriver() {
    if (command.options.noReload) return ExitStatus::Done;
    std::string problem;
    if (!seams.d2xxAvailable) {
        problem = "the driver was not reloaded: the D2XX library could not be loaded (" +
                  seams.d2xxLoadError + "); unplug and replug the adapters";
    } else {
        const d2xx::Status st = seams.d2xx.Reload(d2xx::kFtdiVendorId, 0);
        if (st == d2xx::kOk) {
            result.reloaded = true;
            return ExitStatus::Done;
        }
        problem = "FT_Reload failed (D2XX status " + std::to_string(st) +
                  "); the settings take effect when the adapters are plugged in again";
    }
    err << ErrorLine(problem);
    result.warnings.push_back(problem);
    return ExitStatus::Failed;
}

void Session::print() {
    printed = true;
    if (command.options.json) {
        out << WriteResultJson(result);
        return;
    }
    for (const auto& c : result.changes) out << FormatChange(c) << "\n";
    if (result.changes.empty()) out << "nothing to change\n";
}

ExitStatus Session::commit(const std::vector<PortPlan>& plans, std::vector<Change> lines,
                           cfg::ChangeSet extra) {
    std::vector<Change> all;
    cfg::ChangeSet changes;
    cfg::Problems problems;
    for (const auto& plan : plans) {
        const Port& before = ports[plan.index];
        PortInfo after = PortInfoOf(plan.next);
        // A latency the driver would not take is not written: not a change.
        if (after.settings.latencyTimer &&
            !cfg::LatencyTimerWritable(static_cast<int32_t>(*after.settings.latencyTimer)))
            after.settings.latencyTimer = before.info.settings.latencyTimer;
        for (auto& c : PortChanges(before.info, after)) all.push_back(std::move(c));
        // Buffered-write values let go with the option switched off.
        const cfg::PortEntry& read = before.entry;
        const std::string port = cfg::PortLabel(read);
        auto removed = [&](cfg::PortField field, const char* name, uint32_t was) {
            if (read.writesBack(field) && !plan.next.writesBack(field) &&
                !cfg::HasOption(plan.next.configData, cfg::kOptBufferedWrites))
                all.push_back({port, name, std::to_string(was), "(removed)"});
        };
        removed(cfg::kFieldWriteBufferSize, "bufferedWrites.size", read.writeBufferSize);
        removed(cfg::kFieldWriteBufferThreshold, "bufferedWrites.threshold",
                read.writeBufferThreshold);
        removed(cfg::kFieldWriteLatency, "bufferedWrites.latency", read.writeLatency);
        for (auto& c : cfg::PlanPortChanges(plan.next, &problems)) changes.push_back(std::move(c));
    }
    for (auto& c : lines) all.push_back(std::move(c));
    for (auto& c : extra) changes.push_back(std::move(c));

    for (const auto& p : problems) {
        err << ErrorLine("warning: " + p.text);
        result.warnings.push_back(p.text);
    }
    result.changes = all;
    result.changed = !changes.empty();
    if (changes.empty() || command.options.dryRun) {
        // Lines without a value to write (a latency the driver refuses) are
        // shown, but nothing changes.
        print();
        return ExitStatus::Done;
    }
    // The lines are printed before the writes, so that they stand above
    // the messages of a write that fails.
    if (!command.options.json) print();
    const ExitStatus status = apply(changes);
    if (command.options.json) print();
    return status;
}

ExitStatus Session::apply(const cfg::ChangeSet& changes) {
    grantAccess(changes);
    checkWriteAccess(changes.front());
    const cfg::ApplyReport report = cfg::ApplyChanges(app, changes);
    if (!report.backup)
        Fail(ExitStatus::Failed,
             "no backup could be made, so nothing was written: " + report.backup.failure().context);
    if (journal_ && !journal_->fileName().empty() && seams.backupFolder)
        result.backup = seams.backupFolder->location() + "\\" + journal_->fileName();
    if (report.allWritten()) return reloadDriver();

    // Every change was tried: say what failed and what was written.
    bool denied = false;
    for (const auto& line : cfg::FailedChangeLines(app, changes, report)) {
        err << ErrorLine(line);
        result.warnings.push_back(line);
    }
    std::vector<std::string> written, failed;
    auto note = [](std::vector<std::string>& list, const std::string& port) {
        const std::string name = port.empty() ? "(global)" : port;
        if (std::find(list.begin(), list.end(), name) == list.end()) list.push_back(name);
    };
    for (std::size_t i = 0; i < changes.size(); ++i) {
        if (report.results[i].ok()) note(written, changes[i].port);
        else note(failed, changes[i].port);
        denied = denied || report.results[i].status == reg::kAccessDenied;
    }
    std::string summary = "not written: " + Join(failed, " ");
    summary += written.empty() ? "; nothing was written" : "; written: " + Join(written, " ");
    if (denied) summary += "; access denied: run varnokctl from an elevated prompt";
    err << ErrorLine(summary);
    result.warnings.push_back(summary);
    // The result keeps the changes of the ports that were written whole.
    auto& kept = result.changes;
    kept.erase(std::remove_if(kept.begin(), kept.end(), [&](const Change& c) {
                   const std::string name = c.port.empty() ? "(global)" : c.port;
                   return std::find(failed.begin(), failed.end(), name) != failed.end() ||
                          std::find(failed.begin(), failed.end(), "serial:" + name) != failed.end();
               }), kept.end());
    result.changed = report.anyWritten();
    if (report.anyWritten()) (void)reloadDriver();
    return ExitStatus::Failed;
}

}  // namespace varnok::cli
