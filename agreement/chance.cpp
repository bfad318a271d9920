#include "agreement/chance.h"

#include <vector>

namespace kappa {

void leaveOneOutProducts(std::span<const double> factors, double& full, std::span<double> without) {
    // Each product takes in the other factors in order: the product leaving
    // out factor i starts as the running product of the factors before i and
    // then takes in the factors after it.
    const std::size_t R = factors.size();
    full = 1.0;
    for (std::size_t i = 0; i < R; ++i) {
        const double t = factors[i];
        without[i] = full;
        full *= t;
        for (std::size_t j = 0; j < i; ++j) without[j] *= t;
    }
}

void Invariante(AnalysisState& s) {
    const std::size_t P = patternCount(s);
    const auto R = static_cast<std::size_t>(s.R);
    const auto K = static_cast<std::size_t>(s.K);
    const double n = s.Naux;

    s.t_indice.reset(K, R);
    for (std::size_t k = 0; k < K; ++k)
        for (std::size_t j = 0; j < R; ++j) s.t_indice[k][j] = (s.failaux[k][j] + s.successaux[k]) / n;

    s.ptotal.resize(K);
    s.factorT.reset(K, R);
    for (std::size_t k = 0; k < K; ++k) leaveOneOutProducts(s.t_indice[k], s.ptotal[k], s.factorT[k]);

    s.prodt.resize(P);
    s.factorE.reset(P, R);
    std::vector<double> t(R);  // the proportions of the categories chosen in pattern p
    for (std::size_t p = 0; p < P; ++p) {
        for (std::size_t j = 0; j < R; ++j) t[j] = s.t_indice[s.indice[p][j]][j];
        leaveOneOutProducts(t, s.prodt[p], s.factorE[p]);
    }
}

}  // namespace kappa
