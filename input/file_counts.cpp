#include "input/file_counts.h"

#include <new>
#include <stdexcept>

#include "input/columns.h"

namespace kappa {

namespace {

// "1st", "2nd", "3rd", "4th", "11th", "21st", ...
std::string ordinal(std::size_t n) {
    const std::size_t last = n % 10, tens = n % 100;
    const char* suffix = tens >= 11 && tens <= 13 ? "th" : last == 1 ? "st" : last == 2 ? "nd" : last == 3 ? "rd" : "th";
    return std::to_string(n) + suffix;
}

}  // namespace

std::optional<InputError> readChecked(const InputOptions& options,
                                      const std::function<std::optional<InputError>()>& read) {
    try {
        if (const auto usage = checkInputOptions(options)) return InputError{0, 0, *usage};
        return read();
    } catch (const std::bad_alloc&) {
        return InputError{0, 0, "not enough memory to read the file"};
    } catch (const std::length_error&) {
        return InputError{0, 0, "not enough memory to read the file"};
    }
}

InputError tooManyGroups(std::int64_t line, std::size_t column) {
    return InputError{
        line, static_cast<std::int64_t>(column + 1),
        "a group beyond the " + ordinal(kMaxGroups) +
            ": --by names a column of groups, one study for each of its values; is it the right column?"};
}

FileCounts fileCountsFor(const InputOptions& options) {
    const bool ratings = options.format == InputFormat::Ratings || options.format == InputFormat::Long;
    return FileCounts(expandCategories(options.categories), ratings ? options.missing : std::vector<std::string>{},
                      options.ignoreCase, ratings, options.keepRaters, options.format != InputFormat::Long);
}

std::optional<InputError> takeGroups(FileCounts& file, const PatternKey& key, const InputOptions& options,
                                     InputDescription& input, const std::function<void(StudyGroup&&)>& take) {
    const CategoryLabels::Final categories = file.labels().finish(kMaxCategories);
    if (categories.span == 0 || !file.anySubject())
        return InputError{
            0, 0,
            "no ratings: every rater's field is empty or a missing token (--missing " + listOf(options.missing) + ")"};
    if (categories.span > kMaxCategories)
        return InputError{0, 0,
                          tooWideASpan(categories.span, kMaxCategories) +
                              "; give the labels with --categories if they are not a scale"};
    input.labels = categories.labels;
    input.ordered = categories.ordered;
    for (std::size_t g = 0; g < file.groups().size(); ++g) take(file.build(g, key, key.R, categories, input.raters));
    return std::nullopt;
}

}  // namespace kappa
