// What the compatibility header stands in for reads as the standard library
// does where it has it: from_chars of a double (libc++ 14 has none), and
// writes what it writes: to_chars of a double (Emscripten's libc++ 13 has none).
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string_view>
#include <string>
#include <system_error>
#include <vector>

#include "platform/compat.h"

namespace kappa {
namespace {

TEST(Compat, FromCharsReadsWhatTheStandardReads) {
    constexpr double kUnchanged = -7.0;
    const struct {
        std::string_view text;
        std::errc error;
        std::size_t read;  // characters read
        double value;
    } cases[] = {
        {"1.5", std::errc(), 3, 1.5},
        {"-0.25e2", std::errc(), 7, -25.0},
        {"0.1", std::errc(), 3, 0.1},
        {"12.e-1x", std::errc(), 6, 1.2},
        {"7e", std::errc(), 1, 7.0},
        {"0x10", std::errc(), 1, 0.0},
        {"4e-320", std::errc(), 6, 4e-320},
        {"inf", std::errc(), 3, std::numeric_limits<double>::infinity()},
        {"-infinity", std::errc(), 9, -std::numeric_limits<double>::infinity()},
        {"1e400", std::errc::result_out_of_range, 5, kUnchanged},
        {"1e-400", std::errc::result_out_of_range, 6, kUnchanged},
        {" 1", std::errc::invalid_argument, 0, kUnchanged},
        {"+1", std::errc::invalid_argument, 0, kUnchanged},
        {".", std::errc::invalid_argument, 0, kUnchanged},
        {"", std::errc::invalid_argument, 0, kUnchanged},
    };
    for (const auto& c : cases) {
        double value = kUnchanged;
        const auto [end, error] = fromChars(c.text.data(), c.text.data() + c.text.size(), value);
        EXPECT_EQ(error, c.error) << c.text;
        EXPECT_EQ(static_cast<std::size_t>(end - c.text.data()), c.read) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
    const std::string_view nan = "nan";
    double value = 0;
    EXPECT_EQ(fromChars(nan.data(), nan.data() + nan.size(), value).ec, std::errc());
    EXPECT_TRUE(std::isnan(value));
}

TEST(Compat, ShortestDoubleWritesWhatTheStandardWrites) {
    const char* const written[][2] = {{"0.1", "0.1"},       {"100", "100"},     {"1e+22", "1e+22"},
                                      {"123456", "123456"}, {"1e-05", "1e-05"}, {"0.0001", "1e-04"},  {"0.001", "0.001"},
                                      {"-2.5", "-2.5"},     {"-0", "-0"},       {"5e-324", "5e-324"}};
    for (const auto& [number, text] : written) EXPECT_EQ(shortestByPrintf(std::strtod(number, nullptr)), text);
#if defined(KAPPA_HAS_FLOAT_TO_CHARS)
    // Doubles of every magnitude, from their bits, and the numbers a report
    // prints: p-values, estimates, frequencies.
    std::mt19937_64 bits(20261208);
    std::vector<double> numbers;
    while (numbers.size() < 20000) {
        const double x = std::bit_cast<double>(bits());
        if (std::isfinite(x)) numbers.push_back(x);
    }
    for (int i = 0; i < 5000; ++i) numbers.push_back(static_cast<double>(i) / 1000 - 2.5);
    for (const double x : numbers) {
        char buffer[32];
        const auto end = std::to_chars(buffer, buffer + sizeof buffer, x).ptr;
        ASSERT_EQ(shortestByPrintf(x), std::string(buffer, end)) << x;
    }
#endif
}

}  // namespace
}  // namespace kappa
