#include "format/format.h"

namespace kappa {

std::string_view outputFormatId(OutputFormat f) {
    switch (f) {
        case OutputFormat::Text: return "text";
        case OutputFormat::Json: return "json";
        case OutputFormat::Csv: return "csv";
        case OutputFormat::Summary: return "summary";
    }
    return "";
}

std::string_view inputFormatId(InputFormat f) {
    switch (f) {
        case InputFormat::Table: return "table";
        case InputFormat::Ratings: return "ratings";
        case InputFormat::Long: return "long";
        case InputFormat::Matrix: return "matrix";
        case InputFormat::Counts: return "counts";
    }
    return "";
}

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
    switch (format) {
        case OutputFormat::Text: return formatText(source, analysis);
        case OutputFormat::Json: return formatJson(source, analysis);
        case OutputFormat::Csv: return formatCsv(source, analysis);
        case OutputFormat::Summary: {
            SummaryTable table;
            table.add(source, analysis);
            return table.text();
        }
    }
    return "";
}

}  // namespace kappa
