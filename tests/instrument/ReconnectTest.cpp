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
#include "transport/InterfaceDefaults.h"
#include "transport/TransferStatus.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

// The instrument process: serves the door until it is ended (SIGTERM). Its *IDN? names the run.
// Writes the port (serial: 1) or -1 to iReady once it serves. It ends as an instrument that
// restarts or is switched off: it stops taking connections and its serial port goes away first,
// then the connections it had close as the kernel closes them for a program that died. (Were the
// listener left to the kernel's end of the process, a connect made the moment the connection
// broke could still land in its backlog and be taken for an instrument that answers again.)
[[noreturn]] void RunInstrument(eDoor eKind, int iPort, const std::string& sPortLink, int iRun, int iReady) {
    sigset_t end;
    sigemptyset(&end);
    sigaddset(&end, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &end, nullptr); // the doors' threads inherit the mask
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
    int iSignal = 0;
    while (sigwait(&end, &iSignal) != 0) {
    }
    if (eKind == eDoor::Serial) unlink(sPortLink.c_str());
    for (int fd = 3; fd < 1024; ++fd) {
        int iListening = 0;
        socklen_t iLength = sizeof iListening;
        if (getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &iListening, &iLength) == 0 && iListening) shutdown(fd, SHUT_RDWR);
    }
    _exit(0);
}

// A helper process, forked before the test starts any thread, that starts the instrument process
// and ends it (SIGTERM, see RunInstrument) when told.
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
                kill(instrument, SIGTERM);
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
            kill(instrument, SIGTERM);
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

// Killed while the answer is awaited: the request had left, so it is not sent again; the
// connection is opened again at once, and as that is refused the instrument is lost now, not at
// the next request.
TEST_P(ProcessDoorTest, KilledUnderTheReadTheRequestIsNotSentAgainAndTheInstrumentIsLostAtOnce) {
    LossRecorder losses;
    InstrumentObject object = ConnectedToRunOne();
    const std::size_t iFrom = pRecorder->Transfers().size();
    const int aTimeouts[] = {InterfaceDefaults::Timeout(InterfaceUsbTmc), InterfaceDefaults::Timeout(InterfaceVxi11),
                             InterfaceDefaults::Timeout(InterfaceRawTcp), InterfaceDefaults::Timeout(InterfaceSerial)};
    InterfaceDefaults::SetTimeouts(60000, 60000, 60000, 60000); // the read ends by the kill, however slow the test
    Add(*object, TestSupport::Command("*CLS", iWindow, true)); // answered by nothing: the read waits
    const bool fSent = pRecorder->WaitFor([&] {
        const auto t = pRecorder->Transfers();
        return std::any_of(t.begin() + iFrom, t.end(), [](auto& e) { return e.iType == TransferStatus::TransferSent; });
    });
    InterfaceDefaults::SetTimeouts(aTimeouts[0], aTimeouts[1], aTimeouts[2], aTimeouts[3]);
    ASSERT_TRUE(fSent);
    pProcess->Kill();
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskScpiCommand, 1));
    ASSERT_TRUE(pRecorder->WaitFor([&] { return !losses.mLost.empty(); }, 60000)) << ::testing::PrintToString(Errors());
    const auto errors = Errors();
    ASSERT_EQ(errors.size(), 1u) << ::testing::PrintToString(errors);
    EXPECT_NE(errors[0].find("wurde unterbrochen."), std::string::npos) << errors[0];
    EXPECT_FALSE(object->pInterface->IsConnected(*object));
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

