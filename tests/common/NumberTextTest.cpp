#include "common/NumberText.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

namespace {

// The user's locale of this program: English, "." and ",". Set before anything reads it.
const bool fLocaleSet = [] {
    setenv("LC_ALL", "en_US.UTF-8", 1);
    return true;
}();

std::string Fast(double v, int d) { return Utility::FormatDoubleFast(v, d); }

// snprintf's text (exactly rounded, ties to even) with the same trimming.
std::string Reference(double v, int d) {
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, "%.*f", d, v);
    std::string s = buffer;
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0') s.pop_back();
        if (s.back() == '.') s.pop_back();
    }
    return s;
}

TEST(FormatDoubleFast, WritesTheExamples) {
    EXPECT_EQ(Fast(1.5, 12), "1.5");
    EXPECT_EQ(Fast(2.0, 12), "2");
    EXPECT_EQ(Fast(0.9999999999999, 12), "1");
    EXPECT_EQ(Fast(12.345, 12), "12.345");
    EXPECT_EQ(Fast(-0.25, 12), "-0.25");
    EXPECT_EQ(Fast(0.96, 1), "1");
    EXPECT_EQ(Fast(0.94, 1), "0.9");
    EXPECT_EQ(Fast(2.5, 0), "3");
    EXPECT_EQ(Fast(-0.0000000000001, 12), "-0");
    EXPECT_EQ(Fast(0.0, 12), "0");
    EXPECT_EQ(Fast(-0.0, 12), "0");
    EXPECT_EQ(Fast(999.9999999999999, 12), "1000");
    EXPECT_EQ(Fast(1.0E-13, 12), "0");
    EXPECT_EQ(Fast(0.5, 10), "0.5");
    EXPECT_EQ(Fast(-7.0, -3), "-7");
    EXPECT_EQ(Fast(1.25, 40), "1.25");
}

TEST(FormatDoubleFast, RoundsExactTiesAwayFromZero) {
    EXPECT_EQ(Fast(0.5, 0), "1");
    EXPECT_EQ(Fast(-2.5, 0), "-3");
    EXPECT_EQ(Fast(9.5, 0), "10");
    EXPECT_EQ(Fast(99.5, 0), "100");
    EXPECT_EQ(Fast(0.125, 2), "0.13");
    EXPECT_EQ(Fast(-0.125, 2), "-0.13");
    EXPECT_EQ(Fast(0.375, 2), "0.38");
    EXPECT_EQ(Fast(9.9995, 3), Reference(9.9995, 3)); // not a tie in binary
    EXPECT_EQ(Fast(std::ldexp(1.0, -13), 12), "0.000122070313");
    EXPECT_EQ(Fast(1023.0 + std::ldexp(1.0, -13) * 8191, 12), "1023.999877929688");
}

TEST(FormatDoubleFast, WritesNonFiniteAndHugeValuesExactly) {
    EXPECT_EQ(Fast(std::nan(""), 12), "NaN");
    EXPECT_EQ(Fast(HUGE_VAL, 12), "+Infinity");
    EXPECT_EQ(Fast(-HUGE_VAL, 12), "-Infinity");
    EXPECT_EQ(Fast(9.91e37, 12), Reference(9.91e37, 12));
    EXPECT_EQ(Fast(9.91e37, 12).size(), 38U);
    EXPECT_EQ(Fast(std::ldexp(1.0, 60), 12), "1152921504606846976");
    EXPECT_EQ(Fast(1e300, 12), Reference(1e300, 12));

    // The longest text fits the documented buffer exactly.
    char buffer[Utility::FormatDoubleFastMaxLength];
    const std::size_t n = Utility::FormatDoubleFast(-DBL_MAX, Utility::MaxFastDecimals, buffer);
    EXPECT_EQ(std::string(buffer, n), Reference(-DBL_MAX, 0));
    EXPECT_EQ(n, 310U);
    EXPECT_EQ(Fast(DBL_TRUE_MIN, 30), "0");
}

