// Instrument and function lines: each script parses into its canonical text or fails with its
// exact error; the fields the checkers fill; byte lists.
#include "script/ScriptFunctionLines.h"
#include "script/ScriptInstrumentLines.h"
#include "script/ScriptParser.h"
#include "script/ScriptText.h"

#include <gtest/gtest.h>

using namespace InstrumentScript;
using namespace std::string_literals;

namespace {

// The canonical text of a successful parse, or the error.
std::string Canonical(const std::string& sScript, std::shared_ptr<uScriptProgram>* pOut = nullptr) {
    std::shared_ptr<uScriptProgram> pProgram;
    std::string sError;
    if (!ParseScript(sScript, "", pProgram, sError)) return sError;
    if (pOut) *pOut = pProgram;
    return CreateScriptTaskString(pProgram.get(), sError);
}

struct uCase {
    std::string sScript, sExpected;
};

void RunCases(const std::vector<uCase>& cases) {
    for (const uCase& c : cases) EXPECT_EQ(Canonical(c.sScript), c.sExpected) << c.sScript;
}

std::string Error(int iLine, const std::string& sText) {
    return "Script - Error at line " + std::to_string(iLine) + ". " + sText;
}

TEST(ScriptInstrumentLines, DeclarationsInTheirCanonicalFormOrWithTheirError) {
    RunCases({
        // Values are kept as typed; keywords, the name and the listed words are lowered.
        {"instrument $Scope USBTMC 0x0699 0x0368 C012345", "  1   instrument $scope usbtmc 0x0699 0x0368 C012345\n"},
        {"instrument usbtmc 0x0699 0x0368\ninstrument usbtmc 0x0699 0x0368",
         "  1   instrument usbtmc 0x0699 0x0368\n  2   instrument usbtmc 0x0699 0x0368\n"},
        {"instrument", Error(1, "An instrument name or interface was not specified.")},
        {"instrument $", Error(1, "The instrument name was not specified.")},
        {"instrument $a", Error(1, "The interface was not specified.")},
        {"instrument $a gpib 5", Error(1, "The interface name is not allowed: gpib")},
        {"instrument GPIB", Error(1, "The interface name is not allowed: gpib")},
        {"instrument $a vxi", Error(1, "The parameters for the interface were not specified.")},
        {"instrument $a usbtmc 0x0699", Error(1, "The product ID (PID) was not specified for the interface.")},
        {"instrument $a vxi 10.0.0.5", "  1   instrument $a vxi 10.0.0.5\n"},
        {"instrument $a vxi 10.0.0.5 1024 10.0.0.1 x", "  1   instrument $a vxi 10.0.0.5 1024 10.0.0.1\n"},
        {"instrument $a rawtcp 10.0.0.5", Error(1, "The port for the interface was not specified.")},
        {"instrument $a rawtcp Host.Lab 5025", "  1   instrument $a rawtcp Host.Lab 5025\n"},
        {"instrument $a serial com3", "  1   instrument $a serial com3 9600 8 1 none none\n"},
        {"instrument $a serial /dev/ttyUSB0 19200 7", "  1   instrument $a serial /dev/ttyUSB0 19200 7 1 none none\n"},
        {"instrument $a serial com3 9600 8 1.5 EVEN XON", "  1   instrument $a serial com3 9600 8 1.5 even xon\n"},
        {"instrument $a serial com3 9600 9", Error(1, "The number of data bits is invalid.")},
        {"instrument $a serial com3 9600 8 1.0", Error(1, "The number of stop bits is invalid.")},
        {"instrument $a serial com3 9600 8 2 high", Error(1, "The parity specification is invalid.")},
        {"instrument $a serial com3 9600 8 2 odd dtr", Error(1, "The flow control specification is invalid.")},
        // Declared again: the same connection adds nothing, another one is refused.
        {"instrument $a vxi 10.0.0.5\ninstrument $A VXI 10.0.0.5", "  1   instrument $a vxi 10.0.0.5\n"},
        {"instrument $a vxi 10.0.0.5\ninstrument $a vxi 10.0.0.6",
         Error(2, "The instrument is already present, with a different interface or parameters: $a")},
        {"instrument $a vxi 10.0.0.5\ninstrument $a vxi 10.0.0.5 1024",
         Error(2, "The instrument is already present, with a different interface or parameters: $a")},
        {"instrument $a usbtmc 1 2 DS1ZA123\ninstrument $a usbtmc 1 2 ds1za123",
         Error(2, "The instrument is already present, with a different interface or parameters: $a")},
        // VID and PID are hexadecimal: either case is the same device, kept in lower case.
        {"instrument $a usbtmc 1AB1 04CE X\ninstrument $a usbtmc 1ab1 04ce X", "  1   instrument $a usbtmc 1ab1 04ce X\n"},
        {"instrument $a serial com3\ninstrument $a serial com3 9600 8 1 NONE none", "  1   instrument $a serial com3 9600 8 1 none none\n"},
    });
}

TEST(ScriptInstrumentLines, SelectionsAndSettings) {
    const std::string sDeclared = "instrument $a vxi 1.2.3.4\n";
    RunCases({
        {"$A\ninstrument $a vxi 1.2.3.4", "  1   $a\n  2   instrument $a vxi 1.2.3.4\n"},
        {"$b", Error(1, "The selected instrument is not present.")},
        {sDeclared + "$a reset", Error(2, "This instruction is not allowed: reset")},
        {sDeclared + "$a set", Error(2, "The parameters for the instruction were not specified.")},
        {sDeclared + "$a set speed 5", Error(2, "This instruction is not allowed: speed")},
        {sDeclared + "$a set timeout", "  1   instrument $a vxi 1.2.3.4\n  2   $a set timeout\n"},
        {sDeclared + "$a SET Wait SCPI 500 extra", "  1   instrument $a vxi 1.2.3.4\n  2   $a set wait scpi 500\n"},
        {sDeclared + "$a set termchar 0d,0a", "  1   instrument $a vxi 1.2.3.4\n  2   $a set termchar 0d,0a\n"},
    });
    std::shared_ptr<uScriptProgram> p;
    ASSERT_EQ(Canonical(sDeclared + "$a set wait srq", &p), "  1   instrument $a vxi 1.2.3.4\n  2   $a set wait srq\n");
    const uScriptTask& set = p->mTasks.back();
    EXPECT_EQ(set.eTaskType, eScriptTaskType::InstrumentSet);
    EXPECT_EQ(set.setting->Value, "srq");
    EXPECT_EQ(set.setting->Value2, "");
    EXPECT_EQ(set.Execute, 1);
}

TEST(ScriptInstrumentLines, TheCheckersOnTheirOwn) {
    EXPECT_EQ(GetInterfaceType("serial", 0), 1);
    EXPECT_EQ(GetInterfaceType("serial", 1), 4);
    EXPECT_EQ(GetInterfaceType("com", 1), 0);
    uScriptInstrument d;
    std::string sError;
    EXPECT_FALSE(CheckInterfaceParameters(5, "x", d, sError));
    EXPECT_EQ(sError, "");
    uScriptInstrument a, b;
    EXPECT_TRUE(CompareInstrumentDefinition(a, b));
    a.InterfaceType = b.InterfaceType = 7;
    EXPECT_FALSE(CompareInstrumentDefinition(a, b));
}

TEST(ScriptFunctionLines, EveryActionInItsCanonicalFormOrWithItsError) {
    RunCases({
        {"function", Error(1, "No action has been specified for the function.")},
        {"function print", Error(1, "This action is not allowed: print")},
        {"function wait", Error(1, "The parameters for the function were not specified.")},
        {"function beep", "  1   function beep ok\n"},
        {"function beep WARNING", "  1   function beep warning\n"},
        {"function beep loud", "  1   function beep ok\n"},
        {"string v\nv function beep information", "  1   string v\n  2   function beep information\n"},
        {"function scpi write *RST", "  1   function scpi write *RST\n"},
        {"string v\nv function SCPI Read :MEAS:VOLT? CH1", "  1   string v\n  2   v function scpi read :MEAS:VOLT? CH1\n"},
        {"function scpi send *RST", Error(1, "An action for the SCPI command was not specified.")},
        {"string v\nv function scpi", Error(2, "An action for the SCPI command was not specified.")},
        {"function scpi read", Error(1, "The SCPI command was not specified.")},
        {"string v\nv function save \"C:\\Data\\Out.TXT\" ADD eol", "  1   string v\n  2   v function save \"C:\\Data\\Out.TXT\" add eol\n"},
        {"string v\nv function save out.txt", Error(2, "The file name was not specified in double quotes.")},
        {"string v\nv function save \"\" add", Error(2, "The file name was not specified in double quotes.")},
        {"string v\nv function save", Error(2, "The file name was not specified in double quotes.")},
        // No writer takes a script's waveform: the check says so with the run's words, no file's.
        {"waveform w\nimage m\nm function save \"m.png\"\nw function SAVE \"w_/$m.csv\" asc",
         Error(4, "Saving the traces of a script waveform as a file is not supported.")},
        {"data d\nd function remove first 3 last 2 block", "  1   data d\n  2   d function remove first 3 last 2 block\n"},
        {"data d\nd function remove first", Error(2, "The number for the instruction 'first' was not specified.")},
        {"data d\nd function remove last 0", Error(2, "The number for the instruction 'last' was not specified.")},
        {"data d\nd function remove", Error(2, "The parameters for the instruction were not specified.")},
        {"function remove", Error(1, "The parameters for the function were not specified.")},
        {"data d\nd function remove nothing", "  1   data d\n  2   d function remove nothing\n"},
        {"string s\ns function replace 0d,0a \" \"", "  1   string s\n  2   s function replace 0d,0a \" \"\n"},
        {"string s\ns function replace \"a\" \"\"", "  1   string s\n  2   s function replace \"a\" \"\"\n"},
        {"string s\ns function replace 0d,0a", Error(2, "The parameter for the value to be searched was not specified.")},
        {"string s\ns function replace \"abc", Error(2, "The parameter for the value to be searched was not specified.")},
        {"string s\ns function replace \"\" x", Error(2, "The parameter for the value to be searched was not specified.")},
        {"string s\ns function replace \"a\"", Error(2, "The parameter for the value to be replaced was not specified.")},
        {"function wait 500", "  1   function wait 500\n"},
        {"function wait 0", "  1   function wait 0\n"},
        {"function wait abc", "  1   function wait 0\n"},
        {"function wait abs", Error(1, "The waiting time is invalid, it must be greater than zero.")},
        {"function wait ABS 1000", "  1   function wait abs 1000\n"},
        {"function wait time 7:05:00", Error(1, "The value for the time is invalid.")},
        {"function wait time 24:00:00", Error(1, "The value for the time is invalid.")},
        {"function wait time 07:05:00", "  1   function wait time 07:05:00\n"},
        {"function wait date 2024-02-30 10:00:00", Error(1, "The value for the date with time is invalid.")},
        {"function wait date 2024-02-29 10:00", Error(1, "The value for the date with time is invalid.")},
        {"function wait date 2024-02-29 23:59:58", "  1   function wait date 2024-02-29 23:59:58\n"},
        {"function wait date", Error(1, "The waiting time is invalid, it must be greater than zero.")},
        {"function wait msg Please check the probe", "  1   function wait msg Please check the probe\n"},
        {"function wait msg \"Hallo  Welt\"", "  1   function wait msg Hallo  Welt\n"},
        {"image i\ni function screencopy LARGE bw", "  1   image i\n  2   i function screencopy large bw\n"},
        {"function screencopy", "  1   function screencopy\n"},
        {"waveform w\nw function waveform Memory CH1", "  1   waveform w\n  2   w function waveform memory ch1\n"},
        {"function view now", "  1   function view\n"},
        {"string s\ns function clipboard now", "  1   string s\n  2   s function clipboard\n"},
        // A true or false line shows its function task again, in its checked form.
        {"true function beep ERROR", "  1   true function beep ERROR\n  1   function beep error\n"},
        {"false function wait abc", "  1   false function wait abc\n  1   function wait 0\n"},
        {"true function print", Error(1, "This action is not allowed: print")},
        {"false function scpi read", Error(1, "The SCPI command was not specified.")},
    });
}

TEST(ScriptFunctionLines, TheFieldsAndLinksOfTheActionTasks) {
    std::shared_ptr<uScriptProgram> p;
    ASSERT_EQ(Canonical("data d\nd function remove first 3 last 2 block last 1\nfunction wait time 07:05:09\n"
                        "string s\ns function replace \"A b\" 41,42 3\ntrue function wait date 2000-02-29 01:02:03\n"
                        "function wait msg Voltage $u1 V\nd function save \"a.bin\"",
                        &p)
                  .rfind("  1   data d\n", 0),
              0u);
    const auto& o = p->mOrder;
    ASSERT_EQ(o.size(), 14u);
    const uScriptTask& variable = *o[0];
    const uScriptTask& removeLine = *o[1];
    const uScriptTask& remove = *o[2];
    EXPECT_EQ(removeLine.eTaskType, eScriptTaskType::VariableInstruction);
    EXPECT_EQ(removeLine.pInstructionAddress, &remove);
    EXPECT_EQ(remove.pParentAddress, &variable);
    EXPECT_EQ(remove.remove->sParameter, "first 3 last 2 block last 1");
    EXPECT_EQ(remove.remove->aRemove[0].eRemove, 2);
    EXPECT_EQ(remove.remove->aRemove[0].iNumber, 3);
    EXPECT_EQ(remove.remove->aRemove[1].eRemove, 3);
    EXPECT_EQ(remove.remove->aRemove[1].iNumber, 2);
    EXPECT_EQ(remove.remove->aRemove[2].eRemove, 1);
    EXPECT_EQ(remove.remove->aRemove[2].iNumber, 0);
    const uScriptTask& function = *o[3];
    const uScriptTask& wait = *o[4];
    EXPECT_EQ(function.eTaskType, eScriptTaskType::Function);
    EXPECT_EQ(function.Execute, 0);
    EXPECT_EQ(function.pInstructionAddress, &wait);
    EXPECT_EQ(wait.pParentAddress, nullptr);
    EXPECT_EQ(wait.wait->eWait, 2);
    EXPECT_EQ(wait.wait->iTime, 7 * 3600 + 5 * 60 + 9);
    EXPECT_EQ(wait.Execute, 1);
    const uScriptTask& replace = *o[7];
    EXPECT_EQ(replace.replace->sSearch, "A b");
    EXPECT_EQ(replace.replace->fSearchBytes, 0);
    EXPECT_EQ(replace.replace->sReplacement, "41,42");
    EXPECT_EQ(replace.replace->fReplacementBytes, 1);
    EXPECT_EQ(replace.replace->iCount, 3);
    const uScriptTask& condition = *o[8];
    EXPECT_EQ(condition.eTaskType, eScriptTaskType::True);
    EXPECT_EQ(condition.pInstructionAddress, o[9]);
    EXPECT_EQ(o[9]->wait->iDate, 951782400 + 3723);
    EXPECT_EQ(o[9]->pParentAddress, nullptr);
    EXPECT_EQ(o[11]->wait->sMessage, "Voltage $u1 V");
    EXPECT_EQ(o[13]->save->sFilepath, "a.bin");
    EXPECT_EQ(o[13]->save->sParameter, "");
    for (const uScriptTask* pTask : o) EXPECT_EQ(pTask->fParsed, 1);
}

TEST(ScriptFunctionLines, GetFunctionActionAndUnquote) {
    bool fRequired = false;
    EXPECT_EQ(GetFunctionAction("wait", fRequired), eScriptTaskType::FunctionWait);
    EXPECT_TRUE(fRequired);
    EXPECT_EQ(GetFunctionAction("beep", fRequired), eScriptTaskType::FunctionBeep);
    EXPECT_FALSE(fRequired);
    EXPECT_EQ(GetFunctionAction("print", fRequired), eScriptTaskType::None);
    EXPECT_EQ(UnquoteParameter("x \"a b\" \"c\""), "a b");
    EXPECT_EQ(UnquoteParameter("\"a"), "");
    EXPECT_EQ(UnquoteParameter(""), "");
    EXPECT_EQ(UnquoteParameter("\"\""), "");
}

TEST(ScriptByteLists, AsTextAndAsBytes) {
    const struct {
        std::string sList, sText, sBytes;
    } cases[] = {
        {"0d,0a", "\r\n", "\r\n"},
        {"41,00,42", "A", "A\0B"s},
        {"$0d,41", "", "\0A"s},
        {"zz,141", "", "\0A"s}, // no hexadecimal digit reads 0; only the low 8 bits count
        {"", "", ""},
        {",", "", "\0\0"s},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseByteList(c.sList), c.sText) << c.sList;
        const DataBuffer bytes = ParseByteListToMemory(c.sList);
        EXPECT_EQ(std::string(bytes.view()), c.sBytes) << c.sList;
        EXPECT_EQ(bytes.allocated(), !c.sList.empty()) << c.sList;
    }
}

} // namespace
