#include "agreement/chance.h"

#include <vector>

namespace kappa {

Marginals raterMarginals(const AgreementCounts& counts) {
    const auto R = static_cast<std::size_t>(counts.R);
    const auto K = static_cast<std::size_t>(counts.K);
    const double n = counts.n;
    Marginals m;

    m.proportion.reset(K, R);
    for (std::size_t k = 0; k < K; ++k)
        for (std::size_t j = 0; j < R; ++j) m.proportion[k][j] = static_cast<double>(counts.byCategoryAndRater[k][j]) / n;

    m.allChoose.resize(K);
    m.othersChoose.reset(K, R);
    std::vector<double> without(R);
    std::vector<long double> t(R);
    long double full = 0;
    for (std::size_t k = 0; k < K; ++k) {
        leaveOneOutProducts<double>(m.proportion[k], m.allChoose[k], without);
        for (std::size_t j = 0; j < R; ++j) t[j] = static_cast<long double>(counts.byCategoryAndRater[k][j]) / n;
        leaveOneOutProducts<long double>(t, full, m.othersChoose[k]);
    }

    m.patternChance.resize(patternCount(counts.K, counts.R));
    ChanceProducts chance(m.proportion, false);
    for (PatternWalk walk(counts.K, counts.R); !walk.done(); walk.next()) {
        chance.update(walk);
        m.patternChance[walk.pattern()] = chance.patternChance();
    }
    return m;
}

}  // namespace kappa
