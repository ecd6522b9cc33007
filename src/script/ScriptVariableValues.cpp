#include "script/ScriptVariableValues.h"

#include "common/FileLoading.h"
#include "common/TextRoutines.h"
#include "script/ScriptConvert.h"
#include "script/ScriptEnvironment.h"
#include "script/ScriptFunctionSave.h"
#include "transport/BlockHeader.h"
#include "transport/DataBuffers.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace InstrumentScript {
namespace {

// Assignment and addition work alike up to storing the value; these are their own words.
struct uProcedure {
    const char* sName;
    const char* sRefusal;
    const char* sValueLine;    // a literal value
    const char* sVariableLine; // another variable as value
    bool fAdd;
};

constexpr uProcedure SetProcedure{"TaskVariableSet", "The assignment is not allowed.", "Wert für die Zuweisung: ",
                                  "Variable von der Zuweisung: ", false};
constexpr uProcedure AddProcedure{"TaskVariableAdd", "Addition is not allowed with this data type.",
                                  "Wert für die Addition: ", "Variable von der Addition: ", true};

// The value a line gives its variable, in the slot of the variable's type. Bytes and image
// point at what the value is made of: the loaded file or the source variable (which may be the
// variable itself).
struct uValue {
    std::int64_t iBoolean = 0;
    std::int64_t iInteger = 0;
    double dFloat = 0.0;
    std::string sText;
    DataBuffer loaded;
    const DataBuffer* pBytes = nullptr;
    const QImage* pImage = nullptr;
    bool fBlock = false;
    std::string sLog;
};

// The most characters of a text that an output line shows.
constexpr std::size_t LogCharacters = 1000;

bool IsPointerType(eVariableType e) {
    return e == eVariableType::Data || e == eVariableType::Image || e == eVariableType::Waveform;
}

bool FloatIsTrue(double d) { return d != 0.0 && !std::isnan(d); }

std::int64_t AsBoolean(const uScriptVariable& v) {
    switch (v.Type) {
    case eVariableType::Boolean: return v.Boolean != 0 ? 1 : 0;
    case eVariableType::Integer: return v.Integer != 0 ? 1 : 0;
    case eVariableType::Float: return FloatIsTrue(v.Float) ? 1 : 0;
    case eVariableType::String: return TextToBoolean(v.String);
    default: return HoldsValue(v) ? 1 : 0;
    }
}

const char* TypeWord(eVariableType e) {
    switch (e) {
    case eVariableType::Boolean: return "boolean";
    case eVariableType::Integer: return "integer";
    case eVariableType::Float: return "float";
    case eVariableType::String: return "string";
    default: return "pointer";
    }
}

// "$" and the address of what the variable holds, upper-case hexadecimal; "$0" for nothing.
std::string PointerText(const uScriptVariable& v) {
    const void* p = nullptr;
    if (HoldsValue(v)) {
        if (v.Type == eVariableType::Data) p = v.Data.data();
        else if (v.Type == eVariableType::Image) p = v.Image.constBits();
        else if (v.Type == eVariableType::Waveform) p = v.Waveform.get();
    }
    char a[32];
    std::snprintf(a, sizeof a, "$%llX", static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(p)));
    return a;
}

std::string TwoDigits(int i) {
    char a[8];
    std::snprintf(a, sizeof a, "%02d", i);
    return a;
}

std::string DateText(const QDate& d) {
    char a[16];
    std::snprintf(a, sizeof a, "%04d-", d.year());
    return a + TwoDigits(d.month()) + "-" + TwoDigits(d.day());
}

std::string TimeText(const QTime& t) {
    return TwoDigits(t.hour()) + ":" + TwoDigits(t.minute()) + ":" + TwoDigits(t.second());
}

std::string MillisecondsText(int iMs) {
    char a[8];
    std::snprintf(a, sizeof a, ".%03d", iMs);
    return a;
}

