#include "inference/intervals.h"

#include <algorithm>
#include <cmath>

#include "estimators/rounding.h"

namespace kappa {

namespace {

constexpr double kInfinity = HUGE_VAL;

void clipAtOne(double& upper) {
    if (upper > 1.0) upper = 1.0;
}

void byLowerLimit(IntervalSet& set) {
    std::sort(set.begin(), set.end(), [](const Interval& x, const Interval& y) { return x.lower < y.lower; });
}

}  // namespace

Interval waldInterval(double estimate, double halfWidth, Alternative alternative) {
    Interval ci{estimate - halfWidth, estimate + halfWidth};
    clipAtOne(ci.upper);
    if (std::isnan(ci.lower)) return {};
    if (alternative == Alternative::Greater) ci.upper = 1.0;
    if (alternative == Alternative::Less) ci.lower = -kInfinity;
    return ci;
}

Interval quadraticRoots(double s, double m, double D, double knownRoot) {
    Interval roots{(m - std::sqrt(D)) / s, (std::sqrt(D) + m) / s};
    const double error = roundingError(4, (std::abs(m) + std::sqrt(D)) / s);
    for (double* root : {&roots.lower, &roots.upper})
        if (std::abs(*root - knownRoot) <= error) *root = knownRoot;
    return roots;
}

IntervalSet whereNotPositive(double s, double m, double c, double D, double knownRoot) {
    if (std::isnan(s) || std::isnan(m) || std::isnan(c) || std::isnan(D)) return {};
    if (s == 0) {
        // -2 m x + c <= 0
        if (m > 0) return {{c / (2 * m), kInfinity}};
        if (m < 0) return {{-kInfinity, c / (2 * m)}};
        return c <= 0 ? IntervalSet{{-kInfinity, kInfinity}} : IntervalSet{};
    }
    if (D < 0) return s > 0 ? IntervalSet{} : IntervalSet{{-kInfinity, kInfinity}};
    const auto [first, second] = quadraticRoots(s, m, D, knownRoot);
    if (s > 0) return {{first, second}};
    return {{-kInfinity, second}, {first, kInfinity}};
}

IntervalSet intersect(const IntervalSet& a, const IntervalSet& b) {
    IntervalSet both;
    for (const Interval& x : a)
        for (const Interval& y : b) {
            const double lower = std::max(x.lower, y.lower), upper = std::min(x.upper, y.upper);
            if (lower <= upper) both.push_back({lower, upper});
        }
    byLowerLimit(both);
    return both;
}

IntervalSet unite(const IntervalSet& a, const IntervalSet& b) {
    IntervalSet all(a);
    all.insert(all.end(), b.begin(), b.end());
    byLowerLimit(all);
    IntervalSet merged;
    for (const Interval& x : all) {
        if (!merged.empty() && x.lower <= merged.back().upper)
            merged.back().upper = std::max(merged.back().upper, x.upper);
        else
            merged.push_back(x);
    }
    return merged;
}

IntervalSet upToOne(const IntervalSet& set) { return intersect(set, {{-kInfinity, 1.0}}); }

}  // namespace kappa
