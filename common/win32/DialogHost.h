// The generic dialog host: one dialog procedure that forwards window
// messages to a ui::DialogLogic, and the Win32 ui::DialogView over the
// dialog's window. What only Win32 can paint (owner-drawn list rows, the
// busy panels) and the per-dialog colours are host options.
#pragma once
#include <windows.h>

#include <map>

#include "common/platform/DialogView.h"

namespace varnok::win32 {

struct BusyPanel {
    int bitmapId;  // bitmap resource, drawn at full size
    int listId;    // at this control's top-left corner
};

struct DialogHostOptions {
    // WM_CTLCOLORDLG and WM_CTLCOLORSTATIC answered with the white brush,
    // statics drawn with a transparent text background.
    bool whiteBrush = false;
    // Message boxes of this dialog's view through PlacedMessageBox; the
    // dialog becomes the main dialog (owner of every placed box).
    bool placedMessageBoxes = false;
    // Owner-drawn list box whose rows come from DialogLogic::rowAppearance
    // (0: none).
    int ownerDrawList = 0;
    // Pictures painted on the dialog's surface under two controls (busy
    // state); loaded at initialisation, deleted at destruction.
    BusyPanel busyPanels[2] = {{0, 0}, {0, 0}};
};

// Options of every dialog resource a program shows; resources not listed
// get the defaults.
using DialogHostConfig = std::map<int, DialogHostOptions>;

// Runs dialog resource `resourceId` modally (DialogBoxParamA) owned by
// `owner` (may be null) with `logic` as its behaviour. Returns the dialog's
// result, or -1 when it could not be created.
int RunHostedDialog(HWND owner, int resourceId, ui::DialogLogic& logic,
                    const DialogHostConfig& config);

}  // namespace varnok::win32
