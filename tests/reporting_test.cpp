// What an analysis reports: degenerate studies with null tests whatever the
// raters' order, restricted intervals as the sets their test does not
// reject, one-sided p-values, and report lines that round the JSON.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <numeric>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "format/format.h"
#include "inference/analysis.h"
#include "study_fixture.h"

namespace kappa {
namespace {

using C = Coefficient;
using W = Weighting;

// A study from table rows: R codes 1..K and a frequency.
Study fromRows(std::int32_t R, std::int32_t K, const std::vector<std::vector<int>>& rows,
               const std::vector<std::size_t>& raterOrder) {
    std::vector<std::int64_t> F(patternCount(K, R), 0);
    for (const auto& row : rows) {
        std::size_t p = 0;
        for (const std::size_t j : raterOrder) p = p * static_cast<std::size_t>(K) + static_cast<std::size_t>(row[j] - 1);
        F[p] += row[static_cast<std::size_t>(R)];
    }
    return fixture::studyOf(K, R, F);
}

// The degenerate families: observed agreement equal to chance agreement, or
// variances of exactly 0, whose statistics rounding once made definite.
struct Family {
    const char* name;
    std::int32_t R, K;
    std::vector<std::vector<int>> rows;
    std::vector<C> coefficients;
    W weights;
    std::vector<C> noWaldTest;  // the coefficients whose standard error is exactly 0
    bool zeroEstimates;         // and whose estimates are exactly 0
    bool noHubertTests;         // Hubert's kappa: no restricted or independence test either
};

const Family kFamilies[] = {
    {"a rater who always answers 1", 2, 3, {{1, 1, 2}, {2, 1, 1}, {3, 1, 2}}, {C::Kappa, C::Conger}, W::None,
     {C::Kappa, C::Conger}, true, true},
    {"raters in disjoint categories", 3, 3, {{1, 1, 3, 5}, {2, 2, 3, 5}, {1, 2, 3, 5}, {2, 1, 3, 4}}, {C::Kappa},
     W::None, {C::Kappa}, true, true},
    {"quadratic weights, a constant rater", 2, 4, {{1, 1, 4}, {2, 1, 1}}, {C::Kappa}, W::Quadratic, {C::Kappa},
     true, true},
    {"circular weights, p_a = p_e = 1/2", 2, 4, {{1, 2, 3}, {2, 3, 3}, {3, 4, 3}, {4, 1, 3}},
     {C::Conger, C::Fleiss, C::Gwet, C::BrennanPrediger}, W::Circular,
     {C::Conger, C::Fleiss, C::Gwet, C::BrennanPrediger}, true, false},
    {"three constant raters of four", 4, 3, {{1, 3, 3, 3, 4}, {2, 3, 3, 3, 3}, {3, 3, 3, 3, 5}},
     {C::Kappa, C::Conger, C::Fleiss}, W::None, {C::Kappa, C::Conger}, true, true},
    {"every subject rated all different", 3, 3, {{1, 2, 3, 4}, {2, 3, 1, 3}, {3, 1, 2, 5}},
     {C::Fleiss, C::Gwet, C::BrennanPrediger, C::Alpha, C::Percent}, W::None,
     {C::Fleiss, C::Gwet, C::BrennanPrediger, C::Alpha, C::Percent}, false, false},
};

TEST(Degenerate, NullTestsWhateverTheRatersOrder) {
    for (const Family& family : kFamilies) {
        SCOPED_TRACE(family.name);
        AnalysisRequest request;
        request.coefficients = family.coefficients;
        request.weights = {family.weights};
        std::vector<std::size_t> order(static_cast<std::size_t>(family.R));
        std::iota(order.begin(), order.end(), 0);
        std::string first;
        do {
            const Analysis a = analyse(fromRows(family.R, family.K, family.rows, order), request);
            for (const Estimate& e : a.estimates) {
                SCOPED_TRACE(e.name);
                const bool none = std::count(family.noWaldTest.begin(), family.noWaldTest.end(), e.coefficient) > 0;
                EXPECT_EQ(e.wald.zeroVariance, none);
                EXPECT_EQ(std::isnan(e.wald.pValue), none);
                EXPECT_TRUE(!none || e.se == 0.0);
                EXPECT_TRUE(!none || !family.zeroEstimates || e.kappa == 0.0);
                for (const RestrictedTest& r : e.restricted) {
                    EXPECT_EQ(r.zeroVariance, family.noHubertTests);
                    EXPECT_EQ(r.independenceZeroVariance, family.noHubertTests);
                    EXPECT_TRUE(std::isnan(r.pValue) && std::isnan(r.independencePValue));
                }
            }
            // The text (values rounded as printed, and the notes) is the same in
            // every order, but for the raters' own table, which follows their order.
            Analysis unnamed = a;
            unnamed.raterSummary.clear();
            const std::string text = formatText({"-", std::nullopt, InputFormat::Table, std::nullopt}, unnamed);
            if (first.empty()) first = text;
            EXPECT_EQ(text, first);
        } while (std::next_permutation(order.begin(), order.end()));
    }
}

// The restricted interval is the set of kappa0 <= 1 that the restricted test,
// run at that kappa0 with the same alternative, does not reject.
TEST(RestrictedSet, MembershipIsTheTestsVerdict) {
    fixture::Lcg random(18);
    int pieces = 0, checked = 0;
    for (int trial = 0; trial < 40; ++trial) {
        const std::int32_t R = 2 + random.below(2), K = 2 + random.below(2);
        std::vector<std::int64_t> F(patternCount(K, R));
        for (std::int64_t& f : F) f = random.below(3) == 0 ? 0 : random.below(4);
        F[0] += 1 + random.below(3);
        F.back() += random.below(3);
        const Study study = fixture::studyOf(K, R, F);
        for (const Alternative alternative : {Alternative::TwoSided, Alternative::Greater, Alternative::Less}) {
            AnalysisRequest request;
            request.weights = {W::None, W::Quadratic};
            request.alternative = alternative;
            const Analysis sets = analyse(study, request);
            for (double k0 = -2.0; k0 <= 1.0; k0 += 0.0125) {
                request.kappa0 = k0;
                const Analysis at = analyse(study, request);
                for (std::size_t i = 0; i < at.estimates.size(); ++i)
                    for (std::size_t b = 0; b < at.estimates[i].restricted.size(); ++b) {
                        const RestrictedTest& test = at.estimates[i].restricted[b];
                        const std::optional<IntervalSet>& set = sets.estimates[i].restricted[b].ciSet;
                        if (!set || test.zeroVariance) continue;
                        bool member = false, nearLimit = false;
                        for (const Interval& piece : *set) {
                            member = member || (piece.lower <= k0 && k0 <= piece.upper);
                            nearLimit = nearLimit || std::abs(k0 - piece.lower) < 1e-9 ||
                                        (std::abs(k0 - piece.upper) < 1e-9 && piece.upper < 1);
                        }
                        if (nearLimit) continue;
                        const double T = test.statistic, z = at.z;
                        const bool accepted =
                            !test.negativeVariance && (alternative == Alternative::TwoSided ? std::abs(T) <= z
                                                       : alternative == Alternative::Greater ? T <= z
                                                                                             : T >= -z);
                        EXPECT_EQ(member, accepted) << "trial " << trial << ", kappa0 " << k0 << ", alternative "
                                                    << alternativeId(alternative) << ", estimate " << i << " basis "
                                                    << b;
                        ++checked;
                    }
            }
            for (const Estimate& e : sets.estimates)
                for (const RestrictedTest& r : e.restricted) pieces += r.ciSet && r.ciSet->size() != 1;
        }
    }
    EXPECT_GT(checked, 10000);
    EXPECT_GT(pieces, 0) << "some sets are not one interval";
}

// A one-sided p-value is half the two-sided one on the side of the estimate,
// and 1 minus that on the other side, for every test with a direction.
TEST(Alternatives, OneSidedPValuesHalveTheTwoSided) {
    fixture::Lcg random(5);
    for (int trial = 0; trial < 20; ++trial) {
        std::vector<std::int64_t> F(9);
        for (std::int64_t& f : F) f = 1 + random.below(12);
        const Study study = fixture::studyOf(3, 2, F);
        AnalysisRequest request;
        request.coefficients = {C::Kappa, C::Fleiss, C::Gwet, C::Percent};
        request.weights = {W::None, W::Quadratic};
        request.kappa0 = 0.05 * random.below(10);
        std::vector<Analysis> by;
        for (const Alternative alternative : {Alternative::TwoSided, Alternative::Greater, Alternative::Less}) {
            request.alternative = alternative;
            by.push_back(analyse(study, request));
        }
        const auto expectHalved = [](double statistic, double two, double greater, double less) {
            if (std::isnan(two)) return;
            EXPECT_NEAR(greater, statistic > 0 ? two / 2 : 1 - two / 2, 1e-12) << statistic;
            EXPECT_NEAR(less, statistic < 0 ? two / 2 : 1 - two / 2, 1e-12) << statistic;
        };
        for (std::size_t i = 0; i < by[0].estimates.size(); ++i) {
            const Estimate &two = by[0].estimates[i], &greater = by[1].estimates[i], &less = by[2].estimates[i];
            expectHalved(two.wald.statistic, two.wald.pValue, greater.wald.pValue, less.wald.pValue);
            for (std::size_t b = 0; b < two.restricted.size(); ++b) {
                const RestrictedTest &r = two.restricted[b], &g = greater.restricted[b], &l = less.restricted[b];
                expectHalved(r.statistic, r.pValue, g.pValue, l.pValue);
                expectHalved(r.independence, r.independencePValue, g.independencePValue, l.independencePValue);
            }
            // The one-sided bounds.
            EXPECT_EQ(greater.wald.ci.upper, 1.0);
            EXPECT_EQ(less.wald.ci.lower, -HUGE_VAL);
            EXPECT_GT(greater.wald.ci.lower, two.wald.ci.lower);
        }
    }
}

// The report line's p-value is that of the test the coverage study found to
// keep its size: for Hubert's kappa the independence test at kappa0 = 0, the
// restricted test at any other (weighted: the one based on w), else the Wald test.
TEST(ReportLine, UsesTheRecommendedTest) {
    const Study study = fixture::studyOf(3, 2, {6, 3, 0, 1, 5, 2, 0, 1, 2});
    for (const double k0 : {0.0, 0.3}) {
        AnalysisRequest request;
        request.coefficients = {C::Kappa, C::Fleiss};
        request.weights = {W::None, W::Quadratic};
        request.kappa0 = k0;
        for (const Estimate& e : analyse(study, request).estimates) {
            SCOPED_TRACE(e.name + " at kappa0 = " + std::to_string(k0));
            if (e.coefficient != C::Kappa) {
                EXPECT_EQ(e.reportPValue, e.wald.pValue);
                continue;
            }
            const RestrictedTest& onW = e.restricted.back();
            EXPECT_EQ(e.reportPValue, k0 == 0 ? onW.independencePValue : onW.pValue);
            if (e.weights != W::None) {
                EXPECT_NE(e.restricted.front().pValue, onW.pValue);  // the bases differ here
            }
        }
    }
}

// The numbers of a report line are the JSON's, rounded: the estimate, the
// Wald interval, and the statistic and p-value of one of the estimate's tests.
TEST(ReportLine, RoundsTheJson) {
    const std::string examples = KAPPA_EXAMPLES_DIR;
    const std::vector<std::vector<std::string>> runs = {
        {examples + "/Kappa_data.txt"},
        {"--kappa0", "0.6", "--alternative", "greater", examples + "/Kappa_data.txt"},
        {"--weights", "quadratic,linear", "--kappa0", "0.5", examples + "/Weighted_Kappa_data_linear_quadratic.txt"},
        {"--input", "ratings", "--id", "patient", "--categories", "none,mild,moderate,severe", "--coefficients", "all",
         "--alternative", "less", examples + "/ratings.csv"},
    };
    const auto rounded = [](double x, int decimals) {
        char text[64];
        std::snprintf(text, sizeof text, "%.*f", decimals, x);
        std::string s = text;
        if (s.rfind("0.", 0) == 0) s.erase(0, 1);
        if (s.rfind("-0.", 0) == 0) s.erase(1, 1);
        return s;
    };
    const std::regex line(R"(= (-?[.\d]+), ([\d.]+)% CI \[(-?[.\d]+|-inf), (-?[.\d]+)\], (z|t\(\d+\)) = (-?[\d.]+), )"
                          R"(p ([<=>]) ([.\d]+))");
    int lines = 0;
    for (std::vector<std::string> args : runs) {
        args.insert(args.begin(), {"--format", "json"});
        std::ostringstream out, err;
        ASSERT_EQ(runCommandLine(args, out, err), kExitAnalysed) << err.str();
        const nlohmann::json j = nlohmann::json::parse(out.str());
        for (const nlohmann::json& e : j["estimates"]) {
            const std::string report = e["report"];
            SCOPED_TRACE(report);
            std::smatch m;
            ASSERT_TRUE(std::regex_search(report, m, line));
            EXPECT_EQ(m[1], rounded(e["kappa"], 2));
            const nlohmann::json& ci = e["wald"]["ci"];
            EXPECT_EQ(m[3], ci[0].is_null() ? "-inf" : rounded(ci[0], 2));
            EXPECT_EQ(m[4], rounded(ci[1], 2));
            // The test whose statistic it shows has the p-value it shows.
            std::vector<nlohmann::json> tests = {e["wald"]};
            for (const nlohmann::json& r : e["restricted"]) tests.insert(tests.end(), {r, r["independence"]});
            bool found = false;
            for (const nlohmann::json& t : tests) {
                if (t["statistic"].is_null() || rounded(t["statistic"], 2) != m[6].str()) continue;
                const double p = t["p_value"];
                const std::string shown = m[7] == "<" ? "<" : m[7] == ">" ? ">" : rounded(p, 3);
                found = found || (m[7] == "<" ? p < 0.001 : m[7] == ">" ? p >= 0.9995 : shown == m[8].str());
            }
            EXPECT_TRUE(found);
            ++lines;
        }
    }
    EXPECT_GE(lines, 10);
}

}  // namespace
}  // namespace kappa
