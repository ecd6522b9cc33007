#include "common/EventData.h"

#include <atomic>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace Utility {
namespace {

using Clock = std::chrono::steady_clock;

struct uStored {
    uEventData record;
    Clock::time_point tStored;
};

struct uStore {
    std::mutex mutex;
    std::unordered_map<std::string, std::vector<uStored>> mEntries;
    std::size_t iCount = 0;
    Clock::duration tPurgeAge = std::chrono::minutes(5);
};

constexpr std::size_t PurgeThreshold = 1000;

// Never destroyed: a thread that outlives the exit's stop wait may still report an error here.
uStore& Store() {
    static auto* pStore = new uStore;
    return *pStore;
}

std::atomic<std::int64_t> iLastKey{0};

// Drops the records older than the purge age; the store's lock is held.
void PurgeOld(uStore& store) {
    const Clock::time_point tLimit = Clock::now() - store.tPurgeAge;
    for (auto it = store.mEntries.begin(); it != store.mEntries.end();) {
        auto& list = it->second;
        std::erase_if(list, [&](const uStored& entry) {
            if (entry.tStored > tLimit) return false;
            --store.iCount;
            return true;
        });
        it = list.empty() ? store.mEntries.erase(it) : std::next(it);
    }
}

} // namespace

std::int64_t EventDataNewKey() { return ++iLastKey; }

void EventDataPut(const std::string& sKey, const uEventData* pRecord) {
    uStore& store = Store();
    std::lock_guard lock(store.mutex);
    if (store.iCount > PurgeThreshold) PurgeOld(store);
    if (pRecord == nullptr) return;
    store.mEntries[sKey].push_back({*pRecord, Clock::now()});
    ++store.iCount;
}

bool EventDataTake(const std::string& sKey, uEventData& out) {
    uStore& store = Store();
    std::lock_guard lock(store.mutex);
    const auto it = store.mEntries.find(sKey);
    if (it == store.mEntries.end()) return false;
    out = std::move(it->second.back().record);
    it->second.pop_back();
    if (it->second.empty()) store.mEntries.erase(it);
    --store.iCount;
    return true;
}

std::int64_t EventDataStore(const uEventData& record) {
    const std::int64_t iKey = EventDataNewKey();
    EventDataPut(std::to_string(iKey), &record);
    return iKey;
}

void EventDataSetPurgeAge(std::chrono::milliseconds age) {
    uStore& store = Store();
    std::lock_guard lock(store.mutex);
    store.tPurgeAge = age;
}

std::size_t EventDataCount() {
    uStore& store = Store();
    std::lock_guard lock(store.mutex);
    return store.iCount;
}

void EventDataClear() {
    uStore& store = Store();
    std::lock_guard lock(store.mutex);
    store.mEntries.clear();
    store.iCount = 0;
}

} // namespace Utility
