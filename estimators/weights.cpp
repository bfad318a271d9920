#include "estimators/weights.h"

#include <cstdlib>

namespace kappa {

namespace {

// Four times the number of rater pairs that the most even split of the raters
// between two categories puts apart: R^2 for even R, (R - 1)(R + 1) for odd R.
double splitPairs(std::int32_t R) {
    const bool even = (R & 1) == 0;
    return even ? static_cast<double>(R * R) : static_cast<double>(R - 1) * static_cast<double>(R + 1);
}

}  // namespace

double quadraticFactor(std::int32_t K, std::int32_t R) {
    const double K1 = K - 1;
    return 4 / (splitPairs(R) * K1 * K1);
}

double linearFactor(std::int32_t K, std::int32_t R) { return 4 / (splitPairs(R) * (K - 1)); }

Quadratic_weight::Quadratic_weight(std::int32_t K, std::int32_t R)
    : factor_(quadraticFactor(K, R)),
      R_(R),
      sums_(static_cast<std::size_t>(R) + 1, 0),
      squares_(static_cast<std::size_t>(R) + 1, 0) {}

void Quadratic_weight::update(const PatternWalk& walk) {
    const auto d = walk.digits();
    for (std::size_t j = walk.firstChanged(); j < d.size(); ++j) {
        const std::int64_t x = d[j];
        sums_[j + 1] = sums_[j] + x;
        squares_[j + 1] = squares_[j] + x * x;
    }
}

Linear_weight::Linear_weight(std::int32_t K, std::int32_t R)
    : factor_(linearFactor(K, R)),
      K_(static_cast<std::size_t>(K)),
      byCategory_(K < R),
      pairs_(static_cast<std::size_t>(R) + 1, 0),
      chosen_(byCategory_ ? static_cast<std::size_t>(R) + 1 : 0, K_) {}

void Linear_weight::update(const PatternWalk& walk) {
    const auto d = walk.digits();
    for (std::size_t j = walk.firstChanged(); j < d.size(); ++j) {
        std::int64_t distance = 0;
        if (byCategory_) {
            const auto before = chosen_[j];
            const auto after = chosen_[j + 1];
            const auto dj = static_cast<std::int64_t>(d[j]);
            for (std::size_t k = 0; k < K_; ++k) {
                distance += before[k] * std::abs(dj - static_cast<std::int64_t>(k));
                after[k] = before[k];
            }
            ++after[d[j]];
        } else {
            for (std::size_t i = 0; i < j; ++i) distance += std::abs(int{d[j]} - int{d[i]});
        }
        pairs_[j + 1] = pairs_[j] + distance;
    }
}

}  // namespace kappa
