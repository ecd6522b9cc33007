// The fixture of the tests that run task lists on a real interpreter thread: a fresh event hub,
// the fixed environment and fake core of the test seams, a collector of the engine's messages
// and one instance; executors a test puts into the dispatch table are put back afterwards.
#pragma once

#include "ScriptTestSupport.h"

#include "platform/BackgroundThreads.h"
#include "script/ScriptParser.h"
#include "script/ScriptThread.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <chrono>
#include <fcntl.h>
#include <memory>
#include <spawn.h>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>
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
// It is spawned, not a QProcess: Qt runs its child's first steps in this process's memory
// (vfork), where the thread sanitizer takes them for this thread's and then misses its locks.
class LockHolder {
  public:
    explicit LockHolder(const std::string& sFile) {
        int in[2] = {-1, -1}, out[2] = {-1, -1};
        EXPECT_TRUE(::pipe2(in, O_CLOEXEC) == 0 && ::pipe2(out, O_CLOEXEC) == 0);
        posix_spawn_file_actions_t actions;
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        ::posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        const char* argv[] = {"flock",       "-o",   sFile.c_str(), "sh", "-c", "echo; cat >> \"$0\"",
                              sFile.c_str(), nullptr};
        EXPECT_EQ(::posix_spawnp(&pid, "flock", &actions, nullptr, const_cast<char**>(argv), environ), 0);
        ::posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        iInput = in[1];
        char c = 0;
        EXPECT_EQ(::read(out[0], &c, 1), 1) << "flock does not hold the lock";
        ::close(out[0]);
    }
    ~LockHolder() { LetGo(); }
    // Adds the text and lets go; true when it was added.
    bool Add(std::string_view s) { return ::write(iInput, s.data(), s.size()) == std::ssize(s) && LetGo(); }
    bool LetGo() {
        if (iInput >= 0) ::close(std::exchange(iInput, -1));
        int iStatus = -1;
        return pid > 0 && ::waitpid(std::exchange(pid, 0), &iStatus, 0) > 0 && iStatus == 0;
    }

  private:
    pid_t pid = 0;
    int iInput = -1;
};

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
