#include "InstrumentTestSupport.h"

#include "common/EventData.h"
#include "platform/ProgramEvents.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <chrono>

namespace TestSupport {
namespace {

constexpr auto GuardTime = std::chrono::seconds(10);

} // namespace

void StartEventHub() {
    static int argc = 1;
    static char name[] = "test";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
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
    if (!sFailure.empty()) {
        sError = sFailure;
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

void FakeTransport::Wake() {
    std::lock_guard lock(mutex);
    ++iWakes;
    cv.notify_all();
}

bool FakeTransport::SetLocal(bool fLocal, std::string&) {
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

void FakeTransport::FailWith(const std::string& sError) {
    std::lock_guard lock(mutex);
    sFailure = sError;
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

bool EventRecorder::WaitFor(const std::function<bool()>& condition, int iMs) {
    QElapsedTimer timer;
    timer.start();
    EventHub::Pump();
    while (!condition()) {
        const qint64 iLeft = iMs - timer.elapsed();
        if (iLeft <= 0) return false;
        QEventLoop loop;
        fnDelivered = [&] {
            if (condition()) loop.quit();
        };
        QTimer::singleShot(static_cast<int>(iLeft), &loop, &QEventLoop::quit);
        EventHub::Pump();
        if (!condition()) loop.exec();
        fnDelivered = nullptr;
    }
    return true;
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

std::string EventRecorder::ErrorText(const EventHub::uEvent& event) {
    const auto* pKey = event.pData.Get<std::int64_t>();
    if (!pKey) return "<no key>";
    uEventData record;
    if (!Utility::EventDataTake(std::to_string(*pKey), record)) return "<no record>";
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

} // namespace TestSupport
