#include "configurator/discovery/InstanceKeyName.h"

#include <algorithm>
#include <string_view>

#include "common/platform/Parse.h"

namespace varnok::cfg {

namespace {

// `s` holds `upper` at `at`, in either case.
bool SameLetters(const std::string& s, std::size_t at, std::string_view upper) {
    return std::equal(upper.begin(), upper.end(), s.begin() + at, [](char w, char c) {
        return w == (c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
    });
}

}  // namespace

InstanceKeyName SplitInstanceKeyName(const std::string& name) {
    InstanceKeyName out;
    if (name.size() < kSerialAt) return out;
    if (!SameLetters(name, 0, "VID_") || !SameLetters(name, 8, "+PID_") ||
        name[kSerialAt - 1] != '+')
        return out;
    const std::optional<uint32_t> vendor = parse::FixedHex(name, kVendorIdAt, 4);
    const std::optional<uint32_t> product = parse::FixedHex(name, kProductIdAt, 4);
    if (!vendor || !product) return out;
    for (std::size_t i = kSerialAt; i < name.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || c == 0x7F || c == '\\' || c == '/') return out;
    }
    out.valid = true;
    out.deviceId = *vendor << 16 | *product;
    out.serial = name.substr(kSerialAt);
    return out;
}

}  // namespace varnok::cfg
