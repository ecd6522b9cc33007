// The waveform pump with real timers and the event hub, driving an instrument object connected
// over raw TCP to the simulated instrument: a hand-built list worked off command by command, a
// cancelled 50 MB block, a silent instrument, and another client's transfer on the same
// instrument that outlives the end of a read.
#include "PumpTestSupport.h"

#include "common/EventData.h"
#include "common/TestApplication.h"
#include "instrument/Instrument.h"
#include "instrument/TaskRecords.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowRegistry.h"
#include "sim/RawTcpServer.h"
#include "transport/TransferStatus.h"
#include "windows/capture/WaveformPump.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

using PumpTest::End;
using PumpTest::Request;
using PumpTest::Wait;

namespace {

std::vector<std::uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

class WaveformPumpLiveTest : public ::testing::Test {
  protected:
    void SetUp() override {
        TestApplication::EnsureCore();
        EventHub::Init();
        std::string sError;
        ASSERT_TRUE(server.Start(sError)) << sError;
        server.Device().SetIdn("RIGOL TECHNOLOGIES,DS1104Z,DS1ZA000000001,00.04.05.SP2");
        iWindow = WindowRegistry::NewWindowNumber();
        pObject = Instrument::Create(sError);
        ASSERT_TRUE(pObject) << sError;
        uTaskPrepare prepare;
        prepare.head = {InstrumentTaskPrepare, 0, WindowNobody};
        prepare.eProtocol = prepare.eInterface = InterfaceRawTcp;
        prepare.rawTcp = {"127.0.0.1", "127.0.0.1", server.Port()};
        ASSERT_NE(pObject->pInterface->AddTask(*pObject, prepare, sError), 0) << sError;
        ASSERT_NE(pObject->pInterface->AddTask(*pObject, uTaskConnect{{InstrumentTaskConnect, 0, WindowNobody}}, sError),
                  0);
        ASSERT_TRUE(RunUntil([&] { return pObject->pInterface->IsConnected(*pObject); }, 10000));
        pump.iWindow = iWindow;
        pump.pWindow = &window;
        pump.pTimers = &timers;
        WaveformPump::SetInstrument(pump, {pObject, true, true, ModelRigolDS1000Z, "RIGOL TECHNOLOGIES", "DS1104Z"});
        WaveformPump::Bind(pump);
        iFirstCommand = server.Device().Commands().size();
    }
    void TearDown() override {
        // A failed assertion leaves the test early: nothing it bound may outlive it.
        WaveformPump::SetChecks({});
        WaveformPump::StopRequestData(pump);
        WaveformPump::Unbind(pump);
        WindowRegistry::Release(iWindow);
        if (iOther != 0) WindowRegistry::Release(iOther);
        std::string sError;
        Instrument::ReleaseAll(true, 0, sError);
        server.Stop();
        Utility::EventDataClear();
    }
    // Runs the Qt loop until the condition holds; false after iMs.
    static bool RunUntil(const std::function<bool()>& condition, int iMs) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(iMs);
        while (!condition()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        return true;
    }
    bool Idle() const { return !WindowRegistry::TimerActive(iWindow, WaveformPump::TimerPump) && !pump.fAutomatic; }
    // Idle with no event on its way: a timer that fired has already left the registry while its
    // event still waits in the hub's queue, and the pump steps on when it arrives.
    bool Settled() const { return Idle() && EventHub::Pending() == 0; }
    // Sets the instrument's receive time-out (ms); done before the read's tasks, in queue order.
    void SetTimeout(int iMs) {
        std::string sError;
        ASSERT_NE(pObject->pInterface->AddTask(*pObject, uTaskTimeout{{InstrumentTaskTimeout, 0, WindowNobody}, iMs},
                                               sError),
                  0)
            << sError;
    }
    std::vector<std::string> CommandsSinceStart() {
        const auto all = server.Device().Commands();
        return {all.begin() + static_cast<std::ptrdiff_t>(iFirstCommand), all.end()};
    }
    bool LogHas(const std::string& sPart) const {
        for (const std::string& s : window.mLog)
            if (s.find(sPart) != std::string::npos) return true;
        return false;
    }

