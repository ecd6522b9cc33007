// An instrument that goes away and comes back, through AddTask and the event hub: the simulated
// instrument runs in a process of its own behind the raw TCP, serial and VXI-11 doors and is
// killed and started again on the same address; the USBTMC instrument is pulled from the
// simulated bus and plugged in again. No connect or disconnect task comes between the requests.
#include "InstrumentTestSupport.h"

#include "instrument/Instrument.h"
#include "instrument/InstrumentDefault.h"
#include "instrument/ModelTable.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowRegistry.h"
#include "sim/RawTcpServer.h"
#include "sim/SerialDevice.h"
#include "sim/SimUsb.h"
#include "sim/Vxi11Server.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <thread>
#include <filesystem>
#include <string>
#include <vector>

using TestSupport::Add;
using TestSupport::EventRecorder;

namespace {

enum class eDoor { RawTcp, Serial, Vxi11 };

const char* DoorName(eDoor e) { return e == eDoor::RawTcp ? "RawTcp" : e == eDoor::Serial ? "Serial" : "Vxi11"; }

std::string IdnOfRun(int iRun) { return "Orvanto,Simulated Instrument,RUN" + std::to_string(iRun) + ",1.0"; }

// "SLOW?" answers "SLOW" a second late, as an instrument busy with a long measurement does.
class SlowAnswer final : public Sim::ScpiPersonality {
  public:
    bool Execute(const std::string& sPath, const std::string&, Sim::ScpiReply& reply) override {
        if (sPath != "SLOW?") return false;
        std::this_thread::sleep_for(std::chrono::seconds(1));
        reply.Text("SLOW");
        return true;
    }
};

// The instrument process: serves the door until it is killed. Its *IDN? names the run. Writes
// the port (serial: 1) or -1 to iReady once it serves.
[[noreturn]] void RunInstrument(eDoor eKind, int iPort, const std::string& sPortLink, int iRun, int iReady) {
    auto pDevice = std::make_shared<Sim::ScpiDevice>();
    pDevice->SetIdn(IdnOfRun(iRun));
    pDevice->SetPersonality(std::make_shared<SlowAnswer>());
    std::string sError;
    int iReply = -1;
    Sim::RawTcpServer raw(pDevice);
    Sim::SerialDevice serial(pDevice);
    Sim::Vxi11Server vxi11(pDevice);
    if (eKind == eDoor::RawTcp && raw.Start(sError, "127.0.0.1", iPort)) iReply = raw.Port();
    if (eKind == eDoor::Serial && serial.Start(sError)) {
        // The port keeps its name across runs, as a real port does: a link to this run's terminal.
        const std::string sNew = sPortLink + ".new";
        if (symlink(serial.PortName().c_str(), sNew.c_str()) == 0 && rename(sNew.c_str(), sPortLink.c_str()) == 0)
            iReply = 1;
    }
    Sim::Vxi11Server::uConfig config;
    config.iPort = iPort;
    if (eKind == eDoor::Vxi11 && vxi11.Start(config, sError)) iReply = vxi11.Port();
    if (write(iReady, &iReply, sizeof iReply) != sizeof iReply || iReply < 0) _exit(1);
    for (;;) pause();
}

// A helper process, forked before the test starts any thread, that starts the instrument process
// and kills it (SIGKILL) when told: its sockets and its pseudo-terminal close as the kernel closes
// them for a program that died.
class InstrumentProcess {
  public:
    bool Begin(std::string& sError) {
        char sFolder[] = "/tmp/orvanto-reconnect-XXXXXX";
        if (!mkdtemp(sFolder)) {
            sError = "mkdtemp failed";
            return false;
        }
        sFolderPath = sFolder;
        sPortLink = sFolderPath + "/ttySIM";
        int fds[2];
        if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0) {
            sError = "socketpair failed";
            return false;
        }
        iHelper = fork();
        if (iHelper == 0) {
            close(fds[0]);
            Serve(fds[1]);
        }
        close(fds[1]);
        iControl = fds[0];
        return iHelper > 0;
    }
    ~InstrumentProcess() {
        if (iControl >= 0) close(iControl); // the helper kills the instrument and ends
        if (iHelper > 0) waitpid(iHelper, nullptr, 0);
        if (!sFolderPath.empty()) std::filesystem::remove_all(sFolderPath);
    }
    // Starts run iRun of the door on the address of its first run; false when it does not serve.
    bool Start(eDoor eKind, int iRun) {
        const int iReply = Ask('S', eKind, iRun);
        if (iReply > 1) mPorts[static_cast<int>(eKind)] = iReply;
        return iReply > 0;
    }
    void Kill() { Ask('K', eDoor::RawTcp, 0); }
    int Port(eDoor eKind) const { return mPorts[static_cast<int>(eKind)]; }
    const std::string& PortLink() const { return sPortLink; }

