// Loading the three data files: the rater count from the first line, the rows
// as one stream of numbers, the refused tokens with their line numbers, and
// the tables a load leaves behind.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "agreement/patterns.h"
#include "console/scripted_console.h"
#include "input/data_file.h"
#include "temporary_folder.h"

namespace kappa {
namespace {

using Rows = std::vector<std::vector<std::int32_t>>;

Rows rowsOf(const AnalysisState& s) {
    Rows rows;
    for (std::size_t r = 0; r < static_cast<std::size_t>(s.contextra); ++r) {
        const auto row = s.data[r];
        rows.emplace_back(row.begin(), row.end());
    }
    return rows;
}

const std::string kFourRows = "1\t1\t20\n1\t2\t10\n2\t1\t5\n2\t2\t15";
const Rows kFourRowsData = {{1, 1, 20}, {1, 2, 10}, {2, 1, 5}, {2, 2, 15}};

struct LoadCase {
    const char* name;
    std::string bytes;
    std::int32_t nraters;
    Rows rows;
    std::int32_t maxclase;
    double Naux;
};

TEST(DataFile, UnweightedLayouts) {
    const LoadCase cases[] = {
        {"no final newline", kFourRows, 2, kFourRowsData, 2, 50},
        {"final newline adds no row", kFourRows + "\n", 2, kFourRowsData, 2, 50},
        {"CRLF line ends", "1\t1\t20\r\n1\t2\t10\r\n2\t1\t5\r\n2\t2\t15\r\n", 2, kFourRowsData, 2, 50},
        {"byte order mark skipped", "\xEF\xBB\xBF" + kFourRows + "\n", 2, kFourRowsData, 2, 50},
        {"blank lines and trailing blanks", "1\t1\t20 \n\n1\t2\t10\n2\t1\t5\n2\t2\t15\n\n\n", 2, kFourRowsData, 2, 50},
        // Only the first line's TABs count; the other rows are one stream of numbers.
        {"rows split across lines", "1\t1\t20\n1 2\n10 2 1 5\n2\n2\n15\n", 2, kFourRowsData, 2, 50},
        // A trailing TAB makes three raters: the twelve numbers are three rows of four.
        {"trailing TAB in first line", "1\t1\t20\t\n1\t2\t10\n2\t1\t5\n2\t2\t15\n", 3,
         {{1, 1, 20, 1}, {2, 10, 2, 1}, {5, 2, 2, 15}}, 20, 17},
        {"one line, no newline", "2\t3\t7", 2, {{2, 3, 7}}, 3, 7},
        {"one line with newline", "2\t3\t7\n", 2, {{2, 3, 7}}, 3, 7},
        {"three raters", "1\t2\t3\t4\n3\t2\t1\t6\n", 3, {{1, 2, 3, 4}, {3, 2, 1, 6}}, 3, 10},
        {"whole numbers in other notations", "2.0\t+1\t1e1\n", 2, {{2, 1, 10}}, 2, 10},
        {"codes 0 and below kept as written", "0\t-1\t5\n-3\t0\t0\n", 2, {{0, -1, 5}, {-3, 0, 0}}, 0, 5},
        {"32-bit extremes", "1\t-2147483648\t2147483647\n", 2, {{1, -2147483648, 2147483647}}, 1, 2147483647.0},
        {"no TAB in first line reads no rows", "1 1 20\n1\t2\t10\n", 0, {}, 0, 0},
        {"empty file", "", 0, {}, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AnalysisState s;
        ASSERT_TRUE(parseDataFile(c.bytes, FileLayout::Unweighted, s).ok());
        EXPECT_EQ(s.nraters, c.nraters);
        EXPECT_EQ(s.contextra, static_cast<std::int32_t>(c.rows.size()));
        EXPECT_EQ(rowsOf(s), c.rows);
        EXPECT_EQ(s.maxclase, c.maxclase);
        EXPECT_EQ(s.Naux, c.Naux);
    }
}

TEST(DataFile, FrequenciesAreSummedWithoutOverflow) {
    AnalysisState s;
    ASSERT_TRUE(parseDataFile("1\t1\t2147483647\n1\t2\t2147483647\n2\t2\t2\n", FileLayout::Unweighted, s).ok());
    EXPECT_EQ(s.Naux, 4294967296.0);
}

struct WeightedCase {
    const char* name;
    std::string bytes;
    std::int32_t nraters;
    Rows rows;
    std::vector<double> weights;
};

TEST(DataFile, WeightedLayouts) {
    const Rows four = kFourRowsData;
    const WeightedCase cases[] = {
        {"decimal weights, final newline", "1\t1\t20\t0.0\n1\t2\t10\t0.5\n2\t1\t5\t1.0\n2\t2\t15\t0.25\n", 2, four,
         {0.0, 0.5, 1.0, 0.25}},
        {"decimal weights, no final newline", "1\t1\t20\t0.0\n1\t2\t10\t0.5\n2\t1\t5\t1.0\n2\t2\t15\t0.25", 2, four,
         {0.0, 0.5, 1.0, 0.25}},
        // Weights without a decimal point lose no row.
        {"weights without decimal point", "1\t1\t20\t0\n1\t2\t10\t1\n2\t1\t5\t1\n2\t2\t15\t0\n", 2, four,
         {0.0, 1.0, 1.0, 0.0}},
        {"CRLF and exponent weights", "1\t1\t20\t0\r\n1\t2\t10\t2.5e-1\r\n2\t1\t5\t1E0\r\n2\t2\t15\t-.5\r\n", 2, four,
         {0.0, 0.25, 1.0, -0.5}},
        {"byte order mark skipped", "\xEF\xBB\xBF" "1\t1\t20\t0.0\n", 2, {{1, 1, 20}}, {0.0}},
        {"trailing TAB in first line", "1\t2\t3\t4\t\n0.5\n", 3, {{1, 2, 3, 4}}, {0.5}},
        {"one TAB in first line reads no rows", "1\t1 20 0.0\n", 0, {}, {}},
        {"no TAB in first line reads no rows", "1 1 20 0.0\n1\t2\t10\t0.5\n", -1, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AnalysisState s;
        ASSERT_TRUE(parseDataFile(c.bytes, FileLayout::Weighted, s).ok());
        EXPECT_EQ(s.nraters, c.nraters);
        EXPECT_EQ(s.contextra, static_cast<std::int32_t>(c.rows.size()));
        EXPECT_EQ(rowsOf(s), c.rows);
        EXPECT_EQ(s.pesostot, c.weights);
    }
}

struct RefusedCase {
    const char* name;
    FileLayout layout;
    std::string bytes;
    int line;
};

TEST(DataFile, RefusedTokensGiveTheirLine) {
    constexpr auto U = FileLayout::Unweighted;
    constexpr auto W = FileLayout::Weighted;
    const RefusedCase cases[] = {
        {"word as a code", U, "1\t1\t20\n1\tx\t10\n", 2},
        {"number with trailing text", U, "1\t1\t20\n1\t2\t10apples\n", 2},
        {"fractional frequency", U, "1\t1\t20\n1\t2\t10.5\n", 2},
        {"fractional code", U, "1.5\t1\t20\n", 1},
        {"hexadecimal", U, "1\t1\t0x10\n", 1},
        {"frequency beyond int32", U, "1\t1\t20\n2\t2\t2147483648\n", 2},
        {"code below int32", U, "1\t-2147483649\t20\n", 1},
        {"huge exponent", U, "1\t1\t1e300\n", 1},
        {"infinite frequency", U, "1\t1\tinf\n", 1},
        {"blank lines are counted", U, "1\t1\t20\n\n\n2\tfoo\t1\n", 4},
        {"CRLF line ends", U, "1\t1\t20\r\n1\t2\t1x\r\n", 2},
        {"after a byte order mark", U, "\xEF\xBB\xBF" "1\tz\t3\n", 1},
        {"a second byte order mark is text", U, "\xEF\xBB\xBF\xEF\xBB\xBF" "1\t1\t3\n", 1},
        {"token after the last full row", U, "1\t1\t20\n2\t1\t5 extra\n", 2},
        {"last row too short, final newline", U, "1\t1\t20\n1\t2\t10\n2\t1\n", 3},
        {"last row too short, no final newline", U, "1\t1\t20\n1\t2\t10\n2", 3},
        {"infinite weight", W, "1\t1\t20\t0.0\n1\t2\t10\tinf\n", 2},
        {"not-a-number weight", W, "1\t1\t20\t0.0\n1\t2\t10\tnan\n", 2},
        {"weight overflowing to infinity", W, "1\t1\t20\t0.0\n1\t2\t10\t1e999\n", 2},
        {"word as a weight", W, "1\t1\t20\t0.0\n\n1\t2\t10\tone\n", 3},
        {"weight missing in the last row", W, "1\t1\t20\t0.0\n1\t2\t10\n", 2},
        {"frequency missing in the last row", W, "1\t1\t20\t0.0\n1\t2\n", 2},
        // A stray TAB makes three raters, so the first weight is read as a frequency.
        {"trailing TAB in the weighted first line", W, "1\t1\t20\t0.5\t\n2\t2\t5\t0.0\n", 1},
        {"fractional code in the weighted file", W, "1\t1\t20\t0.0\n1\t2.5\t10\t1.0\n", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AnalysisState s;
        EXPECT_EQ(parseDataFile(c.bytes, c.layout, s).errorLine, c.line);
    }
}

TEST(DataFile, LaterLoadKeepsNothingOfAnEarlierOne) {
    AnalysisState s;
    ASSERT_TRUE(parseDataFile("1\t1\t40\n1\t2\t10\n2\t1\t5\n2\t2\t45\n", FileLayout::Unweighted, s).ok());
    ASSERT_TRUE(parseDataFile("1\t1\t40\n2\t1\t10\n", FileLayout::Unweighted, s).ok());
    EXPECT_EQ(s.contextra, 2);
    EXPECT_EQ(rowsOf(s), (Rows{{1, 1, 40}, {2, 1, 10}}));
    EXPECT_EQ(s.Naux, 50);

    // Nor does the frequency table built from it.
    s.K = 2;
    s.R = 2;
    s.entrada = 1;
    indicematrix(s, s.K, s.R);
    TablaInicial(s);
    EXPECT_EQ(s.frec[1].frequency, 0);
    EXPECT_EQ(s.frec[3].frequency, 0);

    // A file with more raters, then one with fewer.
    ASSERT_TRUE(parseDataFile("1\t2\t3\t9\n", FileLayout::Unweighted, s).ok());
    ASSERT_TRUE(parseDataFile("1\t2\t9\n", FileLayout::Unweighted, s).ok());
    EXPECT_EQ(rowsOf(s), (Rows{{1, 2, 9}}));

    // Weights too.
    ASSERT_TRUE(parseDataFile("1\t1\t20\t0.0\n1\t2\t10\t-1.0\n2\t2\t5\t-1.0\n", FileLayout::Weighted, s).ok());
    ASSERT_TRUE(parseDataFile("1\t1\t20\t0.5\n", FileLayout::Weighted, s).ok());
    EXPECT_EQ(s.pesostot, std::vector<double>{0.5});
    EXPECT_EQ(s.Naux, 20);
}

using DataFileInFolder = InTemporaryFolder;

TEST_F(DataFileInFolder, EachCaseOpensItsOwnFile) {
    writeFile(kUnweightedFile, "1\t1\t11\n");
    writeFile(kComputedWeightsFile, "1\t1\t33\n");
    writeFile(kWeightedFile, "1\t1\t22\t0.0\n");
    struct {
        std::int32_t entrada;
        double Naux;
    } const cases[] = {{1, 11}, {2, 22}, {3, 33}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entrada);
        AnalysisState s;
        s.entrada = c.entrada;
        ScriptedConsole con({});
        ASSERT_TRUE(c.entrada == 2 ? Archivo_Weight(s, con) : Archivo(s, con));
        EXPECT_EQ(s.Naux, c.Naux);
        EXPECT_EQ(con.output(), "");
    }
}

TEST_F(DataFileInFolder, MissingFileIsReported) {
    for (const std::int32_t entrada : {1, 2, 3}) {
        SCOPED_TRACE(entrada);
        AnalysisState s;
        s.entrada = entrada;
        ScriptedConsole con({});
        EXPECT_FALSE(entrada == 2 ? Archivo_Weight(s, con) : Archivo(s, con));
        EXPECT_EQ(con.output(), "\nERROR opening file. \n\n");
    }
}

TEST_F(DataFileInFolder, UnreadableFileIsReportedWithItsLine) {
    writeFile(kUnweightedFile, "1\t1\t20\r\n1\t2\tten\r\n");
    AnalysisState s;
    s.entrada = 1;
    ScriptedConsole con({});
    EXPECT_FALSE(Archivo(s, con));
    EXPECT_EQ(con.output(), "\n ERROR reading the data file (line 2). Reload the data file.");
}

}  // namespace
}  // namespace kappa
