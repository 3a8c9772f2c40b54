#include "cli/linux/LinuxImport.h"

#include <unistd.h>

#include <algorithm>

#include "cli/ConfigCommands.h"
#include "cli/WriteResult.h"
#include "cli/linux/LatencyTimer.h"
#include "cli/linux/ProfileRules.h"

namespace varnok::linuxhost {

using cli::ExitStatus;

namespace {

constexpr char kPersistedSetting[] = "persisted.latencyTimer";
constexpr char kProfileRulesSetting[] = "persisted.profileRules";

std::string TextLine(const cli::Change& c, const std::string& ruleFile) {
    if (c.name == kPersistedSetting) return c.port + " udev rule " + ruleFile + " latency_timer=" + c.to;
    if (c.name == kProfileRulesSetting) return "udev rule " + ruleFile + " " + c.to;
    return cli::FormatChange(c);
}

struct PortWrite {
    const FtdiTty* port;
    cli::Change change;
    uint32_t value;
};

}  // namespace

cli::ExitStatus RunImport(const cli::Command& command, const LinuxHost& host, std::ostream& out,
                          std::ostream& err) {
    const auto& import = std::get<cli::ImportCommand>(command.action);
    const cli::SettingsDocument doc = cli::ReadDocumentFile(import.file);
    const bool dryRun = command.options.dryRun;

    cli::WriteResult result;
    result.warnings = SkippedLinuxSettings(doc);
    ProfileRulePlan rules;
    if (import.persist) {
        rules = PlanProfileRules(doc);
        result.warnings.insert(result.warnings.end(), rules.warnings.begin(), rules.warnings.end());
    }

    // Every port takes the value of the last entry that matches it and sets
    // one, as import does on Windows.
    std::vector<bool> matched(doc.ports.size(), false);
    std::vector<PortWrite> writes;
    for (const FtdiTty& p : host.ports) {
        const cli::PortInfo info = PortInfoOf(host, p);
        std::optional<uint32_t> wanted;
        for (std::size_t i = 0; i < doc.ports.size(); ++i) {
            const auto& entry = doc.ports[i];
            if (!entry.settings.latencyTimer || !cli::DocumentPortMatches(entry, info)) continue;
            matched[i] = true;
            wanted = entry.settings.latencyTimer;
        }
        if (!wanted) continue;
        const std::optional<uint32_t> before = info.settings.latencyTimer;
        if (before != wanted) {
            cli::Change change{p.tty, "latencyTimer", std::nullopt, std::to_string(*wanted)};
            if (before) change.from = std::to_string(*before);
            writes.push_back({&p, change, *wanted});
        }
        if (import.persist)
            if (const auto own = ReadPersistedLatency(host.rulesRoot, p); own && own != wanted)
                result.warnings.push_back(p.tty + ": its own udev rule of set --persist (latency timer " +
                                          std::to_string(*own) + ") comes after the profile's and "
                                          "wins at the next plug-in");
    }
    for (std::size_t i = 0; i < doc.ports.size(); ++i) {
        if (!doc.ports[i].settings.latencyTimer || matched[i]) continue;
        if (std::none_of(rules.rules.begin(), rules.rules.end(),
                         [&](const ProfileRule& r) { return r.entry == i; }))
            result.skipped.push_back({ProfileTarget(doc.ports[i]), "no such port is attached"});
    }

    // The profile's rule file: written only when its text changes, removed
    // when the profile has no rule left.
    const std::string ruleFile = std::string(kRulesDir) + "/" + kProfileRuleFileName;
    const std::string rulePath = host.rulesRoot + ruleFile;
    bool writeRules = false, removeRules = false;
    if (import.persist) {
        if (rules.fileText.empty())
            removeRules = ::access(rulePath.c_str(), F_OK) == 0;
        else
            writeRules = ReadRuleFile(rulePath) != rules.fileText;
    }

    if (!command.options.json) {
        for (const std::string& w : result.warnings) err << cli::ErrorLine("warning: " + w);
        for (const cli::SkippedPort& s : result.skipped)
            err << cli::ErrorLine(s.port + ": " + s.reason + "; skipped");
    }

    // A write that fails is told; the others are still written.
    bool failures = false;
    std::vector<std::string> written;
    for (const PortWrite& w : writes) {
        if (!dryRun) {
            const FileResult r = WriteLatencyTimer(host.sysRoot, *w.port, w.value);
            if (!r.ok) {
                err << cli::ErrorLine(w.port->tty + ": latency_timer could not be written (" +
                                      std::to_string(w.value) + "): " + ReasonOf(r.error));
                failures = true;
                continue;
            }
            written.push_back(w.port->tty);
        }
        result.changes.push_back(w.change);
    }
    if (writeRules || removeRules) {
        const FileResult r = dryRun       ? FileResult{true, 0}
                             : writeRules ? WriteFileBeside(rulePath, rules.fileText)
                                          : RemoveFile(rulePath);
        if (!r.ok) {
            err << cli::ErrorLine("the udev rule file " + ruleFile + " could not be " +
                                  (writeRules ? "written" : "removed") + ": " + ReasonOf(r.error));
            failures = true;
        } else if (writeRules) {
            for (const ProfileRule& rule : rules.rules)
                result.changes.push_back({rule.target, kPersistedSetting, std::nullopt,
                                          std::to_string(rule.latencyTimer)});
            if (!dryRun) written.push_back(ruleFile);
        } else {
            result.changes.push_back({"", kProfileRulesSetting, std::nullopt, "removed"});
            if (!dryRun) written.push_back(ruleFile);
        }
    }
    result.changed = !result.changes.empty();

    if (command.options.json) {
        out << cli::WriteResultJson(result);
    } else {
        for (const cli::Change& c : result.changes) out << TextLine(c, ruleFile) << "\n";
        if (!result.changed && !failures)
            out << "nothing to change\n";
        else if (dryRun)
            out << "(dry run: nothing written)\n";
        else if (!import.persist && !writes.empty())
            out << "The values last until the devices are unplugged; --persist keeps them.\n";
    }
    if (!failures) return ExitStatus::Done;
    err << cli::ErrorLine(written.empty() ? "Nothing was changed."
                                          : "Written: " + cli::Join(written, ", ") + ".");
    return ExitStatus::Failed;
}

}  // namespace varnok::linuxhost
