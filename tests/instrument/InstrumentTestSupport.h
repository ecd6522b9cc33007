// Shared pieces of the instrument-core tests: a fake connection whose transfers can be held
// inside the exchange, and a recorder of the events that reach one window.
#pragma once

#include "instrument/InstrumentDefault.h"
#include "instrument/InstrumentTransport.h"
#include "platform/EventHub.h"
#include "sim/ScpiDevice.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace TestSupport {

// A QCoreApplication for the event hub, made once, and a fresh hub.
void StartEventHub();

// Tells whether a fake transport has been destroyed (its instance let it go).
struct uLifetime {
    std::mutex mutex;
    std::condition_variable cv;
    bool fDestroyed = false;
    int iExchanges = 0; // exchanges begun
    bool WaitDestroyed(int iMs);
};

// What one exchange saw.
struct uExchange {
    std::string sCommand;
    std::vector<std::uint8_t> mData;
    std::int64_t iTimeout = 0;
    std::string sTermination;
};

// A connection whose Exchange records the request and answers sAnswer. While held, an exchange
// waits inside the transfer until it is let go or (unless it ignores them) an abort request for
// it arrives; Wake lets it look at once. No wait lasts longer than ten seconds.
class FakeTransport final : public InstrumentTransport {
  public:
    FakeTransport();
    ~FakeTransport() override;

    bool Exchange(InstrumentDefault::uInstance& instance, int iWindow, std::string& sError) override;
    void Wake() override;
    bool SetLocal(bool fLocal, Failure::uFailure& failure, std::string& sError) override;

    void Hold(bool fIgnoreAbort = false);
    void LetGo();
    // Waits until an exchange is inside the transfer (held); false after iMs.
    bool WaitInside(int iMs = 10000);
    bool Inside();
    std::vector<uExchange> Exchanges();
    std::vector<bool> LocalCalls();
    int Wakes();
    void SetAnswer(const std::string& sAnswer);
    // The exchanges that begin from now on fail with sError and a failure of the kind.
    void FailWith(const std::string& sError, Failure::eKind eKind = Failure::eKind::None);
    // The next exchange ends by an allocation failure (std::bad_alloc) instead of answering.
    void ThrowBadAllocOnce();
    std::shared_ptr<uLifetime> Lifetime() const { return pLifetime; }

  private:
    std::mutex mutex;
    std::condition_variable cv;
    bool fHold = false;
    bool fIgnoreAbort = false;
    bool fInside = false;
    int iWakes = 0;
    std::string sAnswer = "OK\n";
    std::string sFailure;
    Failure::eKind eFailure = Failure::eKind::None;
    bool fThrowBadAlloc = false;
    std::vector<uExchange> mExchanges;
    std::vector<bool> mLocalCalls;
    std::shared_ptr<uLifetime> pLifetime = std::make_shared<uLifetime>();
};

// Attaches a fake connection to the object's instance (connected); before any task runs or
// while its worker is idle.
std::shared_ptr<FakeTransport> Connect(uInstrumentObject& object, std::int64_t eInterface = InterfaceRawTcp);

// Delivers events until the condition holds; false after iMs (a guard against hangs only). The
// condition is looked at after each event the caller's hook reports (the hook is set while
// waiting) and at least every 100 ms.
bool PumpUntil(const std::function<bool()>& condition, int iMs, std::function<void()>& fnHook);

// Records EventTaskFinished and EventTransferStatus that reach one window (GUI thread).
class EventRecorder {
  public:
    explicit EventRecorder(int iWindow);
    ~EventRecorder();
    // Delivers events until the condition holds; false after iMs (a guard against hangs only).
    bool WaitFor(const std::function<bool()>& condition, int iMs = 10000);
    // Waits until iCount task-finished events of the type arrived.
    bool WaitForTasks(std::int64_t eType, std::size_t iCount, int iMs = 10000);
    std::vector<EventHub::uEvent> Tasks(std::int64_t eType) const;
    std::vector<EventHub::uEvent> Tasks() const;
    std::vector<EventHub::uEvent> Transfers() const { return mTransfers; }
    // The text of the error record that a type 1 event carries (taken from the store).
    // The error record's text; *pFailure (when given) its failure record.
    static std::string ErrorText(const EventHub::uEvent& event, Failure::uFailure* pFailure = nullptr);
    int Window() const { return iWindow; }

  private:
    int iWindow;
    std::vector<EventHub::uEvent> mTasks;
    std::vector<EventHub::uEvent> mTransfers;
    std::function<void()> fnDelivered;
};

// A fixture for tests through AddTask: the event hub, a window with its recorder, and every
// instrument released at the end.
class TaskTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    InstrumentObject NewObject();
    uTaskConnect ConnectTask() const { return {{InstrumentTaskConnect, 0, iWindow}}; }
    uTaskDisconnect DisconnectTask() const { return {{InstrumentTaskDisconnect, 0, iWindow}}; }
    // The texts of the error events so far (each record is taken from the store once).
    std::vector<std::string> Errors();
    // The failure records of the same records.
    std::vector<Failure::uFailure> Failures();

    int iWindow = 0;
    std::unique_ptr<EventRecorder> pRecorder;

  private:
    std::vector<std::string> mErrors;
    std::vector<Failure::uFailure> mFailures;
};

// An ScpiCommand task to the window.
uTaskScpiCommand Command(const std::string& sCommand, int iWindow, bool fRequestData = false);

// Queues the task; a failed AddTask is a test failure (0 returned).
std::int64_t Add(uInstrumentObject& object, const uTask& task);

// The answer bytes of a type 8 result event ("<no result>" when it carries none).
std::string Answer(const EventHub::uEvent& event);

// The whole road through AddTask and the event hub over one interface, against a simulated
// instrument: prepare, connect, *IDN? (the fields of the simulator's answer), a query whose
// answer (sQueryAnswer, as the interface hands it over) comes back as a type 8 result, a command
// without answer that reaches the instrument, and the disconnect. The object ends unconnected.
void RunThroughDoor(uInstrumentObject& object, const uTaskPrepare& prepare, EventRecorder& recorder,
                    Sim::ScpiDevice& device, const std::string& sQueryAnswer);

// The search chain over one interface: only the final type 5 reaches the window; afterwards the
// instrument is disconnected, with the identification and the model of the simulator's answer.
void RunSearchChain(uInstrumentObject& object, uTaskPrepare prepare, EventRecorder& recorder, Sim::ScpiDevice& device);

// Progress of an answer: type 7 events carry the transport instance and running totals at least
// iStep apart; true when there was at least one.
void ExpectProgressSteps(const EventRecorder& recorder, std::int64_t iStep);

} // namespace TestSupport
