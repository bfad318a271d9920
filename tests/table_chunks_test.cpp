// The table parser on inputs that once read wrongly when their bytes came a
// few at a time (as from a pipe) or ran long: every way of cutting the bytes
// into reads gives the same rows and the same outcome.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "input/byte_source.h"
#include "input/table_file.h"

namespace kappa {
namespace {

// Each row as "largest code:frequency@line".
class Rows final : public TableRows {
public:
    void raters(std::int32_t) override {}
    bool row(const TableRow& row) override {
        rows.push_back(std::to_string(row.largestCode) + ":" + std::to_string(row.frequency) + "@" +
                       std::to_string(row.line));
        return true;
    }
    std::vector<std::string> rows;
};

struct Case {
    const char* what;
    std::string bytes;
    ParseOutcome::Status status;
    int line;  // of the outcome: 0 when the table was read
    std::vector<std::string> rows;
};

TEST(TableChunks, EveryCutGivesTheSameRows) {
    const Case cases[] = {
        // A first read that holds only the byte-order mark.
        {"mark alone", "\xEF\xBB\xBF" "1\t2\t5\n2\t2\t7\n", ParseOutcome::Status::Read, 0, {"2:5@1", "2:7@2"}},
        // The first line is read token by token, the others a line at a time.
        {"negative codes", "-1\t-3\t4\n-2\t-5\t6\n", ParseOutcome::Status::Read, 0, {"-1:4@1", "-2:6@2"}},
        // A run of digits far beyond 64 bits is a number, not a whole one.
        {"long digit run", "1\t777777777777777777777777\t4\n", ParseOutcome::Status::Malformed, 1, {}},
        // The same past the first line, which is read a line at a time.
        {"long digit run later", "1\t2\t4\n1\t777777777777777777777777\t4\n", ParseOutcome::Status::Malformed, 2,
         {"2:4@1"}},
        // A token longer than 64 KiB, refused whether it comes in one read or in many.
        {"token beyond 64 KiB", "1\t2\t4\n1\t" + std::string(kLongestToken + 1, '7') + "\t4\n",
         ParseOutcome::Status::Malformed, 2, {"2:4@1"}},
        {"token of 64 KiB", "1\t2\t4\n1\t1\t0." + std::string(kLongestToken - 2, '0') + "\n",
         ParseOutcome::Status::Read, 0, {"2:4@1", "1:0@2"}},
    };
    const std::size_t reads[] = {1, 2, 3, 5, 4096, SIZE_MAX};  // the most bytes a read hands out
    for (const Case& c : cases)
        for (const std::size_t maxRead : reads) {
            SCOPED_TRACE(std::string(c.what) + ", reads of " + std::to_string(maxRead));
            ByteSource source(c.bytes, maxRead);
            Rows rows;
            const ParseOutcome outcome = parseTable(source, FileLayout::Unweighted, rows);
            EXPECT_EQ(outcome.status, c.status);
            EXPECT_EQ(outcome.line, c.line);
            EXPECT_EQ(rows.rows, c.rows);
        }
}

}  // namespace
}  // namespace kappa
