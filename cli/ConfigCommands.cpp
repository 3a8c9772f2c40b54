#include "cli/ConfigCommands.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <map>
#include <sstream>
#include <utility>
#include <vector>

#include "cli/ConfigSession.h"
#include "common/platform/FileNames.h"
#include "configurator/baud/ConfigDataRecord.h"
#include "configurator/baud/DivisorMath.h"
#include "configurator/changes/ChangePlanners.h"
#include "configurator/comnames/ComDb.h"
#include "configurator/discovery/ClosePorts.h"
#include "configurator/settings/BufferedWrites.h"
#include "configurator/settings/ConfigFiles.h"
#include "configurator/settings/IgnoreSerial.h"
#include "configurator/settings/Panel.h"

namespace varnok::cli {

namespace {

std::string OnOff(bool on) { return on ? "on" : "off"; }

// One Run per command, chosen by the command's type.
ExitStatus Run(Session& s, const ListCommand& c) {
    s.load(c.includeDisconnected, true);
    std::vector<PortInfo> infos;
    for (const auto& p : s.ports)
        if (c.includeDisconnected || p.entry.connected) infos.push_back(p.info);
    s.out << (s.command.options.json ? PortsJson(infos) : ListTable(infos));
    return ExitStatus::Done;
}

ExitStatus Run(Session& s, const ShowCommand& c) {
    s.load(false, true);
    const Port& p = s.find(c.port);
    s.out << (s.command.options.json ? PortsJson({p.info}) : PortDetails(p.info));
    return ExitStatus::Done;
}

ExitStatus Run(Session& s, const SetCommand& c) {
    std::vector<PortPlan> plans;
    for (std::size_t index : s.targets(c.target)) {
        PortPlan plan = s.planFor(index);
        if (c.change.preset) cfg::ApplyPreset(plan.next, *c.change.preset);
        s.applySettings(plan, c.change.values);
        plans.push_back(std::move(plan));
    }
    return s.commit(plans, {}, {});
}

ExitStatus Run(Session& s, const BufferedCommand& c) {
    s.load(false, true);
    PortPlan plan = s.planFor(s.findWritable(c.port));
    const BufferedWrites values{c.change.enable, c.change.size, c.change.threshold,
                                c.change.latency};
    s.applyBuffered(plan, values);
    return s.commit({plan}, {}, {});
}

ExitStatus Run(Session& s, const AliasCommand& c) {
    s.load(false, false);
    PortPlan plan = s.planFor(s.findWritable(c.port));
    s.needConfigData(plan, "baudAliases");
    if (c.table)
        cfg::CopyDivisorTable(plan.next.configData, *c.table == AliasTable::Brivane
                                                        ? cfg::kBrivaneDivisorTable
                                                        : cfg::kStandardDivisorTable);
    std::array<std::optional<double>, kAliasRowCount> divisors;  // rows not given: none
    for (const auto& row : c.rows) {
        const std::optional<double> divisor = cfg::FindClosestDivisor(row.target);
        if (!divisor)
            Fail(ExitStatus::Refused, cfg::PortLabel(plan.next) + " baudAliases." +
                                          std::to_string(kAliasRowRates[row.row]) + "=" +
                                          std::to_string(row.target) +
                                          ": the chip cannot generate this rate");
        divisors[row.row] = divisor;
    }
    // Stored as the dialog stores them: every row again from its divisor.
    cfg::StoreRowDivisors(plan.next.configData, [&](int row) { return divisors.at(row); });
    return s.commit({plan}, {}, {});
}

ExitStatus Run(Session& s, const RenameCommand& c) {
    s.load(false, false);
    Port& port = s.ports[s.findWritable(c.port)];
    const std::string newName = "COM" + std::to_string(c.comNumber);
    const std::string label = cfg::PortLabel(port.entry);
    if (!port.entry.writesBack(cfg::kFieldPortName))
        Fail(ExitStatus::Refused,
             label + " PortName: the port's name could not be read; not renamed");
    if (port.entry.portName == newName) return s.commit({}, {}, {});
    cfg::PortEntry e = port.entry;
    const Outcome read = cfg::ReadComDb(s.app, e);
    if (!read) Fail(ExitStatus::Failed, label + " ComDB: " + read.failure().context);
    if (cfg::IsComNumberReserved(e.comDbBitmap, c.comNumber))
        Fail(ExitStatus::Refused, label + " -> " + newName + ": " + newName +
                                      " is reserved (another device has it); choose a free number");
    return s.commit({}, {{label, "port", port.entry.portName, newName}},
                    cfg::PlanRename(e, newName));
}

ExitStatus Run(Session& s, const IgnoreSerialCommand& c) {
    const bool on = cfg::ReadIgnoreSerialFlag(s.app);
    if (!c.value) {
        if (s.command.options.json)
            s.out << "{\n  \"ignoreSerial\": " << (on ? "true" : "false") << "\n}\n";
        else
            s.out << OnOff(on) << "\n";
        return ExitStatus::Done;
    }
    cfg::ChangeSet changes = cfg::PlanIgnoreSerial(s.app, *c.value);
    if (changes.empty()) return s.commit({}, {}, {});
    return s.commit({}, {{"", "ignoreSerial", OnOff(on), OnOff(*c.value)}}, std::move(changes));
}

ExitStatus Run(Session& s, const SaveCommand& c) {
    s.load(false, false);
    const Port& p = s.find(c.port);
    const std::pair<cfg::PortField, const char*> needed[] = {
        {cfg::kFieldConfigData, "ConfigData"},
        {cfg::kFieldMinReadTimeout, "minReadTimeout"},
        {cfg::kFieldMinWriteTimeout, "minWriteTimeout"},
        {cfg::kFieldLatencyTimer, "latencyTimer"},
        {cfg::kFieldUpperFilters, "serialEnumerator"},
        {cfg::kFieldPollingPeriod, "pollingPeriod"}};
    for (const auto& [field, name] : needed)
        if (!p.entry.writesBack(field))
            Fail(ExitStatus::Refused, cfg::PortLabel(p.entry) + " " + name +
                                          ": could not be read, so the port is not saved");
    for (const auto& field : cfg::FieldsCutInFile(p.entry))
        s.err << ErrorLine("warning: " + cfg::PortLabel(p.entry) + " " + field +
                           ": the file keeps one byte of it");
    if (s.command.options.dryRun) {
        if (s.command.options.json) s.out << FileWrittenJson(c.file, {p.info.port}, false);
        else s.out << "would save " << cfg::PortLabel(p.entry) << " to " << c.file << "\n";
        return ExitStatus::Done;
    }
    const Outcome saved = cfg::SaveConfigurationFile(p.entry, c.file);
    if (!saved) Fail(ExitStatus::Failed, c.file + ": " + saved.failure().context);
    if (s.command.options.json) s.out << FileWrittenJson(c.file, {p.info.port}, true);
    return ExitStatus::Done;
}

ExitStatus Run(Session& s, const LoadCommand& c) {
    s.load(false, false);
    PortPlan plan = s.planFor(s.findWritable(c.port));
    const Outcome loaded = cfg::LoadConfigurationFile(plan.next, c.file);
    if (!loaded) {
        const bool size = loaded.failure().context == cfg::kMsgWrongFileSize;
        Fail(size ? ExitStatus::Refused : ExitStatus::Failed,
             c.file + ": " + loaded.failure().context);
    }
    return s.commit({plan}, {}, {});
}

ExitStatus Run(Session& s, const ExportCommand& c) {
    std::vector<PortInfo> infos;
    for (std::size_t i : s.portSet(c.includeDisconnected)) infos.push_back(s.ports[i].info);
    const bool ignore = cfg::ReadIgnoreSerialFlag(s.app);
    const std::string text = WriteSettingsDocument(ExportDocument(infos, ignore));
    std::vector<std::string> names;
    for (const auto& info : infos) names.push_back(info.port);
    // "-": the document itself on standard output.
    if (c.file == "-") {
        if (!s.command.options.dryRun) s.out << text;
        return ExitStatus::Done;
    }
    if (s.command.options.dryRun) {
        if (s.command.options.json) s.out << FileWrittenJson(c.file, names, false);
        else s.out << "would export " << infos.size() << " ports to " << c.file << "\n";
        return ExitStatus::Done;
    }
    if (!cfg::WriteFileBeside(c.file, text))
        Fail(ExitStatus::Failed, c.file + ": the file cannot be written");
    if (s.command.options.json) s.out << FileWrittenJson(c.file, names, true);
    else s.out << "exported " << infos.size() << " ports to " << c.file << "\n";
    return ExitStatus::Done;
}

std::string WhoOf(const DocumentPort& entry) {
    std::string who;
    switch (entry.match) {
    case DocumentPort::Match::Serial: who = "serial " + entry.serial; break;
    case DocumentPort::Match::DeviceId: who = "device id " + HexId(*entry.deviceId); break;
    case DocumentPort::Match::Any: who = "\"match\": \"*\""; break;
    }
    if (!entry.port.empty()) who += " (" + entry.port + ")";
    return who;
}

ExitStatus Run(Session& s, const ImportCommand& c) {
    if (c.file != "-") return ApplyDocument(s, ReadDocumentFile(c.file));
    if (s.seams.input == nullptr) Fail(ExitStatus::Failed, "-: standard input is not open");
    std::ostringstream buffer;
    buffer << s.seams.input->rdbuf();
    return ApplyDocument(s, ParseDocument(buffer.str(), c.file));
}

ExitStatus Run(Session& s, const ReloadCommand&) {
    if (s.command.options.dryRun) {
        if (s.command.options.json) s.out << WriteResultJson(s.result);
        else s.out << "would reload the driver (FT_Reload 0x0403 0x0000)\n";
        return ExitStatus::Done;
    }
    if (!s.seams.d2xxAvailable)
        Fail(ExitStatus::Failed,
             "the D2XX library could not be loaded (" + s.seams.d2xxLoadError + ")");
    const d2xx::Status st = s.seams.d2xx.Reload(d2xx::kFtdiVendorId, 0);
    if (st != d2xx::kOk)
        Fail(ExitStatus::Failed, "FT_Reload failed (D2XX status " + std::to_string(st) + ")");
    s.result.reloaded = true;
    if (s.command.options.json) s.out << WriteResultJson(s.result);
    return ExitStatus::Done;
}

ExitStatus Run(Session& s, const ClosePortsCommand&) {
    ExitStatus status = ExitStatus::Done;
    for (int n = cfg::kFirstComPortToClose; n <= cfg::kLastComPortToClose; ++n) {
        const std::string name = "COM" + std::to_string(n);
        if (!s.seams.serial.exists(name)) continue;
        if (s.command.options.dryRun) {
            if (!s.command.options.json) s.out << "would close " << name << "\n";
            continue;
        }
        std::unique_ptr<serial::SerialPort> port = s.seams.serial.open("\\\\.\\" + name);
        if (!port) {
            const uint32_t code = s.seams.serial.lastError();
            const std::string line = name + ": " + cfg::kMsgCloseNotPossible + " (" +
                                     cfg::SystemErrorText(s.app, code) + ")";
            s.err << ErrorLine(line);
            s.result.warnings.push_back(line);
            status = ExitStatus::Failed;
            continue;
        }
        port->purge(serial::kPurgeTxClear | serial::kPurgeRxClear);
        port.reset();
    }
    if (s.command.options.json) s.out << WriteResultJson(s.result);
    return status;
}

// Modes, watch and service are not configuration commands.
template <typename Other>
ExitStatus Run(Session&, const Other&) {
    Fail(ExitStatus::Usage, "not a configuration command");
}

}  // namespace

SettingsDocument ParseDocument(const std::string& text, const std::string& name) {
    try {
        return ReadSettingsDocument(text);
    } catch (const CliError& e) {
        throw CliError(e.status(), name + ": " + e.what());
    }
}

SettingsDocument ReadDocumentFile(const std::string& file) {
    std::ifstream in(files::PathFromUtf8(file), std::ios::binary);
    if (!in) Fail(ExitStatus::Failed, file + ": the file cannot be opened");
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) Fail(ExitStatus::Failed, file + ": the file cannot be read");
    return ParseDocument(buffer.str(), file);
}

