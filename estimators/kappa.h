#pragma once

#include "tables/analysis_state.h"

namespace kappa {

// Hubert's kappa (Cohen's for two raters) and its large-sample variance:
// I0, Ie, kappa, Xvalue, Yvalue, Zvalue and varkappa.
void coefficientKappa(AnalysisState& s);

// T_k: the sum over raters of the leave-one-rater-out chance products of category k.
double leaveOneOutSum(const AnalysisState& s, std::size_t k);

// U_p: for each rater j, the leave-rater-j-out product of the category rater j
// chose in pattern p, summed over the raters.
double patternLeaveOneOutSum(const AnalysisState& s, std::size_t p);

}  // namespace kappa
