// One analysis of one study: every estimate that was asked for, with all its
// inferences. Both faces print from this value and compute nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "diagnostics/diagnostics.h"
#include "inference/estimate.h"
#include "tables/study.h"

namespace kappa {

struct AnalysisRequest {
    // The coefficients, in the order their estimates are wanted.
    std::vector<Coefficient> coefficients = {Coefficient::Kappa};
    // The weights, in order; each coefficient is estimated with every one
    // that applies to it: Hubert's kappa with none, quadratic, linear and
    // file; the other coefficients with any but file.
    std::vector<Weighting> weights = {Weighting::None};
    double confidence = 95.0;  // percent, 50 < confidence < 100
    double kappa0 = 0.0;       // the kappa under test, finite and at most 1
    Alternative alternative = Alternative::TwoSided;
};

// What one rater gave: the subjects rated, in all and in each category, so
// that a file read otherwise than meant shows at once.
struct RaterSummary {
    std::string name;
    std::int64_t ratings = 0;
    std::vector<std::int64_t> counts;  // by category, in the order of the labels
};

// Raters listed one by one, at most: beyond them only the range of their
// numbers of ratings.
inline constexpr std::size_t kMostRatersListed = 1000;

struct Analysis {
    std::int32_t raters = 0;          // 0: counts of ratings per subject, which name no rater
    std::int32_t categories = 0;
    std::vector<std::string> labels;  // the categories in order
    std::int64_t subjects = 0;        // subjects with a rating (each estimate says which it used)
    std::int64_t dropped = 0;         // subjects left out for missing ratings
    double confidence = 95.0;
    double kappa0 = 0.0;
    Alternative alternative = Alternative::TwoSided;
    // The critical value of the normal intervals (of the one-sided bounds
    // with a one-sided alternative): the numerical integration that the
    // program has always used (1.95994 at 95 %), and the exact normal
    // quantile beside it.
    double z = kNaN;
    double zExact = kNaN;
    double rawAgreement = kNaN;        // proportion of the subjects rated by every rater on whom all agree
    std::int64_t rawAgreementSubjects = 0;  // the subjects rated by every rater
    std::vector<RaterSummary> raterSummary;  // every rater, unless there are more than kMostRatersListed
    // The least, median and largest number of ratings a rater gave.
    std::int64_t fewestRatings = 0, mostRatings = 0;
    double medianRatings = kNaN;
    // The least, median and largest number of ratings a subject received.
    std::int64_t fewestPerSubject = 0, mostPerSubject = 0;
    double medianPerSubject = kNaN;
    std::vector<Estimate> estimates;
    // Estimates that were asked for but left out (Hubert's kappa of a study
    // with missing ratings under --coefficients all): coefficient, weights,
    // name and the note that says why; every number NaN.
    std::vector<Estimate> leftOut;
    std::vector<std::string> notes;  // about the analysis as a whole
    // Where the raters disagree (--diagnostics), computed by diagnose.
    std::optional<Diagnostics> diagnostics;
};

Analysis analyse(const Study& study, const AnalysisRequest& request);

}  // namespace kappa
