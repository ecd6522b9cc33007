#include "script/WindowScript.h"

#include "app/WindowStart.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowFrame.h"
#include "platform/WindowRegistry.h"

#include <QCoreApplication>
#include <QPointer>

#include <map>

namespace WindowScript {
namespace {

std::map<int, QPointer<WindowFrame>> mWindowScript;

} // namespace

int Open() {
    const int iWindow = WindowRegistry::NewWindowNumber();
    auto* frame = new WindowFrame(iWindow);
    frame->setWindowTitle(QString("Orvanto %1").arg(QCoreApplication::applicationVersion()));
    WindowStart::CreateMenu(frame, 8);
    frame->resize(700, 500);
    mWindowScript[iWindow] = frame;

    using EventHub::uEvent;
    EventHub::Bind(EventMenu, iWindow, [iWindow](const uEvent& e) {
        WindowStart::HandleSharedMenuItem(iWindow, static_cast<int>(e.iObject), e.iType != 0);
    });
    EventHub::Bind(EventCloseWindowRequest, iWindow, [iWindow](const uEvent&) { Close(iWindow); });
    EventHub::Bind(EventWindowListChanged, iWindow,
                   [frame](const uEvent&) { WindowStart::UpdateCloseItem(frame); });
    frame->show();
    return iWindow;
}

void Close(int iWindow) {
    auto it = mWindowScript.find(iWindow);
    if (it == mWindowScript.end()) return;
    if (it->second) it->second->deleteLater();
    mWindowScript.erase(it);
    WindowRegistry::Release(iWindow);
    EventHub::PostEvent(EventScriptWindowClosed, iWindow);
}

} // namespace WindowScript
