// What the columns of a ratings file hold. Without --columns every column but
// the --id and --by ones would be read as a rater's ratings; a column that
// does not look like one (an identifier, a note, a date, a site) must not
// become a rater silently, and a first line that looks like a row of ratings
// must not be taken for a header silently. Both are judged on the first rows
// of the file, before any rating is counted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kappa {

// The first rows of a file, copied so that they can be judged and then read
// as every other row: at most kMaxRows rows and about kMaxBytes bytes.
class RowSample {
public:
    static constexpr std::size_t kMaxRows = 1000;
    static constexpr std::size_t kMaxBytes = std::size_t{8} << 20;

    // Keeps a copy of the row, unless the sample is full: then false.
    bool add(std::span<const std::string_view> fields, std::int64_t line);

    std::size_t rows() const { return lines_.size(); }
    std::int64_t line(std::size_t r) const { return lines_[r]; }
    // The fields of row r, as views into the sample.
    std::span<const std::string_view> fields(std::size_t r);

private:
    std::vector<std::string> fields_;  // every row's fields, one row after the other
    std::vector<std::size_t> starts_{0};  // row r is fields_[starts_[r], starts_[r + 1])
    std::vector<std::int64_t> lines_;
    std::vector<std::string_view> views_;
    std::size_t bytes_ = 0;
};

// How a column's labels compare with the other candidate columns' over the sample.
struct ColumnProfile {
    std::size_t column = 0;
    std::size_t rated = 0;      // rows with a label in this column (not a missing one)
    std::size_t distinct = 0;   // different labels
    std::size_t exclusive = 0;  // labels that no other candidate column has
    bool wholeNumbers = true;   // every label is a whole number
    std::vector<std::string> first;      // its first labels
    std::vector<std::string> exclusives;  // its first labels that no other column has
};

enum class ColumnRole {
    Rater,
    Identifier,  // a different value on every row
    Group,       // a few values, each on many rows, that no rater column uses (a site, a wave)
    Other,       // labels that no other column uses (a note, a date), or a name that says so
};

struct ColumnJudgement {
    ColumnRole role = ColumnRole::Rater;
    ColumnProfile profile;
    bool byName = false;  // its header name says what it holds ("id", "notes", "site", ...)
};

// The candidate rater columns that do not look like a rater's, in column
// order. `names`: the header's names (empty without a header). `isMissing`:
// whether a field means "not rated". Labels are compared as the readers
// compare them, ignoring case and surrounding blanks.
std::vector<ColumnJudgement> judgeColumns(RowSample& sample, std::span<const std::size_t> candidates,
                                          std::span<const std::string> names,
                                          const std::function<bool(std::string_view)>& isMissing);

// Whether a header line looks like a row of ratings: every rater column's
// name is a label that the sample's rater columns use, or every name and
// every label is a whole number.
bool headerLooksLikeData(RowSample& sample, std::span<const std::size_t> raters, std::span<const std::string> names,
                         const std::function<bool(std::string_view)>& isMissing);

}  // namespace kappa
