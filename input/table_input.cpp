#include "input/table_input.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <string>
#include <vector>

#include "input/table_file.h"

namespace kappa {

namespace {

std::string codesText(std::span<const std::int32_t> codes) {
    std::string text;
    for (const std::int32_t code : codes) {
        if (!text.empty()) text += ' ';
        text += std::to_string(code);
    }
    return text;
}

// The number of categories that K^R <= kMaxPatterns allows for R raters.
std::int32_t mostCategories(std::int32_t R) {
    std::int32_t K = 1;
    while (static_cast<double>(patternCount(K + 1, R)) <= kMaxPatterns) ++K;
    return K;
}

// Checks each row as it comes and counts its subjects under its pattern.
// Until K is known the patterns are numbered in base B, the categories seen
// so far (or the K given): B grows, and the patterns are renumbered, when a
// row holds a larger code, up to the most categories the limit on K^R allows.
class CommandLineRows final : public TableRows {
public:
    CommandLineRows(bool weighted, std::int32_t givenK) : weighted_(weighted), givenK_(givenK) {}

    void raters(std::int32_t R) override {
        R_ = R;
        if (R < 2 || R > kMaxRaters) return;
        most_ = givenK_ > 0 ? givenK_ : mostCategories(R);
        renumber(givenK_ > 0 ? givenK_ : std::min(2, most_));
    }

    bool row(const TableRow& row) override {
        if (R_ > kMaxRaters) return refuse(row, "kappa takes at most 20 raters; this table has " + std::to_string(R_));
        if (R_ < 2) return refuse(row, "the first line has " + std::to_string(R_) + " rater (one TAB-separated code "
                                       "before the frequency): at least 2 raters are needed");
        const auto codes = row.codes;
        for (std::size_t j = 0; (row.codeBelowOne || row.largestCode > most_) && j < codes.size(); ++j) {
            if (codes[j] < 1)
                return refuse(row, "category codes start at 1; rater " + std::to_string(j + 1) + " has code " +
                                       std::to_string(codes[j]));
            if (codes[j] > most_)
                return refuse(row, givenK_ > 0 ? "category code " + std::to_string(codes[j]) + " is above the " +
                                                     std::to_string(givenK_) + " categories of --categories"
                                               : "category code " + std::to_string(codes[j]) + " with " +
                                                     std::to_string(R_) + " raters: at most " + std::to_string(most_) +
                                                     " categories keep K^R within 1,048,576");
        }
        if (row.largestCode > B_) renumber(std::min(most_, std::max(row.largestCode, 2 * B_)));
        if (row.frequency < 0) return refuse(row, "frequencies cannot be negative; found " + std::to_string(row.frequency));
        if (weighted_ && row.weight < 0) return refuse(row, "disagreement weights cannot be negative");
        std::size_t p = 0;
        for (const std::int32_t code : codes) p = p * static_cast<std::size_t>(B_) + static_cast<std::size_t>(code - 1);
        if (firstLine_[p] != 0)
            return refuse(row, "the combination " + codesText(codes) + " was already given on line " +
                                   std::to_string(firstLine_[p]));
        firstLine_[p] = row.line;
        frequency_[p] = row.frequency;
        if (weighted_) weight_[p] = row.weight;
        largest_ = std::max(largest_, row.largestCode);
        subjects_ += row.frequency;
        return true;
    }

    // The study, once every row is in; or what keeps it from being one.
    std::optional<InputError> finish(Study& study) {
        if (R_ < 2 || R_ > kMaxRaters)
            return InputError{1, 0, R_ <= 0 ? "the first line holds no TAB: a table separates its columns by TABs"
                                            : "a table needs 2 to 20 raters; the first line has " + std::to_string(R_)};
        const std::int32_t K = givenK_ > 0 ? givenK_ : largest_;
        if (K < 2)
            return InputError{0, 0, "every code is 1: a study needs at least 2 categories (give their number with "
                                    "--categories)"};
        if (subjects_ < 3)
            return InputError{0, 0, "a study needs at least 3 subjects; the frequencies add up to " +
                                        std::to_string(subjects_)};
        if (B_ != K) renumber(K);
        study.R = R_;
        study.K = K;
        study.frequency = std::move(frequency_);
        if (weighted_) study.fileWeight = std::move(weight_);
        return std::nullopt;
    }

