#include "common/EventData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <thread>
#include <vector>

namespace {

class EventDataTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Utility::EventDataClear();
        Utility::EventDataSetPurgeAge(std::chrono::minutes(5));
    }
    void TearDown() override { Utility::EventDataClear(); }

    static uEventData Record(const std::string& sText) { return {0, sText, "InstrumentDefault", "TaskScpiCommand"}; }
};

TEST_F(EventDataTest, TakesEachRecordOnceLastPutFirst) {
    uEventData out{7, "untouched", "", ""};
    EXPECT_FALSE(Utility::EventDataTake("12345", out));
    EXPECT_EQ(out.iValue, 7);
    EXPECT_EQ(out.sText, "untouched");

    const uEventData first = Record("first");
    const uEventData second{-3, "second", "Lxi", "RequestData"};
    Utility::EventDataPut("42", &first);
    Utility::EventDataPut("42", &second);
    ASSERT_TRUE(Utility::EventDataTake("42", out));
    EXPECT_EQ(out.iValue, -3);
    EXPECT_EQ(out.sText, "second");
    EXPECT_EQ(out.sModule, "Lxi");
    EXPECT_EQ(out.sProcedure, "RequestData");
    ASSERT_TRUE(Utility::EventDataTake("42", out));
    EXPECT_EQ(out.sText, "first");
    EXPECT_FALSE(Utility::EventDataTake("42", out));
    EXPECT_EQ(Utility::EventDataCount(), 0U);
}

TEST_F(EventDataTest, PurgesOnlyOldRecordsWhenFull) {
    for (int i = 0; i < 1001; ++i) {
        const uEventData r = Record(std::to_string(i));
        Utility::EventDataPut(std::to_string(Utility::EventDataNewKey()), &r);
    }
    // Every record is young: its event may still be on its way, so nothing is dropped.
    const uEventData young = Record("young");
    Utility::EventDataPut("young", &young);
    EXPECT_EQ(Utility::EventDataCount(), 1002U);

    // Once they are old, the next put drops them before storing its own record.
    Utility::EventDataSetPurgeAge(std::chrono::milliseconds(0));
    const uEventData last = Record("last");
    Utility::EventDataPut("last", &last);
    EXPECT_EQ(Utility::EventDataCount(), 1U);
    uEventData out;
    EXPECT_TRUE(Utility::EventDataTake("last", out));

    // A put without a record only purges.
    for (int i = 0; i < 1001; ++i) Utility::EventDataStore(Record("x"));
    Utility::EventDataPut("none", nullptr);
    EXPECT_EQ(Utility::EventDataCount(), 0U);

    // At 1000 records nothing is purged yet.
    for (int i = 0; i < 1000; ++i) Utility::EventDataStore(Record("x"));
    Utility::EventDataPut("none", nullptr);
    EXPECT_EQ(Utility::EventDataCount(), 1000U);
}

TEST_F(EventDataTest, KeysAreUniqueAndIncreasingAcrossThreads) {
    constexpr int kThreads = 4;
    constexpr int kPerThread = 5000;
    std::vector<std::vector<std::int64_t>> keys(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) keys[t].push_back(Utility::EventDataNewKey());
        });
    }
    for (auto& thread : threads) thread.join();
    std::set<std::int64_t> all;
    for (const auto& list : keys) {
        EXPECT_TRUE(std::is_sorted(list.begin(), list.end()));
        EXPECT_GT(list.front(), 0);
        all.insert(list.begin(), list.end());
    }
    EXPECT_EQ(all.size(), static_cast<std::size_t>(kThreads * kPerThread));
}

TEST_F(EventDataTest, RecordsStoredAtOnceReachTheirOwnReceivers) {
    // Many workers report within the same millisecond; each receiver gets its own record.
    constexpr int kThreads = 4;
    constexpr int kPerThread = 200;
    std::vector<std::vector<std::pair<std::int64_t, std::string>>> posted(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                const std::string sText = std::to_string(t) + "/" + std::to_string(i);
                posted[t].emplace_back(Utility::EventDataStore(Record(sText)), sText);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (const auto& list : posted) {
        for (const auto& [iKey, sText] : list) {
            uEventData out;
            ASSERT_TRUE(Utility::EventDataTake(std::to_string(iKey), out));
            EXPECT_EQ(out.sText, sText);
        }
    }
    EXPECT_EQ(Utility::EventDataCount(), 0U);
}

} // namespace
