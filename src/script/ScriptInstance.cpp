#include "script/ScriptInstance.h"

#include "instrument/TaskRecords.h"
#include "platform/BackgroundThreads.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowRegistry.h"
#include "script/ScriptInstrument.h"
#include "script/ScriptThread.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <list>
#include <system_error>
#include <vector>

namespace InstrumentScript {
namespace {

// Never destroyed: a thread that outlives the exit's stop wait still locks it.
std::mutex& mModuleMutex = *new std::mutex;
std::list<ScriptInstance> mScriptInstanceList;
std::int64_t iLastInstanceNumber = 0;
std::int64_t iLastThreadNumber = 0;

std::string HexAddress(const void* p) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%llX",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(p)));
    return buffer;
}

} // namespace

std::mutex& ModuleMutex() { return mModuleMutex; }

void ReleaseInstruments(const uScriptProgram& program, std::int64_t iOwner) {
    std::vector<InstrumentObject> mObjects;
    {
        // The instrument executor writes pInstrument under the module mutex.
        std::lock_guard lock(mModuleMutex);
        for (const uScriptTask& task : program.mTasks) {
            if (task.eTaskType == eScriptTaskType::Instrument && task.instrument->pInstrument)
                mObjects.push_back(task.instrument->pInstrument);
        }
    }
    for (const InstrumentObject& pObject : mObjects) {
        uInstrumentObject& object = *pObject;
        if (!object.pInterface) continue;
        std::string sIgnored;
        uTaskCancel abort;
        abort.head.iWindow = WindowNobody;
        abort.head.iOwner = iOwner;
        abort.fAbort = 1;
        object.pInterface->AddTask(object, abort, sIgnored);
        uTaskDisconnect disconnect;
        disconnect.head.iWindow = WindowNobody;
        disconnect.head.iOwner = iOwner;
        object.pInterface->AddTask(object, disconnect, sIgnored);
        uTaskCancel clear;
        clear.head.iWindow = WindowNobody;
        clear.head.iOwner = iOwner;
        clear.fClearQueue = 1;
        object.pInterface->AddTask(object, clear, sIgnored);
    }
    ReleaseRefused(program);
}

void RequestStop(uScriptThread& thread) {
    std::lock_guard lock(mModuleMutex);
    thread.fStop = true;
    thread.cv.notify_all();
}

std::int64_t CurrentRun(const uScriptInstance& instance) {
    std::lock_guard lock(mModuleMutex);
    return instance.pThread ? instance.pThread->iThreadNumber : 0;
}

std::intptr_t InstanceObject(const uScriptInstance& instance) { return reinterpret_cast<std::intptr_t>(&instance); }

ScriptInstance NewInstance(int iWindow, std::string& sError) {
    std::int64_t iNumber = 0;
    {
        std::lock_guard lock(mModuleMutex);
        iNumber = ++iLastInstanceNumber;
    }
    ScriptInstance pInstance = Constructor(iWindow, iNumber, sError);
    if (!pInstance) {
        std::lock_guard lock(mModuleMutex);
        if (iLastInstanceNumber == iNumber) --iLastInstanceNumber;
    }
    return pInstance;
}

ScriptInstance Constructor(int iWindow, std::int64_t iInstanceNumber, std::string& sError) {
    try {
        auto pInstance = std::make_shared<uScriptInstance>();
        pInstance->iInstanceNumber = iInstanceNumber;
        pInstance->iWindow = iWindow;
        std::lock_guard lock(mModuleMutex);
        mScriptInstanceList.push_back(pInstance);
        return pInstance;
    } catch (const std::bad_alloc&) {
        sError = "InstrumentScript::Constructor: Es konnte keine neue Instanz erstellt werden. Fehler beim "
                 "Hinzufügen zu der Liste.";
        return nullptr;
    }
}

bool Destructor(const ScriptInstance& pInstance, std::string& sError) {
    ScriptInstance pFound;
    std::shared_ptr<uScriptProgram> pOld;
    {
        std::lock_guard lock(mModuleMutex);
        auto it = std::find(mScriptInstanceList.begin(), mScriptInstanceList.end(), pInstance);
        if (it == mScriptInstanceList.end() || !pInstance) {
            sError = "InstrumentScript::Destructor: This instance does not exist. Instance number = $" +
                     HexAddress(pInstance.get());
            return false;
        }
        pFound = std::move(*it);
        mScriptInstanceList.erase(it);
        pOld = std::exchange(pFound->pProgram, std::make_shared<uScriptProgram>());
    }
    return true; // the old program and its values go here, outside the lock
}

void ClearTasks(uScriptInstance& instance) { SetProgram(instance, std::make_shared<uScriptProgram>()); }

void SetProgram(uScriptInstance& instance, std::shared_ptr<uScriptProgram> pProgram) {
    std::lock_guard lock(mModuleMutex);
    std::swap(instance.pProgram, pProgram);
    // The old program is freed when this function returns, or later by a thread that holds it.
    // Its values are freed with it; destroying it under the lock is cheap (no waits).
}

bool ThreadRunning(const uScriptInstance& instance) {
    std::lock_guard lock(mModuleMutex);
    return instance.pThread && !instance.pThread->fFinished;
}

bool SetScript(const ScriptInstance& pInstance, const std::string& sScript, const std::string& sConstants,
               std::string& sError) {
    if (!pInstance) {
        sError = "InstrumentScript::SetScript: The pointer to the instance is zero.";
        return false;
    }
    StopThread(pInstance, 0);
    auto pProgram = std::make_shared<uScriptProgram>();
    uScriptTask& task = pProgram->mTasks.emplace_back();
    task.eTaskType = eScriptTaskType::Script;
    task.script->sScript = sScript;
    task.script->sConstants = sConstants;
    task.Execute = 1;
    task.fParsed = 1;
    IndexProgram(*pProgram);
    SetProgram(*pInstance, std::move(pProgram));
    return RunScript(pInstance, sError);
}

