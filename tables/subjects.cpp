#include "tables/subjects.h"

#include <vector>

namespace kappa {

bool knowsRaters(const Study& study) {
    return hasPatternTable(study) || !study.rated.empty() || study.profiles.size() == 0;
}

void forEachSubjectGroup(const Study& study,
                         const std::function<void(std::int64_t count, std::span<const Rating> ratings)>& visit) {
    if (!hasPatternTable(study)) {
        study.rated.forEach(visit);
        return;
    }
    const auto R = static_cast<std::size_t>(study.R);
    std::vector<std::uint16_t> digits(R);
    std::vector<Rating> ratings;
    for (std::size_t p = 0; p < study.frequency.size(); ++p) {
        if (study.frequency[p] <= 0) continue;
        patternDigits(p, study.K, digits);
        ratings.clear();
        for (std::size_t j = 0; j < R; ++j) ratings.push_back({static_cast<std::uint32_t>(j), digits[j]});
        visit(study.frequency[p], ratings);
    }
    for (const IncompleteSubjects& group : study.incomplete) {
        ratings.clear();
        for (std::size_t j = 0; j < group.codes.size(); ++j)
            if (group.codes[j] != kMissing) ratings.push_back({static_cast<std::uint32_t>(j), group.codes[j]});
        if (!ratings.empty() && group.count > 0) visit(group.count, ratings);
    }
}

}  // namespace kappa
