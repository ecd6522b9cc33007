// The instances behind the instrument objects: one record per object with its task queue, its
// worker thread, its connection description, identification, request block and open connection,
// and the method table that every object uses.
//
// Locking: one module mutex guards the instance map, the task lists and the counters. Fields that
// other threads read (the connection description, the identification, the connected flag and
// the transport) are written under it, with the Set... procedures below; the worker thread reads
// them without it, being their only writer. Everything else of an instance belongs to its worker
// thread. The mutex is never held while a task talks to an instrument. Lock order: the
// instrument list, then this mutex, then the abort requests.
#pragma once

#include "instrument/InstrumentObject.h"
#include "instrument/InstrumentTransport.h"
#include "instrument/ModelCommands.h"
#include "instrument/RequestBlock.h"
#include "instrument/TaskRecords.h"
#include "platform/EventHub.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <semaphore>
#include <string>
#include <thread>
#include <vector>

namespace InstrumentDefault {

inline constexpr std::int64_t ThreadCommandEnd = 8;

// The instance record of one instrument object. It is shared: the worker thread holds it while
// it runs, so a worker that outlived EndThread never uses freed memory.
struct uInstance {
    uInstrumentObject* pThis = nullptr; // the owning object (the map's key)

    // Task queue and worker thread (module mutex).
    std::counting_semaphore<> semaphore{0}; // one signal per queued task
    std::list<uTaskElement> TaskList;       // the running task stays at the head while it runs
    std::int64_t iRunningTask = 0;          // number of the task now running, 0 = none
    std::int64_t iRunningOwner = 0;         // its owner (TaskOwner): only that owner's abort stops it
    std::uint64_t iAbortRequested = 0;      // abort request filed for the running task
    std::thread thread;
    std::int64_t iThreadCommand = 0; // ThreadCommandEnd = the worker is to end
    std::atomic<bool> fCancel{false}; // the running transfer is to stop

    // Set by the worker thread as its last act.
    std::mutex mEnded;
    std::condition_variable cvEnded;
    bool fThreadEnded = false;

    // Read by other threads under the module mutex; written under it by the worker thread.
    uTaskPrepare uConnection;
    uIdn idn;
    bool fConnected = false;
    std::shared_ptr<InstrumentTransport> pTransport;
    // The owners (TaskOwner) that hold the connection: each whose connect opened it or found it
    // open, once however often it connected, until its own disconnect. A failed connect holds
    // nothing; the connection closes when the last holder lets go. Written with SetHolder.
    std::vector<std::int64_t> holders;

    // The worker thread's own.
    uRequest request;
    // The connection went away and could not be opened again: the instance is not connected, its
    // holders keep it, and the next task that talks to the instrument tries to open it (see
    // EnsureConnected). Cleared when it opens again or its last holder lets go.
    bool fLost = false;
    bool fConnectTried = false; // the running task has made its one connect attempt
    // The record of the last failed open (eConnect None while none failed): its kind as the
    // transport saw it, its step, the port it went to, the time it waited.
    Failure::uFailure connectFailure;
    uModelCommands modelCommands;
};

// The method table of every instrument object.
InstrumentInterface& Interface();

// The operations of the method table.
uInstrumentIcon GetIcon(uInstrumentObject& object, int eIconKind, std::string& sError);
bool GetInfo(uInstrumentObject& object, uInfo& info, std::string& sError);
bool IsConnected(uInstrumentObject& object);
// The owners (TaskOwner) that hold the object's connection, also while it is lost (not
// connected); none when the instance does not exist.
std::vector<std::int64_t> Holders(const uInstrumentObject& object);
std::int64_t AddTask(uInstrumentObject& object, const uTask& task, std::string& sError);
bool NewInstance(uInstrumentObject& object, std::string& sError);
bool DeleteInstance(uInstrumentObject& object, std::string& sError);

// Makes sure the instance has a live worker thread.
bool StartThread(uInstrumentObject& object, std::string& sError);
// Stops the worker thread: sets the cancel flag, files an abort request for a running transfer,
// wakes the transport and waits at most iWaitMs for the thread. A thread still busy after that
// is left to finish on its own (it keeps what it uses alive); the result is true either way,
// false when there was no thread.
bool EndThread(uInstrumentObject& object, int iWaitMs, std::string& sError);
// At the end of the program: waits at most iWaitMs until every worker thread, also those left to
// finish a task on their own, has returned; false when one is still running.
bool WaitForWorkers(int iWaitMs);
// At the end of the program: asks every worker thread to end, as EndThread does, without waiting
// for any (WaitForWorkers then waits for them all together).
void AskWorkersToEnd();

// The instance record of the object, or nullptr. The record stays valid while it is held.
std::shared_ptr<uInstance> FindInstance(const uInstrumentObject& object);

// Writers of the fields that other threads read.
void SetConnection(uInstance& instance, uTaskPrepare connection);
void SetModel(uInstance& instance, std::int64_t eModel);
void SetIdn(uInstance& instance, const uIdn& idn);
// Attaches an open connection (connected) or detaches it (nullptr: not connected).
void SetTransport(uInstance& instance, std::shared_ptr<InstrumentTransport> pTransport);
// Adds the owner to the holders (once) or takes it off.
void SetHolder(uInstance& instance, std::int64_t iOwner, bool fHolds);

// Worker-thread helpers of the task procedures.
// The first step of every task procedure: the element must still hold its task.
bool TaskCheckParameter(const uTaskElement& element, std::string& sError);
// Frees the element's task copy.
void FreeTask(uTaskElement& element);
// Posts EventTaskFinished of the given type to the window, with the instance's object.
void PostTaskFinished(const uInstance& instance, std::int64_t iWindow, std::int64_t eTaskType,
                      EventHub::Payload pData = {});
// The same for the task of the head, unless the task belongs to the search chain: that chain
// reports only its end.
void PostTaskResult(const uInstance& instance, const uTaskHead& head, std::int64_t eTaskType,
                    EventHub::Payload pData = {});
// Stores {0, sText, "InstrumentDefault", sProcedure, failure} in the event-data store and posts
// EventTaskFinished type 1 with its key (a std::int64_t payload). Nothing for WindowNobody.
void PostTaskError(std::int64_t iWindow, std::intptr_t iObject, const std::string& sText, const char* sProcedure,
                   const Failure::uFailure& failure = {});
// The object of the instance's events.
std::intptr_t EventObject(const uInstance& instance);

// Number of live instances and the last instance number given out.
std::int64_t InstanceCount();
std::int64_t LastInstanceNumber();
// Sets the task-number counter (tests: the wrap past -1).
void SetLastTaskNumber(std::int64_t iNumber);

} // namespace InstrumentDefault
