// Comparison and arithmetic of script variables (declared in ScriptVariableValues.h).
#include "script/ScriptVariableValues.h"

#include "common/ByteRoutines.h"
#include "common/TextRoutines.h"
#include "script/ScriptConvert.h"

#include <cmath>
#include <cstdint>

namespace InstrumentScript {
namespace {

// The kinds a comparison can meet in; Data, Image and Waveform compare as presence.
enum class eCommon { Boolean, Integer, Float, String, Presence };

eCommon CommonOf(eVariableType e) {
    switch (e) {
    case eVariableType::Boolean: return eCommon::Boolean;
    case eVariableType::Integer: return eCommon::Integer;
    case eVariableType::Float: return eCommon::Float;
    case eVariableType::String: return eCommon::String;
    default: return eCommon::Presence;
    }
}

// One side of a comparison, in the slot of the common kind.
struct uSide {
    std::int64_t iFlag = 0; // Boolean and Presence
    std::int64_t iInteger = 0;
    double dFloat = 0.0;
    std::string sText;
};

// A variable's value read in the given kind (the conversion table of the comparison).
uSide Interpret(const uScriptVariable& v, eCommon eIn) {
    uSide s;
    const std::int64_t iPresence = HoldsValue(v) ? 1 : 0;
    const std::string sLower = v.Type == eVariableType::String ? LowerAscii(v.String) : std::string();
    switch (eIn) {
    case eCommon::Boolean:
    case eCommon::Presence:
        if (v.Type == eVariableType::Boolean) s.iFlag = v.Boolean != 0 ? 1 : 0;
        else if (v.Type == eVariableType::Integer) s.iFlag = v.Integer != 0 ? 1 : 0;
        else if (v.Type == eVariableType::Float) s.iFlag = v.Float != 0.0 && !std::isnan(v.Float) ? 1 : 0;
        else if (v.Type == eVariableType::String) s.iFlag = sLower == "true" ? 1 : 0;
        else s.iFlag = iPresence;
        break;
    case eCommon::Integer:
        if (v.Type == eVariableType::Boolean) s.iInteger = v.Boolean != 0 ? 1 : 0;
        else if (v.Type == eVariableType::Integer) s.iInteger = v.Integer;
        else if (v.Type == eVariableType::Float) s.iInteger = FloatToInteger(v.Float);
        else if (v.Type == eVariableType::String) s.iInteger = TextToInteger(sLower);
        else s.iInteger = iPresence;
        break;
    case eCommon::Float:
        if (v.Type == eVariableType::Boolean) s.dFloat = v.Boolean != 0 ? 1.0 : 0.0;
        else if (v.Type == eVariableType::Integer) s.dFloat = static_cast<double>(v.Integer);
        else if (v.Type == eVariableType::Float) s.dFloat = v.Float;
        else if (v.Type == eVariableType::String) s.dFloat = TextToFloat(sLower);
        else s.dFloat = static_cast<double>(iPresence);
        break;
    case eCommon::String:
        if (v.Type == eVariableType::Boolean) s.sText = v.Boolean != 0 ? "true" : "false";
        else if (v.Type == eVariableType::Integer) s.sText = std::to_string(v.Integer);
        else if (v.Type == eVariableType::Float) s.sText = FloatToPlainText(v.Float);
        else if (v.Type == eVariableType::String) s.sText = sLower;
        else s.sText = iPresence ? "true" : "false";
        break;
    }
    return s;
}

// A lower-case literal read in the own variable's kind.
uSide InterpretLiteral(const std::string& sLower, eCommon eIn) {
    uSide s;
    switch (eIn) {
    case eCommon::Boolean:
    case eCommon::Presence: s.iFlag = sLower == "true" ? 1 : 0; break;
    case eCommon::Integer: s.iInteger = TextToInteger(sLower); break;
    case eCommon::Float: s.dFloat = TextToFloat(sLower); break;
    case eCommon::String: s.sText = sLower; break;
    }
    return s;
}

// A side's value as the log lines write it; texts with their first 32 characters.
std::string SideText(const uSide& s, eCommon eIn) {
    switch (eIn) {
    case eCommon::Boolean:
    case eCommon::Presence: return Utility::BoolToText(s.iFlag);
    case eCommon::Integer: return std::to_string(s.iInteger);
    case eCommon::Float: return FloatToPlainText(s.dFloat);
    case eCommon::String: return FirstCharacters(s.sText, 32);
    }
    return {};
}

const char* CommonWord(eCommon e) {
    switch (e) {
    case eCommon::Boolean: return "boolean";
    case eCommon::Integer: return "integer";
    case eCommon::Float: return "float";
    case eCommon::String: return "string";
    case eCommon::Presence: return "pointer";
    }
    return "";
}

// -1, 0 or 1; a NaN is neither equal to, nor greater or less than, anything (2).
int Order(const uSide& own, const uSide& other, eCommon eIn) {
    auto sign = [](auto a, auto b) { return a < b ? -1 : (b < a ? 1 : 0); };
    switch (eIn) {
    case eCommon::Boolean:
    case eCommon::Presence: return sign(own.iFlag, other.iFlag);
    case eCommon::Integer: return sign(own.iInteger, other.iInteger);
    case eCommon::Float:
        if (std::isnan(own.dFloat) || std::isnan(other.dFloat)) return 2;
        return sign(own.dFloat, other.dFloat);
    case eCommon::String: {
        // Byte by byte, which for UTF-8 is the order of the code points.
        const int i = own.sText.compare(other.sText);
        return i < 0 ? -1 : (i > 0 ? 1 : 0);
    }
    }
    return 2;
}

std::int64_t WrapSub(std::int64_t a, std::int64_t b) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b));
}

