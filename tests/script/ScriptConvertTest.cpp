// The conversions of script values, with the examples of assignment and comparison.
#include "script/ScriptConvert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

using namespace InstrumentScript;

namespace {

// English separators for the localized form.
const bool fLocaleSet = [] {
    setenv("LC_ALL", "en_US.UTF-8", 1);
    return true;
}();

TEST(ScriptConvert, TextToInteger) {
    const struct {
        const char* sText;
        std::int64_t iValue;
    } cases[] = {
        {"3.7", 3},     {"$10", 16},  {"%101", 5},   {"0x10", 0},          {"4.7", 4},
        {"$FF", 255},   {"$ff", 255}, {"-$10", -16}, {" \t+42abc", 42},     {"", 0},
        {"-", 0},       {"$", 0},     {"%2", 0},     {"abc", 0},           {"-7", -7},
        {"18446744073709551615", -1}, {"9223372036854775808", std::numeric_limits<std::int64_t>::min()},
        {"$1FFFFFFFFFFFFFFFF", -1},
    };
    for (const auto& c : cases) EXPECT_EQ(TextToInteger(c.sText), c.iValue) << c.sText;
}

TEST(ScriptConvert, TextToFloat) {
    EXPECT_EQ(TextToFloat("2.5e0"), 2.5);
    EXPECT_EQ(TextToFloat("  -1.5E+2xyz"), -150.0);
    EXPECT_EQ(TextToFloat(".5"), 0.5);
    EXPECT_EQ(TextToFloat("3e"), 3.0);
    EXPECT_EQ(TextToFloat("1,5"), 1.0);
    EXPECT_EQ(TextToFloat("abc"), 0.0);
    EXPECT_EQ(TextToFloat("."), 0.0);
    EXPECT_EQ(TextToFloat("+INFINITY"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(TextToFloat("-infinity"), -std::numeric_limits<double>::infinity());
    EXPECT_TRUE(std::isnan(TextToFloat("nan")));
    EXPECT_EQ(TextToFloat("inf"), 0.0); // only the three words
    EXPECT_EQ(TextToFloat("1e999"), std::numeric_limits<double>::infinity());
}

TEST(ScriptConvert, FloatToIntegerRoundsHalfToEven) {
    const struct {
        double d;
        std::int64_t i;
    } cases[] = {{3.7, 4}, {2.5, 2}, {-2.5, -2}, {3.5, 4}, {-3.5, -4}, {0.49999999999999994, 0}, {-0.5, 0},
                 {1e300, std::numeric_limits<std::int64_t>::max()}, {-1e300, std::numeric_limits<std::int64_t>::min()},
                 {std::numeric_limits<double>::quiet_NaN(), 0}, {9007199254740993.0, 9007199254740992}};
    for (const auto& c : cases) EXPECT_EQ(FloatToInteger(c.d), c.i) << c.d;
}

TEST(ScriptConvert, PlainAndLocalizedForms) {
    EXPECT_EQ(FloatToPlainText(2.5), "2.5");
    EXPECT_EQ(FloatToPlainText(3.0), "3");
    EXPECT_EQ(FloatToPlainText(-0.0), "0");
    EXPECT_EQ(FloatToPlainText(-1e-13), "0");
    EXPECT_EQ(FloatToPlainText(1.0 / 3.0), "0.3333333333");
    EXPECT_EQ(FloatToPlainText(std::numeric_limits<double>::infinity()), "+Infinity");
    EXPECT_EQ(FloatToPlainText(-std::numeric_limits<double>::infinity()), "-Infinity");
    EXPECT_EQ(FloatToPlainText(std::numeric_limits<double>::quiet_NaN()), "NaN");
    EXPECT_EQ(FloatToLocalizedText(1234.5), "1,234.5");
    EXPECT_EQ(FloatToLocalizedText(2.0), "2");
    EXPECT_EQ(FloatToLocalizedText(-0.0), "0");
}

TEST(ScriptConvert, BooleanAndLowerCase) {
    EXPECT_EQ(TextToBoolean("TRUE"), 1);
    EXPECT_EQ(TextToBoolean("1"), 0);
    EXPECT_EQ(TextToBoolean("yes"), 0);
    EXPECT_EQ(TextToBoolean(" true"), 0);
    EXPECT_EQ(LowerAscii("AbC\xC3\x84Z"), "abc\xC3\x84z");
}

} // namespace
