// Reading numbers out of text the user typed or the system stored, on
// std::from_chars (no locale, no allocation). Each reader keeps exactly the
// forms its callers have always accepted.
#pragma once
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <system_error>

namespace varnok::parse {

// The value of one hexadecimal digit (either case), or -1.
int HexDigit(char c);

// Exactly `width` hexadecimal digits at `at` (either case; no sign, no
// prefix); nothing when the text is shorter or any of them is not a digit.
std::optional<uint32_t> FixedHex(std::string_view text, std::size_t at, std::size_t width);

// The number at the start of `text` the way the C library's atoi reads it:
// leading white space, an optional sign, then decimal digits up to the first
// other character; no digits give 0. Saturates at INT_MIN / INT_MAX instead
// of overflowing.
int LeadingDecimal(std::string_view text);

// The same leading form taken as an unsigned 32-bit number the way strtoul
// reads it: a minus sign negates modulo 2^32 ("-1" is 4294967295), a value
// beyond 32 bits gives UINT32_MAX; no digits give 0.
uint32_t LeadingUnsigned(std::string_view text);

// ---- Leading numbers of a reply (the interface-mode tool's protocol)

// Decimal digits at the start of `text` (no sign, no blanks), held at
// 0xFFFFFFFF when larger; nothing when the text does not start with a digit.
inline std::optional<uint32_t> LeadingDigits(std::string_view text) {
    uint32_t value = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    if (ptr == text.data()) return std::nullopt;
    return ec == std::errc::result_out_of_range ? UINT32_MAX : value;
}

// Low 32 bits of the hexadecimal digits (0-9, a-f, A-F, no "0x") at the
// start of `text`; nothing when the text does not start with one.
inline std::optional<uint32_t> LeadingHexLow32(std::string_view text) {
    uint32_t value = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (ptr == text.data()) return std::nullopt;
    if (ec == std::errc::result_out_of_range) (void)std::from_chars(ptr - 8, ptr, value, 16);
    return value;
}

}  // namespace varnok::parse
