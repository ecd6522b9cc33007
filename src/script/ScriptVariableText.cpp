#include "script/ScriptVariableText.h"

#include "common/TextRoutines.h"
#include "script/ScriptConvert.h"
#include "script/ScriptLines.h"

#include <algorithm>
#include <vector>

namespace InstrumentScript {
namespace {

// The variable whose name the text at the position begins with: the longest, of equally long
// ones the first in list order. One look-up per length of a declared name, however many there are.
const uScriptTask* FindVariable(const uScriptProgram* pProgram, std::string_view sText, std::size_t iAt) {
    if (!pProgram) return nullptr;
    for (const std::size_t iLength : pProgram->mVariableNameLengths) {
        if (iAt + iLength > sText.size()) continue;
        const auto it = pProgram->mVariables.find(LowerKeepingPositions(sText.substr(iAt, iLength)));
        if (it != pProgram->mVariables.end()) return it->second;
    }
    return nullptr;
}

std::string ValueText(const uScriptVariable& v) {
    switch (v.Type) {
    case eVariableType::Boolean: return v.Boolean ? "1" : "0";
    case eVariableType::Integer: return std::to_string(v.Integer);
    case eVariableType::Float: return FloatToPlainText(v.Float);
    case eVariableType::String: return v.String;
    default: return {};
    }
}

} // namespace

std::string ReplaceVariablesInText(uScriptThread& t, const uScriptTask& task, std::string_view sText,
                                   eReferenceForm eForm, std::string_view sProcedure, DataBuffer* pPayload) {
    const std::string_view sMark = eForm == eReferenceForm::Dollar ? "$" : "/$";
    std::string sOut;
    sOut.reserve(sText.size());
    std::size_t i = 0;
    while (i < sText.size()) {
        if (sText.substr(i, sMark.size()) != sMark) {
            sOut += sText[i++];
            continue;
        }
        if (eForm == eReferenceForm::Dollar && sText.substr(i, 2) == "$$") {
            sOut += '$';
            i += 2;
            continue;
        }
        const std::size_t iName = i + sMark.size();
        const uScriptTask* pVariable = FindVariable(t.pProgram.get(), sText, iName);
        if (!pVariable) {
            sOut += sMark;
            i = iName;
            continue;
        }
        const uScriptVariable& v = *pVariable->variable;
        const std::string sValue = ValueText(v);
        std::string sLine = " " + std::string(sProcedure) + " - Die Variable '" + v.Name + "' wird ersetzt durch";
        if (pPayload && v.Type == eVariableType::Data) {
            const auto iDump = static_cast<std::int64_t>(std::min<std::size_t>(v.Data.size(), 16));
            sLine += " (max. 16 Bytes): " + Utility::HexDump(v.Data.data(), iDump, 16, 0, false, false, 0);
            *pPayload = v.Data;
        } else {
            sLine += ": " + sValue;
        }
        PostLine(t, task, sLine);
        sOut += sValue;
        i = iName + v.Name.size();
    }
    return sOut;
}

std::string TaskReplaceVariable(uScriptThread& t, const uScriptTask& task) {
    if (task.eTaskType != eScriptTaskType::FunctionWait) return {};
    return ReplaceVariablesInText(t, task, task.wait->sMessage, eReferenceForm::Dollar, "TaskReplaceVariable");
}

} // namespace InstrumentScript
