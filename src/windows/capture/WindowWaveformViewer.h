// The waveform viewer: for now an empty window with its menus.
#pragma once

struct uInstrumentWindowInfo;

namespace WindowWaveformViewer {

// Builds the window in the MDI child iChild of the main window, or for -1 as a separate window;
// returns its window number, 0 when it could not be opened.
int Open(int iMainWindow, int iChild, uInstrumentWindowInfo* pInfo);
// Builds the window's menu bar anew.
int UpdateMenus(int iWindow);
// Enters the window's kind into the frame's window-kind registry (start-up).
void RegisterKind();

} // namespace WindowWaveformViewer
