#include "InstrumentTestSupport.h"

#include "app/Main.h"
#include "instrument/Instrument.h"
#include "instrument/InstrumentDefault.h"
#include "instrument/InstrumentTasks.h"
#include "platform/BackgroundThreads.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowRegistry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <set>
#include <thread>
#include <vector>

using TestSupport::Command;
using TestSupport::EventRecorder;
using TestSupport::FakeTransport;

namespace {

uTaskPrepare Prepare(int iWindow, std::int64_t iEvent = 0, std::int64_t eInterface = 0, std::int64_t eProtocol = 0) {
    uTaskPrepare prepare;
    prepare.head.iEvent = iEvent;
    prepare.head.iWindow = iWindow;
    prepare.eInterface = eInterface;
    prepare.eProtocol = eProtocol;
    return prepare;
}

class InstrumentDefaultTest : public ::testing::Test {
  protected:
    void SetUp() override {
        TestSupport::StartEventHub();
        iWindow = WindowRegistry::NewWindowNumber();
    }
    void TearDown() override {
        std::string sError;
        Instrument::ReleaseAll(true, 0, sError);
    }
    InstrumentObject NewObject() {
        std::string sError;
        InstrumentObject object = Instrument::Create(sError);
        EXPECT_TRUE(object) << sError;
        return object;
    }
    std::int64_t Add(const InstrumentObject& object, const uTask& task) {
        std::string sError;
        const std::int64_t iNumber = object->pInterface->AddTask(*object, task, sError);
        EXPECT_NE(iNumber, 0) << sError;
        return iNumber;
    }
    // Connects the object to a fake transport and holds its worker inside the first command's transfer.
    std::shared_ptr<FakeTransport> ConnectAndHold(const InstrumentObject& object, const std::string& sCommand,
                                                  int iTaskWindow, bool fIgnoreAbort = false) {
        auto pTransport = TestSupport::Connect(*object);
        pTransport->Hold(fIgnoreAbort);
        Add(object, Command(sCommand, iTaskWindow));
        EXPECT_TRUE(pTransport->WaitInside());
        return pTransport;
    }
    int iWindow = 0;
};

TEST_F(InstrumentDefaultTest, InstanceNumbersOnlyGrowAndLookupsFailCleanlyAfterDelete) {
    const std::int64_t iBase = InstrumentDefault::LastInstanceNumber();
    auto a = NewObject();
    auto b = NewObject();
    EXPECT_EQ(a->iInstanceNumber, iBase + 1);
    EXPECT_EQ(b->iInstanceNumber, iBase + 2);

    std::string sError;
    EXPECT_FALSE(InstrumentDefault::NewInstance(*a, sError));
    EXPECT_EQ(sError, "InstrumentDefault::Constructor[" + std::to_string(iBase + 1) +
                          "]: This instance already exists. Instance number = " + std::to_string(iBase + 1));
    EXPECT_EQ(a->iInstanceNumber, iBase + 1);

    EXPECT_TRUE(Instrument::Release(a, sError));
    EXPECT_TRUE(Instrument::Release(b, sError));
    auto c = NewObject();
    EXPECT_EQ(c->iInstanceNumber, iBase + 3);

    // The released object is still valid memory; its instance is gone.
    const std::string sNumber = std::to_string(iBase + 1);
    sError.clear();
    EXPECT_FALSE(InstrumentDefault::DeleteInstance(*a, sError));
    EXPECT_EQ(sError, "InstrumentDefault::DeleteInstance[" + sNumber + "]: This instance does not exist. Instance number = " + sNumber);
    EXPECT_FALSE(a->pInterface->IsConnected(*a));
    uInfo info;
    EXPECT_FALSE(a->pInterface->GetInfo(*a, info, sError));
    EXPECT_EQ(sError, "InstrumentDefault::GetInfo: This instance does not exist. Instance number = " + sNumber);
    EXPECT_TRUE(a->pInterface->GetIcon(*a, IconKindPicture, sError).empty());
    EXPECT_EQ(sError, "InstrumentDefault::GetIcon: This instance does not exist. Instance number = " + sNumber);
    EXPECT_EQ(a->pInterface->AddTask(*a, uTaskConnect{}, sError), 0);
    EXPECT_EQ(sError, "InstrumentDefault::LockInstance[" + sNumber + "]: This instance does not exist. Instance number = " + sNumber);
}

TEST_F(InstrumentDefaultTest, InstancesComeAndGoFromManyThreadsAtOnce) {
    // The count falls to 0 again and again while other threads make new instances.
    const std::int64_t iCountBefore = InstrumentDefault::InstanceCount();
    std::vector<std::thread> threads;
    std::atomic<int> iFailures{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 50; ++i) {
                auto object = std::make_shared<uInstrumentObject>();
                object->pInterface = &InstrumentDefault::Interface();
                std::string sError;
                if (!InstrumentDefault::NewInstance(*object, sError)) ++iFailures;
                if (i % 2 == 0 && InstrumentDefault::AddTask(*object, uTaskConnect{{InstrumentTaskConnect, 0, WindowNobody}}, sError) == 0) {
                    ++iFailures;
                }
                if (!InstrumentDefault::DeleteInstance(*object, sError)) ++iFailures;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(iFailures, 0);
    EXPECT_EQ(InstrumentDefault::InstanceCount(), iCountBefore);
}

TEST_F(InstrumentDefaultTest, TasksFromTwoThreadsRunInTheOrderOfTheirNumbers) {
    EventRecorder recorder(iWindow);
    auto object = NewObject();
    auto pTransport = TestSupport::Connect(*object);
    constexpr int Each = 40;
    std::map<std::int64_t, std::string> mByNumber;
    std::mutex mutex;
    auto producer = [&](char cName) {
        for (int i = 0; i < Each; ++i) {
            const std::string sCommand = cName + std::to_string(i);
            std::string sError;
            const std::int64_t iNumber = object->pInterface->AddTask(*object, Command(sCommand, iWindow), sError);
            std::lock_guard lock(mutex);
            mByNumber[iNumber] = sCommand;
        }
    };
    std::thread first(producer, 'A');
    std::thread second(producer, 'B');
    first.join();
    second.join();
    ASSERT_TRUE(recorder.WaitForTasks(InstrumentTaskScpiCommand, 2 * Each));

    ASSERT_EQ(mByNumber.size(), 2u * Each);
    EXPECT_EQ(mByNumber.count(0), 0u);
    EXPECT_EQ(mByNumber.rbegin()->first - mByNumber.begin()->first, 2 * Each - 1); // consecutive
    std::vector<std::string> mExpected;
    for (const auto& [iNumber, sCommand] : mByNumber) mExpected.push_back(sCommand);
    std::vector<std::string> mRan;
    for (const auto& exchange : pTransport->Exchanges()) mRan.push_back(exchange.sCommand);
    EXPECT_EQ(mRan, mExpected);
    // Each result names its own task number, in the same order.
    std::vector<std::int64_t> mResultNumbers;
    for (const auto& event : recorder.Tasks(InstrumentTaskScpiCommand)) {
        const auto* pResult = event.pData.Get<uTaskResultScpiCommand>();
        ASSERT_NE(pResult, nullptr);
        mResultNumbers.push_back(pResult->iTaskNumber);
        EXPECT_EQ(event.iObject, reinterpret_cast<std::intptr_t>(object.get()));
    }
    EXPECT_TRUE(std::is_sorted(mResultNumbers.begin(), mResultNumbers.end()));
}

// The worker looks for its next task a moment before it sleeps: a task queued at once, during
// that look, or after the worker slept (and then sleeps at once the next time) runs in each case.
TEST_F(InstrumentDefaultTest, ATaskQueuedDuringOrAfterTheWorkersLookRuns) {
    EventRecorder recorder(iWindow);
    auto object = NewObject();
    auto pTransport = TestSupport::Connect(*object);
    const int aPauseUs[] = {0, 0, 30, 5000, 0, 30, 5000, 5000, 0};
    int iDone = 0;
    for (const int iPause : aPauseUs) {
        SCOPED_TRACE(iPause);
        std::this_thread::sleep_for(std::chrono::microseconds(iPause));
        Add(object, Command("P" + std::to_string(iDone), iWindow));
        ASSERT_TRUE(recorder.WaitForTasks(InstrumentTaskScpiCommand, static_cast<std::size_t>(++iDone)));
    }
    EXPECT_EQ(pTransport->Exchanges().size(), std::size(aPauseUs));
}

TEST_F(InstrumentDefaultTest, InstancesRunInParallel) {
    auto a = NewObject();
    auto b = NewObject();
    auto pA = TestSupport::Connect(*a);
    auto pB = TestSupport::Connect(*b);
    pA->Hold();
    pB->Hold();
    Add(a, Command("A", WindowNobody));
    Add(b, Command("B", WindowNobody));
    // Both transfers are inside their transport at the same time.
    EXPECT_TRUE(pA->WaitInside());
    EXPECT_TRUE(pB->WaitInside());
    EXPECT_TRUE(pA->Inside() && pB->Inside());
    pA->LetGo();
    pB->LetGo();
}

TEST_F(InstrumentDefaultTest, TaskNumbersSkipZeroAndRefusedTypesUseTheirNumber) {
    auto object = NewObject();
    std::string sError;
    InstrumentDefault::SetLastTaskNumber(-3);
    EXPECT_EQ(Add(object, uTaskConnect{{InstrumentTaskConnect, 0, WindowNobody}}), -2);
    EXPECT_EQ(Add(object, uTaskConnect{{InstrumentTaskConnect, 0, WindowNobody}}), -1);
    EXPECT_EQ(Add(object, uTaskConnect{{InstrumentTaskConnect, 0, WindowNobody}}), 1);

    for (const std::int64_t eType : {std::int64_t{1}, std::int64_t{5}, std::int64_t{0}, std::int64_t{-4}, std::int64_t{15}}) {
        uTaskConnect task{{eType, 0, WindowNobody}};
        EXPECT_EQ(object->pInterface->AddTask(*object, task, sError), 0);
        EXPECT_EQ(sError, "Der übergebene Task-Typ ist unbekannt: " + std::to_string(eType));
    }
    // A record that names another record's type is refused the same way.
    EXPECT_EQ(object->pInterface->AddTask(*object, uTaskConnect{{InstrumentTaskScpiCommand, 0, WindowNobody}}, sError), 0);
    EXPECT_EQ(sError, "Der übergebene Task-Typ ist unbekannt: 8");
    // Six numbers went to the refused calls.
    EXPECT_EQ(Add(object, uTaskConnect{{InstrumentTaskConnect, 0, WindowNobody}}), 8);
}

TEST_F(InstrumentDefaultTest, TheQueueHoldsDeepCopies) {
    auto object = NewObject();
    EventRecorder recorder(iWindow);
    auto pTransport = ConnectAndHold(object, "first", iWindow);
    {
        auto task = Command("second", iWindow);
        auto pPayload = std::make_shared<DataBuffer>(DataBuffer::FromText("payload"));
        task.pData = pPayload;
        Add(object, task);
        task.sCommand = "changed";
        pPayload->assign("xx", 2);
    }
    pTransport->LetGo();
    ASSERT_TRUE(recorder.WaitForTasks(InstrumentTaskScpiCommand, 2));
    const auto mExchanges = pTransport->Exchanges();
    ASSERT_EQ(mExchanges.size(), 2u);
    EXPECT_EQ(mExchanges[1].sCommand, "second");
    // The task sends its own copy: what the caller did to its buffer afterwards does not reach it.
    EXPECT_EQ(std::string(mExchanges[1].mData.begin(), mExchanges[1].mData.end()), "payload");
}

TEST_F(InstrumentDefaultTest, AHandedOverPayloadIsSharedAndAnUnownedOneStillCopied) {
    auto object = NewObject();
    EventRecorder recorder(iWindow);
    auto pTransport = ConnectAndHold(object, "first", iWindow);
    auto pBlock = std::make_shared<const DataBuffer>(DataBuffer::FromText("handed over"));
    DataBuffer local = DataBuffer::FromText("window's own");
    {
        auto task = Command("shared", iWindow);
        task.pData = pBlock;
        task.fShareData = 1;
        Add(object, task);
        // The queued task holds the very block, no copy of it.
        EXPECT_EQ(pBlock.use_count(), 3);
        // A pointer that owns nothing cannot be kept: the task gets a copy although asked to share.
        auto unowned = Command("unowned", iWindow);
        unowned.pData = std::shared_ptr<const DataBuffer>(std::shared_ptr<void>(), &local);
        unowned.fShareData = 1;
        Add(object, unowned);
        local.assign("xx", 2);
    }
    EXPECT_EQ(pBlock.use_count(), 2);
    pTransport->LetGo();
    ASSERT_TRUE(recorder.WaitForTasks(InstrumentTaskScpiCommand, 3));
    const auto mExchanges = pTransport->Exchanges();
    ASSERT_EQ(mExchanges.size(), 3u);
    EXPECT_EQ(std::string(mExchanges[1].mData.begin(), mExchanges[1].mData.end()), "handed over");
    EXPECT_EQ(std::string(mExchanges[2].mData.begin(), mExchanges[2].mData.end()), "window's own");
}

TEST_F(InstrumentDefaultTest, AbortStopsTheRunningTransferOnlyAndQueuesNothing) {
    auto object = NewObject();
    EventRecorder recorder(iWindow);
    auto pTransport = ConnectAndHold(object, "slow", iWindow);
    Add(object, Command("next", iWindow, true));
    uTaskCancel cancel{{InstrumentTaskCancel, 0, iWindow}, 0, 1};
    EXPECT_NE(Add(object, cancel), 0);
    pTransport->LetGo(); // the abort was filed first: it wins
    ASSERT_TRUE(recorder.WaitForTasks(InstrumentTaskScpiCommand, 2));

    const auto mErrors = recorder.Tasks(InstrumentTaskError);
    ASSERT_EQ(mErrors.size(), 1u);
    EXPECT_EQ(mErrors[0].iObject, WindowNobody);
    EXPECT_EQ(EventRecorder::ErrorText(mErrors[0]),
              "InstrumentDefault::TaskScpiCommand | Error sending and receiving the data. - "
              "FakeTransport::Exchange: The communication was terminated by instruction.");
    const auto mResults = recorder.Tasks(InstrumentTaskScpiCommand);
    EXPECT_EQ(mResults[0].pData.Get<uTaskResultScpiCommand>()->fSendFinished, 0);
    const auto* pNext = mResults[1].pData.Get<uTaskResultScpiCommand>();
    ASSERT_NE(pNext, nullptr);
    EXPECT_EQ(pNext->fRequestFinished, 1);
    EXPECT_EQ(std::string(pNext->requestData.view()), "OK\n");
    EXPECT_TRUE(recorder.Tasks(InstrumentTaskCancel).empty());
    EXPECT_GE(pTransport->Wakes(), 1);
}

TEST_F(InstrumentDefaultTest, AbortWhileNothingRunsLeavesTheNextTaskAlone) {
    auto object = NewObject();
    auto pTransport = TestSupport::Connect(*object);
    EventRecorder recorder(iWindow);
    Add(object, uTaskCancel{{InstrumentTaskCancel, 0, iWindow}, 0, 1});
    Add(object, Command("after", iWindow, true));
    ASSERT_TRUE(recorder.WaitForTasks(InstrumentTaskScpiCommand, 1));
    EXPECT_TRUE(recorder.Tasks(InstrumentTaskError).empty());
    EXPECT_EQ(recorder.Tasks(InstrumentTaskScpiCommand)[0].pData.Get<uTaskResultScpiCommand>()->fRequestFinished, 1);
}

TEST_F(InstrumentDefaultTest, ClearQueueRunsInTurnAndDropsWhatCameAfter) {
    for (const bool fAbort : {false, true}) {
        SCOPED_TRACE(fAbort ? "with abort" : "without abort");
        auto object = NewObject();
        EventRecorder recorder(iWindow);
        auto pTransport = ConnectAndHold(object, "held", iWindow);
        Add(object, Command("before", iWindow));
        const std::int64_t iCancel = Add(object, uTaskCancel{{InstrumentTaskCancel, 0, iWindow}, 1, fAbort ? 1 : 0});
        Add(object, Command("dropped 1", iWindow));
        Add(object, Command("dropped 2", iWindow));
        if (!fAbort) {
            EXPECT_TRUE(pTransport->Inside());
        }
        // The held transfer and the cancel's predecessor run first; the cancel then empties the
        // queue behind it, and each task it dropped is told: its error, then its result.
        pTransport->LetGo();
        ASSERT_TRUE(recorder.WaitForTasks(InstrumentTaskCancel, 1));
        EXPECT_NE(iCancel, 0);
        // The surplus signals of the dropped tasks make the worker look once more and find nothing;
        // a later task runs once.
        Add(object, Command("later", iWindow));
        ASSERT_TRUE(recorder.WaitForTasks(InstrumentTaskScpiCommand, 5));
        std::vector<std::string> mRan;
        for (const auto& exchange : pTransport->Exchanges()) mRan.push_back(exchange.sCommand);
        EXPECT_EQ(mRan, (std::vector<std::string>{"held", "before", "later"}));
        EXPECT_EQ(recorder.Tasks(InstrumentTaskError).size(), fAbort ? 3u : 2u);
        EXPECT_EQ(recorder.Tasks().size(), fAbort ? 9u : 8u);
        std::string sError;
        Instrument::Release(object, sError);
    }
}

TEST_F(InstrumentDefaultTest, CancelWithNeitherFlagDoesNothing) {
    auto object = NewObject();
    EventRecorder recorder(iWindow);
    auto pTransport = ConnectAndHold(object, "held", iWindow);
    EXPECT_NE(Add(object, uTaskCancel{{InstrumentTaskCancel, 0, iWindow}, 0, 0}), 0);
    pTransport->LetGo();
    Add(object, Command("next", iWindow));
    ASSERT_TRUE(recorder.WaitForTasks(InstrumentTaskScpiCommand, 2));
    EXPECT_EQ(recorder.Tasks().size(), 2u);
    EXPECT_EQ(pTransport->Wakes(), 0);
}

TEST_F(InstrumentDefaultTest, CancelWithoutConnectionDropsNothingAndSaysSo) {
    auto object = NewObject();
    EventRecorder recorder(iWindow);
    Add(object, uTaskCancel{{InstrumentTaskCancel, 0, iWindow}, 1, 1});
    Add(object, Prepare(iWindow));
    ASSERT_TRUE(recorder.WaitForTasks(InstrumentTaskPrepare, 1));
    ASSERT_EQ(recorder.Tasks().size(), 2u);
    EXPECT_EQ(EventRecorder::ErrorText(recorder.Tasks()[0]),
              "InstrumentDefault::Thread | InstrumentDefault::TaskCancel: There is no instance of the instrument.");
}

TEST_F(InstrumentDefaultTest, SearchChainTasksPostFailuresButNoSuccess) {
    auto object = NewObject();
    auto pTransport = TestSupport::Connect(*object);
    EventRecorder recorder(iWindow);
    auto good = Command("good", iWindow);
    good.head.iEvent = EventSearchFinished;
    Add(object, good);
    Add(object, uTaskTimeout{{InstrumentTaskTimeout, EventSearchFinished, iWindow}, 100});
    Add(object, uTaskScreencopy{{InstrumentTaskScreencopy, EventSearchFinished, iWindow}, 1, 5, 0});
    Add(object, uTaskWaveform{{InstrumentTaskWaveform, EventSearchFinished, iWindow}, 1, 4, {}});
    ASSERT_TRUE(recorder.WaitForTasks(InstrumentTaskError, 2));
    Add(object, uTaskLocal{{InstrumentTaskLocal, 0, iWindow}}); // an ordinary task to see that all ran
    ASSERT_TRUE(recorder.WaitForTasks(InstrumentTaskLocal, 1));
    const auto mErrors = recorder.Tasks(InstrumentTaskError);
    ASSERT_EQ(mErrors.size(), 2u);
    EXPECT_EQ(EventRecorder::ErrorText(mErrors[0]),
              "InstrumentDefault::TaskScreencopy | There is no SCPI command for reading a screen copy.");
    EXPECT_EQ(EventRecorder::ErrorText(mErrors[1]),
              "InstrumentDefault::TaskWaveform | The instrument is not supported for reading the traces.");
    EXPECT_EQ(mErrors[1].iObject, reinterpret_cast<std::intptr_t>(object.get()));
    EXPECT_EQ(recorder.Tasks().size(), 3u);
    EXPECT_EQ(pTransport->Exchanges().size(), 1u);
}

TEST_F(InstrumentDefaultTest, SearchChainPrepareQueuesConnect) {
    auto object = NewObject();
    EventRecorder recorder(iWindow);
    Add(object, Prepare(iWindow, EventSearchFinished, InterfaceLanNone, InterfaceLanNone));
    // The chain's connect fails (nothing to open) and says so; neither step posts a success.
    ASSERT_TRUE(recorder.WaitForTasks(InstrumentTaskError, 1));
    EXPECT_EQ(EventRecorder::ErrorText(recorder.Tasks(InstrumentTaskError)[0]),
              "InstrumentDefault::TaskConnect | InstrumentDefault::TaskConnect: The interface has no transport. eInterface = 6");
    Add(object, uTaskLocal{{InstrumentTaskLocal, 0, iWindow}}); // no transport: its error and result
    Add(object, Prepare(iWindow, 0, InterfaceLanNone, ProtocolLxi));
    ASSERT_TRUE(recorder.WaitForTasks(InstrumentTaskPrepare, 1));
    EXPECT_EQ(recorder.Tasks().size(), 4u);
    EXPECT_EQ(recorder.Tasks(InstrumentTaskLocal).size(), 1u);
    uInfo info;
    std::string sError;
    ASSERT_TRUE(object->pInterface->GetInfo(*object, info, sError));
    EXPECT_EQ(info.connection.eInterface, InterfaceLanNone);
    EXPECT_EQ(info.connection.eProtocol, ProtocolLxi);
}

TEST_F(InstrumentDefaultTest, EveryTaskTypeReachesItsProcedure) {
    auto object = NewObject();
    auto pTransport = TestSupport::Connect(*object, InterfaceVxi11);
    pTransport->SetAnswer("RIGOL TECHNOLOGIES,DS1104Z,DS1ZA1,00.04.04\n");
    EventRecorder recorder(iWindow);
    Add(object, uTaskConnect{{InstrumentTaskConnect, 0, iWindow}}); // already connected: counted
    Add(object, uTaskGetIdn{{InstrumentTaskGetIdn, 0, iWindow}});
    Add(object, uTaskLocal{{InstrumentTaskLocal, 0, iWindow}});
    Add(object, uTaskRemote{{InstrumentTaskRemote, 0, iWindow}});
    Add(object, uTaskTimeout{{InstrumentTaskTimeout, 0, iWindow}, 1234});
    Add(object, uTaskTerminationChar{{InstrumentTaskTerminationChar, 0, iWindow}, "\r\n"});
    Add(object, Command("*RST", iWindow));
    Add(object, uTaskScreencopy{{InstrumentTaskScreencopy, 0, iWindow}, 1, 5, 0});
    Add(object, uTaskWaveform{{InstrumentTaskWaveform, 0, iWindow}, 1, 4, {}});
    Add(object, uTaskDisconnect{{InstrumentTaskDisconnect, 0, iWindow}}); // the count goes to 0: closed
    Add(object, Prepare(iWindow));
    ASSERT_TRUE(recorder.WaitForTasks(InstrumentTaskPrepare, 1));

    std::vector<std::int64_t> mTypes;
    for (const auto& event : recorder.Tasks()) mTypes.push_back(event.iType);
    EXPECT_EQ(mTypes, (std::vector<std::int64_t>{3, 7, 11, 12, 13, 14, 8, 1, 9, 1, 10, 4, 2}));
    const auto* pIdn = recorder.Tasks(InstrumentTaskGetIdn)[0].pData.Get<uIdn>();
    ASSERT_NE(pIdn, nullptr);
    EXPECT_EQ(pIdn->sIdn, "RIGOL TECHNOLOGIES,DS1104Z,DS1ZA1,00.04.04");
    EXPECT_EQ(pIdn->sModel, "DS1104Z");
    EXPECT_FALSE(recorder.Tasks(InstrumentTaskScreencopy)[0].pData);
    EXPECT_FALSE(recorder.Tasks(InstrumentTaskWaveform)[0].pData);
    EXPECT_EQ(pTransport->LocalCalls(), (std::vector<bool>{true, false}));
    const auto mExchanges = pTransport->Exchanges();
    ASSERT_EQ(mExchanges.size(), 2u);
    EXPECT_EQ(mExchanges[0].sCommand, "*IDN?");
    EXPECT_EQ(mExchanges[1].sCommand, "*RST");
    EXPECT_EQ(mExchanges[1].iTimeout, 1234);
    EXPECT_EQ(mExchanges[1].sTermination, ""); // VXI-11 answers end by their protocol
    EXPECT_FALSE(object->pInterface->IsConnected(*object));
}

TEST_F(InstrumentDefaultTest, TimeoutAndTerminationOfARawConnection) {
    auto object = NewObject();
    auto pTransport = TestSupport::Connect(*object, InterfaceRawTcp);
    EventRecorder recorder(iWindow);
    Add(object, uTaskTimeout{{InstrumentTaskTimeout, 0, iWindow}, 0});
    Add(object, uTaskTerminationChar{{InstrumentTaskTerminationChar, 0, iWindow}, "\n\r"});
    Add(object, Command("MEAS?", iWindow));
    ASSERT_TRUE(recorder.WaitForTasks(InstrumentTaskScpiCommand, 1));
    const auto mExchanges = pTransport->Exchanges();
    ASSERT_EQ(mExchanges.size(), 1u);
    EXPECT_EQ(mExchanges[0].iTimeout, 2000);
    EXPECT_EQ(mExchanges[0].sTermination, "\n\r");
}

TEST_F(InstrumentDefaultTest, EndThreadKeepsItsBoundWhileATransferIgnoresTheAbort) {
    auto object = NewObject();
    auto pTransport = ConnectAndHold(object, "stuck", WindowNobody, true);
    const auto pLifetime = pTransport->Lifetime();
    Add(object, Command("never", WindowNobody));

    std::string sError;
    EXPECT_TRUE(InstrumentDefault::EndThread(*object, 200, sError));
    // It returned while the transfer still holds the worker, and said so.
    EXPECT_TRUE(pTransport->Inside());
    EXPECT_EQ(sError, "InstrumentDefault::EndThread: The thread did not end within 200 ms; it finishes its task on its own.");
    EXPECT_GE(pTransport->Wakes(), 1);
    // The instance, its transport and the object go while the worker still runs.
    EXPECT_TRUE(Instrument::Release(object, sError));
    object.reset();
    FakeTransport* pHeld = pTransport.get();
    pTransport.reset();
    // The program's end waits for it, bounded.
    EXPECT_FALSE(InstrumentDefault::WaitForWorkers(50));
    // The exit's one deadline: a background thread that never ends and this worker cost one bound.
    const BackgroundThreads::uTicket stuck = BackgroundThreads::Enter();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(Main::EndBackgroundThreads(std::chrono::milliseconds(2000)));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(3000));
    // The worker finishes its task with everything still alive, runs nothing more, and lets go.
    pHeld->LetGo();
    EXPECT_TRUE(InstrumentDefault::WaitForWorkers(10000));
    ASSERT_TRUE(pLifetime->WaitDestroyed(10000));
    std::lock_guard lock(pLifetime->mutex);
    EXPECT_EQ(pLifetime->iExchanges, 1);
}

TEST_F(InstrumentDefaultTest, DeleteInstanceAbortsATransferThatListens) {
    auto object = NewObject();
    EventRecorder recorder(iWindow);
    auto pTransport = ConnectAndHold(object, "held", WindowNobody);
    Add(object, Command("queued", iWindow, true));
    std::string sError;
    EXPECT_TRUE(InstrumentDefault::EndThread(*object, 10000, sError));
    EXPECT_EQ(sError, "");
    EXPECT_FALSE(pTransport->Inside());
    EXPECT_EQ(pTransport->Exchanges().size(), 1u);
    // A thread that was told to end is not started again beside it.
    EXPECT_EQ(object->pInterface->AddTask(*object, uTaskConnect{}, sError), 0);
    EXPECT_EQ(sError, "InstrumentDefault::StartThread: The thread of this instance has been ended.");
    EXPECT_TRUE(Instrument::Release(object, sError));
    // The task still queued is told that it never ran: its error, then its result without data.
    ASSERT_TRUE(recorder.WaitForTasks(InstrumentTaskScpiCommand, 1));
    ASSERT_EQ(recorder.Tasks(InstrumentTaskError).size(), 1u);
    EXPECT_EQ(EventRecorder::ErrorText(recorder.Tasks(InstrumentTaskError)[0]),
              "InstrumentDefault::TaskCancel | InstrumentDefault::DeleteInstance: The instrument was released before "
              "the task ran.");
}

TEST_F(InstrumentDefaultTest, AResultForAClosedWindowIsDropped) {
    // The answer travels in the event; the leak check of the test build sees it freed.
    const int iClosed = WindowRegistry::NewWindowNumber();
    WindowRegistry::Release(iClosed);
    auto object = NewObject();
    auto pTransport = TestSupport::Connect(*object);
    pTransport->SetAnswer(std::string(100000, 'x'));
    EventRecorder recorder(iWindow);
    Add(object, Command("DATA?", iClosed, true));
    Add(object, Command("*OPC?", iWindow, true));
    ASSERT_TRUE(recorder.WaitForTasks(InstrumentTaskScpiCommand, 1));
    EXPECT_EQ(EventHub::Pending(), 0u);
    EXPECT_EQ(recorder.Tasks().size(), 1u);
}

TEST_F(InstrumentDefaultTest, ReadersSeeWholeRecordsWhileTheWorkerWritesThem) {
    auto object = NewObject();
    EventRecorder recorder(iWindow);
    std::atomic<bool> fStop{false};
    std::atomic<int> iTorn{0};
    std::thread reader([&] {
        while (!fStop) {
            uInfo info;
            std::string sError;
            if (object->pInterface->GetInfo(*object, info, sError) && info.connection.sUserModel.size() > 0 &&
                info.connection.sUserModel != std::string(info.connection.sUserModel.size(), info.connection.sUserModel[0])) {
                ++iTorn;
            }
            object->pInterface->IsConnected(*object);
        }
    });
    constexpr int Count = 100;
    for (int i = 0; i < Count; ++i) {
        uTaskPrepare prepare = Prepare(iWindow);
        prepare.sUserModel = std::string(static_cast<std::size_t>(50 + i), static_cast<char>('a' + i % 26));
        Add(object, prepare);
    }
    EXPECT_TRUE(recorder.WaitForTasks(InstrumentTaskPrepare, Count));
    fStop = true;
    reader.join();
    EXPECT_EQ(iTorn, 0);
}

TEST_F(InstrumentDefaultTest, AFailedExchangeAlwaysCarriesItsOwnText) {
    auto object = NewObject();
    auto pTransport = TestSupport::Connect(*object);
    EventRecorder recorder(iWindow);
    auto nothing = Command("", iWindow, true);
    nothing.fSend = 0;
    Add(object, nothing);
    pTransport->SetAnswer("");
    Add(object, uTaskGetIdn{{InstrumentTaskGetIdn, 0, iWindow}});
    ASSERT_TRUE(recorder.WaitForTasks(InstrumentTaskGetIdn, 1));
    const auto mErrors = recorder.Tasks(InstrumentTaskError);
    ASSERT_EQ(mErrors.size(), 2u);
    EXPECT_EQ(EventRecorder::ErrorText(mErrors[0]), "InstrumentDefault::TaskScpiCommand | Error sending and receiving the "
                                                    "data. - InstrumentDefault::SendRequest: There is no command to send.");
    EXPECT_EQ(EventRecorder::ErrorText(mErrors[1]), "InstrumentDefault::TaskGetIdn | InstrumentDefault::GetIdnDefault: The "
                                                    "IDN has been read by the instrument, but the data is empty.");
    const auto* pResult = recorder.Tasks(InstrumentTaskScpiCommand)[0].pData.Get<uTaskResultScpiCommand>();
    ASSERT_NE(pResult, nullptr);
    EXPECT_EQ(pResult->iSendTransferred, 0);
    EXPECT_EQ(pResult->fRequestFinished, 0);
    EXPECT_FALSE(recorder.Tasks(InstrumentTaskGetIdn)[0].pData);
    // The empty answer is also a receive error of the transfer.
    const auto mTransfers = recorder.Transfers();
    ASSERT_EQ(mTransfers.size(), 1u);
    EXPECT_EQ(mTransfers[0].iType, 10);
    EXPECT_EQ(EventRecorder::ErrorText(mTransfers[0]),
              "InstrumentDefault::GetIdnDefault | The IDN has been read by the instrument, but the data is empty.");
    EXPECT_EQ(pTransport->Exchanges().size(), 1u);
}

// An exchange whose memory cannot be had ends its task with an error for the task's window; the
// worker lives on and runs the next task.
TEST_F(InstrumentDefaultTest, AnAllocationFailureEndsItsTaskAndTheWorkerGoesOn) {
    auto object = NewObject();
    auto pTransport = TestSupport::Connect(*object);
    EventRecorder recorder(iWindow);
    pTransport->ThrowBadAllocOnce();
    Add(object, Command("*IDN?", iWindow, true));
    Add(object, Command("*OPC?", iWindow, true));
    ASSERT_TRUE(recorder.WaitForTasks(InstrumentTaskScpiCommand, 1));
    const auto mErrors = recorder.Tasks(InstrumentTaskError);
    ASSERT_EQ(mErrors.size(), 1u);
    EXPECT_EQ(EventRecorder::ErrorText(mErrors[0]),
              "InstrumentDefault::Thread | InstrumentDefault::Thread: The memory could not be reserved.");
    const auto mExchanges = pTransport->Exchanges();
    ASSERT_EQ(mExchanges.size(), 2u);
    EXPECT_EQ(mExchanges[1].sCommand, "*OPC?");
}

TEST_F(InstrumentDefaultTest, AnAbortBetweenTwoExchangesOfATaskStopsTheSecondAndAStaleOneIsDropped) {
    auto object = NewObject();
    auto pTransport = TestSupport::Connect(*object);
    auto pInstance = InstrumentDefault::FindInstance(*object);
    ASSERT_TRUE(pInstance);
    // Two exchanges of one task, as a waveform read makes them; no worker runs yet.
    InstrumentDefault::SetCommunicationDefaults(*pInstance);
    pInstance->request.fSend = 1;
    pInstance->request.sCommand = "first";
    std::string sError;
    EXPECT_TRUE(InstrumentDefault::SendRequest(*pInstance, WindowNobody, sError)) << sError;
    Instrument::RequestAbort(pTransport->AbortId());
    pInstance->request.sCommand = "second";
    EXPECT_FALSE(InstrumentDefault::SendRequest(*pInstance, WindowNobody, sError));
    EXPECT_EQ(sError, "FakeTransport::Exchange: The communication was terminated by instruction.");

    // A request left over before a task begins is not that task's.
    Instrument::RequestAbort(pTransport->AbortId());
    EventRecorder recorder(iWindow);
    Add(object, Command("third", iWindow, true));
    ASSERT_TRUE(recorder.WaitForTasks(InstrumentTaskScpiCommand, 1));
    EXPECT_TRUE(recorder.Tasks(InstrumentTaskError).empty());
    EXPECT_EQ(recorder.Tasks(InstrumentTaskScpiCommand)[0].pData.Get<uTaskResultScpiCommand>()->fRequestFinished, 1);
    EXPECT_FALSE(Instrument::TakeAbortRequest(pTransport->AbortId()));
}

// The search chain identifies with a short time-out of its own; when it shares a connection the
// user opened, the user's time-out must be back for the user's next command.
TEST_F(InstrumentDefaultTest, TheSearchChainsShortTimeOutEndsWithItsIdentification) {
    auto object = NewObject();
    auto pTransport = TestSupport::Connect(*object);
    pTransport->SetAnswer("RIGOL TECHNOLOGIES,DS1104Z,DS1ZA1,00.04.04\n");
    EventRecorder recorder(iWindow);
    // The user's command is queued while the identification is under way, as the chain's own
    // disconnect, queued when the identification ends, comes after it.
    pTransport->Hold();
    Add(object, uTaskTimeout{{InstrumentTaskTimeout, 0, iWindow}, 0}); // the default: 2000 ms
    Add(object, uTaskGetIdn{{InstrumentTaskGetIdn, EventSearchFinished, iWindow}});
    Add(object, Command("MEAS?", iWindow, true));
    ASSERT_TRUE(pTransport->WaitInside());
    pTransport->LetGo();
    ASSERT_TRUE(recorder.WaitForTasks(InstrumentTaskScpiCommand, 1));
    const auto mExchanges = pTransport->Exchanges();
    ASSERT_GE(mExchanges.size(), 2u);
    EXPECT_EQ(mExchanges[0].sCommand, "*IDN?");
    EXPECT_EQ(mExchanges[0].iTimeout, 500);
    EXPECT_EQ(mExchanges[1].sCommand, "MEAS?");
    EXPECT_EQ(mExchanges[1].iTimeout, 2000) << "the chain's time-out stayed with the user's connection";
}

// The search chain ends with its outcome and gives back the hold of its connect, with that
// connect's owner, whatever came between its connect and its *IDN?: another owner's prepare, or
// another owner's request that lost the connection.
TEST_F(InstrumentDefaultTest, TheSearchChainEndsAndGivesBackItsHoldWhateverCameBeforeItsIdn) {
    for (const bool fLost : {false, true}) {
        SCOPED_TRACE(fLost);
        const int iList = WindowRegistry::NewWindowNumber();
        EventRecorder list(iList);
        auto object = NewObject();
        auto pTransport = TestSupport::Connect(*object);
        Add(object, uTaskConnect{{InstrumentTaskConnect, 0, iWindow}}); // the main window holds it
        Add(object, Prepare(iList, EventSearchFinished, InterfaceRawTcp, InterfaceRawTcp)); // no address
        pTransport->Hold();
        Add(object, Command("held", iWindow));
        ASSERT_TRUE(pTransport->WaitInside());
        // The chain's connect, queued by its prepare, waits behind the held command: the other
        // owner's task queued now runs between that connect and the chain's *IDN?.
        if (fLost) pTransport->FailWith("gone", Failure::eKind::GoneAfter); // and nothing to open again
        Add(object, fLost ? uTask{Command("lost", iWindow)} : uTask{Prepare(iWindow)});
        pTransport->LetGo();
        ASSERT_TRUE(list.WaitForTasks(InstrumentTaskIdentified, 1));
        EXPECT_EQ(InstrumentDefault::FindInstance(*object)->holders, std::vector<std::int64_t>{iWindow});
    }
}

TEST_F(InstrumentDefaultTest, NoAnswerStaysInTheRequestBlock) {
    auto object = NewObject();
    auto pTransport = TestSupport::Connect(*object);
    pTransport->SetAnswer(std::string(200000, 'w') + "\n");
    EventRecorder recorder(iWindow);
    Add(object, Command("DATA?", WindowNobody, true));
    auto chained = Command("DATA?", iWindow, true);
    chained.head.iEvent = EventSearchFinished;
    Add(object, chained);
    Add(object, uTaskGetIdn{{InstrumentTaskGetIdn, 0, WindowNobody}});
    Add(object, Prepare(iWindow));
    ASSERT_TRUE(recorder.WaitForTasks(InstrumentTaskPrepare, 1));
    std::string sError;
    EXPECT_TRUE(InstrumentDefault::EndThread(*object, 10000, sError));
    auto pInstance = InstrumentDefault::FindInstance(*object);
    ASSERT_TRUE(pInstance);
    EXPECT_FALSE(pInstance->request.requestData.allocated());
    EXPECT_FALSE(pInstance->request.data.allocated());
    EXPECT_EQ(pTransport->Exchanges().size(), 3u);
}

} // namespace
