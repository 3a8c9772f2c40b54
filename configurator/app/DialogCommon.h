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
#include "configurator/changes/ChangeSet.h"

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

// Caption of the message that tells which changes were not written.
extern const char* const kCaptionNotWritten;  // "ERROR"

// The question after a failed backup; true when the user answers Yes.
bool AskToGoOnWithoutBackup(ui::DialogView& owner, const Failure& failure);
// Applies a change set from a dialog: when the backup fails, asks on
// `owner` whether to go on without it (No: nothing is written); then tells,
// once, which ports and values could not be written (NotWrittenText,
// caption "ERROR", error icon).
ApplyReport ApplyFromDialog(Configurator& app, ui::DialogView& owner, const ChangeSet& changes);

}  // namespace varnok::cfg
