#include "common/win32/DialogHelpers.h"

#include <commctrl.h>

#include "common/win32/D2xxLibrary.h"
#include "common/win32/Dpi.h"
#include "common/win32/Handles.h"

namespace varnok::win32 {

namespace {

HINSTANCE g_instance = nullptr;
HWND g_mainDialog = nullptr;
unique_hhook g_placementHook;

// Created by static initialisation, kept until the process ends.
const unique_hbrush g_whiteBrush(CreateSolidBrush(RGB(0xFF, 0xFF, 0xFF)));

// Centres the message box on the main dialog as it opens.
LRESULT CALLBACK MessageBoxPlacementHook(int code, WPARAM flag, LPARAM message) {
    const LRESULT result = CallNextHookEx(g_placementHook.get(), code, flag, message);
    const auto* cwp = reinterpret_cast<const CWPRETSTRUCT*>(message);
    if (code == HC_ACTION && cwp != nullptr && cwp->message == WM_INITDIALOG) {
        // Only the first dialog initialisation (the box's) is acted on.
        g_placementHook.reset();
        RECT box;
        if (GetWindowRect(cwp->hwnd, &box)) {
            const int width = box.right - box.left;
            const int height = box.bottom - box.top;
            int x = box.left;
            int y = box.top;
            RECT owner;
            if (g_mainDialog != nullptr && GetWindowRect(g_mainDialog, &owner)) {
                x = owner.left + ((owner.right - owner.left) - width) / 2;
                y = owner.top + ((owner.bottom - owner.top) - height) / 2;
                // A box larger than the dialog (large text, a small dialog
                // near the screen's edge) stays on the dialog's screen.
                MONITORINFO screen{};
                screen.cbSize = sizeof screen;
                if (GetMonitorInfoA(MonitorFromWindow(g_mainDialog, MONITOR_DEFAULTTONEAREST), &screen)) {
                    const RECT& work = screen.rcWork;
                    if (x + width > work.right) x = work.right - width;
                    if (y + height > work.bottom) y = work.bottom - height;
                    if (x < work.left) x = work.left;
                    if (y < work.top) y = work.top;
                }
            }
            MoveWindow(cwp->hwnd, x, y, width, height, TRUE);
        }
    }
    return result;
}

}  // namespace

void StartDialogProgram(HINSTANCE instance) {
    // Before anything can load a library.
    RestrictLibrarySearchToSystem();
    g_instance = instance;
    INITCOMMONCONTROLSEX icc;
    icc.dwSize = sizeof icc;
    icc.dwICC = 0x827;  // list-view, tree-view, bar/tooltip, progress, internet classes
    InitCommonControlsEx(&icc);
}

HINSTANCE ProgramInstance() { return g_instance != nullptr ? g_instance : GetModuleHandleA(nullptr); }

void SetMainDialogWindow(HWND dialog) { g_mainDialog = dialog; }
HWND MainDialogWindow() { return g_mainDialog; }

HBRUSH WhiteBrush() { return g_whiteBrush.get(); }

int PlacedMessageBox(const char* text, const char* caption, UINT style) {
    g_placementHook.reset(SetWindowsHookExA(WH_CALLWNDPROCRET, MessageBoxPlacementHook, nullptr,
                                            GetCurrentThreadId()));
    const int answer = MessageBoxA(g_mainDialog, text, caption, style);
    g_placementHook.reset();
    return answer;
}

HWND AddToolTip(int id, HWND dialog, const char* text) {
    if (id == 0 || dialog == nullptr || text == nullptr) return nullptr;
    HWND control = GetDlgItem(dialog, id);
    if (control == nullptr) return nullptr;
    // Pop-up, TTS_ALWAYSTIP, TTS_NOPREFIX.
    const DWORD kToolTipStyle = 0x80008007;
    HWND tip = CreateWindowExA(0, "tooltips_class32", nullptr, kToolTipStyle,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                               nullptr, nullptr, ProgramInstance(), nullptr);
    if (tip == nullptr) return nullptr;
    SetWindowPos(tip, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    TOOLINFOA info{};
    // The first, shortest tool-record layout.
    info.cbSize = TTTOOLINFOA_V1_SIZE;
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = dialog;
    info.uId = reinterpret_cast<UINT_PTR>(control);
    info.lpszText = const_cast<char*>(text);
    SendMessageA(tip, TTM_SETMAXTIPWIDTH, 0, ui::ScaleForDpi(kToolTipWidth96, WindowDpi(dialog)));
    SendMessageA(tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info));
    return tip;
}

}  // namespace varnok::win32
