// Memory over hours: the program as it starts (the same kinds, readers, writers and frame), three
// main windows each connected over raw TCP to a simulated Rigol DS1104Z, each with a screenshot
// window and a waveform window reading automatically and saving every result to a folder, and
// both viewers open. The simulated instruments run in a child process, so that what is measured
// is the program alone. Every second the resident size (VmRSS) is sampled; every report period
// prints it with the low and high points of the period, the heap's bytes in use and free
// (mallinfo2), and the files saved so far.
//
// Usage: bench_SoakMemory [--minutes N] [--report SECONDS] [--scale F] [--no-viewers] [--keep]
//   --minutes  length of the run (default 120)
//   --report   seconds between two reports (default 60)
//   --scale    factor on the intervals: screenshots every 1, 1.5 and 2 s, waveforms every 3, 4
//              and 5 s at 1 (default); 0.1 compresses time for a search
//   --keep     keep the saved files (default: removed at the end)
//   --abrupt   end without closing the windows, so that a heap profiler (heaptrack) shows what
//              the run still holds as not freed
// The program searches for instruments by broadcast as soon as a main window opens: run it only
// inside a network namespace of its own, e.g.
//   unshare -rn sh -c 'ip link set lo up; QT_QPA_PLATFORM=offscreen build/bench/bin/bench_SoakMemory'
#include "tools/ToolSupport.h"

#include "StartUp.h"
#include "app/Main.h"
#include "app/Window.h"
#include "app/WindowStart.h"
#include "common/WindowLog.h"
#include "instrument/Instrument.h"
#include "instrument/TaskRecords.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowFrame.h"
#include "sim/RawTcpServer.h"
#include "sim/RigolScope.h"
#include "sim/ScreenCopyAnswers.h"
#include "windows/capture/CaptureWindow.h"
#include "windows/capture/WindowWaveform.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <malloc.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

using ToolSupport::Settle;
using ToolSupport::WaitFor;

constexpr int Instruments = 3;

struct uOptions {
    double dMinutes = 120;
    int iReportSeconds = 60;
    double dScale = 1.0;
    bool fViewers = true;
    bool fKeep = false;
    bool fNoLog = false;  // the log's "Display events" unticked: nothing is added to it
    bool fAbrupt = false; // ends without closing anything: what is still held shows as unfreed
};

// The resident size in KiB, from /proc/self/status.
long RssKb() {
    std::ifstream status("/proc/self/status");
    std::string sLine;
    while (std::getline(status, sLine))
        if (sLine.rfind("VmRSS:", 0) == 0) return std::strtol(sLine.c_str() + 6, nullptr, 10);
    return 0;
}

// The simulated instruments, in a child process: writes their ports to iPorts, then serves until
// the parent closes iHold (or dies).
[[noreturn]] void Serve(int iPorts, int iHold) {
    std::vector<std::unique_ptr<Sim::RawTcpServer>> servers;
    std::vector<std::unique_ptr<Sim::RigolScope>> scopes;
    const QImage screen = Sim::ScreenPicture(800, 480);
    std::string sPorts;
    for (int i = 0; i < Instruments; ++i) {
        auto pServer = std::make_unique<Sim::RawTcpServer>();
        auto pScope = std::make_unique<Sim::RigolScope>(Sim::RigolScope::eFamily::DS1000Z);
        pScope->Attach(pServer->Device());
        pScope->ShowChannel(2, true);
        pServer->Device().SetIdn("RIGOL TECHNOLOGIES,DS1104Z,DS1ZA00000000" + std::to_string(i + 1) +
                                 ",00.04.04.SP3");
        Sim::AnswerRigolScreenCopy(pServer->Device(), screen);
        std::string sError;
        if (!pServer->Start(sError)) {
            std::fprintf(stderr, "simulator: %s\n", sError.c_str());
            _exit(1);
        }
        sPorts += std::to_string(pServer->Port()) + " ";
        servers.push_back(std::move(pServer));
        scopes.push_back(std::move(pScope));
    }
    sPorts += "\n";
    if (write(iPorts, sPorts.data(), sPorts.size()) != static_cast<ssize_t>(sPorts.size())) _exit(1);
    close(iPorts);
    char c;
    while (read(iHold, &c, 1) > 0) {
    }
    for (auto& p : servers) p->Stop();
    _exit(0);
}

