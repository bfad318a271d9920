#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis_fixture.h"
#include "console/scripted_console.h"
#include "inference/normal_quantile.h"
#include "inference/report.h"

namespace kappa {
namespace {

using fixture::analysisOf;
using fixture::Row;

const double z95 = confidenceQuantile(95);

std::string test(const std::string& kp, const std::string& value) {
    return "Test statistic (for kappa = " + kp + ") = " + value + ".";
}
std::string negative(const std::string& kp) { return "Variance for test statistic (for kappa = " + kp + ") is negative."; }
std::string ci(const std::string& interval) { return "CI = " + interval + "."; }
std::string independence(const std::string& value) {
    return "Test statistic (for the independence test) = " + value + ".";
}

std::string unweighted(const std::string& header, const std::string& wald, const std::string& waldCi,
                       const std::string& restricted, const std::string& restrictedCi, const std::string& indep) {
    return "\n\n " + header + "\n\n UNRESTRICTED INFERENCES:\n " + wald + "\n " + waldCi +
           "\n\n RESTRICTED INFERENCES:\n " + restricted + "\n " + restrictedCi + "\n " + independence(indep);
}

// One block of the weighted report; both of its independence lines read `indep`.
std::string weighted(const std::string& header, const std::string& wald, const std::string& waldCi,
                     const std::string& v, const std::string& vCi, const std::string& indep, const std::string& w,
                     const std::string& wCi) {
    return "\n\n " + header + "\n\n UNRESTRICTED INFERENCES:\n " + wald + "\n " + waldCi +
           "\n\n RESTRICTED INFERENCES BASED ON v:\n " + v + "\n " + vCi + "\n " + independence(indep) +
           "\n\n RESTRICTED INFERENCES BASED ON w:\n " + w + "\n " + wCi + "\n " + independence(indep);
}

std::string unweightedReportOf(std::int32_t K, const std::vector<Row>& rows, double kp) {
    AnalysisState s = analysisOf(K, 1, rows, kp);
    ScriptedConsole con({});
    unweightedReport(s, con, z95);
    return con.output();
}

std::string weightedReportOf(std::int32_t K, std::int32_t entrada, const std::vector<Row>& rows, double kp) {
    AnalysisState s = analysisOf(K, entrada, rows, kp);
    ScriptedConsole con({});
    weightedReport(s, con, z95);
    return con.output();
}

const std::vector<Row> kPerfect = {{{1, 1}, 50}, {{2, 2}, 50}};

TEST(UnweightedReport, WorkedExamples) {
    const struct {
        const char* name;
        std::vector<Row> rows;
        double kp;
        std::string expected;
    } cases[] = {
        {"two raters, kp 0", fixture::kTwoRaters, 0.0,
         unweighted("Cohen's kappa 0.7000 \xF1 0.07106", test("0.00", "9.8513"), ci("(0.5607, 0.8393)"),
                    negative("0.00"), ci("(0.5694, 0.8246)"), "7.0353")},
        {"two raters, kp 0.6", fixture::kTwoRaters, 0.6,
         unweighted("Cohen's kappa 0.7000 \xF1 0.07106", test("0.60", "1.4073"), ci("(0.5607, 0.8393)"),
                    test("0.60", "1.4531"), ci("(0.5694, 0.8246)"), "7.0353")},
        {"three raters, kp 0.5", fixture::kThreeRaters, 0.5,
         unweighted("Hubert's kappa 0.6590 \xF1 0.05879", test("0.50", "2.7050"), ci("(0.5438, 0.7743)"),
                    test("0.50", "3.1209"), ci("(0.5509, 0.7687)"), "11.4545")},
        // The restricted variance at kp = 1 is exactly 0, which is not negative.
        {"two raters, kp 1", fixture::kTwoRaters, 1.0,
         unweighted("Cohen's kappa 0.7000 \xF1 0.07106", test("1.00", "-4.2220"), ci("(0.5607, 0.8393)"),
                    test("1.00", "-inf"), ci("(0.5694, 0.8246)"), "7.0353")},
        // A standard error of 0: the Wald statistic is infinite.
        {"perfect agreement, kp 0", kPerfect, 0.0,
         unweighted("Cohen's kappa 1.0000 \xF1 0.00000", test("0.00", "inf"), ci("(1.0000, 1.0000)"),
                    negative("0.00"), ci("(0.9356, 1.0000)"), "10.0000")},
    };
    for (const auto& c : cases) EXPECT_EQ(unweightedReportOf(2, c.rows, c.kp), c.expected) << c.name;
}

TEST(UnweightedReport, WaldLimitsAreClippedOnlyAbove) {
    // kappa + z se is above 1: printed as 1.0000.
    const std::string high = unweightedReportOf(2, {{{1, 1}, 10}, {{1, 2}, 1}, {{2, 2}, 10}}, 0.0);
    EXPECT_NE(high.find("\n CI = (0.7240, 1.0000).\n\n RESTRICTED"), std::string::npos) << high;
    // A kappa well below chance: the lower limit is printed below -1 as computed.
    const std::string low = unweightedReportOf(2, {{{1, 1}, 1}, {{1, 2}, 4}, {{2, 1}, 4}, {{2, 2}, 1}}, 0.0);
    EXPECT_NE(low.find("\n CI = (-1.0958, -0.1042).\n\n RESTRICTED"), std::string::npos) << low;
}

const std::string kQuadraticKp0 =
    weighted("Cohen's weighted kappa QUADRATIC 0.7287 \xF1 0.06277", test("0.00", "11.6090"), ci("(0.6056, 0.8517)"),
             test("0.00", "4.3584"), ci("(0.5787, 0.8452)"), "7.3076", negative("0.00"), ci("(0.5589, 0.7944)"));
const std::string kLinearKp0 =
    weighted("Cohen's weighted kappa LINEAR 0.6733 \xF1 0.06111", test("0.00", "11.0171"), ci("(0.5535, 0.7931)"),
             test("0.00", "4.4293"), "CI = (0.5279, 0.7856)", "8.6325", negative("0.00"), "CI = (0.5227, 0.7502)");
const std::string kQuadraticKp05 =
    weighted("Cohen's weighted kappa QUADRATIC 0.7287 \xF1 0.06277", test("0.50", "3.6429"), ci("(0.6056, 0.8517)"),
             test("0.50", "2.6423"), ci("(0.5787, 0.8452)"), "7.3076", test("0.50", "2.6423"), ci("(0.5589, 0.7944)"));
const std::string kLinearKp05 =
    weighted("Cohen's weighted kappa LINEAR 0.6733 \xF1 0.06111", test("0.50", "2.8354"), ci("(0.5535, 0.7931)"),
             test("0.50", "2.2389"), "CI = (0.5279, 0.7856)", "8.6325", test("0.50", "2.2389"),
             "CI = (0.5227, 0.7502)");

TEST(WeightedReport, QuadraticAndLinearBlocks) {
    EXPECT_EQ(weightedReportOf(3, 3, fixture::kThreeCategories, 0.0), kQuadraticKp0 + kLinearKp0);
    EXPECT_EQ(weightedReportOf(3, 3, fixture::kThreeCategories, 0.5), kQuadraticKp05 + kLinearKp05);
}

TEST(WeightedReport, FileWeightsPrintOnePlainBlock) {
    std::string expected = kQuadraticKp05;
    expected.replace(expected.find(" QUADRATIC"), 10, "");
    EXPECT_EQ(weightedReportOf(3, 2, fixture::kThreeCategories, 0.5), expected);
}

const std::string kThreeRatersBlock =
    weighted("Hubert's weighted kappa QUADRATIC 0.6590 \xF1 0.05879", test("0.50", "2.7050"), ci("(0.5438, 0.7743)"),
             test("0.50", "1.9097"), ci("(0.4935, 0.7587)"), "11.4545", test("0.50", "2.3037"), ci("(0.5252, 0.7477)"));

TEST(WeightedReport, ThreeRaters) {
    // With two categories both weight sets give every disagreement weight 1.
    std::string linear = kThreeRatersBlock;
    linear.replace(linear.find("QUADRATIC"), 9, "LINEAR");
    linear.replace(linear.find("0.7587)."), 8, "0.7587)");
    linear.replace(linear.find("0.7477)."), 8, "0.7477)");
    EXPECT_EQ(weightedReportOf(2, 3, fixture::kThreeRaters, 0.5), kThreeRatersBlock + linear);

    std::vector<Row> weightedRows = fixture::kThreeRaters;
    for (Row& row : weightedRows) row.weight = row.codes[0] == row.codes[1] && row.codes[1] == row.codes[2] ? 0 : 1;
    std::string plain = kThreeRatersBlock;
    plain.replace(plain.find(" QUADRATIC"), 10, "");
    EXPECT_EQ(weightedReportOf(2, 2, weightedRows, 0.5), plain);
}

// Every rater puts every subject in one category: the chance agreement is 1
// and every value is a not-a-number, printed in place (its sign aside, which
// the platform chooses); no negative-variance or no-solution message appears.
TEST(Reports, OneCategoryPrintsNotANumbers) {
    const auto dropNanSigns = [](std::string text) {
        for (auto at = text.find("-nan"); at != std::string::npos; at = text.find("-nan")) text.erase(at, 1);
        return text;
    };
    const std::vector<Row> one = {{{1, 1}, 30}};
    const std::string nan = "nan", both = "(nan, nan)";
    EXPECT_EQ(dropNanSigns(unweightedReportOf(2, one, 0.0)),
              unweighted("Cohen's kappa nan \xF1 nan", test("0.00", nan), ci(both), test("0.00", nan), ci(both), nan));
    EXPECT_EQ(dropNanSigns(weightedReportOf(2, 3, one, 0.0)),
              weighted("Cohen's weighted kappa QUADRATIC nan \xF1 nan", test("0.00", nan), ci(both), test("0.00", nan),
                       ci(both), nan, test("0.00", nan), ci(both)) +
                  weighted("Cohen's weighted kappa LINEAR nan \xF1 nan", test("0.00", nan), ci(both),
                           test("0.00", nan), "CI = " + both, nan, test("0.00", nan), "CI = " + both));
}

}  // namespace
}  // namespace kappa
