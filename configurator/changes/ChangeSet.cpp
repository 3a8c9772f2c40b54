#include "configurator/changes/ChangeSet.h"

#include <algorithm>
#include <memory>

namespace varnok::cfg {

namespace {

std::vector<uint8_t> DwordBytes(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

reg::Status Write(reg::RegistryKey& key, const ValueChange& c) {
    if (c.deletes()) {
        const reg::Status st = key.deleteValue(c.valueName);
        return st == reg::kFileNotFound ? reg::kSuccess : st;
    }
    const std::vector<uint8_t>& bytes = *c.after;
    return key.setValue(c.valueName, c.type, bytes.data(), bytes.size());
}

}  // namespace

ValueChange DwordChange(std::string port, std::string keyPath, std::string name,
                        std::optional<uint32_t> before, uint32_t after) {
    ValueChange c{std::move(port), std::move(keyPath), std::move(name), reg::kDword, {},
                  DwordBytes(after)};
    if (before) c.before = DwordBytes(*before);
    return c;
}

bool ApplyReport::anyWritten() const {
    return std::any_of(results.begin(), results.end(), [](const ChangeResult& r) { return r.ok(); });
}

bool ApplyReport::allWritten() const {
    return backup &&
           std::all_of(results.begin(), results.end(), [](const ChangeResult& r) { return r.ok(); });
}

std::vector<std::size_t> ApplyReport::failed() const {
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < results.size(); ++i)
        if (!results[i].ok()) out.push_back(i);
    return out;
}

std::vector<backup::ValueRef> ValuesOf(const ChangeSet& changes) {
    std::vector<backup::ValueRef> values;
    values.reserve(changes.size());
    for (const auto& c : changes) values.push_back({c.keyPath, c.valueName});
    return values;
}

ApplyReport ApplyChanges(Configurator& app, const ChangeSet& changes,
                         const GoOnWithoutBackup& goOn) {
    ApplyReport report;
    if (changes.empty()) return report;
    std::string problem;  // in words for the user
    if (app.backup != nullptr && !app.backup->save(ValuesOf(changes), &problem))
        report.backup = Outcome::Fail(0, problem);
    if (!report.backup && !(goOn && goOn(report.backup.failure()))) return report;
    report.results.reserve(changes.size());
    // Consecutive changes of one key share one opening of it.
    std::unique_ptr<reg::RegistryKey> key;
    std::string openPath;
    reg::Status openStatus = reg::kSuccess;
    for (const ValueChange& c : changes) {
        if (openPath != c.keyPath || (!key && openStatus == reg::kSuccess)) {
            key.reset();
            openPath = c.keyPath;
            openStatus = app.registry.openKey(c.keyPath, reg::kKeyAllAccess, &key);
            if (openStatus == reg::kSuccess && !key) openStatus = reg::kFileNotFound;
            if (openStatus != reg::kSuccess) key.reset();
        }
        if (!key) {
            report.results.push_back({openStatus, false});
            continue;
        }
        report.results.push_back({Write(*key, c), true});
    }
    return report;
}

std::string SystemErrorText(Configurator& app, uint32_t code) {
    std::string text = app.serial.systemMessage(code);
    text.erase(text.find_last_not_of("\r\n .") + 1);  // the line end and full stop go
    if (text.empty()) return "system error " + std::to_string(code);
    return text + " (error " + std::to_string(code) + ")";
}

std::vector<std::string> FailedChangeLines(Configurator& app, const ChangeSet& changes,
                                           const ApplyReport& report) {
    std::vector<std::string> lines;
    for (std::size_t i : report.failed()) {
        const ValueChange& c = changes[i];
        const ChangeResult& r = report.results[i];
        const auto code = static_cast<uint32_t>(r.status);
        std::string why = r.keyOpened
                              ? "cannot be " + std::string(c.deletes() ? "deleted" : "written")
                              : "its key cannot be opened";
        lines.push_back((c.port.empty() ? std::string() : c.port + " ") + c.valueName + ": " +
                        why + ": " + SystemErrorText(app, code));
    }
    return lines;
}

std::string NotWrittenText(Configurator& app, const ChangeSet& changes,
                           const ApplyReport& report) {
    const std::vector<std::string> lines = FailedChangeLines(app, changes, report);
    if (lines.empty()) return {};
    std::string text = "These settings were not written:\n";
    for (const auto& l : lines) text += "\n" + l;
    text += "\n\nEverything else was written.";
    return text;
}

}  // namespace varnok::cfg
