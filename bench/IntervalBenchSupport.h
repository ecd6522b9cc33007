// Shared by the benches of the automatic interval (screenshot and waveform window): the clock,
// the event loop that waits for a condition, the timers that note when the interval is armed,
// the instrument that passes every call on, and the load the runs are measured under.
#pragma once

#include "instrument/InstrumentObject.h"
#include "instrument/TaskRecords.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowRegistry.h"
#include "windows/capture/WaveformPump.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace IntervalBench {

using Clock = std::chrono::steady_clock;

inline double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Runs the event loop until the condition holds; false when it did not within the time. Sleeps
// until an event or a timer comes, as the program's own loop does: a loop that polls without
// pause competes with the loaded cores for its own timers. The look-out timer sees a condition
// that changes without an event (a connection) and the deadline.
inline bool RunUntil(const std::function<bool()>& condition, int iMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(iMs);
    QTimer lookOut;
    lookOut.start(50);
    while (!condition()) {
        if (Clock::now() > deadline) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// The window's timers, noting when the interval (timer 11 of both pumps) is armed.
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

// Passes every call to the real instrument; Noted sees each task first.
struct PassingInstrument : InstrumentInterface {
    virtual void Noted(const uTask& task) = 0;
    uInstrumentIcon GetIcon(uInstrumentObject&, int k, std::string& e) override { return Real().GetIcon(*pReal, k, e); }
    bool GetInfo(uInstrumentObject&, uInfo& i, std::string& e) override { return Real().GetInfo(*pReal, i, e); }
    bool IsConnected(uInstrumentObject&) override { return Real().IsConnected(*pReal); }
    std::int64_t AddTask(uInstrumentObject&, const uTask& task, std::string& e) override {
        Noted(task);
        return Real().AddTask(*pReal, task, e);
    }
    bool NewInstance(uInstrumentObject&, std::string& e) override { return Real().NewInstance(*pReal, e); }
    bool DeleteInstance(uInstrumentObject&, std::string& e) override { return Real().DeleteInstance(*pReal, e); }
    InstrumentInterface& Real() { return *pReal->pInterface; }
    InstrumentObject pReal;
};

// Every core busy with a counting thread, and another client of the same instrument reading
// 4 MB blocks one after the other.
class BenchLoad {
  public:
    explicit BenchLoad(InstrumentObject pObject) : pObject(std::move(pObject)) {
        for (unsigned i = 0; i < std::max(1u, std::thread::hardware_concurrency()); ++i)
            load.emplace_back([this] {
                volatile std::uint64_t x = 0;
                while (!fStop.load(std::memory_order_relaxed)) x = x + 1;
            });
        EventHub::Bind(EventTaskFinished, iOther, [this](const EventHub::uEvent& event) {
            if (event.iType != InstrumentTaskScpiCommand) return;
            ++iOtherReads;
            if (!fStop) QueueOther();
        });
        QueueOther();
    }
    BenchLoad(const BenchLoad&) = delete;
    BenchLoad& operator=(const BenchLoad&) = delete;
    ~BenchLoad() {
        Stop();
        Unbind();
    }

    // The counting threads end; the other client asks for no further block.
    void Stop() {
        fStop = true;
        for (auto& t : load) t.join();
        load.clear();
    }
    // The other client's results are no longer counted.
    void Unbind() { EventHub::Unbind(EventTaskFinished, iOther); }
    int OtherReads() const { return iOtherReads; }

  private:
    void QueueOther() {
        uTaskScpiCommand other;
        other.head = {InstrumentTaskScpiCommand, 0, iOther};
        other.fSend = other.fRequestData = 1;
        other.sCommand = "SIMulate:BLOCk? 4000000";
        std::string s;
        pObject->pInterface->AddTask(*pObject, other, s);
    }

    InstrumentObject pObject;
    const int iOther = WindowRegistry::NewWindowNumber();
    std::atomic<bool> fStop{false};
    std::vector<std::thread> load;
    int iOtherReads = 0;
};

} // namespace IntervalBench
