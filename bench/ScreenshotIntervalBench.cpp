// Lateness of the screenshot window's automatic shots: the real window, 100 shots at 200 ms with
// "Save to folder" and the viewer open, against the simulated instrument over raw TCP, every
// core loaded and another client reading 4 MB blocks from the same instrument. One run with
// HAMEG display dumps drawn at 1024 pixels, one with 1024 x 600 BMP pictures. Lateness of a
// shot = its send less (the previous shot's end + the interval). A 10 ms heartbeat on the GUI
// thread gives the longest stall, set against the longest stall of 3 s under the same load with
// the window idle (and of 2 s with nothing running).
#include "IntervalBenchSupport.h"

#include "app/Main.h"
#include "common/ImagePluginGdiPlus.h"
#include "common/TestApplication.h"
#include "common/WindowLog.h"
#include "instrument/Instrument.h"
#include "instrument/ModelCommands.h"
#include "instrument/TaskRecords.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowFrame.h"
#include "platform/WindowRegistry.h"
#include "sim/HamegScope.h"
#include "sim/RawTcpServer.h"
#include "sim/ScreenCopyAnswers.h"
#include "sim/SiglentScope.h"
#include "windows/capture/OptionList.h"
#include "windows/capture/WindowScreenshot.h"
#include "windows/capture/WindowScreenshotViewer.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using IntervalBench::BenchLoad;
using IntervalBench::BenchTimers; // armed: the end of a shot
using IntervalBench::Clock;
using IntervalBench::Ms;
using IntervalBench::RunUntil;
constexpr int Shots = 100;
constexpr int Interval = 200;
static_assert(ScreenshotPump::TimerInterval == WaveformPump::TimerInterval);

// Notes each screenshot query sent.
struct TimingInstrument : IntervalBench::PassingInstrument {
    void Noted(const uTask& task) override {
        if (std::holds_alternative<uTaskScpiCommand>(task)) sends.push_back(Clock::now());
    }
    std::vector<Clock::time_point> sends;
};

// The longest gap of a 10 ms heartbeat beyond its period while fn runs.
struct Heartbeat {
    Heartbeat() {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const auto now = Clock::now();
            dLongest = std::max(dLongest, Ms(now - last) - 10.0);
            last = now;
        });
        timer.setTimerType(Qt::PreciseTimer);
    }
    void Start() {
        dLongest = 0;
        last = Clock::now();
        timer.start(10);
    }
    double Stop() {
        timer.stop();
        return dLongest;
    }
    QTimer timer;
    Clock::time_point last;
    double dLongest = 0;
};

struct uRun {
    const char* sName;
    eModel model;
    std::vector<std::int64_t> rows;
};

