// Studies whose variance and independence terms are far smaller than the sums
// they were once formed from, and which lost digits that way. Every expected
// value is the exact one, from rational arithmetic with 60-digit square roots
// and the program's own critical value (bench/exact_check.py), rounded to the
// printed decimals.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/program.h"
#include "console/scripted_console.h"
#include "input/data_file.h"
#include "temporary_folder.h"

namespace kappa {
namespace {

struct ExactCase {
    const char* what;
    const char* file;
    std::string data;
    std::vector<std::string> answers;  // raters, categories, subjects, 95 %, kappa 0, case
    std::string expected;              // a line of the report
};

std::string rows(std::initializer_list<std::string> lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

// All 20 raters in category c, `count` times.
std::string unanimous(char c, int count) {
    std::string line;
    for (int j = 0; j < 20; ++j) line += std::string(1, c) + "\t";
    return line + std::to_string(count);
}

class ExactValues : public InTemporaryFolder {};

TEST_F(ExactValues, PrintedDigitsOfNearlyCancellingTerms) {
    const std::string independence = "\n Test statistic (for the independence test) = ";
    const std::string wald = "\n Test statistic (for kappa = 0.00) = ";
    const ExactCase cases[] = {
        // One category takes nearly every subject: the unweighted independence
        // term is near 1/n^2 while its parts are near 1.
        {"dominant category", kUnweightedFile, rows({"1\t1\t89518", "1\t2\t1", "2\t1\t1", "2\t2\t1"}),
         {"2", "2", "89521", "", "", "1"}, independence + "149.5970."},
        {"dominant category", kUnweightedFile, rows({"1\t1\t1000000000", "1\t2\t1", "2\t1\t1", "2\t2\t1"}),
         {"2", "2", "1000000003", "", "", "1"}, independence + "15811.3883."},
        {"dominant category", kUnweightedFile, rows({"1\t1\t2147483647", "1\t2\t1", "2\t1\t1", "2\t2\t1"}),
         {"2", "2", "2147483650", "", "", "1"}, independence + "23170.4750."},
        // A cyclic table: the variance of kappa is far below its terms.
        {"cyclic table", kUnweightedFile, rows({"1\t2\t3333", "2\t3\t3333", "3\t1\t3334"}),
         {"2", "3", "10000", "", "", "1"}, wald + "-471380.9547."},
        {"cyclic table", kUnweightedFile, rows({"1\t2\t333333", "2\t3\t333333", "3\t1\t333334"}),
         {"2", "3", "1000000", "", "", "1"}, wald + "-471404285.0892."},
        {"near-perfect agreement", kUnweightedFile, rows({"1\t1\t2000000000", "1\t2\t1", "2\t2\t2000000000"}),
         {"2", "2", "4000000001", "", "", "1"}, wald + "1999999999.7500."},
        // A tiny chance disagreement, once kept as 1 - (1 - De).
        {"tiny chance disagreement", kComputedWeightsFile,
         rows({"1\t1\t2000000000", "1\t2\t1", "2\t1\t1", "2\t2\t2"}), {"2", "2", "2000000004", "", "", "3"},
         independence + "29814.2397."},
        // Twenty raters: the weighted independence term is 0.00475 against sums near 325.80.
        {"twenty raters", kComputedWeightsFile,
         rows({unanimous('1', 500000), unanimous('2', 499999),
               "1\t1\t1\t1\t1\t1\t1\t1\t1\t1\t1\t1\t1\t1\t1\t1\t1\t1\t1\t2\t1"}),
         {"20", "2", "1000000", "", "", "3"}, independence + "13784.0460."},
    };
    for (const ExactCase& c : cases) {
        writeFile(c.file, c.data);
        ScriptedConsole con(c.answers);
        runProgram(con);
        EXPECT_NE(con.output().find(c.expected), std::string::npos) << c.what << ": expected" << c.expected;
    }
}

}  // namespace
}  // namespace kappa
