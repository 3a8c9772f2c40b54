// The generic dialog host: one dialog procedure that forwards window
// messages to a ui::DialogLogic, and the Win32 ui::DialogView over the
// dialog's window (Win32DialogView). What only Win32 can paint (owner-drawn
// list rows, the busy panels) and the per-dialog colours are host options.
//
// Resolution: dialogs grow with their font (dialog units); what the host
// draws itself (rows, pictures, icons, tooltip width, list view columns)
// is designed at 96 dpi and scaled for the window's resolution. When the
// window moves to a screen of another resolution (WM_DPICHANGED) the host
// takes the suggested rectangle and lays the dialog out again: every
// control's rectangle and the font scaled from the layout the dialog had
// when it opened.
#pragma once
#include <windows.h>

#include <map>

#include "common/platform/DialogView.h"

namespace varnok::win32 {

struct BusyPanel {
    int bitmapId;  // bitmap resource designed at 96 dpi; elsewhere drawn at the list's size
    int listId;    // at this control's top-left corner
    int largeBitmapId = 0;  // its twice-size master (0: none)
};

// A picture of the dialog template (a static control with SS_BITMAP), shown
// scaled for the window's resolution.
struct StaticPicture {
    int bitmapId = 0;       // the template's bitmap resource (0: none)
    int largeBitmapId = 0;  // its twice-size master (0: none)
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
    // Replaces the image of the template's SS_BITMAP static when the dialog
    // is not shown at 96 dpi.
    StaticPicture picture;
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