  private:
    struct uCommand {
        char cOp;
        eDoor eKind;
        int iRun;
    };
    int Ask(char cOp, eDoor eKind, int iRun) {
        const uCommand command{cOp, eKind, iRun};
        int iReply = -1;
        if (write(iControl, &command, sizeof command) != sizeof command ||
            read(iControl, &iReply, sizeof iReply) != sizeof iReply)
            return -1;
        return iReply;
    }
    [[noreturn]] void Serve(int iFd) {
        pid_t instrument = -1;
        int mAddress[3] = {}; // the port of each door's first run
        uCommand command{};
        while (read(iFd, &command, sizeof command) == sizeof command) {
            int iReply = 0;
            if (instrument > 0) {
                kill(instrument, SIGKILL);
                waitpid(instrument, nullptr, 0);
                instrument = -1;
            }
            if (command.cOp == 'S') {
                int& iAddress = mAddress[static_cast<int>(command.eKind)];
                int ready[2];
                if (pipe2(ready, O_CLOEXEC) != 0) _exit(1);
                instrument = fork();
                if (instrument == 0) RunInstrument(command.eKind, iAddress, sPortLink, command.iRun, ready[1]);
                close(ready[1]);
                if (read(ready[0], &iReply, sizeof iReply) != sizeof iReply) iReply = -1;
                close(ready[0]);
                if (iReply > 1) iAddress = iReply;
            }
            if (write(iFd, &iReply, sizeof iReply) != sizeof iReply) break;
        }
        if (instrument > 0) {
            kill(instrument, SIGKILL);
            waitpid(instrument, nullptr, 0);
        }
        _exit(0);
    }

    pid_t iHelper = -1;
    int iControl = -1;
    int mPorts[3] = {};
    std::string sFolderPath;
    std::string sPortLink;
};

// Records the main windows' events of the instrument core: lost and regained connections.
class LossRecorder {
  public:
    LossRecorder() {
        EventHub::Bind(EventInstrumentLost, EventHub::AnyWindow, [this](const EventHub::uEvent& e) {
            mLost.push_back(e.iObject);
            const std::string* pReason = e.pData.Get<std::string>();
            mReasons.push_back(pReason ? *pReason : std::string());
        });
        EventHub::Bind(EventInstrumentRegained, EventHub::AnyWindow,
                       [this](const EventHub::uEvent& e) { mRegained.push_back(e.iObject); });
    }
    ~LossRecorder() {
        EventHub::Unbind(EventInstrumentLost, EventHub::AnyWindow);
        EventHub::Unbind(EventInstrumentRegained, EventHub::AnyWindow);
    }
    std::vector<std::intptr_t> mLost, mRegained;
    std::vector<std::string> mReasons;
};

class ReconnectTest : public TestSupport::TaskTest {
  protected:
    uTaskGetIdn GetIdn() const { return {{InstrumentTaskGetIdn, 0, iWindow}}; }

    // Queues *IDN? and waits for its outcome: the answer's identification, or the error text.
    std::string Identify(uInstrumentObject& object) {
        const std::size_t iResults = pRecorder->Tasks(InstrumentTaskGetIdn).size();
        const std::size_t iErrors = Errors().size();
        Add(object, GetIdn());
        // The bound is a guard against a request without outcome, not a timing.
        if (!pRecorder->WaitForTasks(InstrumentTaskGetIdn, iResults + 1, 30000)) return "<no outcome>";
        const auto results = pRecorder->Tasks(InstrumentTaskGetIdn);
        if (const uIdn* pIdn = results[iResults].pData.Get<uIdn>()) return pIdn->sIdn;
        const auto errors = Errors();
        return errors.size() > iErrors ? "error: " + errors.back() : "<no answer, no error>";
    }
    // No task but *IDN? has reached the window (no connect, no disconnect between the requests).
    void ExpectOnlyIdnTasks(std::size_t iFrom) {
        const auto tasks = pRecorder->Tasks();
        for (std::size_t i = iFrom; i < tasks.size(); ++i) {
            EXPECT_TRUE(tasks[i].iType == InstrumentTaskGetIdn || tasks[i].iType == InstrumentTaskError)
                << "task type " << tasks[i].iType;
        }
    }
};