bool RunScript(const ScriptInstance& pInstance, std::string& sError) {
    if (!pInstance) {
        sError = "InstrumentScript::RunScript: The pointer to the instance is zero.";
        return false;
    }
    if (!StartThread(pInstance, sError)) return false;
    std::lock_guard lock(mModuleMutex);
    uScriptThread* pThread = pInstance->pThread.get();
    if (!pThread) return false;
    if (pThread->awaited.eState == eAwait::Waiting) {
        // The run waits for an instrument: Run only withdraws a pause request.
        if (pInstance->eState == eScriptState::Pause) pInstance->eState = eScriptState::Running;
        return true;
    }
    ++pThread->iRunSignals;
    pThread->cv.notify_all();
    return true;
}

bool PauseScript(const ScriptInstance& pInstance, std::string& sError) {
    if (!pInstance) {
        sError = "InstrumentScript::PauseScript: The pointer to the instance is zero.";
        return false;
    }
    std::lock_guard lock(mModuleMutex);
    pInstance->eState = eScriptState::Pause;
    // A running wait ends at once.
    if (pInstance->pThread) pInstance->pThread->cv.notify_all();
    return true;
}

bool StopScript(const ScriptInstance& pInstance, std::string& sError) {
    if (!pInstance) {
        sError = "InstrumentScript::StopScript: The pointer to the instance is zero.";
        return false;
    }
    StopThread(pInstance, 0);
    return true;
}

bool DeleteInstance(const ScriptInstance& pInstance, std::string& sError) {
    if (!pInstance) {
        sError = "InstrumentScript::DeleteInstance: The pointer to the instance is zero.";
        return false;
    }
    StopThread(pInstance, 0); // the window closes at once; a thread in a long step ends by itself
    return Destructor(pInstance, sError);
}

bool StartThread(const ScriptInstance& pInstance, std::string& sError) {
    {
        // A thread ends only when it is stopped, and StopThread lets go of it.
        std::lock_guard lock(mModuleMutex);
        if (pInstance->pThread) return true;
    }
    auto pThread = std::make_shared<uScriptThread>();
    pThread->pInstance = pInstance;
    pThread->iRoute = WindowRegistry::NewWindowNumber();
    {
        std::lock_guard lock(mModuleMutex);
        pThread->iThreadNumber = ++iLastThreadNumber;
        pThread->pProgram = pInstance->pProgram;
    }
    std::weak_ptr<uScriptThread> pWeak = pThread;
    EventHub::Bind(EventTaskFinished, pThread->iRoute, [pWeak](const EventHub::uEvent& event) {
        if (auto p = pWeak.lock()) EventInstrument(p, event);
    });
    EventHub::Bind(::EventTransferStatus, pThread->iRoute, [pWeak](const EventHub::uEvent& event) {
        if (auto p = pWeak.lock()) EventTransferStatus(p, event);
    });
    // The exit asks it to stop as Stop does; the place in the count goes with the thread's end.
    BackgroundThreads::uTicket ticket = BackgroundThreads::Enter([pWeak] {
        if (auto p = pWeak.lock()) RequestStop(*p);
    });
    try {
        // The record goes before the place in the count: nothing of the thread is left after it.
        pThread->thread = std::thread([p = pThread, ticket = std::move(ticket)]() mutable {
            Thread(std::move(p));
            ticket.Release();
        });
    } catch (const std::system_error&) {
        WindowRegistry::Release(pThread->iRoute);
        pThread->pInstance.reset();
        sError = "InstrumentScript::StartThread: The thread could not be created.";
        return false;
    }
    std::lock_guard lock(mModuleMutex);
    pInstance->pThread = std::move(pThread);
    return true;
}

void StopThread(const ScriptInstance& pInstance, int iTimeout) {
    if (!pInstance) return;
    std::shared_ptr<uScriptThread> pThread;
    {
        std::unique_lock lock(mModuleMutex);
        pThread = pInstance->pThread;
        if (!pThread) return;
        pInstance->eState = eScriptState::Stop;
        pThread->fStop = true;
        pThread->cv.notify_all();
        const auto timeout = std::chrono::milliseconds(iTimeout <= 0 ? StopWaitMilliseconds : iTimeout);
        pThread->cv.wait_for(lock, timeout, [&] { return pThread->fFinished; });
    }
    bool fFinished = false;
    {
        std::lock_guard lock(mModuleMutex);
        fFinished = pThread->fFinished;
    }
    if (pThread->thread.joinable()) {
        // A thread past the bound is left to end by itself; it holds its record and the instance.
        if (fFinished) pThread->thread.join();
        else pThread->thread.detach();
    }
    {
        std::lock_guard lock(mModuleMutex);
        pInstance->pThread.reset();
        pInstance->eState = eScriptState::Running;
    }
    // The instruments are the thread's to release once its step has returned (Thread).
    EventHub::Unbind(EventTaskFinished, pThread->iRoute);
    EventHub::Unbind(::EventTransferStatus, pThread->iRoute);
    WindowRegistry::Release(pThread->iRoute);
    // The thread record is dropped here when the thread has ended; a thread still running keeps
    // its own reference, so its instance pointer (and the instance) lives until it ends.
    if (fFinished) pThread->pInstance.reset();
}

} // namespace InstrumentScript
