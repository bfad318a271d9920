// Inference against Student's t: the Wald test of a hypothesised value kappa0
// and the two-sided t interval, for the chance-corrected coefficients whose
// variance is the variance of a mean over subjects (t with n - 1 degrees of
// freedom).
#pragma once

#include "inference/estimate.h"

namespace kappa {

// P(|T| >= |t|) for T with Student's t distribution on df degrees of freedom.
// 0 for an infinite t; NaN when t is NaN or df is not a positive finite number.
double studentTwoSidedP(double t, double df);

// The quantile t_{1 - a/2, df} of a two-sided interval at confidence level
// Cf = 100 (1 - a) percent. NaN unless 0 < Cf < 100 and df is positive and finite.
double studentConfidenceQuantile(double Cf, double df);

// The Wald test of kappa0 for an estimate with standard error se, against t
// on df degrees of freedom, and the t interval at Cf percent:
//   statistic = (estimate - kappa0) / se, p = P(|T| >= |statistic|),
//   interval = estimate -+ t_{1 - a/2, df} se, the upper limit clipped at 1.
// A standard error of 0 gives the one-point interval [estimate, min(1, estimate)],
// an infinite statistic with p = 0 when estimate != kappa0, and no statistic
// (NaN, 0 / 0) when estimate == kappa0. A NaN estimate or standard error gives
// NaN everywhere but df.
WaldTest studentWald(double estimate, double se, double df, double kappa0, double Cf);

}  // namespace kappa
