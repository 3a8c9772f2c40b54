#include "common/platform/FileNames.h"

// Windows converts to UTF-16 in common/win32/FileNames.cpp.
#ifndef _WIN32

namespace varnok::files {

std::filesystem::path PathFromUtf8(const std::string& utf8) { return std::filesystem::path(utf8); }

}  // namespace varnok::files

#endif
