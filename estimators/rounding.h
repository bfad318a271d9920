// Decisions on quantities computed in doubles.
//
// Where data make a quantity exactly 0 (observed agreement equal to chance
// agreement, every subject contributing the same to an estimate, a rater who
// chose one category for every subject), its computed value is a few
// roundings away from 0 and can have either sign. A quantity whose zero or
// sign decides what is reported (an estimate of 0, a variance of 0 that
// leaves a test undefined, a negative restricted variance) is therefore
// compared with a bound on its rounding error: within the bound it is taken
// to be exactly 0, whatever order the raters come in.
#pragma once

#include <cmath>

namespace kappa {

// A bound on the rounding error of a quantity formed with about `operations`
// roundings of terms no larger than `magnitude` in absolute value: 8 units in
// the last place per operation, eight times the first-order bound of a sum
// (the unit roundoff is 2^-53), and 16 operations more for the odd ones out.
inline double roundingError(double operations, double magnitude) {
    return (operations + 16) * 0x1p-50 * std::abs(magnitude);
}

// The value, or exactly 0 when it is within `error` of 0.
inline double settled(double value, double error) { return std::abs(value) <= error ? 0.0 : value; }

// A sum of squared deviations S = sum w (g - mean)^2 of values g each within
// `error` of its exact value: exactly 0 when the values (those of positive
// weight) spread over no more than 2 error, as they may when every g is the
// same. The spread, not S, decides: a few values far from many equal ones
// make a small S that is no rounding error.
inline double settledVariance(double S, double spread, double error) { return spread <= 2 * error ? 0.0 : S; }

}  // namespace kappa
