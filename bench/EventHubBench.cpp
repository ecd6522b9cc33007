// The event hub on its own, two measures in the same run:
//  1. Request/answer exchanges: a thread posts an event and waits until the GUI thread's handler
//     answers it, one at a time, beside the same exchange between two plain threads through a
//     condition variable. Prints exchanges per second and hub ÷ plain (1.0: as fast as a bare
//     thread hand-off).
//  2. A stream of progress reports, paced like a fast transfer (one every 100 us, as 100 KiB
//     steps at 1 GB/s): the GUI thread's wake-ups (the event dispatcher's awake signal) and
//     its CPU time per report, posted with PostProgress and, as the baseline, with PostEvent
//     (which wakes the GUI thread whenever it is idle).
//
//   bench_EventHubBench [exchanges] [reports]
#include "common/TestApplication.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowRegistry.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// A one-slot mailbox between two threads.
struct uMailbox {
    std::mutex mutex;
    std::condition_variable cv;
    long iCount = 0;
    void Put() {
        std::lock_guard lock(mutex);
        ++iCount;
        cv.notify_one();
    }
    void Take(long iWanted) {
        std::unique_lock lock(mutex);
        cv.wait(lock, [&] { return iCount >= iWanted; });
    }
};

// Runs the Qt loop, sleeping while it has nothing to do, until fDone (whoever sets it wakes the
// loop: a handler on this thread, or another thread through the dispatcher's wakeUp).
void RunLoopUntil(const std::atomic<bool>& fDone) {
    while (!fDone) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

double HubExchanges(int iWindow, long iCount) {
    uMailbox answers;
    EventHub::Bind(EventTaskFinished, iWindow, [&](const EventHub::uEvent&) { answers.Put(); });
    std::atomic<bool> fDone{false};
    const auto start = Clock::now();
    std::thread asker([&] {
        for (long i = 1; i <= iCount; ++i) {
            EventHub::PostEvent(EventTaskFinished, iWindow);
            answers.Take(i);
        }
        fDone = true;
        QCoreApplication::eventDispatcher()->wakeUp();
    });
    RunLoopUntil(fDone);
    asker.join();
    const auto end = Clock::now();
    EventHub::Unbind(EventTaskFinished, iWindow);
    return static_cast<double>(iCount) / Seconds(start, end);
}

double PlainExchanges(long iCount) {
    uMailbox questions, answers;
    const auto start = Clock::now();
    std::thread answerer([&] {
        for (long i = 1; i <= iCount; ++i) {
            questions.Take(i);
            answers.Put();
        }
    });
    for (long i = 1; i <= iCount; ++i) {
        questions.Put();
        answers.Take(i);
    }
    answerer.join();
    return static_cast<double>(iCount) / Seconds(start, Clock::now());
}

struct uStream {
    long iWakeUps = 0;
    double dCpu = 0;
};

uStream Stream(int iWindow, long iReports, bool fProgress) {
    long iSeen = 0;
    std::atomic<bool> fDone{false};
    EventHub::Bind(EventTransferStatus, iWindow, [&](const EventHub::uEvent&) {
        if (++iSeen == iReports) fDone = true;
    });
    long iWakeUps = 0;
    auto* pDispatcher = QCoreApplication::eventDispatcher();
    const auto connection = QObject::connect(pDispatcher, &QAbstractEventDispatcher::awake, [&] { ++iWakeUps; });
    // Let the hub's follow-up turns of earlier work run out first.
    QThread::msleep(20);
    QCoreApplication::processEvents();
    iWakeUps = 0;
    const double dCpuStart = ThreadCpuSeconds();
    std::thread poster([&] {
        auto next = Clock::now();
        for (long i = 0; i < iReports; ++i) {
            next += std::chrono::microseconds(100);
            std::this_thread::sleep_until(next);
            (fProgress ? EventHub::PostProgress : EventHub::PostEvent)(EventTransferStatus, iWindow, 0, 7, {});
        }
    });
    RunLoopUntil(fDone);
    poster.join();
    const uStream result{iWakeUps, ThreadCpuSeconds() - dCpuStart};
    QObject::disconnect(connection);
    EventHub::Unbind(EventTransferStatus, iWindow);
    return result;
}

} // namespace

int main(int argc, char** argv) {
    const long iExchanges = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20000;
    const long iReports = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5000;
    TestApplication::EnsureCore();
    EventHub::Init();
    const int iWindow = WindowRegistry::NewWindowNumber();

    HubExchanges(iWindow, 1000); // warm-up
    PlainExchanges(1000);
    double dHub = 0, dPlain = 0;
    for (int r = 0; r < 3; ++r) {
        dHub = std::max(dHub, HubExchanges(iWindow, iExchanges));
        dPlain = std::max(dPlain, PlainExchanges(iExchanges));
    }
    std::printf("%ld request/answer exchanges, best of 3: through the hub %.0f /s, two plain threads %.0f /s, "
                "ratio %.2f\n",
                iExchanges, dHub, dPlain, dHub / dPlain);

    const uStream progress = Stream(iWindow, iReports, true);
    const uStream events = Stream(iWindow, iReports, false);
    std::printf("%ld progress reports, one per 100 us:\n", iReports);
    std::printf("  PostProgress: %ld GUI wake-ups (%.3f per report), GUI CPU %.1f us per report\n", progress.iWakeUps,
                static_cast<double>(progress.iWakeUps) / static_cast<double>(iReports),
                progress.dCpu * 1e6 / static_cast<double>(iReports));
    std::printf("  PostEvent:    %ld GUI wake-ups (%.3f per report), GUI CPU %.1f us per report\n", events.iWakeUps,
                static_cast<double>(events.iWakeUps) / static_cast<double>(iReports),
                events.dCpu * 1e6 / static_cast<double>(iReports));
    std::printf("  wake-ups ratio (PostProgress / PostEvent) %.2f, GUI CPU ratio %.2f\n",
                static_cast<double>(progress.iWakeUps) / static_cast<double>(std::max(events.iWakeUps, 1L)),
                progress.dCpu / std::max(events.dCpu, 1e-9));
    WindowRegistry::Release(iWindow);
    return 0;
}
