#include "common/win32/Dpi.h"

#include "common/win32/DialogHelpers.h"

namespace varnok::win32 {

namespace {

// Looked up once; nullptr on systems older than Windows 10.
template <typename Fn>
Fn User32Function(const char* name) {
    return LibraryFunction<Fn>(GetModuleHandleA("user32.dll"), name);
}

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
using SetDialogDpiChangeBehaviorFn = BOOL(WINAPI*)(HWND, int, int);
// DIALOG_DPI_CHANGE_BEHAVIORS: DDC_DISABLE_ALL.
constexpr int kDialogDpiChangeDisableAll = 0x0001;

int ScreenDpi() {
    const unique_window_dc screen = GetWindowDc(nullptr);
    if (screen.get().dc == nullptr) return ui::kBaseDpi;
    return ui::SaneDpi(GetDeviceCaps(screen.get().dc, LOGPIXELSY));
}

// GetSystemMetricsForDpi where Windows has it, else GetSystemMetrics.
int SystemMetricForDpi(int index, int dpi) {
    static const auto forDpi = User32Function<GetSystemMetricsForDpiFn>("GetSystemMetricsForDpi");
    if (forDpi != nullptr) return forDpi(index, static_cast<UINT>(ui::SaneDpi(dpi)));
    return GetSystemMetrics(index);
}

unique_hbitmap LoadBitmapResource(int id) {
    return unique_hbitmap(id == 0 ? nullptr
                                  : static_cast<HBITMAP>(LoadImageA(ProgramInstance(),
                                                                    MAKEINTRESOURCEA(id),
                                                                    IMAGE_BITMAP, 0, 0, 0)));
}

// `source` drawn smoothly (halftone) into a new bitmap of width x height.
unique_hbitmap StretchedCopy(HBITMAP source, const BITMAP& from, int width, int height) {
    unique_hbitmap result;
    unique_hdc src, dst;
    {
        const unique_window_dc screen = GetWindowDc(nullptr);
        if (screen.get().dc == nullptr) return result;
        src.reset(CreateCompatibleDC(screen.get().dc));
        dst.reset(CreateCompatibleDC(screen.get().dc));
        result.reset(CreateCompatibleBitmap(screen.get().dc, width, height));
    }
    if (!src || !dst || !result) return unique_hbitmap();
    HGDIOBJ oldSrc = SelectObject(src.get(), source);
    HGDIOBJ oldDst = SelectObject(dst.get(), result.get());
    SetStretchBltMode(dst.get(), HALFTONE);
    SetBrushOrgEx(dst.get(), 0, 0, nullptr);
    const bool drawn = StretchBlt(dst.get(), 0, 0, width, height, src.get(), 0, 0, from.bmWidth,
                                  from.bmHeight, SRCCOPY) != FALSE;
    SelectObject(src.get(), oldSrc);
    SelectObject(dst.get(), oldDst);
    if (!drawn) result.reset();
    return result;
}

}  // namespace

int WindowDpi(HWND window) {
    static const auto getDpiForWindow = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
    if (getDpiForWindow != nullptr && window != nullptr) {
        const UINT dpi = getDpiForWindow(window);
        if (dpi != 0) return ui::SaneDpi(static_cast<int>(dpi));
    }
    return ScreenDpi();
}

void TakeOverDpiLayout(HWND dialog) {
    static const auto setBehavior =
        User32Function<SetDialogDpiChangeBehaviorFn>("SetDialogDpiChangeBehavior");
    if (setBehavior != nullptr && dialog != nullptr)
        setBehavior(dialog, kDialogDpiChangeDisableAll, kDialogDpiChangeDisableAll);
}

unique_hbitmap LoadBitmapAtSize(int bitmapId, int largeBitmapId, int width, int height) {
    unique_hbitmap original = LoadBitmapResource(bitmapId);
    BITMAP size;
    if (!original || GetObjectA(original.get(), sizeof size, &size) == 0) return unique_hbitmap();
    if ((width == size.bmWidth && height == size.bmHeight) || width <= 0 || height <= 0)
        return original;
    // Growing starts from the master when there is one.
    const bool grow = width > size.bmWidth || height > size.bmHeight;
    unique_hbitmap master = grow && largeBitmapId != 0 ? LoadBitmapResource(largeBitmapId)
                                                       : unique_hbitmap();
    HBITMAP source = master ? master.get() : original.get();
    BITMAP from;
    if (GetObjectA(source, sizeof from, &from) == 0) return unique_hbitmap();
    if (from.bmWidth == width && from.bmHeight == height) return master;
    return StretchedCopy(source, from, width, height);
}

unique_hbitmap LoadBitmapForDpi(int bitmapId, int largeBitmapId, int dpi) {
    dpi = ui::SaneDpi(dpi);
    if (dpi == ui::kBaseDpi) return LoadBitmapResource(bitmapId);
    const unique_hbitmap original = LoadBitmapResource(bitmapId);
    BITMAP size;
    if (!original || GetObjectA(original.get(), sizeof size, &size) == 0) return unique_hbitmap();
    return LoadBitmapAtSize(bitmapId, largeBitmapId, ui::ScaleForDpi(size.bmWidth, dpi),
                            ui::ScaleForDpi(size.bmHeight, dpi));
}

unique_hicon LoadIconForDpi(int iconId, int metricX, int metricY, int dpi) {
    return unique_hicon(static_cast<HICON>(
        LoadImageA(ProgramInstance(), MAKEINTRESOURCEA(iconId), IMAGE_ICON,
                   SystemMetricForDpi(metricX, dpi), SystemMetricForDpi(metricY, dpi), 0)));
}

}  // namespace varnok::win32
