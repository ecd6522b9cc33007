// A 64 MiB block through the SCPI command window over raw TCP on loopback ("SIM:BLOC? 67108864"
// to the simulated instrument, "Send && Receive" clicked), beside the raw TCP transport's own
// read of the same answer into a new buffer, in the same run; and the longest stall of the GUI
// thread (a 1 ms timer probe) while the answer arrives and while a 64 MiB file goes out with its
// block header. Best of several rounds each. Then, once, "View all" of the 64 MiB answer in
// "Hex + Ascii" and in "Ascii" (drawing time and longest stall) and saving it (the stall of the
// file dialog apart from the program's own work after the name was chosen).
//
//   bench_ScpiWindowBench [rounds] [screenshot.png [view.png]]
// With a file name the screen is saved after the last answer (run under a display server); with
// a second one first after "View all" of a 100,000-byte answer as "Hex + Ascii" with a few lines
// selected by a mouse drag.
#include "GuiStallProbe.h"

#include "../tests/tools/ToolSupport.h"

#include "app/Main.h"
#include "app/Window.h"
#include "app/WindowStart.h"
#include "common/DataBuffer.h"
#include "common/WindowLog.h"
#include "instrument/Instrument.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowFrame.h"
#include "sim/RawTcpServer.h"
#include "transport/RawTcp.h"
#include "windows/scpi/WindowScpiCommand.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {

constexpr std::size_t BlockSize = std::size_t{64} << 20;
using Clock = std::chrono::steady_clock;

