// Drives the real windows of an instrument that is not identified for a look by eye: a main window
// connected over raw TCP on loopback to a simulated device that leaves *IDN? unanswered, and its
// SCPI command, screenshot and waveform windows opened as separate windows, cascaded over it,
// "Waveform" pressed in the last. Saves the screen as PNG and prints every title and the log.
// Usage: tool_UnidentifiedTitlesScreenshot out.png  (under Xvfb with a window manager that draws
// titles, such as openbox, inside a network namespace of its own).
#include "ToolSupport.h"

#include "app/ChildWindow.h"
#include "app/Window.h"
#include "sim/RawTcpServer.h"
#include "windows/capture/WindowScreenshot.h"
#include "windows/capture/WindowWaveform.h"
#include "windows/scpi/WindowScpiCommand.h"

#include <QApplication>
#include <QPushButton>

int main(int argc, char** argv) {
    if (!ToolSupport::OneArgument(argc, argv, "out.png")) return 2;
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QTemporaryDir dir;
    ToolSupport::UseFoldersWithConfig(dir);
    WindowScpiCommand::RegisterKind();
    WindowScreenshot::RegisterKind();
    WindowWaveform::RegisterKind();
    WindowLog::Create();
    Sim::RawTcpServer server;
    server.Device().SwallowAnswers(1); // the identification
    std::string sError;
    int iMain = 0;
    WindowStart::uWindowStart* pMain = ToolSupport::OpenMain(iMain, 0, 0, 800, 600);
    if (!server.Start(sError) || !pMain) return ToolSupport::Fail("unidentified_titles", 1);
    const InstrumentObject object = ToolSupport::ConnectRawTcp(iMain, server.Port(), 0, false);
    if (!ToolSupport::WaitFor([&] { return pMain->info.fConnected; }, 10000))
        return ToolSupport::Fail("unidentified_titles", 2);
    std::printf("main: %s\n", pMain->pFrame->windowTitle().toUtf8().constData());
    int iStep = 0;
    for (const int iKind : {WindowKindScpiCommand, WindowKindScreenshot, WindowKindWaveform}) {
        WindowStart::OpenChildByKind(iMain, iKind, 0);
        ToolSupport::Settle(400);
        WindowFrame* pFrame = ChildWindow::Find(WindowStart::FindChild(iMain, iKind));
        if (!pFrame) return ToolSupport::Fail("unidentified_titles", 3 + iStep);
        pFrame->setGeometry(40 + 60 * iStep, 120 + 60 * iStep, 560, 330);
        pFrame->raise();
        std::printf("child: %s\n", pFrame->windowTitle().toUtf8().constData());
        ++iStep;
    }
    uWindowWaveform* pWaveform = nullptr; // in front: its status line says why it cannot read
    if (WindowWaveform::GetInstance(WindowStart::FindChild(iMain, WindowKindWaveform), &pWaveform))
        pWaveform->gadgets.pRead->click(), std::printf("waveform status: %s\n", pWaveform->Status().c_str());
    ToolSupport::Settle(800);
    const bool fSaved = ToolSupport::Grab(QString::fromLocal8Bit(argv[1]));
    std::printf("log:\n%s\n", WindowLog::Text().c_str());
    std::fflush(stdout);
    ToolSupport::CloseAll(iMain);
    return fSaved ? 0 : 1;
}
