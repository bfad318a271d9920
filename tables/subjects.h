// A study read subject by subject: for each group of identical subjects, the
// raters who rated them and the category each chose. What reads a study
// without its table of response patterns (the diagnostics, coefficients that
// need no such table) goes through this view, whatever holds the subjects.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "tables/study.h"

namespace kappa {

// Whether the study knows which rater gave each rating: with its table of
// response patterns, or with its groups of rated subjects kept.
bool knowsRaters(const Study& study);

// Calls visit(count, ratings) for every group of `count` identical subjects
// that some rater rated: of a study with its table of response patterns,
// first the complete response patterns that occur, in pattern order, then the
// groups of incomplete subjects in their order; of a study without it, its
// groups of rated subjects, when they were kept (knowsRaters). The ratings are
// in rater order, and valid during the call only.
void forEachSubjectGroup(const Study& study,
                         const std::function<void(std::int64_t count, std::span<const Rating> ratings)>& visit);

}  // namespace kappa
