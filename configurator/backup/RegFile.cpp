#include "configurator/backup/RegFile.h"

#include <cstdio>

#include "common/platform/Registry.h"

namespace varnok::cfg::backup {

namespace {

constexpr const char* kLineEnd = "\r\n";
// Hex data is wrapped like regedit wraps it: a line ends with ",\" once it
// reaches this width, and the next one starts with two blanks.
constexpr std::size_t kHexLineWidth = 76;

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string NamePart(const std::string& name) { return name.empty() ? "@" : Quoted(name); }

// A string the quoted form carries unchanged: one terminating NUL, no other
// NUL, no control characters (no line breaks).
bool PlainString(const std::vector<uint8_t>& data) {
    if (data.empty() || data.back() != 0) return false;
    for (std::size_t i = 0; i + 1 < data.size(); ++i)
        if (data[i] < 0x20 || data[i] == 0x7F) return false;
    return true;
}

std::string HexData(std::string line, const std::vector<uint8_t>& data) {
    char byte[4];
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < data.size(); ++i) {
        std::snprintf(byte, sizeof byte, "%02x", data[i]);
        line += byte;
        if (i + 1 == data.size()) break;
        line += ',';
        if (line.size() - lineStart >= kHexLineWidth) {
            line += "\\";
            line += kLineEnd;
            lineStart = line.size();
            line += "  ";
        }
    }
    return line;
}

}  // namespace

std::string RenderValue(const SavedValue& v) {
    const std::string head = NamePart(v.name) + "=";
    if (!v.present) return head + "-";
    if (v.type == reg::kDword && v.data.size() == 4) {
        char text[16];  // the little-endian bytes, most significant first
        std::snprintf(text, sizeof text, "dword:%02x%02x%02x%02x", v.data[3], v.data[2], v.data[1],
                      v.data[0]);
        return head + text;
    }
    if (v.type == reg::kSz && PlainString(v.data))
        return head + Quoted(std::string(v.data.begin(), v.data.end() - 1));
    if (v.type == reg::kBinary) return HexData(head + "hex:", v.data);
    char prefix[24];
    std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(v.type));
    return HexData(head + prefix, v.data);
}

std::string RenderRegFile(const std::vector<std::string>& comments,
                          const std::vector<SavedKey>& keys) {
    std::string out = std::string("REGEDIT4") + kLineEnd + kLineEnd;
    for (const std::string& c : comments) out += "; " + c + kLineEnd;
    for (const SavedKey& key : keys) {
        if (key.values.empty()) continue;
        out += kLineEnd;
        out += "[HKEY_LOCAL_MACHINE\\" + key.path + "]" + kLineEnd;
        for (const SavedValue& v : key.values) out += RenderValue(v) + kLineEnd;
    }
    return out;
}

}  // namespace varnok::cfg::backup
