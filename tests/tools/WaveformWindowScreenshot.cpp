// Drives the real waveform window for a look by eye: a main window connected to the simulated
// Rigol DS1000Z Plus over raw TCP on loopback, the waveform window as a separate window after
// "Refresh" with two channels ticked, then its "Options" tab with rows checked; last a new main
// window at its default size with the waveform window in its MDI area. Saves
// <folder>/waveform.png, <folder>/waveform-options.png and <folder>/waveform-mdi.png and prints
// what the window shows.
// Usage: tool_WaveformWindowScreenshot <folder>  (under a display server such as Xvfb, inside a
// network namespace of its own).
#include "ToolSupport.h"

#include "app/Window.h"
#include "app/WindowStart.h"
#include "common/UtilityGui.h"
#include "common/WindowLog.h"
#include "instrument/Instrument.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowFrame.h"
#include "sim/RawTcpServer.h"
#include "sim/RigolScope.h"
#include "windows/capture/OptionList.h"
#include "windows/capture/WaveformChecks.h"
#include "windows/capture/WindowWaveform.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTreeWidget>

#include <cstdio>

namespace {

int Fail(int iStep) { return ToolSupport::Fail("waveform_window_screenshot", iStep); }

void Print(const QTreeWidget* pList, const char* sName) {
    std::printf("%s:\n", sName);
    for (int i = 0; i < pList->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* p = pList->topLevelItem(i);
        std::printf("  [%c] %s | %s\n", p->checkState(0) == Qt::Checked ? 'x' : ' ', p->text(0).toUtf8().constData(),
                    p->text(1).toUtf8().constData());
    }
}

} // namespace

int main(int argc, char** argv) {
    if (!ToolSupport::OneArgument(argc, argv, "folder")) return 2;
    const QString sFolder = QString::fromLocal8Bit(argv[1]);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QTemporaryDir dir;
    ToolSupport::UseFoldersWithConfig(dir);
    WindowWaveform::RegisterKind();
    WaveformChecks::Install();
    WindowLog::Create();

    int iMain = 0;
    if (!ToolSupport::OpenMain(iMain, 10, 40, 520, 360)) return Fail(1);

    Sim::RawTcpServer server;
    Sim::RigolScope scope(Sim::RigolScope::eFamily::DS1000ZPlus);
    scope.Attach(server.Device());
    scope.ShowChannel(2, true);
    scope.ShowLogic(true);
    scope.ShowLine(3, true);
    std::string sError;
    if (!server.Start(sError)) return Fail(2);
    const InstrumentObject object = ToolSupport::ConnectRawTcp(iMain, server.Port(), 0, false);
    if (!object) return Fail(3);
    ToolSupport::Settle(1000);

    WindowStart::OpenWaveform(iMain, 0);
    ToolSupport::Settle(300);
    uWindowWaveform* p = nullptr;
    if (!WindowWaveform::GetInstance(WindowStart::FindChild(iMain, WindowKindWaveform), &p)) return Fail(4);
    p->pFrame->move(560, 40);
    ToolSupport::Settle(200);
    p->pRefresh->click();
    ToolSupport::Settle(1500);
    for (int i = 0; i < p->pChannels->topLevelItemCount() && i < 2; ++i)
        p->pChannels->topLevelItem(i)->setCheckState(0, Qt::Checked);
    ToolSupport::Settle(300);
    const bool fFirst = ToolSupport::Grab(sFolder + "/waveform.png");
    std::printf("title: %s, size %dx%d (minimum %dx%d), status \"%s\"\n",
                p->pFrame->windowTitle().toUtf8().constData(), p->pFrame->width(), p->pFrame->height(),
                p->iMinimumWidth, p->iMinimumHeight, Utility::StatusLabel(p->pStatusBar)->text().toUtf8().constData());
    Print(p->pChannels, "Channels");

    p->gadgets.pPanel->setCurrentIndex(1);
    p->gadgets.pOptionList->SetChecked(2000, true);
    p->gadgets.pOptionList->SetChecked(2001, true);
    ToolSupport::Settle(600);
    const bool fSecond = ToolSupport::Grab(sFolder + "/waveform-options.png");
    std::printf("tab: %s\n", p->gadgets.pPanel->tabText(1).toUtf8().constData());
    Print(p->gadgets.pOptionList, "Options");

    // A new main window at its default size with the waveform window in its MDI area.
    EventHub::PostEvent(EventCloseWindowRequest, p->iWindow);
    ToolSupport::Settle(300);
    const int iNew = Main::OpenMainWindow();
    ToolSupport::Settle(300);
    WindowStart::OpenChildByKind(iNew, WindowKindWaveform, 1);
    ToolSupport::Settle(600);
    const bool fThird = ToolSupport::Grab(sFolder + "/waveform-mdi.png");
    if (WindowWaveform::GetInstance(WindowStart::FindChild(iNew, WindowKindWaveform), &p)) {
        std::printf("in a new main window: MDI child %dx%d (minimum %dx%d)\n", p->pFrame->parentWidget()->width(),
                    p->pFrame->parentWidget()->height(), p->iMinimumWidth, p->iMinimumHeight);
    }

    std::fflush(stdout);
    EventHub::PostEvent(EventCloseWindowRequest, iNew);
    ToolSupport::CloseAll(iMain);
    return fFirst && fSecond && fThird ? 0 : 1;
}
