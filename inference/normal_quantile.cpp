#include "inference/normal_quantile.h"

#include <cmath>

namespace kappa {

long double Inv_Normal(long double p) {
    const double h = 1e-5;
    const double pi = 3.14159265358979;
    const double c = 1 / std::sqrt(pi + pi);
    // Past this abscissa each strip adds less than the rounding of the area,
    // so a target the sum has not passed by then is never passed.
    const double lastAbscissa = 10.0;

    const auto d = static_cast<double>(p - 0.5L);
    const double T = d / c;  // (p - 0.5) sqrt(2 pi): the target for the integral of exp(-u^2/2)
    double area = 0.0;
    double x = 0.0;
    while (T >= area && x < lastAbscissa) {
        const double t = -x * x / 2;
        area = area + std::exp(t) * h;
        x = x + h;
    }
    return x;
}

double confidenceQuantile(double Cf) {
    const double q = Cf / 100;
    const double a = 1 - q;
    const double p = 1 - a / 2;
    return static_cast<double>(Inv_Normal(p));
}

}  // namespace kappa
