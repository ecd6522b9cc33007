// Traces read in parts, two measures, each the median of alternating rounds:
//  1. Assembly: a 24 M-point Rigol trace from 96 part answers of 250000 points handed to the
//     part check one by one, against one plain copy of the same bytes into a fresh buffer.
//     Prints assembly time ÷ copy time (should stay at most 3).
//  2. A 25 M-point Siglent memory read through the engine (request pump, instrument task queue,
//     raw TCP on loopback, the simulated SDS2104X Plus) beside a plain client that sends the same
//     part requests to the same simulator and receives the answers into one fresh buffer.
//     Prints plain time ÷ engine time (1.0: as fast as the plain client).
//  3. A 24 M-point Rigol memory read in parts of 250000 points the way the waveform window reads
//     (request pump, answer checks, the automatic BIN save into a folder; the simulated DS1104Z
//     over raw TCP) beside a plain client that sends the same part requests to the same simulator
//     and receives the answers into one fresh buffer. Prints plain time ÷ engine time.
//
//   bench_WaveformPartsBench [rounds]
#include "PlainClient.h"
#include "common/DataBuffer.h"
#include "common/TestApplication.h"
#include "instrument/Instrument.h"
#include "instrument/ModelTable.h"
#include "instrument/TaskRecords.h"
#include "instrument/WaveformSources.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowRegistry.h"
#include "sim/RawTcpServer.h"
#include "sim/RigolScope.h"
#include "sim/SiglentScope.h"
#include "waveform/WaveformData.h"
#include "waveform/WaveformWriters.h"
#include "windows/capture/WaveformChecks.h"
#include "windows/capture/Template.h"
#include "windows/capture/WaveformRequests.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QEventLoop>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>


#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// A window that keeps nothing but the errors it is told.
class BenchWindow : public WaveformPumpWindow {
  public:
    void SetStatus(const std::string&) override {}
    void AddLine(const std::string&) override {}
    void AddError(const std::string& sText) override { mErrors.push_back(sText); }
    void DisableGadgets(bool) override {}
    bool ChannelTicked() override { return true; }
    std::size_t CreateSendRequestList(uWaveformPump& pump) override {
        return WaveformRequests::CreateSendRequestList(pump, options, eSource, channels);
    }
    // The automatic save as the window starts it; without a folder the read goes on at once.
    void SaveWaveform(uWaveformPump& pump) override {
        if (sFolder.empty()) {
            WaveformPump::SaveEnded(pump);
            return;
        }
        uWaveformRecord& record = *pump.pRecord;
        record.sFolder = sFolder;
        record.sTemplate = "rigol.bin";
        record.iSaveFormat = 3;
        std::string sError;
        if (pump.iSaveInstance == 0) pump.iSaveInstance = WaveformData::NewInstance(pump.iWindow, sError);
        if (pump.iSaveInstance == 0 || !WaveformData::SaveData(pump.iSaveInstance, pump.pRecord, sError)) {
            mErrors.push_back(sError);
            WaveformPump::StopRequestData(pump);
            return;
        }
        pump.fSaving = true;
    }
    void MessageRequester(const std::string& sText) override { mErrors.push_back(sText); }
    void PostOptionsEvent() override {}

    uWaveformOptionState options;
    std::int64_t eSource = DataSourceMemory;
    std::vector<std::int64_t> channels;
    std::vector<std::string> mErrors;
    std::string sFolder; // with '/' at its end
};

void Fail(const char* sWhat, const std::vector<std::string>& errors = {}) {
    std::fprintf(stderr, "%s\n", sWhat);
    for (const std::string& s : errors) std::fprintf(stderr, "  %s\n", s.c_str());
    std::exit(2);
}

// --- 1. assembly ---

constexpr std::int64_t AssemblyPoints = 24000000;
constexpr std::int64_t AssemblyPart = 250000;

