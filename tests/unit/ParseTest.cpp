// The parsing module: each reader's accepted forms, edges and overflow.
#include <gtest/gtest.h>

#include <climits>

#include "common/platform/Parse.h"

using namespace varnok;

TEST(Parse, LeadingDecimalReadsLikeAtoiAndSaturates) {
    const struct {
        const char* text;
        int value;
    } rows[] = {
        {"", 0},         {"abc", 0},        {"12", 12},          {"  \t\n+7x", 7},
        {"-15", -15},    {"- 1", 0},        {"+-1", 0},          {"007", 7},
        {"2147483647", INT_MAX},             {"2147483648", INT_MAX},
        {"-2147483648", INT_MIN},            {"-2147483649", INT_MIN},
        {"99999999999999999999999", INT_MAX}, {"-99999999999999999999999", INT_MIN},
        {"\v\f\r3", 3},  {"1e5", 1},        {"0x1A", 0},
    };
    for (const auto& r : rows) EXPECT_EQ(parse::LeadingDecimal(r.text), r.value) << r.text;
}

TEST(Parse, LeadingUnsignedWrapsNegativesAndSaturatesBeyondThirtyTwoBits) {
    const struct {
        const char* text;
        uint32_t value;
    } rows[] = {
        {"", 0u},         {"255", 255u},        {" -1", 4294967295u}, {"-0", 0u},
        {"+10000", 10000u}, {"4294967295", 4294967295u}, {"4294967296", 4294967295u},
        {"12ab", 12u},
    };
    for (const auto& r : rows) EXPECT_EQ(parse::LeadingUnsigned(r.text), r.value) << r.text;
}

TEST(Parse, FixedHexTakesExactlyTheDigitsAsked) {
    EXPECT_EQ(parse::FixedHex("VID_04aF", 4, 4), 0x04AFu);
    EXPECT_EQ(parse::FixedHex("ffff", 0, 4), 0xFFFFu);
    for (const char* odd : {"04G3", "-403", "+403", " 403", "0x43", "040"})
        EXPECT_FALSE(parse::FixedHex(odd, 0, 4).has_value()) << odd;
    EXPECT_FALSE(parse::FixedHex("0403", 2, 4).has_value());  // runs past the end
    EXPECT_FALSE(parse::FixedHex("0403", 5, 1).has_value());
    EXPECT_EQ(parse::HexDigit('b'), 11);
    EXPECT_EQ(parse::HexDigit('g'), -1);
}
