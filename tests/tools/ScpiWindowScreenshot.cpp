// Drives the real SCPI command window of a main window connected to the raw TCP simulator on
// loopback: the command-list folder holds the shipped "Standard.ini" and a list of the tool's
// own, which is chosen; its "Block 300" entry is clicked and sent with "Send & Receive", and the
// answer (a 300-byte block) is shown in every view mode. Saves one picture of the screen each
// into the folder given: scpi-default.png (the main window and the SCPI command window at their
// default sizes), then with both larger scpi-hex-ascii.png, scpi-hex.png, scpi-ascii.png (First
// 128 / Last 32 bytes) and scpi-view-all.png ("Hex + Ascii" with "View all").
// Usage: scpi_window_screenshot out-folder  (run under a display server; the instrument list
// never opens here, but run it inside a network namespace of its own all the same, e.g.
//   unshare -rn sh -c 'ip link set lo up && xvfb-run -a -s "-screen 0 1400x900x24"
//       build/t/bin/tool_ScpiWindowScreenshot out'  on one line).
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
#include "windows/scpi/WindowScpiCommand.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <string>

namespace {

using ToolSupport::Settle;
using ToolSupport::WaitFor;
using WindowScpiCommand::uWindowScpiCommand;

bool Grab(const QString& sFile) {
    const bool fSaved = ToolSupport::Grab(sFile);
    std::printf("%s %s\n", fSaved ? "saved" : "NOT saved", qPrintable(sFile));
    return fSaved;
}

// The simulator's list: the shipped one with entries of its own added, as "Add" writes them.
const char* const SimulatorEntries = "3 = [Block 300]SIM:BLOC? 300\r\n"
                                     "4 = [Status]{Wstb}*ESR?;*STB?\r\n"
                                     "5 = [Echo]SIM:ECHO? Hello, world\r\n"
                                     "6 = [Upload]SIM:DATA |#NM||FILE|/tmp/pattern.bin\r\n"
                                     "7 = *RST\r\n";

// Writes the shipped "Standard.ini" and the simulator's list into the folder.
bool WriteLists(const QString& sFolder) {
    QFile shipped(QStringLiteral(ORVANTO_SOURCE_DIR "/packaging/resources/SCPI-Commands/Standard.ini"));
    if (!QDir().mkpath(sFolder) || !shipped.open(QIODevice::ReadOnly)) return false;
    const QByteArray standard = shipped.readAll();
    const QByteArray simulator = standard + SimulatorEntries;
    QFile a(sFolder + "/Standard.ini"), b(sFolder + "/Simulator.ini");
    return a.open(QIODevice::WriteOnly) && a.write(standard) == standard.size() && b.open(QIODevice::WriteOnly) &&
           b.write(simulator) == simulator.size();
}

} // namespace

