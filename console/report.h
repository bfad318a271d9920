// The dialogue's report of an analysis: for unweighted kappa one block, for
// weighted kappa a block per weight set (the file's, or quadratic and then
// linear), each with the Wald test and interval, the restricted inferences
// and the independence test, in the dialogue's own words and formats.
#pragma once

#include "console/console.h"
#include "inference/analysis.h"

namespace kappa {

// The proportion of subjects on whom all raters agree.
void printRawAgreement(Console& con, const Analysis& analysis);

void printReport(Console& con, const Analysis& analysis);

}  // namespace kappa
