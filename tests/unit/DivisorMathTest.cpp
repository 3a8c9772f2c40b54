#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "configurator/baud/ConfigDataRecord.h"
#include "configurator/baud/DivisorMath.h"

using namespace varnok::cfg;

namespace {

struct Worked {
    double desired;
    double divisor;
    const char* rate;
    const char* error;
};

const Worked kWorked[] = {
    {300, 10000, "300", "0.000"},           {1200, 2500, "1200", "0.000"},
    {9600, 312.5, "9600", "0.000"},         {14400, 208.375, "14397", "-0.020"},
    {38400, 78.125, "38400", "0.000"},      {57600, 52.125, "57554", "-0.080"},
    {76800, 39, "76923", "0.160"},          {115200, 26, "115385", "0.160"},
    {921600, 3.25, "923077", "0.160"},      {1500000, 2, "1500000", "0.000"},
    {2000000, 1.5, "2000000", "0.000%"},    {3000000, 1, "3000000", "0.000%"},
    {212, 14150.875, "212", "0.000"},      {184, 16304.375, "184", "-0.000"},
    {600, 5000, "600", "0.000"},            {4800, 625, "4800", "0.000"},
};

}  // namespace

TEST(DivisorMath, WorkedValues) {
    for (const auto& w : kWorked) {
        const auto d = FindClosestDivisor(w.desired);
        ASSERT_TRUE(d.has_value()) << w.desired;
        EXPECT_EQ(*d, w.divisor) << w.desired;
        EXPECT_EQ(FormatClosestRate(*d), w.rate) << w.desired;
        EXPECT_EQ(FormatDivisorError(w.desired, *d), w.error) << w.desired;
    }
}

TEST(DivisorMath, TiesKeepTheSmallerFractionAndNeverRoundUp) {
    // 76800: q = 39.0625, equally far from 39 and 39.125.
    EXPECT_EQ(*FindClosestDivisor(76800), 39.0);
    // 212: q = 14150.943..., the next integer is never a candidate.
    EXPECT_EQ(*FindClosestDivisor(212), 14150.875);
}

TEST(DivisorMath, InvalidRatesGiveNoDivisor) {
    for (double r : {183.0, 183.1054687, 0.0, -300.0, 1500001.0, 1999999.0, 2000001.0, 2500000.0,
                     2999999.0, 3000001.0, 1e12, std::numeric_limits<double>::infinity(),
                     -std::numeric_limits<double>::infinity(),
                     std::numeric_limits<double>::quiet_NaN()})
        EXPECT_FALSE(FindClosestDivisor(r).has_value()) << r;
}

TEST(DivisorMath, RatesWhoseDivisorDoesNotFitFourteenBitsAreRejected) {
    // Just above the bound the divisor would be 16384, stored as code 0 (3,000,000 baud).
    EXPECT_FALSE(FindClosestDivisor(183.10546871).has_value());
    EXPECT_FALSE(FindClosestDivisor(183.10546874).has_value());
    EXPECT_FALSE(FindClosestDivisor(183.10546875).has_value());  // q == 16384 exactly
    // A hair above 3,000,000 / 16384 the largest divisor the code holds is chosen.
    const auto d = FindClosestDivisor(183.10546876);
    ASSERT_TRUE(d.has_value());
    EXPECT_EQ(*d, kMaxEffectiveDivisor);
    EXPECT_EQ(DecodeDivisor(EncodeDivisor(*d)), *d);
}

TEST(DivisorMath, EveryAcceptedWholeRateGivesAStorableNearbyDivisor) {
    for (int rate = 184; rate <= 1500000; rate += 7) {
        const auto d = FindClosestDivisor(rate);
        ASSERT_TRUE(d.has_value()) << rate;
        const double q = 3000000.0 / rate;
        ASSERT_EQ(std::floor(*d), std::floor(q)) << rate;  // never the next integer
        ASSERT_LT(std::fabs(q - *d), 0.125) << rate;
        ASSERT_EQ(DecodeDivisor(EncodeDivisor(*d)), *d) << rate;
    }
}

TEST(DivisorMath, DesiredRateTextConversion) {
    EXPECT_EQ(ParseDesiredRate("2000000"), 2000000.0);
    EXPECT_EQ(ParseDesiredRate("  9600xyz"), 9600.0);
    EXPECT_EQ(ParseDesiredRate("183.10546874"), 183.10546874);
    EXPECT_EQ(ParseDesiredRate(""), 0.0);
    EXPECT_EQ(ParseDesiredRate("baud"), 0.0);
    // Only the first 1023 characters are looked at.
    EXPECT_EQ(ParseDesiredRate(std::string(1023, '0') + "9600"), 0.0);
    EXPECT_EQ(ParseDesiredRate(std::string(1018, '0') + "9600"), 9600.0);
}
