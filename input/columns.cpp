#include "input/columns.h"

#include <algorithm>

#include "input/numbers.h"
#include "input/printable.h"

namespace kappa {

bool allEmpty(std::span<const std::string_view> fields) {
    return std::all_of(fields.begin(), fields.end(), [](std::string_view f) { return f.empty(); });
}

std::optional<std::size_t> Columns::find(std::string_view wanted, std::string_view option,
                                         std::optional<InputError>& error) const {
    std::size_t found = count, matches = 0;
    for (std::size_t c = 0; c < names.size(); ++c)
        if (names[c] == wanted) found = c, ++matches;
    if (matches > 1) {
        error = InputError{line, 0,
                          std::string(option) + " " + quote(wanted) + ": " + std::to_string(matches) +
                              " columns of the header have that name; give its number instead"};
        return std::nullopt;
    }
    if (matches == 1) return found;
    if (const auto number = wholeNumberLabel(wanted); number && wanted.find_first_not_of("0123456789") == wanted.npos) {
        if (*number >= 1 && static_cast<std::size_t>(*number) <= count) return static_cast<std::size_t>(*number - 1);
        error = InputError{line, 0,
                          std::string(option) + " " + std::string(wanted) + ": line " + std::to_string(line) +
                              " has " + plural(count, "field") + ", so no column " + std::string(wanted)};
        return std::nullopt;
    }
    if (names.empty())
        error = InputError{0, 0,
                          std::string(option) + " " + quote(wanted) +
                              ": without a header, columns are given by their 1-based numbers"};
    else
        error = InputError{line, 0,
                          std::string(option) + " " + quote(wanted) + ": no column of the header has that name (" +
                              listOf(names) + ")"};
    return std::nullopt;
}

std::string Columns::name(std::size_t c) const {
    if (c < names.size() && !names[c].empty()) return quote(names[c]);
    return std::to_string(c + 1);
}

bool firstLine(DelimitedReader& reader, bool header, Columns& columns) {
    if (!reader.next()) return false;
    columns.count = reader.fields().size();
    columns.line = reader.line();
    if (header)
        for (const std::string_view name : reader.fields()) columns.names.emplace_back(name);
    return true;
}

InputError noLines(const DelimitedReader& reader, const char* expected) {
    if (reader.error()) return *reader.error();
    return InputError{0, 0, std::string("the file is empty: expected ") + expected};
}

bool findOptional(const Columns& columns, const std::string& wanted, const char* option,
                  std::optional<std::size_t>& column, std::optional<InputError>& error) {
    if (wanted.empty()) return true;
    column = columns.find(wanted, option, error);
    return column.has_value();
}

bool optionsNameAColumn(const Columns& columns, const InputOptions& options) {
    const auto named = [&](std::string_view wanted) {
        return !wanted.empty() &&
               std::find(columns.names.begin(), columns.names.end(), wanted) != columns.names.end();
    };
    return named(options.id) || named(options.by) || std::any_of(options.columns.begin(), options.columns.end(), named);
}

std::optional<InputError> checkFieldCount(std::size_t found, std::int64_t line, char delimiter, const Columns& columns,
                                          bool header) {
    if (found == columns.count) return std::nullopt;
    std::string message = "expected " + plural(columns.count, "field") + " as " +
                          (header ? "the header has" : "the first line has") + " (line " +
                          std::to_string(columns.line) + "), found " + std::to_string(found);
    if (found > columns.count && delimiter != kBlanks)
        message += "; a field that holds the delimiter (" + std::string(delimiterName(delimiter)) + ") must be quoted";
    return InputError{line, 0, message};
}

std::optional<InputError> checkFieldCount(const DelimitedReader& reader, const Columns& columns, bool header) {
    return checkFieldCount(reader.fields().size(), reader.line(), reader.delimiter(), columns, header);
}

std::string delimiterHint(const Columns& columns, const InputOptions& options) {
    if (columns.count != 1 || options.delimiter) return {};
    return ": the first line has no TAB, comma or semicolon; give the file's delimiter with --delimiter";
}

std::string tooWideASpan(std::int64_t span, std::int64_t most) {
    return "the labels are whole numbers spanning " + std::to_string(span) +
           " categories (every integer from the smallest label to the largest), at most " + std::to_string(most);
}

}  // namespace kappa
