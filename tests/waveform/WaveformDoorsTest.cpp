// Waveform reads through AddTask and the event hub over each front door of the simulated
// oscilloscopes (raw TCP, VXI-11, a pseudo-terminal, USBTMC), and a whole 24 M-point memory.
#include "ScopeReadSupport.h"

#include "common/TestApplication.h"
#include "common/WindowLog.h"
#include "platform/ProgramEvents.h"
#include "sim/RawTcpServer.h"
#include "sim/RigolScope.h"
#include "sim/RtbScope.h"
#include "sim/StreamPeer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <chrono>
#include <optional>
#include <thread>

namespace {

using ScopeRead::eDoor;

class WaveformDoorsTest : public ::testing::TestWithParam<std::tuple<eDoor, bool>> {
  protected:
    void SetUp() override {
        TestApplication::Ensure(); // the log window of the edge rows
        ScopeRead::Start();
        pDevice = std::make_shared<Sim::ScpiDevice>();
        const bool fRigol = std::get<1>(GetParam());
        if (fRigol) {
            pRigol = std::make_unique<Sim::RigolScope>(Sim::RigolScope::eFamily::DS1000ZPlus);
            pRigol->ShowChannel(2, true);
            pRigol->Attach(*pDevice);
        } else {
            pRtb = std::make_unique<Sim::RtbScope>(true);
            pRtb->ShowChannel(2, true);
            pRtb->Attach(*pDevice);
        }
    }
    void TearDown() override {
        pSession.reset();
        pDoor.reset();
    }
    // Starts the door and returns the prepare task that reaches it.
    uTaskPrepare StartDoor() { return pDoor->Start(std::get<0>(GetParam()), pDevice); }