std::int64_t WrapMul(std::int64_t a, std::int64_t b) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) * static_cast<std::uint64_t>(b));
}

// Truncated toward zero; the smallest integer divided by -1 stays itself (its wrapped result).
std::int64_t WrapDiv(std::int64_t a, std::int64_t b) {
    if (b == -1) return WrapSub(0, a);
    return a / b;
}

constexpr const char* MathRefusal = "The calculation is not allowed with this data type.";

} // namespace

bool TaskVariableCompare(uScriptThread& t, uScriptTask& task, std::string&) {
    const std::string sPrefix = " TaskVariableCompare - ";
    uScriptTask* pOwn = task.pParentAddress;
    if (!pOwn) {
        PostLine(t, task, sPrefix + "Ergebnis des Vergleichs: False");
        return false;
    }
    const uScriptVariable& own = *pOwn->variable;
    const eCommon eOwn = CommonOf(own.Type);
    const uSide ownValue = Interpret(own, eOwn);
    std::string sOwnText = SideText(ownValue, eOwn);
    if (eOwn == eCommon::String) sOwnText = "(max. 32 Zeichen): " + sOwnText;
    PostLine(t, task, sPrefix + "Eigener Wert der Variable " + own.Name + ": " + sOwnText);

    eCommon eIn = eOwn;
    uSide ownSide, otherSide;
    const uScriptTask* pOther = task.compare->operand.pAddress;
    if (!pOther) {
        ownSide = ownValue;
        otherSide = InterpretLiteral(LowerAscii(task.compare->operand.sValue), eIn);
        std::string sText = SideText(otherSide, eIn);
        if (eIn == eCommon::String) sText = "(max. 32 Zeichen): " + sText;
        PostLine(t, task, sPrefix + "Interpretierter Wert: " + sText);
    } else {
        const uScriptVariable& other = *pOther->variable;
        eIn = CommonOf(other.Type);
        ownSide = Interpret(own, eIn);
        otherSide = Interpret(other, eIn);
        const std::string sWord = CommonWord(eIn);
        PostLine(t, task, sPrefix + "Eigener interpretierter Wert als " + sWord + ": " + SideText(ownSide, eIn));
        PostLine(t, task,
                 sPrefix + "Vergleichender interpretierter Wert als " + sWord + ": " + SideText(otherSide, eIn));
    }
    const int iOrder = Order(ownSide, otherSide, eIn);
    std::int64_t fResult = 0;
    switch (task.compare->eCompare) {
    case 1: fResult = iOrder == 0; break;
    case 2: fResult = iOrder == 1; break;
    case 3: fResult = iOrder == -1; break;
    default: break;
    }
    t.fLastCompare = fResult;
    PostLine(t, task, sPrefix + "Ergebnis des Vergleichs: " + Utility::BoolToText(fResult));
    return true;
}

