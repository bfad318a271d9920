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

void FileCounts::countByProfile(const PatternKey& key) {
    if (!byPattern_) return;
    byPattern_ = false;
    for (std::size_t g = 0; g < counts_.size(); ++g) {
        counts_[g].forEach([&](std::uint64_t pattern, std::int64_t count, std::int64_t line) {
            profiles_[g].add(count, ratingsOf(key, pattern), line);
        });
        counts_[g] = PatternCounts();
    }
}

void FileCounts::beyondTable() {
    keepNow_ = keepRaters_;
    merging_ = false;
    for (ProfileCounter& counter : profiles_) {
        if (!keepNow_) counter.stopKeepingRaters();
        counter.stopMerging();
    }
}

std::optional<std::size_t> FileCounts::group(std::string_view name) {
    if (!groups_.empty() && name == groups_[last_]) return last_;
    if (const auto index = groupIndex_.find(name)) return last_ = *index;
    if (groups_.size() == kMaxGroups) return std::nullopt;
    groupIndex_.intern(name);
    groups_.emplace_back(name);
    counts_.emplace_back();
    profiles_.emplace_back(keepNow_, perRater_);
    if (!keepNow_ || !merging_) profiles_.back().stopMerging();
    return last_ = groups_.size() - 1;
}

bool FileCounts::anySubject() const {
    return std::any_of(counts_.begin(), counts_.end(), [](const PatternCounts& c) { return c.size() > 0; }) ||
           std::any_of(profiles_.begin(), profiles_.end(), [](const ProfileCounter& c) { return !c.empty(); });
}

StudyGroup FileCounts::build(std::size_t g, const PatternKey& key, std::int32_t R, const CategoryLabels::Final& categories,
                 const std::vector<std::string>& names) {
    StudyGroup group{groups_[g], Study{}, {}};
    // A rater who gave no rating in this group is not one of its raters.
    std::vector<bool> rated(static_cast<std::size_t>(R), false);
    if (byPattern_)
        counts_[g].forEach([&](std::uint64_t pattern, std::int64_t, std::int64_t) {
            for (const Rating& rating : ratingsOf(key, pattern)) rated[rating.rater] = true;
        });
    else
        rated = profiles_[g].rated(static_cast<std::size_t>(R));
    std::vector<std::uint32_t> index(rated.size());
    std::vector<std::string> raters, idle;
    for (std::size_t j = 0; j < rated.size(); ++j) {
        index[j] = static_cast<std::uint32_t>(raters.size());
        (rated[j] ? raters : idle).push_back(j < names.size() ? names[j] : std::to_string(j + 1));
    }
    if (!idle.empty()) {
        group.notes.push_back(
            (idle.size() == 1 ? "rater " + quote(idle[0]) + " gave" : "raters " + listOf(idle) + " gave") +
            " no rating" + (groups_.size() > 1 ? " in this group" : "") + ", so " +
            (idle.size() == 1 ? "it is not a rater" : "they are not raters") + " of the study");
        R = static_cast<std::int32_t>(raters.size());
    }
    const bool fits = R <= kMaxRaters &&
                      patternCount(static_cast<std::int32_t>(categories.labels.size()), R) <= kMaxPatterns;
    bool byPattern = byPattern_;
    if (byPattern && (!fits || !idle.empty())) {
        ProfileCounter counter(keepRaters_ || fits, perRater_);
        counts_[g].forEach([&](std::uint64_t pattern, std::int64_t count, std::int64_t line) {
            ratingsOf(key, pattern);
            for (Rating& rating : ratings_) rating.rater = index[rating.rater];
            counter.add(count, ratings_, line);
        });
        counts_[g] = PatternCounts();
        profiles_[g] = std::move(counter);
        byPattern = false;
    } else if (!byPattern && !idle.empty()) {
        profiles_[g].renumberRaters(index);
    }
    Study& study = group.study;
    if (byPattern) {
        study = counts_[g].build(key, categories);
    } else {
        study.R = R;
        study.K = static_cast<std::int32_t>(categories.labels.size());
        study.labels = categories.labels;
        profiles_[g].build(study, categories.code, fits && profiles_[g].keepsRaters());
    }
    study.raterNames = raters;
    return group;
}

InputError FileCounts::fieldError(CategoryLabels::Lookup outcome, std::string_view text, std::uint16_t id, std::int64_t line,
                      std::size_t column, const std::string& who, std::int32_t R, const char* hint) const {
    std::string message = labels_.refusal(outcome, text, id, R, missingApplies_);
    if (outcome == CategoryLabels::Lookup::TooMany) message += hint;
    return InputError{line, static_cast<std::int64_t>(column + 1), who.empty() ? message : who + ": " + message};
}

std::span<const Rating> FileCounts::ratingsOf(const PatternKey& key, std::uint64_t pattern) {
    ratings_.clear();
    const std::uint64_t missing = key.missingCode();
    for (std::int32_t j = 0; j < key.R; ++j) {
        const std::uint64_t id = (pattern >> (key.bits * (key.R - 1 - j))) & missing;
        if (id != missing) ratings_.push_back({static_cast<std::uint32_t>(j), static_cast<std::uint16_t>(id)});
    }
    return ratings_;
}

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

std::optional<InputError> readOneStudy(ByteSource& source, const InputOptions& options, InputDescription& input,
                                       const std::function<void(StudyGroup&&)>& take, std::size_t chunk,
                                       ReadOneStudy read) {
    return readChecked(options, [&]() -> std::optional<InputError> {
        DelimitedReader reader(source, options.delimiter, chunk);
        FileCounts file = fileCountsFor(options);
        Study study;
        if (auto error = read(reader, options, file, input, study)) return error;
        input.delimiter = reader.delimiter();
        study.raterNames = input.raters;
        take(StudyGroup{std::string(), std::move(study), {}});
        return std::nullopt;
    });
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

std::optional<InputError> refuseCategoriesFound(const CategoryLabels::Final& categories, bool anyRating,
                                                const InputOptions& options) {
    if (categories.span == 0 || !anyRating)
        return InputError{
            0, 0,
            "no ratings: every rater's field is empty or a missing token (--missing " + listOf(options.missing) + ")"};
    if (categories.span > kMaxCategories)
        return InputError{0, 0,
                          tooWideASpan(categories.span, kMaxCategories) +
                              "; give the labels with --categories if they are not a scale"};
    return std::nullopt;
}

std::optional<InputError> takeGroups(FileCounts& file, const PatternKey& key, const InputOptions& options,
                                     InputDescription& input, const std::function<void(StudyGroup&&)>& take) {
    const CategoryLabels::Final categories = file.labels().finish(kMaxCategories);
    if (auto refusal = refuseCategoriesFound(categories, file.anySubject(), options)) return refusal;
    input.labels = categories.labels;
    input.ordered = categories.ordered;
    for (std::size_t g = 0; g < file.groups().size(); ++g) take(file.build(g, key, key.R, categories, input.raters));
    return std::nullopt;
}

}  // namespace kappa
