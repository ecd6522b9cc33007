// Instrument declarations, selections, settings, SCPI exchanges, screen copies and waveforms of
// scripts, run by the interpreter thread against the fake instrument core of the test seams.
#include "ScriptEngineFixture.h"

#include "platform/BackgroundThreads.h"
#include "platform/OsVersion.h"
#include "script/ScriptCapture.h"
#include "script/ScriptInstrument.h"
#include "script/ScriptParser.h"
#include "script/ScriptScpi.h"
#include "script/ScriptThread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <variant>

using namespace InstrumentScript;
using ScriptTest::Parsed;
using ScriptTest::VariableOf;
using ScriptTest::FakeCore;

namespace {

const std::string Declare = "instrument $s rawtcp 127.0.0.1 5025\n";

uScriptTask& DeclarationOf(uScriptProgram& program, const std::string& sName) {
    uScriptTask* p = FindDeclaration(program, sName, false);
    EXPECT_TRUE(p) << sName;
    return *p;
}

class ScriptInstrument : public ScriptTest::EngineFixture {
  protected:
    // Runs the program to its end (or its first error) and gives back whether it finished.
    bool RunToEnd(std::shared_ptr<uScriptProgram> pProgram) {
        Run(std::move(pProgram));
        return ScriptTest::PumpUntil([&] {
            return collector.Count(ScriptMessageFinished) > 0 || collector.Count(ScriptMessageError) > 0;
        });
    }
    // The single object the fake provider made.
    std::vector<uTask> RecordsOfFirst() {
        const auto& program = *pInstance->pProgram;
        for (const uScriptTask* p : program.mOrder) {
            if (p->eTaskType == eScriptTaskType::Instrument && p->instrument->pInstrument)
                return seams.Core().Records(*p->instrument->pInstrument);
        }
        return {};
    }
    template <class T> std::vector<T> RecordsOf(const std::vector<uTask>& records) {
        std::vector<T> m;
        for (const uTask& r : records) {
            if (const T* p = std::get_if<T>(&r)) m.push_back(*p);
        }
        return m;
    }
    std::vector<std::string> Errors() const { return collector.Texts(ScriptMessageError); }
};

TEST_F(ScriptInstrument, ADeclarationPreparesThenConnectsAndASecondRunOnlyConnects) {
    ASSERT_TRUE(RunToEnd(Parsed(Declare + "function scpi write *RST")));
    const std::vector<std::string> expected = {
        "Skriptzeile 1 Thread - Erstelle ein Instrument.",
        "Skriptzeile 1 TaskInstrument - Das Instrument ist noch nicht in der Instrumentenliste vorhanden.",
        "Skriptzeile 1 TaskInstrument - Das Instrument wurde neu erstellt.",
        "Skriptzeile 1 TaskInstrument - Das Instrument wird vorbereitet.",
        "Skriptzeile 1 Thread - Warte auf die Verbindung des Instruments.",
        "Thread - Pausiere den Thread.",
        "Skriptzeile 1 Ereignis InstrumentTaskPrepare - Ein Instrument wurde erstellt, es wird jetzt die "
        "Verbindung hergestellt: $s",
        "Skriptzeile 1 Ereignis InstrumentTaskConnect - Ein Instrument wurde verbunden: $s - FAKE,Scope One,0001,1.0",
        "Skriptzeile 1 Ereignis InstrumentTaskConnect - Das aktive Instrument ist: $s - FAKE Scope One"};
    auto outputs = Outputs();
    auto it = std::find(outputs.begin(), outputs.end(), expected[0]);
    ASSERT_NE(it, outputs.end());
    EXPECT_EQ(std::vector<std::string>(it, it + static_cast<std::ptrdiff_t>(expected.size())), expected);
    const auto records = RecordsOfFirst();
    ASSERT_GE(records.size(), 3u);
    const auto& prepare = std::get<uTaskPrepare>(records[0]);
    EXPECT_EQ(prepare.eInterface, 3);
    EXPECT_EQ(prepare.eProtocol, 3);
    EXPECT_EQ(prepare.fUserModel, 1);
    EXPECT_EQ(prepare.fLibUsb1, 1);
    EXPECT_EQ(prepare.fLibUsb0, 0);
    EXPECT_EQ(prepare.rawTcp.iPort, 5025);
    // The fake core reports every object connected: the prepare result queues the connect anyway.
    EXPECT_TRUE(std::holds_alternative<uTaskConnect>(records[1]));
    EXPECT_EQ(std::get<uTaskScpiCommand>(records[2]).sCommand, "*RST");

    // A new parse of the same script: the listed object is connected without a prepare.
    collector.Clear();
    ASSERT_TRUE(RunToEnd(Parsed(Declare + "function scpi write *RST")));
    EXPECT_TRUE(HasOutput("Skriptzeile 1 TaskInstrument - Das Instrument ist schon in der Instrumentenliste vorhanden."));
    EXPECT_TRUE(HasOutput("Skriptzeile 1 TaskInstrument - Das Instrument wird verbunden."));
    const auto again = RecordsOfFirst();
    EXPECT_EQ(RecordsOf<uTaskPrepare>(again).size(), 1u);
    EXPECT_EQ(RecordsOf<uTaskConnect>(again).size(), 2u);
}

TEST_F(ScriptInstrument, OnWindows2000APrepareAsksForTheOldUsbLibrary) {
    OsVersion::SetWindows2000(true);
    const bool fFinished = RunToEnd(Parsed("instrument $u usbtmc 1ab1 04ce\nfunction scpi write *RST"));
    OsVersion::SetWindows2000(false);
    ASSERT_TRUE(fFinished);
    const auto prepare = RecordsOf<uTaskPrepare>(RecordsOfFirst());
    ASSERT_EQ(prepare.size(), 1u);
    EXPECT_EQ(prepare[0].fLibUsb0, 1);
    EXPECT_EQ(prepare[0].fLibUsb1, 0);
    EXPECT_EQ(prepare[0].usb.iVendorId, 0x1AB1);
    EXPECT_EQ(prepare[0].usb.iProductId, 0x04CE);
}

TEST_F(ScriptInstrument, ConnectionDescriptions) {
    uScriptInstrument usb;
    usb.InterfaceType = 1;
    usb.VID = "1ab1";
    usb.PID = "04ce";
    EXPECT_EQ(ConnectionDescription(usb).usb.iVendorId, 0x1AB1);
    EXPECT_EQ(ConnectionDescription(usb).usb.iProductId, 0x04CE);
    for (const char* s : {"0x0699", "0X0699", "0699"}) EXPECT_EQ(HexIdValue(s), 0x0699) << s;
    uScriptInstrument vxi;
    vxi.InterfaceType = 2;
    vxi.VxiIpAddress = "10.0.0.2";
    EXPECT_EQ(ConnectionDescription(vxi).vxi11.iPortmapperPort, 111);
    EXPECT_EQ(ConnectionDescription(vxi).vxi11.iCorePort, 0);
    uScriptInstrument serial;
    serial.InterfaceType = 4;
    serial.SerialPort = "/dev/pts/3";
    serial.SerialBaud = "19200";
    serial.SerialDataBits = "7";
    serial.SerialStopBits = "1.5";
    serial.SerialParity = "mark";
    serial.SerialFlowControl = "xon";
    const uTaskPrepare p = ConnectionDescription(serial);
    EXPECT_EQ(p.serial.iBaudRate, 19200);
    EXPECT_EQ(p.serial.iDataBits, 7);
    EXPECT_FLOAT_EQ(p.serial.fStopBits, 1.5F);
    EXPECT_EQ(p.serial.iParity, 3);
    EXPECT_EQ(p.serial.iHandshake, 3);
    serial.SerialParity = "weird";
    EXPECT_EQ(ConnectionDescription(serial).serial.iParity, 0);
}

struct uAnswerCase {
    eVariableType eType;
    std::string sAnswer;
    std::string sSet; // the " set " line's value
};

TEST_F(ScriptInstrument, AnswersIntoEachVariableType) {
    const std::vector<uAnswerCase> cases = {
        {eVariableType::Boolean, "", "False"},    {eVariableType::Boolean, " \r\n", "False"},
        {eVariableType::Boolean, "0", "False"},   {eVariableType::Boolean, "0.0", "False"},
        {eVariableType::Boolean, "ON", "False"},  {eVariableType::Boolean, "-1", "False"},
        {eVariableType::Boolean, "1e3", "False"}, {eVariableType::Boolean, "1\n", "True"},
        {eVariableType::Boolean, "2.5", "True"},  {eVariableType::Boolean, "007", "True"},
        {eVariableType::Integer, "1.9\n", "1"},   {eVariableType::Integer, "abc", "0"},
        {eVariableType::Integer, "-42\r\n", "-42"}, {eVariableType::Float, "1.5E-3\n", "0.0015"},
        {eVariableType::Float, "x", "0"},         {eVariableType::String, "  hi\r\n", "hi"},
        {eVariableType::String, std::string("ab\0cd", 5), "ab"},
        {eVariableType::String, "\xB5V", "\xC2\xB5V"}, // Windows-1252 micro sign
        {eVariableType::String, "\xC2\xB5V", "\xC2\xB5V"}, // valid UTF-8 stays
    };
    const char* sTypeWord[] = {"", "image", "boolean", "data", "float", "integer", "string", "waveform"};
    const char* sConversion[] = {"", "", "BooleanFromData", "", "FloatFromData", "IntegerFromData", "StringFromData", ""};
    for (const auto& c : cases) {
        collector.Clear();
        seams.Core().SetScpiAnswer(c.sAnswer);
        const auto i = static_cast<std::size_t>(c.eType);
        ASSERT_TRUE(RunToEnd(Parsed(Declare + sTypeWord[i] + " v\nv function scpi read Q?")));
        const std::string sWanted = std::string("Skriptzeile 3 ") + sConversion[i] + " - v set " + c.sSet;
        EXPECT_TRUE(HasOutput(sWanted)) << "answer >" << c.sAnswer << "< wanted " << sWanted;
        EXPECT_TRUE(Errors().empty());
    }
    EXPECT_TRUE(HasOutput("Skriptzeile 3 StringFromData - (max. 32 Zeichen) >\xC2\xB5V< - Daten wurden interpretiert."));
}

TEST_F(ScriptInstrument, AnswerConversionsKeepLongTextsAndZeroBytes) {
    const std::string sLong = "RIGOL TECHNOLOGIES,DS1104Z,DS1ZA000000001,00.04.04";
    seams.Core().SetScpiAnswer(sLong + "\n");
    auto pProgram = Parsed(Declare + "string s\ns function scpi read *IDN?");
    ASSERT_TRUE(RunToEnd(pProgram));
    EXPECT_EQ(VariableOf(*pProgram, "s").String, sLong);
    EXPECT_TRUE(HasOutput("Skriptzeile 3 StringFromData - (max. 32 Zeichen) >" + sLong.substr(0, 32) +
                          "< - Daten wurden interpretiert."));

    const std::string sBytes("\x00\x01\x00\xFF", 4);
    seams.Core().SetScpiAnswer(sBytes);
    collector.Clear();
    // Data variables are freed at the end of a run: the value is read by a run that waits.
    pProgram = Parsed(Declare + "data d\nd function scpi read DATA?\nfunction wait msg look");
    Run(pProgram);
    ASSERT_TRUE(collector.WaitFor(ScriptMessageWaitUser));
    EXPECT_EQ(VariableOf(*pProgram, "d").Data.view(), sBytes);
    EXPECT_TRUE(HasOutput("Skriptzeile 3 DataFromData - " + AddressText(VariableOf(*pProgram, "d").Data.data()) +
                          " - Daten wurden kopiert."));
}

TEST_F(ScriptInstrument, AnImageTargetIsRefusedAndTheRunGoesOn) {
    ASSERT_TRUE(RunToEnd(Parsed(Declare + "image i\ni function scpi read Q?\nfunction beep ok")));
    ASSERT_TRUE(collector.WaitFor(ScriptMessageFinished));
    EXPECT_EQ(Errors(), std::vector<std::string>{"Script error: Data cannot be assigned to variables of type bitmap or waveform."});
    EXPECT_TRUE(HasOutput("Skriptzeile 3 Ereignis InstrumentTaskScpiCommand - FEHLER - Daten können nicht an "
                          "Variablen vom Typ image oder waveform zugewiesen werden."));
    EXPECT_EQ(seams.Env().Beeps().size(), 1u);
}

TEST_F(ScriptInstrument, CommandsCarryVariablesAndTheDataPayload) {
    auto pProgram = Parsed(Declare + "integer ch\ndata block\nfunction scpi write :CHAN$ch:SCAL 1\n"
                                     "function scpi write SIMulate:DATA $block\nfunction scpi write a$$b");
    VariableOf(*pProgram, "ch").Integer = 2;
    VariableOf(*pProgram, "block").Data = DataBuffer::FromText(std::string("#14\x01\x00\x02\x03", 8));
    ASSERT_TRUE(RunToEnd(pProgram));
    const auto commands = RecordsOf<uTaskScpiCommand>(RecordsOfFirst());
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_EQ(commands[0].sCommand, ":CHAN2:SCAL 1");
    EXPECT_FALSE(commands[0].pData);
    EXPECT_EQ(commands[0].fRequestData, 0);
    EXPECT_EQ(commands[1].sCommand, "SIMulate:DATA ");
    ASSERT_TRUE(commands[1].pData);
    EXPECT_EQ(commands[1].pData->view(), std::string_view("#14\x01\x00\x02\x03", 8));
    EXPECT_EQ(commands[2].sCommand, "a$b");
    EXPECT_TRUE(HasOutput("Skriptzeile 4 TaskFunctionScpi - Das SCPI-Kommando wird gesendet: :CHAN2:SCAL 1"));
}

TEST_F(ScriptInstrument, TimeoutAndTerminationSettings) {
    ASSERT_TRUE(RunToEnd(Parsed(Declare + "$s set timeout 10000\n$s set timeout 0\n$s set termchar 0d,0a\n"
                                          "$s set termchar 0a,0,0d\n$s set local\n$s set remote")));
    const auto records = RecordsOfFirst();
    const auto timeouts = RecordsOf<uTaskTimeout>(records);
    ASSERT_EQ(timeouts.size(), 2u);
    EXPECT_EQ(timeouts[0].iTimeout, 10000);
    EXPECT_EQ(timeouts[1].iTimeout, 0);
    const auto terminations = RecordsOf<uTaskTerminationChar>(records);
    ASSERT_EQ(terminations.size(), 2u);
    EXPECT_EQ(terminations[0].sTerminationChar, "\r\n");
    EXPECT_EQ(terminations[1].sTerminationChar, "\n");
    EXPECT_EQ(RecordsOf<uTaskLocal>(records).size(), 1u);
    EXPECT_EQ(RecordsOf<uTaskRemote>(records).size(), 1u);
    EXPECT_TRUE(HasOutput("Skriptzeile 2 TaskInstrumentSet - Das Kommando für das Setzen der Wartezeit wurde "
                          "gesendet. Timeout = 10000 ms"));
    EXPECT_TRUE(HasOutput("Skriptzeile 4 TaskInstrumentSet - Das Kommando für die Terminierungszeichen wurde "
                          "gesendet. Zeichen = 0D,0A"));
    EXPECT_TRUE(HasOutput("Skriptzeile 5 TaskInstrumentSet - Das Kommando für die Terminierungszeichen wurde "
                          "gesendet. Zeichen = 0A"));
    EXPECT_TRUE(HasOutput("Skriptzeile 2 TaskInstrumentSet - Das verwendete Instrument ist: $s"));
}

TEST_F(ScriptInstrument, WaitSettingsAreKeptInTheDeclaration) {
    auto pProgram = Parsed("instrument $a rawtcp 127.0.0.1 1\ninstrument $b rawtcp 127.0.0.1 2\n"
                           "$b set wait srq\n$b set wait scpi 200\n$a set wait scpi -5\nfunction scpi write X");
    ASSERT_TRUE(RunToEnd(pProgram));
    EXPECT_EQ(DeclarationOf(*pProgram, "$b").instrument->eScpiWait, 2);
    EXPECT_EQ(DeclarationOf(*pProgram, "$b").instrument->iScpiDelay, 200);
    EXPECT_EQ(DeclarationOf(*pProgram, "$a").instrument->iScpiDelay, 0);
    EXPECT_TRUE(HasOutput("Skriptzeile 5 TaskInstrumentSet - Es wird zwischen den SCPI-Kommandos gewartet. "
                          "Millisekunden: 0"));
    EXPECT_TRUE(HasOutput("Skriptzeile 3 TaskInstrumentSet - Es wird auf den Service Request gewartet."));
    // The command goes to $b, declared last, with its wait mode.
    const auto commands =
        RecordsOf<uTaskScpiCommand>(seams.Core().Records(*DeclarationOf(*pProgram, "$b").instrument->pInstrument));
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].eWait, 2);
}

