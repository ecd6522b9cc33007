#include "platform/EventHub.h"

#include "platform/ProgramEvents.h"

#include <QCoreApplication>
#include <QObject>
#include <QPointer>

#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <utility>

namespace EventHub {
namespace {

std::mutex mQueueMutex;
std::deque<uEvent> mQueue;
bool fDeliveryRequested = false;

std::mutex mBindingMutex;
std::map<std::pair<int, int>, Handler> mBinding;

QPointer<QObject> pDelivery;

// How long one delivery from the Qt event loop may run: a thread that posts as fast as the
// handlers take its events would otherwise keep the loop from painting and from user input.
constexpr auto DeliverySlice = std::chrono::milliseconds(50);

std::size_t Deliver(std::chrono::steady_clock::time_point end);

// At most one delivery waits in the Qt event loop at a time; fDeliveryRequested is set while it
// waits and cleared when it starts.
void RequestDelivery() {
    // Called with mQueueMutex held.
    if (fDeliveryRequested || !pDelivery) return;
    fDeliveryRequested = true;
    QMetaObject::invokeMethod(
        pDelivery.data(),
        [] {
            {
                std::lock_guard lock(mQueueMutex);
                fDeliveryRequested = false;
            }
            Deliver(std::chrono::steady_clock::now() + DeliverySlice);
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
        fDeliveryRequested = false;
        if (!pDelivery) pDelivery = new QObject(QCoreApplication::instance());
    }
}

void PostEvent(int iEvent, int iWindow, std::intptr_t iObject, std::intptr_t iType, Payload pData) {
    if (iWindow == WindowNobody) return; // the payload is freed here
    std::lock_guard lock(mQueueMutex);
    mQueue.push_back(uEvent{iEvent, iWindow, iObject, iType, std::move(pData)});
    RequestDelivery();
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

// Delivers queued events until none is left or the time is up; what is left stays requested.
std::size_t Deliver(std::chrono::steady_clock::time_point end) {
    std::size_t iCount = 0;
    for (;;) {
        uEvent event;
        {
            std::lock_guard lock(mQueueMutex);
            if (mQueue.empty()) return iCount;
            if (iCount != 0 && std::chrono::steady_clock::now() >= end) {
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
        if (Handler handler = FindHandler(event.iEvent, event.iWindow)) handler(event);
    }
}

} // namespace

std::size_t Pump() { return Deliver(std::chrono::steady_clock::time_point::max()); }

std::size_t Pending() {
    std::lock_guard lock(mQueueMutex);
    return mQueue.size();
}

} // namespace EventHub
