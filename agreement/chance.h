// Chance agreement: raters who choose independently, each with its own
// observed marginal distribution over the categories.
#pragma once

#include <cstddef>
#include <span>

#include "tables/analysis_state.h"

namespace kappa {

// Multiplies the factors in order into `full` and, for every j, the factors
// other than factors[j] into without[j]. Each leave-one-out product is built
// from the other factors themselves, never by dividing the full product, so a
// factor of zero needs no special case.
template <typename Real>
void leaveOneOutProducts(std::span<const Real> factors, Real& full, std::span<Real> without) {
    // Each product takes in the other factors in order: the product leaving
    // out factor i starts as the running product of the factors before i and
    // then takes in the factors after it.
    const std::size_t R = factors.size();
    full = 1;
    for (std::size_t i = 0; i < R; ++i) {
        const Real t = factors[i];
        without[i] = full;
        full *= t;
        for (std::size_t j = 0; j < i; ++j) without[j] *= t;
    }
}

// Marginal proportions t_indice and the chance products built from them:
// ptotal and factorT per category, prodt and factorE per pattern. factorT is
// carried in long double: the unweighted variances are sums of its entries
// whose differences from one pattern to another can be far smaller than the
// entries themselves.
void Invariante(AnalysisState& s);

}  // namespace kappa