TEST_F(ScriptInstrument, AWaitSettingBeforeItsDeclarationRanIsStored) {
    auto pProgram = Parsed("instrument $a rawtcp 127.0.0.1 1\n$b set wait stbmav\n"
                           "instrument $b rawtcp 127.0.0.1 2\nfunction scpi write X");
    ASSERT_TRUE(RunToEnd(pProgram));
    EXPECT_EQ(DeclarationOf(*pProgram, "$b").instrument->eScpiWait, 1);
    EXPECT_EQ(DeclarationOf(*pProgram, "$a").instrument->eScpiWait, 0);
    const auto commands =
        RecordsOf<uTaskScpiCommand>(seams.Core().Records(*DeclarationOf(*pProgram, "$b").instrument->pInstrument));
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].eWait, 1);
}

TEST_F(ScriptInstrument, TheLastDeclarationIsActiveUntilASelection) {
    auto pProgram = Parsed("instrument $first rawtcp 127.0.0.1 1\ninstrument $second rawtcp 127.0.0.1 2\n"
                           "function scpi write TO2\n$first\nfunction scpi write TO1");
    ASSERT_TRUE(RunToEnd(pProgram));
    const auto first = RecordsOf<uTaskScpiCommand>(
        seams.Core().Records(*DeclarationOf(*pProgram, "$first").instrument->pInstrument));
    const auto second = RecordsOf<uTaskScpiCommand>(
        seams.Core().Records(*DeclarationOf(*pProgram, "$second").instrument->pInstrument));
    ASSERT_EQ(first.size(), 1u);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(first[0].sCommand, "TO1");
    EXPECT_EQ(second[0].sCommand, "TO2");
    EXPECT_TRUE(HasOutput("Skriptzeile 4 TaskInstrumentSelect - Das aktive Instrument ist: $first"));
}

