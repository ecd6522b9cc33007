// The fixture of the tests that run task lists on a real interpreter thread: a fresh event hub,
// the fixed environment and fake core of the test seams, a collector of the engine's messages
// and one instance; executors a test puts into the dispatch table are put back afterwards.
#pragma once

#include "ScriptTestSupport.h"

#include "platform/BackgroundThreads.h"
#include "script/ScriptParser.h"
#include "script/ScriptThread.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace ScriptTest {

// The program of a script text that must parse.
inline std::shared_ptr<InstrumentScript::uScriptProgram> Parsed(const std::string& sScript) {
    std::shared_ptr<InstrumentScript::uScriptProgram> pProgram;
    std::string sError;
    EXPECT_TRUE(InstrumentScript::ParseScript(sScript, "", pProgram, sError)) << sError;
    return pProgram;
}

// The value of the program's variable of that name.
inline InstrumentScript::uScriptVariable& VariableOf(InstrumentScript::uScriptProgram& program,
                                                     const std::string& sName) {
    for (InstrumentScript::uScriptTask& task : program.mTasks) {
        if (task.eTaskType == InstrumentScript::eScriptTaskType::Variable && task.variable->Name == sName)
            return *task.variable;
    }
    ADD_FAILURE() << "no variable " << sName;
    static InstrumentScript::uScriptVariable none;
    return none;
}

// Another program (flock(1)) holding the file's lock until its input ends; it adds that input.
inline void HoldLock(QProcess& other, const std::string& sFile) {
    other.start("flock", {"-o", QString::fromStdString(sFile), "sh", "-c", "echo; cat >> \"$0\"", QString::fromStdString(sFile)});
    ASSERT_TRUE(other.waitForReadyRead(30000));
}

class EngineFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string sError;
        pInstance = InstrumentScript::NewInstance(collector.Window(), sError);
        ASSERT_TRUE(pInstance) << sError;
        collector.Attach(pInstance);
    }
    void TearDown() override {
        std::string sError;
        if (pInstance) {
            // The thread releases its instruments through the seams, which end with the test.
            InstrumentScript::StopThread(pInstance, 60000);
            EXPECT_TRUE(InstrumentScript::DeleteInstance(pInstance, sError)) << sError;
        }
        // A thread that a test's own stop let go (past the stop's short wait) still reaches the
        // seams on its way out: it must have ended before they go.
        EXPECT_TRUE(BackgroundThreads::WaitAll(std::chrono::seconds(60)));
        for (auto& [eType, executor] : mReplaced) InstrumentScript::ReplaceExecutor(eType, executor);
    }
    void Replace(InstrumentScript::eScriptTaskType eType, InstrumentScript::Executor executor) {
        mReplaced.emplace_back(eType, InstrumentScript::ReplaceExecutor(eType, executor));
    }
    void Run(std::shared_ptr<InstrumentScript::uScriptProgram> pProgram) {
        ASSERT_TRUE(pProgram);
        InstrumentScript::SetProgram(*pInstance, std::move(pProgram));
        std::string sError;
        ASSERT_TRUE(InstrumentScript::RunScript(pInstance, sError)) << sError;
    }
    std::vector<std::string> Outputs() const { return collector.Texts(InstrumentScript::ScriptMessageOutput); }
    bool HasOutput(const std::string& s) const {
        for (const auto& t : Outputs()) {
            if (t == s) return true;
        }
        return false;
    }

    // A fresh hub before the collector binds its window.
    bool fStarted = (StartEngine(), true);
    QTemporaryDir folder;
    Seams seams{folder.path().toStdString()};
    Collector collector;
    InstrumentScript::ScriptInstance pInstance;
    std::vector<std::pair<InstrumentScript::eScriptTaskType, InstrumentScript::Executor>> mReplaced;
};

} // namespace ScriptTest
