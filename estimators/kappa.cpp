#include "estimators/kappa.h"

#include <cmath>
#include <vector>

#include "agreement/pattern_walk.h"
#include "estimators/rounding.h"
#include "estimators/variance.h"

namespace kappa {

long double leaveOneOutSum(const Marginals& m, std::size_t k) {
    long double T = 0.0;
    for (const long double product : m.othersChoose[k]) T += product;
    return T;
}

double chanceDisagreement(const AgreementCounts& counts, const Marginals& m) {
    // Built rater by rater from terms that are never negative: raters 0..j do
    // not all agree when raters 0..j-1 already did not, or when all of those
    // chose some category k (probability A_k) and rater j chose another one
    // (probability 1 - t_kj, formed from the counts as (n - c_kj) / n).
    const auto K = static_cast<std::size_t>(counts.K);
    const auto R = static_cast<std::size_t>(counts.R);
    const double n = counts.n;
    std::vector<double> A(K, 1.0);
    double Q = 0.0;
    for (std::size_t j = 0; j < R; ++j) {
        for (std::size_t k = 0; k < K; ++k) {
            if (j > 0) Q += A[k] * ((n - static_cast<double>(counts.byCategoryAndRater[k][j])) / n);
            A[k] *= m.proportion[k][j];
        }
    }
    return Q;
}

UnweightedKappa coefficientKappa(const Study& study, const AgreementCounts& counts, const Marginals& m) {
    const auto K = static_cast<std::size_t>(counts.K);
    const double n = counts.n;
    UnweightedKappa u;

    for (std::size_t k = 0; k < K; ++k) u.observedAgreement += static_cast<double>(counts.unanimousIn[k]) / n;
    for (std::size_t k = 0; k < K; ++k) u.chanceAgreement += m.allChoose[k];
    // kappa = (I0 - Ie) / (1 - Ie), with 1 - Ie and 1 - I0 (the observed
    // disagreement) formed as such rather than by subtracting from 1, so that
    // kappa keeps all its digits when agreement is nearly complete.
    u.chanceDisagreement = chanceDisagreement(counts, m);
    const double D0 = (n - static_cast<double>(counts.unanimousSubjects)) / n;
    // I0 - Ie: Q sums R K products of up to R + 1 factors.
    const double R = counts.R;
    const double beyondChance = settled(u.chanceDisagreement - D0, roundingError(R * static_cast<double>(K) + R, u.chanceDisagreement + D0));
    u.kappa = beyondChance / u.chanceDisagreement;
    u.complement = beyondChance == 0 ? 1.0 : D0 / u.chanceDisagreement;

    // The variance of kappa is that over the subjects of g: f_k = 1 - (1 -
    // kappa) T_k for a subject on whom all raters chose k, and -(1 - kappa) U_p
    // for one on whom they did not, U_p the sum over raters of the
    // leave-one-out products of the categories they chose. Summed as squared
    // deviations from its mean it keeps its digits when it is far below the
    // mean square.
    const auto f = [&](std::size_t k) { return 1 - (1 - u.kappa) * leaveOneOutSum(m, k); };
    const auto forEachSubjectTerm = [&](auto term) {
        for (std::size_t k = 0; k < K; ++k) term(static_cast<double>(counts.unanimousIn[k]), f(k));
        RaterSum<long double> U(m.othersChoose);
        for (PatternWalk walk(counts.K, counts.R); !walk.done(); walk.next()) {
            U.update(walk);
            const std::int64_t F = study.frequency[walk.pattern()];
            if (F > 0 && !walk.allAgree()) term(static_cast<double>(F), -(1 - u.kappa) * U.value());
        }
    };
    Variance variance;
    forEachSubjectTerm([&](double F, long double g) { variance.addToMean(F, g); });
    forEachSubjectTerm([&](double F, long double g) { variance.addDeviation(F, g); });
    // Each g is within a few roundings of T or U (at most R) times 1 - kappa,
    // whose error comes from Q.
    const double gError = roundingError(R * static_cast<double>(K) + 2 * R, 1 + std::abs(1 - u.kappa) * R);
    u.varkappa = settledVariance(variance.value(), variance.spread(), gError) / n / (n * u.chanceDisagreement * u.chanceDisagreement);
    return u;
}

PointEstimate pointEstimate(const UnweightedKappa& kappa, double subjects) {
    return {.value = kappa.kappa, .complement = kappa.complement, .variance = kappa.varkappa,
            .observed = kappa.observedAgreement, .chance = kappa.chanceAgreement,
            .subjects = static_cast<std::int64_t>(subjects)};
}

}  // namespace kappa
