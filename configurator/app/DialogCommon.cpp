#include "configurator/app/DialogCommon.h"

#include "configurator/backup/BackupBeforeWrite.h"
#include "configurator/settings/RegistrySettings.h"

namespace varnok::cfg {

const char* const kMsgBackupFailed = "The settings about to be changed could not be backed up.";
const char* const kMsgBackupContinue = "Continue without a backup?";

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

bool BackUpBeforeWrite(Configurator& app, ui::DialogView& owner,
                       const std::vector<backup::ValueRef>& values) {
    const Outcome saved = BackUpValues(app, values);
    if (saved) return true;
    const std::string text = std::string(kMsgBackupFailed) + "\n" + saved.failure().context +
                             "\n\n" + kMsgBackupContinue;
    return owner.messageBox(text, "Warning", ui::Icon::Warning, ui::Buttons::YesNo) ==
           ui::Answer::Yes;
}

bool BackUpSelectedPort(Configurator& app, ui::DialogView& owner,
                        std::vector<backup::ValueRef> (*values)(const PortEntry&)) {
    const PortEntry* e = app.table.selected();
    return e == nullptr || BackUpBeforeWrite(app, owner, values(*e));
}

}  // namespace varnok::cfg
