#pragma once

#include <optional>

#include "console/console.h"
#include <cstdint>

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

// The five answers of the parameter entry.
struct Answers {
    std::int32_t R = 0;  // raters
    std::int32_t K = 0;  // categories
    double N = 0.0;      // subjects
    double Cf = 0.0;     // confidence level of the two-sided intervals, percent
    double kappa0 = 0.0;  // kappa value under test
};

// Asks the five parameters of an analysis (raters, categories, subjects,
// confidence level, kappa under test), each until its answer is acceptable.
// Nothing when input ends first.
std::optional<Answers> askParameters(Console& con);

}  // namespace kappa
