#include "agreement/chance.h"

#include <vector>

namespace kappa {

Marginals raterMarginals(const AgreementCounts& counts) {
    const auto R = static_cast<std::size_t>(counts.R);
    const auto K = static_cast<std::size_t>(counts.K);
    const double n = counts.n;
    Marginals m;

    m.t_indice.reset(K, R);
    for (std::size_t k = 0; k < K; ++k)
        for (std::size_t j = 0; j < R; ++j) m.t_indice[k][j] = static_cast<double>(counts.byCategoryAndRater[k][j]) / n;

    m.ptotal.resize(K);
    m.factorT.reset(K, R);
    std::vector<double> without(R);
    std::vector<long double> t(R);
    long double full = 0;
    for (std::size_t k = 0; k < K; ++k) {
        leaveOneOutProducts<double>(m.t_indice[k], m.ptotal[k], without);
        for (std::size_t j = 0; j < R; ++j) t[j] = static_cast<long double>(counts.byCategoryAndRater[k][j]) / n;
        leaveOneOutProducts<long double>(t, full, m.factorT[k]);
    }

    m.prodt.resize(patternCount(counts.K, counts.R));
    ChanceProducts chance(m.t_indice, false);
    for (PatternWalk walk(counts.K, counts.R); !walk.done(); walk.next()) {
        chance.update(walk);
        m.prodt[walk.pattern()] = chance.prodt();
    }
    return m;
}

}  // namespace kappa
