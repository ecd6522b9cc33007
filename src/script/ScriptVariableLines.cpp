#include "script/ScriptVariableLines.h"

#include <array>
#include <iterator>

namespace InstrumentScript {
namespace {

struct uInstructionWord {
    std::string_view sWord;
    eScriptTaskType eType;
    std::int64_t iKind; // eMath or eCompare; 0 for the others
};
constexpr std::array<uInstructionWord, 10> InstructionWords{{{"set", eScriptTaskType::VariableSet, 0},
                                                            {"add", eScriptTaskType::VariableAdd, 0},
                                                            {"sub", eScriptTaskType::VariableMath, 1},
                                                            {"mul", eScriptTaskType::VariableMath, 2},
                                                            {"div", eScriptTaskType::VariableMath, 3},
                                                            {"crc16ccitt", eScriptTaskType::VariableMath, 4},
                                                            {"equal", eScriptTaskType::VariableCompare, 1},
                                                            {"greater", eScriptTaskType::VariableCompare, 2},
                                                            {"less", eScriptTaskType::VariableCompare, 3},
                                                            {"function", eScriptTaskType::Function, 0}}};

const uInstructionWord* FindWord(std::string_view sWord) {
    for (const uInstructionWord& w : InstructionWords) {
        if (w.sWord == sWord) return &w;
    }
    return nullptr;
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// The operand of "<word> <value>" (or "<word> $file <name>" where a file is allowed).
bool ReadOperand(uScriptParse& parse, const uScriptLine& line, bool fFileAllowed, uScriptOperand& operand,
                 std::string& sError) {
    const std::string sLower = LowerKeepingPositions(line.sText);
    const std::string_view sWord = Word(sLower, 0);
    if (fFileAllowed && Word(sLower, 1) == "$file") {
        const std::string_view sFile = TrimBlanks(From(line.sText, sWord.size() + 1 + 5));
        if (sFile.empty()) {
            sError = "No file name was specified.";
            return false;
        }
        operand.fFile = 1;
        operand.sFile = std::string(sFile);
        operand.sValue = "$file";
        return true;
    }
    std::string_view sValue = From(line.sText, sWord.size() + 1);
    if (!sValue.empty() && sValue.front() == '"' && sValue.back() == '"') {
        while (!sValue.empty() && sValue.front() == '"') sValue.remove_prefix(1);
        while (!sValue.empty() && sValue.back() == '"') sValue.remove_suffix(1);
        operand.sValue = std::string(sValue);
        return true;
    }
    operand.sValue = std::string(sValue);
    const auto it = parse.mVariables.find(LowerKeepingPositions(sValue));
    if (it != parse.mVariables.end()) operand.pAddress = it->second;
    return true;
}

uScriptTask& AddOperandTask(uScriptParse& parse, const uScriptLine& line, eScriptTaskType eType) {
    uScriptTask& task = parse.AddTask(eType, line);
    task.Execute = 1;
    return task;
}

// Math and compare: the kind comes from the instruction word, the operand is never a file.
bool CheckWithKind(uScriptParse& parse, const uScriptLine& line, eScriptTaskType eType, std::string& sError) {
    const uInstructionWord* pWord = FindWord(LowerKeepingPositions(Word(line.sText, 0)));
    const std::int64_t iKind = pWord && pWord->eType == eType ? pWord->iKind : 0;
    uScriptOperand operand;
    if (!ReadOperand(parse, line, false, operand, sError)) return false;
    uScriptTask& task = AddOperandTask(parse, line, eType);
    if (eType == eScriptTaskType::VariableMath) {
        task.math->eMath = iKind;
        task.math->operand = std::move(operand);
    } else {
        task.compare->eCompare = iKind;
        task.compare->operand = std::move(operand);
    }
    return true;
}

} // namespace

eScriptTaskType GetVariableInstruction(std::string_view sWord, bool& fNeedsParameters) {
    const uInstructionWord* pWord = FindWord(sWord);
    fNeedsParameters = pWord != nullptr;
    return pWord ? pWord->eType : eScriptTaskType::None;
}

bool CheckVariableInstruction(uScriptParse& parse, uScriptLine& line, std::string& sError) {
    const std::string sLower = LowerKeepingPositions(line.sText);
    const std::string sName(Word(sLower, 0));
    const auto it = parse.mVariables.find(sName);
    if (it == parse.mVariables.end()) {
        sError = "The variable does not exist, it has not been declared: " + sName;
        return false;
    }
    const std::string sInstruction(Word(sLower, 1));
    if (sInstruction.empty()) {
        sError = "No instruction was specified.";
        return false;
    }
    bool fNeedsParameters = false;
    if (GetVariableInstruction(sInstruction, fNeedsParameters) == eScriptTaskType::None) {
        sError = "This instruction is not allowed: " + sInstruction;
        return false;
    }
    const std::string_view sParameter = From(line.sText, sName.size() + sInstruction.size() + 2);
    if (sParameter.empty() && fNeedsParameters) {
        sError = "The parameters for the instruction were not specified.";
        return false;
    }
    uScriptTask& task = parse.AddTask(eScriptTaskType::VariableInstruction, line);
    task.fParsed = 0;
    task.instruction->Name = sName;
    task.instruction->Instruction = sInstruction;
    task.instruction->Parameter = std::string(sParameter);
    task.pParentAddress = it->second;
    line.fParsed = 1;
    return true;
}

bool CheckVariableInstructionParameters(uScriptParse& parse, uScriptTask& task, std::string& sError) {
    const uScriptLine line{LineSourceScript, task.instruction->Instruction + " " + task.instruction->Parameter,
                           task.iLine, 0};
    const uInstructionWord* pWord = FindWord(task.instruction->Instruction);
    bool fResult = false;
    switch (pWord ? pWord->eType : eScriptTaskType::None) {
    case eScriptTaskType::VariableSet: fResult = CheckVariableSet(parse, line, sError); break;
    case eScriptTaskType::VariableAdd: fResult = CheckVariableAdd(parse, line, sError); break;
    case eScriptTaskType::VariableMath: fResult = CheckVariableMath(parse, line, sError); break;
    case eScriptTaskType::VariableCompare: fResult = CheckVariableCompare(parse, line, sError); break;
    default: sError = "The instructions in the line were not recognized."; return false;
    }
    if (!fResult) return false;
    uScriptTask& made = *std::next(parse.itLinked);
    task.pInstructionAddress = &made;
    made.pParentAddress = task.pParentAddress;
    return true;
}

bool CheckVariableSet(uScriptParse& parse, const uScriptLine& line, std::string& sError) {
    uScriptOperand operand;
    if (!ReadOperand(parse, line, true, operand, sError)) return false;
    *AddOperandTask(parse, line, eScriptTaskType::VariableSet).set = std::move(operand);
    return true;
}

bool CheckVariableAdd(uScriptParse& parse, const uScriptLine& line, std::string& sError) {
    uScriptOperand operand;
    if (!ReadOperand(parse, line, true, operand, sError)) return false;
    *AddOperandTask(parse, line, eScriptTaskType::VariableAdd).add = std::move(operand);
    return true;
}

bool CheckVariableMath(uScriptParse& parse, const uScriptLine& line, std::string& sError) {
    return CheckWithKind(parse, line, eScriptTaskType::VariableMath, sError);
}

bool CheckVariableCompare(uScriptParse& parse, const uScriptLine& line, std::string& sError) {
    return CheckWithKind(parse, line, eScriptTaskType::VariableCompare, sError);
}

} // namespace InstrumentScript
