#include "platform/EventHub.h"
#include "common/TestApplication.h"
#include "platform/AllocationFailure.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowRegistry.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <new>
#include <optional>
#include <string>
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

// A handler that opens a modal dialog runs a nested event loop; the events queued behind its
// own must reach their handlers inside that loop, or the dialog would wait for them forever.
TEST_F(EventHubTest, EventsQueuedBehindAHandlerArriveInsideItsNestedLoop) {
    const int w = WindowRegistry::NewWindowNumber();
    bool fInside = false, fDeliveredInside = false, fGuardFired = false;
    QEventLoop outer, nested;
    EventHub::Bind(EventTaskFinished, w, [&](const EventHub::uEvent&) {
        fInside = true;
        QTimer::singleShot(10000, &nested, [&] {
            fGuardFired = true; // a guard against a hang only
            nested.quit();
        });
        nested.exec();
        fInside = false;
        outer.quit();
    });
    EventHub::Bind(EventTransferStatus, w, [&](const EventHub::uEvent&) {
        fDeliveredInside = fInside;
        nested.quit();
    });
    std::thread([w] {
        EventHub::PostEvent(EventTaskFinished, w);
        EventHub::PostEvent(EventTransferStatus, w);
    }).join();
    outer.exec();
    EXPECT_TRUE(fDeliveredInside);
    EXPECT_FALSE(fGuardFired);
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

using PostFunction = void (*)(int, int, std::intptr_t, std::intptr_t, EventHub::Payload);
struct uPostKind {
    const char* sName;
    PostFunction fnPost;
    bool fWakesBehindADelivery; // delivered without waiting for the follow-up turn
};
const uPostKind PostKinds[] = {{"PostEvent", &EventHub::PostEvent, true},
                               {"PostProgress", &EventHub::PostProgress, false}};

// Posts behind a delivery (progress reports wait for its follow-up turn instead of waking the
// loop): they must still all arrive, in order, by the loop alone; and once the follow-up turns
// have ended, a lone post wakes the loop again.
TEST_F(EventHubTest, PostsBehindADeliveryArriveInOrderAndALatePostStillWakesTheLoop) {
    for (const uPostKind& kind : PostKinds) {
        SCOPED_TRACE(kind.sName);
        EventHub::Init();
        const int w = WindowRegistry::NewWindowNumber();
        std::vector<int> seen;
        int iWanted = 0;
        QEventLoop loop;
        EventHub::Bind(EventSearchFinished, w, [&](const EventHub::uEvent& event) {
            const auto* p = event.pData.Get<int>();
            seen.push_back(p ? *p : -1);
            if (static_cast<int>(seen.size()) == iWanted) loop.quit();
        });
        auto postFromThread = [w, &kind](int iFirst, int iCount) {
            std::thread([=] {
                for (int i = iFirst; i < iFirst + iCount; ++i)
                    kind.fnPost(EventSearchFinished, w, 0, 0, EventHub::Payload::Of<int>(i));
            }).join();
        };
        bool fGuard = false;
        auto runUntilSeen = [&](int iCount) {
            iWanted = iCount;
            if (static_cast<int>(seen.size()) >= iWanted) return;
            QTimer guard;
            guard.setSingleShot(true);
            QObject::connect(&guard, &QTimer::timeout, [&] {
                fGuard = true;
                loop.quit();
            });
            guard.start(10000);
            loop.exec();
        };
        postFromThread(0, 1);
        runUntilSeen(1);
        postFromThread(1, 1000); // right behind the first delivery: the follow-up turn is armed
        runUntilSeen(1001);
        ASSERT_FALSE(fGuard);
        // Let the follow-up turns run out, then post once more.
        QEventLoop pause;
        QTimer::singleShot(50, &pause, &QEventLoop::quit);
        pause.exec();
        postFromThread(1001, 1);
        runUntilSeen(1002);
        EXPECT_FALSE(fGuard);
        ASSERT_EQ(seen.size(), 1002u);
        for (int i = 0; i < 1002; ++i) ASSERT_EQ(seen[static_cast<std::size_t>(i)], i);
        WindowRegistry::Release(w);
    }
}

// Right behind a delivery (its follow-up turn armed, not yet run): an event posted from another
// thread is handed over by the Qt loop's posted events alone, without waiting for any timer, so
// that a request/answer exchange never waits for the follow-up turn; a progress report waits
// for that turn and then arrives with the loop.
TEST_F(EventHubTest, BehindADeliveryAnEventWakesTheLoopAtOnceAndAProgressReportWaitsForTheFollowUpTurn) {
    for (const uPostKind& kind : PostKinds) {
        SCOPED_TRACE(kind.sName);
        EventHub::Init();
        const int w = WindowRegistry::NewWindowNumber();
        int iSeen = 0;
        EventHub::Bind(EventTaskFinished, w, [&](const EventHub::uEvent&) { ++iSeen; });
        EventHub::PostEvent(EventTaskFinished, w);
        ASSERT_EQ(EventHub::Pump(), 1u); // a turn that delivered: the follow-up turn is armed
        QCoreApplication::sendPostedEvents(); // the loop's own delivery request, now with nothing to do
        std::thread([&] { kind.fnPost(EventTaskFinished, w, 0, 0, {}); }).join();
        // Posted events only: no timer runs here.
        QCoreApplication::sendPostedEvents();
        EXPECT_EQ(iSeen, kind.fWakesBehindADelivery ? 2 : 1);
        QElapsedTimer guard;
        guard.start();
        while (iSeen < 2 && guard.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        EXPECT_EQ(iSeen, 2);
        WindowRegistry::Release(w);
    }
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

// A thread that outlived the exit's wait and posts as the application goes only queues.
TEST_F(EventHubTest, OnceTheApplicationIsGoneAPostOnlyQueuesAndACallIsRefused) {
    delete QCoreApplication::instance();
    EventHub::PostEvent(EventTaskFinished, WindowRegistry::NewWindowNumber());
    EXPECT_FALSE(EventHub::PostCall([] {}));
    TestApplication::EnsureCore();
    EventHub::Init();
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
    // Timer 2 is due after the 5 ms arming and before the 30 ms one, however late each call comes.
    WindowRegistry::StartTimer(w, 1, 5);
    WindowRegistry::StartTimer(w, 2, 10);
    WindowRegistry::StartTimer(w, 1, 30); // replaces the 5 ms one
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

namespace {

// A handler that posts its event again at once, as a busy script thread keeps posting: the
// Qt event loop must still get to its timers, painting and input between deliveries.
TEST_F(EventHubTest, AnEndlessStreamOfEventsLeavesTheQtLoopItsTurn) {
    const int iWindow = WindowRegistry::NewWindowNumber();
    std::int64_t iDelivered = 0;
    EventHub::Bind(EventScriptMessage, iWindow, [&](const EventHub::uEvent&) {
        ++iDelivered;
        EventHub::PostEvent(EventScriptMessage, iWindow);
    });
    EventHub::PostEvent(EventScriptMessage, iWindow);
    QEventLoop loop;
    bool fTimer = false;
    QTimer::singleShot(20, &loop, [&] {
        fTimer = true;
        loop.quit();
    });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_TRUE(fTimer);
    EXPECT_GT(iDelivered, 0);
    WindowRegistry::Release(iWindow);
    EXPECT_LE(EventHub::Pump(), 1u); // the last repost finds no handler
}

// Slow handlers (a millisecond each): a turn of the Qt loop hands over a few milliseconds' worth
// and leaves the rest, in order, to later turns, so that what the loop queued behind the turn
// (input, painting, a posted call) runs in between; a pump by hand still takes everything.
TEST_F(EventHubTest, ATurnOfTheLoopEndsAfterItsTimeAndTheRestFollowsInOrder) {
    const int w = WindowRegistry::NewWindowNumber();
    std::vector<std::intptr_t> seen;
    EventHub::Bind(EventTransferStatus, w, [&](const EventHub::uEvent& e) {
        seen.push_back(e.iType);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    constexpr std::intptr_t Count = 100;
    for (std::intptr_t i = 0; i < Count; ++i) EventHub::PostEvent(EventTransferStatus, w, 0, i);
    QObject receiver;
    std::optional<std::size_t> seenByTheCall; // what a call queued behind the events found handled
    QMetaObject::invokeMethod(&receiver, [&] { seenByTheCall = seen.size(); }, Qt::QueuedConnection);
    QElapsedTimer guard;
    guard.start();
    while ((seen.size() < Count || !seenByTheCall) && guard.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_TRUE(seenByTheCall);
    EXPECT_GT(*seenByTheCall, 0u);
    EXPECT_LT(*seenByTheCall, static_cast<std::size_t>(Count / 2));
    ASSERT_EQ(seen.size(), static_cast<std::size_t>(Count));
    for (std::intptr_t i = 0; i < Count; ++i) EXPECT_EQ(seen[static_cast<std::size_t>(i)], i);
    for (std::intptr_t i = 0; i < 20; ++i) EventHub::PostEvent(EventTransferStatus, w, 0, i);
    EXPECT_EQ(EventHub::Pump(), 20u);
    WindowRegistry::Release(w);
}

// A turn beside the loop's waiting delivery request (the follow-up turn; here a pump by hand)
// queues no second request: a pass of posted events runs one turn (one slow event), not two.
TEST_F(EventHubTest, ATurnBesideAWaitingRequestAddsNoSecondRequest) {
    const int w = WindowRegistry::NewWindowNumber();
    int iSeen = 0;
    EventHub::Bind(EventTransferStatus, w, [&](const EventHub::uEvent&) {
        ++iSeen;
        std::this_thread::sleep_for(std::chrono::milliseconds(6));
    });
    QCoreApplication::sendPostedEvents(); // requests left by earlier tests
    EventHub::PostEvent(EventTransferStatus, w); // the request now waits in the loop
    EventHub::PostEvent(EventTransferStatus, w);
    ASSERT_EQ(EventHub::Pump(), 2u);
    for (int i = 0; i < 4; ++i) EventHub::PostEvent(EventTransferStatus, w);
    iSeen = 0;
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(iSeen, 1);
    EXPECT_EQ(EventHub::Pump(), 3u);
    WindowRegistry::Release(w);
}

// The follow-up turn that falls due while the loop's delivery request waits leaves the events to
// that request: one pass of the loop (posted events and due timers together) runs one turn, one
// slow event, whichever of the two comes first in the pass.
TEST_F(EventHubTest, AFollowUpTurnBesideAWaitingRequestLeavesItTheEvents) {
    const int w = WindowRegistry::NewWindowNumber();
    int iSeen = 0;
    EventHub::Bind(EventTransferStatus, w, [&](const EventHub::uEvent&) {
        ++iSeen;
        std::this_thread::sleep_for(std::chrono::milliseconds(6)); // longer than a turn's budget
    });
    QCoreApplication::sendPostedEvents(); // requests left by earlier tests
    EventHub::PostEvent(EventTransferStatus, w);
    ASSERT_EQ(EventHub::Pump(), 1u); // a turn that delivered: the follow-up turn is armed
    for (int i = 0; i < 4; ++i) EventHub::PostEvent(EventTransferStatus, w); // the request now waits
    std::this_thread::sleep_for(std::chrono::milliseconds(20)); // the follow-up turn is due
    iSeen = 0;
    QCoreApplication::processEvents(); // one pass
    EXPECT_EQ(iSeen, 1);
    EXPECT_EQ(EventHub::Pump(), 3u);
    WindowRegistry::Release(w);
}

// A timer whose event is already queued when the timer is stopped or armed again: the event
// still arrives, and TimerDue tells the window to drop it.
TEST_F(EventHubTest, ATimerStoppedAfterItFiredIsNoLongerDue) {
    const int w = WindowRegistry::NewWindowNumber();
    std::vector<std::pair<std::intptr_t, bool>> fired;
    bool fQueuedWhenStopped = false;
    QEventLoop loop;
    EventHub::Bind(EventTimer, w, [&](const EventHub::uEvent& e) {
        fired.emplace_back(e.iObject, WindowRegistry::TimerDue(w, static_cast<int>(e.iObject), e.iType));
        if (e.iObject == 1) {
            // Both 0 ms timers fired in one pass: timer 2's event waits behind this one.
            fQueuedWhenStopped = !WindowRegistry::TimerActive(w, 2) && EventHub::Pending() == 1;
            WindowRegistry::StopTimer(w, 2);
            WindowRegistry::StartTimer(w, 3, 0); // a fresh arming is due as usual
        }
        if (e.iObject == 3) loop.quit();
    });
    WindowRegistry::StartTimer(w, 1, 0);
    WindowRegistry::StartTimer(w, 2, 0);
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    loop.exec();
    ASSERT_TRUE(fQueuedWhenStopped);
    ASSERT_EQ(fired.size(), 3u);
    EXPECT_EQ(fired[0], (std::pair<std::intptr_t, bool>{1, true}));
    EXPECT_EQ(fired[1], (std::pair<std::intptr_t, bool>{2, false}));
    EXPECT_EQ(fired[2], (std::pair<std::intptr_t, bool>{3, true}));
    WindowRegistry::Release(w);
}

// A handler that cannot have its memory ends its own work: the failure is reported once with
// the event's number and the events behind it are delivered.
TEST_F(EventHubTest, AnAllocationFailureInAHandlerIsReportedAndDeliveryGoesOn) {
    const int w = WindowRegistry::NewWindowNumber();
    std::vector<std::string> reports;
    AllocationFailure::SetReport([&](const std::string& s) { reports.push_back(s); });
    std::vector<std::intptr_t> seen;
    EventHub::Bind(EventTaskFinished, w, [&](const EventHub::uEvent& e) {
        seen.push_back(e.iType);
        if (e.iType == 1) throw std::bad_alloc();
    });
    EventHub::PostEvent(EventTaskFinished, w, 0, 1);
    EventHub::PostEvent(EventTaskFinished, w, 0, 2);
    EXPECT_EQ(EventHub::Pump(), 2u);
    AllocationFailure::SetReport({});
    EXPECT_EQ(seen, (std::vector<std::intptr_t>{1, 2}));
    EXPECT_EQ(reports, std::vector<std::string>{"EventHub::Deliver: Event 0x1001D: The memory could not be reserved."});
    WindowRegistry::Release(w);
}

} // namespace
