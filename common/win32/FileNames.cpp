#include "common/win32/FileNames.h"

#include <windows.h>

#include <climits>

namespace varnok::win32 {

std::wstring WideFromUtf8(const std::string& utf8) {
    if (utf8.empty() || utf8.size() > INT_MAX) return {};
    const int in = static_cast<int>(utf8.size());
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), in, nullptr, 0);
    if (n <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), in, &wide[0], n);
    if (n <= 0) return {};
    wide.resize(static_cast<std::size_t>(n));
    return wide;
}

namespace {

std::string Narrow(const std::wstring& wide, UINT codePage, DWORD flags) {
    if (wide.empty() || wide.size() > INT_MAX) return {};
    const int in = static_cast<int>(wide.size());
    int n = WideCharToMultiByte(codePage, flags, wide.data(), in, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    n = WideCharToMultiByte(codePage, flags, wide.data(), in, &out[0], n, nullptr, nullptr);
    if (n <= 0) return {};
    out.resize(static_cast<std::size_t>(n));
    return out;
}

}  // namespace

std::string Utf8FromWide(const std::wstring& wide) {
    return Narrow(wide, CP_UTF8, WC_ERR_INVALID_CHARS);
}

std::string AnsiFromWide(const std::wstring& wide) { return Narrow(wide, CP_ACP, 0); }

}  // namespace varnok::win32

namespace varnok::files {

std::filesystem::path PathFromUtf8(const std::string& utf8) {
    // The wide constructor keeps every character; a narrow one would go
    // through a code page.
    return std::filesystem::path(win32::WideFromUtf8(utf8));
}

}  // namespace varnok::files
