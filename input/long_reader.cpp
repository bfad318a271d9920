// The long layout: one row per rating, its subject, rater and category, and
// perhaps a --by column of groups. A file sorted by subject is counted one
// subject at a time; one in any other order keeps each subject's ratings
// until its end, and is read a second time when it is found not sorted.
#include <algorithm>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "input/columns.h"
#include "input/file_counts.h"
#include "input/layouts.h"
#include "input/printable.h"

namespace kappa {

namespace {

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
                                 delimiterHint(columns, options)};
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
    const bool headerNamed = optionsNameAColumn(columns, options);
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

}  // namespace

std::optional<InputError> readLongStudies(ByteSource& source, const InputOptions& options, InputDescription& input,
                                          const TakeGroup& take, std::size_t chunk, const ReadAgain& again) {
    return readChecked(options, [&]() -> std::optional<InputError> {
        std::optional<DelimitedReader> reader(std::in_place, source, options.delimiter, chunk);
        FileCounts file = fileCountsFor(options);
        PatternKey key;
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
            file = fileCountsFor(options);
            reader.emplace(*fresh, options.delimiter, chunk);
            if (auto error = readLong(*reader, options, file, input, key, false, unsorted)) return error;
        }
        input.delimiter = reader->delimiter();
        return takeGroups(file, key, options, input, take);
    });
}

}  // namespace kappa
