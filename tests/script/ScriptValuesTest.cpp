// set and add over every cell of their type matrices, the value words, "$block" and the "$file"
// forms, and the self-copies; run by the real interpreter thread with the fixed environment.
#include "ScriptValuesSupport.h"

#include "script/ScriptConvert.h"

#include <gtest/gtest.h>

#include <QImage>

#include <array>
#include <limits>
#include <memory>

using namespace InstrumentScript;
using ScriptTest::Snapshot;
using ScriptTest::VariableOf;

namespace {

// Targets b i f s d m w; sources of each type holding something (…2) and empty ones (…0).
const std::string Declarations = "boolean b\ninteger i\nfloat f\nstring s\ndata d\nimage m\nwaveform w\n"
                                 "boolean b2\ninteger i2\nfloat f2\nstring s2\ndata d2\nimage m2\nwaveform w2\n"
                                 "data d0\nimage m0\nwaveform w0\n";
constexpr int StatementLine = 18;

void Preset(uScriptProgram& p) {
    VariableOf(p, "b").Boolean = 0;
    VariableOf(p, "i").Integer = 100;
    VariableOf(p, "f").Float = 0.5;
    VariableOf(p, "s").String = "x";
    VariableOf(p, "d").Data = DataBuffer::FromText("Z");
    VariableOf(p, "m").Image = QImage(5, 5, QImage::Format_RGB32);
    VariableOf(p, "w").Waveform = std::make_unique<uWaveformData>();
    VariableOf(p, "w").Waveform->eModel = 1;
    VariableOf(p, "b2").Boolean = 1;
    VariableOf(p, "i2").Integer = 7;
    VariableOf(p, "f2").Float = 2.5;
    VariableOf(p, "s2").String = "12";
    VariableOf(p, "d2").Data = DataBuffer::FromText("AB");
    VariableOf(p, "m2").Image = QImage(2, 3, QImage::Format_RGB32);
    VariableOf(p, "w2").Waveform = std::make_unique<uWaveformData>();
    VariableOf(p, "w2").Waveform->eModel = 2;
}

constexpr std::array<const char*, 7> Targets{"b", "i", "f", "s", "d", "m", "w"};
constexpr std::array<const char*, 10> Sources{"b2", "i2", "f2", "s2", "d2", "m2", "w2", "d0", "m0", "w0"};
constexpr const char* R = nullptr; // refused

// The target's value after "<target> set <source>", by target (rows) and source (columns).
constexpr std::array<std::array<const char*, 10>, 7> SetMatrix{{
    {"true", "true", "true", "false", "true", "true", "true", "false", "false", "false"},
    {"1", "7", "2", "12", "1", "1", "1", "0", "0", "0"},
    {"1", "7", "2.5", "12", "1", "1", "1", "0", "0", "0"},
    {"true", "7", "2.5", "12", "true", "true", "true", "false", "false", "false"},
    {R, R, R, R, "4142", "5A", "5A", "5A", "5A", "5A"},
    {R, R, R, R, "5x5", "2x3", "5x5", "5x5", "5x5", "5x5"},
    {R, R, R, R, "model 1", "model 1", "model 1", "model 1", "model 1", "model 1"},
}};

// The same for "<target> add <source>" (b starts false, i 100, f 0.5, s "x", d "Z").
constexpr std::array<std::array<const char*, 10>, 7> AddMatrix{{
    {"true", "true", "true", "false", "true", "true", "true", "false", "false", "false"},
    {"101", "107", "102", "112", "101", "101", "101", "100", "100", "100"},
    {"1.5", "7.5", "3", "12.5", "1.5", "1.5", "1.5", "0.5", "0.5", "0.5"},
    {"xtrue", "x7", "x2.5", "x12", "xtrue", "xtrue", "xtrue", "xfalse", "xfalse", "xfalse"},
    {R, R, R, R, "5A4142", "5A", "5A", "5A", "5A", "5A"},
    {R, R, R, R, "5x5", "5x5", "5x5", "5x5", "5x5", "5x5"},
    {R, R, R, R, "model 1", "model 1", "model 1", "model 1", "model 1", "model 1"},
}};

class ScriptValues : public ScriptTest::ValuesFixture {
  protected:
    void CheckMatrix(const std::string& sVerb, const std::array<std::array<const char*, 10>, 7>& matrix,
                     const std::string& sProcedure, const std::string& sRefusal) {
        for (std::size_t iTarget = 0; iTarget < Targets.size(); ++iTarget) {
            for (std::size_t iSource = 0; iSource < Sources.size(); ++iSource) {
                const std::string sStatement = std::string(Targets[iTarget]) + " " + sVerb + " " + Sources[iSource];
                SCOPED_TRACE(sStatement);
                const auto run = RunScript(Declarations + sStatement + "\nfunction beep", Preset);
                const char* sExpected = matrix[iTarget][iSource];
                if (!sExpected) {
                    EXPECT_EQ(run.errors, std::vector<std::string>{"Script error: Skriptzeile 18 " + sProcedure +
                                                                   " - " + sRefusal});
                    EXPECT_TRUE(Contains(run.outputs, "Skriptzeile 18 Thread - Fehler beim " +
                                                          std::string(sVerb == "set" ? "Zuweisen eines Werts einer"
                                                                                     : "Addieren eines Werts zu einer") +
                                                          " Variable."));
                    EXPECT_TRUE(Snapshot().empty()); // the run ended at the refusal
                } else {
                    EXPECT_TRUE(run.errors.empty()) << run.errors.front();
                    EXPECT_TRUE(run.fFinished);
                    EXPECT_EQ(Snapshot()[Targets[iTarget]], sExpected);
                    // The source never changes.
                    EXPECT_EQ(Snapshot()["i2"], "7");
                    EXPECT_EQ(Snapshot()["d2"], "4142");
                    EXPECT_EQ(Snapshot()["m2"], "2x3");
                }
            }
        }
    }
};

TEST_F(ScriptValues, SetCoversEveryCellOfItsMatrix) {
    CheckMatrix("set", SetMatrix, "TaskVariableSet", "The assignment is not allowed.");
}

TEST_F(ScriptValues, AddCoversEveryCellOfItsMatrix) {
    CheckMatrix("add", AddMatrix, "TaskVariableAdd", "Addition is not allowed with this data type.");
}

TEST_F(ScriptValues, VariableLinesNameTheSourceKindAndTheTargetsLogForm) {
    struct uCase {
        const char* sStatement;
        const char* sLine;
    } cases[] = {
        {"i set d2", "TaskVariableSet - Interpretierte Variable von pointer zu integer: 1"},
        {"b set f2", "TaskVariableSet - Interpretierte Variable von float zu boolean: True"},
        {"s set b2", "TaskVariableSet - Interpretierte Variable von boolean zu string: true"},
        {"f add s2", "TaskVariableAdd - Interpretierte Variable von string zu float: 12"},
        // Refused: the line still follows the error, with the source as a flag.
        {"d set i2", "TaskVariableSet - Interpretierte Variable von integer zu data, image od. waveform: True"},
        {"d add b", "TaskVariableAdd - Interpretierte Variable von boolean zu data, image od. waveform: False"},
        {"m set m0", "TaskVariableSet - Interpretierte Variable von pointer zu data, image od. waveform: $0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sStatement);
        const auto run = RunScript(Declarations + c.sStatement, Preset);
        EXPECT_TRUE(Contains(run.outputs, "Skriptzeile 18 " + std::string(c.sLine)));
    }
    // An address is "$" and upper-case hexadecimal digits.
    const auto run = RunScript(Declarations + "d set d2", Preset);
    bool fFound = false;
    for (const auto& s : run.outputs) {
        const std::string sHead = "Skriptzeile 18 TaskVariableSet - Interpretierte Variable von pointer zu data, image od. "
                                  "waveform: $";
        if (s.rfind(sHead, 0) != 0) continue;
        const std::string sHex = s.substr(sHead.size());
        fFound = sHex.size() >= 6 && sHex.find_first_not_of("0123456789ABCDEF") == std::string::npos;
    }
    EXPECT_TRUE(fFound);
}

TEST_F(ScriptValues, LiteralsConvertIntoTheTargetsType) {
    struct uCase {
        const char* sStatements;
        const char* sTarget;
        const char* sExpected;
    } cases[] = {
        {"i set 3.7", "i", "3"},
        {"i set $10", "i", "16"},
        {"i set %101", "i", "5"},
        {"i set 0x10", "i", "0"},
        {"i set -$ff", "i", "-255"},
        {"i set $DATE", "i", "2026"},
        {"i set 18446744073709551617", "i", "1"}, // wraps in 64 bits
        {"f2 set 3.7\ni set f2", "i", "4"},
        {"f2 set 2.5\ni set f2", "i", "2"},
        {"f2 set -2.5\ni set f2", "i", "-2"},
        {"f2 set 3.5\ni set f2", "i", "4"},
        {"f set 2.5e1", "f", "25"},
        {"f set -infinity", "f", "-Infinity"},
        {"b set TRUE", "b", "true"},
        {"b2 set 1", "b2", "false"},
        {"b2 set yes", "b2", "false"},
        {"s set \"Hallo  Welt\"", "s", "Hallo  Welt"},
        {"s set $DATE", "s", "2026-12-06"},
        {"s set $Time", "s", "13:14:15"},
        {"s set $datetime", "s", "2026-12-06 13:14:15"},
        {"s set $datetime2", "s", "2026-12-06 13:14:15.016"},
        {"s set $eol", "s", "\r\n"},
        {"s set $block", "s", "$block"}, // a word of add only
        {"s set \"$date \"", "s", "$date "},  // only the whole value counts
        {"b add true", "b", "true"},
        {"b2 add false", "b2", "true"},
        {"i add 2.9", "i", "102"},
        {"f2 set 2.5\ni add f2", "i", "102"},
        {"f2 set 3.5\ni add f2", "i", "104"},
        {"s add $eol", "s", "x\r\n"},
        {"s add $time2", "s", "x13:14:15.016"},
        // A float that is no number, or lies beyond 64 bits, gives 0 or the nearest limit.
        {"f2 set nan\ni set f2", "i", "0"},
        {"f2 set 1e300\ni set f2", "i", "9223372036854775807"},
        {"f2 set -1e300\ni set f2", "i", "-9223372036854775808"},
        {"f2 set +infinity\ni add f2", "i", "-9223372036854775709"}, // 100 + the largest, wrapped
        {"f2 set nan\nb set f2", "b", "false"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sStatements);
        const auto run = RunScript(Declarations + c.sStatements + "\nfunction beep", Preset);
        EXPECT_TRUE(run.errors.empty()) << run.errors.front();
        EXPECT_EQ(Snapshot()[c.sTarget], c.sExpected);
    }
}

TEST_F(ScriptValues, LiteralLinesShowTheValueAndItsLogForm) {
    const auto run = RunScript(Declarations + "i set 3.7\nb set TRUE\nf set 2.50\ns set \"" + std::string(40, 'a') +
                                   "\"\nf add $eol",
                               Preset);
    EXPECT_TRUE(Contains(run.outputs, "Skriptzeile 18 TaskVariableSet - Wert für die Zuweisung: 3.7"));
    EXPECT_TRUE(Contains(run.outputs, "Skriptzeile 18 TaskVariableSet - Interpretierter Wert: 3"));
    EXPECT_TRUE(Contains(run.outputs, "Skriptzeile 19 TaskVariableSet - Interpretierter Wert: True"));
    EXPECT_TRUE(Contains(run.outputs, "Skriptzeile 20 TaskVariableSet - Interpretierter Wert: 2.5"));
    EXPECT_TRUE(Contains(run.outputs,
                         "Skriptzeile 21 TaskVariableSet - Interpretierter Wert: (max. 32 Zeichen): " + std::string(32, 'a')));
    EXPECT_TRUE(Contains(run.outputs, "Skriptzeile 22 TaskVariableAdd - Wert für die Addition: $eol"));
    EXPECT_TRUE(Contains(run.outputs, "Skriptzeile 22 TaskVariableAdd - Interpretierter Wert: 0"));
}

TEST_F(ScriptValues, LogLinesCutTextsAtCharactersNotBytes) {
    // 31 letters and then a two-byte character: the 32nd character is kept whole.
    const std::string sText = std::string(31, 'a') + "\xC3\xA4" + "bc";
    const auto run = RunScript(Declarations + "s set \"" + sText + "\"", Preset);
    EXPECT_TRUE(Contains(run.outputs, "Skriptzeile 18 TaskVariableSet - Interpretierter Wert: (max. 32 Zeichen): " +
                                          std::string(31, 'a') + "\xC3\xA4"));
}

TEST_F(ScriptValues, DataAndImagesRefuseLiterals) {
    struct uCase {
        const char* sStatement;
        const char* sError;
    } cases[] = {
        {"d set \"ABC\"", "TaskVariableSet - The assignment is not allowed."},
        {"m set abc", "TaskVariableSet - The assignment is not allowed."},
        {"w set true", "TaskVariableSet - The assignment is not allowed."},
        {"d add \"ABC\"", "TaskVariableAdd - Addition is not allowed with this data type."},
        {"m add $block", "TaskVariableAdd - Addition is not allowed with this data type."},
        {"w add 1", "TaskVariableAdd - Addition is not allowed with this data type."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sStatement);
        const auto run = RunScript(Declarations + c.sStatement, Preset);
        EXPECT_EQ(run.errors, std::vector<std::string>{"Script error: Skriptzeile 18 " + std::string(c.sError)});
    }
}

TEST_F(ScriptValues, TheMillisecondsOfTime2AreReadBeforeTheTime) {
    // A clock that moves on by 1 ms each time it is read, starting at 14:03:07.045.
    class SteppingClock : public InstrumentScript::ScriptEnvironment {
      public:
        QDateTime LocalTime() override { return start.addMSecs(iReads++); }
        QDateTime start{QDate(2026, 12, 6), QTime(14, 3, 7, 45)};
        int iReads = 0;
    };
    auto pClock = std::make_shared<SteppingClock>();
    InstrumentScript::SetEnvironment(pClock);
    RunScript(Declarations + "s set $time2\nfunction beep", Preset);
    EXPECT_EQ(Snapshot()["s"], "14:03:07.045");
    // At the turn of a second the milliseconds come from the earlier reading.
    pClock->start = QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59, 999));
    pClock->iReads = 0;
    RunScript(Declarations + "s set $datetime2\nfunction beep", Preset);
    EXPECT_EQ(Snapshot()["s"], "2027-01-01 00:00:00.999");
}

