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

// One rating: the 0-based rater and the 0-based category it chose.
struct Rating {
    std::uint32_t rater = 0;
    std::uint16_t category = 0;
    bool operator==(const Rating&) const = default;
};

// Calls visit(count, ratings) for every group of `count` identical subjects
// that some rater rated: first the complete response patterns that occur, in
// pattern order, then the groups of incomplete subjects in their order. The
// ratings are in rater order, and valid during the call only.
void forEachSubjectGroup(const Study& study,
                         const std::function<void(std::int64_t count, std::span<const Rating> ratings)>& visit);

}  // namespace kappa