class ProcessDoorTest : public ReconnectTest, public ::testing::WithParamInterface<eDoor> {
  protected:
    static void SetUpTestSuite() {
        // Before the first thread of this process: the instruments are forked from the helper.
        pProcess = new InstrumentProcess;
        fBegun = pProcess->Begin(sWhyNot);
    }
    static void TearDownTestSuite() {
        delete pProcess;
        pProcess = nullptr;
    }
    void SetUp() override {
        ReconnectTest::SetUp();
        if (!fBegun) GTEST_SKIP() << sWhyNot;
    }
    uTaskPrepare Prepare() const {
        uTaskPrepare prepare;
        prepare.head = {InstrumentTaskPrepare, 0, iWindow};
        switch (GetParam()) {
        case eDoor::RawTcp:
            prepare.eProtocol = prepare.eInterface = InterfaceRawTcp;
            prepare.rawTcp = {"127.0.0.1", "127.0.0.1", pProcess->Port(GetParam())};
            break;
        case eDoor::Serial:
            prepare.eProtocol = prepare.eInterface = InterfaceSerial;
            prepare.serial = {pProcess->PortLink(), 115200, 8, 1.0F, 0, 0};
            break;
        case eDoor::Vxi11:
            prepare.eProtocol = prepare.eInterface = InterfaceVxi11;
            prepare.vxi11 = {"127.0.0.1", "127.0.0.1", 111, pProcess->Port(GetParam())};
            break;
        }
        return prepare;
    }
    // A connected object that has answered *IDN? from run 1 (the recorder of the fixture's window).
    InstrumentObject ConnectedToRunOne() {
        InstrumentObject object = ConnectedToRunOne(*pRecorder);
        EXPECT_EQ(Identify(*object), IdnOfRun(1));
        return object;
    }
    InstrumentObject ConnectedToRunOne(TestSupport::EventRecorder& recorder) {
        EXPECT_TRUE(pProcess->Start(GetParam(), 1));
        InstrumentObject object = NewObject();
        Add(*object, Prepare());
        Add(*object, ConnectTask());
        EXPECT_TRUE(recorder.WaitForTasks(InstrumentTaskConnect, 1));
        return object;
    }

    static InstrumentProcess* pProcess;
    static bool fBegun;
    static std::string sWhyNot;
};

InstrumentProcess* ProcessDoorTest::pProcess = nullptr;
bool ProcessDoorTest::fBegun = false;
std::string ProcessDoorTest::sWhyNot;

// The instrument restarted while the program was idle: the connection it closed is found closed
// before the request is written, and the request goes out on a new one.
TEST_P(ProcessDoorTest, TheFirstRequestAfterARestartWhileIdleAnswers) {
    LossRecorder losses;
    InstrumentObject object = ConnectedToRunOne();
    const std::size_t iFrom = pRecorder->Tasks().size();
    pProcess->Kill();
    ASSERT_TRUE(pProcess->Start(GetParam(), 2));
    EXPECT_EQ(Identify(*object), IdnOfRun(2));
    EXPECT_EQ(Identify(*object), IdnOfRun(2));
    EXPECT_TRUE(Errors().empty()) << Errors().front();
    EXPECT_TRUE(losses.mLost.empty());
    EXPECT_TRUE(object->pInterface->IsConnected(*object));
    ExpectOnlyIdnTasks(iFrom);
}