TEST_F(ScriptValues, BlockPutsTheLengthInBytesInFront) {
    struct uCase {
        std::string sStatements;
        const char* sTarget;
        std::string sExpected;
    } cases[] = {
        {"s set ABC\ns add $block", "s", "#13ABC"},
        {"s set \"" + std::string(1234, 'q') + "\"\ns add $BLOCK", "s", "#41234" + std::string(1234, 'q')},
        {"s set \"\"\ns add $block", "s", ""},
        // Two characters, three bytes: the header counts bytes.
        {"s set \"\xC3\xA4z\"\ns add $block", "s", "#13\xC3\xA4z"},
        {"d add $block", "d", "2331315A"}, // #11 and the one byte Z
        {"d0 add $block", "d0", "-"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sStatements.substr(0, 40));
        const auto run = RunScript(Declarations + c.sStatements + "\nfunction beep", Preset);
        EXPECT_TRUE(run.errors.empty()) << run.errors.front();
        EXPECT_EQ(Snapshot()[c.sTarget], c.sExpected);
    }
    // 512 data bytes become 517: "#3512" and the old bytes behind it.
    const auto run = RunScript(Declarations + "d add $block\nfunction beep", [](uScriptProgram& p) {
        Preset(p);
        std::string sBytes(512, '\0');
        for (int i = 0; i < 512; ++i) sBytes[i] = static_cast<char>(i);
        VariableOf(p, "d").Data = DataBuffer::FromText(sBytes);
    });
    const std::string sData = Snapshot()["d"];
    ASSERT_EQ(sData.size(), 517u * 2);
    EXPECT_EQ(sData.substr(0, 14), "2333353132" "0001"); // "#3512", then 00 01
    EXPECT_EQ(sData.substr(sData.size() - 4), "FEFF");
    EXPECT_TRUE(Contains(run.outputs, "Skriptzeile 18 TaskVariableAdd - Interpretierter Wert: "));
}

