#include "script/ScriptParser.h"

#include "script/ScriptFunctionLines.h"
#include "script/ScriptInstrumentLines.h"
#include "script/ScriptVariableLines.h"

#include <algorithm>
#include <array>
#include <vector>

namespace InstrumentScript {
namespace {

struct uDeclaration {
    std::string_view sWord;
    eVariableType eType;
};
constexpr std::array<uDeclaration, 7> Declarations{{{"boolean", eVariableType::Boolean},
                                                     {"integer", eVariableType::Integer},
                                                     {"float", eVariableType::Float},
                                                     {"string", eVariableType::String},
                                                     {"image", eVariableType::Image},
                                                     {"waveform", eVariableType::Waveform},
                                                     {"data", eVariableType::Data}}};

bool CheckCondition(uScriptParse& parse, uScriptLine& line, eScriptTaskType eType, std::string& sError) {
    const std::string sLower = LowerKeepingPositions(line.sText);
    const std::string_view sFirst = Word(sLower, 0);
    const std::string sInstruction(Word(sLower, 1));
    if (sInstruction.empty()) {
        sError = "No instruction was specified.";
        return false;
    }
    if (sInstruction != "goto" && sInstruction != "function") {
        sError = "This instruction is not allowed: " + sInstruction;
        return false;
    }
    const std::string_view sParameter = From(line.sText, sFirst.size() + sInstruction.size() + 2);
    if (sParameter.empty()) {
        sError = "The parameters for the instruction were not specified.";
        return false;
    }
    uScriptTask& task = parse.AddTask(eType, line);
    task.fParsed = 0;
    task.Execute = 1;
    task.instruction->Instruction = sInstruction;
    task.instruction->Parameter = std::string(sParameter);
    line.fParsed = 1;
    return true;
}

// Puts the tasks in line order, those of one line in the order they were made. The keys are
// sorted beside the list and the nodes then moved once: sorting the list itself would walk
// its scattered nodes again and again.
void SortByLine(std::pmr::list<uScriptTask>& tasks) {
    std::vector<std::pair<std::int64_t, std::pmr::list<uScriptTask>::iterator>> keys;
    keys.reserve(tasks.size());
    for (auto it = tasks.begin(); it != tasks.end(); ++it) keys.emplace_back(it->iLine, it);
    std::stable_sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::pmr::list<uScriptTask> sorted(tasks.get_allocator());
    for (const auto& key : keys) sorted.splice(sorted.end(), tasks, key.second);
    tasks.swap(sorted);
}

} // namespace

bool IsReservedWord(std::string_view sWord) {
    static constexpr std::array<std::string_view, 21> Reserved{
        "boolean", "integer", "float", "string", "image", "waveform", "data", "false", "true", "label", "goto",
        "add", "sub", "div", "mul", "set", "equal", "greater", "less", "instrument", "function"};
    for (std::string_view s : Reserved) {
        if (s == sWord) return true;
    }
    return false;
}

bool CheckLabel(uScriptParse& parse, uScriptLine& line, std::string& sError) {
    const std::string sLower = LowerKeepingPositions(line.sText);
    const std::string sName(Word(sLower, 1));
    if (sName.empty()) {
        sError = "The name of the jump label was not specified.";
        return false;
    }
    if (parse.mLabels.count(sName)) {
        sError = "The jump label is already used: " + sName;
        return false;
    }
    uScriptTask& task = parse.AddTask(eScriptTaskType::Label, line);
    task.label->Name = sName;
    parse.mLabels.emplace(sName, &task);
    line.fParsed = 1;
    return true;
}

bool CheckGoto(uScriptParse& parse, uScriptLine& line, uScriptTask* pParent, std::string& sError) {
    const std::string sLower = LowerKeepingPositions(line.sText);
    const std::string sName(Word(sLower, 1));
    if (sName.empty()) {
        sError = "The name of the jump label was not specified.";
        return false;
    }
    auto it = parse.mLabels.find(sName);
    if (it == parse.mLabels.end()) {
        sError = "The jump label is not present: " + sName;
        return false;
    }
    uScriptTask& task = parse.AddTask(eScriptTaskType::Goto, line);
    task.Execute = 1;
    task.jump->Name = sName;
    task.jump->pLabel = it->second;
    task.pParentAddress = pParent;
    line.fParsed = 1;
    return true;
}

bool CheckVariableDeclaration(uScriptParse& parse, eVariableType eType, uScriptLine& line, std::string& sError) {
    const std::string sLower = LowerKeepingPositions(line.sText);
    const std::string sName(Word(sLower, 1));
    if (sName.empty()) {
        sError = "A variable name is not defined.";
        return false;
    }
    if (IsReservedWord(sName)) {
        sError = "The variable name is not allowed: " + sName;
        return false;
    }
    auto it = parse.mVariables.find(sName);
    if (it != parse.mVariables.end()) {
        if (it->second->variable->Type != eType) {
            sError = "The variable has already been declared with a different data type: " + sName;
            return false;
        }
        ResetVariable(*it->second);
        line.fParsed = 1;
        return true;
    }
    uScriptTask& task = parse.AddTask(eScriptTaskType::Variable, line);
    task.variable->Type = eType;
    task.variable->Name = sName;
    parse.mVariables.emplace(sName, &task);
    line.fParsed = 1;
    return true;
}

bool CheckTrue(uScriptParse& parse, uScriptLine& line, std::string& sError) {
    return CheckCondition(parse, line, eScriptTaskType::True, sError);
}

bool CheckFalse(uScriptParse& parse, uScriptLine& line, std::string& sError) {
    return CheckCondition(parse, line, eScriptTaskType::False, sError);
}

bool CheckConditionalGoto(uScriptParse& parse, uScriptTask& condition, std::string& sError) {
    uScriptLine line{LineSourceScript, condition.instruction->Instruction + " " + condition.instruction->Parameter,
                     condition.iLine, 0};
    if (!CheckGoto(parse, line, &condition, sError)) return false;
    uScriptTask& jump = *std::next(parse.itLinked);
    condition.pInstructionAddress = &jump;
    return true;
}

bool LinkInstructions(uScriptParse& parse, std::string& sError) {
    auto& tasks = parse.pProgram->mTasks;
    parse.fLinking = true;
    for (auto it = tasks.begin(); it != tasks.end(); ++it) {
        uScriptTask& task = *it;
        if (task.eLineSource != LineSourceScript || task.fParsed) continue;
        std::string sWord;
        switch (task.eTaskType) {
        case eScriptTaskType::True:
        case eScriptTaskType::False:
        case eScriptTaskType::VariableInstruction: sWord = task.instruction->Instruction; break;
        case eScriptTaskType::Function: sWord = "function"; break;
        default: continue;
        }
        parse.itLinked = it;
        std::string sText;
        bool fLinked = false;
        bool fNeedsParameters = false;
        if (sWord == "goto") {
            fLinked = CheckConditionalGoto(parse, task, sText);
        } else if (sWord == "function") {
            fLinked = CheckFunction(parse, task, sText);
        } else if (task.eTaskType == eScriptTaskType::VariableInstruction &&
                   GetVariableInstruction(sWord, fNeedsParameters) != eScriptTaskType::None) {
            fLinked = CheckVariableInstructionParameters(parse, task, sText);
        } else {
            sText = "The instructions in the line were not recognized.";
        }
        if (!fLinked) {
            parse.fLinking = false;
            sError = LineError(LineSourceScript, task.iLine, sText);
            return false;
        }
        task.fParsed = 1;
    }
    parse.fLinking = false;
    return true;
}

bool ParseScript(std::string_view sScript, std::string_view sConstants, std::shared_ptr<uScriptProgram>& pProgram,
                 std::string& sError) {
    pProgram.reset();
    // A NUL byte would end the text early where it is read as a C string: the line is refused.
    for (const auto& [sText, eSource] : {std::pair{sScript, LineSourceScript}, std::pair{sConstants, LineSourceConstants}}) {
        if (const std::int64_t iNul = NulLine(sText); iNul != 0) {
            sError = LineError(eSource, iNul, NulText);
            return false;
        }
    }
    std::vector<uScriptLine> scriptLines, constantLines;
    SplitScriptLines(sScript, scriptLines, LineSourceScript);
    SplitScriptLines(sConstants, constantLines, LineSourceConstants);
    std::erase_if(constantLines, [](const uScriptLine& line) { return line.sText.rfind('#', 0) != 0; });
    if (scriptLines.empty()) {
        sError = "InstrumentScript::ParseScript: There are no script instructions available.";
        return false;
    }
    uScriptParse parse;
    // A line makes one task, a condition or a variable's instruction two.
    parse.pProgram = std::make_shared<uScriptProgram>(2 * (scriptLines.size() + constantLines.size()));
    uScriptProgram& program = *parse.pProgram;
    program.mScriptLines = std::move(scriptLines);
    program.mConstantLines = std::move(constantLines);
    std::vector<uScriptLine> work = program.mConstantLines;
    work.insert(work.end(), program.mScriptLines.begin(), program.mScriptLines.end());
    pProgram = parse.pProgram;

    std::string sText;
    auto fail = [&](const uScriptLine& line) {
        sError = LineError(line.eLineSource, line.iLine, sText);
        return false;
    };
    // Pass 1: constants.
    for (uScriptLine& line : work) {
        const std::string sFirst = LowerKeepingPositions(Word(line.sText, 0));
        if (!sFirst.empty() && sFirst[0] == '#') {
            const int iResult = CheckConstant(parse, line, sText);
            if (iResult == 0) return fail(line);
            if (iResult == 1) continue;
        }
        if (line.eLineSource == LineSourceScript) ReplaceConstants(parse, line);
    }
    // Pass 2: labels.
    for (uScriptLine& line : work) {
        if (line.eLineSource != LineSourceScript || line.fParsed) continue;
        if (LowerKeepingPositions(Word(line.sText, 0)) == "label" && !CheckLabel(parse, line, sText)) return fail(line);
    }
    // Pass 3: declarations and statements.
    for (uScriptLine& line : work) {
        if (line.eLineSource != LineSourceScript || line.fParsed) continue;
        const std::string sFirst = LowerKeepingPositions(Word(line.sText, 0));
        bool fResult = true;
        bool fDeclaration = false;
        for (const uDeclaration& d : Declarations) {
            if (sFirst == d.sWord) {
                fResult = CheckVariableDeclaration(parse, d.eType, line, sText);
                fDeclaration = true;
            }
        }
        if (fDeclaration) {
            // done
        } else if (sFirst == "instrument") {
            fResult = CheckInstrument(parse, line, sText);
        } else if (sFirst == "goto") {
            fResult = CheckGoto(parse, line, nullptr, sText);
        } else if (sFirst == "false") {
            fResult = CheckFalse(parse, line, sText);
        } else if (sFirst == "true") {
            fResult = CheckTrue(parse, line, sText);
        } else if (sFirst == "function") {
            fResult = CheckFunctionLine(parse, line, sText);
        }
        if (!fResult) return fail(line);
    }
    // Pass 4: instrument selections ("$name") and variable lines.
    for (uScriptLine& line : work) {
        if (line.eLineSource != LineSourceScript || line.fParsed) continue;
        const bool fResult = !line.sText.empty() && line.sText.front() == '$'
                                 ? CheckInstrumentSelect(parse, line, sText)
                                 : CheckVariableInstruction(parse, line, sText);
        if (!fResult) return fail(line);
    }
    // Pass 5: a line that no checker took.
    for (const uScriptLine& line : work) {
        if (line.eLineSource == LineSourceScript && !line.fParsed) {
            sText = "The instructions in the line were not recognized.";
            return fail(line);
        }
    }
    SortByLine(program.mTasks);
    if (!LinkInstructions(parse, sError)) return false;
    IndexProgram(program);
    return true;
}

} // namespace InstrumentScript
