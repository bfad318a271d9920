// A walk through the K^R response patterns in increasing order.
//
// Pattern p is p written in base K with R digits, rater 0 the most
// significant, each digit the 0-based category that rater chose. Consecutive
// patterns share their leading digits, so any value that is built rater by
// rater (a running product or sum taken in rater order) can be kept level by
// level and rebuilt only from the first digit that changed: about one level
// per pattern on average instead of R. The values come out exactly as if
// each were formed afresh in rater order, with the same roundings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "tables/matrix.h"

namespace kappa {

class PatternWalk {
public:
    PatternWalk(std::int32_t K, std::int32_t R)
        : K_(static_cast<std::uint16_t>(K)), digits_(static_cast<std::size_t>(R), 0), agreeStep_(agreeStep(K, R)) {}

    bool done() const { return done_; }
    std::size_t pattern() const { return p_; }
    std::span<const std::uint16_t> digits() const { return digits_; }
    // The first rater whose digit differs from the previous pattern's (0 for
    // the first pattern): levels before it are unchanged.
    std::size_t firstChanged() const { return firstChanged_; }
    // Whether all raters chose the same category, k: pattern k (1 + K + ...
    // + K^(R-1)).
    bool allAgree() const { return p_ == digits_[0] * agreeStep_; }

    // Moves on to the next pattern: the last digits that are K - 1 roll over
    // to 0 and the digit before them goes up by one.
    void next() {
        std::size_t j = digits_.size();
        while (j > 0 && digits_[j - 1] == K_ - 1) digits_[--j] = 0;
        if (j == 0) {
            done_ = true;
            return;
        }
        ++digits_[j - 1];
        firstChanged_ = j - 1;
        ++p_;
    }

private:
    static std::size_t agreeStep(std::int32_t K, std::int32_t R) {
        std::size_t step = 0;
        for (std::int32_t j = 0; j < R; ++j) step = step * static_cast<std::size_t>(K) + 1;
        return step;
    }

    std::uint16_t K_;
    std::vector<std::uint16_t> digits_;
    std::size_t agreeStep_;
    std::size_t p_ = 0;
    std::size_t firstChanged_ = 0;
    bool done_ = false;
};

// Sum over raters of table[d_j][j] for the current pattern's digits d, added
// in rater order starting from 0.
template <typename Real>
class RaterSum {
public:
    explicit RaterSum(const Matrix<Real>& table) : table_(table), partial_(table.cols() + 1, Real{0}) {}

    void update(const PatternWalk& walk) {
        const auto d = walk.digits();
        for (std::size_t j = walk.firstChanged(); j < d.size(); ++j) partial_[j + 1] = partial_[j] + table_[d[j]][j];
    }
    Real value() const { return partial_.back(); }

private:
    const Matrix<Real>& table_;
    std::vector<Real> partial_;  // partial_[j]: the sum over raters before j
};

// The chance probability of the current pattern, patternChance = product over raters
// of t[d_j][j] in rater order, and optionally the products that leave one
// rater out, withoutRater[j], each the other factors multiplied in rater order.
class ChanceProducts {
public:
    // t[k][j]: the marginal proportion of category k for rater j.
    ChanceProducts(const Matrix<double>& t, bool leaveOneOut)
        : t_(t), R_(t.cols()), leaveOneOut_(leaveOneOut), prefix_(R_ + 1, 1.0), without_(leaveOneOut ? R_ + 1 : 0, R_) {}

    void update(const PatternWalk& walk) {
        const auto d = walk.digits();
        for (std::size_t l = walk.firstChanged(); l < R_; ++l) {
            const double factor = t_[d[l]][l];
            prefix_[l + 1] = prefix_[l] * factor;
            if (!leaveOneOut_) continue;
            // without_[l][j], j < l: the factors of raters before l but j.
            const auto before = without_[l];
            const auto after = without_[l + 1];
            for (std::size_t j = 0; j < l; ++j) after[j] = before[j] * factor;
            after[l] = prefix_[l];
        }
    }
    double patternChance() const { return prefix_[R_]; }
    std::span<const double> withoutRater() const { return without_[R_]; }

private:
    const Matrix<double>& t_;
    std::size_t R_;
    bool leaveOneOut_;
    std::vector<double> prefix_;  // prefix_[l]: the product of the factors of raters before l
    Matrix<double> without_;
};

}  // namespace kappa
