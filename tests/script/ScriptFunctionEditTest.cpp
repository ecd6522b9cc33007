// "function remove" and "function replace" on String and Data variables, table-driven: each row
// parses its two lines, gives the variable its value, runs the action's executor on a thread
// record of the test's own and compares the value (byte for byte) and the output lines.
#include "ScriptEngineFixture.h"

#include "script/ScriptFunctionEdit.h"

#include <functional>
#include <optional>

namespace {

using namespace InstrumentScript;
using namespace ScriptTest;

struct uEditCase {
    const char* sName;
    eVariableType eType;
    std::string sValue;
    std::string sAction; // behind "v function "
    bool fResult;
    std::optional<std::string> value; // nullopt: a Data variable without a block
    std::vector<std::string> lines;   // output lines behind "Skriptzeile 2"
    std::vector<std::string> errors = {};
};

const char* TypeWord(eVariableType e) {
    switch (e) {
    case eVariableType::String: return "string";
    case eVariableType::Data: return "data";
    case eVariableType::Integer: return "integer";
    case eVariableType::Float: return "float";
    case eVariableType::Image: return "image";
    default: return "boolean";
    }
}

class ScriptEditTest : public EngineFixture {
  protected:
    void Check(const uEditCase& c) {
        SCOPED_TRACE(c.sName);
        collector.Clear();
        auto pProgram = Parsed(std::string(TypeWord(c.eType)) + " v\nv function " + c.sAction + "\n");
        ASSERT_TRUE(pProgram);
        uScriptVariable& v = VariableOf(*pProgram, "v");
        if (c.eType == eVariableType::String) v.String = c.sValue;
        if (c.eType == eVariableType::Data && !c.sValue.empty()) v.Data = DataBuffer::FromText(c.sValue);
        uScriptTask* pAction = nullptr;
        for (uScriptTask& task : pProgram->mTasks) {
            if (task.eTaskType == eScriptTaskType::FunctionRemove || task.eTaskType == eScriptTaskType::FunctionReplace)
                pAction = &task;
        }
        ASSERT_TRUE(pAction);
        auto pThread = std::make_shared<uScriptThread>();
        pThread->pInstance = pInstance;
        pThread->pProgram = pProgram;
        std::string sError;
        const bool fResult = pAction->eTaskType == eScriptTaskType::FunctionRemove
                                 ? TaskFunctionRemove(*pThread, *pAction, sError)
                                 : TaskFunctionReplace(*pThread, *pAction, sError);
        EventHub::Pump();
        EXPECT_EQ(fResult, c.fResult);
        EXPECT_EQ(sError, "");
        if (c.eType == eVariableType::String) {
            EXPECT_EQ(v.String, c.value.value_or("<no block>"));
        } else if (c.eType == eVariableType::Data) {
            EXPECT_EQ(v.Data.allocated(), c.value.has_value());
            if (c.value) EXPECT_EQ(std::string(v.Data.view()), *c.value);
            if (c.value) EXPECT_EQ(v.Data.capacity(), v.Data.size()); // a block of exactly its length
        }
        std::vector<std::string> lines;
        for (const std::string& s : Outputs()) lines.push_back(s.substr(std::string("Skriptzeile 2").size()));
        EXPECT_EQ(lines, c.lines);
        EXPECT_EQ(collector.Texts(ScriptMessageError), c.errors);
    }
};

const std::string P = " TaskFunctionRemove - Parameter: ";
const std::string First = " TaskFunctionRemoveFirst - ";
const std::string Last = " TaskFunctionRemoveLast - ";
const std::string Block = " TaskFunctionRemoveBlock - Blockformat entfernt, Bytes: ";
const auto S = eVariableType::String;
const auto D = eVariableType::Data;

TEST_F(ScriptEditTest, RemoveTable) {
    const std::vector<uEditCase> cases{
        {"first 3", S, "abcdef", "remove first 3", true, "def", {P + "first 3", First + "Zeichen entfernt: 3"}},
        {"last 3", S, "abcdef", "remove last 3", true, "abc", {P + "last 3", Last + "Zeichen entfernt: 3"}},
        {"first 10", S, "abcdef", "remove first 10", true, "", {P + "first 10", First + "Alle Zeichen wurden entfernt: 6"}},
        {"first 6", S, "abcdef", "remove first 6", true, "", {P + "first 6", First + "Alle Zeichen wurden entfernt: 6"}},
        {"last 7", S, "abcdef", "remove last 7", true, "", {P + "last 7", Last + "Alle Zeichen wurden entfernt: 6"}},
        {"characters, not bytes", S, "äöü€x", "remove first 2", true, "ü€x", {P + "first 2", First + "Zeichen entfernt: 2"}},
        {"last characters", S, "äöü€x", "remove last 2", true, "äöü", {P + "last 2", Last + "Zeichen entfernt: 2"}},
        {"all characters", S, "ä€", "remove last 5", true, "", {P + "last 5", Last + "Alle Zeichen wurden entfernt: 2"}},
        {"negative first", S, "abcdef", "remove first -2", true, "abcdef", {P + "first -2", First + "Zeichen entfernt: -2"}},
        {"negative last", D, "abcdef", "remove last -9", true, "abcdef",
         {P + "last -9", " TaskFunctionRemoveLast- Bytes entfernt: -9"}},
        {"empty string", S, "", "remove first 2", true, "", {P + "first 2"}},
        {"empty data", D, "", "remove block last 2", true, std::nullopt, {P + "block last 2"}},
        {"data first", D, "abcdef", "remove first 2", true, "cdef", {P + "first 2", First + "Bytes entfernt: 2"}},
        {"data last", D, "abcdef", "remove last 2", true, "abcd", {P + "last 2", " TaskFunctionRemoveLast- Bytes entfernt: 2"}},
        {"data all first", D, "abcdef", "remove first 9", true, std::nullopt,
         {P + "first 9", First + "Alle Bytes wurden entfernt: 6"}},
        {"data all last", D, "abcdef", "remove last 6", true, std::nullopt,
         {P + "last 6", Last + "Alle Bytes wurden entfernt: 6"}},
        {"block one digit", D, "#15HELLO\n", "remove block", true, "HELLO\n", {P + "block", Block + "3"}},
        {"block two digits", D, "#210ABCDEFGHIJ", "remove block", true, "ABCDEFGHIJ", {P + "block", Block + "4"}},
        {"block #0", D, "#0ABC", "remove block", true, "ABC", {P + "block", Block + "2"}},
        {"block keeps more than announced", D, "#13ABCDEF", "remove block", true, "ABCDEF", {P + "block", Block + "3"}},
        {"block keeps fewer than announced", D, "#19AB", "remove block", true, "AB", {P + "block", Block + "3"}},
        {"no header", D, "ABC", "remove block", true, "ABC", {P + "block"}},
        {"lone #", D, "#", "remove block", true, "#", {P + "block"}},
        {"no digit", D, "#A12", "remove block", true, "#A12", {P + "block"}},
        {"too few digits", D, "#5123", "remove block", true, "#5123", {P + "block"}},
        {"header only", D, "#3123", "remove block", true, std::nullopt, {P + "block", Block + "5"}},
        {"string block", S, "#15HELLO", "remove block", true, "HELLO", {P + "block", Block + "3"}},
        {"in line order", D, "#14ABCD\n", "remove block first 2 last 1", true, "CD",
         {P + "block first 2 last 1", Block + "3", First + "Bytes entfernt: 2",
          " TaskFunctionRemoveLast- Bytes entfernt: 1"}},
        {"wrong type", eVariableType::Integer, "", "remove first 1", false, "<no block>",
         {P + "first 1"},
         {"Script error: Skriptzeile 2 TaskFunctionRemove - Removing is not allowed, wrong data type."}},
    };
    for (const uEditCase& c : cases) Check(c);
}

const std::string R = " TaskFunctionReplace - Parameter: ";

TEST_F(ScriptEditTest, ReplaceTable) {
    const std::vector<uEditCase> cases{
        {"all", S, "abcab", "replace \"ab\" \"xyz\"", true, "xyzcxyz", {R + "\"ab\" \"xyz\""}},
        {"count 1", S, "abcab", "replace \"ab\" \"xyz\" 1", true, "xyzcab", {R + "\"ab\" \"xyz\" 1"}},
        {"case-sensitive", S, "abcab", "replace \"AB\" \"xyz\"", true, "abcab", {R + "\"AB\" \"xyz\""}},
        {"negative count", S, "abcab", "replace \"ab\" \"x\" -1", true, "abcab", {R + "\"ab\" \"x\" -1"}},
        {"no overlap", S, "aaaa", "replace \"aa\" \"b\"", true, "bb", {R + "\"aa\" \"b\""}},
        {"to nothing", S, "a-b-c", "replace \"-\" \"\"", true, "abc", {R + "\"-\" \"\""}},
        {"byte lists", S, "a\r\nb\r\n", "replace 0d,0a \" \" 1", true, "a b\r\n", {R + "0d,0a \" \" 1"}},
        {"bytes as characters", S, "x-x", "replace 78 e4", true, "ä-ä", {R + "78 e4"}},
        {"empty string", S, "", "replace \"a\" \"b\"", true, "", {R + "\"a\" \"b\""}},
        {"data shorter", D, "abab", "replace \"ab\" \"c\"", true, "cc", {R + "\"ab\" \"c\""}},
        {"data emptied", D, "abab", "replace \"ab\" \"\"", true, std::nullopt, {R + "\"ab\" \"\""}},
        {"data in place", D, "abab", "replace \"ab\" \"xy\"", true, "xyxy", {R + "\"ab\" \"xy\""}},
        {"data longer", D, "1ab2", "replace \"ab\" \"wxyz\"", true, "1wxyz2", {R + "\"ab\" \"wxyz\""}},
        {"data no overlap", D, "aaaa", "replace \"aa\" \"b\"", true, "bb", {R + "\"aa\" \"b\""}},
        {"data odd", D, "aaaaa", "replace \"aa\" \"b\"", true, "bba", {R + "\"aa\" \"b\""}},
        {"data count", D, "abab", "replace \"ab\" \"c\" 1", true, "cab", {R + "\"ab\" \"c\" 1"}},
        {"data byte lists", D, std::string("a\0b\0", 4), "replace 00 0d,0a", true, "a\r\nb\r\n", {R + "00 0d,0a"}},
        {"data UTF-8 bytes", D, "\xC3\xA4x", "replace \"ä\" \"a\"", true, "ax", {R + "\"ä\" \"a\""}},
        {"data no match", D, "abc", "replace \"x\" \"y\"", true, "abc", {R + "\"x\" \"y\""}},
        {"data without block", D, "", "replace \"x\" \"y\"", true, std::nullopt, {R + "\"x\" \"y\""}},
        {"wrong type", eVariableType::Float, "", "replace \"1\" \"2\"", false, "<no block>",
         {R + "\"1\" \"2\""},
         {"Script error: Skriptzeile 2 TaskFunctionReplace - Replacing is not allowed, wrong data type."}},
    };
    for (const uEditCase& c : cases) Check(c);
}

TEST(ScriptEditCharacters, CountsUtf8Characters) {
    EXPECT_EQ(CharacterCount(""), 0);
    EXPECT_EQ(CharacterCount("abc"), 3);
    EXPECT_EQ(CharacterCount("ä€𝄞"), 3);
}

// Through the interpreter: a failed remove ends the run with the thread's own line.
TEST_F(ScriptEditTest, FailedRemoveEndsTheRun) {
    auto pProgram = Parsed("image v\nv function remove first 1\n");
    Run(pProgram);
    ASSERT_TRUE(collector.WaitForText("Skriptzeile 2 Thread - Fehler beim Entfernen von Teilen der Daten."));
    EXPECT_EQ(collector.Count(ScriptMessageFinished), 0u);
}

} // namespace
