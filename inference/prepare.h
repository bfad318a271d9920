// What is decided about a study between reading it and analysing it, the same
// for every face: the limits of the program (at least 2 raters, 2 categories
// and 3 subjects; Hubert's kappa within its table of response patterns), the
// subjects with missing ratings, and the order of the categories that derived
// weights need.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "inference/analysis.h"
#include "input/input.h"

namespace kappa {

struct PrepareOptions {
    AnalysisRequest request;
    // Every coefficient was asked for: one that does not fit the study
    // (Hubert's kappa beyond its table or with incomplete subjects, Hubert's
    // and Conger's kappa of counts) is left out with a note, not refused.
    bool allCoefficients = false;
    // Subjects with a missing rating are left out of every coefficient.
    bool dropIncomplete = false;
};

// The request that fits the study, and what was decided on the way.
struct Prepared {
    AnalysisRequest request;
    std::vector<std::string> notes;  // about the analysis as a whole
    std::vector<Estimate> leftOut;   // asked for, but not estimated
};

// Checks `study`, as read from a file of layout `format` whose categories are
// `ordered` or not, against the program's limits and the request, and applies
// the rules for missing ratings: Hubert's kappa needs every rater's rating of
// every subject, so a study with incomplete subjects is refused, or with
// dropIncomplete they are left out for every coefficient (all estimates of a
// run describe the same subjects; `study` then loses them), or with
// allCoefficients kappa is left out with a note. A refusal says why; its line
// is the first incomplete subject's where that is at fault.
std::optional<InputError> prepare(Study& study, InputFormat format, bool ordered, const PrepareOptions& options,
                                  Prepared& prepared);

// The notes of the file (`about`), of its group and of `prepared`, after the
// analysis's own, and the estimates left out.
void addPreparedNotes(Analysis& analysis, const InputRead& about, const StudyGroup& group, Prepared&& prepared);

}  // namespace kappa