std::string DeviceKeyOf(const cfg::PortEntry& entry) {
    const std::string instance = cfg::InstanceKeyPath(entry);  // ...\FTDIBUS\<device>\0000
    const std::size_t end = instance.rfind('\\');
    const std::size_t start = instance.rfind('\\', end - 1) + 1;
    return Lower(instance.substr(start, end - start));
}

ExitStatus ApplyDocument(Session& s, const SettingsDocument& doc,
                         const std::set<std::string>* onlyDeviceKeys) {
    const std::vector<std::size_t> writable = s.portSet(true);
    // The skipped ports of a look at one port are not its business.
    if (onlyDeviceKeys) s.result.skipped.clear();
    std::map<std::size_t, PortPlan> plans;
    for (const auto& entry : doc.ports) {
        bool matched = false;
        for (std::size_t i = 0; i < s.ports.size(); ++i) {
            if (onlyDeviceKeys && !onlyDeviceKeys->count(DeviceKeyOf(s.ports[i].entry))) continue;
            if (!DocumentPortMatches(entry, s.ports[i].info)) continue;
            matched = true;
            if (std::find(writable.begin(), writable.end(), i) == writable.end()) continue;
            auto found = plans.find(i);
            if (found == plans.end()) found = plans.emplace(i, s.planFor(i)).first;
            PortPlan& plan = found->second;
            if (entry.configData) {
                plan.next.configData = *entry.configData;
                plan.next.knownFields |= cfg::kFieldConfigData;
            }
            s.applySettings(plan, entry.settings);
            s.applyBuffered(plan, entry.bufferedWrites);
        }
        if (!matched && !onlyDeviceKeys)
            s.err << ErrorLine(WhoOf(entry) + ": no such port is installed; skipped");
    }
    std::vector<PortPlan> list;
    for (auto& [index, plan] : plans) list.push_back(std::move(plan));
    std::vector<Change> lines;
    cfg::ChangeSet flag;
    if (doc.ignoreSerial && !onlyDeviceKeys) {
        const bool on = cfg::ReadIgnoreSerialFlag(s.app);
        flag = cfg::PlanIgnoreSerial(s.app, *doc.ignoreSerial);
        if (!flag.empty()) lines.push_back({"", "ignoreSerial", OnOff(on), OnOff(!on)});
    }
    return s.commit(list, lines, std::move(flag));
}

