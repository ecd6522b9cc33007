#include "platform/WindowRegistry.h"

#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"

#include <QCoreApplication>
#include <QTimer>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <set>

namespace WindowRegistry {
namespace {

std::atomic<int> iLastWindow{0};
std::mutex mOpenMutex;
std::set<int> mOpen;
// GUI thread only.
std::map<std::pair<int, int>, std::unique_ptr<QTimer>> mTimer;
// The serial number of each timer's latest arming or stop, GUI thread only.
std::map<std::pair<int, int>, std::intptr_t> mArming;
std::intptr_t iLastArming = 0;

} // namespace

int NewWindowNumber() {
    const int iWindow = ++iLastWindow;
    std::lock_guard lock(mOpenMutex);
    mOpen.insert(iWindow);
    return iWindow;
}

bool IsOpen(int iWindow) {
    std::lock_guard lock(mOpenMutex);
    return mOpen.count(iWindow) != 0;
}

void Release(int iWindow) {
    {
        std::lock_guard lock(mOpenMutex);
        mOpen.erase(iWindow);
    }
    for (auto it = mTimer.begin(); it != mTimer.end();) {
        it = it->first.first == iWindow ? mTimer.erase(it) : std::next(it);
    }
    for (auto it = mArming.begin(); it != mArming.end();) {
        it = it->first.first == iWindow ? mArming.erase(it) : std::next(it);
    }
    EventHub::UnbindWindow(iWindow);
}

void StartTimer(int iWindow, int iTimer, int iMilliseconds) {
    auto& pTimer = mTimer[{iWindow, iTimer}];
    pTimer = std::make_unique<QTimer>();
    pTimer->setSingleShot(true);
    pTimer->setTimerType(Qt::PreciseTimer); // a window timer never fires before its time
    const std::intptr_t iArming = ++iLastArming;
    mArming[{iWindow, iTimer}] = iArming;
    QObject::connect(pTimer.get(), &QTimer::timeout, [iWindow, iTimer, iArming] {
        // The timer is the sender of this signal: hand it to Qt to delete once the signal is done.
        auto it = mTimer.find({iWindow, iTimer});
        if (it != mTimer.end()) {
            it->second.release()->deleteLater();
            mTimer.erase(it);
        }
        EventHub::PostEvent(EventTimer, iWindow, iTimer, iArming);
    });
    pTimer->start(iMilliseconds < 0 ? 0 : iMilliseconds);
}

void StopTimer(int iWindow, int iTimer) {
    mTimer.erase({iWindow, iTimer});
    const auto it = mArming.find({iWindow, iTimer});
    if (it != mArming.end()) it->second = ++iLastArming; // a fired arming's queued event is stale now
}

bool TimerActive(int iWindow, int iTimer) { return mTimer.count({iWindow, iTimer}) != 0; }

bool TimerDue(int iWindow, int iTimer, std::intptr_t iArming) {
    const auto it = mArming.find({iWindow, iTimer});
    return it != mArming.end() && it->second == iArming;
}

} // namespace WindowRegistry
