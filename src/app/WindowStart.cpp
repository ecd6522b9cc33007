#include "app/WindowStart.h"

#include "app/Main.h"
#include "common/WindowLog.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowFrame.h"
#include "platform/WindowRegistry.h"

#include <QAction>
#include <QMdiArea>
#include <QMenuBar>
#include <QPointer>

#include <map>

namespace WindowStart {
namespace {

std::map<int, QPointer<WindowFrame>> mWindowStart;

} // namespace

void CreateMenu(WindowFrame* frame, int iKind) {
    QMenu* file = frame->menuBar()->addMenu("&File");
    frame->AddMenuItem(file, MenuNewWindow, "&New Window");
    frame->AddMenuItem(file, MenuNewScript, "&New Script");
    frame->AddMenuItem(file, MenuCloseWindow, "&Close Window");
    file->addSeparator();
    frame->AddMenuItem(file, MenuExit, "&Exit");
    QMenu* help = frame->menuBar()->addMenu("&Help");
    frame->AddMenuItem(help, MenuLog, "&Log...");
    (void)iKind;
}

bool HandleSharedMenuItem(int iWindow, int iItem, bool fCtrl) {
    switch (iItem) {
    case MenuNewWindow: EventHub::PostEvent(EventOpenMainWindow, iWindow); return true;
    case MenuNewScript: EventHub::PostEvent(EventOpenScriptWindow, iWindow); return true;
    case MenuCloseWindow: EventHub::PostEvent(EventCloseWindowRequest, iWindow); return true;
    case MenuExit: EventHub::PostEvent(fCtrl ? EventQuit : EventCloseAllWindows, iWindow); return true;
    case MenuLog: WindowLog::Show(iWindow); return true;
    default: return false;
    }
}

void UpdateCloseItem(WindowFrame* frame) {
    if (QAction* item = frame->MenuItem(MenuCloseWindow)) item->setEnabled(Main::CountTopLevelWindows() > 1);
}

void SetUpTopLevelFrame(WindowFrame* frame, int iKind, void (*fnClose)(int iWindow)) {
    CreateMenu(frame, iKind);
    const int iWindow = frame->Window();
    using EventHub::uEvent;
    EventHub::Bind(EventMenu, iWindow, [iWindow](const uEvent& e) {
        HandleSharedMenuItem(iWindow, static_cast<int>(e.iObject), e.iType != 0);
    });
    EventHub::Bind(EventCloseWindowRequest, iWindow, [iWindow, fnClose](const uEvent&) { fnClose(iWindow); });
    EventHub::Bind(EventWindowListChanged, iWindow, [frame](const uEvent&) { UpdateCloseItem(frame); });
}

int Open() {
    const int iWindow = WindowRegistry::NewWindowNumber();
    auto* frame = new WindowFrame(iWindow);
    frame->setWindowTitle("Orvanto");
    frame->setCentralWidget(new QMdiArea(frame));
    frame->resize(900, 600);
    mWindowStart[iWindow] = frame;
    SetUpTopLevelFrame(frame, 2, Close);
    frame->show();
    return iWindow;
}

void Close(int iWindow) {
    auto it = mWindowStart.find(iWindow);
    if (it == mWindowStart.end()) return;
    if (it->second) it->second->deleteLater();
    mWindowStart.erase(it);
    WindowRegistry::Release(iWindow);
    EventHub::PostEvent(EventMainWindowClosed, iWindow);
}

} // namespace WindowStart
