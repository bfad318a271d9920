// What not every compiler and standard library that builds kappa has, in one
// place: GCC with libstdc++, clang with libc++ (LLVM's, as on macOS) and
// mingw-w64 for Windows. Each name here is the standard's where the library
// has it.
#pragma once

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <system_error>
#include <type_traits>

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

}  // namespace kappa
