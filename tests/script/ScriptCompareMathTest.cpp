// equal/greater/less in their common types and sub/mul/div/crc16ccitt, run by the real
// interpreter thread: results, log lines, refusals, and the integer edges that must not trap.
#include "ScriptValuesSupport.h"

#include <gtest/gtest.h>

#include <QImage>

using namespace InstrumentScript;
using ScriptTest::Snapshot;
using ScriptTest::VariableOf;

namespace {

const std::string Declarations = "boolean b\ninteger i\nfloat f\nstring s\ndata d\nimage m\nwaveform w\n"
                                 "boolean b2\ninteger i2\nfloat f2\nstring s2\ndata d2\n";

class ScriptCompareMath : public ScriptTest::ValuesFixture {
  protected:
    // The result line of the comparison on line 13 + iAfter.
    std::string ResultOf(const uRun& run, int iLine) {
        const std::string sHead = "Skriptzeile " + std::to_string(iLine) + " TaskVariableCompare - Ergebnis des Vergleichs: ";
        for (const auto& s : run.outputs) {
            if (s.rfind(sHead, 0) == 0) return s.substr(sHead.size());
        }
        return "none";
    }
};

TEST_F(ScriptCompareMath, ComparisonsMeetInTheirCommonType) {
    struct uCase {
        const char* sSetup; // lines before the comparison (which is the last line)
        const char* sCompare;
        const char* sResult;
    } cases[] = {
        {"s set ABC", "s equal abc", "True"},
        {"s set abc\ns2 set aBc", "s equal s2", "True"},
        {"i set 5", "i greater 4.7", "True"}, // the literal reads as the integer 4
        {"i set 255", "i equal $FF", "True"},
        {"f set 2.5", "f equal 2.5e0", "True"},
        {"b set true", "b equal TRUE", "True"},
        {"b set true", "b equal yes", "False"},
        {"f set 2.5\ni2 set 2", "f equal i2", "True"}, // 2.5 rounds to the even 2
        {"f set 3.5\ni2 set 3", "f equal i2", "False"},
        {"i set 1\ns2 set 1", "i equal s2", "True"},
        {"i set 10\ns2 set 9", "i less s2", "True"}, // "10" sorts before "9"
        {"i set -3\nb2 set true", "i equal b2", "True"},
        {"i set 0\nb2 set true", "i less b2", "True"},
        {"f set 0.1\ns2 set 0.1", "f equal s2", "True"}, // the plain form, not the locale's
        {"s set 12abc\ni2 set 12", "s equal i2", "True"},
        {"", "d equal true", "True"},
        {"", "d2 equal false", "True"},
        {"", "d greater d2", "True"},
        {"", "d2 greater d", "False"},
        {"", "m equal true", "True"},
        {"", "w equal false", "True"},
        {"", "b equal d", "False"}, // the presence flag: b false, d present
        {"s set true", "s equal d", "True"},
        {"f set nan", "f equal nan", "False"},
        {"f set nan", "f less 1", "False"},
        {"f set nan", "f greater 1", "False"},
        // Byte order of UTF-8 is the order of the code points: é (U+00E9) after z.
        {"s set \xC3\xA9", "s greater z", "True"},
        {"s set ab", "s less abc", "True"},
        {"s set \"" "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaX" "\"", "s greater " "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", "True"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sCompare);
        const std::string sSetup = *c.sSetup ? std::string(c.sSetup) + "\n" : std::string();
        int iLine = 13;
        for (char ch : sSetup) iLine += ch == '\n';
        const auto run = RunScript(Declarations + sSetup + c.sCompare, [](uScriptProgram& p) {
            VariableOf(p, "d").Data = DataBuffer::FromText("x");
            VariableOf(p, "m").Image = QImage(1, 1, QImage::Format_RGB32);
        });
        EXPECT_TRUE(run.errors.empty()) << run.errors.front();
        EXPECT_EQ(ResultOf(run, iLine), c.sResult);
    }
}

TEST_F(ScriptCompareMath, TheResultDrivesTheNextTrueOrFalse) {
    const auto run = RunScript(Declarations + "i set 3\ni less 4\ntrue goto yes\ni set 1\ngoto end\nlabel yes\n"
                                              "i set 9\nlabel end\ni greater 100\nfalse goto skip\ni add 1000\n"
                                              "label skip\ni add 1\nfunction beep");
    EXPECT_TRUE(run.errors.empty());
    EXPECT_EQ(Snapshot()["i"], "10");
}

TEST_F(ScriptCompareMath, ComparisonLinesShowBothSidesInTheCommonType) {
    const auto run = RunScript(Declarations + "i set 10\ns2 set 9\ni less s2\nf set 2.5\nf equal 2.5e0\n"
                                              "s set \"" + std::string(40, 'A') + "\"\ns equal s2");
    const std::vector<std::string> expected{
        "Skriptzeile 15 TaskVariableCompare - Eigener Wert der Variable i: 10",
        "Skriptzeile 15 TaskVariableCompare - Eigener interpretierter Wert als string: 10",
        "Skriptzeile 15 TaskVariableCompare - Vergleichender interpretierter Wert als string: 9",
        "Skriptzeile 15 TaskVariableCompare - Ergebnis des Vergleichs: True",
        "Skriptzeile 17 TaskVariableCompare - Eigener Wert der Variable f: 2.5",
        "Skriptzeile 17 TaskVariableCompare - Interpretierter Wert: 2.5",
        "Skriptzeile 19 TaskVariableCompare - Eigener Wert der Variable s: (max. 32 Zeichen): " + std::string(32, 'a'),
        "Skriptzeile 19 TaskVariableCompare - Eigener interpretierter Wert als string: " + std::string(32, 'a'),
        "Skriptzeile 19 TaskVariableCompare - Ergebnis des Vergleichs: False",
    };
    for (const auto& s : expected) EXPECT_TRUE(Contains(run.outputs, s)) << s;
}

TEST_F(ScriptCompareMath, ArithmeticWrapsAndNeverTraps) {
    struct uCase {
        const char* sStatements;
        const char* sTarget;
        const char* sExpected;
    } cases[] = {
        {"i set -7\ni div 2", "i", "-3"},
        {"i set 7\ni div 0", "i", "7"},
        {"i set 7\ni div 0.7", "i", "7"}, // the literal reads as 0
        {"i set 7\ni2 set 0\ni div i2", "i", "7"},
        {"f set 7.5\nf div 0", "f", "7.5"},
        {"f set 7.5\nf2 set 0\nf div f2", "f", "7.5"},
        {"f set 7.5\nf div 2", "f", "3.75"},
        {"i set 9223372036854775807\ni add 1", "i", "-9223372036854775808"},
        {"i set -9223372036854775808\ni sub 1", "i", "9223372036854775807"},
        {"i set 9223372036854775807\ni mul 2", "i", "-2"},
        {"i set -9223372036854775808\ni div -1", "i", "-9223372036854775808"},
        {"i set -9223372036854775808\ni mul -1", "i", "-9223372036854775808"},
        {"i set 10\nf2 set 2.5\ni sub f2", "i", "8"},
        {"i set 10\nf2 set 3.5\ni mul f2", "i", "40"},
        {"f set 1.5\ni2 set 2\nf mul i2", "f", "3"},
        {"f set 1.5\nf sub 0.25", "f", "1.25"},
        {"f2 set 1e300\ni set 1\ni mul f2", "i", "9223372036854775807"},
        {"d set $file nine.bin\ni crc16ccitt d", "i", "10673"},
        {"i set 5\ni crc16ccitt d2", "i", "5"}, // an empty Data variable: unchanged
        // crc16ccitt on a Float changes nothing, with a literal or a number variable.
        {"f set 1.5\nf crc16ccitt 3", "f", "1.5"},
        {"f set 1.5\ni2 set 3\nf crc16ccitt i2", "f", "1.5"},
    };
    WriteFile("nine.bin", "123456789");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sStatements);
        const auto run = RunScript(Declarations + c.sStatements + "\nfunction beep");
        EXPECT_TRUE(run.errors.empty()) << run.errors.front();
        EXPECT_EQ(Snapshot()[c.sTarget], c.sExpected);
    }
}

