// A streaming reader of delimited text (CSV and its relatives, RFC 4180):
// fields separated by a delimiter, records by line ends (LF or CRLF);
// double-quoted fields may hold delimiters, line breaks and quotes written
// twice. Surrounding blanks of a field are trimmed (not the blanks between
// quotes); a UTF-8 byte-order mark at the start is skipped; lines of nothing
// but blanks are skipped.
//
// Fields are views into the reader's buffer: no copy is made of a field, and a
// quoted field is unescaped where it lies. Memory holds one chunk of the input
// and the longest record, never the whole input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "input/byte_source.h"
#include "input/input_error.h"

namespace kappa {

// The delimiter that stands for runs of blanks (spaces and TABs).
inline constexpr char kBlanks = ' ';

// True for the delimiters a file may use: TAB, ',', ';', '|' and kBlanks.
bool isDelimiter(char delimiter);

// How messages and headings name a delimiter: "TAB", "comma", "semicolon",
// "'|'" or "blanks".
std::string_view delimiterName(char delimiter);

// The delimiter of a line: TAB if it has one outside quotes, else comma, else
// semicolon, else blanks.
char detectDelimiter(std::string_view line);

class DelimitedReader {
public:
    static constexpr std::size_t kChunk = std::size_t{1} << 20;
    // A record may not be longer than this: beyond it the input is not
    // delimited text (a device of zeros, a binary file).
    static constexpr std::size_t kLongestRecord = std::size_t{16} << 20;

    // `delimiter`: one for which isDelimiter holds, or none to detect it from
    // the first record that is not blank. `chunk`: the buffer's starting size
    // (tests use tiny ones to cut records everywhere).
    DelimitedReader(ByteSource& source, std::optional<char> delimiter, std::size_t chunk = kChunk);

    // Reads the next record. False at the end of the input or when it cannot
    // be read (then error() is set).
    bool next();

    // The current record: the 1-based line it starts on and its fields
    // (field i is column i + 1). Valid until the next call of next().
    std::int64_t line() const { return recordLine_; }
    std::span<const std::string_view> fields() const { return fields_; }

    // The delimiter in use; known once next() has been called.
    char delimiter() const { return delimiter_; }

    const std::optional<InputError>& error() const { return error_; }

private:
    enum class Scan { Record, NeedMore, Failed };

    bool fill();
    bool start();
    bool fail(std::int64_t line, std::int64_t column, std::string message);
    void splitPlain(const char* begin, const char* end);
    Scan scanQuoted(std::size_t& recordEnd, std::int64_t& lineBreaks, bool split);
    // Blanks trimmed around a field: spaces, carriage returns, and TABs unless they delimit.
    bool isBlank(char c) const { return c == ' ' || c == '\r' || (c == '\t' && delimiter_ != '\t'); }

    ByteSource& source_;
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_;
    std::size_t pos_ = 0;         // first byte not yet read as part of a record
    std::size_t end_ = 0;         // end of the bytes in the buffer
    std::size_t quote_ = 0;       // the first '"' at or after pos_, or end_ when none up to quoteLimit_
    std::size_t quoteLimit_ = 0;  // bytes up to which quote_ is known
    bool atEnd_ = false;          // the source has no more bytes
    bool started_ = false;
    bool done_ = false;
    bool longBlanks_ = false;  // the line at pos_ began with more blanks than a record may hold
    char delimiter_ = 0;
    std::int64_t line_ = 1;  // line of the byte at pos_
    std::int64_t recordLine_ = 0;
    std::int64_t openQuoteLine_ = 0;  // where a quoted field that the buffer cuts opens
    std::int64_t openQuoteColumn_ = 0;
    std::vector<std::string_view> fields_;
    std::optional<InputError> error_;
};

}  // namespace kappa
