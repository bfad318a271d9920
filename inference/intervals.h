// Confidence intervals as sets of kappa0: the Wald interval of an
// alternative, and the sets where a quadratic in kappa0 is not positive, from
// which the restricted intervals are built.
#pragma once

#include "inference/estimate.h"

namespace kappa {

// The Wald interval of an estimate with half-width c se (c the critical value
// of the alternative): estimate -+ c se two-sided, [estimate - c se, 1] for
// greater, (-infinity, estimate + c se] for less; the upper limit clipped at
// 1. NaN limits when the estimate or the half-width is NaN.
Interval waldInterval(double estimate, double halfWidth, Alternative alternative);

// The roots of s x^2 - 2 m x + c, given D = m^2 - s c >= 0 (which the
// caller may form more accurately than from s, m and c), in the order
// (m - sqrt(D)) / s, (m + sqrt(D)) / s. A root within its rounding error of
// `knownRoot`, a value known to be a root exactly (NaN when none is), is that value.
Interval quadraticRoots(double s, double m, double D, double knownRoot = kNaN);

// The x with s x^2 - 2 m x + c <= 0, D and knownRoot as above: between the
// roots when s > 0, outside them when s < 0, a half-line when s = 0, all or
// nothing when there is no real root. NaN coefficients: none.
IntervalSet whereNotPositive(double s, double m, double c, double D, double knownRoot = kNaN);

IntervalSet intersect(const IntervalSet& a, const IntervalSet& b);
IntervalSet unite(const IntervalSet& a, const IntervalSet& b);

// The pieces of a set that lie at or below 1.
IntervalSet upToOne(const IntervalSet& set);

}  // namespace kappa
