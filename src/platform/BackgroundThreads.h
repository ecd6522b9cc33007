// The threads that work beside the GUI thread for a while (a script, a file's save or read, a
// screen copy's decoding) are counted here, with a way to ask each to stop. At exit the program
// asks them all and waits a bounded time for the last to end, so that none is cut off in the
// middle of a file or still runs while the program's state is taken down.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace BackgroundThreads {

// A running thread's place in the count: taken before the thread starts, moved into it, and
// given back when the thread's callable is destroyed at its end.
class uTicket {
  public:
    uTicket() = default;
    uTicket(uTicket&& other) noexcept : iId(other.iId) { other.iId = 0; }
    uTicket& operator=(uTicket&& other) noexcept;
    uTicket(const uTicket&) = delete;
    uTicket& operator=(const uTicket&) = delete;
    ~uTicket() { Release(); }
    // Gives the place back early (the thread's last step is done).
    void Release();

  private:
    friend uTicket Enter(std::function<void()> fnStop);
    std::int64_t iId = 0;
};

// Counts a thread about to start. fnStop asks it to stop (from the GUI thread, outside any of
// this module's locks); it may be called after the thread ended, so it holds what it touches.
uTicket Enter(std::function<void()> fnStop = {});

// Asks every counted thread to stop.
void RequestStopAll();

// Waits until no counted thread runs or the time is up; true when none runs.
bool WaitAll(std::chrono::milliseconds timeout);

// The number of counted threads that run now.
int Running();

} // namespace BackgroundThreads
