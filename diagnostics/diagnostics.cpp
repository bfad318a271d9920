#include "diagnostics/diagnostics.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "diagnostics/substudies.h"
#include "inference/analysis.h"
#include "inference/normal_quantile.h"
#include "inference/text.h"

namespace kappa {

namespace {

bool asks(const std::vector<Weighting>& weights, Weighting w) {
    return std::find(weights.begin(), weights.end(), w) != weights.end();
}

// The weights of Cohen's kappa of a pair: those asked for that Hubert's kappa
// takes, but the file's, which are given for whole response patterns; none
// when that leaves nothing.
std::vector<Weighting> pairWeights(const std::vector<Weighting>& asked) {
    std::vector<Weighting> weights;
    for (const Weighting w : asked)
        if (takesWeights(Coefficient::Kappa, w) && w != Weighting::File) weights.push_back(w);
    if (weights.empty()) weights.push_back(Weighting::None);
    return weights;
}

// Entries of the tables of pattern frequencies of the studies without a
// rater built at once (8 bytes each).
constexpr double kLeftOutTables = 4 * 1048576.0;

constexpr const char* kFileWeightsNote =
    "the file's weights are given for the response patterns of all raters: pairs and studies without a rater have "
    "no such weights";

void diagnosePairs(const Study& study, const AnalysisRequest& request, Diagnostics& d) {
    AnalysisRequest pairRequest = request;
    pairRequest.coefficients = {Coefficient::Kappa};
    pairRequest.weights = pairWeights(request.weights);
    const std::vector<Matrix<std::int64_t>> tables = pairCrossTables(study);
    std::vector<std::vector<double>> kappas(pairRequest.weights.size());
    for (std::int32_t a = 0; a < study.R; ++a)
        for (std::int32_t b = a + 1; b < study.R; ++b) {
            const Matrix<std::int64_t>& table = tables[pairIndex(a, b, study.R)];
            PairDiagnostics p{raterName(study, static_cast<std::size_t>(a)), raterName(study, static_cast<std::size_t>(b)),
                              0, {}, {}};
            for (std::size_t k = 0; k < table.rows(); ++k)
                for (const std::int64_t n : table[k]) p.subjects += n;
            if (p.subjects == 0)
                p.notes.push_back("no subject was rated by both: no kappa");
            else
                p.estimates = analyse(studyOfPair(study, a, b, table), pairRequest).estimates;
            for (std::size_t w = 0; w < kappas.size(); ++w)
                kappas[w].push_back(w < p.estimates.size() ? p.estimates[w].kappa : kNaN);
            if (d.pairsListed) d.pairs.push_back(std::move(p));
        }
    for (std::size_t w = 0; w < kappas.size(); ++w) {
        LightKappa light{pairRequest.weights[w], kappas[w].size(), spreadOf(kappas[w]), {}};
        if (light.kappas.count == 0)
            light.notes.push_back("no pair of raters has a kappa: no Light's kappa");
        else if (light.kappas.count < light.pairs)
            light.notes.push_back(printfText("%zu of the %zu pairs of raters have no kappa: Light's kappa is the mean of "
                                         "the other %zu",
                                         light.pairs - light.kappas.count, light.pairs, light.kappas.count));
        d.light.push_back(std::move(light));
    }
}

void diagnoseRaters(const Study& study, const AnalysisRequest& request, Diagnostics& d) {
    AnalysisRequest leftOutRequest = request;
    std::erase(leftOutRequest.weights, Weighting::File);
    const std::vector<double> agreement = raterAgreement(study);
    for (std::int32_t j = 0; j < study.R; ++j) {
        RaterDiagnostics rater{raterName(study, static_cast<std::size_t>(j)), agreement[static_cast<std::size_t>(j)],
                               {}, {}};
        if (std::isnan(rater.agreement))
            rater.notes.push_back("the rater shares no subject with another rater: no agreement");
        d.raters.push_back(std::move(rater));
    }
    if (leftOutRequest.weights.empty()) return;
    // The studies without a rater are built a few at a time, as many as
    // kLeftOutTables of table entries hold, each pass through the subjects
    // serving all of them.
    const double entries = std::pow(static_cast<double>(study.K), static_cast<double>(study.R - 1));
    const auto batch = static_cast<std::int32_t>(std::clamp(kLeftOutTables / entries, 1.0, static_cast<double>(study.R)));
    for (std::int32_t first = 0; first < study.R; first += batch) {
        std::vector<Study> without = studiesWithoutRaters(study, first, std::min(batch, study.R - first));
        for (std::size_t i = 0; i < without.size(); ++i) {
            d.raters[static_cast<std::size_t>(first) + i].leftOut = analyse(without[i], leftOutRequest).estimates;
            without[i] = {};  // its table is no longer needed
        }
    }
}

void diagnoseCategories(const Study& study, const AnalysisRequest& request, Diagnostics& d) {
    AnalysisRequest categoryRequest = request;
    categoryRequest.coefficients = {Coefficient::Fleiss};
    categoryRequest.weights = {Weighting::None};
    const std::vector<SpecificAgreement> specific =
        specificAgreement(study, confidenceQuantile(request.confidence, request.alternative), request.alternative);
    std::vector<Study> split = studiesOfCategories(study);
    for (std::size_t k = 0; k < split.size(); ++k) {
        Analysis a = analyse(split[k], categoryRequest);
        CategoryDiagnostics category{study.labels[k], {}, specific[k]};
        if (!a.estimates.empty()) category.kappa = std::move(a.estimates.front());
        split[k] = {};  // its table is no longer needed
        d.categories.push_back(std::move(category));
    }
}

}  // namespace

Diagnostics diagnose(const Study& study, const AnalysisRequest& request, const DiagnosticsRequest& options) {
    Diagnostics d;
    if (study.R < 2 || study.K < 2) return d;
    d.pairsListed = options.allPairs || study.R <= options.mostRatersPaired;
    if (!d.pairsListed)
        d.notes.push_back(printfText("the %d raters and their %lld pairs are not listed one by one (more than %d raters): "
                                 "the spread of the pairwise kappas is; --pairs all lists them",
                                 study.R, static_cast<long long>(study.R) * (study.R - 1) / 2,
                                 options.mostRatersPaired));
    if (asks(request.weights, Weighting::File)) d.notes.push_back(kFileWeightsNote);
    diagnosePairs(study, request, d);
    if (study.R > 2 && d.pairsListed) diagnoseRaters(study, request, d);
    diagnoseCategories(study, request, d);
    if (study.R == 2) {
        CrossTableDiagnostics table{raterName(study, 0), raterName(study, 1), std::move(pairCrossTables(study).front()),
                                    {}, std::nullopt};
        table.marginalHomogeneity = marginalHomogeneity(table.counts);
        if (study.K == 2) table.indices = agreementIndices(table.counts);
        d.crossTable = std::move(table);
    }
    const auto& c = request.coefficients;
    const bool alpha = std::find(c.begin(), c.end(), Coefficient::Alpha) != c.end() &&
                       std::any_of(request.weights.begin(), request.weights.end(),
                                   [](Weighting w) { return takesWeights(Coefficient::Alpha, w); });
    if (alpha) d.coincidence = coincidenceMatrix(study);
    return d;
}

}  // namespace kappa
