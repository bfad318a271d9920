#include "inference/analysis.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numeric>
#include <string>
#include <optional>
#include <vector>

#include "agreement/chance.h"
#include "agreement/patterns.h"
#include "estimators/coefficients.h"
#include "estimators/kappa.h"
#include "estimators/weighted_kappa.h"
#include "estimators/weights.h"
#include "inference/hubert_inference.h"
#include "inference/normal_quantile.h"
#include "inference/report_line.h"
#include "inference/restricted.h"
#include "inference/text.h"

namespace kappa {

namespace {

// Hubert's kappa for each of the weights, in order; nothing for weights it
// does not take.
std::vector<std::optional<Estimate>> hubertEstimates(const Study& study, const AgreementCounts& counts,
                                                     const Marginals& m, const std::vector<Weighting>& weights,
                                                     const HubertSetting& setting) {
    std::vector<std::optional<Estimate>> estimates(weights.size());
    std::vector<PatternWeights> sets;
    std::vector<std::size_t> weighted;  // the estimates the sets are for
    for (std::size_t i = 0; i < weights.size(); ++i) {
        switch (weights[i]) {
            case Weighting::None: {
                const UnweightedKappa kappa = coefficientKappa(study, counts, m);
                estimates[i] = unweightedEstimate(kappa, restricted_1(study, counts, m, kappa), setting);
                break;
            }
            case Weighting::Quadratic: sets.emplace_back(Quadratic_weight(study.K, study.R)); break;
            case Weighting::Linear: sets.emplace_back(Linear_weight(study.K, study.R)); break;
            case Weighting::File:
                if (study.fileWeight.size() == study.frequency.size()) sets.emplace_back(FileWeights(study.fileWeight));
                break;
            default: break;  // Hubert's kappa has no other weights
        }
        if (sets.size() > weighted.size()) weighted.push_back(i);
    }
    if (sets.empty()) return estimates;
    std::vector<WeightedKappa> kappas = coefficientKappa_Weight(study, counts, m, std::move(sets));
    for (std::size_t set = 0; set < kappas.size(); ++set) {
        const WeightedRestricted restricted = restricted_2(study, counts, m, kappas[set]);
        estimates[weighted[set]] = weightedEstimate(kappas[set], restricted, weights[weighted[set]], setting);
        kappas[set] = {};  // its per-pattern tables are no longer needed
    }
    return estimates;
}

// At two raters Conger's kappa is Cohen's, which Hubert's kappa gives too:
// one estimate, with two kinds of inference.
void noteCohenIsConger(Analysis& a) {
    if (a.raters != 2) return;
    for (Estimate& conger : a.estimates) {
        if (conger.coefficient != Coefficient::Conger) continue;
        const bool cohen = std::any_of(a.estimates.begin(), a.estimates.end(), [&](const Estimate& e) {
            return e.coefficient == Coefficient::Kappa && e.weights == conger.weights;
        });
        if (cohen)
            conger.notes.push_back(
                "with two raters Conger's kappa is Cohen's kappa, the same estimate with other inference: "
                "a standard error from the variance over subjects and Student's t, where Cohen's kappa has its "
                "large-sample variance, the normal distribution and the restricted and independence tests");
    }
}

// The ratings of each rater, by category; the range of their numbers.
void summariseRaters(const Study& study, const AgreementCounts& counts, Analysis& a) {
    const Matrix<std::int64_t> ratings = ratingsByRater(study, counts);
    std::vector<std::int64_t> totals;
    for (std::size_t j = 0; j < ratings.rows(); ++j) {
        const std::span<const std::int64_t> row = ratings[j];
        totals.push_back(std::accumulate(row.begin(), row.end(), std::int64_t{0}));
        if (ratings.rows() > kMostRatersListed) continue;
        a.raterSummary.push_back(RaterSummary{raterName(study, j), totals.back(), {row.begin(), row.end()}});
    }
    if (totals.empty()) return;
    std::sort(totals.begin(), totals.end());
    a.fewestRatings = totals.front();
    a.mostRatings = totals.back();
    const std::size_t middle = totals.size() / 2;
    a.medianRatings = totals.size() % 2 == 1 ? static_cast<double>(totals[middle])
                                             : (static_cast<double>(totals[middle - 1]) + static_cast<double>(totals[middle])) / 2;
    if (ratings.rows() > kMostRatersListed)
        a.notes.push_back("the " + std::to_string(ratings.rows()) + " raters are not listed one by one (more than " +
                          std::to_string(kMostRatersListed) + "): each gave from " + std::to_string(a.fewestRatings) +
                          " to " + std::to_string(a.mostRatings) + " ratings");
}

}  // namespace

Analysis analyse(const Study& study, const AnalysisRequest& request) {
    Analysis a;
    a.raters = study.R;
    a.categories = study.K;
    a.labels = study.labels;
    a.dropped = study.dropped;
    a.confidence = request.confidence;
    a.kappa0 = request.kappa0;
    a.alternative = request.alternative;
    a.z = confidenceQuantile(request.confidence, request.alternative);
    a.zExact = exactConfidenceQuantile(request.confidence, request.alternative);
    if (study.R < 2 || study.K < 2 || study.frequency.size() != patternCount(study.K, study.R)) {
        a.notes.push_back("an analysis needs at least two raters and two categories");
        return a;
    }

    const AgreementCounts counts = TablaInicial(study);
    summariseRaters(study, counts, a);
    a.subjects = static_cast<std::int64_t>(counts.n);
    for (const IncompleteSubjects& group : study.incomplete) a.subjects += group.count;
    a.rawAgreement = static_cast<double>(counts.crudo) / counts.n;
    a.rawAgreementSubjects = static_cast<std::int64_t>(counts.n);
    if (counts.n == 0)
        a.notes.push_back("no subject was rated by every rater: there is no raw agreement");
    else if (a.rawAgreementSubjects < a.subjects)
        a.notes.push_back(format("the raw agreement is that of the %lld subjects rated by every rater, not of all %lld",
                                 static_cast<long long>(a.rawAgreementSubjects), static_cast<long long>(a.subjects)));
    // The chance products, which only Hubert's kappa needs.
    const bool hubert = std::find(request.coefficients.begin(), request.coefficients.end(), Coefficient::Kappa) !=
                        request.coefficients.end();
    const Marginals m = hubert ? Invariante(counts) : Marginals{};
    const HubertSetting setting{counts.n, study.R, confidenceQuantile(request.confidence), request.kappa0,
                                request.alternative, a.z};

    // The critical value of the normal intervals falls short of the normal
    // quantile as the level grows.
    const bool zFallsShort = std::abs(a.z - a.zExact) > 0.001 * a.zExact;
    // The other coefficients keep their places in the order asked and are
    // computed below, weighting by weighting.
    struct Place {
        std::size_t index;
        Coefficient coefficient;
        Weighting weights;
    };
    std::vector<Place> places;
    for (const Coefficient coefficient : request.coefficients) {
        if (coefficient != Coefficient::Kappa) {
            for (const Weighting weights : request.weights)
                if (takesWeights(coefficient, weights)) {
                    places.push_back({a.estimates.size(), coefficient, weights});
                    a.estimates.emplace_back();
                }
            continue;
        }
        for (std::optional<Estimate>& e : hubertEstimates(study, counts, m, request.weights, setting)) {
            if (!e) continue;
            if (zFallsShort)
                e->notes.push_back(format("the critical value %.5f (a numerical integration) differs from the normal "
                                          "quantile %.5f by more than 0.1 %%",
                                          a.z, a.zExact));
            a.estimates.push_back(std::move(*e));
        }
    }
    // One weight matrix and one first pass over the subjects serve every
    // coefficient of a weighting, and only one weighting's are held at a time.
    for (const Weighting weights : request.weights) {
        std::optional<ChanceCorrectedStudy> shared;
        for (const Place& place : places) {
            if (place.weights != weights) continue;
            if (!shared) shared.emplace(study, weights);
            a.estimates[place.index] =
                shared->estimate(place.coefficient, request.confidence, request.kappa0, request.alternative);
        }
    }
    noteCohenIsConger(a);
    for (Estimate& e : a.estimates) addReportLine(e, a);
    return a;
}

}  // namespace kappa
