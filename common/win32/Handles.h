// Owners of the Win32 handles the programs use, one line each over
// unique_any: each closes its handle with the function that matches how it
// was made.
#pragma once
#include <windows.h>

#include "common/win32/UniqueAny.h"

namespace varnok::win32 {

// CreateFile and FindFirstFile fail with INVALID_HANDLE_VALUE; the other
// kernel handles (tokens) with null.
using unique_handle = unique_any<HANDLE, &CloseHandle, -1>;
using unique_token = unique_any<HANDLE, &CloseHandle>;
using unique_event = unique_any<HANDLE, &CloseHandle>;  // CreateEvent
using unique_schandle = unique_any<SC_HANDLE, &CloseServiceHandle>;
using unique_hfind = unique_any<HANDLE, &FindClose, -1>;
using unique_hkey = unique_any<HKEY, &RegCloseKey>;
using unique_hmodule = unique_any<HMODULE, &FreeLibrary>;
// Function `name` of a loaded library as type Fn; null when there is no
// library or it lacks the function (newer systems' calls are looked up so).
template <typename Fn>
Fn LibraryFunction(HMODULE module, const char* name) {
    if (module == nullptr) return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}
using unique_hhook = unique_any<HHOOK, &UnhookWindowsHookEx>;
using unique_sid = unique_any<PSID, &FreeSid>;  // AllocateAndInitializeSid
// Memory the system allocated with LocalAlloc for the caller (FormatMessage
// text, SetEntriesInAcl lists).
template <typename T>
using unique_local_ptr = unique_any<T, &LocalFree>;

using unique_hbitmap = unique_any<HBITMAP, &DeleteObject>;
using unique_hfont = unique_any<HFONT, &DeleteObject>;
using unique_hbrush = unique_any<HBRUSH, &DeleteObject>;
using unique_hicon = unique_any<HICON, &DestroyIcon>;
using unique_hdc = unique_any<HDC, &DeleteDC>;  // CreateCompatibleDC

// GetDC: released together with the window it belongs to (null: the screen).
struct WindowDc {
    HWND window = nullptr;
    HDC dc = nullptr;
    bool operator!=(const WindowDc& o) const { return window != o.window || dc != o.dc; }
};
inline void ReleaseWindowDc(WindowDc d) {
    if (d.dc != nullptr) ReleaseDC(d.window, d.dc);
}
using unique_window_dc = unique_any<WindowDc, &ReleaseWindowDc>;
inline unique_window_dc GetWindowDc(HWND window) {
    return unique_window_dc(WindowDc{window, GetDC(window)});
}

}  // namespace varnok::win32