void Settle(int iMilliseconds) {
    QDeadlineTimer deadline(iMilliseconds);
    while (!deadline.hasExpired()) {
        EventHub::Pump();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
}

WindowScpiCommand::uWindowScpiCommand* ScpiRecord(int iScpi) {
    WindowScpiCommand::uWindowScpiCommand* p = nullptr;
    return WindowScpiCommand::FindInstance(iScpi, &p) ? p : nullptr;
}

using GuiStall::uRun;

// Clicks the button from inside the event loop and runs the loop until the window is idle again,
// with a 1 ms timer noting the longest gap between its ticks (the click's own work included).
uRun RunClick(int iScpi, QPushButton* pButton) {
    return GuiStall::Measure([pButton] { pButton->click(); },
                    [iScpi] {
                        WindowScpiCommand::uWindowScpiCommand* p = ScpiRecord(iScpi);
                        return p && !p->fBusy && p->iAwaitedTask == 0;
                    });
}

double TransportRead(RawTcp::uRawTcpInstance& instance) {
    DataBuffer answer;
    const auto start = Clock::now();
    std::string sError;
    std::size_t iSent = 0;
    if (!RawTcp::PrepareData(instance, "SIM:BLOC? 67108864", nullptr, 0, sError) ||
        !RawTcp::SendData(instance, iSent, WindowNobody, sError) || !RawTcp::RequestData(instance, answer, WindowNobody, sError) ||
        answer.size() != BlockSize + 11) {
        std::fprintf(stderr, "transport: %s (%zu bytes)\n", sError.c_str(), answer.size());
        std::exit(1);
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    const int iRounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    DataBuffer::UseOneHeap(); // as the program's main does
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QTemporaryDir dir;
    ToolSupport::UseFoldersWithConfig(dir);
    WindowScpiCommand::RegisterKind();
    WindowLog::Create();

    // The window's instrument, and a second door to the same instrument for the transport's read.
    Sim::RawTcpServer server;
    Sim::RawTcpServer serverDirect(server.SharedDevice());
    std::string sError;
    if (!server.Start(sError) || !serverDirect.Start(sError)) {
        std::fprintf(stderr, "%s\n", sError.c_str());
        return 1;
    }
    InstrumentObject object = Instrument::Create(sError);
    uTaskPrepare prepare;
    prepare.head = {InstrumentTaskPrepare, 0, WindowNobody};
    prepare.eProtocol = prepare.eInterface = InterfaceRawTcp;
    prepare.rawTcp = {"127.0.0.1", "127.0.0.1", server.Port()};
    object->pInterface->AddTask(*object, prepare, sError);
    object->pInterface->AddTask(*object, uTaskConnect{{InstrumentTaskConnect, 0, WindowNobody}}, sError);
    QDeadlineTimer connectDeadline(10000);
    while (!object->pInterface->IsConnected(*object) && !connectDeadline.hasExpired()) QThread::msleep(5);
    if (!object->pInterface->IsConnected(*object)) return 1;

    const int iMain = Main::OpenMainWindow();
    WindowStart::uWindowStart* pMain = nullptr;
    if (iMain == 0 || !WindowStart::GetInstance(iMain, &pMain)) return 1;
    pMain->pFrame->setGeometry(10, 40, 1000, 760);
    Settle(200);
    WindowStart::EventMenu(iMain, WindowStart::MenuScpiCommand, false);
    Settle(200);
    const int iScpi = WindowStart::FindChild(iMain, WindowKindScpiCommand);
    WindowScpiCommand::uWindowScpiCommand* pWindow = ScpiRecord(iScpi);
    if (!pWindow) return 1;
    pMain->info.eProtocol = ProtocolRawTcp;
    pMain->info.sModel = "Simulated";
    pMain->info.fConnected = true;
    pMain->info.pInstrument = object;
    EventHub::PostEvent(EventInstrumentConnected, iScpi, 0, 0, EventHub::Payload::Of<uInstrumentWindowInfo>(pMain->info));
    Settle(100);

    auto instance = RawTcp::NewInstance(sError);
    const uNetworkSettings settings{0, "127.0.0.1", "127.0.0.1", serverDirect.Port(), 30000};
    if (!instance || !RawTcp::SetInstrument(*instance, settings, sError) || !RawTcp::Connect(*instance, sError)) {
        std::fprintf(stderr, "%s\n", sError.c_str());
        return 1;
    }
    RawTcp::SetEndOfMessage(*instance, "\n");
    WindowScpiCommand::uGadgets& g = pWindow->gadgets;

    // The block into the window, and the transport's own read, alternating.
    g.pCommand->setPlainText("SIM:BLOC? 67108864");
    double dWindow = 1e9, dTransport = 1e9, dStallReceive = 0;
    for (int i = 0; i < iRounds; ++i) {
        const uRun run = RunClick(iScpi, g.pSendReceive);
        if ((pWindow->pReceived ? pWindow->pReceived->size() : 0) != BlockSize + 11) {
            std::fprintf(stderr, "window: %zu bytes\n", (pWindow->pReceived ? pWindow->pReceived->size() : 0));
            return 1;
        }
        dWindow = std::min(dWindow, run.dSeconds);
        dStallReceive = i == 0 ? run.dLongestStallMs : std::min(dStallReceive, run.dLongestStallMs);
        dTransport = std::min(dTransport, TransportRead(*instance));
    }

    // A 64 MiB file with its block header out of the window.
    const QString sFile = dir.filePath("block.bin");
    {
        QFile f(sFile);
        f.open(QIODevice::WriteOnly);
        const QByteArray chunk(1 << 20, '\x5A');
        for (int i = 0; i < 64; ++i) f.write(chunk);
    }
    g.pCommand->setPlainText("SIM:DATA ");
    g.pFile->click();
    g.pBlockFormat->click();
    g.pFileName->setText(sFile);
    double dStallSend = 0, dSend = 1e9;
    for (int i = 0; i < iRounds; ++i) {
        const uRun run = RunClick(iScpi, g.pSend);
        dSend = std::min(dSend, run.dSeconds);
        dStallSend = i == 0 ? run.dLongestStallMs : std::min(dStallSend, run.dLongestStallMs);
    }
    const bool fSent = server.Device().LastData().size() == BlockSize;

    // "View all" of the 64 MiB answer in "Hex + Ascii" and in "Ascii", drawn through the drawing
    // thread (the second drawing replaces the first, as a change of the view mode does), and
    // saving it.
    g.pFile->click();
    g.pCommand->setPlainText("SIM:BLOC? 67108864");
    RunClick(iScpi, g.pSendReceive);
    const auto drawn = [pWindow] {
        const auto& pShared = pWindow->view.pShared;
        if (!pShared) return true;
        std::lock_guard lock(pShared->viewMutex);
        return !pShared->fRunning;
    };
    g.pViewAll->setChecked(true);
    uRun mViews[2];
    const int mModes[2] = {WindowScpiCommand::ViewHexAscii, WindowScpiCommand::ViewAscii};
    for (int i = 0; i < 2; ++i) {
        g.pViewMode->blockSignals(true);
        g.pViewMode->setCurrentIndex(mModes[i]);
        g.pViewMode->blockSignals(false);
        mViews[i] = GuiStall::Measure([iScpi] { WindowScpiCommand::ShowData(iScpi); }, drawn);
    }
    // The save: the click returns once the file dialog (Qt's widget dialog listing the folder) is
    // gone and the save's thread has started; until then the stall is the dialog's. After it
    // comes the program's own work until the outcome is shown.
    const QString sSaved = dir.filePath("saved.bin");
    GuiStall::Probe saveProbe;
    double dDialogStall = 0;
    Clock::time_point chosen;
    const uRun save = GuiStall::Measure(
        [&] {
            QTimer::singleShot(0, [&] {
                if (auto* pDialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                    pDialog->selectFile(sSaved);
                    QMetaObject::invokeMethod(pDialog, "accept");
                }
            });
            saveProbe.Start();
            g.pAnswerSaveAs->click();
            dDialogStall = saveProbe.Stop();
            chosen = Clock::now();
            saveProbe.Start();
        },
        [pWindow] { return !pWindow->pAnswerSave; });
    const double dSaveStall = saveProbe.Stop();
    const double dSave = std::chrono::duration<double>(Clock::now() - chosen).count();

    const double mib = static_cast<double>(BlockSize) / (1 << 20);
    std::printf("64 MiB block over raw TCP on loopback, best of %d rounds\n", iRounds);
    std::printf("  window \"SIM:BLOC? 67108864\": %8.1f MiB/s; RawTcp RequestData into a new buffer %8.1f MiB/s; "
                "ratio %.2f\n",
                mib / dWindow, mib / dTransport, dTransport / dWindow);
    std::printf("  GUI thread's longest stall while the block arrives: %.1f ms\n", dStallReceive);
    std::printf("  64 MiB file with block header sent: %8.1f MiB/s, longest GUI stall %.1f ms%s\n", mib / dSend,
                dStallSend, fSent ? "" : " (the instrument did not get it whole)");
    std::printf("  \"View all\" of the answer, \"Hex + Ascii\": drawn in %.1f s, longest GUI stall %.1f ms\n",
                mViews[0].dSeconds, mViews[0].dLongestStallMs);
    std::printf("  \"View all\" of the answer, \"Ascii\": drawn in %.1f s, longest GUI stall %.1f ms\n",
                mViews[1].dSeconds, mViews[1].dLongestStallMs);
    std::printf("  saving the answer: %.1f s, longest GUI stall %.1f ms after the name was chosen (the file dialog "
                "itself %.1f ms)%s\n",
                dSave, dSaveStall, dDialogStall,
                save.fDone && QFileInfo(sSaved).size() == qint64(BlockSize + 11) ? "" : " (file incomplete)");

    if (argc > 3) {
        g.pViewMode->setCurrentIndex(WindowScpiCommand::ViewHexAscii);
        g.pCommand->setPlainText("SIM:BLOC? 100000");
        RunClick(iScpi, g.pSendReceive);
        GuiStall::RunUntil(drawn, 30000);
        QKeyEvent home(QEvent::KeyPress, Qt::Key_Home, Qt::ControlModifier);
        QApplication::sendEvent(g.pAnswer, &home);
        QWidget* pViewport = g.pAnswer->viewport();
        const auto mouse = [pViewport](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
            QMouseEvent event(type, at, pViewport->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                              buttons, Qt::NoModifier);
            QApplication::sendEvent(pViewport, &event);
        };
        const int iLine = QFontMetrics(g.pAnswer->font()).lineSpacing();
        const QPoint from(150, 4 + 3 * iLine + iLine / 2), to(520, 4 + 7 * iLine + iLine / 2);
        mouse(QEvent::MouseButtonPress, from, Qt::LeftButton);
        mouse(QEvent::MouseMove, to, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, to, Qt::NoButton);
        Settle(300);
        QGuiApplication::primaryScreen()->grabWindow(0).save(QString::fromLocal8Bit(argv[3]), "PNG");
    }
    if (argc > 2) {
        g.pCommand->setPlainText("*IDN?");
        if (g.pFile->isChecked()) g.pFile->click();
        RunClick(iScpi, g.pSendReceive);
        Settle(300);
        QGuiApplication::primaryScreen()->grabWindow(0).save(QString::fromLocal8Bit(argv[2]), "PNG");
    }

    RawTcp::DeleteInstance(*instance, sError);
    EventHub::PostEvent(EventCloseWindowRequest, iMain);
    Settle(300);
    Instrument::ReleaseAll(true, 0, sError);
    WindowLog::Close(1);
    Main::CloseConfig();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return fSent ? 0 : 1;
}
