// Drives the real main window and saves a picture of the screen: the main window with its
// toolbar, the instrument list and a SCPI command window as MDI children, and the log window.
// Usage: frame_screenshot out.png  (run under a display server, e.g. Xvfb; the instrument list
// never searches here, but run it inside a network namespace of its own all the same).
#include "app/Main.h"
#include "app/WindowStart.h"
#include "common/WindowLog.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowFrame.h"
#include "windows/scpi/WindowScpiCommand.h"
#include "windows/select/WindowSelectInstrument.h"

#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QMdiArea>
#include <QMenuBar>
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
    Main::SetResourceFolders(dir.filePath("user").toStdString() + "/", dir.filePath("program").toStdString() + "/");
    Main::OpenConfig();
    WindowSelectInstrument::RegisterKind();
    WindowScpiCommand::RegisterKind();
    WindowLog::Create();
    WindowLog::AddLine("Preferences file: File could not be opened.");

    const int iMain = Main::OpenMainWindow();
    WindowStart::uWindowStart* pWindow = nullptr;
    if (iMain == 0 || !WindowStart::GetInstance(iMain, &pWindow)) return 1;
    pWindow->pFrame->setGeometry(10, 40, 900, 620);
    Settle(300);
    // "SCPI-&Command..." from the menus the frame shows now (those of the instrument list).
    if (QAction* pItem = WindowStart::FindMenuItem(pWindow->pFrame->menuBar(), WindowStart::MenuScpiCommand)) {
        pItem->trigger();
    }
    Settle(300);
    EventHub::PostEvent(EventMenu, iMain, WindowStart::MenuTileVertically);
    WindowLog::Show(iMain);
    if (QWidget* pLog = WindowLog::Widget()) pLog->setGeometry(930, 40, 460, 620);
    Settle(500);

    const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
    const bool fSaved = screen.save(QString::fromLocal8Bit(argv[1]), "PNG");

    // Everything closes before the application goes.
    EventHub::PostEvent(EventCloseWindowRequest, iMain);
    Settle(300);
    WindowLog::Close(1);
    Main::CloseConfig();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return fSaved ? 0 : 1;
}
