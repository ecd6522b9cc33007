// Ending the worker thread of an instrument that has nothing to do: EndThread and
// DeleteInstance wake it and return as soon as it has ended, without the line for a worker
// left busy in a transfer.
#include "SearchTestSupport.h"

#include "common/WindowLog.h"
#include "instrument/Instrument.h"
#include "instrument/InstrumentDefault.h"
#include "platform/WindowRegistry.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace {

class WorkerEndTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SearchSupport::Start();
        iWindow = WindowRegistry::NewWindowNumber();
        pRecorder = std::make_unique<SearchSupport::Recorder>(iWindow);
    }
    void TearDown() override { SearchSupport::ReleaseAll(); }
    // An object whose worker has run a task and now waits for the next one.
    InstrumentObject IdleObject() {
        std::string sError;
        InstrumentObject object = Instrument::Create(sError);
        EXPECT_TRUE(object) << sError;
        if (!object) return object;
        uTaskPrepare prepare;
        prepare.head = {InstrumentTaskPrepare, 0, iWindow};
        EXPECT_NE(object->pInterface->AddTask(*object, prepare, sError), 0) << sError;
        EXPECT_TRUE(pRecorder->WaitFor([&] { return !pRecorder->TasksOf(object).empty(); }));
        return object;
    }
    // Every log line posted so far has arrived once a line posted after them has.
    void FlushLog(const std::string& sMarker) {
        WindowLog::PostError(sMarker);
        ASSERT_TRUE(pRecorder->WaitFor([&] { return pRecorder->CountLog(sMarker) == 1; }));
    }
    int iWindow = 0;
    std::unique_ptr<SearchSupport::Recorder> pRecorder;
};

using Clock = std::chrono::steady_clock;

TEST_F(WorkerEndTest, AnIdleWorkerEndsAtOnceAndNoLineSaysItDidNotEnd) {
    std::string sError;
    InstrumentObject object = IdleObject();
    ASSERT_TRUE(object);
    // Its worker waits for tasks; told to end, it ends long before the bound of 20 s.
    const auto start = Clock::now();
    EXPECT_TRUE(InstrumentDefault::EndThread(*object, 20000, sError));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(sError, "");
    // There is no thread left to end.
    EXPECT_FALSE(InstrumentDefault::EndThread(*object, 20000, sError));
    EXPECT_TRUE(Instrument::Release(object, sError)) << sError;

    // DeleteInstance waits 500 ms at most and logs a worker that did not end by then.
    InstrumentObject second = IdleObject();
    ASSERT_TRUE(second);
    EXPECT_TRUE(InstrumentDefault::DeleteInstance(*second, sError)) << sError;
    FlushLog("WorkerEndTest: marker");
    EXPECT_EQ(pRecorder->CountLog("InstrumentDefault::EndThread"), 0);
}

} // namespace
