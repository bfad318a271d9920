// The three data files and their two loaders.
//
// A data file is tab-separated text without a header, one row per observed
// combination of categories: the 1-based category code of each of the R
// raters, the number of subjects with that combination (the frequency) and,
// in the weighted file, the disagreement weight of the combination. The number
// of raters is the number of TABs in the first line (less one in the weighted
// file); the values of all rows are then read as one stream of numbers, R + 1
// per row (R + 2 in the weighted file).
#pragma once

#include <string_view>

#include "console/console.h"
#include "tables/analysis_state.h"

namespace kappa {

inline constexpr const char* kUnweightedFile = "Kappa_data.txt";
inline constexpr const char* kWeightedFile = "Weighted_Kappa_data.txt";
inline constexpr const char* kComputedWeightsFile = "Weighted_Kappa_data_linear_quadratic.txt";

enum class FileLayout { Unweighted, Weighted };

// Outcome of parsing a file's bytes: 0 when every row was read, otherwise the
// 1-based line of the token that could not be taken.
struct ParseOutcome {
    int errorLine = 0;
    bool ok() const { return errorLine == 0; }
};

// Reads the rows of a data file held in `bytes` into data (and pesostot for
// the weighted layout) and derives nraters, contextra, maxclase and Naux.
ParseOutcome parseDataFile(std::string_view bytes, FileLayout layout, AnalysisState& s);

// Loads "Kappa_data.txt" (case 1) or "Weighted_Kappa_data_linear_quadratic.txt"
// (any other case) from the current folder. Prints a message and returns false
// when the file cannot be opened or read.
bool Archivo(AnalysisState& s, Console& con);

// Loads "Weighted_Kappa_data.txt", whose rows carry a weight.
bool Archivo_Weight(AnalysisState& s, Console& con);

}  // namespace kappa
