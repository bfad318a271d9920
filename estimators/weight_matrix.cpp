#include "estimators/weight_matrix.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace kappa {

namespace {

// The weights 1 - d_kl / max d of a distance d(k, l) between 0-based
// categories, each distance evaluated once.
template <typename Distance>
Matrix<double> fromDistance(std::size_t K, Distance d) {
    Matrix<double> w(K, K);
    double largest = 0.0;
    for (std::size_t k = 0; k < K; ++k)
        for (std::size_t l = 0; l < K; ++l) largest = std::max(largest, w[k][l] = d(k, l));
    for (std::size_t k = 0; k < K; ++k)
        for (std::size_t l = 0; l < K; ++l) w[k][l] = k == l ? 1.0 : 1 - w[k][l] / largest;
    return w;
}

// The same for a distance that depends only on m = |k - l|, evaluated K times
// rather than K^2.
template <typename GapDistance>
Matrix<double> fromGap(std::size_t K, GapDistance d) {
    std::vector<double> byGap(K);
    double largest = 0.0;
    for (std::size_t m = 0; m < K; ++m) largest = std::max(largest, byGap[m] = d(static_cast<double>(m)));
    for (double& x : byGap) x = 1 - x / largest;  // d(0) = 0: the diagonal is 1
    Matrix<double> w(K, K);
    for (std::size_t k = 0; k < K; ++k)
        for (std::size_t l = 0; l < K; ++l) w[k][l] = byGap[k > l ? k - l : l - k];
    return w;
}

}  // namespace

Matrix<double> agreementWeights(Weighting weighting, std::int32_t categories, std::span<const double> pairableValues) {
    if (weighting == Weighting::File) return {};
    const auto K = static_cast<std::size_t>(std::max(categories, 1));
    if (K == 1 || weighting == Weighting::None) {
        Matrix<double> w(K, K);
        for (std::size_t k = 0; k < K; ++k) w[k][k] = 1.0;
        return w;
    }

    // Scores x_k = k + 1: xmin = 1, xmax = K.
    const double xmin = 1.0;
    const auto xmax = static_cast<double>(K);
    const auto x = [](std::size_t k) { return static_cast<double>(k) + 1; };
    switch (weighting) {
        case Weighting::Quadratic: return fromGap(K, [](double m) { return m * m; });
        case Weighting::Linear: return fromGap(K, [](double m) { return m; });
        case Weighting::Radical: return fromGap(K, [](double m) { return std::sqrt(m); });
        case Weighting::Ratio:
            // The largest distance, at (xmin, xmax), is [(xmax - xmin) / (xmax + xmin)]^2.
            return fromDistance(K, [&](std::size_t k, std::size_t l) {
                const double r = (x(k) - x(l)) / (x(k) + x(l));
                return r * r;
            });
        case Weighting::Ordinal:
            return fromGap(K, [](double gap) {
                const double m = gap + 1;
                return m * (m - 1) / 2;
            });
        case Weighting::Circular: {
            // sin^2(pi m / U) = sin^2(pi (U - m) / U): the shorter way round the
            // circle is used, so that categories equally far apart get equal
            // weights to the last bit. At multiples of 30 and 45 degrees, where
            // sin^2 is 0, 1/4, 1/2, 3/4 or 1, it is that number exactly (K = 3,
            // 4 and 6 have no other angles), so that the weights are exact too.
            const double U = xmax - xmin + 1;
            return fromGap(K, [U](double gap) {
                const double shorter = std::min(gap, U - gap);
                const double twelfths = 12 * shorter / U;  // the angle in units of 15 degrees
                if (twelfths == 0 || twelfths == 2 || twelfths == 3 || twelfths == 4 || twelfths == 6)
                    return twelfths == 0 ? 0.0 : twelfths == 6 ? 1.0 : (twelfths - 1) / 4;
                const double s = std::sin(std::numbers::pi * shorter / U);
                return s * s;
            });
        }
        case Weighting::KrippendorffOrdinal: {
            // delta^2 between categories c <= k: (sum of n_g for g = c..k - (n_c + n_k) / 2)^2,
            // n_g the pairable values in category g.
            std::vector<double> cumulative(K + 1, 0.0);  // cumulative[k]: the values in categories before k
            for (std::size_t k = 0; k < K; ++k)
                cumulative[k + 1] = cumulative[k] + (k < pairableValues.size() ? pairableValues[k] : 0.0);
            if (cumulative[K] == 0) return agreementWeights(Weighting::None, categories);
            return fromDistance(K, [&](std::size_t k, std::size_t l) {
                const std::size_t c = std::min(k, l), h = std::max(k, l);
                const double nc = cumulative[c + 1] - cumulative[c], nh = cumulative[h + 1] - cumulative[h];
                const double between = cumulative[h + 1] - cumulative[c] - (nc + nh) / 2;
                return between * between;
            });
        }
        case Weighting::Bipolar:
            return fromDistance(K, [&](std::size_t k, std::size_t l) {
                if (k == l) return 0.0;
                const double dx = x(k) - x(l);
                return dx * dx / ((x(k) + x(l) - 2 * xmin) * (2 * xmax - x(k) - x(l)));
            });
        case Weighting::None:
        case Weighting::File: break;
    }
    return {};
}

}  // namespace kappa
