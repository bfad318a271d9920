// The diagnostics against independent computations (bench/diagnostics_check.py:
// statsmodels, Fleiss' published values, exact arithmetic, epiR), and against
// the program's own runs of the studies they describe: each pair's kappa is
// the run of its two columns, each left-out value the run without the rater.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/command_line.h"
#include "diagnostics/diagnostics.h"
#include "inference/analysis.h"
#include "input/input.h"
#include "study_fixture.h"

namespace kappa {
namespace {

const std::string kRatings = std::string(KAPPA_EXAMPLES_DIR) + "/ratings.csv";
const std::string kDiagnoses = std::string(KAPPA_TEST_DATA) + "/diagnoses.csv";

Study ratingsStudy(const std::string& path, std::vector<std::string> categories = {}) {
    InputOptions options;
    options.format = InputFormat::Ratings;
    options.keepRaters = true;
    options.categories = std::move(categories);
    if (path == kRatings) options.id = "patient";
    InputRead read = readInput(path, options);
    EXPECT_FALSE(read.error) << path;
    return std::move(read.groups.at(0).study);
}

Matrix<std::int64_t> tableOf(const std::vector<std::vector<std::int64_t>>& rows) {
    Matrix<std::int64_t> t(rows.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        for (std::size_t j = 0; j < rows.size(); ++j) t[i][j] = rows[i][j];
    return t;
}

constexpr double kTight = 1e-12;

TEST(Diagnostics, MarginalHomogeneityAndIndicesOfReferenceTables) {
    struct Case {
        std::vector<std::vector<std::int64_t>> table;
        const char* test;
        double statistic, df, p;
        double prevalence = kNaN, bias = kNaN, pabak = kNaN;
    };
    const Case cases[] = {
        // statsmodels mcnemar (no correction) and SquareTable.homogeneity; the
        // indices exact, and as epiR's epi.kappa prints them (-0.814433,
        // 0.0137457, 0.8900344; -0.2337119, 0.01912732, 0.8924088).
        {{{40, 10}, {5, 45}}, "McNemar", 1.6666666666666667, 1, 0.1967056024589432, -0.05, 0.05, 0.7},
        {{{19, 10}, {6, 256}}, "McNemar", 1.0, 1, 0.31731050786291115, -79.0 / 97, 4.0 / 291, 259.0 / 291},
        {{{596, 61}, {29, 987}}, "McNemar", 11.377777777777778, 1, 0.0007432798688492066, -391.0 / 1673,
         32.0 / 1673, 1493.0 / 1673},
        {{{30, 8, 2}, {5, 25, 5}, {1, 4, 20}}, "Stuart-Maxwell", 1.1366120218579252, 2, 0.5664842444860674},
        // Two groups of categories that never mix: McNemar's 1 and 2, added up.
        {{{5, 3, 0, 0}, {1, 5, 0, 0}, {0, 0, 5, 2}, {0, 0, 0, 5}}, "Stuart-Maxwell", 3, 2, std::exp(-1.5)},
        {{{5, 0}, {0, 7}}, "McNemar", kNaN, kNaN, kNaN, -2.0 / 12, 0, 1},
        {{{0, 0}, {0, 0}}, "McNemar", kNaN, kNaN, kNaN, kNaN, kNaN, kNaN},  // no subject rated by both
    };
    for (const Case& c : cases) {
        const Matrix<std::int64_t> t = tableOf(c.table);
        const MarginalHomogeneity test = marginalHomogeneity(t);
        EXPECT_EQ(test.test, c.test);
        EXPECT_TRUE(std::isnan(c.statistic) ? std::isnan(test.statistic) : std::abs(test.statistic - c.statistic) < 1e-9)
            << test.statistic;
        EXPECT_TRUE(std::isnan(c.df) ? std::isnan(test.df) : test.df == c.df);
        EXPECT_TRUE(std::isnan(c.p) ? std::isnan(test.pValue) : std::abs(test.pValue - c.p) < 1e-12) << test.pValue;
        EXPECT_EQ(test.notes.empty(), !std::isnan(c.df) && t.rows() < 4) << "a note for groups of categories or no test";
        if (t.rows() != 2) continue;
        const AgreementIndices indices = agreementIndices(t);
        EXPECT_TRUE(fixture::near(indices.prevalence, c.prevalence, kTight)) << indices.prevalence;
        EXPECT_TRUE(fixture::near(indices.bias, c.bias, kTight)) << indices.bias;
        EXPECT_TRUE(fixture::near(indices.pabak, c.pabak, kTight)) << indices.pabak;
        EXPECT_EQ(indices.notes.empty(), !std::isnan(c.pabak));
    }
}

TEST(Diagnostics, SpreadHasRsQuartiles) {
    const Spread s = spreadOf({4, kNaN, 1, 3, 2});
    EXPECT_EQ(s.count, 4u);
    EXPECT_EQ(s.mean, 2.5);
    EXPECT_EQ(s.min, 1);
    EXPECT_EQ(s.lowerQuartile, 1.75);
    EXPECT_EQ(s.median, 2.5);
    EXPECT_EQ(s.upperQuartile, 3.25);
    EXPECT_EQ(s.max, 4);
    EXPECT_TRUE(std::isnan(spreadOf({kNaN}).mean));
}

// Fleiss (1971): the category-specific kappas he published, .245, .245, .520,
// .471 and .566, with the standard errors of Fleiss' kappa of each category
// against the others, and the proportions of specific agreement.
TEST(Diagnostics, FleissCategoryKappasOfHisDiagnoses) {
    AnalysisRequest request;
    request.coefficients = {Coefficient::Fleiss};
    const Diagnostics d = diagnose(ratingsStudy(kDiagnoses), request);
    const double published[] = {0.245, 0.245, 0.520, 0.471, 0.566};
    const double se[] = {0.10526740652966839, 0.09851795606706767, 0.07241261082778712, 0.07456238972938257,
                         0.1275086285427811};
    const double specific[] = {0.35384615384615387, 0.35384615384615387, 0.6, 0.6327272727272727, 0.6697674418604651};
    const double specificSe[] = {0.10244720997788946, 0.09352856714073012, 0.061101009266077866, 0.056432918326834176,
                                 0.10935464352552629};
    ASSERT_EQ(d.categories.size(), 5u);
    for (std::size_t k = 0; k < 5; ++k) {
        EXPECT_NEAR(d.categories[k].kappa.kappa, published[k], 0.0005) << k;
        EXPECT_NEAR(d.categories[k].kappa.se, se[k], kTight) << k;
        EXPECT_NEAR(d.categories[k].specific.value, specific[k], kTight) << k;
        EXPECT_NEAR(d.categories[k].specific.se, specificSe[k], kTight) << k;
    }
    EXPECT_NEAR(d.categories[2].kappa.kappa, 0.52, kTight);
}

// examples/ratings.csv, three raters with two empty cells: statsmodels'
// Cohen's kappa of each pair, and the rest in exact arithmetic.
TEST(Diagnostics, ThreeRatersWithMissingRatings) {
    AnalysisRequest request;
    request.coefficients = {Coefficient::Fleiss, Coefficient::Alpha};
    const Diagnostics d = diagnose(ratingsStudy(kRatings, {"none", "mild", "moderate", "severe"}), request);
    const struct {
        const char* first;
        const char* second;
        std::int64_t subjects;
        double kappa, se;
    } pairs[] = {{"rater1", "rater2", 19, 0.7142857142857143, 0.12483310385196411},
                 {"rater1", "rater3", 19, 0.7881040892193308, 0.1118369520528503},
                 {"rater2", "rater3", 18, 0.4793388429752067, 0.15237043599273298}};
    ASSERT_EQ(d.pairs.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(d.pairs[i].first, pairs[i].first);
        EXPECT_EQ(d.pairs[i].second, pairs[i].second);
        EXPECT_EQ(d.pairs[i].subjects, pairs[i].subjects);
        EXPECT_NEAR(d.pairs[i].estimates.at(0).kappa, pairs[i].kappa, kTight);
        EXPECT_NEAR(d.pairs[i].estimates.at(0).se, pairs[i].se, kTight);
    }
    ASSERT_EQ(d.light.size(), 1u);
    EXPECT_NEAR(d.light[0].kappas.mean, 0.6605762154934173, kTight);
    EXPECT_NEAR(d.light[0].kappas.median, pairs[0].kappa, kTight);

    const double agreement[] = {31.0 / 38, 26.0 / 37, 27.0 / 37};
    ASSERT_EQ(d.raters.size(), 3u);
    for (std::size_t j = 0; j < 3; ++j) {
        EXPECT_NEAR(d.raters[j].agreement, agreement[j], kTight);
        EXPECT_EQ(d.raters[j].leftOut.size(), 2u);
    }

    const double kappa[] = {0.8295454545454546, 0.6825396825396826, 0.5738636363636364, 0.64};
    const double kappaSe[] = {0.1111433799267092, 0.14269461310337456, 0.16483089016142424, 0.19248885135180385};
    const double specific[] = {7.0 / 8, 3.0 / 4, 9.0 / 14, 7.0 / 10};
    const double specificSe[] = {0.08118988160479113, 0.11481983169296148, 0.13972514222070564, 0.1661324772583615};
    for (std::size_t k = 0; k < 4; ++k) {
        EXPECT_NEAR(d.categories[k].kappa.kappa, kappa[k], kTight);
        EXPECT_NEAR(d.categories[k].kappa.se, kappaSe[k], kTight);
        EXPECT_NEAR(d.categories[k].specific.value, specific[k], kTight);
        EXPECT_NEAR(d.categories[k].specific.se, specificSe[k], kTight);
    }
    const double coincidence[4][4] = {{14, 2, 0, 0}, {2, 13, 2, 0}, {0, 2, 10, 3}, {0, 0, 3, 7}};
    ASSERT_TRUE(d.coincidence);
    for (std::size_t k = 0; k < 4; ++k)
        for (std::size_t l = 0; l < 4; ++l) EXPECT_NEAR((*d.coincidence)[k][l], coincidence[k][l], kTight);
    EXPECT_FALSE(d.crossTable);
}

// Two raters: Graham and Bull's positive and negative agreement, and the
// cross-table's tests.
TEST(Diagnostics, TwoRaters) {
    InputOptions options;
    InputRead read = readInput(std::string(KAPPA_EXAMPLES_DIR) + "/Kappa_data.txt", options);
    const Diagnostics d = diagnose(read.groups.at(0).study, AnalysisRequest{});
    EXPECT_TRUE(d.raters.empty());
    ASSERT_TRUE(d.crossTable && d.crossTable->indices);
    EXPECT_EQ(d.crossTable->counts[0][1], 10);
    EXPECT_NEAR(d.crossTable->marginalHomogeneity.statistic, 5.0 / 3, kTight);
    EXPECT_NEAR(d.categories[0].specific.value, 16.0 / 19, kTight);
    EXPECT_NEAR(d.categories[0].specific.se, 0.040256846813484654, kTight);
    EXPECT_NEAR(d.categories[1].specific.value, 6.0 / 7, kTight);
    EXPECT_NEAR(d.categories[1].specific.se, 0.03650723228571085, kTight);
    // Byrt et al.: kappa = (PABAK - PI^2 + BI^2) / (1 - PI^2 + BI^2).
    const AgreementIndices& i = *d.crossTable->indices;
    const double pi2 = i.prevalence * i.prevalence, bi2 = i.bias * i.bias;
    EXPECT_NEAR(d.pairs.at(0).estimates.at(0).kappa, (i.pabak - pi2 + bi2) / (1 - pi2 + bi2), kTight);
}

TEST(Diagnostics, ManyRatersOnlyTheSpread) {
    AnalysisRequest request;
    request.coefficients = {Coefficient::Fleiss};
    const Study study = ratingsStudy(kDiagnoses);
    const Diagnostics d = diagnose(study, request, {.allPairs = false, .mostRatersPaired = 5});
    EXPECT_FALSE(d.pairsListed);
    EXPECT_TRUE(d.pairs.empty());
    EXPECT_TRUE(d.raters.empty());
    EXPECT_EQ(d.light.at(0).pairs, 15u);
    EXPECT_EQ(d.notes.size(), 1u);
    const Diagnostics all = diagnose(study, request, {.allPairs = true, .mostRatersPaired = 5});
    EXPECT_EQ(all.pairs.size(), 15u);
    EXPECT_EQ(all.raters.size(), 6u);
    EXPECT_EQ(all.light.at(0).kappas.mean, d.light.at(0).kappas.mean);
}

// 30 raters, beyond the table of response patterns: statsmodels' Fleiss'
// kappa of each category against the others, of the study without the first
// rater, and its Cohen's kappa of the first two raters.
TEST(Diagnostics, ThirtyRatersBeyondThePatternTable) {
    AnalysisRequest request;
    request.coefficients = {Coefficient::Fleiss};
    const Study study = ratingsStudy(std::string(KAPPA_TEST_DATA) + "/crowd/panel30.csv");
    ASSERT_FALSE(hasPatternTable(study));
    const Diagnostics d = diagnose(study, request);
    const double categoryKappa[] = {0.3235832693153212, 0.35326117971645693, 0.34709331403652594};
    ASSERT_EQ(d.categories.size(), 3u);
    for (std::size_t k = 0; k < 3; ++k) EXPECT_NEAR(d.categories[k].kappa.kappa, categoryKappa[k], kTight) << k;
    ASSERT_EQ(d.pairs.size(), 435u);
    EXPECT_NEAR(d.pairs[0].estimates.at(0).kappa, 0.2097836312323612, kTight);
    ASSERT_EQ(d.raters.size(), 30u);
    EXPECT_NEAR(d.raters[0].leftOut.at(0).kappa, 0.34118246356788245, kTight);
}

nlohmann::json runJson(std::vector<std::string> args) {
    std::ostringstream out, err;
    args.insert(args.end(), {"--format", "json", "--input", "ratings", "--id", "patient", "--categories",
                             "none,mild,moderate,severe", "--confidence", "90", "--alternative", "greater", kRatings});
    EXPECT_EQ(runCommandLine(args, out, err), kExitAnalysed) << err.str();
    return nlohmann::json::parse(out.str());
}

// The estimate objects of JSON without what differs by design between a
// diagnostic and a run of its own: the report line and the notes.
nlohmann::json comparable(nlohmann::json estimates) {
    for (auto& e : estimates) {
        e.erase("report");
        e.erase("notes");
    }
    return estimates;
}

TEST(Diagnostics, EqualTheRunsOfTheStudiesTheyDescribe) {
    const nlohmann::json run = runJson({"--coefficients", "fleiss,gwet", "--weights", "none,quadratic", "--diagnostics"});
    const auto& d = run.at("diagnostics");
    const std::vector<std::string> raters = {"rater1", "rater2", "rater3"};
    double sum = 0;
    std::size_t pair = 0;
    for (std::size_t a = 0; a < 3; ++a)
        for (std::size_t b = a + 1; b < 3; ++b, ++pair) {
            const nlohmann::json alone = runJson(
                {"--columns", raters[a] + "," + raters[b], "--drop-incomplete", "--weights", "none,quadratic"});
            const auto& listed = d.at("pairs").at(pair);
            EXPECT_EQ(listed.at("raters"), nlohmann::json({raters[a], raters[b]}));
            EXPECT_EQ(listed.at("subjects"), alone.at("subjects"));
            EXPECT_EQ(comparable(listed.at("estimates")), comparable(alone.at("estimates")));
            sum += listed.at("estimates").at(0).at("kappa").get<double>();
        }
    EXPECT_NEAR(d.at("light").at(0).at("kappa").get<double>(), sum / 3, kTight);
    for (std::size_t j = 0; j < 3; ++j) {
        std::string others;
        for (std::size_t k = 0; k < 3; ++k)
            if (k != j) others += (others.empty() ? "" : ",") + raters[k];
        const nlohmann::json without =
            runJson({"--columns", others, "--coefficients", "fleiss,gwet", "--weights", "none,quadratic"});
        const auto& leftOut = d.at("rater_agreement").at(j).at("left_out");
        ASSERT_EQ(leftOut.size(), 4u);
        for (std::size_t e = 0; e < 4; ++e) EXPECT_EQ(leftOut.at(e).at("kappa"), without.at("estimates").at(e).at("kappa"));
    }
}

}  // namespace
}  // namespace kappa
