// The instrument selection window: the child of a main window in which the user searches USB
// and the network for instruments, adds LAN and serial instruments by hand, and picks the one
// that the main window is to connect. It lives in the main window's MDI area or stands alone.
// Opening it starts a search at once (USB only unless the user asked for the network too).
#pragma once

#include <string>

struct uInstrumentWindowInfo;

namespace WindowSelectInstrument {

// Builds the window in the MDI child iChild of the main window, or for -1 as a separate window;
// returns its window number, 0 when it could not be opened.
int Open(int iMainWindow, int iChild, uInstrumentWindowInfo* pInfo);
// Builds the window's menu bar anew and applies the gadget states to it.
int UpdateMenus(int iWindow);
// Closes the window; iClosingMain is the main window when that one is closing itself (it gets
// its close request back once this window is gone), else 0.
void Close(int iWindow, int iClosingMain);
// Enters the window's kind into the frame's window-kind registry (start-up).
void RegisterKind();

} // namespace WindowSelectInstrument
