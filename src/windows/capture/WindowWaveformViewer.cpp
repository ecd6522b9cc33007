#include "windows/capture/WindowWaveformViewer.h"

#include "app/ChildWindow.h"
#include "app/Window.h"
#include "app/WindowKinds.h"
#include "platform/WindowFrame.h"

#include <QWidget>

namespace WindowWaveformViewer {

int Open(int iMainWindow, int iChild, uInstrumentWindowInfo*) {
    return ChildWindow::Open(iMainWindow, iChild, WindowKindWaveformViewer, "WaveformViewer", true,
                             [](WindowFrame* pFrame, QMenuBar*) { pFrame->setCentralWidget(new QWidget(pFrame)); }, {});
}

int UpdateMenus(int iWindow) {
    ChildWindow::BuildMenu(ChildWindow::Find(iWindow));
    return 0;
}

void RegisterKind() { WindowKinds::Register(WindowKindWaveformViewer, {Open, UpdateMenus}); }

} // namespace WindowWaveformViewer
