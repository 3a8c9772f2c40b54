#include "cli/Watch.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <vector>

#include "cli/ConfigSession.h"
#include "cli/WriteResult.h"
#include "common/platform/RegistryValues.h"
#include "configurator/app/Configurator.h"
#include "configurator/changes/ChangePlanners.h"

namespace varnok::cli {

namespace {

// Watched while the enumerator key does not exist yet (no FTDI device was
// ever installed): its parent, until the enumerator key appears.
constexpr const char* kEnumKeyPath = "SYSTEM\\CurrentControlSet\\Enum";
constexpr std::size_t kSubKeyNameCapacity = 256;

// ErrorLine without its line end.
std::string ProblemLine(const std::string& message) {
    std::string line = ErrorLine(message);
    line.pop_back();
    return line;
}

// The lines of a stream's text, without "varnokctl: " in front when
// `stripPrefix`.
std::vector<std::string> Lines(const std::string& text, bool stripPrefix) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    const std::string prefix = ProblemLine("");
    while (std::getline(in, line)) {
        if (stripPrefix && line.rfind(prefix, 0) == 0) line = line.substr(prefix.size());
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

// The changes of an event; of one port without its name, which the line
// gives once.
std::string Joined(const std::vector<Change>& changes, bool onePort) {
    std::string text;
    for (Change c : changes) {
        if (onePort) c.port.clear();
        text += (text.empty() ? "" : ", ") + FormatChange(c);
    }
    return text;
}

// The library's device list; empty when it cannot be read.
std::vector<d2xx::DeviceListInfoNode> DeviceList(d2xx::D2xx& d2xx) {
    uint32_t count = 0;
    if (d2xx.CreateDeviceInfoList(&count) != d2xx::kOk || count == 0) return {};
    std::vector<d2xx::DeviceListInfoNode> nodes(count);
    if (d2xx.GetDeviceInfoList(nodes.data(), &count) != d2xx::kOk) return {};
    nodes.resize(std::min<std::size_t>(count, nodes.size()));
    return nodes;
}

// The library's entry of the device an instance key belongs to: the same
// id, and the library's serial is the key's, or for a single-port chip
// (232R, 230X: the library lists it by its chip serial, also while a program
// holds it open) the key's without the port letter "A" at its ninth place.
std::optional<d2xx::DeviceListInfoNode> ListedDevice(d2xx::D2xx& d2xx, const cfg::PortEntry& key) {
    const bool singlePort = key.deviceId == 0x04036001 || key.deviceId == 0x04036015;
    for (const d2xx::DeviceListInfoNode& node : DeviceList(d2xx)) {
        const std::string serial = d2xx::FieldText(node.SerialNumber, sizeof node.SerialNumber);
        if (node.ID != key.deviceId || serial.empty()) continue;
        if (serial == key.serialNumber ||
            (singlePort && serial.size() >= 8 && serial.substr(0, 8) + "A" == key.serialNumber))
            return node;
    }
    return std::nullopt;
}

class Watcher {
public:
    Watcher(const Command& command, SettingsDocument doc, ConfigSeams& seams,
            const WatchOutput& output, const std::atomic<bool>* stop)
        : command_(command), doc_(std::move(doc)), seams_(seams), output_(output), stop_(stop) {}

    ExitStatus run() {
        // Writing the driver's keys needs an elevated token: said once at the
        // start rather than at every port that appears.
        bool adjusted = false;
        if (!command_.options.dryRun &&
            seams_.registry.enablePrivilege("SeTakeOwnershipPrivilege", true, &adjusted) ==
                reg::kNotAllAssigned)
            Fail(ExitStatus::Failed,
                 "watching needs administrator rights: run varnokctl from an elevated prompt "
                 "(Run as administrator)");
        arm();
        known_ = deviceKeys();
        const Run all = apply(nullptr);
        tell(kAllPorts, all, all.result.reloaded ? "driver reloaded" : "");
        while (!stopped()) {
            const reg::KeyWatch::Wake wake =
                watch_->wait(pending_.empty() ? kWatchRecheckMs : kWatchSettleMs);
            if (wake == reg::KeyWatch::Wake::Stopped || stopped()) break;
            if (wake == reg::KeyWatch::Wake::Changed && !quiet()) break;
            if (watchingParent_) arm();
            scan();
        }
        return ExitStatus::Interrupted;
    }

private:
    bool stopped() const { return stop_ != nullptr && stop_->load(); }
    void problem(const std::string& message) { output_.problem(ProblemLine(message)); }

    // The notification on the enumerator key, or on its parent while it is
    // missing.
    void arm() {
        std::unique_ptr<reg::KeyWatch> watch;
        reg::Status st = seams_.registry.watchKey(cfg::kEnumeratorKeyPath, &watch);
        const bool missing = st != reg::kSuccess;
        if (missing && watchingParent_) return;  // still missing: the parent's watch goes on
        if (st == reg::kFileNotFound) st = seams_.registry.watchKey(kEnumKeyPath, &watch);
        if (st != reg::kSuccess)
            Fail(ExitStatus::Failed, std::string("HKEY_LOCAL_MACHINE\\") +
                                         cfg::kEnumeratorKeyPath +
                                         ": changes cannot be watched (system error " +
                                         std::to_string(st) + ")");
        watch_ = std::move(watch);
        watchingParent_ = missing;
    }

    // After a change, until nothing has changed for a moment: the driver
    // writes a new port's values one after another. False when stopped.
    bool quiet() {
        const uint64_t start = seams_.clock.nowMs();
        while (seams_.clock.nowMs() - start < kWatchQuietLimitMs) {
            const reg::KeyWatch::Wake wake = watch_->wait(kWatchQuietMs);
            if (wake == reg::KeyWatch::Wake::Stopped || stopped()) return false;
            if (wake == reg::KeyWatch::Wake::TimedOut) break;
        }
        return true;
    }

    // Lower-case names of the enumerator's subkeys, one per installed port.
    std::set<std::string> deviceKeys() {
        std::set<std::string> keys;
        const auto key = reg::OpenKey(seams_.registry, cfg::kEnumeratorKeyPath, reg::Access::Read);
        if (!key) return keys;
        uint32_t count = 0;
        if (key->subKeyCount(&count) != reg::kSuccess) return keys;
        for (uint32_t i = 0; i < count; ++i) {
            std::string name;
            if (key->subKeyName(i, kSubKeyNameCapacity, &name) == reg::kSuccess)
                keys.insert(Lower(name));
        }
        return keys;
    }

    struct Run {
        ExitStatus status = ExitStatus::Done;
        WriteResult result;
        std::vector<std::string> errors;  // without "varnokctl: "
        std::optional<cfg::PortEntry> port;
    };

    // ApplyDocument in a session of its own (a backup file of its own),
    // its output kept for the event's line.
    Run apply(const std::string* deviceKey) {
        Command c = command_;
        c.options.json = false;
        if (deviceKey != nullptr) c.options.noReload = true;  // the device is restarted alone
        std::ostringstream out, err;
        Run run;
        try {
            Session s(c, seams_, out, err);
            std::set<std::string> only;
            if (deviceKey != nullptr) only.insert(*deviceKey);
            try {
                run.status = ApplyDocument(s, doc_, deviceKey != nullptr ? &only : nullptr);
            } catch (const CliError& e) {
                err << ErrorLine(e.what());
                run.status = e.status();
            }
            run.result = s.result;
            run.result.warnings.clear();  // told again below, with every error line
            if (deviceKey != nullptr)
                for (const Port& p : s.ports)
                    if (DeviceKeyOf(p.entry) == *deviceKey) run.port = p.entry;
        } catch (const std::exception& e) {
            err << ErrorLine(std::string("failed: ") + e.what());
            run.status = ExitStatus::Failed;
        }
        for (const auto& line : Lines(err.str(), false)) output_.problem(line);
        run.errors = Lines(err.str(), true);
        for (const auto& e : run.errors) run.result.warnings.push_back(e);
        return run;
    }

    void tell(const std::string& who, const Run& run, const std::string& after) {
        if (command_.options.json) {
            std::string line = WriteResultJson(run.result, true);
            while (!line.empty() && line.back() == '\n') line.pop_back();
            output_.event(line);
            return;
        }
        std::string line = who + ": ";
        const bool named = std::any_of(doc_.ports.begin(), doc_.ports.end(), [&](const auto& e) {
            return !run.port || DocumentPortMatches(e, PortInfoOf(*run.port));
        });
        if (run.status != ExitStatus::Done && run.status != ExitStatus::Interrupted)
            line += "not changed as the profile says (" + std::to_string(ToInt(run.status)) +
                    (run.errors.empty() ? std::string() : ": " + run.errors.back()) + ")";
        else if (!named)
            line += "no entry of the profile is for this port";
        else if (run.result.changes.empty())
            line += "follows the profile already";
        else
            line += (command_.options.dryRun ? "would change " : "") +
                    Joined(run.result.changes, who != kAllPorts);
        if (run.result.backup) line += "; backup " + *run.result.backup;
        if (!after.empty()) line += "; " + after;
        output_.event(line);
    }

    static constexpr const char* kAllPorts = "installed ports";

    // A new port's values are written; then its device (`listed`, when the
    // library lists it) starts again to take them.
    void applyToNew(const std::string& deviceKey,
                    const std::optional<d2xx::DeviceListInfoNode>& listed) {
        Run run = apply(&deviceKey);
        const std::string who = (run.port ? cfg::PortLabel(*run.port) : deviceKey) + " (new)";
        std::string after;
        const bool written = run.result.changed && !command_.options.dryRun;
        if (written) {
            after = restart(listed);
            if (after.empty()) run.result.reloaded = true;  // running with the new values
            else run.result.warnings.push_back(who + ": " + after);
        }
        tell(who, run, after.empty() && written ? "restarted" : after);
    }

    // FT_CyclePort on the device (opened by location, closed again): empty
    // when it restarted; otherwise why not. It is held open when the library
    // lists it as open or will not open it.
    std::string restart(const std::optional<d2xx::DeviceListInfoNode>& listed) {
        const std::string later = ": the values take effect at the next plug-in";
        if (!seams_.d2xxAvailable)
            return "not restarted, the D2XX library could not be loaded" + later;
        const std::string notAttached = "not attached" + later;
        const std::string heldOpen = "held open by a program" + later;
        if (!listed) return notAttached;
        d2xx::D2xx& lib = seams_.d2xx;
        for (const d2xx::DeviceListInfoNode& node : DeviceList(lib))
            if (node.LocId == listed->LocId && (node.Flags & d2xx::kFlagOpened) != 0)
                return heldOpen;
        d2xx::ScopedHandle handle(lib);
        d2xx::Status st = lib.OpenEx(listed->LocId, d2xx::kOpenByLocation, handle.out());
        if (st == d2xx::kDeviceNotOpened) return heldOpen;
        if (st == d2xx::kDeviceNotFound) return notAttached;
        if (st == d2xx::kOk) st = lib.CyclePort(handle.get());
        if (st == d2xx::kOk) return {};
        return "FT_CyclePort failed (D2XX status " + std::to_string(st) + ")" + later;
    }

    // The enumerator's keys against the last look: new ones wait until the
    // driver has made their port and the library lists the device (or
    // kWatchSettleLimitMs has passed), then each is written alone.
    void scan() {
        const std::set<std::string> now = deviceKeys();
        const uint64_t at = seams_.clock.nowMs();
        for (const auto& k : now)
            if (!known_.count(k)) pending_.emplace(k, at);
        for (auto it = pending_.begin(); it != pending_.end();)
            it = now.count(it->first) ? std::next(it) : pending_.erase(it);
        known_ = now;
        if (pending_.empty()) return;

        std::ostringstream out, err;
        Session look(command_, seams_, out, err);
        look.load(true, false);
        std::map<std::string, const Port*> ports;
        for (const Port& p : look.ports) ports[DeviceKeyOf(p.entry)] = &p;
        for (auto it = pending_.begin(); it != pending_.end() && !stopped();) {
            const auto found = ports.find(it->first);
            const bool made = found != ports.end() && found->second->keyFound;
            const auto listed =
                made ? ListedDevice(seams_.d2xx, found->second->entry) : std::nullopt;
            const bool late = at - it->second >= kWatchSettleLimitMs;
            if (!listed && !late) {
                ++it;
                continue;
            }
            if (!made)
                problem(it->first + ": the driver made no port for this key; not changed");
            else
                applyToNew(it->first, listed);
            it = pending_.erase(it);
        }
    }

    const Command& command_;
    const SettingsDocument doc_;
    ConfigSeams& seams_;
    const WatchOutput& output_;
    const std::atomic<bool>* stop_;
    std::unique_ptr<reg::KeyWatch> watch_;
    bool watchingParent_ = false;
    std::set<std::string> known_;
    std::map<std::string, uint64_t> pending_;  // device key -> when first seen
};

}  // namespace

ExitStatus RunWatch(const Command& command, const std::string& profile, ConfigSeams& seams,
                    const WatchOutput& output, const std::atomic<bool>* stop) {
    try {
        return Watcher(command, ReadDocumentFile(profile), seams, output, stop).run();
    } catch (const CliError& e) {
        output.problem(ProblemLine(e.what()));
        return e.status();
    } catch (const std::exception& e) {
        output.problem(ProblemLine(std::string("failed: ") + e.what()));
        return ExitStatus::Failed;
    }
}

}  // namespace varnok::cli
