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

#include "input/delimited.h"
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
    void countByProfile(const PatternKey& key);

    // The file has more raters than a table of response patterns takes: which
    // rater gave each rating is kept only when asked for, and identical
    // subjects are no longer looked for (with many raters there are few).
    void beyondTable();

    // The number of the group named `name`, new groups taking the next one;
    // none beyond kMaxGroups.
    std::optional<std::size_t> group(std::string_view name);

    bool anySubject() const;

    // Group g's study, of R raters with `names`, in `categories`: with its
    // table of response patterns where it fits, else by profile.
    StudyGroup build(std::size_t g, const PatternKey& key, std::int32_t R, const CategoryLabels::Final& categories,
                     const std::vector<std::string>& names);

    // The refusal of a field that is not a rating: `who` names the subject
    // when the file identifies it, `hint` says what may be wrong when there
    // are too many labels. `id` is what the lookup gave (for a CaseVariant,
    // the label the text differs from).
    InputError fieldError(CategoryLabels::Lookup outcome, std::string_view text, std::uint16_t id, std::int64_t line,
                          std::size_t column, const std::string& who, std::int32_t R, const char* hint) const;

private:
    // The ratings a pattern key holds.
    std::span<const Rating> ratingsOf(const PatternKey& key, std::uint64_t pattern);

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

// The reading of a file that is one study (a cross-table, a file of counts):
// `read` makes the study of the file's records, naming its raters in
// input.raters (if it has any), and the study goes to `take`.
using ReadOneStudy = std::optional<InputError> (*)(DelimitedReader& reader, const InputOptions& options,
                                                    FileCounts& file, InputDescription& input, Study& study);
std::optional<InputError> readOneStudy(ByteSource& source, const InputOptions& options, InputDescription& input,
                                       const std::function<void(StudyGroup&&)>& take, std::size_t chunk,
                                       ReadOneStudy read);

// The refusal of a group beyond kMaxGroups, at `column` (0-based) of `line`.
InputError tooManyGroups(std::int64_t line, std::size_t column);

// The counts of a file read with `options`.
FileCounts fileCountsFor(const InputOptions& options);

// The refusal of the categories found in ratings once they are all read:
// none at all (`anyRating` false), or whole numbers that span too many.
std::optional<InputError> refuseCategoriesFound(const CategoryLabels::Final& categories, bool anyRating,
                                                const InputOptions& options);

// The categories of a ratings or long file once it is read, and each group's
// study of its R raters (their names in input.raters) handed to `take`; the
// refusal of a file without ratings, or of labels that span too many
// categories.
std::optional<InputError> takeGroups(FileCounts& file, const PatternKey& key, const InputOptions& options,
                                     InputDescription& input, const std::function<void(StudyGroup&&)>& take);

}  // namespace kappa
