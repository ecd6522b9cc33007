// Lateness of the waveform window's automatic reads: 100 reads at 200 ms against the simulated
// instrument over raw TCP, with every core loaded and another client reading large blocks from
// the same instrument. Lateness of one read = time from arming the interval to the read's first
// send, less the interval and one pump tick. Prints mean and largest lateness and the drift of
// the whole run against its ideal length.
#include "common/TestApplication.h"
#include "instrument/Instrument.h"
#include "instrument/TaskRecords.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowRegistry.h"
#include "sim/RawTcpServer.h"
#include "windows/capture/WaveformPump.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int Reads = 100;
constexpr int Interval = 200;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

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

// Notes when the interval is armed.
struct BenchTimers : WaveformPumpTimers {
    explicit BenchTimers(int iWindow) : timers(iWindow) {}
    void Start(int iTimer, int iMs) override {
        if (iTimer == WaveformPump::TimerInterval) armed.push_back(Clock::now());
        timers.Start(iTimer, iMs);
    }
    void Stop(int iTimer) override { timers.Stop(iTimer); }
    WaveformWindowTimers timers;
    std::vector<Clock::time_point> armed;
};

// Passes every call to the real instrument and notes the first send of each read.
struct TimingInstrument : InstrumentInterface {
    uInstrumentIcon GetIcon(uInstrumentObject&, int k, std::string& e) override { return Real().GetIcon(*pReal, k, e); }
    bool GetInfo(uInstrumentObject&, uInfo& i, std::string& e) override { return Real().GetInfo(*pReal, i, e); }
    bool IsConnected(uInstrumentObject&) override { return Real().IsConnected(*pReal); }
    std::int64_t AddTask(uInstrumentObject&, const uTask& task, std::string& e) override {
        if (pWindow->fFirstSendPending && std::holds_alternative<uTaskScpiCommand>(task)) {
            pWindow->fFirstSendPending = false;
            firstSends.push_back(Clock::now());
        }
        return Real().AddTask(*pReal, task, e);
    }
    bool NewInstance(uInstrumentObject&, std::string& e) override { return Real().NewInstance(*pReal, e); }
    bool DeleteInstance(uInstrumentObject&, std::string& e) override { return Real().DeleteInstance(*pReal, e); }
    InstrumentInterface& Real() { return *pReal->pInterface; }
    InstrumentObject pReal;
    BenchWindow* pWindow = nullptr;
    std::vector<Clock::time_point> firstSends;
};

bool RunUntil(const std::function<bool()>& condition, int iMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(iMs);
    // Sleeps until an event or a timer comes, as the program's own loop does: a loop that polls
    // without pause competes with the loaded cores for its own timers. The look-out timer sees
    // a condition that changes without an event (a connection) and the deadline.
    QTimer lookOut;
    lookOut.start(50);
    while (!condition()) {
        if (Clock::now() > deadline) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

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

    // Every core busy.
    std::atomic<bool> fStop{false};
    std::vector<std::thread> load;
    for (unsigned i = 0; i < std::max(1u, std::thread::hardware_concurrency()); ++i)
        load.emplace_back([&] {
            volatile std::uint64_t x = 0;
            while (!fStop.load(std::memory_order_relaxed)) x = x + 1;
        });

    // Another client reads 4 MB blocks from the same instrument, one after the other.
    const int iOther = WindowRegistry::NewWindowNumber();
    auto queueOther = [&] {
        uTaskScpiCommand other;
        other.head = {InstrumentTaskScpiCommand, 0, iOther};
        other.fSend = other.fRequestData = 1;
        other.sCommand = "SIMulate:BLOCk? 4000000";
        std::string s;
        pObject->pInterface->AddTask(*pObject, other, s);
    };
    int iOtherReads = 0;
    EventHub::Bind(EventTaskFinished, iOther, [&](const EventHub::uEvent& event) {
        if (event.iType != InstrumentTaskScpiCommand) return;
        ++iOtherReads;
        if (!fStop) queueOther();
    });
    queueOther();

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
    fStop = true;
    for (auto& t : load) t.join();

    std::vector<double> lateness;
    for (std::size_t i = 0; i < timers.armed.size() && i + 1 < timing.firstSends.size(); ++i)
        lateness.push_back(Ms(timing.firstSends[i + 1] - timers.armed[i]) - Interval - WaveformPump::PumpTick);
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
    std::printf("reads %zu, other client's 4 MB reads %d\n", n, iOtherReads);
    std::printf("lateness mean %.2f ms, largest %.2f ms (first half mean %.2f, second half mean %.2f)\n", dSum / n,
                dMax, dFirstHalf / (n / 2), dSecondHalf / (n - n / 2));
    std::printf("total drift %.1f ms over %.1f ms\n", dSum, Ms(end - start));
    std::string s;
    Instrument::ReleaseAll(true, 0, s);
    return 0;
}
