// Small helpers of the dialog programs: their start, message boxes placed on
// the main dialog, tooltips, and the white dialog brush.
#pragma once
#include <windows.h>

namespace varnok::win32 {

// The first call of a dialog program's entry point: libraries from the
// system folder only, `instance` as the program's instance, the common
// controls' window classes registered.
void StartDialogProgram(HINSTANCE instance);

// The program's instance handle (set at start): the instance of every
// dialog template, icon, bitmap and tooltip window.
HINSTANCE ProgramInstance();

// The main dialog's window: the owner of every placed message box.
void SetMainDialogWindow(HWND dialog);
HWND MainDialogWindow();

// The solid white brush (0xFFFFFF), created before the entry point runs and
// kept until the process ends.
HBRUSH WhiteBrush();

// MessageBoxA owned by the main dialog, centred on the main dialog as it
// opens (kept inside the work area of the main dialog's screen; the box
// itself is sized by Windows for that screen). No hook stays installed
// afterwards.
int PlacedMessageBox(const char* text, const char* caption, UINT style);

// Tooltips wrap their text at this width (pixels at 96 dpi; scaled for the
// dialog's resolution).
constexpr int kToolTipWidth96 = 300;

// Gives control `id` of `dialog` a tooltip window of its own; returns it,
// or nullptr when an argument is missing, the control does not exist or the
// window cannot be created.
HWND AddToolTip(int id, HWND dialog, const char* text);

}  // namespace varnok::win32
