#include "tables/analysis_state.h"

#include <cmath>

namespace kappa {

std::size_t patternCount(std::int32_t K, std::int32_t R) {
    return static_cast<std::size_t>(std::pow(static_cast<double>(K), static_cast<double>(R)));
}

std::size_t patternCount(const AnalysisState& s) { return patternCount(s.K, s.R); }

}  // namespace kappa
