// Drives the real main window and saves a picture of the screen: the main window, the
// preferences window on its Instrument page with a time-out being edited, and the About box.
// Usage: tool_PreferencesScreenshot out.png  (run under a display server, e.g. Xvfb; no
// instrument list is opened, so nothing searches).
#include "ToolSupport.h"

#include "app/Main.h"
#include "app/Window.h"
#include "app/WindowAbout.h"
#include "app/WindowPreferences.h"
#include "app/WindowStart.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowFrame.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>

#include <cstdio>

namespace {

using ToolSupport::Settle;

} // namespace

int main(int argc, char** argv) {
    if (!ToolSupport::OneArgument(argc, argv, "out.png")) return 2;
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QTemporaryDir dir;
    ToolSupport::UseFolders(dir);
    QFile config(dir.filePath("user/config.ini"));
    if (!config.open(QIODevice::WriteOnly)) return 1;
    config.write("[General]\r\nPreferencesRecent = 2\r\n");
    config.close();
    Main::OpenConfig();
    WindowPreferences::RegisterKind();

    int iMain = 0;
    if (!ToolSupport::OpenMain(iMain, 10, 40, 1000, 700)) return 1;
    EventHub::PostEvent(EventMenu, iMain, WindowStart::MenuPreferences);
    Settle(300);
    WindowPreferences::uWindowPreferences* pPreferences = nullptr;
    if (!WindowPreferences::FindInstance(WindowStart::FindChild(-1, WindowKindPreferences), &pPreferences)) return 1;
    pPreferences->pFrame->move(40, 120);
    pPreferences->mTimeout[1]->setText("2500");
    Settle(200);
    WindowAbout::Open(iMain);
    // Beside the preferences rather than centred over the main window, so that both are seen.
    for (QWidget* pTop : QApplication::topLevelWidgets()) {
        if (pTop->windowTitle() == "About...") pTop->move(680, 120);
    }
    Settle(500);

    const bool fSaved = ToolSupport::Grab(QString::fromLocal8Bit(argv[1]));

    WindowAbout::Close();
    EventHub::PostEvent(EventCloseWindowRequest, iMain);
    Settle(400);
    Main::CloseConfig();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return fSaved ? 0 : 1;
}
