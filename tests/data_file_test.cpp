// Reading the table files: the layouts accepted line by line, the lines
// refused and named, the same rows however the bytes arrive; then the
// dialogue's loader, the study it builds and the checks against the answers.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "input/data_file.h"
#include "input/file_checks.h"
#include "input/table_file.h"
#include "study_fixture.h"
#include "temporary_folder.h"

namespace kappa {
namespace {

constexpr auto U = FileLayout::Unweighted;
constexpr auto W = FileLayout::Weighted;

// What a reading gives, as text: the raters, then "line: codes frequency
// [weight]" for every row, then the outcome when it is not a success.
class Collect final : public TableRows {
public:
    explicit Collect(FileLayout layout) : weighted_(layout == W) {}
    void raters(std::int32_t R) override { text_ << "R=" << R; }
    bool row(const TableRow& row) override {
        text_ << (rows_++ ? "; " : " | ") << row.line << ":";
        for (const std::int32_t code : row.codes) text_ << " " << code;
        text_ << " " << row.frequency;
        if (weighted_) text_ << " " << row.weight;
        return true;
    }
    std::string text() const { return text_.str(); }

private:
    bool weighted_;
    int rows_ = 0;
    std::ostringstream text_;
};

std::string read(FileLayout layout, const std::string& bytes, std::size_t maxRead) {
    ByteSource source(bytes, maxRead);
    Collect rows(layout);
    const ParseOutcome outcome = parseTable(source, layout, rows);
    if (outcome.ok()) return rows.text();
    return rows.text() + " ! line " + std::to_string(outcome.line) + ": " + outcome.message;
}

const std::string kByteOrderMark = "\xEF\xBB\xBF";

// Reads all at once and a byte at a time, which must agree.
std::string read(FileLayout layout, const std::string& bytes) {
    const std::string whole = read(layout, bytes, static_cast<std::size_t>(-1));
    EXPECT_EQ(read(layout, bytes, 1), whole);
    return whole;
}

const std::string kFour = "1\t1\t20\n1\t2\t10\n2\t1\t5\n2\t2\t15";
const std::string kFourRows = "R=2 | 1: 1 1 20; 2: 1 2 10; 3: 2 1 5; 4: 2 2 15";

TEST(TableFile, AcceptedLayouts) {
    const struct {
        const char* name;
        FileLayout layout;
        std::string bytes, rows;
    } cases[] = {
        {"no final line break", U, kFour, kFourRows},
        {"final line break", U, kFour + "\n", kFourRows},
        {"CRLF", U, "1\t1\t20\r\n1\t2\t10\r\n2\t1\t5\r\n2\t2\t15\r\n", kFourRows},
        {"byte order mark", U, kByteOrderMark + kFour, kFourRows},
        {"blank lines and trailing blanks", U, "1\t1\t20 \n\n  1 2\t10\n\t\n2\t1\t5\n2\t2\t15\n\n",
         "R=2 | 1: 1 1 20; 3: 1 2 10; 5: 2 1 5; 6: 2 2 15"},
        {"three raters", U, "1\t2\t3\t4\n3\t2\t1\t6\n", "R=3 | 1: 1 2 3 4; 2: 3 2 1 6"},
        {"whole numbers in other notations", U, "2.0\t+1\t1e1\n", "R=2 | 1: 2 1 10"},
        {"codes below 1 kept as written", U, "0\t-1\t5\n-3\t0\t0", "R=2 | 1: 0 -1 5; 2: -3 0 0"},
        {"32-bit extremes", U, "1\t-2147483648\t2147483647\n", "R=2 | 1: 1 -2147483648 2147483647"},
        {"no TAB in the first line reads no rows", U, "1 1 20\n1\t2\tx\n", "R=0"},
        {"empty file", U, "", "R=0"},
        {"decimal weights", W, "1\t1\t20\t0.0\n1\t2\t10\t0.5\n2\t1\t5\t1.0",
         "R=2 | 1: 1 1 20 0; 2: 1 2 10 0.5; 3: 2 1 5 1"},
        {"a weight without decimal point is a weight", W, "1\t1\t20\t0\n1\t2\t10\t1\n",
         "R=2 | 1: 1 1 20 0; 2: 1 2 10 1"},
        {"CRLF and exponent weights", W, "1\t1\t20\t2.5e-1\r\n2\t1\t5\t-.5\r\n", "R=2 | 1: 1 1 20 0.25; 2: 2 1 5 -0.5"},
        {"one TAB in the weighted first line reads no rows", W, "1\t1 20 0.0\n", "R=0"},
        {"no TAB in the weighted first line reads no rows", W, "1 1 20 0.0\n1\t2\t10\t0.5\n", "R=-1"},
    };
    for (const auto& c : cases) EXPECT_EQ(read(c.layout, c.bytes), c.rows) << c.name;
}

TEST(TableFile, RefusedLinesAreNamed) {
    const struct {
        const char* name;
        FileLayout layout;
        std::string bytes;
        int line;
        std::string found;  // the end of the message
    } cases[] = {
        {"word as a code", U, "1\t1\t20\n1\tx\t10\n", 2, "found 'x'"},
        {"number with trailing text", U, "1\t1\t20\n1\t2\t10apples\n", 2, "found '10apples'"},
        {"fractional frequency", U, "1\t1\t20\n1\t2\t10.5\n", 2, "frequency in the 32-bit range, found 10.5"},
        {"fractional code on the first line", U, "1.5\t1\t20\n", 1, "code, found 1.5"},
        {"hexadecimal", U, "1\t1\t0x10\n", 1, "found '0x10'"},
        {"frequency beyond 32 bits", U, "1\t1\t20\n2\t2\t2147483648\n", 2, "found 2147483648"},
        {"code below 32 bits", U, "1\t-2147483649\t20\n", 1, "found -2147483649"},
        {"huge exponent", U, "1\t1\t1e300\n", 1, "found 1e+300"},
        {"frequency too small for a double", U, "1\t1\t1e-400\n", 1, "found '1e-400'"},
        {"infinite frequency", U, "1\t1\tinf\n", 1, "found 'inf'"},
        {"blank lines are counted", U, "1\t1\t20\n\n\n2\tfoo\t1\n", 4, "found 'foo'"},
        {"CRLF", U, "1\t1\t20\r\n1\t2\t1x\r\n", 2, "found '1x'"},
        {"after a byte order mark", U, "\xEF\xBB\xBF" "1\tz\t3\n", 1, "found 'z'"},
        {"a second byte order mark is text", U, "\xEF\xBB\xBF\xEF\xBB\xBF" "1\t1\t3\n", 1, "found '\xEF\xBB\xBF" "1'"},
        {"a row split across lines", U, "1\t1\t20\n1 2\n10\n", 2, "found 2"},
        {"a number too many", U, "1\t1\t20\n2\t1\t5 7\n", 2, "found 4"},
        {"last row short, final line break", U, "1\t1\t20\n1\t2\t10\n2\t1\n", 3, "found 2"},
        {"last row short, no final line break", U, "1\t1\t20\n1\t2\t10\n2", 3, "found 1"},
        {"trailing TAB on the first line", U, "1\t1\t20\t\n1\t2\t10\n", 1,
         "expected 4 numbers (3 category codes and a frequency), found 3"},
        {"infinite weight", W, "1\t1\t20\t0.0\n1\t2\t10\tinf\n", 2, "finite weight, found 'inf'"},
        {"not-a-number weight", W, "1\t1\t20\t0.0\n1\t2\t10\tnan\n", 2, "found 'nan'"},
        {"weight overflowing to infinity", W, "1\t1\t20\t0.0\n1\t2\t10\t1e999\n", 2, "found '1e999'"},
        {"word as a weight", W, "1\t1\t20\t0.0\n\n1\t2\t10\tone\n", 3, "found 'one'"},
        {"weight missing", W, "1\t1\t20\t0.0\n1\t2\t10\n", 2, "a frequency and a weight), found 3"},
        {"trailing TAB on the weighted first line", W, "1\t1\t20\t0.5\t\n2\t2\t5\t0.0\n", 1, "found 4"},
        {"fractional code in the weighted file", W, "1\t1\t20\t0.0\n1\t2.5\t10\t1.0\n", 2, "code, found 2.5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string text = read(c.layout, c.bytes);
        const std::string mark = " ! line " + std::to_string(c.line) + ": expected ";
        EXPECT_NE(text.find(mark), std::string::npos) << text;
        EXPECT_TRUE(text.ends_with(c.found)) << text;
    }
}

// A table larger than the reader's chunk, with a row across the boundary;
// and a reader that stops at a row.
TEST(TableFile, LargeTableAndRefusedRow) {
    std::string bytes = "1\t1\t1\n", rows = "R=2 | 1: 1 1 1";
    for (int i = 2; i <= 120000; ++i) {
        const std::string code = std::to_string(i % 97), frequency = std::to_string(i);
        bytes += code + "\t" + code + " \t" + frequency + "\n";
        rows += "; " + std::to_string(i) + ": " + code + " " + code + " " + frequency;
    }
    ASSERT_GT(bytes.size(), std::size_t{1} << 20);
    EXPECT_EQ(read(U, bytes), rows);

    class StopAtThird final : public TableRows {
        void raters(std::int32_t) override {}
        bool row(const TableRow& row) override { return row.frequency != 3; }
    } stop;
    ByteSource source(bytes);
    const ParseOutcome outcome = parseTable(source, U, stop);
    EXPECT_EQ(outcome.status, ParseOutcome::Status::Refused);
    EXPECT_EQ(outcome.line, 3);
}

// The first reads may bring the byte-order mark and nothing more, as a pipe may.
TEST(TableFile, ByteOrderMarkAloneInTheFirstReads) {
    for (const std::size_t maxRead : {1, 3}) EXPECT_EQ(read(U, kByteOrderMark + kFour, maxRead), kFourRows) << maxRead;
}

class Loader : public InTemporaryFolder {};

// Only a regular file is read: a FIFO would wait for a writer.
TEST_F(Loader, CannotOpenAnythingButARegularFile) {
    std::filesystem::create_directory("folder");
#ifdef _WIN32
    const char* device = "NUL";
#else
    const char* device = "fifo";
    ASSERT_EQ(mkfifo(device, 0600), 0);
#endif
    for (const char* name : {"missing", "folder", device})
        EXPECT_EQ(loadDataFile(name, U, 2, 2).status, LoadResult::Status::CannotOpen) << name;
}

// The checks of a loaded file against the answers; and the study of the
// rows whose codes fit the entered R and K: the first of a repeated
// combination counts, a pattern no row gives has frequency 0 and weight 1.
TEST_F(Loader, ChecksAndStudy) {
    const std::string good = "1\t1\t20\n1\t2\t10\n2\t1\t5\n2\t2\t15\n";
    std::string wide;  // 300 codes: two equal rows, then one differing in the last code
    for (const int last : {1, 1, 2}) {
        for (int j = 1; j < 300; ++j) wide += "1\t";
        wide += std::to_string(last) + "\t1\n";
    }
    using Check = std::tuple<bool, bool, bool, std::int64_t, std::int64_t, std::int64_t, std::int64_t>;
    const struct {
        const char* name;
        std::int32_t R, K;
        double N;
        FileLayout layout;
        std::string bytes;
        Check expected;  // categories, raters, subjects; rows with weights, codes, frequencies, repeats at fault
        std::vector<std::int64_t> frequency = {};  // the study's, when pinned
        std::vector<double> weight = {};
    } cases[] = {
        {"file agrees with the answers", 2, 2, 50, U, good, {}, {20, 10, 5, 15}},
        {"weighted file agrees", 2, 2, 50, W, "1\t1\t20\t0.0\n1\t2\t10\t1\n2\t1\t5\t1\n2\t2\t15\t0\n", {}},
        {"raters, categories and subjects", 4, 3, 100, U, good, {true, true, true, 0, 0, 0, 0}},
        {"each negative weight", 2, 2, 50, W, "1\t1\t20\t-0.5\n1\t2\t10\t1.0\n2\t1\t5\t-1\n2\t2\t15\t0.0\n",
         {false, false, false, 2, 0, 0, 0}},
        {"negative zero weight", 2, 2, 50, W, "1\t1\t20\t-0.0\n1\t2\t30\t1.0\n", {}},
        {"each negative frequency", 2, 2, 50, U, "1\t1\t40\n1\t2\t-10\n2\t1\t35\n2\t2\t-15\n",
         {false, false, false, 0, 0, 2, 0}},
        {"each repeat of a combination, the first counting", 2, 2, 31, W,
         "1\t2\t10\t0.5\n1\t1\t20\t0\n1\t2\t99\t0.75\n2\t1\t1\t9\n1\t2\t-99\t0\n", {false, false, false, 0, 0, 1, 2},
         {20, 10, 1, 0}, {0, 0.5, 9, 1}},
        {"codes outside 1..K, each below 1 and each repeat", 2, 2, 59, U,
         "1\t1\t20\n0\t1\t7\n1\t3\t8\n-1\t2\t9\n2\t2\t15\n0\t1\t0\n", {true, false, false, 0, 3, 0, 1},
         {20, 0, 0, 15}},
        {"frequencies summed without overflow", 2, 2, 4294967296.0, U,
         "1\t1\t2147483647\n1\t2\t2147483647\n2\t2\t2\n", {}, {2147483647, 2147483647, 0, 2}},
        {"wide rows", 2, 2, 3, U, wide, {false, true, false, 0, 0, 0, 1}, {0, 0, 0, 0}},
        {"a weighted first line without TAB reads no rows", 2, 2, 50, W, "1 1 20 0.0\n1 2 30 1.0\n",
         {true, true, true, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile("table", c.bytes);
        const LoadResult load = loadDataFile("table", c.layout, c.R, c.K);
        ASSERT_EQ(load.status, LoadResult::Status::Loaded);
        const FileCheck k = checkLoadedFile(load.file, c.R, c.K, c.N);
        EXPECT_EQ(Check(k.categories, k.raters, k.subjects, k.weights, k.codes, k.frequencies, k.repeated), c.expected);
        EXPECT_EQ(k.passed(), c.expected == Check{});
        if (!c.frequency.empty()) {
            EXPECT_EQ(fixture::values(load.file.study.frequency), c.frequency);
            EXPECT_EQ(fixture::values(load.file.study.fileWeight), c.weight);
        }
    }
}

}  // namespace
}  // namespace kappa
