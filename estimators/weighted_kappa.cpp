#include "estimators/weighted_kappa.h"

#include <algorithm>
#include <cmath>

#include "agreement/pattern_walk.h"
#include "estimators/rounding.h"
#include "estimators/variance.h"
#include "estimators/weights.h"

namespace kappa {

namespace {

// Kappa and its variance from the sums of the first pass.
void estimate(WeightedKappa& w, const Study& study, double n) {
    const std::size_t P = study.frequency.size();
    const double D = w.chanceDisagreement, D0 = w.observedDisagreement;
    w.complement = D0 / D;
    w.kappa = 1 - w.complement;
    // Chance less observed disagreement, each a sum over the patterns.
    const double R = study.R;
    w.operations = static_cast<double>(P) + 4 * R;
    if (D > 0 && settled(D - D0, roundingError(w.operations, D + D0)) == 0) {
        w.complement = 1.0;
        w.kappa = 0.0;
    }

    w.vbarSum.resize(P);
    RaterSum<double> s(w.vbar);
    for (PatternWalk walk(study.K, study.R); !walk.done(); walk.next()) {
        s.update(walk);
        w.vbarSum[walk.pattern()] = s.value();
    }

    // Each subject contributes e_p = v_p - s_p (1 - kappa): the variance of
    // kappa is that of e_p / (chance disagreement) over the subjects, divided by n. Summed as
    // squared deviations from the mean it keeps its digits when it is far
    // below the mean square.
    const auto residual = [&](std::size_t p) { return w.v[p] - w.vbarSum[p] * (1 - w.kappa); };
    Variance variance;
    for (std::size_t p = 0; p < P; ++p) {
        variance.addToMean(static_cast<double>(study.frequency[p]), residual(p));
        w.largestWeight = std::max(w.largestWeight, std::abs(w.v[p]));
    }
    for (std::size_t p = 0; p < P; ++p) variance.addDeviation(static_cast<double>(study.frequency[p]), residual(p));
    // s_p sums R entries of vbar, each a sum over patterns of weights times
    // probabilities: at most R times the largest weight.
    const double residualError =
        roundingError(w.operations, w.largestWeight * (1 + R * (1 + std::abs(1 - w.kappa))));
    w.varkappa = settledVariance(variance.value(), variance.spread(), residualError) / (n * D * D) / n;
}

}  // namespace

std::vector<WeightedKappa> weightedKappas(const Study& study, const AgreementCounts& counts,
                                                   const Marginals& m, std::vector<PatternWeights> sets) {
    const auto R = static_cast<std::size_t>(study.R);
    const std::size_t P = study.frequency.size();
    const double n = counts.n;
    std::vector<WeightedKappa> results(sets.size());
    for (WeightedKappa& w : results) {
        w.v.resize(P);
        w.vbar.reset(static_cast<std::size_t>(study.K), R);
    }

    // Observed and chance disagreement, and the leave-one-out sums vbar.
    ChanceProducts chance(m.proportion, true);
    for (PatternWalk walk(study.K, study.R); !walk.done(); walk.next()) {
        const std::size_t p = walk.pattern();
        chance.update(walk);
        const double F = static_cast<double>(study.frequency[p]);
        const auto d = walk.digits();
        const auto E = chance.withoutRater();
        for (std::size_t set = 0; set < sets.size(); ++set) {
            WeightedKappa& w = results[set];
            const double v = w.v[p] = std::visit(
                [&](auto& weights) {
                    weights.update(walk);
                    return weights.value();
                },
                sets[set]);
            w.observedDisagreement += (F * v) / n;
            w.chanceDisagreement += v * m.patternChance[p];
            for (std::size_t j = 0; j < R; ++j) w.vbar[d[j]][j] += E[j] * v;
        }
    }
    for (WeightedKappa& w : results) estimate(w, study, n);
    return results;
}

PointEstimate pointEstimate(const WeightedKappa& kappa, double subjects) {
    return {.value = kappa.kappa, .complement = kappa.complement, .variance = kappa.varkappa,
            .observed = kappa.observedDisagreement, .chance = kappa.chanceDisagreement,
            .subjects = static_cast<std::int64_t>(subjects)};
}

}  // namespace kappa
