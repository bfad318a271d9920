// Studies made from another study's subjects: the study of two raters, the
// study without one rater, and the study of one category against the others.
// Each is assembled from the subjects as forEachSubjectGroup reads them, so
// that how a study holds its subjects matters only to StudyAssembler.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "input/study_builder.h"
#include "tables/matrix.h"
#include "tables/study.h"
#include "tables/subjects.h"

namespace kappa {

// A study built up from groups of identical subjects: the one place where a
// study is assembled from subjects. It has a table of response patterns when
// one fits, and is held by profile, with its raters' ratings, beyond.
class StudyAssembler {
public:
    StudyAssembler(std::int32_t raters, std::vector<std::string> labels, std::vector<std::string> raterNames);

    // `count` subjects with these ratings (raters and categories of the new
    // study, in rater order); none: no subject.
    void add(std::int64_t count, std::span<const Rating> ratings);

    Study finish() &&;

private:
    Study study_;
    std::optional<ProfileCounter> profiles_;  // beyond the table of response patterns
    std::vector<std::uint16_t> codes_;
    std::map<std::vector<std::uint16_t>, std::size_t> incompleteIndex_;  // where each incomplete group is
};

// The study of every rater but `rater`, for each rater from `first` on,
// `count` of them, in one pass through the subjects: each subject with its
// other ratings (a subject that only `rater` rated is no subject of it).
std::vector<Study> studiesWithoutRaters(const Study& study, std::int32_t first, std::int32_t count);

// The K x K cross-table of raters a and b over the subjects both rated:
// crossTables[pairIndex(a, b, R)][k][l] subjects put in k by a and in l by b.
std::size_t pairIndex(std::int32_t a, std::int32_t b, std::int32_t R);  // a < b
std::vector<Matrix<std::int64_t>> pairCrossTables(const Study& study);

// The study of raters a and b from their cross-table: their subjects both rated.
Study studyOfPair(const Study& study, std::int32_t a, std::int32_t b, const Matrix<std::int64_t>& crossTable);

// For each category k, the study of the same raters and subjects with two
// categories, k (the first) and every other category (the second).
std::vector<Study> studiesOfCategories(const Study& study);

}  // namespace kappa
