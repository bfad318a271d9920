// Readers of the files researchers have, each turned into the studies kappa
// analyses, a file each (input/layouts.h lists them):
//   table    a table of response patterns and their frequencies (table_input.*);
//   ratings  one row per subject, one column per rater (and perhaps an id
//            column and a column of groups; ratings_reader.cpp);
//   long     one row per rating: subject, rater, category (long_reader.cpp);
//   matrix   two raters' K x K cross-table of counts, rater 1 in rows
//            (matrix_reader.cpp);
//   counts   one row per subject, how many of its ratings fall in each
//            category (counts_reader.cpp).
// A file gives one study per group of --by, in order of first appearance,
// all with the same categories, which are found over the whole file.
//
// Memory: a ratings file is counted as it is read, by response pattern or by
// profile, so its memory does not grow with its subjects; a long file sorted
// by subject likewise, one subject at a time; a long file in any other order
// keeps each subject's ratings until its end (a dozen bytes a rating); a
// matrix is at most 1024 x 1024 counts. Keeping which rater gave each rating
// beyond the table of response patterns (InputOptions::keepRaters) adds a few
// bytes a rating.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "input/byte_source.h"
#include "input/delimited.h"
#include "input/input.h"
#include "tables/study.h"

namespace kappa {

// What a file is found to hold, the same for every group.
struct InputDescription {
    char delimiter = 0;               // the delimiter used (found or given)
    std::vector<std::string> labels;  // the K category labels, in order
    // The labels have an order that distances can use (whole numbers, the
    // list of --categories, or a matrix's row numbers); text labels found in
    // the file have none, so quadratic and linear weights need --categories.
    bool ordered = false;
    // The raters: their columns' names (numbers without a header), the rater
    // ids of a long file in order of first appearance, or the matrix's rows
    // and columns.
    std::vector<std::string> raters;
    // Sentences about how the file was read, for every output.
    std::vector<std::string> notes;
};


// The labels of --categories: a lone whole number N stands for 1..N.
std::vector<std::string> expandCategories(const std::vector<std::string>& categories);

// Checks the options on their own (formats they do not apply to, lists of the
// wrong size, labels given twice). The message of a usage error, or none.
std::optional<std::string> checkInputOptions(const InputOptions& options);

// The same bytes once more from their start, or null when they cannot be
// read again.
using ReadAgain = std::function<ByteSource*()>;

// Reads the file and hands each group's study to `take`, in order, as soon as
// it is built, so that memory holds one dense frequency table at a time.
// Returns the refusal, if any; then `take` has not been called (unless memory
// ran out while the groups were built). Nothing is thrown. `chunk` is the
// reader's starting buffer (tests use tiny ones). With `again`, a long file
// is first read as sorted by subject, in memory that does not grow with it,
// and read again from `again` if it is not.
std::optional<InputError> readStudies(ByteSource& source, const InputOptions& options, InputDescription& input,
                                     const std::function<void(StudyGroup&&)>& take,
                                     std::size_t chunk = DelimitedReader::kChunk, const ReadAgain& again = {});

struct StudiesRead {
    std::optional<InputError> error;  // when set, nothing else is meaningful
    InputDescription input;
    std::vector<StudyGroup> groups;
};

// The same, keeping every group.
StudiesRead readStudies(ByteSource& source, const InputOptions& options);

}  // namespace kappa
