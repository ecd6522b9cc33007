// The real script window, offscreen, while its engine pours out text:
//  1. A printing loop (every pass posts its status and output lines, so the "Output" tab keeps
//     running over its cap): a click on "Stop" posted from another thread, as input arrives,
//     and the time until its handler has run; and calls posted to the GUI thread from another
//     thread every 7 ms, and the time until each ran. Median and largest of all rounds.
//  2. A 1 MB text (words, or one word without a blank) in each of the engine's messages that
//     show text (error, wait for confirmation, output line, status), with the "Script" tab and
//     with the "Output" tab in front: the longest gap of a 1 ms timer on the GUI thread until the window has drawn it.
//  3. "Check" of a script of 100,000 lines: the longest gap until the window is idle again.
//  4. A script "function wait msg <1 MB>" run until it waits for confirmation, and "Check" of it,
//     the text without a blank against words of the same size: the longest gaps, and their ratio.
//     The caret stands at the end of that line and each click takes the focus from the editor.
//
//   bench_ScriptWindowBench [rounds]
// Offscreen unless QT_QPA_PLATFORM says otherwise: on a real display, QT_QPA_PLATFORM=xcb under
// Xvfb with a window manager, inside `unshare -n` (its first line names the platform).
#include "GuiStallProbe.h"

#include "../tests/tools/ToolSupport.h"

#include "app/Main.h"
#include "common/EventData.h"
#include "common/WindowLog.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowFrame.h"
#include "script/ScriptThread.h"
#include "script/WindowScript.h"

#include <Qsci/qsciscintilla.h>

#include <QApplication>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using GuiStall::Clock;
using GuiStall::Ms;
using WindowScript::uWindowScript;

constexpr const char* PrintingLoop = "integer n\nlabel top\nn add 1\ngoto top\n";

// Whether Check, Run, Pause and Stop are enabled as while a script runs (true) or when the
// window is idle (false).
bool ButtonsAs(const uWindowScript& w, bool fRunning) {
    return w.pButtonCheck->isEnabled() != fRunning && w.pButtonRun->isEnabled() != fRunning &&
           w.pButtonPause->isEnabled() == fRunning && w.pButtonStop->isEnabled() == fRunning;
}

// Nothing of the engine waits for the window any more.
bool Quiet(const uWindowScript& w) { return EventHub::Pending() == 0 && !w.fFlushQueued; }

// Runs the loop for that long with the probe (if any) still running: the drawing that follows
// the handlers counts.
void Linger(int iMs) {
    GuiStall::RunUntil([] { return false; }, iMs);
}

struct uStopRound {
    std::vector<double> mStop;
    std::vector<double> mPosted;
};

