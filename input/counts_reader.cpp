// The counts layout: one row per subject, one column per category holding
// how many of the subject's ratings fall in it.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <numeric>
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

// A file of counts: one row per subject, one column per category holding how
// many of the subject's ratings fall in it (the table of statsmodels'
// aggregate_raters, or of a paper), perhaps an --id column, perhaps a header
// of labels in their order. Subjects are counted by profile as they are read.
std::optional<InputError> readCounts(DelimitedReader& reader, const InputOptions& options, FileCounts& file,
                                    InputDescription& input, Study& study) {
    if (!reader.next()) return noLines(reader, "one row of counts per subject");
    Columns columns;
    columns.count = reader.fields().size();
    columns.line = reader.line();
    // The first line names the categories unless it holds counts only.
    const bool header = options.headerConfirmed ||
                        (options.header && !std::all_of(reader.fields().begin(), reader.fields().end(),
                                                        [](std::string_view f) { return countOf(f).has_value(); }));
    if (header)
        for (const std::string_view name : reader.fields()) columns.names.emplace_back(name);
    std::optional<InputError> error;
    std::optional<std::size_t> id;
    if (!findOptional(columns, options.id, "--id", id, error)) return error;
    std::vector<std::size_t> categoryColumns;
    for (std::size_t c = 0; c < columns.count; ++c)
        if (c != id) categoryColumns.push_back(c);
    if (categoryColumns.size() < 2)
        return InputError{columns.line, 0,
                         "found " + plural(categoryColumns.size(), "column") +
                             " of counts, expected one per category, at least two" +
                             delimiterHint(columns, options)};

    // The category of each column: by the header's labels (in their order,
    // unless --categories gives one), or the columns in order.
    std::vector<std::uint16_t> ids(categoryColumns.size());
    CategoryLabels::Final categories;
    if (header) {
        file.labels().setLimit(kMaxCategories);
        for (std::size_t i = 0; i < categoryColumns.size(); ++i) {
            const std::size_t c = categoryColumns[i];
            const auto column = static_cast<std::int64_t>(c + 1);
            const CategoryLabels::Lookup outcome = file.labels().lookup(columns.names[c], ids[i], columns.line, column);
            if (outcome != CategoryLabels::Lookup::Found)
                return file.fieldError(outcome, columns.names[c], ids[i], columns.line, c, std::string(), 0, "");
            for (std::size_t earlier = 0; earlier < i; ++earlier)
                if (ids[earlier] == ids[i])
                    return InputError{columns.line, column, "the label " + quote(columns.names[c]) + " is given twice"};
        }
        categories = file.labels().finish(kMaxCategories, true);
        if (categories.span > kMaxCategories)
            return InputError{columns.line, 0,
                             tooWideASpan(categories.span, kMaxCategories)};
    } else if (file.labels().isExplicit()) {
        categories = file.labels().finish(kMaxCategories);
        if (categories.labels.size() != categoryColumns.size())
            return InputError{columns.line, 0,
                             "--categories gives " + plural(categories.labels.size(), "category", "categories") +
                                 " but the rows have " + plural(categoryColumns.size(), "column") +
                                 " of counts, without a header of labels to match them to"};
        std::iota(ids.begin(), ids.end(), std::uint16_t{0});
    } else {
        for (std::size_t i = 0; i < categoryColumns.size(); ++i) {
            categories.labels.push_back(std::to_string(i + 1));
            categories.code.push_back(static_cast<std::uint16_t>(i));
            ids[i] = static_cast<std::uint16_t>(i);
        }
        categories.ordered = true;
    }
    // The final category of each column.
    std::vector<std::uint16_t> code(ids.size());
    for (std::size_t i = 0; i < ids.size(); ++i) code[i] = categories.code[ids[i]];

    ProfileCounter counter(false, true);
    std::vector<CategoryCount> profile;
    bool any = false, row = !header;
    while (row || reader.next()) {
        row = false;
        const std::span<const std::string_view> fields = reader.fields();
        if (allEmpty(fields)) continue;
        if (auto refusal = checkFieldCount(reader, columns, header)) return refusal;
        profile.clear();
        for (std::size_t i = 0; i < categoryColumns.size(); ++i) {
            const std::size_t c = categoryColumns[i];
            const auto count = countOf(fields[c]);
            if (!count || *count > UINT32_MAX)
                return InputError{reader.line(), static_cast<std::int64_t>(c + 1),
                                 "expected how many ratings of the subject fall in category " +
                                     quote(categories.labels[code[i]]) + " (a whole number from 0), found " +
                                     (fields[c].empty() ? std::string("an empty field; write 0 for none")
                                                        : quote(fields[c])) +
                                     (fields[c].empty() || isDecimalNumber(fields[c])
                                          ? std::string()
                                          : std::string(": a file of counts holds numbers; a file with one row per "
                                                        "subject and one column per rater is read with --input "
                                                        "ratings"))};
            if (*count > 0) profile.push_back({static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(*count)});
        }
        if (profile.empty()) continue;  // no rating: not a subject
        counter.add(1, profile);
        any = true;
    }
    if (reader.error()) return reader.error();
    if (!any)
        return InputError{0, 0, header ? "expected rows of counts after the header" : "every count is 0: no subject"};
    study.R = 0;
    study.K = static_cast<std::int32_t>(categories.labels.size());
    study.labels = categories.labels;
    counter.build(study, code, false);
    input.labels = categories.labels;
    input.ordered = categories.ordered;
    return std::nullopt;
}

}  // namespace

std::optional<InputError> readCountsStudies(ByteSource& source, const InputOptions& options, InputDescription& input,
                                            const TakeGroup& take, std::size_t chunk, const ReadAgain&) {
    return readOneStudy(source, options, input, take, chunk, readCounts);
}

}  // namespace kappa
