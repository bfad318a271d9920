// The columns of a delimited file as its readers find them: by header name
// or 1-based number, with the refusals every layout gives in the same words
// (a record of the wrong width, a file without lines, a column not found).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "input/delimited.h"
#include "input/input.h"
#include "input/input_error.h"

namespace kappa {

// Whether every field of a record is empty: a blank line.
bool allEmpty(std::span<const std::string_view> fields);

// The columns of a file: the names its header gives (none without a header)
// and how many fields its first line has.
struct Columns {
    std::vector<std::string> names;
    std::size_t count = 0;
    std::int64_t line = 0;

    // The 0-based column that `wanted` names (a header name, else a 1-based
    // number); an error for `option` otherwise.
    std::optional<std::size_t> find(std::string_view wanted, std::string_view option,
                                    std::optional<InputError>& error) const;

    // How messages name column c.
    std::string name(std::size_t c) const;
};

// Reads the first line: the header, or the first row whose fields give the
// column count. False when the file has no line.
bool firstLine(DelimitedReader& reader, bool header, Columns& columns);

// The refusal of a file without a line (or the reader's own error).
InputError noLines(const DelimitedReader& reader, const char* expected);

// The optional columns --id and --by: false, with the error, when `wanted`
// names none.
bool findOptional(const Columns& columns, const std::string& wanted, const char* option,
                  std::optional<std::size_t>& column, std::optional<InputError>& error);

// Whether --id, --by or an item of --columns names a column by its header
// name: then the first line is the header, whatever it looks like.
bool optionsNameAColumn(const Columns& columns, const InputOptions& options);

// A record's field count against the header's (or the first line's).
std::optional<InputError> checkFieldCount(std::size_t found, std::int64_t line, char delimiter, const Columns& columns,
                                          bool header);
std::optional<InputError> checkFieldCount(const DelimitedReader& reader, const Columns& columns, bool header);

// What a refusal of too few columns adds when the first line is one field
// and the delimiter was found, not given: a hint to give it.
std::string delimiterHint(const Columns& columns, const InputOptions& options);

// The start of the refusal of whole-number labels that span more than `most`
// categories.
std::string tooWideASpan(std::int64_t span, std::int64_t most);

}  // namespace kappa