// Connects the main window to the simulated instrument on the port, as the instrument list does
// after a double click.
bool Connect(int iMain, int iPort) {
    const int iList = WindowStart::FindChild(iMain, WindowKindSelectInstrument);
    const InstrumentObject object = ToolSupport::ConnectRawTcp(iMain, iPort, iList);
    return object && WaitFor([&] { return object->pInterface->IsConnected(*object); }, 10000);
}

// Ticks "Automatically" and "Save to folder" with the interval in milliseconds and the folder.
void Automatic(CaptureWindow& w, int iMilliseconds, const QString& sFolder) {
    QDir().mkpath(sFolder);
    w.sAutomaticFolder = sFolder.toStdString() + "/";
    if (!w.gadgets.pAutomatic->isChecked()) w.gadgets.pAutomatic->click();
    if (!w.gadgets.pSaveToFolder->isChecked()) w.gadgets.pSaveToFolder->click();
    w.gadgets.pInterval->setText(QString::number(iMilliseconds));
    w.gadgets.pUnit->setCurrentIndex(0);
}

// One instrument's windows, started; false with a message when a step failed.
bool StartInstrument(int iMain, int iPort, int iIndex, const uOptions& options, const QString& sBase) {
    std::fprintf(stderr, "instrument %d: connecting to port %d\n", iIndex + 1, iPort);
    if (!Connect(iMain, iPort)) {
        std::fprintf(stderr, "instrument %d: no connection\n", iIndex + 1);
        return false;
    }
    Settle(300);
    WindowStart::OpenScreenshot(iMain, 1);
    WindowStart::OpenWaveform(iMain, 1);
    Settle(300);
    const int iShot = WindowStart::FindChild(iMain, WindowKindScreenshot);
    const int iWave = WindowStart::FindChild(iMain, WindowKindWaveform);
    CaptureWindow* pShot = CaptureWindow::Find(iShot);
    uWindowWaveform* pWave = nullptr;
    if (!pShot || !WindowWaveform::GetInstance(iWave, &pWave)) {
        std::fprintf(stderr, "instrument %d: capture windows did not open\n", iIndex + 1);
        return false;
    }
    if (options.fViewers) {
        pShot->OpenViewer();
        pWave->OpenViewer();
        Settle(300);
    }
    std::fprintf(stderr, "instrument %d: windows open\n", iIndex + 1);
    pWave->pRefresh->click();
    if (!WaitFor([&] { return pWave->pChannels->topLevelItemCount() >= 2; }, 10000)) {
        std::fprintf(stderr, "instrument %d: no channels after Refresh\n", iIndex + 1);
        return false;
    }
    for (int i = 0; i < 2; ++i) pWave->pChannels->topLevelItem(i)->setCheckState(0, Qt::Checked);
    Settle(200);
    const QString sFolder = sBase + "/instrument" + QString::number(iIndex + 1);
    const double dShot = 1000.0 + 500.0 * iIndex, dWave = 3000.0 + 1000.0 * iIndex;
    Automatic(*pShot, std::max(1, static_cast<int>(dShot * options.dScale)), sFolder + "/screenshots");
    Automatic(*pWave, std::max(1, static_cast<int>(dWave * options.dScale)), sFolder + "/waveforms");
    pShot->gadgets.pRead->click();
    pWave->gadgets.pRead->click();
    return true;
}

struct uCount {
    long iShots = 0;
    long iWaves = 0;
    long long iBytes = 0;
};

