#include "platform/EventHub.h"
#include "common/TestApplication.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowRegistry.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

struct CountedPayload {
    static inline std::atomic<int> iAlive{0};
    int iValue = 0;
    explicit CountedPayload(int v) : iValue(v) { ++iAlive; }
    CountedPayload(const CountedPayload& o) : iValue(o.iValue) { ++iAlive; }
    ~CountedPayload() { --iAlive; }
};

class EventHubTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        TestApplication::EnsureCore();
    }
    void SetUp() override { EventHub::Init(); }
};

TEST_F(EventHubTest, DeliversToTheHandlerOfItsEventAndWindowOnly) {
    const int a = WindowRegistry::NewWindowNumber();
    const int b = WindowRegistry::NewWindowNumber();
    std::vector<int> seen;
    EventHub::Bind(EventTaskFinished, a, [&](const EventHub::uEvent& e) { seen.push_back(e.iWindow); });
    EventHub::PostEvent(EventTaskFinished, b, 0, 0);
    EventHub::PostEvent(EventTransferStatus, a, 0, 0);
    EventHub::PostEvent(EventTaskFinished, a, 7, 9);
    EXPECT_EQ(EventHub::Pump(), 3u);
    EXPECT_EQ(seen, std::vector<int>{a});
}

TEST_F(EventHubTest, WindowBindingWinsOverAnyWindow) {
    int iExact = 0, iAny = 0;
    EventHub::Bind(EventQuit, EventHub::AnyWindow, [&](const EventHub::uEvent&) { ++iAny; });
    EventHub::Bind(EventQuit, 5, [&](const EventHub::uEvent&) { ++iExact; });
    EventHub::PostEvent(EventQuit, 5);
    EventHub::PostEvent(EventQuit, 6);
    EventHub::Pump();
    EXPECT_EQ(iExact, 1);
    EXPECT_EQ(iAny, 1);
}

TEST_F(EventHubTest, KeepsTheOrderOfEachPosterAcrossTwoThreads) {
    const int w = WindowRegistry::NewWindowNumber();
    std::vector<std::pair<int, int>> seen;
    EventHub::Bind(EventTransferStatus, w, [&](const EventHub::uEvent& e) {
        seen.emplace_back(static_cast<int>(e.iObject), static_cast<int>(e.iType));
    });
    constexpr int kCount = 2000;
    auto poster = [w](int iThread) {
        for (int i = 0; i < kCount; ++i) EventHub::PostEvent(EventTransferStatus, w, iThread, i);
    };
    std::thread t1(poster, 1), t2(poster, 2);
    t1.join();
    t2.join();
    EventHub::Pump();
    ASSERT_EQ(seen.size(), 2u * kCount);
    int iNext[3] = {0, 0, 0};
    for (auto [iThread, i] : seen) {
        EXPECT_EQ(i, iNext[iThread]);
        iNext[iThread] = i + 1;
    }
}

TEST_F(EventHubTest, DeliversThroughTheQtEventLoop) {
    const int w = WindowRegistry::NewWindowNumber();
    int iSeen = 0;
    QEventLoop loop;
    EventHub::Bind(EventSearchFinished, w, [&](const EventHub::uEvent&) {
        ++iSeen;
        loop.quit();
    });
    std::thread([w] { EventHub::PostEvent(EventSearchFinished, w); }).join();
    loop.exec();
    EXPECT_EQ(iSeen, 1);
}

// A thread that posts without pause (a script in a tight loop) must not hold the Qt loop in
// delivery: a timer still fires while the thread is posting, and stops it.
TEST_F(EventHubTest, AThreadPostingWithoutPauseDoesNotStarveTheLoop) {
    const int w = WindowRegistry::NewWindowNumber();
    std::atomic<bool> fStop{false};
    std::atomic<bool> fStoppedByTimer{false};
    std::size_t iDelivered = 0;
    EventHub::Bind(EventSearchFinished, w, [&](const EventHub::uEvent&) { ++iDelivered; });
    std::thread poster([&] {
        // Like the script engine, it holds back while 10,000 events wait. The cap only ends a
        // starved run: with it reached, the timer never got its turn.
        for (int i = 0; i < 5'000'000 && !fStop;) {
            if (EventHub::Pending() >= 10'000) {
                std::this_thread::yield();
                continue;
            }
            EventHub::PostEvent(EventSearchFinished, w);
            ++i;
        }
        fStop = true;
    });
    QEventLoop loop;
    QTimer::singleShot(20, &loop, [&] {
        fStoppedByTimer = !fStop.exchange(true);
        loop.quit();
    });
    loop.exec();
    poster.join();
    EventHub::Pump();
    EXPECT_TRUE(fStoppedByTimer);
    EXPECT_GT(iDelivered, 0u);
}

