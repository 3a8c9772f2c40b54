// The configurator's registry writers call these first: each names the
// values one kind of write may change and has the run's backup journal
// record them. When the backup fails the user is asked whether to go on
// without it.
#pragma once
#include <vector>

#include "common/platform/DialogView.h"
#include "configurator/app/Configurator.h"
#include "configurator/backup/BackupJournal.h"

namespace varnok::cfg {

// "The settings about to be changed could not be backed up." ... (caption
// "Warning", Yes/No): the question after a failed backup.
extern const char* const kMsgBackupFailed;
extern const char* const kMsgBackupContinue;

// True when the write may go ahead: the values were backed up, the run
// keeps no backups (app.backup is null), or the user answered Yes to the
// question on `owner`. False: the user answered No; write nothing.
bool BackUpBeforeWrite(Configurator& app, ui::DialogView& owner,
                       const std::vector<backup::ValueRef>& values);

// The same for the selected port's values that `values` names; true when no
// port is selected (nothing is written then).
bool BackUpSelectedPort(Configurator& app, ui::DialogView& owner,
                        std::vector<backup::ValueRef> (*values)(const PortEntry&));

// OK and Apply: the per-port values of every record when `withPorts`, and
// the ignore-serial-number flags.
bool BackUpBeforeApply(Configurator& app, ui::DialogView& owner, bool withPorts);

// What each writer may change.
std::vector<backup::ValueRef> PortSettingsValues(const PortEntry& e);
std::vector<backup::ValueRef> IgnoreSerialValues();
std::vector<backup::ValueRef> BufferedWritesValues(const PortEntry& e);
std::vector<backup::ValueRef> ConfigDataValues(const PortEntry& e);
std::vector<backup::ValueRef> ComRenameValues(const PortEntry& e);

}  // namespace varnok::cfg
