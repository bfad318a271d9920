// Coefficients of the restricted variance, the variance of kappa evaluated
// under a hypothesised value k0 instead of at the estimate, and the variance
// terms of the independence tests.
#pragma once

#include "agreement/chance.h"
#include "agreement/patterns.h"
#include "estimators/kappa.h"
#include "estimators/weighted_kappa.h"
#include "tables/study.h"

namespace kappa {

// Unweighted: the restricted variance at k0 is
//   (a (1 - k0)^2 - 2 b (1 - k0)) / (n Q^2)
// and independenceVariance is the variance term of the independence test.
// The errors bound the rounding errors of a and b (estimators/rounding.h);
// independenceVariance is exactly 0 when it is within its own.
struct UnweightedRestricted {
    double a = 0.0, b = 0.0;
    double independenceVariance = 0.0;
    double aError = 0.0, bError = 0.0;
};
UnweightedRestricted unweightedRestricted(const Study& study, const AgreementCounts& counts, const Marginals& m,
                                  const UnweightedKappa& kappa);

// Weighted, for one weight set: with u = 1 - k0 the restricted variance is
//   (c + u^2 a - 2 u b) / (Q^2 n)
// and weightedIndependenceVariance is the variance term of the independence test.
struct WeightedRestricted {
    double chanceDisagreement = 0.0;  // Q, the sum of v_p patternChance_p
    double chanceAgreement = 0.0;     // 1 - Q
    double a = 0.0, b = 0.0, c = 0.0;
    double weightedIndependenceVariance = 0.0;
    double aError = 0.0, bError = 0.0, cError = 0.0;  // as in UnweightedRestricted
};
WeightedRestricted weightedRestricted(const Study& study, const AgreementCounts& counts, const Marginals& m,
                                const WeightedKappa& kappa);

}  // namespace kappa
