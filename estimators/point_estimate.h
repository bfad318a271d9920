// What every estimator gives: a coefficient's value with its large-sample
// variance, the agreement it is formed from, the subjects it describes and the
// distribution its Wald statistic is referred to. Tests and intervals are made
// from this alone (inference/wald.h); an estimator knows nothing of them.
//
// A value that cannot be computed is NaN (or infinite, where the arithmetic
// gives that), and the notes say why.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace kappa {

inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The reference distribution of a Wald statistic: the standard normal, or
// Student's t on `df` degrees of freedom.
enum class Distribution { Normal, StudentT };

struct PointEstimate {
    double value = kNaN;
    // 1 - value, formed from observed and chance disagreement where the
    // estimator has them, so that a value near 1 keeps the digits of its
    // distance from 1; NaN where it is not formed apart from the value.
    double complement = kNaN;
    double variance = kNaN;
    double observed = kNaN;  // observed agreement (disagreement for weighted Hubert's kappa)
    double chance = kNaN;    // chance-expected agreement (disagreement)
    std::int64_t subjects = 0;
    Distribution distribution = Distribution::Normal;
    double df = kNaN;  // Student's t only
    std::vector<std::string> notes = {};  // a sentence for every missing value and caveat
};

}  // namespace kappa
