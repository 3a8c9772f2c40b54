#include "configurator/discovery/InstanceKeyName.h"

namespace varnok::cfg {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Four hexadecimal digits at `at`; false when any is not one.
bool ReadHex4(const std::string& s, std::size_t at, uint32_t* out) {
    uint32_t v = 0;
    for (std::size_t i = at; i < at + 4; ++i) {
        int d = HexDigit(s[i]);
        if (d < 0) return false;
        v = v * 16 + static_cast<uint32_t>(d);
    }
    *out = v;
    return true;
}

bool SameLetters(const std::string& s, std::size_t at, const char* literal) {
    for (std::size_t i = 0; literal[i] != '\0'; ++i) {
        char c = s[at + i];
        char w = literal[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != w) return false;
    }
    return true;
}

}  // namespace

InstanceKeyName SplitInstanceKeyName(const std::string& name) {
    InstanceKeyName out;
    if (name.size() < kSerialAt) return out;
    if (!SameLetters(name, 0, "VID_") || !SameLetters(name, 8, "+PID_") ||
        name[kSerialAt - 1] != '+')
        return out;
    uint32_t vendor = 0, product = 0;
    if (!ReadHex4(name, kVendorIdAt, &vendor) || !ReadHex4(name, kProductIdAt, &product))
        return out;
    for (std::size_t i = kSerialAt; i < name.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || c == 0x7F || c == '\\' || c == '/') return out;
    }
    out.valid = true;
    out.deviceId = vendor << 16 | product;
    out.serial = name.substr(kSerialAt);
    return out;
}

}  // namespace varnok::cfg
