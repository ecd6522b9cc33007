#include "windows/capture/WindowWaveform.h"

#include "app/ChildWindow.h"
#include "app/Window.h"
#include "app/WindowKinds.h"
#include "platform/WindowFrame.h"

#include <QWidget>

namespace WindowWaveform {

int Open(int iMainWindow, int iChild, uInstrumentWindowInfo*) {
    return ChildWindow::Open(iMainWindow, iChild, WindowKindWaveform, "Waveform", true,
                             [](WindowFrame* pFrame, QMenuBar*) { pFrame->setCentralWidget(new QWidget(pFrame)); }, {});
}

int UpdateMenus(int iWindow) {
    ChildWindow::BuildMenu(ChildWindow::Find(iWindow));
    return 0;
}

void RegisterKind() { WindowKinds::Register(WindowKindWaveform, {Open, UpdateMenus}); }

} // namespace WindowWaveform
