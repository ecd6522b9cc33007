#include "platform/EventHub.h"

#include "platform/AllocationFailure.h"
#include "platform/ProgramEvents.h"

#include <QCoreApplication>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <deque>
#include <limits>
#include <map>
#include <mutex>
#include <utility>

namespace EventHub {
namespace {

// The queue and its delivery object are never destroyed: a thread that outlived its stop wait
// may still post while the program's statics are torn down.
std::mutex& mQueueMutex = *new std::mutex;
std::deque<uEvent>& mQueue = *new std::deque<uEvent>;
// A delivery request waits in the Qt loop's posted events. Only that request clears it, when it
// runs: a turn of another kind (the follow-up turn, a pump by hand) that cleared it would post a
// second request beside the waiting one, and each such turn one more. A pass of the posted events
// then ran all of them back to back, and input posted meanwhile waited for every one.
bool fDeliveryRequested = false;
// A turn that delivered arms a follow-up turn a little later. PostProgress events (progress
// reports, results of a worker with more tasks queued) posted until it runs wait for it instead
// of waking the GUI thread each: a stream costs one timer turn per TailMilliseconds, not a
// wake-up per event. Every other post asks for a turn at once, so a request/answer exchange
// never waits for the timer.
bool fTailArmed = false;
constexpr int TailMilliseconds = 2;

std::mutex mBindingMutex;
std::map<std::pair<int, int>, Handler> mBinding;

// The delivery object: a child of the Qt application, gone with it. A thread that outlived the
// exit's wait may still post while the application is destroyed: the object switches the
// delivery off under the queue's lock as its destruction begins, so a post either asks it for a
// turn before that (the request goes with the object) or finds no delivery and only queues.
class uDelivery final : public QObject {
  public:
    using QObject::QObject;
    ~uDelivery() override;
};
uDelivery* pDelivery = nullptr; // under mQueueMutex

uDelivery::~uDelivery() {
    std::lock_guard lock(mQueueMutex);
    if (pDelivery == this) pDelivery = nullptr;
}

// The event number of a call posted with PostCall; no program event has it.
constexpr int CallEvent = std::numeric_limits<int>::min() + 1;

void RunCall(const uEvent& event) {
    if (const auto* pCall = event.pData.Get<std::function<void()>>()) (*pCall)();
}

// A turn of the Qt loop delivers for at most this long, then leaves the rest to its next turn:
// input and painting queued meanwhile wait no longer than that (plus the handler that runs).
constexpr std::chrono::microseconds TurnBudget(4000);
using Clock = std::chrono::steady_clock;

std::size_t Deliver(std::size_t iLimit, Clock::time_point deadline);
std::size_t DeliverTurn(std::size_t iLimit, Clock::time_point deadline);

void RequestDelivery() {
    // Called with mQueueMutex held. The Qt loop delivers what is queued when its turn comes and
    // no more, and for no longer than TurnBudget: events posted meanwhile (a thread that posts
    // without pause) and those left over wait for the next turn, so input and painting are
    // never starved.
    if (fDeliveryRequested || !pDelivery) return;
    fDeliveryRequested = true;
    QMetaObject::invokeMethod(
        pDelivery,
        [] {
            std::size_t iQueued;
            {
                std::lock_guard lock(mQueueMutex);
                fDeliveryRequested = false; // this turn runs now: what comes next asks for the next one
                iQueued = mQueue.size();
            }
            Deliver(iQueued, Clock::now() + TurnBudget);
        },
        Qt::QueuedConnection);
}

Handler FindHandler(int iEvent, int iWindow) {
    std::lock_guard lock(mBindingMutex);
    auto it = mBinding.find({iEvent, iWindow});
    if (it == mBinding.end()) it = mBinding.find({iEvent, AnyWindow});
    return it == mBinding.end() ? Handler{} : it->second;
}

} // namespace

void Init() {
    {
        std::lock_guard lock(mBindingMutex);
        mBinding.clear();
    }
    std::deque<uEvent> dropped;
    {
        std::lock_guard lock(mQueueMutex);
        dropped.swap(mQueue);
        // A request or follow-up turn still pending finds nothing, or delivers what came since;
        // they went with a delivery object that is gone.
        if (!pDelivery) {
            pDelivery = new uDelivery(QCoreApplication::instance());
            fDeliveryRequested = false;
            fTailArmed = false;
        }
    }
}

namespace {

void Post(bool fWaitForTail, uEvent event) {
    if (event.iWindow == WindowNobody) return; // the payload is freed here
    std::lock_guard lock(mQueueMutex);
    mQueue.push_back(std::move(event));
    if (!fWaitForTail || !fTailArmed) RequestDelivery();
}

} // namespace

void PostEvent(int iEvent, int iWindow, std::intptr_t iObject, std::intptr_t iType, Payload pData) {
    Post(false, uEvent{iEvent, iWindow, iObject, iType, std::move(pData)});
}

void PostProgress(int iEvent, int iWindow, std::intptr_t iObject, std::intptr_t iType, Payload pData) {
    Post(true, uEvent{iEvent, iWindow, iObject, iType, std::move(pData)});
}

bool PostCall(std::function<void()> call) {
    uEvent event{CallEvent, 0, 0, 0, Payload::Of(std::move(call))};
    std::lock_guard lock(mQueueMutex);
    if (!pDelivery) return false; // the event is freed outside the lock
    mQueue.push_back(std::move(event));
    RequestDelivery();
    return true;
}

void Bind(int iEvent, int iWindow, Handler handler) {
    std::lock_guard lock(mBindingMutex);
    mBinding[{iEvent, iWindow}] = std::move(handler);
}

void Unbind(int iEvent, int iWindow) {
    std::lock_guard lock(mBindingMutex);
    mBinding.erase({iEvent, iWindow});
}

void UnbindWindow(int iWindow) {
    std::lock_guard lock(mBindingMutex);
    for (auto it = mBinding.begin(); it != mBinding.end();) {
        it = it->first.second == iWindow ? mBinding.erase(it) : std::next(it);
    }
}

namespace {

// GUI thread: the follow-up turn after a turn that delivered (see fTailArmed). It delivers what
// was posted meanwhile and, when that was anything, arms the next; an empty one ends the chain,
// and the next PostProgress event wakes the loop again. With a delivery request waiting it
// leaves everything to that request: the loop's pass would otherwise run two turns together.
void ArmTail() {
    QObject* pContext = nullptr;
    {
        std::lock_guard lock(mQueueMutex);
        if (fTailArmed || !pDelivery) return;
        fTailArmed = true;
        pContext = pDelivery; // destroyed only on this (the GUI) thread
    }
    QTimer::singleShot(TailMilliseconds, pContext, [] {
        std::size_t iQueued;
        {
            std::lock_guard lock(mQueueMutex);
            fTailArmed = false;
            iQueued = fDeliveryRequested ? 0 : mQueue.size();
        }
        if (iQueued > 0) Deliver(iQueued, Clock::now() + TurnBudget);
    });
}

// Delivers queued events until the queue is empty, iLimit events were delivered or the deadline
// has passed (after at least one event). At most one delivery is ever waiting in the Qt loop,
// besides the follow-up turn.
std::size_t Deliver(std::size_t iLimit, Clock::time_point deadline) {
    const std::size_t iCount = DeliverTurn(iLimit, deadline);
    if (iCount > 0) ArmTail();
    return iCount;
}

// A handler that sized memory from outside data and could not have it has ended its work; the
// next events are delivered as usual.
void ReportFailure(const uEvent& event) {
    char aWhere[48];
    std::snprintf(aWhere, sizeof aWhere, "EventHub::Deliver: Event 0x%X", static_cast<unsigned>(event.iEvent));
    AllocationFailure::Report(aWhere);
}

std::size_t DeliverTurn(std::size_t iLimit, Clock::time_point deadline) {
    std::size_t iCount = 0;
    for (;;) {
        uEvent event;
        {
            std::lock_guard lock(mQueueMutex);
            if (mQueue.empty()) return iCount;
            if (iCount >= iLimit || (iCount > 0 && Clock::now() >= deadline)) {
                RequestDelivery();
                return iCount;
            }
            event = std::move(mQueue.front());
            mQueue.pop_front();
            // A handler may run a nested event loop (a modal dialog): let that loop deliver too.
            if (!mQueue.empty()) RequestDelivery();
        }
        ++iCount;
        // The handler is copied so that it may unbind itself while it runs.
        Handler handler = event.iEvent == CallEvent ? Handler(RunCall) : FindHandler(event.iEvent, event.iWindow);
        if (handler) {
            if (!AllocationFailure::Run([&] { handler(event); })) ReportFailure(event);
        }
    }
}

} // namespace

std::size_t Pump() { return Deliver(static_cast<std::size_t>(-1), Clock::time_point::max()); }

std::size_t Pending() {
    std::lock_guard lock(mQueueMutex);
    return mQueue.size();
}

} // namespace EventHub
