// Whether two estimates of one study, computed two ways (with and without the
// table of response patterns, from rows in two orders), are the same to
// 1e-12 relative: for the tests and the fuzz targets.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

#include "inference/estimate.h"

namespace kappa::match {

// Within 1e-12 of each other relative to their size, or to `size` for values
// formed from differences of quantities of that size: a coefficient is
// p_a - p_e over d = 1 - p_e, so two ways of summing p_a and p_e that differ
// in their last bits give coefficients that differ by those bits over d; a
// standard error, from the subjects' contributions (a_i - p_e) / d, by that
// over the square root of n.
inline bool near(double a, double b, double size) {
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
    return a == b || std::abs(a - b) <= 1e-12 * std::max({std::abs(a), std::abs(b), size});
}

// A number with all its digits.
inline std::string text(double x) {
    char digits[32];
    std::snprintf(digits, sizeof digits, "%.17g", x);
    return digits;
}

// The first number or note in which two estimates differ, or none. A
// p-value follows its statistic t through the tail of t, whose slope
// magnifies a relative difference about t times: its own is t^2 1e-12.
inline std::optional<std::string> difference(const Estimate& a, const Estimate& b) {
    const double d = std::isfinite(a.chance) && a.chance < 1 ? 1 - a.chance : 1;
    const double n = std::max<double>(1, static_cast<double>(a.subjects));
    const struct {
        const char* name;
        double x, y, size;
    } numbers[] = {{"kappa", a.kappa, b.kappa, 1 / d},
                   {"se", a.se, b.se, 1 / (d * std::sqrt(n))},
                   {"observed", a.observed, b.observed, 1},
                   {"chance", a.chance, b.chance, 1},
                   {"statistic", a.wald.statistic, b.wald.statistic, 1 / (d * a.se)},
                   {"ci lower", a.wald.ci.lower, b.wald.ci.lower, 1 / d},
                   {"ci upper", a.wald.ci.upper, b.wald.ci.upper, 1 / d},
                   {"df", a.wald.df, b.wald.df, 0}};
    for (const auto& n : numbers)
        if (!near(n.x, n.y, n.size))
            return std::string(n.name) + ": " + text(n.x) + " and " + text(n.y);
    const double t = std::isfinite(a.wald.statistic) ? std::max(1.0, std::abs(a.wald.statistic)) : 1.0;
    const bool pSame = std::isnan(a.wald.pValue) ? std::isnan(b.wald.pValue)
                                                 : std::abs(a.wald.pValue - b.wald.pValue) <= 1e-12 * t * t * a.wald.pValue;
    if (!pSame) return "p-value: " + text(a.wald.pValue) + " and " + text(b.wald.pValue);
    if (a.subjects != b.subjects) return std::string("subjects");
    if (a.wald.zeroVariance != b.wald.zeroVariance) return std::string("zero variance");
    if (a.notes != b.notes) return std::string("notes");
    return std::nullopt;
}

}  // namespace kappa::match
