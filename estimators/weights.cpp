#include "estimators/weights.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace kappa {

namespace {

// Fills `v` with factor x the sum over rater pairs j < j' of distance(d_j - d_j').
// The distances are small integers (K^R <= 2^20 keeps the sum below 2^21), so
// the sum is exact and is formed in integer arithmetic.
template <typename Distance>
void pairwiseWeights(const AnalysisState& s, double factor, Distance distance, std::vector<double>& v) {
    const std::size_t P = patternCount(s);
    const auto R = static_cast<std::size_t>(s.R);
    v.resize(P);
    for (std::size_t p = 0; p < P; ++p) {
        const auto cat = s.indice[p];
        std::int32_t S = 0;
        for (std::size_t j = 0; j + 1 < R; ++j)
            for (std::size_t jj = j + 1; jj < R; ++jj) S += distance(int{cat[j]} - int{cat[jj]});
        v[p] = factor * static_cast<double>(S);
    }
}

// Four times the number of rater pairs that the most even split of the raters
// between two categories puts apart: R^2 for even R, (R - 1)(R + 1) for odd R.
double splitPairs(const AnalysisState& s) {
    const bool even = (s.R & 1) == 0;
    return even ? static_cast<double>(s.R * s.R) : static_cast<double>(s.R - 1) * static_cast<double>(s.R + 1);
}

}  // namespace

void Quadratic_weight(AnalysisState& s) {
    const double K1 = s.K - 1;
    const double factor = 4 / (splitPairs(s) * K1 * K1);
    pairwiseWeights(s, factor, [](int diff) { return diff * diff; }, s.weight);
}

void Linear_weight(AnalysisState& s) {
    const double factor = 4 / (splitPairs(s) * (s.K - 1));
    pairwiseWeights(s, factor, [](int diff) { return std::abs(diff); }, s.weightlinear);
}

}  // namespace kappa