    const std::optional<InputError>& refusal() const { return refusal_; }

private:
    // Pattern b in base `from` renumbered in base `to`.
    static std::size_t inBase(std::size_t b, std::int32_t from, std::int32_t to, std::span<std::uint16_t> digits) {
        patternDigits(b, from, digits);
        std::size_t p = 0;
        for (const std::uint16_t d : digits) p = p * static_cast<std::size_t>(to) + d;
        return p;
    }

    // Numbers the patterns in base B from now on.
    void renumber(std::int32_t B) {
        const std::size_t P = patternCount(B, R_);
        PatternVector<std::int64_t> frequency(P, 0);
        PatternVector<std::int32_t> firstLine(P, 0);
        PatternVector<double> weight(weighted_ ? P : 0, 1.0);
        std::vector<std::uint16_t> digits(static_cast<std::size_t>(R_));
        for (std::size_t b = 0; b < firstLine_.size(); ++b) {
            if (firstLine_[b] == 0) continue;
            const std::size_t p = inBase(b, B_, B, digits);
            frequency[p] = frequency_[b];
            firstLine[p] = firstLine_[b];
            if (weighted_) weight[p] = weight_[b];
        }
        B_ = B;
        frequency_ = std::move(frequency);
        firstLine_ = std::move(firstLine);
        weight_ = std::move(weight);
    }

    bool refuse(const TableRow& row, std::string message) {
        refusal_ = InputError{row.line, 0, std::move(message)};
        return false;
    }

    bool weighted_;
    std::int32_t givenK_;
    std::int32_t R_ = 0;
    std::int32_t B_ = 0;     // the base the patterns are numbered in
    std::int32_t most_ = 0;  // the most categories K may have
    std::int32_t largest_ = 0;
    std::int64_t subjects_ = 0;
    PatternVector<std::int64_t> frequency_;
    PatternVector<std::int32_t> firstLine_;  // 0: no row yet
    PatternVector<double> weight_;
    std::optional<InputError> refusal_;
};

// What the first line suggests about a file that cannot be read as a table.
std::string withHint(std::string message, const std::string& firstLine) {
    const bool tabs = firstLine.find('\t') != std::string::npos;
    const bool separators = firstLine.find_first_of(",;") != std::string::npos;
    const bool letters = std::any_of(firstLine.begin(), firstLine.end(), [](char ch) {
        return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z');
    });
    if (!tabs && separators) return message + " (the file looks comma- or semicolon-separated: for ratings, try --input ratings)";
    if (letters) return message + " (the first line looks like a header, which a table has not: try --input ratings or --input long)";
    return message;
}

}  // namespace

InputRead readTable(ByteSource& source, const InputOptions& options) {
    InputRead read;
    std::int32_t givenK = 0;
    std::vector<std::string> labels;
    if (options.categories.size() == 1) {
        const std::string& text = options.categories[0];
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), givenK);
        if (error != std::errc() || end != text.data() + text.size() || givenK < 2) {
            read.error = InputError{0, 0, "--categories for a table is the number of categories (at least 2) or "
                                          "their labels; found '" + text + "'"};
            return read;
        }
    } else if (options.categories.size() > 1) {
        givenK = static_cast<std::int32_t>(options.categories.size());
        labels = options.categories;
    }

    CommandLineRows rows(options.weights, givenK);
    const ParseOutcome outcome = parseTable(source, options.weights ? FileLayout::Weighted : FileLayout::Unweighted, rows);
    switch (outcome.status) {
        case ParseOutcome::Status::ReadFailed:
            read.error = InputError{0, 0, outcome.message};
            return read;
        case ParseOutcome::Status::Refused:
            read.error = rows.refusal();
            return read;
        case ParseOutcome::Status::Malformed:
            read.error = InputError{outcome.line, 0,
                                    outcome.line == 1 ? withHint(outcome.message, outcome.firstLine) : outcome.message};
            return read;
        case ParseOutcome::Status::Read:
            break;
    }
    StudyGroup group;
    if (auto problem = rows.finish(group.study)) {
        if (problem->line == 1) problem->message = withHint(problem->message, outcome.firstLine);
        read.error = std::move(problem);
        return read;
    }
    if (labels.empty())
        for (std::int32_t k = 1; k <= group.study.K; ++k) labels.push_back(std::to_string(k));
    group.study.labels = std::move(labels);
    read.groups.push_back(std::move(group));
    read.delimiter = '\t';
    read.ordered = true;
    return read;
}

}  // namespace kappa
