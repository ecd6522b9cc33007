// The interval as a user with a German locale types it: "," is the decimal separator.
#include "windows/capture/WaveformPump.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

const bool fGerman = [] { return setenv("LC_ALL", "de_DE.UTF-8", 1) == 0; }();

TEST(WaveformIntervalGerman, ReadsTheDecimalComma) {
    ASSERT_TRUE(fGerman);
    std::int64_t iMs = 0;
    ASSERT_TRUE(WaveformPump::ParseInterval("1,5", 1, iMs));
    EXPECT_EQ(iMs, 1500);
    ASSERT_TRUE(WaveformPump::ParseInterval("0,5", 0, iMs));
    EXPECT_EQ(iMs, 1);
    ASSERT_TRUE(WaveformPump::ParseInterval("1.000", 0, iMs)); // grouping
    EXPECT_EQ(iMs, 1000);
    ASSERT_TRUE(WaveformPump::ParseInterval("0,0001", 0, iMs));
    EXPECT_EQ(iMs, 1);
    EXPECT_FALSE(WaveformPump::ParseInterval("-1,5", 1, iMs));
}

} // namespace
