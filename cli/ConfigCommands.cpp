#include "cli/ConfigCommands.h"

#include <cmath>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <type_traits>
#include <utility>
#include <vector>

#include "cli/Json.h"
#include "cli/TextOutput.h"
#include "common/platform/FileNames.h"
#include "common/platform/RegistryValues.h"
#include "configurator/app/Configurator.h"
#include "configurator/backup/BackupBeforeWrite.h"
#include "configurator/backup/BackupJournal.h"
#include "configurator/baud/ConfigDataRecord.h"
#include "configurator/baud/DivisorMath.h"
#include "configurator/comnames/ComDb.h"
#include "configurator/discovery/AccessRights.h"
#include "configurator/discovery/ClosePorts.h"
#include "configurator/discovery/Discovery.h"
#include "configurator/settings/BufferedWrites.h"
#include "configurator/settings/ConfigFiles.h"
#include "configurator/settings/IgnoreSerial.h"
#include "configurator/settings/Panel.h"
#include "configurator/settings/RegistrySettings.h"

namespace varnok::cli {

namespace {

constexpr uint16_t kFtdiVendorId = 0x0403;
constexpr std::size_t kIgnoreSerialCapacity = 64;

[[noreturn]] void Fail(ExitStatus status, const std::string& message) {
    throw CliError(status, message);
}

// ---- reading ------------------------------------------------------------

// One installed port as read at the start of the run.
struct Port {
    bool keyFound = true;  // its Device Parameters key opens
    cfg::PortEntry entry;
    BufferedValues buffered;
    PortInfo info;
};

std::string LabelOf(const cfg::PortEntry& e) {
    return e.portName.empty() ? "serial:" + e.serialNumber : e.portName;
}

BufferedValues ReadBufferedValues(reg::Registry& registry, const cfg::PortEntry& e) {
    BufferedValues b;
    if (e.deviceId == 0) return b;
    auto key = reg::OpenKey(registry, cfg::DeviceParametersKeyPath(e), reg::Access::Read);
    if (!key) return b;
    auto read = [&](const char* name, std::optional<uint32_t>& into) {
        const reg::DwordRead r = reg::ReadDword(*key, name);
        if (r.ok()) into = r.value;
    };
    read(cfg::kWriteBufferSizeValue, b.size);
    read(cfg::kWriteBufferThresholdValue, b.threshold);
    read(cfg::kWriteLatencyValue, b.latency);
    return b;
}

// A registry change of one value.
struct Op {
    enum class Kind { Dword, Binary, MultiString, String, Delete };
    std::string port;  // label for messages; empty for a global value
    std::string keyPath;
    std::string valueName;
    Kind kind = Kind::Dword;
    uint32_t dword = 0;
    std::vector<uint8_t> bytes;
    std::string text;
};

Op DwordOp(const std::string& port, const std::string& key, const char* name, uint32_t v) {
    Op op;
    op.port = port;
    op.keyPath = key;
    op.valueName = name;
    op.kind = Op::Kind::Dword;
    op.dword = v;
    return op;
}

Op DeleteOp(const std::string& port, const std::string& key, const char* name) {
    Op op;
    op.port = port;
    op.keyPath = key;
    op.valueName = name;
    op.kind = Op::Kind::Delete;
    return op;
}

Op BytesOp(const std::string& port, const std::string& key, const char* name, Op::Kind kind,
           const uint8_t* data, std::size_t size) {
    Op op;
    op.port = port;
    op.keyPath = key;
    op.valueName = name;
    op.kind = kind;
    op.bytes.assign(data, data + size);
    return op;
}

// The UsbFlags values that switch the ignore-serial-number flag to `on`: all
// four set when on, those present deleted when off.
std::vector<Op> IgnoreSerialOps(reg::Registry& registry, bool on) {
    std::vector<Op> ops;
    const uint8_t one = 0x01;
    auto key = reg::OpenKey(registry, cfg::kUsbFlagsKeyPath, reg::Access::Read);
    for (const char* name : cfg::kIgnoreSerialValueNames) {
        if (on)
            ops.push_back(BytesOp("", cfg::kUsbFlagsKeyPath, name, Op::Kind::Binary, &one, 1));
        else if (key && reg::ValueReadable(*key, name, kIgnoreSerialCapacity))
            ops.push_back(DeleteOp("", cfg::kUsbFlagsKeyPath, name));
    }
    return ops;
}

// What one port shall become.
struct PortPlan {
    std::size_t index = 0;  // into Session::ports
    cfg::PortEntry next;
    BufferedValues buffered;     // values to hold (empty: leave)
    bool deleteBuffered = false; // buffered writes switched off: remove the three
    std::string newName;         // rename: "COMn"
};

std::string SystemText(serial::SerialPorts& serial, uint32_t code) {
    std::string text = serial.systemMessage(code);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    if (text.empty()) text = "system error " + std::to_string(code);
    else text += " (error " + std::to_string(code) + ")";
    return text;
}

class Session {
public:
    Session(const Command& command, ConfigSeams& seams, std::ostream& out, std::ostream& err)
        : command_(command),
          seams_(seams),
          out_(out),
          err_(err),
          app_(seams.registry, seams.d2xx, seams.serial, seams.clock) {
        app_.d2xxAvailable = seams.d2xxAvailable;
        app_.d2xxLoadError = seams.d2xxLoadError;
        if (seams.backupFolder && seams.localTime) {
            journal_ = std::make_unique<cfg::backup::BackupJournal>(
                seams.registry, *seams.backupFolder, *seams.localTime);
            app_.backup = journal_.get();
        }
    }

