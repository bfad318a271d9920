// The data model of the coverage study (bench/coverage.cpp), whose every
// coefficient has a population value known exactly.
//
// Each subject has a true category c drawn from the prevalences pi. With
// probability theta every rater gives c; otherwise each rater draws a category
// on their own from pi. Every rater's marginal distribution is then pi, and
// two raters agree with weight
//
//     p_a = theta + (1 - theta) p_F,    p_F = sum_kl w_kl pi_k pi_l,
//
// since unanimous ratings agree with weight w_kk = 1. So every kappa whose
// chance agreement is that of raters who answer independently with their own
// marginals (Cohen's, Conger's, Fleiss' and Krippendorff's, whose raters here
// share pi) is (p_a - p_F) / (1 - p_F) = theta. Hubert's kappa counts all raters
// agreeing at once: P(all agree) = theta + (1 - theta) sum_k pi_k^R against
// chance sum_k pi_k^R, again theta; weighted, its disagreement weight is 0
// where all agree, so E v = (1 - theta) E_chance v and kappa = theta. The
// coefficients with another chance agreement have other values:
//
//     percent agreement  p_a
//     Gwet's AC1/AC2     (p_a - p_G) / (1 - p_G),  p_G = T_w / (K (K - 1)) sum_k pi_k (1 - pi_k)
//     Brennan-Prediger   (p_a - T_w / K^2) / (1 - T_w / K^2)
//
// with T_w the sum of all weights. These are the limits of the estimates as
// the number of subjects grows; bench/coverage_truth.py computes them from
// the pattern probabilities in exact arithmetic.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "estimators/weight_matrix.h"
#include "inference/estimate.h"
#include "pattern_file.h"

namespace kappa::bench {

class AgreementModel {
public:
    AgreementModel(std::int32_t R, std::vector<double> prevalence, double theta)
        : R_(R), prevalence_(std::move(prevalence)), theta_(theta) {}

    std::int32_t raters() const { return R_; }
    std::int32_t categories() const { return static_cast<std::int32_t>(prevalence_.size()); }
    double theta() const { return theta_; }

    // One subject's response pattern: the raters' categories as the digits of
    // a base-K number, rater 0 the most significant (the order of Study).
    std::size_t drawPattern(SplitMix64& random) const {
        const bool unanimous = uniform(random) < theta_;
        const std::size_t shared = unanimous ? drawCategory(random) : 0;
        std::size_t pattern = 0;
        for (std::int32_t j = 0; j < R_; ++j)
            pattern = pattern * prevalence_.size() + (unanimous ? shared : drawCategory(random));
        return pattern;
    }

    // The population value of coefficient c with the agreement weights of
    // `weights` (for Hubert's kappa any disagreement weights that are 0 where
    // all raters agree).
    double trueValue(Coefficient c, Weighting weights) const {
        switch (c) {
            case Coefficient::Kappa:
            case Coefficient::Fleiss:
            case Coefficient::Conger:
            case Coefficient::Alpha: return theta_;
            default: break;
        }
        const std::size_t K = prevalence_.size();
        const Matrix<double> w = agreementWeights(weights, static_cast<std::int32_t>(K));
        double independent = 0, total = 0, spread = 0;  // p_F, T_w, sum pi_k (1 - pi_k)
        for (std::size_t k = 0; k < K; ++k) {
            spread += prevalence_[k] * (1 - prevalence_[k]);
            for (std::size_t l = 0; l < K; ++l) {
                independent += w[k][l] * prevalence_[k] * prevalence_[l];
                total += w[k][l];
            }
        }
        const double observed = theta_ + (1 - theta_) * independent;
        const auto corrected = [observed](double chance) { return (observed - chance) / (1 - chance); };
        const double categories = static_cast<double>(K);
        switch (c) {
            case Coefficient::Gwet: return corrected(total / (categories * (categories - 1)) * spread);
            case Coefficient::BrennanPrediger: return corrected(total / (categories * categories));
            default: return observed;  // percent agreement
        }
    }

private:
    static double uniform(SplitMix64& random) { return static_cast<double>(random.next() >> 11) * 0x1p-53; }

    std::size_t drawCategory(SplitMix64& random) const {
        double u = uniform(random);
        for (std::size_t k = 0; k + 1 < prevalence_.size(); ++k) {
            if (u < prevalence_[k]) return k;
            u -= prevalence_[k];
        }
        return prevalence_.size() - 1;
    }

    std::int32_t R_;
    std::vector<double> prevalence_;
    double theta_;
};

}  // namespace kappa::bench
