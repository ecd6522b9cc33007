// The list of live instances that a transport module keeps under a mutex of its own. An
// instance is known by its address (which is also its abort-request key); it is in the list
// from NewInstance until its Destructor, and a caller that still holds it afterwards holds an
// instance without buffers that no procedure accepts as live.
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

namespace InstanceList {

// "<sModule>::Destructor: This instance does not exist. Instance number = $" + the address in
// hexadecimal (upper case).
std::string MissingText(const char* pModule, const void* pInstance);

template <class T> class uList {
  public:
    // A new instance in the list; nullptr when no memory could be had.
    std::shared_ptr<T> Add() {
        try {
            auto instance = std::make_shared<T>();
            std::lock_guard lock(mMutex);
            mInstances.push_back(instance);
            ++iCreated;
            return instance;
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }

    // Takes the instance out of the list and hands over the list's reference, so that the
    // caller can still free its buffers when nobody else holds it; nullptr when it is not there.
    std::shared_ptr<T> Remove(const T& instance) {
        std::lock_guard lock(mMutex);
        auto it = std::find_if(mInstances.begin(), mInstances.end(),
                               [&](const std::shared_ptr<T>& p) { return p.get() == &instance; });
        if (it == mInstances.end()) return nullptr;
        std::shared_ptr<T> keep = std::move(*it);
        mInstances.erase(it);
        return keep;
    }

    std::size_t Live() const {
        std::lock_guard lock(mMutex);
        return mInstances.size();
    }

    std::size_t Created() const {
        std::lock_guard lock(mMutex);
        return iCreated;
    }

  private:
    mutable std::mutex mMutex;
    std::vector<std::shared_ptr<T>> mInstances;
    std::size_t iCreated = 0;
};

} // namespace InstanceList