TEST_F(ScriptInstrument, ASelectionBeforeItsDeclarationRanEndsTheRun) {
    ASSERT_TRUE(RunToEnd(Parsed("goto on\ninstrument $s rawtcp 127.0.0.1 1\nlabel on\n$s\nfunction beep ok")));
    EXPECT_EQ(Errors(), std::vector<std::string>{"Script error: Skriptzeile 4 Thread - Fehler beim Setzen des "
                                                 "aktuellen Instruments."});
    EXPECT_TRUE(seams.Env().Beeps().empty());
}

TEST_F(ScriptInstrument, NoActiveInstrumentEndsTheRun) {
    for (const char* s : {"function scpi write X", "function screencopy", "function waveform ch1",
                          "$s set timeout 5"}) {
        collector.Clear();
        const std::string sScript = std::string("goto on\n") + Declare + "label on\n" + s;
        ASSERT_TRUE(RunToEnd(Parsed(sScript))) << s;
        const auto errors = Errors();
        ASSERT_EQ(errors.size(), 1u) << s;
        EXPECT_NE(errors[0].find(" - There is no active instrument."), std::string::npos) << errors[0];
        EXPECT_EQ(collector.Count(ScriptMessageFinished), 0u);
    }
}

TEST_F(ScriptInstrument, AGotoBackOverADeclarationDoesNotWait) {
    auto pProgram = Parsed("label top\n" + Declare + "function scpi write X\ngoto top");
    Run(pProgram);
    ASSERT_TRUE(collector.WaitForText("Skriptzeile 2 TaskInstrument - Das Instrument schon vorhanden und verbunden."));
    // The second pass sends its command without a new connect (a stop before it would send none).
    EXPECT_TRUE(ScriptTest::PumpUntil([&] { return RecordsOf<uTaskScpiCommand>(RecordsOfFirst()).size() >= 2; }));
    std::string sError;
    StopScript(pInstance, sError);
    EXPECT_EQ(RecordsOf<uTaskConnect>(RecordsOfFirst()).size(), 1u);
}

