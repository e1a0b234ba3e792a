// The exact fixed-point formatter against the standard library's, which prints the same digits
// by definition (the C locale's "%.*f" rounded half to even).
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "params/fixed_decimal.h"

namespace {

std::string ours(double value, int decimals) {
    char text[500];
    const std::size_t length = formatFixedDecimal(text, sizeof text, value, decimals);
    return std::string(text, length);
}

std::string standard(double value, int decimals) {
    char text[500];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    return std::string(text, result.ptr);
}

}  // namespace

TEST(FixedDecimal, TiesRoundToEvenAndSignsStay) {
    EXPECT_EQ(ours(0.125, 2), "0.12");
    EXPECT_EQ(ours(0.375, 2), "0.38");
    EXPECT_EQ(ours(2.5, 0), "2");
    EXPECT_EQ(ours(3.5, 0), "4");
    EXPECT_EQ(ours(-0.0, 1), "-0.0");
    EXPECT_EQ(ours(-0.001, 2), "-0.00");
    EXPECT_EQ(ours(0.1, 20), "0.10000000000000000555");
    EXPECT_EQ(ours(-12.0, 0), "-12");
    EXPECT_EQ(ours(1e22, 0), "10000000000000000000000");
    EXPECT_EQ(ours(std::numeric_limits<double>::infinity(), 3), "inf");
    EXPECT_EQ(ours(-std::numeric_limits<double>::infinity(), 3), "-inf");
    EXPECT_EQ(ours(std::nan(""), 1), "nan");
    char small[4];
    EXPECT_EQ(formatFixedDecimal(small, sizeof small, 1234.5, 1), 0u);
    EXPECT_EQ(small[0], '\0');
}

TEST(FixedDecimal, AgreesWithTheStandardLibraryEverywhere) {
    const double edges[] = {0.0,     5e-324,  2.2250738585072014e-308, 1.7976931348623157e308, 0.5, 1.5,
                            0.05,    0.005,   0.0005,  9.995,   99.95,   2147483647.0, 4294967296.5,
                            32768.0, -0.9999, 1e-7,    123456789.125, 0.3, 0.7};
    for (const double value : edges) {
        for (int decimals = 0; decimals <= 20; ++decimals) {
            ASSERT_EQ(ours(value, decimals), standard(value, decimals)) << value << " with " << decimals;
            ASSERT_EQ(ours(-value, decimals), standard(-value, decimals)) << -value << " with " << decimals;
        }
    }
    // Random bit patterns over every exponent, and values such as sliders and presets hold.
    uint64_t state = 88172645463325252ull;
    for (int i = 0; i < 200000; ++i) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        double value = 0;
        if (i % 2 == 0) {
            std::memcpy(&value, &state, sizeof value);
            if (!std::isfinite(value)) continue;
        } else {
            value = static_cast<double>(static_cast<int64_t>(state % 2000001) - 1000000) / 1000.0;
        }
        const int decimals = static_cast<int>((state >> 40) % 21);
        ASSERT_EQ(ours(value, decimals), standard(value, decimals)) << value << " with " << decimals;
    }
}
