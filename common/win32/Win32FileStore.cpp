#include "common/win32/Win32FileStore.h"

#include <windows.h>
#include <shlobj.h>

#include <vector>

#include "common/win32/FileNames.h"
#include "common/win32/Handles.h"

namespace varnok::win32 {

namespace {

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// <shell folder>\<subFolder>, or from the environment variable when the
// shell does not know the folder; empty when neither does.
std::wstring ShellFolder(int csidl, const wchar_t* variable, const std::wstring& subFolder) {
    wchar_t buffer[MAX_PATH] = {};
    std::wstring base;
    if (SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer)))
        base = buffer;
    if (base.empty()) {
        const DWORD n = GetEnvironmentVariableW(variable, nullptr, 0);
        if (n > 1) {
            std::vector<wchar_t> value(n);
            if (GetEnvironmentVariableW(variable, value.data(), n) == n - 1)
                base.assign(value.data(), n - 1);
        }
    }
    if (base.empty()) return base;
    if (base.back() != L'\\') base += L'\\';
    return base + subFolder;
}

// Writes `bytes` to a new file `part` and flushes it; false on any failure.
bool WritePart(const std::wstring& part, const std::string& bytes) {
    unique_handle file(CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    const bool ok = WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                              &written, nullptr) != 0 &&
                    written == bytes.size() && FlushFileBuffers(file.get()) != 0;
    // Closed here: a failed close may mean the data is not on disk.
    return CloseHandle(file.release()) != 0 && ok;
}

}  // namespace

std::wstring Win32FileStore::LocalAppDataFolder(const std::wstring& subFolder) {
    return ShellFolder(CSIDL_LOCAL_APPDATA, L"LOCALAPPDATA", subFolder);
}

std::wstring Win32FileStore::CommonAppDataFolder(const std::wstring& subFolder) {
    return ShellFolder(CSIDL_COMMON_APPDATA, L"ProgramData", subFolder);
}

bool Win32FileStore::prepare() {
    if (folder_.empty()) return false;
    if (IsFolder(folder_)) return true;
    // Each missing level in turn, after the drive or share part.
    for (std::size_t at = folder_.find(L'\\', 3); ; at = folder_.find(L'\\', at + 1)) {
        const std::wstring level = folder_.substr(0, at);
        if (!IsFolder(level)) CreateDirectoryW(level.c_str(), nullptr);
        if (at == std::wstring::npos) break;
    }
    return IsFolder(folder_);
}

std::string Win32FileStore::location() const {
    return folder_.empty() ? std::string("(the local application data folder is unknown)")
                           : AnsiFromWide(folder_);
}

std::wstring Win32FileStore::pathOf(const std::string& name) const {
    const std::wstring wide = WideFromUtf8(name);
    return folder_.empty() || wide.empty() ? std::wstring() : folder_ + L"\\" + wide;
}

std::vector<std::string> Win32FileStore::fileNames() {
    std::vector<std::string> names;
    if (folder_.empty()) return names;
    WIN32_FIND_DATAW data;
    const unique_hfind find(FindFirstFileW((folder_ + L"\\*").c_str(), &data));
    if (!find) return names;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(Utf8FromWide(data.cFileName));
    } while (FindNextFileW(find.get(), &data));
    return names;
}

bool Win32FileStore::writeFile(const std::string& name, const std::string& bytes) {
    const std::wstring path = pathOf(name);
    if (path.empty()) return false;
    const std::wstring part = path + L".part";
    const bool ok = WritePart(part, bytes) &&
                    MoveFileExW(part.c_str(), path.c_str(),
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    if (!ok) DeleteFileW(part.c_str());
    return ok;
}

bool Win32FileStore::readFile(const std::string& name, std::string* bytes) {
    bytes->clear();
    const std::wstring path = pathOf(name);
    if (path.empty()) return false;
    unique_handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    char buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) return false;
        if (got == 0) return true;
        bytes->append(buffer, got);
    }
}

FileStore::Created Win32FileStore::createFile(const std::string& name, const std::string& bytes) {
    const std::wstring path = pathOf(name);
    if (path.empty()) return Created::Failed;
    // A part of this process's own, moved to the name only when no file has
    // it: the move without MOVEFILE_REPLACE_EXISTING is the claim.
    const std::wstring part =
        path + L"." + std::to_wstring(GetCurrentProcessId()) + L"." +
        std::to_wstring(GetTickCount64()) + L".part";
    if (!WritePart(part, bytes)) {
        DeleteFileW(part.c_str());
        return Created::Failed;
    }
    if (MoveFileExW(part.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH) != 0)
        return Created::Done;
    const DWORD error = GetLastError();
    DeleteFileW(part.c_str());
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? Created::Exists
                                                                        : Created::Failed;
}

bool Win32FileStore::removeFile(const std::string& name) {
    const std::wstring path = pathOf(name);
    return !path.empty() && DeleteFileW(path.c_str()) != 0;
}

LocalTime Win32LocalTime::localNow() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

}  // namespace varnok::win32
