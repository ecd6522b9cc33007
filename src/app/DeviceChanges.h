// Watching USB devices come and go. A thread of its own takes libusb-1.0's hot-plug notices
// (through the USB seam) and posts EventDeviceChange to every window that asked for them; the
// windows themselves decide what a change means. Where the platform has no hot-plug, one log
// line says so and no notices come.
#pragma once

#include <chrono>

namespace DeviceChanges {

// Starts the thread; true when notices will come. Calling it while it runs changes nothing.
bool Start();
// Asks the thread to end, without waiting (the program's exit asks every thread first).
void RequestStop();
// Asks the thread to end and waits for it up to the given time; true when it has ended. One that
// has not is left to end by itself, with what it uses kept alive.
bool Stop(std::chrono::milliseconds wait = std::chrono::seconds(2));
bool Running();

// The windows that receive EventDeviceChange (GUI thread; the notice thread reads the set).
void AddWindow(int iWindow);
void RemoveWindow(int iWindow);

} // namespace DeviceChanges
