// Response patterns, the frequency table and the chance products.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <string>
#include <vector>

#include "agreement/chance.h"
#include "agreement/patterns.h"
#include "input/data_file.h"

namespace kappa {
namespace {

std::vector<int> patternOf(const AnalysisState& s, std::size_t p) {
    const auto row = s.indice[p];
    return {row.begin(), row.end()};
}

// The state after loading `bytes` for K categories and building the tables.
AnalysisState tablesOf(std::int32_t K, std::int32_t R, std::int32_t entrada, const std::string& bytes) {
    AnalysisState s;
    s.K = K;
    s.R = R;
    s.entrada = entrada;
    const auto layout = entrada == 2 ? FileLayout::Weighted : FileLayout::Unweighted;
    EXPECT_TRUE(parseDataFile(bytes, layout, s).ok());
    indicematrix(s, K, R);
    TablaInicial(s);
    Invariante(s);
    return s;
}

const std::string kTwoByTwo = "1\t1\t20\n1\t2\t10\n2\t1\t5\n2\t2\t15\n";

TEST(Patterns, TwoCategoriesThreeRaters) {
    AnalysisState s;
    s.K = 2;
    s.R = 3;
    indicematrix(s, 2, 3);
    const std::vector<std::vector<int>> expected = {{0, 0, 0}, {0, 0, 1}, {0, 1, 0}, {0, 1, 1},
                                                    {1, 0, 0}, {1, 0, 1}, {1, 1, 0}, {1, 1, 1}};
    ASSERT_EQ(s.indice.rows(), expected.size());
    for (std::size_t p = 0; p < expected.size(); ++p) EXPECT_EQ(patternOf(s, p), expected[p]) << p;
}

TEST(Patterns, DigitsInBaseK) {
    const std::pair<std::int32_t, std::int32_t> sizes[] = {{3, 2}, {2, 5}, {4, 3}, {7, 2}, {10, 3}, {3, 7}};
    for (const auto& [K, R] : sizes) {
        SCOPED_TRACE(std::to_string(K) + "^" + std::to_string(R));
        AnalysisState s;
        s.K = K;
        s.R = R;
        indicematrix(s, K, R);
        const auto P = static_cast<std::size_t>(std::pow(K, R));
        ASSERT_EQ(s.indice.rows(), P);
        ASSERT_EQ(s.indice.cols(), static_cast<std::size_t>(R));
        for (std::size_t p = 0; p < P; ++p) {
            std::size_t rest = p;
            for (std::size_t j = static_cast<std::size_t>(R); j-- > 0; rest /= static_cast<std::size_t>(K))
                ASSERT_EQ(s.indice[p][j], rest % static_cast<std::size_t>(K)) << "p=" << p << " j=" << j;
        }
    }
}

// The pattern count comes from the K and R that indicematrix is given.
TEST(Patterns, CountFromTheArguments) {
    AnalysisState s;
    indicematrix(s, 3, 2);
    ASSERT_EQ(s.indice.rows(), 9u);
    EXPECT_EQ(patternOf(s, 5), (std::vector<int>{1, 2}));
}

TEST(Patterns, LargestPatternTables) {
    const std::pair<std::int32_t, std::int32_t> sizes[] = {{2, 20}, {1024, 2}};
    for (const auto& [K, R] : sizes) {
        SCOPED_TRACE(K);
        AnalysisState s;
        s.K = K;
        s.R = R;
        indicematrix(s, K, R);
        ASSERT_EQ(s.indice.rows(), 1048576u);
        EXPECT_EQ(patternOf(s, 1048575), std::vector<int>(static_cast<std::size_t>(R), K - 1));
        EXPECT_EQ(patternOf(s, 0), std::vector<int>(static_cast<std::size_t>(R), 0));
    }
}

TEST(FrequencyTable, TwoByTwoExample) {
    const AnalysisState s = tablesOf(2, 2, 1, kTwoByTwo);
    const int frequencies[] = {20, 10, 5, 15};
    const int agree[] = {1, 0, 0, 1};
    for (std::size_t p = 0; p < 4; ++p) {
        EXPECT_EQ(s.frec[p].frequency, frequencies[p]) << p;
        EXPECT_EQ(s.frec[p].allAgree, agree[p]) << p;
    }
    EXPECT_EQ(s.clases[0][0], 30);
    EXPECT_EQ(s.clases[1][0], 20);
    EXPECT_EQ(s.clases[0][1], 25);
    EXPECT_EQ(s.clases[1][1], 25);
    EXPECT_EQ(s.ac, (std::vector<std::int64_t>{20, 15}));
    EXPECT_EQ(s.successaux, (std::vector<double>{20, 15}));
    EXPECT_EQ(s.failaux[0][0], 10);
    EXPECT_EQ(s.failaux[1][0], 5);
    EXPECT_EQ(s.failaux[0][1], 5);
    EXPECT_EQ(s.failaux[1][1], 10);
}

TEST(FrequencyTable, RowFindsItsPattern) {
    // Codes 2 and 3 are pattern 5 when K = 3.
    const AnalysisState s = tablesOf(3, 2, 1, "2\t3\t7\n");
    for (std::size_t p = 0; p < 9; ++p) EXPECT_EQ(s.frec[p].frequency, p == 5 ? 7 : 0) << p;
    EXPECT_EQ(s.clases[1][0], 7);
    EXPECT_EQ(s.clases[2][1], 7);
    // Only the all-agree patterns 0, 4 and 8 are flagged.
    for (std::size_t p = 0; p < 9; ++p) EXPECT_EQ(s.frec[p].allAgree, p % 4 == 0 ? 1 : 0) << p;
}

TEST(FrequencyTable, FirstRowOfACombinationCounts) {
    const AnalysisState s =
        tablesOf(2, 2, 2, "1\t2\t10\t0.5\n1\t1\t20\t0.0\n1\t2\t99\t0.75\n2\t2\t15\t0.0\n1\t1\t1\t9\n");
    EXPECT_EQ(s.frec[1].frequency, 10);
    EXPECT_EQ(s.weight[1], 0.5);
    EXPECT_EQ(s.frec[0].frequency, 20);
    EXPECT_EQ(s.weight[0], 0.0);
}

TEST(FrequencyTable, UnlistedPatternsAndWeights) {
    // Case 2: a pattern the file does not list has frequency 0 and weight 1,
    // the all-agree pattern (2, 2) too.
    const AnalysisState weighted = tablesOf(2, 2, 2, "1\t1\t20\t0.0\n1\t2\t10\t0.5\n");
    EXPECT_EQ(weighted.weight, (std::vector<double>{0.0, 0.5, 1.0, 1.0}));
    EXPECT_EQ(weighted.frec[3].frequency, 0);
    EXPECT_EQ(weighted.ac[1], 0);

    // Cases 1 and 3 take no weight from the rows.
    AnalysisState s;
    ASSERT_TRUE(parseDataFile("1\t1\t20\t0.0\n1\t2\t10\t0.5\n", FileLayout::Weighted, s).ok());
    s.K = 2;
    s.R = 2;
    s.entrada = 3;
    indicematrix(s, 2, 2);
    TablaInicial(s);
    EXPECT_EQ(s.weight, (std::vector<double>(4, 1.0)));
    EXPECT_EQ(s.frec[1].frequency, 10);
}

TEST(FrequencyTable, CodesOutsideOneToKMatchNothing) {
    const AnalysisState s = tablesOf(2, 2, 1, "1\t1\t20\n0\t1\t7\n1\t3\t8\n-1\t2\t9\n2\t2\t15\n");
    EXPECT_EQ(s.frec[0].frequency, 20);
    EXPECT_EQ(s.frec[1].frequency, 0);
    EXPECT_EQ(s.frec[2].frequency, 0);
    EXPECT_EQ(s.frec[3].frequency, 15);
    EXPECT_EQ(s.clases[0][0] + s.clases[1][0], 35);
}

TEST(FrequencyTable, CategoryWithoutFullAgreement) {
    // Three raters; nobody agrees on category 2 and rater 2 never uses category 3.
    const AnalysisState s = tablesOf(3, 3, 1, "1\t1\t1\t6\n2\t1\t2\t4\n3\t2\t1\t3\n3\t3\t1\t2\n2\t2\t1\t5\n");
    EXPECT_EQ(s.ac, (std::vector<std::int64_t>{6, 0, 0}));
    for (std::size_t j = 0; j < 3; ++j) {
        EXPECT_EQ(s.failaux[1][j], static_cast<double>(s.clases[1][j])) << j;
        std::int64_t total = 0;
        for (std::size_t k = 0; k < 3; ++k) {
            total += s.clases[k][j];
            EXPECT_EQ(s.successaux[k] + s.failaux[k][j], static_cast<double>(s.clases[k][j]));
        }
        EXPECT_EQ(total, 20) << j;
    }
    EXPECT_EQ(s.clases[2][2], 0);
}

TEST(FrequencyTable, LargeFrequenciesCountWithoutOverflow) {
    const AnalysisState s = tablesOf(2, 2, 1, "1\t1\t2147483647\n1\t2\t2147483647\n2\t2\t2\n");
    EXPECT_EQ(s.clases[0][0], 4294967294);
    EXPECT_EQ(s.failaux[0][0], 2147483647.0);
}

TEST(ChanceProducts, TwoByTwoExample) {
    const AnalysisState s = tablesOf(2, 2, 1, kTwoByTwo);
    EXPECT_DOUBLE_EQ(s.t_indice[0][0], 0.6);
    EXPECT_DOUBLE_EQ(s.t_indice[1][0], 0.4);
    EXPECT_DOUBLE_EQ(s.t_indice[0][1], 0.5);
    EXPECT_DOUBLE_EQ(s.t_indice[1][1], 0.5);
    EXPECT_DOUBLE_EQ(s.ptotal[0], 0.3);
    EXPECT_DOUBLE_EQ(s.ptotal[1], 0.2);
    // With two raters each leave-one-out product is the other rater's
    // proportion (carried in long double).
    EXPECT_EQ(s.factorT[0][0], 0.5L);
    EXPECT_EQ(s.factorT[0][1], 6 / 10.0L);
    EXPECT_EQ(s.factorT[1][0], 0.5L);
    EXPECT_EQ(s.factorT[1][1], 4 / 10.0L);
    const double prodt[] = {0.3, 0.3, 0.2, 0.2};
    for (std::size_t p = 0; p < 4; ++p) EXPECT_DOUBLE_EQ(s.prodt[p], prodt[p]) << p;
    EXPECT_DOUBLE_EQ(std::accumulate(s.prodt.begin(), s.prodt.end(), 0.0), 1.0);
    EXPECT_DOUBLE_EQ(s.factorE[1][0], 0.5);
    EXPECT_DOUBLE_EQ(s.factorE[1][1], 0.6);
    // The all-agree patterns carry the per-category products.
    EXPECT_EQ(s.prodt[3], s.ptotal[1]);
    EXPECT_DOUBLE_EQ(s.factorE[3][0], static_cast<double>(s.factorT[1][0]));
}

TEST(ChanceProducts, CategoryARaterNeverUsed) {
    // Rater 1 never uses category 2: t = 1/3, 0, 2/3 for the three raters.
    const AnalysisState s = tablesOf(2, 3, 1, "1\t1\t1\t10\n2\t1\t2\t10\n1\t1\t2\t10\n");
    EXPECT_EQ(s.t_indice[1][1], 0.0);
    EXPECT_EQ(s.ptotal[1], 0.0);
    EXPECT_EQ(s.factorT[1][0], 0.0);
    EXPECT_EQ(s.factorT[1][2], 0.0);
    EXPECT_DOUBLE_EQ(static_cast<double>(s.factorT[1][1]), 2.0 / 9.0);
    // Pattern (2, 2, 2) = 7: the same for the pattern products.
    EXPECT_EQ(s.prodt[7], 0.0);
    EXPECT_DOUBLE_EQ(s.factorE[7][1], 2.0 / 9.0);
    EXPECT_DOUBLE_EQ(std::accumulate(s.prodt.begin(), s.prodt.end(), 0.0), 1.0);
}

TEST(ChanceProducts, LeaveOneOutWithZeroFactors) {
    struct {
        std::vector<double> factors;
        double full;
        std::vector<double> without;
    } const cases[] = {
        {{2.0, 0.0, 3.0}, 0.0, {0.0, 6.0, 0.0}},
        {{0.0, 0.0, 5.0}, 0.0, {0.0, 0.0, 0.0}},
        {{0.5, 4.0}, 2.0, {4.0, 0.5}},
        {{7.0}, 7.0, {1.0}},
        // Multiplied in rater order: 1e308 * 10 overflows before 1e-308 comes in.
        {{1e308, 10.0, 1e-308}, std::numeric_limits<double>::infinity(),
         {10.0 * 1e-308, 1e308 * 1e-308, std::numeric_limits<double>::infinity()}},
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
