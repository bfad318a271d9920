#include "inference/student_t.h"

#include <algorithm>
#include <cmath>

#include <boost/math/distributions/students_t.hpp>

namespace kappa {

namespace {

// Boost.Math reports a bad argument or an unreachable result by returning
// NaN or infinity rather than by throwing or aborting. The routines below
// still hand it only finite arguments inside its domain.
namespace bp = boost::math::policies;
using QuietPolicy = bp::policy<bp::domain_error<bp::ignore_error>, bp::pole_error<bp::ignore_error>,
                               bp::overflow_error<bp::ignore_error>, bp::underflow_error<bp::ignore_error>,
                               bp::denorm_error<bp::ignore_error>, bp::evaluation_error<bp::ignore_error>,
                               bp::rounding_error<bp::ignore_error>,
                               bp::indeterminate_result_error<bp::ignore_error>>;
using StudentT = boost::math::students_t_distribution<double, QuietPolicy>;

bool validDf(double df) { return std::isfinite(df) && df > 0; }

}  // namespace

double studentTwoSidedP(double t, double df) {
    if (std::isnan(t) || !validDf(df)) return kNaN;
    if (std::isinf(t)) return 0.0;
    // The upper tail is taken directly, so that small p-values keep their digits.
    return 2 * boost::math::cdf(boost::math::complement(StudentT(df), std::abs(t)));
}

double studentConfidenceQuantile(double Cf, double df) {
    if (!(Cf > 0 && Cf < 100) || !validDf(df)) return kNaN;
    const double a = 1 - Cf / 100;
    return boost::math::quantile(boost::math::complement(StudentT(df), a / 2));
}

WaldTest studentWald(double estimate, double se, double df, double kappa0, double Cf) {
    WaldTest wald;
    wald.distribution = Distribution::StudentT;
    wald.df = df;
    if (std::isnan(estimate) || std::isnan(se)) return wald;

    if (se == 0) {
        // No sampling variation: the interval is the estimate itself and any
        // other kappa0 lies infinitely many standard errors away.
        wald.ci = {estimate, std::min(1.0, estimate)};
        if (estimate != kappa0) {
            wald.statistic = estimate > kappa0 ? HUGE_VAL : -HUGE_VAL;
            wald.pValue = 0.0;
        }
        return wald;
    }

    wald.statistic = (estimate - kappa0) / se;
    wald.pValue = studentTwoSidedP(wald.statistic, df);
    const double t = studentConfidenceQuantile(Cf, df);
    if (!std::isnan(t)) wald.ci = {estimate - t * se, std::min(1.0, estimate + t * se)};
    return wald;
}

}  // namespace kappa
