#include "library/rating_codes.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>
#include <numeric>
#include <vector>

#include "input/column_roles.h"
#include "input/printable.h"
#include "input/study_builder.h"

namespace kappa {

namespace {

// Rows of digits counted in a table indexed by them, at most.
constexpr std::uint64_t kDenseRows = std::uint64_t{1} << 20;

// Calls visit(code) for every code, in the order they are in memory.
template <typename Visit>
void forEachCode(const RatingCodes& ratings, std::int32_t R, Visit&& visit) {
    const bool bySubject = std::abs(ratings.raterStride) < std::abs(ratings.subjectStride);
    const std::int64_t outer = bySubject ? ratings.subjects : R, inner = bySubject ? R : ratings.subjects;
    const std::int64_t outerStride = bySubject ? ratings.subjectStride : ratings.raterStride;
    const std::int64_t innerStride = bySubject ? ratings.raterStride : ratings.subjectStride;
    for (std::int64_t o = 0; o < outer; ++o) {
        const std::int64_t* line = ratings.codes + o * outerStride;
        for (std::int64_t k = 0; k < inner; ++k) visit(line[k * innerStride]);
    }
}

// Subject i is where its row would be in a file with a header line.
std::int64_t lineOf(std::int64_t subject) { return subject + 2; }

// The codes beyond a table of response patterns, or read only with a note.
InputError readAsFile(std::int64_t line, std::int64_t column, const std::string& why) {
    return InputError{line, column, why + ": such ratings are read from their bytes as a ratings file"};
}

}  // namespace

std::optional<InputError> readRatingCodes(const RatingCodes& ratings, const InputOptions& options,
                                          InputDescription& input, StudyGroup& group) {
    input = InputDescription{};
    input.delimiter = ',';
    const auto R = static_cast<std::int32_t>(ratings.raters.size());
    if (R < 2) return InputError{0, 0, "found " + std::to_string(R) + " raters' columns, expected at least two"};
    if (R > kMaxRaters) return readAsFile(0, 0, "more than " + std::to_string(kMaxRaters) + " raters");
    const auto cell = [&](std::int64_t i, std::int32_t j) {
        return ratings.codes[i * ratings.subjectStride + j * ratings.raterStride];
    };

    // Codes are places in the labels, or whole numbers from `smallest` on.
    const bool numbers = ratings.labels.empty();
    std::int64_t smallest = 0;
    std::size_t places = ratings.labels.size();
    if (numbers && ratings.subjects > 0) {
        std::int64_t low = std::numeric_limits<std::int64_t>::max();
        std::int64_t largest = std::numeric_limits<std::int64_t>::min();
        forEachCode(ratings, R, [&](std::int64_t code) {
            low = std::min(low, code);
            largest = std::max(largest, code);
        });
        smallest = low;
        const std::uint64_t distance = static_cast<std::uint64_t>(largest) - static_cast<std::uint64_t>(smallest);
        if (distance >= kMaxCategories)
            return readAsFile(0, 0, "whole numbers spanning more than " + std::to_string(kMaxCategories) + " integers");
        places = static_cast<std::size_t>(distance + 1);
    } else {
        bool labelled = true;
        const auto count = static_cast<std::int64_t>(places);
        forEachCode(ratings, R, [&](std::int64_t code) { labelled = labelled && code < count; });
        if (!labelled)
            for (std::int64_t i = 0; i < ratings.subjects; ++i)
                for (std::int32_t j = 0; j < R; ++j)
                    if (cell(i, j) >= count)
                        return InputError{lineOf(i), j + 1,
                                          "code " + std::to_string(cell(i, j)) + " has no label (there are " +
                                              std::to_string(places) + ")"};
    }
    // A code's place in the labels, plus one; 0 for a missing code.
    const auto indexOf = [numbers, smallest](std::int64_t code) -> std::size_t {
        return static_cast<std::size_t>(numbers ? code - smallest + 1 : code < 0 ? 0 : code + 1);
    };
    // The label of each place, made when first needed.
    std::vector<std::string> texts(places);
    std::vector<bool> made(places, false);
    const auto labelOf = [&](std::size_t place) -> const std::string& {
        if (!made[place]) {
            texts[place] = numbers ? std::to_string(smallest + static_cast<std::int64_t>(place)) : ratings.labels[place];
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
    std::vector<std::size_t> columns(ratings.raters.size());
    std::iota(columns.begin(), columns.end(), std::size_t{0});

    // The columns judged on the first rows, as the reader judges a file's
    // columns named by --columns.
    {
        RowSample sample;
        std::vector<std::string_view> fields(ratings.raters.size());
        for (std::int64_t i = 0; i < ratings.subjects; ++i) {
            for (std::int32_t j = 0; j < R; ++j) {
                const std::size_t index = indexOf(cell(i, j));
                fields[static_cast<std::size_t>(j)] = index == 0 ? std::string_view() : labelOf(index - 1);
            }
            if (!sample.add(fields, lineOf(i))) break;
        }
        const auto isMissing = [&](std::string_view text) {
            if (text.empty() || isMissingMarker(text)) return true;
            const auto known = labels.known(canonicalLabel(text));
            return known && *known == kMissing;
        };
        const std::vector<ColumnJudgement> judged = judgeColumns(sample, columns, ratings.raters, isMissing);
        if (!judged.empty())
            return readAsFile(0, static_cast<std::int64_t>(judged[0].profile.column + 1),
                              "column " + quote(ratings.raters[judged[0].profile.column]) +
                                  " does not look like a rater's ratings");
    }

    // Each subject's ratings as digits in base places + 1: a rating's place,
    // or `places` when it is missing. Each label is looked up where it first
    // appears, row by row, as the reader meets it; then its digit is known.
    constexpr std::uint32_t kUnseen = UINT32_MAX;
    const auto missingDigit = static_cast<std::uint32_t>(places);
    std::vector<std::uint32_t> digitOf(places + 1, kUnseen);  // by place + 1; 0: a missing code
    digitOf[0] = missingDigit;
    std::vector<std::uint16_t> idOf(places + 1, kMissing);  // the provisional id of each digit
    // The digit of a code first seen on subject i's rating by rater j.
    const auto see = [&](std::int64_t i, std::int32_t j, std::size_t index) -> std::optional<InputError> {
        const std::string& text = labelOf(index - 1);
        std::uint16_t id = kMissing;
        const auto outcome = labels.lookup(text, id, lineOf(i), j + 1);
        if (outcome == CategoryLabels::Lookup::TooMany)
            return readAsFile(lineOf(i), j + 1,
                              "more labels than a table of response patterns of " + std::to_string(R) + " raters holds");
        if (outcome != CategoryLabels::Lookup::Found && outcome != CategoryLabels::Lookup::Missing)
            return InputError{lineOf(i), j + 1, labels.refusal(outcome, text, id, R, true)};
        digitOf[index] = id == kMissing ? missingDigit : static_cast<std::uint32_t>(index - 1);
        idOf[digitOf[index]] = id;
        return std::nullopt;
    };
    std::array<const std::int64_t*, kMaxRaters> columnsOf{};
    for (std::int32_t j = 0; j < R; ++j) columnsOf[static_cast<std::size_t>(j)] = ratings.codes + j * ratings.raterStride;
    const std::int64_t step = ratings.subjectStride;
    std::array<std::uint32_t, kMaxRaters> digits{};
    const auto digitsOf = [&](std::int64_t i) -> std::optional<InputError> {
        for (std::int32_t j = 0; j < R; ++j) {
            const std::size_t index = indexOf(columnsOf[static_cast<std::size_t>(j)][i * step]);
            if (digitOf[index] == kUnseen)
                if (auto refusal = see(i, j, index)) return refusal;
            digits[static_cast<std::size_t>(j)] = digitOf[index];
        }
        return std::nullopt;
    };

    // The subjects by response pattern, of provisional ids.
    const PatternKey key = PatternKey::forRaters(R, std::max(largestK, 1));
    std::vector<bool> rated(ratings.raters.size(), false);
    PatternCounts counts;
    const auto count = [&](std::int64_t subjects, std::int64_t line) {
        std::uint64_t pattern = 0;
        bool any = false;
        for (std::int32_t j = 0; j < R; ++j) {
            const std::uint32_t digit = digits[static_cast<std::size_t>(j)];
            if (digit != missingDigit) any = rated[static_cast<std::size_t>(j)] = true;
            pattern = key.append(pattern, idOf[digit]);
        }
        if (any) counts.add(pattern, line, subjects);
    };
    // Few rows of digits (few labels, few raters) are counted in a table
    // indexed by them, and their patterns counted once each, in order of
    // their first subject.
    const std::uint64_t base = places + 1;
    std::uint64_t rows = 1;
    for (std::int32_t j = 0; j < R && rows <= kDenseRows; ++j) rows *= base;
    if (rows <= kDenseRows && rows <= static_cast<std::uint64_t>(ratings.subjects)) {
        std::vector<std::int64_t> subjects(rows, 0), first(rows, 0);
        for (std::int64_t i = 0; i < ratings.subjects; ++i) {
            std::uint64_t row = 0;
            for (std::int32_t j = 0; j < R; ++j) {
                const std::size_t index = indexOf(columnsOf[static_cast<std::size_t>(j)][i * step]);
                if (digitOf[index] == kUnseen) [[unlikely]]
                    if (auto refusal = see(i, j, index)) return refusal;
                row = row * base + digitOf[index];
            }
            if (subjects[row]++ == 0) first[row] = lineOf(i);
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
            if (auto refusal = digitsOf(i)) return refusal;
            count(1, lineOf(i));
        }
    }

    const CategoryLabels::Final categories = labels.finish(kMaxCategories);
    if (categories.span == 0 || counts.size() == 0)
        return InputError{
            0, 0,
            "no ratings: every rating is missing or a missing token (--missing " + listOf(options.missing) + ")"};
    if (categories.span > kMaxCategories)
        return InputError{0, 0,
                          "the labels are whole numbers spanning " + std::to_string(categories.span) +
                              " categories (every integer from the smallest label to the largest), at most " +
                              std::to_string(kMaxCategories) +
                              "; give the labels with --categories if they are not a scale"};
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

}  // namespace kappa
