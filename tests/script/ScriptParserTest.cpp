// The parser's front end and passes: lines, constants, labels, jumps, declarations, conditions.
#include "script/ScriptParser.h"

#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

using namespace InstrumentScript;

namespace {

std::vector<uScriptLine> Split(const std::string& sText) {
    std::vector<uScriptLine> lines;
    SplitScriptLines(sText, lines, LineSourceScript);
    return lines;
}

TEST(ScriptLines, SplitTrimsDropsCommentsAndCollapsesBlanks) {
    const struct {
        std::string sText;
        std::vector<std::pair<std::int64_t, std::string>> lines;
    } cases[] = {
        {"a\n\n// note\n  b", {{1, "a"}, {4, "b"}}},
        {"a\r\n \t \r\nb\r", {{1, "a"}, {3, "b"}}},
        {"x set \"a // b\" // note", {{1, "x set \"a // b\""}}},
        {"x set 5   // note", {{1, "x set 5"}}},
        {"x  set   \"a   b\"   c    d", {{1, "x set \"a   b\" c d"}}},
        {"x set \"a  b\" \"c  d\"", {{1, "x set \"a  b\" \"c d\""}}},
        {"x set \"a\tb\"", {{1, "x set \"a b\""}}},
        {"x  set \"a  b", {{1, "x set \"a b"}}},
        // CR, LF and CR LF each end a line, as the editor shows them.
        {"a\rb", {{1, "a"}, {2, "b"}}},
        {"a\r\rb\n\r\nc\r\n", {{1, "a"}, {3, "b"}, {5, "c"}}},
        {"a\n\rb\r", {{1, "a"}, {3, "b"}}},
        {std::string("a\0b  \xff\xfe", 7), {{1, std::string("a\0b \xff\xfe", 6)}}},
        {"", {}},
    };
    for (const auto& c : cases) {
        const auto lines = Split(c.sText);
        ASSERT_EQ(lines.size(), c.lines.size()) << c.sText;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].iLine, c.lines[i].first) << c.sText;
            EXPECT_EQ(lines[i].sText, c.lines[i].second) << c.sText;
        }
    }
}

TEST(ScriptLines, LowerCaseKeepsBytePositions) {
    EXPECT_EQ(LowerKeepingPositions("SET \xC3\x84pfel \xCE\xA3 \xE1\xBA\x9E"), "set \xC3\xA4pfel \xCF\x83 \xE1\xBA\x9E");
    EXPECT_EQ(LowerKeepingPositions("\xC3"), "\xC3");       // cut sequence kept
    EXPECT_EQ(LowerKeepingPositions("\xC3\x41"), "\xC3" "a"); // invalid: bytes kept, A lowered
    // Kelvin sign (3 bytes) lowers to k (1 byte): kept.
    EXPECT_EQ(LowerKeepingPositions("\xE2\x84\xAA"), "\xE2\x84\xAA");
}

// Parses and returns the error, or "" and the program.
std::string Parse(const std::string& sScript, const std::string& sConstants = "",
                  std::shared_ptr<uScriptProgram>* pOut = nullptr) {
    std::shared_ptr<uScriptProgram> pProgram;
    std::string sError;
    const bool f = ParseScript(sScript, sConstants, pProgram, sError);
    if (pOut) *pOut = pProgram;
    return f ? std::string() : sError;
}

TEST(ScriptLines, ANulByteIsRefusedNamingItsLine) {
    using namespace std::string_literals;
    const struct {
        std::string sScript, sConstants, sError;
    } cases[] = {
        {"label a\rgoto a\r\n\0\n"s, "", "Script - Error at line 3. "},
        {"label a // \0"s, "", "Script - Error at line 1. "},
        {"label a\n", "#x set 1\n#y set \0"s, "Constants - Error at line 2. "},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Parse(c.sScript, c.sConstants), c.sError + NulText) << c.sError;
    }
}

