// The walk through the response patterns and what is built along it: the
// counts, the chance products and the disagreement weights.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <numeric>
#include <string>
#include <tuple>
#include <vector>

#include "agreement/chance.h"
#include "agreement/pattern_walk.h"
#include "agreement/patterns.h"
#include "estimators/weights.h"
#include "study_fixture.h"
#include "tables/subjects.h"

namespace kappa {
namespace {

// Whether two ranges hold the same elements (std::ranges::equal, which
// libc++ 14 lacks).
template <typename A, typename B>
bool sameElements(const A& a, const B& b) {
    return std::equal(std::begin(a), std::end(a), std::begin(b), std::end(b));
}

// Shapes with fewer categories than raters and with at least as many: the
// linear weights count in a different way in each.
const struct Shape {
    std::int32_t K, R;
} kShapes[] = {{2, 2}, {3, 2}, {5, 2}, {2, 3}, {3, 3}, {4, 3}, {2, 4}, {3, 4}, {4, 4}, {3, 5}, {2, 8}};

// Values whose sums and products round differently in different orders.
template <typename Real>
Matrix<Real> randomTable(std::int32_t K, std::int32_t R, fixture::Lcg& random) {
    Matrix<Real> table(static_cast<std::size_t>(K), static_cast<std::size_t>(R));
    for (std::size_t k = 0; k < table.rows(); ++k)
        for (Real& x : table[k]) x = static_cast<Real>(1 + random.below(1000)) / static_cast<Real>(997);
    return table;
}

// Every accumulator gives, at every pattern, bit for bit what the value is when
// formed afresh in rater order; the counts and the chance products of a study
// are those of its patterns one by one.
TEST(PatternWalk, AccumulatorsGiveTheDirectValuesExactly) {
    fixture::Lcg random(11);
    for (const auto [K, R] : kShapes) {
        SCOPED_TRACE("K = " + std::to_string(K) + ", R = " + std::to_string(R));
        const auto Kz = static_cast<std::size_t>(K), Rz = static_cast<std::size_t>(R);
        const std::size_t P = patternCount(K, R);
        const Matrix<double> t = randomTable<double>(K, R, random);
        const Matrix<long double> T = randomTable<long double>(K, R, random);
        RaterSum<double> sum(t);
        RaterSum<long double> longSum(T);
        ChanceProducts products(t, true), prodtOnly(t, false);
        Quadratic_weight quadratic(K, R);
        Linear_weight linear(K, R);

        std::vector<std::int64_t> F(P);
        for (std::int64_t& f : F) f = random.below(3) == 0 ? 0 : random.below(50);
        const Study study = fixture::studyOf(K, R, F);
        const AgreementCounts counts = tallyAgreement(study);
        const Marginals m = raterMarginals(counts);
        Matrix<std::int64_t> byCategoryAndRater(Kz, Rz);
        std::vector<std::int64_t> ac(Kz, 0);

        std::vector<std::uint16_t> d(Rz);
        double largest = 0.0;
        std::size_t p = 0;
        for (PatternWalk walk(K, R); !walk.done(); walk.next(), ++p) {
            ASSERT_EQ(walk.pattern(), p);
            patternDigits(p, K, d);
            ASSERT_TRUE(sameElements(walk.digits(), d)) << "p = " << p;
            [&](auto&... accumulator) { (accumulator.update(walk), ...); }(sum, longSum, products, prodtOnly, quadratic,
                                                                               linear);

            double s = 0.0, patternChance = 1.0, prodtOfCounts = 1.0;
            long double S = 0.0;
            std::vector<double> without(Rz, 1.0);
            std::int64_t squares = 0, distances = 0;
            for (std::size_t j = 0; j < Rz; ++j) {
                s += t[d[j]][j];
                S += T[d[j]][j];
                patternChance *= t[d[j]][j];
                prodtOfCounts *= m.proportion[d[j]][j];
                for (std::size_t i = 0; i < Rz; ++i)
                    if (i != j) without[i] *= t[d[j]][j];
                for (std::size_t i = 0; i < j; ++i) {
                    const std::int64_t apart = std::abs(int{d[j]} - int{d[i]});
                    squares += apart * apart;
                    distances += apart;
                }
                byCategoryAndRater[d[j]][j] += F[p];
            }
            const bool agree = std::all_of(d.begin(), d.end(), [&](std::uint16_t x) { return x == d[0]; });
            if (agree) ac[d[0]] = F[p];
            const double q = quadraticFactor(K, R) * static_cast<double>(squares);
            const double l = linearFactor(K, R) * static_cast<double>(distances);
            EXPECT_EQ(std::tuple(sum.value(), longSum.value(), products.patternChance(), prodtOnly.patternChance(), m.patternChance[p],
                                 quadratic.value(), linear.value(), walk.allAgree()),
                      std::tuple(s, S, patternChance, patternChance, prodtOfCounts, q, l, agree))
                << "p = " << p;
            EXPECT_TRUE(sameElements(products.withoutRater(), without)) << "p = " << p;
            // A weight is 0 exactly where all raters agree, and never above 1.
            EXPECT_TRUE((q == 0.0) == agree && (l == 0.0) == agree && std::max(q, l) <= 1.0 + 1e-15) << "p = " << p;
            largest = std::max(largest, q);
        }
        EXPECT_EQ(p, P);
        EXPECT_NEAR(largest, 1.0, 1e-15);  // the most even split between the first and last category
        for (std::size_t k = 0; k < Kz; ++k)
            EXPECT_TRUE(sameElements(counts.byCategoryAndRater[k], byCategoryAndRater[k])) << "k = " << k;
        EXPECT_EQ(counts.unanimousIn, ac);
        EXPECT_EQ(counts.unanimousSubjects, std::accumulate(ac.begin(), ac.end(), std::int64_t{0}));
        EXPECT_EQ(counts.n, static_cast<double>(std::accumulate(F.begin(), F.end(), std::int64_t{0})));
    }
}

// The weight of one pattern, its digits given rater 0 first.
template <typename Weights>
double weightOf(std::int32_t K, const std::vector<std::uint16_t>& digits, Weights weights) {
    std::size_t p = 0;
    for (const std::uint16_t digit : digits) p = p * static_cast<std::size_t>(K) + digit;
    for (PatternWalk walk(K, static_cast<std::int32_t>(digits.size()));; walk.next()) {
        weights.update(walk);
        if (walk.pattern() == p) return weights.value();
    }
}

TEST(DisagreementWeights, WorkedPatterns) {
    const struct {
        std::int32_t K;
        std::vector<std::uint16_t> pattern;
        double quadratic, linear;
    } cases[] = {
        {3, {0, 1}, 0.25, 0.5},        {3, {0, 2}, 1.0, 1.0},       {3, {1, 1}, 0.0, 0.0},
        {4, {0, 2}, 4.0 / 9, 2.0 / 3}, {2, {0, 1, 1}, 1.0, 1.0},    {2, {1, 0, 1}, 1.0, 1.0},
        {3, {0, 1, 2}, 0.75, 1.0},     {3, {0, 0, 2}, 1.0, 1.0},    {3, {0, 0, 1}, 0.25, 0.5},
        {2, {0, 0, 0, 1}, 0.75, 0.75}, {2, {0, 0, 1, 1}, 1.0, 1.0}, {2, {1, 0, 1, 0}, 1.0, 1.0},
    };
    for (const auto& c : cases) {
        const auto R = static_cast<std::int32_t>(c.pattern.size());
        SCOPED_TRACE("K = " + std::to_string(c.K) + ", R = " + std::to_string(R));
        EXPECT_DOUBLE_EQ(weightOf(c.K, c.pattern, Quadratic_weight(c.K, R)), c.quadratic);
        EXPECT_DOUBLE_EQ(weightOf(c.K, c.pattern, Linear_weight(c.K, R)), c.linear);
    }
}

TEST(ChanceProducts, TwoByTwoExample) {
    const Marginals m = raterMarginals(tallyAgreement(fixture::studyOf(2, 2, {20, 10, 5, 15})));
    using fixture::values;
    EXPECT_EQ(values(m.proportion[0]), (std::vector<double>{0.6, 0.5}));
    EXPECT_EQ(values(m.proportion[1]), (std::vector<double>{0.4, 0.5}));
    EXPECT_EQ(m.allChoose, (std::vector<double>{0.3, 0.2}));
    EXPECT_EQ(values(m.patternChance), (std::vector<double>{0.3, 0.3, 0.2, 0.2}));
    // With two raters each leave-one-out product is the other rater's
    // proportion, carried in long double.
    EXPECT_EQ(values(m.othersChoose[0]), (std::vector<long double>{0.5L, 6 / 10.0L}));
    EXPECT_EQ(values(m.othersChoose[1]), (std::vector<long double>{0.5L, 4 / 10.0L}));
}

TEST(ChanceProducts, LeaveOneOutWithZeroFactors) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        std::vector<double> factors;
        double full;
        std::vector<double> without;
    } cases[] = {
        {{2.0, 0.0, 3.0}, 0.0, {0.0, 6.0, 0.0}},
        {{0.0, 0.0, 5.0}, 0.0, {0.0, 0.0, 0.0}},
        {{0.5, 4.0}, 2.0, {4.0, 0.5}},
        {{7.0}, 7.0, {1.0}},
        // Multiplied in rater order: 1e308 * 10 overflows before 1e-308 comes in.
        {{1e308, 10.0, 1e-308}, inf, {10.0 * 1e-308, 1e308 * 1e-308, inf}},
    };
    for (const auto& c : cases) {
        double full = -1.0;
        std::vector<double> without(c.factors.size(), -1.0);
        leaveOneOutProducts<double>(c.factors, full, without);
        EXPECT_EQ(full, c.full);
        EXPECT_EQ(without, c.without);
    }
}

}  // namespace
}  // namespace kappa

namespace kappa {
namespace {

TEST(SubjectGroups, PatternsThenIncompleteGroupsWithTheirRaters) {
    Study study;
    study.R = 2;
    study.K = 2;
    study.frequency = {1, 0, 2, 0};
    study.incomplete = {{{0, kMissing}, 3, 7}, {{kMissing, kMissing}, 1, 8}};
    std::vector<std::pair<std::int64_t, std::vector<Rating>>> seen;
    forEachSubjectGroup(study, [&](std::int64_t count, std::span<const Rating> ratings) {
        seen.emplace_back(count, std::vector<Rating>(ratings.begin(), ratings.end()));
    });
    const std::vector<std::pair<std::int64_t, std::vector<Rating>>> expected = {
        {1, {{0, 0}, {1, 0}}}, {2, {{0, 1}, {1, 0}}}, {3, {{0, 0}}}};
    EXPECT_EQ(seen, expected);
}

}  // namespace
}  // namespace kappa