uCount CountFiles(const QString& sBase) {
    uCount count;
    QDirIterator it(sBase, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        (it.filePath().contains("/screenshots/") ? count.iShots : count.iWaves)++;
        count.iBytes += it.fileInfo().size();
    }
    return count;
}

// The run's samples and reports.
class Monitor {
  public:
    Monitor(const uOptions& options, QString sBase) : options(options), sBase(std::move(sBase)) {}

    void Start() {
        start = std::chrono::steady_clock::now();
        Report(true);
        QObject::connect(&sampler, &QTimer::timeout, [this] { Sample(); });
        sampler.start(1000);
    }

  private:
    void Sample() {
        const long iRss = RssKb();
        iUsedLow = std::min(iUsedLow, mallinfo2().uordblks);
        iLow = std::min(iLow, iRss);
        iHigh = std::max(iHigh, iRss);
        iOverallLow = std::min(iOverallLow, iRss);
        const double dSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (dSeconds >= iNextReport) Report(false);
        if (dSeconds >= options.dMinutes * 60) Finish();
    }

    void Report(bool fFirst) {
        const long iRss = RssKb();
        const struct mallinfo2 heap = mallinfo2();
        if (fFirst) {
            iLow = iHigh = iOverallLow = iRss;
            iUsedLow = heap.uordblks;
        }
        const uCount count = CountFiles(sBase);
        const double dSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%7.1f min  rss %6.1f MB  low %6.1f  high %6.1f  heap used %6.1f MB (low %6.1f) free %6.1f MB "
                    "mmapped %5.1f MB  files: screenshots %6ld waveforms %6ld (%.1f MB)  log lines %zu\n",
                    dSeconds / 60, iRss / 1024.0, iLow / 1024.0, iHigh / 1024.0, heap.uordblks / 1048576.0,
                    std::min(iUsedLow, heap.uordblks) / 1048576.0, heap.fordblks / 1048576.0, heap.hblkhd / 1048576.0, count.iShots, count.iWaves,
                    count.iBytes / 1048576.0, static_cast<std::size_t>(WindowLogLines()));
        std::fflush(stdout);
        iLow = iHigh = iRss;
        iUsedLow = heap.uordblks;
        iNextReport += options.iReportSeconds;
    }

    static long WindowLogLines() {
        const std::string s = WindowLog::Text();
        return static_cast<long>(std::count(s.begin(), s.end(), '\n'));
    }

    void Finish() {
        sampler.stop();
        Report(false);
        std::printf("end: lowest %.1f MB over the run\n", iOverallLow / 1024.0);
        std::fflush(stdout);
        if (options.fAbrupt) std::quick_exit(0);
        EventHub::PostEvent(EventCloseAllWindows, 0);
        QTimer::singleShot(3000, [] { EventHub::PostEvent(EventQuit, 0); });
    }

    const uOptions options;
    const QString sBase;
    QTimer sampler;
    std::chrono::steady_clock::time_point start;
    long iLow = 0, iHigh = 0, iOverallLow = 0;
    std::size_t iUsedLow = 0; // the heap's bytes in use at their lowest in the period
    double iNextReport = 0;
};

} // namespace

