// Window numbers and numbered one-shot window timers.
#pragma once

namespace WindowRegistry {

// A new window number: counts up from 1 and is never handed out twice in a run.
int NewWindowNumber();

// Whether the window number is in use (handed out and not yet released).
bool IsOpen(int iWindow);

// The window closed: its bindings, timers and queued deliveries are dropped.
void Release(int iWindow);

// GUI thread. Arms timer iTimer of the window to fire once after iMilliseconds; arming the same
// number again replaces the earlier one. When it fires, EventTimer reaches the window with the
// timer number as object.
void StartTimer(int iWindow, int iTimer, int iMilliseconds);
void StopTimer(int iWindow, int iTimer);
bool TimerActive(int iWindow, int iTimer);

} // namespace WindowRegistry
