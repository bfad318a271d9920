// The line a paper can use for an estimate, in APA style:
//
//   Fleiss' kappa = .68, 95% CI [.48, .89], t(19) = 6.95, p < .001; 20 subjects, 3 raters.
//
// with the Wald interval and the test that the README's "What to report"
// recommends for the coefficient.
#pragma once

#include "inference/analysis.h"
#include "inference/estimate.h"

namespace kappa {

// The tests an estimate may have: for weighted kappa the restricted test
// based on v (Restricted) or on w (RestrictedOnW).
enum class ReportedTest { Wald, Restricted, RestrictedOnW, Independence };

// The test the report line uses when it has a statistic; otherwise the Wald
// test, so that a p-value is there unless no test is defined.
ReportedTest recommendedTest(Coefficient coefficient, Weighting weights, double kappa0);

// Sets e.report and e.reportPValue.
void addReportLine(Estimate& e, const Analysis& analysis);

}  // namespace kappa