    ExitStatus run();

private:
    // Reads the attached ports (with `everyInstalled` every installed one).
    void load(bool everyInstalled, bool withBuffered);
    Port& find(const PortRef& ref);
    // find, for a command that writes the port: its key must exist.
    std::size_t findWritable(const PortRef& ref);
    std::vector<std::size_t> targets(const PortTarget& target);

    ExitStatus list(const ListCommand& c);
    ExitStatus show(const ShowCommand& c);
    ExitStatus set(const SetCommand& c);
    ExitStatus buffered(const BufferedCommand& c);
    ExitStatus alias(const AliasCommand& c);
    ExitStatus rename(const RenameCommand& c);
    ExitStatus ignoreSerial(const IgnoreSerialCommand& c);
    ExitStatus save(const SaveCommand& c);
    ExitStatus loadFile(const LoadCommand& c);
    ExitStatus exportDoc(const ExportCommand& c);
    ExitStatus importDoc(const ImportCommand& c);
    ExitStatus reload();
    ExitStatus closePorts();

    PortPlan planFor(std::size_t index) {
        PortPlan p;
        p.index = index;
        p.next = ports_[index].entry;
        return p;
    }
    // The settings of one `set` or document entry on top of `plan`.
    void applySettings(PortPlan& plan, const PortSettings& values);
    void applyBuffered(PortPlan& plan, const BufferedWrites& values);
    void needConfigData(const PortPlan& plan, const std::string& what) const;

    // Lines of the changes, the registry operations, and then (unless
    // --dry-run) the backup, the writes and the reload.
    ExitStatus commit(const std::vector<PortPlan>& plans, std::vector<Change> extraChanges,
                      std::vector<Op> extraOps);
    std::vector<Op> opsOf(const PortPlan& plan) const;
    void execute(const std::vector<Op>& ops);
    ExitStatus reloadDriver();
    void checkWriteAccess(const Op& first);
    void grantAccess(const std::vector<Op>& ops);

