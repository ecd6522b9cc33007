#include "script/ScriptFunctionLines.h"

#include "common/TextRoutines.h"
#include "script/ScriptConvert.h"
#include "script/ScriptFunctionSave.h"
#include "waveform/InstrumentWaveformHameg.h"

#include <QDate>
#include <QString>
#include <QTime>

#include <array>
#include <iterator>
#include <vector>

namespace InstrumentScript {
namespace {

using Checker = bool (*)(uScriptParse&, uScriptLine&, std::string&);

struct uAction {
    std::string_view sWord;
    eScriptTaskType eType;
    bool fRequired;
    Checker checker;
};

constexpr std::array<uAction, 10> Actions{{
    {"save", eScriptTaskType::FunctionSave, true, CheckFunctionSave},
    {"beep", eScriptTaskType::FunctionBeep, false, CheckFunctionBeep},
    {"clipboard", eScriptTaskType::FunctionClipboard, false, CheckFunctionClipboard},
    {"remove", eScriptTaskType::FunctionRemove, true, CheckFunctionRemove},
    {"replace", eScriptTaskType::FunctionReplace, true, CheckFunctionReplace},
    {"scpi", eScriptTaskType::FunctionScpi, true, CheckFunctionScpi},
    {"screencopy", eScriptTaskType::FunctionScreencopy, false, CheckFunctionScreencopy},
    {"waveform", eScriptTaskType::FunctionWaveform, false, CheckFunctionWaveform},
    {"view", eScriptTaskType::FunctionView, false, CheckFunctionView},
    {"wait", eScriptTaskType::FunctionWait, true, CheckFunctionWait},
}};

const uAction* FindAction(std::string_view sWord) {
    for (const uAction& a : Actions) {
        if (a.sWord == sWord) return &a;
    }
    return nullptr;
}

constexpr std::string_view Blanks = " \t\r\n";

// The words of a function line: the lowered text for keywords, the text as typed for values.
struct uFunctionWords {
    const uScriptLine& line;
    std::string sLower;
    explicit uFunctionWords(const uScriptLine& l) : line(l), sLower(LowerKeepingPositions(l.sText)) {}
    std::string_view Lower(std::size_t i) const { return Word(sLower, i); }
    // The position behind word i and its blank.
    std::size_t Behind(std::size_t i) const {
        std::size_t p = 0;
        for (std::size_t k = 0; k <= i; ++k) p += Word(sLower, k).size() + 1;
        return p;
    }
    std::string_view TypedFrom(std::size_t i) const { return From(line.sText, Behind(i - 1)); }
    std::string_view LowerFrom(std::size_t i) const { return From(sLower, Behind(i - 1)); }
};

// The common frame: "function" and the checker's own action word, then the new task behind the
// task being linked.
bool CheckFrame(const uFunctionWords& w, std::string_view sAction, std::string& sError) {
    if (w.Lower(0) != "function") {
        sError = "The keyword is not present: function";
        return false;
    }
    if (w.Lower(1) != sAction) {
        sError = "No action has been specified for the function.";
        return false;
    }
    return true;
}

uScriptTask& AddActionTask(uScriptParse& parse, uScriptLine& line, eScriptTaskType eType) {
    uScriptTask& task = parse.AddTask(eType, line);
    task.Execute = 1;
    line.fParsed = 1;
    return task;
}

// One value of a replace line: quoted (plain text) or up to the next blank (a byte list).
struct uReplaceValue {
    std::string sValue;
    bool fBytes = false;
    bool fClosed = false; // the closing quote or the blank was found
    std::string_view sRest;
};

uReplaceValue ReadReplaceValue(std::string_view s) {
    uReplaceValue v;
    if (!s.empty() && s.front() == '"') {
        const std::size_t iClose = s.find('"', 1);
        v.fClosed = iClose != std::string_view::npos;
        v.sValue = std::string(s.substr(1, v.fClosed ? iClose - 1 : std::string_view::npos));
        if (v.fClosed) v.sRest = s.substr(iClose + 1);
    } else {
        const std::size_t iBlank = s.find(' ');
        v.fBytes = true;
        v.fClosed = iBlank != std::string_view::npos;
        v.sValue = std::string(s.substr(0, iBlank));
        if (v.fClosed) v.sRest = s.substr(iBlank + 1);
    }
    return v;
}

// The elements of a byte list as byte values.
std::vector<std::uint8_t> ByteValues(std::string_view sText) {
    std::vector<std::string> elements;
    Utility::SplitStringToList(sText, elements, ",");
    std::vector<std::uint8_t> bytes;
    bytes.reserve(elements.size());
    for (const std::string& s : elements) bytes.push_back(static_cast<std::uint8_t>(TextToInteger("$" + s) & 0xFF));
    return bytes;
}

} // namespace

eScriptTaskType GetFunctionAction(std::string_view sWord, bool& fRequired) {
    const uAction* pAction = FindAction(sWord);
    fRequired = pAction && pAction->fRequired;
    return pAction ? pAction->eType : eScriptTaskType::None;
}

bool CheckFunctionLine(uScriptParse& parse, uScriptLine& line, std::string& sError) {
    const uFunctionWords w(line);
    if (w.Lower(0) != "function") {
        sError = "The keyword is not present: function";
        return false;
    }
    const std::string sAction(w.Lower(1));
    if (sAction.empty()) {
        sError = "No action has been specified for the function.";
        return false;
    }
    bool fRequired = false;
    if (GetFunctionAction(sAction, fRequired) == eScriptTaskType::None) {
        sError = "This action is not allowed: " + sAction;
        return false;
    }
    const std::string_view sParameter = w.TypedFrom(2);
    if (sParameter.empty() && fRequired) {
        sError = "The parameters for the function were not specified.";
        return false;
    }
    uScriptTask& task = parse.AddTask(eScriptTaskType::Function, line);
    task.fParsed = 0;
    task.instruction->Instruction = sAction;
    task.instruction->Parameter = std::string(sParameter);
    line.fParsed = 1;
    return true;
}

bool CheckFunction(uScriptParse& parse, uScriptTask& task, std::string& sError) {
    uScriptLine line{LineSourceScript, {}, task.iLine, 0};
    std::string sAction;
    if (task.eTaskType == eScriptTaskType::Function) {
        line.sText = "function " + task.instruction->Instruction + " " + task.instruction->Parameter;
        sAction = task.instruction->Instruction;
    } else {
        line.sText = task.instruction->Instruction + " " + task.instruction->Parameter;
        sAction = LowerKeepingPositions(Word(task.instruction->Parameter, 0));
    }
    const uAction* pAction = FindAction(sAction);
    if (!pAction) {
        sError = "This action is not allowed: " + sAction;
        return false;
    }
    if (!pAction->checker(parse, line, sError)) return false;
    uScriptTask& made = *std::next(parse.itLinked);
    task.pInstructionAddress = &made;
    made.pParentAddress = task.pParentAddress;
    // No writer takes a script's waveform: its save could only fail when the run gets there.
    const uScriptTask* pVariable = made.pParentAddress;
    if (made.eTaskType == eScriptTaskType::FunctionSave && pVariable &&
        pVariable->eTaskType == eScriptTaskType::Variable && pVariable->variable->Type == eVariableType::Waveform) {
        sError = InstrumentWaveform::ScriptSaveUnsupported;
        return false;
    }
    return true;
}

bool CheckFunctionBeep(uScriptParse& parse, uScriptLine& line, std::string& sError) {
    const uFunctionWords w(line);
    if (!CheckFrame(w, "beep", sError)) return false;
    const std::string_view sWord = w.Lower(2);
    std::int64_t eBeep = 0;
    if (sWord == "information") eBeep = 64;
    else if (sWord == "question") eBeep = 32;
    else if (sWord == "warning") eBeep = 48;
    else if (sWord == "error") eBeep = 16;
    AddActionTask(parse, line, eScriptTaskType::FunctionBeep).beep->eMessageBeep = eBeep;
    return true;
}

bool CheckFunctionClipboard(uScriptParse& parse, uScriptLine& line, std::string& sError) {
    if (!CheckFrame(uFunctionWords(line), "clipboard", sError)) return false;
    AddActionTask(parse, line, eScriptTaskType::FunctionClipboard);
    return true;
}

bool CheckFunctionView(uScriptParse& parse, uScriptLine& line, std::string& sError) {
    if (!CheckFrame(uFunctionWords(line), "view", sError)) return false;
    AddActionTask(parse, line, eScriptTaskType::FunctionView);
    return true;
}

bool CheckFunctionScreencopy(uScriptParse& parse, uScriptLine& line, std::string& sError) {
    const uFunctionWords w(line);
    if (!CheckFrame(w, "screencopy", sError)) return false;
    AddActionTask(parse, line, eScriptTaskType::FunctionScreencopy).screencopy->sParameter = std::string(w.LowerFrom(2));
    return true;
}

bool CheckFunctionWaveform(uScriptParse& parse, uScriptLine& line, std::string& sError) {
    const uFunctionWords w(line);
    if (!CheckFrame(w, "waveform", sError)) return false;
    AddActionTask(parse, line, eScriptTaskType::FunctionWaveform).waveform->sParameter = std::string(w.LowerFrom(2));
    return true;
}

bool CheckFunctionScpi(uScriptParse& parse, uScriptLine& line, std::string& sError) {
    const uFunctionWords w(line);
    if (!CheckFrame(w, "scpi", sError)) return false;
    const std::string_view sMode = w.Lower(2);
    if (sMode != "write" && sMode != "read") {
        sError = "An action for the SCPI command was not specified.";
        return false;
    }
    if (w.Lower(3).empty()) {
        sError = "The SCPI command was not specified.";
        return false;
    }
    uScriptTask& task = AddActionTask(parse, line, eScriptTaskType::FunctionScpi);
    task.scpi->fRead = sMode == "read" ? 1 : 0;
    task.scpi->sCommand = std::string(w.TypedFrom(3));
    return true;
}

bool CheckFunctionSave(uScriptParse& parse, uScriptLine& line, std::string& sError) {
    const uFunctionWords w(line);
    if (!CheckFrame(w, "save", sError)) return false;
    const std::string_view sParameter = w.TypedFrom(2);
    const std::string sPath = UnquoteParameter(sParameter);
    if (w.Lower(2).empty() || sPath.empty()) {
        sError = "The file name was not specified in double quotes.";
        return false;
    }
    std::string sOptions(sParameter);
    const std::string sQuoted = "\"" + sPath + "\"";
    const std::string sLowerOptions = LowerKeepingPositions(sOptions);
    const std::size_t iAt = sLowerOptions.find(LowerKeepingPositions(sQuoted));
    if (iAt != std::string::npos) sOptions.erase(iAt, sQuoted.size());
    uScriptTask& task = AddActionTask(parse, line, eScriptTaskType::FunctionSave);
    task.save->sFilepath = sPath;
    task.save->sParameter = LowerKeepingPositions(Utility::TrimCharacters(sOptions, Blanks));
    return true;
}

bool CheckFunctionRemove(uScriptParse& parse, uScriptLine& line, std::string& sError) {
    const uFunctionWords w(line);
    if (!CheckFrame(w, "remove", sError)) return false;
    if (w.Lower(2).empty()) {
        sError = "The parameters for the instruction were not specified.";
        return false;
    }
    const std::string sParameter(w.LowerFrom(2));
    std::vector<std::string> words;
    Utility::SplitStringToList(sParameter, words, " ");
    std::array<uScriptRemove, 3> aRemove{};
    std::size_t iCount = 0;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string sWord = Utility::TrimCharacters(words[i], Blanks);
        uScriptRemove op;
        if (sWord == "block") {
            op.eRemove = 1;
        } else if (sWord == "first" || sWord == "last") {
            const std::string sNumber = i + 1 < words.size() ? Utility::TrimCharacters(words[++i], Blanks) : "";
            op.eRemove = sWord == "first" ? 2 : 3;
            op.iNumber = TextToInteger(sNumber);
            if (op.iNumber == 0) {
                sError = "The number for the instruction '" + sWord + "' was not specified.";
                return false;
            }
        } else {
            continue;
        }
        if (iCount < aRemove.size()) aRemove[iCount++] = op;
    }
    uScriptTask& task = AddActionTask(parse, line, eScriptTaskType::FunctionRemove);
    task.remove->sParameter = sParameter;
    task.remove->aRemove = aRemove;
    return true;
}