// The value text of a literal after the value words; "$block" (addition only) sets fBlock.
std::string ApplyValueWords(const std::string& sValue, bool fAdd, bool& fBlock) {
    const std::string sLower = LowerAscii(sValue);
    const auto pEnvironment = Environment();
    if (sLower == "$date") return DateText(pEnvironment->LocalTime().date());
    if (sLower == "$time") return TimeText(pEnvironment->LocalTime().time());
    if (sLower == "$time2" || sLower == "$datetime2") {
        // The milliseconds first, then the date and time.
        const int iMs = pEnvironment->LocalTime().time().msec();
        const QDateTime now = pEnvironment->LocalTime();
        const std::string sTime = TimeText(now.time()) + MillisecondsText(iMs);
        return sLower == "$time2" ? sTime : DateText(now.date()) + " " + sTime;
    }
    if (sLower == "$datetime") {
        const QDateTime now = pEnvironment->LocalTime();
        return DateText(now.date()) + " " + TimeText(now.time());
    }
    if (sLower == "$eol") return "\r\n";
    if (fAdd && sLower == "$block") fBlock = true;
    return sValue;
}

// The file name of a "$file" line as the loaders get it: quotes dropped, mapped by the
// environment. False with a message when the environment refuses it.
bool MapFileName(const std::string& sName, std::string& sMapped, std::string& sError) {
    const std::string sBare = Utility::TrimCharacters(sName, "\"");
    if (sBare.empty()) {
        sMapped.clear(); // the loaders report the missing name
        return true;
    }
    return Environment()->MapFilePath(sBare, sMapped, sError);
}

std::string DumpLog(const DataBuffer& bytes) {
    const auto iEnd = static_cast<std::int64_t>(std::min<std::size_t>(bytes.size(), 16));
    return "(max. 16 Zeichen): " + Utility::HexDump(bytes.data(), iEnd, 16, 0, false, false, 0);
}

// Whether a file could be loaded into a variable: its text is at least as long as its bytes.
// A name the loader cannot look at passes, and the loader reports it.
bool FileFitsInVariable(const std::string& sMapped) {
    std::error_code error;
    const std::uintmax_t iSize = std::filesystem::file_size(sMapped, error);
    return error || iSize <= Environment()->ValueLimit();
}

// The bytes the target would hold after the value is stored or added: the text of a String,
// the bytes of a Data variable; 0 for the other types, which hold no growing value.
std::size_t ResultSize(const uScriptVariable& target, const uValue& value, bool fAdd) {
    auto header = [](std::size_t n) { return n == 0 ? std::size_t{0} : 2 + std::to_string(n).size(); };
    switch (target.Type) {
    case eVariableType::String:
        if (!fAdd) return value.sText.size();
        return target.String.size() + (value.fBlock ? header(target.String.size()) : value.sText.size());
    case eVariableType::Data: {
        const std::size_t iValue = value.pBytes ? value.pBytes->size() : 0;
        if (!fAdd) return value.pBytes ? iValue : target.Data.size();
        return target.Data.size() + (value.fBlock ? header(target.Data.size()) : iValue);
    }
    default: return 0;
    }
}