// Down for two requests: each fails at once with why (not connected, the connect refused or the
// port gone), the instrument is marked not connected at the first, and the first request after
// the restart connects again and answers.
TEST_P(ProcessDoorTest, TwoRequestsWhileDownFailWithTheirReasonAndTheFirstAfterTheRestartAnswers) {
    LossRecorder losses;
    InstrumentObject object = ConnectedToRunOne();
    const std::size_t iFrom = pRecorder->Tasks().size();
    pProcess->Kill();
    for (int i = 0; i < 2; ++i) {
        const std::string sOutcome = Identify(*object);
        EXPECT_EQ(sOutcome.rfind("error: ", 0), 0u) << sOutcome;
        EXPECT_NE(sOutcome.find("The instrument is not connected. - "), std::string::npos) << sOutcome;
        if (GetParam() != eDoor::Serial) EXPECT_NE(sOutcome.find("Code = 111"), std::string::npos) << sOutcome;
        else EXPECT_NE(sOutcome.find("Port: " + pProcess->PortLink()), std::string::npos) << sOutcome;
        EXPECT_FALSE(object->pInterface->IsConnected(*object));
    }
    pRecorder->WaitFor([&] { return !losses.mLost.empty(); });
    ASSERT_EQ(losses.mLost.size(), 1u); // told once, not at every failed attempt
    EXPECT_EQ(losses.mLost[0], reinterpret_cast<std::intptr_t>(object.get()));
    EXPECT_TRUE(losses.mRegained.empty());

    ASSERT_TRUE(pProcess->Start(GetParam(), 3));
    const std::size_t iErrors = Errors().size();
    EXPECT_EQ(Identify(*object), IdnOfRun(3));
    EXPECT_EQ(Errors().size(), iErrors);
    EXPECT_TRUE(object->pInterface->IsConnected(*object));
    pRecorder->WaitFor([&] { return !losses.mRegained.empty(); });
    EXPECT_EQ(losses.mRegained.size(), 1u);
    ExpectOnlyIdnTasks(iFrom);
}

// A refused reconnect leaves the instrument not connected; the main window then disconnects its
// part, and its "Select..." connects the same object again without anything else; one disconnect
// then closes it.
TEST_P(ProcessDoorTest, AfterARefusedReconnectAConnectOpensItAgainAndOneDisconnectCloses) {
    LossRecorder losses;
    InstrumentObject object = ConnectedToRunOne();
    pProcess->Kill();
    EXPECT_NE(Identify(*object).find("The instrument is not connected."), std::string::npos);
    ASSERT_TRUE(pRecorder->WaitFor([&] { return !losses.mLost.empty(); }));
    Add(*object, DisconnectTask()); // the main window's, on the lost instrument
    ASSERT_TRUE(pProcess->Start(GetParam(), 2));
    Add(*object, ConnectTask());
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskConnect, 2));
    EXPECT_TRUE(object->pInterface->IsConnected(*object));
    EXPECT_EQ(Identify(*object), IdnOfRun(2));
    const std::size_t iDisconnects = pRecorder->Tasks(InstrumentTaskDisconnect).size();
    Add(*object, DisconnectTask());
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskDisconnect, iDisconnects + 1));
    EXPECT_FALSE(object->pInterface->IsConnected(*object));
    // Nobody uses it now: a request does not open it (the prepare behind it tells that it ran).
    const std::size_t iPrepared = pRecorder->Tasks(InstrumentTaskPrepare).size();
    Add(*object, TestSupport::Command("*IDN?", iWindow, true));
    Add(*object, Prepare());
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskPrepare, iPrepared + 1));
    EXPECT_FALSE(object->pInterface->IsConnected(*object));
}