    std::shared_ptr<Sim::ScpiDevice> pDevice;
    std::unique_ptr<Sim::RigolScope> pRigol;
    std::unique_ptr<Sim::RtbScope> pRtb;
    std::unique_ptr<ScopeRead::Door> pDoor = std::make_unique<ScopeRead::Door>();
    std::unique_ptr<ScopeRead::Session> pSession;
};

TEST_P(WaveformDoorsTest, AScreenReadGivesTheInstrumentsSamples) {
    const bool fRigol = std::get<1>(GetParam());
    const uTaskPrepare prepare = StartDoor();
    pSession = std::make_unique<ScopeRead::Session>();
    std::string sError;
    ASSERT_TRUE(pSession->Open(prepare, fRigol ? ModelRigolDS1000ZPlus : ModelRohdeSchwarzRTB2000Ch4, sError)) << sError;
    pDevice->SetNuls({1, 0, 0}); // a leading NUL is no part of an answer, not even of its text
    const auto result = pSession->Read(ScopeRead::Task(DataSourceScreen, 4));
    ASSERT_TRUE(result.pData) << ::testing::PrintToString(result.errors);
    ASSERT_EQ(result.pData->AnalogChannels.size(), 2u);
    for (const auto& channel : result.pData->AnalogChannels) {
        const int c = static_cast<int>(channel.eWaveform - WaveformChannel1 + 1);
        ASSERT_EQ(channel.samples.size(), 1200u);
        for (std::size_t i = 0; i < 1200; ++i) {
            const std::uint8_t expected =
                fRigol ? Sim::RigolScope::AnalogSample(c, i) : static_cast<std::uint8_t>(Sim::RtbScope::Value(c, i) >> 8);
            ASSERT_EQ(channel.samples[i], expected) << c << " " << i;
        }
    }
}

// A chained query reads through every door as the one joined message does, in every framing,
// and ends as soon as its last answer is in: with a time-out of 20 s, a read that waited for one
// answer more would take it all. A chain with one query the instrument does not know is a
// time-out that counts the answers, its whole ones kept only as the part a SCPI window shows,
// and costs one wait: the exchange after it waits for nothing, but on a serial line, which awaits
// the missing answer for the interface's time-out first.
TEST_P(WaveformDoorsTest, ChainedAnswersAsSeparateMessagesReadAsTheJoinedOne) {
    using Clock = std::chrono::steady_clock;
    const bool fRigol = std::get<1>(GetParam());
    auto pPatient = std::make_unique<ScopeRead::PatientTimeouts>(20000);
    std::string sError;
    const auto open = [&] {
        pSession = std::make_unique<ScopeRead::Session>();
        ASSERT_TRUE(pSession->Open(StartDoor(), fRigol ? ModelRigolDS1000ZPlus : ModelRohdeSchwarzRTB2000Ch4, sError))
            << sError;
    };
    open();
    const std::string sQuery = fRigol ? ":WAV:SOUR CHAN2;:WAV:DATA?;:WAV:PRE?;:CHAN2:UNIT?"
                                      : ":CHAN2:DATA?;:CHAN2:DATA:HEAD?;YRES?;YOR?;YINC?;XOR?;XINC?";
    const std::int64_t iAnswers = fRigol ? 3 : 7;
    const std::string sJoined = pSession->Ask(sQuery);
    ASSERT_GT(sJoined.size(), 1000u);
    const std::size_t iDigits = static_cast<std::size_t>(sJoined[1] - '0');
    const std::string sTail = sJoined.substr(2 + iDigits + std::stoull(sJoined.substr(2, iDigits)));
    EXPECT_EQ(std::count(sTail.begin(), sTail.end(), ';'), iAnswers - 1) << sTail;
    const struct {
        bool fBlockLineEnd; // the block keeps its own line end, the rest in the same message
        int iPauseMs;       // > 0: each answer a message of its own
    } framings[] = {{true, 0}, {false, 20}, {false, -1}};
    const std::string sQuoted = pSession->Ask(":SIM:ECHO? \"A;B\";*IDN?");
    ASSERT_EQ(sQuoted.substr(0, 6), "\"A;B\";");
    // Its queries alone are awaited: a ";" or "?" inside string data or an indefinite block is data.
    const std::string sIdnAnswer = pSession->Ask("*IDN?");
    for (const char* pMessage :
         {":DISP:TEXT 'a;SYST:ERR? x';*IDN?", "*IDN?;:DISP:TEXT 'a'';SYST:ERR? x'", "*IDN?;:SIM:DATA #0A;*IDN?"})
        EXPECT_EQ(pSession->Ask(pMessage), sIdnAnswer) << pMessage;
    for (const auto& f : framings) {
        pDevice->SetBlockLineEnd(f.fBlockLineEnd);
        pDevice->SetSeparateAnswers(f.iPauseMs);
        const Clock::time_point start = Clock::now();
        EXPECT_TRUE(pSession->Ask(sQuery) == sJoined) << f.iPauseMs;
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(10)) << f.iPauseMs;
        // A ";" inside string data separates no answer: the answer after it is this one's too.
        EXPECT_EQ(pSession->Ask(":SIM:ECHO? \"A;B\";*IDN?"), sQuoted) << f.iPauseMs;
        EXPECT_EQ(pSession->Ask("*IDN?").substr(0, 5), fRigol ? "RIGOL" : "Rohde") << f.iPauseMs;
    }

