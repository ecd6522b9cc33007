// Scripts through the real instrument core to a simulated Rigol oscilloscope behind each front
// door: raw TCP on loopback, serial on a pseudo-terminal, VXI-11 with rpcbind in a private
// network, USBTMC on the simulated bus. Each run declares and connects, reads *IDN?, sends a
// command with a variable and a data block, takes a screen copy and a waveform; the stop
// disconnects, and a second run connects without a prepare.
#include "ScriptEngineFixture.h"

#include "common/ImagePluginGdiPlus.h"
#include "common/TestApplication.h"
#include "common/WindowLog.h"
#include "instrument/Instrument.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "script/ScriptInstrument.h"
#include "script/ScriptParser.h"
#include "script/ScriptThread.h"
#include "sim/NetNamespace.h"
#include "sim/RigolScope.h"
#include "sim/ScpiDevice.h"
#include "sim/ScreenCopyAnswers.h"
#include "sim/StreamPeer.h"
#include "sim/Vxi11Server.h"
#include "waveform/ScopeReadSupport.h"
#include "waveform/WaveformReaders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

using namespace InstrumentScript;
using ScriptTest::Parsed;
using ScriptTest::VariableOf;

namespace {

const std::string Body = "string idn\ninteger ch\ndata block\nimage shot\nwaveform w\n"
                         "idn function scpi read *IDN?\n"
                         "function scpi write :CHAN$ch:SCAL 1\n"
                         "function scpi write SIMulate:DATA $block\n"
                         "shot function screencopy\n"
                         "function wait msg checked\n"
                         "w function waveform screen ch1\n";

class ScriptDoors : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { TestApplication::Ensure(); } // the log window of the read table
    void SetUp() override {
        WaveformReaders::Register();
        ImagePluginGdiPlus::RegisterDecoder(); // as the program does at start-up
        scope.Attach(*pDevice);
        Sim::AnswerRigolScreenCopy(*pDevice, Sim::ScreenPicture(800, 480));
        std::string sError;
        pInstance = NewInstance(collector.Window(), sError);
        ASSERT_TRUE(pInstance) << sError;
        collector.Attach(pInstance);
    }
    void TearDown() override {
        std::string sError;
        if (pInstance) DeleteInstance(pInstance, sError);
    }

    bool HasOutput(const std::string& s) const {
        const auto m = collector.Texts(ScriptMessageOutput);
        return std::find(m.begin(), m.end(), s) != m.end();
    }

    // The script parsed (check only) and its parse run ended, which frees data values: values
    // a run should find go in after it.
    std::shared_ptr<uScriptProgram> Parse(const std::string& sScript) {
        collector.Clear();
        collector.SetCheckOnly(true);
        std::string sError;
        EXPECT_TRUE(SetScript(pInstance, sScript, "", sError)) << sError;
        EXPECT_TRUE(collector.WaitFor(ScriptMessageParsed)) << "no parse";
        EXPECT_TRUE(ScriptTest::PumpUntil([&] { return HasOutput("Thread - Warte auf das nächste Skript im Thread."); }));
        std::lock_guard lock(ModuleMutex());
        return pInstance->pProgram;
    }

