// What not every compiler and standard library that builds kappa has, in one
// place: GCC with libstdc++, clang with libc++ (LLVM's, as on macOS) and
// mingw-w64 for Windows. Each name here is the standard's where the library
// has it.
#pragma once

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <system_error>
#include <type_traits>

// Some standard libraries (that of Emscripten 3.1, libc++ 14) lack the
// floating-point overloads of std::from_chars, std::to_chars or both.
#if defined(__cpp_lib_to_chars) || (defined(_LIBCPP_VERSION) && _LIBCPP_VERSION >= 14000)
#define KAPPA_HAS_FLOAT_TO_CHARS 1
#endif

// printf-style arguments checked by the compiler. mingw-w64 is told which
// printf the program calls (its own, which knows %zu, not Microsoft's).
#if defined(__MINGW32__)
#define KAPPA_PRINTF_FORMAT(string, first) __attribute__((format(gnu_printf, string, first)))
#else
#define KAPPA_PRINTF_FORMAT(string, first) __attribute__((format(printf, string, first)))
#endif

namespace kappa {

#if defined(__cpp_lib_smart_ptr_for_overwrite)
using std::make_unique_for_overwrite;
#else
// An array whose elements are not initialised.
template <typename T>
    requires std::is_unbounded_array_v<T>
std::unique_ptr<T> make_unique_for_overwrite(std::size_t n) {
    return std::unique_ptr<T>(new std::remove_extent_t<T>[n]);
}
#endif

// A double read from the start of [first, last) as std::from_chars reads it:
// an optional '-', then decimal digits with an optional point and exponent,
// or inf, infinity or nan; a value beyond the range of a double is an error
// and leaves `value` as it was.
inline std::from_chars_result fromChars(const char* first, const char* last, double& value) {
#if defined(__cpp_lib_to_chars)
    return std::from_chars(first, last, value);
#else
    // strtod reads hexadecimal numbers and skips leading blanks too: only the
    // part that from_chars would read is given to it.
    const char* p = first + (first != last && *first == '-');
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    const char* digits = p;
    while (p != last && isDigit(*p)) ++p;
    std::size_t count = static_cast<std::size_t>(p - digits);
    if (p != last && *p == '.') {
        const char* fraction = ++p;
        while (p != last && isDigit(*p)) ++p;
        count += static_cast<std::size_t>(p - fraction);
    }
    if (count > 0 && p != last && (*p == 'e' || *p == 'E')) {
        const char* exponent = p + 1;
        if (exponent != last && (*exponent == '+' || *exponent == '-')) ++exponent;
        if (exponent != last && isDigit(*exponent)) {
            p = exponent;
            while (p != last && isDigit(*p)) ++p;
        }
    }
    if (count == 0) {
        // inf, infinity or nan, of which strtod reads as much as from_chars does
        if (digits == last || ((*digits | 0x20) != 'i' && (*digits | 0x20) != 'n'))
            return {first, std::errc::invalid_argument};
        p = last;
    }
    const std::string text(first, p);
    char* end = nullptr;
    errno = 0;
    const double read = std::strtod(text.c_str(), &end);
    if (end == text.c_str()) return {first, std::errc::invalid_argument};
    if (errno == ERANGE && (read == 0 || std::isinf(read)))
        return {first + (end - text.c_str()), std::errc::result_out_of_range};
    value = read;
    return {first + (end - text.c_str()), std::errc()};
#endif
}

// A finite double as std::to_chars writes it without a format, through
// printf: the fewest significant digits that read back as the same double,
// in fixed or scientific notation, whichever is shorter (fixed on a tie).
inline std::string shortestByPrintf(double x) {
    if (x == 0) return std::signbit(x) ? "-0" : "0";
    char scientific[32];
    int digits = 1;
    for (; digits < 17; ++digits) {
        std::snprintf(scientific, sizeof scientific, "%.*e", digits - 1, x);
        if (std::strtod(scientific, nullptr) == x) break;
    }
    std::snprintf(scientific, sizeof scientific, "%.*e", digits - 1, x);
    // d.ddde±XX: the digits without the point, and the exponent
    const std::string text = scientific;
    const std::size_t sign = x < 0, e = text.find('e');
    std::string mantissa = text.substr(sign, e - sign);
    if (mantissa.size() > 1) mantissa.erase(1, 1);
    const int exponent = std::atoi(text.c_str() + e + 1);
    std::string fixed;
    if (exponent >= digits - 1) {
        // a whole number, written in full, digits beyond the shortest too
        if (static_cast<std::size_t>(exponent) + 1 + sign > text.size()) return text;
        char whole[32];
        std::snprintf(whole, sizeof whole, "%.0f", x);
        return whole;
    }
    if (exponent >= 0)
        fixed = mantissa.substr(0, static_cast<std::size_t>(exponent) + 1) + "." +
                mantissa.substr(static_cast<std::size_t>(exponent) + 1);
    else
        fixed = "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + mantissa;
    fixed.insert(0, sign, '-');
    return fixed.size() <= text.size() ? fixed : text;
}

// A finite double in its shortest form, as std::to_chars writes it.
inline std::string toChars(double x) {
#if defined(KAPPA_HAS_FLOAT_TO_CHARS)
    char buffer[32];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, x);
    return std::string(buffer, written.ptr);
#else
    return shortestByPrintf(x);
#endif
}

}  // namespace kappa
