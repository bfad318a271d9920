#include "format/numbers.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace kappa::format {

std::string shortest(double x) {
    if (!std::isfinite(x)) return "";
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, x);
    return std::string(buffer, result.ptr);
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

}  // namespace kappa::format
