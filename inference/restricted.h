// Coefficients of the restricted variance, the variance of kappa evaluated
// under a hypothesised value k0, and the variance terms of the independence
// tests.
#pragma once

#include <vector>

#include "tables/analysis_state.h"

namespace kappa {

// Unweighted: the restricted variance at k0 is
//   (a (1 - k0)^2 - 2 b (1 - k0)) / (n (1 - Ie)^2)
// and mmI is the variance term of the independence test. Writes a, b, c, d,
// mmI, Xvalue and Yvalue; reads the Ie of coefficientKappa.
void restricted_1(AnalysisState& s);

// The weighted coefficients of one weight set.
struct WeightedRestricted {
    double Q = 0.0;   // the chance-expected disagreement, sum of v_p pi_p
    double Ie = 0.0;  // 1 - Q
    double a = 0.0, b = 0.0, c = 0.0;
    double mmIv = 0.0;
    double Xvalue = 0.0, Yvalue = 0.0, Zvalue = 0.0;
};

// Weighted, for the weight set v: with u = 1 - k0 the
// restricted variance is (c + u^2 a - 2 u b) / (Q^2 n). Leaves vbar and
// xx[].vbarSum holding this set's values.
WeightedRestricted weightedRestricted(AnalysisState& s, const std::vector<double>& v);

// Both weight sets: Q, Ie, a, b, c, mmIv from weight and Qlinear, Ielinear,
// alinear, blinear, clinear, mmIvlinear from weightlinear; d is set to 0.
void restricted_2(AnalysisState& s);

}  // namespace kappa
