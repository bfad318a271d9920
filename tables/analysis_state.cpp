#include "tables/analysis_state.h"

#include <cmath>

namespace kappa {

std::size_t patternCount(const AnalysisState& s) {
    return static_cast<std::size_t>(std::pow(static_cast<double>(s.K), static_cast<double>(s.R)));
}

}  // namespace kappa
