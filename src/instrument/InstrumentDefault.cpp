#include "instrument/InstrumentDefault.h"

#include "common/EventData.h"
#include "common/WindowLog.h"
#include "instrument/Instrument.h"
#include "instrument/InstrumentTasks.h"
#include "platform/AllocationFailure.h"
#include "platform/BriefWait.h"
#include "platform/ProgramEvents.h"
#include "transport/AbortRequests.h"
#include "transport/InterfaceDefaults.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <map>
#include <new>
#include <system_error>
#include <utility>
#include <vector>

namespace InstrumentDefault {
namespace {

// The module's state. It is made once and never destroyed: a worker thread that was left to
// finish on its own may still reach it while the program ends.
struct uModule {
    std::mutex mutex;
    std::map<const uInstrumentObject*, std::shared_ptr<uInstance>> mInstanceMap;
    std::int64_t iInstanceCount = 0;
    std::int64_t iLastInstanceNumber = 0;
    std::uint64_t iLastTaskNumber = 0; // wraps past the largest value; 0 is skipped
    int iWorkers = 0;                  // worker threads started and not yet returned
    std::condition_variable cvWorkers;
};

uModule& Module() {
    static uModule* pModule = new uModule;
    return *pModule;
}

std::string Number(const uInstrumentObject& object) { return std::to_string(object.iInstanceNumber.load()); }

std::string NotFound(const char* sProcedure, const uInstrumentObject& object) {
    return std::string("InstrumentDefault::") + sProcedure + ": This instance does not exist. Instance number = " +
           Number(object);
}

// The instance of the object; the module mutex is held.
std::shared_ptr<uInstance> Lookup(uModule& module, const uInstrumentObject& object) {
    const auto it = module.mInstanceMap.find(&object);
    return it == module.mInstanceMap.end() ? nullptr : it->second;
}

// The text the lock protocol gives for an object without an instance.
std::string LockInstanceText(const uInstrumentObject& object) {
    return "InstrumentDefault::LockInstance[" + Number(object) +
           "]: This instance does not exist. Instance number = " + Number(object);
}

std::int64_t NextTaskNumber(uModule& module) {
    if (++module.iLastTaskNumber == 0) module.iLastTaskNumber = 1;
    return static_cast<std::int64_t>(module.iLastTaskNumber);
}

// Counts what the worker thread posted for the task it runs: a task that ends without a word
// gets its outcome from the thread (RunTask).
thread_local int iPostedForTask = 0;

// Any owner: the thread is to end, whoever's task runs.
constexpr std::int64_t AnyOwner = 0;

// Files an abort request for the running task's transfer and sets the cancel flag; nothing when
// no task runs or the running task is another owner's (it finishes). Returns the transport to
// wake. The module mutex is held.
std::shared_ptr<InstrumentTransport> CancelRunningTask(uInstance& instance, std::int64_t iOwner) {
    if (instance.iRunningTask == 0) return nullptr;
    if (iOwner != AnyOwner && instance.iRunningOwner != iOwner) return nullptr;
    instance.fCancel = true;
    if (!instance.pTransport) return nullptr;
    instance.iAbortRequested = instance.pTransport->AbortId();
    Instrument::RequestAbort(instance.iAbortRequested);
    return instance.pTransport;
}

// A task that was taken off the queue before it ran: its window hears that it was canceled, as
// of any failed task (the error, then the result without data, so that a window that waits for
// the result goes on). A connect, prepare or disconnect gets the error only: its result would
// say it was done.
void PostDropped(const uInstance& instance, const uTaskElement& element, const std::string& sWhy,
                 const char* sProcedure = "TaskCancel") {
    if (!element.pTask) return;
    const uTaskHead& head = TaskHeadOf(*element.pTask);
    if (head.iEvent == EventSearchFinished || head.iWindow == WindowNobody) return;
    PostTaskError(head.iWindow, EventObject(instance), sWhy, sProcedure);
    switch (head.eTaskType) {
    case InstrumentTaskPrepare:
    case InstrumentTaskConnect:
    case InstrumentTaskDisconnect:
    case InstrumentTaskCancel: return;
    case InstrumentTaskScpiCommand: {
        auto pResult = std::make_unique<uTaskResultScpiCommand>();
        pResult->head = head;
        pResult->iTaskNumber = element.iTaskNumber;
        pResult->fRequestData = std::get<uTaskScpiCommand>(*element.pTask).fRequestData;
        PostTaskFinished(instance, head.iWindow, head.eTaskType, EventHub::Payload::Of(std::move(pResult)));
        return;
    }
    default: PostTaskFinished(instance, head.iWindow, head.eTaskType);
    }
}

void PostAllDropped(const uInstance& instance, const std::list<uTaskElement>& dropped, const std::string& sWhy) {
    for (const uTaskElement& element : dropped) AllocationFailure::Run([&] { PostDropped(instance, element, sWhy); });
}

// Drops the queued tasks of the owner that wait behind the cancel: only its own, the other
// owners' tasks stay (an instrument is shared by windows and scripts). Each dropped task is told.
bool TaskCancel(uInstance& instance, uTaskElement& element, std::string& sError) {
    if (!TaskCheckParameter(element, sError)) return false;
    const auto& cancel = std::get<uTaskCancel>(*element.pTask);
    const std::int64_t iOwner = TaskOwner(cancel.head);
    uModule& module = Module();
    std::list<uTaskElement> dropped; // freed outside the lock
    {
        std::lock_guard lock(module.mutex);
        if (!instance.pTransport) {
            sError = "InstrumentDefault::TaskCancel: There is no instance of the instrument.";
            return false; // its window hears so (RunTask)
        }
        for (auto it = instance.TaskList.begin(); it != instance.TaskList.end();) {
            const auto next = std::next(it);
            if (cancel.fClearQueue && &*it != &element && it->pTask && TaskOwner(TaskHeadOf(*it->pTask)) == iOwner)
                dropped.splice(dropped.end(), instance.TaskList, it);
            it = next;
        }
    }
    PostAllDropped(instance, dropped, "InstrumentDefault::TaskCancel: The task was canceled before it ran.");
    PostTaskResult(instance, cancel.head, InstrumentTaskCancel);
    return true;
}

// What a task that ended without a word posts: its outcome all the same, with why.
void PostSilentEnd(const uInstance& instance, const uTaskElement& element, const std::string& sError) {
    // A disconnect that found nothing to close has nothing to tell: nobody waits for it.
    if (element.pTask && TaskHeadOf(*element.pTask).eTaskType == InstrumentTaskDisconnect) return;
    PostDropped(instance, element,
                sError.empty() ? "InstrumentDefault::Thread: The task could not be carried out." : sError, "Thread");
}

void RunTask(uInstrumentObject& object, uInstance& instance, uTaskElement& element) {
    std::string sError; // the procedures post what the user is to see; the text is dropped here
    iPostedForTask = 0;
    // Whatever way the procedure ends, its window hears of the task once.
    struct uOutcome {
        const uInstance& instance;
        const uTaskElement& element;
        const std::string& sError;
        ~uOutcome() {
            // An allocation failure is told by the thread (ReportAllocationFailure).
            if (iPostedForTask == 0 && std::uncaught_exceptions() == 0) PostSilentEnd(instance, element, sError);
        }
    } outcome{instance, element, sError};
    if (instance.request.fTimeoutConfigured) {
        instance.request.iTimeout = InterfaceDefaults::Timeout(static_cast<int>(instance.uConnection.eInterface));
    }
    switch (TaskHeadOf(*element.pTask).eTaskType) {
    case InstrumentTaskPrepare: TaskPrepare(object, instance, element, sError); break;
    case InstrumentTaskConnect: TaskConnect(object, instance, element, sError); break;
    case InstrumentTaskDisconnect: TaskDisconnect(object, instance, element, sError); break;
    case InstrumentTaskCancel: TaskCancel(instance, element, sError); break;
    case InstrumentTaskGetIdn: TaskGetIdn(object, instance, element, sError); break;
    case InstrumentTaskScpiCommand: TaskScpiCommand(object, instance, element, sError); break;
    case InstrumentTaskScreencopy: TaskScreencopy(object, instance, element, sError); break;
    case InstrumentTaskWaveform: TaskWaveform(object, instance, element, sError); break;
    case InstrumentTaskLocal: TaskLocal(object, instance, element, sError); break;
    case InstrumentTaskRemote: TaskRemote(object, instance, element, sError); break;
    case InstrumentTaskTimeout: TaskTimeout(object, instance, element, sError); break;
    case InstrumentTaskTerminationChar: TaskTerminationChar(object, instance, element, sError); break;
    default: break;
    }
}

// A task that could not have its memory has ended: its window is told as of any failed task,
// and the log in any case (the window of a task may be nobody).
void ReportAllocationFailure(const uInstance& instance, const uTaskElement& element) {
    const std::int64_t iWindow = element.pTask ? TaskHeadOf(*element.pTask).iWindow : WindowNobody;
    if (iWindow == WindowNobody) {
        AllocationFailure::Report("InstrumentDefault::Thread");
        return;
    }
    AllocationFailure::Run([&] {
        PostTaskError(iWindow, EventObject(instance),
                      "InstrumentDefault::Thread: " + std::string(AllocationFailure::Message), "Thread");
    });
}

// The worker thread: runs the instance's tasks one at a time, in the order they were queued. It
// holds the object and the instance, so both outlive it.
void Thread(std::shared_ptr<uInstrumentObject> pObject, std::shared_ptr<uInstance> pInstance) {
    uModule& module = Module();
    uInstance& instance = *pInstance;
    bool fQuick = true; // the last task came within BriefWait::Quick of the one before
    for (;;) {
        // A window or script that queues its next task on the last one's result does so within
        // microseconds: it is looked for before the thread sleeps (BriefWait).
        const auto waitStart = BriefWait::Clock::now();
        if (!(fQuick && BriefWait::Look([&] { return instance.semaphore.try_acquire(); })))
            instance.semaphore.acquire();
        fQuick = BriefWait::Clock::now() - waitStart < BriefWait::Quick;
        uTaskElement* pElement = nullptr;
        {
            std::lock_guard lock(module.mutex);
            if (instance.iThreadCommand == ThreadCommandEnd) break;
            // A signal may be surplus (a cancel dropped the task it stood for): then the list is
            // empty, and the thread waits again.
            if (!instance.TaskList.empty() && instance.TaskList.front().pTask) {
                pElement = &instance.TaskList.front();
                instance.iRunningTask = pElement->iTaskNumber;
                instance.iRunningOwner = TaskOwner(TaskHeadOf(*pElement->pTask));
                // A request filed before this task began is not meant for it. From here on a
                // cancel files its request for this task, and it stays until a transfer takes it.
                if (instance.pTransport) Instrument::TakeAbortRequest(instance.pTransport->AbortId());
            }
        }
        if (!pElement) continue;
        instance.fConnectTried = false;
        if (!AllocationFailure::Run([&] { RunTask(*pObject, instance, *pElement); }))
            ReportAllocationFailure(instance, *pElement);
        FreeTask(*pElement);
        // No answer or payload outlives its task in the request block.
        instance.request.requestData.release();
        instance.request.iRequestTransferred = 0;
        instance.request.data.release();
        std::uint64_t iAbort = 0;
        {
            std::lock_guard lock(module.mutex);
            for (auto it = instance.TaskList.begin(); it != instance.TaskList.end(); ++it) {
                if (&*it == pElement) {
                    instance.TaskList.erase(it);
                    break;
                }
            }
            instance.iRunningTask = 0;
            instance.iRunningOwner = 0;
            instance.fCancel = false;
            iAbort = std::exchange(instance.iAbortRequested, 0);
        }
        // A cancel applies to the task that was running: a request its transfer did not take
        // must not stop the next one.
        if (iAbort != 0) Instrument::TakeAbortRequest(iAbort);
    }
    {
        std::lock_guard lock(instance.mEnded);
        instance.fThreadEnded = true;
    }
    instance.cvEnded.notify_all();
}

// Ends the worker thread of an instance (see EndThread).
bool EndThreadOf(uInstance& instance, int iWaitMs, std::string& sError) {
    uModule& module = Module();
    std::thread thread;
    std::shared_ptr<InstrumentTransport> pWake;
    {
        std::lock_guard lock(module.mutex);
        thread = std::move(instance.thread);
        if (!thread.joinable()) return false;
        instance.iThreadCommand = ThreadCommandEnd;
        pWake = CancelRunningTask(instance, AnyOwner);
        instance.fCancel = true;
    }
    {
        std::lock_guard lock(instance.mEnded);
        if (instance.fThreadEnded) {
            thread.join();
            return false;
        }
    }
    instance.semaphore.release();
    if (pWake) pWake->Wake();
    bool fEnded;
    {
        std::unique_lock lock(instance.mEnded);
        fEnded = instance.cvEnded.wait_for(lock, std::chrono::milliseconds(iWaitMs > 0 ? iWaitMs : 0),
                                           [&] { return instance.fThreadEnded; });
    }
    if (fEnded) {
        thread.join();
    } else {
        // It is busy in a transfer that has not seen its abort yet. It holds the instance and the
        // object, ends after that task, and runs nothing more.
        thread.detach();
        sError = "InstrumentDefault::EndThread: The thread did not end within " + std::to_string(iWaitMs) +
                 " ms; it finishes its task on its own.";
    }
    return true;
}

class DefaultInterface final : public InstrumentInterface {
  public:
    uInstrumentIcon GetIcon(uInstrumentObject& object, int eIconKind, std::string& sError) override {
        return InstrumentDefault::GetIcon(object, eIconKind, sError);
    }
    bool GetInfo(uInstrumentObject& object, uInfo& info, std::string& sError) override {
        return InstrumentDefault::GetInfo(object, info, sError);
    }
    bool IsConnected(uInstrumentObject& object) override { return InstrumentDefault::IsConnected(object); }
    std::int64_t AddTask(uInstrumentObject& object, const uTask& task, std::string& sError) override {
        return InstrumentDefault::AddTask(object, task, sError);
    }
    bool NewInstance(uInstrumentObject& object, std::string& sError) override {
        return InstrumentDefault::NewInstance(object, sError);
    }
    bool DeleteInstance(uInstrumentObject& object, std::string& sError) override {
        return InstrumentDefault::DeleteInstance(object, sError);
    }
};

} // namespace

InstrumentInterface& Interface() {
    static DefaultInterface* pInterface = new DefaultInterface;
    return *pInterface;
}

std::shared_ptr<uInstance> FindInstance(const uInstrumentObject& object) {
    uModule& module = Module();
    std::lock_guard lock(module.mutex);
    return Lookup(module, object);
}

bool NewInstance(uInstrumentObject& object, std::string& sError) {
    uModule& module = Module();
    std::lock_guard lock(module.mutex);
    if (module.mInstanceMap.contains(&object)) {
        sError = "InstrumentDefault::Constructor[" + Number(object) +
                 "]: This instance already exists. Instance number = " + Number(object);
        return false;
    }
    try {
        auto pInstance = std::make_shared<uInstance>();
        pInstance->pThis = &object;
        module.mInstanceMap.emplace(&object, std::move(pInstance));
    } catch (const std::bad_alloc&) {
        sError = "InstrumentDefault::NewInstance[" + Number(object) + "]: The memory for the instance could not be reserved.";
        return false;
    }
    ++module.iInstanceCount;
    object.iInstanceNumber = ++module.iLastInstanceNumber;
    return true;
}

bool DeleteInstance(uInstrumentObject& object, std::string& sError) {
    uModule& module = Module();
    std::shared_ptr<uInstance> pInstance;
    std::list<uTaskElement> dropped; // freed outside the lock
    {
        std::lock_guard lock(module.mutex);
        const auto it = module.mInstanceMap.find(&object);
        if (it == module.mInstanceMap.end()) {
            sError = "InstrumentDefault::DeleteInstance[" + Number(object) +
                     "]: This instance does not exist. Instance number = " + Number(object);
            return false;
        }
        // Unlisted first, so that no task can be queued while the thread ends.
        pInstance = std::move(it->second);
        module.mInstanceMap.erase(it);
        --module.iInstanceCount;
        // The queued tasks are dropped; the one running stays with its thread.
        for (auto e = pInstance->TaskList.begin(); e != pInstance->TaskList.end();) {
            const auto next = std::next(e);
            if (e->iTaskNumber != pInstance->iRunningTask || pInstance->iRunningTask == 0) {
                dropped.splice(dropped.end(), pInstance->TaskList, e);
            }
            e = next;
        }
    }
    PostAllDropped(*pInstance, dropped, "InstrumentDefault::DeleteInstance: The instrument was released before the task ran.");
    std::string sEnd;
    EndThreadOf(*pInstance, 500, sEnd);
    if (!sEnd.empty()) WindowLog::PostError(sEnd); // a worker left busy in a transfer
    return true;
}

bool GetInfo(uInstrumentObject& object, uInfo& info, std::string& sError) {
    uModule& module = Module();
    std::lock_guard lock(module.mutex);
    const auto pInstance = Lookup(module, object);
    if (!pInstance) {
        sError = NotFound("GetInfo", object);
        return false;
    }
    info.connection = pInstance->uConnection;
    info.idn = pInstance->idn;
    return true;
}

bool IsConnected(uInstrumentObject& object) {
    uModule& module = Module();
    std::lock_guard lock(module.mutex);
    const auto pInstance = Lookup(module, object);
    return pInstance && pInstance->fConnected;
}

std::vector<std::int64_t> Holders(const uInstrumentObject& object) {
    uModule& module = Module();
    std::lock_guard lock(module.mutex);
    const auto pInstance = Lookup(module, object);
    return pInstance ? pInstance->holders : std::vector<std::int64_t>{};
}

uInstrumentIcon GetIcon(uInstrumentObject& object, int eIconKind, std::string& sError) {
    std::int64_t eModel = 0;
    {
        uModule& module = Module();
        std::lock_guard lock(module.mutex);
        const auto pInstance = Lookup(module, object);
        if (!pInstance) {
            sError = NotFound("GetIcon", object);
            return {};
        }
        eModel = pInstance->uConnection.eModel;
    }
    uInstrumentIcon icon;
    switch (eIconKind) {
    case IconKindPicture: {
        const int iWidth = Instrument::ScaleToDesktop(128), iHeight = Instrument::ScaleToDesktop(96);
        icon.picture = Instrument::DrawModelPicture(eModel, iWidth, iHeight);
        break;
    }
    case IconKindSmall: icon.iconFile = Instrument::CreateIcon(eModel, false); break;
    case IconKindLarge: icon.iconFile = Instrument::CreateIcon(eModel, true); break;
    default: break;
    }
    return icon;
}

bool StartThread(uInstrumentObject& object, std::string& sError) {
    uModule& module = Module();
    std::lock_guard lock(module.mutex);
    const auto pInstance = Lookup(module, object);
    if (!pInstance) {
        sError = LockInstanceText(object);
        return false;
    }
    uInstance& instance = *pInstance;
    if (instance.thread.joinable()) {
        {
            std::lock_guard ended(instance.mEnded);
            if (!instance.fThreadEnded) return true;
        }
        // The thread has left its loop but may still wait for the module lock held here to
        // count itself off: joining would deadlock, so it is let go (it owns what it uses).
        instance.thread.detach();
    }
    if (instance.iThreadCommand == ThreadCommandEnd) {
        // A thread that was told to end may still be finishing its task: a second one must not
        // run beside it.
        sError = "InstrumentDefault::StartThread: The thread of this instance has been ended.";
        return false;
    }
    const auto pObject = object.weak_from_this().lock();
    if (!pObject) {
        sError = "InstrumentDefault::StartThread: The thread could not be created.";
        return false;
    }
    {
        std::lock_guard ended(instance.mEnded);
        instance.fThreadEnded = false;
    }
    ++module.iWorkers; // under the module lock, taken above
    try {
        // The count drops only after the thread let go of the object and the instance.
        instance.thread = std::thread([pObject, pInstance, &module]() mutable {
            Thread(std::move(pObject), std::move(pInstance));
            {
                std::lock_guard ended(module.mutex);
                --module.iWorkers;
            }
            module.cvWorkers.notify_all();
        });
    } catch (const std::system_error&) {
        --module.iWorkers;
        sError = "InstrumentDefault::StartThread: The thread could not be created.";
        return false;
    }
    return true;
}

bool WaitForWorkers(int iWaitMs) {
    uModule& module = Module();
    std::unique_lock lock(module.mutex);
    return module.cvWorkers.wait_for(lock, std::chrono::milliseconds(iWaitMs > 0 ? iWaitMs : 0),
                                     [&] { return module.iWorkers == 0; });
}

void AskWorkersToEnd() {
    std::vector<std::shared_ptr<uInstance>> instances;
    {
        uModule& module = Module();
        std::lock_guard lock(module.mutex);
        for (const auto& entry : module.mInstanceMap) instances.push_back(entry.second);
    }
    std::string sIgnored;
    for (const auto& pInstance : instances) EndThreadOf(*pInstance, 0, sIgnored);
}

bool EndThread(uInstrumentObject& object, int iWaitMs, std::string& sError) {
    const auto pInstance = FindInstance(object);
    if (!pInstance) {
        sError = LockInstanceText(object);
        return false;
    }
    return EndThreadOf(*pInstance, iWaitMs, sError);
}

std::int64_t AddTask(uInstrumentObject& object, const uTask& task, std::string& sError) {
    if (!StartThread(object, sError)) return 0;
    uModule& module = Module();
    std::shared_ptr<uInstance> pInstance;
    std::shared_ptr<InstrumentTransport> pWake;
    std::int64_t iNumber = 0;
    bool fQueued = false;
    // The task's own copy, made before the lock: the payload of a command may be large. The task
    // owns its payload, so the caller may change or drop its buffer as soon as this returns; a
    // payload handed over (fShareData with an owning pointer) is kept as it is.
    std::unique_ptr<uTask> pCopy;
    try {
        pCopy = std::make_unique<uTask>(task);
        if (auto* pCommand = std::get_if<uTaskScpiCommand>(pCopy.get());
            pCommand && pCommand->pData && !(pCommand->fShareData != 0 && pCommand->pData.use_count() > 0)) {
            auto pPayload = std::make_shared<const DataBuffer>(*pCommand->pData);
            if (pPayload->size() != pCommand->pData->size()) pCopy.reset();
            else pCommand->pData = std::move(pPayload);
        }
    } catch (const std::bad_alloc&) {
        pCopy.reset();
    }
    {
        std::lock_guard lock(module.mutex);
        pInstance = Lookup(module, object);
        if (!pInstance) {
            sError = NotFound("AddTask", object);
            return 0;
        }
        iNumber = NextTaskNumber(module);
        const std::int64_t eType = TaskHeadOf(task).eTaskType;
        if (eType != TaskRecordType[task.index()]) {
            sError = "Der übergebene Task-Typ ist unbekannt: " + std::to_string(eType);
            return 0;
        }
        bool fQueue = true;
        if (const auto* pCancel = std::get_if<uTaskCancel>(&task)) {
            // Only the owner's own transfer: another owner's exchange finishes.
            if (pCancel->fAbort) pWake = CancelRunningTask(*pInstance, TaskOwner(pCancel->head));
            fQueue = pCancel->fClearQueue != 0;
        }
        if (fQueue) {
            try {
                if (!pCopy) throw std::bad_alloc();
                pInstance->TaskList.push_back(uTaskElement{iNumber, std::move(pCopy)});
                fQueued = true;
            } catch (const std::bad_alloc&) {
                sError = std::string("InstrumentDefault::AddTask: The memory for the structure could not be reserved. "
                                     "Structure = ") +
                         TaskRecordName[task.index()];
                return 0;
            }
        }
    }
    if (pWake) pWake->Wake();
    if (fQueued) pInstance->semaphore.release();
    return iNumber;
}

bool TaskCheckParameter(const uTaskElement& element, std::string& sError) {
    if (element.pTask) return true;
    sError = "InstrumentDefault::TaskCheckParameter: The pointer to the structure is zero: *uTask";
    return false;
}

void FreeTask(uTaskElement& element) { element.pTask.reset(); }

std::intptr_t EventObject(const uInstance& instance) { return reinterpret_cast<std::intptr_t>(instance.pThis); }

void PostTaskFinished(const uInstance& instance, std::int64_t iWindow, std::int64_t eTaskType,
                      EventHub::Payload pData) {
    if (iWindow == WindowNobody) return; // the payload goes with it
    ++iPostedForTask;
    EventHub::PostEvent(EventTaskFinished, static_cast<int>(iWindow), EventObject(instance),
                        static_cast<std::intptr_t>(eTaskType), std::move(pData));
}

void PostTaskResult(const uInstance& instance, const uTaskHead& head, std::int64_t eTaskType,
                    EventHub::Payload pData) {
    if (head.iEvent == EventSearchFinished || head.iWindow == WindowNobody) return;
    ++iPostedForTask;
    // While more tasks wait, this thread goes on with the next at once and the result joins the
    // hub's follow-up turn (a couple of milliseconds at most) instead of waking the GUI thread
    // for each of a run of results. The results of a run's last two tasks wake it at once: a
    // window that queues further requests on the results it gets (parts read ahead) has them
    // queued while this thread still reads the last one, instead of at the next turn.
    bool fMore;
    {
        std::lock_guard lock(Module().mutex);
        fMore = instance.TaskList.size() > 2; // the running task stays at the head
    }
    const auto post = fMore ? &EventHub::PostProgress : &EventHub::PostEvent;
    post(EventTaskFinished, static_cast<int>(head.iWindow), EventObject(instance), static_cast<std::intptr_t>(eTaskType),
         std::move(pData));
}

void PostTaskError(std::int64_t iWindow, std::intptr_t iObject, const std::string& sText, const char* sProcedure,
                   const Failure::uFailure& failure) {
    if (iWindow == WindowNobody) return; // nobody would take the record out of the store
    ++iPostedForTask;
    const std::int64_t iKey =
        Utility::EventDataStore(uEventData{0, sText, "InstrumentDefault", sProcedure, failure});
    EventHub::PostEvent(EventTaskFinished, static_cast<int>(iWindow), iObject, InstrumentTaskError,
                        EventHub::Payload::Of<std::int64_t>(iKey));
}

void SetConnection(uInstance& instance, uTaskPrepare connection) {
    uModule& module = Module();
    std::lock_guard lock(module.mutex);
    std::swap(instance.uConnection, connection); // the old strings are freed outside the lock
}

void SetModel(uInstance& instance, std::int64_t eModel) {
    uModule& module = Module();
    std::lock_guard lock(module.mutex);
    instance.uConnection.eModel = eModel;
}

void SetIdn(uInstance& instance, const uIdn& idn) {
    uModule& module = Module();
    uIdn copy = idn;
    std::lock_guard lock(module.mutex);
    std::swap(instance.idn, copy);
}

void SetTransport(uInstance& instance, std::shared_ptr<InstrumentTransport> pTransport) {
    uModule& module = Module();
    std::shared_ptr<InstrumentTransport> pOld; // a closing transport is destroyed outside the lock
    std::lock_guard lock(module.mutex);
    instance.fConnected = pTransport != nullptr;
    pOld = std::exchange(instance.pTransport, std::move(pTransport));
}

void SetHolder(uInstance& instance, std::int64_t iOwner, bool fHolds) {
    uModule& module = Module();
    std::lock_guard lock(module.mutex);
    auto& holders = instance.holders;
    const bool fHeld = std::find(holders.begin(), holders.end(), iOwner) != holders.end();
    if (fHolds && !fHeld) holders.push_back(iOwner);
    else if (!fHolds) std::erase(holders, iOwner);
}

std::int64_t InstanceCount() {
    uModule& module = Module();
    std::lock_guard lock(module.mutex);
    return module.iInstanceCount;
}

std::int64_t LastInstanceNumber() {
    uModule& module = Module();
    std::lock_guard lock(module.mutex);
    return module.iLastInstanceNumber;
}

void SetLastTaskNumber(std::int64_t iNumber) {
    uModule& module = Module();
    std::lock_guard lock(module.mutex);
    module.iLastTaskNumber = static_cast<std::uint64_t>(iNumber);
}

} // namespace InstrumentDefault
