// Every registry write of the configurator and of varnokctl goes through a
// change set: a list of value-level changes that a planner (ChangePlanners.h)
// made from what the user asked for, holding only values that differ from
// what was read. ApplyChanges backs up exactly those values, writes them in
// order, goes on past a change that fails and says what happened to each.
// The caller reloads the driver once when anything was written.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/platform/Outcome.h"
#include "common/platform/Registry.h"
#include "configurator/app/Configurator.h"
#include "configurator/backup/BackupJournal.h"

namespace varnok::cfg {

// One value: set to `after` (of `type`), or deleted when `after` is empty.
struct ValueChange {
    std::string port;  // "COM5" (or "serial:..."); empty for a value of the system
    std::string keyPath;
    std::string valueName;
    uint32_t type = reg::kNone;
    std::optional<std::vector<uint8_t>> before;  // as read; empty: absent or not read
    std::optional<std::vector<uint8_t>> after;   // empty: delete the value

    bool deletes() const { return !after.has_value(); }
};
using ChangeSet = std::vector<ValueChange>;

ValueChange DwordChange(std::string port, std::string keyPath, std::string name,
                        std::optional<uint32_t> before, uint32_t after);

// What happened to one change.
struct ChangeResult {
    reg::Status status = reg::kSuccess;
    bool keyOpened = true;  // false: the key did not open for writing (status is why)
    bool ok() const { return status == reg::kSuccess; }
};

struct [[nodiscard]] ApplyReport {
    // The backup of the set's values; a failure that stopped the writes
    // leaves `results` empty.
    Outcome backup;
    std::vector<ChangeResult> results;  // one per change, in order, when tried

    bool tried() const { return !results.empty(); }
    bool anyWritten() const;
    // Backed up (or no backup kept) and every change written; true for an
    // empty set.
    bool allWritten() const;
    std::vector<std::size_t> failed() const;
};

// Asked when the backup fails: true writes without it.
using GoOnWithoutBackup = std::function<bool(const Failure&)>;

// Backs up the set's values in the run's journal (none kept when app.backup
// is null), then writes every change in order. Without `goOn` (or when it
// answers false) a failed backup writes nothing. Deleting a value that does
// not exist counts as done.
ApplyReport ApplyChanges(Configurator& app, const ChangeSet& changes,
                         const GoOnWithoutBackup& goOn = nullptr);

// The values a set changes, for the backup.
std::vector<backup::ValueRef> ValuesOf(const ChangeSet& changes);

// The system's text for a registry status ("Access is denied. (error 5)").
std::string SystemErrorText(Configurator& app, uint32_t code);

// Lines "COM5 LatencyTimer: <why>" of every change that failed.
[[nodiscard]] std::vector<std::string> FailedChangeLines(Configurator& app, const ChangeSet& changes,
                                           const ApplyReport& report);
// The message a dialog shows once per Apply or OK when changes failed:
// which ports and values were not written, and why. Empty when none failed.
[[nodiscard]] std::string NotWrittenText(Configurator& app, const ChangeSet& changes, const ApplyReport& report);

}  // namespace varnok::cfg
