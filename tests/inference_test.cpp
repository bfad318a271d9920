#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "analysis_fixture.h"
#include "estimators/kappa.h"
#include "estimators/weighted_kappa.h"
#include "estimators/weights.h"
#include "inference/normal_quantile.h"
#include "inference/report.h"
#include "inference/restricted.h"

namespace kappa {
namespace {

using fixture::analysisOf;
using fixture::analysisOfPatterns;

// The quantile is a whole number of 1e-5 steps, so it must match to far
// better than the printed five decimals.
TEST(NormalQuantile, ConfidenceLevels) {
    const struct {
        double Cf, z;
    } table[] = {{80, 1.28155}, {90, 1.64484}, {95, 1.95994}, {97.5, 2.24135}, {99, 2.57570}, {99.9, 3.28942}};
    for (const auto& row : table) EXPECT_NEAR(confidenceQuantile(row.Cf), row.z, 1e-9) << "Cf = " << row.Cf;
}

TEST(NormalQuantile, Probabilities) {
    EXPECT_NEAR(static_cast<double>(Inv_Normal(0.75L)), 0.67449, 1e-9);
    EXPECT_NEAR(static_cast<double>(Inv_Normal(0.5L)), 0.00001, 1e-12);
    EXPECT_EQ(Inv_Normal(0.4L), 0.0L);
    EXPECT_NEAR(static_cast<double>(Inv_Normal(1.0L)), 4.61194, 1e-9);
    // Targets the sum can never pass still end.
    for (const long double p : {1.5L, 2.0L}) {
        const long double z = Inv_Normal(p);
        EXPECT_TRUE(std::isfinite(static_cast<double>(z)));
        EXPECT_GT(z, 4.61194L);
    }
}

TEST(Restricted1, CohenWorkedExample) {
    AnalysisState s = analysisOf(2, 1, fixture::kTwoRaters);
    coefficientKappa(s);
    s.c = s.d = 9.0;
    restricted_1(s);
    EXPECT_NEAR(s.Xvalue, 0.8525, 1e-12);
    EXPECT_NEAR(s.Yvalue, 1.0025, 1e-12);
    EXPECT_NEAR(s.a, -1.2475, 1e-12);
    EXPECT_NEAR(s.b, -0.3975, 1e-12);
    EXPECT_NEAR(s.mmI, 0.2475, 1e-12);
    EXPECT_EQ(s.c, 0.0);
    EXPECT_EQ(s.d, 0.0);
    EXPECT_NEAR(s.Zvalue, -0.55, 1e-12);  // left as coefficientKappa set it
}

// A data set of random pattern frequencies in which every category is used.
AnalysisState randomData(std::int32_t K, std::int32_t R, std::int32_t entrada, std::uint64_t seed) {
    fixture::Lcg random(seed);
    std::vector<std::int32_t> F(static_cast<std::size_t>(std::pow(K, R)));
    for (std::int32_t& f : F) f = random.below(4) == 0 ? 0 : random.below(12);
    // Agreement well above chance, and every category used by every rater.
    const std::size_t step = (F.size() - 1) / static_cast<std::size_t>(K - 1);
    for (std::size_t p = 0; p < F.size(); p += step) F[p] += 40 + random.below(30);
    return analysisOfPatterns(K, R, entrada, F);
}

// At k0 = kappa the restricted variance is the variance of the estimate; and
// mmI is the chance variance of one subject's contribution to I0 - Ie.
TEST(Restricted1, VarianceAtTheEstimateAndIndependenceTerm) {
    const struct {
        std::int32_t K, R;
    } shapes[] = {{2, 2}, {3, 2}, {4, 2}, {2, 3}, {3, 3}, {2, 4}, {3, 4}, {2, 5}, {3, 5}};
    std::uint64_t seed = 1;
    for (const auto& shape : shapes) {
        AnalysisState s = randomData(shape.K, shape.R, 1, seed++);
        coefficientKappa(s);
        restricted_1(s);
        const double u = 1 - s.kappa;
        const double restricted = (s.a * u * u - 2 * s.b * u) / (s.Naux * (1 - s.Ie) * (1 - s.Ie));
        EXPECT_NEAR(restricted, s.varkappa, 1e-12 + 1e-9 * std::abs(s.varkappa))
            << "K = " << shape.K << ", R = " << shape.R;

        double mean = 0.0, square = 0.0;
        for (std::size_t p = 0; p < patternCount(s); ++p) {
            const double g = (s.frec[p].allAgree ? 1.0 : 0.0) - patternLeaveOneOutSum(s, p);
            mean += s.prodt[p] * g;
            square += s.prodt[p] * g * g;
        }
        EXPECT_NEAR(s.mmI, square - mean * mean, 1e-12) << "K = " << shape.K << ", R = " << shape.R;
    }
}

TEST(Restricted2, QuadraticAndLinearWorkedExample) {
    AnalysisState s = analysisOf(3, 3, fixture::kThreeCategories);
    Quadratic_weight(s);
    Linear_weight(s);
    coefficientKappa_Weight(s);
    s.d = 5.0;
    restricted_2(s);
    EXPECT_NEAR(s.Ie, 0.68675, 1e-12);
    EXPECT_NEAR(s.a, 0.342117, 5e-7);
    EXPECT_NEAR(s.b, 0.0558, 1e-12);
    EXPECT_NEAR(s.c, 0.04375, 1e-12);
    EXPECT_NEAR(s.mmIv, 0.097561, 5e-7);
    EXPECT_NEAR(s.Ielinear, 0.5715, 1e-12);
    EXPECT_NEAR(s.alinear, 0.578548, 5e-7);
    EXPECT_NEAR(s.blinear, 0.11965, 1e-12);
    EXPECT_NEAR(s.clinear, 0.085, 1e-12);
    EXPECT_NEAR(s.mmIvlinear, 0.111692, 5e-7);
    EXPECT_EQ(s.d, 0.0);
}

// For both weight sets: 1 - Ie is the estimator's chance disagreement, and at
// k0 = kappa the restricted variance is the variance of the estimate.
TEST(Restricted2, VarianceAtTheEstimate) {
    const struct {
        std::int32_t K, R;
    } shapes[] = {{2, 2}, {3, 2}, {5, 2}, {2, 3}, {3, 3}, {4, 3}, {2, 4}, {3, 4}, {4, 4}};
    std::uint64_t seed = 100;
    for (const auto& shape : shapes) {
        AnalysisState s = randomData(shape.K, shape.R, 3, seed++);
        Quadratic_weight(s);
        Linear_weight(s);
        const double quadraticIe = weightedKappa(s, s.weight).Ie;
        coefficientKappa_Weight(s);
        const double linearIe = s.Ie;
        restricted_2(s);

        const auto restricted = [&](double kappaHat, double Ie, double a, double b, double c) {
            const double u = 1 - kappaHat;
            return (c + u * u * a - 2 * u * b) / ((1 - Ie) * (1 - Ie) * s.Naux);
        };
        EXPECT_NEAR(1 - s.Ie, quadraticIe, 1e-15);
        EXPECT_NEAR(1 - s.Ielinear, linearIe, 1e-15);
        EXPECT_NEAR(restricted(s.kappa, s.Ie, s.a, s.b, s.c), s.varkappa, 1e-9 * s.varkappa)
            << "K = " << shape.K << ", R = " << shape.R;
        EXPECT_NEAR(restricted(s.kappalinear, s.Ielinear, s.alinear, s.blinear, s.clinear), s.varkappalinear,
                    1e-9 * s.varkappalinear)
            << "K = " << shape.K << ", R = " << shape.R;
    }
}

// The restricted test and the inverted interval, on coefficient sets chosen
// to reach each branch.
TEST(RestrictedInference, Branches) {
    const double inf = std::numeric_limits<double>::infinity();
    // kappa, varkappa, Q, a, b, c, m
    const WeightedSet base{0.5, 0.01, 0.5, 0.0, 0.0, 0.0, 1.0};

    WeightedSet w = base;  // kp = 1 makes V0 exactly 0: not negative
    RestrictedInference r = weightedRestrictedInference(w, 1.0, 0.1, 2.0, 100);
    EXPECT_FALSE(r.negativeVariance);
    EXPECT_EQ(r.T0, -inf);

    w.kappa = 1.0;  // and 0 / 0 when kappa is 1
    r = weightedRestrictedInference(w, 1.0, 0.1, 2.0, 100);
    EXPECT_FALSE(r.negativeVariance);
    EXPECT_TRUE(std::isnan(r.T0));

    w = base;  // V0 < 0
    w.a = -1.0;
    r = weightedRestrictedInference(w, 0.0, 0.1, 2.0, 100);
    EXPECT_TRUE(r.negativeVariance);

    w = base;  // D < 0: b^2 - c a = -1 outweighs z^2 varkappa
    w.a = 1.0;
    w.c = 1.0;
    r = weightedRestrictedInference(w, 0.0, 1.0, 2.0, 100);
    EXPECT_TRUE(r.noSolution);

    w = base;  // D = 0: one root
    w.varkappa = 0.0;
    w.a = 0.5;
    r = weightedRestrictedInference(w, 0.0, 0.2, 2.0, 100);
    EXPECT_FALSE(r.noSolution);
    EXPECT_EQ(r.L, r.U);
    EXPECT_DOUBLE_EQ(r.L, (0.5 - 0.1) / 0.9);

    w = base;  // 1 - d a < 0: the limits come out reversed and only U is clipped
    w.a = 2.0;
    r = weightedRestrictedInference(w, 0.0, 1.0, 2.0, 100);
    EXPECT_DOUBLE_EQ(r.L, 1.7);
    EXPECT_EQ(r.U, 1.0);

    w = base;  // 1 - d a = 0: an infinite upper limit is clipped
    w.varkappa = 0.25;
    w.a = 1.0;
    r = weightedRestrictedInference(w, 0.0, 1.0, 2.0, 100);
    EXPECT_EQ(r.U, 1.0);
}

}  // namespace
}  // namespace kappa