    pPatient.reset();
    const ScopeRead::PatientTimeouts brief(1500);
    pSession.reset();
    pDoor = std::make_unique<ScopeRead::Door>();
    open();
    pDevice->SetSeparateAnswers(0);
    const std::string sBoth = pSession->Ask("*OPC?;*IDN?");
    const std::string sIdn = pSession->Ask("*IDN?");
    const auto failed = [&](const std::string& sCommand, const std::string& sText) {
        uTaskScpiCommand task;
        task.head.eTaskType = InstrumentTaskScpiCommand;
        task.fSend = task.fRequestData = 1;
        task.sCommand = sCommand;
        const ScopeRead::uFinished r = pSession->Run(task);
        const auto* p = r.event.pData.Get<uTaskResultScpiCommand>();
        EXPECT_TRUE(p && !p->fRequestFinished && r.errors.size() == 1 && r.errors[0].find(sText) != std::string::npos)
            << sCommand << ": " << ::testing::PrintToString(r.errors);
        return p ? std::string(p->requestData.view().substr(0, static_cast<std::size_t>(p->iRequestTransferred)))
                 : std::string();
    };
    for (const int iPauseMs : {0, 20}) {
        pDevice->SetSeparateAnswers(iPauseMs);
        EXPECT_EQ(failed("*OPC?;*IDN?;:SIM:NONE?", " bytes, answers received / expected: 2 / 3. - "), sBoth)
            << iPauseMs;
        const Clock::time_point start = Clock::now();
        EXPECT_EQ(pSession->Ask("*IDN?"), sIdn) << iPauseMs;
        // A serial line awaits the missing answer for the time-out once; no other door waits.
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(std::get<0>(GetParam()) == eDoor::Serial ? 2250 : 750))
            << iPauseMs;
    }
    failed("*OPC?;:SIM:NONE?", " bytes, answers received / expected: 1 / 2. - ");
    if (std::get<0>(GetParam()) == eDoor::RawTcp || std::get<0>(GetParam()) == eDoor::Serial) {
        pDevice->SetBareAnswer("CUT?", {'R', 'I', 'G', 'O', 'L'}); // its end never comes
        failed("*OPC?;*IDN?;:SIM:NONE?", "answers received / expected: 2 / 3");
        // Cut inside its last message: the whole ones before it count, as on every door.
        EXPECT_EQ(failed("CUT?;*OPC?;*IDN?", " bytes, answers received / expected: 2 / 3. - ").substr(0, 5), "RIGOL");
        // A message the instrument sent unasked behind the answer is no part of it, nor of the next.
        pDevice->SetBareAnswer("TWO?", {'A', '\n', 'B', '\n'});
        EXPECT_EQ(pSession->Ask("TWO?"), "A\n");
        EXPECT_EQ(pSession->Ask("*IDN?"), sIdn);
    }
}