int main(int argc, char** argv) {
    if (!ToolSupport::OneArgument(argc, argv, "out-folder")) return 2;
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(out.path())) {
        std::fprintf(stderr, "no folder %s\n", argv[1]);
        return 1;
    }
    QTemporaryDir dir;
    ToolSupport::UseFolders(dir);

    // The command lists beside the program's resources: the shipped one and the simulator's.
    if (!WriteLists(dir.filePath("SCPI-Commands"))) {
        std::fprintf(stderr, "the command lists could not be written\n");
        return 1;
    }

    Main::OpenConfig();
    WindowScpiCommand::RegisterKind();
    // The program registers these at start-up: the window icons are built through them.
    ImagePluginGdiPlus::RegisterDecoder();
    ImagePluginGdiPlus::RegisterEncoder();
    WindowLog::Create();

    const int iMain = Main::OpenMainWindow();
    WindowStart::uWindowStart* pMain = nullptr;
    if (iMain == 0 || !WindowStart::GetInstance(iMain, &pMain)) return 1;
    pMain->pFrame->move(10, 40); // at its default size first
    Settle(300);

    // The main window connects the simulated instrument, described by hand.
    Sim::RawTcpServer server;
    std::string sError;
    if (!server.Start(sError)) {
        std::fprintf(stderr, "no simulator: %s\n", sError.c_str());
        return 1;
    }
    server.Device().SetIdn("RIGOL TECHNOLOGIES,DS1104Z,DS1ZA000000001,00.04.04.SP3");
    const InstrumentObject object = ToolSupport::ConnectRawTcp(iMain, server.Port());
    if (!object) return 1;
    if (!WaitFor([&] { return pMain->info.fConnected; }, 10000)) {
        std::fprintf(stderr, "the main window did not connect:\n%s\n", WindowLog::Text().c_str());
        return 1;
    }

    // "SCPI-&Command..." from the menu the frame shows; the window fills the MDI area.
    if (QAction* pItem = WindowStart::FindMenuItem(pMain->pFrame->menuBar(), WindowStart::MenuScpiCommand)) {
        pItem->trigger();
    }
    Settle(300);
    const int iScpi = WindowStart::FindChild(iMain, WindowKindScpiCommand);
    uWindowScpiCommand* pScpi = nullptr;
    if (iScpi == 0 || !WindowScpiCommand::FindInstance(iScpi, &pScpi)) {
        std::fprintf(stderr, "the SCPI command window did not open\n");
        return 1;
    }
    const WindowScpiCommand::uGadgets& g = pScpi->gadgets;
    Settle(200);

    // The list files are filled by the window's timer; the simulator's list is chosen.
    if (!WaitFor([&] { return g.pListFiles->count() == 3; }, 10000)) {
        std::fprintf(stderr, "the command lists were not listed\n");
        return 1;
    }
    g.pListFiles->setCurrentIndex(g.pListFiles->findText("Simulator.ini"));
    Settle(200);
    const QList<QListWidgetItem*> mBlock = g.pCommandList->findItems("Block 300", Qt::MatchExactly);
    if (mBlock.isEmpty()) {
        std::fprintf(stderr, "the entry \"Block 300\" is not listed\n");
        return 1;
    }
    g.pCommandList->setCurrentItem(mBlock.front());
    QTest::mouseClick(g.pCommandList->viewport(), Qt::LeftButton, {},
                      g.pCommandList->visualItemRect(mBlock.front()).center());
    Settle(200);
    g.pSendReceive->click();
    if (!WaitFor([&] { return pScpi->pReceived && !pScpi->fBusy && pScpi->iAwaitedTask == 0; }, 20000)) {
        std::fprintf(stderr, "no answer:\n%s\n", WindowLog::Text().c_str());
        return 1;
    }
    Settle(300);
    // The main window and the SCPI command window at their default sizes.
    bool fSaved = Grab(out.filePath("scpi-default.png"));

    // Larger, the window filling the MDI area; the answer view gets the larger part of the
    // window: both blocks of the answer are seen.
    pMain->pFrame->setGeometry(10, 40, 1300, 840);
    Settle(300);
    if (auto* pSub = qobject_cast<QMdiSubWindow*>(pScpi->pFrame->parentWidget())) {
        pSub->setGeometry(0, 0, pSub->mdiArea()->width(), pSub->mdiArea()->height());
    }
    Settle(200);
    const int iSplit = g.pSplitterMain->height();
    g.pSplitterMain->setSizes({iSplit * 2 / 5, iSplit - iSplit * 2 / 5});
    const char* const mModes[] = {"scpi-hex-ascii.png", "scpi-hex.png", "scpi-ascii.png"};
    for (int iMode = 0; iMode < 3; ++iMode) {
        g.pViewMode->setCurrentIndex(iMode);
        Settle(300);
        fSaved = Grab(out.filePath(mModes[iMode])) && fSaved;
    }
    g.pViewMode->setCurrentIndex(WindowScpiCommand::ViewHexAscii);
    g.pViewAll->click();
    Settle(300);
    fSaved = Grab(out.filePath("scpi-view-all.png")) && fSaved;

    // Everything closes before the application goes.
    EventHub::PostEvent(EventCloseWindowRequest, iMain);
    Settle(600);
    Instrument::ReleaseAll(true, 0, sError);
    WindowLog::Close(1);
    Main::SetConfigSaveAtExit(false);
    Main::CloseConfig();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return fSaved ? 0 : 1;
}
