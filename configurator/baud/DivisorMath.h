// The chip's divisor arithmetic: every rate is 3,000,000 divided by an
// effective divisor with an integer part and a fraction in eighths.
#pragma once
#include <optional>
#include <string>

namespace varnok::cfg {

constexpr double kBaseRate = 3000000.0;
// 3,000,000 / 16384 cut to seven decimals: rates at or below it are rejected.
constexpr double kLowestRateBound = 183.1054687;
// Rates from this one up are rejected (1,500,000, divisor 2, is accepted).
constexpr double kHighestRateBound = 1500001.0;

// The divisor the chip can realise that comes closest to `desired`, or no
// result when the rate is invalid: anything but 3,000,000, 2,000,000 and the
// rates strictly between the two bounds, and every rate whose divisor has an
// integer part that does not fit the code's 14 bits.
std::optional<double> FindClosestDivisor(double desired);

// 3,000,000 / divisor as "%.0f".
std::string FormatClosestRate(double divisor);
// (1 - desired / (3,000,000 / divisor)) * 100 as "%.3f", or "%.3f%%" when
// `desired` is one of the special rates 3,000,000 and 2,000,000.
std::string FormatDivisorError(double desired, double divisor);
// A divisor as the mapping list shows it: "%.3f".
std::string FormatDivisor(double divisor);

// The desired-rate field's text as the standard text-to-double conversion
// reads it (C locale), looking at no more than its first 1023 characters; a
// text without a leading number gives 0.
double ParseDesiredRate(const std::string& text);

}  // namespace varnok::cfg