int Run(const uRun& run, Sim::RawTcpServer& server, Heartbeat& heartbeat, double dBaseline) {
    std::string sError;
    InstrumentObject pObject = Instrument::Create(sError);
    uTaskPrepare prepare;
    prepare.head = {InstrumentTaskPrepare, 0, WindowNobody};
    prepare.eProtocol = prepare.eInterface = InterfaceRawTcp;
    prepare.rawTcp = {"127.0.0.1", "127.0.0.1", server.Port()};
    prepare.eModel = run.model; // the connection's answer end follows its model
    pObject->pInterface->AddTask(*pObject, prepare, sError);
    pObject->pInterface->AddTask(*pObject, uTaskConnect{{InstrumentTaskConnect, 0, WindowNobody}}, sError);
    if (!RunUntil([&] { return pObject->pInterface->IsConnected(*pObject); }, 10000)) return 1;

    TimingInstrument timing;
    timing.pReal = pObject;
    uInstrumentWindowInfo info;
    info.eModel = run.model;
    info.sModel = run.sName;
    info.sManufacturer = "Bench";
    info.fConnected = true;
    info.pInstrument = std::make_shared<uInstrumentObject>();
    info.pInstrument->pInterface = &timing;
    Instrument::GetModelCommands(run.model, info.commands);
    Instrument::GetModelCapabilities(run.model, info.capabilities);
    const int iShot = WindowScreenshot::Open(0, -1, &info);
    const int iViewer = WindowScreenshotViewer::Open(0, -1, &info);
    WindowScreenshotWindow* w = WindowScreenshot::Find(iShot);
    if (!w || iViewer == 0) return 1;
    w->pFrame->show();
    EventHub::PostEvent(EventLinkViewer, iShot, iViewer, 0);
    EventHub::PostEvent(EventViewerSync, iViewer, 0, 0, EventHub::Payload::Of<uViewerSync>({iShot, 1, 1, 0}));
    for (std::int64_t iId : run.rows) w->gadgets.pOptionList->SetChecked(iId, true);
    RunUntil([&] { return !w->gadgets.pOptionList->Pending() && EventHub::Pending() == 0; }, 10000);

    QTemporaryDir folder;
    w->sAutomaticFolder = folder.path().toStdString() + "/";
    w->gadgets.pAutomatic->click();
    w->gadgets.pSaveToFolder->click();
    w->gadgets.pInterval->setText(QString::number(Interval));
    w->gadgets.pUnit->setCurrentIndex(0);
    BenchTimers timers(iShot);
    w->pump.pTimers = &timers;

    // Every core busy, and a waveform read of 4 MB after the other on the same instrument.
    BenchLoad load(pObject);

    // The baseline: the same load and the other client, the window idle.
    heartbeat.Start();
    RunUntil([] { return false; }, 3000);
    const double dLoaded = heartbeat.Stop();

    heartbeat.Start();
    const auto start = Clock::now();
    w->gadgets.pRead->click();
    RunUntil([&] { return static_cast<int>(timers.armed.size()) >= Shots; }, Shots * (Interval + 2000));
    const auto end = Clock::now();
    const double dStall = heartbeat.Stop();
    w->gadgets.pCancel->click();
    load.Stop();
    RunUntil([&] { return w->iJobs == 0 && EventHub::Pending() == 0; }, 20000);
    const int iFiles = static_cast<int>(QDir(folder.path()).entryList(QDir::Files).size());
    const std::int64_t iCount = w->pump.iCount;
    load.Unbind();
    EventHub::PostEvent(EventCloseWindowRequest, iViewer);
    w->Close();
    RunUntil([&] { return EventHub::Pending() == 0; }, 5000);

    std::vector<double> lateness;
    for (std::size_t i = 0; i < timers.armed.size() && i + 1 < timing.sends.size(); ++i)
        lateness.push_back(Ms(timing.sends[i + 1] - timers.armed[i]) - Interval);
    if (lateness.empty()) {
        std::printf("%s: no automatic shot completed\n", run.sName);
        return 1;
    }
    double dSum = 0, dMax = 0, dFirstHalf = 0, dSecondHalf = 0;
    for (std::size_t i = 0; i < lateness.size(); ++i) {
        dSum += lateness[i];
        dMax = std::max(dMax, lateness[i]);
        (i < lateness.size() / 2 ? dFirstHalf : dSecondHalf) += lateness[i];
    }
    const std::size_t n = lateness.size();
    std::printf("%s: shots %zu, counted %lld, files %d, other client's 4 MB reads %d\n", run.sName, n,
                static_cast<long long>(iCount), iFiles, load.OtherReads());
    std::printf("  lateness mean %.2f ms, largest %.2f ms (first half mean %.2f, second half mean %.2f)\n", dSum / n,
                dMax, dFirstHalf / (n / 2), dSecondHalf / (n - n / 2));
    std::printf("  total drift %.1f ms over %.1f ms\n", dSum, Ms(end - start));
    const std::string sLog = WindowLog::Text();
    std::printf("  log lines %lld\n", static_cast<long long>(std::count(sLog.begin(), sLog.end(), '\n')));
    const std::size_t iError = sLog.find("Error: ");
    if (iError != std::string::npos) std::printf("  first error: %s\n", sLog.substr(iError, sLog.find('\n', iError) - iError).c_str());
    WindowLog::Clear(0);
    std::printf("  longest GUI stall %.1f ms (the same load with the window idle %.1f ms, ratio %.2f; nothing "
                "running %.1f ms)\n",
                dStall, dLoaded, dStall / std::max(dLoaded, 0.1), dBaseline);
    Instrument::ReleaseAll(true, 0, sError);
    return 0;
}

} // namespace

int main() {
    TestApplication::Ensure();
    EventHub::Init();
    ImagePluginGdiPlus::Startup();
    ImagePluginGdiPlus::RegisterDecoder();
    ImagePluginGdiPlus::RegisterEncoder();
    WindowLog::Create();
    WindowScreenshot::RegisterKind();
    WindowScreenshotViewer::RegisterKind();

    Heartbeat heartbeat;
    heartbeat.Start();
    RunUntil([] { return false; }, 2000);
    const double dBaseline = heartbeat.Stop();

    int iResult = 0;
    {
        Sim::RawTcpServer server;
        std::string sError;
        if (!server.Start(sError)) return 1;
        Sim::HamegScope scope(Sim::HamegScope::eModel::HM2008);
        scope.Attach(server.Device());
        Sim::DisplayDump dump;
        dump.Origin(0, 0).TraceHeader(0, 0, Sim::DisplayDump::TypeAnalogue, 1);
        std::vector<std::uint8_t> samples;
        for (int i = 0; i < 2000; ++i) samples.push_back(static_cast<std::uint8_t>(128 + 100 * ((i / 50) % 2 ? 1 : -1)));
        dump.Samples(samples).EndRun().End();
        Sim::AnswerHamegDisplayDump(server.Device(), dump, "CH1");
        iResult |= Run({"HM2008 dumps 1024", ModelHamegHM2008, {2040, 2041}}, server, heartbeat, dBaseline);
    }
    {
        Sim::RawTcpServer server;
        std::string sError;
        if (!server.Start(sError)) return 1;
        Sim::SiglentScope scope(Sim::SiglentScope::eModel::SDS2104XPlus);
        scope.Attach(server.Device());
        Sim::AnswerSiglentScreenCopy(server.Device(), Sim::ScreenPicture(1024, 600));
        iResult |= Run({"SDS2104X Plus 1024 x 600 BMP", ModelSiglentSDS2000XPlusCh4, {1000, 1011}}, server, heartbeat,
                       dBaseline);
    }
    return iResult;
}