TEST(ScriptParser, ErrorsInTheirExactForm) {
    const struct {
        std::string sScript, sConstants, sError;
    } cases[] = {
        {"// only a comment", "#a set 1", "InstrumentScript::ParseScript: There are no script instructions available."},
        {"goto end\nlabel end", "", ""},
        {"goto nowhere", "", "Script - Error at line 1. The jump label is not present: nowhere"},
        {"label a\nlabel A", "", "Script - Error at line 2. The jump label is already used: a"},
        {"label", "", "Script - Error at line 1. The name of the jump label was not specified."},
        {"integer Count\nstring count", "",
         "Script - Error at line 2. The variable has already been declared with a different data type: count"},
        {"integer Count\ninteger count", "", ""},
        {"integer Label", "", "Script - Error at line 1. The variable name is not allowed: label"},
        {"integer crc16ccitt", "", ""},
        {"integer", "", "Script - Error at line 1. A variable name is not defined."},
        {"true", "", "Script - Error at line 1. No instruction was specified."},
        {"true set 5", "", "Script - Error at line 1. This instruction is not allowed: set"},
        {"true goto", "", "Script - Error at line 1. The parameters for the instruction were not specified."},
        {"false goto Top\nlabel top", "", ""},
        {"true goto nowhere", "", "Script - Error at line 1. The jump label is not present: nowhere"},
        {"#a set 1\n#a set 2", "", "Script - Error at line 2. The constant was already defined in the script in line 1: #a"},
        {"label x", "#speed set 1\n\n\n#Speed set 2",
         "Constants - Error at line 4. The constant has already been defined in the constants in line 1: #speed"},
        {"#speed set", "", "Script - Error at line 1. The value for the constant is missing: #speed"},
        {"label x\n\n\n\n\n\n\n\n#speed set ", "", "Script - Error at line 9. The value for the constant is missing: #speed"},
        {"#speed set  x", "", ""},
        {"# set 1", "", "Script - Error at line 1. A constant name is not defined."},
        {"label x", "x\n#a\n#a b", "Constants - Error at line 3. The keyword is not present: set"},
        {"#v set 1\n#v add 1", "", "Script - Error at line 2. The keyword is not present: set"},
        {"#cmd\nlabel end", "#cmd set goto end", ""},
        // Pass 4 takes every line left, so an unknown first word reads as an undeclared variable.
        {"xyz 5", "", "Script - Error at line 1. The variable does not exist, it has not been declared: xyz"},
        // Pass order: a double constant before a missing label before an unknown line.
        {"xyz\ngoto nowhere\n#a set 1\n#a set 1", "", "Script - Error at line 4. The constant was already defined in the script in line 3: #a"},
        {"xyz\ngoto nowhere", "", "Script - Error at line 2. The jump label is not present: nowhere"},
        // Control bytes of the line are shown escaped, in the checkers' texts and in the linking pass's.
        {"goto a\x02" "b", "", "Script - Error at line 1. The jump label is not present: a\\x02b"},
        {"xyz\x1f\x7f 5", "", "Script - Error at line 1. The variable does not exist, it has not been declared: xyz\\x1F\\x7F"},
        {"true goto a\x01\nlabel a", "", "Script - Error at line 1. The jump label is not present: a\\x01"},
        {"label x", "#a\x1b set 1\n#A\x1b set 2",
         "Constants - Error at line 2. The constant has already been defined in the constants in line 1: #a\\x1B"},
    };
    for (const auto& c : cases) EXPECT_EQ(Parse(c.sScript, c.sConstants), c.sError) << c.sScript;
}

TEST(ScriptParser, ConstantsAreReplacedWhereKnown) {
    std::shared_ptr<uScriptProgram> p;
    // "#b" stands in line 1 above its definition: it stays, and the goto fails with it.
    EXPECT_EQ(Parse("goto #b\n#b set x\nlabel x", "", &p), "Script - Error at line 1. The jump label is not present: #b");
    EXPECT_EQ(Parse("#b set x\ngoto #B\nlabel x", "", &p), "");
    EXPECT_EQ(Parse("goto #a\nlabel x 2", "#a set x #b\n#b set 2", &p), "");
    EXPECT_EQ(Parse("goto \"#a\"", "#a set x", &p), "Script - Error at line 1. The jump label is not present: \"#a\"");
}

