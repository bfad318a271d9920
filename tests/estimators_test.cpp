#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "analysis_fixture.h"
#include "estimators/kappa.h"
#include "estimators/weighted_kappa.h"
#include "estimators/weights.h"
#include "inference/restricted.h"

namespace kappa {
namespace {

using fixture::analysisOf;
using fixture::analysisOfPatterns;

TEST(CoefficientKappa, CohenWorkedExample) {
    AnalysisState s = analysisOf(2, 1, fixture::kTwoRaters);
    coefficientKappa(s);
    EXPECT_NEAR(s.I0, 0.85, 1e-12);
    EXPECT_NEAR(s.Ie, 0.5, 1e-12);
    EXPECT_NEAR(s.kappa, 0.7, 1e-12);
    EXPECT_NEAR(s.Xvalue, 0.41564125, 1e-12);
    EXPECT_NEAR(s.Yvalue, 0.01308375, 1e-12);
    EXPECT_NEAR(s.Zvalue, -0.55, 1e-12);
    EXPECT_NEAR(s.varkappa, 0.005049, 1e-12);
}

TEST(CoefficientKappa, PerfectAgreement) {
    for (const std::int32_t R : {2, 3, 4}) {
        std::vector<std::int32_t> F(static_cast<std::size_t>(std::pow(3, R)), 0);
        F.front() = 20;  // all raters choose the first category
        F.back() = 30;   // all raters choose the last one
        AnalysisState s = analysisOfPatterns(3, R, 1, F);
        coefficientKappa(s);
        EXPECT_DOUBLE_EQ(s.I0, 1.0) << "R = " << R;
        EXPECT_DOUBLE_EQ(s.kappa, 1.0) << "R = " << R;
        EXPECT_DOUBLE_EQ(s.Yvalue, 0.0) << "R = " << R;
        EXPECT_DOUBLE_EQ(s.Zvalue, -1.0) << "R = " << R;
        EXPECT_NEAR(s.varkappa, 0.0, 1e-15) << "R = " << R;
    }
}

TEST(CoefficientKappa, AgreementAtChanceLevel) {
    // Every rater splits the subjects evenly and independently: I0 = Ie.
    AnalysisState s = analysisOfPatterns(2, 3, 1, {10, 10, 10, 10, 10, 10, 10, 10});
    coefficientKappa(s);
    EXPECT_DOUBLE_EQ(s.I0, 0.25);
    EXPECT_DOUBLE_EQ(s.Ie, 0.25);
    EXPECT_DOUBLE_EQ(s.kappa, 0.0);
    EXPECT_DOUBLE_EQ(s.Zvalue, 2 * 0.25);
    // Every rater's leave-one-out products are 1/4, so U_p = 3/4 on the six
    // disagreement patterns (60 of the 80 subjects).
    EXPECT_DOUBLE_EQ(s.Yvalue, (60.0 / 80) * 0.75 * 0.75);
}

TEST(CoefficientKappa, SingleCategoryGivesNotANumber) {
    AnalysisState s = analysisOf(2, 1, {{{1, 1}, 50}});
    coefficientKappa(s);
    EXPECT_DOUBLE_EQ(s.Ie, 1.0);
    EXPECT_TRUE(std::isnan(s.kappa));
    EXPECT_TRUE(std::isnan(s.varkappa));
}

struct WeightCase {
    std::int32_t K;
    std::vector<std::uint16_t> pattern;
    double quadratic, linear;
};

TEST(DisagreementWeights, WorkedPatterns) {
    const std::vector<WeightCase> cases = {
        {3, {0, 1}, 0.25, 0.5},          {3, {0, 2}, 1.0, 1.0},        {3, {1, 1}, 0.0, 0.0},
        {4, {0, 2}, 4.0 / 9, 2.0 / 3},   {2, {0, 1, 1}, 1.0, 1.0},     {2, {1, 0, 1}, 1.0, 1.0},
        {3, {0, 1, 2}, 0.75, 1.0},       {3, {0, 0, 2}, 1.0, 1.0},     {3, {0, 0, 1}, 0.25, 0.5},
        {2, {0, 0, 0, 1}, 0.75, 0.75},   {2, {0, 0, 1, 1}, 1.0, 1.0},  {2, {1, 0, 1, 0}, 1.0, 1.0},
    };
    for (const WeightCase& c : cases) {
        AnalysisState s;
        s.K = c.K;
        s.R = static_cast<std::int32_t>(c.pattern.size());
        indicematrix(s, s.K, s.R);
        Quadratic_weight(s);
        Linear_weight(s);
        std::size_t p = 0;
        for (const std::uint16_t digit : c.pattern) p = p * static_cast<std::size_t>(c.K) + digit;
        EXPECT_DOUBLE_EQ(s.weight[p], c.quadratic) << "K = " << c.K << ", pattern " << p;
        EXPECT_DOUBLE_EQ(s.weightlinear[p], c.linear) << "K = " << c.K << ", pattern " << p;
    }
}

// Every weight lies in [0, 1], is 0 exactly on the all-agree patterns, and
// the quadratic weights reach 1.
TEST(DisagreementWeights, Range) {
    for (std::int32_t R = 2; R <= 5; ++R)
        for (std::int32_t K = 2; K <= 5; ++K) {
            AnalysisState s = analysisOfPatterns(K, R, 3, {1});
            Quadratic_weight(s);
            Linear_weight(s);
            double largest = 0.0;
            for (std::size_t p = 0; p < patternCount(s); ++p) {
                const bool agree = s.frec[p].allAgree != 0;
                EXPECT_EQ(s.weight[p] == 0.0, agree) << "R = " << R << ", K = " << K << ", p = " << p;
                EXPECT_EQ(s.weightlinear[p] == 0.0, agree) << "R = " << R << ", K = " << K << ", p = " << p;
                EXPECT_LE(std::max(s.weight[p], s.weightlinear[p]), 1.0 + 1e-15);
                largest = std::max(largest, s.weight[p]);
            }
            EXPECT_NEAR(largest, 1.0, 1e-15) << "R = " << R << ", K = " << K;
        }
}

TEST(WeightedKappa, QuadraticAndLinearWorkedExample) {
    AnalysisState s = analysisOf(3, 3, fixture::kThreeCategories);
    Quadratic_weight(s);
    Linear_weight(s);

    const WeightedEstimate first = weightedKappa(s, s.weight);
    EXPECT_NEAR(first.I0, 0.085, 1e-12);
    EXPECT_NEAR(first.Ie, 0.31325, 1e-12);
    EXPECT_NEAR(s.vbar[0][0], 0.3625, 1e-12);
    EXPECT_NEAR(first.kappa, 0.728651, 5e-7);
    EXPECT_NEAR(first.Yvalue, 0.467591, 5e-7);
    EXPECT_NEAR(first.Zvalue, 0.271349, 5e-7);
    EXPECT_NEAR(first.varkappa, 0.0039396, 5e-8);

    coefficientKappa_Weight(s);
    EXPECT_EQ(s.kappa, first.kappa);
    EXPECT_EQ(s.varkappa, first.varkappa);
    EXPECT_NEAR(s.kappalinear, 0.673279, 5e-7);
    EXPECT_NEAR(s.varkappalinear, 0.0037347, 5e-8);
    // The working values left are those of the linear weights.
    EXPECT_NEAR(s.I0, 0.14, 1e-12);
    EXPECT_NEAR(s.Ie, 0.4285, 1e-12);
}

TEST(WeightedKappa, FileWeightsReplaceWhateverTheSecondSetHeld) {
    AnalysisState s = analysisOf(3, 2, fixture::kThreeCategories);
    s.weightlinear.assign(patternCount(s) + 3, 7.5);  // left by an earlier, larger cycle
    coefficientKappa_Weight(s);
    EXPECT_NEAR(s.kappa, 0.728651, 5e-7);
    EXPECT_EQ(s.kappalinear, s.kappa);
    EXPECT_EQ(s.varkappalinear, s.varkappa);
    for (std::size_t p = 0; p < patternCount(s); ++p) EXPECT_EQ(s.weightlinear[p], s.weight[p]);

    // and so the restricted coefficients of the second set are the main ones.
    restricted_2(s);
    EXPECT_NEAR(s.Ie, 0.68675, 1e-12);
    EXPECT_EQ(s.Ielinear, s.Ie);
    EXPECT_EQ(s.alinear, s.a);
    EXPECT_EQ(s.blinear, s.b);
    EXPECT_EQ(s.clinear, s.c);
    EXPECT_EQ(s.mmIvlinear, s.mmIv);
}

TEST(WeightedKappa, CompleteAgreement) {
    AnalysisState s = analysisOf(3, 3, {{{1, 1, 1}, 10}, {{2, 2, 2}, 15}, {{3, 3, 3}, 25}});
    Quadratic_weight(s);
    const WeightedEstimate w = weightedKappa(s, s.weight);
    EXPECT_GT(w.Ie, 0.0);
    EXPECT_EQ(w.I0, 0.0);
    EXPECT_EQ(w.kappa, 1.0);
    EXPECT_EQ(w.Yvalue, 0.0);
    EXPECT_EQ(w.Zvalue, 0.0);
    EXPECT_EQ(w.varkappa, 0.0);
}

}  // namespace
}  // namespace kappa
