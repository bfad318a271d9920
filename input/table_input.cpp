#include "input/table_input.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "input/delimited.h"
#include "input/layouts.h"
#include "input/numbers.h"
#include "input/printable.h"
#include "input/study_builder.h"
#include "input/study_reader.h"
#include "input/table_file.h"

namespace kappa {

namespace {

// Disagreement weights above this are refused: the variances sum products
// of two weights and of counts, which would overflow.
constexpr double kLargestWeight = 1e100;

// Appended to the refusal of a first line that looks like a header when the
// next line is not a row of a table either.
constexpr const char* kOtherLayouts =
    " (the first line looks like a header, which a table has not: try --input ratings or --input long)";

bool isTableBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// The refusal of a first line with a single field, and what it looks like.
std::string oneField(char delimiter, std::string_view field) {
    std::string message =
        delimiter == kBlanks
            ? std::string("the first line holds one field: a table has a field for each rater and one for the frequency")
            : "the first line holds no " + std::string(delimiterName(delimiter)) + ": a table separates its columns by " +
                  (delimiter == '|' ? std::string("'|'") : std::string(delimiterName(delimiter)) + "s");
    const char seen = detectDelimiter(field);
    if (seen == ',' || seen == ';')
        return message + " (the file looks " + std::string(delimiterName(seen)) +
               "-separated: give a table's delimiter with --delimiter '" + seen +
               "', or read a file of one row per subject with --input ratings)";
    if (delimiter != kBlanks && seen == kBlanks && std::any_of(field.begin(), field.end(), isTableBlank))
        return message + " (its fields are separated by blanks: give --delimiter ' ')";
    return message;
}

// Checks each row as it comes and counts its subjects under its pattern: the
// rows of the table parser's quick way by row(), the others by record(). A
// complete pattern is counted in a dense table numbered in base B, the
// categories seen so far (or the K given): B grows, and the patterns are
// renumbered, when a row holds a larger category. A category is its code
// less one, or a label's provisional id; patterns with missing ratings are
// counted apart. Every refusal is kept and stops the reading.
class TableRowsReader final : public TableRows {
public:
    explicit TableRowsReader(const InputOptions& options)
        : weighted_(options.weights),
          delimiter_(options.delimiter.value_or('\t')),
          missing_(options.missing),
          explicit_(expandCategories(options.categories)),
          givenK_(static_cast<std::int32_t>(explicit_.size())),
          labels_(explicit_, missing_) {
        numbersAreLabels_ = options.categories.size() > 1 &&
                            std::any_of(explicit_.begin(), explicit_.end(),
                                        [](const std::string& label) { return wholeNumberLabel(label).has_value(); });
        for (const std::string& token : missing_)
            if (const auto value = wholeNumberLabel(token)) missingNumbers_.push_back(*value);
    }

    // Whether lines of plain numbers may be read the quick way: they are
    // codes, none of them a missing rating, in TAB-separated fields.
    bool quickLinesAreRows() const { return delimiter_ == '\t' && !numbersAreLabels_ && missingNumbers_.empty(); }

    char delimiter() const { return delimiter_; }

    void raters(std::int32_t R) override { R_ = R; }

    bool row(const TableRow& row) override {
        if (!started_ && !start(row.line)) return false;
        const auto codes = row.codes;
        if (row.codeBelowOne || row.largestCode > codeLimit_)
            for (std::size_t j = 0; j < codes.size(); ++j)
                if (!checkCode(j, codes[j], row.line)) return false;
        if (codeLine_ == 0) codeLine_ = row.line, firstCode_ = codes[0];
        return addComplete(codes, row.largestCode, row.frequency, row.weight, row.line);
    }

