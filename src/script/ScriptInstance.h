// Script engine instances: one per script window, with its program, its interpreter thread and
// the operations the window calls (check, run, pause, stop, delete).
//
// The module mutex guards the instance list, the counters, each instance's eState and program
// pointer, and the shared fields of each thread record (marked below). It is held only around
// those reads and writes and around queueing an awaited instrument task, never across a wait, a
// post or an executor. Lock order: the module mutex, then the instrument core's locks.
#pragma once

#include "instrument/InstrumentObject.h"
#include "platform/EventHub.h"
#include "script/ScriptTask.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace InstrumentScript {

enum class eScriptState : std::int64_t {
    Idle = 0, // a new record; behaves as Running
    Running = 1,
    Pause = 4,
    Stop = 8,
};

// Why the interpreter thread sleeps.
enum class eSleep { None, BeforeRun, User, Result };

// The instrument result a sleeping run waits for.
enum class eAwait { None, Waiting, Arrived, Failed };

struct uAwaitedResult {
    eAwait eState = eAwait::None;
    const uInstrumentObject* pInstrument = nullptr;
    std::int64_t eTaskType = 0;
    std::int64_t iTaskNumber = 0; // compared for SCPI command results only
    uScriptTask* pTask = nullptr; // the task whose variable receives the result
};

struct uScriptInstance;

// One interpreter thread and the state of its runs. A new one is made per StartThread; a thread
// that outlives its stop keeps its record (and the instance) alive until it ends.
struct uScriptThread : std::enable_shared_from_this<uScriptThread> {
    std::shared_ptr<uScriptInstance> pInstance;
    std::thread thread;
    std::int64_t iThreadNumber = 0; // also the run's number in every message the thread posts
    int iRoute = 0; // window number that the instrument core's results of this thread go to
    std::condition_variable cv;

    // Written under the module mutex; long steps also read it without the lock (StopAsked).
    std::atomic<bool> fStop{false};
    // Guarded by the module mutex.
    bool fFinished = false;
    std::int64_t iRunSignals = 0; // Run presses not yet taken by a user or pre-run sleep
    eSleep eSleeping = eSleep::None;
    uAwaitedResult awaited;
    // Instrument events that came while the thread was still at work on the task that awaits
    // them; posted again as soon as it sleeps.
    std::vector<EventHub::uEvent> mHeldBack;
    std::int64_t iUndelivered = 0; // posted messages the hub has not yet delivered or dropped
    std::shared_ptr<uScriptProgram> pProgram; // the program of the current run

    // The interpreter thread's own.
    uScriptTask* pCurrentTask = nullptr;
    uScriptTask* pJumpTask = nullptr;
    bool fJump = false;
    std::int64_t iErrorsPosted = 0;
    InstrumentObject pActiveInstrument;
    uScriptTask* pActiveInstrumentTask = nullptr;
    std::int64_t fLastCompare = 0;
    std::string sParsedText; // the canonical text after a successful parse
};

struct uScriptInstance {
    std::int64_t iInstanceNumber = 0;
    int iWindow = 0; // receives EventScriptMessage and the re-posted transfer status
    // Guarded by the module mutex.
    std::shared_ptr<uScriptProgram> pProgram = std::make_shared<uScriptProgram>();
    std::shared_ptr<uScriptThread> pThread; // the current thread, nullptr when none
    eScriptState eState = eScriptState::Idle;
};

using ScriptInstance = std::shared_ptr<uScriptInstance>;

// The identity of an instance in the events it posts (their object).
std::intptr_t InstanceObject(const uScriptInstance& instance);

std::mutex& ModuleMutex();

ScriptInstance NewInstance(int iWindow, std::string& sError);
ScriptInstance Constructor(int iWindow, std::int64_t iInstanceNumber, std::string& sError);
bool Destructor(const ScriptInstance& pInstance, std::string& sError);

// Stops a run, empties the task list, queues the Script task with both texts and runs it.
bool SetScript(const ScriptInstance& pInstance, const std::string& sScript, const std::string& sConstants,
               std::string& sError);
// Starts the thread when none runs and lets it run (or go on after a pause or a wait).
bool RunScript(const ScriptInstance& pInstance, std::string& sError);
bool PauseScript(const ScriptInstance& pInstance, std::string& sError);
bool StopScript(const ScriptInstance& pInstance, std::string& sError);
bool DeleteInstance(const ScriptInstance& pInstance, std::string& sError);

// A new, empty program takes the old one's place; the old one's values go with it (at once,
// or when a thread that outlived its stop lets it go).
void ClearTasks(uScriptInstance& instance);
// Replaces the instance's program (the parser's result, or a hand-built list in tests).
void SetProgram(uScriptInstance& instance, std::shared_ptr<uScriptProgram> pProgram);

// Starts the interpreter thread, counted among the program's background threads: the exit's
// stop request stops it like Stop.
bool StartThread(const ScriptInstance& pInstance, std::string& sError);
// How long the GUI thread waits for a thread to end when it stops it. A thread that is only
// looping, posting or sleeping ends well within it; one inside a long step (a replace in a
// large text, a save) is let go: the step looks at the stop flag as it goes and returns soon.
inline constexpr int StopWaitMilliseconds = 10;
// Asks the thread to stop and waits for it at most iTimeout ms (0: StopWaitMilliseconds); a
// thread still running after that is left to end by itself, holding what it uses. The thread's
// result route is released at once. Its instruments are released by the thread itself on its
// way out, once its step has returned (ReleaseInstruments).
void StopThread(const ScriptInstance& pInstance, int iTimeout = 0);
// Sets the thread's stop flag and wakes it (any thread).
void RequestStop(uScriptThread& thread);
// Every instrument the program declared that has run: cancel (abort), disconnect, cancel
// (clear queue), with no result events, all of them the run's own (iOwner: its route): the abort
// and the clear touch only its tasks, so a new run or a window on the same instrument goes on.
// The abort comes first, so that a transfer still under way is cut short before the disconnect.
void ReleaseInstruments(const uScriptProgram& program, std::int64_t iOwner);

// The number of the instance's current run (its thread's number), 0 when no thread runs.
std::int64_t CurrentRun(const uScriptInstance& instance);

// Whether a thread of the instance runs.
bool ThreadRunning(const uScriptInstance& instance);

} // namespace InstrumentScript