PortInfo PortInfoOf(const cfg::PortEntry& e) {
    PortInfo p;
    p.port = e.portName;
    p.serial = e.serialNumber;
    p.description = e.description;
    p.deviceId = e.deviceId;
    if (e.connected) p.locationId = e.locationId;
    p.attached = e.connected;
    auto number = [&](cfg::PortField field, auto v) -> std::optional<uint32_t> {
        if (!e.writesBack(field)) return std::nullopt;
        return static_cast<uint32_t>(v);
    };
    p.settings.minReadTimeout = number(cfg::kFieldMinReadTimeout, e.minReadTimeout);
    p.settings.minWriteTimeout = number(cfg::kFieldMinWriteTimeout, e.minWriteTimeout);
    p.settings.pollingPeriod = number(cfg::kFieldPollingPeriod, e.pollingPeriod);
    p.settings.latencyTimer = number(cfg::kFieldLatencyTimer, e.latencyTimer);
    if (e.serialEnumeratorOn()) p.settings.serialEnumerator = true;
    else if (e.writesBack(cfg::kFieldUpperFilters)) p.settings.serialEnumerator = false;
    if (e.writesBack(cfg::kFieldConfigData)) {
        const auto& d = e.configData;
        p.settings.serialPrinter = cfg::HasOption(d, cfg::kOptSerialPrinter);
        p.settings.cancelIfPowerOff = cfg::HasOption(d, cfg::kOptCancelIfPowerOff);
        p.settings.eventOnSurpriseRemoval = cfg::HasOption(d, cfg::kOptEventOnSurpriseRemoval);
        p.settings.setRtsOnClose = cfg::HasOption(d, cfg::kOptSetRtsOnClose);
        p.settings.disableModemCtrlAtStartup = cfg::HasOption(d, cfg::kOptDisableModemCtrl);
        p.bufferedWrites.enabled = cfg::HasOption(d, cfg::kOptBufferedWrites);
        p.baudAliases = AliasRatesOf(d);
        p.configData = d;
    }
    p.bufferedWrites.size = number(cfg::kFieldWriteBufferSize, e.writeBufferSize);
    p.bufferedWrites.threshold = number(cfg::kFieldWriteBufferThreshold, e.writeBufferThreshold);
    p.bufferedWrites.latency = number(cfg::kFieldWriteLatency, e.writeLatency);
    return p;
}

ExitStatus RunConfigCommand(const Command& command, ConfigSeams& seams, std::ostream& out,
                            std::ostream& err) {
    Session session(command, seams, out, err);
    std::string failure;
    ExitStatus status = ExitStatus::Failed;
    try {
        return std::visit([&session](const auto& c) { return Run(session, c); },
                          command.action);
    } catch (const CliError& e) {
        failure = e.what();
        status = e.status();
    } catch (const std::bad_alloc&) {
        failure = "out of memory";
    } catch (const std::exception& e) {
        failure = std::string("failed: ") + e.what();
    }
    err << ErrorLine(failure);
    // A script reading the result of a write gets one also when the command
    // stopped before writing anything.
    if (command.options.json && WritesSettings(command.action) && !session.printed) {
        session.result.changed = false;
        session.result.changes.clear();
        session.result.warnings.push_back(failure);
        out << WriteResultJson(session.result);
    }
    return status;
}

}  // namespace varnok::cli
