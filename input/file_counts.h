// What the delimited layouts share while a file is read: its categories, and
// its groups (of --by) with their subjects counted as they come.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "input/input.h"
#include "input/printable.h"
#include "input/study_builder.h"
#include "input/study_reader.h"

namespace kappa {

// Groups of --by a file may have, at most: beyond them --by names a column of
// identifiers rather than groups, and memory would grow with the file.
constexpr std::size_t kMaxGroups = 100000;

// Everything the layouts share while a file is read: the categories, and the
// groups with their subjects counted by response pattern while the raters and
// labels fit a pattern key, by profile beyond.
class FileCounts {
public:
    // `missingApplies`: the file has ratings that may be missing (not a
    // cross-table). `keepRaters`: keep which rater gave each rating when
    // counting by profile. `perRater`: the raters are columns (RaterTally).
    FileCounts(std::vector<std::string> explicitLabels, std::vector<std::string> missing, bool ignoreCase,
               bool missingApplies, bool keepRaters = false, bool perRater = true)
        : explicit_(std::move(explicitLabels)),
          missing_(std::move(missing)),
          labels_(explicit_, missing_, ignoreCase),
          missingApplies_(missingApplies),
          keepRaters_(keepRaters),
          perRater_(perRater) {}

    CategoryLabels& labels() { return labels_; }
    const std::vector<std::string>& groups() const { return groups_; }
    bool byPattern() const { return byPattern_; }

    // Counts a subject of group g (a number from group()): by its pattern,
    // or by its ratings (raters ascending).
    void add(std::size_t g, std::uint64_t pattern, std::int64_t line) { counts_[g].add(pattern, line); }
    void add(std::size_t g, std::span<const Rating> ratings, std::int64_t line) { profiles_[g].add(1, ratings, line); }

    // From now on subjects are counted by profile: those counted by pattern
    // so far, under `key`, are counted again so.
    void countByProfile(const PatternKey& key) {
        if (!byPattern_) return;
        byPattern_ = false;
        for (std::size_t g = 0; g < counts_.size(); ++g) {
            counts_[g].forEach([&](std::uint64_t pattern, std::int64_t count, std::int64_t line) {
                profiles_[g].add(count, ratingsOf(key, pattern), line);
            });
            counts_[g] = PatternCounts();
        }
    }

    // The file has more raters than a table of response patterns takes: which
    // rater gave each rating is kept only when asked for, and identical
    // subjects are no longer looked for (with many raters there are few).
    void beyondTable() {
        keepNow_ = keepRaters_;
        merging_ = false;
        for (ProfileCounter& counter : profiles_) {
            if (!keepNow_) counter.stopKeepingRaters();
            counter.stopMerging();
        }
    }

    // The number of the group named `name`, new groups taking the next one;
    // none beyond kMaxGroups.
    std::optional<std::size_t> group(std::string_view name) {
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

    bool anySubject() const {
        return std::any_of(counts_.begin(), counts_.end(), [](const PatternCounts& c) { return c.size() > 0; }) ||
               std::any_of(profiles_.begin(), profiles_.end(), [](const ProfileCounter& c) { return !c.empty(); });
    }

    // Group g's study, of R raters with `names`, in `categories`: with its
    // table of response patterns where it fits, else by profile.
    StudyGroup build(std::size_t g, const PatternKey& key, std::int32_t R, const CategoryLabels::Final& categories,
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

    // The refusal of a field that is not a rating: `who` names the subject
    // when the file identifies it, `hint` says what may be wrong when there
    // are too many labels. `id` is what the lookup gave (for a CaseVariant,
    // the label the text differs from).
    InputError fieldError(CategoryLabels::Lookup outcome, std::string_view text, std::uint16_t id, std::int64_t line,
                          std::size_t column, const std::string& who, std::int32_t R, const char* hint) const {
        std::string message = labels_.refusal(outcome, text, id, R, missingApplies_);
        if (outcome == CategoryLabels::Lookup::TooMany) message += hint;
        return InputError{line, static_cast<std::int64_t>(column + 1), who.empty() ? message : who + ": " + message};
    }

private:
    // The ratings a pattern key holds.
    std::span<const Rating> ratingsOf(const PatternKey& key, std::uint64_t pattern) {
        ratings_.clear();
        const std::uint64_t missing = key.missingCode();
        for (std::int32_t j = 0; j < key.R; ++j) {
            const std::uint64_t id = (pattern >> (key.bits * (key.R - 1 - j))) & missing;
            if (id != missing) ratings_.push_back({static_cast<std::uint32_t>(j), static_cast<std::uint16_t>(id)});
        }
        return ratings_;
    }

    std::vector<std::string> explicit_;
    std::vector<std::string> missing_;
    CategoryLabels labels_;
    bool missingApplies_;
    bool keepRaters_;
    bool perRater_;
    bool byPattern_ = true;
    bool keepNow_ = true;  // new groups keep which rater gave each rating
    bool merging_ = true;  // new groups merge identical subjects
    std::vector<std::string> groups_;
    std::vector<PatternCounts> counts_;
    std::vector<ProfileCounter> profiles_;
    StringTable groupIndex_;
    std::size_t last_ = 0;
    std::vector<Rating> ratings_;
};


// Runs `read`, the reading of a delimited layout, once the options are
// checked: the refusal of options that do not go together, of a file that
// needs more memory than there is, or read's own.
std::optional<InputError> readChecked(const InputOptions& options,
                                      const std::function<std::optional<InputError>()>& read);

// The refusal of a group beyond kMaxGroups, at `column` (0-based) of `line`.
InputError tooManyGroups(std::int64_t line, std::size_t column);

// The counts of a file read with `options`.
FileCounts fileCountsFor(const InputOptions& options);

// The categories of a ratings or long file once it is read, and each group's
// study of its R raters (their names in input.raters) handed to `take`; the
// refusal of a file without ratings, or of labels that span too many
// categories.
std::optional<InputError> takeGroups(FileCounts& file, const PatternKey& key, const InputOptions& options,
                                     InputDescription& input, const std::function<void(StudyGroup&&)>& take);

}  // namespace kappa
