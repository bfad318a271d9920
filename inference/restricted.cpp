#include "inference/restricted.h"

#include "agreement/pattern_walk.h"
#include "estimators/rounding.h"
#include "estimators/variance.h"

namespace kappa {

UnweightedRestricted unweightedRestricted(const Study& study, const AgreementCounts& counts, const Marginals& m,
                                  const UnweightedKappa& kappa) {
    const auto K = static_cast<std::size_t>(counts.K);
    const double n = counts.n;
    const double R1 = counts.R - 1;
    UnweightedRestricted r;

    double Xvalue = 0.0;
    for (std::size_t k = 0; k < K; ++k) Xvalue += static_cast<double>(counts.unanimousIn[k]) * leaveOneOutSum(m, k) / n;

    // Every pattern, observed or not and whether or not its raters agree. The
    // independence term is the variance, under the chance probabilities, of
    // delta_p - U_p (delta_p = 1 on an all-agree pattern): summed as squared
    // deviations from its mean it keeps its digits when it is far below the
    // sum of the squares, as when one category takes nearly every subject.
    const auto forEachPattern = [&](auto visit) {
        RaterSum<long double> U(m.othersChoose);
        for (PatternWalk walk(counts.K, counts.R); !walk.done(); walk.next()) {
            U.update(walk);
            const std::size_t p = walk.pattern();
            const double delta = walk.allAgree() ? 1.0 : 0.0;
            visit(study.frequency[p], U.value(), m.patternChance[p], delta - U.value());
        }
    };
    double Yvalue = 0.0;
    Variance independence;
    forEachPattern([&](std::int64_t F, long double U, double patternChance, long double g) {
        Yvalue += F * U * U / n;
        independence.addToMean(patternChance, g);
    });
    forEachPattern([&](std::int64_t, long double, double patternChance, long double g) { independence.addDeviation(patternChance, g); });

    const double agreeing = 1 + R1 * kappa.chanceAgreement;
    const double half = (1 + (2.0 * counts.R - 1) * kappa.chanceAgreement) / 2;
    r.a = Yvalue - agreeing * agreeing;
    r.b = Xvalue - half;
    // Yvalue sums over the patterns, Xvalue over the categories, of U or T
    // (at most R, a few roundings each) times counts.
    const double R = counts.R, P = static_cast<double>(study.frequency.size());
    r.aError = roundingError(P + R * static_cast<double>(K) + 2 * R, Yvalue + agreeing * agreeing);
    r.bError = roundingError(R * static_cast<double>(K) + 2 * R, Xvalue + half);
    r.independenceVariance = settledVariance(independence.value(), independence.spread(), roundingError(2 * R, 1 + R));
    return r;
}

WeightedRestricted weightedRestricted(const Study& study, const AgreementCounts& counts, const Marginals& m,
                                const WeightedKappa& kappa) {
    const std::size_t P = study.frequency.size();
    const double n = counts.n;
    const double R1 = counts.R - 1;
    WeightedRestricted w;
    w.chanceDisagreement = kappa.chanceDisagreement;  // the same sum of v_p prodt_p
    w.chanceAgreement = 1 - w.chanceDisagreement;

    double Xvalue = 0.0, Yvalue = 0.0, Zvalue = 0.0;
    for (std::size_t p = 0; p < P; ++p) {
        const double F = static_cast<double>(study.frequency[p]);
        const double v = kappa.v[p], s = kappa.vbarSum[p];
        Xvalue += (F * v * s) / n;
        Yvalue += (F * s * s) / n;
        Zvalue += (F * v * v) / n;
    }
    w.a = Yvalue - R1 * w.chanceDisagreement * R1 * w.chanceDisagreement;
    w.b = Xvalue;
    w.c = Zvalue;
    // Sums over the patterns of terms that are never negative.
    w.aError = roundingError(kappa.operations, Yvalue + R1 * w.chanceDisagreement * R1 * w.chanceDisagreement);
    w.bError = roundingError(kappa.operations, Xvalue);
    w.cError = roundingError(kappa.operations, Zvalue);

    // M - ((R - 1) Q)^2 is the variance of v_p - s_p under the chance
    // probabilities (its mean is -(R - 1) Q): summed as squared deviations
    // from the mean it keeps its digits when it is far below M.
    Variance independence;
    for (std::size_t p = 0; p < P; ++p) independence.addToMean(m.patternChance[p], kappa.v[p] - kappa.vbarSum[p]);
    for (std::size_t p = 0; p < P; ++p) independence.addDeviation(m.patternChance[p], kappa.v[p] - kappa.vbarSum[p]);
    w.weightedIndependenceVariance = settledVariance(independence.value(), independence.spread(),
                             roundingError(kappa.operations, kappa.largestWeight * (1 + counts.R)));
    return w;
}

}  // namespace kappa
