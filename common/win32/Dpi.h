// Screen resolution of windows and what the programs draw at it: the DPI
// functions of newer Windows resolved at run time (the programs still start
// on systems without them and import nothing new), pictures and icons loaded
// for a resolution.
#pragma once
#include <windows.h>

#include "common/platform/DpiScale.h"
#include "common/win32/Handles.h"

namespace varnok::win32 {

// The resolution `window` is shown at: GetDpiForWindow where Windows has it,
// else the screen's (system-wide) resolution.
int WindowDpi(HWND window);

// Tells the dialog manager of Windows 10 (1703 and later) to leave fonts and
// layout alone on a resolution change: the dialog host lays the dialog out
// itself, the same way on every system. No effect elsewhere.
void TakeOverDpiLayout(HWND dialog);

// Bitmap resource `bitmapId` (designed at 96 dpi) at `dpi`: the resource
// itself at 96 dpi, otherwise drawn smoothly (halftone) at its scaled size
// from `largeBitmapId` (the twice-size master; 0: none) or from the
// original. Empty when nothing could be loaded.
unique_hbitmap LoadBitmapForDpi(int bitmapId, int largeBitmapId, int dpi);

// The same picture drawn at width x height (the resource itself when that is
// its size; grown from the master when there is one).
unique_hbitmap LoadBitmapAtSize(int bitmapId, int largeBitmapId, int width, int height);

// Icon `iconId` at the size of system metric `metricX`/`metricY` for `dpi`
// (Windows takes the icon group's entry of that size, or the nearest).
unique_hicon LoadIconForDpi(int iconId, int metricX, int metricY, int dpi);

}  // namespace varnok::win32
