// Reading a study from a file in any of the layouts the command line accepts.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "input/decoding.h"
#include "input/input_error.h"
#include "tables/study.h"

namespace kappa {

enum class InputFormat {
    Table,    // R category codes (1..K) and a frequency per line, TAB-separated
    Ratings,  // one row per subject, one column per rater
    Long,     // one row per rating: subject, rater, category
    Matrix,   // two raters' K x K cross-table of counts
    Counts,   // one row per subject: how many of its ratings fall in each category, a column each
};

struct InputOptions {
    InputFormat format = InputFormat::Table;
    // Table: each line also holds its pattern's disagreement weight.
    bool weights = false;
    // Ratings, long and matrix: '\t', ',', ';', '|', or ' ' for runs of
    // blanks; found from the first line when absent.
    std::optional<char> delimiter;
    // Ratings and long: the first line names the columns.
    bool header = true;
    // --header: the first line names the columns even when it looks like a
    // row of ratings (without it such a line is refused).
    bool headerConfirmed = false;
    // Ratings: the raters' columns, by name or 1-based number (default: all
    // but the id and by columns). Long: the subject, rater and category columns.
    std::vector<std::string> columns;
    std::string id;  // ratings: the subject identifier column (long: the subject column); empty: none
    std::string by;  // ratings and long: one analysis per value of this column; empty: none
    // The ordered category labels; a lone number N means 1..N. Empty: found in the file.
    std::vector<std::string> categories;
    // The fields that mean "not rated"; "" stands for the empty field.
    std::vector<std::string> missing = {"", "NA"};
    // Labels that differ only in case or surrounding blanks are one category
    // (spelled as first seen); without it they are refused.
    bool ignoreCase = false;
    // What the file's bytes are; every reader sees them as UTF-8.
    Encoding encoding = Encoding::Detect;
    // Ratings and long: keep which rater gave each rating even where the
    // table of response patterns cannot be made (Conger's kappa, leaving out
    // incomplete subjects, anything about single raters need it); memory then
    // grows with the ratings.
    bool keepRaters = false;
};

// One group of a --by column (the only one, unnamed, without --by).
struct StudyGroup {
    std::string group;
    Study study;
    std::vector<std::string> notes;  // what the reader decided about this group alone
};

struct InputRead {
    std::vector<StudyGroup> groups;  // in order of first appearance
    char delimiter = '\t';           // the delimiter used (found or given)
    bool ordered = true;             // the categories have an order: numbers, or an explicit list
    // What the reader decided about the file that every output must say (a
    // column left out, margins left out of a cross-table, ...).
    std::vector<std::string> notes;
    std::optional<InputError> error; // set when the file could not be read; nothing else then holds
};

// Reads the file at `path` ("-" for standard input), keeping every group.
InputRead readInput(const std::string& path, const InputOptions& options);

// Reads the file at `path` and hands each group's study to `take` as soon as
// it is built, with what the file was found to hold (`about`: delimiter,
// order, notes; no groups), so that memory holds one group's dense table at a
// time. The result holds no groups; on a refusal `take` has not been called
// (unless memory ran out while the groups were built).
using TakeStudy = std::function<void(StudyGroup&& group, const InputRead& about)>;
InputRead readInput(const std::string& path, const InputOptions& options, const TakeStudy& take);

// The same, from bytes in memory, which the reader may read twice.
InputRead readInputBytes(std::string_view bytes, const InputOptions& options, const TakeStudy& take);

}  // namespace kappa
