// set, add, compare and math run by the real interpreter thread with the fixed environment:
// every cell of the set and add matrices, then one table of literals, value words, "$block",
// "$file", self-copies, comparisons and arithmetic with their edges and refusals.
#include "ScriptValuesSupport.h"

#include <gtest/gtest.h>

#include <QImage>

#include <array>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace InstrumentScript;
using ScriptTest::Hex;
using ScriptTest::Snapshot;
using ScriptTest::VariableOf;

namespace {

// Targets b i f s d m w; sources holding something (…2) and empty ones (…0); 512 bytes in big;
// dx's block is exactly full. The statements begin on line 20.
const std::string Declarations = "boolean b\ninteger i\nfloat f\nstring s\ndata d\nimage m\nwaveform w\n"
                                 "boolean b2\ninteger i2\nfloat f2\nstring s2\ndata d2\nimage m2\nwaveform w2\n"
                                 "data d0\nimage m0\nwaveform w0\ndata big\ndata dx\n";

std::string Bytes512() {
    std::string s(512, '\0');
    for (int i = 0; i < 512; ++i) s[i] = static_cast<char>(i);
    return s;
}

void Preset(uScriptProgram& p) {
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
    VariableOf(p, "big").Data = DataBuffer::FromText(Bytes512());
    DataBuffer& exact = VariableOf(p, "dx").Data;
    exact.reserve(3);
    exact.append("xyz", 3);
}

constexpr std::array<const char*, 7> Targets{"b", "i", "f", "s", "d", "m", "w"};
constexpr std::array<const char*, 10> Sources{"b2", "i2", "f2", "s2", "d2", "m2", "w2", "d0", "m0", "w0"};
constexpr const char* R = nullptr; // refused
using Matrix = std::array<std::array<const char*, 10>, 7>;

// The target's value after "<target> set|add <source>": rows by target, columns by source.
constexpr Matrix SetMatrix{{
    {"true", "true", "true", "false", "true", "true", "true", "false", "false", "false"},
    {"1", "7", "2", "12", "1", "1", "1", "0", "0", "0"},
    {"1", "7", "2.5", "12", "1", "1", "1", "0", "0", "0"},
    {"true", "7", "2.5", "12", "true", "true", "true", "false", "false", "false"},
    {R, R, R, R, "4142", "5A", "5A", "5A", "5A", "5A"},
    {R, R, R, R, "5x5", "2x3", "5x5", "5x5", "5x5", "5x5"},
    {R, R, R, R, "model 1", "model 1", "model 1", "model 1", "model 1", "model 1"},
}};
constexpr Matrix AddMatrix{{
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
    void CheckMatrix(const std::string& sVerb, const Matrix& matrix, const std::string& sRefusal) {
        for (std::size_t iTarget = 0; iTarget < Targets.size(); ++iTarget) {
            for (std::size_t iSource = 0; iSource < Sources.size(); ++iSource) {
                const std::string sStatement = std::string(Targets[iTarget]) + " " + sVerb + " " + Sources[iSource];
                SCOPED_TRACE(sStatement);
                const auto errors = RunToEnd(Declarations + sStatement + "\nfunction beep", Preset);
                if (const char* sExpected = matrix[iTarget][iSource]) {
                    EXPECT_TRUE(errors.empty()) << errors.front();
                    EXPECT_EQ(Snapshot()[Targets[iTarget]], sExpected);
                    EXPECT_EQ(Snapshot()["d2"] + Snapshot()["m2"], "41422x3"); // sources stay
                } else {
                    EXPECT_EQ(errors, std::vector<std::string>{"Script error: Skriptzeile 20 " + sRefusal});
                }
            }
        }
    }
};

TEST_F(ScriptValues, SetCoversEveryCellOfItsMatrix) {
    CheckMatrix("set", SetMatrix, "TaskVariableSet - The assignment is not allowed.");
}

TEST_F(ScriptValues, AddCoversEveryCellOfItsMatrix) {
    CheckMatrix("add", AddMatrix, "TaskVariableAdd - Addition is not allowed with this data type.");
}

struct uRow {
    std::string sStatements;
    std::string sName;     // the variable to look at, "?" for the last comparison
    std::string sExpected; // its value; with sError the run's one script error (behind the line)
    std::string sError = {};
    std::string sLine = {}; // an output line the run must have posted (behind "Skriptzeile ")
};

const char* const RefusedSet = "TaskVariableSet - The assignment is not allowed.";
const char* const RefusedAdd = "TaskVariableAdd - Addition is not allowed with this data type.";
const char* const RefusedMath = "TaskVariableMath - The calculation is not allowed with this data type.";
const std::string A40(40, 'a');

TEST_F(ScriptValues, LiteralsWordsFilesComparisonsAndArithmetic) {
    WriteFile("hello.bin", "Hello");
    WriteFile("abc.bin", "abc");
    WriteFile("nine.bin", "123456789");
    WriteFile("be.txt", std::string("\xFE\xFF\x00h", 4));
    WriteFile("le.txt", std::string("\xFF\xFEh\x00i\x00", 6));
    WriteFile("empty.bin", "");
    // A name cut at its NUL would read this file.
    WriteFile("nul.txt", std::string("q_ab\0cd", 7));
    WriteFile("q_ab", "cut");
    // Special files: a pipe without a writer (opening it would wait for one), a device, a folder.
    const std::string sDir = folder.path().toStdString();
    ASSERT_EQ(::mkfifo((sDir + "/fifo.txt").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("/dev/null", (sDir + "/null.bin").c_str()), 0);
    ASSERT_EQ(::mkdir((sDir + "/sub.txt").c_str(), 0700), 0);
    const std::string sSpecial = "The file is a pipe, a device or another special file, not a regular file:  ><dir>/";
    const std::vector<uRow> rows{
        // Literals into each type.
        {"i set 3.7", "i", "3", {}, "20 TaskVariableSet - Interpretierter Wert: 3"},
        {"i set $10", "i", "16"}, {"i set %101", "i", "5"}, {"i set 0x10", "i", "0"}, {"i set -$ff", "i", "-255"},
        {"i set $DATE", "i", "2026"}, {"i set 18446744073709551617", "i", "1"},
        {"f2 set 3.7\ni set f2", "i", "4"}, {"f2 set 2.5\ni set f2", "i", "2"}, {"f2 set -2.5\ni set f2", "i", "-2"},
        {"f set 2.5e1", "f", "25"}, {"f set -infinity", "f", "-Infinity"},
        {"b set TRUE", "b", "true"}, {"b2 set 1", "b2", "false"}, {"b2 set yes", "b2", "false"},
        {"s set \"Hallo  Welt\"", "s", "Hallo  Welt"}, {"s set $DATE", "s", "2026-12-06"},
        {"s set $Time", "s", "13:14:15"}, {"s set $datetime", "s", "2026-12-06 13:14:15"},
        {"s set $datetime2", "s", "2026-12-06 13:14:15.016"}, {"s set $eol", "s", "\r\n"},
        {"s set $block", "s", "$block"}, {"s set \"$date \"", "s", "$date "},
        {"s set \"" + A40.substr(9) + "\xC3\xA4z\"", "s", A40.substr(9) + "\xC3\xA4z", {},
         "20 TaskVariableSet - Interpretierter Wert: (max. 32 Zeichen): " + A40.substr(9) + "\xC3\xA4"},
        {"b add true", "b", "true"}, {"b2 add false", "b2", "true"}, {"i add 2.9", "i", "102"},
        {"f2 set 3.5\ni add f2", "i", "104"}, {"s add $eol", "s", "x\r\n"}, {"s add $time2", "s", "x13:14:15.016"},
        // Floats that are no number or lie beyond 64 bits.
        {"f2 set nan\ni set f2", "i", "0"}, {"f2 set 1e300\ni set f2", "i", "9223372036854775807"},
        {"f2 set -1e300\ni set f2", "i", "-9223372036854775808"},
        {"f2 set +infinity\ni add f2", "i", "-9223372036854775709"}, {"f2 set nan\nb set f2", "b", "false"},
        // Refusals; the variable line follows the error with the source as a flag.
        {"d set \"ABC\"", "", "", RefusedSet}, {"m set abc", "", "", RefusedSet}, {"w set true", "", "", RefusedSet},
        {"d add \"ABC\"", "", "", RefusedAdd}, {"m add $block", "", "", RefusedAdd}, {"w add 1", "", "", RefusedAdd},
        {"d set i2", "", "", RefusedSet,
         "20 TaskVariableSet - Interpretierte Variable von integer zu data, image od. waveform: True"},
        // Block headers count bytes; empty values stay empty.
        {"s set ABC\ns add $block", "s", "#13ABC"},
        {"s set \"" + std::string(1234, 'q') + "\"\ns add $BLOCK", "s", "#41234" + std::string(1234, 'q')},
        {"s set \"\"\ns add $block", "s", ""}, {"s set \"\xC3\xA4z\"\ns add $block", "s", "#13\xC3\xA4z"},
        {"d add $block", "d", Hex("#11Z")}, {"d0 add $block", "d0", "-"},
        {"big add $block", "big", Hex("#3512" + Bytes512())},
        // Files, named through the "/$name" routine.
        {"d set $file \"hello.bin\"", "d", Hex("Hello"), {},
         "20 TaskVariableSet - Interpretierter Wert: (max. 16 Zeichen): 0| 48 65 6C 6C 6F "},
        {"s2 set hello\nd set $file /$s2.bin", "d", Hex("Hello"), {},
         "21 TaskFunctionSaveVariable - Die Variable 's2' wird ersetzt durch: hello"},
        {"d add $file abc.bin", "d", Hex("Zabc")}, {"d0 add $file abc.bin", "d0", Hex("abc")},
        {"s set $file abc.bin", "s", "abc"}, {"s add $file abc.bin", "s", "xabc"}, {"s set $file le.txt", "s", "hi"},
        {"b2 set $file missing.txt", "b2", "false"}, {"i set $file abc.bin", "i", "0"},
        {"f add $file missing.txt", "f", "0.5"},
        {"s set $file be.txt", "", "", "TaskVariableSet - The file format is unknown for the file:  ><dir>/be.txt<"},
        {"s add $file no.txt", "", "", "TaskVariableAdd - The file could not be opened:  ><dir>/no.txt<"},
        {"d set $file no.bin", "", "", "TaskVariableSet - The file does not exist:  ><dir>/no.bin<"},
        {"d add $file empty.bin", "", "", "TaskVariableAdd - The file is empty:  ><dir>/empty.bin<"},
        {"d set $file \"\"", "", "", "TaskVariableSet - The file name is not present."},
        {"s set $file ../x.txt", "", "", "TaskVariableSet - The file is outside the test folder:  >../x.txt<"},
        {"s2 set $file nul.txt\nd set $file /$s2", "", "", "TaskVariableSet - Der Dateiname enthält ein NUL-Zeichen: q_ab?cd"},
        {"s set $file fifo.txt", "", "", "TaskVariableSet - " + sSpecial + "fifo.txt<"},
        {"d add $file fifo.txt", "", "", "TaskVariableAdd - " + sSpecial + "fifo.txt<"},
        {"d set $file null.bin", "", "", "TaskVariableSet - " + sSpecial + "null.bin<"},
        {"s add $file sub.txt", "", "", "TaskVariableAdd - The file could not be opened:  ><dir>/sub.txt<"},
        // A variable given itself.
        {"d2 set d2", "d2", "4142"}, {"d2 add d2", "d2", "41424142"}, {"m2 set m2", "m2", "2x3"},
        {"w2 set w2", "w2", "model 2"}, {"s2 add s2", "s2", "1212"},
        {"dx add dx\ndx add dx\ndx add dx", "dx", Hex("xyzxyzxyzxyzxyzxyzxyzxyz")},
        // Comparisons in their common type.
        {"s set ABC\ns equal abc", "?", "True"}, {"s set abc\ns2 set aBc\ns equal s2", "?", "True"},
        {"i set 5\ni greater 4.7", "?", "True"}, {"i set 255\ni equal $FF", "?", "True"},
        {"f set 2.5\nf equal 2.5e0", "?", "True"}, {"b set true\nb equal TRUE", "?", "True"},
        {"b set true\nb equal yes", "?", "False"}, {"f set 2.5\ni2 set 2\nf equal i2", "?", "True"},
        {"f set 3.5\ni2 set 3\nf equal i2", "?", "False"}, {"i set 1\ns2 set 1\ni equal s2", "?", "True"},
        {"i set 10\ns2 set 9\ni less s2", "?", "True", {},
         "22 TaskVariableCompare - Vergleichender interpretierter Wert als string: 9"},
        {"i set -3\ni equal b2", "?", "True"}, {"f set 0.1\ns2 set 0.1\nf equal s2", "?", "True"},
        {"s set 12abc\ni2 set 12\ns equal i2", "?", "True"}, {"d equal true", "?", "True"},
        {"d0 equal false", "?", "True"}, {"d greater d0", "?", "True"}, {"d0 greater d", "?", "False"},
        {"m equal true", "?", "True"}, {"w0 equal false", "?", "True"}, {"b equal d", "?", "False"},
        {"s set true\ns equal d", "?", "True"}, {"f set nan\nf equal nan", "?", "False"},
        {"f set nan\nf less 1", "?", "False"}, {"f set nan\nf greater 1", "?", "False"},
        {"s set \xC3\xA9\ns greater z", "?", "True"}, {"s set ab\ns less abc", "?", "True"},
        {"s set " + A40 + "X\ns greater " + A40, "?", "True", {},
         "21 TaskVariableCompare - Eigener Wert der Variable s: (max. 32 Zeichen): " + A40.substr(8)},
        // Arithmetic: wrapping, division by zero, checksums.
        {"i set -7\ni div 2", "i", "-3"}, {"i div 0", "i", "100"}, {"i div 0.7", "i", "100"},
        {"i2 set 0\ni div i2", "i", "100"}, {"f div 0", "f", "0.5"}, {"f2 set 0\nf div f2", "f", "0.5"},
        {"f div 2", "f", "0.25"}, {"i set 9223372036854775807\ni add 1", "i", "-9223372036854775808"},
        {"i set -9223372036854775808\ni sub 1", "i", "9223372036854775807"},
        {"i set 9223372036854775807\ni mul 2", "i", "-2"},
        {"i set -9223372036854775808\ni div -1", "i", "-9223372036854775808"},
        {"i set -9223372036854775808\ni mul -1", "i", "-9223372036854775808"},
        {"i sub f2", "i", "98", {}, "20 TaskVariableMath - Interpretierte Variable von float zu integer: 2"},
        {"f2 set 3.5\ni mul f2", "i", "400"}, {"f mul i2", "f", "3.5"}, {"f sub 0.25", "f", "0.25"},
        {"f2 set 1e300\ni mul f2", "i", "-100"}, // 100 times the largest, wrapped
        {"d set $file nine.bin\ni crc16ccitt d", "i", "10673"}, {"i crc16ccitt d0", "i", "100"},
        {"f crc16ccitt 3", "f", "0.5"}, {"f crc16ccitt i2", "f", "0.5"},
        {"b sub 1", "", "", RefusedMath}, {"s mul 2", "", "", RefusedMath}, {"d div 2", "", "", RefusedMath},
        {"m sub 1", "", "", RefusedMath}, {"w mul 1", "", "", RefusedMath}, {"i sub b2", "", "", RefusedMath},
        {"i mul s2", "", "", RefusedMath}, {"f div d2", "", "", RefusedMath}, {"i crc16ccitt 5", "", "", RefusedMath},
        {"i crc16ccitt i2", "", "", RefusedMath}, {"f crc16ccitt d2", "", "", RefusedMath},
        {"i div d2", "", "", RefusedMath},
    };
    const std::string sFolder = folder.path().toStdString();
    for (const uRow& row : rows) {
        SCOPED_TRACE(row.sStatements.substr(0, 60));
        const auto errors = RunToEnd(Declarations + row.sStatements + "\nfunction beep", Preset);
        if (row.sError.empty()) {
            EXPECT_TRUE(errors.empty()) << errors.front();
            EXPECT_EQ(Snapshot()[row.sName], row.sExpected);
        } else {
            int iLine = 20;
            for (char c : row.sStatements) iLine += c == '\n';
            std::string sError = row.sError;
            if (const auto i = sError.find("<dir>"); i != std::string::npos) sError.replace(i, 5, sFolder);
            EXPECT_EQ(errors, std::vector<std::string>{"Script error: Skriptzeile " + std::to_string(iLine) + " " + sError});
        }
        if (!row.sLine.empty()) EXPECT_TRUE(HasOutput("Skriptzeile " + row.sLine)) << row.sLine;
    }
}

TEST_F(ScriptValues, TheMillisecondsOfTime2AreReadBeforeTheTime) {
    // A clock that moves on by 1 ms each time it is read.
    struct SteppingClock : ScriptEnvironment {
        QDateTime LocalTime() override { return start.addMSecs(iReads++); }
        QDateTime start{QDate(2026, 12, 6), QTime(14, 3, 7, 45)};
        int iReads = 0;
    };
    auto pClock = std::make_shared<SteppingClock>();
    SetEnvironment(pClock);
    RunToEnd(Declarations + "s set $time2\nfunction beep", Preset);
    EXPECT_EQ(Snapshot()["s"], "14:03:07.045");
    // At the turn of a year the milliseconds come from the earlier reading.
    pClock->start = QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59, 999));
    pClock->iReads = 0;
    RunToEnd(Declarations + "s set $datetime2\nfunction beep", Preset);
    EXPECT_EQ(Snapshot()["s"], "2027-01-01 00:00:00.999");
}

} // namespace