bool CheckFunctionReplace(uScriptParse& parse, uScriptLine& line, std::string& sError) {
    const uFunctionWords w(line);
    if (!CheckFrame(w, "replace", sError)) return false;
    if (w.Lower(2).empty()) {
        sError = "The parameters for the instruction were not specified.";
        return false;
    }
    const std::string_view sParameter = w.TypedFrom(2);
    const uReplaceValue search = ReadReplaceValue(sParameter);
    if (!search.fClosed || search.sValue.empty()) {
        sError = "The parameter for the value to be searched was not specified.";
        return false;
    }
    const std::string sRest = Utility::TrimCharacters(search.sRest, Blanks);
    uReplaceValue replacement = ReadReplaceValue(sRest);
    if (!replacement.fClosed) {
        // The value runs to the end of the rest.
        replacement.sValue = std::string(std::string_view(sRest).substr(replacement.fBytes ? 0 : 1));
    }
    const bool fQuotedEmpty = !replacement.fBytes && replacement.fClosed && replacement.sValue.empty();
    const std::string sCount = Utility::TrimCharacters(replacement.sRest, Blanks);
    if (sCount.empty() && replacement.sValue.empty() && !fQuotedEmpty) {
        sError = "The parameter for the value to be replaced was not specified.";
        return false;
    }
    uScriptTask& task = AddActionTask(parse, line, eScriptTaskType::FunctionReplace);
    task.replace->sParameter = std::string(sParameter);
    task.replace->sSearch = search.sValue;
    task.replace->fSearchBytes = search.fBytes ? 1 : 0;
    task.replace->sReplacement = replacement.sValue;
    task.replace->fReplacementBytes = replacement.fBytes ? 1 : 0;
    task.replace->iCount = TextToInteger(sCount);
    return true;
}

