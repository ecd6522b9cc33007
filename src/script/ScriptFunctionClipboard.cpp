#include "script/ScriptFunctionClipboard.h"

#include "common/TextRoutines.h"
#include "script/ScriptConvert.h"
#include "script/ScriptEnvironment.h"

#include <cstdint>

namespace InstrumentScript {
namespace {

constexpr std::int64_t FirstPart = 256;
constexpr std::int64_t LastPart = 128;

int HexDigits(std::int64_t iValue) {
    int n = 1;
    while (iValue >= 16) {
        iValue /= 16;
        ++n;
    }
    return n;
}

} // namespace

std::string ClipboardDataText(const DataBuffer& data) {
    const auto L = static_cast<std::int64_t>(data.size());
    if (!data.allocated() || L == 0) return {};
    const int iDigits = HexDigits(L);
    auto dump = [&](std::int64_t iStart, std::int64_t iEnd) {
        return Utility::HexDump(data.data(), iEnd, 16, iStart, true, true, iDigits);
    };
    if (L <= FirstPart) return "Die gesamten " + std::to_string(L) + " Bytes:\r\n" + dump(0, L);
    std::string s = "Die ersten " + std::to_string(FirstPart) + " Bytes:\r\n" + dump(0, FirstPart);
    const std::int64_t iLast = L < FirstPart + LastPart ? L - FirstPart : LastPart;
    s += "Die letzten " + std::to_string(iLast) + " Bytes:\r\n" + dump(L - iLast, L);
    return s;
}

bool TaskFunctionClipboard(uScriptThread& t, uScriptTask& task, std::string& sError) {
    if (!t.pInstance) {
        sError = "InstrumentScript::TaskFunctionClipboard: The pointer to the instance is zero.";
        return true;
    }
    const uScriptTask* pVariable = task.pParentAddress;
    if (!pVariable) return true;
    const uScriptVariable& v = *pVariable->variable;
    const std::shared_ptr<ScriptEnvironment> pEnvironment = Environment();
    bool fCopied = false;
    switch (v.Type) {
    case eVariableType::Boolean: fCopied = pEnvironment->SetClipboardText(Utility::BoolToText(v.Boolean)); break;
    case eVariableType::Integer: fCopied = pEnvironment->SetClipboardText(std::to_string(v.Integer)); break;
    case eVariableType::Float: fCopied = pEnvironment->SetClipboardText(FloatToLocalizedText(v.Float)); break;
    case eVariableType::String: fCopied = pEnvironment->SetClipboardText(v.String); break;
    case eVariableType::Data:
        if (v.Data.allocated() && !v.Data.empty()) fCopied = pEnvironment->SetClipboardText(ClipboardDataText(v.Data));
        else pEnvironment->SetClipboardText({});
        break;
    case eVariableType::Image:
        if (!v.Image.isNull()) fCopied = pEnvironment->SetClipboardImage(v.Image);
        else pEnvironment->SetClipboardText({});
        break;
    case eVariableType::Waveform:
        pEnvironment->SetClipboardText({});
        PostLine(t, task,
                 " Ereignis InstrumentTaskClipboard -  - Variablen vom Typ waveform können nicht in die "
                 "Zwischenablage kopiert werden.");
        break;
    default: break;
    }
    if (fCopied)
        PostLine(t, task, " TaskFunctionClipboard - Die Variable wurde in die Zwischenablage kopiert: " + v.Name);
    return true;
}

} // namespace InstrumentScript
