// File names travel through the portable code as UTF-8, exactly as the user
// typed them into a file dialog. PathFromUtf8 makes the path the platform's
// file calls take: on Windows the UTF-16 name (common/win32/FileNames.cpp;
// never through the ANSI code page), elsewhere the bytes as they are.
#pragma once
#include <filesystem>
#include <string>

namespace varnok::files {

// An empty path when `utf8` is not valid UTF-8 on a platform that converts
// (every file call on it then fails).
std::filesystem::path PathFromUtf8(const std::string& utf8);

}  // namespace varnok::files