    // One run of the script up to its message: parse, set the values assignment would set, run,
    // and check what reached the device.
    void RunOnce(const std::string& sDeclaration, bool fFirst) {
        const std::shared_ptr<uScriptProgram> pProgram = Parse(sDeclaration + "\n" + Body);
        ASSERT_TRUE(pProgram);
        std::string sError;
        VariableOf(*pProgram, "ch").Integer = 2;
        VariableOf(*pProgram, "block").Data = DataBuffer::FromText("#14ABCD");
        ASSERT_TRUE(RunScript(pInstance, sError)) << sError;
        ASSERT_TRUE(ScriptTest::PumpUntil(
            [&] {
                return collector.Count(ScriptMessageWaitUser) > 0 || collector.Count(ScriptMessageError) > 0;
            },
            30000));
        ASSERT_EQ(collector.Count(ScriptMessageError), 0u) << collector.Texts(ScriptMessageError)[0];

        const std::string sIdn = pDevice->Idn();
        EXPECT_TRUE(HasOutput("Skriptzeile 1 Ereignis InstrumentTaskConnect - Ein Instrument wurde verbunden: $s - " + sIdn));
        EXPECT_TRUE(HasOutput("Skriptzeile 1 Ereignis InstrumentTaskConnect - Das aktive Instrument ist: $s - "
                              "RIGOL TECHNOLOGIES DS1104Z"));
        EXPECT_EQ(HasOutput("Skriptzeile 1 TaskInstrument - Das Instrument wird vorbereitet."), fFirst);
        EXPECT_EQ(HasOutput("Skriptzeile 1 TaskInstrument - Das Instrument wird verbunden."), !fFirst);
        EXPECT_EQ(VariableOf(*pProgram, "idn").String, sIdn);
        const auto commands = pDevice->Commands();
        EXPECT_NE(std::find(commands.begin(), commands.end(), ":CHAN2:SCAL 1"), commands.end());
        const auto data = pDevice->LastData();
        EXPECT_EQ(std::string(data.begin(), data.end()), "ABCD") << [&] {
            std::string s;
            for (const auto& c : commands) s += "[" + c + "]";
            return s;
        }();
        EXPECT_EQ(VariableOf(*pProgram, "shot").Image.size(), QSize(800, 480));

        // The waveform ends as the core answers it.
        collector.Clear();
        ASSERT_TRUE(RunScript(pInstance, sError)) << sError;
        ASSERT_TRUE(ScriptTest::PumpUntil(
            [&] { return collector.Count(ScriptMessageFinished) > 0 || collector.Count(ScriptMessageError) > 0; },
            30000));
        if (collector.Count(ScriptMessageError) > 0) {
            EXPECT_EQ(collector.Texts(ScriptMessageError)[0].rfind("Script error: ", 0), 0u);
            ScriptTest::PumpUntil([] { return false; }, 50);
            EXPECT_EQ(ScriptTest::Sleeping(*pInstance), eSleep::Result);
        } else {
            const auto lines = collector.Texts(ScriptMessageOutput);
            EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& s) {
                return s.rfind("Skriptzeile 12 Waveform von Waveform - w set $", 0) == 0;
            }));
        }
        const InstrumentObject pObject = FindDeclaration(*pProgram, "$s", true)->instrument->pInstrument;
        ASSERT_TRUE(pObject);
        EXPECT_TRUE(pObject->pInterface->IsConnected(*pObject));
        StopScript(pInstance, sError);
        EXPECT_TRUE(ScriptTest::PumpUntil([&] { return !pObject->pInterface->IsConnected(*pObject); }, 10000))
            << "the stop leaves the instrument connected";
    }

    void RunTwice(const std::string& sDeclaration) {
        RunOnce(sDeclaration, true);
        if (HasFatalFailure()) return;
        RunOnce(sDeclaration, false);
    }

    bool fStarted = (ScriptTest::StartEngine(), true); // a fresh hub before the collector binds
    std::shared_ptr<Sim::ScpiDevice> pDevice = std::make_shared<Sim::ScpiDevice>();
    Sim::RigolScope scope{Sim::RigolScope::eFamily::DS1000Z};
    ScriptTest::Collector collector;
    ScriptInstance pInstance;
};

TEST_F(ScriptDoors, RawTcpOnLoopback) {
    ScopeRead::Door door;
    const uTaskPrepare prepare = door.Start(ScopeRead::eDoor::RawTcp, pDevice);
    RunTwice("instrument $s rawtcp 127.0.0.1 " + std::to_string(prepare.rawTcp.iPort) + " 127.0.0.1");
}

TEST_F(ScriptDoors, SerialOnAPseudoTerminal) {
    ScopeRead::Door door;
    const uTaskPrepare prepare = door.Start(ScopeRead::eDoor::Serial, pDevice);
    RunTwice("instrument $s serial " + prepare.serial.sPort + " 115200");
    if (HasFatalFailure()) return;
    // Noise with a line feed (a line at another speed) is no instrument: the connect says so.
    pDevice->SetIdn(std::string("\x80\xF8\x00\xFE\x78", 5));
    Parse("instrument $s serial " + prepare.serial.sPort + " 115200");
    std::string sError;
    ASSERT_TRUE(RunScript(pInstance, sError)) << sError;
    EXPECT_TRUE(ScriptTest::PumpUntil([&] { return collector.Count(ScriptMessageFinished) > 0; }));
    EXPECT_TRUE(HasOutput("Skriptzeile 1 Ereignis InstrumentTaskConnect - Ein Instrument wurde verbunden: $s - The "
                          "identification (*IDN?) at " + prepare.serial.sPort + " got 6 bytes that are no text: check "
                          "the serial line's settings (baud rate 115200, 8 data bits, no parity, end text line feed)."))
        << ::testing::PrintToString(collector.Texts(ScriptMessageOutput));
    StopScript(pInstance, sError);
}

