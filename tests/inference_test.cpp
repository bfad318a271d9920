// The critical value of the normal intervals, and the inferences of Hubert's
// kappa at each of their branches.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "inference/analysis.h"
#include "inference/hubert_inference.h"
#include "inference/normal_quantile.h"
#include "study_fixture.h"

namespace kappa {
namespace {

const double inf = std::numeric_limits<double>::infinity();

// The quantile is a whole number of 1e-5 steps, so it matches the printed
// decimals to far better than 1e-9. The levels the program keeps ready are
// each exactly what the sum gives.
TEST(NormalQuantile, LevelsAndProbabilities) {
    const struct {
        double Cf, z;
    } levels[] = {{80, 1.28155}, {90, 1.64484}, {95, 1.95994}, {97.5, 2.24135},
                  {98, 2.32628}, {99, 2.57570}, {99.5, 2.80679}, {99.9, 3.28942}};
    for (const auto& level : levels) {
        const double p = 1 - (1 - level.Cf / 100) / 2;
        EXPECT_NEAR(confidenceQuantile(level.Cf), level.z, 1e-9) << "Cf = " << level.Cf;
        EXPECT_EQ(confidenceQuantile(level.Cf), static_cast<double>(inverseNormal(p))) << "Cf = " << level.Cf;
    }
    EXPECT_NEAR(confidenceQuantile(85), 1.43953, 1e-9);  // a level summed when asked for
    EXPECT_NEAR(exactConfidenceQuantile(95), 1.959963984540054, 1e-15);
    EXPECT_TRUE(std::isnan(exactConfidenceQuantile(100)));

    EXPECT_NEAR(static_cast<double>(inverseNormal(0.75L)), 0.67449, 1e-9);
    EXPECT_NEAR(static_cast<double>(inverseNormal(0.5L)), 0.00001, 1e-12);
    EXPECT_EQ(inverseNormal(0.4L), 0.0L);
    EXPECT_NEAR(static_cast<double>(inverseNormal(1.0L)), 4.61194, 1e-9);
    // Targets the sum can never pass still end.
    for (const long double p : {1.5L, 2.0L}) EXPECT_NEAR(static_cast<double>(inverseNormal(p)), 10.0, 1e-5);
}

// The restricted test and its inverted interval on coefficient sets chosen
// to reach each branch. With z = 2 and Q = 0.5 the scale factor d = z^2 /
// (n Q^2) is 16 / n; the roots are (M -+ sqrt(D)) / (1 - d a) with
// M = kappa + (b - a) d and D = (b^2 - c a) d^2 + z^2 varkappa.
TEST(HubertInference, RestrictedBranches) {
    const struct {
        const char* name;
        double kappa, varkappa, a, b, c, kappa0, n;
        bool negativeVariance;
        double statistic;
        bool noSolution;
        double L, U;
    } cases[] = {
        {"V0 exactly 0 is not negative", 0.5, 0.01, 0, 0, 0, 1, 160, false, -inf, false, 0.3, 0.7},
        {"0 / 0 when kappa is kappa0", 1.0, 0.01, 0, 0, 0, 1, 160, false, NAN, false, 0.8, 1.0},
        {"V0 < 0", 0.5, 0.01, -1, 0, 0, 0, 160, true, NAN, false, 0.4 / 1.1, 0.8 / 1.1},
        // b^2 - c a = -1 outweighs z^2 varkappa.
        {"D < 0", 0.5, 0.01, 1, 0, 1, 0, 16, false, std::sqrt(0.5), true, NAN, NAN},
        {"D = 0: one root", 0.5, 0.0, 0.5, 0, 0, 0, 80, false, std::sqrt(10.0), false, 0.4 / 0.9, 0.4 / 0.9},
        // 1 - d a < 0: the limits come out reversed, and only U is clipped.
        {"1 - d a < 0", 0.5, 0.01, 2, 0, 0, 0, 16, false, std::sqrt(0.5), false, 1.7, 1.0},
        {"1 - d a = 0: infinite limits", 0.5, 0.25, 1, 0, 0, 0, 16, false, 1.0, false, -inf, 1.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WeightedKappa kappa;
        kappa.kappa = c.kappa;
        kappa.complement = 1 - c.kappa;
        kappa.varkappa = c.varkappa;
        const WeightedRestricted restricted{0.5, 0.5, c.a, c.b, c.c, 1.0};
        const Estimate e = weightedEstimate(kappa, restricted, Weighting::File, {c.n, 2, 2.0, c.kappa0});
        ASSERT_EQ(e.restricted.size(), 2u);
        const RestrictedTest& r = e.restricted[0];
        EXPECT_EQ(r.basis, Basis::V);
        EXPECT_EQ(r.negativeVariance, c.negativeVariance);
        EXPECT_PRED3(fixture::near, r.statistic, c.statistic, 1e-12);
        EXPECT_EQ(r.noSolution, c.noSolution);
        EXPECT_PRED3(fixture::near, r.ci.lower, c.L, 1e-12);
        EXPECT_PRED3(fixture::near, r.ci.upper, c.U, 1e-12);
    }
}

// Unweighted kappa: a standard error of 0 makes an infinite statistic, a
// restricted variance of exactly 0 is not negative, a single category leaves
// every value undefined with a reason, and the Wald interval is clipped above
// only.
TEST(HubertInference, UnweightedEdges) {
    const struct {
        const char* name;
        std::vector<std::int64_t> F;
        double kappa0;
        double wald, lower, upper;  // the Wald test and interval
        bool negative;              // the restricted variance
        double restricted, rLower, rUpper, independence;
    } cases[] = {
        {"Cohen, kappa0 0.6", {40, 10, 5, 45}, 0.6, 1.4073, 0.5607, 0.8393, false, 1.4531, 0.5694, 0.8246, 7.0353},
        {"Cohen, kappa0 1", {40, 10, 5, 45}, 1, -4.2220, 0.5607, 0.8393, false, -inf, 0.5694, 0.8246, 7.0353},
        {"perfect agreement", {50, 0, 0, 50}, 0, inf, 1.0, 1.0, true, NAN, 0.9356, 1.0, 10.0},
        {"single category", {30}, 0, NAN, NAN, NAN, false, NAN, NAN, NAN, NAN},
    };
    const auto estimateOf = [](const std::vector<std::int64_t>& F, double kappa0) {
        AnalysisRequest request;
        request.kappa0 = kappa0;
        const Analysis a = analyse(fixture::studyOf(2, 2, F), request);
        EXPECT_EQ(a.estimates.size(), 1u);
        return a.estimates.at(0);
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Estimate e = estimateOf(c.F, c.kappa0);
        EXPECT_EQ(e.name, "Cohen's kappa");
        EXPECT_PRED3(fixture::near, e.wald.statistic, c.wald, 5e-5);
        EXPECT_PRED3(fixture::near, e.wald.ci.lower, c.lower, 5e-5);
        EXPECT_PRED3(fixture::near, e.wald.ci.upper, c.upper, 5e-5);
        ASSERT_EQ(e.restricted.size(), 1u);
        const RestrictedTest& r = e.restricted[0];
        EXPECT_EQ(r.negativeVariance, c.negative);
        EXPECT_FALSE(r.noSolution);
        EXPECT_PRED3(fixture::near, r.statistic, c.restricted, 5e-5);
        EXPECT_PRED3(fixture::near, r.ci.lower, c.rLower, 5e-5);
        EXPECT_PRED3(fixture::near, r.ci.upper, c.rUpper, 5e-5);
        EXPECT_PRED3(fixture::near, r.independence, c.independence, 5e-5);
    }
    EXPECT_NE(estimateOf({30}, 0).notes.at(0).find("chance agreement is 1"), std::string::npos);
    const Estimate high = estimateOf({10, 1, 0, 10}, 0), low = estimateOf({1, 4, 4, 1}, 0);
    EXPECT_NEAR(high.wald.ci.lower, 0.7240, 5e-5);
    EXPECT_EQ(high.wald.ci.upper, 1.0);
    EXPECT_NEAR(low.wald.ci.lower, -1.0958, 5e-5);
    EXPECT_NEAR(low.wald.ci.upper, -0.1042, 5e-5);
}

}  // namespace
}  // namespace kappa
