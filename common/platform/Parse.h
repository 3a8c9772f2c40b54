// Readers of numbers written in text, on std::from_chars: no locale, no sign,
// no blanks, no "0x" prefix; each reader says exactly which forms it takes.
#pragma once
#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>
#include <system_error>

namespace varnok::parse {

// ---- Numbers at the start of a reply (the interface-mode tool's protocol)

// The number written by the decimal digits at the start of `text`, held at
// 0xFFFFFFFF when it is larger; nullopt when `text` does not start with a
// digit. What follows the digits is not looked at.
inline std::optional<uint32_t> LeadingDecimal(std::string_view text) {
    uint32_t value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value, 10);
    if (ptr == text.data()) return std::nullopt;
    if (ec == std::errc::result_out_of_range) return UINT32_MAX;
    return value;
}

// The low 32 bits of the number written by the hexadecimal digits (0-9, a-f,
// A-F) at the start of `text`; nullopt when `text` does not start with one.
inline std::optional<uint32_t> LeadingHexLow32(std::string_view text) {
    uint32_t value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value, 16);
    if (ptr == text.data()) return std::nullopt;
    if (ec == std::errc::result_out_of_range) {
        // Too long for 32 bits: its last eight digits are its low 32 bits.
        std::from_chars(ptr - 8, ptr, value, 16);
    }
    return value;
}

}  // namespace varnok::parse
