#include "inference/normal_quantile.h"

#include <boost/math/distributions/normal.hpp>
#include <cmath>
#include <map>
#include <mutex>

namespace kappa {

long double inverseNormal(long double p) {
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

namespace {

// 1 - a/2 for a two-sided interval at level 1 - a = Cf / 100, 1 - a for a
// one-sided bound.
double upperProbability(double Cf, Alternative alternative) {
    const double q = Cf / 100;
    if (alternative != Alternative::TwoSided) return q;
    const double a = 1 - q;
    return 1 - a / 2;
}

}  // namespace

double confidenceQuantile(double Cf, Alternative alternative) {
    // The sum takes a few hundred thousand steps, and depends on the level
    // alone: the usual levels are kept here (a test checks each against the
    // sum), any other is summed once and remembered, under a lock, since
    // analyses may run in several threads at once (the library's callers').
    static std::map<double, double> known = {
        {0x1.ccccccccccccdp-1, 0x1.4813a92a3041p+0},   // 80 %
        {0x1.e666666666666p-1, 0x1.a5143bf7299d2p+0},  // 90 %
        {0x1.f333333333333p-1, 0x1.f5bea0ba2419ep+0},  // 95 %
        {0x1.f99999999999ap-1, 0x1.1ee48e8a75494p+1},  // 97.5 %
        {0x1.fae147ae147aep-1, 0x1.29c38b04af199p+1},  // 98 %
        {0x1.fd70a3d70a3d7p-1, 0x1.49b089a02bf17p+1},  // 99 %
        {0x1.feb851eb851ecp-1, 0x1.6744e50c64274p+1},  // 99.5 %
        {0x1.ffbe76c8b4396p-1, 0x1.a50bb6ed6ea83p+1},  // 99.9 %
    };
    static std::mutex knownLock;
    const double p = upperProbability(Cf, alternative);
    if (std::isnan(p)) return static_cast<double>(inverseNormal(p));
    const std::lock_guard lock(knownLock);
    const auto [entry, added] = known.try_emplace(p, 0.0);
    if (added) entry->second = static_cast<double>(inverseNormal(p));
    return entry->second;
}

double exactConfidenceQuantile(double Cf, Alternative alternative) {
    using namespace boost::math::policies;
    using Quiet = policy<domain_error<ignore_error>, overflow_error<ignore_error>, evaluation_error<ignore_error>>;
    const double p = upperProbability(Cf, alternative);
    if (!(p > 0 && p < 1)) return std::numeric_limits<double>::quiet_NaN();
    return boost::math::quantile(boost::math::normal_distribution<double, Quiet>(), p);
}

}  // namespace kappa