bool TaskVariableMath(uScriptThread& t, uScriptTask& task, std::string&) {
    uScriptTask* pChanged = task.pParentAddress;
    if (!pChanged) return false;
    uScriptVariable& v = *pChanged->variable;
    const std::string sPrefix = " TaskVariableMath - ";
    const std::int64_t eMath = task.math->eMath;
    const uScriptOperand& op = task.math->operand;
    const uScriptVariable* pValue = op.pAddress ? &*op.pAddress->variable : nullptr;
    if (pValue) PostLine(t, task, sPrefix + "Variable von der Rechnung: " + pValue->Name);
    else PostLine(t, task, sPrefix + "Wert für die Rechnung: " + op.sValue);
    auto refuse = [&] {
        PostScriptError(t, task, "TaskVariableMath", MathRefusal);
        return false;
    };

    const eVariableType eValue = pValue ? pValue->Type : eVariableType::None;
    const bool fNumberValue = !pValue || eValue == eVariableType::Integer || eValue == eVariableType::Float;
    if (v.Type == eVariableType::Integer) {
        if (pValue && eValue == eVariableType::Data) {
            if (eMath != 4) return refuse();
            if (HoldsValue(*pValue)) v.Integer = Utility::Crc16Ccitt(pValue->Data.data(), pValue->Data.size());
            return true;
        }
        if (!fNumberValue) return refuse();
        std::int64_t iOperand = 0;
        if (!pValue) iOperand = TextToInteger(op.sValue);
        else if (eValue == eVariableType::Integer) iOperand = pValue->Integer;
        else iOperand = FloatToInteger(pValue->Float);
        const std::string sOperand = std::to_string(iOperand);
        if (!pValue) PostLine(t, task, sPrefix + "Interpretierter Wert: " + sOperand);
        else
            PostLine(t, task, sPrefix + "Interpretierte Variable von " +
                                  (eValue == eVariableType::Integer ? "integer" : "float") + " zu integer: " + sOperand);
        switch (eMath) {
        case 1: v.Integer = WrapSub(v.Integer, iOperand); break;
        case 2: v.Integer = WrapMul(v.Integer, iOperand); break;
        case 3:
            if (iOperand != 0) v.Integer = WrapDiv(v.Integer, iOperand);
            break;
        case 4: return refuse(); // a checksum needs data
        default: break;
        }
        return true;
    }
    if (v.Type == eVariableType::Float) {
        if (!fNumberValue) return refuse();
        double dOperand = 0.0;
        if (!pValue) dOperand = TextToFloat(op.sValue);
        else if (eValue == eVariableType::Integer) dOperand = static_cast<double>(pValue->Integer);
        else dOperand = pValue->Float;
        const std::string sOperand = FloatToPlainText(dOperand);
        if (!pValue) PostLine(t, task, sPrefix + "Interpretierter Wert: " + sOperand);
        else
            PostLine(t, task, sPrefix + "Interpretierte Variable von " +
                                  (eValue == eVariableType::Integer ? "integer" : "float") + " zu float: " + sOperand);
        switch (eMath) {
        case 1: v.Float -= dOperand; break;
        case 2: v.Float *= dOperand; break;
        case 3:
            if (dOperand != 0.0) v.Float /= dOperand;
            break;
        default: break; // a checksum of a number changes nothing
        }
        return true;
    }
    return refuse();
}

} // namespace InstrumentScript
