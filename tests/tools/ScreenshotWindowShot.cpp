// Drives the real screenshot window for a look by eye: a main window connected to the simulated
// Rigol DS1000Z over raw TCP on loopback, a separate screenshot window that reads the simulator's
// screen with "Image processing" and "Colors inverted" ticked, and its viewer opened with
// "Show...". Saves <folder>/screenshot-window.png and prints what the window did.
// Usage: tool_ScreenshotWindowShot <folder>  (under a display server such as Xvfb, inside a
// network namespace of its own).
#include "app/Main.h"
#include "app/Window.h"
#include "app/WindowStart.h"
#include "common/ImagePluginGdiPlus.h"
#include "common/WindowLog.h"
#include "instrument/Instrument.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowFrame.h"
#include "sim/RawTcpServer.h"
#include "sim/RigolScope.h"
#include "sim/ScreenCopyAnswers.h"
#include "windows/capture/OptionList.h"
#include "windows/capture/WindowScreenshot.h"
#include "windows/capture/WindowScreenshotViewer.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
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

int Fail(int iStep) {
    std::fprintf(stderr, "screenshot_window_shot: step %d failed\n", iStep);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s folder\n", argv[0]);
        return 2;
    }
    const QString sFolder = QString::fromLocal8Bit(argv[1]);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    EventHub::Init();
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath("user"));
    QDir().mkpath(dir.filePath("program"));
    Main::SetResourceFolders(dir.filePath("user").toStdString() + "/", dir.filePath("program").toStdString() + "/");
    Main::OpenConfig();
    WindowScreenshot::RegisterKind();
    WindowScreenshotViewer::RegisterKind();
    ImagePluginGdiPlus::Startup();
    ImagePluginGdiPlus::RegisterDecoder();
    ImagePluginGdiPlus::RegisterEncoder();
    WindowLog::Create();

    const int iMain = Main::OpenMainWindow();
    WindowStart::uWindowStart* pMain = nullptr;
    if (iMain == 0 || !WindowStart::GetInstance(iMain, &pMain)) return Fail(1);
    pMain->pFrame->setGeometry(10, 40, 420, 300);
    Settle(300);

    Sim::RawTcpServer server;
    std::string sError;
    if (!server.Start(sError)) return Fail(2);
    Sim::RigolScope scope(Sim::RigolScope::eFamily::DS1000Z);
    scope.Attach(server.Device());
    Sim::AnswerRigolScreenCopy(server.Device(), Sim::ScreenPicture(800, 480));
    InstrumentObject object = Instrument::Create(sError);
    if (!object) return Fail(3);
    uTaskPrepare prepare;
    prepare.head = {InstrumentTaskPrepare, 0, WindowNobody};
    prepare.eProtocol = prepare.eInterface = InterfaceRawTcp;
    prepare.fUserModel = 1;
    prepare.sUserManufacturer = "Rigol";
    prepare.sUserModel = "DS1104Z";
    prepare.rawTcp = {"127.0.0.1", "127.0.0.1", server.Port()};
    object->pInterface->AddTask(*object, prepare, sError);
    EventHub::PostEvent(EventConnectInstrument, iMain, 0, 0, EventHub::Payload::Of<InstrumentObject>(object));
    Settle(1500);

    WindowStart::OpenScreenshot(iMain, 0);
    Settle(300);
    const int iShot = WindowStart::FindChild(iMain, WindowKindScreenshot);
    WindowScreenshotWindow* w = WindowScreenshot::Find(iShot);
    if (!w) return Fail(4);
    w->pFrame->setGeometry(20, 380, 330, 420);
    for (std::int64_t iId : {1000, 1011}) w->gadgets.pOptionList->SetChecked(iId, true);
    Settle(400);
    w->gadgets.pRead->click();
    Settle(1500);
    w->gadgets.pShow->click();
    Settle(800);
    const int iViewer = WindowStart::FindChild(iMain, WindowKindScreenshotViewer);
    uWindowScreenshotViewer* pViewer = nullptr;
    if (!WindowScreenshotViewer::GetInstance(iViewer, &pViewer)) return Fail(5);
    pViewer->viewer.pFrame->setGeometry(460, 40, 700, 480);
    Settle(800);
    const bool fSaved =
        QGuiApplication::primaryScreen()->grabWindow(0).save(sFolder + "/screenshot-window.png", "PNG");
    std::printf("window: %s, status \"%s\", picture %dx%d, viewer %s drawn %dx%d\n",
                w->pFrame->windowTitle().toUtf8().constData(), w->Status().c_str(), w->processed.width(),
                w->processed.height(), pViewer->viewer.pFrame->windowTitle().toUtf8().constData(),
                pViewer->iDrawnWidth, pViewer->iDrawnHeight);
    std::printf("log:\n%s\n", WindowLog::Text().c_str());
    std::fflush(stdout);
    EventHub::PostEvent(EventCloseWindowRequest, iMain);
    Settle(600);
    Instrument::ReleaseAll(true, 0, sError);
    WindowLog::Close(1);
    Main::CloseConfig();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return fSaved ? 0 : 1;
}
