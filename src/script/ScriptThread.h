// The interpreter thread: it sleeps between runs, walks the task list, hands each task to its
// executor, sleeps while an instrument works or the user is to answer, and reports to its
// window by EventScriptMessage only. Also the control-flow executors, the instrument-result
// dispatcher and the messages every executor posts.
#pragma once

#include "platform/EventHub.h"
#include "script/ScriptInstance.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace InstrumentScript {

// The types of EventScriptMessage.
enum eScriptMessage : std::int64_t {
    ScriptMessageStatus = 1,
    ScriptMessageError = 2,    // iData: the key of the error record in the event-data store
    ScriptMessageParsed = 4,   // the canonical script text
    ScriptMessageOutput = 5,
    ScriptMessageWaitUser = 6, // sText: the message, empty when there is none
    ScriptMessageFinished = 7,
};

// A posted message's counter of undelivered events: freed with the event, it counts down.
class uDeliveryTicket {
  public:
    uDeliveryTicket() = default;
    explicit uDeliveryTicket(std::shared_ptr<uScriptThread> pThread) : pThread(std::move(pThread)) {}
    uDeliveryTicket(uDeliveryTicket&&) noexcept = default;
    uDeliveryTicket& operator=(uDeliveryTicket&&) = delete;
    uDeliveryTicket(const uDeliveryTicket&) = delete;
    ~uDeliveryTicket();

  private:
    std::shared_ptr<uScriptThread> pThread;
};

// The data of every EventScriptMessage.
struct uScriptOutput {
    std::string sText;
    std::int64_t iData = 0;
    uDeliveryTicket ticket;
    // The run that posted it (its thread's number, CurrentRun); a window drops what an earlier
    // run posts after its stop. 0: the window's own.
    std::int64_t iRun = 0;
};

// No more than this many messages of one thread wait for delivery; the thread then waits.
inline constexpr std::int64_t MaxUndeliveredMessages = 10000;

// An executor: true on success. It may post output lines and script errors.
using Executor = bool (*)(uScriptThread& thread, uScriptTask& task, std::string& sError);

// The executor of a task type; tests put their own in and get the old one back.
Executor ReplaceExecutor(eScriptTaskType eType, Executor executor);

// The thread's body; StartThread runs it.
void Thread(std::shared_ptr<uScriptThread> pThread);

// Messages. From the interpreter thread they wait while the window is MaxUndeliveredMessages
// behind (a stop ends that wait); from the GUI thread they never wait.
void PostMessage(uScriptThread& thread, std::int64_t eType, std::string sText, std::int64_t iData = 0);
// "Skriptzeile " + line + sText (which begins with a blank) as an output line.
void PostLine(uScriptThread& thread, const uScriptTask& task, const std::string& sText);
// Stores {0, sText, "InstrumentScript", sProcedure} in the event-data store and posts its key.
void PostError(uScriptThread& thread, const std::string& sText, const std::string& sProcedure);
// "Script error: Skriptzeile " + line + " " + sProcedure + " - " + sMessage.
void PostScriptError(uScriptThread& thread, const uScriptTask& task, const std::string& sProcedure,
                     const std::string& sMessage);

// Queues the task at the instrument with this thread's route as its window and records it as
// the result the run waits for (eAwaitedType: the result type that ends the wait), both under
// the module mutex, so that the result cannot arrive unrecorded. False with sError when AddTask
// fails or the thread is asked to stop.
bool QueueAwaitedTask(uScriptThread& thread, uInstrumentObject& instrument, uTask task, std::int64_t eAwaitedType,
                      std::string& sError);

// Queues the task at the instrument with this thread's route as its window, unless the thread
// is asked to stop (both under the module mutex); the task's number, 0 with sError.
std::int64_t QueueTask(uScriptThread& thread, uInstrumentObject& instrument, uTask task, std::string& sError);

// Waits iMilliseconds of script time; false when the thread is to stop.
bool SleepMilliseconds(uScriptThread& thread, std::int64_t iMilliseconds);
// Whether the thread is asked to stop.
bool StopRequested(uScriptThread& thread);
// Whether the calling interpreter thread is asked to stop: a look without a lock, cheap enough
// for the loops of long steps, which give up when it says so. False on any other thread.
bool StopAsked();
// The calling interpreter thread's stop flag, for a save to look at; nullptr on any other thread.
const std::atomic<bool>* StopWord();
// How many bytes a long step works through between two looks at StopAsked.
inline constexpr std::size_t StopCheckBytes = std::size_t{1} << 20;

bool TaskGoto(uScriptThread& thread, uScriptTask& task, std::string& sError);
bool TaskTrue(uScriptThread& thread, uScriptTask& task, std::string& sError);
bool TaskFalse(uScriptThread& thread, uScriptTask& task, std::string& sError);

// EventTaskFinished and EventTransferStatus of the thread's route (GUI thread).
void EventInstrument(const std::shared_ptr<uScriptThread>& pThread, const EventHub::uEvent& event);
void EventTransferStatus(const std::shared_ptr<uScriptThread>& pThread, const EventHub::uEvent& event);

} // namespace InstrumentScript
