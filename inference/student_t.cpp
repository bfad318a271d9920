#include "inference/student_t.h"

#include <algorithm>
#include <cmath>

#include <boost/math/distributions/students_t.hpp>

#include "inference/intervals.h"

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

double studentPValue(double t, double df, Alternative alternative) {
    if (std::isnan(t) || !validDf(df)) return kNaN;
    // P(T >= x), the upper tail taken directly so that small p-values keep their digits.
    const auto upper = [&](double x) {
        if (std::isinf(x)) return x > 0 ? 0.0 : 1.0;
        return boost::math::cdf(boost::math::complement(StudentT(df), x));
    };
    switch (alternative) {
        case Alternative::TwoSided: break;
        case Alternative::Greater: return upper(t);
        case Alternative::Less: return upper(-t);
    }
    return 2 * upper(std::abs(t));
}

double studentConfidenceQuantile(double Cf, double df, Alternative alternative) {
    if (!(Cf > 0 && Cf < 100) || !validDf(df)) return kNaN;
    const double a = 1 - Cf / 100;
    return boost::math::quantile(boost::math::complement(StudentT(df), alternative == Alternative::TwoSided ? a / 2 : a));
}

}  // namespace kappa
