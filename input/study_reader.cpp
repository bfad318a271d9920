#include "input/study_reader.h"

#include <algorithm>
#include <limits>
#include <numeric>
#include <new>
#include <stdexcept>
#include <tuple>
#include <utility>

#include "input/column_roles.h"
#include "input/printable.h"
#include "input/study_builder.h"

namespace kappa {

std::vector<std::string> expandCategories(const std::vector<std::string>& categories) {
    if (categories.size() == 1) {
        if (const auto N = wholeNumberLabel(categories[0]); N && *N >= 1 && *N <= kMaxPatterns) {
            std::vector<std::string> labels;
            for (std::int64_t k = 1; k <= *N; ++k) labels.push_back(std::to_string(k));
            return labels;
        }
    }
    return categories;
}

namespace {

bool allEmpty(std::span<const std::string_view> fields) {
    return std::all_of(fields.begin(), fields.end(), [](std::string_view f) { return f.empty(); });
}

// "1st", "2nd", "3rd", "4th", "11th", "21st", ...
std::string ordinal(std::size_t n) {
    const std::size_t last = n % 10, tens = n % 100;
    const char* suffix = tens >= 11 && tens <= 13 ? "th" : last == 1 ? "st" : last == 2 ? "nd" : last == 3 ? "rd" : "th";
    return std::to_string(n) + suffix;
}

std::string plural(std::size_t count, const char* word) {
    return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

// The columns of a file: the names its header gives (none without a header)
// and how many fields its first line has.
struct Columns {
    std::vector<std::string> names;
    std::size_t count = 0;
    std::int64_t line = 0;

    // The 0-based column that `wanted` names (a header name, else a 1-based
    // number); an error for `option` otherwise.
    std::optional<std::size_t> find(std::string_view wanted, std::string_view option,
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
            if (*number >= 1 && static_cast<std::size_t>(*number) <= count)
                return static_cast<std::size_t>(*number - 1);
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

    // How messages name column c.
    std::string name(std::size_t c) const {
        if (c < names.size() && !names[c].empty()) return quote(names[c]);
        return std::to_string(c + 1);
    }
};

// A record's field count against the header's (or the first line's).
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

// Groups of --by a file may have, at most: beyond them --by names a column of
// identifiers rather than groups, and memory would grow with the file.
constexpr std::size_t kMaxGroups = 100000;

// Everything the layouts share while a file is read: the categories, and the
// groups with their subjects counted by response pattern while the raters and
// labels fit a pattern key, by profile beyond.
class FileCounts {
public:
    // `missingApplies`: the file has ratings that may be missing (not a
    // cross-table). `keepRaters`: keep which rater gave each rating when
    // counting by profile. `perRater`: the raters are columns (RaterTally).
    FileCounts(std::vector<std::string> explicitLabels, std::vector<std::string> missing, bool ignoreCase,
               bool missingApplies, bool keepRaters = false, bool perRater = true)
        : explicit_(std::move(explicitLabels)),
          missing_(std::move(missing)),
          labels_(explicit_, missing_, ignoreCase),
          missingApplies_(missingApplies),
          keepRaters_(keepRaters),
          perRater_(perRater) {}

    CategoryLabels& labels() { return labels_; }
    const std::vector<std::string>& groups() const { return groups_; }
    bool byPattern() const { return byPattern_; }

    // Counts a subject of group g (a number from group()): by its pattern,
    // or by its ratings (raters ascending).
    void add(std::size_t g, std::uint64_t pattern, std::int64_t line) { counts_[g].add(pattern, line); }
    void add(std::size_t g, std::span<const Rating> ratings, std::int64_t line) { profiles_[g].add(1, ratings, line); }

    // From now on subjects are counted by profile: those counted by pattern
    // so far, under `key`, are counted again so.
    void countByProfile(const PatternKey& key) {
        if (!byPattern_) return;
        byPattern_ = false;
        for (std::size_t g = 0; g < counts_.size(); ++g) {
            counts_[g].forEach([&](std::uint64_t pattern, std::int64_t count, std::int64_t line) {
                profiles_[g].add(count, ratingsOf(key, pattern), line);
            });
            counts_[g] = PatternCounts();
        }
    }

    // The file has more raters than a table of response patterns takes: which
    // rater gave each rating is kept only when asked for, and identical
    // subjects are no longer looked for (with many raters there are few).
    void beyondTable() {
        keepNow_ = keepRaters_;
        merging_ = false;
        for (ProfileCounter& counter : profiles_) {
            if (!keepNow_) counter.stopKeepingRaters();
            counter.stopMerging();
        }
    }

    // The number of the group named `name`, new groups taking the next one;
    // none beyond kMaxGroups.
    std::optional<std::size_t> group(std::string_view name) {
        if (!groups_.empty() && name == groups_[last_]) return last_;
        if (const auto index = groupIndex_.find(name)) return last_ = *index;
        if (groups_.size() == kMaxGroups) return std::nullopt;
        groupIndex_.intern(name);
        groups_.emplace_back(name);
        counts_.emplace_back();
        profiles_.emplace_back(keepNow_, perRater_);
        if (!keepNow_ || !merging_) profiles_.back().stopMerging();
        return last_ = groups_.size() - 1;
    }

    bool anySubject() const {
        return std::any_of(counts_.begin(), counts_.end(), [](const PatternCounts& c) { return c.size() > 0; }) ||
               std::any_of(profiles_.begin(), profiles_.end(), [](const ProfileCounter& c) { return !c.empty(); });
    }

    // Group g's study, of R raters with `names`, in `categories`: with its
    // table of response patterns where it fits, else by profile.
    StudyGroup build(std::size_t g, const PatternKey& key, std::int32_t R, const CategoryLabels::Final& categories,
                     const std::vector<std::string>& names) {
        StudyGroup group{groups_[g], Study{}, {}};
        // A rater who gave no rating in this group is not one of its raters.
        std::vector<bool> rated(static_cast<std::size_t>(R), false);
        if (byPattern_)
            counts_[g].forEach([&](std::uint64_t pattern, std::int64_t, std::int64_t) {
                for (const Rating& rating : ratingsOf(key, pattern)) rated[rating.rater] = true;
            });
        else
            rated = profiles_[g].rated(static_cast<std::size_t>(R));
        std::vector<std::uint32_t> index(rated.size());
        std::vector<std::string> raters, idle;
        for (std::size_t j = 0; j < rated.size(); ++j) {
            index[j] = static_cast<std::uint32_t>(raters.size());
            (rated[j] ? raters : idle).push_back(j < names.size() ? names[j] : std::to_string(j + 1));
        }
        if (!idle.empty()) {
            group.notes.push_back(
                (idle.size() == 1 ? "rater " + quote(idle[0]) + " gave" : "raters " + listOf(idle) + " gave") +
                " no rating" + (groups_.size() > 1 ? " in this group" : "") + ", so " +
                (idle.size() == 1 ? "it is not a rater" : "they are not raters") + " of the study");
            R = static_cast<std::int32_t>(raters.size());
        }
        const bool fits = R <= kMaxRaters &&
                          patternCount(static_cast<std::int32_t>(categories.labels.size()), R) <= kMaxPatterns;
        bool byPattern = byPattern_;
        if (byPattern && (!fits || !idle.empty())) {
            ProfileCounter counter(keepRaters_ || fits, perRater_);
            counts_[g].forEach([&](std::uint64_t pattern, std::int64_t count, std::int64_t line) {
                ratingsOf(key, pattern);
                for (Rating& rating : ratings_) rating.rater = index[rating.rater];
                counter.add(count, ratings_, line);
            });
            counts_[g] = PatternCounts();
            profiles_[g] = std::move(counter);
            byPattern = false;
        } else if (!byPattern && !idle.empty()) {
            profiles_[g].renumberRaters(index);
        }
        Study& study = group.study;
        if (byPattern) {
            study = counts_[g].build(key, categories);
        } else {
            study.R = R;
            study.K = static_cast<std::int32_t>(categories.labels.size());
            study.labels = categories.labels;
            profiles_[g].build(study, categories.code, fits && profiles_[g].keepsRaters());
        }
        study.raterNames = raters;
        return group;
    }

    // The refusal of a field that is not a rating: `who` names the subject
    // when the file identifies it, `hint` says what may be wrong when there
    // are too many labels. `id` is what the lookup gave (for a CaseVariant,
    // the label the text differs from).
    InputError fieldError(CategoryLabels::Lookup outcome, std::string_view text, std::uint16_t id, std::int64_t line,
                          std::size_t column, const std::string& who, std::int32_t R, const char* hint) const {
        std::string message = labels_.refusal(outcome, text, id, R, missingApplies_);
        if (outcome == CategoryLabels::Lookup::TooMany) message += hint;
        return InputError{line, static_cast<std::int64_t>(column + 1), who.empty() ? message : who + ": " + message};
    }

private:
    // The ratings a pattern key holds.
    std::span<const Rating> ratingsOf(const PatternKey& key, std::uint64_t pattern) {
        ratings_.clear();
        const std::uint64_t missing = key.missingCode();
        for (std::int32_t j = 0; j < key.R; ++j) {
            const std::uint64_t id = (pattern >> (key.bits * (key.R - 1 - j))) & missing;
            if (id != missing) ratings_.push_back({static_cast<std::uint32_t>(j), static_cast<std::uint16_t>(id)});
        }
        return ratings_;
    }

    std::vector<std::string> explicit_;
    std::vector<std::string> missing_;
    CategoryLabels labels_;
    bool missingApplies_;
    bool keepRaters_;
    bool perRater_;
    bool byPattern_ = true;
    bool keepNow_ = true;  // new groups keep which rater gave each rating
    bool merging_ = true;  // new groups merge identical subjects
    std::vector<std::string> groups_;
    std::vector<PatternCounts> counts_;
    std::vector<ProfileCounter> profiles_;
    StringTable groupIndex_;
    std::size_t last_ = 0;
    std::vector<Rating> ratings_;
};

InputError tooManyGroups(std::int64_t line, std::size_t column) {
    return InputError{
        line, static_cast<std::int64_t>(column + 1),
        "a group beyond the " + ordinal(kMaxGroups) +
            ": --by names a column of groups, one study for each of its values; is it the right column?"};
}

// The heading of a file that names rater columns as a long file names its
// rater column: said when such a file is read as ratings.
bool looksLikeRaterColumn(std::string_view name) {
    std::string lower;
    for (const char c : name) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return lower == "rater" || lower == "coder" || lower == "annotator" || lower == "judge" || lower == "rater_id" ||
           lower == "coder_id";
}

// Reads the first line: the header, or the first row whose fields give the
// column count. False when the file has no line.
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

// The optional columns --id and --by.
bool findOptional(const Columns& columns, const std::string& wanted, const char* option,
                  std::optional<std::size_t>& column, std::optional<InputError>& error) {
    if (wanted.empty()) return true;
    column = columns.find(wanted, option, error);
    return column.has_value();
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

// Whether `wanted` names a column by its header name.
bool namesAColumn(const Columns& columns, std::string_view wanted) {
    return !wanted.empty() && std::find(columns.names.begin(), columns.names.end(), wanted) != columns.names.end();
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
    const auto isMissing = [&](std::string_view text) {
        if (text.empty() || isMissingMarker(text)) return true;
        const auto known = file.labels().known(canonicalLabel(text));
        return known && *known == kMissing;
    };
    if (raters.size() >= 2)
        if (auto refusal = settleColumnRoles(sample, options, columns, isMissing, raters, id, by, input))
            return refusal;
    if (raters.size() < 2) {
        std::string message = "found " + plural(raters.size(), "rater's column") + ", expected at least two";
        if (columns.count == 1 && !options.delimiter)
            message += ": the first line has no TAB, comma or semicolon; give the file's delimiter with --delimiter";
        return InputError{columns.line, 0, message};
    }
    const bool headerNamed = namesAColumn(columns, options.id) || namesAColumn(columns, options.by) ||
                             std::any_of(options.columns.begin(), options.columns.end(),
                                         [&](const std::string& c) { return namesAColumn(columns, c); });
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

// One rating of a long file: its rater, provisional id (kMissing: not rated)
// and line.
struct LongRating {
    std::uint32_t rater = 0;
    std::uint16_t id = 0;
    std::int64_t line = 0;
};

// The earliest second rating of a subject by a rater who has rated it
// already, with that first rating; ratings are sorted by rater and line.
std::optional<std::pair<LongRating, LongRating>> ratedTwice(std::vector<LongRating>& ratings) {
    std::sort(ratings.begin(), ratings.end(), [](const LongRating& a, const LongRating& b) {
        return a.rater != b.rater ? a.rater < b.rater : a.line < b.line;
    });
    std::optional<std::pair<LongRating, LongRating>> twice;
    for (std::size_t i = 1; i < ratings.size(); ++i)
        if (ratings[i].rater == ratings[i - 1].rater && (!twice || ratings[i].line < twice->second.line))
            twice = std::pair(ratings[i - 1], ratings[i]);
    return twice;
}

// A long file's subjects until its end, when its rows come in any order:
// each subject's group and ratings. A subject's first five ratings share one
// record of a cache line; more go to records of their own, chained to it.
class HeldSubjects {
public:
    std::size_t count() const { return group_.size(); }
    std::uint32_t group(std::size_t s) const { return group_[s]; }

    void addSubject(std::uint32_t group) {
        group_.push_back(group);
        tail_.push_back(0);
        newRecord(heads_);
    }

    void add(std::size_t s, const LongRating& rating) {
        // The head record, which holds most subjects' ratings, before the
        // subjects' tails, which few need.
        Record* record = &at(heads_, s);
        if (record->used() == kCells && tail_[s] != 0) record = &at(extra_, tail_[s] - 1);
        if (record->used() == kCells) {
            const std::size_t next = newRecord(extra_);
            if (next + 1 > kMostRecords) throw std::length_error("too many ratings");
            record = tail_[s] == 0 ? &at(heads_, s) : &at(extra_, tail_[s] - 1);  // the blocks do not move
            record->header |= static_cast<std::uint32_t>(next + 1) << 3;
            tail_[s] = static_cast<std::uint32_t>(next + 1);
            record = &at(extra_, next);
        }
        Cell& cell = record->cells[record->used()];
        cell.rater = rating.rater;
        cell.id = rating.id;
        const auto line = static_cast<std::uint64_t>(std::min<std::int64_t>(rating.line, kLastLine));
        cell.lineHigh = static_cast<std::uint16_t>(line >> 32);
        cell.lineLow = static_cast<std::uint32_t>(line);
        ++record->header;
    }

    // Subject s's ratings, in the order added.
    void ratings(std::size_t s, std::vector<LongRating>& out) const {
        out.clear();
        for (const Record* record = &at(heads_, s);;) {
            for (std::uint32_t i = 0; i < record->used(); ++i) {
                const Cell& cell = record->cells[i];
                out.push_back({cell.rater, cell.id,
                               static_cast<std::int64_t>((std::uint64_t{cell.lineHigh} << 32) | cell.lineLow)});
            }
            if (record->next() == 0) return;
            record = &at(extra_, record->next() - 1);
        }
    }

private:
    static constexpr std::int64_t kLastLine = (std::int64_t{1} << 48) - 1;
    static constexpr std::uint32_t kCells = 5;
    static constexpr std::size_t kMostRecords = std::size_t{1} << 29;  // what a record's link holds
    static constexpr std::size_t kBlockRecords = std::size_t{1} << 15;  // 2 MiB, a huge page
    struct Cell {
        std::uint32_t rater;
        std::uint16_t id;
        std::uint16_t lineHigh;
        std::uint32_t lineLow;
    };
    struct alignas(64) Record {
        std::uint32_t header;  // cells used (3 bits), then the next record + 1 (0: none)
        Cell cells[kCells];
        std::uint32_t used() const { return header & 7; }
        std::uint32_t next() const { return header >> 3; }
    };
    // Blocks of records in huge pages, where they are looked up at random.
    struct Free {
        void operator()(Record* block) const { detail::releaseLarge(block, kBlockRecords * sizeof(Record)); }
    };
    using Blocks = std::vector<std::unique_ptr<Record[], Free>>;

    static Record& at(const Blocks& blocks, std::size_t i) { return blocks[i / kBlockRecords][i % kBlockRecords]; }
    std::size_t newRecord(Blocks& blocks) {
        std::size_t& count = &blocks == &heads_ ? headCount_ : extraCount_;
        if (count % kBlockRecords == 0)
            blocks.emplace_back(static_cast<Record*>(detail::allocateLarge(kBlockRecords * sizeof(Record))));
        at(blocks, count).header = 0;
        return count++;
    }

    std::vector<std::uint32_t> group_;
    std::vector<std::uint32_t> tail_;  // the last record of each subject: 0 its head, else the extra record + 1
    Blocks heads_, extra_;
    std::size_t headCount_ = 0, extraCount_ = 0;
};

// a < b in natural order: runs of digits compare as the numbers they write
// (the longer run first among equal numbers, "1" before "01"), anything else
// byte by byte; so "item2" comes before "item10".
bool naturalLess(std::string_view a, std::string_view b) {
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (!digit(a[i]) || !digit(b[j])) {
            if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
            ++i, ++j;
            continue;
        }
        const std::size_t i0 = i, j0 = j;
        while (i < a.size() && digit(a[i])) ++i;
        while (j < b.size() && digit(b[j])) ++j;
        std::string_view x = a.substr(i0, i - i0), y = b.substr(j0, j - j0);
        const std::size_t xLength = x.size(), yLength = y.size();
        while (x.size() > 1 && x.front() == '0') x.remove_prefix(1);
        while (y.size() > 1 && y.front() == '0') y.remove_prefix(1);
        if (x.size() != y.size()) return x.size() < y.size();
        if (x != y) return x < y;
        if (xLength != yLength) return xLength < yLength;
    }
    return a.size() - i < b.size() - j;
}

// Whether the subjects of a long file come one after the other in an order:
// by group, then by subject in byte order or in natural order (which sorts
// whole numbers as numbers too).
class SubjectOrder {
public:
    // The next subject: false once the subjects seen are in neither order.
    bool next(std::uint32_t group, std::string_view subject) {
        if (first_) {
            first_ = false;
        } else if (group != group_) {
            bytes_ = bytes_ && group > group_;
            natural_ = natural_ && group > group_;
        } else {
            bytes_ = bytes_ && subject > std::string_view(subject_);
            natural_ = natural_ && naturalLess(subject_, subject);
        }
        group_ = group;
        subject_.assign(subject);
        return bytes_ || natural_;
    }

private:
    bool first_ = true, bytes_ = true, natural_ = true;
    std::uint32_t group_ = 0;
    std::string subject_;
};

std::optional<InputError> readLong(DelimitedReader& reader, const InputOptions& options, FileCounts& file,
                                  InputDescription& input, PatternKey& key, bool streaming,
                                  bool& unsorted) {
    Columns columns;
    if (!firstLine(reader, options.header, columns))
        return noLines(reader, options.header ? "a header line naming the columns" : "one row per rating");
    std::optional<InputError> error;
    std::optional<std::size_t> by, subjectColumn;
    if (!findOptional(columns, options.by, "--by", by, error) ||
        !findOptional(columns, options.id, "--id", subjectColumn, error))
        return error;
    std::size_t S = 0, J = 0, C = 0;  // subject, rater and category columns
    if (!options.columns.empty()) {
        std::size_t* const targets[] = {&S, &J, &C};
        for (std::size_t i = 0; i < 3; ++i) {
            const auto c = columns.find(options.columns[i], "--columns", error);
            if (!c) return error;
            *targets[i] = *c;
        }
        if (subjectColumn && *subjectColumn != S)
            return InputError{columns.line, 0,
                             "--id names column " + columns.name(*subjectColumn) + " but --columns names " +
                                 columns.name(S) + " as the subject column"};
    } else {
        std::vector<std::size_t> free;
        if (subjectColumn) free.push_back(*subjectColumn);
        for (std::size_t c = 0; c < columns.count && free.size() < 3; ++c)
            if (c != by && c != subjectColumn) free.push_back(c);
        if (free.size() < 3)
            return InputError{columns.line, 0,
                             "found " + plural(columns.count, "column") +
                                 ", expected three (subject, rater, category)" +
                                 (by ? std::string(" besides the --by column") : std::string()) +
                                 (columns.count == 1 && !options.delimiter
                                      ? std::string(": the first line has no TAB, comma or semicolon; give the "
                                                    "file's delimiter with --delimiter")
                                      : std::string())};
        S = free[0], J = free[1], C = free[2];
    }
    if (S == J || S == C || J == C || by == S || by == J || by == C)
        return InputError{columns.line, 0, "the subject, rater, category and --by columns must be different columns"};

    StringTable raterIndex, subjectIndex;
    HeldSubjects held;                        // the subjects, when the rows come in any order
    std::vector<LongRating> current, scratch; // the subject being read, when they come in order
    std::string currentName;
    std::uint32_t currentGroup = 0;
    SubjectOrder order;
    std::size_t subjects = 0;
    std::string subjectKey;
    std::uint32_t last = std::numeric_limits<std::uint32_t>::max();  // the subject of the last row
    std::string lastKey;                                             // its key
    bool inOrder = true;                                             // it came just after the one before
    bool severalRatings = false;                                     // some subject has two rows
    file.countByProfile(PatternKey{});
    file.labels().setLimit(kMaxCategories);

    // The refusal of a subject rated twice by one rater.
    const auto twiceRefusal = [&](std::string_view subject, const std::pair<LongRating, LongRating>& twice) {
        return InputError{twice.second.line, static_cast<std::int64_t>(J + 1),
                         "subject " + quote(subject) + " is given a second rating by rater " +
                             quote(raterIndex.key(twice.first.rater)) + " (the first is on line " +
                             std::to_string(twice.first.line) + ")"};
    };
    // The name of held subject s, without its group.
    const auto subjectName = [&](std::size_t s) { return subjectIndex.key(static_cast<std::uint32_t>(s)).substr(by ? 4 : 0); };
    // The first subject rated twice by one rater among those read, if any.
    const auto firstRatedTwice = [&]() -> std::optional<InputError> {
        if (streaming) {
            scratch = current;
            if (const auto twice = ratedTwice(scratch)) return twiceRefusal(currentName, *twice);
            return std::nullopt;
        }
        std::optional<std::pair<LongRating, LongRating>> first;
        std::size_t whose = 0;
        for (std::size_t s = 0; s < held.count(); ++s) {
            held.ratings(s, scratch);
            if (const auto twice = ratedTwice(scratch); twice && (!first || twice->second.line < first->second.line)) {
                first = twice;
                whose = s;
            }
        }
        if (first) return twiceRefusal(subjectName(whose), *first);
        return std::nullopt;
    };
    // A refusal at `line`, unless a subject rated twice comes before it.
    const auto refuse = [&](InputError error) {
        if (auto twice = firstRatedTwice(); twice && (error.line == 0 || twice->line < error.line)) return *twice;
        return error;
    };
    // Counts a subject's ratings, sorted by rater, in its group.
    std::vector<Rating> ratings;
    const auto count = [&](std::uint32_t group, const std::vector<LongRating>& sorted) {
        ratings.clear();
        std::int64_t firstLine = std::numeric_limits<std::int64_t>::max();
        for (const LongRating& r : sorted) {
            firstLine = std::min(firstLine, r.line);
            if (r.id != kMissing) ratings.push_back({r.rater, r.id});
        }
        if (!ratings.empty()) file.add(group, ratings, firstLine);
    };
    // The subject read in order is complete.
    const auto finish = [&]() -> std::optional<InputError> {
        if (current.empty()) return std::nullopt;
        if (const auto twice = ratedTwice(current)) return twiceRefusal(currentName, *twice);
        count(currentGroup, current);
        current.clear();
        return std::nullopt;
    };

    bool row = !options.header;
    while (row || reader.next()) {
        row = false;
        const std::span<const std::string_view> fields = reader.fields();
        if (allEmpty(fields)) continue;
        if (fields.size() != columns.count) return refuse(*checkFieldCount(reader, columns, options.header));
        const std::int64_t line = reader.line();
        if (fields[S].empty())
            return refuse(InputError{line, static_cast<std::int64_t>(S + 1),
                                    "an empty subject: every rating needs the subject it rates"});
        if (fields[J].empty())
            return refuse(InputError{line, static_cast<std::int64_t>(J + 1),
                                    "an empty rater: every rating needs the rater who gave it"});

        const std::optional<std::uint32_t> known = raterIndex.find(fields[J]);
        const std::uint32_t j = known ? *known : raterIndex.intern(fields[J]).first;
        if (!known) {
            input.raters.emplace_back(fields[J]);
            if (raterIndex.size() == static_cast<std::size_t>(kMaxRaters) + 1) file.beyondTable();
        }
        std::uint16_t code;
        const CategoryLabels::Lookup outcome =
            file.labels().lookup(fields[C], code, line, static_cast<std::int64_t>(C + 1));
        if (outcome == CategoryLabels::Lookup::Missing)
            code = kMissing;
        else if (outcome != CategoryLabels::Lookup::Found)
            return refuse(file.fieldError(outcome, fields[C], code, line, C, "subject " + quote(fields[S]),
                                          std::max<std::int32_t>(static_cast<std::int32_t>(raterIndex.size()), 2),
                                          " (is the category column right? --columns SUBJECT,RATER,CATEGORY)"));

        const auto g = file.group(by ? fields[*by] : std::string_view());
        if (!g) return refuse(tooManyGroups(line, *by));
        const auto group = static_cast<std::uint32_t>(*g);
        if (streaming) {
            if (current.empty() || group != currentGroup || fields[S] != currentName) {
                if (!order.next(group, fields[S])) {
                    unsorted = true;  // read again, in any order
                    return std::nullopt;
                }
                if (auto twice = finish()) return twice;
                currentGroup = group;
                currentName.assign(fields[S]);
                ++subjects;
            } else {
                severalRatings = true;
            }
            current.push_back({j, code, line});
            continue;
        }
        std::string_view keyText = fields[S];
        if (by) {  // subjects are told apart within their group
            subjectKey.assign(reinterpret_cast<const char*>(&group), sizeof group);
            subjectKey.append(fields[S]);
            keyText = subjectKey;
        }
        // Files list a subject's ratings together, or each rater's ratings
        // of the subjects in the same order: the subject is looked for first
        // where the last one is and, while the subjects come in order, just
        // after it (in other files that would cost a look far away).
        std::uint32_t s = 0;
        bool newSubject = false;
        if (last < held.count() && keyText == lastKey) {
            s = last;
        } else if (inOrder && last + 1 < held.count() && keyText == subjectIndex.key(last + 1)) {
            s = last + 1;
        } else {
            if (held.count() == std::numeric_limits<std::uint32_t>::max() - 1)
                return refuse(InputError{line, 0, "more than 4294967294 subjects"});
            std::tie(s, newSubject) = subjectIndex.intern(keyText);
            if (newSubject) held.addSubject(group);
        }
        severalRatings = severalRatings || !newSubject;
        if (s != last) {
            inOrder = s == last + 1;
            lastKey.assign(keyText);
        }
        last = s;
        held.add(s, {j, code, line});
    }
    if (reader.error()) return refuse(*reader.error());

    // Each subject's ratings counted, and checked for a rater who rated it twice.
    if (streaming) {
        if (auto twice = finish()) return twice;
    } else {
        subjects = held.count();
        std::optional<std::pair<LongRating, LongRating>> first;
        std::size_t whose = 0;
        for (std::size_t s = 0; s < held.count(); ++s) {
            held.ratings(s, scratch);
            if (const auto twice = ratedTwice(scratch)) {
                if (!first || twice->second.line < first->second.line) first = twice, whose = s;
                continue;
            }
            count(held.group(s), scratch);
        }
        if (first) return twiceRefusal(subjectName(whose), *first);
    }

    // A header whose rater and category are a rater and a label of the rows
    // below is a rating: the file has no header.
    const bool headerNamed = namesAColumn(columns, options.id) || namesAColumn(columns, options.by) ||
                             std::any_of(options.columns.begin(), options.columns.end(),
                                         [&](const std::string& c) { return namesAColumn(columns, c); });
    if (options.header && !options.headerConfirmed && !headerNamed && subjects > 0 &&
        raterIndex.find(columns.names[J]) && file.labels().known(canonicalLabel(columns.names[C])))
        return InputError{columns.line, 0,
                         "the first line (" + listOf({columns.names[S], columns.names[J], columns.names[C]}) +
                             ") looks like a rating, not the columns' names: its rater and category are a rater and "
                             "a label of the rows below. --no-header reads it as the first rating, --header as the "
                             "columns' names"};
    const auto R = static_cast<std::int32_t>(raterIndex.size());
    if (subjects == 0) return InputError{0, 0, "no ratings: the file has a header but no rows"};
    if (R < 2)
        return InputError{0, 0,
                         "found " + plural(static_cast<std::size_t>(R), "rater") + ", expected at least two" +
                             " (is the rater column right? --columns SUBJECT,RATER,CATEGORY)"};
    if (!severalRatings)
        return InputError{0, 0,
                         "no subject has more than one rating: this looks like a file with one row per subject; "
                         "read it with --input ratings, or name the subject column with --columns"};
    key.R = R;
    return std::nullopt;
}

// A decimal number: an optional sign, digits with an optional decimal point,
// an optional exponent.
bool isNumber(std::string_view t) {
    std::size_t i = 0, digits = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++digits;
    if (i < t.size() && t[i] == '.')
        for (++i; i < t.size() && t[i] >= '0' && t[i] <= '9';) ++i, ++digits;
    if (digits == 0) return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
        std::size_t exponent = 0;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++exponent;
        if (exponent == 0) return false;
    }
    return i == t.size();
}

// Subjects a matrix may count in all: 2^53, which doubles count exactly.
constexpr std::int64_t kMaxSubjects = std::int64_t{1} << 53;

// A count of a cross-table: a whole number from 0 to 2^53 (written with
// digits, and perhaps a decimal point followed by zeros).
std::optional<std::int64_t> countOf(std::string_view text) {
    const auto value = text.starts_with('-') ? std::nullopt : wholeNumberLabel(text);
    if (!value || *value > kMaxSubjects) return std::nullopt;
    return value;
}

// Whether a row or column label says that it holds totals.
bool isTotalLabel(std::string_view label) {
    std::string plain = foldedLabel(label);
    while (!plain.empty() && (plain.back() == ':' || plain.back() == '.')) plain.pop_back();
    return plain == "total" || plain == "totals" || plain == "sum" || plain == "sums" || plain == "all" ||
           plain == "grand total" || plain == "overall" || plain == "\xCE\xA3" /* capital sigma */ ||
           plain == "\xCF\x83" /* small sigma */;
}

// A row of a cross-table: its label (or first count), the counts, its line.
struct MatrixRow {
    std::string first;
    std::vector<std::int64_t> counts;
    std::int64_t line = 0;
};

// Counts added up to at most kMaxSubjects + 1, which no count reaches.
std::int64_t addCounts(std::int64_t sum, std::int64_t count) { return std::min(sum + count, kMaxSubjects + 1); }

// The sum of column c over the rows above the last.
std::int64_t sumAbove(const std::vector<MatrixRow>& rows, std::size_t c) {
    std::int64_t sum = 0;
    for (std::size_t r = 0; r + 1 < rows.size(); ++r) sum = addCounts(sum, rows[r].counts[c]);
    return sum;
}

// The sum of a row's counts before its last.
std::int64_t sumBefore(const std::vector<std::int64_t>& counts) {
    std::int64_t sum = 0;
    for (std::size_t c = 0; c + 1 < counts.size(); ++c) sum = addCounts(sum, counts[c]);
    return sum;
}

// The first column of the counts where the last row is not the sum of the
// rows above it, or none when it is.
std::optional<std::size_t> notRowSum(const std::vector<MatrixRow>& rows) {
    for (std::size_t c = 0; c < rows.back().counts.size(); ++c)
        if (sumAbove(rows, c) != rows.back().counts[c]) return c;
    return std::nullopt;
}

// The first row whose last count is not the sum of the others, or none.
std::optional<std::size_t> notColumnSum(const std::vector<MatrixRow>& rows) {
    for (std::size_t r = 0; r < rows.size(); ++r)
        if (sumBefore(rows[r].counts) != rows[r].counts.back()) return r;
    return std::nullopt;
}

// A cross-table typed from a paper often keeps its margins: a last row and a
// last column of totals. A row or column labelled as a total is a margin and
// must hold the sums of the others; in a table without labels, a last row (or
// column) that holds the sums is a margin when the last column (row) does too,
// or when the table is square only without it. Margins are left out, with a note.
std::optional<InputError> dropMargins(std::vector<MatrixRow>& rows, std::vector<std::string>& rowLabels,
                                      std::vector<std::string>& columnLabels, std::size_t labelColumns,
                                      std::int64_t headerLine, std::size_t corner, const CategoryLabels& categories,
                                      InputDescription& input) {
    const std::size_t nR = rows.size(), nC = rows[0].counts.size();
    // A label of --categories is a category, whatever it says.
    const auto total = [&](const std::string& label) {
        return isTotalLabel(label) && !(categories.isExplicit() && categories.known(canonicalLabel(label)));
    };
    const bool rowLabelled = !rowLabels.empty() && nR >= 2 && total(rowLabels.back());
    const bool columnLabelled = !columnLabels.empty() && nC >= 2 && total(columnLabels.back());
    const std::optional<std::size_t> rowMismatch = nR >= 2 ? notRowSum(rows) : std::optional<std::size_t>(0);
    const std::optional<std::size_t> columnMismatch = nC >= 2 ? notColumnSum(rows) : std::optional<std::size_t>(0);
    const bool rowSums = !rowMismatch && nR >= 3 && rows.back().counts.back() > 0;
    const bool columnSums = !columnMismatch && nC >= 3 && rows.back().counts.back() > 0;
    if (columnLabelled && columnMismatch) {
        const std::vector<std::int64_t>& counts = rows[*columnMismatch].counts;
        const std::int64_t sum = sumBefore(counts);
        return InputError{rows[*columnMismatch].line, static_cast<std::int64_t>(labelColumns + nC),
                         "column " + quote(columnLabels.back()) + " (line " + std::to_string(headerLine) +
                         ", column " + std::to_string(corner + nC) +
                         ") is labelled as a total, but it is not the sum of the columns before it: it holds " +
                         std::to_string(counts.back()) + " where they add up to " + std::to_string(sum) +
                         "; correct it, or leave the column out"};
    }
    if (rowLabelled && rowMismatch) {
        const std::int64_t sum = sumAbove(rows, *rowMismatch);
        return InputError{rows.back().line, static_cast<std::int64_t>(labelColumns + *rowMismatch + 1),
                         "row " + quote(rowLabels.back()) + " is labelled as a total, but it is not the sum of the "
                         "rows above: it holds " + std::to_string(rows.back().counts[*rowMismatch]) +
                         " where they add up to " + std::to_string(sum) + "; correct it, or leave the row out"};
    }
    // Without labels, a row (column) of sums is a margin beside a column (row)
    // of sums, or when the table is square only without it.
    const bool dropRow = rowLabelled || (rowLabels.empty() && rowSums && (columnSums || nR == nC + 1));
    const bool dropColumn = columnLabelled || (columnLabels.empty() && columnSums && (rowSums || nC == nR + 1));
    if (!dropRow && !dropColumn) return std::nullopt;
    std::string margins;
    if (dropRow)
        margins = "the last row (" + (rowLabels.empty() ? std::string("line ") + std::to_string(rows.back().line)
                                                        : quote(rowLabels.back())) + ")";
    if (dropColumn)
        margins += (dropRow ? " and " : "") + std::string("the last column") +
                   (columnLabels.empty() ? std::string() : " (" + quote(columnLabels.back()) + ")");
    input.notes.push_back(margins + (dropRow && dropColumn ? " hold" : " holds") +
                          " the sums of the others: read as the table's margins and left out");
    if (dropRow) {
        rows.pop_back();
        if (!rowLabels.empty()) rowLabels.pop_back();
    }
    if (dropColumn) {
        for (MatrixRow& row : rows) row.counts.pop_back();
        if (!columnLabels.empty()) columnLabels.pop_back();
    }
    return std::nullopt;
}

std::optional<InputError> readMatrix(DelimitedReader& reader, const InputOptions& options, FileCounts& file,
                                    InputDescription& input, Study& table) {
    // At most 1024 categories for two raters, with a label column besides.
    const auto largestK = static_cast<std::size_t>(largestCategoryCount(2));
    using Row = MatrixRow;  // the first field (a label or a count), the other fields
    std::vector<std::string> header;
    std::int64_t headerLine = 0;
    std::vector<Row> rows;
    std::size_t width = 0;  // fields of a row
    while (reader.next()) {
        const std::span<const std::string_view> fields = reader.fields();
        if (allEmpty(fields)) continue;
        const std::int64_t line = reader.line();
        if (fields.size() > largestK + 1)
            return InputError{line, 0,
                             "found " + std::to_string(fields.size()) + " fields: a cross-table has at most " +
                                 std::to_string(largestK) + " categories (K^2 at most " + kMaxPatternsText +
                                 ") and a column of labels"};
        if (headerLine == 0 && rows.empty() && options.header &&
            (fields[0].empty() || !std::all_of(fields.begin(), fields.end(), isNumber))) {
            header.assign(fields.begin(), fields.end());
            headerLine = line;
            continue;
        }
        if (rows.empty()) {
            width = fields.size();
        } else if (fields.size() != width) {
            return InputError{line, 0,
                             "expected " + plural(width, "field") + " as on line " + std::to_string(rows[0].line) +
                                 ", found " + std::to_string(fields.size())};
        }
        if (rows.size() == largestK)
            return InputError{line, 0,
                             "more than " + std::to_string(largestK) + " rows: a cross-table has at most " +
                                 std::to_string(largestK) + " categories (K^2 at most " + kMaxPatternsText + ")"};
        Row row{std::string(fields[0]), {}, line};
        for (std::size_t c = 1; c < fields.size(); ++c) {
            const auto count = countOf(fields[c]);
            if (!count) {
                std::string message =
                    "expected a count of subjects (a whole number from 0), found " +
                    (fields[c].empty() ? std::string("an empty field; write 0 for none") : quote(fields[c]));
                if (!fields[c].empty() && !isNumber(fields[c]))
                    message +=
                        ": a cross-table holds counts; a file with one row per subject is read with "
                        "--input ratings, one with a row per rating with --input long";
                return InputError{line, static_cast<std::int64_t>(c + 1), message};
            }
            row.counts.push_back(*count);
        }
        rows.push_back(std::move(row));
    }
    if (reader.error()) return reader.error();
    if (rows.empty())
        return InputError{headerLine, 0,
                         headerLine ? "expected rows of counts after the header"
                                    : "the file is empty: expected a cross-table of counts"};

    // A first column of labels: recognised by an empty corner or by text.
    const bool emptyCorner = headerLine != 0 && header[0].empty();
    bool labelColumn =
        emptyCorner || std::any_of(rows.begin(), rows.end(), [](const Row& r) { return !isNumber(r.first); });
    // A header as wide as the rows whose first cell is text may be a corner
    // above a column of number labels: so it is when that makes the table square.
    if (headerLine != 0 && header.size() == width && !labelColumn && !isNumber(header[0]) && rows.size() + 1 == width)
        labelColumn = true;
    // Header fields before the first column label: the corner above the row labels.
    const std::size_t corner = headerLine != 0 && header.size() == width && labelColumn ? 1 : 0;
    std::vector<std::string> columnLabels;
    if (headerLine != 0) {
        if (header.size() == width) {
            columnLabels.assign(header.begin() + static_cast<std::ptrdiff_t>(corner), header.end());
        } else if (header.size() + 1 == width && labelColumn) {  // a header without the corner cell
            columnLabels = header;
        } else {
            return InputError{rows[0].line, 0,
                             "expected " + plural(header.size(), "field") + " as the header has (line " +
                                 std::to_string(headerLine) + "), found " + std::to_string(width)};
        }
    }
    if (width == (labelColumn ? 1u : 0u)) return InputError{rows[0].line, 0, "a row of labels without counts"};
    if (!labelColumn)
        for (Row& row : rows) {
            const auto count = countOf(row.first);
            if (!count)
                return InputError{row.line, 1,
                                 "expected a count of subjects (a whole number from 0), found " + quote(row.first)};
            row.counts.insert(row.counts.begin(), *count);
        }
    // Labels in the header's order, the rows' order, or both and the same.
    std::vector<std::string> rowLabels;
    if (labelColumn)
        for (const Row& row : rows) rowLabels.push_back(row.first);
    for (std::size_t c = 0; c < columnLabels.size(); ++c)
        if (columnLabels[c].empty())
            return InputError{headerLine, static_cast<std::int64_t>(corner + c + 1), "an empty column label"};
    for (std::size_t r = 0; r < rowLabels.size(); ++r)
        if (rowLabels[r].empty()) return InputError{rows[r].line, 1, "an empty row label"};
    if (auto refusal =
            dropMargins(rows, rowLabels, columnLabels, labelColumn ? 1 : 0, headerLine, corner, file.labels(), input))
        return refusal;

    const std::size_t K = rows[0].counts.size();
    if (rows.size() != K)
        return InputError{rows.back().line, 0,
                         "a cross-table must be square (rater 1's categories in rows, rater 2's in columns), found " +
                             plural(rows.size(), "row") + " of " + plural(K, "count") +
                             (rows.size() > K        ? ": a file with one row per subject is read with --input ratings"
                              : rows.size() + 1 == K ? " (if the first column holds labels, start the file with a "
                                                       "header row of labels whose first cell is empty)"
                                                     : "")};
    if (!rowLabels.empty() && !columnLabels.empty()) {
        for (std::size_t k = 0; k < K; ++k) {
            const std::string row = canonicalLabel(rowLabels[k]), column = canonicalLabel(columnLabels[k]);
            const bool variants = foldedLabel(row) == foldedLabel(column);
            if (row == column || (variants && options.ignoreCase)) continue;
            return InputError{
                rows[k].line, 1,
                "row " + std::to_string(k + 1) + " is labelled " + quote(rowLabels[k]) + " but column " +
                    std::to_string(k + 1) + " " + quote(columnLabels[k]) + " (line " + std::to_string(headerLine) +
                    (variants ? "): they differ only in case or surrounding blanks; --ignore-case reads them as one "
                                "category"
                              : "): row k and column k are both category k, so the labels must be the same in the "
                                "same order")};
        }
    }
    const std::vector<std::string>& labels = rowLabels.empty() ? columnLabels : rowLabels;

    // Category of each row (and column), by the labels' rule or the table's order.
    std::vector<std::uint16_t> ids(K);
    file.labels().setLimit(largestK);
    for (std::size_t k = 0; k < labels.size(); ++k) {
        const bool inRows = !rowLabels.empty();
        const std::int64_t line = inRows ? rows[k].line : headerLine;
        const auto column = static_cast<std::int64_t>(inRows ? 1 : corner + k + 1);
        const CategoryLabels::Lookup outcome = file.labels().lookup(labels[k], ids[k], line, column);
        if (outcome != CategoryLabels::Lookup::Found)
            return file.fieldError(outcome, labels[k], ids[k], line, static_cast<std::size_t>(column - 1), std::string(), 2,
                                   "");
        for (std::size_t earlier = 0; earlier < k; ++earlier)
            if (ids[earlier] == ids[k])
                return InputError{line, column, "the label " + quote(labels[k]) + " is given twice"};
    }
    CategoryLabels::Final categories;
    if (!labels.empty()) {
        // The labels keep the table's order: a cross-table's header is an order.
        categories = file.labels().finish(static_cast<std::int64_t>(largestK), true);
        if (categories.span > static_cast<std::int64_t>(largestK))
            return InputError{0, 0,
                             "the labels are whole numbers spanning " + std::to_string(categories.span) +
                                 " categories (every integer from the smallest label to the largest), at most " +
                                 std::to_string(largestK) + " (K^2 at most " + kMaxPatternsText + ")"};
    } else if (file.labels().isExplicit()) {
        categories = file.labels().finish(static_cast<std::int64_t>(largestK));
        if (categories.labels.size() != K)
            return InputError{0, 0,
                             "--categories gives " + plural(categories.labels.size(), "category") +
                                 " but the cross-table is " + std::to_string(K) + " x " + std::to_string(K) +
                                 " without labels to match them to"};
        for (std::size_t k = 0; k < K; ++k) ids[k] = static_cast<std::uint16_t>(k);
    } else {
        for (std::size_t k = 0; k < K; ++k) {
            categories.labels.push_back(std::to_string(k + 1));
            categories.code.push_back(static_cast<std::uint16_t>(k));
            ids[k] = static_cast<std::uint16_t>(k);
        }
        categories.ordered = true;
    }

    table.R = 2;
    table.K = static_cast<std::int32_t>(categories.labels.size());
    table.labels = categories.labels;
    table.frequency.assign(patternCount(table.K, 2), 0);
    std::int64_t subjects = 0;
    for (std::size_t r = 0; r < K; ++r)
        for (std::size_t c = 0; c < K; ++c) {
            const std::int64_t count = rows[r].counts[c];
            if (count > kMaxSubjects - subjects)
                return InputError{rows[r].line, static_cast<std::int64_t>(c + 1 + (labelColumn ? 1 : 0)),
                                 "the counts add up to more than 2^53 subjects"};
            subjects += count;
            const std::size_t p =
                static_cast<std::size_t>(categories.code[ids[r]]) * static_cast<std::size_t>(table.K) +
                categories.code[ids[c]];
            table.frequency[p] += count;
        }
    if (subjects == 0) return InputError{0, 0, "every count is 0: the cross-table has no subjects"};
    input.labels = categories.labels;
    input.ordered = categories.ordered;
    input.raters = {"rater 1 (rows)", "rater 2 (columns)"};
    return std::nullopt;
}

// A file of counts: one row per subject, one column per category holding how
// many of the subject's ratings fall in it (the table of statsmodels'
// aggregate_raters, or of a paper), perhaps an --id column, perhaps a header
// of labels in their order. Subjects are counted by profile as they are read.
std::optional<InputError> readCounts(DelimitedReader& reader, const InputOptions& options, FileCounts& file,
                                    InputDescription& input, Study& study) {
    if (!reader.next()) return noLines(reader, "one row of counts per subject");
    Columns columns;
    columns.count = reader.fields().size();
    columns.line = reader.line();
    // The first line names the categories unless it holds counts only.
    const bool header = options.headerConfirmed ||
                        (options.header && !std::all_of(reader.fields().begin(), reader.fields().end(),
                                                        [](std::string_view f) { return countOf(f).has_value(); }));
    if (header)
        for (const std::string_view name : reader.fields()) columns.names.emplace_back(name);
    std::optional<InputError> error;
    std::optional<std::size_t> id;
    if (!findOptional(columns, options.id, "--id", id, error)) return error;
    std::vector<std::size_t> categoryColumns;
    for (std::size_t c = 0; c < columns.count; ++c)
        if (c != id) categoryColumns.push_back(c);
    if (categoryColumns.size() < 2)
        return InputError{columns.line, 0,
                         "found " + plural(categoryColumns.size(), "column") +
                             " of counts, expected one per category, at least two" +
                             (columns.count == 1 && !options.delimiter
                                  ? std::string(": the first line has no TAB, comma or semicolon; give the file's "
                                                "delimiter with --delimiter")
                                  : std::string())};

    // The category of each column: by the header's labels (in their order,
    // unless --categories gives one), or the columns in order.
    std::vector<std::uint16_t> ids(categoryColumns.size());
    CategoryLabels::Final categories;
    if (header) {
        file.labels().setLimit(kMaxCategories);
        for (std::size_t i = 0; i < categoryColumns.size(); ++i) {
            const std::size_t c = categoryColumns[i];
            const auto column = static_cast<std::int64_t>(c + 1);
            const CategoryLabels::Lookup outcome = file.labels().lookup(columns.names[c], ids[i], columns.line, column);
            if (outcome != CategoryLabels::Lookup::Found)
                return file.fieldError(outcome, columns.names[c], ids[i], columns.line, c, std::string(), 0, "");
            for (std::size_t earlier = 0; earlier < i; ++earlier)
                if (ids[earlier] == ids[i])
                    return InputError{columns.line, column, "the label " + quote(columns.names[c]) + " is given twice"};
        }
        categories = file.labels().finish(kMaxCategories, true);
        if (categories.span > kMaxCategories)
            return InputError{columns.line, 0,
                             "the labels are whole numbers spanning " + std::to_string(categories.span) +
                                 " categories (every integer from the smallest label to the largest), at most " +
                                 std::to_string(kMaxCategories)};
    } else if (file.labels().isExplicit()) {
        categories = file.labels().finish(kMaxCategories);
        if (categories.labels.size() != categoryColumns.size())
            return InputError{columns.line, 0,
                             "--categories gives " + plural(categories.labels.size(), "category") +
                                 " but the rows have " + plural(categoryColumns.size(), "column") +
                                 " of counts, without a header of labels to match them to"};
        std::iota(ids.begin(), ids.end(), std::uint16_t{0});
    } else {
        for (std::size_t i = 0; i < categoryColumns.size(); ++i) {
            categories.labels.push_back(std::to_string(i + 1));
            categories.code.push_back(static_cast<std::uint16_t>(i));
            ids[i] = static_cast<std::uint16_t>(i);
        }
        categories.ordered = true;
    }
    // The final category of each column.
    std::vector<std::uint16_t> code(ids.size());
    for (std::size_t i = 0; i < ids.size(); ++i) code[i] = categories.code[ids[i]];

    ProfileCounter counter(false, true);
    std::vector<CategoryCount> profile;
    bool any = false, row = !header;
    while (row || reader.next()) {
        row = false;
        const std::span<const std::string_view> fields = reader.fields();
        if (allEmpty(fields)) continue;
        if (auto refusal = checkFieldCount(reader, columns, header)) return refusal;
        profile.clear();
        for (std::size_t i = 0; i < categoryColumns.size(); ++i) {
            const std::size_t c = categoryColumns[i];
            const auto count = countOf(fields[c]);
            if (!count || *count > UINT32_MAX)
                return InputError{reader.line(), static_cast<std::int64_t>(c + 1),
                                 "expected how many ratings of the subject fall in category " +
                                     quote(categories.labels[code[i]]) + " (a whole number from 0), found " +
                                     (fields[c].empty() ? std::string("an empty field; write 0 for none")
                                                        : quote(fields[c])) +
                                     (fields[c].empty() || isNumber(fields[c])
                                          ? std::string()
                                          : std::string(": a file of counts holds numbers; a file with one row per "
                                                        "subject and one column per rater is read with --input "
                                                        "ratings"))};
            if (*count > 0) profile.push_back({static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(*count)});
        }
        if (profile.empty()) continue;  // no rating: not a subject
        counter.add(1, profile);
        any = true;
    }
    if (reader.error()) return reader.error();
    if (!any)
        return InputError{0, 0, header ? "expected rows of counts after the header" : "every count is 0: no subject"};
    study.R = 0;
    study.K = static_cast<std::int32_t>(categories.labels.size());
    study.labels = categories.labels;
    counter.build(study, code, false);
    input.labels = categories.labels;
    input.ordered = categories.ordered;
    return std::nullopt;
}

}  // namespace

std::optional<std::string> checkInputOptions(const InputOptions& options) {
    if (options.delimiter && !isDelimiter(*options.delimiter))
        return "--delimiter must be TAB ('\\t'), ',', ';', '|' or ' ' (runs of blanks)";
    if (options.format == InputFormat::Matrix &&
        (!options.columns.empty() || !options.id.empty() || !options.by.empty()))
        return "--columns, --id and --by are for ratings and long files, not for a matrix";
    if (options.format == InputFormat::Long && !options.columns.empty() && options.columns.size() != 3)
        return "--columns of a long file names three columns, subject, rater and category; found " +
               std::to_string(options.columns.size());
    for (const std::string& wanted : options.columns)
        if (wanted.empty()) return std::string("--columns has an empty item");
    const auto largestK = static_cast<std::size_t>(largestCategoryCount(2));
    if (options.categories.size() == 1)
        if (const auto N = wholeNumberLabel(options.categories[0]); N && *N > static_cast<std::int64_t>(largestK))
            return "--categories gives " + std::to_string(*N) + " categories, at most " + std::to_string(largestK) +
                   " (K^R at most " + kMaxPatternsText + " with R at least 2)";
    const std::vector<std::string> labels = expandCategories(options.categories);
    if (!options.categories.empty()) {
        if (options.categories.size() == 1 && labels.size() == 1)
            return "--categories needs at least two categories: a number N of at least 2, or a list of labels";
        if (labels.size() > largestK)
            return "--categories gives " + std::to_string(labels.size()) + " categories, at most " +
                   std::to_string(largestK) + " (K^R at most " + kMaxPatternsText + " with R at least 2)";
        for (std::size_t k = 0; k < labels.size(); ++k) {
            if (labels[k].empty()) return std::string("--categories has an empty label");
            const std::string label = canonicalLabel(labels[k]);
            for (std::size_t earlier = 0; earlier < k; ++earlier)
                if (canonicalLabel(labels[earlier]) == label)
                    return "--categories gives the category " + quote(labels[k]) + " twice";
            for (const std::string& token : options.missing)
                if (canonicalLabel(token) == label)
                    return "--categories gives " + quote(labels[k]) +
                           ", which is also a missing token: give --missing without it";
        }
    }
    return std::nullopt;
}

namespace {

std::optional<InputError> readAll(ByteSource& source, const InputOptions& options, InputDescription& input,
                                 const std::function<void(StudyGroup&&)>& take, std::size_t chunk,
                                 const ReadAgain& again) {
    if (options.format == InputFormat::Table) return InputError{0, 0, "a table of response patterns is not read here"};
    if (const auto usage = checkInputOptions(options)) return InputError{0, 0, *usage};
    std::optional<DelimitedReader> reading(std::in_place, source, options.delimiter, chunk);
    DelimitedReader* reader = &*reading;
    const auto makeFile = [&] {
        const bool ratings = options.format == InputFormat::Ratings || options.format == InputFormat::Long;
        return FileCounts(expandCategories(options.categories), ratings ? options.missing : std::vector<std::string>{},
                          options.ignoreCase, ratings, options.keepRaters, options.format != InputFormat::Long);
    };
    FileCounts file = makeFile();
    if (options.format == InputFormat::Counts) {
        Study study;
        if (auto error = readCounts(*reader, options, file, input, study)) return error;
        input.delimiter = reader->delimiter();
        take(StudyGroup{std::string(), std::move(study), {}});
        return std::nullopt;
    }
    if (options.format == InputFormat::Matrix) {
        Study table;
        if (auto error = readMatrix(*reader, options, file, input, table)) return error;
        input.delimiter = reader->delimiter();
        table.raterNames = input.raters;
        take(StudyGroup{std::string(), std::move(table), {}});
        return std::nullopt;
    }
    PatternKey key;
    if (options.format == InputFormat::Ratings) {
        if (auto error = readRatings(*reader, options, file, input, key)) return error;
    } else {
        // A file that can be read again is first read as sorted by subject,
        // each subject counted as soon as the next begins; if it is not, it
        // is read again, holding every subject until the end.
        bool unsorted = false;
        if (auto error = readLong(*reader, options, file, input, key, static_cast<bool>(again), unsorted))
            return error;
        if (unsorted) {
            ByteSource* const fresh = again();
            if (!fresh) return InputError{0, 0, "cannot read the file a second time"};
            input = InputDescription{};
            file = makeFile();
            reading.emplace(*fresh, options.delimiter, chunk);
            if (auto error = readLong(*reader, options, file, input, key, false, unsorted)) return error;
        }
    }
    input.delimiter = reader->delimiter();

    const CategoryLabels::Final categories = file.labels().finish(kMaxCategories);
    if (categories.span == 0 || !file.anySubject())
        return InputError{
            0, 0,
            "no ratings: every rater's field is empty or a missing token (--missing " + listOf(options.missing) + ")"};
    if (categories.span > kMaxCategories)
        return InputError{0, 0,
                         "the labels are whole numbers spanning " + std::to_string(categories.span) +
                             " categories (every integer from the smallest label to the largest), at most " +
                             std::to_string(kMaxCategories) +
                             "; give the labels with --categories if they are not a scale"};
    input.labels = categories.labels;
    input.ordered = categories.ordered;
    for (std::size_t g = 0; g < file.groups().size(); ++g) take(file.build(g, key, key.R, categories, input.raters));
    return std::nullopt;
}

}  // namespace

std::optional<InputError> readStudies(ByteSource& source, const InputOptions& options, InputDescription& input,
                                     const std::function<void(StudyGroup&&)>& take, std::size_t chunk,
                                     const ReadAgain& again) {
    input = InputDescription{};
    try {
        return readAll(source, options, input, take, chunk, again);
    } catch (const std::bad_alloc&) {
        return InputError{0, 0, "not enough memory to read the file"};
    } catch (const std::length_error&) {
        return InputError{0, 0, "not enough memory to read the file"};
    }
}

StudiesRead readStudies(ByteSource& source, const InputOptions& options) {
    StudiesRead read;
    read.error =
        readStudies(source, options, read.input, [&](StudyGroup&& group) { read.groups.push_back(std::move(group)); });
    if (read.error) read.groups.clear();
    return read;
}

}  // namespace kappa
