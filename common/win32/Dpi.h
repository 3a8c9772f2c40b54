// Screen resolution of windows and what the programs draw at it: the DPI
// functions of newer Windows resolved at run time (the programs still start
// on systems without them and import nothing new), pictures and icons loaded
// for a resolution, and owners of the GDI and icon handles.
#pragma once
#include <windows.h>

#include "common/platform/DpiScale.h"

namespace varnok::win32 {

// The resolution `window` is shown at: GetDpiForWindow where Windows has it,
// else the screen's (system-wide) resolution.
int WindowDpi(HWND window);

// GetSystemMetricsForDpi where Windows has it, else GetSystemMetrics.
int SystemMetricForDpi(int index, int dpi);

// Tells the dialog manager of Windows 10 (1703 and later) to leave fonts and
// layout alone on a resolution change: the dialog host lays the dialog out
// itself, the same way on every system. No effect elsewhere.
void TakeOverDpiLayout(HWND dialog);

// Owns one GDI object (bitmap, font) or icon and frees it on every path.
template <typename Handle, BOOL(WINAPI* Free)(Handle)>
class Owned {
public:
    Owned() = default;
    explicit Owned(Handle h) : h_(h) {}
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { reset(); }
    Handle get() const { return h_; }
    Handle release() {
        Handle h = h_;
        h_ = nullptr;
        return h;
    }
    void reset(Handle h = nullptr) {
        if (h_ != nullptr && h_ != h) Free(h_);
        h_ = h;
    }

private:
    Handle h_ = nullptr;
};

inline BOOL WINAPI FreeGdiObject(HGDIOBJ object) { return DeleteObject(object); }
using OwnedGdi = Owned<HGDIOBJ, FreeGdiObject>;
using OwnedIcon = Owned<HICON, DestroyIcon>;

// Bitmap resource `bitmapId` (designed at 96 dpi) at `dpi`: the resource
// itself at 96 dpi, otherwise drawn smoothly (halftone) at its scaled size
// from `largeBitmapId` (the twice-size master; 0: none) or from the
// original. The caller owns the result; nullptr when nothing could be loaded.
HBITMAP LoadBitmapForDpi(int bitmapId, int largeBitmapId, int dpi);

// The same picture drawn at width x height (the resource itself when that is
// its size; grown from the master when there is one).
HBITMAP LoadBitmapAtSize(int bitmapId, int largeBitmapId, int width, int height);

// Icon `iconId` at the size of system metric `metricX`/`metricY` for `dpi`
// (Windows takes the icon group's entry of that size, or the nearest). The
// caller owns the result.
HICON LoadIconForDpi(int iconId, int metricX, int metricY, int dpi);

}  // namespace varnok::win32