    Sim::RawTcpServer server;
    int iWindow = 0;
    InstrumentObject pObject;
    PumpTest::RecordingWindow window;
    WaveformWindowTimers timers{0};
    uWaveformPump pump;
    std::size_t iFirstCommand = 0;
    int iOther = 0; // a second client's window, released by TearDown
};

// Only a guard against a hang: the large blocks below must not run into the default time-out
// of a few seconds on a busy machine.
constexpr int GenerousTimeout = 60000;

TEST_F(WaveformPumpLiveTest, AHandBuiltListReachesTheInstrumentCommandByCommand) {
    timers = WaveformWindowTimers(iWindow);
    server.Device().SetAnswer(":WAV:DATA?", Bytes("#15hello\n"));
    server.Device().SetAnswer(":TRIG:STAT?", Bytes("WAIT\n"));
    int iPolls = 0;
    // Two "WAIT" answers, then the instrument has stopped.
    EventHub::Bind(EventTaskFinished, iWindow, [&](const EventHub::uEvent& event) {
        const bool fPoll = !pump.mRequestList.empty() && pump.mRequestList.front().eKind == RequestOptionWaitTrigger;
        WaveformPump::EventDataReceived(pump, event);
        if (fPoll && event.iType == InstrumentTaskScpiCommand && ++iPolls == 2)
            server.Device().SetAnswer(":TRIG:STAT?", Bytes("STOP\n"));
    });
    std::string sData;
    WaveformPump::SetChecks({.fnWaveform = [&](uWaveformPump&, const std::uint8_t* p, std::size_t n) {
                                 sData.assign(reinterpret_cast<const char*>(p), n);
                             }});
    uWaveformRequest poll = Request(RequestOptionWaitTrigger, ":TRIG:STAT?", true);
    poll.sResponse = "STOP";
    window.mBuild = {Request(RequestSetup, ":STOP"), Wait(100), Request(RequestWaveform, ":WAV:DATA?", true), poll,
                     End()};
    WaveformPump::StartReading(pump, {});
    ASSERT_TRUE(RunUntil([&] { return Settled() && window.mBuild.size() && pump.mRequestList.empty(); }, 60000));
    EXPECT_EQ(CommandsSinceStart(),
              (std::vector<std::string>{":STOP", ":WAV:DATA?", ":TRIG:STAT?", ":TRIG:STAT?", ":TRIG:STAT?"}));
    EXPECT_EQ(sData, "#15hello\n");
    EXPECT_EQ(iPolls, 3);
    EXPECT_FALSE(window.mGadgets.back());
    EXPECT_TRUE(pump.mOutstanding.empty());
    WaveformPump::SetChecks({});
}

TEST_F(WaveformPumpLiveTest, CancelDuringALargeBlockDropsItAndTheNextReadIsRight) {
    timers = WaveformWindowTimers(iWindow);
    SetTimeout(GenerousTimeout);
    std::vector<std::string> seen;
    WaveformPump::SetChecks({.fnVisibleChannels = [&](uWaveformPump&, const std::uint8_t* p, std::size_t n) {
        seen.emplace_back(reinterpret_cast<const char*>(p), std::min<std::size_t>(n, 64));
    }});
    // The block's first megabyte goes out, the rest waits until the read was cancelled.
    std::atomic<bool> fRelease{false};
    server.AddFault({Sim::eStreamFault::Hold, 1 << 20, 0, [&] { return fRelease.load(); }});
    int iReceiving = 0;
    EventHub::Bind(EventTransferStatus, iWindow, [&](const EventHub::uEvent& event) {
        WaveformPump::EventDataSent(pump, event);
        if (event.iType == TransferStatus::TransferReceiving && pump.iCurrentTask != 0) ++iReceiving;
    });
    window.mBuild = {Request(RequestVisibleChannels, "SIMulate:BLOCk? 50000000", true), End()};
    WaveformPump::StartReading(pump, {});
    const bool fUnderWay = RunUntil([&] { return iReceiving > 0; }, 60000);
    fRelease = true;
    ASSERT_TRUE(fUnderWay);
    EXPECT_TRUE(std::any_of(window.mStatus.begin(), window.mStatus.end(),
                            [](const std::string& s) { return s.rfind("Data received", 0) == 0; }));
    WaveformPump::Cancel(pump);
    ASSERT_TRUE(RunUntil([&] { return pump.mOutstanding.empty(); }, 60000));
    EXPECT_TRUE(seen.empty());
    EXPECT_TRUE(pump.answer.empty());
    window.mBuild = {Request(RequestVisibleChannels, "SIMulate:ECHO? next", true), End()};
    WaveformPump::StartReading(pump, {});
    ASSERT_TRUE(RunUntil([&] { return Settled() && pump.mRequestList.empty(); }, 60000));
    EXPECT_EQ(seen, std::vector<std::string>{"next\n"});
    WaveformPump::SetChecks({});
}

TEST_F(WaveformPumpLiveTest, ASilentInstrumentEndsTheReadWithItsTimeOutLogged) {
    timers = WaveformWindowTimers(iWindow);
    SetTimeout(300);
    server.Device().SwallowAnswers(1);
    window.mBuild = {Request(RequestVisibleChannels, "SIMulate:ECHO? lost", true), Request(RequestSetup, ":RUN"),
                     End()};
    WaveformPump::StartReading(pump, {});
    ASSERT_TRUE(RunUntil([&] { return Settled() && pump.mOutstanding.empty(); }, 60000));
    EXPECT_TRUE(LogHas("Error: InstrumentDefault::TaskScpiCommand: (0) Error sending and receiving the data."));
    const std::vector<std::string> commands = CommandsSinceStart();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.back(), "SIMulate:ECHO? lost"); // ":RUN" was never sent
}

