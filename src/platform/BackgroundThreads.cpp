#include "platform/BackgroundThreads.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <vector>

namespace BackgroundThreads {
namespace {

// Never destroyed: a thread may give its place back while the program's statics are taken down.
struct uModule {
    std::mutex mutex;
    std::condition_variable cv;
    std::map<std::int64_t, std::function<void()>> mRunning;
    std::int64_t iNext = 0;
};

uModule& Module() {
    static auto* p = new uModule;
    return *p;
}

} // namespace

uTicket& uTicket::operator=(uTicket&& other) noexcept {
    if (this != &other) {
        Release();
        iId = other.iId;
        other.iId = 0;
    }
    return *this;
}

void uTicket::Release() {
    if (iId == 0) return;
    uModule& m = Module();
    std::function<void()> fnStop; // destroyed outside the lock: it may hold the thread's last state
    {
        std::lock_guard lock(m.mutex);
        const auto it = m.mRunning.find(iId);
        if (it != m.mRunning.end()) {
            fnStop = std::move(it->second);
            m.mRunning.erase(it);
        }
        iId = 0;
        m.cv.notify_all();
    }
}

uTicket Enter(std::function<void()> fnStop) {
    uModule& m = Module();
    uTicket ticket;
    std::lock_guard lock(m.mutex);
    ticket.iId = ++m.iNext;
    m.mRunning.emplace(ticket.iId, std::move(fnStop));
    return ticket;
}

void RequestStopAll() {
    uModule& m = Module();
    std::vector<std::function<void()>> mStops;
    {
        std::lock_guard lock(m.mutex);
        for (const auto& [iId, fnStop] : m.mRunning) {
            if (fnStop) mStops.push_back(fnStop);
        }
    }
    for (const auto& fnStop : mStops) fnStop();
}

bool WaitAll(std::chrono::milliseconds timeout) {
    uModule& m = Module();
    std::unique_lock lock(m.mutex);
    return m.cv.wait_for(lock, timeout, [&] { return m.mRunning.empty(); });
}

int Running() {
    uModule& m = Module();
    std::lock_guard lock(m.mutex);
    return static_cast<int>(m.mRunning.size());
}

} // namespace BackgroundThreads
