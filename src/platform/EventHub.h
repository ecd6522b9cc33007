// The event hub: program events posted from any thread, delivered in order on the GUI thread
// to the handler bound to the event number and window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <typeinfo>

namespace EventHub {

// The data of an event. It owns what it carries: a payload that is never delivered (its window
// closed, or it was posted to WindowNobody) is freed with the event.
class Payload {
  public:
    Payload() = default;
    template <class T> static Payload Of(std::unique_ptr<T> value) {
        Payload p;
        p.pType = &typeid(T);
        p.pValue = std::shared_ptr<void>(std::move(value));
        return p;
    }
    template <class T> static Payload Of(T value) { return Of(std::make_unique<T>(std::move(value))); }

    // The carried value when it is of type T, else nullptr.
    template <class T> T* Get() const {
        return pValue && *pType == typeid(T) ? static_cast<T*>(pValue.get()) : nullptr;
    }
    explicit operator bool() const { return static_cast<bool>(pValue); }

  private:
    const std::type_info* pType = nullptr;
    std::shared_ptr<void> pValue;
};

struct uEvent {
    int iEvent = 0;
    int iWindow = 0;
    std::intptr_t iObject = 0;
    std::intptr_t iType = 0;
    Payload pData;
};

using Handler = std::function<void(const uEvent&)>;

// Binds to every window: used by the top-level loop for the frame events.
inline constexpr int AnyWindow = -2147483647 - 1;

// Creates the hub's delivery object; call once on the GUI thread after the Qt application exists.
// Calling it again empties the queue and forgets every binding (tests start afresh this way).
void Init();

// May be called from any thread. Events to WindowNobody are dropped at once. The event is
// delivered as soon as the GUI thread is free.
void PostEvent(int iEvent, int iWindow, std::intptr_t iObject = 0, std::intptr_t iType = 0,
               Payload pData = {});
// The same for one of a stream of events that need not wake the GUI thread each (progress
// reports, results while the poster has more work queued): shortly after a delivery it waits
// (about 2 ms) for the hub's follow-up turn, and comes in order with the other events. A stream
// then costs a wake-up per follow-up turn, not one per event.
void PostProgress(int iEvent, int iWindow, std::intptr_t iObject = 0, std::intptr_t iType = 0,
                  Payload pData = {});

// May be called from any thread: runs the call on the GUI thread, in order with the events
// posted before it. False, the call dropped, while there is no delivery: before Init, and from
// the moment the Qt application is being destroyed (a thread that outlived the exit's wait).
bool PostCall(std::function<void()> call);

// GUI thread. A handler bound to (event, window) wins over one bound to (event, AnyWindow).
// Binding the same pair again replaces the handler.
void Bind(int iEvent, int iWindow, Handler handler);
void Unbind(int iEvent, int iWindow);
void UnbindWindow(int iWindow);

// Delivers every queued event now, on the calling (GUI) thread; returns how many were taken.
// The Qt event loop calls this by itself; tests without a running loop may call it by hand.
std::size_t Pump();

// Number of events waiting to be delivered.
std::size_t Pending();

} // namespace EventHub
