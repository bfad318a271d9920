// The dialogue's three data files and their two loaders. The files are tables
// (see table_file.h) of fixed names in the current folder.
#pragma once

#include <cstdint>

#include "input/table_file.h"
#include "tables/study.h"

namespace kappa {

inline constexpr const char* kUnweightedFile = "Kappa_data.txt";
inline constexpr const char* kWeightedFile = "Weighted_Kappa_data.txt";
inline constexpr const char* kComputedWeightsFile = "Weighted_Kappa_data_linear_quadratic.txt";

// A loaded data file: what is checked against the answers, and the study of
// the rows that fit them.
struct DataFile {
    std::int32_t ratersFound = 0;      // raters found in the first line
    std::int32_t rowsRead = 0;         // rows read
    std::int32_t largestCodeRead = 0;  // largest category code read
    double subjectsRead = 0.0;         // subjects in the file: the sum of its frequencies
    // Rows that fail a check of their own.
    std::int64_t negativeWeights = 0;
    std::int64_t codesBelowOne = 0;
    std::int64_t negativeFrequencies = 0;
    std::int64_t repeatedRows = 0;  // rows that repeat an earlier row's codes
    // The entered raters and categories, and every row whose codes fit them:
    // the frequency (and, in the weighted layout, the weight) of its pattern.
    Study study;
};

struct LoadResult {
    enum class Status { Loaded, CannotOpen, CannotRead };
    Status status = Status::Loaded;
    int line = 0;  // CannotRead: the line that could not be read
    DataFile file;
};

// Loads a table for the entered R raters and K categories. Anything that is
// not a regular file cannot be opened.
LoadResult loadDataFile(const char* name, FileLayout layout, std::int32_t R, std::int32_t K);

// "Kappa_data.txt" (case 1) or "Weighted_Kappa_data_linear_quadratic.txt"
// (any other case).
LoadResult loadStudyFile(std::int32_t inputCase, std::int32_t R, std::int32_t K);

// "Weighted_Kappa_data.txt", whose rows carry a weight.
LoadResult loadWeightedStudyFile(std::int32_t R, std::int32_t K);

}  // namespace kappa
