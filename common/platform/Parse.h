// Readers of numbers in text, on std::from_chars: digits only (no sign, no
// blanks, no "0x"); nullopt when the text does not start with a digit.
#pragma once
#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>
#include <system_error>

namespace varnok::parse {

// ---- Leading numbers of a reply (the interface-mode tool's protocol)

// Decimal digits at the start of `text`, held at 0xFFFFFFFF when larger.
inline std::optional<uint32_t> LeadingDecimal(std::string_view text) {
    uint32_t value = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    if (ptr == text.data()) return std::nullopt;
    return ec == std::errc::result_out_of_range ? UINT32_MAX : value;
}

// Low 32 bits of the hexadecimal digits (0-9, a-f, A-F) at the start of `text`.
inline std::optional<uint32_t> LeadingHexLow32(std::string_view text) {
    uint32_t value = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (ptr == text.data()) return std::nullopt;
    if (ec == std::errc::result_out_of_range) (void)std::from_chars(ptr - 8, ptr, value, 16);
    return value;
}

}  // namespace varnok::parse
