#include "library/rating_codes.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <numeric>
#include <type_traits>
#include <vector>

#include "format/numbers.h"
#include "input/column_roles.h"
#include "input/columns.h"
#include "input/file_counts.h"
#include "input/printable.h"
#include "input/study_builder.h"

namespace kappa {

namespace {

// Rows of digits counted in a table indexed by them, at most.
constexpr std::uint64_t kDenseRows = std::uint64_t{1} << 20;

// The whole numbers' range is first taken from this many subjects, and from
// all of them only if a later one falls outside it.
constexpr std::int64_t kRangeSubjects = 4096;

// Subject i is where its row would be in a file with a header line.
std::int64_t lineOf(std::int64_t subject) { return subject + 2; }

// The codes beyond a table of response patterns, or read only with a note.
InputError readAsFile(std::int64_t line, std::int64_t column, const std::string& why) {
    return InputError{line, column, why + ": such ratings are read from their bytes as a ratings file"};
}

// The largest magnitude of a whole number held as a double that is read as
// one: 2^53, beyond which doubles skip integers.
constexpr double kExactWhole = 9007199254740992.0;

// A rating as the codes hold it: a code (with labels, a place in them), a
// missing rating, or a double that is no whole number.
struct Code {
    enum class Kind { Code, Missing, NotWhole } kind = Kind::Code;
    std::int64_t value = 0;
};

Code codeOf(std::int64_t code, bool numbers) {
    return !numbers && code < 0 ? Code{Code::Kind::Missing, 0} : Code{Code::Kind::Code, code};
}

Code codeOf(double number, bool) {
    if (std::isnan(number)) return Code{Code::Kind::Missing, 0};
    if (!(std::abs(number) <= kExactWhole) || std::floor(number) != number) return Code{Code::Kind::NotWhole, 0};
    return Code{Code::Kind::Code, static_cast<std::int64_t>(number)};
}

// The codes as indexes: a code's place in the labels (the whole numbers'
// from the smallest) plus one, 0 for a missing code.
struct Places {
    bool numbers = false;
    std::int64_t origin = -1;  // the code of index 0
    std::size_t count = 0;     // places

