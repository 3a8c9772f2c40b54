#include "configurator/baud/DivisorMath.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "configurator/baud/ConfigDataRecord.h"

namespace varnok::cfg {

namespace {

constexpr double kFractions[8] = {0.0, 0.125, 0.25, 0.375, 0.5, 0.625, 0.75, 0.875};
constexpr std::size_t kDesiredTextLimit = 1023;

std::string Format(const char* format, double value) {
    char buf[400];  // "%.3f" of any finite double fits; inf/nan are short
    std::snprintf(buf, sizeof buf, format, value);
    return buf;
}

}  // namespace

std::optional<double> FindClosestDivisor(double desired) {
    if (desired == 3000000.0) return 1.0;
    if (desired == 2000000.0) return 1.5;
    if (!(desired > kLowestRateBound && desired < kHighestRateBound)) return std::nullopt;

    const double q = kBaseRate / desired;
    // Just above the lower bound q reaches 16384, whose integer part the code
    // cannot hold: such a divisor would be stored as a different one.
    if (!(q < kMaxEffectiveDivisor + 0.125)) return std::nullopt;
    const double whole = std::trunc(q);
    if (q == whole) return q;

    // The nearest eighth; of two as near, the smaller.
    const double f = q - whole;
    return whole + *std::min_element(std::begin(kFractions), std::end(kFractions),
                                     [f](double a, double b) {
                                         return std::fabs(a - f) < std::fabs(b - f);
                                     });
}

std::string FormatClosestRate(double divisor) { return Format("%.0f", kBaseRate / divisor); }

std::string FormatDivisorError(double desired, double divisor) {
    const double error = (1.0 - desired / (kBaseRate / divisor)) * 100.0;
    const bool special = desired == 3000000.0 || desired == 2000000.0;
    return Format(special ? "%.3f%%" : "%.3f", error);
}

std::string FormatDivisor(double divisor) { return Format("%.3f", divisor); }

double ParseDesiredRate(const std::string& text) {
    // strtod needs a terminated copy; the field is read with a 1024-byte buffer.
    const std::string bounded = text.substr(0, std::min(text.size(), kDesiredTextLimit));
    return std::strtod(bounded.c_str(), nullptr);
}

}  // namespace varnok::cfg