TEST_F(ScriptCompareMath, UnsuitableCombinationsAreRefused) {
    const char* statements[] = {
        "b sub 1", "s mul 2", "d div 2", "m sub 1", "w mul 1",
        "i sub b2", "i add 1\ni mul s2", "f div d2", "i crc16ccitt 5", "i crc16ccitt i2",
        "f crc16ccitt d2", "i div d2",
    };
    for (const char* sStatement : statements) {
        SCOPED_TRACE(sStatement);
        int iLine = 13;
        for (const char* p = sStatement; *p; ++p) iLine += *p == '\n';
        const auto run = RunScript(Declarations + sStatement);
        EXPECT_EQ(run.errors, std::vector<std::string>{"Script error: Skriptzeile " + std::to_string(iLine) +
                                                       " TaskVariableMath - The calculation is not allowed with this "
                                                       "data type."});
        EXPECT_TRUE(Contains(run.outputs, "Skriptzeile " + std::to_string(iLine) +
                                              " Thread - Fehler beim Verrechnen eines Werts mit einer Variable."));
    }
}

TEST_F(ScriptCompareMath, MathLinesNameTheOperand) {
    const auto run = RunScript(Declarations + "f2 set 2.5\ni sub f2\ni mul 0x10\nf div i2");
    for (const char* s : {"Skriptzeile 14 TaskVariableMath - Variable von der Rechnung: f2",
                          "Skriptzeile 14 TaskVariableMath - Interpretierte Variable von float zu integer: 2",
                          "Skriptzeile 15 TaskVariableMath - Wert für die Rechnung: 0x10",
                          "Skriptzeile 15 TaskVariableMath - Interpretierter Wert: 0",
                          "Skriptzeile 16 TaskVariableMath - Interpretierte Variable von integer zu float: 0"}) {
        EXPECT_TRUE(Contains(run.outputs, s)) << s;
    }
    EXPECT_TRUE(run.fFinished);
}

} // namespace
