// A study: what every analysis starts from, whatever file it was read from.
//
// R raters have each put subjects into one of K categories. A study is held
// in one of two ways:
//   - with its table of response patterns, when it fits (at most kMaxRaters
//     raters and kMaxPatterns patterns), which Hubert's kappa needs: a subject
//     whom every rater rated is counted under its response pattern p
//     (0 <= p < K^R), p written in base K with R digits, rater 0 the most
//     significant, each digit the 0-based category that rater chose; subjects
//     with some ratings missing are kept apart, grouped by their codes;
//   - without it (tables/profiles.h), for any number of raters and
//     categories: what the other coefficients need.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tables/large_allocator.h"
#include "tables/profiles.h"

namespace kappa {

// Largest study with a table of response patterns: the number of raters and
// the number of response patterns K^R.
inline constexpr std::int32_t kMaxRaters = 20;
inline constexpr double kMaxPatterns = 1048576.0;

// The code of a rating that is missing.
inline constexpr std::uint16_t kMissing = UINT16_MAX;

// The most categories a study can have: each a code below kMissing.
inline constexpr std::int32_t kMaxCategories = kMissing;

// Subjects with the same codes, some of them missing (but not all).
struct IncompleteSubjects {
    std::vector<std::uint16_t> codes;  // R codes: 0-based categories, kMissing where a rater gave none
    std::int64_t count = 0;            // subjects with these codes
    std::int64_t firstLine = 0;        // line of the input where the first of them is, 0 when unknown
};

struct Study {
    std::int32_t R = 0;  // raters; 0 for counts of ratings per subject, which name no rater
    std::int32_t K = 0;  // categories
    // The raters' names in order (column names, rater ids); empty when the
    // file names none (a table of response patterns).
    std::vector<std::string> raterNames;
    // The K category labels in order: "1".."K" for a table, the labels of a
    // ratings file otherwise.
    std::vector<std::string> labels;
    // F_p: subjects rated by every rater, by response pattern (K^R entries);
    // empty when the study is held without its table.
    PatternVector<std::int64_t> frequency;
    // v_p: the disagreement weight of each pattern, from the weight column of
    // a table file (1 for a pattern the file does not list); empty otherwise.
    PatternVector<double> fileWeight;
    // Subjects with some ratings missing.
    std::vector<IncompleteSubjects> incomplete;
    // Subjects left out because some of their ratings were missing.
    std::int64_t dropped = 0;

    // Without the table: every subject with a rating by its profile; each
    // rater's ratings (none for counts of ratings per subject); the groups of
    // identical subjects with their raters' ratings, when they were kept.
    SubjectProfiles profiles;
    RaterCounts raterCounts;
    RatedSubjects rated;
};

// Whether the study is held with its table of response patterns.
inline bool hasPatternTable(const Study& study) { return !study.frequency.empty(); }

// K^R, the number of response patterns, in exact integer arithmetic;
// SIZE_MAX when it does not fit, so that no table of that size can be made.
std::size_t patternCount(std::int32_t K, std::int32_t R);

// The R digits of pattern p, rater 0 first.
void patternDigits(std::size_t p, std::int32_t K, std::span<std::uint16_t> digits);

// n: the subjects rated by every rater.
std::int64_t completeSubjects(const Study& study);

// The name of rater j (0-based): its name in the file, else "rater j+1".
std::string raterName(const Study& study, std::size_t j);

}  // namespace kappa