TEST_F(ScriptInstrument, AScpiPauseSpacesTheCommands) {
    InstrumentScript::SetEnvironment(std::make_shared<ScriptEnvironment>()); // the real clock
    ASSERT_TRUE(RunToEnd(Parsed(Declare + "$s set wait scpi 500\nfunction scpi write A\nfunction scpi write B")));
    const auto received = seams.Core().Received(*FindDeclaration(*pInstance->pProgram, "$s", true)->instrument->pInstrument);
    std::vector<std::chrono::steady_clock::time_point> times;
    for (const auto& r : received) {
        if (r.eTaskType == InstrumentTaskScpiCommand) times.push_back(r.at);
    }
    ASSERT_EQ(times.size(), 2u);
    EXPECT_GE(times[1] - times[0], std::chrono::milliseconds(500));
}

// A pause as long as the number allows is a pause until Stop, not none at all.
TEST_F(ScriptInstrument, TheLongestScpiPauseHoldsTheCommandUntilStop) {
    InstrumentScript::SetEnvironment(std::make_shared<ScriptEnvironment>()); // the real clock
    for (const char* sDelay : {"9223372036854775807", "9223372036854776"}) {
        SCOPED_TRACE(sDelay);
        auto pProgram = Parsed(Declare + "$s set wait scpi " + sDelay + "\nfunction scpi write A");
        collector.Clear();
        Run(pProgram);
        ASSERT_TRUE(ScriptTest::PumpUntil([&] {
            for (const std::string& sLine : Outputs()) {
                if (sLine.rfind("Skriptzeile 3 Thread - Taskposition", 0) == 0) return true;
            }
            return false;
        }));
        EXPECT_FALSE(ScriptTest::PumpUntil([&] { return collector.Count(ScriptMessageFinished) > 0; }, 300));
        const InstrumentObject pObject = FindDeclaration(*pProgram, "$s", true)->instrument->pInstrument;
        EXPECT_TRUE(RecordsOf<uTaskScpiCommand>(seams.Core().Records(*pObject)).empty());
        std::string sError;
        const auto start = std::chrono::steady_clock::now();
        StopScript(pInstance, sError);
        EXPECT_FALSE(ThreadRunning(*pInstance));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    }
}

