// Window numbers and numbered one-shot window timers.
#pragma once

#include <cstdint>

namespace WindowRegistry {

// A new window number: counts up from 1 and is never handed out twice in a run.
int NewWindowNumber();

// Whether the window number is in use (handed out and not yet released).
bool IsOpen(int iWindow);

// The window closed: its bindings, timers and queued deliveries are dropped.
void Release(int iWindow);

// GUI thread. Arms timer iTimer of the window to fire once after iMilliseconds; arming the same
// number again replaces the earlier one. When it fires, EventTimer reaches the window with the
// timer number as object and the arming's serial number as type.
void StartTimer(int iWindow, int iTimer, int iMilliseconds);
void StopTimer(int iWindow, int iTimer);
bool TimerActive(int iWindow, int iTimer);
// GUI thread. Whether an EventTimer is still due: false when its timer was stopped or armed
// again after it fired (the event was already queued then and would arrive late).
bool TimerDue(int iWindow, int iTimer, std::intptr_t iArming);

} // namespace WindowRegistry
