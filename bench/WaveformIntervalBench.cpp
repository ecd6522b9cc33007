// Lateness of the waveform window's automatic reads: 100 reads at 200 ms against the simulated
// instrument over raw TCP, with every core loaded and another client reading large blocks from
// the same instrument. Lateness of one read = time from arming the interval to the read's first
// send, less the interval. Prints mean and largest lateness and the drift of
// the whole run against its ideal length.
#include "IntervalBenchSupport.h"

#include "common/TestApplication.h"
#include "instrument/Instrument.h"
#include "instrument/TaskRecords.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowRegistry.h"
#include "sim/RawTcpServer.h"
#include "windows/capture/WaveformPump.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using IntervalBench::BenchLoad;
using IntervalBench::BenchTimers;
using IntervalBench::Clock;
using IntervalBench::Ms;
using IntervalBench::RunUntil;
constexpr int Reads = 100;
constexpr int Interval = 200;

struct BenchWindow : WaveformPumpWindow {
    void SetStatus(const std::string&) override {}
    void AddLine(const std::string&) override {}
    void AddError(const std::string& s) override { std::fprintf(stderr, "Error: %s\n", s.c_str()); }
    void DisableGadgets(bool) override {}
    bool ChannelTicked() override { return true; }
    std::size_t CreateSendRequestList(uWaveformPump& pump) override {
        pump.mRequestList.clear();
        uWaveformRequest query;
        query.eKind = RequestVisibleChannels;
        query.fSend = query.fResponse = 1;
        query.sCommand = "SIMulate:BLOCk? 1000";
        pump.mRequestList.push_back(query);
        uWaveformRequest end;
        end.eKind = RequestEnd;
        pump.mRequestList.push_back(end);
        fFirstSendPending = true;
        return 2;
    }
    void SaveWaveform(uWaveformPump&) override {}
    void MessageRequester(const std::string&) override {}
    void PostOptionsEvent() override {}
    bool fFirstSendPending = false;
};

// Notes the first send of each read.
struct TimingInstrument : IntervalBench::PassingInstrument {
    void Noted(const uTask& task) override {
        if (pWindow->fFirstSendPending && std::holds_alternative<uTaskScpiCommand>(task)) {
            pWindow->fFirstSendPending = false;
            firstSends.push_back(Clock::now());
        }
    }
    BenchWindow* pWindow = nullptr;
    std::vector<Clock::time_point> firstSends;
};

} // namespace

int main() {
    TestApplication::EnsureCore();
    EventHub::Init();
    Sim::RawTcpServer server;
    std::string sError;
    if (!server.Start(sError)) {
        std::fprintf(stderr, "%s\n", sError.c_str());
        return 1;
    }
    InstrumentObject pObject = Instrument::Create(sError);
    uTaskPrepare prepare;
    prepare.head = {InstrumentTaskPrepare, 0, WindowNobody};
    prepare.eProtocol = prepare.eInterface = InterfaceRawTcp;
    prepare.rawTcp = {"127.0.0.1", "127.0.0.1", server.Port()};
    pObject->pInterface->AddTask(*pObject, prepare, sError);
    pObject->pInterface->AddTask(*pObject, uTaskConnect{{InstrumentTaskConnect, 0, WindowNobody}}, sError);
    if (!RunUntil([&] { return pObject->pInterface->IsConnected(*pObject); }, 10000)) return 1;

    // Every core busy, and another client reading 4 MB blocks from the same instrument.
    BenchLoad load(pObject);

    const int iWindow = WindowRegistry::NewWindowNumber();
    BenchWindow window;
    BenchTimers timers(iWindow);
    TimingInstrument timing;
    timing.pReal = pObject;
    timing.pWindow = &window;
    auto pProxy = std::make_shared<uInstrumentObject>();
    pProxy->pInterface = &timing;
    uWaveformPump pump;
    pump.iWindow = iWindow;
    pump.pWindow = &window;
    pump.pTimers = &timers;
    WaveformPump::SetInstrument(pump, {pProxy, true, true, ModelRigolDS1000Z, "RIGOL", "DS1104Z"});
    WaveformPump::Bind(pump);
    const auto start = Clock::now();
    WaveformPump::StartReading(pump, {true, std::to_string(Interval), 0});
    RunUntil([&] { return static_cast<int>(timing.firstSends.size()) > Reads; }, Reads * (Interval + 1000));
    const auto end = Clock::now();
    WaveformPump::StopRequestData(pump);
    WaveformPump::Unbind(pump);
    load.Stop();

    std::vector<double> lateness;
    for (std::size_t i = 0; i < timers.armed.size() && i + 1 < timing.firstSends.size(); ++i)
        lateness.push_back(Ms(timing.firstSends[i + 1] - timers.armed[i]) - Interval);
    if (lateness.empty()) {
        std::printf("no automatic read completed\n");
        return 1;
    }
    double dSum = 0, dMax = 0, dFirstHalf = 0, dSecondHalf = 0;
    for (std::size_t i = 0; i < lateness.size(); ++i) {
        dSum += lateness[i];
        dMax = std::max(dMax, lateness[i]);
        (i < lateness.size() / 2 ? dFirstHalf : dSecondHalf) += lateness[i];
    }
    const std::size_t n = lateness.size();
    std::printf("reads %zu, other client's 4 MB reads %d\n", n, load.OtherReads());
    std::printf("lateness mean %.2f ms, largest %.2f ms (first half mean %.2f, second half mean %.2f)\n", dSum / n,
                dMax, dFirstHalf / (n / 2), dSecondHalf / (n - n / 2));
    std::printf("total drift %.1f ms over %.1f ms\n", dSum, Ms(end - start));
    std::string s;
    Instrument::ReleaseAll(true, 0, s);
    return 0;
}