// Owners of one instrument (windows, script runs): each owner's every query has exactly one
// outcome, and what another owner did touches none of them.
TEST_P(ProcessDoorTest, EachOwnersEveryTaskHasOneOutcomeWhateverTheOtherDoes) {
    const std::string sIdn = IdnOfRun(1) + "\n";
    enum eRow { OtherCancels, StoppedRun, KillWhileReading, DisconnectWhileReading, FailedRunThenRun };
    for (const eRow row : {OtherCancels, StoppedRun, KillWhileReading, DisconnectWhileReading, FailedRunThenRun}) {
        SCOPED_TRACE(row);
        pRecorder.reset();
        std::vector<int> windows{iWindow, WindowRegistry::NewWindowNumber(), WindowRegistry::NewWindowNumber(),
                                 WindowRegistry::NewWindowNumber()};
        std::vector<std::unique_ptr<TestSupport::EventRecorder>> recorders;
        for (const int i : windows) recorders.push_back(std::make_unique<TestSupport::EventRecorder>(i));
        std::vector<std::vector<std::int64_t>> tasks(3);
        std::vector<std::vector<std::string>> expected(3);
        InstrumentObject object = ConnectedToRunOne(*recorders[0]);
        const auto ask = [&](int o, const std::string& sCommand, int iTimes = 1) {
            while (iTimes-- > 0) tasks[o].push_back(Add(*object, TestSupport::Command(sCommand, windows[o], true)));
        };
        // Each query's answer ("" when it failed) by task; a result without a record (not
        // connected) is the oldest one's still out.
        const auto outcomes = [&](int o) {
            EXPECT_TRUE(recorders[o]->WaitForTasks(InstrumentTaskScpiCommand, tasks[o].size(), 60000)) << o;
            std::map<std::int64_t, std::string> results;
            for (const auto& event : recorders[o]->Tasks(InstrumentTaskScpiCommand)) {
                const auto* pResult = event.pData.Get<uTaskResultScpiCommand>();
                std::int64_t iTask = pResult ? pResult->iTaskNumber : 0;
                for (std::size_t i = 0; !pResult && i < tasks[o].size() && iTask == 0; ++i)
                    if (!results.contains(tasks[o][i])) iTask = tasks[o][i];
                EXPECT_TRUE(results.emplace(iTask, pResult ? TestSupport::Answer(event) : "").second) << iTask;
            }
            std::vector<std::string> answers;
            for (const std::int64_t i : tasks[o]) answers.push_back(results.contains(i) ? results[i] : "<none>");
            return answers;
        };
        // The cancel of owner o (its window, or a script run's release that names its run).
        const auto cancel = [&](int o, bool fAbort, bool fClear, bool fRelease = false) {
            Add(*object, uTaskCancel{{InstrumentTaskCancel, 0, fRelease ? WindowNobody : windows[o], windows[o]},
                                     fClear ? 1 : 0, fAbort ? 1 : 0});
        };
        // A script run's connect, and its release as its thread ends (abort, disconnect, clear).
        const auto connect = [&](int o) { Add(*object, uTaskConnect{{InstrumentTaskConnect, 0, windows[o]}}); };
        const auto release = [&](int o) {
            cancel(o, true, false, true);
            Add(*object, uTaskDisconnect{{InstrumentTaskDisconnect, 0, WindowNobody, windows[o]}});
            cancel(o, false, true, true);
        };
        switch (row) {
        case OtherCancels: // 1 waits for its slow answer; 2 aborts and clears; 1 asks once more
            ask(0, "SLOW?");
            ask(0, "*IDN?");
            recorders[0]->WaitFor([&] { return !recorders[0]->Transfers().empty(); });
            cancel(1, true, true);
            ask(0, "*IDN?");
            expected[0] = {"SLOW\n", sIdn, sIdn};
            break;
        case StoppedRun: // run 1 is released under its slow query; run 2 and the window ask at once
            connect(1);
            ask(1, "SLOW?");
            recorders[1]->WaitFor([&] { return !recorders[1]->Transfers().empty(); });
            release(1);
            connect(2);
            ask(2, "*IDN?");
            ask(0, "*IDN?");
            expected = {{sIdn}, outcomes(1), {sIdn}}; // run 1's query cut or answered, told either way
            break;
        case KillWhileReading: // 1 reads many parts; killed and started again under them
            ask(0, "*IDN?", 20);
            recorders[0]->WaitForTasks(InstrumentTaskScpiCommand, 1);
            pProcess->Kill();
            expected[0] = outcomes(0);
            ASSERT_TRUE(pProcess->Start(GetParam(), 1));
            ask(0, "*IDN?");
            expected[0].push_back(sIdn);
            break;
        case DisconnectWhileReading: // 2, a child window, reads while 1, whose connection it uses, disconnects
            ask(1, "*IDN?", 3);
            Add(*object, DisconnectTask());
            ask(1, "*IDN?", 3);
            expected[1] = {sIdn, sIdn, sIdn, "", "", ""};
            break;
        case FailedRunThenRun: // 1's connect to the lost instrument fails, and its release takes
                               // nothing; so does the connect of 3, a main window, which sends no
                               // disconnect; 2 opens it again, is answered and ends while the
                               // window reads; the window's disconnect then closes it
            pProcess->Kill();
            ask(0, "*IDN?");
            connect(1);
            connect(3);
            ASSERT_TRUE(recorders[1]->WaitForTasks(InstrumentTaskError, 1, 60000));
            ASSERT_TRUE(recorders[3]->WaitForTasks(InstrumentTaskError, 1, 60000));
            release(1);
            ASSERT_TRUE(pProcess->Start(GetParam(), 1));
            connect(2);
            ask(2, "*IDN?");
            ask(0, "*IDN?");
            ASSERT_TRUE(recorders[2]->WaitForTasks(InstrumentTaskScpiCommand, 1, 60000));
            release(2);
            ask(0, "*IDN?", 2);
            Add(*object, DisconnectTask());
            ASSERT_TRUE(recorders[0]->WaitForTasks(InstrumentTaskDisconnect, 1, 60000));
            EXPECT_FALSE(object->pInterface->IsConnected(*object)) << "a failed connect holds it";
            expected = {{"", sIdn, sIdn, sIdn}, {}, {sIdn}};
            break;
        }
        for (int o = 0; o < 3; ++o) EXPECT_EQ(outcomes(o), expected[o]) << o;
        EXPECT_EQ(std::count(expected[0].begin(), expected[0].end(), "<none>"), 0);
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