TEST_F(ScriptInstrument, AResultOfAnotherTaskWritesNothing) {
    seams.Core().SetAnswer(InstrumentTaskScpiCommand, FakeCore::eAnswer::Never);
    seams.Core().SetScpiAnswer("77");
    auto pProgram = Parsed(Declare + "integer v\nv function scpi read Q?");
    Run(pProgram);
    ASSERT_TRUE(collector.WaitForText("Skriptzeile 3 Thread - Warte auf die Ausführung des SCPI-Kommandos."));
    const InstrumentObject pObject = FindDeclaration(*pProgram, "$s", true)->instrument->pInstrument;
    const auto received = seams.Core().Received(*pObject);
    ASSERT_FALSE(received.empty());
    const auto& last = received.back();
    seams.Core().PostResult(*pObject, last.iWindow, InstrumentTaskScpiCommand, last.iTaskNumber + 100);
    ScriptTest::PumpUntil([] { return false; }, 100);
    EXPECT_EQ(VariableOf(*pProgram, "v").Integer, 0);
    EXPECT_EQ(collector.Count(ScriptMessageFinished), 0u);
    seams.Core().PostResult(*pObject, last.iWindow, InstrumentTaskScpiCommand, last.iTaskNumber);
    ASSERT_TRUE(collector.WaitFor(ScriptMessageFinished));
    EXPECT_EQ(VariableOf(*pProgram, "v").Integer, 77);
}

