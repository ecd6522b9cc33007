#include "common/NumberText.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// The user's locale of this program: German, "," as decimal and "." as thousands separator.
const bool fLocaleSet = [] {
    setenv("LC_ALL", "de_DE.UTF-8", 1);
    return true;
}();

TEST(LocalizedGerman, WritesWithTheUsersSeparators) {
    EXPECT_EQ(Utility::GetDecimalSeparator(), ",");
    EXPECT_EQ(Utility::GetThousandsSeparator(), ".");
    EXPECT_EQ(Utility::StrDLocalized(1234.5, -1), "1.234,5");
    EXPECT_EQ(Utility::StrDLocalized(3.0, -1), "3");
    EXPECT_EQ(Utility::StrDLocalized(10000, -1), "10.000");
    EXPECT_EQ(Utility::StrDLocalized(-1234567.891, 2), "-1.234.567,89");
    EXPECT_EQ(Utility::StrDLocalized(0.125, 3), "0,125");
    // The waveform formatter is not localised.
    EXPECT_EQ(Utility::FormatDoubleFast(1234.5, 12), "1234.5");
}

TEST(LocalizedGerman, ReadsTypedNumbers) {
    EXPECT_DOUBLE_EQ(Utility::ValLocalized("1 234,5"), 1234.5);
    EXPECT_DOUBLE_EQ(Utility::ValLocalized("1.234,5"), 1234.5);
    EXPECT_DOUBLE_EQ(Utility::ValLocalized("1.234.567,25"), 1234567.25);
    EXPECT_DOUBLE_EQ(Utility::ValLocalized("12.345"), 12345.0);
    EXPECT_DOUBLE_EQ(Utility::ValLocalized("-1.000"), -1000.0);
    EXPECT_DOUBLE_EQ(Utility::ValLocalized("0,5"), 0.5);
    // A point that does not separate whole groups of three is a decimal point, not grouping.
    EXPECT_DOUBLE_EQ(Utility::ValLocalized("3.5"), 3.5);
    EXPECT_DOUBLE_EQ(Utility::ValLocalized("12.34"), 12.34);
    EXPECT_DOUBLE_EQ(Utility::ValLocalized("1234.567"), 1234.567);
    EXPECT_DOUBLE_EQ(Utility::ValLocalized("1.2345"), 1.2345);
}

} // namespace