    // From 1 to count for a code that has a place, 0 for -1 with labels;
    // anything else for a missing code (a negative one, with labels) or one
    // outside the places.
    std::uint64_t indexOf(std::int64_t code) const {
        return static_cast<std::uint64_t>(code) - static_cast<std::uint64_t>(origin);
    }
};

// The places of whole-number codes (int64 or double): the range of the
// first `subjects` subjects, or none when one is not a whole number.
template <typename Number>
std::optional<Places> wholeNumbers(const Number* numbers, const RatingCodes& ratings, std::int32_t R,
                                   std::int64_t subjects) {
    std::int64_t smallest = std::numeric_limits<std::int64_t>::max();
    std::int64_t largest = std::numeric_limits<std::int64_t>::min();
    bool whole = true;
    const auto take = [&](Number number) {
        const Code code = codeOf(number, true);
        whole = whole && code.kind != Code::Kind::NotWhole;
        if (code.kind != Code::Kind::Code) return;
        smallest = std::min(smallest, code.value);
        largest = std::max(largest, code.value);
    };
    if (ratings.raterStride == 1 && ratings.subjectStride == R) {  // one block, as a C array holds it
        for (std::int64_t k = 0; k < subjects * R; ++k) take(numbers[k]);
    } else {
        for (std::int64_t i = 0; i < subjects; ++i)
            for (std::int32_t j = 0; j < R; ++j) take(numbers[i * ratings.subjectStride + j * ratings.raterStride]);
    }
    if (!whole) return std::nullopt;
    if (smallest > largest) smallest = largest = 0;  // every rating missing
    // At most kMaxCategories + 1 places: more are refused.
    const std::uint64_t distance = static_cast<std::uint64_t>(largest) - static_cast<std::uint64_t>(smallest);
    return Places{true, smallest - 1, static_cast<std::size_t>(std::min<std::uint64_t>(distance, kMaxCategories) + 1)};
}

// Where the first number that is not whole is.
template <typename Number>
InputError notWhole(const Number* numbers, const RatingCodes& ratings, std::int32_t R) {
    for (std::int64_t i = 0; i < ratings.subjects; ++i)
        for (std::int32_t j = 0; j < R; ++j) {
            const Number number = numbers[i * ratings.subjectStride + j * ratings.raterStride];
            if (codeOf(number, true).kind == Code::Kind::NotWhole)
                return readAsFile(lineOf(i), j + 1,
                                  "a number that is not whole (" + format::shortest(static_cast<double>(number)) + ")");
        }
    return InputError{0, 0, "every number is whole"};
}

// The index of a rating in the loop over every rating: index <= count for a
// plain whole number or code, anything larger for the rest.
inline std::uint64_t quickIndex(std::int64_t code, std::uint64_t origin) {
    return static_cast<std::uint64_t>(code) - origin;
}
inline std::uint64_t quickIndex(double number, std::uint64_t origin) {
    // Without branches where the compiler can: NaN, a missing rating, comes at random.
    const bool plain = number >= -kExactWhole && number <= kExactWhole;  // not NaN
    const auto whole = static_cast<std::int64_t>(plain ? number : 0.0);
    return plain && static_cast<double>(whole) == number ? static_cast<std::uint64_t>(whole) - origin : UINT64_MAX;
}

// The study of the codes whose places are `places`, or the refusal; or
// `outside` (and nothing else) when a whole number falls outside them.
template <typename Number>
std::optional<InputError> readWithin(const Number* numbers, const RatingCodes& ratings, const InputOptions& options,
                                     const Places& places, InputDescription& input, StudyGroup& group, bool& outside) {
    const auto R = static_cast<std::int32_t>(ratings.raters.size());
    if (places.numbers && places.count > kMaxCategories)
        return readAsFile(0, 0, "whole numbers spanning more than " + std::to_string(kMaxCategories) + " integers");
    const auto code = [&](std::int64_t i, std::int32_t j) {
        return codeOf(numbers[i * ratings.subjectStride + j * ratings.raterStride], places.numbers);
    };
    // Where a rating cannot be read: a code outside the labels, or a number
    // outside the whole numbers' places or not whole (then `outside`).
    const auto beyond = [&](std::int64_t i, std::int32_t j) -> std::optional<InputError> {
        if (places.numbers) {
            outside = true;
            return InputError{};
        }
        return InputError{lineOf(i), j + 1,
                          "code " + std::to_string(code(i, j).value) + " has no label (there are " +
                              std::to_string(places.count) + ")"};
    };
    // The index of subject i's rating by rater j: 0 when missing, none when it cannot be read.
    const auto indexAt = [&](std::int64_t i, std::int32_t j) -> std::optional<std::size_t> {
        const Code c = code(i, j);
        if (c.kind == Code::Kind::Missing) return 0;
        const std::uint64_t index = places.indexOf(c.value);
        if (c.kind == Code::Kind::Code && index >= 1 && index <= places.count) return static_cast<std::size_t>(index);
        return std::nullopt;
    };
    // The label of each place, made when first needed.
    std::vector<std::string> texts(places.count);
    std::vector<bool> made(places.count, false);
    const auto labelOf = [&](std::size_t index) -> const std::string& {
        const std::size_t place = index - 1;
        if (!made[place]) {
            texts[place] = places.numbers ? std::to_string(places.origin + static_cast<std::int64_t>(index))
                                          : ratings.labels[place];
            made[place] = true;
        }
        return texts[place];
    };

    CategoryLabels labels(expandCategories(options.categories), options.missing, options.ignoreCase);
    const std::int32_t largestK = largestCategoryCount(R);
    if (labels.found() > static_cast<std::size_t>(largestK))
        return readAsFile(0, 0, "more categories than a table of response patterns of " + std::to_string(R) +
                                    " raters holds");
    labels.setLimit(static_cast<std::size_t>(largestK));

    // The columns judged on the first rows, as the reader judges a file's
    // columns named by --columns.
    {
        RowSample sample;
        std::vector<std::string_view> fields(ratings.raters.size());
        for (std::int64_t i = 0; i < ratings.subjects; ++i) {
            for (std::int32_t j = 0; j < R; ++j) {
                const auto index = indexAt(i, j);
                if (!index) return beyond(i, j);
                fields[static_cast<std::size_t>(j)] = *index == 0 ? std::string_view() : labelOf(*index);
            }
            if (!sample.add(fields, lineOf(i))) break;
        }
        const auto isMissing = [&](std::string_view text) { return labels.meansNotRated(text); };
        std::vector<std::size_t> columns(ratings.raters.size());
        std::iota(columns.begin(), columns.end(), std::size_t{0});
        const std::vector<ColumnJudgement> judged = judgeColumns(sample, columns, ratings.raters, isMissing);
        if (!judged.empty())
            return readAsFile(0, static_cast<std::int64_t>(judged[0].profile.column + 1),
                              "column " + quote(ratings.raters[judged[0].profile.column]) +
                                  " does not look like a rater's ratings");
    }

    // Each subject's ratings as digits in base places + 1: a rating's index,
    // or 0 when it is missing. Each label is looked up where it first
    // appears, row by row, as the reader meets it; then its digit is known.
    constexpr std::uint32_t kUnseen = UINT32_MAX;
    std::vector<std::uint32_t> digitOf(places.count + 1, kUnseen);  // by index
    digitOf[0] = 0;
    std::vector<std::uint16_t> idOf(places.count + 1, kMissing);  // the provisional id of each digit
    // The digit of subject i's rating by rater j, its label looked up when first seen.
    const auto digitAt = [&](std::int64_t i, std::int32_t j, std::uint32_t& digit) -> std::optional<InputError> {
        const auto index = indexAt(i, j);
        if (!index) return beyond(i, j);
        if (digitOf[*index] == kUnseen) {
            const std::string& text = labelOf(*index);
            std::uint16_t id = kMissing;
            const auto outcome = labels.lookup(text, id, lineOf(i), j + 1);
            if (outcome == CategoryLabels::Lookup::TooMany)
                return readAsFile(lineOf(i), j + 1,
                                  "more labels than a table of response patterns of " + std::to_string(R) +
                                      " raters holds");
            if (outcome != CategoryLabels::Lookup::Found && outcome != CategoryLabels::Lookup::Missing)
                return InputError{lineOf(i), j + 1, labels.refusal(outcome, text, id, R, true)};
            digitOf[*index] = id == kMissing ? 0 : static_cast<std::uint32_t>(*index);
            idOf[digitOf[*index]] = id;
        }
        digit = digitOf[*index];
        return std::nullopt;
    };

    // The subjects by response pattern, of provisional ids.
    const PatternKey key = PatternKey::forRaters(R, std::max(largestK, 1));
    std::vector<bool> rated(ratings.raters.size(), false);
    PatternCounts counts;
    std::array<std::uint32_t, kMaxRaters> digits{};
    const auto count = [&](std::int64_t subjects, std::int64_t line) {
        std::uint64_t pattern = 0;
        bool any = false;
        for (std::int32_t j = 0; j < R; ++j) {
            const std::uint32_t digit = digits[static_cast<std::size_t>(j)];
            if (digit != 0) any = rated[static_cast<std::size_t>(j)] = true;
            pattern = key.append(pattern, idOf[digit]);
        }
        if (any) counts.add(pattern, line, subjects);
    };
    // Few rows of digits (few labels, few raters) are counted in a table
    // indexed by them, and their patterns counted once each, in order of
    // their first subject.
    const std::uint64_t base = places.count + 1;
    std::uint64_t rows = 1;
    for (std::int32_t j = 0; j < R && rows <= kDenseRows; ++j) rows *= base;
    if (rows <= kDenseRows && rows <= static_cast<std::uint64_t>(ratings.subjects)) {
        // What rater j's rating of each index adds to its subject's row
        // (digit x base^(R - 1 - j)); `rows` until its label is looked up.
        // Index 0 is the code -1, a missing rating, with labels.
        std::vector<std::uint64_t> adds(static_cast<std::size_t>(R) * base, rows);
        if (!places.numbers)
            for (std::int32_t j = 0; j < R; ++j) adds[static_cast<std::size_t>(j) * base] = 0;
        const auto learn = [&](std::int32_t j, std::size_t index, std::uint32_t digit) {
            std::uint64_t power = 1;
            for (std::int32_t k = j + 1; k < R; ++k) power *= base;
            adds[static_cast<std::size_t>(j) * base + index] = digit * power;
        };
        std::vector<std::int64_t> subjects(rows, 0), first(rows, 0);
        // The loop over every rating, with what it uses in registers.
        const std::uint64_t* const add = adds.data();
        std::int64_t* const counted = subjects.data();
        const std::uint64_t origin = static_cast<std::uint64_t>(places.origin), last = places.count;
        const std::int64_t step = ratings.subjectStride, across = ratings.raterStride;
        const Number* subject = numbers;
        for (std::int64_t i = 0; i < ratings.subjects; ++i, subject += step) {
            std::uint64_t row = 0;
            for (std::int32_t j = 0; j < R; ++j) {
                const Number number = subject[j * across];
                const std::uint64_t index = quickIndex(number, origin);
                std::uint64_t share = index <= last ? add[static_cast<std::size_t>(j) * base + index] : rows;
                if constexpr (std::is_floating_point_v<Number>) share = std::isnan(number) ? 0 : share;  // missing
                row += share;
            }
            if (row >= rows) [[unlikely]] {  // a label not yet looked up, a missing code or one outside
                row = 0;
                for (std::int32_t j = 0; j < R; ++j) {
                    std::uint32_t digit = 0;
                    if (auto refusal = digitAt(i, j, digit)) return refusal;
                    const auto index = indexAt(i, j);
                    if (*index != 0) learn(j, *index, digit);
                    row = row * base + digit;
                }
            }
            if (counted[row]++ == 0) first[row] = lineOf(i);
        }
        std::vector<std::uint64_t> seen;
        for (std::uint64_t row = 0; row < rows; ++row)
            if (subjects[row] > 0) seen.push_back(row);
        std::sort(seen.begin(), seen.end(), [&](std::uint64_t a, std::uint64_t b) { return first[a] < first[b]; });
        for (const std::uint64_t row : seen) {
            std::uint64_t rest = row;
            for (std::int32_t j = R; j-- > 0;) {
                digits[static_cast<std::size_t>(j)] = static_cast<std::uint32_t>(rest % base);
                rest /= base;
            }
            count(subjects[row], first[row]);
        }
    } else {
        for (std::int64_t i = 0; i < ratings.subjects; ++i) {
            for (std::int32_t j = 0; j < R; ++j)
                if (auto refusal = digitAt(i, j, digits[static_cast<std::size_t>(j)])) return refusal;
            count(1, lineOf(i));
        }
    }

    const CategoryLabels::Final categories = labels.finish(kMaxCategories);
    if (auto refusal = refuseCategoriesFound(categories, counts.size() > 0, options)) return refusal;
    if (const auto idle = std::find(rated.begin(), rated.end(), false); idle != rated.end())
        return readAsFile(0, idle - rated.begin() + 1,
                          "rater " + quote(ratings.raters[static_cast<std::size_t>(idle - rated.begin())]) +
                              " gave no rating");
    if (static_cast<double>(patternCount(static_cast<std::int32_t>(categories.labels.size()), R)) > kMaxPatterns)
        return readAsFile(0, 0, "K^R beyond " + std::string(kMaxPatternsText) + " response patterns");

    input.labels = categories.labels;
    input.ordered = categories.ordered;
    input.raters.assign(ratings.raters.begin(), ratings.raters.end());
    group = StudyGroup{std::string(), counts.build(key, categories), {}};
    group.study.raterNames = input.raters;
    return std::nullopt;
}

}  // namespace

std::optional<InputError> readRatingCodes(const RatingCodes& ratings, const InputOptions& options,
                                          InputDescription& input, StudyGroup& group) {
    input = InputDescription{};
    input.delimiter = ',';
    const auto R = static_cast<std::int32_t>(ratings.raters.size());
    if (R < 2) return InputError{0, 0, "found " + std::to_string(R) + " raters' columns, expected at least two"};
    if (R > kMaxRaters) return readAsFile(0, 0, "more than " + std::to_string(kMaxRaters) + " raters");
    if (ratings.subjects <= 0) return InputError{0, 0, "no subjects: the codes have no rows"};
    if (!ratings.codes && !ratings.numbers) return InputError{0, 0, "no codes"};
    const auto read = [&](const auto* numbers) -> std::optional<InputError> {
        // Codes are places in the labels, or whole numbers, whose range is
        // first taken from the first subjects.
        const bool whole = ratings.numbers || ratings.labels.empty();
        std::optional<Places> places =
            whole ? wholeNumbers(numbers, ratings, R, std::min(ratings.subjects, kRangeSubjects))
                  : Places{false, -1, ratings.labels.size()};
        bool outside = !places;
        std::optional<InputError> refusal;
        if (places) refusal = readWithin(numbers, ratings, options, *places, input, group, outside);
        if (outside) {
            places = wholeNumbers(numbers, ratings, R, ratings.subjects);
            if (!places) return notWhole(numbers, ratings, R);
            outside = false;
            refusal = readWithin(numbers, ratings, options, *places, input, group, outside);
        }
        return refusal;
    };
    const std::optional<InputError> refusal = ratings.numbers ? read(ratings.numbers) : read(ratings.codes);
    return refusal;
}

}  // namespace kappa
