// Registry-editor files (.reg) that put values back as they were. The text is
// 8-bit with the "REGEDIT4" header and CRLF line ends: regedit and `reg
// import` read it as the ANSI code page, which is what the configurator's
// ANSI registry calls return, so every byte of a string or multi-string
// value goes back unchanged (a Unicode header would need the multi-strings
// as UTF-16).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace varnok::cfg::backup {

struct SavedValue {
    std::string name;
    bool present = false;  // false: the value did not exist and is deleted ("Name"=-)
    uint32_t type = 0;
    std::vector<uint8_t> data;
};

struct SavedKey {
    std::string path;  // under HKEY_LOCAL_MACHINE
    std::vector<SavedValue> values;
};

// One value line (continued over several lines for long hex data), without
// the final line end.
std::string RenderValue(const SavedValue& value);

// The whole file: header, the comment lines (each prefixed with "; "), then
// one section per key. Keys without values are left out.
std::string RenderRegFile(const std::vector<std::string>& comments,
                          const std::vector<SavedKey>& keys);

}  // namespace varnok::cfg::backup