TEST_F(ScriptInstrument, ScreencopyAndWaveformWords) {
    const uTaskScreencopy none = ScreencopyRecord("");
    EXPECT_EQ(none.eSize, 1);
    EXPECT_EQ(none.eColor, 5);
    EXPECT_EQ(none.eTitle, 0);
    const uTaskScreencopy words = ScreencopyRecord("large small bw title fancy");
    EXPECT_EQ(words.eSize, 1);
    EXPECT_EQ(words.eColor, 4);
    EXPECT_EQ(words.eTitle, 6);
    std::vector<std::string> unknown;
    const uTaskWaveform w = WaveformRecord("memory 16 ch1 d3 re9 ch5", unknown);
    EXPECT_EQ(w.eSource, 2);
    EXPECT_EQ(w.eBits, 5);
    for (std::size_t i = 0; i < w.fSource.size(); ++i) EXPECT_EQ(w.fSource[i], i == 4 || i == 16 || i == 51 ? 1 : 0) << i;
    EXPECT_EQ(unknown, std::vector<std::string>{"ch5"});
    const uTaskWaveform empty = WaveformRecord("", unknown);
    EXPECT_EQ(empty.eSource, 0);
    EXPECT_EQ(empty.eBits, 0);
    const std::vector<std::pair<const char*, std::size_t>> table = {
        {"all", 1}, {"analog", 2}, {"logic", 3}, {"ch4", 7}, {"add1", 8}, {"bus2", 10}, {"pod2", 12}, {"d0", 13},
        {"d15", 28}, {"zch1", 29}, {"zpod1", 32}, {"fft2", 34}, {"func1", 35}, {"math", 37}, {"ma1", 38},
        {"ma5", 42}, {"re1", 43}};
    for (const auto& [sWord, iFlag] : table) EXPECT_EQ(WaveformRecord(sWord, unknown).fSource[iFlag], 1) << sWord;
}

