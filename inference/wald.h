// The Wald test of a kappa under test and the Wald interval, for every
// estimator's point estimate: the statistic (kappa - kappa0) / se referred to
// the estimate's distribution (the standard normal, or Student's t), and the
// interval kappa -+ c se with the critical value c of that distribution.
#pragma once

#include <cstdint>
#include <string>

#include "estimators/point_estimate.h"
#include "inference/estimate.h"

namespace kappa {

// The p-value of a statistic referred to the standard normal, in the tail of
// the alternative: P(|Z| >= |statistic|), P(Z >= statistic) or P(Z <= statistic).
double normalPValue(double statistic, Alternative alternative = Alternative::TwoSided);

// The Wald test of kappa0 for point estimate p, and its interval with
// half-width `critical` se (the critical value of the alternative's interval):
//   statistic = (kappa - kappa0) / se, the difference taken from 1 - kappa
//   where the estimate has it apart and kappa0 >= 1/2 (see fromTested);
//   p = P(|T| >= |statistic|) (or the alternative's tail) for T of p's distribution;
//   interval = kappa -+ critical se, the upper limit clipped at 1 (one-sided:
//   the alternative's bound).
// A standard error of exactly 0 gives the one-point interval [kappa, min(1,
// kappa)] and no test: the statistic divides by 0 (zeroVariance, no p-value).
// A NaN estimate or standard error gives NaN everywhere but df.
WaldTest waldTest(const PointEstimate& p, double kappa0, double critical, Alternative alternative);

// kappa - kappa0. Near 1 a kappa keeps only the leading digits of its distance
// from 1, which its complement 1 - kappa keeps in full: from a kappa0 of 1/2
// up, where 1 - kappa0 is exact, the difference is (1 - kappa0) - (1 - kappa).
double fromTested(const PointEstimate& p, double kappa0);

// The estimate of coefficient c with weights w among `raters` raters: its
// point estimate with the Wald test and interval.
Estimate waldEstimate(Coefficient c, Weighting w, std::int32_t raters, PointEstimate p, double kappa0,
                      double critical, Alternative alternative);

}  // namespace kappa
