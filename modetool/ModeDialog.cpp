#include "modetool/ModeDialog.h"

#include "resources/ModeToolIds.h"

namespace varnok::mode {

// First shape of the dialog: it opens, sets its icon and closes. Search,
// commit and the mode rules are added with the protocol.
void ModeDialog::onInit(ui::DialogView& view) {
    tool_.view = &view;
    view.setIcon(IDI_MODETOOL);
}

void ModeDialog::onCommand(ui::DialogView& view, int id, int code) {
    (void)code;
    if (id == ui::kIdOk || id == ui::kIdCancel) view.endDialog(1);
}

void ModeDialog::onTimer(ui::DialogView& view, int timerId) {
    (void)view;
    (void)timerId;
}

void ModeDialog::onDestroy(ui::DialogView& view) { (void)view; }

}  // namespace varnok::mode
