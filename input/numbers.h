// The numbers of the input files as every reader reads them: whether a field
// is a decimal number, the whole numbers that labels and counts are, and the
// runs of digits that a table's codes and frequencies nearly always are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace kappa {

inline bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Reads at most `most` digits from p (at most 18, which 64 bits hold), adding
// them to `value` (value * 10 + digit each); returns where the digits stop:
// p itself when there is none, before the next digit when there are more
// than `most`. The readers' every digit goes through here, the table's
// codes and frequencies most of all: `most` is a constant, so that the loop
// unrolls, and a text known to go on after its digits (a line with its line
// break) is read without looking for its end (`bounded` false).
template <std::size_t most, bool bounded = true, typename Integer>
const char* readDigits(const char* p, const char* end, Integer& value) {
    static_assert(most <= 18);
    for (std::size_t i = 0; i < most && (!bounded || p != end); ++i, ++p) {
        const unsigned digit = static_cast<unsigned char>(*p) - unsigned{'0'};
        if (digit > 9) break;
        value = static_cast<Integer>(value * 10 + static_cast<Integer>(digit));
    }
    return p;
}

// A decimal number: an optional sign, digits with an optional decimal point
// (digits before it, after it or both), an optional exponent ("2", "-0.5",
// "+.5", "3.", "1e-3").
bool isDecimalNumber(std::string_view text);

// The value of a whole number written in plain decimal: an optional sign,
// digits and, optionally, a decimal point followed by zeros only ("3", "-1",
// "+2", "07", "2.0"); at most 15 digits.
std::optional<std::int64_t> wholeNumberLabel(std::string_view text);

// Counts a file may add up to: 2^53, which doubles count exactly.
constexpr std::int64_t kMaxSubjects = std::int64_t{1} << 53;

// A count of subjects or ratings: a whole number from 0 to 2^53 (written
// with digits, and perhaps a decimal point followed by zeros).
std::optional<std::int64_t> countOf(std::string_view text);

}  // namespace kappa
