// Variable lines and the canonical text: each script (and constants text) parses into the
// canonical text it prints, or fails with its exact error.
#include "script/ScriptParser.h"
#include "script/ScriptText.h"

#include <gtest/gtest.h>

#include <functional>

using namespace InstrumentScript;
using namespace std::string_literals;

namespace {

struct uCase {
    std::string sScript, sConstants;
    std::string sExpected; // the canonical text, or the error when it does not start with a digit column
};

// The canonical text of a successful parse, or the error.
std::string Canonical(const std::string& sScript, const std::string& sConstants,
                      std::shared_ptr<uScriptProgram>* pOut = nullptr) {
    std::shared_ptr<uScriptProgram> pProgram;
    std::string sError;
    if (!ParseScript(sScript, sConstants, pProgram, sError)) return sError;
    if (pOut) *pOut = pProgram;
    std::string sTextError;
    const std::string sText = CreateScriptTaskString(pProgram.get(), sTextError);
    EXPECT_EQ(sTextError, "");
    return sText;
}

void RunCases(const std::vector<uCase>& cases) {
    for (const uCase& c : cases) EXPECT_EQ(Canonical(c.sScript, c.sConstants), c.sExpected) << c.sScript;
}

std::string Lines(std::size_t iEmpty, const std::string& sLine) { return std::string(iEmpty, '\n') + sLine; }

TEST(ScriptText, EveryBodyOfTheVariableLines) {
    RunCases({
        {"integer count\nCount set 5", "", "  1   integer count\n  2   count set 5\n"},
        {"count set 5\ninteger count", "", "  1   count set 5\n  2   integer count\n"},
        {"integer n\nn add 1\nn sub 2\nn mul 3\nn div 4\nn crc16ccitt 5\nn equal 6\nn greater 7\nn less 8", "",
         "  1   integer n\n  2   n add 1\n  3   n sub 2\n  4   n mul 3\n  5   n div 4\n  6   n crc16ccitt 5\n"
         "  7   n equal 6\n  8   n greater 7\n  9   n less 8\n"},
        {"string msg\nmsg set hello   world", "", "  1   string msg\n  2   msg set hello world\n"},
        {"string msg\nmsg set \"a  b\"", "", "  1   string msg\n  2   msg set a  b\n"},
        {"string msg\nmsg set \"a  b\" \"c  d\"", "", "  1   string msg\n  2   msg set a  b\" \"c d\n"},
        {"string msg\nmsg set \"", "", "  1   string msg\n  2   msg set\n"},
        {"string msg\nmsg add \"\"\"", "", "  1   string msg\n  2   msg add\n"},
        {"string msg\nmsg set \"abc", "", "  1   string msg\n  2   msg set \"abc\n"},
        {"string msg\nmsg set \"a // b\" // note", "", "  1   string msg\n  2   msg set a // b\n"},
        {"data data1\ndata1 set $file  C:\\temp\\in.bin ", "", "  1   data data1\n  2   data1 set $file C:\\temp\\in.bin\n"},
        {"data d\nd add $FILE \"x y.bin\"", "", "  1   data d\n  2   d add $file \"x y.bin\"\n"},
        {"data d\nd set $filex", "", "  1   data d\n  2   d set $filex\n"},
        {"integer n\ndata buffer\nn crc16ccitt buffer", "", "  1   integer n\n  2   data buffer\n  3   n crc16ccitt buffer\n"},
        {"integer n\nn equal \"5\"", "", "  1   integer n\n  2   n equal 5\n"},
        {"integer n\nn equal 5 6", "", "  1   integer n\n  2   n equal 5 6\n"},
        {"integer n\ninteger count\nn equal COUNT", "", "  1   integer n\n  2   integer count\n  3   n equal COUNT\n"},
        {"string $date\nstring x\nx set $DATE", "", "  1   string $date\n  2   string x\n  3   x set $date\n"},
        {"string a\ninteger b\na set B\nb add A\nb sub a", "",
         "  1   string a\n  2   integer b\n  3   a set b\n  4   b add a\n  5   b sub a\n"},
        {"  integer \t  x  \nx  set\t5   ", "", "  1   integer x\n  2   x set 5\n"},
        // Control bytes stay as they are (CR ends a line and a NUL byte is refused, as lines are split).
        {"string s\ns set a\x01" "b\x1f" "c"s, "", "  1   string s\n  2   s set a\x01" "b\x1f" "c\n"s},
    });
}

TEST(ScriptText, ErrorsOfTheVariableLines) {
    RunCases({
        {"integer n\nn crc16ccitt", "", "Script - Error at line 2. The parameters for the instruction were not specified."},
        {"integer n\nn less", "", "Script - Error at line 2. The parameters for the instruction were not specified."},
        {"integer n\nn function", "", "Script - Error at line 2. The parameters for the instruction were not specified."},
        {"integer n\nn PUT 5", "", "Script - Error at line 2. This instruction is not allowed: put"},
        {"integer n\nn", "", "Script - Error at line 2. No instruction was specified."},
        {"m set 1", "", "Script - Error at line 1. The variable does not exist, it has not been declared: m"},
        {"M set 1", "", "Script - Error at line 1. The variable does not exist, it has not been declared: m"},
        {"data d\n\nd set $FILE", "", "Script - Error at line 3. No file name was specified."},
        {"data d\nd add $file   ", "", "Script - Error at line 2. No file name was specified."},
        {"integer SeT", "", "Script - Error at line 1. The variable name is not allowed: set"},
        {"integer CrC16CCITT\ncrc16ccitt set 1", "", "  1   integer crc16ccitt\n  2   crc16ccitt set 1\n"},
        // Pass order: pass 3 before pass 4 before the linking pass.
        {"x set 1\ngoto nowhere", "", "Script - Error at line 2. The jump label is not present: nowhere"},
        {"integer x\nx set $file\ny set 1", "", "Script - Error at line 3. The variable does not exist, it has not been declared: y"},
        // A line beginning with "$" is never a variable line, even when such a variable exists.
        {"string $v\n$v set 1", "", "Script - Error at line 2. The selected instrument is not present."},
        {"#v set 1\n#v add 1", "", "Script - Error at line 2. The keyword is not present: set"},
    });
}

TEST(ScriptText, LinesConstantsAndJumps) {
    std::string s21 = "string s\ns set";
    for (int i = 0; i < 21; ++i) s21 += " #c";
    std::string s21Expected = "  1   #c set y\n  1   string s\n  2   s set";
    for (int i = 0; i < 20; ++i) s21Expected += " y";
    RunCases({
        // The worked example's order; the goto of a true line adds nothing and the next line
        // keeps its own number.
        {"integer n\nlabel top\nn add 1\nn less 10\ntrue goto top\nn set 5", "",
         "  1   integer n\n  2   label top\n  3   n add 1\n  4   n less 10\n  5   true goto top\n  6   n set 5\n"},
        {"label a\nfalse goto A\ngoto a", "", "  1   label a\n  2   false goto A\n  3   goto a\n"},
        {"goto end\nlabel end", "", "  1   goto end\n  2   label end\n"},
        {"integer a\ninteger A\nlabel x y", "", "  1   integer a\n  3   label x\n"},
        {"integer value\nvalue set #SPEED", "#Speed set 10",
         "  1   #speed set 10\n  1   integer value\n  2   value set 10\n"},
        {"integer value\nvalue set \"#speed\"", "#speed set 10", "  1   #speed set 10\n  1   integer value\n  2   value set #speed\n"},
        {"string s\ns set #a", "#a set x #b\n#b set 2", "  1   #a set x #b\n  1   string s\n  2   #b set 2\n  2   s set x 2\n"},
        {"#cmd\nlabel end", "#cmd set goto end", "  1   #cmd set goto end\n  1   goto end\n  2   label end\n"},
        {"string s\n#k set  \"a  b\"\ns set #k", "", "  1   string s\n  2   #k set \"a  b\"\n  3   s set a  b\n"},
        {s21, "#c set y", s21Expected + " #c\n"},
        {Lines(1233, "integer x"), "", "234   integer x\n"},
        {Lines(1004, "integer x"), "", "005   integer x\n"},
        {Lines(98, "integer x"), "", " 99   integer x\n"},
    });
}

TEST(ScriptText, TheTaskFieldsOfVariableLines) {
    std::shared_ptr<uScriptProgram> p;
    ASSERT_EQ(Canonical("integer count\ninteger total\ntotal set count\ntotal set \"count\"\ncount crc16ccitt total\n"
                        "count less \"5\"\ndata d\nd add $file f.bin",
                        "", &p)
                  .substr(0, 1),
              " ");
    const auto& o = p->mOrder;
    ASSERT_EQ(o.size(), 13u);
    const uScriptTask* pCount = o[0];
    const uScriptTask* pTotal = o[1];
    // total set count: a reference to count.
    EXPECT_EQ(o[2]->eTaskType, eScriptTaskType::VariableInstruction);
    EXPECT_EQ(o[2]->instruction->Name, "total");
    EXPECT_EQ(o[2]->instruction->Instruction, "set");
    EXPECT_EQ(o[2]->instruction->Parameter, "count");
    EXPECT_EQ(o[2]->Execute, 0);
    EXPECT_EQ(o[2]->fParsed, 1);
    EXPECT_EQ(o[2]->pParentAddress, pTotal);
    EXPECT_EQ(o[2]->pInstructionAddress, o[3]);
    EXPECT_EQ(o[3]->eTaskType, eScriptTaskType::VariableSet);
    EXPECT_EQ(o[3]->Execute, 1);
    EXPECT_EQ(o[3]->pParentAddress, pTotal);
    EXPECT_EQ(o[3]->set->pAddress, pCount);
    EXPECT_EQ(o[3]->set->sValue, "count");
    // total set "count": the text.
    EXPECT_EQ(o[5]->set->pAddress, nullptr);
    EXPECT_EQ(o[5]->set->sValue, "count");
    EXPECT_EQ(o[5]->set->fFile, 0);
    EXPECT_EQ(o[7]->eTaskType, eScriptTaskType::VariableMath);
    EXPECT_EQ(o[7]->math->eMath, 4);
    EXPECT_EQ(o[7]->math->operand.pAddress, pTotal);
    EXPECT_EQ(o[7]->pParentAddress, pCount);
    EXPECT_EQ(o[9]->eTaskType, eScriptTaskType::VariableCompare);
    EXPECT_EQ(o[9]->compare->eCompare, 3);
    EXPECT_EQ(o[9]->compare->operand.sValue, "5");
    EXPECT_EQ(o[9]->compare->operand.pAddress, nullptr);
    EXPECT_EQ(o[12]->eTaskType, eScriptTaskType::VariableAdd);
    EXPECT_EQ(o[12]->add->fFile, 1);
    EXPECT_EQ(o[12]->add->sFile, "f.bin");
    EXPECT_EQ(o[12]->add->sValue, "$file");
    for (const uScriptTask* pTask : o) EXPECT_EQ(pTask->fParsed, 1);
}

TEST(ScriptText, BodiesOfTasksMadeByOtherLines) {
    uScriptTask variable;
    variable.eTaskType = eScriptTaskType::Variable;
    variable.variable->Name = "v";
    using E = eScriptTaskType;
    const struct {
        E eType;
        bool fParent;
        std::function<void(uScriptTask&)> fill;
        std::string sBody;
    } cases[] = {
        {E::Instrument, false,
         [](uScriptTask& t) {
             t.instrument->InterfaceType = 2;
             t.instrument->Name = "$scope";
             t.instrument->VxiIpAddress = "127.0.0.1";
             t.instrument->VxiPort = "0";
         },
         "instrument $scope vxi 127.0.0.1 0"},
        {E::Instrument, false, [](uScriptTask& t) { t.instrument->InterfaceType = 9; }, "instrument"},
        {E::InstrumentSet, false, [](uScriptTask& t) { *t.setting = {"$scope", "timeout", "500", ""}; },
         "$scope set timeout 500"},
        {E::FunctionSave, true,
         [](uScriptTask& t) {
             t.save->sFilepath = "C:\\a b.txt";
             t.save->sParameter = "append";
         },
         "v function save \"C:\\a b.txt\" append"},
        {E::FunctionSave, true, [](uScriptTask&) {}, "v function save"},
        {E::FunctionScpi, true, [](uScriptTask& t) { *t.scpi = {1, ":MEAS:VOLT?"}; }, "v function scpi read :MEAS:VOLT?"},
        {E::FunctionScpi, true, [](uScriptTask& t) { *t.scpi = {0, "*RST"}; }, "v function scpi write *RST"},
        {E::FunctionBeep, true, [](uScriptTask& t) { t.beep->eMessageBeep = 48; }, "function beep warning"},
        {E::FunctionWait, false,
         [](uScriptTask& t) {
             t.wait->eWait = 2;
             t.wait->iTime = 3600 * 7 + 60 * 5 + 9;
         },
         "function wait time 07:05:09"},
        {E::FunctionWait, false,
         [](uScriptTask& t) {
             t.wait->eWait = 3;
             t.wait->iDate = 951782400 + 3723; // 2000-02-29 01:02:03
         },
         "function wait date 2000-02-29 01:02:03"},
        {E::FunctionWait, false,
         [](uScriptTask& t) {
             t.wait->eWait = 4;
             t.wait->sMessage = "Bitte  warten";
         },
         "function wait msg Bitte  warten"},
        {E::FunctionWait, false,
         [](uScriptTask& t) {
             t.wait->eWait = 1;
             t.wait->iMilliseconds = 250;
         },
         "function wait abs 250"},
        {E::FunctionRemove, true, [](uScriptTask&) {}, "v function remove"},
        {E::FunctionReplace, true, [](uScriptTask& t) { t.replace->sParameter = "\"a\" \"b\""; },
         "v function replace \"a\" \"b\""},
        {E::FunctionView, false, [](uScriptTask&) {}, "function view"},
    };
    for (const auto& c : cases) {
        uScriptTask task;
        task.eTaskType = c.eType;
        if (c.fParent) task.pParentAddress = &variable;
        c.fill(task);
        std::string sBody;
        EXPECT_TRUE(ScriptTaskBody(task, sBody));
        EXPECT_EQ(sBody, c.sBody);
    }
    for (E e : {E::None, E::Script, E::VariableInstruction, E::Function}) {
        uScriptTask task;
        task.eTaskType = e;
        std::string sBody;
        EXPECT_FALSE(ScriptTaskBody(task, sBody));
    }
}

TEST(ScriptText, ATaskWithoutBodyLendsItsNumberToTheNext) {
    uScriptProgram program;
    uScriptTask& function = program.mTasks.emplace_back();
    function.eTaskType = eScriptTaskType::Function;
    function.iLine = 7;
    uScriptTask& beep = program.mTasks.emplace_back();
    beep.eTaskType = eScriptTaskType::FunctionBeep;
    beep.iLine = 7;
    std::string sError;
    EXPECT_EQ(CreateScriptTaskString(&program, sError), "  7   function beep ok\n");
    EXPECT_EQ(CreateScriptTaskString(nullptr, sError), "");
    EXPECT_EQ(sError, "InstrumentScript::CreateScriptTaskString: The pointer to the instance is zero.");
    uScriptProgram empty;
    sError.clear();
    EXPECT_EQ(CreateScriptTaskString(&empty, sError), "");
    EXPECT_EQ(sError, "");
}

} // namespace