// A literal (or a file) in the target's type. False after a script error.
bool LiteralValue(uScriptThread& t, uScriptTask& task, const uProcedure& proc, const uScriptOperand& op,
                  eVariableType eTarget, uValue& value) {
    // A "$file" line's value text is empty: the word itself gives nothing to a number.
    const std::string sText = op.fFile ? std::string() : ApplyValueWords(op.sValue, proc.fAdd, value.fBlock);
    std::string sPath;
    if (op.fFile) sPath = TaskFunctionSaveVariable(t, task);
    auto fail = [&](const std::string& sMessage) {
        PostScriptError(t, task, proc.sName, sMessage);
        return false;
    };
    std::string sError;
    // The "$file" line's file as the loader gets it; false after the script error.
    auto mapFile = [&](std::string& sMapped) {
        if (FileNameHoldsNul(t, task, proc.sName, sPath)) return false;
        if (!MapFileName(sPath, sMapped, sError)) return fail(sError);
        if (!FileFitsInVariable(sMapped)) return fail(ValueTooLargeText());
        return true;
    };
    switch (eTarget) {
    case eVariableType::Boolean:
        value.iBoolean = TextToBoolean(sText);
        value.sLog = Utility::BoolToText(value.iBoolean);
        return true;
    case eVariableType::Integer:
        value.iInteger = TextToInteger(sText);
        value.sLog = std::to_string(value.iInteger);
        return true;
    case eVariableType::Float:
        value.dFloat = TextToFloat(sText);
        value.sLog = FloatToPlainText(value.dFloat);
        return true;
    case eVariableType::String:
        if (op.fFile) {
            std::string sMapped;
            if (!mapFile(sMapped)) return false;
            // A stop ends a long read: the run is over, and says nothing more.
            if (!Utility::LoadTextFile(sMapped, value.sText, sError, StopWord())) return !StopAsked() && fail(sError);
        } else if (!value.fBlock) {
            value.sText = sText;
        }
        value.sLog = "(max. 32 Zeichen): " + FirstCharacters(value.sText, 32);
        return true;
    case eVariableType::Data:
        if (op.fFile) {
            std::string sMapped;
            if (!mapFile(sMapped)) return false;
            if (!Utility::LoadBinaryFile(sMapped, value.loaded, sError, StopWord())) return !StopAsked() && fail(sError);
            value.pBytes = &value.loaded;
            value.sLog = DumpLog(value.loaded);
            return true;
        }
        if (value.fBlock) return true;
        return fail(proc.sRefusal);
    default: return fail(proc.sRefusal);
    }
}

// Another variable's value in the target's type (the matrix of the assignment, which the
// addition shares). False when the combination is refused; the log text is made either way.
bool VariableValue(const uScriptVariable& source, eVariableType eTarget, uValue& value) {
    const eVariableType eSource = source.Type;
    const bool fSourcePointer = IsPointerType(eSource);
    switch (eTarget) {
    case eVariableType::Boolean:
        value.iBoolean = AsBoolean(source);
        value.sLog = "boolean: " + Utility::BoolToText(value.iBoolean);
        return true;
    case eVariableType::Integer:
        switch (eSource) {
        case eVariableType::Boolean: value.iInteger = source.Boolean != 0 ? 1 : 0; break;
        case eVariableType::Integer: value.iInteger = source.Integer; break;
        case eVariableType::Float: value.iInteger = FloatToInteger(source.Float); break;
        case eVariableType::String: value.iInteger = TextToInteger(source.String); break;
        default: value.iInteger = HoldsValue(source) ? 1 : 0; break;
        }
        value.sLog = "integer: " + std::to_string(value.iInteger);
        return true;
    case eVariableType::Float:
        switch (eSource) {
        case eVariableType::Boolean: value.dFloat = source.Boolean != 0 ? 1.0 : 0.0; break;
        case eVariableType::Integer: value.dFloat = static_cast<double>(source.Integer); break;
        case eVariableType::Float: value.dFloat = source.Float; break;
        case eVariableType::String: value.dFloat = TextToFloat(source.String); break;
        default: value.dFloat = HoldsValue(source) ? 1.0 : 0.0; break;
        }
        value.sLog = "float: " + FloatToPlainText(value.dFloat);
        return true;
    case eVariableType::String:
        switch (eSource) {
        case eVariableType::Boolean: value.sText = source.Boolean != 0 ? "true" : "false"; break;
        case eVariableType::Integer: value.sText = std::to_string(source.Integer); break;
        case eVariableType::Float: value.sText = FloatToLocalizedText(source.Float); break;
        case eVariableType::String: value.sText = source.String; break;
        default: value.sText = HoldsValue(source) ? "true" : "false"; break;
        }
        // A long text is shown by its start: the output line of a text that doubles in a loop
        // would otherwise cost as much memory again as the text itself, in the engine and the window.
        value.sLog = "string: " + FirstCharacters(value.sText, LogCharacters);
        if (value.sLog.size() < value.sText.size() + 8) value.sLog += " ...";
        return true;
    default:
        value.sLog = "data, image od. waveform: " +
                     (fSourcePointer ? PointerText(source) : Utility::BoolToText(AsBoolean(source)));
        if (!fSourcePointer) return false;
        // Only like into like carries anything; an empty source changes nothing.
        if (eSource == eTarget && HoldsValue(source)) {
            if (eSource == eVariableType::Data) value.pBytes = &source.Data;
            if (eSource == eVariableType::Image) value.pImage = &source.Image;
        }
        return true;
    }
}