int main(int argc, char** argv) {
    uOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string s = argv[i];
        const bool fValue = i + 1 < argc;
        if (s == "--minutes" && fValue) options.dMinutes = std::atof(argv[++i]);
        else if (s == "--report" && fValue) options.iReportSeconds = std::max(1, std::atoi(argv[++i]));
        else if (s == "--scale" && fValue) options.dScale = std::atof(argv[++i]);
        else if (s == "--no-viewers") options.fViewers = false;
        else if (s == "--keep") options.fKeep = true;
        else if (s == "--abrupt") options.fAbrupt = true;
        else if (s == "--no-log") options.fNoLog = true;
        else {
            std::fprintf(stderr, "usage: %s [--minutes N] [--report SECONDS] [--scale F] [--no-viewers] [--keep] [--abrupt] [--no-log]\n",
                         argv[0]);
            return 2;
        }
    }

    // The simulated instruments first, before this process has a thread.
    int ports[2], hold[2];
    if (pipe(ports) != 0 || pipe(hold) != 0) return 1;
    const pid_t iChild = fork();
    if (iChild < 0) return 1;
    if (iChild == 0) {
        close(ports[0]);
        close(hold[1]);
        Serve(ports[1], hold[0]);
    }
    close(ports[1]);
    close(hold[0]);
    std::array<int, Instruments> instrumentPorts{};
    {
        char sBuffer[256] = {};
        std::size_t iRead = 0;
        ssize_t n;
        while (iRead < sizeof sBuffer - 1 && (n = read(ports[0], sBuffer + iRead, sizeof sBuffer - 1 - iRead)) > 0)
            iRead += static_cast<std::size_t>(n);
        close(ports[0]);
        char* p = sBuffer;
        for (int& iPort : instrumentPorts) {
            iPort = static_cast<int>(std::strtol(p, &p, 10));
            if (iPort <= 0) {
                std::fprintf(stderr, "the simulated instruments did not start\n");
                return 1;
            }
        }
    }

    // A configuration of the run's own, in the run's folder.
    QTemporaryDir dir;
    if (!dir.isValid()) return 1;
    setenv("XDG_CONFIG_HOME", dir.filePath("config").toLocal8Bit().constData(), 1);
    const QString sBase = dir.filePath("saved");
    if (options.fKeep) dir.setAutoRemove(false);

    // As the program's main does (the same start-up list); the first main window, opened as the program starts, starts
    // the run once the loop is going.
    StartUp::RegisterAll();

    std::unique_ptr<Monitor> pMonitor;
    bool fStarted = false;
    auto run = [&] {
        // The user opens two more main windows.
        for (int i = 1; i < Instruments; ++i) EventHub::PostEvent(EventOpenMainWindow, 0);
        WaitFor([] { return WindowStart::Windows().size() >= Instruments; }, 10000);
        const std::vector<int> mains = WindowStart::Windows();
        for (int i = 0; i < Instruments; ++i) {
            if (i >= static_cast<int>(mains.size()) ||
                !StartInstrument(mains[static_cast<std::size_t>(i)], instrumentPorts[static_cast<std::size_t>(i)], i,
                                 options, sBase)) {
                EventHub::PostEvent(EventCloseAllWindows, 0);
                QTimer::singleShot(2000, [] { EventHub::PostEvent(EventQuit, 0); });
                return;
            }
        }
        if (options.fNoLog)
            if (auto* pLog = qobject_cast<WindowFrame*>(WindowLog::Widget()))
                EventHub::PostEvent(EventMenu, pLog->Window(), 266);
        fStarted = true;
        std::printf("three instruments reading: screenshots every %.0f/%.0f/%.0f ms, waveforms every %.0f/%.0f/%.0f ms%s\n",
                    1000 * options.dScale, 1500 * options.dScale, 2000 * options.dScale, 3000 * options.dScale,
                    4000 * options.dScale, 5000 * options.dScale, options.fViewers ? ", viewers open" : "");
        pMonitor = std::make_unique<Monitor>(options, sBase);
        pMonitor->Start();
    };
    Main::SetMainWindowOpener([&] {
        const int iWindow = WindowStart::Open();
        if (iWindow != 0 && WindowStart::Windows().size() == 1 && !fStarted) QTimer::singleShot(0, run);
        return iWindow;
    });
    const int iExit = Main::Run(argc, argv);
    pMonitor.reset();

    close(hold[1]);
    waitpid(iChild, nullptr, 0);
    if (options.fKeep) std::printf("saved files kept in %s\n", sBase.toLocal8Bit().constData());
    return fStarted ? iExit : 1;
}
