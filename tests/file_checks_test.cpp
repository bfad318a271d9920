// The checks of a loaded data file against the answers: which messages, in
// which order, and how often.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "console/scripted_console.h"
#include "input/data_file.h"
#include "input/file_checks.h"

namespace kappa {
namespace {

const std::string kCategories = "\n ERROR in the number of categories. Reload the data file.";
const std::string kRaters = "\n ERROR in the number of raters. Reload the data file.";
const std::string kSubjects = "\n ERROR in the number of subjects. Reload the data file.";
const std::string kWeights = "\n ERROR in some weights. Reload the data file.";
const std::string kCodes = "\n ERROR in some category codes. Reload the data file.";
const std::string kFrequencies = "\n ERROR in some frequencies. Reload the data file.";
const std::string kRepeated = "\n ERROR in repeated combinations. Reload the data file.";

struct CheckCase {
    const char* name;
    std::int32_t K, R;
    double N;
    std::int32_t entrada;
    std::string bytes;
    std::string messages;  // everything the checks print, in order
};

// The answers, the file loaded for the case, then the checks.
std::string checksOf(const CheckCase& c, bool& passed) {
    AnalysisState s;
    s.K = c.K;
    s.R = c.R;
    s.N = c.N;
    s.entrada = c.entrada;
    const auto layout = c.entrada == 2 ? FileLayout::Weighted : FileLayout::Unweighted;
    EXPECT_TRUE(parseDataFile(c.bytes, layout, s).ok());
    ScriptedConsole con({});
    passed = checkLoadedFile(s, con);
    return con.output();
}

TEST(FileChecks, MessagesInOrderOncePerOffendingRow) {
    const std::string good = "1\t1\t20\n1\t2\t10\n2\t1\t5\n2\t2\t15\n";
    const CheckCase cases[] = {
        {"file agrees with the answers", 2, 2, 50, 1, good, ""},
        {"zero frequency is fine", 2, 2, 50, 3, "1\t1\t0\n1\t2\t30\n2\t1\t5\n2\t2\t15\n", ""},
        {"weighted file agrees", 2, 2, 50, 2, "1\t1\t20\t0.0\n1\t2\t10\t1\n2\t1\t5\t1\n2\t2\t15\t0\n", ""},
        {"largest code below K", 3, 2, 50, 1, good, kCategories},
        {"code above K", 2, 2, 51, 1, good + "3\t1\t1\n", kCategories},
        {"raters", 2, 3, 50, 1, good, kRaters},
        {"subjects", 2, 2, 49, 1, good, kSubjects},
        {"categories, raters and subjects together", 3, 4, 100, 1, good, kCategories + kRaters + kSubjects},
        {"each negative weight", 2, 2, 50, 2, "1\t1\t20\t-0.5\n1\t2\t10\t1.0\n2\t1\t5\t-1\n2\t2\t15\t0.0\n",
         kWeights + kWeights},
        {"negative zero weight is not negative", 2, 2, 50, 2, "1\t1\t20\t-0.0\n1\t2\t30\t1.0\n", ""},
        {"each row with a code below 1", 2, 2, 50, 1, "1\t1\t20\n0\t2\t10\n2\t-1\t5\n2\t2\t15\n", kCodes + kCodes},
        {"each negative frequency", 2, 2, 50, 1, "1\t1\t40\n1\t2\t-10\n2\t1\t35\n2\t2\t-15\n",
         kFrequencies + kFrequencies},
        {"each repetition of a combination", 2, 2, 50, 1, "1\t1\t20\n1\t2\t10\n1\t1\t5\n2\t2\t10\n1\t1\t5\n",
         kRepeated + kRepeated},
        {"combinations differing in the last code", 3, 3, 3, 1, "1\t1\t1\t1\n1\t1\t2\t1\n1\t1\t3\t1\n", ""},
        {"all seven, in order", 3, 3, 99, 2,
         "1\t1\t20\t-0.5\n0\t2\t-1\t1.0\n1\t1\t5\t-1.0\n0\t2\t3\t0.0\n",
         kCategories + kRaters + kSubjects + kWeights + kWeights + kCodes + kCodes + kFrequencies + kRepeated +
             kRepeated},
        // A weighted first line without TAB reads no rows: three checks fail, none of the row checks.
        {"weighted first line without TAB", 2, 2, 50, 2, "1 1 20 0.0\n1 2 30 1.0\n",
         kCategories + kRaters + kSubjects},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bool passed = false;
        EXPECT_EQ(checksOf(c, passed), c.messages);
        EXPECT_EQ(passed, c.messages.empty());
    }
}

// Weights are checked in case 2 only, even when an earlier weighted load left
// negative weights behind.
TEST(FileChecks, WeightsCheckedOnlyInCaseTwo) {
    AnalysisState s;
    ASSERT_TRUE(parseDataFile("1\t1\t20\t-1.0\n1\t2\t30\t-1.0\n", FileLayout::Weighted, s).ok());
    ASSERT_TRUE(parseDataFile("1\t1\t20\n1\t2\t30\n2\t2\t1\n", FileLayout::Unweighted, s).ok());
    s.K = 2;
    s.R = 2;
    s.N = 51;
    for (const std::int32_t entrada : {1, 3}) {
        SCOPED_TRACE(entrada);
        s.entrada = entrada;
        ScriptedConsole con({});
        EXPECT_TRUE(checkLoadedFile(s, con));
        EXPECT_EQ(con.output(), "");
    }
}

// Many distinct combinations and many repeats of a few.
TEST(FileChecks, RepeatedCombinationsAmongManyRows) {
    std::string distinct, repeats;
    for (int a = 1; a <= 40; ++a)
        for (int b = 1; b <= 40; ++b) {
            distinct += std::to_string(a) + "\t" + std::to_string(b) + "\t1\n";
            if (b <= 3) repeats += std::to_string(b) + "\t" + std::to_string(b) + "\t1\n";
        }
    bool passed = false;
    EXPECT_EQ(checksOf({"distinct", 40, 2, 1600, 1, distinct, ""}, passed), "");
    EXPECT_TRUE(passed);

    // 120 rows, three combinations: all but the first three are repeats.
    const std::string output = checksOf({"repeats", 3, 2, 120, 1, repeats, ""}, passed);
    EXPECT_FALSE(passed);
    std::string expected;
    for (int i = 0; i < 117; ++i) expected += kRepeated;
    EXPECT_EQ(output, expected);
}

}  // namespace
}  // namespace kappa