TEST_F(ScriptInstrument, CapturesLandByTheVariableType) {
    auto pProgram = Parsed(Declare + "image i\nboolean b\nstring t\nwaveform w\ndata d\n"
                                     "i function screencopy large\nb function screencopy\nt function waveform ch1\n"
                                     "w function waveform ch7\nd function waveform\nfunction wait msg look");
    Run(pProgram);
    ASSERT_TRUE(collector.WaitFor(ScriptMessageWaitUser));
    EXPECT_FALSE(VariableOf(*pProgram, "i").Image.isNull());
    EXPECT_EQ(VariableOf(*pProgram, "b").Boolean, 1);
    EXPECT_EQ(VariableOf(*pProgram, "t").String, "True");
    ASSERT_TRUE(VariableOf(*pProgram, "w").Waveform);
    EXPECT_EQ(VariableOf(*pProgram, "w").Waveform->fVisible[WaveformChannel1], 1);
    EXPECT_FALSE(VariableOf(*pProgram, "d").Data.allocated());
    EXPECT_TRUE(HasOutput("Skriptzeile 8 Ereignis InstrumentTaskScreencopy - Eine Bildschirmkopie wurde empfangen von: "
                          "FAKE Scope One"));
    EXPECT_TRUE(HasOutput("Skriptzeile 8 Boolean von Image - b set True"));
    EXPECT_TRUE(HasOutput("Skriptzeile 10 TaskFunctionWaveform - Unbekannter Parameter: ch7"));
    EXPECT_TRUE(HasOutput("Skriptzeile 11 Ereignis InstrumentTaskWaveform - FEHLER - Waveform-Daten können nicht an "
                          "Variablen vom Typ data und image zugewiesen werden."));
    EXPECT_EQ(Errors(), std::vector<std::string>{"Script error: Data cannot be assigned to variables of type bitmap or waveform."});
    const auto records = RecordsOfFirst();
    EXPECT_EQ(RecordsOf<uTaskScreencopy>(records)[0].eSize, 3);
    EXPECT_EQ(RecordsOf<uTaskWaveform>(records)[0].fSource[WaveformChannel1], 1);
}

