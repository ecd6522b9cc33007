#include "app/WindowPreferences.h"

#include "app/ChildWindow.h"
#include "app/Window.h"
#include "app/WindowKinds.h"
#include "platform/WindowFrame.h"

#include <QWidget>

namespace WindowPreferences {

int Open(int iMainWindow, int iChild, uInstrumentWindowInfo*) {
    return ChildWindow::Open(iMainWindow, iChild, WindowKindPreferences, "Preferences", false,
                             [](WindowFrame* pFrame, QMenuBar*) { pFrame->setCentralWidget(new QWidget(pFrame)); }, {});
}

void RegisterKind() { WindowKinds::Register(WindowKindPreferences, {Open, {}}); }

} // namespace WindowPreferences
