// The variance of a discrete distribution given as terms (weight, value).
#pragma once

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
// double, and each deviation is formed in that type. The mean is summed with
// compensation, so that it is as accurate as each g whatever the number of
// terms: when every g is the same, each deviation is then no larger than the
// rounding error of the g (see settledVariance in estimators/rounding.h).
class Variance {
public:
    template <typename Real>
    void addToMean(double w, Real g) {
        weight_.add(w);
        weighted_.add(w * static_cast<double>(g));
    }
    template <typename Real>
    void addDeviation(double w, Real g) {
        if (!centred_) {
            mean_ = weighted_.value() / weight_.value();
            centred_ = true;
        }
        const auto deviation = static_cast<double>(g - mean_);
        sum_ += w * (deviation * deviation);
    }
    double value() const { return sum_; }

    // The total weight sum w.
    double weight() const { return weight_.value(); }

private:
    // Neumaier's compensated sum: the rounding error of each addition is
    // kept apart and added back at the end.
    class CompensatedSum {
    public:
        void add(double x) {
            const double t = sum_ + x;
            correction_ += std::abs(sum_) >= std::abs(x) ? (sum_ - t) + x : (x - t) + sum_;
            sum_ = t;
        }
        double value() const { return sum_ + correction_; }

    private:
        double sum_ = 0.0;
        double correction_ = 0.0;
    };

    bool centred_ = false;
    double mean_ = 0.0;
    CompensatedSum weight_;
    CompensatedSum weighted_;
    double sum_ = 0.0;
};

}  // namespace kappa
