#pragma once

#include "tables/analysis_state.h"

namespace kappa {

// Hubert's kappa (Cohen's for two raters) and its large-sample variance:
// I0, Ie, Q, kappa, Xvalue, Yvalue, Zvalue and varkappa.
void coefficientKappa(AnalysisState& s);

// Q = 1 - Ie, the chance probability that the raters do not all agree, formed
// so that it keeps its digits when it is small.
double chanceDisagreement(const AnalysisState& s);

// T_k: the sum over raters of the leave-one-rater-out chance products of category k.
long double leaveOneOutSum(const AnalysisState& s, std::size_t k);

// U_p: for each rater j, the leave-rater-j-out product of the category rater j
// chose in pattern p, summed over the raters.
long double patternLeaveOneOutSum(const AnalysisState& s, std::size_t p);

}  // namespace kappa
