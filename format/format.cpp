#include "format/format.h"

#include "input/layouts.h"

namespace kappa {

std::string_view inputFormatId(InputFormat f) { return inputLayout(f).id; }

std::string formatPreamble(OutputFormat format, bool diagnostics) {
    if (format != OutputFormat::Csv) return "";
    std::string header;
    for (const std::string_view column : csvColumns(diagnostics)) {
        if (!header.empty()) header += ',';
        header += column;
    }
    return header + '\n';
}

std::string_view formatSeparator(OutputFormat format) { return format == OutputFormat::Text ? "\n" : ""; }

std::string formatAnalysis(OutputFormat format, const Source& source, const Analysis& analysis) {
    return kOutputFormatCatalog[static_cast<std::size_t>(format)].formatOne(source, analysis);
}

std::string formatSummary(const Source& source, const Analysis& analysis) {
    SummaryTable table;
    table.add(source, analysis);
    return table.text();
}

}  // namespace kappa
