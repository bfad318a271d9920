// The variance of a discrete distribution given as terms (probability, value).
#pragma once

namespace kappa {

// Sum of pi (g - mean)^2 over the terms, with mean = sum of pi g: two passes
// over the terms, so that a variance far below the squares of the values keeps
// its digits (sum pi g^2 - mean^2 would subtract two nearly equal numbers).
// `terms` is called twice with a function of (pi, g) and must give it the same
// terms in the same order both times. Only the deviations need to be accurate:
// a mean that is off by delta adds just delta^2 to the result. So g may come in
// a wider type than double, and each deviation is formed in that type.
template <typename Terms>
double varianceOf(Terms terms) {
    double mean = 0.0;
    terms([&](double pi, auto g) { mean += pi * static_cast<double>(g); });
    double V = 0.0;
    terms([&](double pi, auto g) {
        const auto deviation = static_cast<double>(g - mean);
        V += pi * (deviation * deviation);
    });
    return V;
}

}  // namespace kappa
