// Drives the real windows for a look by eye in a new main window at its default size (800 x 600),
// connected over raw TCP on loopback to a simulated Rigol DS1104Z with its four channels shown:
// the instrument list after "Add" refused a partial address, the SCPI command window, the
// screenshot window and the waveform window (refreshed), each at its default size in front with
// a long failure reason in its status line and the tool tip over it; then the four after
// "Cascade", "Tile vertically" and "Tile horizontally". Saves select.png, scpi.png,
// screenshot.png, waveform.png, cascade.png, tile-vertically.png and tile-horizontally.png in
// the folder and prints each window's size and status text.
// Usage: tool_StatusLinesScreenshot <folder>  (under a display server such as Xvfb, inside a
// network namespace of its own: the instrument list searches at once).
#include "ToolSupport.h"

#include "app/ChildWindow.h"
#include "app/Window.h"
#include "common/UtilityGui.h"
#include "sim/RawTcpServer.h"
#include "sim/RigolScope.h"
#include "windows/capture/WaveformChecks.h"
#include "windows/capture/WindowScreenshot.h"
#include "windows/capture/WindowWaveform.h"
#include "windows/scpi/WindowScpiCommand.h"
#include "windows/select/WindowSelectInstrument.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolTip>
#include <QTreeWidget>

#include <cstdio>

namespace {

int Fail(int iStep) { return ToolSupport::Fail("status_lines_screenshot", iStep); }

// The child in front, the tool tip of its status line shown, and the main window's part of the
// screen saved.
bool Shoot(WindowStart::uWindowStart* pMain, int iChild, const QString& sFile) {
    QMdiSubWindow* pMdiFrame = ChildWindow::MdiFrame(iChild);
    WindowFrame* pFrame = ChildWindow::Find(iChild);
    if (!pMdiFrame || !pFrame) return false;
    pMain->pMdiArea->setActiveSubWindow(pMdiFrame);
    ToolSupport::Settle(300);
    QLabel* pStatus = Utility::StatusLabel(pFrame->statusBar());
    QToolTip::showText(pStatus->mapToGlobal(QPoint(40, pStatus->height() / 2)), pStatus->toolTip(), pStatus);
    ToolSupport::Settle(400);
    std::printf("%s: %dx%d at %d,%d; status \"%s\"\n", sFile.toUtf8().constData(), pMdiFrame->width(),
                pMdiFrame->height(), pMdiFrame->x(), pMdiFrame->y(), pStatus->text().toUtf8().constData());
    // With room below the main window for a tool tip that opens under it.
    const QRect r = pMain->pFrame->frameGeometry().adjusted(0, 0, 0, 60);
    const bool fSaved = QGuiApplication::primaryScreen()->grabWindow(0, r.x(), r.y(), r.width(), r.height()).save(sFile, "PNG");
    QToolTip::hideText();
    return fSaved;
}

bool ShootArrangement(WindowStart::uWindowStart* pMain, int iItem, const QString& sFile) {
    EventHub::PostEvent(EventMenu, pMain->iWindow, iItem);
    ToolSupport::Settle(500);
    const QRect area = pMain->pMdiArea->viewport()->rect();
    std::printf("%s: area %dx%d\n", sFile.toUtf8().constData(), area.width(), area.height());
    for (QMdiSubWindow* p : pMain->pMdiArea->subWindowList(QMdiArea::CreationOrder)) {
        std::printf("  %-28s %4d,%4d %4dx%4d (minimum %dx%d)%s\n", p->windowTitle().toUtf8().constData(), p->x(), p->y(),
                    p->width(), p->height(), p->minimumWidth(), p->minimumHeight(),
                    area.contains(p->geometry()) ? "" : "  OUTSIDE");
    }
    const QRect r = pMain->pFrame->frameGeometry();
    return QGuiApplication::primaryScreen()->grabWindow(0, r.x(), r.y(), r.width(), r.height()).save(sFile, "PNG");
}

} // namespace

