// Subjects held without a table of response patterns, for the coefficients
// that need none. A study of many raters or many categories keeps
//   - its profiles: each distinct profile, the categories a subject received
//     with how many ratings each, and how many subjects have it;
//   - each rater's ratings by category, the categories it used only;
//   - and, only when something needs to know who gave which rating (Conger's
//     kappa, leaving out subjects with missing ratings), each group of
//     identical subjects with its raters and their categories, in a compact
//     form of a few bytes a rating.
// Memory therefore grows with the distinct profiles, the raters' categories
// and, when kept, the ratings; never with subjects times raters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

namespace kappa {

// One rating: the 0-based rater and the 0-based category it chose.
struct Rating {
    std::uint32_t rater = 0;
    std::uint16_t category = 0;
    bool operator==(const Rating&) const = default;
};

// A category and how many ratings of a subject fall in it.
struct CategoryCount {
    std::uint32_t category = 0;
    std::uint32_t count = 0;
    bool operator==(const CategoryCount&) const = default;
};

// The distinct profiles and their subjects, in the order they were added.
class SubjectProfiles {
public:
    // Adds `subjects` subjects whose profile is `profile` (categories
    // ascending, counts above 0), as a profile of its own.
    void add(std::span<const CategoryCount> profile, std::int64_t subjects);

    std::size_t size() const { return subjects_.size(); }
    std::span<const CategoryCount> profile(std::size_t p) const {
        return {entries_.data() + start_[p], start_[p + 1] - start_[p]};
    }
    std::int64_t subjects(std::size_t p) const { return subjects_[p]; }
    // The number of ratings of profile p.
    std::int64_t ratings(std::size_t p) const { return ratings_[p]; }
    // The largest number of ratings of a subject.
    std::int64_t mostRatings() const { return mostRatings_; }

private:
    std::vector<CategoryCount> entries_;
    std::vector<std::size_t> start_{0};
    std::vector<std::int64_t> subjects_;
    std::vector<std::int64_t> ratings_;
    std::int64_t mostRatings_ = 0;
};

// Each rater's subjects in each category it used, categories ascending.
class RaterCounts {
public:
    struct Entry {
        std::uint32_t category = 0;
        std::int64_t subjects = 0;
        bool operator==(const Entry&) const = default;
    };

    RaterCounts() = default;
    // Rater g's counts are entries[start[g], start[g + 1]).
    RaterCounts(std::vector<Entry> entries, std::vector<std::size_t> start)
        : entries_(std::move(entries)), start_(std::move(start)) {}

    // Adds the next rater.
    void add(std::span<const Entry> counts);

    std::size_t raters() const { return start_.size() - 1; }
    std::span<const Entry> of(std::size_t g) const { return {entries_.data() + start_[g], start_[g + 1] - start_[g]}; }
    // The subjects rater g rated.
    std::int64_t total(std::size_t g) const;

private:
    std::vector<Entry> entries_;
    std::vector<std::size_t> start_{0};
};

// Groups of identical subjects, each with its number of subjects and its
// ratings in rater order, kept in blocks of bytes: each number in as few
// bytes as it needs, each rater as the step from the one before.
class RatedSubjects {
public:
    // Adds `count` subjects rated `ratings` (raters ascending, at least one).
    void add(std::int64_t count, std::span<const Rating> ratings);

    // Calls visit(count, ratings) for every group in the order added; the
    // ratings are valid during the call only.
    template <typename Visit>
    void forEach(Visit&& visit) const {
        std::vector<Rating> ratings;
        for (const std::vector<std::uint8_t>& block : blocks_) {
            const std::uint8_t* at = block.data();
            const std::uint8_t* const end = at + block.size();
            while (at < end) {
                const auto count = static_cast<std::int64_t>(read(at));
                ratings.resize(static_cast<std::size_t>(read(at)));
                std::uint64_t rater = 0;
                for (Rating& rating : ratings) {
                    rater += read(at);
                    rating.rater = static_cast<std::uint32_t>(rater);
                    const auto category = static_cast<std::uint16_t>(read(at));
                    rating.category = code_.empty() ? category : code_[category];
                }
                visit(count, std::span<const Rating>(ratings));
            }
        }
    }

    // From now on category c reads as code[c] (readers add provisional ids,
    // which are renumbered once the file has been read).
    void renumber(std::span<const std::uint16_t> code);

    std::size_t groups() const { return groups_; }
    bool empty() const { return groups_ == 0; }

private:
    static std::uint64_t read(const std::uint8_t*& at) {
        std::uint64_t value = 0;
        for (int shift = 0;; shift += 7) {
            const std::uint8_t byte = *at++;
            value |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
            if (byte < 0x80) return value;
        }
    }

    std::vector<std::vector<std::uint8_t>> blocks_;  // each filled up to its capacity, never beyond
    std::vector<std::uint8_t> scratch_;
    std::vector<std::uint16_t> code_;  // the category each stored one reads as; none: itself
    std::size_t groups_ = 0;
};

}  // namespace kappa
