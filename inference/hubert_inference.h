// The inferences of Hubert's kappa (Cohen's for two raters), weighted or not:
// the Wald test of the kappa under test with the Wald interval, the restricted
// test with the interval found by inverting it, and the test of independence,
// each referred to the standard normal.
#pragma once

#include <cstdint>

#include "estimators/kappa.h"
#include "estimators/weighted_kappa.h"
#include "inference/estimate.h"
#include "inference/restricted.h"

namespace kappa {

struct HubertSetting {
    double n = 0.0;       // subjects
    std::int32_t R = 0;   // raters
    double z = 0.0;       // critical value of the two-sided intervals
    double kappa0 = 0.0;  // kappa under test
    Alternative alternative = Alternative::TwoSided;
    double zOneSided = 0.0;  // critical value of the one-sided bounds

    // The critical value of the intervals of the alternative.
    double critical() const { return alternative == Alternative::TwoSided ? z : zOneSided; }
};

// Unweighted: one restricted test, basis none.
Estimate unweightedEstimate(const UnweightedKappa& kappa, const UnweightedRestricted& restricted,
                            const HubertSetting& setting);

// Weighted: restricted tests based on the disagreement weights v and on the
// agreement weights w = 1 - v.
Estimate weightedEstimate(const WeightedKappa& kappa, const WeightedRestricted& restricted, Weighting weights,
                          const HubertSetting& setting);

}  // namespace kappa
