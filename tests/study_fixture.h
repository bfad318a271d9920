// Studies for the tests: by the frequency of every response pattern, or by
// the rows of a table file.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tables/study.h"

namespace kappa::fixture {

// A study given by the frequency of every response pattern, pattern p being
// p written in base K with R digits, the first rater's digit first.
inline Study studyOf(std::int32_t K, std::int32_t R, const std::vector<std::int64_t>& frequencies) {
    Study study;
    study.R = R;
    study.K = K;
    for (std::int32_t k = 1; k <= K; ++k) study.labels.push_back(std::to_string(k));
    study.frequency.assign(frequencies.begin(), frequencies.end());
    study.frequency.resize(patternCount(K, R));
    return study;
}

// Whether a value is the one expected to within `tolerance`: NaN when NaN is
// expected, the same infinity when an infinity is.
inline bool near(double actual, double expected, double tolerance) {
    if (std::isnan(expected)) return std::isnan(actual);
    return actual == expected || std::abs(actual - expected) <= tolerance;
}

// The entries of a table row or a per-pattern table, to compare as a whole.
template <typename Range>
auto values(const Range& range) {
    return std::vector(range.begin(), range.end());
}

// Small deterministic generator for the randomised studies of the tests.
class Lcg {
public:
    explicit Lcg(std::uint64_t seed) : state_(seed) {}
    std::int32_t below(std::int32_t bound) {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::int32_t>((state_ >> 33) % static_cast<std::uint64_t>(bound));
    }

private:
    std::uint64_t state_;
};

}  // namespace kappa::fixture
