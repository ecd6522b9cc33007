// Waits, messages, beeps and variables put into texts, run by the interpreter thread: with the
// fixed clock of the test seams, and with the real clock where stop and pause must cut a wait.
#include "ScriptEngineFixture.h"

#include "script/ScriptParser.h"
#include "script/ScriptThread.h"
#include "script/ScriptVariableText.h"

#include <gtest/gtest.h>


#include <chrono>

using namespace InstrumentScript;
using ScriptTest::Parsed;
using ScriptTest::VariableOf;

namespace {

const std::string Paused = " Thread - Pause, warte auf die weitere Ausführung des Skripts.";

// What the replacing test executor made of its task's text.
struct uReplaced {
    std::string sText;
    DataBuffer payload;
};
uReplaced replaced;

// In place of the clipboard executor: the task's save path or SCPI command with its variables.
bool ReplacingExecutor(uScriptThread& thread, uScriptTask& task, std::string&) {
    replaced = {};
    replaced.sText = ReplaceVariablesInText(thread, task, task.save->sFilepath, eReferenceForm::PathDollar,
                                            "TaskFunctionSaveVariable");
    replaced.sText += "|" + ReplaceVariablesInText(thread, task, task.scpi->sCommand, eReferenceForm::Dollar,
                                                   "TaskFunctionScpiVariable", &replaced.payload);
    return true;
}

class ScriptWait : public ScriptTest::EngineFixture {
  protected:
    // The output lines of one script line that come from its executors.
    std::vector<std::string> LinesOf(int iLine) const {
        std::vector<std::string> lines;
        const std::string sPrefix = "Skriptzeile " + std::to_string(iLine) + " Task";
        for (const auto& s : Outputs()) {
            if (s.rfind(sPrefix, 0) == 0) lines.push_back(s);
        }
        return lines;
    }
    bool WaitForPrefix(const std::string& sPrefix, int iMs = 5000) {
        return ScriptTest::PumpUntil(
            [&] {
                for (const auto& s : Outputs()) {
                    if (s.rfind(sPrefix, 0) == 0) return true;
                }
                return false;
            },
            iMs);
    }
};

TEST_F(ScriptWait, AWaitEndsWhenItsTimeHasPassed) {
    const std::int64_t iStart = seams.Env().ElapsedMilliseconds();
    Run(Parsed("function wait 250"));
    ASSERT_TRUE(collector.WaitFor(ScriptMessageFinished));
    EXPECT_EQ(LinesOf(1), std::vector<std::string>{"Skriptzeile 1 TaskFunctionWait - Warte jetzt 250 Millisekunden."});
    EXPECT_EQ(seams.Env().ElapsedMilliseconds() - iStart, 250);
    EXPECT_EQ(collector.Count(ScriptMessageWaitUser), 0u);
}

TEST_F(ScriptWait, AnAbsoluteWaitKeepsItsPeriodInALoop) {
    // Each pass: 500 ms from the end of the last abs wait, 200 of them spent by the other wait.
    auto pProgram = Parsed("label top\nfunction wait abs 500\nfunction wait 200\ngoto top");
    Run(pProgram);
    ASSERT_TRUE(ScriptTest::PumpUntil([&] { return LinesOf(2).size() >= 4; }));
    std::string sError;
    StopScript(pInstance, sError);
    const auto lines = LinesOf(2);
    EXPECT_EQ(lines[0], "Skriptzeile 2 TaskFunctionWait - Warte jetzt noch 500 Millisekunden.");
    for (std::size_t i = 1; i < lines.size(); ++i)
        EXPECT_EQ(lines[i], "Skriptzeile 2 TaskFunctionWait - Warte jetzt noch 300 Millisekunden.");
    // A new parse waits the full time again.
    collector.Clear();
    Run(Parsed("function wait abs 500"));
    ASSERT_TRUE(collector.WaitFor(ScriptMessageFinished));
    EXPECT_EQ(LinesOf(1), std::vector<std::string>{"Skriptzeile 1 TaskFunctionWait - Warte jetzt noch 500 Millisekunden."});
}

TEST_F(ScriptWait, TimeOfDayAndDateWaits) {
    // The fixed clock stands at 2026-12-06 13:14:15.016.
    Run(Parsed("function wait time 10:00:00\nfunction wait time 13:14:20\nfunction wait date 2026-12-06 13:20:00"));
    ASSERT_TRUE(collector.WaitFor(ScriptMessageFinished));
    EXPECT_EQ(LinesOf(1), std::vector<std::string>{"Skriptzeile 1 TaskFunctionWait - Warte jetzt bis 10:00:00."});
    EXPECT_EQ(LinesOf(2), std::vector<std::string>{"Skriptzeile 2 TaskFunctionWait - Warte jetzt bis 13:14:20."});
    EXPECT_EQ(LinesOf(3),
              std::vector<std::string>{"Skriptzeile 3 TaskFunctionWait - Warte jetzt bis 2026-12-06 13:20:00."});
    EXPECT_EQ(seams.Env().LocalTime(), QDateTime(QDate(2026, 12, 6), QTime(13, 20, 0)));
}

TEST_F(ScriptWait, APastTimeOfDayEndsAtOnce) {
    Run(Parsed("function wait time 00:00:01\nfunction wait date 2000-01-01 00:00:00"));
    ASSERT_TRUE(collector.WaitFor(ScriptMessageFinished));
    EXPECT_EQ(seams.Env().LocalTime(), ScriptTest::FixedEnvironment::DefaultTime());
    EXPECT_EQ(seams.Env().ElapsedMilliseconds(), 1000);
}

TEST_F(ScriptWait, ZeroWaitsPauseTheScript) {
    Run(Parsed("function wait 0\nfunction wait abs 0\nfunction wait time 00:00:00\nfunction beep"));
    ASSERT_TRUE(collector.WaitFor(ScriptMessageWaitUser));
    ASSERT_TRUE(collector.WaitForText("Thread - Pausiere den Thread."));
    EXPECT_EQ(collector.Texts(ScriptMessageWaitUser), std::vector<std::string>{""});
    EXPECT_TRUE(LinesOf(1).empty());
    EXPECT_TRUE(collector.WaitForText("Skriptzeile 1" + Paused));
    std::string sError;
    // abs and time pause without a message to the window.
    for (int iLine = 2; iLine <= 3; ++iLine) {
        ASSERT_TRUE(RunScript(pInstance, sError));
        ASSERT_TRUE(collector.WaitForText("Skriptzeile " + std::to_string(iLine) + Paused));
    }
    EXPECT_EQ(collector.Count(ScriptMessageWaitUser), 1u);
    EXPECT_TRUE(seams.Env().Beeps().empty());
    ASSERT_TRUE(RunScript(pInstance, sError));
    ASSERT_TRUE(collector.WaitFor(ScriptMessageFinished));
    EXPECT_EQ(seams.Env().Beeps(), std::vector<std::int64_t>{0});
}

TEST_F(ScriptWait, AMessageShowsTheValuesOfItsVariables) {
    auto pProgram = Parsed("float u\nfloat u1\nfunction wait msg Voltage $U1 V, cost $$5, $u, $x");
    VariableOf(*pProgram, "u1").Float = 3.25;
    VariableOf(*pProgram, "u").Float = 7;
    Run(pProgram);
    ASSERT_TRUE(collector.WaitFor(ScriptMessageWaitUser));
    EXPECT_EQ(collector.Texts(ScriptMessageWaitUser),
              std::vector<std::string>{"Voltage 3.25 V, cost $5, 7, $x"});
    ASSERT_TRUE(collector.WaitForText("Skriptzeile 3" + Paused));
    EXPECT_EQ(LinesOf(3), (std::vector<std::string>{
                              "Skriptzeile 3 TaskReplaceVariable - Die Variable 'u1' wird ersetzt durch: 3.25",
                              "Skriptzeile 3 TaskReplaceVariable - Die Variable 'u' wird ersetzt durch: 7",
                              "Skriptzeile 3 TaskFunctionWait - Nachricht: Voltage $U1 V, cost $$5, $u, $x",
                          }));
}

TEST_F(ScriptWait, TheLongestDeclaredNameWinsAmongThousandsOfDeclarations) {
    // Names that are prefixes of each other, of many lengths, in any case in the text ("$v30000" is
    // v300, which holds 0).
    std::string sScript;
    for (int i = 0; i < 3000; ++i) sScript += "integer v" + std::to_string(i) + "\n";
    auto pProgram = Parsed(sScript + "string v1x\nfunction wait msg $V12x $v1x $v2999z $v30000 $w");
    for (int i : {1, 12, 2999}) VariableOf(*pProgram, "v" + std::to_string(i)).Integer = i;
    VariableOf(*pProgram, "v1x").String = "S";
    Run(pProgram);
    ASSERT_TRUE(collector.WaitFor(ScriptMessageWaitUser));
    EXPECT_EQ(collector.Texts(ScriptMessageWaitUser), std::vector<std::string>{"12x S 2999z 000 $w"});
}

TEST_F(ScriptWait, AnInsertedValueIsNeverSearchedAgain) {
    // A value holding its own reference would otherwise grow without end.
    auto pProgram = Parsed("string s\nboolean b\ninteger i\nfunction wait msg $s$s $b$i $$s $$$s");
    VariableOf(*pProgram, "s").String = "x$s$$";
    VariableOf(*pProgram, "b").Boolean = 1;
    VariableOf(*pProgram, "i").Integer = -12;
    Run(pProgram);
    ASSERT_TRUE(collector.WaitFor(ScriptMessageWaitUser));
    EXPECT_EQ(collector.Texts(ScriptMessageWaitUser), std::vector<std::string>{"x$s$$x$s$$ 1-12 $s $x$s$$"});
}

TEST_F(ScriptWait, PathsAndCommandsUseTheSameRoutine) {
    Replace(eScriptTaskType::FunctionClipboard, ReplacingExecutor);
    auto pProgram = Parsed("string a\nstring ab\ndata d\nfloat f\nab function clipboard");
    VariableOf(*pProgram, "a").String = "A";
    VariableOf(*pProgram, "ab").String = "AB";
    VariableOf(*pProgram, "d").Data = DataBuffer::FromText(std::string("\x01\x02", 2));
    VariableOf(*pProgram, "f").Float = 1234.5;
    uScriptTask& task = pProgram->mTasks.back();
    task.save->sFilepath = "/$ab.txt $a /$x/$f /$$a";
    task.scpi->sCommand = ":DATA $d;$AB";
    Run(pProgram);
    ASSERT_TRUE(collector.WaitFor(ScriptMessageFinished));
    EXPECT_EQ(replaced.sText, "AB.txt $a /$x1234.5 /$$a|:DATA ;AB");
    EXPECT_EQ(std::string(replaced.payload.view()), std::string("\x01\x02", 2));
    EXPECT_EQ(LinesOf(5), (std::vector<std::string>{
                              "Skriptzeile 5 TaskFunctionSaveVariable - Die Variable 'ab' wird ersetzt durch: AB",
                              "Skriptzeile 5 TaskFunctionSaveVariable - Die Variable 'f' wird ersetzt durch: 1234.5",
                              "Skriptzeile 5 TaskFunctionScpiVariable - Die Variable 'd' wird ersetzt durch (max. 16 "
                              "Bytes): 0| 01 02 ",
                              "Skriptzeile 5 TaskFunctionScpiVariable - Die Variable 'ab' wird ersetzt durch: AB",
                          }));
}

TEST_F(ScriptWait, BeepsPassTheirTypeOn) {
    Run(Parsed("function beep error\nfunction beep loud\nfunction beep Question"));
    ASSERT_TRUE(collector.WaitFor(ScriptMessageFinished));
    EXPECT_EQ(LinesOf(1), std::vector<std::string>{"Skriptzeile 1 TaskFunctionBeep - Parameter: 16"});
    EXPECT_EQ(seams.Env().Beeps(), (std::vector<std::int64_t>{16, 0, 32}));
}

// The real clock, or a local time the test moves on while the wait sleeps.
class MovedClock final : public ScriptEnvironment {
  public:
    QDateTime LocalTime() override {
        std::lock_guard lock(mutex);
        return time;
    }
    void Set(const QDateTime& t) {
        std::lock_guard lock(mutex);
        time = t;
    }

