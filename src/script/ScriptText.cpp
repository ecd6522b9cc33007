#include "script/ScriptText.h"

#include "script/ScriptConvert.h"

#include <string_view>
#include <utility>

namespace InstrumentScript {
namespace {

std::string_view Trimmed(std::string_view s) {
    auto isTrimmed = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && isTrimmed(s.front())) s.remove_prefix(1);
    while (!s.empty() && isTrimmed(s.back())) s.remove_suffix(1);
    return s;
}

// The line number right-aligned in three columns (its last three digits), then three blanks.
std::string Prefix(std::int64_t iLine) {
    std::string sNumber = std::to_string(iLine);
    if (sNumber.size() > 3) sNumber.erase(0, sNumber.size() - 3);
    return std::string(3 - sNumber.size(), ' ') + sNumber + "   ";
}

std::string ParentName(const uScriptTask& task) {
    return task.pParentAddress ? std::as_const(*task.pParentAddress).variable->Name : std::string();
}

// The operand as the parser kept it: a variable's name, a file, or the value.
std::string Operand(const uScriptOperand& operand) {
    if (operand.pAddress) return std::as_const(*operand.pAddress).variable->Name;
    if (operand.fFile) return operand.sValue + " " + operand.sFile;
    return operand.sValue;
}

std::string Optional(const std::string& s) { return s.empty() ? std::string() : " " + s; }

std::string BeepWord(std::int64_t eBeep) {
    switch (eBeep) {
    case 0: return "ok";
    case 64: return "information";
    case 32: return "question";
    case 48: return "warning";
    case 16: return "error";
    default: return {};
    }
}

std::string TypeWord(eVariableType eType) {
    switch (eType) {
    case eVariableType::Image: return "image";
    case eVariableType::Boolean: return "boolean";
    case eVariableType::Data: return "data";
    case eVariableType::Float: return "float";
    case eVariableType::Integer: return "integer";
    case eVariableType::String: return "string";
    case eVariableType::Waveform: return "waveform";
    case eVariableType::None: break;
    }
    return {};
}

std::string InstrumentBody(const uScriptInstrument& i) {
    std::string s = "instrument" + Optional(i.Name);
    switch (i.InterfaceType) {
    case 1: s += " usbtmc " + i.VID + " " + i.PID + " " + i.SerialNumber; break;
    case 2: s += " vxi " + i.VxiIpAddress + " " + i.VxiPort + " " + i.VxiLocalIpAddress; break;
    case 3: s += " rawtcp " + i.RawTcpIpAddress + " " + i.RawTcpPort + " " + i.RawTcpLocalIpAddress; break;
    case 4:
        s += " serial " + i.SerialPort + " " + i.SerialBaud + " " + i.SerialDataBits + " " + i.SerialStopBits + " " +
             i.SerialParity + " " + i.SerialFlowControl;
        break;
    default: break;
    }
    return s;
}

std::string WaitBody(const uScriptTask& task) {
    const auto& w = *task.wait;
    switch (w.eWait) {
    case 0: return "function wait " + std::to_string(w.iMilliseconds);
    case 1: return "function wait abs " + std::to_string(w.iMilliseconds);
    case 2: return "function wait time " + TimeOfDayText(w.iTime);
    case 3: return "function wait date " + DateTimeText(w.iDate);
    case 4: return "function wait msg " + w.sMessage;
    default: return "function wait";
    }
}

} // namespace

bool ScriptTaskBody(const uScriptTask& t, std::string& sBody) {
    const std::string sParent = ParentName(t);
    switch (t.eTaskType) {
    case eScriptTaskType::Constant: sBody = t.constant->Name + " set " + t.constant->Value; break;
    case eScriptTaskType::Variable: sBody = TypeWord(t.variable->Type) + " " + t.variable->Name; break;
    case eScriptTaskType::VariableCompare: {
        static const char* const Words[] = {"", "equal", "greater", "less"};
        const std::int64_t e = t.compare->eCompare;
        sBody = sParent + " " + (e >= 1 && e <= 3 ? Words[e] : "") + " " + t.compare->operand.sValue;
        break;
    }
    case eScriptTaskType::VariableAdd: sBody = sParent + " add " + Operand(*t.add); break;
    case eScriptTaskType::VariableMath: {
        static const char* const Words[] = {"", "sub", "mul", "div", "crc16ccitt"};
        const std::int64_t e = t.math->eMath;
        sBody = sParent + " " + (e >= 1 && e <= 4 ? Words[e] : "") + " " + Operand(t.math->operand);
        break;
    }
    case eScriptTaskType::VariableSet: sBody = sParent + " set " + Operand(*t.set); break;
    case eScriptTaskType::Instrument: sBody = InstrumentBody(*t.instrument); break;
    case eScriptTaskType::InstrumentSelect: sBody = t.select->Name; break;
    case eScriptTaskType::InstrumentSet:
        sBody = t.setting->Name + " set " + t.setting->Setting + " " + t.setting->Value + " " + t.setting->Value2;
        break;
    case eScriptTaskType::Label: sBody = "label " + t.label->Name; break;
    case eScriptTaskType::Goto: sBody = "goto " + t.jump->Name; break;
    case eScriptTaskType::False:
        sBody = "false " + t.instruction->Instruction + " " + t.instruction->Parameter;
        break;
    case eScriptTaskType::True: sBody = "true " + t.instruction->Instruction + " " + t.instruction->Parameter; break;
    case eScriptTaskType::FunctionBeep: sBody = "function beep " + BeepWord(t.beep->eMessageBeep); break;
    case eScriptTaskType::FunctionClipboard: sBody = sParent + " function clipboard"; break;
    case eScriptTaskType::FunctionRemove: sBody = sParent + " function remove" + Optional(t.remove->sParameter); break;
    case eScriptTaskType::FunctionReplace:
        sBody = sParent + " function replace" + Optional(t.replace->sParameter);
        break;
    case eScriptTaskType::FunctionSave:
        sBody = sParent + " function save" + (t.save->sFilepath.empty() ? "" : " \"" + t.save->sFilepath + "\"") +
                Optional(t.save->sParameter);
        break;
    case eScriptTaskType::FunctionScpi:
        sBody = sParent + " function scpi" + (t.scpi->fRead ? " read " : " write ") + t.scpi->sCommand;
        break;
    case eScriptTaskType::FunctionScreencopy:
        sBody = sParent + " function screencopy " + t.screencopy->sParameter;
        break;
    case eScriptTaskType::FunctionWaveform: sBody = sParent + " function waveform " + t.waveform->sParameter; break;
    case eScriptTaskType::FunctionView: sBody = sParent + " function view"; break;
    case eScriptTaskType::FunctionWait: sBody = WaitBody(t); break;
    default: return false;
    }
    sBody = std::string(Trimmed(sBody));
    return true;
}

std::string CreateScriptTaskString(const uScriptProgram* pProgram, std::string& sError) {
    if (!pProgram) {
        sError = "InstrumentScript::CreateScriptTaskString: The pointer to the instance is zero.";
        return {};
    }
    std::string sText;
    bool fPrefixDue = true;
    std::string sBody;
    for (const uScriptTask& task : pProgram->mTasks) {
        // The goto of a true or false line already stands in that line: it adds nothing.
        if (task.eTaskType == eScriptTaskType::Goto && task.pParentAddress) continue;
        if (fPrefixDue) sText += Prefix(task.iLine);
        fPrefixDue = ScriptTaskBody(task, sBody);
        if (fPrefixDue) {
            sText += sBody;
            sText += '\n';
        }
    }
    return sText;
}

} // namespace InstrumentScript