int main(int argc, char** argv) {
    if (!ToolSupport::OneArgument(argc, argv, "folder")) return 2;
    const QString sFolder = QString::fromLocal8Bit(argv[1]);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QTemporaryDir dir;
    ToolSupport::UseFoldersWithConfig(dir);
    WindowSelectInstrument::RegisterKind();
    WindowScpiCommand::RegisterKind();
    WindowScreenshot::RegisterKind();
    WindowWaveform::RegisterKind();
    WaveformChecks::Install();
    WindowLog::Create();

    Sim::RawTcpServer server;
    Sim::RigolScope scope(Sim::RigolScope::eFamily::DS1000Z);
    scope.Attach(server.Device());
    for (int i = 1; i <= 4; ++i) scope.ShowChannel(i, true);
    std::string sError;
    if (!server.Start(sError)) return Fail(1);

    // A new main window as "New Window" opens it: default size, centred.
    const int iMain = Main::OpenMainWindow();
    WindowStart::uWindowStart* pMain = nullptr;
    if (iMain == 0 || !WindowStart::GetInstance(iMain, &pMain)) return Fail(2);
    ToolSupport::Settle(1500);
    const InstrumentObject object = ToolSupport::ConnectRawTcp(iMain, server.Port(), 0, true);
    if (!object) return Fail(3);
    if (!ToolSupport::WaitFor([&] { return pMain->info.fConnected; }, 10000)) return Fail(4);

    // The instrument list: "Add" with a partial address.
    const int iList = WindowStart::FindChild(iMain, WindowKindSelectInstrument);
    WindowFrame* pList = ChildWindow::Find(iList);
    if (!pList) return Fail(5);
    auto* pPanel = pList->findChild<QTabWidget*>();
    pPanel->setCurrentIndex(2);
    for (QLineEdit* p : pPanel->widget(2)->findChildren<QLineEdit*>()) {
        if (p->placeholderText() == "255.255.255.255") p->setText("192.168.1");
    }
    for (QPushButton* p : pPanel->widget(2)->findChildren<QPushButton*>()) {
        if (p->text() == "Add") p->click();
    }
    ToolSupport::Settle(300);

    // The three windows of the instrument, each with a failure as the program words it.
    const struct {
        int iKind;
        const char* sStatus;
    } children[] = {
        {WindowKindScpiCommand, "Communication error: RawTcp::SocketRead: No answer within 2000 ms; the data received "
                                "so far (0 bytes) is kept. Check the command and the instrument's interface settings."},
        {WindowKindScreenshot, "WindowScreenshot::SaveScreenshot: The file could not be created: "
                               "/home/user/Messungen/DS1104Z 2026-12-08 10-15-42.png (Permission denied)"},
        {WindowKindWaveform, "The automatic reading stopped: Channel 2 did not answer within 2000 ms. Not read: Channel 3, "
                             "Channel 4. Waveforms: 1 - Saved: 1 - Channel 1 - The data block does not end where its "
                             "header says, bytes announced: 1195"},
    };
    int mChild[3] = {};
    for (int i = 0; i < 3; ++i) {
        mChild[i] = WindowStart::OpenChildByKind(iMain, children[i].iKind, 1);
        ToolSupport::Settle(400);
        if (mChild[i] == 0) mChild[i] = WindowStart::FindChild(iMain, children[i].iKind);
        if (mChild[i] == 0) return Fail(6 + i);
    }
    uWindowWaveform* pWaveform = nullptr;
    if (!WindowWaveform::GetInstance(mChild[2], &pWaveform)) return Fail(9);
    pWaveform->pRefresh->click();
    ToolSupport::Settle(1500);
    for (int i = 0; i < 3; ++i) Utility::SetStatusText(ChildWindow::Find(mChild[i])->statusBar(), children[i].sStatus);

    bool fSaved = Shoot(pMain, iList, sFolder + "/select.png");
    fSaved = Shoot(pMain, mChild[0], sFolder + "/scpi.png") && fSaved;
    fSaved = Shoot(pMain, mChild[1], sFolder + "/screenshot.png") && fSaved;
    fSaved = Shoot(pMain, mChild[2], sFolder + "/waveform.png") && fSaved;
    for (int i = 0; i < pWaveform->pChannels->topLevelItemCount(); ++i) {
        std::printf("  channel row %s\n", pWaveform->pChannels->topLevelItem(i)->text(0).toUtf8().constData());
    }
    fSaved = ShootArrangement(pMain, WindowStart::MenuCascade, sFolder + "/cascade.png") && fSaved;
    fSaved = ShootArrangement(pMain, WindowStart::MenuTileVertically, sFolder + "/tile-vertically.png") && fSaved;
    fSaved = ShootArrangement(pMain, WindowStart::MenuTileHorizontally, sFolder + "/tile-horizontally.png") && fSaved;

    std::fflush(stdout);
    ToolSupport::CloseAll(iMain);
    return fSaved ? 0 : 1;
}