bool CheckFunctionWait(uScriptParse& parse, uScriptLine& line, std::string& sError) {
    static const std::string Invalid = "The waiting time is invalid, it must be greater than zero.";
    const uFunctionWords w(line);
    if (!CheckFrame(w, "wait", sError)) return false;
    const std::string_view sMode = w.Lower(2);
    if (sMode.empty()) {
        sError = Invalid;
        return false;
    }
    std::int64_t eWait = 0;
    if (sMode == "abs") eWait = 1;
    else if (sMode == "time") eWait = 2;
    else if (sMode == "date") eWait = 3;
    else if (sMode == "msg") eWait = 4;
    std::string sValue;
    if (eWait == 3 || eWait == 4) {
        sValue = Utility::TrimCharacters(w.TypedFrom(3), Blanks);
        if (eWait == 4) sValue = Utility::TrimCharacters(sValue, "\"");
    } else {
        sValue = std::string(w.Lower(eWait == 0 ? 2 : 3));
    }
    if (sValue.empty()) {
        sError = Invalid;
        return false;
    }
    std::int64_t iMilliseconds = 0, iTime = 0, iDate = 0;
    if (eWait == 0 || eWait == 1) {
        iMilliseconds = TextToInteger(sValue);
    } else if (eWait == 2) {
        const QString s = QString::fromStdString(sValue);
        const QTime time = QTime::fromString(s, QStringLiteral("HH:mm:ss"));
        if (!time.isValid() || time.toString(QStringLiteral("HH:mm:ss")) != s) {
            sError = "The value for the time is invalid.";
            return false;
        }
        iTime = time.msecsSinceStartOfDay() / 1000;
    } else if (eWait == 3) {
        // Date and time of day as written, counted in seconds from 1970-01-01 00:00:00 without
        // a time zone (local time as it reads).
        const QString s = QString::fromStdString(sValue);
        const QDate date = QDate::fromString(s.left(10), QStringLiteral("yyyy-MM-dd"));
        const QTime time = QTime::fromString(s.mid(11), QStringLiteral("HH:mm:ss"));
        if (!date.isValid() || !time.isValid() ||
            date.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char(' ') + time.toString(QStringLiteral("HH:mm:ss")) !=
                s) {
            sError = "The value for the date with time is invalid.";
            return false;
        }
        iDate = (date.toJulianDay() - QDate(1970, 1, 1).toJulianDay()) * 86400 + time.msecsSinceStartOfDay() / 1000;
    }
    uScriptTask& task = AddActionTask(parse, line, eScriptTaskType::FunctionWait);
    task.wait->eWait = eWait;
    task.wait->iMilliseconds = iMilliseconds;
    task.wait->iTime = iTime;
    task.wait->iDate = iDate;
    if (eWait == 4) task.wait->sMessage = sValue;
    return true;
}

std::string UnquoteParameter(std::string_view sText) {
    const std::size_t iFirst = sText.find('"');
    if (iFirst == std::string_view::npos) return {};
    const std::size_t iSecond = sText.find('"', iFirst + 1);
    if (iSecond == std::string_view::npos) return {};
    return std::string(sText.substr(iFirst + 1, iSecond - iFirst - 1));
}

std::string ParseByteList(std::string_view sText) {
    std::string s;
    if (sText.empty()) return s;
    for (std::uint8_t b : ByteValues(sText)) {
        if (b == 0) break;
        s += static_cast<char>(b);
    }
    return s;
}

DataBuffer ParseByteListToMemory(std::string_view sText) {
    if (sText.empty()) return {};
    const std::vector<std::uint8_t> bytes = ByteValues(sText);
    return DataBuffer::FromBytes(bytes.data(), bytes.size());
}

} // namespace InstrumentScript
