#include "configurator/app/DialogCommon.h"

#include "configurator/settings/RegistrySettings.h"

namespace varnok::cfg {

const char* const kMsgBackupFailed = "The settings about to be changed could not be backed up.";
const char* const kMsgBackupContinue = "Continue without a backup?";
const char* const kCaptionNotWritten = "ERROR";

void ShowProblems(ui::DialogView& view, const Problems& problems) {
    for (const Problem& p : problems)
        view.messageBox(p.text, "ERROR", p.warning ? ui::Icon::Warning : ui::Icon::None);
}

void ShowFailure(ui::DialogView& view, const Outcome& outcome) {
    if (!outcome) view.messageBox(outcome.failure().context, "ERROR", ui::Icon::Error);
}

void ChangeConfigData(ui::DialogView& view, PortEntry& entry, const ConfigBytes& next) {
    if (entry.changeConfigData(next) == ConfigDataChange::FromStandard)
        view.messageBox(ConfigDataFromStandardText(entry), "Warning", ui::Icon::Warning);
}

bool AskToGoOnWithoutBackup(ui::DialogView& owner, const Failure& failure) {
    const std::string text =
        std::string(kMsgBackupFailed) + "\n" + failure.context + "\n\n" + kMsgBackupContinue;
    return owner.messageBox(text, "Warning", ui::Icon::Warning, ui::Buttons::YesNo) ==
           ui::Answer::Yes;
}

ApplyReport ApplyFromDialog(Configurator& app, ui::DialogView& owner, const ChangeSet& changes) {
    ApplyReport report = ApplyChanges(app, changes, [&](const Failure& failure) {
        return AskToGoOnWithoutBackup(owner, failure);
    });
    const std::string failed = NotWrittenText(app, changes, report);
    if (!failed.empty()) owner.messageBox(failed, kCaptionNotWritten, ui::Icon::Error);
    return report;
}

}  // namespace varnok::cfg
