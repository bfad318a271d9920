// The variance of a discrete distribution given as terms (weight, value).
#pragma once

#include <algorithm>
#include <cmath>

namespace kappa {

// The sum of w (g - mean)^2 over the terms, mean the w-weighted mean of g, in
// two passes over the same terms: first addToMean for every term, then
// addDeviation for every term again. A variance far below the squares of the
// values keeps its digits this way, where sum w g^2 - mean^2 sum w would
// subtract two nearly equal numbers.
//
// Only the deviations need to be accurate: a mean that is off by delta adds
// just delta^2 sum w to the result. So g may come in a wider type than
// double, and each deviation is formed in that type. The first pass also
// finds how far apart the values of positive weight are, which says whether
// they may all be the same (see settledVariance in estimators/rounding.h).
class Variance {
public:
    template <typename Real>
    void addToMean(double w, Real g) {
        weight_ += w;
        weighted_ += w * static_cast<double>(g);
        if (w > 0) {
            smallest_ = std::min(smallest_, static_cast<double>(g));
            largest_ = std::max(largest_, static_cast<double>(g));
        }
    }
    template <typename Real>
    void addDeviation(double w, Real g) {
        if (!centred_) {
            mean_ = weighted_ / weight_;
            centred_ = true;
        }
        const auto deviation = static_cast<double>(g - mean_);
        sum_ += w * (deviation * deviation);
    }
    double value() const { return sum_; }
    // The largest value of positive weight less the smallest; 0 without any.
    double spread() const { return largest_ >= smallest_ ? largest_ - smallest_ : 0.0; }

private:
    bool centred_ = false;
    double mean_ = 0.0;
    double weight_ = 0.0;
    double weighted_ = 0.0;
    double sum_ = 0.0;
    double smallest_ = HUGE_VAL;
    double largest_ = -HUGE_VAL;
};

}  // namespace kappa
