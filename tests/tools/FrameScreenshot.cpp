// Drives the real main window and saves a picture of the screen: the main window connected to
// the raw TCP simulator on loopback (title and status bar), a SCPI command window, a screenshot
// window and its viewer as MDI children tiled side by side, and the log window.
// Usage: frame_screenshot out.png  (run under a display server, e.g. Xvfb; the instrument list
// never searches here, but run it inside a network namespace of its own all the same).
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
#include "windows/capture/WindowScreenshot.h"
#include "windows/capture/WindowScreenshotViewer.h"
#include "windows/scpi/WindowScpiCommand.h"
#include "windows/select/WindowSelectInstrument.h"

#include <QAction>
#include <QApplication>
#include <QMdiArea>
#include <QMenuBar>
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
    ToolSupport::UseFoldersWithConfig(dir);
    WindowSelectInstrument::RegisterKind();
    WindowScpiCommand::RegisterKind();
    WindowScreenshot::RegisterKind();
    WindowScreenshotViewer::RegisterKind();
    ImagePluginGdiPlus::RegisterDecoder();
    ImagePluginGdiPlus::RegisterEncoder();
    WindowLog::Create();
    WindowLog::AddLine("Preferences file: File could not be opened.");

    int iMain = 0;
    WindowStart::uWindowStart* pWindow = ToolSupport::OpenMain(iMain, 10, 40, 900, 620);
    if (!pWindow) return 1;

    // The instrument list chooses the simulated instrument, described by hand.
    Sim::RawTcpServer server;
    std::string sError;
    if (!server.Start(sError)) return 1;
    server.Device().SetIdn("RIGOL TECHNOLOGIES,DS1104Z,DS1ZA000000001,00.04.04.SP3");
    const int iList = WindowStart::FindChild(iMain, WindowKindSelectInstrument);
    const InstrumentObject object = ToolSupport::ConnectRawTcp(iMain, server.Port(), iList);
    if (!object) return 1;
    Settle(800);

    // "SCPI-&Command..." and "&Screenshot..." from the menus the frame shows now.
    for (int iItem : {WindowStart::MenuScpiCommand, WindowStart::MenuScreenshot}) {
        if (QAction* pItem = WindowStart::FindMenuItem(pWindow->pFrame->menuBar(), iItem)) pItem->trigger();
        Settle(300);
    }
    const int iShot = WindowStart::FindChild(iMain, WindowKindScreenshot);
    EventHub::PostEvent(EventOpenViewer, iMain, WindowKindScreenshotViewer, 1, EventHub::Payload::Of<std::int64_t>(iShot));
    Settle(300);
    EventHub::PostEvent(EventMenu, iMain, WindowStart::MenuTileVertically);
    WindowLog::Show(iMain);
    if (QWidget* pLog = WindowLog::Widget()) pLog->setGeometry(930, 40, 460, 620);
    Settle(500);

    const bool fSaved = ToolSupport::Grab(QString::fromLocal8Bit(argv[1]));

    // Everything closes before the application goes.
    ToolSupport::CloseAll(iMain);
    return fSaved ? 0 : 1;
}