TEST(ScriptParser, AtMostTwentyHashesAreExamined) {
    std::string sLine = "goto";
    for (int i = 0; i < 20; ++i) sLine += " #n";
    std::shared_ptr<uScriptProgram> p;
    EXPECT_EQ(Parse(sLine + " #x\nlabel y", "#x set y", &p), "Script - Error at line 1. The jump label is not present: #n");
    EXPECT_EQ(Parse(std::string(100000, '#') + "\nlabel a", "", &p),
              "Script - Error at line 1. The variable does not exist, it has not been declared: " +
                  std::string(100000, '#'));
    EXPECT_EQ(Parse("goto " + std::string(1 << 20, 'a') + "\nlabel a", "", &p).substr(0, 50),
              "Script - Error at line 1. The jump label is not pr");
}

TEST(ScriptParser, TasksStandInLineOrderThoseOfOneLineAsTheyWereMade) {
    using E = eScriptTaskType;
    // The constants text counts its lines apart: its line 3 stands beside script line 3, first.
    std::shared_ptr<uScriptProgram> p;
    ASSERT_EQ(Parse("integer n\n#c set 1\nlabel top\nn add #c\ntrue goto top", "#k set 5\n\n#j set 2", &p), "");
    std::vector<std::pair<E, std::int64_t>> order;
    for (const auto& t : p->mTasks) order.emplace_back(t.eTaskType, t.iLine);
    EXPECT_EQ(order, (std::vector<std::pair<E, std::int64_t>>{{E::Constant, 1},
                                                               {E::Variable, 1},
                                                               {E::Constant, 2},
                                                               {E::Constant, 3},
                                                               {E::Label, 3},
                                                               {E::VariableInstruction, 4},
                                                               {E::VariableAdd, 4},
                                                               {E::True, 5},
                                                               {E::Goto, 5}}));
}

TEST(ScriptParser, TheWorkedOrderAndLinks) {
    std::shared_ptr<uScriptProgram> p;
    ASSERT_EQ(Parse("integer n\nlabel top\ntrue goto top\ngoto top", "", &p), "");
    std::vector<eScriptTaskType> types;
    for (const auto& t : p->mTasks) types.push_back(t.eTaskType);
    EXPECT_EQ(types, (std::vector<eScriptTaskType>{eScriptTaskType::Variable, eScriptTaskType::Label,
                                                   eScriptTaskType::True, eScriptTaskType::Goto,
                                                   eScriptTaskType::Goto}));
    const uScriptTask& condition = *p->mOrder[2];
    ASSERT_EQ(condition.pInstructionAddress, p->mOrder[3]);
    EXPECT_EQ(p->mOrder[3]->pParentAddress, &condition);
    EXPECT_EQ(p->mOrder[3]->jump->pLabel, p->mOrder[1]);
    EXPECT_EQ(p->mOrder[3]->iLine, 3);
}

TEST(ScriptParser, ALongScriptsTasksFillLargeBlocksOfMemoryWhole) {
    // 12,002 tasks: their list's memory is a block of several large pages, used to its end.
    std::string sScript = "label top\n";
    for (int i = 0; i < 6000; ++i) sScript += "true function wait msg " + std::to_string(i) + "\n";
    sScript += "goto top";
    std::shared_ptr<uScriptProgram> p;
    ASSERT_EQ(Parse(sScript, "", &p), "");
    ASSERT_EQ(p->mTasks.size(), 12002u);
    std::int64_t iPosition = 0;
    for (const uScriptTask& task : p->mTasks) {
        ASSERT_EQ(p->mOrder[static_cast<std::size_t>(iPosition)], &task);
        ASSERT_EQ(task.iPosition, iPosition++);
    }
    EXPECT_EQ(p->mOrder[2]->wait->sMessage, "0");
    EXPECT_EQ(p->mOrder[12000]->wait->sMessage, "5999");
    EXPECT_EQ(p->mTasks.back().jump->pLabel, &p->mTasks.front());
#if defined(__SANITIZE_ADDRESS__)
    // What the tasks own is no leak while their program lives, also where the leak checker finds it
    // alive (at an exit whose wait a script thread outlived).
    EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0);
#endif
}

} // namespace
