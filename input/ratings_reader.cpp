// The ratings layout: one row per subject, one column per rater, perhaps an
// --id column of subjects and a --by column of groups. The columns are judged
// on the first rows before any rating is counted; then each row is counted
// in its group as it is read, by response pattern while the raters and
// labels fit a pattern key, by profile beyond.
#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "input/column_roles.h"
#include "input/columns.h"
#include "input/file_counts.h"
#include "input/layouts.h"
#include "input/printable.h"

namespace kappa {

namespace {

// The heading of a file that names rater columns as a long file names its
// rater column: said when such a file is read as ratings.
bool looksLikeRaterColumn(std::string_view name) {
    std::string lower;
    for (const char c : name) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return lower == "rater" || lower == "coder" || lower == "annotator" || lower == "judge" || lower == "rater_id" ||
           lower == "coder_id";
}

// Why a column does not look like a rater's, in words.
std::string notARater(const ColumnJudgement& j, const Columns& columns) {
    const ColumnProfile& p = j.profile;
    const std::string name = j.byName ? "its name " + columns.name(p.column) + " is one that columns of " : "";
    switch (j.role) {
        case ColumnRole::Identifier:
            return (j.byName ? name + "identifiers have, and " : std::string()) +
                   "every row has a different value (" + listOf(p.first) + ", ...)";
        case ColumnRole::Group:
            if (j.byName) return name + "groups have";
            return "it holds a few values (" + listOf(p.exclusives) + ") on every row, which no other column uses";
        case ColumnRole::Other:
        case ColumnRole::Rater: break;
    }
    if (j.byName) return name + "notes, dates or other facts about the subjects have";
    return "most of its labels (" + listOf(p.exclusives) + ") occur in no other column";
}

// The candidate rater columns judged on the first rows: those that do not
// look like a rater's are refused, or, when one alone looks like the subjects'
// identifier and --id is not given, taken as that identifier with a note. With
// --columns the user has said which columns are raters: a note only.
std::optional<InputError> settleColumnRoles(RowSample& sample, const InputOptions& options, const Columns& columns,
                                            const std::function<bool(std::string_view)>& isMissing,
                                            std::vector<std::size_t>& raters, std::optional<std::size_t>& id,
                                            const std::optional<std::size_t>& by, InputDescription& input) {
    const std::vector<ColumnJudgement> judged = judgeColumns(sample, raters, columns.names, isMissing);
    if (judged.empty()) return std::nullopt;
    if (!options.columns.empty()) {
        for (const ColumnJudgement& j : judged)
            input.notes.push_back("column " + columns.name(j.profile.column) +
                                  " is read as a rater's ratings, as --columns says, though " +
                                  notARater(j, columns));
        return std::nullopt;
    }
    const auto optionValue = [&](std::size_t c) {
        const bool unique = c < columns.names.size() && !columns.names[c].empty() &&
                            columns.names[c].find(',') == std::string::npos &&
                            std::count(columns.names.begin(), columns.names.end(), columns.names[c]) == 1;
        return unique ? columns.names[c] : std::to_string(c + 1);
    };
    if (judged.size() == 1 && judged[0].role == ColumnRole::Identifier && !id) {
        const std::size_t c = judged[0].profile.column;
        input.notes.push_back("column " + columns.name(c) + " is read as the subjects' identifier (--id " +
                              optionValue(c) + "), not as a rater's ratings: " + notARater(judged[0], columns) +
                              "; --columns names the raters' columns otherwise");
        id = c;
        std::erase(raters, c);
        return std::nullopt;
    }
    std::vector<std::string> others;  // the columns that do look like raters'
    for (const std::size_t c : raters)
        if (std::none_of(judged.begin(), judged.end(), [&](const ColumnJudgement& j) { return j.profile.column == c; }))
            others.push_back(optionValue(c));
    const auto where = static_cast<std::int64_t>(judged[0].profile.column + 1);
    if (others.size() < 2)
        return InputError{columns.line, where,
                         "the columns share almost no labels, so this does not look like a ratings file (one row per "
                         "subject, one column per rater): a cross-table of counts is read with --input matrix, a "
                         "table of response patterns with --input table, a file with one row per rating with "
                         "--input long; --columns names the raters' columns if these are raters"};
    std::string message;
    std::vector<std::string> settle;
    for (const ColumnJudgement& j : judged) {
        const std::size_t c = j.profile.column;
        message += (message.empty() ? "column " : "; column ") + columns.name(c) + " does not look like a rater's: " +
                   notARater(j, columns);
        if (j.role == ColumnRole::Identifier && !id) settle.push_back("--id " + optionValue(c) + " for identifiers");
        if (j.role == ColumnRole::Group && !by) settle.push_back("--by " + optionValue(c) + " for groups");
    }
    std::string list;
    for (const std::string& name : others) list += (list.empty() ? "" : ",") + name;
    settle.push_back("--columns " + list + " to name the raters' columns");
    // Codes and a last column of larger numbers: a table of response patterns and their frequencies.
    const bool table = judged.size() == 1 && judged[0].profile.column + 1 == columns.count &&
                       judged[0].profile.wholeNumbers && judged[0].role == ColumnRole::Other;
    if (table) settle.insert(settle.begin(), "--input table if it counts the subjects of each row's combination");
    message += ". Give ";
    for (std::size_t i = 0; i < settle.size(); ++i)
        message += (i == 0 ? "" : i + 1 == settle.size() ? ", or " : ", ") + settle[i];
    return InputError{columns.line, where, message};
}

std::optional<InputError> readRatings(DelimitedReader& reader, const InputOptions& options, FileCounts& file,
                                     InputDescription& input, PatternKey& key) {
    Columns columns;
    if (!firstLine(reader, options.header, columns))
        return noLines(reader, options.header ? "a header line naming the columns" : "one row of ratings per subject");
    std::optional<InputError> error;
    std::optional<std::size_t> id, by;
    if (!findOptional(columns, options.id, "--id", id, error) || !findOptional(columns, options.by, "--by", by, error))
        return error;
    if (id && by && *id == *by) return InputError{columns.line, 0, "--id and --by name the same column"};
    std::vector<std::size_t> raters;
    if (options.columns.empty()) {
        for (std::size_t c = 0; c < columns.count; ++c)
            if (c != id && c != by) raters.push_back(c);
    } else {
        for (const std::string& wanted : options.columns) {
            const auto c = columns.find(wanted, "--columns", error);
            if (!c) return error;
            if (c == id || c == by || std::find(raters.begin(), raters.end(), *c) != raters.end())
                return InputError{columns.line, static_cast<std::int64_t>(*c + 1),
                                 "--columns names column " + columns.name(*c) +
                                     (c == id   ? ", the --id column"
                                      : c == by ? ", the --by column"
                                                : " twice")};
            raters.push_back(*c);
        }
    }
    if (options.columns.empty())
        for (const std::size_t c : raters) {
            if (c < columns.names.size() && columns.names[c].empty())
                return InputError{columns.line, static_cast<std::int64_t>(c + 1),
                                 "column " + std::to_string(c + 1) +
                                     " has no name in the header, and would be read as one rater's ratings: if it "
                                     "identifies the subjects (as an index written by pandas), give it with --id " +
                                     std::to_string(c + 1) +
                                     "; if it holds the row labels of a cross-table, read the file with --input "
                                     "matrix; or name the raters' columns with --columns"};
            if (c < columns.names.size() && looksLikeRaterColumn(columns.names[c]))
                return InputError{columns.line, static_cast<std::int64_t>(c + 1),
                                 "a column named " + quote(columns.names[c]) +
                                     " would be read as one rater's ratings: this looks like a long file (one row per "
                                     "rating: subject, rater, category); read it with --input long, or name the "
                                     "raters' columns with --columns"};
        }

    // The first rows, judged before any rating is counted.
    RowSample sample;
    bool rowPending = !options.header;  // without a header the first line is a row
    while (rowPending || reader.next()) {
        rowPending = false;
        if (!sample.add(reader.fields(), reader.line())) {
            rowPending = true;  // the reader's current row comes after the sample's
            break;
        }
    }
    const auto isMissing = [&](std::string_view text) { return file.labels().meansNotRated(text); };
    if (raters.size() >= 2)
        if (auto refusal = settleColumnRoles(sample, options, columns, isMissing, raters, id, by, input))
            return refusal;
    if (raters.size() < 2) {
        std::string message = "found " + plural(raters.size(), "rater's column") + ", expected at least two";
        return InputError{columns.line, 0, message + delimiterHint(columns, options)};
    }
    const bool headerNamed = optionsNameAColumn(columns, options);
    if (options.header && !options.headerConfirmed && !headerNamed &&
        headerLooksLikeData(sample, raters, columns.names, isMissing)) {
        std::vector<std::string> first;
        for (const std::size_t c : raters) first.push_back(columns.names[c]);
        return InputError{columns.line, 0,
                         "the first line (" + listOf(first) +
                             ") looks like a row of ratings, not the columns' names: its fields are labels that the "
                             "rows below use. --no-header reads it as the first subject, --header as the columns' "
                             "names"};
    }

    // Subjects are counted by response pattern while the raters and labels
    // fit a pattern key (a table of response patterns may be made of them),
    // by profile beyond.
    const auto R = static_cast<std::int32_t>(raters.size());
    const std::int32_t largestK = largestCategoryCount(R);
    key = PatternKey::forRaters(R, std::max(largestK, 1));
    const auto countByProfile = [&] {
        file.countByProfile(key);
        file.labels().setLimit(kMaxCategories);
    };
    if (R > kMaxRaters) file.beyondTable();
    if (R > kMaxRaters || file.labels().found() > static_cast<std::size_t>(largestK))
        countByProfile();
    else
        file.labels().setLimit(static_cast<std::size_t>(largestK));
    for (const std::size_t c : raters)
        input.raters.push_back(c < columns.names.size() ? columns.names[c] : std::to_string(c + 1));

    // The rows: each subject counted in its group as it is read.
    std::vector<Rating> ratings;
    const auto count = [&](std::span<const std::string_view> fields, std::int64_t line) -> std::optional<InputError> {
        if (fields.size() != columns.count) {
            if (allEmpty(fields)) return std::nullopt;
            return checkFieldCount(fields.size(), line, reader.delimiter(), columns, options.header);
        }
        for (;;) {  // again when a label of the row makes the file counted by profile
            const bool byPattern = file.byPattern();
            std::uint64_t pattern = 0;
            ratings.clear();
            bool rated = false, switched = false;
            for (std::size_t j = 0; j < raters.size() && !switched; ++j) {
                const std::size_t c = raters[j];
                std::uint16_t code;
                const CategoryLabels::Lookup outcome =
                    file.labels().lookup(fields[c], code, line, static_cast<std::int64_t>(c + 1));
                if (outcome == CategoryLabels::Lookup::Found) {
                    rated = true;
                    if (!byPattern) ratings.push_back({static_cast<std::uint32_t>(j), code});
                } else if (outcome == CategoryLabels::Lookup::Missing) {
                    code = kMissing;
                } else if (outcome == CategoryLabels::Lookup::TooMany && byPattern) {
                    countByProfile();  // more labels than a pattern key holds
                    switched = true;
                } else {
                    return file.fieldError(
                        outcome, fields[c], code, line, c, id ? "subject " + quote(fields[*id]) : std::string(), R,
                        "; is every one of these columns a rater's? (a column of identifiers is named with --id; a "
                        "file with one row per rating is read with --input long, a table of response patterns and "
                        "frequencies with --input table)");
                }
                if (byPattern) pattern = key.append(pattern, code);
            }
            if (switched) continue;
            if (!rated && allEmpty(fields)) return std::nullopt;
            const auto g = file.group(by ? fields[*by] : std::string_view());
            if (!g) return tooManyGroups(line, *by);
            if (!rated) return std::nullopt;
            if (byPattern)
                file.add(*g, pattern, line);
            else
                file.add(*g, ratings, line);
            return std::nullopt;
        }
    };
    for (std::size_t r = 0; r < sample.rows(); ++r)
        if (auto refusal = count(sample.fields(r), sample.line(r))) return refusal;
    while (rowPending || reader.next()) {
        rowPending = false;
        if (auto refusal = count(reader.fields(), reader.line())) return refusal;
    }
    return reader.error();
}

}  // namespace

std::optional<InputError> readRatingsStudies(ByteSource& source, const InputOptions& options, InputDescription& input,
                                             const TakeGroup& take, std::size_t chunk, const ReadAgain&) {
    return readChecked(options, [&]() -> std::optional<InputError> {
        DelimitedReader reader(source, options.delimiter, chunk);
        FileCounts file = fileCountsFor(options);
        PatternKey key;
        if (auto error = readRatings(reader, options, file, input, key)) return error;
        input.delimiter = reader.delimiter();
        return takeGroups(file, key, options, input, take);
    });
}

}  // namespace kappa
