#include "InstrumentTestSupport.h"
#include "common/TestApplication.h"

#include "common/EventData.h"
#include "instrument/Instrument.h"
#include "instrument/ModelTable.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowRegistry.h"
#include "transport/TransferStatus.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <new>
#include <utility>

namespace TestSupport {
namespace {

constexpr auto GuardTime = std::chrono::seconds(10);

} // namespace

void StartEventHub() {
    TestApplication::EnsureCore();
    EventHub::Init();
}

bool uLifetime::WaitDestroyed(int iMs) {
    std::unique_lock lock(mutex);
    return cv.wait_for(lock, std::chrono::milliseconds(iMs), [&] { return fDestroyed; });
}

FakeTransport::FakeTransport() = default;

FakeTransport::~FakeTransport() {
    {
        std::lock_guard lock(pLifetime->mutex);
        pLifetime->fDestroyed = true;
    }
    pLifetime->cv.notify_all();
}

bool FakeTransport::Exchange(InstrumentDefault::uInstance& instance, int, std::string& sError) {
    uRequest& request = instance.request;
    {
        std::lock_guard count(pLifetime->mutex);
        ++pLifetime->iExchanges;
    }
    std::unique_lock lock(mutex);
    mExchanges.push_back({request.sCommand, std::vector<std::uint8_t>(request.data.begin(), request.data.end()),
                          request.iTimeout, request.sTermination});
    const std::string sFail = sFailure; // what holds when the exchange begins
    const Failure::eKind eFail = eFailure;
    fInside = true;
    cv.notify_all();
    const auto tDeadline = std::chrono::steady_clock::now() + GuardTime;
    for (;;) {
        if (!fIgnoreAbort && Instrument::TakeAbortRequest(AbortId())) {
            fInside = false;
            cv.notify_all();
            sError = std::string("FakeTransport::Exchange: ") + Instrument::AbortedText;
            return false;
        }
        if (!fHold) break;
        if (cv.wait_until(lock, tDeadline) == std::cv_status::timeout) {
            fInside = false;
            sError = "FakeTransport::Exchange: held too long";
            return false;
        }
    }
    fInside = false;
    cv.notify_all();
    if (std::exchange(fThrowBadAlloc, false)) throw std::bad_alloc();
    if (!sFail.empty()) {
        sError = sFail;
        request.failure.eType = eFail;
        return false;
    }
    request.iSendTransferred = static_cast<std::int64_t>(request.sCommand.size() + request.data.size());
    request.fSendFinished = 1;
    if (request.fRequestData) {
        request.requestData = DataBuffer::FromText(sAnswer);
        request.iRequestTransferred = static_cast<std::int64_t>(request.requestData.size());
        request.fRequestFinished = 1;
    }
    return true;
}

void FakeTransport::ThrowBadAllocOnce() {
    std::lock_guard lock(mutex);
    fThrowBadAlloc = true;
}

void FakeTransport::Wake() {
    std::lock_guard lock(mutex);
    ++iWakes;
    cv.notify_all();
}

bool FakeTransport::SetLocal(bool fLocal, Failure::uFailure&, std::string&) {
    std::lock_guard lock(mutex);
    mLocalCalls.push_back(fLocal);
    return true;
}

void FakeTransport::Hold(bool fIgnore) {
    std::lock_guard lock(mutex);
    fHold = true;
    fIgnoreAbort = fIgnore;
}

void FakeTransport::LetGo() {
    std::lock_guard lock(mutex);
    fHold = false;
    cv.notify_all();
}

bool FakeTransport::WaitInside(int iMs) {
    std::unique_lock lock(mutex);
    return cv.wait_for(lock, std::chrono::milliseconds(iMs), [&] { return fInside; });
}

bool FakeTransport::Inside() {
    std::lock_guard lock(mutex);
    return fInside;
}

std::vector<uExchange> FakeTransport::Exchanges() {
    std::lock_guard lock(mutex);
    return mExchanges;
}

std::vector<bool> FakeTransport::LocalCalls() {
    std::lock_guard lock(mutex);
    return mLocalCalls;
}

int FakeTransport::Wakes() {
    std::lock_guard lock(mutex);
    return iWakes;
}

void FakeTransport::SetAnswer(const std::string& sNewAnswer) {
    std::lock_guard lock(mutex);
    sAnswer = sNewAnswer;
}

void FakeTransport::FailWith(const std::string& sError, Failure::eKind eKind) {
    std::lock_guard lock(mutex);
    sFailure = sError;
    eFailure = eKind;
}

std::shared_ptr<FakeTransport> Connect(uInstrumentObject& object, std::int64_t eInterface) {
    auto pInstance = InstrumentDefault::FindInstance(object);
    if (!pInstance) return nullptr;
    uTaskPrepare connection;
    connection.eProtocol = eInterface;
    connection.eInterface = eInterface;
    InstrumentDefault::SetConnection(*pInstance, connection);
    auto pTransport = std::make_shared<FakeTransport>();
    InstrumentDefault::SetTransport(*pInstance, pTransport);
    return pTransport;
}

EventRecorder::EventRecorder(int iNewWindow) : iWindow(iNewWindow) {
    EventHub::Bind(EventTaskFinished, iWindow, [this](const EventHub::uEvent& event) {
        mTasks.push_back(event);
        if (fnDelivered) fnDelivered();
    });
    EventHub::Bind(EventTransferStatus, iWindow, [this](const EventHub::uEvent& event) {
        mTransfers.push_back(event);
        if (fnDelivered) fnDelivered();
    });
}

EventRecorder::~EventRecorder() {
    EventHub::Unbind(EventTaskFinished, iWindow);
    EventHub::Unbind(EventTransferStatus, iWindow);
}

bool PumpUntil(const std::function<bool()>& condition, int iMs, std::function<void()>& fnHook) {
    QElapsedTimer timer;
    timer.start();
    EventHub::Pump();
    while (!condition()) {
        const qint64 iLeft = iMs - timer.elapsed();
        if (iLeft <= 0) return false;
        QEventLoop loop;
        fnHook = [&] {
            if (condition()) loop.quit();
        };
        QTimer::singleShot(static_cast<int>(std::min<qint64>(iLeft, 100)), &loop, &QEventLoop::quit);
        EventHub::Pump();
        if (!condition()) loop.exec();
        fnHook = nullptr;
    }
    return true;
}

bool EventRecorder::WaitFor(const std::function<bool()>& condition, int iMs) {
    return PumpUntil(condition, iMs, fnDelivered);
}

bool EventRecorder::WaitForTasks(std::int64_t eType, std::size_t iCount, int iMs) {
    return WaitFor([&] { return Tasks(eType).size() >= iCount; }, iMs);
}

std::vector<EventHub::uEvent> EventRecorder::Tasks(std::int64_t eType) const {
    std::vector<EventHub::uEvent> result;
    for (const auto& event : mTasks) {
        if (event.iType == eType) result.push_back(event);
    }
    return result;
}

std::vector<EventHub::uEvent> EventRecorder::Tasks() const { return mTasks; }

std::string EventRecorder::ErrorText(const EventHub::uEvent& event, Failure::uFailure* pFailure) {
    const auto* pKey = event.pData.Get<std::int64_t>();
    if (!pKey) return "<no key>";
    uEventData record;
    if (!Utility::EventDataTake(std::to_string(*pKey), record)) return "<no record>";
    if (pFailure) *pFailure = record.failure;
    return record.sModule + "::" + record.sProcedure + " | " + record.sText;
}

uTaskScpiCommand Command(const std::string& sCommand, int iWindow, bool fRequestData) {
    uTaskScpiCommand task;
    task.head.iWindow = iWindow;
    task.fSend = 1;
    task.sCommand = sCommand;
    task.fRequestData = fRequestData ? 1 : 0;
    return task;
}

void TaskTest::SetUp() {
    StartEventHub();
    iWindow = WindowRegistry::NewWindowNumber();
    pRecorder = std::make_unique<EventRecorder>(iWindow);
}

void TaskTest::TearDown() {
    std::string sError;
    Instrument::ReleaseAll(true, 0, sError);
    pRecorder.reset();
}

InstrumentObject TaskTest::NewObject() {
    std::string sError;
    InstrumentObject object = Instrument::Create(sError);
    EXPECT_TRUE(object) << sError;
    return object;
}

std::vector<std::string> TaskTest::Errors() {
    const auto events = pRecorder->Tasks(InstrumentTaskError);
    for (std::size_t i = mErrors.size(); i < events.size(); ++i) {
        Failure::uFailure failure;
        mErrors.push_back(EventRecorder::ErrorText(events[i], &failure));
        mFailures.push_back(failure);
    }
    return mErrors;
}

std::vector<Failure::uFailure> TaskTest::Failures() {
    Errors();
    return mFailures;
}

std::int64_t Add(uInstrumentObject& object, const uTask& task) {
    std::string sError;
    const std::int64_t iNumber = object.pInterface->AddTask(object, task, sError);
    EXPECT_NE(iNumber, 0) << sError;
    return iNumber;
}

std::string Answer(const EventHub::uEvent& event) {
    const auto* pResult = event.pData.Get<uTaskResultScpiCommand>();
    if (!pResult) return "<no result>";
    return std::string(pResult->requestData.view().substr(0, static_cast<std::size_t>(pResult->iRequestTransferred)));
}

namespace {

constexpr const char* DoorIdn = "RIGOL TECHNOLOGIES,DS1104Z,DS1ZA000000001,00.04.05.SP2";

std::vector<std::string> ErrorTexts(const EventRecorder& recorder) {
    std::vector<std::string> texts;
    for (const auto& event : recorder.Tasks(InstrumentTaskError)) texts.push_back(EventRecorder::ErrorText(event));
    return texts;
}

} // namespace

void RunThroughDoor(uInstrumentObject& object, const uTaskPrepare& prepare, EventRecorder& recorder,
                    Sim::ScpiDevice& device, const std::string& sQueryAnswer) {
    const int iWindow = recorder.Window();
    device.SetIdn(DoorIdn);
    uTaskPrepare task = prepare;
    task.head = {InstrumentTaskPrepare, 0, iWindow};
    Add(object, task);
    Add(object, uTaskConnect{{InstrumentTaskConnect, 0, iWindow}});
    ASSERT_TRUE(recorder.WaitForTasks(InstrumentTaskConnect, 1)) << ::testing::PrintToString(ErrorTexts(recorder));
    EXPECT_TRUE(object.pInterface->IsConnected(object));

    Add(object, uTaskGetIdn{{InstrumentTaskGetIdn, 0, iWindow}});
    ASSERT_TRUE(recorder.WaitForTasks(InstrumentTaskGetIdn, 1));
    const auto* pIdn = recorder.Tasks(InstrumentTaskGetIdn)[0].pData.Get<uIdn>();
    ASSERT_NE(pIdn, nullptr) << ::testing::PrintToString(ErrorTexts(recorder));
    EXPECT_EQ(pIdn->sIdn, DoorIdn);
    EXPECT_EQ(pIdn->sManufacturer, "RIGOL TECHNOLOGIES");
    EXPECT_EQ(pIdn->sModel, "DS1104Z");
    EXPECT_EQ(pIdn->sSerialNumber, "DS1ZA000000001");
    EXPECT_EQ(pIdn->sFirmware, "00.04.05.SP2");

    Add(object, Command("SIMulate:ECHO? door", iWindow, true));
    Add(object, Command("*SRE 32", iWindow));
    Add(object, Command("*SRE?", iWindow, true));
    ASSERT_TRUE(recorder.WaitForTasks(InstrumentTaskScpiCommand, 3));
    const auto results = recorder.Tasks(InstrumentTaskScpiCommand);
    const auto* pQuery = results[0].pData.Get<uTaskResultScpiCommand>();
    ASSERT_NE(pQuery, nullptr);
    EXPECT_EQ(pQuery->fSendFinished, 1);
    EXPECT_GE(pQuery->iSendTransferred, 19); // the command, and whatever the interface wraps it in
    EXPECT_EQ(pQuery->fRequestData, 1);
    EXPECT_EQ(pQuery->fRequestFinished, 1);
    EXPECT_EQ(Answer(results[0]), sQueryAnswer);
    const auto* pCommand = results[1].pData.Get<uTaskResultScpiCommand>();
    ASSERT_NE(pCommand, nullptr);
    EXPECT_EQ(pCommand->fSendFinished, 1);
    EXPECT_EQ(pCommand->fRequestData, 0);
    EXPECT_EQ(pCommand->iRequestTransferred, 0);
    EXPECT_FALSE(pCommand->requestData.allocated());
    // The command reached the instrument: the query after it reads its setting.
    EXPECT_EQ(Answer(results[2]).substr(0, 2), "32");
    const auto commands = device.Commands();
    EXPECT_NE(std::find(commands.begin(), commands.end(), "*SRE 32"), commands.end());

    // Each exchange reported its bytes sent and, for the queries, received.
    std::size_t iSent = 0, iReceived = 0;
    for (const auto& event : recorder.Transfers()) {
        if (event.iType == TransferStatus::TransferSent) ++iSent;
        if (event.iType == TransferStatus::TransferReceived) ++iReceived;
    }
    EXPECT_EQ(iSent, 4u);
    EXPECT_EQ(iReceived, 3u);

    Add(object, uTaskDisconnect{{InstrumentTaskDisconnect, 0, iWindow}});
    ASSERT_TRUE(recorder.WaitForTasks(InstrumentTaskDisconnect, 1));
    EXPECT_FALSE(object.pInterface->IsConnected(object));
    EXPECT_TRUE(recorder.Tasks(InstrumentTaskError).empty()) << ::testing::PrintToString(ErrorTexts(recorder));
}

void RunSearchChain(uInstrumentObject& object, uTaskPrepare prepare, EventRecorder& recorder, Sim::ScpiDevice& device) {
    device.SetIdn(DoorIdn);
    prepare.head = {InstrumentTaskPrepare, EventSearchFinished, recorder.Window()};
    const std::size_t iBefore = recorder.Tasks().size();
    Add(object, prepare);
    ASSERT_TRUE(recorder.WaitForTasks(InstrumentTaskIdentified, 1)) << ::testing::PrintToString(ErrorTexts(recorder));
    const auto tasks = recorder.Tasks();
    ASSERT_EQ(tasks.size(), iBefore + 1) << ::testing::PrintToString(ErrorTexts(recorder));
    EXPECT_EQ(tasks.back().iObject, reinterpret_cast<std::intptr_t>(&object));
    EXPECT_FALSE(object.pInterface->IsConnected(object));
    uInfo info;
    std::string sError;
    ASSERT_TRUE(object.pInterface->GetInfo(object, info, sError)) << sError;
    EXPECT_EQ(info.idn.sIdn, DoorIdn);
    EXPECT_EQ(info.idn.sSerialNumber, "DS1ZA000000001");
    EXPECT_EQ(info.connection.eModel, ModelRigolDS1000Z);
}

void ExpectProgressSteps(const EventRecorder& recorder, std::int64_t iStep) {
    std::vector<std::int64_t> totals;
    for (const auto& event : recorder.Transfers()) {
        if (event.iType != TransferStatus::TransferReceiving) continue;
        EXPECT_NE(event.iObject, 0);
        EXPECT_NE(event.iObject, WindowNobody);
        totals.push_back(TransferStatus::Data(event));
    }
    ASSERT_FALSE(totals.empty());
    EXPECT_GE(totals[0], iStep);
    for (std::size_t i = 1; i < totals.size(); ++i) EXPECT_GE(totals[i] - totals[i - 1], iStep);
}

} // namespace TestSupport
