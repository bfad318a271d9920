// The command line's output formats. A formatter prints an analysis and the
// facts of the file it was read from; it computes nothing.
//
// text: a readable report per file (and group), in the words of the dialogue.
// json: JSON Lines, one object per file (and group).
// csv:  one header line, then one row per file, group, estimate and basis.
// summary: one aligned table of every file's estimates, a row each.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "inference/analysis.h"
#include "input/input.h"

namespace kappa {

enum class OutputFormat { Text, Json, Csv, Summary };

std::string_view inputFormatId(InputFormat f);

// Where an analysis comes from.
struct Source {
    std::string file;                  // as given; "-" is standard input
    std::optional<std::string> group;  // the value of the --by column
    InputFormat input = InputFormat::Table;
    std::optional<char> delimiter;     // the delimiter of a ratings, long or matrix file
};

// What comes before the first analysis: the CSV header line (with the
// diagnostics' columns when they are asked for); nothing otherwise.
std::string formatPreamble(OutputFormat format, bool diagnostics = false);

// What comes between two analyses: a blank line between text reports.
std::string_view formatSeparator(OutputFormat format);

// One analysis: a text report, one JSON line, or CSV rows; it ends with a line break.
std::string formatAnalysis(OutputFormat format, const Source& source, const Analysis& analysis);

std::string formatText(const Source& source, const Analysis& analysis);
std::string formatJson(const Source& source, const Analysis& analysis);
std::string formatCsv(const Source& source, const Analysis& analysis);
// The summary table of one analysis alone (SummaryTable below aligns several).
std::string formatSummary(const Source& source, const Analysis& analysis);

// The output formats, a row each: everything that names a format (--format,
// --help, the library's and the page's choices) reads this table.
struct OutputFormatEntry {
    OutputFormat format;
    std::string_view id;           // in --format
    std::string_view description;  // what --help adds to the id
    std::string (*formatOne)(const Source& source, const Analysis& analysis);  // one analysis
};
inline constexpr std::array<OutputFormatEntry, 4> kOutputFormatCatalog = {{
    {OutputFormat::Text, "text", "", formatText},
    {OutputFormat::Json, "json", "", formatJson},
    {OutputFormat::Csv, "csv", "", formatCsv},
    {OutputFormat::Summary, "summary", "a row per estimate", formatSummary},
}};
static_assert(listedInOrder(kOutputFormatCatalog, &OutputFormatEntry::format));
inline constexpr auto kOutputFormats = catalogItems(kOutputFormatCatalog, &OutputFormatEntry::format);

inline std::string_view outputFormatId(OutputFormat f) { return kOutputFormatCatalog[static_cast<std::size_t>(f)].id; }

// The summary table, aligned over every analysis it is given: one row per
// estimate with its group, coefficient, weights, estimate, standard error,
// Wald interval, the p-value of the report line's test and subjects.
class SummaryTable {
public:
    void add(const Source& source, const Analysis& analysis);
    std::string text() const;  // the header and the rows; nothing without rows

private:
    std::vector<std::vector<std::string>> rows_;
    bool groups_ = false;
};

// The CSV columns, in order: those of the estimates, and after them those of
// the diagnostics.
std::span<const std::string_view> csvColumns(bool diagnostics = false);

// A restricted interval's pieces as JSON writes them: [[lower, upper], ...],
// null for a lower limit of -infinity; "null" when it cannot be computed.
std::string intervalSetText(const std::optional<IntervalSet>& set);

}  // namespace kappa
