// Chance agreement: raters who choose independently, each with its own
// observed marginal distribution over the categories.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "agreement/pattern_walk.h"
#include "agreement/patterns.h"
#include "tables/large_allocator.h"
#include "tables/matrix.h"

namespace kappa {

// Multiplies the factors in order into `full` and, for every j, the factors
// other than factors[j] into without[j]. Each leave-one-out product is built
// from the other factors themselves, in order, never by dividing the full
// product, so a factor of zero needs no special case.
template <typename Real>
void leaveOneOutProducts(std::span<const Real> factors, Real& full, std::span<Real> without) {
    // The product leaving out factor i starts as the running product of the
    // factors before i and then takes in the factors after it.
    const std::size_t R = factors.size();
    full = 1;
    for (std::size_t i = 0; i < R; ++i) {
        const Real t = factors[i];
        without[i] = full;
        full *= t;
        for (std::size_t j = 0; j < i; ++j) without[j] *= t;
    }
}

struct Marginals {
    Matrix<double> proportion;       // proportion[k][j]: proportion of category k for rater j
    std::vector<double> allChoose;    // allChoose[k]: product over raters of proportion[k][j]
    // othersChoose[k][j]: the same product leaving rater j out. Carried in long
    // double: the unweighted variances are sums of these entries whose
    // differences from one pattern to the next can be far smaller than the
    // entries themselves.
    Matrix<long double> othersChoose;
    // patternChance[p]: the chance probability of pattern p, the product over raters
    // of the proportion of the category each chose. Its leave-one-rater-out
    // products are formed when needed, during a pattern walk (ChanceProducts).
    PatternVector<double> patternChance;
};

// The marginal proportions and the chance products.
Marginals raterMarginals(const AgreementCounts& counts);

}  // namespace kappa
