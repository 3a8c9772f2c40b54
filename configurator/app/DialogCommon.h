// What the configurator's dialogs share: the state of single dialogs that
// lives for the whole run (owned by the main dialog), and how a dialog tells
// the user what the model reported.
#pragma once
#include <vector>

#include "common/platform/DialogView.h"
#include "common/platform/Outcome.h"
#include "configurator/app/Configurator.h"
#include "configurator/app/Problems.h"
#include "configurator/backup/BackupJournal.h"

namespace varnok::cfg {

// State of single dialogs that lives for the whole run; the main dialog owns
// it and hands each part to its dialog.
struct DialogRunState {
    // Baud Rate Mapping dialog: divisor of the last successful Generate, 0
    // until then.
    double pendingDivisor = 0.0;
    // COM Port Assignment dialog: counts (up to two) the change notifications
    // of the number field that the dialog's own initialisation produced; the
    // user's are never counted.
    int comNumberChangeCounter = 0;
};

// Each problem as a message box captioned "ERROR": with the warning icon for
// a warning, otherwise without an icon.
void ShowProblems(ui::DialogView& view, const Problems& problems);
// A failed outcome's context as a message box captioned "ERROR" with the
// error icon; nothing for success.
void ShowFailure(ui::DialogView& view, const Outcome& outcome);
// Takes `next` as the user's change of the record's ConfigData and tells,
// once, when the port now starts from the standard image (caption
// "Warning", warning icon).
void ChangeConfigData(ui::DialogView& view, PortEntry& entry, const ConfigBytes& next);

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

}  // namespace varnok::cfg
