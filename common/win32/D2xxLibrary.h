// FTDI's ftd2xx.dll, loaded at run time from the system folder only (where
// the FTDI driver package installs it), its function table resolved once.
// The ABI as FTDI documents it: FT_STATUS is ULONG, FT_HANDLE is PVOID, every
// function is WINAPI, 64-bit exports carry plain names.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "common/win32/Handles.h"

namespace varnok::win32 {

// Restricts where the process loads libraries from to the system folder
// (and the program's own imports, which Windows resolves before this runs).
// Call first thing at start. False when the system lacks the call; the D2XX
// binding then still loads ftd2xx.dll by the system folder's full path.
bool RestrictLibrarySearchToSystem();

namespace ftabi {

using FT_STATUS = ULONG;
using FT_HANDLE = PVOID;
constexpr FT_STATUS kOtherError = 18;  // FT_OTHER_ERROR

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
using CyclePortFn = FT_STATUS(WINAPI*)(FT_HANDLE);

// Stand-ins while the library is not loaded: every call fails with
// FT_OTHER_ERROR; the device list is then empty.
template <typename... Args>
FT_STATUS WINAPI NotLoaded(Args...) {
    return kOtherError;
}
inline FT_STATUS WINAPI NoDeviceList(DeviceListInfoNode*, LPDWORD count) {
    if (count != nullptr) *count = 0;
    return kOtherError;
}

// The eleven functions the programs call.
struct Functions {
    CreateDeviceInfoListFn createDeviceInfoList = NotLoaded;
    GetDeviceInfoListFn getDeviceInfoList = NoDeviceList;
    GetDeviceInfoDetailFn getDeviceInfoDetail = NotLoaded;
    OpenFn open = NotLoaded;
    OpenExFn openEx = NotLoaded;
    CloseFn close = NotLoaded;
    GetComPortNumberFn getComPortNumber = NotLoaded;
    EE_UASizeFn eeUaSize = NotLoaded;
    EE_UAReadFn eeUaRead = NotLoaded;
    ReloadFn reload = NotLoaded;
    CyclePortFn cyclePort = NotLoaded;
};

}  // namespace ftabi

// Loads the system folder's ftd2xx.dll and resolves every function, or none:
// when the library or one of its exports is missing, the table holds the
// stand-ins and loadError() says why.
class D2xxLibrary {
public:
    D2xxLibrary();

    const ftabi::Functions& fn() const { return fn_; }
    bool loaded() const { return loaded_; }
    const std::string& loadError() const { return loadError_; }
    // The exports the library lacks, in table order (empty when it could
    // not be loaded at all).
    const std::vector<std::string>& missingExports() const { return missing_; }

private:
    unique_hmodule module_;
    ftabi::Functions fn_;
    bool loaded_ = false;
    std::string loadError_;
    std::vector<std::string> missing_;
};

}  // namespace varnok::win32
