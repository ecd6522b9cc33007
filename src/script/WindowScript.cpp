#include "script/WindowScript.h"

#include "app/Window.h"
#include "app/WindowKinds.h"
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
    frame->resize(700, 500);
    mWindowScript[iWindow] = frame;
    WindowStart::SetUpTopLevelFrame(frame, 8, Close);
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

void RegisterKind() {
    WindowKinds::Register(WindowKindScript, {[](int, int, uInstrumentWindowInfo*) { return Open(); }, {}});
}

} // namespace WindowScript
