#include "transport/AbortRequests.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace Instrument {
namespace {

// A leaf lock: held for one walk of the list, never while another lock is taken.
std::mutex& AbortMutex() {
    static std::mutex mutex;
    return mutex;
}

std::vector<std::uint64_t>& AbortRequestList() {
    static std::vector<std::uint64_t> list;
    return list;
}

} // namespace

void RequestAbort(std::uint64_t iId) {
    if (iId == 0) return;
    std::lock_guard lock(AbortMutex());
    auto& list = AbortRequestList();
    if (std::find(list.begin(), list.end(), iId) == list.end()) list.push_back(iId);
}

bool TakeAbortRequest(std::uint64_t iId) {
    if (iId == 0) return false;
    std::lock_guard lock(AbortMutex());
    auto& list = AbortRequestList();
    const auto it = std::find(list.begin(), list.end(), iId);
    if (it == list.end()) return false;
    list.erase(it);
    return true;
}

} // namespace Instrument