double Assemble(const std::vector<std::string>& parts, BenchWindow& window) {
    uWaveformPump pump;
    pump.pWindow = &window;
    pump.instrument.eModel = ModelRigolDS1000Z;
    pump.pRecord = std::make_shared<uWaveformRecord>();
    pump.pRecord->Channels.resize(2);
    pump.iChannelIndex = 1;
    uWaveformRequest request;
    request.eKind = RequestWaveformPart;
    request.eWaveform = WaveformChannel1;
    request.eDataSource = DataSourceMemory;
    pump.mRequestList.push_back(request);
    // The answer of the memory depth query that the read asks before its parts.
    const std::string sPoints = std::to_string(AssemblyPoints) + ";1.0E+09;1.0E-03\n";
    const auto start = Clock::now();
    WaveformChecks::CheckInstrumentResponseWaveformPoints(pump, reinterpret_cast<const std::uint8_t*>(sPoints.data()),
                                                          sPoints.size());
    int iComplete = 0;
    for (const std::string& sPart : parts) {
        iComplete = WaveformChecks::CheckInstrumentResponseWaveformPart(
            pump, reinterpret_cast<const std::uint8_t*>(sPart.data()), sPart.size(), 11, AssemblyPart);
    }
    const auto end = Clock::now();
    if (iComplete != 1 || pump.pRecord->Channels[1].pData.size() < 11 + AssemblyPoints)
        Fail("the assembled trace is incomplete", window.mErrors);
    return Seconds(start, end);
}

double PlainCopy(const std::vector<std::string>& parts) {
    const auto start = Clock::now();
    std::unique_ptr<std::uint8_t[]> p(new std::uint8_t[AssemblyPoints]);
    std::size_t iAt = 0;
    // One copy of the bytes: the parts lie apart, so the baseline copies each part's payload.
    for (const std::string& sPart : parts) {
        std::memcpy(p.get() + iAt, sPart.data() + 11, AssemblyPart);
        iAt += AssemblyPart;
    }
    const auto end = Clock::now();
    if (p[iAt - 1] != static_cast<std::uint8_t>(parts.back()[11 + AssemblyPart - 1])) Fail("copy");
    return Seconds(start, end);
}

void BenchAssembly(int iRounds) {
    std::vector<std::string> parts;
    for (std::int64_t a = 0; a < AssemblyPoints; a += AssemblyPart) {
        std::string s = "#9000250000";
        s.resize(11 + AssemblyPart);
        for (std::int64_t k = 0; k < AssemblyPart; ++k) s[11 + k] = static_cast<char>(((a + k) * 7) & 0xFF);
        s += a + AssemblyPart >= AssemblyPoints ? "\n0,2,24000000,1,1e-9,0,0,0.04,0,128;VOLT\n" : "\n";
        parts.push_back(std::move(s));
    }
    BenchWindow window;
    Assemble(parts, window);
    PlainCopy(parts);
    std::vector<double> ratios;
    for (int r = 0; r < iRounds; ++r) {
        const double dAssemble = Assemble(parts, window);
        const double dCopy = PlainCopy(parts);
        ratios.push_back(dAssemble / dCopy);
        std::printf("assembly round %d: 96 parts %.4f s, plain copy %.4f s, ratio %.2f\n", r + 1, dAssemble, dCopy,
                    dAssemble / dCopy);
    }
    std::printf("24 M points from 96 part answers, median ratio (assembly / plain copy, at most 3): %.2f\n",
                Median(ratios));
}

// --- 2. the Siglent read ---

constexpr std::int64_t SiglentPoints = 25000000;
constexpr std::int64_t SiglentPart = 10000000;