    // A record of the file's fields, read on from where the quick way stopped.
    bool record(std::span<const std::string_view> fields, std::int64_t line) {
        const bool blank = std::all_of(fields.begin(), fields.end(), [](std::string_view field) {
            return std::all_of(field.begin(), field.end(), isTableBlank);
        });
        if (blank) return true;
        const bool first = !started_;  // the table's first line
        if (!started_) {
            if (fields.size() == 1) return refuse(line, 0, oneField(delimiter_, fields[0]));
            const auto raters = static_cast<std::int64_t>(fields.size()) - (weighted_ ? 2 : 1);
            R_ = static_cast<std::int32_t>(std::min<std::int64_t>(raters, INT32_MAX));
            if (!start(line)) return false;
        }
        const std::span<const std::string_view> tokens = tokensOf(fields);
        const auto expected = static_cast<std::size_t>(R_) + (weighted_ ? 2 : 1);
        if (tokens.size() != expected) {
            if (allNumbers(tokens_))
                return refuse(line, 0,
                              "expected " + rowLayout(R_, weighted_) + ", found " + std::to_string(tokens_.size()));
            return refuse(line, 0,
                          "expected " + plural(static_cast<std::int64_t>(expected), "field") + " (" +
                              plural(R_, "rating") + (weighted_ ? ", a frequency and a weight" : " and a frequency") +
                              "), found " + std::to_string(fields.size()));
        }
        // A first line of names only may be a header.
        const bool names = first && !std::any_of(tokens.begin(), tokens.end(), isDecimalNumber);
        const std::string_view frequencyText = tokens[static_cast<std::size_t>(R_)];
        TableNumber frequency, weight;
        readNumber(frequencyText, frequency);
        if (!frequency.whole)
            return refuseNumber(line, R_ + 1, fieldRefusal(TableField::Frequency, frequency, frequencyText), names);
        if (weighted_) {
            const std::string_view weightText = tokens[static_cast<std::size_t>(R_) + 1];
            readNumber(weightText, weight);
            if (!weight.finite)
                return refuseNumber(line, R_ + 2, fieldRefusal(TableField::Weight, weight, weightText), names);
        }
        if (header_) {
            // The first line is not a row, but this one reads as one.
            refusal_ = *header_;
            refusal_->message += ": this looks like a header line, which a table has not; leave it out";
            return false;
        }
        ids_.clear();
        for (std::size_t j = 0; j < static_cast<std::size_t>(R_); ++j) {
            std::uint16_t id = kMissing;
            if (!categoryOf(j, tokens[j], line, id)) return false;
            ids_.push_back(id);
        }
        if (std::all_of(ids_.begin(), ids_.end(), [](std::uint16_t id) { return id == kMissing; }))
            return true;  // nobody rated these subjects: they are not subjects of the study
        if (std::find(ids_.begin(), ids_.end(), kMissing) != ids_.end())
            return addIncomplete(frequency.integer, weight.value, line);
        codes_.clear();
        for (const std::uint16_t id : ids_) codes_.push_back(id + 1);
        return addComplete(codes_, *std::max_element(codes_.begin(), codes_.end()), frequency.integer, weight.value,
                           line);
    }

    const std::optional<InputError>& refusal() const { return refusal_; }

    // The study, once every row is in; or what keeps it from being one.
    std::optional<InputError> finish(Study& study, bool& ordered) {
        if (!started_)
            return InputError{0, 0,
                              "the file is empty: a table has a line for each combination of categories, the "
                              "category of each rater and the number of subjects"};
        if (header_)
            return InputError{header_->line, header_->column,
                              header_->message +
                                  ": the file's one line looks like a header, which a table has not, and no row follows"};
        CategoryLabels::Final categories;
        if (labels_.isExplicit() || labelLine_ != 0) {
            categories = labels_.finish(most_);
        } else {
            for (std::int32_t k = 1; k <= largest_; ++k) {
                categories.labels.push_back(std::to_string(k));
                categories.code.push_back(static_cast<std::uint16_t>(k - 1));
            }
            categories.ordered = true;
        }
        const auto K = static_cast<std::int32_t>(categories.labels.size());
        if (K == 0)
            return InputError{0, 0, "no ratings: every rating is a missing token (--missing " + listOf(missing_) + ")"};
        if (K < 2)
            return InputError{0, 0,
                              labelLine_ != 0
                                  ? "every rating is " + quote(categories.labels[0]) +
                                        ": a study needs at least 2 categories (give them in their order with "
                                        "--categories)"
                                  : std::string("every code is 1: a study needs at least 2 categories (give their "
                                                "number with --categories)")};
        if (subjects_ < 3)
            return InputError{0, 0,
                              "a study needs at least 3 subjects; the frequencies add up to " +
                                  std::to_string(subjects_)};
        // The complete patterns in the final categories (labels found in the
        // file are put in their order), then the others.
        const bool identity = std::is_sorted(categories.code.begin(), categories.code.end()) &&
                              (categories.code.empty() || categories.code.back() + 1u == categories.code.size());
        if (B_ != K || !identity) renumber(K, identity ? std::span<const std::uint16_t>() : categories.code);
        firstLine_ = {};
        if (incomplete_.size() > 0) {
            study = incomplete_.build(key_, categories);
            std::erase_if(study.incomplete, [](const IncompleteSubjects& s) { return s.count == 0; });
        } else {
            study.R = R_;
            study.K = K;
            study.labels = categories.labels;
        }
        study.frequency = std::move(frequency_);
        if (weighted_) study.fileWeight = std::move(weight_);
        ordered = categories.ordered;
        return std::nullopt;
    }

private:
    bool start(std::int64_t line) {
        started_ = true;
        if (R_ > kMaxRaters)
            return refuse(line, 0, "kappa takes at most 20 raters; this table has " + std::to_string(R_));
        if (R_ < 2)
            return refuse(line, 0,
                          "the first line has " + plural(R_, "rater") + " (" + (R_ == 1 ? "one " : "no ") +
                              (delimiter_ == kBlanks ? std::string("blank") : std::string(delimiterName(delimiter_))) +
                              "-separated code before the frequency" + (R_ == 1 ? "" : " and the weight") +
                              "): at least 2 raters are needed");
        most_ = largestCategoryCount(R_);
        if (givenK_ > most_)
            return refuse(line, 0,
                          "--categories gives " + std::to_string(givenK_) + " categories: with " +
                              plural(R_, "rater") + " at most " + std::to_string(most_) + " (K^R at most " +
                              kMaxPatternsText + ")");
        codeLimit_ = givenK_ > 0 ? givenK_ : most_;
        labels_.setLimit(static_cast<std::size_t>(most_));
        key_ = PatternKey::forRaters(R_, most_);
        renumber(givenK_ > 0 ? givenK_ : std::min(2, most_));
        return true;
    }

