// The transfer-status event as every transport and the exchange post it.
#include "transport/TransferStatus.h"
#include "common/TestApplication.h"

#include "common/EventData.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <vector>

namespace {

struct uSeen {
    std::intptr_t iType;
    std::int64_t iData;
    std::intptr_t iObject;
};

class TransferStatusTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        TestApplication::EnsureCore();
    }
    void SetUp() override {
        EventHub::Init();
        Utility::EventDataClear();
        EventHub::Bind(EventTransferStatus, 12, [this](const EventHub::uEvent& e) {
            mSeen.push_back({e.iType, TransferStatus::Data(e), e.iObject});
        });
    }
    std::vector<uSeen> mSeen;
};

TEST_F(TransferStatusTest, ProgressPostsEachTimeTheStepIsReached) {
    int instance = 0;
    TransferStatus::uProgress progress(12, TransferStatus::TransferReceiving, &instance, 102400);
    progress.Add(250000, 250000); // one pass larger than the step: one event
    progress.Add(60000, 310000);
    progress.Add(60000, 370000);  // 120000 since the last: one event
    progress.Add(102399, 472399); // short of the step: none
    TransferStatus::uProgress nobody(WindowNobody, TransferStatus::TransferSending, &instance, 1);
    nobody.Add(10, 10);
    EventHub::Pump();
    ASSERT_EQ(mSeen.size(), 2u);
    EXPECT_EQ(mSeen[0].iType, 7);
    EXPECT_EQ(mSeen[0].iData, 250000);
    EXPECT_EQ(mSeen[0].iObject, reinterpret_cast<std::intptr_t>(&instance));
    EXPECT_EQ(mSeen[1].iData, 370000);
}

TEST_F(TransferStatusTest, ErrorsTravelThroughTheEventDataStore) {
    TransferStatus::PostError(12, TransferStatus::TransferReceiveError, "Lxi::SocketRead: Timeout.", "SendRequestLxi");
    TransferStatus::PostError(WindowNobody, TransferStatus::TransferSendError, "lost", "SendRequestLxi");
    TransferStatus::Post(12, TransferStatus::TransferSent, WindowNobody, 10);
    EXPECT_EQ(Utility::EventDataCount(), 1u); // nothing kept for nobody
    EventHub::Pump();
    ASSERT_EQ(mSeen.size(), 2u);
    EXPECT_EQ(mSeen[0].iType, 10);
    EXPECT_EQ(mSeen[0].iObject, WindowNobody);
    uEventData record;
    ASSERT_TRUE(Utility::EventDataTake(std::to_string(mSeen[0].iData), record));
    EXPECT_EQ(record.iValue, 0);
    EXPECT_EQ(record.sText, "Lxi::SocketRead: Timeout.");
    EXPECT_EQ(record.sModule, "InstrumentDefault");
    EXPECT_EQ(record.sProcedure, "SendRequestLxi");
    EXPECT_EQ(mSeen[1].iType, 5);
    EXPECT_EQ(mSeen[1].iData, 10);
}

} // namespace
