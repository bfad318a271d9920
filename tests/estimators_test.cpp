// Hubert's kappa, weighted and not, and the coefficients of its restricted
// variance: the worked examples and the identities that tie them together.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "agreement/chance.h"
#include "agreement/patterns.h"
#include "estimators/kappa.h"
#include "estimators/weighted_kappa.h"
#include "estimators/weights.h"
#include "inference/restricted.h"
#include "study_fixture.h"

namespace kappa {
namespace {

// A study with the counts and chance products every estimator starts from.
struct Tables {
    explicit Tables(Study s) : study(std::move(s)), counts(tallyAgreement(study)), m(raterMarginals(counts)) {}
    Study study;
    AgreementCounts counts;
    Marginals m;
};

// Cohen's example: two raters, two categories, 100 subjects.
Study cohenExample() { return fixture::studyOf(2, 2, {40, 10, 5, 45}); }

// Two raters, three categories, with the quadratic weights as file weights.
Study weightedExample() {
    Study study = fixture::studyOf(3, 2, {30, 8, 2, 5, 25, 5, 1, 4, 20});
    study.fileWeight = {0.0, 0.25, 1.0, 0.25, 0.0, 0.25, 1.0, 0.25, 0.0};
    return study;
}

// Random pattern frequencies with agreement well above chance and every
// category used by every rater.
Study randomStudy(std::int32_t K, std::int32_t R, std::uint64_t seed) {
    fixture::Lcg random(seed);
    std::vector<std::int64_t> F(patternCount(K, R));
    for (std::int64_t& f : F) f = random.below(4) == 0 ? 0 : random.below(12);
    const std::size_t step = (F.size() - 1) / static_cast<std::size_t>(K - 1);
    for (std::size_t p = 0; p < F.size(); p += step) F[p] += 40 + random.below(30);
    return fixture::studyOf(K, R, F);
}

TEST(CoefficientKappa, CohenWorkedExample) {
    const Tables x(cohenExample());
    const UnweightedKappa u = coefficientKappa(x.study, x.counts, x.m);
    EXPECT_NEAR(u.observedAgreement, 0.85, 1e-12);
    EXPECT_NEAR(u.chanceAgreement, 0.5, 1e-12);
    EXPECT_NEAR(u.chanceDisagreement, 0.5, 1e-12);
    EXPECT_NEAR(u.kappa, 0.7, 1e-12);
    EXPECT_NEAR(u.varkappa, 0.005049, 1e-12);

    const UnweightedRestricted r = unweightedRestricted(x.study, x.counts, x.m, u);
    EXPECT_NEAR(r.a, -1.2475, 1e-12);
    EXPECT_NEAR(r.b, -0.3975, 1e-12);
    EXPECT_NEAR(r.independenceVariance, 0.2475, 1e-12);
}

std::vector<std::int64_t> allAgreeOnly(std::int32_t K, std::int32_t R) {
    std::vector<std::int64_t> F(patternCount(K, R), 0);
    F.front() = 20;  // every rater chooses the first category
    F.back() = 30;   // every rater chooses the last one
    return F;
}

TEST(CoefficientKappa, AgreementExtremes) {
    const double nan = std::nan("");
    const struct {
        const char* name;
        Study study;
        double I0, Ie, kappa, varkappa;
    } cases[] = {
        {"perfect agreement, 2 raters", fixture::studyOf(3, 2, allAgreeOnly(3, 2)), 1.0, 0.52, 1.0, 0.0},
        {"perfect agreement, 3 raters", fixture::studyOf(3, 3, allAgreeOnly(3, 3)), 1.0, 0.28, 1.0, 0.0},
        {"perfect agreement, 4 raters", fixture::studyOf(3, 4, allAgreeOnly(3, 4)), 1.0, 0.1552, 1.0, 0.0},
        // Three raters who each split the subjects evenly and independently:
        // g is 1/4 on the 20 subjects who agree and -3/4 on the other 60.
        {"agreement at chance level", fixture::studyOf(2, 3, std::vector<std::int64_t>(8, 10)), 0.25, 0.25, 0.0,
         1.0 / 240},
        // Everyone in one category: chance agreement 1, nothing defined.
        {"single category", fixture::studyOf(2, 2, {50}), 1.0, 1.0, nan, nan},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Tables x(c.study);
        const UnweightedKappa u = coefficientKappa(x.study, x.counts, x.m);
        EXPECT_PRED3(fixture::near, u.observedAgreement, c.I0, 1e-15);
        EXPECT_PRED3(fixture::near, u.chanceAgreement, c.Ie, 1e-15);
        EXPECT_PRED3(fixture::near, u.kappa, c.kappa, 1e-15);
        EXPECT_PRED3(fixture::near, u.varkappa, c.varkappa, 1e-17);
    }
}

TEST(WeightedKappa, QuadraticLinearAndFileWeightsWorkedExample) {
    const Tables x(weightedExample());
    const FileWeights file(x.study.fileWeight);
    const std::vector<WeightedKappa> w =
        weightedKappas(x.study, x.counts, x.m, {Quadratic_weight(3, 2), Linear_weight(3, 2), file, file});
    ASSERT_EQ(w.size(), 4u);
    const WeightedKappa &quadratic = w[0], &linear = w[1];
    EXPECT_NEAR(quadratic.observedDisagreement, 0.085, 1e-12);
    EXPECT_NEAR(quadratic.chanceDisagreement, 0.31325, 1e-12);
    EXPECT_NEAR(quadratic.vbar[0][0], 0.3625, 1e-12);
    EXPECT_NEAR(quadratic.kappa, 0.728651, 5e-7);
    EXPECT_NEAR(quadratic.varkappa, 0.0039396, 5e-8);
    EXPECT_NEAR(linear.observedDisagreement, 0.14, 1e-12);
    EXPECT_NEAR(linear.chanceDisagreement, 0.4285, 1e-12);
    EXPECT_NEAR(linear.kappa, 0.673279, 5e-7);
    EXPECT_NEAR(linear.varkappa, 0.0037347, 5e-8);

    const struct {
        const WeightedKappa& kappa;
        double Ie, a, b, c, weightedIndependenceVariance;
    } restricted[] = {{quadratic, 0.68675, 0.342117, 0.0558, 0.04375, 0.097561},
                      {linear, 0.5715, 0.578548, 0.11965, 0.085, 0.111692}};
    for (const auto& e : restricted) {
        const WeightedRestricted r = weightedRestricted(x.study, x.counts, x.m, e.kappa);
        EXPECT_NEAR(r.chanceAgreement, e.Ie, 1e-12);
        EXPECT_NEAR(r.a, e.a, 5e-7);
        EXPECT_NEAR(r.b, e.b, 1e-12);
        EXPECT_NEAR(r.c, e.c, 1e-12);
        EXPECT_NEAR(r.weightedIndependenceVariance, e.weightedIndependenceVariance, 5e-7);
    }

    // Case 2 with the quadratic weights in the file gives case 3's quadratic
    // estimate bit for bit, however many sets are estimated together.
    const WeightedRestricted rq = weightedRestricted(x.study, x.counts, x.m, quadratic);
    for (const std::size_t set : {2, 3}) {
        SCOPED_TRACE(set);
        const WeightedKappa& f = w[set];
        EXPECT_EQ(f.observedDisagreement, quadratic.observedDisagreement);
        EXPECT_EQ(f.chanceDisagreement, quadratic.chanceDisagreement);
        EXPECT_EQ(f.kappa, quadratic.kappa);
        EXPECT_EQ(f.varkappa, quadratic.varkappa);
        EXPECT_EQ(f.vbarSum, quadratic.vbarSum);
        const WeightedRestricted rf = weightedRestricted(x.study, x.counts, x.m, f);
        EXPECT_EQ(rf.a, rq.a);
        EXPECT_EQ(rf.b, rq.b);
        EXPECT_EQ(rf.c, rq.c);
        EXPECT_EQ(rf.weightedIndependenceVariance, rq.weightedIndependenceVariance);
    }
}

TEST(WeightedKappa, CompleteAgreement) {
    const Tables x(fixture::studyOf(3, 2, {10, 0, 0, 0, 15, 0, 0, 0, 25}));
    const WeightedKappa w = weightedKappas(x.study, x.counts, x.m, {Quadratic_weight(3, 2)}).front();
    EXPECT_EQ(std::tuple(w.observedDisagreement, w.kappa, w.varkappa), std::tuple(0.0, 1.0, 0.0));
}

const struct Shape {
    std::int32_t K, R;
} kShapes[] = {{2, 2}, {3, 2}, {4, 2}, {5, 2}, {2, 3}, {3, 3}, {4, 3}, {2, 4}, {3, 4}, {4, 4}, {2, 5}, {3, 5}};

// At k0 = kappa the restricted variance is the variance of the estimate, for
// unweighted kappa and for both weight sets; and 1 - Ie of the restricted
// coefficients is the estimator's chance disagreement.
TEST(Restricted, VarianceAtTheEstimateIsTheVarianceOfKappa) {
    std::uint64_t seed = 1;
    for (const auto [K, R] : kShapes) {
        SCOPED_TRACE("K = " + std::to_string(K) + ", R = " + std::to_string(R));
        const Tables x(randomStudy(K, R, seed++));
        const double n = x.counts.n;

        const UnweightedKappa u = coefficientKappa(x.study, x.counts, x.m);
        const UnweightedRestricted r1 = unweightedRestricted(x.study, x.counts, x.m, u);
        const double u1 = 1 - u.kappa;
        EXPECT_NEAR((r1.a * u1 * u1 - 2 * r1.b * u1) / (n * u.chanceDisagreement * u.chanceDisagreement), u.varkappa, 1e-9 * u.varkappa);

        for (const WeightedKappa& w :
             weightedKappas(x.study, x.counts, x.m, {Quadratic_weight(K, R), Linear_weight(K, R)})) {
            const WeightedRestricted r2 = weightedRestricted(x.study, x.counts, x.m, w);
            const double u2 = 1 - w.kappa;
            EXPECT_EQ(r2.chanceDisagreement, w.chanceDisagreement);
            EXPECT_NEAR(1 - r2.chanceAgreement, w.chanceDisagreement, 1e-15);
            EXPECT_NEAR((r2.c + u2 * u2 * r2.a - 2 * u2 * r2.b) / (r2.chanceDisagreement * r2.chanceDisagreement * n), w.varkappa, 1e-9 * w.varkappa);
        }
    }
}

}  // namespace
}  // namespace kappa