    // The fields of a record as a row's tokens. Split at any blanks, in
    // tokens_; a line of as many numbers as a row holds is read so (with
    // TABs for the delimiter), as tables of codes always were; otherwise the
    // fields are the tokens, trimmed of the blanks that the delimited reader
    // leaves (vertical tab, form feed).
    std::span<const std::string_view> tokensOf(std::span<const std::string_view> fields) {
        tokens_.clear();
        for (const std::string_view field : fields)
            for (std::size_t i = 0; i < field.size();) {
                while (i < field.size() && isTableBlank(field[i])) ++i;
                const std::size_t start = i;
                while (i < field.size() && !isTableBlank(field[i])) ++i;
                if (i > start) tokens_.push_back(field.substr(start, i - start));
            }
        const auto expected = static_cast<std::size_t>(R_) + (weighted_ ? 2 : 1);
        if (delimiter_ == '\t' && tokens_.size() == expected && allNumbers(tokens_)) return tokens_;
        fields_.clear();
        for (std::string_view field : fields) {
            while (!field.empty() && (field.front() == '\v' || field.front() == '\f')) field.remove_prefix(1);
            while (!field.empty() && (field.back() == '\v' || field.back() == '\f')) field.remove_suffix(1);
            fields_.push_back(field);
        }
        return fields_;
    }

    static bool allNumbers(std::span<const std::string_view> tokens) {
        return std::all_of(tokens.begin(), tokens.end(), isDecimalNumber);
    }

    // The category of rater j's field: a code less one, a label's id, or
    // kMissing.
    bool categoryOf(std::size_t j, std::string_view token, std::int64_t line, std::uint16_t& id) {
        const auto column = static_cast<std::int64_t>(j + 1);
        if (!numbersAreLabels_ && isDecimalNumber(token)) {
            TableNumber code;
            readNumber(token, code);
            if (!code.whole) return refuse(line, column, fieldRefusal(TableField::Code, code, token));
            if (std::find(missingNumbers_.begin(), missingNumbers_.end(), code.integer) != missingNumbers_.end())
                return true;
            if (!checkCode(j, code.integer, line)) return false;
            if (codeLine_ == 0) codeLine_ = line, firstCode_ = code.integer;
            if (labelLine_ != 0 && !labels_.isExplicit()) return mixed(line, column);
            id = static_cast<std::uint16_t>(code.integer - 1);
            return true;
        }
        std::uint16_t found = 0;
        const CategoryLabels::Lookup outcome = labels_.lookup(token, found, line, column);
        if (outcome == CategoryLabels::Lookup::Missing) return true;
        if (outcome != CategoryLabels::Lookup::Found)
            return refuse(line, column, labels_.refusal(outcome, token, found, R_, true));
        if (!numbersAreLabels_) {
            if (labelLine_ == 0) labelLine_ = line, firstLabel_ = token;
            if (codeLine_ != 0 && !labels_.isExplicit()) return mixed(line, column);
        }
        id = found;
        return true;
    }

