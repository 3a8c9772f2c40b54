// UTF-8 (the portable code's strings) to and from UTF-16 (the wide Win32
// calls). Invalid input gives an empty result, never a guessed name.
#pragma once
#include <string>

#include "common/platform/FileNames.h"

namespace varnok::win32 {

std::wstring WideFromUtf8(const std::string& utf8);
std::string Utf8FromWide(const std::wstring& wide);
// For the ANSI calls' texts (message boxes): characters the code page lacks
// become its default character.
std::string AnsiFromWide(const std::wstring& wide);

}  // namespace varnok::win32
