#include "estimators/weights.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

namespace kappa {

namespace {

// Each weight is factor x S_p, where S_p sums a distance between the
// categories of every pair of raters j < j' in pattern p. The distances are
// small integers (K^R <= 2^20 keeps S_p below 2^21), so S_p is exact however
// it is summed, and is formed in integer arithmetic.
template <typename PairSum>
void scaledPairSums(const AnalysisState& s, double factor, PairSum pairSum, std::vector<double>& v) {
    const std::size_t P = patternCount(s);
    v.resize(P);
    for (std::size_t p = 0; p < P; ++p) v[p] = factor * static_cast<double>(pairSum(s.indice[p]));
}

// The sum over pairs of (d_j - d_j')^2, as R sum d_j^2 - (sum d_j)^2.
std::int64_t squaredPairSum(std::span<const std::uint16_t> d) {
    std::int64_t sum = 0, squares = 0;
    for (const std::int64_t x : d) {
        sum += x;
        squares += x * x;
    }
    return static_cast<std::int64_t>(d.size()) * squares - sum * sum;
}

// The sum over pairs of |d_j - d_j'|, pair by pair.
std::int64_t absolutePairSum(std::span<const std::uint16_t> d) {
    std::int64_t S = 0;
    for (std::size_t j = 0; j + 1 < d.size(); ++j)
        for (std::size_t jj = j + 1; jj < d.size(); ++jj) S += std::abs(int{d[j]} - int{d[jj]});
    return S;
}

// The same sum by category boundaries: a pair lies |d_j - d_j'| boundaries
// apart, and the boundary below category t separates the raters under t from
// the others. Costs R + K steps a pattern instead of R (R - 1) / 2.
class BoundaryPairSum {
public:
    explicit BoundaryPairSum(std::size_t K) : counts_(K) {}

    std::int64_t operator()(std::span<const std::uint16_t> d) {
        std::fill(counts_.begin(), counts_.end(), 0);
        for (const std::uint16_t x : d) ++counts_[x];
        const auto R = static_cast<std::int64_t>(d.size());
        std::int64_t below = 0, S = 0;
        for (std::size_t t = 1; t < counts_.size(); ++t) {
            below += counts_[t - 1];
            S += below * (R - below);
        }
        return S;
    }

private:
    std::vector<std::int64_t> counts_;
};

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
    scaledPairSums(s, factor, squaredPairSum, s.weight);
}

void Linear_weight(AnalysisState& s) {
    const double factor = 4 / (splitPairs(s) * (s.K - 1));
    // Many raters and few categories: counting by boundaries is the cheaper way.
    const std::int64_t R = s.R, K = s.K;
    if (R + K <= R * (R - 1) / 2)
        scaledPairSums(s, factor, BoundaryPairSum(static_cast<std::size_t>(K)), s.weightlinear);
    else
        scaledPairSums(s, factor, absolutePairSum, s.weightlinear);
}

}  // namespace kappa
