// Hubert's kappa (Cohen's for two raters) and its large-sample variance.
#pragma once

#include <cstddef>

#include "agreement/chance.h"
#include "agreement/patterns.h"
#include "estimators/point_estimate.h"
#include "tables/study.h"

namespace kappa {

struct UnweightedKappa {
    double observedAgreement = 0.0;  // I0: the proportion of subjects on whom all raters agree
    double chanceAgreement = 0.0;    // Ie
    double chanceDisagreement = 0.0;  // Q = 1 - Ie, formed so that a small one keeps its digits
    double kappa = 0.0;
    double complement = 0.0;  // 1 - kappa, as the ratio of observed to chance disagreement
    double varkappa = 0.0;    // the variance of kappa
};

UnweightedKappa coefficientKappa(const Study& study, const AgreementCounts& counts, const Marginals& m);

// Kappa as every estimator gives it, its statistic referred to the standard normal.
PointEstimate pointEstimate(const UnweightedKappa& kappa, double subjects);

// Q = 1 - Ie, the chance probability that the raters do not all agree.
double chanceDisagreement(const AgreementCounts& counts, const Marginals& m);

// T_k: the sum over raters of the leave-one-rater-out chance products of category k.
long double leaveOneOutSum(const Marginals& m, std::size_t k);

}  // namespace kappa
