// Drives the real main window and saves a picture of the screen: the main window, the
// preferences window on its Instrument page with a time-out being edited, and the About box.
// Usage: tool_PreferencesScreenshot out.png  (run under a display server, e.g. Xvfb; no
// instrument list is opened, so nothing searches).
#include "app/Main.h"
#include "app/Window.h"
#include "app/WindowAbout.h"
#include "app/WindowPreferences.h"
#include "app/WindowStart.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowFrame.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

namespace {

void Settle(int iMilliseconds) {
    QDeadlineTimer deadline(iMilliseconds);
    while (!deadline.hasExpired()) {
        EventHub::Pump();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s out.png\n", argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    EventHub::Init();
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath("user"));
    QDir().mkpath(dir.filePath("program"));
    QFile config(dir.filePath("user/config.ini"));
    if (!config.open(QIODevice::WriteOnly)) return 1;
    config.write("[General]\r\nPreferencesRecent = 2\r\n");
    config.close();
    Main::SetResourceFolders(dir.filePath("user").toStdString() + "/", dir.filePath("program").toStdString() + "/");
    Main::OpenConfig();
    WindowPreferences::RegisterKind();

    const int iMain = Main::OpenMainWindow();
    WindowStart::uWindowStart* pWindow = nullptr;
    if (iMain == 0 || !WindowStart::GetInstance(iMain, &pWindow)) return 1;
    pWindow->pFrame->setGeometry(10, 40, 1000, 700);
    Settle(300);
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

    const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
    const bool fSaved = screen.save(QString::fromLocal8Bit(argv[1]), "PNG");

    WindowAbout::Close();
    EventHub::PostEvent(EventCloseWindowRequest, iMain);
    Settle(400);
    Main::CloseConfig();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return fSaved ? 0 : 1;
}
