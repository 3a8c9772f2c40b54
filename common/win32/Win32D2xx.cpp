#include "common/win32/Win32D2xx.h"

#include "common/win32/D2xxAbi.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace varnok::win32 {

namespace {

using namespace ftabi;
using FtDeviceListInfoNode = ftabi::DeviceListInfoNode;
static_assert(sizeof(FtDeviceListInfoNode) == sizeof(d2xx::DeviceListInfoNode),
              "device list node layout");
static_assert(sizeof(ULONG) == sizeof(uint32_t) && sizeof(DWORD) == sizeof(uint32_t) &&
                  sizeof(LONG) == sizeof(int32_t),
              "32-bit words");

template <typename Fn>
bool Resolve(HMODULE module, const char* name, Fn* fn, std::string* missing) {
    *fn = ResolveExport<Fn>(module, name);
    if (*fn == nullptr && missing->empty()) *missing = name;
    return *fn != nullptr;
}

constexpr d2xx::Status kNotLoaded = d2xx::kOtherError;

}  // namespace

struct Win32D2xx::Functions {
    CreateDeviceInfoListFn createDeviceInfoList = nullptr;
    GetDeviceInfoListFn getDeviceInfoList = nullptr;
    GetDeviceInfoDetailFn getDeviceInfoDetail = nullptr;
    OpenFn open = nullptr;
    OpenExFn openEx = nullptr;
    CloseFn close = nullptr;
    GetComPortNumberFn getComPortNumber = nullptr;
    EE_UASizeFn eeUaSize = nullptr;
    EE_UAReadFn eeUaRead = nullptr;
    ReloadFn reload = nullptr;
};

bool RestrictLibrarySearchToSystem() {
    // SetDefaultDllDirectories exists from Windows 8 (and Windows 7 with
    // KB2533623); look it up so that the programs still start without it.
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto setDirs = kernel == nullptr ? nullptr
                                     : ftabi::ResolveExport<SetDefaultDllDirectoriesFn>(
                                           kernel, "SetDefaultDllDirectories");
    // The current directory is no place to look either way.
    SetDllDirectoryW(L"");
    return setDirs != nullptr && setDirs(ftabi::kLoadLibrarySearchSystem32) != FALSE;
}

std::wstring SystemLibraryPath(const wchar_t* name) {
    wchar_t dir[MAX_PATH + 1] = {0};
    UINT n = GetSystemDirectoryW(dir, MAX_PATH);
    if (n == 0 || n > MAX_PATH) return {};
    std::wstring path(dir, n);
    if (path.back() != L'\\') path += L'\\';
    return path + name;
}

Win32D2xx::Win32D2xx() {
    // Only the system folder's copy, the one the FTDI driver package
    // installs: never one beside the program or in the current directory.
    const std::wstring path = SystemLibraryPath(L"ftd2xx.dll");
    HMODULE module = nullptr;
    DWORD error = ERROR_PATH_NOT_FOUND;
    if (!path.empty()) {
        module = LoadLibraryExW(path.c_str(), nullptr, ftabi::kLoadLibrarySearchSystem32);
        error = module == nullptr ? GetLastError() : 0;
        // Systems without the search flags refuse them; the full path still
        // names the system folder's file.
        if (module == nullptr && error == ERROR_INVALID_PARAMETER) {
            module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
            error = module == nullptr ? GetLastError() : 0;
        }
    }
    if (module == nullptr) {
        char where[MAX_PATH * 2 + 1] = "the system folder";
        if (!path.empty()) {
            int n = WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, where, sizeof where - 1,
                                        nullptr, nullptr);
            if (n <= 0) std::snprintf(where, sizeof where, "the system folder");
        }
        char buf[MAX_PATH * 2 + 96];
        std::snprintf(buf, sizeof buf, "looked for %s only; system error %lu", where,
                      static_cast<unsigned long>(error));
        loadError_ = buf;
        return;
    }
    auto* fn = new Functions;
    std::string missing;
    Resolve(module, "FT_CreateDeviceInfoList", &fn->createDeviceInfoList, &missing);
    Resolve(module, "FT_GetDeviceInfoList", &fn->getDeviceInfoList, &missing);
    Resolve(module, "FT_GetDeviceInfoDetail", &fn->getDeviceInfoDetail, &missing);
    Resolve(module, "FT_Open", &fn->open, &missing);
    Resolve(module, "FT_OpenEx", &fn->openEx, &missing);
    Resolve(module, "FT_Close", &fn->close, &missing);
    Resolve(module, "FT_GetComPortNumber", &fn->getComPortNumber, &missing);
    Resolve(module, "FT_EE_UASize", &fn->eeUaSize, &missing);
    Resolve(module, "FT_EE_UARead", &fn->eeUaRead, &missing);
    Resolve(module, "FT_Reload", &fn->reload, &missing);
    if (!missing.empty()) {
        loadError_ = "ftd2xx.dll has no function " + missing;
        delete fn;
        FreeLibrary(module);
        return;
    }
    module_ = module;
    fn_ = fn;
    loaded_ = true;
}

