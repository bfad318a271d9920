// The matrix layout: two raters' K x K cross-table of counts, rater 1 in
// rows, perhaps with a header of labels, a column of labels, and margins of
// totals (left out, with a note).
#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "input/columns.h"
#include "input/file_counts.h"
#include "input/layouts.h"
#include "input/numbers.h"
#include "input/printable.h"

namespace kappa {

namespace {

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
            (fields[0].empty() || !std::all_of(fields.begin(), fields.end(), isDecimalNumber))) {
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
                if (!fields[c].empty() && !isDecimalNumber(fields[c]))
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
        emptyCorner || std::any_of(rows.begin(), rows.end(), [](const Row& r) { return !isDecimalNumber(r.first); });
    // A header as wide as the rows whose first cell is text may be a corner
    // above a column of number labels: so it is when that makes the table square.
    if (headerLine != 0 && header.size() == width && !labelColumn && !isDecimalNumber(header[0]) && rows.size() + 1 == width)
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
                             tooWideASpan(categories.span, static_cast<std::int64_t>(largestK)) + " (K^2 at most " +
                                 kMaxPatternsText + ")"};
    } else if (file.labels().isExplicit()) {
        categories = file.labels().finish(static_cast<std::int64_t>(largestK));
        if (categories.labels.size() != K)
            return InputError{0, 0,
                             "--categories gives " + plural(categories.labels.size(), "category", "categories") +
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

}  // namespace

std::optional<InputError> readMatrixStudies(ByteSource& source, const InputOptions& options, InputDescription& input,
                                            const TakeGroup& take, std::size_t chunk, const ReadAgain&) {
    return readOneStudy(source, options, input, take, chunk, readMatrix);
}

}  // namespace kappa