TEST_F(WaveformPumpLiveTest, AnotherClientsTransferSurvivesTheEndOfARead) {
    timers = WaveformWindowTimers(iWindow);
    SetTimeout(GenerousTimeout);
    iOther = WindowRegistry::NewWindowNumber();
    std::vector<std::int64_t> sizes;
    EventHub::Bind(EventTaskFinished, iOther, [&](const EventHub::uEvent& event) {
        if (const auto* p = event.pData.Get<uTaskResultScpiCommand>())
            sizes.push_back(p->fRequestFinished ? p->iRequestTransferred : -1);
        else
            sizes.push_back(-2);
    });
    window.mBuild = {Request(RequestVisibleChannels, "SIMulate:ECHO? mine", true), End()};
    // The other client's block waits behind its first megabyte until this read has ended.
    std::atomic<bool> fRelease{false};
    server.AddFault({Sim::eStreamFault::Hold, 1 << 20, 1, [&] { return fRelease.load(); }});
    bool fQueued = false;
    EventHub::Bind(EventTaskFinished, iWindow, [&](const EventHub::uEvent& event) {
        WaveformPump::EventDataReceived(pump, event);
        if (fQueued) return;
        // The other client's long transfer starts as the read's last answer arrives.
        uTaskScpiCommand other;
        other.head = {InstrumentTaskScpiCommand, 0, iOther};
        other.fSend = 1;
        other.sCommand = "SIMulate:BLOCk? 20000000";
        other.fRequestData = 1;
        std::string sError;
        fQueued = pObject->pInterface->AddTask(*pObject, other, sError) != 0;
    });
    WaveformPump::StartReading(pump, {});
    const bool fEnded = RunUntil([&] { return fQueued && Settled(); }, 60000);
    fRelease = true;
    ASSERT_TRUE(fEnded);
    EXPECT_TRUE(sizes.empty()); // still under way when the read ended
    ASSERT_TRUE(RunUntil([&] { return sizes.size() == 1; }, 120000));
    EXPECT_TRUE(Idle());
    EXPECT_GE(sizes[0], 20000010); // header and data, answered in full
}

} // namespace
