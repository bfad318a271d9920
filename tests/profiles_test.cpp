// A study held without its table of response patterns gives what the table
// gives: the same estimates, standard errors and tests to 1e-12 relative, for
// random studies with missing ratings, every coefficient and weighting.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "estimates_match.h"
#include "inference/chance_corrected.h"
#include "input/study_builder.h"
#include "study_fixture.h"
#include "tables/subjects.h"

namespace kappa {
namespace {

using fixture::Lcg;

// A random study of R raters and K categories: complete subjects spread over
// a few patterns, and groups of subjects with some ratings missing.
Study randomStudy(Lcg& random) {
    const std::int32_t R = 2 + random.below(4), K = 2 + random.below(4);
    std::vector<std::int64_t> frequency(patternCount(K, R), 0);
    const std::int32_t patterns = 1 + random.below(12);
    for (std::int32_t i = 0; i < patterns; ++i)
        frequency[static_cast<std::size_t>(random.below(static_cast<std::int32_t>(frequency.size())))] +=
            1 + random.below(5);
    Study study = fixture::studyOf(K, R, frequency);
    const std::int32_t groups = random.below(4);
    for (std::int32_t i = 0; i < groups; ++i) {
        std::vector<std::uint16_t> codes(static_cast<std::size_t>(R));
        for (std::uint16_t& c : codes)
            c = random.below(3) == 0 ? kMissing : static_cast<std::uint16_t>(random.below(K));
        codes[static_cast<std::size_t>(random.below(R))] = kMissing;
        study.incomplete.push_back({codes, 1 + random.below(3), 0});
    }
    return study;
}

TEST(WithoutPatternTable, SameEstimatesAsTheTable) {
    const Coefficient coefficients[] = {Coefficient::Fleiss, Coefficient::Conger,          Coefficient::Gwet,
                                        Coefficient::BrennanPrediger, Coefficient::Alpha, Coefficient::Percent};
    const Weighting weightings[] = {Weighting::None,     Weighting::Quadratic, Weighting::Linear,
                                    Weighting::Ordinal,  Weighting::Radical,   Weighting::Ratio,
                                    Weighting::Circular, Weighting::Bipolar,   Weighting::KrippendorffOrdinal};
    Lcg random(19);
    for (int trial = 0; trial < 300; ++trial) {
        const Study table = randomStudy(random);
        const Study held = withoutPatternTable(table, true);
        ASSERT_FALSE(hasPatternTable(held));
        for (const Weighting w : weightings) {
            const ChanceCorrectedStudy a(table, w), b(held, w);
            for (const Coefficient c : coefficients) {
                const auto difference = match::difference(chanceCorrectedEstimate(a, c, 95, 0.25), chanceCorrectedEstimate(b, c, 95, 0.25));
                EXPECT_FALSE(difference) << "trial " << trial << ", " << coefficientId(c) << ", " << weightingId(w)
                                         << ": " << *difference;
            }
        }
    }
}

// The groups of a study held without its table are those of the table, with
// their raters and in the order they were added.
TEST(WithoutPatternTable, KeepsEachGroupsRaters) {
    Study table = fixture::studyOf(3, 2, {0, 2, 0, 0, 0, 0, 1, 0, 0});
    table.incomplete = {{{kMissing, 2}, 4, 9}};
    const Study held = withoutPatternTable(table, true);
    std::vector<std::pair<std::int64_t, std::vector<Rating>>> seen;
    forEachSubjectGroup(held, [&](std::int64_t count, std::span<const Rating> ratings) {
        seen.emplace_back(count, std::vector<Rating>(ratings.begin(), ratings.end()));
    });
    const std::vector<std::pair<std::int64_t, std::vector<Rating>>> expected = {
        {2, {{0, 0}, {1, 1}}}, {1, {{0, 2}, {1, 0}}}, {4, {{1, 2}}}};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(held.profiles.size(), 3u);
    EXPECT_EQ(held.profiles.mostRatings(), 2);
    EXPECT_EQ(held.raterCounts.total(1), 7);
}

}  // namespace
}  // namespace kappa
