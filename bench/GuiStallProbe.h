// Shared by the benchmarks that measure how long the GUI thread is held: a 1 ms timer whose
// longest gap between two ticks is the longest stall, and the event loop run as the program runs
// it (the hub delivers in its own turns of the loop; nothing is pumped by hand, which would take
// the whole queue at once).
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

namespace GuiStall {

using Clock = std::chrono::steady_clock;

inline double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// The longest gap between two ticks of a 1 ms timer on the GUI thread, from Start to Stop.
class Probe {
  public:
    Probe() {
        timer.setInterval(1);
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            dLongest = std::max(dLongest, since.nsecsElapsed() / 1e6);
            since.restart();
        });
    }
    void Start() {
        dLongest = 0;
        since.start();
        timer.start();
    }
    // The longest stall in milliseconds, the time since the last tick included.
    double Stop() {
        timer.stop();
        return std::max(dLongest, since.nsecsElapsed() / 1e6);
    }

  private:
    QTimer timer;
    QElapsedTimer since;
    double dLongest = 0;
};

// Runs the Qt loop until done() holds or iMs have passed; false on the time-out.
inline bool RunUntil(const std::function<bool()>& done, int iMs) {
    QDeadlineTimer deadline(iMs);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

struct uRun {
    double dSeconds = 0;
    double dLongestStallMs = 0;
    bool fDone = false;
};

// Calls start() from inside the loop, then runs the loop until done(), with the probe running
// from before start() to the end: the start's own work counts as a stall.
inline uRun Measure(const std::function<void()>& start, const std::function<bool()>& done, int iMs = 600000) {
    Probe probe;
    bool fStarted = false;
    QTimer::singleShot(0, [&] {
        start();
        fStarted = true;
    });
    const auto begin = Clock::now();
    probe.Start();
    const bool fDone = RunUntil([&] { return fStarted && done(); }, iMs);
    uRun run;
    run.dLongestStallMs = probe.Stop();
    run.dSeconds = std::chrono::duration<double>(Clock::now() - begin).count();
    run.fDone = fDone;
    return run;
}

// The median and the largest of the samples (0 for none).
struct uSpread {
    double dMedian = 0;
    double dMax = 0;
};

inline uSpread Spread(std::vector<double> mSamples) {
    if (mSamples.empty()) return {};
    std::sort(mSamples.begin(), mSamples.end());
    return {mSamples[mSamples.size() / 2], mSamples.back()};
}

} // namespace GuiStall
