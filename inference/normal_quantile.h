#pragma once

#include "inference/estimate.h"

namespace kappa {

// The standard normal quantile for a probability p above one half: the right
// end of the first 1e-5 wide strip at which the left Riemann sum of the
// density from 0 passes p - 0.5. Below 0.5 it is 0.
long double inverseNormal(long double p);

// The upper quantile z of a two-sided interval at confidence level Cf
// percent (of a one-sided bound with a one-sided alternative), by
// inverseNormal: the critical value of every normal interval.
double confidenceQuantile(double Cf, Alternative alternative = Alternative::TwoSided);

// The same quantile to full precision (Boost.Math), to say how far z is from it.
double exactConfidenceQuantile(double Cf, Alternative alternative = Alternative::TwoSided);

}  // namespace kappa
