// The inference of the chance-corrected coefficients (Fleiss, Conger, Gwet,
// Brennan-Prediger, Krippendorff, percent agreement): the Wald test of kappa0
// against Student's t on n - 1 degrees of freedom and the t interval.
#pragma once

#include "estimators/coefficients.h"
#include "inference/estimate.h"

namespace kappa {

// Coefficient c (not Kappa) of a study read for one weighting, with the Wald
// test of kappa0 and the interval at `confidence` percent.
Estimate chanceCorrectedEstimate(const ChanceCorrectedStudy& study, Coefficient c, double confidence, double kappa0,
                                 Alternative alternative = Alternative::TwoSided);

// The same for one coefficient of a study: for several coefficients of one
// weighting, a ChanceCorrectedStudy reads the study once for all of them.
Estimate chanceCorrectedEstimate(const Study& study, Coefficient c, Weighting weighting, double confidence,
                                 double kappa0, Alternative alternative = Alternative::TwoSided);

}  // namespace kappa