Win32D2xx::~Win32D2xx() {
    delete fn_;
    if (module_ != nullptr) FreeLibrary(static_cast<HMODULE>(module_));
}

d2xx::Status Win32D2xx::CreateDeviceInfoList(uint32_t* count) {
    if (!loaded_) {
        if (count != nullptr) *count = 0;
        return kNotLoaded;
    }
    DWORD n = 0;
    FT_STATUS st = fn_->createDeviceInfoList(&n);
    if (count != nullptr) *count = n;
    return st;
}

d2xx::Status Win32D2xx::GetDeviceInfoList(d2xx::DeviceListInfoNode* nodes, uint32_t* count) {
    if (!loaded_) {
        if (count != nullptr) *count = 0;
        return kNotLoaded;
    }
    DWORD n = count != nullptr ? *count : 0;
    FT_STATUS st = fn_->getDeviceInfoList(reinterpret_cast<FtDeviceListInfoNode*>(nodes), &n);
    if (count != nullptr) *count = n;
    return st;
}

d2xx::Status Win32D2xx::GetDeviceInfoDetail(uint32_t index, uint32_t* flags, uint32_t* type,
                                            uint32_t* id, uint32_t* locId, char* serial,
                                            char* description, d2xx::Handle* handle) {
    if (!loaded_) return kNotLoaded;
    DWORD f = 0, t = 0, i = 0, l = 0;
    FT_HANDLE h = nullptr;
    FT_STATUS st = fn_->getDeviceInfoDetail(index, &f, &t, &i, &l, serial, description, &h);
    if (flags != nullptr) *flags = f;
    if (type != nullptr) *type = t;
    if (id != nullptr) *id = i;
    if (locId != nullptr) *locId = l;
    if (handle != nullptr) *handle = h;
    return st;
}

d2xx::Status Win32D2xx::Open(int index, d2xx::Handle* handle) {
    if (!loaded_) return kNotLoaded;
    return fn_->open(index, handle);
}

d2xx::Status Win32D2xx::OpenEx(uint32_t location, uint32_t flags, d2xx::Handle* handle) {
    if (!loaded_) return kNotLoaded;
    // By location the first argument carries the location itself, by value.
    return fn_->openEx(reinterpret_cast<PVOID>(static_cast<uintptr_t>(location)), flags, handle);
}

d2xx::Status Win32D2xx::Close(d2xx::Handle handle) {
    if (!loaded_) return kNotLoaded;
    return fn_->close(handle);
}

d2xx::Status Win32D2xx::GetComPortNumber(d2xx::Handle handle, int32_t* port) {
    if (!loaded_) {
        if (port != nullptr) *port = -1;
        return kNotLoaded;
    }
    LONG n = -1;
    FT_STATUS st = fn_->getComPortNumber(handle, &n);
    if (port != nullptr) *port = n;
    return st;
}

d2xx::Status Win32D2xx::EE_UASize(d2xx::Handle handle, uint32_t* size) {
    if (!loaded_) {
        if (size != nullptr) *size = 0;
        return kNotLoaded;
    }
    DWORD n = 0;
    FT_STATUS st = fn_->eeUaSize(handle, &n);
    if (size != nullptr) *size = n;
    return st;
}

d2xx::Status Win32D2xx::EE_UARead(d2xx::Handle handle, uint8_t* buffer, uint32_t length,
                                  uint32_t* bytesRead) {
    if (!loaded_) {
        if (bytesRead != nullptr) *bytesRead = 0;
        return kNotLoaded;
    }
    DWORD n = 0;
    FT_STATUS st = fn_->eeUaRead(handle, buffer, length, &n);
    if (bytesRead != nullptr) *bytesRead = n;
    return st;
}

d2xx::Status Win32D2xx::Reload(uint16_t vendorId, uint16_t productId) {
    if (!loaded_) return kNotLoaded;
    return fn_->reload(vendorId, productId);
}

}  // namespace varnok::win32
