// The chance-corrected agreement coefficients of R raters in Gwet's framework:
// percent agreement, Fleiss' kappa, Conger's kappa, Gwet's AC1/AC2,
// Brennan-Prediger and Krippendorff's alpha. Each is
//
//     (p_a - p_e) / (1 - p_e)
//
// with the observed agreement p_a averaged over subjects (pairs of distinct
// raters, weighted by w_kl) and a chance agreement p_e of its own; percent
// agreement is p_a itself. The variance is Gwet's linearisation over subjects,
// V = sum_i (u_i - mean u)^2 / (n (n - 1)) with no finite-population
// correction, and inference is Student's t on n - 1 degrees of freedom.
//
// Missing ratings: a subject with r_i >= 2 ratings contributes its agreement
// over its r_i (r_i - 1) pairs; a subject with a single rating adds to the
// category prevalences only. Krippendorff's alpha keeps only the subjects with
// two ratings or more, weighs them by their number of ratings and corrects
// p_a by epsilon = 1 / (number of ratings); its degrees of freedom still count
// every subject.
//
// Degenerate studies give NaN, never a substitute 0 or 1, with a sentence in
// the estimate's notes: p_e = 1 (every rating in one category, for the
// coefficients with estimated chance agreement), Gwet's coefficient with a
// single category, no subject with two ratings, fewer than two subjects (a
// value but no variance), a rater who rated no subject (Conger). A standard
// error of 0 gives the one-point interval [kappa, min(1, kappa)] and no test.
// Observed agreement equal to chance agreement, and a variance of 0, are
// decided within their rounding errors (estimators/rounding.h).
#pragma once

#include <memory>

#include "agreement/patterns.h"
#include "estimators/catalog.h"
#include "estimators/point_estimate.h"
#include "tables/study.h"

namespace kappa {

// The coefficients of one study with one weighting, which share the weight
// matrix and the first pass over the subjects (observed agreement and
// marginals): ask it for each coefficient in turn. It refers to the study,
// which must outlive it.
class ChanceCorrectedStudy {
public:
    // `weighting` any but File, on the categories 1..K of the study;
    // `complete` the counts of its complete subjects, where the caller has
    // them already (they are tallied here otherwise).
    ChanceCorrectedStudy(const Study& study, Weighting weighting, const AgreementCounts* complete = nullptr);
    ~ChanceCorrectedStudy();

    // The estimate of coefficient c (not Kappa): value, variance, p_a and p_e
    // (`observed`, `chance`; for alpha the corrected p_a), the number of
    // subjects with a rating, and Student's t on n - 1 degrees of freedom.
    PointEstimate estimate(Coefficient c) const;

    const Study& study() const { return study_; }
    Weighting weighting() const { return weighting_; }

private:
    struct Shared;
    const Study& study_;
    Weighting weighting_;
    std::unique_ptr<const Shared> shared_;  // none when no coefficient can be computed
};

}  // namespace kappa