// The plain client: the same part requests, every payload into one buffer.
double PlainSiglentRead(int iPort) {
    const int fd = PlainClient::Connect(iPort);
    if (fd < 0) Fail("connect");
    const auto start = Clock::now();
    std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[SiglentPoints]);
    PlainClient::SendAll(fd, ":TRIG:STOP\n:WAV:WIDT BYTE\n");
    std::size_t iAt = 0;
    for (std::int64_t a = 0; a < SiglentPoints; a += SiglentPart) {
        const std::int64_t n = std::min(SiglentPart, SiglentPoints - a);
        PlainClient::SendAll(fd, ":WAV:SOUR C1;:WAV:STAR " + std::to_string(a) + ";:WAV:POIN " + std::to_string(n) +
                        ";:WAV:DATA?\n");
        // "DAT2," before the block; the block's own LF, then the answer's end behind it.
        if (!PlainClient::RecvBlock(fd, 5, 2, buffer.get(), iAt, static_cast<std::size_t>(SiglentPoints)))
            Fail("plain answer");
    }
    const auto end = Clock::now();
    close(fd);
    if (iAt != static_cast<std::size_t>(SiglentPoints)) Fail("plain count");
    return Seconds(start, end);
}

struct uEngine {
    int iWindow = 0;
    InstrumentObject pObject;
    BenchWindow window;
    std::unique_ptr<WaveformWindowTimers> pTimers;
    uWaveformPump pump;
};

bool Settled(const uEngine& engine) {
    return !WindowRegistry::TimerActive(engine.iWindow, WaveformPump::TimerPump) && !engine.pump.fAutomatic &&
           EventHub::Pending() == 0 && engine.pump.mRequestList.empty();
}

