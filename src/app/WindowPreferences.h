// The preferences window: for now an empty window without menus. The program has at most one.
#pragma once

struct uInstrumentWindowInfo;

namespace WindowPreferences {

// Builds the window in the MDI child iChild of the main window, or for -1 as a separate window;
// returns its window number, 0 when it could not be opened.
int Open(int iMainWindow, int iChild, uInstrumentWindowInfo* pInfo);
// Enters the window's kind into the window-kind registry (start-up).
void RegisterKind();

} // namespace WindowPreferences
