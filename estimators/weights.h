// Disagreement weights derived from the response patterns (case 3). Each sums
// over all pairs of raters the distance between their categories, squared or
// absolute, scaled so that the largest possible value is 1.
#pragma once

#include "tables/analysis_state.h"

namespace kappa {

// Quadratic disagreement weights into weight.
void Quadratic_weight(AnalysisState& s);

// Linear disagreement weights into weightlinear.
void Linear_weight(AnalysisState& s);

}  // namespace kappa
