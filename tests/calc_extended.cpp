// The calculator's own number arithmetic (extended.h) against the platform's:
// decimal texts read as the C++ library reads them, and the four operations
// rounded as the x86 80-bit format rounds them, over many random inputs.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "extended.h"

namespace {

using kovar::calc::Compute;
using kovar::calc::Extended;
using kovar::calc::ReadDecimal;
using kovar::calc::ToExtended;

// Digits with a point somewhere and an exponent, or 17 significant digits of
// a random double with "5000" after them (close to halfway between doubles).
std::string RandomDecimal(std::mt19937_64& rng) {
    std::string s;
    if (rng() % 3 == 0) {
        uint64_t bits = rng() >> 1;
        double d = 0;
        std::memcpy(&d, &bits, sizeof d);
        if (!std::isfinite(d) || d == 0)
            d = 1.5;
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.16e", d);
        const std::string text = buf;
        const std::size_t e = text.find('e');
        const std::size_t exponent = text[e + 1] == '+' ? e + 2 : e + 1;
        return text.substr(0, e) + "5000e" + text.substr(exponent);
    }
    for (int n = 1 + static_cast<int>(rng() % 30); n > 0; --n)
        s += static_cast<char>('0' + rng() % 10);
    const std::size_t point = rng() % (s.size() + 1);
    s = s.substr(0, point) + "." + s.substr(point);
    if (rng() % 2) {
        s += rng() % 2 ? "e-" : "e";
        s += std::to_string(rng() % 340);
    }
    return s;
}

TEST(CalcExtended, ReadsDecimalsAsTheLibraryDoes) {
    std::mt19937_64 rng(19);
    for (int i = 0; i < 200'000; ++i) {
        const std::string text = RandomDecimal(rng);
        if (text == ".")
            continue;
        double expected = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), expected);
        ASSERT_EQ(end, text.data() + text.size()) << text;
        const std::optional<double> read = ReadDecimal(text);
        if (error == std::errc::result_out_of_range) {
            // Too large: no value; too small: zero.
            const bool large = text.find("e-") == std::string::npos;
            EXPECT_EQ(read.has_value(), !large) << text;
            EXPECT_EQ(read.value_or(0.0), 0.0) << text;
        } else {
            ASSERT_TRUE(read.has_value()) << text;
            EXPECT_EQ(*read, expected) << text;
        }
    }
}

TEST(CalcExtended, RoundsAsThe80BitFormat) {
    if (std::numeric_limits<long double>::digits != 64)
        GTEST_SKIP() << "long double here is not the 80-bit format to compare with";
    std::mt19937_64 rng(23);
    const auto randomDouble = [&] {
        // Mostly near one another in size, so that sums round; sometimes far apart.
        const double m = static_cast<double>(rng() >> 11) / 9007199254740992.0 + 0.5;
        const int e = rng() % 8 == 0 ? static_cast<int>(rng() % 2000) - 1000
                                     : static_cast<int>(rng() % 130) - 65;
        return (rng() % 2 ? -1 : 1) * std::ldexp(m, e);
    };
    for (int i = 0; i < 500'000; ++i) {
        const double x = randomDouble();
        const double y = randomDouble();
        const long double lx = x;
        const long double ly = y;
        for (const char op : {'+', '-', '*', '/'}) {
            const long double expected = op == '+'   ? lx + ly
                                         : op == '-' ? lx - ly
                                         : op == '*' ? lx * ly
                                                     : lx / ly;
            const Extended want = ToExtended(expected);
            const Extended got = Compute(x, op, y);
            ASSERT_EQ(got.significand, want.significand) << x << ' ' << op << ' ' << y;
            ASSERT_EQ(got.exponent, want.exponent) << x << ' ' << op << ' ' << y;
            ASSERT_EQ(got.negative, want.negative) << x << ' ' << op << ' ' << y;
        }
    }
}

} // namespace
