// Disagreement weights v of the response patterns, given during a pattern walk.
//
// The derived weights sum over all pairs of raters the distance between their
// categories, squared (quadratic) or absolute (linear), scaled so that the
// largest possible value is 1: the value reached when the raters split as
// evenly as possible between the first and the last category.
#pragma once

#include <cstdint>
#include <span>
#include <variant>
#include <vector>

#include "agreement/pattern_walk.h"

namespace kappa {

// The scale factors 4 / (R^2 (K - 1)^2) and 4 / (R^2 (K - 1)) for even R,
// with (R - 1)(R + 1) in place of R^2 for odd R.
double quadraticFactor(std::int32_t K, std::int32_t R);
double linearFactor(std::int32_t K, std::int32_t R);

// Quadratic weights: factor x the sum over pairs of (d_j - d_j')^2, formed in
// integers as R sum d_j^2 - (sum d_j)^2.
class Quadratic_weight {
public:
    Quadratic_weight(std::int32_t K, std::int32_t R);
    void update(const PatternWalk& walk);
    double value() const { return factor_ * static_cast<double>(R_ * squares_.back() - sums_.back() * sums_.back()); }

private:
    double factor_;
    std::int64_t R_;
    std::vector<std::int64_t> sums_, squares_;  // over the raters before each level
};

// Linear weights: factor x the sum over pairs of |d_j - d_j'|. Rater j adds
// its distance to each rater before it: with fewer categories than raters
// that sum is taken over the categories, from how many raters before j chose
// each one.
class Linear_weight {
public:
    Linear_weight(std::int32_t K, std::int32_t R);
    void update(const PatternWalk& walk);
    double value() const { return factor_ * static_cast<double>(pairs_.back()); }

private:
    double factor_;
    std::size_t K_;
    bool byCategory_;
    std::vector<std::int64_t> pairs_;  // the sum over pairs of raters before each level
    Matrix<std::int64_t> chosen_;      // chosen_[j][k]: raters before j who chose k
};

// The weights of a table file, one per pattern.
class FileWeights {
public:
    explicit FileWeights(std::span<const double> v) : v_(v) {}
    void update(const PatternWalk& walk) { p_ = walk.pattern(); }
    double value() const { return v_[p_]; }

private:
    std::span<const double> v_;
    std::size_t p_ = 0;
};

// Any of the three.
using PatternWeights = std::variant<Quadratic_weight, Linear_weight, FileWeights>;

}  // namespace kappa