TEST_F(ScriptDoors, UsbTmcOnTheSimulatedBus) {
    ScopeRead::Door door;
    door.Start(ScopeRead::eDoor::Usb, pDevice);
    RunTwice("instrument $s usbtmc 0x1AB1 04ce DS1ZA000000001");
}

TEST_F(ScriptDoors, Vxi11WithThePortmapper) {
    std::string sWhy;
    if (!Sim::EnterPrivateNetwork(sWhy)) GTEST_SKIP() << "no private network: " << sWhy;
    Sim::Rpcbind rpcbind;
    if (!rpcbind.Start(sWhy)) GTEST_SKIP() << "no rpcbind: " << sWhy;
    Sim::Vxi11Server server(pDevice);
    Sim::Vxi11Server::uConfig config;
    config.fRegister = true;
    ASSERT_TRUE(server.Start(config, sWhy)) << sWhy;
    RunTwice("instrument $s vxi 127.0.0.1 0 127.0.0.1");
}

// A read stores its whole answer or nothing: a chained read every answer of its message, joined
// by ";", on every door however the instrument frames them (one message; a message per answer,
// in one write or with pauses); a chain short of an answer, or an answer its time-out cut (on a
// stream door), is a script error that says so, and the variable keeps its value. A read behind a
// query written without reading gets its own answer.
TEST_F(ScriptDoors, AReadStoresItsWholeAnswerOrIsAScriptError) {
    // Brief only where a time-out ends the read; an answer that comes may come late.
    const ScopeRead::PatientTimeouts patient(5000);
    pDevice->SetBareAnswer("CUT?", {'R', 'I', 'G', 'O', 'L'}); // its end never comes
    for (const auto eDoor : {ScopeRead::eDoor::RawTcp, ScopeRead::eDoor::Vxi11, ScopeRead::eDoor::Serial,
                             ScopeRead::eDoor::Usb}) {
        ScopeRead::Door door;
        const uTaskPrepare p = door.Start(eDoor, pDevice);
        const std::string sAt[] = {"rawtcp 127.0.0.1 " + std::to_string(p.rawTcp.iPort),
                                   "vxi 127.0.0.1 " + std::to_string(p.vxi11.iCorePort) + " 127.0.0.1",
                                   "serial " + p.serial.sPort, "usbtmc 0x1AB1 04ce DS1ZA000000001"};
        // The variable's value after the run, and the run's first error.
        const auto read = [&](const std::string& sQuery, const std::string& sBefore = "") {
            const std::shared_ptr<uScriptProgram> pProgram = Parse("instrument $s " + sAt[static_cast<int>(eDoor)] +
                                                                   "\nstring w\n" + sBefore + "w function scpi read " + sQuery);
            std::string sError;
            VariableOf(*pProgram, "w").String = "kept";
            EXPECT_TRUE(RunScript(pInstance, sError) && ScriptTest::PumpUntil([&] {
                return collector.Count(ScriptMessageFinished) > 0 || collector.Count(ScriptMessageError) > 0;
            }));
            // The stop lets the instrument go: the door outlives its disconnect.
            const InstrumentObject pObject = FindDeclaration(*pProgram, "$s", true)->instrument->pInstrument;
            StopScript(pInstance, sError);
            EXPECT_TRUE(pObject && ScriptTest::PumpUntil([&] { return !pObject->pInterface->IsConnected(*pObject); }));
            const auto errors = collector.Texts(ScriptMessageError);
            return VariableOf(*pProgram, "w").String + "|" + (errors.empty() ? "" : errors[0]);
        };
        // A NUL ahead of the answer pads it: the value is the identification.
        pDevice->SetNuls({1, 0, 0});
        EXPECT_EQ(read("*IDN?"), pDevice->Idn() + "|");
        pDevice->SetNuls({});
        const std::string sChain = "*IDN?;:TIM:SCAL?;:CHAN1:DISP?";
        const std::string sJoined = read(sChain);
        EXPECT_EQ(sJoined.rfind(pDevice->Idn() + ";", 0), 0u) << sJoined;
        EXPECT_EQ(std::count(sJoined.begin(), sJoined.end(), ';'), 2) << sJoined;
        for (const int iPauseMs : {-1, 20}) {
            pDevice->SetSeparateAnswers(iPauseMs);
            EXPECT_EQ(read(sChain), sJoined) << static_cast<int>(eDoor) << " " << iPauseMs;
            EXPECT_EQ(read("*IDN?", "function scpi write *OPC?;:ACQ:MDEP?\n"), pDevice->Idn() + "|") << iPauseMs;
        }
        pDevice->SilenceQuery("CHAN1:DISP?");
        std::string sShort;
        {
            const ScopeRead::PatientTimeouts brief(300);
            sShort = read(sChain);
        }
        EXPECT_TRUE(sShort.starts_with("kept|") && sShort.find("answers received / expected: 2 / 3") != std::string::npos)
            << sShort;
        pDevice->SilenceQuery("");
        pDevice->SetSeparateAnswers(0);
        // A query written without reading owes its answer, however late: the read gets its own.
        const std::string sOwn = read(":ACQ:MDEP?;:CHAN1:DISP?");
        if (door.Stream()) door.Stream()->SetLateness(100);
        for (int iRun = 0; iRun < 5; ++iRun) {
            const int iConnections = door.Stream() ? door.Stream()->ConnectionsAccepted() : 0;
            EXPECT_EQ(read(":ACQ:MDEP?;:CHAN1:DISP?", "function scpi write :TIM:SCAL?\n"), sOwn) << iRun;
            // Awaited on the run's one connection, not renewed.
            if (eDoor == ScopeRead::eDoor::RawTcp) EXPECT_EQ(door.Stream()->ConnectionsAccepted(), iConnections + 1);
        }
        if (!door.Stream()) continue;
        door.Stream()->SetLateness(0);
        std::string sCut;
        {
            const ScopeRead::PatientTimeouts brief(300);
            sCut = read("CUT?");
        }
        EXPECT_TRUE(sCut.starts_with("kept|") &&
                    sCut.find("The time-out (300 ms) cut the answer after 5 bytes. - ") != std::string::npos)
            << sCut;
        // A written query the instrument leaves unanswered is awaited from its write: on raw TCP
        // for the time-out it was sent with, then the connection is renewed; on a serial line,
        // which cannot be renewed, for the interface's. The log says how long and that it did not
        // come.
        const ScopeRead::PatientTimeouts patient(800);
        std::vector<std::string> log;
        WindowLog::Create(); // its window number: the lines come to the binding
        EventHub::Bind(EventLogLine, WindowLog::WindowNumber(),
                       [&](const EventHub::uEvent& e) { log.push_back(*e.pData.Get<std::string>()); });
        EXPECT_EQ(read("*IDN?", "$s set timeout 250\nfunction scpi write :FOO:BAR?\n"), pDevice->Idn() + "|");
        EventHub::Unbind(EventLogLine, WindowLog::WindowNumber());
        const std::string sAwaited = "The answer to \":FOO:BAR?\", sent without reading it, was awaited for ";
        const auto it = std::find_if(log.begin(), log.end(), [&](const std::string& s) { return s.find(sAwaited) != std::string::npos; });
        ASSERT_NE(it, log.end()) << ::testing::PrintToString(log);
        const int iWaitedMs = std::atoi(it->c_str() + it->find(sAwaited) + sAwaited.size());
        const bool fRenewed = it->ends_with(": it did not come; the connection was renewed.");
        const bool fRaw = eDoor == ScopeRead::eDoor::RawTcp;
        EXPECT_TRUE((fRaw ? iWaitedMs < 500 : iWaitedMs >= 500) && (fRenewed || it->ends_with(": it did not come.")) &&
                    fRenewed == fRaw)
            << *it;
    }
}

} // namespace
