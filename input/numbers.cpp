#include "input/numbers.h"

namespace kappa {

bool isDecimalNumber(std::string_view t) {
    std::size_t i = 0, digits = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    while (i < t.size() && isDigit(t[i])) ++i, ++digits;
    if (i < t.size() && t[i] == '.')
        for (++i; i < t.size() && isDigit(t[i]);) ++i, ++digits;
    if (digits == 0) return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
        std::size_t exponent = 0;
        while (i < t.size() && isDigit(t[i])) ++i, ++exponent;
        if (exponent == 0) return false;
    }
    return i == t.size();
}

std::optional<std::int64_t> wholeNumberLabel(std::string_view text) {
    if (text.empty()) return std::nullopt;
    const char* p = text.data();
    const char* const end = p + text.size();
    const bool negative = p != end && *p == '-';
    if (p != end && (*p == '-' || *p == '+')) ++p;
    std::int64_t value = 0;
    const char* const digits = p;
    p = readDigits<15>(p, end, value);
    if (p == digits || (p != end && isDigit(*p))) return std::nullopt;  // no digit, or more than 15
    if (p != end && *p == '.')
        for (++p; p != end && *p == '0';) ++p;
    if (p != end) return std::nullopt;
    return negative ? -value : value;
}

std::optional<std::int64_t> countOf(std::string_view text) {
    const auto value = text.starts_with('-') ? std::nullopt : wholeNumberLabel(text);
    if (!value || *value > kMaxSubjects) return std::nullopt;
    return value;
}

}  // namespace kappa
