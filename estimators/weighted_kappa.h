// Shuster and Smith's weighted kappa for R raters from disagreement weights v
// (0 where all raters agree), with its estimated variance.
#pragma once

#include <vector>

#include "agreement/chance.h"
#include "estimators/point_estimate.h"
#include "estimators/weights.h"
#include "tables/large_allocator.h"
#include "tables/matrix.h"
#include "tables/study.h"

namespace kappa {

struct WeightedKappa {
    double observedDisagreement = 0.0;  // the observed mean disagreement
    double chanceDisagreement = 0.0;    // disagreement expected by chance, the sum of v_p prodt_p
    double kappa = 0.0;                 // 1 - observed / chance disagreement
    double complement = 0.0;            // 1 - kappa = observed / chance disagreement
    double varkappa = 0.0;  // the variance of kappa
    // For the bounds on rounding errors (estimators/rounding.h): the largest
    // weight, and the roundings of a sum over the patterns.
    double largestWeight = 0.0;
    double operations = 0.0;
    // vbar[k][j]: the sum of withoutRater[p][j] v_p over the patterns in which
    // rater j answers k: the expected weight when rater j answers k and the
    // others answer by chance.
    Matrix<double> vbar;
    // Per pattern: the weight v_p, and s_p = the sum over raters j of
    // vbar[k][j] for the category k that j chose.
    PatternVector<double> v;
    PatternVector<double> vbarSum;
};

// Weighted kappa for each set of weights. The chance products of a pattern
// are formed once for all the sets.
std::vector<WeightedKappa> weightedKappas(const Study& study, const AgreementCounts& counts,
                                                   const Marginals& m, std::vector<PatternWeights> sets);

// Weighted kappa as every estimator gives it, its statistic referred to the
// standard normal; observed and chance are disagreements.
PointEstimate pointEstimate(const WeightedKappa& kappa, double subjects);

}  // namespace kappa
