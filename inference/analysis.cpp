#include "inference/analysis.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <functional>
#include <numeric>
#include <string>
#include <optional>
#include <vector>

#include "agreement/chance.h"
#include "agreement/patterns.h"
#include "estimators/kappa.h"
#include "estimators/weighted_kappa.h"
#include "estimators/weights.h"
#include "inference/chance_corrected.h"
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
                estimates[i] = unweightedEstimate(kappa, unweightedRestricted(study, counts, m, kappa), setting);
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
    std::vector<WeightedKappa> kappas = weightedKappas(study, counts, m, std::move(sets));
    for (std::size_t set = 0; set < kappas.size(); ++set) {
        const WeightedRestricted restricted = weightedRestricted(study, counts, m, kappas[set]);
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

// The least, median and largest of values given with how many times each
// occurs (none: 0, NaN and 0).
void spread(std::vector<std::pair<std::int64_t, std::int64_t>> values, std::int64_t& least, double& median,
            std::int64_t& largest) {
    std::erase_if(values, [](const auto& v) { return v.second <= 0; });
    if (values.empty()) return;
    std::sort(values.begin(), values.end());
    std::int64_t total = 0;
    for (const auto& v : values) total += v.second;
    // The value at 0-based position i of the sorted values.
    const auto at = [&](std::int64_t i) {
        for (const auto& [value, count] : values) {
            if (i < count) return value;
            i -= count;
        }
        return values.back().first;
    };
    least = values.front().first;
    largest = values.back().first;
    median = total % 2 == 1 ? static_cast<double>(at(total / 2))
                            : (static_cast<double>(at(total / 2 - 1)) + static_cast<double>(at(total / 2))) / 2;
}

// The ratings of each rater, by category (`ratings[j][k]`, or a row of
// totals only beyond kMostRatersListed raters); the range of their numbers.
void summariseRaters(const Study& study, std::size_t raters,
                     const std::function<std::int64_t(std::size_t j, std::vector<std::int64_t>* counts)>& rater,
                     Analysis& a) {
    std::vector<std::pair<std::int64_t, std::int64_t>> totals;
    std::vector<std::int64_t> counts;
    const bool listed = raters <= kMostRatersListed;
    for (std::size_t j = 0; j < raters; ++j) {
        const std::int64_t total = rater(j, listed ? &counts : nullptr);
        totals.emplace_back(total, 1);
        if (!listed) continue;
        a.raterSummary.push_back(RaterSummary{raterName(study, j), total, counts});
    }
    spread(std::move(totals), a.fewestRatings, a.medianRatings, a.mostRatings);
    if (!listed)
        a.notes.push_back("the " + std::to_string(raters) + " raters are not listed one by one (more than " +
                          std::to_string(kMostRatersListed) + "): each gave from " + std::to_string(a.fewestRatings) +
                          " to " + std::to_string(a.mostRatings) + " ratings");
}

// The raters, subjects and raw agreement of a study with its table of
// response patterns; its counts, which Hubert's kappa reads.
AgreementCounts describeTable(const Study& study, Analysis& a) {
    const AgreementCounts counts = tallyAgreement(study);
    const Matrix<std::int64_t> ratings = ratingsByRater(study, counts);
    summariseRaters(study, ratings.rows(), [&](std::size_t j, std::vector<std::int64_t>* byCategory) {
        const std::span<const std::int64_t> row = ratings[j];
        if (byCategory) byCategory->assign(row.begin(), row.end());
        return std::accumulate(row.begin(), row.end(), std::int64_t{0});
    }, a);
    std::vector<std::pair<std::int64_t, std::int64_t>> perSubject{{study.R, static_cast<std::int64_t>(counts.n)}};
    a.subjects = static_cast<std::int64_t>(counts.n);
    for (const IncompleteSubjects& group : study.incomplete) {
        const auto rated = std::count_if(group.codes.begin(), group.codes.end(), [](std::uint16_t c) { return c != kMissing; });
        if (rated == 0) continue;
        a.subjects += group.count;
        perSubject.emplace_back(rated, group.count);
    }
    spread(std::move(perSubject), a.fewestPerSubject, a.medianPerSubject, a.mostPerSubject);
    a.rawAgreement = static_cast<double>(counts.unanimousSubjects) / counts.n;
    a.rawAgreementSubjects = static_cast<std::int64_t>(counts.n);
    return counts;
}

// The same of a study held without its table: a subject is rated by every
// rater when it has R ratings (with counts of ratings per subject, which name
// no rater, as many as the most any subject has).
void describeProfiles(const Study& study, Analysis& a) {
    const auto K = static_cast<std::size_t>(study.K);
    const RaterCounts& raters = study.raterCounts;
    summariseRaters(study, raters.raters(), [&](std::size_t j, std::vector<std::int64_t>* byCategory) {
        if (byCategory) {
            byCategory->assign(K, 0);
            for (const RaterCounts::Entry& e : raters.of(j)) (*byCategory)[e.category] = e.subjects;
        }
        return raters.total(j);
    }, a);
    const SubjectProfiles& profiles = study.profiles;
    const std::int64_t complete = study.R > 0 ? study.R : profiles.mostRatings();
    std::vector<std::pair<std::int64_t, std::int64_t>> perSubject;
    std::int64_t agreeing = 0;
    for (std::size_t p = 0; p < profiles.size(); ++p) {
        a.subjects += profiles.subjects(p);
        perSubject.emplace_back(profiles.ratings(p), profiles.subjects(p));
        if (profiles.ratings(p) != complete) continue;
        a.rawAgreementSubjects += profiles.subjects(p);
        if (profiles.profile(p).size() == 1) agreeing += profiles.subjects(p);
    }
    spread(std::move(perSubject), a.fewestPerSubject, a.medianPerSubject, a.mostPerSubject);
    a.rawAgreement = static_cast<double>(agreeing) / static_cast<double>(a.rawAgreementSubjects);
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
    const bool table = hasPatternTable(study);
    if (study.K < 2 || (table ? study.R < 2 || study.frequency.size() != patternCount(study.K, study.R)
                              : study.R == 1 || study.profiles.size() == 0)) {
        a.notes.push_back("an analysis needs at least two raters and two categories");
        return a;
    }

    const AgreementCounts counts = table ? describeTable(study, a) : AgreementCounts{};
    if (!table) describeProfiles(study, a);
    if (a.rawAgreementSubjects == 0)
        a.notes.push_back(study.R == 0 ? "no subject has as many ratings as the most rated one: there is no raw agreement"
                                       : "no subject was rated by every rater: there is no raw agreement");
    else if (a.rawAgreementSubjects < a.subjects)
        a.notes.push_back(printfText(study.R == 0 ? "the raw agreement is that of the %lld subjects with the most ratings, not of all %lld"
                                              : "the raw agreement is that of the %lld subjects rated by every rater, not of all %lld",
                                 static_cast<long long>(a.rawAgreementSubjects), static_cast<long long>(a.subjects)));
    // The chance products, which only Hubert's kappa needs, and only a study
    // with its table of response patterns has.
    const bool hubert = table && std::find(request.coefficients.begin(), request.coefficients.end(),
                                           Coefficient::Kappa) != request.coefficients.end();
    const Marginals m = hubert ? raterMarginals(counts) : Marginals{};
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
        if (!hubert) continue;
        for (std::optional<Estimate>& e : hubertEstimates(study, counts, m, request.weights, setting)) {
            if (!e) continue;
            if (zFallsShort)
                e->notes.push_back(printfText("the critical value %.5f (a numerical integration) differs from the normal "
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
            if (!shared) shared.emplace(study, weights, table ? &counts : nullptr);
            a.estimates[place.index] =
                chanceCorrectedEstimate(*shared, place.coefficient, request.confidence, request.kappa0,
                                        request.alternative);
        }
    }
    noteCohenIsConger(a);
    for (Estimate& e : a.estimates) addReportLine(e, a);
    return a;
}

}  // namespace kappa
