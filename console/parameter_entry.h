#pragma once

#include <optional>

#include "console/console.h"
#include "tables/analysis_state.h"

namespace kappa {

// One answer line and the number at its start, read as the C library's "%lf"
// conversion reads it: leading white space skipped, anything after the number
// ignored.
struct Answer {
    bool hasNumber = false;
    double x = 0.0;
};

// Reads the next answer; nothing at end of input.
std::optional<Answer> readAnswer(Console& con);

// True when the answer holds a number with no fractional part.
bool isWhole(const Answer& answer);

// Asks the five parameters of an analysis (raters, categories, subjects,
// confidence level, kappa under test), each until its answer is acceptable,
// and stores them in R, K, N, Cf and kp. Returns false when input ends first.
bool Datos(AnalysisState& s, Console& con);

}  // namespace kappa
