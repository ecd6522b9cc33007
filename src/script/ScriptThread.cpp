#include "script/ScriptThread.h"

#include "common/EventData.h"
#include "common/TextRoutines.h"
#include "instrument/TaskRecords.h"
#include "platform/AllocationFailure.h"
#include "platform/ProgramEvents.h"
#include "script/ScriptCapture.h"
#include "script/ScriptEnvironment.h"
#include "script/ScriptFunctionClipboard.h"
#include "script/ScriptFunctionEdit.h"
#include "script/ScriptFunctionSave.h"
#include "script/ScriptInstrument.h"
#include "script/ScriptParser.h"
#include "script/ScriptScpi.h"
#include "script/ScriptText.h"
#include "script/ScriptVariableValues.h"
#include "script/ScriptWait.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <string_view>
#include <variant>

namespace InstrumentScript {
namespace {

thread_local uScriptThread* pThisThread = nullptr;

// What the thread does around a task type's executor.
enum class eAfter { Go, WaitResult, WaitResultWhenConnecting, WaitUserOnFalse };

struct uDispatch {
    Executor executor = nullptr;
    const char* sBefore = nullptr;  // output line before the executor
    const char* sFailure = nullptr; // output line after a failure
    eAfter after = eAfter::Go;
    const char* sWaiting = nullptr; // output line when the thread will sleep
};

// The Script task: parses both texts; the new program replaces the list (the run ends there).
bool TaskScript(uScriptThread& t, uScriptTask& task, std::string& sError) {
    std::shared_ptr<uScriptProgram> pProgram;
    const bool fParsed = ParseScript(task.script->sScript, task.script->sConstants, pProgram, sError);
    if (pProgram) {
        SetProgram(*t.pInstance, pProgram);
        t.pProgram = std::move(pProgram);
    }
    if (fParsed) t.sParsedText = CreateScriptTaskString(t.pProgram.get(), sError);
    return fParsed;
}

// The executors of the other parts of the engine fill their places here as they are built.
std::array<uDispatch, ScriptTaskTypeCount> MakeDispatchTable() {
    std::array<uDispatch, ScriptTaskTypeCount> t{};
    auto at = [&t](eScriptTaskType e) -> uDispatch& { return t[static_cast<std::size_t>(e)]; };
    at(eScriptTaskType::Script).executor = TaskScript;
    at(eScriptTaskType::VariableCompare).sFailure = " Thread - Fehler beim Vergleichen einer Variable.";
    at(eScriptTaskType::VariableAdd).sFailure = " Thread - Fehler beim Addieren eines Werts zu einer Variable.";
    at(eScriptTaskType::VariableMath).sFailure = " Thread - Fehler beim Verrechnen eines Werts mit einer Variable.";
    at(eScriptTaskType::VariableSet).sFailure = " Thread - Fehler beim Zuweisen eines Werts einer Variable.";
    at(eScriptTaskType::VariableCompare).executor = TaskVariableCompare;
    at(eScriptTaskType::VariableAdd).executor = TaskVariableAdd;
    at(eScriptTaskType::VariableMath).executor = TaskVariableMath;
    at(eScriptTaskType::VariableSet).executor = TaskVariableSet;
    at(eScriptTaskType::Instrument) = {TaskInstrument, " Thread - Erstelle ein Instrument.",
                                       " Thread - Fehler beim Erstellen des Instruments.",
                                       eAfter::WaitResultWhenConnecting,
                                       " Thread - Warte auf die Verbindung des Instruments."};
    at(eScriptTaskType::InstrumentSelect).executor = TaskInstrumentSelect;
    at(eScriptTaskType::InstrumentSet).executor = TaskInstrumentSet;
    at(eScriptTaskType::InstrumentSelect).sFailure = " Thread - Fehler beim Setzen des aktuellen Instruments.";
    at(eScriptTaskType::InstrumentSet).sFailure = " Thread - Fehler beim Setzen der Einstellung des Instruments.";
    at(eScriptTaskType::Goto) = {TaskGoto, nullptr, " Thread - Fehler beim Sprung zu dem Goto-Ziel bzw. Label."};
    at(eScriptTaskType::False).executor = TaskFalse;
    at(eScriptTaskType::True).executor = TaskTrue;
    at(eScriptTaskType::FunctionBeep).executor = TaskFunctionBeep;
    at(eScriptTaskType::FunctionBeep).sFailure = " Thread - Fehler beim Ausgeben eines Hinweistons.";
    at(eScriptTaskType::FunctionClipboard).sFailure =
        " Thread - Fehler beim Kopieren der Variable in die Zwischenablage.";
    at(eScriptTaskType::FunctionRemove).sFailure = " Thread - Fehler beim Entfernen von Teilen der Daten.";
    at(eScriptTaskType::FunctionReplace).sFailure = " Thread - Fehler beim Enrsetzen von Teilen der Daten.";
    at(eScriptTaskType::FunctionSave).sFailure = " Thread - Fehler beim Speichern der Daten.";
    at(eScriptTaskType::FunctionClipboard).executor = TaskFunctionClipboard;
    at(eScriptTaskType::FunctionRemove).executor = TaskFunctionRemove;
    at(eScriptTaskType::FunctionReplace).executor = TaskFunctionReplace;
    at(eScriptTaskType::FunctionSave).executor = TaskFunctionSave;
    at(eScriptTaskType::FunctionScpi).executor = TaskFunctionScpi;
    at(eScriptTaskType::FunctionScreencopy).executor = TaskFunctionScreencopy;
    at(eScriptTaskType::FunctionWaveform).executor = TaskFunctionWaveform;
    at(eScriptTaskType::FunctionScpi).after = eAfter::WaitResult;
    at(eScriptTaskType::FunctionScpi).sWaiting = " Thread - Warte auf die Ausführung des SCPI-Kommandos.";
    at(eScriptTaskType::FunctionScreencopy).after = eAfter::WaitResult;
    at(eScriptTaskType::FunctionScreencopy).sWaiting = " Thread - Warte auf das Einlesen der Bildschirmkopie.";
    at(eScriptTaskType::FunctionWaveform).after = eAfter::WaitResult;
    at(eScriptTaskType::FunctionWaveform).sWaiting = " Thread - Warte auf das Einlesen der Messkurven.";
    at(eScriptTaskType::FunctionWait).executor = TaskFunctionWait;
    at(eScriptTaskType::FunctionWait).after = eAfter::WaitUserOnFalse;
    at(eScriptTaskType::FunctionWait).sWaiting = " Thread - Pause, warte auf die weitere Ausführung des Skripts.";
    return t;
}

// Never destroyed, as the module mutex: a thread may still run its step while the program ends.
std::mutex& DispatchMutex() {
    static auto* m = new std::mutex;
    return *m;
}

std::array<uDispatch, ScriptTaskTypeCount>& DispatchTable() {
    static auto* t = new std::array<uDispatch, ScriptTaskTypeCount>(MakeDispatchTable());
    return *t;
}

uDispatch DispatchOf(eScriptTaskType eType) {
    const auto i = static_cast<std::int64_t>(eType);
    if (i < 0 || i >= ScriptTaskTypeCount || eType == eScriptTaskType::FunctionView) return {};
    std::lock_guard lock(DispatchMutex());
    return DispatchTable()[static_cast<std::size_t>(i)];
}

// The handler of an instrument result: stores it into the variable of the awaited task.
using ResultHandler = bool (*)(uScriptThread& thread, uInstrumentObject& instrument, uScriptTask& task,
                               const EventHub::uEvent& event, std::string& sError);

struct uResultDispatch {
    ResultHandler handler = nullptr;
    bool fWakes = false;
};

// By result type; the handlers of the instrument parts of the engine fill their places here.
uResultDispatch ResultDispatchOf(std::int64_t eType) {
    switch (eType) {
    case InstrumentTaskPrepare: return {EventInstrumentPrepare, false};
    case InstrumentTaskConnect: return {EventInstrumentConnect, true};
    case InstrumentTaskDisconnect: return {EventInstrumentDisconnect, false};
    case InstrumentTaskScpiCommand: return {EventInstrumentScpiCommand, true};
    case InstrumentTaskScreencopy: return {EventInstrumentScreencopy, true};
    case InstrumentTaskWaveform: return {EventInstrumentWaveform, true};
    default: return {};
    }
}

// "Skriptzeile <n>" and the tail, built in one allocation: these lines go out for every statement.
std::string LineText(const uScriptTask& task, std::string_view sTail = {}) {
    char digits[24];
    const char* const pEnd = std::to_chars(digits, digits + sizeof digits, task.iLine).ptr;
    constexpr std::string_view Head = "Skriptzeile ";
    std::string s;
    const auto iDigits = static_cast<std::size_t>(pEnd - digits);
    s.reserve(Head.size() + iDigits + sTail.size());
    s.append(Head).append(digits, iDigits).append(sTail);
    return s;
}

// The head and the script line's text, its control bytes escaped.
std::string QuotedLine(std::string sHead, const uScriptLine& line) {
    sHead.reserve(sHead.size() + line.sText.size() + 8);
    AppendEscaped(sHead, line.sText);
    return sHead;
}

const uScriptLine* ScriptLineOf(const uScriptProgram& program, std::int64_t iLine) {
    const auto& index = program.mScriptLineIndex;
    if (iLine <= 0 || static_cast<std::uint64_t>(iLine) >= index.size()) return nullptr;
    const std::size_t iSlot = index[static_cast<std::size_t>(iLine)];
    return iSlot == 0 ? nullptr : &program.mScriptLines[iSlot - 1];
}

// Sleeps for the reason; false when the thread is to stop. With a pending pause, a result
// that arrives turns the sleep into a user sleep (Run withdraws the pause while the result is
// awaited; after an instrument error the Run that goes on answers the pause as well).
bool Sleep(uScriptThread& t, eSleep eReason, bool fPausePending = false) {
    std::unique_lock lock(ModuleMutex());
    t.eSleeping = eReason;
    // The results held back while the executor worked reach their handler now, in their order.
    for (EventHub::uEvent& event : t.mHeldBack)
        EventHub::PostEvent(event.iEvent, event.iWindow, event.iObject, event.iType, std::move(event.pData));
    t.mHeldBack.clear();
    const auto arrived = [&] { return eReason == eSleep::Result && t.awaited.eState == eAwait::Arrived; };
    t.cv.wait(lock, [&] {
        if (t.fStop) return true;
        if (arrived()) return true;
        if (eReason == eSleep::Result && t.awaited.eState == eAwait::Waiting) return false;
        return t.iRunSignals > 0; // a user or pre-run sleep, or a result wait turned into a user wait
    });
    t.eSleeping = eSleep::None;
    if (t.fStop) return false;
    const bool fArrived = arrived();
    if (!fArrived) --t.iRunSignals;
    t.awaited = {};
    if (fPausePending && t.pInstance->eState == eScriptState::Pause) {
        t.pInstance->eState = eScriptState::Running;
        if (!fArrived) return true;
        lock.unlock();
        PostMessage(t, ScriptMessageOutput, "Thread - Pausiere den Thread.");
        return Sleep(t, eSleep::User);
    }
    return true;
}

// Runs the task list once from its first task; false when the thread is to stop.
bool RunTasks(uScriptThread& t) {
    uScriptInstance& instance = *t.pInstance;
    // The run's program lives until the run ends, even when a parse replaces it.
    const std::shared_ptr<uScriptProgram> pRunProgram = t.pProgram;
    uScriptProgram& program = *pRunProgram;
    uScriptTask* pTask = program.mOrder.empty() ? nullptr : program.mOrder.front();
    t.pActiveInstrument.reset();
    t.pActiveInstrumentTask = nullptr;
    bool fSuppress = false;
    std::string sError;
    for (;;) {
        if (!pTask) {
            if (!fSuppress) PostMessage(t, ScriptMessageFinished, {});
            return true;
        }
        uScriptTask& task = *pTask;
        if (!task.Execute) {
            pTask = NextTask(program, task);
            continue;
        }
        if (StopRequested(t)) return false;
        const uScriptLine* pLine = ScriptLineOf(program, task.iLine);
        if (pLine)
            PostMessage(t, ScriptMessageStatus,
                        QuotedLine("Script line: " + std::to_string(task.iLine) + " - ", *pLine));
        PostMessage(t, ScriptMessageOutput,
                    "- - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - ");
        if (pLine) PostMessage(t, ScriptMessageOutput, QuotedLine(LineText(task, " "), *pLine));
        PostMessage(t, ScriptMessageOutput,
                    LineText(task, " Thread - Taskposition in Liste: ") + std::to_string(task.iPosition));
        t.pCurrentTask = &task;
        t.fJump = false;
        t.pJumpTask = nullptr;
        sError.clear();
        const std::int64_t iErrorsBefore = t.iErrorsPosted;

        const uDispatch dispatch = DispatchOf(task.eTaskType);
        bool fResult = false;
        bool fWaitResult = false, fWaitUser = false;
        const bool fScript = task.eTaskType == eScriptTaskType::Script;
        if (fScript) fSuppress = true;
        if (!dispatch.executor) {
            sError = "InstrumentScript::Thread: Der Task-Typ ist unbekannt. *uTask\\eTaskType = " +
                     std::to_string(static_cast<std::int64_t>(task.eTaskType));
        } else {
            if (dispatch.sBefore) PostLine(t, task, dispatch.sBefore);
            fResult = dispatch.executor(t, task, sError);
            // A step cut short by a stop says nothing more: its run is over.
            if (StopRequested(t)) return false;
            switch (dispatch.after) {
            case eAfter::Go: break;
            case eAfter::WaitResult: fWaitResult = fResult; break;
            case eAfter::WaitResultWhenConnecting:
                if (fResult && task.instrument->fWaitForConnect) {
                    task.instrument->fWaitForConnect = 0;
                    fWaitResult = true;
                }
                break;
            case eAfter::WaitUserOnFalse:
                fWaitUser = !fResult;
                fResult = true;
                break;
            }
            if (fWaitResult || fWaitUser) PostLine(t, task, dispatch.sWaiting);
            if (!fResult && dispatch.sFailure) PostLine(t, task, dispatch.sFailure);
            if (fResult && (task.eTaskType == eScriptTaskType::True || task.eTaskType == eScriptTaskType::False) &&
                !t.pJumpTask) {
                PostLine(t, task, task.eTaskType == eScriptTaskType::True
                                      ? " Thread - Beim Vergleich mit True wurde das Ende der Liste erreicht."
                                      : " Thread - Beim Vergleich mit False wurde das Ende der Liste erreicht.");
            }
        }

        // The next task; a parse has replaced the list, so nothing follows it.
        if (fScript) pTask = nullptr;
        else if (t.fJump) pTask = t.pJumpTask;
        else pTask = NextTask(program, task);
        t.fJump = false;

        bool fEnd = fScript;
        if (!fResult) {
            fEnd = true;
            if (!sError.empty()) {
                PostError(t, sError, "Thread");
            } else if (t.iErrorsPosted == iErrorsBefore) {
                // The executor failed without a word: the window must still leave "running".
                PostError(t, "Script error: " + LineText(task) + (dispatch.sFailure ? dispatch.sFailure : ""),
                          "Thread");
            }
        } else if (fScript) {
            PostMessage(t, ScriptMessageParsed, std::move(t.sParsedText));
            t.sParsedText.clear();
        }

        // Stop, wait or pause, decided and reset in one step.
        eSleep eReason = eSleep::None;
        bool fPausePending = false;
        {
            std::lock_guard lock(ModuleMutex());
            if (t.fStop) return false;
            if (fWaitResult) {
                // A pause asked for during the instrument task holds the run once its result is in.
                eReason = eSleep::Result;
                fPausePending = instance.eState == eScriptState::Pause;
            } else if (fWaitUser || instance.eState == eScriptState::Pause) {
                eReason = eSleep::User;
                instance.eState = eScriptState::Running;
            }
        }
        if (eReason != eSleep::None) {
            PostMessage(t, ScriptMessageOutput, "Thread - Pausiere den Thread.");
            if (!Sleep(t, eReason, fPausePending)) return false;
        }
        if (fEnd) return true;
    }
}

// Runs the task list; an allocation failure ends the run at the current task with a script
// error, and the texts, which keep their values after other runs, are released as well.
bool RunGuarded(uScriptThread& t) {
    const std::shared_ptr<uScriptProgram> pRunProgram = t.pProgram; // the current task lives in it
    t.pCurrentTask = nullptr;
    bool fGoOn = true;
    if (AllocationFailure::Run([&] { fGoOn = RunTasks(t); })) return fGoOn;
    for (uScriptTask& task : pRunProgram->mTasks) {
        if (task.eTaskType == eScriptTaskType::Variable && task.variable->Type == eVariableType::String)
            ResetVariable(task);
    }
    const std::string sWhat(AllocationFailure::Message);
    AllocationFailure::Run([&] {
        if (t.pCurrentTask) PostScriptError(t, *t.pCurrentTask, "Thread", sWhat);
        else PostError(t, "Script error: Thread - " + sWhat, "Thread");
    });
    return !StopRequested(t);
}

} // namespace

uDeliveryTicket::~uDeliveryTicket() {
    if (!pThread) return;
    std::lock_guard lock(ModuleMutex());
    --pThread->iUndelivered;
    pThread->cv.notify_all();
}

Executor ReplaceExecutor(eScriptTaskType eType, Executor executor) {
    const auto i = static_cast<std::int64_t>(eType);
    if (i < 0 || i >= ScriptTaskTypeCount) return nullptr;
    std::lock_guard lock(DispatchMutex());
    return std::exchange(DispatchTable()[static_cast<std::size_t>(i)].executor, executor);
}

void PostMessage(uScriptThread& t, std::int64_t eType, std::string sText, std::int64_t iData) {
    {
        std::unique_lock lock(ModuleMutex());
        if (pThisThread == &t) {
            t.cv.wait(lock, [&] { return t.fStop || t.iUndelivered < MaxUndeliveredMessages; });
        }
        ++t.iUndelivered;
    }
    auto pOutput = std::make_unique<uScriptOutput>(
        uScriptOutput{std::move(sText), iData, uDeliveryTicket(t.shared_from_this()), t.iThreadNumber});
    const uScriptInstance& instance = *t.pInstance;
    EventHub::PostEvent(EventScriptMessage, instance.iWindow, InstanceObject(instance),
                        static_cast<std::intptr_t>(eType), EventHub::Payload::Of(std::move(pOutput)));
}

void PostLine(uScriptThread& t, const uScriptTask& task, const std::string& sText) {
    PostMessage(t, ScriptMessageOutput, LineText(task, sText));
}

void PostError(uScriptThread& t, const std::string& sText, const std::string& sProcedure) {
    const std::int64_t iKey = Utility::EventDataStore(uEventData{0, sText, "InstrumentScript", sProcedure});
    if (pThisThread == &t) ++t.iErrorsPosted;
    PostMessage(t, ScriptMessageError, {}, iKey);
}

void PostScriptError(uScriptThread& t, const uScriptTask& task, const std::string& sProcedure,
                     const std::string& sMessage) {
    PostError(t, "Script error: " + LineText(task) + " " + sProcedure + " - " + sMessage, sProcedure);
}

namespace {

// A stopped run queues nothing: the stop's release of its instruments is the last they get
// from it. The flag is looked at under the lock that Stop sets it under.
bool RefuseWhenStopped(const uScriptThread& t, const char* sProcedure, std::string& sError) {
    if (!t.fStop) return false;
    sError = std::string("InstrumentScript::") + sProcedure + ": The script has been stopped.";
    return true;
}

} // namespace

std::int64_t QueueTask(uScriptThread& t, uInstrumentObject& instrument, uTask task, std::string& sError) {
    std::visit([&](auto& record) { record.head.iWindow = t.iRoute; }, task);
    if (!instrument.pInterface) {
        sError = "InstrumentScript::QueueTask: The pointer to the instrument is zero.";
        return 0;
    }
    std::lock_guard lock(ModuleMutex());
    if (RefuseWhenStopped(t, "QueueTask", sError)) return 0;
    return instrument.pInterface->AddTask(instrument, task, sError);
}

bool QueueAwaitedTask(uScriptThread& t, uInstrumentObject& instrument, uTask task, std::int64_t eAwaitedType,
                      std::string& sError) {
    std::visit([&](auto& record) { record.head.iWindow = t.iRoute; }, task);
    if (!instrument.pInterface) {
        sError = "InstrumentScript::QueueAwaitedTask: The pointer to the instrument is zero.";
        return false;
    }
    std::lock_guard lock(ModuleMutex());
    if (RefuseWhenStopped(t, "QueueAwaitedTask", sError)) return false;
    t.awaited = {eAwait::Waiting, &instrument, eAwaitedType, 0, t.pCurrentTask};
    const std::int64_t iNumber = instrument.pInterface->AddTask(instrument, task, sError);
    if (iNumber == 0) t.awaited = {};
    else t.awaited.iTaskNumber = iNumber;
    return iNumber != 0;
}

bool SleepMilliseconds(uScriptThread& t, std::int64_t iMilliseconds) {
    // In steps of at most an hour: the clock's arithmetic overflows on a time near the 64-bit limit.
    constexpr std::chrono::milliseconds Longest(3600000);
    std::chrono::milliseconds left = Environment()->SleepTime(iMilliseconds);
    std::unique_lock lock(ModuleMutex());
    while (!t.fStop && left > std::chrono::milliseconds(0)) {
        const std::chrono::milliseconds step = std::min(left, Longest);
        t.cv.wait_for(lock, step, [&] { return t.fStop.load(); });
        left -= step;
    }
    return !t.fStop;
}

bool StopRequested(uScriptThread& t) {
    std::lock_guard lock(ModuleMutex());
    return t.fStop;
}

bool StopAsked() { return pThisThread && pThisThread->fStop.load(std::memory_order_relaxed); }

const std::atomic<bool>* StopWord() { return pThisThread ? &pThisThread->fStop : nullptr; }

void Thread(std::shared_ptr<uScriptThread> pThread) {
    uScriptThread& t = *pThread;
    pThisThread = &t;
    if (Sleep(t, eSleep::BeforeRun)) {
        for (;;) {
            {
                std::lock_guard lock(ModuleMutex());
                t.pProgram = t.pInstance->pProgram;
                if (t.fStop) break;
            }
            if (!RunGuarded(t)) break;
            FreeVariableMemory(*t.pProgram);
            PostMessage(t, ScriptMessageOutput, "Thread - Warte auf das nächste Skript im Thread.");
            if (!Sleep(t, eSleep::BeforeRun)) break;
        }
    }
    // The thread ends only when stopped; its step has returned, so nothing of it queues more
    // for the instruments it releases now (abort first).
    std::shared_ptr<uScriptProgram> pProgram;
    {
        std::lock_guard lock(ModuleMutex());
        pProgram = t.pProgram;
    }
    if (pProgram) ReleaseInstruments(*pProgram, t.iRoute);
    PostMessage(t, ScriptMessageOutput, " Thread - Der Thread ist beendet.");
    {
        std::lock_guard lock(ModuleMutex());
        t.pProgram.reset();
        t.fFinished = true;
        t.cv.notify_all();
    }
    pProgram.reset();
    pThisThread = nullptr;
}

bool TaskGoto(uScriptThread& t, uScriptTask& task, std::string&) {
    uScriptTask* pLabel = task.jump->pLabel;
    if (!pLabel) {
        auto it = t.pProgram->mLabels.find(task.jump->Name);
        if (it != t.pProgram->mLabels.end()) pLabel = it->second;
    }
    if (!pLabel) return false;
    PostLine(t, task, " TaskGoto - Es wird zum Sprungziel gesprungen: " + task.jump->Name + " - Skriptzeile " +
                          std::to_string(pLabel->iLine));
    t.fJump = true;
    t.pJumpTask = pLabel;
    return true;
}

namespace {

bool TaskCondition(uScriptThread& t, uScriptTask& task, bool fWanted, const char* sProcedure) {
    uScriptTask* pInstruction = task.pInstructionAddress ? task.pInstructionAddress : NextTask(*t.pProgram, task);
    uScriptTask* pNext = nullptr;
    if ((t.fLastCompare != 0) == fWanted) pNext = pInstruction;
    else if (pInstruction) pNext = NextTask(*t.pProgram, *pInstruction);
    std::string sLine = std::string(" ") + sProcedure + " - Der letzte Vergleich ergab: " +
                        Utility::BoolToText(t.fLastCompare);
    sLine += pNext ? " - die nächste Anweisung ist Skriptzeile " + std::to_string(pNext->iLine)
                   : std::string(" - die nächste Anweisung wird ausgeführt.");
    PostLine(t, task, sLine);
    t.fJump = true;
    t.pJumpTask = pNext;
    return true;
}

} // namespace

bool TaskTrue(uScriptThread& t, uScriptTask& task, std::string&) { return TaskCondition(t, task, true, "TaskTrue"); }

bool TaskFalse(uScriptThread& t, uScriptTask& task, std::string&) {
    return TaskCondition(t, task, false, "TaskFalse");
}

namespace {

// A result for the run that arrives while its executor is still at work is held back until the
// thread sleeps (Sleep posts it again): the handler's lines follow the executor's, and the
// handler never writes what the thread still reads. True when the event was held back.
bool DeferUntilAsleep(uScriptThread& t, const EventHub::uEvent& event) {
    std::lock_guard lock(ModuleMutex());
    if (t.fStop || t.awaited.eState != eAwait::Waiting || t.eSleeping == eSleep::Result) return false;
    t.mHeldBack.push_back(event);
    return true;
}

} // namespace

void EventInstrument(const std::shared_ptr<uScriptThread>& pThread, const EventHub::uEvent& event) {
    uScriptThread& t = *pThread;
    if (DeferUntilAsleep(t, event)) return;
    if (event.iType == InstrumentTaskError) {
        uEventData record;
        const std::int64_t* pKey = event.pData.Get<std::int64_t>();
        if (pKey) Utility::EventDataTake(std::to_string(*pKey), record);
        // The task that waited for the result names its line, as the run's other errors do.
        uScriptTask* pFailed = nullptr;
        std::shared_ptr<uScriptProgram> pProgram; // the task's list lives while the error is made
        {
            std::lock_guard lock(ModuleMutex());
            if (t.fStop) return;
            // The run no longer waits for the result: it waits for the user's Run or Stop.
            if (t.awaited.eState == eAwait::Waiting) {
                t.awaited.eState = eAwait::Failed;
                pFailed = t.awaited.pTask;
                pProgram = t.pProgram;
            }
            t.cv.notify_all();
        }
        if (pFailed) PostScriptError(t, *pFailed, record.sProcedure, record.sText);
        else PostError(t, "Script error: " + record.sText, record.sProcedure);
        return;
    }
    const uResultDispatch dispatch = ResultDispatchOf(event.iType);
    uScriptTask* pTask = nullptr;
    bool fAwaited = false;
    std::shared_ptr<uScriptProgram> pProgram; // the awaited task's list lives while its handler runs
    {
        std::lock_guard lock(ModuleMutex());
        if (t.fStop || t.awaited.eState != eAwait::Waiting) return;
        if (reinterpret_cast<std::intptr_t>(t.awaited.pInstrument) != event.iObject) return;
        fAwaited = t.awaited.eTaskType == event.iType;
        if (fAwaited && event.iType == InstrumentTaskScpiCommand) {
            const auto* pResult = event.pData.Get<uTaskResultScpiCommand>();
            fAwaited = pResult && pResult->iTaskNumber == t.awaited.iTaskNumber;
        }
        pTask = t.awaited.pTask;
        pProgram = t.pProgram;
    }
    // The instrument is the awaited one: the run holds it through its declaration.
    auto* pInstrument = reinterpret_cast<uInstrumentObject*>(event.iObject);
    if (dispatch.handler && pTask && (fAwaited || !dispatch.fWakes)) {
        std::string sError;
        if (!AllocationFailure::Run([&] { dispatch.handler(t, *pInstrument, *pTask, event, sError); })) {
            // The result could not be stored: the run is held at its task as after an instrument's error.
            {
                std::lock_guard lock(ModuleMutex());
                if (t.awaited.eState == eAwait::Waiting) t.awaited.eState = eAwait::Failed;
                t.cv.notify_all();
            }
            PostScriptError(t, *pTask, "EventInstrument", std::string(AllocationFailure::Message));
            return;
        }
    }
    if (fAwaited && dispatch.fWakes) {
        std::lock_guard lock(ModuleMutex());
        if (t.awaited.eState == eAwait::Waiting) t.awaited.eState = eAwait::Arrived;
        t.cv.notify_all();
    }
}

void EventTransferStatus(const std::shared_ptr<uScriptThread>& pThread, const EventHub::uEvent& event) {
    if (!pThread->pInstance) return;
    const uScriptInstance& instance = *pThread->pInstance;
    if (instance.iWindow == WindowNobody) return;
    EventHub::PostEvent(::EventTransferStatus, instance.iWindow, InstanceObject(instance), event.iType, event.pData);
}

} // namespace InstrumentScript
