// Coefficients of the restricted variance, the variance of kappa evaluated
// under a hypothesised value k0 instead of at the estimate, and the variance
// terms of the independence tests.
//
// Unweighted. Kappa = (I0 - Ie) / Q, Q = 1 - Ie. A subject of response pattern
// p adds g_p = delta_p - (1 - kappa) U_p to the linearised I0 - (1 - kappa) Ie
// (delta_p = 1 when its raters all agree; U_p the sum over raters j of the
// chance products of the other raters' categories, T_k on the all-agree
// pattern of k), and Var(kappa) = Var(g) / (n Q^2), Var(g) taken over the
// subjects. With the observed moments X = sum_k n_k T_k / n (n_k the subjects
// on whom all chose k) and Y = sum_p F_p U_p^2 / n, and sum_p F_p U_p / n =
// R Ie (each rater's margins times the others' products),
//   E g^2 = I0 - 2 (1 - kappa) X + (1 - kappa)^2 Y,   E g = I0 - (1 - kappa) R Ie.
// Under kappa0, with u = 1 - kappa0, the observed agreement is the value the
// hypothesis gives it, I0 = 1 - u Q, and
//   Var(g) = E g^2 - (E g)^2 = a u^2 - 2 b u,
//   a = Y - (1 + (R - 1) Ie)^2,   b = X - (1 + (2 R - 1) Ie) / 2,
// which at kappa0 = kappa is the variance of the estimate. The test of
// independence is that of kappa = 0 with the moments of g = delta - U under
// the chance probabilities of the patterns themselves: its variance term is
// sum_p patternChance_p (g_p - mean)^2.
//
// Weighted (Shuster and Smith), with disagreement weights v_p: kappa = 1 -
// D_o / Q, D_o = sum_p F_p v_p / n, Q = sum_p patternChance_p v_p. A subject
// adds e_p = v_p - (1 - kappa) s_p, s_p the sum over raters j of vbar[c_j][j],
// the weight expected when j answers c_j and the others answer by chance;
// sum_p F_p s_p / n = R Q, so E e = D_o - (1 - kappa) R Q. Under kappa0, D_o =
// u Q, and with X = sum F v s / n, Y = sum F s^2 / n, Z = sum F v^2 / n,
//   Var(e) = Z - 2 u X + u^2 Y - (u (R - 1) Q)^2 = c + u^2 a - 2 u b,
//   a = Y - ((R - 1) Q)^2,   b = X,   c = Z.
// The same with the agreement weights w = 1 - v (the residual w_p - u s_p^w,
// s^w = R - s, its observed moments about its mean under kappa0, 1 - u Q -
// u R (1 - Q)) differs from this by 2 Q (1 - R u) (kappa - kappa0), linear in
// kappa0 and 0 at the estimate: with D_o = (1 - kappa) Q its coefficients are
//   a_w = a - 2 R Q,   b_w = b - Q (R (1 - kappa) + 1),   c_w = c - 2 Q (1 - kappa).
// The coverage study (bench/coverage.sh) finds the size of the test based on w
// nearer the nominal level than that of the test based on v.
#pragma once

#include "agreement/chance.h"
#include "agreement/patterns.h"
#include "estimators/kappa.h"
#include "estimators/weighted_kappa.h"
#include "tables/study.h"

namespace kappa {

// Unweighted: the restricted variance at k0 is
//   (a (1 - k0)^2 - 2 b (1 - k0)) / (n Q^2)
// and independenceVariance is the variance term of the independence test.
// The errors bound the rounding errors of a and b (estimators/rounding.h);
// independenceVariance is exactly 0 when it is within its own.
struct UnweightedRestricted {
    double a = 0.0, b = 0.0;
    double independenceVariance = 0.0;
    double aError = 0.0, bError = 0.0;
};
UnweightedRestricted unweightedRestricted(const Study& study, const AgreementCounts& counts, const Marginals& m,
                                  const UnweightedKappa& kappa);

// Weighted, for one weight set: with u = 1 - k0 the restricted variance is
//   (c + u^2 a - 2 u b) / (Q^2 n)
// and weightedIndependenceVariance is the variance term of the independence test.
struct WeightedRestricted {
    double chanceDisagreement = 0.0;  // Q, the sum of v_p patternChance_p
    double chanceAgreement = 0.0;     // 1 - Q
    double a = 0.0, b = 0.0, c = 0.0;
    double weightedIndependenceVariance = 0.0;
    double aError = 0.0, bError = 0.0, cError = 0.0;  // as in UnweightedRestricted
};
WeightedRestricted weightedRestricted(const Study& study, const AgreementCounts& counts, const Marginals& m,
                                const WeightedKappa& kappa);

}  // namespace kappa
