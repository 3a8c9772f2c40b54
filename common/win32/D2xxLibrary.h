// The ftd2xx.dll ABI as FTDI documents it, for code that loads the library at
// run time: FT_STATUS is ULONG, FT_HANDLE is PVOID, every function is WINAPI,
// 64-bit exports carry plain names.
#pragma once
#include <windows.h>

namespace varnok::win32::ftabi {

using FT_STATUS = ULONG;
using FT_HANDLE = PVOID;
constexpr DWORD kOpenByLocation = 4;  // FT_OPEN_BY_LOCATION
// LOAD_LIBRARY_SEARCH_SYSTEM32, spelled out: older SDK headers lack it.
constexpr DWORD kLoadLibrarySearchSystem32 = 0x00000800;

// FT_DEVICE_LIST_INFO_NODE.
struct DeviceListInfoNode {
    ULONG Flags;
    ULONG Type;
    ULONG ID;
    DWORD LocId;
    char SerialNumber[16];
    char Description[64];
    FT_HANDLE ftHandle;
};

using CreateDeviceInfoListFn = FT_STATUS(WINAPI*)(LPDWORD);
using GetDeviceInfoListFn = FT_STATUS(WINAPI*)(DeviceListInfoNode*, LPDWORD);
using GetDeviceInfoDetailFn = FT_STATUS(WINAPI*)(DWORD, LPDWORD, LPDWORD, LPDWORD, LPDWORD,
                                                 LPVOID, LPVOID, FT_HANDLE*);
using OpenFn = FT_STATUS(WINAPI*)(int, FT_HANDLE*);
using OpenExFn = FT_STATUS(WINAPI*)(PVOID, DWORD, FT_HANDLE*);
using CloseFn = FT_STATUS(WINAPI*)(FT_HANDLE);
using GetComPortNumberFn = FT_STATUS(WINAPI*)(FT_HANDLE, LPLONG);
using EE_UASizeFn = FT_STATUS(WINAPI*)(FT_HANDLE, LPDWORD);
using EE_UAReadFn = FT_STATUS(WINAPI*)(FT_HANDLE, PUCHAR, DWORD, LPDWORD);
using ReloadFn = FT_STATUS(WINAPI*)(WORD, WORD);

// Resolves one export; null when the library lacks it.
template <typename Fn>
Fn ResolveExport(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace varnok::win32::ftabi
