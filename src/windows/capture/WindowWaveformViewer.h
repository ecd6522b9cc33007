// The waveform viewer: the companion window of the waveform window, on the same window as the
// screenshot viewer (placement, fullscreen, title, icon, instrument, link). It draws nothing yet:
// its "&Save As..." and "&Copy" stay disabled.
#pragma once

#include "windows/capture/ViewerFrame.h"

#include <memory>

struct uInstrumentWindowInfo;
struct uWaveformRecord;

struct uWindowWaveformViewer {
    ViewerFrame::uViewer viewer;
    // Nothing fills it yet; it goes with the window.
    std::shared_ptr<uWaveformRecord> pRecord;
};

namespace WindowWaveformViewer {

inline constexpr const char* Title = "Waveform Viewer";

// Builds the window in the MDI child iChild of the main window, or for -1 as a separate window;
// returns its window number, 0 when it could not be opened.
int Open(int iMainWindow, int iChild, uInstrumentWindowInfo* pInfo);
bool GetInstance(int iWindow, uWindowWaveformViewer** ppRecord);
// Enters the window's kind into the frame's window-kind registry (start-up). Its menu bar is
// built once, when it opens.
void RegisterKind();

} // namespace WindowWaveformViewer
