// Shuster and Smith's weighted kappa for R raters from disagreement weights v
// (0 where all raters agree), with its estimated variance.
#pragma once

#include <vector>

#include "tables/analysis_state.h"

namespace kappa {

// The results of one weight set.
struct WeightedEstimate {
    double I0 = 0.0;        // observed mean disagreement
    double Ie = 0.0;        // disagreement expected by chance
    double kappa = 0.0;
    double Yvalue = 0.0;
    double Zvalue = 0.0;
    double varkappa = 0.0;
};

// vbar[k][j]: the sum of E[p][j] v_p over the patterns in which rater j
// answers k; and, for every pattern, s_p = sum over j of vbar[cat[p][j]][j]
// into xx[p].vbarSum.
void vbarSums(AnalysisState& s, const std::vector<double>& v);

// Weighted kappa and its variance for the weight set v; leaves vbar and xx
// holding this set's working values.
WeightedEstimate weightedKappa(AnalysisState& s, const std::vector<double>& v);

// Weighted kappa from weight (kappa, varkappa) and from weightlinear
// (kappalinear, varkappalinear); in case 2 weightlinear is first made a copy
// of weight. I0, Ie, Yvalue and Zvalue keep the second set's values.
void coefficientKappa_Weight(AnalysisState& s);

}  // namespace kappa
