#include "common/win32/Dpi.h"

#include "common/win32/DialogHelpers.h"

namespace varnok::win32 {

namespace {

// Looked up once; nullptr on systems older than Windows 10.
template <typename Fn>
Fn User32Function(const char* name) {
    HMODULE user32 = GetModuleHandleA("user32.dll");
    if (user32 == nullptr) return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(user32, name)));
}

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
using SetDialogDpiChangeBehaviorFn = BOOL(WINAPI*)(HWND, int, int);
// DIALOG_DPI_CHANGE_BEHAVIORS: DDC_DISABLE_ALL.
constexpr int kDialogDpiChangeDisableAll = 0x0001;

int ScreenDpi() {
    HDC screen = GetDC(nullptr);
    if (screen == nullptr) return ui::kBaseDpi;
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return ui::SaneDpi(dpi);
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

int SystemMetricForDpi(int index, int dpi) {
    static const auto forDpi = User32Function<GetSystemMetricsForDpiFn>("GetSystemMetricsForDpi");
    if (forDpi != nullptr) return forDpi(index, static_cast<UINT>(ui::SaneDpi(dpi)));
    return GetSystemMetrics(index);
}

void TakeOverDpiLayout(HWND dialog) {
    static const auto setBehavior =
        User32Function<SetDialogDpiChangeBehaviorFn>("SetDialogDpiChangeBehavior");
    if (setBehavior != nullptr && dialog != nullptr)
        setBehavior(dialog, kDialogDpiChangeDisableAll, kDialogDpiChangeDisableAll);
}

namespace {

HBITMAP LoadBitmapResource(int id) {
    return id == 0 ? nullptr
                   : static_cast<HBITMAP>(LoadImageA(ProgramInstance(), MAKEINTRESOURCEA(id),
                                                     IMAGE_BITMAP, 0, 0, 0));
}

// `source` drawn smoothly (halftone) into a new bitmap of width x height.
HBITMAP StretchedCopy(HBITMAP source, const BITMAP& from, int width, int height) {
    HDC screen = GetDC(nullptr);
    if (screen == nullptr) return nullptr;
    HDC src = CreateCompatibleDC(screen);
    HDC dst = CreateCompatibleDC(screen);
    HBITMAP result = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(nullptr, screen);
    bool drawn = false;
    if (src != nullptr && dst != nullptr && result != nullptr) {
        HGDIOBJ oldSrc = SelectObject(src, source);
        HGDIOBJ oldDst = SelectObject(dst, result);
        SetStretchBltMode(dst, HALFTONE);
        SetBrushOrgEx(dst, 0, 0, nullptr);
        drawn = StretchBlt(dst, 0, 0, width, height, src, 0, 0, from.bmWidth, from.bmHeight,
                           SRCCOPY) != FALSE;
        SelectObject(src, oldSrc);
        SelectObject(dst, oldDst);
    }
    if (src != nullptr) DeleteDC(src);
    if (dst != nullptr) DeleteDC(dst);
    if (!drawn && result != nullptr) {
        DeleteObject(result);
        result = nullptr;
    }
    return result;
}

}  // namespace

HBITMAP LoadBitmapAtSize(int bitmapId, int largeBitmapId, int width, int height) {
    HBITMAP original = LoadBitmapResource(bitmapId);
    BITMAP size;
    if (original == nullptr || GetObjectA(original, sizeof size, &size) == 0) {
        if (original != nullptr) DeleteObject(original);
        return nullptr;
    }
    if ((width == size.bmWidth && height == size.bmHeight) || width <= 0 || height <= 0)
        return original;
    OwnedGdi keep(original);
    // Growing starts from the master when there is one.
    const bool grow = width > size.bmWidth || height > size.bmHeight;
    OwnedGdi master(grow && largeBitmapId != 0 ? LoadBitmapResource(largeBitmapId) : nullptr);
    HBITMAP source = static_cast<HBITMAP>(master.get() != nullptr ? master.get() : original);
    BITMAP from;
    if (GetObjectA(source, sizeof from, &from) == 0) return nullptr;
    if (from.bmWidth == width && from.bmHeight == height)
        return static_cast<HBITMAP>(master.release());
    return StretchedCopy(source, from, width, height);
}

HBITMAP LoadBitmapForDpi(int bitmapId, int largeBitmapId, int dpi) {
    dpi = ui::SaneDpi(dpi);
    if (dpi == ui::kBaseDpi) return LoadBitmapResource(bitmapId);
    OwnedGdi original(LoadBitmapResource(bitmapId));
    BITMAP size;
    if (original.get() == nullptr || GetObjectA(original.get(), sizeof size, &size) == 0)
        return nullptr;
    return LoadBitmapAtSize(bitmapId, largeBitmapId, ui::ScaleForDpi(size.bmWidth, dpi),
                            ui::ScaleForDpi(size.bmHeight, dpi));
}

HICON LoadIconForDpi(int iconId, int metricX, int metricY, int dpi) {
    return static_cast<HICON>(LoadImageA(ProgramInstance(), MAKEINTRESOURCEA(iconId), IMAGE_ICON,
                                         SystemMetricForDpi(metricX, dpi),
                                         SystemMetricForDpi(metricY, dpi), 0));
}

}  // namespace varnok::win32
