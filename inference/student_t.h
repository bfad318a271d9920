// Inference against Student's t: the Wald test of a hypothesised value kappa0
// and the two-sided t interval, for the chance-corrected coefficients whose
// variance is the variance of a mean over subjects (t with n - 1 degrees of
// freedom).
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

// The Wald test of kappa0 for an estimate with standard error se, against t
// on df degrees of freedom, and the t interval at Cf percent:
//   statistic = (estimate - kappa0) / se, p = P(|T| >= |statistic|) (or the
//   tail of the alternative), interval = estimate -+ t_{1 - a/2, df} se, the
//   upper limit clipped at 1 (one-sided: the bound of the alternative).
// A standard error of 0 gives the one-point interval [estimate, min(1, estimate)]
// and no test: the statistic divides by 0 (zeroVariance, no p-value). A NaN
// estimate or standard error gives NaN everywhere but df.
WaldTest studentWald(double estimate, double se, double df, double kappa0, double Cf,
                     Alternative alternative = Alternative::TwoSided);

}  // namespace kappa
