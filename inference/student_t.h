// Student's t, to which the Wald statistics of the chance-corrected
// coefficients are referred (their variance is that of a mean over subjects,
// t with n - 1 degrees of freedom): p-values and the quantiles of intervals.
#pragma once

#include "inference/estimate.h"

namespace kappa {

// P(|T| >= |t|) for T with Student's t distribution on df degrees of freedom
// (P(T >= t) or P(T <= t) with a one-sided alternative). 0 for an infinite t
// in the tail; NaN when t is NaN or df is not a positive finite number.
double studentPValue(double t, double df, Alternative alternative = Alternative::TwoSided);

// The quantile t_{1 - a/2, df} of a two-sided interval at confidence level
// Cf = 100 (1 - a) percent (t_{1 - a, df} of a one-sided bound). NaN unless
// 0 < Cf < 100 and df is positive and finite.
double studentConfidenceQuantile(double Cf, double df, Alternative alternative = Alternative::TwoSided);

}  // namespace kappa
