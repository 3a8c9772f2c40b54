// The configurator's registry writes back up first: ApplyChanges
// (changes/ChangeSet.h) has the run's backup journal record exactly the
// values of its change set before the first write. When the backup fails
// the dialogs ask whether to go on without it (DialogCommon: ApplyFromDialog).
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

}  // namespace varnok::cfg
