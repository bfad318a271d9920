// Response patterns and the frequency table.
//
// A response pattern is one way the R raters can classify a subject: pattern p
// (0 <= p < K^R) is p written in base K with R digits, rater 0 the most
// significant, each digit the 0-based category that rater chose.
#pragma once

#include <cstdint>

#include "tables/analysis_state.h"

namespace kappa {

// Enumerates the K^R response patterns into indice: indice[p][j] is the digit
// of rater j in pattern p.
void indicematrix(AnalysisState& s, std::int32_t K, std::int32_t R);

// Gives every pattern its observed frequency (and, in case 2, the file's
// weight; 1.0 elsewhere), marks the patterns on which all raters agree, and
// counts per rater and category: clases, ac, successaux and failaux.
void TablaInicial(AnalysisState& s);

}  // namespace kappa