TEST_F(ScriptValues, FileFormsLoadTheFileThroughThePathRoutine) {
    WriteFile("hello.bin", "Hello");
    WriteFile("abc.bin", "abc");
    const std::string sHello = folder.path().toStdString() + "/hello.bin";
    {
        const auto run = RunScript(Declarations + "d set $file \"hello.bin\"\nfunction beep", Preset);
        EXPECT_TRUE(run.errors.empty()) << run.errors.front();
        EXPECT_EQ(Snapshot()["d"], "48656C6C6F");
        EXPECT_TRUE(Contains(run.outputs, "Skriptzeile 18 TaskVariableSet - Wert für die Zuweisung: $file"));
        EXPECT_TRUE(Contains(run.outputs, "Skriptzeile 18 TaskVariableSet - Dateiname: \"hello.bin\""));
        EXPECT_TRUE(Contains(run.outputs,
                             "Skriptzeile 18 TaskVariableSet - Interpretierter Wert: (max. 16 Zeichen): 0| 48 65 6C 6C 6F "));
    }
    {
        // "/$name" puts a variable's value into the name.
        const auto run = RunScript(Declarations + "s2 set hello\nd set $file /$s2.bin\nfunction beep", Preset);
        EXPECT_TRUE(run.errors.empty()) << run.errors.front();
        EXPECT_EQ(Snapshot()["d"], "48656C6C6F");
        EXPECT_TRUE(Contains(run.outputs,
                             "Skriptzeile 19 TaskFunctionSaveVariable - Die Variable 's2' wird ersetzt durch: hello"));
    }
    struct uCase {
        const char* sStatements;
        const char* sTarget;
        const char* sExpected;
    } cases[] = {
        {"d add $file abc.bin", "d", "5A616263"},
        {"d0 add $file abc.bin", "d0", "616263"},
        {"s set $file abc.bin", "s", "abc"},
        {"s add $file abc.bin", "s", "xabc"},
        // Booleans, integers and floats read no file: the empty value gives false, 0, 0.0.
        {"b2 set $file missing.txt", "b2", "false"},
        {"i set $file abc.bin", "i", "0"},
        {"f add $file missing.txt", "f", "0.5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sStatements);
        const auto run = RunScript(Declarations + c.sStatements + "\nfunction beep", Preset);
        EXPECT_TRUE(run.errors.empty()) << run.errors.front();
        EXPECT_EQ(Snapshot()[c.sTarget], c.sExpected);
    }
}

TEST_F(ScriptValues, FileFormsReportTheLoadersText) {
    const std::string sFolder = folder.path().toStdString();
    WriteFile("be.txt", std::string("\xFE\xFF\x00h", 4));
    WriteFile("le.txt", std::string("\xFF\xFEh\x00i\x00", 6));
    WriteFile("empty.bin", "");
    const auto le = RunScript(Declarations + "s set $file le.txt\nfunction beep", Preset);
    EXPECT_TRUE(le.errors.empty());
    EXPECT_EQ(Snapshot()["s"], "hi");
    struct uCase {
        const char* sStatement;
        std::string sError;
    } cases[] = {
        {"s set $file be.txt", "TaskVariableSet - The file format is unknown for the file:  >" + sFolder + "/be.txt<"},
        {"s add $file nothing.txt", "TaskVariableAdd - The file could not be opened:  >" + sFolder + "/nothing.txt<"},
        {"d set $file nothing.bin", "TaskVariableSet - The file does not exist:  >" + sFolder + "/nothing.bin<"},
        {"d add $file empty.bin", "TaskVariableAdd - The file is empty:  >" + sFolder + "/empty.bin<"},
        {"d set $file \"\"", "TaskVariableSet - The file name is not present."},
        {"s set $file ../outside.txt", "TaskVariableSet - The file is outside the test folder:  >../outside.txt<"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sStatement);
        const auto run = RunScript(Declarations + c.sStatement, Preset);
        EXPECT_EQ(run.errors, std::vector<std::string>{"Script error: Skriptzeile 18 " + c.sError});
    }
}

TEST_F(ScriptValues, AVariableGivenItselfKeepsOrDoublesItsOwnValue) {
    struct uCase {
        const char* sStatement;
        const char* sTarget;
        const char* sExpected;
    } cases[] = {
        {"d2 set d2", "d2", "4142"},
        {"d2 add d2", "d2", "41424142"},
        {"m2 set m2", "m2", "2x3"},
        {"w2 set w2", "w2", "model 2"},
        {"s2 add s2", "s2", "1212"},
        {"i2 add i2", "i2", "14"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sStatement);
        RunScript(Declarations + c.sStatement + "\nfunction beep", Preset);
        EXPECT_EQ(Snapshot()[c.sTarget], c.sExpected);
    }
    // A block filled to its capacity must move when it doubles: the copy is of the old bytes.
    RunScript(Declarations + "d2 add d2\nd2 add d2\nd2 add d2\nfunction beep", [](uScriptProgram& p) {
        Preset(p);
        DataBuffer exact;
        ASSERT_TRUE(exact.reserve(3));
        ASSERT_TRUE(exact.append("xyz", 3));
        VariableOf(p, "d2").Data = std::move(exact);
    });
    EXPECT_EQ(Snapshot()["d2"], "78797A78797A78797A78797A78797A78797A78797A78797A");
}

} // namespace
