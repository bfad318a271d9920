// The printed reports: the unweighted report of case 1 and the weighted
// report of cases 2 and 3. Each reports kappa with its standard error, the
// Wald test of the kappa under test with the Wald interval, the restricted
// test with the interval found by inverting it, and the independence test.
#pragma once

#include "console/console.h"
#include "tables/analysis_state.h"

namespace kappa {

// The outcome of the restricted inferences at the kappa under test.
struct RestrictedInference {
    bool negativeVariance = false;  // the restricted variance is below 0: no statistic
    double T0 = 0.0;                // restricted test statistic
    bool noSolution = false;        // the interval equation has no real root
    double L = 0.0, U = 0.0;        // interval limits, U clipped at 1
};

// A weighted coefficient set and the restricted test of kp with its
// inverted interval, for the scale factor d = z^2 / (n Q^2).
struct WeightedSet {
    double kappa, varkappa;  // estimate and its variance
    double Q;                // chance-expected disagreement
    double a, b, c;          // restricted-variance coefficients
    double m;                // independence variance term
};
RestrictedInference weightedRestrictedInference(const WeightedSet& w, double kp, double d, double z, double n);

// Case 1: computes kappa and prints its report.
void unweightedReport(AnalysisState& s, Console& con, double z);

// Cases 2 and 3: computes the weights (case 3), the weighted kappas and prints
// one block (case 2) or a QUADRATIC and a LINEAR block (case 3).
void weightedReport(AnalysisState& s, Console& con, double z);

}  // namespace kappa
