// What the compatibility header stands in for reads as the standard library
// does where it has it: from_chars of a double (libc++ 14 has none).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string_view>
#include <system_error>

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

}  // namespace
}  // namespace kappa
