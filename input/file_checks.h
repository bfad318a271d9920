#pragma once

#include "console/console.h"
#include "tables/analysis_state.h"

namespace kappa {

// Compares the loaded data file with the answers and looks for rows that
// would otherwise be left out of the analysis. Every check runs, each printing
// its message (once per offending row for the row checks), so that one pass
// reports everything that is wrong. Returns true when all checks pass.
bool checkLoadedFile(const AnalysisState& s, Console& con);

}  // namespace kappa