    bool checkCode(std::size_t j, std::int32_t code, std::int64_t line) {
        const auto column = static_cast<std::int64_t>(j + 1);
        if (code < 1)
            return refuse(line, column,
                          "category codes start at 1; rater " + std::to_string(j + 1) + " has code " +
                              std::to_string(code) +
                              " (a table's numbers are codes 1..K; labels that are numbers are given in their order "
                              "with --categories)");
        if (code > codeLimit_)
            return refuse(line, column,
                          givenK_ > 0 ? "category code " + std::to_string(code) + " is above the " +
                                            std::to_string(givenK_) + " categories of --categories"
                                      : "category code " + std::to_string(code) + " with " + std::to_string(R_) +
                                            " raters: at most " + std::to_string(most_) +
                                            " categories keep K^R within " + kMaxPatternsText);
        return true;
    }

    bool mixed(std::int64_t line, std::int64_t column) {
        return refuse(line, column,
                      "the categories are written both as codes (" + std::to_string(firstCode_) + " on line " +
                          std::to_string(codeLine_) + ") and as labels (" + quote(firstLabel_) + " on line " +
                          std::to_string(labelLine_) +
                          "): a table's numbers are codes 1..K, its text labels; give every category in its order "
                          "with --categories");
    }

    bool addComplete(std::span<const std::int32_t> codes, std::int32_t largest, std::int32_t frequency, double weight,
                     std::int64_t line) {
        if (largest > B_) renumber(std::min(codeLimit_, std::max(largest, 2 * B_)));
        if (!checkCounts(frequency, weight, line)) return false;
        std::size_t p = 0;
        for (const std::int32_t code : codes) p = p * static_cast<std::size_t>(B_) + static_cast<std::size_t>(code - 1);
        if (firstLine_[p] != 0) {
            ids_.clear();
            for (const std::int32_t code : codes) ids_.push_back(static_cast<std::uint16_t>(code - 1));
            return repeated(line, firstLine_[p]);
        }
        firstLine_[p] = static_cast<std::int32_t>(std::min<std::int64_t>(line, INT32_MAX));
        frequency_[p] = frequency;
        if (weighted_) weight_[p] = weight;
        largest_ = std::max(largest_, largest);
        subjects_ += frequency;
        return true;
    }

    // The row of ids_, some of them missing.
    bool addIncomplete(std::int32_t frequency, double weight, std::int64_t line) {
        if (!checkCounts(frequency, weight, line)) return false;
        std::uint64_t key = 0;
        for (const std::uint16_t id : ids_) {
            key = key_.append(key, id);
            if (id != kMissing) largest_ = std::max<std::int32_t>(largest_, id + 1);
        }
        if (const std::int64_t first = incomplete_.add(key, line, frequency); first != line)
            return repeated(line, first);
        subjects_ += frequency;
        return true;
    }

    bool checkCounts(std::int32_t frequency, double weight, std::int64_t line) {
        if (frequency < 0)
            return refuse(line, R_ + 1, "frequencies cannot be negative; found " + std::to_string(frequency));
        if (weighted_ && weight < 0) return refuse(line, R_ + 2, "disagreement weights cannot be negative");
        if (weighted_ && weight > kLargestWeight)
            return refuse(line, R_ + 2,
                          "a disagreement weight of " + shownNumber({true, 0, true, weight}, {}) +
                              ": weights above 1e100 overflow the variances; weighted kappa depends only on the "
                              "ratios of the weights, so divide them all by the largest");
        return true;
    }

    // The combination of ids_ was given on an earlier line.
    bool repeated(std::int64_t line, std::int64_t first) {
        const bool labelled = labelLine_ != 0 || numbersAreLabels_;
        std::string text;
        for (const std::uint16_t id : ids_) {
            if (!text.empty()) text += ' ';
            text += id == kMissing ? std::string("(missing)")
                    : labelled     ? quote(labels_.labels()[id])
                                   : std::to_string(id + 1);
        }
        return refuse(line, 0, "the combination " + text + " was already given on line " + std::to_string(first));
    }

    // A refusal of the frequency or the weight. A first line of names may be
    // a header: the refusal is held until the next line says whether it is.
    bool refuseNumber(std::int64_t line, std::int64_t column, std::string message, bool mayBeHeader) {
        if (mayBeHeader) {
            header_ = InputError{line, column, std::move(message)};
            return true;
        }
        return refuse(line, column, std::move(message));
    }

    bool refuse(std::int64_t line, std::int64_t column, std::string message) {
        if (header_) {
            // Neither the first line nor the next is a row of a table.
            refusal_ = *header_;
            refusal_->message += kOtherLayouts;
        } else {
            refusal_ = InputError{line, column, std::move(message)};
        }
        return false;
    }

