// The screenshot viewer: shows the latest image of its screenshot window, fitted to the window or
// at full size with scroll bars; saves it as PNG, copies it, fits the window to it and shows it
// fullscreen. The screenshot window pushes each image with EventNewScreenshot and the two keep
// their scale setting in step with EventViewerSync.
#pragma once

#include "windows/capture/ViewerFrame.h"

#include <QImage>
#include <QRect>
#include <QSize>

#include <cstdint>

struct uInstrumentWindowInfo;

struct uWindowScreenshotViewer {
    ViewerFrame::uViewer viewer;
    QImage image; // null while none is shown
    std::int64_t iCount = 0;
    std::int64_t fSizeChanged = 0;
    std::int64_t fScale = 0; // 1 fit the image to the window, 0 full size
    std::int64_t fDeliveredScale = 0;
    int iDrawnWidth = 0;
    int iDrawnHeight = 0;
    // When the shown image arrived: local civil seconds and the milliseconds of that second.
    std::int64_t iArrivalDate = 0;
    std::int64_t iArrivalMilliseconds = 0;
};

namespace WindowScreenshotViewer {

inline constexpr const char* Title = "Screenshot Viewer";

// Builds the window in the MDI child iChild of the main window, or for -1 as a separate window;
// returns its window number, 0 when it could not be opened.
int Open(int iMainWindow, int iChild, uInstrumentWindowInfo* pInfo);
// Builds the window's menu bar anew (after the main window's workspace list changed).
int UpdateMenus(int iWindow);
bool GetInstance(int iWindow, uWindowScreenshotViewer** ppRecord);
// Enters the window's kind into the frame's window-kind registry (start-up).
void RegisterKind();

// Where an image of the given size lands on a canvas of the given size (both in device pixels):
// fitted with its aspect kept when scaling, else at its own size; centred, truncating.
QRect DrawRect(QSize canvas, QSize image, bool fScale);

} // namespace WindowScreenshotViewer
