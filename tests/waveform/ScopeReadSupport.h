// Reading waveforms through the whole road in tests: an instrument object connected to a
// simulated oscilloscope through one front door, waveform tasks queued with AddTask, and the
// record or the error text that the event hub delivers.
#pragma once

#include "instrument/Instrument.h"
#include "instrument/TaskRecords.h"
#include "instrument/WaveformRead.h"
#include "platform/EventHub.h"
#include "sim/RawTcpServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Sim {
class ScpiDevice;
class StreamPeer;
} // namespace Sim

namespace ScopeRead {

// The Qt core application, a fresh event hub and the readers in the core's table.
void Start();

uTaskPrepare RawPrepare(int iPort);
uTaskPrepare VxiPrepare(int iPort);
uTaskPrepare SerialPrepare(const std::string& sPort);
uTaskPrepare UsbPrepare(std::int64_t iVendor, std::int64_t iProduct, const std::string& sSerial);

// A waveform task: eSource, eBits and the request flags that are set.
uTaskWaveform Task(std::int64_t eSource, std::int64_t eBits, std::initializer_list<std::int64_t> requests = {});

// A task's finished event (iType 0 when none came in time) and the errors meanwhile.
struct uFinished {
    EventHub::uEvent event;
    std::vector<std::string> errors; // "Module::Procedure | text" of the error events
};

struct uResult {
    bool fFinished = false;                // the type 10 event came
    std::unique_ptr<uWaveformData> pData;  // its record (nullptr after a failure)
    std::vector<std::string> errors;       // "Module::Procedure | text" of the error events
    uTaskWaveform task;                    // the task as queued
};

class Session {
  public:
    Session();
    ~Session();
    // Prepares and connects the object with the model; false with the reason.
    bool Open(uTaskPrepare prepare, std::int64_t eModel, std::string& sError);
    uResult Read(const uTaskWaveform& task, int iWaitMs = 60000);
    // Queues any task to the session's window and waits for its finished event.
    uFinished Run(uTask task, int iWaitMs = 60000);
    // One SCPI exchange, as a script or the SCPI window asks it; the answer's bytes ("" on failure).
    std::string Ask(const std::string& sCommand, int iWaitMs = 20000);
    InstrumentObject Object() const { return object; }
    int Window() const { return iWindow; }

  private:
    // Delivers events until iCount events of the type have come; false after iMs.
    bool WaitFor(std::int64_t eType, std::size_t iCount, int iMs);
    std::size_t Count(std::int64_t eType) const;

    int iWindow = 0;
    InstrumentObject object;
    struct uState;
    std::shared_ptr<uState> pState;
};

// One front door of a simulated device, started for a test: raw TCP, VXI-11, a pseudo-terminal
// or USBTMC. The door lives as long as the object.
enum class eDoor { RawTcp, Vxi11, Serial, Usb };

class Door {
  public:
    Door();
    ~Door();
    // Starts the door to the device and returns the prepare task that reaches it.
    uTaskPrepare Start(eDoor door, std::shared_ptr<Sim::ScpiDevice> pDevice);
    // The stream peer of a raw TCP or serial door (its fault knobs), else nullptr.
    Sim::StreamPeer* Stream();

  private:
    struct uState;
    std::unique_ptr<uState> pState;
};

// For its lifetime, every interface's response time-out is iMs (the time-outs of connections
// made meanwhile); then the earlier ones again. A simulator that builds millions of points
// before its first byte, on a loaded machine, may be silent longer than the program's own
// two seconds: tests that read such traces wait on the data, not on the simulator's speed.
class PatientTimeouts {
  public:
    explicit PatientTimeouts(int iMs = 120000);
    ~PatientTimeouts();
    PatientTimeouts(const PatientTimeouts&) = delete;
    PatientTimeouts& operator=(const PatientTimeouts&) = delete;

  private:
    int iUsbTmc, iVxi11, iRawTcp, iSerial;
};

// The bytes of an element's sample block.
std::vector<std::uint8_t> Bytes(const DataBuffer& buffer);

// A test that reads from one simulated oscilloscope over raw TCP: the scope, its server and a
// session connected to it.
template <class Scope> class SimulatorTest : public ::testing::Test {
  protected:
    void SetUp() override { Start(); }
    void TearDown() override {
        pSession.reset();
        pServer.reset();
    }
    // Starts a scope made from the arguments and connects a session as eModel; the instruments
    // of the session before are released first.
    template <class... Args> void OpenScope(std::int64_t eModel, Args&&... args) {
        pSession.reset();
        pServer.reset();
        pScope = std::make_unique<Scope>(std::forward<Args>(args)...);
        pServer = std::make_unique<Sim::RawTcpServer>();
        pScope->Attach(pServer->Device());
        std::string sError;
        ASSERT_TRUE(pServer->Start(sError)) << sError;
        pSession = std::make_unique<Session>();
        ASSERT_TRUE(pSession->Open(RawPrepare(pServer->Port()), eModel, sError)) << sError;
    }
    // Whether the instrument received this command.
    bool Sent(const std::string& sCommand) const {
        const auto c = pServer->Device().Commands();
        return std::find(c.begin(), c.end(), sCommand) != c.end();
    }

    std::unique_ptr<Scope> pScope;
    std::unique_ptr<Sim::RawTcpServer> pServer;
    std::unique_ptr<Session> pSession;
};

} // namespace ScopeRead
