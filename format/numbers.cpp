#include "format/numbers.h"

#include <cmath>
#include <cstdio>

#include "platform/compat.h"

namespace kappa::format {

std::string shortest(double x) {
    if (!std::isfinite(x)) return "";
    return toChars(x);
}

std::string fixed(double x, int decimals) {
    if (std::isnan(x)) return "n/a";
    if (std::isinf(x)) return x > 0 ? "inf" : "-inf";
    // The program never sets LC_NUMERIC, so printf writes '.' decimals; the
    // buffer holds any finite double at up to 6 decimals (at most 309 + 1 + 6 + sign).
    char buffer[330];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, x);
    return buffer;
}

std::string intervalLimit(double x) { return std::isinf(x) && x < 0 ? "-Infinity" : fixed(x, 4); }

std::string pValue(double p) {
    if (std::isnan(p)) return "n/a";
    return p < 0.0001 ? "< 0.0001" : fixed(p, 4);
}

}  // namespace kappa::format
