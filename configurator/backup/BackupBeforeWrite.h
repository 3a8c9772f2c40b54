// The configurator's registry writers back up first: each kind of write
// names the values it may change, and the run's backup journal records them.
// When the backup fails the front end asks whether to go on without it
// (DialogMessages: BackUpBeforeWrite).
#pragma once
#include <vector>

#include "common/platform/Outcome.h"
#include "configurator/app/Configurator.h"
#include "configurator/backup/BackupJournal.h"

namespace varnok::cfg {

// Has the run's journal record `values`. Succeeds when they were backed up
// or the run keeps no backups (app.backup is null); a failure's context says
// what went wrong, in words for the user.
Outcome BackUpValues(Configurator& app, const std::vector<backup::ValueRef>& values);

// What each writer may change.
std::vector<backup::ValueRef> PortSettingsValues(const PortEntry& e);
std::vector<backup::ValueRef> IgnoreSerialValues();
std::vector<backup::ValueRef> BufferedWritesValues(const PortEntry& e);
std::vector<backup::ValueRef> ConfigDataValues(const PortEntry& e);
std::vector<backup::ValueRef> ComRenameValues(const PortEntry& e);
// OK and Apply: the per-port values of every record when `withPorts`, and
// the ignore-serial-number flags.
std::vector<backup::ValueRef> ApplyValues(const PortTable& table, bool withPorts);

}  // namespace varnok::cfg
