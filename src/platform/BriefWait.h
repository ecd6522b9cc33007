// A thread that hands work to another and waits for the outcome sleeps in the kernel, and waking
// it costs some tens of microseconds on a virtual machine: more than a whole request and answer
// over a local link. Where the outcome usually comes that fast, the waiter looks for it a short
// moment before it sleeps, giving the processor away between looks. Only where the program may
// run on more than one processor: on one, the look takes the time of the very thread it waits for.
#pragma once

#include <chrono>
#include <thread>

namespace BriefWait {

using Clock = std::chrono::steady_clock;

// The look before sleeping: long enough for a peer on this machine or the local network to answer.
inline constexpr auto Span = std::chrono::microseconds(100);
// A waiter whose last wait took longer than this (a slow instrument, a user's next click) sleeps at
// once the next time; one that was answered faster looks again.
inline constexpr auto Quick = std::chrono::microseconds(1000);

// True where the program may run on more than one processor.
bool Worthwhile();

// Asks fReady until it says true (then true) or until Span, or the deadline if sooner, has passed
// (then false). Nothing is asked where it is not worthwhile.
template <typename Ready> bool Look(Ready&& fReady, Clock::time_point deadline = Clock::time_point::max()) {
    if (!Worthwhile()) return false;
    const Clock::time_point now = Clock::now();
    const Clock::time_point end = deadline - now < Span ? deadline : now + Span;
    for (;;) {
        if (fReady()) return true;
        if (Clock::now() >= end) return false;
        std::this_thread::yield();
    }
}

} // namespace BriefWait