    const Command& command_;
    ConfigSeams& seams_;
    std::ostream& out_;
    std::ostream& err_;
    cfg::Configurator app_;
    std::unique_ptr<cfg::backup::BackupJournal> journal_;
    std::vector<Port> ports_;
    bool loaded_ = false;
    bool everyInstalled_ = false;
};

void Session::load(bool everyInstalled, bool withBuffered) {
    if (!seams_.d2xxAvailable && !loaded_) {
        err_ << ErrorLine("warning: the D2XX library could not be loaded (" +
                          seams_.d2xxLoadError + "); attached ports are not known");
    }
    cfg::Problems problems;
    app_.table.showDisconnected = false;
    cfg::RebuildFromLibrary(app_, problems);
    // Descriptions and locations come from the library's pass only.
    std::map<std::string, std::pair<std::string, uint32_t>> attached;
    for (const auto& e : app_.table.entries)
        attached[e.serialNumber] = {e.description, e.locationId};
    if (everyInstalled) {
        app_.table.showDisconnected = true;
        cfg::RebuildForList(app_, problems);
    }
    // The table pass stops reading at the first port whose key does not
    // open; the ports after it are read here one by one.
    for (auto& e : app_.table.entries) {
        if (e.deviceId == 0 || e.knownFields != 0) continue;
        cfg::Configurator one(seams_.registry, seams_.d2xx, seams_.serial, seams_.clock);
        one.table.entries.push_back(e);
        cfg::ReadPortSettings(one, problems);
        e = one.table.entries.front();
    }
    cfg::SortByPortName(app_.table);
    ports_.clear();
    for (const auto& e : app_.table.entries) {
        if (e.deviceId == 0) continue;  // a key whose name is not an instance key
        Port p;
        p.entry = e;
        p.keyFound = reg::OpenKey(seams_.registry, cfg::DeviceParametersKeyPath(e),
                                  reg::Access::Read) != nullptr;
        if (everyInstalled) {
            auto found = attached.find(e.serialNumber);
            if (found != attached.end() && e.connected) {
                p.entry.description = found->second.first;
                p.entry.locationId = found->second.second;
            }
        }
        if (withBuffered) p.buffered = ReadBufferedValues(seams_.registry, p.entry);
        p.info = PortInfoOf(p.entry, p.buffered);
        ports_.push_back(std::move(p));
    }
    loaded_ = true;
    everyInstalled_ = everyInstalled;
    if (command_.options.verbose)
        for (const auto& problem : problems) err_ << ErrorLine(problem.text);
}

Port& Session::find(const PortRef& ref) {
    for (auto& p : ports_)
        if (PortRefMatches(ref, p.info)) return p;
    if (!everyInstalled_) {
        // A port named on its own may be installed but not attached.
        load(true, true);
        for (auto& p : ports_)
            if (PortRefMatches(ref, p.info)) return p;
    }
    Fail(ExitStatus::NotFound, ref.text + ": no such FTDI port is installed");
}

std::size_t Session::findWritable(const PortRef& ref) {
    Port& p = find(ref);
    if (!p.keyFound)
        Fail(ExitStatus::NotFound, ref.text + ": the driver has no registry key for this device");
    return static_cast<std::size_t>(&p - ports_.data());
}

std::vector<std::size_t> Session::targets(const PortTarget& target) {
    std::vector<std::size_t> out;
    if (!target.all) {
        load(false, false);
        out.push_back(findWritable(target.port));
        return out;
    }
    load(target.includeDisconnected, false);
    for (std::size_t i = 0; i < ports_.size(); ++i) {
        if (!target.includeDisconnected && !ports_[i].entry.connected) continue;
        if (!ports_[i].keyFound) {
            err_ << ErrorLine(LabelOf(ports_[i].entry) +
                              ": the driver has no registry key for this device; skipped");
            continue;
        }
        out.push_back(i);
    }
    if (out.empty())
        Fail(ExitStatus::NotFound, target.includeDisconnected ? "--all: no FTDI port is installed"
                                                              : "--all: no FTDI port is attached");
    return out;
}

void Session::needConfigData(const PortPlan& plan, const std::string& what) const {
    if (plan.next.writesBack(cfg::kFieldConfigData)) return;
    Fail(ExitStatus::Refused,
         LabelOf(plan.next) + " " + what +
             ": the port's ConfigData could not be read, so it is not changed (a preset, "
             "load or import sets the whole value)");
}

void Session::applySettings(PortPlan& plan, const PortSettings& values) {
    cfg::PortEntry& e = plan.next;
    // The four numbers of kSettings come in the panel's order.
    for (std::size_t i = 0; i < std::size(kSettings); ++i) {
        const SettingInfo& info = kSettings[i];
        if (info.number) {
            const auto& v = values.*(info.number);
            if (!v || i >= cfg::kPanelNumbers.size()) continue;
            const cfg::PanelNumber& box = cfg::kPanelNumbers[i];
            if (*v < info.min || *v > info.max)
                Fail(ExitStatus::Refused, LabelOf(e) + " " + info.jsonName + "=" +
                                              std::to_string(*v) + ": out of range (" +
                                              std::to_string(info.min) + "-" +
                                              std::to_string(info.max) + ")");
            e.*box.field = static_cast<int32_t>(*v);
            e.knownFields |= box.known;
            continue;
        }
        const auto& v = values.*(info.flag);
        if (!v) continue;
        const std::string name = info.cliName;
        if (name == "serial-enumerator") {
            cfg::TakeSerialEnumerator(e, *v);
            continue;
        }
        cfg::OptionBit bit{};
        if (name == "serial-printer") bit = cfg::kOptSerialPrinter;
        else if (name == "cancel-if-power-off") bit = cfg::kOptCancelIfPowerOff;
        else if (name == "event-on-surprise-removal") bit = cfg::kOptEventOnSurpriseRemoval;
        else if (name == "set-rts-on-close") bit = cfg::kOptSetRtsOnClose;
        else bit = cfg::kOptDisableModemCtrl;
        if (cfg::HasOption(e.configData, bit) == *v) continue;
        needConfigData(plan, info.jsonName);
        cfg::SetOption(e.configData, bit, *v);
    }
}

void Session::applyBuffered(PortPlan& plan, const BufferedWrites& values) {
    cfg::PortEntry& e = plan.next;
    if (!values.enabled && !values.size && !values.threshold && !values.latency) return;
    if (values.enabled &&
        cfg::HasOption(e.configData, cfg::kOptBufferedWrites) != *values.enabled) {
        needConfigData(plan, "bufferedWrites.enabled");
        cfg::SetOption(e.configData, cfg::kOptBufferedWrites, *values.enabled);
    }
    const bool on = cfg::HasOption(e.configData, cfg::kOptBufferedWrites);
    if (!on) {
        if (values.enabled) plan.deleteBuffered = true;
        return;
    }
    const BufferedValues& read = ports_[plan.index].buffered;
    auto take = [&](const std::optional<uint32_t>& given, const std::optional<uint32_t>& was,
                    uint32_t low, uint32_t high, uint32_t fallback, const char* name,
                    std::optional<uint32_t>& into) {
        if (given) {
            if (*given < low || *given > high)
                Fail(ExitStatus::Refused, LabelOf(e) + " bufferedWrites." + name + "=" +
                                              std::to_string(*given) + ": out of range (" +
                                              std::to_string(low) + "-" + std::to_string(high) +
                                              ")");
            into = *given;
        } else if (!was && values.enabled) {
            into = fallback;  // as the dialog: a missing value gets its default
        }
    };
    take(values.size, read.size, 1, cfg::kMaxWriteBufferSize, cfg::kDefaultWriteBufferSize,
         "size", plan.buffered.size);
    take(values.threshold, read.threshold, 1, cfg::kMaxWriteBufferThreshold,
         cfg::kDefaultWriteBufferThreshold, "threshold", plan.buffered.threshold);
    take(values.latency, read.latency, 1, cfg::kMaxWriteLatency, cfg::kDefaultWriteLatency,
         "latency", plan.buffered.latency);
}

// The registry operations that take a port from what was read to `plan`:
// only values that change, and only values read or set by the user.
std::vector<Op> Session::opsOf(const PortPlan& plan) const {
    const cfg::PortEntry& b = ports_[plan.index].entry;
    const cfg::PortEntry& a = plan.next;
    const std::string port = LabelOf(b);
    const std::string params = cfg::DeviceParametersKeyPath(b);
    std::vector<Op> ops;
    const std::pair<cfg::PortField, std::pair<const char*, int32_t cfg::PortEntry::*>> numbers[] = {
        {cfg::kFieldMinReadTimeout, {cfg::kValueMinReadTimeout, &cfg::PortEntry::minReadTimeout}},
        {cfg::kFieldMinWriteTimeout,
         {cfg::kValueMinWriteTimeout, &cfg::PortEntry::minWriteTimeout}},
        {cfg::kFieldPollingPeriod, {cfg::kValuePollingPeriod, &cfg::PortEntry::pollingPeriod}},
        {cfg::kFieldLatencyTimer, {cfg::kValueLatencyTimer, &cfg::PortEntry::latencyTimer}},
    };
    for (const auto& [field, named] : numbers) {
        const int32_t v = a.*(named.second);
        if (!a.writesBack(field)) continue;
        if (b.writesBack(field) && b.*(named.second) == v) continue;
        const auto u = static_cast<uint32_t>(v);
        if (field == cfg::kFieldLatencyTimer && (u < kCliLatencyMin || u > kCliLatencyMax))
            continue;
        ops.push_back(DwordOp(port, params, named.first, static_cast<uint32_t>(v)));
    }
    if (a.writesBack(cfg::kFieldConfigData) &&
        (!b.writesBack(cfg::kFieldConfigData) || a.configData != b.configData))
        ops.push_back(BytesOp(port, params, cfg::kValueConfigData, Op::Kind::Binary,
                              a.configData.data(), a.configData.size()));
    const BufferedValues& was = ports_[plan.index].buffered;
    auto buffered = [&](const std::optional<uint32_t>& want, const std::optional<uint32_t>& had,
                        const char* name) {
        if (want && want != had) ops.push_back(DwordOp(port, params, name, *want));
    };
    buffered(plan.buffered.size, was.size, cfg::kWriteBufferSizeValue);
    buffered(plan.buffered.threshold, was.threshold, cfg::kWriteBufferThresholdValue);
    buffered(plan.buffered.latency, was.latency, cfg::kWriteLatencyValue);
    if (plan.deleteBuffered) {
        if (was.size) ops.push_back(DeleteOp(port, params, cfg::kWriteBufferSizeValue));
        if (was.threshold) ops.push_back(DeleteOp(port, params, cfg::kWriteBufferThresholdValue));
        if (was.latency) ops.push_back(DeleteOp(port, params, cfg::kWriteLatencyValue));
    }
    if (a.writesBack(cfg::kFieldUpperFilters) &&
        (!b.writesBack(cfg::kFieldUpperFilters) ||
         a.serialEnumeratorOn() != b.serialEnumeratorOn())) {
        const std::string instance = cfg::InstanceKeyPath(b);
        if (a.serialEnumeratorOn())
            ops.push_back(BytesOp(port, instance, cfg::kValueUpperFilters, Op::Kind::MultiString,
                                  cfg::kSerenumOn.data(), cfg::kSerenumOn.size()));
        else
            ops.push_back(DeleteOp(port, instance, cfg::kValueUpperFilters));
    }
    return ops;
}

// The driver's keys are the system's: like the configurator at start-up,
// varnokctl makes them writable for administrators before it writes them.
// Only an elevated token holds the take-ownership privilege.
void Session::grantAccess(const std::vector<Op>& ops) {
    const std::string enumerator = std::string(cfg::kEnumeratorKeyPath) + "\\";
    const std::string arbiter = cfg::kComNameArbiterKeyPath;
    bool driverKeys = false;
    for (const Op& op : ops)
        driverKeys = driverKeys || op.keyPath.rfind(enumerator, 0) == 0 || op.keyPath == arbiter;
    cfg::Problems problems;
    bool adjusted = false;
    const reg::Status st =
        seams_.registry.enablePrivilege("SeTakeOwnershipPrivilege", true, &adjusted);
    if (st == reg::kNotAllAssigned)
        Fail(ExitStatus::Failed,
             "changing the driver's settings needs administrator rights: run varnokctl from an "
             "elevated prompt (Run as administrator); nothing was written");
    if (!driverKeys) return;
    cfg::Configurator grant(seams_.registry, seams_.d2xx, seams_.serial, seams_.clock);
    cfg::GrantEnumeratorAccess(grant, problems);
    std::set<std::string> written;
    for (const Op& op : ops) written.insert(op.keyPath);
    for (const Port& p : ports_)
        if (written.count(cfg::InstanceKeyPath(p.entry)) ||
            written.count(cfg::DeviceParametersKeyPath(p.entry)))
            grant.table.entries.push_back(p.entry);
    cfg::GrantInstanceKeyAccess(grant, problems);
    if (command_.options.verbose)
        for (const auto& problem : problems) err_ << ErrorLine("warning: " + problem.text);
}

void Session::checkWriteAccess(const Op& first) {
    std::unique_ptr<reg::RegistryKey> key;
    const reg::Status st = seams_.registry.openKey(first.keyPath, reg::kKeyAllAccess, &key);
    if (st == reg::kAccessDenied)
        Fail(ExitStatus::Failed,
             (first.port.empty() ? std::string() : first.port + ": ") +
                 "writing the driver's settings needs administrator rights: run varnokctl "
                 "from an elevated prompt (Run as administrator); nothing was written");
}

void Session::execute(const std::vector<Op>& ops) {
    std::vector<std::string> written;
    auto partial = [&](const Op& op, const std::string& what) {
        std::string message = (op.port.empty() ? std::string() : op.port + " ") + op.valueName +
                              ": " + what;
        if (written.empty()) message += "; nothing was written";
        else {
            message += "; written before the failure:";
            for (const auto& p : written)
                message += " " + (p.empty() ? std::string("(global)") : p) +
                           (p == op.port ? " (in part)" : "");
        }
        Fail(ExitStatus::Failed, message);
    };
    std::unique_ptr<reg::RegistryKey> key;
    std::string openPath;
    for (const Op& op : ops) {
        if (!key || openPath != op.keyPath) {
            key.reset();
            const reg::Status st = seams_.registry.openKey(op.keyPath, reg::kKeyAllAccess, &key);
            if (st != reg::kSuccess || !key) {
                key.reset();
                if (st == reg::kAccessDenied)
                    partial(op, "access denied: run varnokctl from an elevated prompt");
                partial(op, "cannot open the key " + op.keyPath + ": " +
                                SystemText(seams_.serial, static_cast<uint32_t>(st)));
            }
            openPath = op.keyPath;
        }
        reg::Status st = reg::kSuccess;
        switch (op.kind) {
        case Op::Kind::Dword: st = reg::WriteDword(*key, op.valueName, op.dword); break;
        case Op::Kind::Binary:
            st = reg::WriteBinary(*key, op.valueName, op.bytes.data(), op.bytes.size());
            break;
        case Op::Kind::MultiString:
            st = reg::WriteMultiString(*key, op.valueName, op.bytes.data(), op.bytes.size());
            break;
        case Op::Kind::String: st = reg::WriteString(*key, op.valueName, op.text); break;
        case Op::Kind::Delete:
            st = key->deleteValue(op.valueName);
            if (st == reg::kFileNotFound) st = reg::kSuccess;
            break;
        }
        if (st != reg::kSuccess) {
            key.reset();
            partial(op, (st == reg::kAccessDenied
                             ? std::string("access denied: run varnokctl from an elevated prompt")
                             : "cannot be written: " +
                                   SystemText(seams_.serial, static_cast<uint32_t>(st))));
        }
        if (written.empty() || written.back() != op.port) {
            bool seen = false;
            for (const auto& p : written) seen = seen || p == op.port;
            if (!seen) written.push_back(op.port);
        }
    }
}

ExitStatus Session::reloadDriver() {
    if (command_.options.noReload) return ExitStatus::Done;
    if (!seams_.d2xxAvailable) {
        err_ << ErrorLine("the driver was not reloaded: the D2XX library could not be loaded (" +
                          seams_.d2xxLoadError + "); unplug and replug the adapters");
        return ExitStatus::Failed;
    }
    const d2xx::Status st = seams_.d2xx.Reload(kFtdiVendorId, 0);
    if (st != d2xx::kOk) {
        err_ << ErrorLine("FT_Reload failed (D2XX status " + std::to_string(st) +
                          "); the settings take effect when the adapters are plugged in again");
        return ExitStatus::Failed;
    }
    return ExitStatus::Done;
}

ExitStatus Session::commit(const std::vector<PortPlan>& plans, std::vector<Change> changes,
                           std::vector<Op> ops) {
    std::vector<Change> all;
    std::vector<Op> allOps;
    for (const auto& plan : plans) {
        const Port& before = ports_[plan.index];
        BufferedValues shown = before.buffered;
        if (plan.buffered.size) shown.size = plan.buffered.size;
        if (plan.buffered.threshold) shown.threshold = plan.buffered.threshold;
        if (plan.buffered.latency) shown.latency = plan.buffered.latency;
        PortInfo after = PortInfoOf(plan.next, shown);
        // A latency the driver would not take is not written: not a change.
        if (after.settings.latencyTimer &&
            (*after.settings.latencyTimer < kCliLatencyMin ||
             *after.settings.latencyTimer > kCliLatencyMax))
            after.settings.latencyTimer = before.info.settings.latencyTimer;
        for (auto& c : PortChanges(before.info, after)) all.push_back(std::move(c));
        if (plan.deleteBuffered) {
            const BufferedValues& b = before.buffered;
            const std::string port = LabelOf(before.entry);
            auto removed = [&](const char* name, const std::optional<uint32_t>& was) {
                if (was) all.push_back({port, name, std::to_string(*was), "(removed)"});
            };
            removed("bufferedWrites.size", b.size);
            removed("bufferedWrites.threshold", b.threshold);
            removed("bufferedWrites.latency", b.latency);
        }
        for (auto& op : opsOf(plan)) allOps.push_back(std::move(op));
    }
    for (auto& c : changes) all.push_back(std::move(c));
    for (auto& op : ops) allOps.push_back(std::move(op));

    for (const auto& c : all) out_ << FormatChange(c) << "\n";
    if (allOps.empty()) {
        if (all.empty()) out_ << "nothing to change\n";
        return ExitStatus::Done;
    }
    if (command_.options.dryRun) return ExitStatus::Done;

    grantAccess(allOps);
    checkWriteAccess(allOps.front());
    std::vector<cfg::backup::ValueRef> values;
    for (const auto& op : allOps) values.push_back({op.keyPath, op.valueName});
    const Outcome backedUp = cfg::BackUpValues(app_, values);
    if (!backedUp)
        Fail(ExitStatus::Failed,
             "no backup could be made, so nothing was written: " + backedUp.failure().context);
    execute(allOps);
    return reloadDriver();
}

// ---- the commands ---------------------------------------------------------

ExitStatus Session::list(const ListCommand& c) {
    load(c.includeDisconnected, true);
    std::vector<PortInfo> infos;
    for (const auto& p : ports_)
        if (c.includeDisconnected || p.entry.connected) infos.push_back(p.info);
    out_ << (command_.options.json ? PortsJson(infos) : ListTable(infos));
    return ExitStatus::Done;
}

ExitStatus Session::show(const ShowCommand& c) {
    load(false, true);
    const Port& p = find(c.port);
    out_ << (command_.options.json ? PortsJson({p.info}) : PortDetails(p.info));
    return ExitStatus::Done;
}

cfg::Preset ModelPreset(Preset p) {
    switch (p) {
    case Preset::Varnok: return cfg::Preset::Varnok;
    case Preset::Brivane: return cfg::Preset::Brivane;
    case Preset::Default: break;
    }
    return cfg::Preset::Default;
}

ExitStatus Session::set(const SetCommand& c) {
    std::vector<PortPlan> plans;
    for (std::size_t index : targets(c.target)) {
        PortPlan plan = planFor(index);
        if (c.change.preset) cfg::ApplyPreset(plan.next, ModelPreset(*c.change.preset));
        applySettings(plan, c.change.values);
        plans.push_back(std::move(plan));
    }
    return commit(plans, {}, {});
}

ExitStatus Session::buffered(const BufferedCommand& c) {
    load(false, true);
    const std::size_t index = findWritable(c.port);
    PortPlan plan = planFor(index);
    BufferedWrites values;
    values.enabled = c.change.enable;
    values.size = c.change.size;
    values.threshold = c.change.threshold;
    values.latency = c.change.latency;
    if (!c.change.enable && (values.size || values.threshold || values.latency))
        Fail(ExitStatus::Usage, c.port.text + ": size, threshold and latency go with \"on\"");
    applyBuffered(plan, values);
    return commit({plan}, {}, {});
}

ExitStatus Session::alias(const AliasCommand& c) {
    load(false, false);
    const std::size_t index = findWritable(c.port);
    PortPlan plan = planFor(index);
    needConfigData(plan, "baudAliases");
    if (c.table)
        cfg::CopyDivisorTable(plan.next.configData, *c.table == AliasTable::Brivane
                                                        ? cfg::kBrivaneDivisorTable
                                                        : cfg::kStandardDivisorTable);
    for (const auto& row : c.rows) {
        const std::optional<double> divisor = cfg::FindClosestDivisor(row.target);
        if (!divisor)
            Fail(ExitStatus::Refused, LabelOf(plan.next) + " baudAliases." +
                                          std::to_string(kAliasRowRates[row.row]) + "=" +
                                          std::to_string(row.target) +
                                          ": the chip cannot generate this rate");
        cfg::WriteSlotCode(plan.next.configData, cfg::SlotOfRow(row.row),
                           cfg::EncodeDivisor(*divisor));
    }
    return commit({plan}, {}, {});
}

ExitStatus Session::rename(const RenameCommand& c) {
    load(false, false);
    Port& port = ports_[findWritable(c.port)];
    const std::string newName = "COM" + std::to_string(c.comNumber);
    const std::string label = LabelOf(port.entry);
    if (!port.entry.writesBack(cfg::kFieldPortName))
        Fail(ExitStatus::Refused,
             label + " PortName: the port's name could not be read; not renamed");
    if (port.entry.portName == newName) {
        out_ << "nothing to change\n";
        return ExitStatus::Done;
    }
    cfg::PortEntry e = port.entry;
    const Outcome read = cfg::ReadComDb(app_, e);
    if (!read)
        Fail(ExitStatus::Failed, label + " ComDB: " + read.failure().context);
    if (cfg::IsComNumberReserved(e.comDbBitmap, c.comNumber))
        Fail(ExitStatus::Refused, label + " -> " + newName + ": " + newName +
                                      " is reserved (another device has it); choose a free number");
    std::vector<Op> ops;
    for (auto& w : cfg::PlanComName(e, newName)) {
        Op op;
        op.port = label;
        op.keyPath = w.keyPath;
        op.valueName = w.valueName;
        op.kind = w.bytes.empty() ? Op::Kind::String : Op::Kind::Binary;
        op.text = std::move(w.text);
        op.bytes = std::move(w.bytes);
        ops.push_back(std::move(op));
    }
    return commit({}, {{label, "port", port.entry.portName, newName}}, ops);
}

ExitStatus Session::ignoreSerial(const IgnoreSerialCommand& c) {
    const bool on = cfg::ReadIgnoreSerialFlag(app_);
    if (!c.value) {
        if (command_.options.json)
            out_ << "{\n  \"ignoreSerial\": " << (on ? "true" : "false") << "\n}\n";
        else
            out_ << (on ? "on" : "off") << "\n";
        return ExitStatus::Done;
    }
    if (*c.value == on) {
        out_ << "nothing to change\n";
        return ExitStatus::Done;
    }
    return commit({}, {{"", "ignoreSerial", on ? "on" : "off", *c.value ? "on" : "off"}},
                  IgnoreSerialOps(seams_.registry, *c.value));
}

ExitStatus Session::save(const SaveCommand& c) {
    load(false, false);
    const Port& p = find(c.port);
    const std::pair<cfg::PortField, const char*> needed[] = {
        {cfg::kFieldConfigData, "ConfigData"},
        {cfg::kFieldMinReadTimeout, "minReadTimeout"},
        {cfg::kFieldMinWriteTimeout, "minWriteTimeout"},
        {cfg::kFieldLatencyTimer, "latencyTimer"},
        {cfg::kFieldUpperFilters, "serialEnumerator"},
        {cfg::kFieldPollingPeriod, "pollingPeriod"}};
    for (const auto& [field, name] : needed)
        if (!p.entry.writesBack(field))
            Fail(ExitStatus::Refused, LabelOf(p.entry) + " " + name +
                                          ": could not be read, so the port is not saved");
    if (command_.options.dryRun) {
        out_ << "would save " << LabelOf(p.entry) << " to " << c.file << "\n";
        return ExitStatus::Done;
    }
    const Outcome saved = cfg::SaveConfigurationFile(p.entry, c.file);
    if (!saved) Fail(ExitStatus::Failed, c.file + ": " + saved.failure().context);
    return ExitStatus::Done;
}

ExitStatus Session::loadFile(const LoadCommand& c) {
    load(false, false);
    const std::size_t index = findWritable(c.port);
    PortPlan plan = planFor(index);
    const Outcome loaded = cfg::LoadConfigurationFile(plan.next, c.file);
    if (!loaded) {
        const bool size = loaded.failure().context == cfg::kMsgWrongFileSize;
        Fail(size ? ExitStatus::Refused : ExitStatus::Failed,
             c.file + ": " + loaded.failure().context);
    }
    return commit({plan}, {}, {});
}

ExitStatus Session::exportDoc(const ExportCommand& c) {
    load(c.includeDisconnected, true);
    std::vector<PortInfo> infos;
    for (const auto& p : ports_)
        if (c.includeDisconnected || p.entry.connected) infos.push_back(p.info);
    const bool ignore = cfg::ReadIgnoreSerialFlag(app_);
    const std::string text = WriteSettingsDocument(ExportDocument(infos, ignore));
    if (command_.options.dryRun) {
        out_ << "would export " << infos.size() << " ports to " << c.file << "\n";
        return ExitStatus::Done;
    }
    {
        std::ofstream file(files::PathFromUtf8(c.file), std::ios::binary | std::ios::trunc);
        if (file) file << text;
        if (!file || !file.flush())
            Fail(ExitStatus::Failed, c.file + ": the file cannot be written");
    }
    out_ << "exported " << infos.size() << " ports to " << c.file << "\n";
    return ExitStatus::Done;
}

ExitStatus Session::importDoc(const ImportCommand& c) {
    std::string text;
    {
        std::ifstream file(files::PathFromUtf8(c.file), std::ios::binary);
        if (!file) Fail(ExitStatus::Failed, c.file + ": the file cannot be opened");
        std::ostringstream buffer;
        buffer << file.rdbuf();
        if (file.bad()) Fail(ExitStatus::Failed, c.file + ": the file cannot be read");
        text = buffer.str();
    }
    SettingsDocument doc;
    try {
        doc = ReadSettingsDocument(text);
    } catch (const CliError& e) {
        throw CliError(e.status(), c.file + ": " + e.what());
    }
    load(true, true);
    std::map<std::size_t, PortPlan> plans;
    for (const auto& entry : doc.ports) {
        bool matched = false;
        for (std::size_t i = 0; i < ports_.size(); ++i) {
            if (!DocumentPortMatches(entry, ports_[i].info)) continue;
            matched = true;
            auto found = plans.find(i);
            if (found == plans.end()) found = plans.emplace(i, planFor(i)).first;
            PortPlan& plan = found->second;
            if (entry.configData) {
                plan.next.configData = *entry.configData;
                plan.next.knownFields |= cfg::kFieldConfigData;
            }
            applySettings(plan, entry.settings);
            applyBuffered(plan, entry.bufferedWrites);
        }
        if (!matched) {
            std::string who;
            switch (entry.match) {
            case DocumentPort::Match::Serial: who = "serial " + entry.serial; break;
            case DocumentPort::Match::DeviceId: who = "device id " + HexId(*entry.deviceId); break;
            case DocumentPort::Match::Any: who = "\"match\": \"*\""; break;
            }
            if (!entry.port.empty()) who += " (" + entry.port + ")";
            err_ << ErrorLine(who + ": no such port is installed; skipped");
        }
    }
    std::vector<PortPlan> list;
    for (auto& [index, plan] : plans) list.push_back(std::move(plan));
    std::vector<Change> changes;
    std::vector<Op> ops;
    if (doc.ignoreSerial) {
        const bool on = cfg::ReadIgnoreSerialFlag(app_);
        if (*doc.ignoreSerial != on) {
            changes.push_back(
                {"", "ignoreSerial", on ? "on" : "off", *doc.ignoreSerial ? "on" : "off"});
            ops = IgnoreSerialOps(seams_.registry, *doc.ignoreSerial);
        }
    }
    return commit(list, changes, ops);
}

ExitStatus Session::reload() {
    if (command_.options.dryRun) {
        out_ << "would reload the driver (FT_Reload 0x0403 0x0000)\n";
        return ExitStatus::Done;
    }
    if (!seams_.d2xxAvailable)
        Fail(ExitStatus::Failed,
             "the D2XX library could not be loaded (" + seams_.d2xxLoadError + ")");
    const d2xx::Status st = seams_.d2xx.Reload(kFtdiVendorId, 0);
    if (st != d2xx::kOk)
        Fail(ExitStatus::Failed, "FT_Reload failed (D2XX status " + std::to_string(st) + ")");
    return ExitStatus::Done;
}

ExitStatus Session::closePorts() {
    ExitStatus status = ExitStatus::Done;
    for (int n = cfg::kFirstComPortToClose; n <= cfg::kLastComPortToClose; ++n) {
        const std::string name = "COM" + std::to_string(n);
        if (!seams_.serial.exists(name)) continue;
        if (command_.options.dryRun) {
            out_ << "would close " << name << "\n";
            continue;
        }
        std::unique_ptr<serial::SerialPort> port = seams_.serial.open("\\\\.\\" + name);
        if (!port) {
            const uint32_t code = seams_.serial.lastError();
            err_ << ErrorLine(name + ": " + cfg::kMsgCloseNotPossible + " (" +
                              SystemText(seams_.serial, code) + ")");
            status = ExitStatus::Failed;
            continue;
        }
        port->purge(serial::kPurgeTxClear | serial::kPurgeRxClear);
        port.reset();
    }
    return status;
}

ExitStatus Session::run() {
    return std::visit(
        [this](const auto& c) -> ExitStatus {
            using T = std::decay_t<decltype(c)>;
            if constexpr (std::is_same_v<T, ListCommand>) return list(c);
            else if constexpr (std::is_same_v<T, ShowCommand>) return show(c);
            else if constexpr (std::is_same_v<T, SetCommand>) return set(c);
            else if constexpr (std::is_same_v<T, BufferedCommand>) return buffered(c);
            else if constexpr (std::is_same_v<T, AliasCommand>) return alias(c);
            else if constexpr (std::is_same_v<T, RenameCommand>) return rename(c);
            else if constexpr (std::is_same_v<T, IgnoreSerialCommand>) return ignoreSerial(c);
            else if constexpr (std::is_same_v<T, SaveCommand>) return save(c);
            else if constexpr (std::is_same_v<T, LoadCommand>) return loadFile(c);
            else if constexpr (std::is_same_v<T, ExportCommand>) return exportDoc(c);
            else if constexpr (std::is_same_v<T, ImportCommand>) return importDoc(c);
            else if constexpr (std::is_same_v<T, ReloadCommand>) return reload();
            else if constexpr (std::is_same_v<T, ClosePortsCommand>) return closePorts();
            else Fail(ExitStatus::Usage, "not a configuration command");
        },
        command_.action);
}

}  // namespace

AliasRates AliasRatesOf(const cfg::ConfigBytes& data) {
    AliasRates rates{};
    for (int row = 0; row < kAliasRowCount; ++row) {
        const double divisor = cfg::DecodeDivisor(cfg::ReadSlotCode(data, cfg::SlotOfRow(row)));
        rates[static_cast<std::size_t>(row)] =
            static_cast<uint32_t>(std::llround(cfg::kBaseRate / divisor));
    }
    return rates;
}

PortInfo PortInfoOf(const cfg::PortEntry& e, const BufferedValues& buffered) {
    PortInfo p;
    p.port = e.portName;
    p.serial = e.serialNumber;
    p.description = e.description;
    p.deviceId = e.deviceId;
    if (e.connected) p.locationId = e.locationId;
    p.attached = e.connected;
    auto number = [&](cfg::PortField field, int32_t v) -> std::optional<uint32_t> {
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
    p.bufferedWrites.size = buffered.size;
    p.bufferedWrites.threshold = buffered.threshold;
    p.bufferedWrites.latency = buffered.latency;
    return p;
}

bool IsConfigCommand(const Action& action) {
    return !std::holds_alternative<ModesListCommand>(action) &&
           !std::holds_alternative<ModesSetCommand>(action);
}

ExitStatus RunConfigCommand(const Command& command, ConfigSeams& seams, std::ostream& out,
                            std::ostream& err) {
    try {
        Session session(command, seams, out, err);
        return session.run();
    } catch (const CliError& e) {
        err << ErrorLine(e.what());
        return e.status();
    } catch (const std::bad_alloc&) {
        err << ErrorLine("out of memory");
        return ExitStatus::Failed;
    } catch (const std::exception& e) {
        err << ErrorLine(std::string("failed: ") + e.what());
        return ExitStatus::Failed;
    }
}

}  // namespace varnok::cli