// Owners of one instrument: two windows (or a window and a script run), each with its recorder.
// Every request of each is a query whose result names its task; each owner's every task has
// exactly one outcome, and what another owner did touches none of them.
TEST_P(ProcessDoorTest, EachOwnersEveryTaskHasOneOutcomeWhateverTheOtherDoes) {
    if (GetParam() != eDoor::RawTcp) GTEST_SKIP() << "one door is enough for the queue";
    struct uOwner {
        explicit uOwner(int iNew) : iWindow(iNew), pRecorder(std::make_unique<TestSupport::EventRecorder>(iNew)) {}
        int iWindow;
        std::unique_ptr<TestSupport::EventRecorder> pRecorder;
        std::vector<std::int64_t> mTasks; // the queries queued
    };
    const auto query = [](InstrumentObject& object, uOwner& o, const std::string& sCommand) {
        o.mTasks.push_back(Add(*object, TestSupport::Command(sCommand, o.iWindow, true)));
    };
    // Each query's answer once ("" when it failed), in the order of the tasks.
    const auto outcomes = [](uOwner& o) {
        const bool fAll = o.pRecorder->WaitFor(
            [&] { return o.pRecorder->Tasks(InstrumentTaskScpiCommand).size() >= o.mTasks.size(); }, 60000);
        // One without a record (the instrument was not connected) is the oldest task's still out.
        std::map<std::int64_t, std::string> results;
        for (const auto& event : o.pRecorder->Tasks(InstrumentTaskScpiCommand)) {
            const auto* pResult = event.pData.Get<uTaskResultScpiCommand>();
            std::int64_t iTask = pResult ? pResult->iTaskNumber : 0;
            for (std::size_t i = 0; !pResult && i < o.mTasks.size() && iTask == 0; ++i)
                if (!results.contains(o.mTasks[i])) iTask = o.mTasks[i];
            EXPECT_TRUE(results.emplace(iTask, pResult ? TestSupport::Answer(event) : "").second) << "twice: " << iTask;
        }
        EXPECT_TRUE(fAll) << "of " << o.mTasks.size() << " tasks " << results.size() << " had an outcome";
        std::vector<std::string> answers;
        for (const std::int64_t iTask : o.mTasks) answers.push_back(results.contains(iTask) ? results[iTask] : "<none>");
        return answers;
    };
    // A cancel with its queue cleared and its transfer aborted.
    const auto cancel = [](int iWindow, std::int64_t iOwner = 0) {
        uTaskCancel c;
        c.head = {InstrumentTaskCancel, 0, iWindow, iOwner};
        c.fAbort = 1;
        c.fClearQueue = 1;
        return c;
    };
    const std::string sIdn = IdnOfRun(1) + "\n";
    enum class eRow { OtherCancels, StoppedRun, KillWhileReading, DisconnectWhileReading };
    for (const eRow row : {eRow::OtherCancels, eRow::StoppedRun, eRow::KillWhileReading, eRow::DisconnectWhileReading}) {
        SCOPED_TRACE(static_cast<int>(row));
        pRecorder.reset();
        uOwner a(iWindow), b(WindowRegistry::NewWindowNumber()), c(WindowRegistry::NewWindowNumber());
        InstrumentObject object = ConnectedToRunOne(*a.pRecorder);
        std::vector<std::string> expectA, expectB, expectC;
        switch (row) {
        case eRow::OtherCancels:
            // A's slow query is under way; B cancels with its queue cleared and its transfer
            // aborted; A queues one more. A's three are answered, B's cancel has its result.
            query(object, a, "SLOW?");
            query(object, a, "*IDN?");
            a.pRecorder->WaitFor([&] { return !a.pRecorder->Transfers().empty(); });
            Add(*object, cancel(b.iWindow));
            query(object, a, "*IDN?");
            expectA = {"SLOW\n", sIdn, sIdn};
            EXPECT_TRUE(b.pRecorder->WaitForTasks(InstrumentTaskCancel, 1));
            break;
        case eRow::StoppedRun: {
            // A stopped script run (B, connected) releases the instrument while its slow query
            // runs, as its thread does; a new run (C) connects at once and asks, and so does the
            // window (A). B's query is cut or answered, and told either way.
            Add(*object, uTaskConnect{{InstrumentTaskConnect, 0, b.iWindow}});
            query(object, b, "SLOW?");
            b.pRecorder->WaitFor([&] { return !b.pRecorder->Transfers().empty(); });
            uTaskCancel abort = cancel(WindowNobody, b.iWindow), clear = cancel(WindowNobody, b.iWindow);
            abort.fClearQueue = clear.fAbort = 0;
            Add(*object, abort);
            Add(*object, uTaskDisconnect{{InstrumentTaskDisconnect, 0, WindowNobody, b.iWindow}});
            Add(*object, clear);
            Add(*object, uTaskConnect{{InstrumentTaskConnect, 0, c.iWindow}});
            query(object, c, "*IDN?");
            query(object, a, "*IDN?");
            expectA = expectC = {sIdn};
            EXPECT_EQ(outcomes(b).size(), 1u);
            b.mTasks.clear();
            break;
        }
        case eRow::KillWhileReading: {
            // A reads many parts; the instrument is killed under them and started again: each
            // part is told, and the next request answers.
            for (int i = 0; i < 20; ++i) query(object, a, "*IDN?");
            a.pRecorder->WaitForTasks(InstrumentTaskScpiCommand, 1);
            pProcess->Kill();
            const std::vector<std::string> parts = outcomes(a);
            EXPECT_EQ(std::count(parts.begin(), parts.end(), "<none>"), 0);
            ASSERT_TRUE(pProcess->Start(GetParam(), 1));
            expectA = parts;
            query(object, a, "*IDN?");
            expectA.push_back(sIdn);
            break;
        }
        case eRow::DisconnectWhileReading:
            // B (a child window, never connected itself) reads while A, whose connection it uses,
            // disconnects: what was queued before the disconnect is answered, the rest fails.
            for (int i = 0; i < 3; ++i) query(object, b, "*IDN?");
            Add(*object, DisconnectTask());
            for (int i = 0; i < 3; ++i) query(object, b, "*IDN?");
            expectB = {sIdn, sIdn, sIdn, "", "", ""};
            break;
        }
        EXPECT_EQ(outcomes(a), expectA);
        EXPECT_EQ(outcomes(b), expectB);
        EXPECT_EQ(outcomes(c), expectC);
        std::string sError;
        Instrument::Release(object, sError);
    }
}