TEST(FormatDoubleFast, MatchesSnprintfUpTo1e15) {
    std::mt19937_64 random(20240611);
    std::uniform_real_distribution<double> exponent(-15.0, 15.0);
    std::uniform_int_distribution<int> decimals(0, 15);
    for (int i = 0; i < 200000; ++i) {
        double v = std::pow(10.0, exponent(random));
        if (random() & 1U) v = -v;
        const int d = i % 2 == 0 ? 12 : decimals(random);
        const std::string sFast = Fast(v, d);
        const std::string sReference = Reference(v, d);
        if (sFast == sReference) continue;
        // Only an exact tie may differ, by one in the last digit.
        double a = 0, b = 0;
        std::from_chars(sFast.data(), sFast.data() + sFast.size(), a);
        std::from_chars(sReference.data(), sReference.data() + sReference.size(), b);
        const double dUlp = std::fabs(std::nextafter(a, 0.0) - a);
        ASSERT_LE(std::fabs(a - b), std::pow(10.0, -d) + 2 * dUlp) << v << " " << d;
    }
}

TEST(FormatDoubleFast, AppendsWithoutTouchingWhatIsThere) {
    std::string s = "x;";
    s.reserve(256);
    const auto* pBefore = s.data();
    Utility::AppendDoubleFast(s, -1.75, 12);
    s += ';';
    Utility::AppendDoubleFast(s, 3.0, 10);
    EXPECT_EQ(s, "x;-1.75;3");
    EXPECT_EQ(s.data(), pBefore);
}

TEST(Localized, UsesTheEnglishSeparators) {
    EXPECT_EQ(Utility::GetDecimalSeparator(), ".");
    EXPECT_EQ(Utility::GetThousandsSeparator(), ",");
    EXPECT_EQ(Utility::StrDLocalized(1234.5, -1), "1,234.5");
    EXPECT_EQ(Utility::StrDLocalized(3.0, -1), "3");
    EXPECT_EQ(Utility::StrDLocalized(0.1 + 0.2, -1), "0.3");
    EXPECT_EQ(Utility::StrDLocalized(2.0 / 3.0, -1), "0.6666666667");
    EXPECT_EQ(Utility::StrDLocalized(-1234567.891, 2), "-1,234,567.89");
    EXPECT_EQ(Utility::StrDLocalized(1e20, 0), "100,000,000,000,000,000,000");
    EXPECT_EQ(Utility::StrDLocalized(-0.4, 0), "0");
    EXPECT_EQ(Utility::StrDLocalized(999, 0), "999");
    EXPECT_EQ(Utility::StrDLocalized(std::nan(""), -1), "NaN");
    EXPECT_EQ(Utility::StrDLocalized(-HUGE_VAL, -1), "-Infinity");

    EXPECT_DOUBLE_EQ(Utility::ValLocalized("1,234.5"), 1234.5);
    EXPECT_DOUBLE_EQ(Utility::ValLocalized("12,345,678"), 12345678.0);
    EXPECT_DOUBLE_EQ(Utility::ValLocalized(" - 1 234.5 "), -1234.5);
    EXPECT_DOUBLE_EQ(Utility::ValLocalized("1,5"), 1.0);    // not a group of three: reading stops
    EXPECT_DOUBLE_EQ(Utility::ValLocalized("1234,567"), 1234.0);
    EXPECT_DOUBLE_EQ(Utility::ValLocalized("-3.5e2"), -350.0);
    EXPECT_DOUBLE_EQ(Utility::ValLocalized("+2"), 2.0);
    EXPECT_DOUBLE_EQ(Utility::ValLocalized(".5"), 0.5);
    EXPECT_DOUBLE_EQ(Utility::ValLocalized("9.9E37"), 9.9e37);
    EXPECT_DOUBLE_EQ(Utility::ValLocalized("12abc"), 12.0);
    EXPECT_EQ(Utility::ValLocalized(""), 0.0);
    EXPECT_EQ(Utility::ValLocalized("abc"), 0.0);
    EXPECT_EQ(Utility::ValLocalized("inf"), 0.0);
    EXPECT_EQ(Utility::ValLocalized("nan"), 0.0);
    EXPECT_EQ(Utility::ValLocalized("0x10"), 0.0);
    EXPECT_EQ(Utility::ValLocalized("-"), 0.0);
    EXPECT_EQ(Utility::ValLocalized("1e999"), HUGE_VAL);
    EXPECT_EQ(Utility::ValLocalized("-1e999"), -HUGE_VAL);
    EXPECT_EQ(Utility::ValLocalized("1e-999"), 0.0);
}

} // namespace