TEST_F(ScriptInstrument, ACaptureWithoutDataLeavesTheVariable) {
    seams.Core().SetCaptureData(false);
    auto pProgram = Parsed(Declare + "boolean b\nb function screencopy\nb function waveform");
    ASSERT_TRUE(RunToEnd(pProgram));
    EXPECT_EQ(VariableOf(*pProgram, "b").Boolean, 0);
    EXPECT_TRUE(HasOutput("Skriptzeile 3 Ereignis InstrumentTaskScreencopy - FAKE Scope One"));
    EXPECT_TRUE(HasOutput("Skriptzeile 3 Ereignis InstrumentTaskScreencopy - Es wurde keine Bildschirmkopie "
                          "empfangen: FAKE Scope One"));
    EXPECT_TRUE(HasOutput("Skriptzeile 4 Ereignis InstrumentTaskWaveform - Es wurden keine Messkurven empfangen: "
                          "FAKE Scope One"));
}

TEST_F(ScriptInstrument, AFailedWaveformLeavesTheRunAsleepUntilStop) {
    seams.Core().SetAnswer(InstrumentTaskWaveform, FakeCore::eAnswer::Error);
    seams.Core().SetErrorText("The instrument is not supported for reading the traces.");
    Run(Parsed(Declare + "waveform w\nw function waveform ch1\nfunction beep ok"));
    ASSERT_TRUE(collector.WaitFor(ScriptMessageError));
    EXPECT_EQ(Errors(), std::vector<std::string>{"Script error: Skriptzeile 3 Task - The instrument is not supported for reading the traces."});
    ScriptTest::PumpUntil([] { return false; }, 100);
    EXPECT_EQ(ScriptTest::Sleeping(*pInstance), eSleep::Result);
    EXPECT_TRUE(seams.Env().Beeps().empty());
    std::string sError;
    StopScript(pInstance, sError);
    // The stop disconnects the declared instrument: the thread does so on its way out.
    ASSERT_TRUE(BackgroundThreads::WaitAll(std::chrono::seconds(60)));
    const auto records = RecordsOfFirst();
    EXPECT_EQ(RecordsOf<uTaskDisconnect>(records).size(), 1u);
}

TEST_F(ScriptInstrument, AFailedConnectLeavesTheRunAsleep) {
    seams.Core().SetAnswer(InstrumentTaskConnect, FakeCore::eAnswer::Error);
    Run(Parsed(Declare + "function beep ok"));
    ASSERT_TRUE(collector.WaitFor(ScriptMessageError));
    ScriptTest::PumpUntil([] { return false; }, 100);
    EXPECT_EQ(ScriptTest::Sleeping(*pInstance), eSleep::Result);
    EXPECT_TRUE(seams.Env().Beeps().empty());
}

} // namespace
