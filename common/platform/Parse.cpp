#include "common/platform/Parse.h"

#include <charconv>
#include <climits>

namespace varnok::parse {

namespace {

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Leading white space and an optional sign; the digit run that follows.
struct Leading {
    bool negative = false;
    std::string_view digits;
};

Leading SplitLeading(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) ++i;
    Leading out;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) out.negative = text[i++] == '-';
    std::size_t end = i;
    while (end < text.size() && IsDigit(text[end])) ++end;
    out.digits = text.substr(i, end - i);
    return out;
}

// The digit run's value; nothing when it does not fit.
std::optional<unsigned long long> Value(std::string_view digits) {
    unsigned long long v = 0;
    if (digits.empty()) return 0ULL;
    const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), v);
    if (r.ec != std::errc()) return std::nullopt;
    return v;
}

}  // namespace

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<uint32_t> FixedHex(std::string_view text, std::size_t at, std::size_t width) {
    if (at > text.size() || text.size() - at < width || width == 0 || width > 8)
        return std::nullopt;
    const char* first = text.data() + at;
    // from_chars would take a leading minus for no unsigned type, but check
    // every digit anyway: it stops at the first non-digit.
    for (std::size_t i = 0; i < width; ++i)
        if (HexDigit(first[i]) < 0) return std::nullopt;
    uint32_t v = 0;
    const auto r = std::from_chars(first, first + width, v, 16);
    if (r.ec != std::errc() || r.ptr != first + width) return std::nullopt;
    return v;
}

int LeadingDecimal(std::string_view text) {
    const Leading l = SplitLeading(text);
    const std::optional<unsigned long long> v = Value(l.digits);
    const unsigned long long limit = static_cast<unsigned long long>(INT_MAX) + (l.negative ? 1 : 0);
    if (!v || *v >= limit) return l.negative ? INT_MIN : INT_MAX;
    const auto magnitude = static_cast<long long>(*v);
    return static_cast<int>(l.negative ? -magnitude : magnitude);
}

uint32_t LeadingUnsigned(std::string_view text) {
    const Leading l = SplitLeading(text);
    const std::optional<unsigned long long> v = Value(l.digits);
    if (!v || *v > UINT32_MAX) return UINT32_MAX;
    const auto value = static_cast<uint32_t>(*v);
    return l.negative ? 0u - value : value;
}

}  // namespace varnok::parse
