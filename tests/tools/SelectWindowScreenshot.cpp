// Drives the real main window with its instrument list (both at their default sizes) in a
// network of simulated instruments and saves a picture of the screen for every page of the list and for the found instruments in
// both views: <prefix>-list.png, <prefix>-icons.png, <prefix>-options.png, <prefix>-lan.png,
// <prefix>-serial.png; and the main window after a double click connected the raw TCP instrument:
// <prefix>-connected.png.
// The network: a bridge "br0" at 192.168.77.1/24 with two VXI-11 instruments and a raw SCPI one
// (tests/sim/LanNetwork), a USBTMC device on the simulated bus, a serial port (a pseudo-terminal
// listed by a tty tree of the tool's own), and one manual LAN and one manual serial entry.
// Usage: select_window_screenshot out-prefix  (run under a display server, e.g.
//   unshare -n xvfb-run -a -s "-screen 0 1400x900x24" build/test/bin/tool_SelectWindowScreenshot out
// the tool makes its network namespace itself and never searches outside it).
#include "ToolSupport.h"
#include "windows/select/SelectLab.h"

#include "app/ChildWindow.h"
#include "app/Main.h"
#include "app/Window.h"
#include "app/WindowStart.h"
#include "common/ImagePluginGdiPlus.h"
#include "common/UtilityGui.h"
#include "common/WindowLog.h"
#include "instrument/Instrument.h"
#include "instrument/InstrumentSearch.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowFrame.h"
#include "platform/WindowRegistry.h"
#include "sim/LanNetwork.h"
#include "sim/SerialDevice.h"
#include "sim/SimUsb.h"
#include "transport/SerialPorts.h"
#include "windows/select/WindowSelectInstrument.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

namespace {

using ToolSupport::Settle;
using ToolSupport::WaitFor;

bool Grab(const std::string& sFile) {
    const bool fSaved = ToolSupport::Grab(QString::fromStdString(sFile));
    std::printf("%s %s\n", fSaved ? "saved" : "NOT saved", sFile.c_str());
    return fSaved;
}

bool WriteFile(const QString& sPath, const std::string& sText) {
    QFile f(sPath);
    return f.open(QIODevice::WriteOnly) && f.write(sText.data(), static_cast<qint64>(sText.size())) == static_cast<qint64>(sText.size());
}

} // namespace