// One run of the printing loop: calls posted meanwhile, then the Stop click; false when the
// window did not start or stop.
bool StopRound(uWindowScript& w, uStopRound& r) {
    WindowScript::SetScriptText(w, PrintingLoop);
    w.pButtonRun->click();
    if (!GuiStall::RunUntil([&] { return ButtonsAs(w, true); }, 10000)) return false;

    QObject receiver;
    std::atomic<bool> fPosting{true};
    std::thread poster([&] {
        while (fPosting) {
            const auto posted = Clock::now();
            QMetaObject::invokeMethod(
                &receiver, [&r, posted] { r.mPosted.push_back(Ms(Clock::now() - posted)); }, Qt::QueuedConnection);
            std::this_thread::sleep_for(std::chrono::milliseconds(7));
        }
    });
    Linger(300);
    fPosting = false;
    poster.join();
    Linger(20); // the last calls arrive

    // A press and a release on Stop, posted from another thread as the platform's input arrives.
    QPushButton* pStop = w.pButtonStop;
    const QPointF centre = QRectF(pStop->rect()).center();
    const QPointF global = pStop->mapToGlobal(centre);
    auto* pPress = new QMouseEvent(QEvent::MouseButtonPress, centre, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    auto* pRelease = new QMouseEvent(QEvent::MouseButtonRelease, centre, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    Clock::time_point clicked{}, handled{};
    const auto connection = QObject::connect(pStop, &QPushButton::clicked, [&] { handled = Clock::now(); });
    std::thread clicker([&] {
        clicked = Clock::now();
        QCoreApplication::postEvent(pStop, pPress);
        QCoreApplication::postEvent(pStop, pRelease);
    });
    const bool fHandled = GuiStall::RunUntil([&] { return handled != Clock::time_point{}; }, 60000);
    clicker.join();
    QObject::disconnect(connection);
    if (!fHandled) return false;
    r.mStop.push_back(Ms(handled - clicked));
    return GuiStall::RunUntil([&] { return ButtonsAs(w, false) && Quiet(w); }, 60000);
}

// A 1 MB text: words, or one word without a blank.
std::string LongText(bool fBlanks) {
    std::string s;
    s.reserve(1 << 20);
    while (s.size() < (1u << 20)) s += fBlanks ? "Skriptzeile 7 TaskFunctionSave - a long answer that goes on; " : "x";
    s.resize(1 << 20);
    return s;
}

// The longest stall while one 1 MB message of each kind that shows text is handled and drawn:
// words, or one word without a blank.
double LongMessageStall(int iWindow, uWindowScript& w, bool fBlanks) {
    const std::string sLong = LongText(fBlanks);
    using namespace InstrumentScript;
    double dLongest = 0;
    for (int iTab : {0, 2}) {
        w.pPanel->setCurrentIndex(iTab);
        Linger(100);
        for (std::int64_t eType : {ScriptMessageError, ScriptMessageWaitUser, ScriptMessageOutput, ScriptMessageStatus}) {
            const GuiStall::uRun run = GuiStall::Measure(
                [&] {
                    std::thread([&] {
                        std::int64_t iData = 0;
                        if (eType == ScriptMessageError)
                            iData = Utility::EventDataStore(uEventData{0, sLong, "InstrumentScript", "Thread"});
                        uScriptOutput output;
                        output.sText = eType == ScriptMessageError ? std::string() : sLong;
                        output.iData = iData;
                        EventHub::PostEvent(EventScriptMessage, iWindow, 0, static_cast<std::intptr_t>(eType),
                                            EventHub::Payload::Of(std::move(output)));
                    }).join();
                },
                [&] {
                    if (!Quiet(w)) return false;
                    Linger(150);
                    return true;
                });
            dLongest = std::max(dLongest, run.dLongestStallMs);
        }
    }
    w.pPanel->setCurrentIndex(0);
    w.pMessages->clear();
    w.fPaused = false; // no engine waits for the confirmation these messages asked for
    Linger(100);
    return dLongest;
}

// The longest stall of "Check" on a script of 100,000 lines, until the window is idle again (the
// thread's line that it waits for the next script follows the listing and, the tab being over
// its cap, clears it).
double LongScriptStall(uWindowScript& w) {
    std::string sScript;
    for (int i = 0; i < 100'000 / 5; ++i) {
        const std::string n = std::to_string(i);
        sScript += "integer count" + n + "   // counter " + n + "\n";
        sScript += "label top" + n + "\n";
        sScript += "count" + n + " add 1\n";
        sScript += "count" + n + " less 10\n";
        sScript += "true goto top" + n + "\n";
    }
    WindowScript::SetScriptText(w, sScript);
    Linger(200);
    const GuiStall::uRun run = GuiStall::Measure([&] { w.pButtonCheck->click(); },
                                                 [&] {
                                                     if (!ButtonsAs(w, false) || !Quiet(w)) return false;
                                                     Linger(150);
                                                     return Quiet(w);
                                                 });
    if (!run.fDone || !w.pMessages->toPlainText().endsWith(WindowScript::TextNoError)) {
        std::fprintf(stderr, "the check did not end well: %s\n", w.pMessages->toPlainText().left(300).toUtf8().constData());
        std::exit(1);
    }
    return run.dLongestStallMs;
}

struct uWaitStall {
    double dRun = 0;   // Run until the script waits for confirmation
    double dCheck = 0; // Check of the same script
};

// The longest stalls of a script that waits with a 1 MB message, from the click until the
// window is idle again (and has drawn it): Run, then Check. The caret stands at the end of the
// long line, as after pasting it, and each click takes the focus from the editor, as a mouse
// click does.
uWaitStall LongWaitStall(uWindowScript& w, bool fBlanks) {
    WindowScript::SetScriptText(w, "function wait msg " + LongText(fBlanks) + "\n");
    auto atLineEnd = [&w] {
        w.pEditor->setFocus(Qt::MouseFocusReason);
        w.pEditor->SendScintilla(QsciScintillaBase::SCI_DOCUMENTSTART);
        w.pEditor->SendScintilla(QsciScintillaBase::SCI_LINEEND);
        Linger(1500); // drawn, and the caret has blinked
    };
    auto click = [](QPushButton* pButton) {
        pButton->setFocus(Qt::MouseFocusReason);
        pButton->click();
    };
    auto idle = [&w](const std::function<bool()>& buttons) {
        return [&w, buttons] {
            if (!buttons() || !Quiet(w)) return false;
            Linger(600);
            return Quiet(w);
        };
    };
    atLineEnd();
    const GuiStall::uRun run = GuiStall::Measure([&] { click(w.pButtonRun); }, idle([&] {
        return w.pButtonRun->isEnabled() && !w.pButtonPause->isEnabled() && w.pButtonStop->isEnabled();
    }), 60000);
    if (!run.fDone) {
        std::fprintf(stderr, "the waiting script did not wait: %s\n", w.pMessages->toPlainText().left(300).toUtf8().constData());
        std::exit(1);
    }
    w.pButtonStop->click();
    atLineEnd();
    const GuiStall::uRun check = GuiStall::Measure([&] { click(w.pButtonCheck); }, idle([&] { return ButtonsAs(w, false); }));
    if (!check.fDone || !w.pMessages->toPlainText().endsWith(WindowScript::TextNoError)) {
        std::fprintf(stderr, "the waiting script did not check: %s\n", w.pMessages->toPlainText().left(300).toUtf8().constData());
        std::exit(1);
    }
    w.pMessages->clear();
    return {run.dLongestStallMs, check.dLongestStallMs};
}

} // namespace

int main(int argc, char** argv) {
    const int iRounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QTemporaryDir dir;
    ToolSupport::UseFoldersWithConfig(dir);
    WindowLog::Create();
    WindowScript::RegisterKind();

    const int iWindow = Main::OpenScriptWindow();
    uWindowScript* pWindow = nullptr;
    if (iWindow == 0 || !WindowScript::GetInstance(iWindow, &pWindow)) return 1;
    uWindowScript& w = *pWindow;
    w.pFrame->setGeometry(20, 40, 860, 600);
    if (!GuiStall::RunUntil([&] { return !w.pButtonStop->isEnabled(); }, 5000)) return 1;
    Linger(200);

    std::printf("platform %s\n", qPrintable(QGuiApplication::platformName()));
    uStopRound rounds;
    for (int i = 0; i < iRounds; ++i) {
        if (!StopRound(w, rounds)) {
            std::fprintf(stderr, "round %d: the printing loop did not start or stop\n", i);
            return 1;
        }
    }
    const double dMessage = LongMessageStall(iWindow, w, true);
    const double dUnbroken = LongMessageStall(iWindow, w, false);
    const double dCheck = LongScriptStall(w);
    const uWaitStall waitWords = LongWaitStall(w, true);
    const uWaitStall waitUnbroken = LongWaitStall(w, false);

    const GuiStall::uSpread stop = GuiStall::Spread(rounds.mStop);
    const GuiStall::uSpread posted = GuiStall::Spread(rounds.mPosted);
    std::printf("stop click handled after %.1f ms (max %.1f ms) during a printing loop\n", stop.dMedian, stop.dMax);
    std::printf("posted call delay %.1f ms (max %.1f ms) during a printing loop\n", posted.dMedian, posted.dMax);
    std::printf("longest GUI stall %.1f ms for a 1 MB message (%.1f ms without a blank)\n", dMessage, dUnbroken);
    std::printf("longest GUI stall %.1f ms for checking a script of 100,000 lines\n", dCheck);
    std::printf("function wait msg with 1 MB, run until it waits: longest GUI stall %.1f ms without a blank, %.1f ms "
                "with words (%.1fx)\n",
                waitUnbroken.dRun, waitWords.dRun, waitUnbroken.dRun / std::max(waitWords.dRun, 1.0));
    std::printf("check of that script: longest GUI stall %.1f ms without a blank, %.1f ms with words (%.1fx)\n",
                waitUnbroken.dCheck, waitWords.dCheck, waitUnbroken.dCheck / std::max(waitWords.dCheck, 1.0));

    EventHub::PostEvent(EventCloseWindowRequest, iWindow);
    Linger(300);
    WindowLog::Close(1);
    Main::CloseConfig();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
