// The run's backup: before the configurator changes registry values it
// records what they hold, and keeps a .reg file that puts every value it
// recorded back as it was when the run first touched it (values that did not
// exist are deleted again). One file per run: later writes that touch values
// not recorded yet add them and the file is written again before the write.
// The newest kKeepFiles backups stay in the folder; older ones are deleted.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "common/platform/FileStore.h"
#include "common/platform/Registry.h"
#include "configurator/backup/RegFile.h"

namespace varnok::cfg::backup {

struct ValueRef {
    std::string keyPath;  // under HKEY_LOCAL_MACHINE
    std::string valueName;
};

constexpr std::size_t kKeepFiles = 20;
// Largest value recorded; larger ones cannot be backed up.
constexpr std::size_t kMaxValueBytes = 1024 * 1024;

// True for the names this journal gives its files: "YYYYMMDD-HHMMSS.reg",
// or with "_NN" (02..99) before ".reg" when a run of the same second came
// first. Such names sort by age.
bool IsBackupFileName(const std::string& name);

class BackupJournal {
public:
    BackupJournal(reg::Registry& registry, FileStore& store, LocalTimeSource& time)
        : registry_(registry), store_(store), time_(time) {}

    // Records those of `values` not recorded yet in this run, then writes
    // the run's file when it is new or has grown (or an earlier write of it
    // failed). False when a value could not be read or the file could not
    // be written; *problem then says what, in words for the user. What was
    // recorded stays recorded either way.
    bool save(const std::vector<ValueRef>& values, std::string* problem);

    // The run's file name; empty until its file was made.
    const std::string& fileName() const { return fileName_; }

private:
    struct Key {
        SavedKey saved;
        bool exists = true;                  // false: absent, nothing of it is written back
        std::vector<std::string> seen;       // lower-case names of values already handled
    };
    bool writeFile(std::string* problem);
    void prune();

    reg::Registry& registry_;
    FileStore& store_;
    LocalTimeSource& time_;
    std::vector<Key> keys_;
    std::string fileName_;
    std::string started_;  // "YYYY-MM-DD HH:MM:SS" of the first save
    bool dirty_ = false;
};

}  // namespace varnok::cfg::backup