int main(int argc, char** argv) {
    if (!ToolSupport::OneArgument(argc, argv, "out-prefix")) return 2;
    const std::string sPrefix = argv[1];

    // The network first, while the process has one thread: its instruments are forked from here.
    Sim::LanNetwork network;
    std::string sError;
    if (!network.Start({SelectLab::Subnet}, SelectLab::Instruments(), sError)) {
        std::fprintf(stderr, "no network of simulated instruments: %s\n", sError.c_str());
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QTemporaryDir dir;
    ToolSupport::UseFolders(dir);
    // The program's own image codec, as at start-up: window icons decode through it.
    ImagePluginGdiPlus::RegisterDecoder();
    ImagePluginGdiPlus::RegisterEncoder();
    QApplication::setWindowIcon(Utility::ProgramIcon());

    // The serial port: a pseudo-terminal that the tool's tty tree lists.
    Sim::SerialDevice serial;
    if (!serial.Start(sError)) {
        std::fprintf(stderr, "no serial device: %s\n", sError.c_str());
        return 1;
    }
    const QString sPts = QString::fromStdString(serial.PortName()).section('/', -1);
    const QString sTty = dir.filePath("tty");
    QDir().mkpath(sTty + "/" + sPts);
    QFile::link(sTty, sTty + "/" + sPts + "/device");
    SerialPorts::SetRoots(sTty.toStdString(), "/dev/pts");

    // Network search with LXI and raw TCP on the lab network, one manual entry of each kind.
    WriteFile(dir.filePath("user/config.ini"),
              "[WindowSelectInstrument]\nSearchLan=1\nSearchLanHameg=1\nNetworkList=192.168.77.0\n"
              "[WindowSelectAddLANInstrument]\n0=Keysight Technologies||DSOX1204G||192.168.77.20||111||||||br0||"
              "192.168.77.1||LXI\n"
              "[WindowSelectAddSerialInstrument]\n0=HAMEG||HM2008||" +
                  serial.PortName() + "||115200||8||1||0||0||\n");
    Main::OpenConfig();

    SimUsb::Bus bus;
    bus.AddDevice();
    bus.Install();
    if (!Instrument::InitModuleInstrument(sError)) {
        std::fprintf(stderr, "%s\n", sError.c_str());
        return 1;
    }
    WindowSelectInstrument::RegisterKind();
    WindowLog::Create();

    const int iMain = Main::OpenMainWindow();
    WindowStart::uWindowStart* pWindow = nullptr;
    if (iMain == 0 || !WindowStart::GetInstance(iMain, &pWindow)) return 1;
    pWindow->pFrame->move(10, 40); // the main window and the list at their default sizes
    Settle(500);
    const int iList = WindowStart::FindChild(iMain, WindowKindSelectInstrument);
    WindowFrame* pList = iList ? ChildWindow::Find(iList) : nullptr;
    if (!pList) {
        std::fprintf(stderr, "the instrument list did not open\n");
        return 1;
    }
    const auto searched = [&] {
        return !InstrumentSearch::IsRunning() && !WindowRegistry::TimerActive(iList, 5) &&
               !WindowRegistry::TimerActive(iList, 6) && EventHub::Pending() == 0;
    };
    WaitFor(searched, 30000);

    // "Refresh": USB, LXI and raw TCP.
    QTabWidget* pPanel = pList->findChild<QTabWidget*>();
    for (QPushButton* p : pList->findChildren<QPushButton*>()) {
        if (p->text() == "Refresh") p->click();
    }
    Settle(300);
    WaitFor(searched, 30000);
    Settle(700);

    // The raw TCP instrument chosen by a click: "&Connect" comes alive.
    QTreeView* pReport = nullptr;
    for (QTreeView* p : pList->findChildren<QTreeView*>()) {
        if (!qobject_cast<QTreeWidget*>(p)) pReport = p;
    }
    if (!pReport) return 1;
    const auto rowOf = [&](const QString& sName) {
        for (int r = 0; r < pReport->model()->rowCount(); ++r) {
            if (pReport->model()->index(r, 0).data().toString() == sName) return pReport->model()->index(r, 1);
        }
        return QModelIndex();
    };
    const QModelIndex chosen = rowOf("Rohde&Schwarz RTB2004");
    if (chosen.isValid()) QTest::mouseClick(pReport->viewport(), Qt::LeftButton, {}, pReport->visualRect(chosen).center());
    Settle(300);

    bool fSaved = Grab(sPrefix + "-list.png");
    EventHub::PostEvent(EventMenu, iList, WindowStart::MenuIcons);
    Settle(500);
    fSaved = Grab(sPrefix + "-icons.png") && fSaved;
    EventHub::PostEvent(EventMenu, iList, WindowStart::MenuList);
    const char* const mPages[] = {"-options.png", "-lan.png", "-serial.png"};
    for (int iPage = 1; iPage <= 3; ++iPage) {
        pPanel->setCurrentIndex(iPage);
        Settle(400);
        fSaved = Grab(sPrefix + mPages[iPage - 1]) && fSaved;
    }

    // A double click on the chosen instrument: the main window connects it, shows its *IDN?
    // fields in the status bar, and closes the list.
    pPanel->setCurrentIndex(0);
    Settle(300);
    const QModelIndex again = rowOf("Rohde&Schwarz RTB2004");
    if (again.isValid()) QTest::mouseDClick(pReport->viewport(), Qt::LeftButton, {}, pReport->visualRect(again).center());
    const bool fConnected = WaitFor([&] { return pWindow->info.fConnected; }, 10000);
    Settle(500);
    if (!fConnected) std::fprintf(stderr, "the main window did not connect:\n%s\n", WindowLog::Text().c_str());
    fSaved = Grab(sPrefix + "-connected.png") && fConnected && fSaved;

    // Everything closes before the application goes.
    InstrumentSearch::StopSearch(std::chrono::milliseconds(10000), sError);
    EventHub::PostEvent(EventCloseWindowRequest, iMain);
    Settle(800);
    Instrument::ReleaseAll(true, 0, sError);
    WindowLog::Close(1);
    Main::SetConfigSaveAtExit(false);
    Main::CloseConfig();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    bus.Uninstall();
    SerialPorts::SetRoots("", "");
    return fSaved ? 0 : 1;
}
