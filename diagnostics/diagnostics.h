// Where raters disagree: pairwise, per-rater and per-category tables, and
// for two raters their cross-table with the tests of rater bias. Every
// coefficient, standard error, interval and p-value here is that of an
// analysis (analyse) of a study made from the study's subjects, so that the
// confidence level and the alternative apply as they do to every estimate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "diagnostics/statistics.h"
#include "inference/estimate.h"
#include "tables/matrix.h"
#include "tables/study.h"

namespace kappa {

struct AnalysisRequest;

// Pairs and raters listed one by one, at most, unless every pair is asked
// for: beyond them only the spread of the pairwise kappas.
inline constexpr std::int32_t kMostRatersPaired = 50;

struct DiagnosticsRequest {
    bool allPairs = false;  // list every pair and rater, however many raters
    std::int32_t mostRatersPaired = kMostRatersPaired;
};

// Cohen's kappa of two raters on the subjects both rated, with each weighting.
struct PairDiagnostics {
    std::string first, second;  // the raters' names
    std::int64_t subjects = 0;  // rated by both
    std::vector<Estimate> estimates;
    std::vector<std::string> notes;
};

// Light's kappa, the mean of the pairwise kappas of one weighting, and the
// spread of those kappas.
struct LightKappa {
    Weighting weights = Weighting::None;
    std::size_t pairs = 0;  // all pairs of raters
    Spread kappas;          // of the pairs with a kappa
    std::vector<std::string> notes;
};

// One rater: its agreement with the others, and every estimate of the
// analysis with that rater left out.
struct RaterDiagnostics {
    std::string name;
    double agreement = kNaN;
    std::vector<Estimate> leftOut;
    std::vector<std::string> notes;
};

// One category: Fleiss' kappa of the category against all the others, and
// its proportion of specific agreement.
struct CategoryDiagnostics {
    std::string label;
    Estimate kappa;
    SpecificAgreement specific;
};

// Two raters: their K x K table (rows: the first rater) and its tests.
struct CrossTableDiagnostics {
    std::string first, second;  // the raters' names
    Matrix<std::int64_t> counts;
    MarginalHomogeneity marginalHomogeneity;
    std::optional<AgreementIndices> indices;  // K = 2
};

struct Diagnostics {
    bool pairsListed = true;  // pairs and raters one by one (else the spread only)
    std::vector<PairDiagnostics> pairs;
    std::vector<LightKappa> light;        // one per weighting of the pairs
    std::vector<RaterDiagnostics> raters;  // three raters or more
    std::vector<CategoryDiagnostics> categories;
    std::optional<CrossTableDiagnostics> crossTable;  // two raters
    std::optional<Matrix<double>> coincidence;        // Krippendorff's alpha asked for
    std::vector<std::string> notes;
};

// The diagnostics of a study for the request of its analysis.
Diagnostics diagnose(const Study& study, const AnalysisRequest& request, const DiagnosticsRequest& options = {});

}  // namespace kappa
