// Numbers as the formatters write them. None depends on the locale.
#pragma once

#include <string>

namespace kappa::format {

// The shortest decimal form that reads back as the same double ("0.7",
// "1e-05", "95"); an empty string for NaN and infinities.
std::string shortest(double x);

// x with `decimals` digits after the point, as printf's %.Nf in the C locale;
// "n/a" for NaN.
std::string fixed(double x, int decimals);

// A limit of an interval with 4 decimals; "-Infinity" for an unbounded lower limit.
std::string intervalLimit(double x);

// A p-value with 4 decimals, "< 0.0001" below that, "n/a" for NaN.
std::string pValue(double p);

}  // namespace kappa::format
