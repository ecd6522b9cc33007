#include "app/DeviceChanges.h"

#include "common/WindowLog.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "transport/UsbSeam.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

namespace DeviceChanges {
namespace {

// How long one wait for libusb events lasts, and so how late the thread sees its stop flag.
constexpr int EventWaitMilliseconds = 100;

struct uWatch {
    const UsbSeam::uLibUsb1Calls* pCalls = nullptr;
    libusb_context* pContext = nullptr;
    libusb_hotplug_callback_handle iHandle = 0;
    std::mutex mutex;
    std::condition_variable cvEnded;
    bool fStop = false;
    bool fEnded = false;
};

// Never destroyed: a notice thread left running past the exit's wait may still read them.
std::mutex& mWindowsMutex = *new std::mutex;
std::set<int>& mWindows = *new std::set<int>;

std::shared_ptr<uWatch> pWatch; // GUI thread
std::thread mThread;

int LIBUSB_CALL OnHotplug(libusb_context*, libusb_device*, libusb_hotplug_event, void*) {
    std::lock_guard lock(mWindowsMutex);
    for (int iWindow : mWindows) EventHub::PostEvent(EventDeviceChange, iWindow);
    return 0;
}

void Loop(std::shared_ptr<uWatch> p) {
    for (;;) {
        {
            std::lock_guard lock(p->mutex);
            if (p->fStop) break;
        }
        timeval wait{0, EventWaitMilliseconds * 1000};
        p->pCalls->handle_events_timeout_completed(p->pContext, &wait, nullptr);
    }
    std::lock_guard lock(p->mutex);
    p->fEnded = true;
    p->cvEnded.notify_all();
}

} // namespace

bool Start() {
    if (pWatch) return true;
    const UsbSeam::uLibUsb1Calls& calls = UsbSeam::LibUsb1Calls();
    if (!calls.has_capability || !calls.hotplug_register_callback || !calls.hotplug_deregister_callback ||
        !calls.handle_events_timeout_completed || calls.has_capability(LIBUSB_CAP_HAS_HOTPLUG) == 0) {
        WindowLog::AddLine("USB: device changes are not reported on this system.");
        return false;
    }
    auto p = std::make_shared<uWatch>();
    p->pCalls = &calls;
    if (calls.init(&p->pContext) != 0) {
        WindowLog::AddLine("USB: device changes are not reported on this system.");
        return false;
    }
    const int iEvents = LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED | LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT;
    if (calls.hotplug_register_callback(p->pContext, iEvents, 0, LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY,
                                        LIBUSB_HOTPLUG_MATCH_ANY, OnHotplug, nullptr, &p->iHandle) != 0) {
        calls.exit(p->pContext);
        WindowLog::AddLine("USB: device changes are not reported on this system.");
        return false;
    }
    pWatch = p;
    mThread = std::thread(Loop, p);
    return true;
}

void RequestStop() {
    if (!pWatch) return;
    {
        std::lock_guard lock(pWatch->mutex);
        if (std::exchange(pWatch->fStop, true)) return;
    }
    // Deregistering wakes the event wait.
    pWatch->pCalls->hotplug_deregister_callback(pWatch->pContext, pWatch->iHandle);
}

bool Stop(std::chrono::milliseconds wait) {
    if (!pWatch) return true;
    RequestStop();
    std::shared_ptr<uWatch> p = std::move(pWatch);
    std::unique_lock lock(p->mutex);
    if (p->cvEnded.wait_for(lock, wait, [&p] { return p->fEnded; })) {
        lock.unlock();
        mThread.join();
        p->pCalls->exit(p->pContext);
        return true;
    }
    // The context stays open for the thread that still uses it.
    mThread.detach();
    return false;
}

bool Running() { return static_cast<bool>(pWatch); }

void AddWindow(int iWindow) {
    std::lock_guard lock(mWindowsMutex);
    mWindows.insert(iWindow);
}

void RemoveWindow(int iWindow) {
    std::lock_guard lock(mWindowsMutex);
    mWindows.erase(iWindow);
}

} // namespace DeviceChanges
