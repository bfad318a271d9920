#include "tables/analysis_state.h"

#include <cmath>

namespace kappa {

std::size_t patternCount(const AnalysisState& s) { return patternCount(s.K, s.R); }

}  // namespace kappa
