// Drives the real screenshot window for a look by eye: a main window connected to the simulated
// Rigol DS1000Z over raw TCP on loopback, a separate screenshot window that reads the simulator's
// screen with "Image processing" and "Colors inverted" ticked, and its viewer opened with
// "Show...". Saves <folder>/screenshot-window.png and prints what the window did.
// Usage: tool_ScreenshotWindowShot <folder>  (under a display server such as Xvfb, inside a
// network namespace of its own).
#include "ToolSupport.h"

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
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>

#include <cstdio>

namespace {

using ToolSupport::Settle;

int Fail(int iStep) { return ToolSupport::Fail("screenshot_window_shot", iStep); }

} // namespace

int main(int argc, char** argv) {
    if (!ToolSupport::OneArgument(argc, argv, "folder")) return 2;
    const QString sFolder = QString::fromLocal8Bit(argv[1]);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QTemporaryDir dir;
    ToolSupport::UseFoldersWithConfig(dir);
    WindowScreenshot::RegisterKind();
    WindowScreenshotViewer::RegisterKind();
    ImagePluginGdiPlus::Startup();
    ImagePluginGdiPlus::RegisterDecoder();
    ImagePluginGdiPlus::RegisterEncoder();
    WindowLog::Create();

    int iMain = 0;
    if (!ToolSupport::OpenMain(iMain, 10, 40, 420, 300)) return Fail(1);

    Sim::RawTcpServer server;
    std::string sError;
    if (!server.Start(sError)) return Fail(2);
    Sim::RigolScope scope(Sim::RigolScope::eFamily::DS1000Z);
    scope.Attach(server.Device());
    Sim::AnswerRigolScreenCopy(server.Device(), Sim::ScreenPicture(800, 480));
    const InstrumentObject object = ToolSupport::ConnectRawTcp(iMain, server.Port());
    if (!object) return Fail(3);
    Settle(1500);

    WindowStart::OpenScreenshot(iMain, 0);
    Settle(300);
    const int iShot = WindowStart::FindChild(iMain, WindowKindScreenshot);
    WindowScreenshotWindow* w = WindowScreenshot::Find(iShot);
    if (!w) return Fail(4);
    w->pFrame->move(20, 380); // at its default size
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
    const bool fSaved = ToolSupport::Grab(sFolder + "/screenshot-window.png");
    std::printf("window: %s, status \"%s\", picture %dx%d, viewer %s drawn %dx%d\n",
                w->pFrame->windowTitle().toUtf8().constData(), w->Status().c_str(), w->processed.width(),
                w->processed.height(), pViewer->viewer.pFrame->windowTitle().toUtf8().constData(),
                pViewer->iDrawnWidth, pViewer->iDrawnHeight);
    std::printf("log:\n%s\n", WindowLog::Text().c_str());
    std::fflush(stdout);
    ToolSupport::CloseAll(iMain);
    return fSaved ? 0 : 1;
}
