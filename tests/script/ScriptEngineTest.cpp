// The interpreter thread with hand-built task lists and the fake instrument core.
#include "ScriptEngineFixture.h"
#include "ScriptTestSupport.h"

#include "common/EventData.h"
#include "instrument/TaskRecords.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "script/ScriptThread.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <thread>

using namespace InstrumentScript;
using ScriptTest::FakeCore;

namespace {

const std::string Separator =
    "- - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - ";

struct Builder {
    std::shared_ptr<uScriptProgram> p = std::make_shared<uScriptProgram>();
    uScriptTask& Add(eScriptTaskType eType, std::int64_t iLine, const std::string& sText, bool fExecute = true) {
        uScriptTask& task = p->mTasks.emplace_back();
        task.eTaskType = eType;
        task.eLineSource = LineSourceScript;
        task.iLine = iLine;
        task.fParsed = 1;
        task.Execute = fExecute ? 1 : 0;
        if (!sText.empty()) p->mScriptLines.push_back({LineSourceScript, sText, iLine, 1});
        return task;
    }
    uScriptTask& Label(std::int64_t iLine, const std::string& sName) {
        uScriptTask& task = Add(eScriptTaskType::Label, iLine, ":" + sName, false);
        task.label->Name = sName;
        return task;
    }
    uScriptTask& Goto(std::int64_t iLine, const std::string& sName) {
        uScriptTask& task = Add(eScriptTaskType::Goto, iLine, "goto " + sName);
        task.jump->Name = sName;
        return task;
    }
    std::shared_ptr<uScriptProgram> Done() {
        IndexProgram(*p);
        return p;
    }
};

// Executors for the tests, installed in the dispatch table in place of ones not built here.
std::atomic<int> iSlowCalls{0};
std::latch* pRelease = nullptr;
InstrumentObject pTestInstrument;

bool SlowExecutor(uScriptThread&, uScriptTask&, std::string&) {
    ++iSlowCalls;
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    return true;
}

bool BlockingExecutor(uScriptThread&, uScriptTask&, std::string&) {
    if (pRelease) pRelease->wait(); // ignores every stop request
    return true;
}

// Held at the gate when there is one, so that a test can act while the executor runs.
std::latch* pScpiGate = nullptr;

bool ScpiExecutor(uScriptThread& thread, uScriptTask&, std::string& sError) {
    if (pScpiGate) pScpiGate->wait();
    uTaskScpiCommand command;
    command.sCommand = "*IDN?";
    command.fRequestData = 1;
    return QueueAwaitedTask(thread, *pTestInstrument, command, InstrumentTaskScpiCommand, sError);
}

bool SelfReportingExecutor(uScriptThread& thread, uScriptTask& task, std::string&) {
    PostScriptError(thread, task, "TaskInstrumentSelect", "The instrument does not exist.");
    return false;
}

bool SilentFailure(uScriptThread&, uScriptTask&, std::string&) { return false; }

// A real sleeping executor: waits script time that the default environment really waits.
bool SleepExecutor(uScriptThread& thread, uScriptTask&, std::string&) { return SleepMilliseconds(thread, 60000); }

class ScriptEngine : public ScriptTest::EngineFixture {
  protected:
    void TearDown() override {
        EngineFixture::TearDown();
        pTestInstrument.reset();
    }
};

TEST_F(ScriptEngine, AnEmptyListFinishesAtOnce) {
    Run(std::make_shared<uScriptProgram>());
    ASSERT_TRUE(collector.WaitFor(ScriptMessageFinished));
    ASSERT_TRUE(collector.WaitForText("Thread - Warte auf das nächste Skript im Thread."));
    EXPECT_EQ(collector.Count(ScriptMessageError), 0u);
    // The thread sleeps again: a second Run runs the list again.
    std::string sError;
    ASSERT_TRUE(RunScript(pInstance, sError));
    EXPECT_TRUE(collector.WaitFor(ScriptMessageFinished, 2));
}

TEST_F(ScriptEngine, OneTaskPostsItsMessagesInOrder) {
    Builder b;
    b.Label(1, "top");
    uScriptTask& jump = b.Goto(2, "end");
    (void)jump;
    b.Label(3, "end");
    Run(b.Done());
    ASSERT_TRUE(collector.WaitFor(ScriptMessageFinished));
    const auto m = collector.Messages();
    ASSERT_GE(m.size(), 6u);
    EXPECT_EQ(m[0].eType, ScriptMessageStatus);
    EXPECT_EQ(m[0].sText, "Script line: 2 - goto end");
    EXPECT_EQ(m[1].sText, Separator);
    EXPECT_EQ(m[2].sText, "Skriptzeile 2 goto end");
    EXPECT_EQ(m[3].sText, "Skriptzeile 2 Thread - Taskposition in Liste: 1");
    EXPECT_EQ(m[4].sText, "Skriptzeile 2 TaskGoto - Es wird zum Sprungziel gesprungen: end - Skriptzeile 3");
    EXPECT_EQ(m[5].eType, ScriptMessageFinished);
}

TEST_F(ScriptEngine, TheLinesQuotingTheScriptLineShowItsControlBytesEscaped) {
    Builder b;
    b.Goto(1, "end");
    b.p->mScriptLines.back().sText = std::string("goto end\0\x1b\x7f", 11);
    b.Label(2, "end");
    Run(b.Done());
    ASSERT_TRUE(collector.WaitFor(ScriptMessageFinished));
    const auto m = collector.Messages();
    ASSERT_GE(m.size(), 3u);
    EXPECT_EQ(m[0].sText, "Script line: 1 - goto end\\x00\\x1B\\x7F");
    EXPECT_EQ(m[2].sText, "Skriptzeile 1 goto end\\x00\\x1B\\x7F");
}

TEST_F(ScriptEngine, ControlFlowFollowsTheLastComparison) {
    // 1 goto skip / 2 goto never (skipped) / 3 :skip / 4 true -> 5 goto a (taken with the
    // comparison set) / 6 :a / 7 false -> 8 goto b (skipped) / 9 :b
    Builder b;
    b.Goto(1, "skip");
    b.Goto(2, "never");
    b.Label(3, "skip");
    uScriptTask& isTrue = b.Add(eScriptTaskType::True, 4, "true goto a");
    uScriptTask& jumpA = b.Goto(5, "a");
    jumpA.Execute = 1;
    b.Label(6, "a");
    uScriptTask& isFalse = b.Add(eScriptTaskType::False, 7, "false goto b");
    uScriptTask& jumpB = b.Goto(8, "b");
    b.Label(9, "b");
    b.Label(10, "never");
    isTrue.pInstructionAddress = &jumpA;
    isFalse.pInstructionAddress = &jumpB;
    auto pProgram = b.Done();
    Run(pProgram);
    ASSERT_TRUE(collector.WaitFor(ScriptMessageFinished));
    // fLastCompare is 0: true skips its instruction, false takes it.
    EXPECT_TRUE(HasOutput("Skriptzeile 4 TaskTrue - Der letzte Vergleich ergab: False - die nächste Anweisung ist "
                          "Skriptzeile 6"));
    EXPECT_TRUE(HasOutput("Skriptzeile 7 TaskFalse - Der letzte Vergleich ergab: False - die nächste Anweisung ist "
                          "Skriptzeile 8"));
    EXPECT_TRUE(HasOutput("Skriptzeile 8 TaskGoto - Es wird zum Sprungziel gesprungen: b - Skriptzeile 9"));
    EXPECT_FALSE(HasOutput("Skriptzeile 2 goto never"));
    EXPECT_FALSE(HasOutput("Skriptzeile 5 goto a"));
    EXPECT_EQ(collector.Count(ScriptMessageError), 0u);
}

TEST_F(ScriptEngine, ASkippedLastInstructionEndsTheListWithoutError) {
    Builder b;
    uScriptTask& isTrue = b.Add(eScriptTaskType::True, 1, "true goto x");
    uScriptTask& jump = b.Goto(2, "x");
    b.Label(3, "x");
    // The goto is the last executed task: put the label before it.
    b.p->mTasks.splice(b.p->mTasks.begin(), b.p->mTasks, std::prev(b.p->mTasks.end()));
    isTrue.pInstructionAddress = &jump;
    Run(b.Done());
    ASSERT_TRUE(collector.WaitFor(ScriptMessageFinished));
    EXPECT_TRUE(HasOutput("Skriptzeile 1 TaskTrue - Der letzte Vergleich ergab: False - die nächste Anweisung wird "
                          "ausgeführt."));
    EXPECT_TRUE(HasOutput("Skriptzeile 1 Thread - Beim Vergleich mit True wurde das Ende der Liste erreicht."));
    EXPECT_EQ(collector.Count(ScriptMessageError), 0u);
}

TEST_F(ScriptEngine, ViewAndUnbuiltExecutorsEndTheRunWithTheTaskType) {
    Builder b;
    b.Add(eScriptTaskType::FunctionView, 4, "function view");
    Run(b.Done());
    ASSERT_TRUE(collector.WaitFor(ScriptMessageError));
    EXPECT_EQ(collector.Texts(ScriptMessageError).front(),
              "InstrumentScript::Thread: Der Task-Typ ist unbekannt. *uTask\\eTaskType = 27");
    EXPECT_TRUE(collector.WaitForText("Thread - Warte auf das nächste Skript im Thread."));
    EXPECT_EQ(collector.Count(ScriptMessageFinished), 0u);
}

TEST_F(ScriptEngine, AGotoWithoutItsLabelFailsWithTheThreadsLine) {
    Builder b;
    b.Goto(3, "nowhere");
    Run(b.Done());
    ASSERT_TRUE(collector.WaitFor(ScriptMessageError));
    EXPECT_TRUE(HasOutput("Skriptzeile 3 Thread - Fehler beim Sprung zu dem Goto-Ziel bzw. Label."));
    EXPECT_EQ(collector.Texts(ScriptMessageError),
              std::vector<std::string>{"Script error: Skriptzeile 3 Thread - Fehler beim Sprung zu dem Goto-Ziel bzw. Label."});
}

TEST_F(ScriptEngine, AnExecutorsOwnErrorIsNotReplacedByAnEmptyOne) {
    Replace(eScriptTaskType::InstrumentSelect, SelfReportingExecutor);
    Builder b;
    b.Add(eScriptTaskType::InstrumentSelect, 5, "instrument select scope");
    Run(b.Done());
    ASSERT_TRUE(collector.WaitForText("Thread - Warte auf das nächste Skript im Thread."));
    EXPECT_EQ(collector.Texts(ScriptMessageError),
              std::vector<std::string>{
                  "Script error: Skriptzeile 5 TaskInstrumentSelect - The instrument does not exist."});
    EXPECT_TRUE(HasOutput("Skriptzeile 5 Thread - Fehler beim Setzen des aktuellen Instruments."));
}

TEST_F(ScriptEngine, ASilentFailureStillReportsAnError) {
    Replace(eScriptTaskType::InstrumentSelect, SilentFailure);
    Builder b;
    b.Add(eScriptTaskType::InstrumentSelect, 6, "instrument select scope");
    Run(b.Done());
    ASSERT_TRUE(collector.WaitFor(ScriptMessageError));
    EXPECT_EQ(collector.Texts(ScriptMessageError).front(),
              "Script error: Skriptzeile 6 Thread - Fehler beim Setzen des aktuellen Instruments.");
}

class ScriptInstrumentWait : public ScriptEngine {
  protected:
    void SetUp() override {
        ScriptEngine::SetUp();
        pTestInstrument = seams.Core().NewObject();
        Replace(eScriptTaskType::FunctionScpi, ScpiExecutor);
        Builder b;
        b.Add(eScriptTaskType::FunctionScpi, 1, "v function scpi read *IDN?");
        uScriptTask& inst = b.Add(eScriptTaskType::Instrument, 0, "", false);
        inst.instrument->pInstrument = pTestInstrument;
        b.Label(2, "after");
        b.Goto(3, "done");
        b.Label(4, "done");
        pProgram = b.Done();
    }
    std::shared_ptr<uScriptProgram> pProgram;
};

TEST_F(ScriptInstrumentWait, TheResultWakesTheThread) {
    seams.Core().SetAnswer(InstrumentTaskScpiCommand, FakeCore::eAnswer::Late, 50);
    Run(pProgram);
    ASSERT_TRUE(collector.WaitFor(ScriptMessageFinished));
    EXPECT_TRUE(HasOutput("Skriptzeile 1 Thread - Warte auf die Ausführung des SCPI-Kommandos."));
    EXPECT_TRUE(HasOutput("Thread - Pausiere den Thread."));
    EXPECT_TRUE(HasOutput("Skriptzeile 3 TaskGoto - Es wird zum Sprungziel gesprungen: done - Skriptzeile 4"));
    const auto received = seams.Core().Received(*pTestInstrument);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_NE(received[0].iWindow, collector.Window()); // the run's own route, not the window
}

TEST_F(ScriptInstrumentWait, AnErrorResultWaitsForRunAndGoesOnWithTheNextTask) {
    seams.Core().SetErrorText("Timeout while reading.");
    seams.Core().SetAnswer(InstrumentTaskScpiCommand, FakeCore::eAnswer::Error);
    Run(pProgram);
    ASSERT_TRUE(collector.WaitFor(ScriptMessageError));
    EXPECT_EQ(collector.Texts(ScriptMessageError).front(), "Script error: Skriptzeile 1 Task - Timeout while reading.");
    EXPECT_FALSE(ScriptTest::PumpUntil([&] { return HasOutput("Skriptzeile 3 goto done"); }, 200));
    std::string sError;
    ASSERT_TRUE(RunScript(pInstance, sError));
    ASSERT_TRUE(collector.WaitFor(ScriptMessageFinished));
    EXPECT_TRUE(HasOutput("Skriptzeile 3 goto done"));
}

TEST_F(ScriptInstrumentWait, RunDuringTheWaitOnlyWithdrawsAPause) {
    seams.Core().SetAnswer(InstrumentTaskScpiCommand, FakeCore::eAnswer::Never);
    Run(pProgram);
    ASSERT_TRUE(collector.WaitForText("Skriptzeile 1 Thread - Warte auf die Ausführung des SCPI-Kommandos."));
    std::string sError;
    ASSERT_TRUE(PauseScript(pInstance, sError));
    ASSERT_TRUE(RunScript(pInstance, sError));
    EXPECT_FALSE(ScriptTest::PumpUntil([&] { return HasOutput("Skriptzeile 3 goto done"); }, 200));
    // A result with another task number is not the awaited one.
    const auto received = seams.Core().Received(*pTestInstrument);
    ASSERT_EQ(received.size(), 1u);
    seams.Core().PostResult(*pTestInstrument, received[0].iWindow, InstrumentTaskScpiCommand,
                            received[0].iTaskNumber + 100);
    EXPECT_FALSE(ScriptTest::PumpUntil([&] { return HasOutput("Skriptzeile 3 goto done"); }, 200));
    seams.Core().PostResult(*pTestInstrument, received[0].iWindow, InstrumentTaskScpiCommand, received[0].iTaskNumber);
    ASSERT_TRUE(collector.WaitFor(ScriptMessageFinished));
    // The withdrawn pause does not stop the run after the next task.
    const auto mOutputs = Outputs();
    EXPECT_EQ(std::count(mOutputs.begin(), mOutputs.end(), std::string("Thread - Pausiere den Thread.")), 1);
}

// Pause pressed while the instrument task is still being queued: the run sleeps for its result
// and then for the user, and one Run goes on. When the instrument reports an error instead,
// the one Run that answers it answers the pause too.
TEST_F(ScriptInstrumentWait, APauseDuringTheInstrumentTaskHoldsTheRunAfterItsResult) {
    for (const bool fError : {false, true}) {
        SCOPED_TRACE(fError ? "error result" : "result");
        std::latch gate(1);
        pScpiGate = &gate;
        seams.Core().SetAnswer(InstrumentTaskScpiCommand, FakeCore::eAnswer::Never);
        const std::size_t iBefore = seams.Core().Received(*pTestInstrument).size();
        collector.Clear();
        Run(pProgram);
        ASSERT_TRUE(collector.WaitForText("Skriptzeile 1 Thread - Taskposition in Liste: 0"));
        std::string sError;
        ASSERT_TRUE(PauseScript(pInstance, sError));
        gate.count_down();
        ASSERT_TRUE(collector.WaitForText("Skriptzeile 1 Thread - Warte auf die Ausführung des SCPI-Kommandos."));
        pScpiGate = nullptr;
        ASSERT_TRUE(ScriptTest::PumpUntil(
            [&] { return seams.Core().Received(*pTestInstrument).size() == iBefore + 1; }));
        const FakeCore::uReceived sent = seams.Core().Received(*pTestInstrument).back();
        seams.Core().PostResult(*pTestInstrument, sent.iWindow,
                                fError ? InstrumentTaskError : InstrumentTaskScpiCommand, sent.iTaskNumber);
        if (fError) {
            ASSERT_TRUE(collector.WaitFor(ScriptMessageError));
        }
        auto pauses = [&] {
            const auto mOutputs = Outputs();
            return std::count(mOutputs.begin(), mOutputs.end(), std::string("Thread - Pausiere den Thread."));
        };
        if (!fError) {
            ASSERT_TRUE(ScriptTest::PumpUntil([&] { return pauses() == 2; }));
        }
        EXPECT_FALSE(ScriptTest::PumpUntil([&] { return HasOutput("Skriptzeile 3 goto done"); }, 200));
        ASSERT_TRUE(RunScript(pInstance, sError));
        ASSERT_TRUE(collector.WaitFor(ScriptMessageFinished));
        EXPECT_EQ(pauses(), fError ? 1 : 2);
        ASSERT_TRUE(collector.WaitForText("Thread - Warte auf das nächste Skript im Thread."));
    }
}

TEST_F(ScriptInstrumentWait, StopCancelsEveryDeclaredInstrumentAndDropsTheLateResult) {
    seams.Core().SetAnswer(InstrumentTaskScpiCommand, FakeCore::eAnswer::Never);
    Run(pProgram);
    ASSERT_TRUE(collector.WaitForText("Skriptzeile 1 Thread - Warte auf die Ausführung des SCPI-Kommandos."));
    std::string sError;
    ASSERT_TRUE(StopScript(pInstance, sError));
    EXPECT_FALSE(ThreadRunning(*pInstance));
    // The thread releases them on its way out.
    ASSERT_TRUE(ScriptTest::PumpUntil([&] { return seams.Core().Received(*pTestInstrument).size() >= 4; }));
    const auto received = seams.Core().Received(*pTestInstrument);
    ASSERT_EQ(received.size(), 4u);
    EXPECT_EQ(received[1].eTaskType, InstrumentTaskCancel);
    EXPECT_EQ(received[1].fAbort, 1);
    EXPECT_EQ(received[1].fClearQueue, 0);
    EXPECT_EQ(received[2].eTaskType, InstrumentTaskDisconnect);
    EXPECT_EQ(received[3].eTaskType, InstrumentTaskCancel);
    EXPECT_EQ(received[3].fAbort, 0);
    EXPECT_EQ(received[3].fClearQueue, 1);
    for (std::size_t i = 1; i < 4; ++i) EXPECT_EQ(received[i].iWindow, WindowNobody);
    // The result that comes after the stop reaches nobody.
    const std::size_t iBefore = collector.Messages().size();
    seams.Core().PostResult(*pTestInstrument, received[0].iWindow, InstrumentTaskScpiCommand, received[0].iTaskNumber);
    EventHub::Pump();
    EXPECT_TRUE(collector.WaitForText(" Thread - Der Thread ist beendet."));
    EXPECT_EQ(collector.Count(ScriptMessageFinished), 0u);
    EXPECT_LE(collector.Messages().size(), iBefore + 2);
}

// Stopped in a step that pays no heed to the stop and run again at once: the stopped run's
// release, queued when that step ends, names its own run, never the new one, whose tasks it
// would cancel and whose connect it would give back.
TEST_F(ScriptInstrumentWait, AStoppedRunsLateReleaseNamesItsOwnRunNotTheNextOne) {
    std::latch release(1);
    pRelease = &release;
    Replace(eScriptTaskType::FunctionSave, BlockingExecutor);
    Builder b;
    b.Add(eScriptTaskType::FunctionScpi, 1, "v function scpi read *IDN?");
    b.Add(eScriptTaskType::Instrument, 0, "", false).instrument->pInstrument = pTestInstrument;
    b.Add(eScriptTaskType::FunctionSave, 2, "function save");
    Run(b.Done());
    ASSERT_TRUE(collector.WaitForText("Skriptzeile 2 Thread - Taskposition in Liste: 2"));
    std::string sError;
    ASSERT_TRUE(StopScript(pInstance, sError));
    seams.Core().SetAnswer(InstrumentTaskScpiCommand, FakeCore::eAnswer::Never);
    Run(pProgram);
    const auto received = [&] { return seams.Core().Received(*pTestInstrument); };
    ASSERT_TRUE(ScriptTest::PumpUntil([&] { return received().size() == 2; }));
    release.count_down();
    ASSERT_TRUE(ScriptTest::PumpUntil([&] { return received().size() >= 5; }));
    pRelease = nullptr;
    const auto tasks = received();
    ASSERT_NE(tasks[0].iOwner, tasks[1].iOwner);
    for (std::size_t i = 2; i < 5; ++i) EXPECT_EQ(tasks[i].iOwner, tasks[0].iOwner) << i;
}

TEST_F(ScriptEngine, PauseDuringASlowExecutorPausesAfterIt) {
    Replace(eScriptTaskType::FunctionBeep, SlowExecutor);
    Builder b;
    b.Add(eScriptTaskType::FunctionBeep, 1, "function beep");
    b.Add(eScriptTaskType::FunctionBeep, 2, "function beep");
    iSlowCalls = 0;
    Run(b.Done());
    ASSERT_TRUE(collector.WaitForText("Skriptzeile 1 Thread - Taskposition in Liste: 0"));
    std::string sError;
    ASSERT_TRUE(PauseScript(pInstance, sError));
    ASSERT_TRUE(collector.WaitForText("Thread - Pausiere den Thread."));
    EXPECT_EQ(iSlowCalls.load(), 1);
    EXPECT_FALSE(HasOutput("Skriptzeile 2 function beep"));
    ASSERT_TRUE(RunScript(pInstance, sError));
    ASSERT_TRUE(collector.WaitFor(ScriptMessageFinished));
    EXPECT_EQ(iSlowCalls.load(), 2);
}

TEST_F(ScriptEngine, PauseWhileIdlePausesAfterTheFirstTask) {
    std::string sError;
    ASSERT_TRUE(PauseScript(pInstance, sError));
    Builder b;
    b.Goto(1, "a");
    b.Label(2, "a");
    b.Goto(3, "b");
    b.Label(4, "b");
    Run(b.Done());
    ASSERT_TRUE(collector.WaitForText("Thread - Pausiere den Thread."));
    EXPECT_FALSE(ScriptTest::PumpUntil([&] { return HasOutput("Skriptzeile 3 goto b"); }, 100));
    ASSERT_TRUE(RunScript(pInstance, sError));
    ASSERT_TRUE(collector.WaitFor(ScriptMessageFinished));
}

// Pause asks the thread to reset the request and sleep after its task; Stop marks the instance
// and the thread at once. Hammered in every order, the thread never turns a stop back into
// "running": while a thread that was told to stop is still the instance's, the state stays
// Stop (watched under the module mutex from a thread of its own). Every stop ends its thread,
// and the pause asked before it does not reach the next run.
TEST_F(ScriptEngine, AStopRacingThePauseResetIsNeverOverwritten) {
    Builder loop;
    loop.Label(1, "a");
    loop.Goto(2, "a");
    const std::shared_ptr<uScriptProgram> pLoop = loop.Done();
    std::atomic<bool> fDone{false};
    std::atomic<int> iStopsSeen{0}, iOverwritten{0};
    std::thread watcher([&] {
        while (!fDone) {
            {
                std::lock_guard lock(ModuleMutex());
                if (pInstance->pThread && pInstance->pThread->fStop) {
                    ++iStopsSeen;
                    if (pInstance->eState != eScriptState::Stop) ++iOverwritten;
                }
            }
            std::this_thread::yield();
        }
    });
    std::string sError;
    for (int i = 0; i < 600; ++i) {
        Run(pLoop);
        // One turn of delivery at a time keeps the loop's messages below the flood bound, so
        // the thread keeps passing its pause reset.
        for (int k = 0; k < i % 5; ++k) {
            QCoreApplication::processEvents();
            PauseScript(pInstance, sError);
            QCoreApplication::processEvents();
            RunScript(pInstance, sError);
        }
        QCoreApplication::processEvents();
        PauseScript(pInstance, sError);
        StopScript(pInstance, sError);
        EXPECT_FALSE(ThreadRunning(*pInstance)) << i;
        EventHub::Pump();
        collector.Clear();
    }
    fDone = true;
    watcher.join();
    EXPECT_EQ(iOverwritten.load(), 0) << "of " << iStopsSeen.load() << " looks at a stop under way";

    Builder once;
    once.Goto(1, "b");
    once.Label(2, "b");
    Run(once.Done());
    ASSERT_TRUE(collector.WaitFor(ScriptMessageFinished));
    EXPECT_FALSE(HasOutput("Thread - Pausiere den Thread."));
}

TEST_F(ScriptEngine, StopEndsAnEngineSleepAtOnce) {
    Replace(eScriptTaskType::FunctionSave, SleepExecutor);
    InstrumentScript::SetEnvironment(nullptr); // real time: a minute's sleep
    Builder b;
    b.Add(eScriptTaskType::FunctionSave, 1, "function save");
    Run(b.Done());
    ASSERT_TRUE(collector.WaitForText("Skriptzeile 1 Thread - Taskposition in Liste: 0"));
    const auto start = std::chrono::steady_clock::now();
    std::string sError;
    StopScript(pInstance, sError);
    EXPECT_FALSE(ThreadRunning(*pInstance));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(collector.WaitForText(" Thread - Der Thread ist beendet."));
}

TEST_F(ScriptEngine, AThreadPastTheStopBoundIsLeftToEndAndItsInstanceLives) {
    std::latch release(1);
    pRelease = &release;
    Replace(eScriptTaskType::FunctionSave, BlockingExecutor);
    Builder b;
    b.Add(eScriptTaskType::FunctionSave, 1, "function save");
    b.Goto(2, "x");
    b.Label(3, "x");
    Run(b.Done());
    ASSERT_TRUE(collector.WaitForText("Skriptzeile 1 Thread - Taskposition in Liste: 0"));
    std::weak_ptr<uScriptInstance> pWeak = pInstance;
    std::string sError;
    EXPECT_TRUE(DeleteInstance(pInstance, sError)) << sError;
    pInstance.reset();
    EXPECT_FALSE(pWeak.expired()); // the thread still holds it
    release.count_down();
    EXPECT_TRUE(collector.WaitForText(" Thread - Der Thread ist beendet."));
    EXPECT_FALSE(HasOutput("Skriptzeile 2 goto x")); // it saw the stop after its task
    EXPECT_TRUE(ScriptTest::PumpUntil([&] { return pWeak.expired(); }));
    pRelease = nullptr;
}

TEST_F(ScriptEngine, AGotoLoopCannotFloodTheQueueAndStopEndsIt) {
    Builder b;
    b.Label(1, "loop");
    b.Goto(2, "loop");
    Run(b.Done());
    // Nobody delivers: the thread stops at the bound.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (EventHub::Pending() < static_cast<std::size_t>(MaxUndeliveredMessages) &&
           std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_LE(EventHub::Pending(), static_cast<std::size_t>(MaxUndeliveredMessages) + 1);
    std::string sError;
    StopScript(pInstance, sError);
    EXPECT_FALSE(ThreadRunning(*pInstance));
}

TEST_F(ScriptEngine, SetScriptRunsTheScriptTaskWithoutFinishing) {
    std::string sError;
    ASSERT_TRUE(SetScript(pInstance, "goto x", "", sError));
    ASSERT_TRUE(collector.WaitForText("Thread - Warte auf das nächste Skript im Thread."));
    EXPECT_TRUE(HasOutput("Skriptzeile 0 Thread - Taskposition in Liste: 0"));
    EXPECT_EQ(collector.Count(ScriptMessageStatus), 0u); // the Script task has no line
    EXPECT_EQ(collector.Count(ScriptMessageFinished), 0u);
}

TEST(ScriptInstances, DeletingAnUnknownInstanceNamesItsAddress) {
    ScriptTest::StartEngine();
    std::string sError;
    auto pInstance = NewInstance(WindowNobody, sError);
    ASSERT_TRUE(DeleteInstance(pInstance, sError));
    EXPECT_FALSE(DeleteInstance(pInstance, sError));
    EXPECT_EQ(sError.rfind("InstrumentScript::Destructor: This instance does not exist. Instance number = $", 0), 0u);
    EXPECT_FALSE(RunScript(nullptr, sError));
    EXPECT_EQ(sError, "InstrumentScript::RunScript: The pointer to the instance is zero.");
}

TEST(ScriptVariables, ResetAndFreeKeepScalarValues) {
    uScriptProgram program;
    auto add = [&](eVariableType eType) -> uScriptTask& {
        uScriptTask& t = program.mTasks.emplace_back();
        t.eTaskType = eScriptTaskType::Variable;
        t.variable->Type = eType;
        return t;
    };
    uScriptTask& i = add(eVariableType::Integer);
    i.variable->Integer = 42;
    uScriptTask& s = add(eVariableType::String);
    s.variable->String = "kept";
    uScriptTask& d = add(eVariableType::Data);
    d.variable->Data = DataBuffer::FromText("Hello");
    uScriptTask& img = add(eVariableType::Image);
    img.variable->Image = QImage(4, 4, QImage::Format_RGB32);
    uScriptTask& w = add(eVariableType::Waveform);
    w.variable->Waveform = std::make_unique<uWaveformData>();
    FreeVariableMemory(program);
    EXPECT_EQ(i.variable->Integer, 42);
    EXPECT_EQ(s.variable->String, "kept");
    EXPECT_FALSE(d.variable->Data.allocated());
    EXPECT_TRUE(img.variable->Image.isNull());
    EXPECT_FALSE(w.variable->Waveform);
    ResetVariable(i);
    EXPECT_EQ(i.variable->Integer, 0);
}

} // namespace