    // Numbers the complete patterns in base B from now on, each category d
    // becoming `map[d]` when a map is given.
    void renumber(std::int32_t B, std::span<const std::uint16_t> map = {}) {
        const std::size_t P = patternCount(B, R_);
        PatternVector<std::int64_t> frequency(P, 0);
        PatternVector<std::int32_t> firstLine(P, 0);
        PatternVector<double> weight(weighted_ ? P : 0, 1.0);
        std::vector<std::uint16_t> digits(static_cast<std::size_t>(R_));
        for (std::size_t b = 0; b < firstLine_.size(); ++b) {
            if (firstLine_[b] == 0) continue;
            patternDigits(b, B_, digits);
            std::size_t p = 0;
            for (const std::uint16_t d : digits) p = p * static_cast<std::size_t>(B) + (map.empty() ? d : map[d]);
            frequency[p] = frequency_[b];
            firstLine[p] = firstLine_[b];
            if (weighted_) weight[p] = weight_[b];
        }
        B_ = B;
        frequency_ = std::move(frequency);
        firstLine_ = std::move(firstLine);
        weight_ = std::move(weight);
    }

    const bool weighted_;
    const char delimiter_;
    const std::vector<std::string> missing_;
    const std::vector<std::string> explicit_;  // the labels of --categories
    const std::int32_t givenK_;                // their number; 0 without --categories
    bool numbersAreLabels_ = false;            // --categories lists labels that are numbers
    std::vector<std::int64_t> missingNumbers_;  // the missing tokens that are numbers
    CategoryLabels labels_;
    std::int32_t R_ = 0;
    bool started_ = false;
    std::int32_t most_ = 0;       // the most categories R raters may have
    std::int32_t codeLimit_ = 0;  // the largest code allowed
    PatternKey key_;
    std::int32_t B_ = 0;  // the base the complete patterns are numbered in
    PatternVector<std::int64_t> frequency_;
    PatternVector<std::int32_t> firstLine_;  // 0: no row yet
    PatternVector<double> weight_;
    PatternCounts incomplete_;
    std::int32_t largest_ = 0;  // the largest category (code, or id + 1) of any row
    std::int64_t subjects_ = 0;
    std::int64_t codeLine_ = 0, labelLine_ = 0;  // the first lines with a code and with a label
    std::int32_t firstCode_ = 0;
    std::string firstLabel_;
    std::optional<InputError> header_;  // the refusal of a first line that may be a header
    std::optional<InputError> refusal_;
    std::vector<std::uint16_t> ids_;
    std::vector<std::int32_t> codes_;
    std::vector<std::string_view> tokens_, fields_;
};

}  // namespace

InputRead readTable(ByteSource& source, const InputOptions& options) {
    InputRead read;
    TableRowsReader rows(options);
    read.delimiter = rows.delimiter();
    std::int64_t firstLine = 1;  // of what is read field by field
    if (rows.quickLinesAreRows()) {
        std::string rest;
        const ParseOutcome outcome =
            parsePlainTable(source, options.weights ? FileLayout::Weighted : FileLayout::Unweighted, rows, rest);
        switch (outcome.status) {
            case ParseOutcome::Status::ReadFailed:
                read.error = InputError{0, 0, outcome.message};
                return read;
            case ParseOutcome::Status::Refused:
                read.error = rows.refusal();
                return read;
            case ParseOutcome::Status::Malformed:
                read.error = InputError{outcome.line, 0, outcome.message};
                return read;
            case ParseOutcome::Status::Stopped:
                source.putBack(std::move(rest));
                firstLine = outcome.line;
                break;
            case ParseOutcome::Status::Read:
                firstLine = 0;
                break;
        }
    }
    if (firstLine > 0) {
        // Tables read field by field are small: a small buffer to start with.
        DelimitedReader records(source, rows.delimiter(), std::size_t{1} << 16);
        while (records.next())
            if (!rows.record(records.fields(), records.line() + firstLine - 1)) {
                read.error = rows.refusal();
                return read;
            }
        if (const auto& error = records.error()) {
            read.error = error;
            if (read.error->line > 0) read.error->line += firstLine - 1;
            return read;
        }
    }
    StudyGroup group;
    if (auto problem = rows.finish(group.study, read.ordered)) {
        read.error = std::move(problem);
        return read;
    }
    read.groups.push_back(std::move(group));
    return read;
}

std::optional<InputError> readTableStudies(ByteSource& source, const InputOptions& options, InputDescription& input,
                                           const TakeGroup& take, std::size_t, const ReadAgain&) {
    InputRead read = readTable(source, options);
    input.delimiter = read.delimiter;
    input.ordered = read.ordered;
    input.notes = std::move(read.notes);
    if (read.error) return read.error;
    for (StudyGroup& group : read.groups) {
        input.labels = group.study.labels;
        take(std::move(group));
    }
    return std::nullopt;
}

}  // namespace kappa
