#include "agreement/chance.h"

#include <vector>

namespace kappa {

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
    std::vector<double> without(R);
    std::vector<long double> t(R);
    long double full = 0;
    for (std::size_t k = 0; k < K; ++k) {
        leaveOneOutProducts<double>(s.t_indice[k], s.ptotal[k], without);
        for (std::size_t j = 0; j < R; ++j) t[j] = static_cast<long double>(s.clases[k][j]) / n;
        leaveOneOutProducts<long double>(t, full, s.factorT[k]);
    }

    s.prodt.resize(P);
    s.factorE.reset(P, R);
    std::vector<double> chosen(R);  // the proportions of the categories chosen in pattern p
    for (std::size_t p = 0; p < P; ++p) {
        for (std::size_t j = 0; j < R; ++j) chosen[j] = s.t_indice[s.indice[p][j]][j];
        leaveOneOutProducts<double>(chosen, s.prodt[p], s.factorE[p]);
    }
}

}  // namespace kappa
