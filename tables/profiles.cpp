#include "tables/profiles.h"

#include <algorithm>

namespace kappa {

void SubjectProfiles::add(std::span<const CategoryCount> profile, std::int64_t subjects) {
    std::int64_t ratings = 0;
    for (const CategoryCount& c : profile) ratings += c.count;
    entries_.insert(entries_.end(), profile.begin(), profile.end());
    start_.push_back(entries_.size());
    subjects_.push_back(subjects);
    ratings_.push_back(ratings);
    mostRatings_ = std::max(mostRatings_, ratings);
}

void RaterCounts::add(std::span<const Entry> counts) {
    entries_.insert(entries_.end(), counts.begin(), counts.end());
    start_.push_back(entries_.size());
}

std::int64_t RaterCounts::total(std::size_t g) const {
    std::int64_t total = 0;
    for (const Entry& e : of(g)) total += e.subjects;
    return total;
}

namespace {

// Bytes of a new block: large enough that few are needed, small enough that
// the last one wastes little.
constexpr std::size_t kBlockBytes = std::size_t{1} << 20;

void write(std::vector<std::uint8_t>& bytes, std::uint64_t value) {
    while (value >= 0x80) {
        bytes.push_back(static_cast<std::uint8_t>(value | 0x80));
        value >>= 7;
    }
    bytes.push_back(static_cast<std::uint8_t>(value));
}

}  // namespace

void RatedSubjects::add(std::int64_t count, std::span<const Rating> ratings) {
    scratch_.clear();
    write(scratch_, static_cast<std::uint64_t>(count));
    write(scratch_, ratings.size());
    std::uint32_t rater = 0;
    for (const Rating& rating : ratings) {
        write(scratch_, rating.rater - rater);
        write(scratch_, rating.category);
        rater = rating.rater;
    }
    if (blocks_.empty() || blocks_.back().capacity() - blocks_.back().size() < scratch_.size()) {
        blocks_.emplace_back().reserve(std::max(kBlockBytes, scratch_.size()));
    }
    blocks_.back().insert(blocks_.back().end(), scratch_.begin(), scratch_.end());
    ++groups_;
}

void RatedSubjects::renumber(std::span<const std::uint16_t> code) {
    if (code_.empty()) {
        code_.assign(code.begin(), code.end());
        return;
    }
    for (std::uint16_t& c : code_) c = code[c];
}

}  // namespace kappa