// Appends bytes that may be the buffer's own: the capacity at least doubles when it must grow,
// so appends in a loop stay linear. On failure the buffer is as it was.
bool AppendBytes(DataBuffer& target, const std::uint8_t* pBytes, std::size_t iCount, std::string& sError) {
    if (iCount == 0) return true;
    const std::size_t iSize = target.size();
    if (iCount > DataBuffer::MaxCapacity - iSize) {
        sError = target.allocated() ? Instrument::CreateMemoryGrowFailed : Instrument::CreateMemoryReserveFailed;
        return false;
    }
    const std::size_t iNeeded = iSize + iCount;
    if (iNeeded > target.capacity()) {
        const auto iAt = reinterpret_cast<std::uintptr_t>(pBytes);
        const auto iOwn = reinterpret_cast<std::uintptr_t>(target.data());
        const bool fOwn = target.allocated() && iAt >= iOwn && iAt < iOwn + iSize;
        const std::size_t iDoubled = std::min(target.capacity() * 2, DataBuffer::MaxCapacity);
        const bool fHad = target.allocated();
        if (!target.reserve(std::max(iNeeded, iDoubled)) && !target.reserve(iNeeded)) {
            sError = fHad ? Instrument::CreateMemoryGrowFailed : Instrument::CreateMemoryReserveFailed;
            return false;
        }
        if (fOwn) pBytes = target.data() + (iAt - iOwn);
    }
    std::memcpy(target.data() + iSize, pBytes, iCount);
    target.setSize(iNeeded);
    return true;
}

// Puts the block header for the data's length in front of it; empty data stays empty.
bool PrefixBlockHeader(DataBuffer& data, std::string& sError) {
    std::string sHeader;
    const std::size_t iHeader = Instrument::CreateBlockHeader(data.size(), sHeader);
    if (iHeader == 0) return true;
    const std::size_t iSize = data.size();
    if (iSize + iHeader > data.capacity() && !data.reserve(iSize + iHeader)) {
        sError = Instrument::CreateMemoryGrowFailed;
        return false;
    }
    std::memmove(data.data() + iHeader, data.data(), iSize);
    std::memcpy(data.data(), sHeader.data(), iHeader);
    data.setSize(iSize + iHeader);
    return true;
}

// Storing an assignment: the new value replaces the old one; a new block is made before
// the old one goes, so a failure leaves the variable as it was.
bool StoreValue(uScriptVariable& target, uValue& value, std::string& sError) {
    switch (target.Type) {
    case eVariableType::Boolean: target.Boolean = value.iBoolean; return true;
    case eVariableType::Integer: target.Integer = value.iInteger; return true;
    case eVariableType::Float: target.Float = value.dFloat; return true;
    case eVariableType::String: target.String = std::move(value.sText); return true;
    case eVariableType::Data: {
        if (!value.pBytes) return true;
        if (value.pBytes == &value.loaded) {
            target.Data = std::move(value.loaded);
            return true;
        }
        if (value.pBytes == &target.Data) return true; // the variable itself: it keeps its bytes
        DataBuffer copy;
        if (!copy.assign(value.pBytes->data(), value.pBytes->size())) {
            sError = Instrument::CreateMemoryReserveFailed;
            return false;
        }
        target.Data = std::move(copy);
        return true;
    }
    case eVariableType::Image:
        if (value.pImage) target.Image = *value.pImage; // shared until either side is written
        return true;
    default: return true;
    }
}

