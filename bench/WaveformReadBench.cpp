// A 24 M-point memory read of the simulated DS1000Z Plus over raw TCP on loopback: the whole
// road (AddTask, the worker thread, the Rigol reader and its checks, the event hub) beside a
// plain client that sends the same part requests to the same simulator and receives the answers
// into one fresh buffer of the memory's size. Rounds alternate; prints the median of the
// ratios (plain time / road time, so 1.0 means as fast as the plain client).
//
//   bench_WaveformReadBench [rounds]   (9 by default: the median of few rounds on a loaded machine
//   follows its load more than the read)
#include "PlainClient.h"
#include "common/DataBuffer.h"
#include "common/TestApplication.h"
#include "instrument/Instrument.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowRegistry.h"
#include "sim/RawTcpServer.h"
#include "sim/RigolScope.h"
#include "waveform/WaveformReaders.h"

#include <QCoreApplication>
#include <QEventLoop>


#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::int64_t Depth = 24000000;
constexpr std::int64_t PartPoints = 250000;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// The plain client: the same commands, every answer's payload into one buffer.
double PlainRead(int iPort) {
    const int fd = PlainClient::Connect(iPort);
    if (fd < 0) std::exit(2);
    const auto start = Clock::now();
    std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[Depth]);
    PlainClient::SendAll(fd, ":STOP\n:WAV:MODE RAW;:WAV:FORM BYTE\n");
    std::size_t iAt = 0;
    for (std::int64_t a = 1; a <= Depth; a += PartPoints) {
        const std::int64_t b = std::min(a + PartPoints - 1, Depth);
        PlainClient::SendAll(fd, ":WAV:SOUR CHAN1;:WAV:STAR " + std::to_string(a) + ";:WAV:STOP " + std::to_string(b) + ";:WAV:DATA?\n");
        if (!PlainClient::RecvBlock(fd, 0, 1, buffer.get(), iAt, static_cast<std::size_t>(Depth))) std::exit(3);
    }
    const auto end = Clock::now();
    close(fd);
    if (iAt != static_cast<std::size_t>(Depth)) std::exit(5);
    return Seconds(start, end);
}

struct uRoad {
    int iWindow = 0;
    InstrumentObject object;
    std::shared_ptr<int> pFinished = std::make_shared<int>(0);
    std::shared_ptr<bool> pGood = std::make_shared<bool>(false);
};

void WaitFinished(uRoad& road, int iCount) {
    while (*road.pFinished < iCount) {
        // Sleeps until an event comes, as the program's own loop does: a loop that polls
        // without pause would take a core from the transfer it waits for.
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

double RoadRead(uRoad& road) {
    uTaskWaveform task;
    task.head = {InstrumentTaskWaveform, 0, road.iWindow};
    task.eSource = DataSourceMemory;
    task.eBits = 4;
    task.fSource[WaveformChannel1] = 1;
    task.fSource[WaveformAllAnalog] = 0;
    const int iBefore = *road.pFinished;
    std::string sError;
    const auto start = Clock::now();
    road.object->pInterface->AddTask(*road.object, task, sError);
    WaitFinished(road, iBefore + 1);
    const auto end = Clock::now();
    if (!*road.pGood) std::exit(6);
    return Seconds(start, end);
}

} // namespace

int main(int argc, char** argv) {
    const int iRounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    DataBuffer::UseOneHeap(); // as the program's main does
    TestApplication::EnsureCore();
    EventHub::Init();
    WaveformReaders::Register();

    auto pDevice = std::make_shared<Sim::ScpiDevice>();
    Sim::RigolScope scope(Sim::RigolScope::eFamily::DS1000ZPlus);
    scope.SetMemoryDepth(Depth);
    scope.Attach(*pDevice);
    // Two doors to the one instrument: one for the road's connection, one for the plain client.
    Sim::RawTcpServer roadDoor(pDevice), plainDoor(pDevice);
    std::string sError;
    if (!roadDoor.Start(sError) || !plainDoor.Start(sError)) {
        std::fprintf(stderr, "%s\n", sError.c_str());
        return 1;
    }

    uRoad road;
    road.iWindow = WindowRegistry::NewWindowNumber();
    road.object = Instrument::Create(sError);
    auto pFinished = road.pFinished;
    auto pGood = road.pGood;
    EventHub::Bind(EventTaskFinished, road.iWindow, [pFinished, pGood](const EventHub::uEvent& event) {
        if (event.iType == InstrumentTaskConnect || event.iType == InstrumentTaskWaveform) {
            *pGood = event.iType == InstrumentTaskConnect || static_cast<bool>(event.pData);
            ++*pFinished;
        }
    });
    uTaskPrepare prepare;
    prepare.head = {InstrumentTaskPrepare, 0, road.iWindow};
    prepare.eProtocol = prepare.eInterface = InterfaceRawTcp;
    prepare.rawTcp = {"127.0.0.1", "127.0.0.1", roadDoor.Port()};
    prepare.eModel = ModelRigolDS1000ZPlus;
    road.object->pInterface->AddTask(*road.object, prepare, sError);
    road.object->pInterface->AddTask(*road.object, uTaskConnect{{InstrumentTaskConnect, 0, road.iWindow}}, sError);
    WaitFinished(road, 1);

    RoadRead(road); // warms the simulator's record and the allocator
    PlainRead(plainDoor.Port());
    std::vector<double> ratios;
    for (int i = 0; i < iRounds; ++i) {
        const double dRoad = RoadRead(road);
        const double dPlain = PlainRead(plainDoor.Port());
        ratios.push_back(dPlain / dRoad);
        std::printf("round %d: road %.3f s, plain %.3f s, ratio %.2f\n", i + 1, dRoad, dPlain, dPlain / dRoad);
    }
    std::sort(ratios.begin(), ratios.end());
    std::printf("24 M-point memory read, median ratio (plain / road): %.2f\n", ratios[ratios.size() / 2]);
    Instrument::ReleaseAll(true, 0, sError);
    return 0;
}
