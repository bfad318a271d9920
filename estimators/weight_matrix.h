// Agreement weights w_kl of the chance-corrected coefficients (Fleiss, Conger,
// Gwet, Brennan-Prediger, Krippendorff, percent agreement).
//
// Category k (0-based here) has the score x_k = k + 1, for every one of the K
// declared categories whether or not the data use it, so xmin = 1 and
// xmax = K. Every matrix is symmetric with w_kk = 1 and 0 <= w_kl <= 1; the
// weights other than the identity are 1 - d_kl / max d for a distance d that
// grows with how far apart the scores are. With a single category (K = 1)
// every weighting is the 1 x 1 matrix [1].
#pragma once

#include <cstdint>
#include <span>

#include "estimators/catalog.h"
#include "tables/matrix.h"

namespace kappa {

// The K x K matrix of weighting w:
//   None       1 if k = l, else 0
//   Quadratic  1 - (x_k - x_l)^2 / (xmax - xmin)^2
//   Linear     1 - |x_k - x_l| / (xmax - xmin)
//   Radical    1 - sqrt(|x_k - x_l|) / sqrt(xmax - xmin)
//   Ratio      1 - [(x_k - x_l) / (x_k + x_l)]^2 / [(xmax - xmin) / (xmax + xmin)]^2
//   Ordinal    d = m (m - 1) / 2 with m = |k - l| + 1 (ranks only)
//   Circular   d = sin^2(pi (x_k - x_l) / U), U = xmax - xmin + 1
//   Bipolar    d = (x_k - x_l)^2 / [(x_k + x_l - 2 xmin)(2 xmax - x_k - x_l)], d_kk = 0
//   KrippendorffOrdinal
//              d = (sum of n_g for g = k..l - (n_k + n_l) / 2)^2 for k <= l,
//              Krippendorff's ordinal metric on the pairable values: n_g is
//              the number of ratings in category g of the subjects with two
//              ratings or more (pairableValues); the identity when there are none
// File weights belong to the pattern table, not to categories: an empty matrix.
Matrix<double> agreementWeights(Weighting w, std::int32_t K, std::span<const double> pairableValues = {});

}  // namespace kappa