TEST_F(EventHubTest, PayloadOfAnUndeliveredEventIsFreed) {
    const int w = WindowRegistry::NewWindowNumber();
    int iValue = 0;
    EventHub::Bind(EventTaskFinished, w, [&](const EventHub::uEvent& e) {
        if (auto* p = e.pData.Get<CountedPayload>()) iValue = p->iValue;
    });
    EventHub::PostEvent(EventTaskFinished, w, 0, 0, EventHub::Payload::Of(CountedPayload(42)));
    WindowRegistry::Release(w); // the window closes before the event is delivered
    EventHub::PostEvent(EventTaskFinished, WindowNobody, 0, 0, EventHub::Payload::Of(CountedPayload(1)));
    EventHub::Pump();
    EXPECT_EQ(iValue, 0);
    EXPECT_EQ(CountedPayload::iAlive, 0);
    EXPECT_FALSE(WindowRegistry::IsOpen(w));
}

TEST_F(EventHubTest, PayloadOfAnotherTypeIsNotHandedOut) {
    auto p = EventHub::Payload::Of(std::string("text"));
    EXPECT_EQ(p.Get<int>(), nullptr);
    ASSERT_NE(p.Get<std::string>(), nullptr);
    EXPECT_EQ(*p.Get<std::string>(), "text");
}

TEST_F(EventHubTest, WindowNumbersAreNeverReused) {
    const int a = WindowRegistry::NewWindowNumber();
    WindowRegistry::Release(a);
    const int b = WindowRegistry::NewWindowNumber();
    EXPECT_GT(b, a);
}

TEST_F(EventHubTest, ArmingATimerAgainReplacesIt) {
    const int w = WindowRegistry::NewWindowNumber();
    std::vector<std::intptr_t> fired;
    QEventLoop loop;
    EventHub::Bind(EventTimer, w, [&](const EventHub::uEvent& e) {
        fired.push_back(e.iObject);
        if (fired.size() == 2) loop.quit();
    });
    WindowRegistry::StartTimer(w, 1, 5);
    WindowRegistry::StartTimer(w, 1, 30); // replaces the 5 ms one
    WindowRegistry::StartTimer(w, 2, 10);
    EXPECT_TRUE(WindowRegistry::TimerActive(w, 1));
    loop.exec();
    EXPECT_EQ(fired, (std::vector<std::intptr_t>{2, 1}));
    EXPECT_FALSE(WindowRegistry::TimerActive(w, 1));
    WindowRegistry::StartTimer(w, 3, 0);
    WindowRegistry::Release(w); // a closed window's timers never fire
    QEventLoop idle;
    QTimer::singleShot(20, &idle, &QEventLoop::quit);
    idle.exec();
    EXPECT_EQ(fired.size(), 2u);
}

// Window timers pace instrument reads: none may fire before its time, as a coarse timer does
// (up to 5 % early, aligned to round clock values).
TEST_F(EventHubTest, AWindowTimerNeverFiresEarly) {
    const int w = WindowRegistry::NewWindowNumber();
    const std::vector<int> intervals = {101, 137, 173, 203, 251, 307, 353, 409};
    std::vector<qint64> firedAfter(intervals.size(), -1);
    QEventLoop loop;
    QElapsedTimer clock;
    std::size_t iFired = 0;
    EventHub::Bind(EventTimer, w, [&](const EventHub::uEvent& e) {
        firedAfter[static_cast<std::size_t>(e.iObject)] = clock.nsecsElapsed();
        if (++iFired == intervals.size()) loop.quit();
    });
    clock.start();
    for (std::size_t i = 0; i < intervals.size(); ++i) WindowRegistry::StartTimer(w, static_cast<int>(i), intervals[i]);
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    loop.exec();
    for (std::size_t i = 0; i < intervals.size(); ++i)
        EXPECT_GE(firedAfter[i], qint64{intervals[i]} * 1000000) << "timer of " << intervals[i] << " ms";
    WindowRegistry::Release(w);
}

} // namespace