  private:
    std::mutex mutex;
    QDateTime time = ScriptTest::FixedEnvironment::DefaultTime();
};

// A clock that stands between two milliseconds and sleeps that end 0.6 ms before their time
// (as a sleep on a coarser clock may): a wait counted in whole milliseconds ends early on it.
class EarlySleeps final : public ScriptEnvironment {
  public:
    std::chrono::nanoseconds ElapsedTime() override {
        std::lock_guard lock(mutex);
        return now;
    }
    std::chrono::milliseconds SleepTime(std::int64_t iMilliseconds) override {
        std::lock_guard lock(mutex);
        if (iMilliseconds > 0) now += std::chrono::milliseconds(iMilliseconds) - std::chrono::microseconds(600);
        return std::chrono::milliseconds(0);
    }

  private:
    std::mutex mutex;
    std::chrono::nanoseconds now = std::chrono::microseconds(1000900);
};

TEST_F(ScriptWait, WaitsNeverEndBeforeTheirTimeOnAClockBetweenMilliseconds) {
    auto pClock = std::make_shared<EarlySleeps>();
    SetEnvironment(pClock);
    using std::chrono::milliseconds;
    // abs keeps its period from the end of its last wait: five periods, then the 30 ms wait.
    const std::pair<const char*, milliseconds> mCases[] = {
        {"function wait 250", milliseconds(250)},
        {"function wait 250\nfunction wait 1\nfunction wait 99", milliseconds(350)},
        {"integer n\nlabel top\nfunction wait abs 100\nfunction wait 30\nn add 1\nn less 5\ntrue goto top",
         milliseconds(530)},
    };
    for (const auto& [sScript, least] : mCases) {
        SCOPED_TRACE(sScript);
        collector.Clear();
        const std::chrono::nanoseconds start = pClock->ElapsedTime();
        Run(Parsed(sScript));
        ASSERT_TRUE(collector.WaitFor(ScriptMessageFinished));
        EXPECT_GE(pClock->ElapsedTime() - start, least);
    }
}

TEST_F(ScriptWait, WaitsOnTheRealClockNeverEndBeforeTheirSum) {
    SetEnvironment(nullptr);
    using std::chrono::milliseconds;
    const std::pair<const char*, milliseconds> mCases[] = {
        {"function wait 250", milliseconds(250)},
        {"function wait 250", milliseconds(250)},
        {"function wait 250", milliseconds(250)},
        {"function wait 100\nfunction wait 70\nfunction wait 80", milliseconds(250)},
    };
    for (const auto& [sScript, least] : mCases) {
        SCOPED_TRACE(sScript);
        collector.Clear();
        auto pProgram = Parsed(sScript);
        const auto start = std::chrono::steady_clock::now();
        Run(pProgram);
        ASSERT_TRUE(collector.WaitFor(ScriptMessageFinished, 1, 10000));
        EXPECT_GE(std::chrono::steady_clock::now() - start, least);
    }
}

// A wait of ten minutes: the thread ends well within the bound only when Stop ends the wait.
TEST_F(ScriptWait, StopEndsARealWaitAtOnce) {
    SetEnvironment(nullptr);
    Run(Parsed("function wait 600000"));
    ASSERT_TRUE(WaitForPrefix("Skriptzeile 1 TaskFunctionWait - Warte jetzt "));
    std::string sError;
    StopScript(pInstance, sError);
    EXPECT_FALSE(ThreadRunning(*pInstance));
    EXPECT_TRUE(collector.WaitForText(" Thread - Der Thread ist beendet.", 60000));
}

// Waits of hours and ten minutes: the script finishes within the bound only when each pause
// ends its wait.
TEST_F(ScriptWait, PauseEndsARealWaitAndRunGoesOnWithTheNextLine) {
    SetEnvironment(nullptr);
    Run(Parsed("function wait time 23:59:59\nfunction wait 600000\nfunction beep"));
    std::string sError;
    for (int iLine = 1; iLine <= 2; ++iLine) {
        const std::string sLine = "Skriptzeile " + std::to_string(iLine);
        ASSERT_TRUE(WaitForPrefix(sLine + " TaskFunctionWait - Warte jetzt "));
        ASSERT_TRUE(PauseScript(pInstance, sError));
        ASSERT_TRUE(collector.WaitForText("Thread - Pausiere den Thread.", 2000));
        EXPECT_FALSE(WaitForPrefix(sLine == "Skriptzeile 1" ? "Skriptzeile 2" : "Skriptzeile 3", 50));
        collector.Clear();
        ASSERT_TRUE(RunScript(pInstance, sError));
    }
    ASSERT_TRUE(collector.WaitFor(ScriptMessageFinished, 1, 60000));
}

TEST_F(ScriptWait, ATimeOfDayWaitLooksAtTheClockEverySecond) {
    auto pClock = std::make_shared<MovedClock>();
    SetEnvironment(pClock);
    Run(Parsed("function wait time 23:00:00"));
    ASSERT_TRUE(WaitForPrefix("Skriptzeile 1 TaskFunctionWait - Warte jetzt bis 23:00:00."));
    // A wait that slept its whole distance to 23:00 would not end for hours; one that looks
    // every second ends long before this bound, also on a loaded machine.
    pClock->Set(QDateTime(QDate(2026, 12, 6), QTime(23, 0, 1)));
    ASSERT_TRUE(collector.WaitFor(ScriptMessageFinished, 1, 10000));
}

} // namespace
