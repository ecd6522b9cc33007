// Values that would outgrow a variable, and allocation failures on the interpreter thread: the
// growing-text loop ends with a script error and the engine runs the next script; every
// statement that grows a String or Data value is refused at the ceiling and leaves the value as
// it was; an executor whose memory cannot be had ends its run with a script error, and the texts
// it held are let go. The ceiling is lowered for the tests so that they stay small.
#include "ScriptValuesSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

using namespace InstrumentScript;
using ScriptTest::Snapshot;
using ScriptTest::VariableOf;

namespace {

constexpr std::size_t Limit = 64 * 1024;
const std::string TooLarge = "The value would be larger than the 65536 bytes a variable may hold.";

// Without a ceiling the loop would run until memory ends: the 25th jump fails instead (the text
// is 16 MiB then), so that such a fault fails the test with a different error.
std::atomic<int> iJumps{0};
bool CountedGoto(uScriptThread& t, uScriptTask& task, std::string& sError) {
    if (++iJumps > 24) return false;
    return TaskGoto(t, task, sError);
}

class ScriptMemory : public ScriptTest::ValuesFixture {
  protected:
    void SetUp() override {
        ValuesFixture::SetUp();
        seams.Env().SetValueLimit(Limit);
        iJumps = 0;
        Replace(eScriptTaskType::Goto, CountedGoto);
    }
    // The run's error texts; pProgram is the parsed program, which keeps its texts after the run.
    std::vector<std::string> RunKeeping(const std::string& sScript, uScriptProgram*& pProgram,
                                        const std::string& sPresetText = "", std::size_t iPresetData = 0) {
        return RunToEnd(sScript, [&](uScriptProgram& p) {
            pProgram = &p;
            if (!sPresetText.empty()) VariableOf(p, "s").String = sPresetText;
            if (iPresetData > 0) VariableOf(p, "d").Data = DataBuffer::FromText(std::string(iPresetData, 'd'));
        });
    }
};

TEST_F(ScriptMemory, AGrowingTextEndsWithAScriptErrorAndTheNextScriptRuns) {
    uScriptProgram* pProgram = nullptr;
    const auto errors = RunKeeping("string s\ns set x\nlabel a\ns add s\ngoto a", pProgram);
    EXPECT_EQ(errors, std::vector<std::string>{"Script error: Skriptzeile 4 TaskVariableAdd - " + TooLarge});
    ASSERT_TRUE(pProgram);
    EXPECT_EQ(VariableOf(*pProgram, "s").String.size(), Limit); // the last doubling that fitted
    EXPECT_EQ(collector.Count(ScriptMessageFinished), 0u);
    // Each doubling names its value by its first thousand characters only.
    EXPECT_TRUE(HasOutput("Skriptzeile 4 TaskVariableAdd - Interpretierte Variable von string zu string: " +
                          std::string(1000, 'x') + " ..."));
    EXPECT_TRUE(HasOutput("Skriptzeile 4 TaskVariableAdd - Interpretierte Variable von string zu string: " +
                          std::string(512, 'x')));

    EXPECT_TRUE(RunToEnd("integer i\ni set 5\nfunction beep", [](uScriptProgram&) {}).empty());
    EXPECT_EQ(Snapshot()["i"], "5");
}

// Each growing statement at the ceiling: refused on its line with the text unchanged, or, one
// byte below, carried out up to the ceiling exactly.
TEST_F(ScriptMemory, EveryGrowingStatementStopsAtTheCeiling) {
    WriteFile("limit.bin", std::string(Limit, 'f'));
    WriteFile("over.bin", std::string(Limit + 1, 'f'));
    struct uCase {
        const char* sName;
        std::string sStatement;
        std::string sPresetText;
        std::size_t iPresetData;
        const char* sProcedure; // nullptr: succeeds and fills the variable to the ceiling
    };
    const std::string Half(Limit / 2, 'a');
    const std::vector<uCase> cases{
        {"append text", "s add y", std::string(Limit, 'x'), 0, "TaskVariableAdd"},
        {"append text to the ceiling", "s add y", std::string(Limit - 1, 'x'), 0, nullptr},
        {"block header on text", "s add $block", std::string(Limit - 6, 'x'), 0, "TaskVariableAdd"},
        {"block header on text to the ceiling", "s add $block", std::string(Limit - 7, 'x'), 0, nullptr},
        {"append data to itself", "d add d", "", Limit / 2 + 1, "TaskVariableAdd"},
        {"block header on data", "d add $block", "", Limit - 6, "TaskVariableAdd"},
        {"append a data file", "d add $file limit.bin", "", 1, "TaskVariableAdd"},
        {"text file", "s set $file over.bin", "", 0, "TaskVariableSet"},
        {"text file at the ceiling", "s set $file limit.bin", "", 0, nullptr},
        {"data file", "d set $file over.bin", "", 0, "TaskVariableSet"},
        {"replace in text", "s function replace \"a\" \"aa\"", Half + "a", 0, "TaskFunctionReplace"},
        {"replace in text to the ceiling", "s function replace \"a\" \"aa\"", Half, 0, nullptr},
        {"replace in data", "d function replace \"d\" \"dd\"", "", Limit / 2 + 1, "TaskFunctionReplace"},
    };
    for (const uCase& c : cases) {
        SCOPED_TRACE(c.sName);
        uScriptProgram* pProgram = nullptr;
        const auto errors = RunKeeping("string s\ndata d\n" + c.sStatement + "\nfunction beep", pProgram,
                                       c.sPresetText, c.iPresetData);
        ASSERT_TRUE(pProgram);
        const bool fText = c.sStatement[0] == 's';
        if (!c.sProcedure) {
            EXPECT_TRUE(errors.empty()) << errors.front();
            EXPECT_EQ(VariableOf(*pProgram, "s").String.size(), Limit);
            continue;
        }
        EXPECT_EQ(errors, std::vector<std::string>{"Script error: Skriptzeile 3 " + std::string(c.sProcedure) + " - " +
                                                   TooLarge});
        // A text keeps its value after the run (Data is released at every run's end).
        if (fText) {
            EXPECT_TRUE(VariableOf(*pProgram, "s").String == c.sPresetText);
        }
    }
}

// An executor that cannot have its memory: the run ends on its line with a script error, the
// texts are let go, and the engine runs the next script.
template <typename Failure> bool Failing(uScriptThread&, uScriptTask&, std::string&) { throw Failure("test"); }
template <> bool Failing<std::bad_alloc>(uScriptThread&, uScriptTask&, std::string&) { throw std::bad_alloc(); }

TEST_F(ScriptMemory, AnAllocationFailureEndsTheRunAndFreesTheTexts) {
    const std::vector<std::pair<const char*, Executor>> cases{
        {"bad_alloc", Failing<std::bad_alloc>},
        {"length_error", Failing<std::length_error>},
    };
    for (const auto& [sName, executor] : cases) {
        SCOPED_TRACE(sName);
        Replace(eScriptTaskType::VariableAdd, executor);
        uScriptProgram* pProgram = nullptr;
        const auto errors = RunKeeping("string s\ns set abc\ns add d\nfunction beep", pProgram);
        EXPECT_EQ(errors,
                  std::vector<std::string>{"Script error: Skriptzeile 3 Thread - The memory could not be reserved."});
        EXPECT_EQ(collector.Count(ScriptMessageFinished), 0u);
        EXPECT_TRUE(Snapshot().empty()); // the line behind it did not run
        ASSERT_TRUE(pProgram);
        EXPECT_EQ(VariableOf(*pProgram, "s").String, "");

        EXPECT_TRUE(RunToEnd("string s\ns set abc\nfunction beep", [](uScriptProgram&) {}).empty());
        EXPECT_EQ(Snapshot()["s"], "abc");
    }
}

} // namespace
