#include "configurator/backup/BackupJournal.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>

namespace varnok::cfg::backup {

namespace {

constexpr std::size_t kFirstQueryBytes = 4096;
constexpr int kMaxSameSecond = 99;

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool Digits(const std::string& s, std::size_t from, std::size_t count) {
    return from + count <= s.size() &&
           std::all_of(s.begin() + from, s.begin() + from + count,
                       [](unsigned char c) { return std::isdigit(c) != 0; });
}

// Reads one value whole. kSuccess with the value, kFileNotFound when it does
// not exist, anything else when it cannot be read.
reg::Status ReadValue(reg::RegistryKey& key, const std::string& name, SavedValue* out) {
    reg::Status st = key.queryValue(name, kFirstQueryBytes, &out->type, &out->data);
    if (st == reg::kMoreData) st = key.queryValue(name, kMaxValueBytes, &out->type, &out->data);
    return st;
}

}  // namespace

bool IsBackupFileName(const std::string& name) {
    // YYYYMMDD-HHMMSS[_NN].reg
    if (!Digits(name, 0, 8) || name.size() < 19 || name[8] != '-' || !Digits(name, 9, 6))
        return false;
    std::string rest = Lower(name.substr(15));
    if (rest == ".reg") return true;
    return rest.size() == 7 && rest[0] == '_' && Digits(rest, 1, 2) && rest.substr(3) == ".reg" &&
           rest.substr(1, 2) >= "02";
}

bool BackupJournal::save(const std::vector<ValueRef>& values, std::string* problem) {
    bool ok = true;
    for (const ValueRef& ref : values) {
        const std::string lowerPath = Lower(ref.keyPath);
        auto it = std::find_if(keys_.begin(), keys_.end(),
                               [&](const Key& k) { return Lower(k.saved.path) == lowerPath; });
        if (it == keys_.end())
            it = keys_.insert(keys_.end(), Key{SavedKey{ref.keyPath, {}}, true, {}});
        Key& key = *it;
        const std::string lowerName = Lower(ref.valueName);
        if (!key.exists ||
            std::find(key.seen.begin(), key.seen.end(), lowerName) != key.seen.end())
            continue;

        std::unique_ptr<reg::RegistryKey> open;
        const reg::Status openStatus = registry_.openKey(ref.keyPath, reg::kKeyRead, &open);
        if (openStatus == reg::kFileNotFound) {
            // The configurator never creates keys: nothing there can change.
            key.exists = false;
            continue;
        }
        // A value that cannot be read now is not recorded later either:
        // by then it may hold what this run wrote.
        key.seen.push_back(lowerName);
        SavedValue value;
        value.name = ref.valueName;
        const reg::Status st = openStatus == reg::kSuccess && open != nullptr
                                   ? ReadValue(*open, ref.valueName, &value)
                                   : openStatus;
        if (st == reg::kSuccess || st == reg::kFileNotFound) {
            value.present = st == reg::kSuccess;
            if (!value.present) value.data.clear();
            key.saved.values.push_back(value);
            dirty_ = true;
        } else if (ok) {
            ok = false;
            if (problem != nullptr)
                *problem = "The value \"" + ref.valueName + "\" of HKEY_LOCAL_MACHINE\\" +
                           ref.keyPath + " could not be read.";
        }
    }
    if (dirty_) {
        std::string writeProblem;
        if (!writeFile(&writeProblem)) {
            if (ok && problem != nullptr) *problem = writeProblem;
            ok = false;
        }
    }
    return ok;
}

bool BackupJournal::writeFile(std::string* problem) {
    if (!store_.prepare()) {
        *problem = "The backup folder could not be created:\n" + store_.location();
        return false;
    }
    std::vector<SavedKey> saved;
    for (const Key& k : keys_) saved.push_back(k.saved);
    const auto render = [&](const std::string& name) {
        return RenderRegFile(
            {"Varnok Plus Configurator: registry values as they were before its changes of " +
                 started_ + ".",
             "Import this file (double-click it, or run: reg import " + name +
                 ") to put them back."},
            saved);
    };
    if (fileName_.empty()) {
        // The run's name is claimed when the file is first made, so that two
        // runs in the same second (the configurator and varnokctl, or two
        // scripts) never write one file: a name taken meanwhile is skipped.
        const LocalTime t = time_.localNow();
        char stamp[96];
        std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                      t.hour, t.minute, t.second);
        started_ = stamp;
        std::snprintf(stamp, sizeof stamp, "%04d%02d%02d-%02d%02d%02d", t.year, t.month, t.day,
                      t.hour, t.minute, t.second);
        const std::vector<std::string> existing = store_.fileNames();
        auto taken = [&](const std::string& name) {
            return std::any_of(existing.begin(), existing.end(),
                               [&](const std::string& e) { return Lower(e) == Lower(name); });
        };
        for (int n = 1; n <= kMaxSameSecond && fileName_.empty(); ++n) {
            char suffix[16] = "";
            if (n > 1) std::snprintf(suffix, sizeof suffix, "_%02d", n);
            const std::string name = std::string(stamp) + suffix + ".reg";
            if (taken(name)) continue;
            switch (store_.createFile(name, render(name))) {
            case FileStore::Created::Done: fileName_ = name; break;
            case FileStore::Created::Exists: break;
            case FileStore::Created::Failed:
                *problem = "The backup file could not be written:\n" + store_.location() + "\\" +
                           name;
                return false;
            }
        }
        if (fileName_.empty()) {
            *problem = "No free backup file name is left for this second in:\n" + store_.location();
            return false;
        }
    } else if (!store_.writeFile(fileName_, render(fileName_))) {
        *problem = "The backup file could not be written:\n" + store_.location() + "\\" + fileName_;
        return false;
    }
    dirty_ = false;
    prune();
    return true;
}

void BackupJournal::prune() {
    std::vector<std::string> others;
    for (const std::string& name : store_.fileNames())
        if (IsBackupFileName(name) && Lower(name) != Lower(fileName_)) others.push_back(name);
    // Newest first; this run's file always stays, whatever the clock says.
    std::sort(others.begin(), others.end(),
              [](const std::string& a, const std::string& b) { return Lower(a) > Lower(b); });
    for (std::size_t i = kKeepFiles - 1; i < others.size(); ++i) store_.removeFile(others[i]);
}

}  // namespace varnok::cfg::backup
