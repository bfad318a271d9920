// Ratings held in memory as integer codes, one per subject and rater (a data
// frame's columns, an array), read as the ratings reader reads the same
// ratings written as a file with a header line: the same label rules, and the
// same study, counted by response pattern.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "input/input.h"
#include "input/study_reader.h"

namespace kappa {

struct RatingCodes {
    const std::int64_t* codes = nullptr;  // subject i's rating by rater j: codes[i * subjectStride + j * raterStride]
    const double* numbers = nullptr;      // instead of codes: whole numbers, NaN missing
    std::int64_t subjects = 0;
    std::int64_t subjectStride = 1;
    std::int64_t raterStride = 0;
    std::span<const std::string> raters;  // the raters' names
    // The label of each code, a negative code not rated; none: every code is
    // a whole number that is its own label.
    std::span<const std::string> labels;
};

// The study the codes hold, with what they were found to hold (`input`), or
// the refusal. Refused, too, are codes that the file's reader would read in
// another way than by response pattern (more raters or labels than a pattern
// table holds, a rater without a rating) or only with a note (a column that
// does not look like a rater's): the same ratings written as a file are read
// then.
std::optional<InputError> readRatingCodes(const RatingCodes& ratings, const InputOptions& options,
                                          InputDescription& input, StudyGroup& group);

}  // namespace kappa
