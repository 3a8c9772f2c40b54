#include "common/win32/D2xxLibrary.h"

#include "common/win32/FileNames.h"

namespace varnok::win32 {

namespace {

// LOAD_LIBRARY_SEARCH_SYSTEM32, spelled out: older SDK headers lack it.
constexpr DWORD kLoadLibrarySearchSystem32 = 0x00000800;

template <typename Fn>
void Resolve(HMODULE module, const char* name, Fn* fn, std::vector<std::string>* missing) {
    if (Fn found = LibraryFunction<Fn>(module, name))
        *fn = found;
    else
        missing->push_back(name);
}

// The full path of `name` in the system folder; empty when unknown.
std::wstring SystemLibraryPath(const wchar_t* name) {
    wchar_t dir[MAX_PATH + 1] = {0};
    UINT n = GetSystemDirectoryW(dir, MAX_PATH);
    if (n == 0 || n > MAX_PATH) return {};
    std::wstring path(dir, n);
    if (path.back() != L'\\') path += L'\\';
    return path + name;
}

}  // namespace

bool RestrictLibrarySearchToSystem() {
    // SetDefaultDllDirectories exists from Windows 8 (and Windows 7 with
    // KB2533623); look it up so that the programs still start without it.
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const auto setDirs = LibraryFunction<SetDefaultDllDirectoriesFn>(
        GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
    // The current directory is no place to look either way.
    SetDllDirectoryW(L"");
    return setDirs != nullptr && setDirs(kLoadLibrarySearchSystem32) != FALSE;
}

D2xxLibrary::D2xxLibrary() {
    // Only the system folder's copy, the one the FTDI driver package
    // installs: never one beside the program or in the current directory.
    const std::wstring path = SystemLibraryPath(L"ftd2xx.dll");
    DWORD error = ERROR_PATH_NOT_FOUND;
    if (!path.empty()) {
        module_.reset(LoadLibraryExW(path.c_str(), nullptr, kLoadLibrarySearchSystem32));
        error = module_ ? 0 : GetLastError();
        // Systems without the search flags refuse them; the full path still
        // names the system folder's file.
        if (!module_ && error == ERROR_INVALID_PARAMETER) {
            module_.reset(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
            error = module_ ? 0 : GetLastError();
        }
    }
    if (!module_) {
        std::string where = AnsiFromWide(path);
        if (where.empty()) where = "the system folder";
        loadError_ = "looked for " + where + " only; system error " + std::to_string(error);
        return;
    }
    ftabi::Functions found;
    const HMODULE m = module_.get();
    Resolve(m, "FT_CreateDeviceInfoList", &found.createDeviceInfoList, &missing_);
    Resolve(m, "FT_GetDeviceInfoList", &found.getDeviceInfoList, &missing_);
    Resolve(m, "FT_GetDeviceInfoDetail", &found.getDeviceInfoDetail, &missing_);
    Resolve(m, "FT_Open", &found.open, &missing_);
    Resolve(m, "FT_OpenEx", &found.openEx, &missing_);
    Resolve(m, "FT_Close", &found.close, &missing_);
    Resolve(m, "FT_GetComPortNumber", &found.getComPortNumber, &missing_);
    Resolve(m, "FT_EE_UASize", &found.eeUaSize, &missing_);
    Resolve(m, "FT_EE_UARead", &found.eeUaRead, &missing_);
    Resolve(m, "FT_Reload", &found.reload, &missing_);
    Resolve(m, "FT_CyclePort", &found.cyclePort, &missing_);
    if (!missing_.empty()) {
        // All or nothing: the table keeps its stand-ins.
        loadError_ = "ftd2xx.dll has no function " + missing_.front();
        module_.reset();
        return;
    }
    fn_ = found;
    loaded_ = true;
}

}  // namespace varnok::win32