// The edges of a message read alike on every door, sent as one message and as messages of their
// own: a quote that begins no string data is text, also behind white space; a message that holds
// only its end is an empty answer, also right behind a block; whole messages behind an answer are
// dropped at once with a note, and a block's second line end without one, with no wait (a time-out
// of 20 s) and no new connection, the same answer whenever that line end comes; a block that runs
// past its message takes the next one's bytes, so its chain is short on every door; a message still
// arriving behind an answer is owed, never the next answer's.
TEST_P(WaveformDoorsTest, TheEdgesOfAMessageReadAlikeOnEveryDoor) {
    if (!std::get<1>(GetParam())) GTEST_SKIP() << "the framing is the device's, whatever the family";
    using Clock = std::chrono::steady_clock;
    std::vector<std::string> log;
    WindowLog::Create(); // the log's window number: its lines come to the binding below
    EventHub::Bind(EventLogLine, WindowLog::WindowNumber(), [&](const EventHub::uEvent& event) {
        if (const auto* p = event.pData.Get<std::string>()) log.push_back(*p);
    });
    const auto text = [](const std::string& s) { return s.substr(0, s.find_last_not_of('\n') + 1); };
    const auto bytes = [](const std::string& s) { return std::vector<std::uint8_t>(s.begin(), s.end()); };
    pDevice->SetAnswer("QS?", {'s', '"'}); // an inch sign
    pDevice->SetAnswer("QB?", {'b'});
    pDevice->SetAnswer("QC?", {'c'});
    pDevice->SetAnswer("QE?", {'\n'});            // an empty text
    pDevice->SetAnswer("QD?", bytes("#15hello")); // a block
    pDevice->SetAnswer("QX?", bytes("1, \"x;y\""));
    pDevice->SetAnswer("QL?", {'#', '1', '5', 'x'}); // a label that reads as a block running on
    pDevice->SetBareAnswer("QA?", {'a', '\n', 'X', '\n', 'Y', '\n'});
    pDevice->SetBareAnswer("QK?", {'#', '1', '3', 'a', 'b', 'c', '\n', '\n'});
    pDevice->SetBareAnswer("QR?", bytes("a\nX\nPART\n"));
    pDevice->SetAnswer("QT?", bytes("a;b"));
    pDevice->SetAnswer("LATE?", bytes("late"));
    Sim::StreamPeer* pStream = nullptr;
    std::unique_ptr<ScopeRead::PatientTimeouts> pTimeouts;
    std::string sError;
    const auto open = [&](int iTimeoutMs, std::int64_t eModel = ModelRigolDS1000ZPlus) {
        pTimeouts.reset();
        pTimeouts = std::make_unique<ScopeRead::PatientTimeouts>(iTimeoutMs);
        pSession.reset();
        pDoor = std::make_unique<ScopeRead::Door>();
        pSession = std::make_unique<ScopeRead::Session>();
        ASSERT_TRUE(pSession->Open(StartDoor(), eModel, sError)) << sError;
        pStream = pDoor->Stream();
    };
    // The answer, told from none: "failed [part]: " with the errors.
    const auto answer = [&](const std::string& sCommand, std::int64_t iTimeoutMs = 0) {
        uTaskScpiCommand task;
        task.head.eTaskType = InstrumentTaskScpiCommand;
        task.fSend = task.fRequestData = 1;
        task.sCommand = sCommand;
        task.iTimeout = iTimeoutMs;
        const ScopeRead::uFinished r = pSession->Run(task);
        const auto* p = r.event.pData.Get<uTaskResultScpiCommand>();
        const std::string sAnswer =
            p ? std::string(p->requestData.view().substr(0, static_cast<std::size_t>(p->iRequestTransferred))) : "";
        if (!p || !p->fRequestFinished || !r.errors.empty())
            return "failed [" + sAnswer + "]: " + ::testing::PrintToString(r.errors);
        return sAnswer;
    };
    // A gate that opens iMs after it is first asked, and then once every iStepMs (0: stays open).
    const auto after = [](int iMs, int iStepMs = 0) {
        return [iMs, iStepMs, at = std::optional<Clock::time_point>()]() mutable {
            if (!at) at = Clock::now() + std::chrono::milliseconds(iMs);
            if (Clock::now() < *at) return false;
            if (iStepMs > 0) *at = Clock::now() + std::chrono::milliseconds(iStepMs);
            return true;
        };
    };
    open(1000);
    const std::string sIdn = text(pSession->Ask("*IDN?"));
    for (const int iPauseMs : {0, -1}) {
        pDevice->SetSeparateAnswers(iPauseMs);
        // The block takes "x", the line end and the next answer's first bytes on every door.
        const std::string sShort = answer("QL?;*IDN?");
        const std::string sEnd = std::get<0>(GetParam()) == eDoor::Usb ? "]: " : "\n]: "; // USBTMC drops it
        EXPECT_TRUE(sShort.starts_with("failed [#15x" + std::string(iPauseMs ? "\n" : ";") + sIdn + sEnd) &&
                    sShort.find("answers received / expected: 1 / 2") != std::string::npos)
            << iPauseMs << ": " << sShort;
        if (pStream) {
            // Behind the answer a whole message and part of one; the rest of the part comes later.
            pStream->AddFault({Sim::eStreamFault::Split, 6});
            EXPECT_EQ(pSession->Ask("QR?"), "a\n") << iPauseMs;
            EXPECT_EQ(text(pSession->Ask("*IDN?")), sIdn) << iPauseMs;
            // The second answer of a chain trickles in after the time-out, a piece every 40 ms: all
            // of it is the chain's, none the next request's.
            pStream->AddFault({Sim::eStreamFault::Trickle, 2, 0, after(1300, 40)});
            EXPECT_TRUE(answer("*OPC?;LATE?").starts_with("failed")) << iPauseMs;
        }
        EXPECT_EQ(text(pSession->Ask("*IDN?")), sIdn) << iPauseMs;
    }
    if (!pStream) {
        // Messages ended by END alone: no line feed that never came.
        pDevice->SetSeparateAnswers(-1);
        pDevice->SetAnswerEnd("");
        EXPECT_EQ(answer("*OPC?;*IDN?"), "1;" + sIdn);
        const std::string sCut = answer("*OPC?;*IDN?;:SIM:NONE?"); // and none cut by the time-out
        EXPECT_TRUE(sCut.starts_with("failed [1;" + sIdn + "]: ")) << sCut;
        pDevice->SetAnswerEnd("\n");
    }

    open(20000);
    const Clock::time_point start = Clock::now();
    for (const int iPauseMs : {0, -1}) {
        pDevice->SetSeparateAnswers(iPauseMs);
        EXPECT_EQ(text(pSession->Ask("QS?;QB?")), "s\";b") << iPauseMs;
        EXPECT_EQ(text(pSession->Ask("QE?;*IDN?")), ";" + sIdn) << iPauseMs;
        EXPECT_EQ(text(answer("QD?")), "#15hello") << iPauseMs;
        EXPECT_EQ(text(answer("QE?")), "") << iPauseMs;
        EXPECT_EQ(text(answer("QD?;QE?")), "#15hello;") << iPauseMs;
        EXPECT_EQ(text(answer("QX?;QB?;QC?")), "1, \"x;y\";b;c") << iPauseMs;
        EXPECT_EQ(text(answer("QB?")), "b") << iPauseMs;
        // A chain's answer ends as a single one does on its door.
        EXPECT_EQ(answer("QB?;QC?"), "b;" + answer("QC?")) << iPauseMs;
        if (iPauseMs != 0) {
            // One message brings both answers, an unasked third comes behind it.
            EXPECT_EQ(text(answer("QT?;QC?")), "a;b");
            EXPECT_EQ(text(answer("*IDN?")), sIdn);
        }
        EventHub::Pump();
        log.clear();
        EXPECT_EQ(pSession->Ask("QA?").substr(0, 2), "a\n") << iPauseMs;
        EXPECT_EQ(text(pSession->Ask("*IDN?")), sIdn) << iPauseMs;
        EventHub::Pump();
        if (pStream) {
            EXPECT_TRUE(log.size() == 2 && log[0] == "4 bytes that no request was waiting for were dropped.")
                << ::testing::PrintToString(log);
        }
        log.clear();
        EXPECT_EQ(answer("QK?"), "#13abc\n") << iPauseMs;
        EXPECT_EQ(text(pSession->Ask("*IDN?")), sIdn) << iPauseMs;
        EventHub::Pump();
        EXPECT_TRUE(log.empty()) << ::testing::PrintToString(log);
    }
    // NULs ahead of an answer, before its line end and behind it pad it: every door hands on the
    // answer without them, and nothing is awaited, dropped or renewed for them.
    pDevice->SetSeparateAnswers(0);
    for (const char* pQuery : {"QB?;QC?", "QK?", "*IDN?"}) {
        const std::string sPlain = answer(pQuery);
        pDevice->SetNuls({1, 2, 3});
        EventHub::Pump();
        log.clear();
        EXPECT_EQ(answer(pQuery), sPlain) << pQuery;
        EXPECT_EQ(answer(pQuery), sPlain) << pQuery; // behind the padding of the answer before
        pDevice->SetNuls({});
        EXPECT_EQ(answer(pQuery), sPlain) << pQuery;
        EventHub::Pump();
        EXPECT_TRUE(log.empty()) << pQuery << ::testing::PrintToString(log);
    }
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
    if (std::get<0>(GetParam()) == eDoor::RawTcp) {
        EXPECT_EQ(pStream->ConnectionsAccepted(), 1); // never renewed
    }
    // The Siglent models end their waveform data with two line ends and their preamble with one,
    // as their guides show: an empty answer behind the preamble is an answer.
    open(20000, ModelSiglentSDS2000XPlusCh4);
    pDevice->SetAnswer(":WAV:PRE?", bytes("#13abc"));
    EXPECT_EQ(text(answer(":WAV:PRE?")), "#13abc");
    EXPECT_EQ(text(answer("QE?")), "");
    if (pStream) {
        // The second line end 200 ms late: before the next message is written, or behind it where
        // the model ends that query's block with two.
        pDevice->SetBareAnswer(":WAV:DATA?", {'#', '1', '3', 'a', 'b', 'c', '\n', '\n'});
        for (const std::int64_t eModel : {ModelRigolDS1000ZPlus, ModelSiglentSDS2000XPlusCh4}) {
            open(20000, eModel);
            EventHub::Pump();
            log.clear();
            pStream->AddFault({Sim::eStreamFault::Hold, 7, 0, after(200)});
            EXPECT_EQ(answer(eModel == ModelRigolDS1000ZPlus ? "QK?" : ":WAV:DATA?"), "#13abc\n") << eModel;
            const std::size_t iSent = pStream->AnswersSent(); // counted once the held line end is sent
            for (int i = 0; eModel == ModelRigolDS1000ZPlus && pStream->AnswersSent() == iSent && i < 2000; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            EXPECT_EQ(text(answer("*IDN?")), sIdn) << eModel;
            EventHub::Pump();
            EXPECT_TRUE(log.empty()) << eModel << ::testing::PrintToString(log);
        }
        // A chain cut by its time-out after the data block: the preamble, which comes late, ends
        // with its one line end, and an empty answer behind it is the next request's.
        pDevice->SetSeparateAnswers(2000); // each message ends with a line end of its own
        pDevice->SetBareAnswer(":WAV:DATA?", {'#', '1', '3', 'a', 'b', 'c', '\n'});
        pDevice->SetBareAnswer(":WAV:PRE?", {'#', '1', '3', 'a', 'b', 'c', '\n'});
        const std::string sCut = answer(":WAV:DATA?;:WAV:PRE?", 1000);
        EXPECT_TRUE(sCut.starts_with("failed [#13abc\n") &&
                    sCut.find("answers received / expected: 1 / 2") != std::string::npos)
            << sCut;
        EXPECT_EQ(text(answer("QE?", 20000)), ""); // the instrument answers once the preamble is out
        pDevice->SetSeparateAnswers(0);
    }
    EventHub::Unbind(EventLogLine, WindowLog::WindowNumber());
}

INSTANTIATE_TEST_SUITE_P(Doors, WaveformDoorsTest,
                         ::testing::Combine(::testing::Values(eDoor::RawTcp, eDoor::Vxi11, eDoor::Serial, eDoor::Usb),
                                            ::testing::Bool()));

TEST(WaveformMemoryTest, TwentyFourMillionPointsOverRawTcp) {
    TestApplication::Ensure(); // the program's one application, run first: the edge rows need widgets
    ScopeRead::Start();
    const ScopeRead::PatientTimeouts patient;
    Sim::RigolScope scope(Sim::RigolScope::eFamily::DS1000ZPlus);
    scope.SetMemoryDepth(24000000);
    Sim::RawTcpServer server;
    scope.Attach(server.Device());
    std::string sError;
    ASSERT_TRUE(server.Start(sError)) << sError;
    ScopeRead::Session session;
    ASSERT_TRUE(session.Open(ScopeRead::RawPrepare(server.Port()), ModelRigolDS1000ZPlus, sError)) << sError;
    const auto result = session.Read(ScopeRead::Task(DataSourceMemory, 4), 300000);
    ASSERT_TRUE(result.pData) << ::testing::PrintToString(result.errors);
    const auto& channel = result.pData->AnalogChannels.front();
    EXPECT_EQ(channel.iPoints, 24000000);
    ASSERT_EQ(channel.samples.size(), 24000000u);
    EXPECT_EQ(channel.samples.capacity(), 24000000u);
    for (std::size_t i = 0; i < channel.samples.size(); ++i) {
        if (channel.samples[i] != Sim::RigolScope::AnalogSample(1, i)) {
            FAIL() << "sample " << i;
        }
    }
}

} // namespace
