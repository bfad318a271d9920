// The table layout: TAB-separated text without a header, one line per
// observed combination of categories: the 1-based category code of each of
// the R raters, the number of subjects with that combination (the frequency)
// and, in the weighted layout, the disagreement weight of the combination.
// R is the number of TABs in the first line (less one in the weighted layout).
// Every line that holds anything holds exactly R + 1 numbers (R + 2 with
// weights), separated by any blanks; blank lines are skipped. Codes and
// frequencies are whole numbers in the 32-bit range, in any decimal notation
// ("2", "2.0", "+2", "2e0"); weights are finite decimal numbers.
//
// The file is read as a stream, a row at a time, and nothing of it is kept
// but what the caller keeps of each row: memory does not grow with the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "input/byte_source.h"

namespace kappa {

enum class FileLayout { Unweighted, Weighted };

// Rows wider than this keep only a hash of their further codes.
inline constexpr std::size_t kKeptCodes = 256;

struct TableRow {
    std::int32_t raters = 0;             // codes on the row
    std::span<const std::int32_t> codes; // the first min(raters, kKeptCodes) codes
    std::uint64_t restHash = 0;          // a hash of the codes after those, 0 when there are none
    std::int32_t largestCode = 0;
    bool codeBelowOne = false;
    std::int32_t frequency = 0;
    double weight = 0.0;                 // weighted layout only
    int line = 0;                        // 1-based; stops at the largest int
};

// What a reader does with the rows, in file order.
class TableRows {
public:
    virtual ~TableRows() = default;
    // The number of raters found in the first line, before any row. When it is
    // not positive no row is read.
    virtual void raters(std::int32_t R) = 0;
    // One row; returning false stops the reading there (as a refusal of that row).
    virtual bool row(const TableRow& row) = 0;
};

struct ParseOutcome {
    enum class Status { Read, Malformed, Refused, ReadFailed, Stopped };
    Status status = Status::Read;
    // The line at fault when the file is malformed or a row was refused; the
    // line reading stopped at (Stopped).
    int line = 0;
    std::string message;  // Malformed: what was expected and what was found
    std::string firstLine;  // the start of the first line, to tell what layout a file looks like
    bool ok() const { return status == Status::Read; }
};

// Reads every row of the table in `source`.
ParseOutcome parseTable(ByteSource& source, FileLayout layout, TableRows& rows);

// Reads the rows of the table in `source` as long as they are lines of plain
// numbers, whole numbers of at most nine digits separated by blanks (the weight
// of a weighted row any finite number), R from the TABs of the first line
// that is not blank, as many numbers on each line as on that one. Blank lines
// are skipped, the first ones too. At the first line that is anything else,
// or that is longer than the parser's buffer, reading stops: the outcome is
// Stopped at that line, and `rest` holds the input's bytes from its start to
// where the parser's reading got (the caller puts them back into `source`
// and reads on in its own way).
ParseOutcome parsePlainTable(ByteSource& source, FileLayout layout, TableRows& rows, std::string& rest);

// A token read both ways it may be needed: as a whole number in the 32-bit
// range (a code or a frequency) and as a finite number (a weight). A number
// too small for a double is finite, 0 and not whole.
struct TableNumber {
    bool whole = false;
    std::int32_t integer = 0;
    bool finite = false;
    double value = 0.0;
};

void readNumber(std::string_view token, TableNumber& number);

// A number as messages show it: its value, or the token when it is not a
// number or is too small for a double.
std::string shownNumber(const TableNumber& number, std::string_view token);

// The fields of a row, and what the refusal of one says.
enum class TableField { Code, Frequency, Weight };
std::string fieldRefusal(TableField field, const TableNumber& number, std::string_view token);

// "3 numbers (2 category codes and a frequency)": what a row of R raters holds.
std::string rowLayout(std::int64_t raters, bool weighted);

// Tokens longer than this are refused: no number needs more, and a file of
// one endless token must not take endless memory.
inline constexpr std::size_t kLongestToken = std::size_t{1} << 16;

}  // namespace kappa
