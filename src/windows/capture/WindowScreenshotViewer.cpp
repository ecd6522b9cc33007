#include "windows/capture/WindowScreenshotViewer.h"

#include "app/ChildWindow.h"
#include "app/Window.h"
#include "app/WindowKinds.h"
#include "platform/WindowFrame.h"

#include <QWidget>

namespace WindowScreenshotViewer {

int Open(int iMainWindow, int iChild, uInstrumentWindowInfo*) {
    return ChildWindow::Open(iMainWindow, iChild, WindowKindScreenshotViewer, "ScreenshotViewer", true,
                             [](WindowFrame* pFrame, QMenuBar*) { pFrame->setCentralWidget(new QWidget(pFrame)); }, {});
}

int UpdateMenus(int iWindow) {
    ChildWindow::BuildMenu(ChildWindow::Find(iWindow));
    return 0;
}

void RegisterKind() { WindowKinds::Register(WindowKindScreenshotViewer, {Open, UpdateMenus}); }

} // namespace WindowScreenshotViewer