// Sleeps until an event comes; a timer wakes it every 50 ms to look at the clock. (The
// processEvents that takes a time never sleeps: it would keep a processor busy beside the
// threads it measures.)
void AwaitEvents() {
    [[maybe_unused]] static QTimer* pTick = [] {
        auto* p = new QTimer;
        p->start(50);
        return p;
    }();
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void RunUntilSettled(uEngine& engine) {
    const auto deadline = Clock::now() + std::chrono::minutes(5);
    while (!Settled(engine)) {
        if (Clock::now() > deadline) Fail("the engine's read did not end", engine.window.mErrors);
        AwaitEvents();
    }
}

double EngineSiglentRead(uEngine& engine) {
    const auto start = Clock::now();
    WaveformPump::StartReading(engine.pump, {});
    RunUntilSettled(engine);
    const auto end = Clock::now();
    const auto& pRecord = engine.pump.pRecord;
    if (!pRecord || pRecord->Channels.size() != 2 || pRecord->Channels[1].iTotalPoints != SiglentPoints ||
        pRecord->Channels[1].pData.size() < static_cast<std::size_t>(SiglentPoints) || !engine.window.mErrors.empty())
        Fail("the engine's read is incomplete", engine.window.mErrors);
    engine.pump.pRecord.reset();
    return Seconds(start, end);
}

// Connects the engine to the simulator behind the port and binds its pump.
void StartEngine(uEngine& engine, int iPort, std::int64_t eModel, const std::string& sMaker,
                 const std::string& sModel) {
    std::string sError;
    engine.iWindow = WindowRegistry::NewWindowNumber();
    engine.pTimers = std::make_unique<WaveformWindowTimers>(engine.iWindow);
    engine.pObject = Instrument::Create(sError);
    if (!engine.pObject) Fail(sError.c_str());
    uTaskPrepare prepare;
    prepare.head = {InstrumentTaskPrepare, 0, WindowNobody};
    prepare.eProtocol = prepare.eInterface = InterfaceRawTcp;
    prepare.rawTcp = {"127.0.0.1", "127.0.0.1", iPort};
    prepare.eModel = eModel;
    engine.pObject->pInterface->AddTask(*engine.pObject, prepare, sError);
    engine.pObject->pInterface->AddTask(*engine.pObject, uTaskConnect{{InstrumentTaskConnect, 0, WindowNobody}},
                                        sError);
    engine.pObject->pInterface->AddTask(*engine.pObject, uTaskTimeout{{InstrumentTaskTimeout, 0, WindowNobody}, 60000},
                                        sError);
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (!engine.pObject->pInterface->IsConnected(*engine.pObject)) {
        if (Clock::now() > deadline) Fail("no connection");
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    engine.pump.iWindow = engine.iWindow;
    engine.pump.pWindow = &engine.window;
    engine.pump.pTimers = engine.pTimers.get();
    WaveformPump::SetInstrument(engine.pump, {engine.pObject, true, true, eModel, sMaker, sModel});
    WaveformPump::Bind(engine.pump);
    engine.window.channels = {WaveformChannel1};
}

void StopEngine(uEngine& engine) {
    WaveformPump::StopRequestData(engine.pump);
    WaveformPump::Unbind(engine.pump);
    std::string sError;
    if (engine.pump.iSaveInstance != 0) WaveformData::Release(engine.pump.iSaveInstance, sError);
    WindowRegistry::Release(engine.iWindow);
    Instrument::ReleaseAll(true, 0, sError);
}

// Alternating rounds of the engine's read and the plain client's; prints each and returns the
// median of plain ÷ engine.
template <class Engine, class Plain> double Rounds(const char* sName, int iRounds, Engine engineRead, Plain plainRead) {
    engineRead(); // warms the simulator's record and the allocator
    plainRead();
    std::vector<double> ratios;
    for (int r = 0; r < iRounds; ++r) {
        const double dEngine = engineRead();
        const double dPlain = plainRead();
        ratios.push_back(dPlain / dEngine);
        std::printf("%s round %d: engine %.3f s, plain %.3f s, ratio %.2f\n", sName, r + 1, dEngine, dPlain,
                    dPlain / dEngine);
    }
    return Median(ratios);
}

// A simulated scope (set up by the caller) behind two doors: the engine's and the plain client's.
struct uDoors {
    std::shared_ptr<Sim::ScpiDevice> pDevice = std::make_shared<Sim::ScpiDevice>();
    Sim::RawTcpServer engine{pDevice};
    Sim::RawTcpServer plain{pDevice};
    void Start() {
        std::string sError;
        if (!engine.Start(sError) || !plain.Start(sError)) Fail(sError.c_str());
    }
};

void BenchSiglent(int iRounds) {
    uDoors doors;
    Sim::SiglentScope scope(Sim::SiglentScope::eModel::SDS2104XPlus);
    scope.SetMemoryDepth(SiglentPoints);
    scope.Attach(*doors.pDevice);
    doors.Start();

    uEngine engine;
    StartEngine(engine, doors.engine.Port(), ModelSiglentSDS2000XPlusCh4, "Siglent", "SDS2104X Plus");
    const double dRatio = Rounds(
        "Siglent", iRounds, [&] { return EngineSiglentRead(engine); }, [&] { return PlainSiglentRead(doors.plain.Port()); });
    std::printf("25 M-point Siglent read in 3 parts, set-up included, median ratio (plain / engine): %.2f\n", dRatio);
    StopEngine(engine);
}

// --- 3. the Rigol read the window's way ---

constexpr std::int64_t RigolPoints = 24000000;
constexpr std::int64_t RigolPart = 250000; // the most a DS1000Z sends per :WAV:DATA? in BYTE form

// The plain client: the same part windows (1-based, inclusive), every payload into one buffer.
double PlainRigolRead(int iPort) {
    const int fd = PlainClient::Connect(iPort);
    if (fd < 0) Fail("connect");
    const auto start = Clock::now();
    std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[RigolPoints]);
    PlainClient::SendAll(fd, ":STOP\n:WAV:MODE RAW;:WAV:FORM BYTE\n");
    std::size_t iAt = 0;
    for (std::int64_t a = 1; a <= RigolPoints; a += RigolPart) {
        const std::int64_t b = std::min(a + RigolPart - 1, RigolPoints);
        PlainClient::SendAll(fd, ":WAV:SOUR CHAN1;:WAV:STAR " + std::to_string(a) + ";:WAV:STOP " + std::to_string(b) +
                                     ";:WAV:DATA?\n");
        if (!PlainClient::RecvBlock(fd, 0, 1, buffer.get(), iAt, static_cast<std::size_t>(RigolPoints)))
            Fail("plain answer");
    }
    const auto end = Clock::now();
    close(fd);
    if (iAt != static_cast<std::size_t>(RigolPoints)) Fail("plain count");
    return Seconds(start, end);
}

struct uRigolRead {
    double dRead = 0; // from the start until the record is complete and handed to the save
    double dSave = 0; // from there until the file is written
};

// One read with its automatic BIN save into the folder, which it empties first.
uRigolRead EngineRigolRead(uEngine& engine, const QString& sFolder) {
    QDir folder(sFolder);
    for (const QString& sName : folder.entryList(QDir::Files)) folder.remove(sName);
    engine.pump.fSaveAutomatically = true;
    engine.pump.sAutomaticFolder = engine.window.sFolder;
    const auto start = Clock::now();
    WaveformPump::StartReading(engine.pump, {});
    RunUntilSettled(engine);
    const auto read = Clock::now();
    const auto deadline = read + std::chrono::minutes(5);
    while (engine.pump.fSaving) {
        if (Clock::now() > deadline) Fail("the save did not end", engine.window.mErrors);
        AwaitEvents();
    }
    const auto saved = Clock::now();
    const QFileInfoList files = folder.entryInfoList(QDir::Files);
    if (files.size() != 1 || files[0].size() < RigolPoints || !engine.window.mErrors.empty())
        Fail("the engine's read or its file is incomplete", engine.window.mErrors);
    engine.pump.pRecord.reset();
    return {Seconds(start, read), Seconds(read, saved)};
}

void BenchRigol(int iRounds) {
    uDoors doors;
    Sim::RigolScope scope(Sim::RigolScope::eFamily::DS1000Z);
    scope.SetMemoryDepth(RigolPoints);
    scope.Attach(*doors.pDevice);
    doors.Start();
    QTemporaryDir folder;
    uEngine engine;
    engine.window.sFolder = QDir(folder.path()).absolutePath().toStdString() + "/";
    StartEngine(engine, doors.engine.Port(), ModelRigolDS1000Z, "RIGOL TECHNOLOGIES", "DS1104Z");
    // The save's end reaches the window as it does the waveform window, and the pump goes on.
    EventHub::Bind(EventWaveformSaveStatus, engine.iWindow, [&engine](const EventHub::uEvent& event) {
        if (event.iType == SaveStatusError)
            if (const uSaveStatusText* pText = event.pData.Get<uSaveStatusText>()) engine.window.mErrors.push_back(pText->sText);
        if (event.iType == SaveStatusPassFinished && engine.pump.fSaving) WaveformPump::SaveEnded(engine.pump);
    });
    std::vector<double> saves;
    const double dRatio = Rounds(
        "Rigol", iRounds,
        [&] {
            const uRigolRead read = EngineRigolRead(engine, folder.path());
            saves.push_back(read.dSave);
            return read.dRead;
        },
        [&] { return PlainRigolRead(doors.plain.Port()); });
    std::printf("24 M-point Rigol memory read in %lld parts through pump and checks up to the BIN save, median ratio "
                "(plain / engine): %.2f; the save thread then wrote the file in %.3f s (median)\n",
                static_cast<long long>(RigolPoints / RigolPart), dRatio, Median(saves));
    EventHub::Unbind(EventWaveformSaveStatus, engine.iWindow);
    StopEngine(engine);
}

} // namespace

int main(int argc, char** argv) {
    const int iRounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    DataBuffer::UseOneHeap(); // as the program's main does
    TestApplication::EnsureCore();
    EventHub::Init();
    WaveformChecks::Install();
    WaveformWriters::Register();
    Template::RegisterExpander();
    BenchAssembly(iRounds);
    BenchSiglent(iRounds);
    BenchRigol(iRounds);
    return 0;
}