// Storing an addition: the value joins the old one by the target's type.
bool AddValue(uScriptVariable& target, uValue& value, std::string& sError) {
    switch (target.Type) {
    case eVariableType::Boolean: target.Boolean = (target.Boolean != 0 || value.iBoolean != 0) ? 1 : 0; return true;
    case eVariableType::Integer:
        target.Integer = static_cast<std::int64_t>(static_cast<std::uint64_t>(target.Integer) +
                                                   static_cast<std::uint64_t>(value.iInteger));
        return true;
    case eVariableType::Float: target.Float += value.dFloat; return true;
    case eVariableType::String:
        if (value.fBlock) {
            // A length on the wire counts bytes.
            std::string sHeader;
            if (Instrument::CreateBlockHeader(target.String.size(), sHeader) > 0) target.String.insert(0, sHeader);
        } else {
            target.String += value.sText;
        }
        return true;
    case eVariableType::Data:
        if (value.fBlock) return PrefixBlockHeader(target.Data, sError);
        if (!value.pBytes) return true;
        return AppendBytes(target.Data, value.pBytes->data(), value.pBytes->size(), sError);
    default: return true;
    }
}

bool RunValueTask(uScriptThread& t, uScriptTask& task, const uProcedure& proc) {
    uScriptTask* pTarget = task.pParentAddress;
    if (!pTarget) return false;
    uScriptVariable& target = *pTarget->variable;
    const uScriptOperand& op = proc.fAdd ? *task.add : *task.set;
    const std::string sPrefix = std::string(" ") + proc.sName + " - ";
    uValue value;
    if (!op.pAddress) {
        PostLine(t, task, sPrefix + proc.sValueLine + op.sValue);
        if (op.fFile) PostLine(t, task, sPrefix + "Dateiname: " + op.sFile);
        if (!LiteralValue(t, task, proc, op, target.Type, value)) return false;
        PostLine(t, task, sPrefix + "Interpretierter Wert: " + value.sLog);
    } else {
        const uScriptVariable& source = *op.pAddress->variable;
        PostLine(t, task, sPrefix + proc.sVariableLine + source.Name);
        const bool fAllowed = VariableValue(source, target.Type, value);
        if (!fAllowed) PostScriptError(t, task, proc.sName, proc.sRefusal);
        PostLine(t, task, sPrefix + "Interpretierte Variable von " + TypeWord(source.Type) + " zu " + value.sLog);
        if (!fAllowed) return false;
    }
    if (ResultSize(target, value, proc.fAdd) > Environment()->ValueLimit()) {
        PostScriptError(t, task, proc.sName, ValueTooLargeText());
        return false;
    }
    std::string sError;
    const bool fStored = proc.fAdd ? AddValue(target, value, sError) : StoreValue(target, value, sError);
    if (!fStored) PostScriptError(t, task, proc.sName, sError);
    return fStored;
}

} // namespace

std::string ValueTooLargeText() {
    return "The value would be larger than the " + std::to_string(Environment()->ValueLimit()) +
           " bytes a variable may hold.";
}

bool HoldsValue(const uScriptVariable& v) {
    switch (v.Type) {
    case eVariableType::Data: return !v.Data.empty();
    case eVariableType::Image: return !v.Image.isNull();
    case eVariableType::Waveform: return v.Waveform != nullptr;
    default: return false;
    }
}

std::string FirstCharacters(std::string_view sText, std::size_t iCount) {
    std::size_t iChars = 0;
    for (std::size_t i = 0; i < sText.size(); ++i) {
        const auto c = static_cast<unsigned char>(sText[i]);
        if ((c & 0xC0) != 0x80 && iChars++ == iCount) return std::string(sText.substr(0, i));
    }
    return std::string(sText);
}

bool TaskVariableSet(uScriptThread& t, uScriptTask& task, std::string&) { return RunValueTask(t, task, SetProcedure); }

bool TaskVariableAdd(uScriptThread& t, uScriptTask& task, std::string&) { return RunValueTask(t, task, AddProcedure); }

} // namespace InstrumentScript
