// The model of the coverage study (bench/coverage_model.h): its population
// values are the exact ones of bench/coverage_truth.py, and the program's
// estimates on a large sample drawn from it come close to them. A cell of the
// study (bench/coverage_study.h) with many subjects covers near the level.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "bench/coverage_model.h"
#include "bench/coverage_study.h"
#include "inference/analysis.h"
#include "study_fixture.h"

namespace kappa {
namespace {

using C = Coefficient;

struct Model {
    std::int32_t R;
    std::vector<double> prevalence;
    double theta;
    Weighting weights;
    // kappa, fleiss, conger, gwet, alpha, bp, percent (bench/coverage_truth.py)
    std::vector<double> truth;
};

const C kAll[] = {C::Kappa, C::Fleiss, C::Conger, C::Gwet, C::Alpha, C::BrennanPrediger, C::Percent};

const std::vector<Model> kModels = {
    {3, {0.8, 0.1, 0.1}, 0.6, Weighting::None, {0.6, 0.6, 0.6, 347.0 / 415, 0.6, 0.796, 0.864}},
    {3, {0.8, 0.1, 0.1}, 0.6, Weighting::Quadratic, {0.6, 0.6, 0.6, 289.0 / 330, 0.6, 0.754, 0.918}},
    {2, {0.2, 0.2, 0.2, 0.2, 0.2}, 0.2, Weighting::Quadratic, {0.2, 0.2, 0.2, 0.2, 0.2, 0.2, 0.8}},
    {5, {0.8, 0.2}, 0.9, Weighting::None, {0.9, 0.9, 0.9, 81.0 / 85, 0.9, 0.936, 0.968}},
    {3, {0.8, 0.05, 0.05, 0.05, 0.05}, 0.0, Weighting::Quadratic, {0, 0, 0, 33.0 / 43, 0, 0.375, 0.84375}},
};

TEST(CoverageModel, PopulationValuesAreTheExactOnes) {
    for (const Model& m : kModels) {
        const bench::AgreementModel model(m.R, m.prevalence, m.theta);
        for (std::size_t i = 0; i < std::size(kAll); ++i)
            EXPECT_NEAR(model.trueValue(kAll[i], m.weights), m.truth[i], 1e-12)
                << coefficientId(kAll[i]) << " R=" << m.R << " K=" << m.prevalence.size() << " theta=" << m.theta;
    }
}

// 200,000 subjects: every standard error is below 0.004.
TEST(CoverageModel, EstimatesOnALargeSampleComeCloseToThePopulationValues) {
    bench::SplitMix64 random(18);
    for (const Model& m : kModels) {
        const bench::AgreementModel model(m.R, m.prevalence, m.theta);
        const auto K = static_cast<std::int32_t>(m.prevalence.size());
        std::vector<std::int64_t> frequency(patternCount(K, m.R), 0);
        for (int s = 0; s < 200000; ++s) ++frequency[model.drawPattern(random)];
        AnalysisRequest request;
        request.coefficients.assign(std::begin(kAll), std::end(kAll));
        request.weights = {m.weights};
        const Analysis a = analyse(fixture::studyOf(K, m.R, frequency), request);
        ASSERT_EQ(a.estimates.size(), std::size(kAll));
        for (std::size_t i = 0; i < std::size(kAll); ++i)
            EXPECT_NEAR(a.estimates[i].kappa, m.truth[i], 0.012)
                << a.estimates[i].name << " R=" << m.R << " K=" << K << " theta=" << m.theta;
    }
}

// 200 replications of 500 subjects, where the study found every interval and
// test within a point of its level: each row is tallied in every replication,
// and stays within four standard errors (6 points) of it.
TEST(CoverageStudy, ACellOfManySubjectsKeepsTheLevel) {
    const bench::Cell cells[] = {{500, 2, 3, false, 0.0, Weighting::None}, {500, 3, 3, true, 0.6, Weighting::Quadratic}};
    for (const bench::Cell& cell : cells) {
        const std::vector<bench::Row> rows = bench::run(cell, 200);
        // Wald, restricted, independence (kappa 0) or restricted (w) (weighted), report line, six t.
        EXPECT_EQ(rows.size(), 10u);
        for (const bench::Row& row : rows) {
            SCOPED_TRACE(std::string(coefficientId(row.coefficient)) + " " + bench::methodName(row.method));
            const bench::Tally& t = row.tally;
            EXPECT_EQ(t.replications, 200);
            EXPECT_EQ(t.tests, 200);
            EXPECT_LE(t.rejected, 22);
            if (t.intervals == 0) continue;  // tests without an interval
            EXPECT_EQ(t.intervals, 200);
            EXPECT_GE(t.covered, 178);
        }
    }
}

}  // namespace
}  // namespace kappa
