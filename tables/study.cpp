#include "tables/study.h"

#include <algorithm>
#include <cstdint>

namespace kappa {

std::size_t patternCount(std::int32_t K, std::int32_t R) {
    const auto base = static_cast<std::size_t>(std::max(K, 0));
    std::size_t count = 1;
    for (std::int32_t j = 0; j < R; ++j) {
        if (base != 0 && count > SIZE_MAX / base) return SIZE_MAX;
        count *= base;
    }
    return count;
}

void patternDigits(std::size_t p, std::int32_t K, std::span<std::uint16_t> digits) {
    const auto base = static_cast<std::size_t>(K);
    for (std::size_t j = digits.size(); j-- > 0; p /= base) digits[j] = static_cast<std::uint16_t>(p % base);
}

std::int64_t completeSubjects(const Study& study) {
    std::int64_t n = 0;
    for (const std::int64_t F : study.frequency) n += F;
    return n;
}

std::string raterName(const Study& study, std::size_t j) {
    return j < study.raterNames.size() ? study.raterNames[j] : "rater " + std::to_string(j + 1);
}

}  // namespace kappa
