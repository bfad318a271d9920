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
void leaveOneOutProducts(std::span<const double> factors, double& full, std::span<double> without);

// Marginal proportions t_indice and the chance products built from them:
// ptotal and factorT per category, prodt and factorE per pattern.
void Invariante(AnalysisState& s);

}  // namespace kappa