INSTANTIATE_TEST_SUITE_P(Doors, ProcessDoorTest, ::testing::Values(eDoor::RawTcp, eDoor::Serial, eDoor::Vxi11),
                         [](const auto& info) { return std::string(DoorName(info.param)); });

// The USBTMC door: the instrument pulled off the simulated bus and plugged in again (a new device
// with the same serial number), under either USB library.
class UsbReplugTest : public ReconnectTest, public ::testing::WithParamInterface<bool> {
  protected:
    void SetUp() override {
        ReconnectTest::SetUp();
        mBus.Install();
    }
    void TearDown() override {
        ReconnectTest::TearDown();
        mBus.Uninstall();
    }
    std::shared_ptr<SimUsb::Device> Plug(int iRun) {
        auto pScpi = std::make_shared<Sim::ScpiDevice>();
        pScpi->SetIdn(IdnOfRun(iRun));
        return mBus.AddDevice({}, pScpi);
    }
    InstrumentObject ConnectedToRunOne() {
        pDevice = Plug(1);
        InstrumentObject object = NewObject();
        uTaskPrepare prepare;
        prepare.head = {InstrumentTaskPrepare, 0, iWindow};
        prepare.eProtocol = prepare.eInterface = InterfaceUsbTmc;
        prepare.fLibUsb0 = GetParam() ? 1 : 0;
        prepare.fLibUsb1 = GetParam() ? 0 : 1;
        prepare.usb.iVendorId = 0x1AB1;
        prepare.usb.iProductId = 0x04CE;
        prepare.usb.sSerialNumber = "DS1ZA000000001";
        Add(*object, prepare);
        Add(*object, ConnectTask());
        EXPECT_TRUE(pRecorder->WaitForTasks(InstrumentTaskConnect, 1));
        EXPECT_EQ(Identify(*object), IdnOfRun(1));
        return object;
    }
    SimUsb::Bus mBus;
    std::shared_ptr<SimUsb::Device> pDevice;
};

TEST_P(UsbReplugTest, TheFirstRequestAfterAReplugWhileIdleAnswers) {
    LossRecorder losses;
    InstrumentObject object = ConnectedToRunOne();
    const std::size_t iFrom = pRecorder->Tasks().size();
    mBus.RemoveDevice(pDevice);
    pDevice = Plug(2);
    EXPECT_EQ(Identify(*object), IdnOfRun(2));
    EXPECT_TRUE(Errors().empty()) << Errors().front();
    EXPECT_TRUE(losses.mLost.empty());
    EXPECT_EQ(mBus.OpenHandles(), 1); // the old device's handle was given back
    ExpectOnlyIdnTasks(iFrom);
}

TEST_P(UsbReplugTest, TwoRequestsWhileUnpluggedFailWithTheirReasonAndTheFirstAfterTheReplugAnswers) {
    LossRecorder losses;
    InstrumentObject object = ConnectedToRunOne();
    const std::size_t iFrom = pRecorder->Tasks().size();
    mBus.RemoveDevice(pDevice);
    for (int i = 0; i < 2; ++i) {
        const std::string sOutcome = Identify(*object);
        EXPECT_NE(sOutcome.find("The instrument is not connected. - "), std::string::npos) << sOutcome;
        EXPECT_NE(sOutcome.find("The instrument was not found and no connection could be established."),
                  std::string::npos)
            << sOutcome;
        EXPECT_FALSE(object->pInterface->IsConnected(*object));
    }
    pRecorder->WaitFor([&] { return !losses.mLost.empty(); });
    EXPECT_EQ(losses.mLost.size(), 1u);
    EXPECT_EQ(mBus.OpenHandles(), 0);
    pDevice = Plug(3);
    EXPECT_EQ(Identify(*object), IdnOfRun(3));
    EXPECT_TRUE(object->pInterface->IsConnected(*object));
    ExpectOnlyIdnTasks(iFrom);
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, UsbReplugTest, ::testing::Values(false, true),
                         [](const auto& info) { return std::string(info.param ? "LibUsb0" : "LibUsb1"); });

} // namespace
