#include "input/study_reader.h"

#include <cstdint>
#include <string>
#include <vector>

#include "input/layouts.h"
#include "input/printable.h"
#include "input/study_builder.h"

namespace kappa {

std::vector<std::string> expandCategories(const std::vector<std::string>& categories) {
    if (categories.size() == 1) {
        if (const auto N = wholeNumberLabel(categories[0]); N && *N >= 1 && *N <= kMaxPatterns) {
            std::vector<std::string> labels;
            for (std::int64_t k = 1; k <= *N; ++k) labels.push_back(std::to_string(k));
            return labels;
        }
    }
    return categories;
}

std::optional<std::string> checkInputOptions(const InputOptions& options) {
    if (options.delimiter && !isDelimiter(*options.delimiter))
        return "--delimiter must be TAB ('\\t'), ',', ';', '|' or ' ' (runs of blanks)";
    if (options.format == InputFormat::Matrix &&
        (!options.columns.empty() || !options.id.empty() || !options.by.empty()))
        return "--columns, --id and --by are for ratings and long files, not for a matrix";
    if (options.format == InputFormat::Long && !options.columns.empty() && options.columns.size() != 3)
        return "--columns of a long file names three columns, subject, rater and category; found " +
               std::to_string(options.columns.size());
    for (const std::string& wanted : options.columns)
        if (wanted.empty()) return std::string("--columns has an empty item");
    const auto largestK = static_cast<std::size_t>(largestCategoryCount(2));
    if (options.categories.size() == 1)
        if (const auto N = wholeNumberLabel(options.categories[0]); N && *N > static_cast<std::int64_t>(largestK))
            return "--categories gives " + std::to_string(*N) + " categories, at most " + std::to_string(largestK) +
                   " (K^R at most " + kMaxPatternsText + " with R at least 2)";
    const std::vector<std::string> labels = expandCategories(options.categories);
    if (!options.categories.empty()) {
        if (options.categories.size() == 1 && labels.size() == 1)
            return "--categories needs at least two categories: a number N of at least 2, or a list of labels";
        if (labels.size() > largestK)
            return "--categories gives " + std::to_string(labels.size()) + " categories, at most " +
                   std::to_string(largestK) + " (K^R at most " + kMaxPatternsText + " with R at least 2)";
        for (std::size_t k = 0; k < labels.size(); ++k) {
            if (labels[k].empty()) return std::string("--categories has an empty label");
            const std::string label = canonicalLabel(labels[k]);
            for (std::size_t earlier = 0; earlier < k; ++earlier)
                if (canonicalLabel(labels[earlier]) == label)
                    return "--categories gives the category " + quote(labels[k]) + " twice";
            for (const std::string& token : options.missing)
                if (canonicalLabel(token) == label)
                    return "--categories gives " + quote(labels[k]) +
                           ", which is also a missing token: give --missing without it";
        }
    }
    return std::nullopt;
}

std::optional<InputError> readStudies(ByteSource& source, const InputOptions& options, InputDescription& input,
                                     const std::function<void(StudyGroup&&)>& take, std::size_t chunk,
                                     const ReadAgain& again) {
    input = InputDescription{};
    return inputLayout(options.format).read(source, options, input, take, chunk, again);
}

StudiesRead readStudies(ByteSource& source, const InputOptions& options) {
    StudiesRead read;
    read.error =
        readStudies(source, options, read.input, [&](StudyGroup&& group) { read.groups.push_back(std::move(group)); });
    if (read.error) read.groups.clear();
    return read;
}

}  // namespace kappa
