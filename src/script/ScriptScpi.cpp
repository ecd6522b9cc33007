#include "script/ScriptScpi.h"

#include "common/FileLoading.h"
#include "common/TextRoutines.h"
#include "instrument/InstrumentObject.h"
#include "instrument/TaskRecords.h"
#include "script/ScriptConvert.h"
#include "script/ScriptInstrument.h"
#include "script/ScriptVariableText.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace InstrumentScript {
namespace {

// The first iCount code points of a UTF-8 text.
std::string FirstCharacters(const std::string& sText, std::size_t iCount) {
    std::size_t i = 0;
    for (std::size_t n = 0; i < sText.size() && n < iCount; ++n) {
        ++i;
        while (i < sText.size() && (static_cast<unsigned char>(sText[i]) & 0xC0) == 0x80) ++i;
    }
    return sText.substr(0, i);
}

// The size rules the four text conversions share: false (with the line's text) when there is
// nothing to read.
bool TextOf(std::string_view bytes, const char* sNothing, std::string& sText, std::string& sLine) {
    if (bytes.empty()) {
        sLine = std::string(sNothing) + " - Datengröße ist Null.";
        return false;
    }
    sText = AnswerText(bytes);
    if (sText.empty()) {
        sLine = std::string(sNothing) + " - Leerer String oder nur Leerzeichen.";
        return false;
    }
    return true;
}

} // namespace

std::string AddressText(const void* p) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "$%llX", static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(p)));
    return buffer;
}

std::string AnswerText(std::string_view bytes) {
    const std::size_t iZero = bytes.find('\0');
    if (iZero != std::string_view::npos) bytes = bytes.substr(0, iZero);
    return Utility::TrimCharacters(Utility::TextFromAnsiBytes(bytes), " \t\r\n");
}

std::int64_t BooleanFromData(uScriptThread& t, const uScriptTask& task, std::string_view bytes) {
    std::string sText, sLine;
    std::int64_t fValue = 0;
    if (!TextOf(bytes, "False", sText, sLine)) {
    } else if (!Utility::TrimCharacters(sText, "0123456789.").empty()) {
        sLine = "False - Es ist Text vorhanden.";
    } else if (TextToFloat(sText) == 0.0) {
        sLine = "False - Zahl ist Null.";
    } else {
        fValue = 1;
        sLine = "True - Daten wurden interpretiert.";
    }
    PostLine(t, task, " BooleanFromData - " + sLine);
    return fValue;
}

std::int64_t IntegerFromData(uScriptThread& t, const uScriptTask& task, std::string_view bytes) {
    std::string sText, sLine;
    std::int64_t iValue = 0;
    if (TextOf(bytes, "0 (Null)", sText, sLine)) {
        iValue = TextToInteger(sText);
        sLine = iValue == 0 ? "0 (Null) - Zahl ist Null." : std::to_string(iValue) + " - Daten wurden interpretiert.";
    }
    PostLine(t, task, " IntegerFromData - " + sLine);
    return iValue;
}

double FloatFromData(uScriptThread& t, const uScriptTask& task, std::string_view bytes) {
    std::string sText, sLine;
    double dValue = 0.0;
    if (TextOf(bytes, "0 (Null)", sText, sLine)) {
        dValue = TextToFloat(sText);
        sLine = dValue == 0.0 ? "0 (Null) - Zahl ist Null." : FloatToPlainText(dValue) + " - Daten wurden interpretiert.";
    }
    PostLine(t, task, " FloatFromData - " + sLine);
    return dValue;
}

std::string StringFromData(uScriptThread& t, const uScriptTask& task, std::string_view bytes) {
    std::string sText, sLine;
    if (TextOf(bytes, "Leer", sText, sLine)) {
        sLine = "(max. 32 Zeichen) >" + FirstCharacters(sText, 32) + "< - Daten wurden interpretiert.";
    }
    PostLine(t, task, " StringFromData - " + sLine);
    return sText;
}

DataBuffer DataFromData(uScriptThread& t, const uScriptTask& task, std::string_view bytes) {
    DataBuffer data;
    std::string sLine;
    if (bytes.empty()) {
        sLine = "Null - Datengröße ist Null.";
    } else {
        data = DataBuffer::FromBytes(bytes.data(), bytes.size());
        sLine = data.allocated() ? AddressText(data.data()) + " - Daten wurden kopiert." : "Null - Keine Daten vorhanden.";
    }
    PostLine(t, task, " DataFromData - " + sLine);
    return data;
}

bool TaskFunctionScpi(uScriptThread& t, uScriptTask& task, std::string& sError) {
    if (!t.pInstance) {
        sError = "InstrumentScript::TaskFunctionScpi: The pointer to the instance is zero.";
        return false;
    }
    if (!t.pActiveInstrument) {
        PostScriptError(t, task, "TaskFunctionScpi", "There is no active instrument.");
        return false;
    }
    DataBuffer payload;
    const std::string sCommand = ReplaceVariablesInText(t, task, task.scpi->sCommand, eReferenceForm::Dollar,
                                                        "TaskFunctionScpiVariable", &payload);
    const uScriptTask* pDeclaration = t.pActiveInstrumentTask;
    const std::int64_t iDelay = pDeclaration ? pDeclaration->instrument->iScpiDelay : 0;
    // A stop ends the pause and the run: nothing is queued, and the thread ends without a word.
    if (iDelay > 0 && !SleepMilliseconds(t, iDelay)) return true;
    uTaskScpiCommand command;
    command.fSend = 1;
    command.sCommand = sCommand;
    if (!payload.empty()) command.pData = std::make_shared<const DataBuffer>(std::move(payload));
    command.fRequestData = task.scpi->fRead ? 1 : 0;
    command.eWait = pDeclaration ? pDeclaration->instrument->eScpiWait : 0;
    if (!QueueAwaitedTask(t, *t.pActiveInstrument, std::move(command), InstrumentTaskScpiCommand, sError)) {
        PostLine(t, task, " TaskFunctionScpi - Fehler beim Hinzufügen des Tasks.");
        return false;
    }
    PostLine(t, task, " TaskFunctionScpi - Das SCPI-Kommando wird gesendet: " + sCommand);
    return true;
}

bool EventInstrumentScpiCommand(uScriptThread& t, uInstrumentObject& instrument, uScriptTask& task,
                                const EventHub::uEvent& event, std::string&) {
    const auto* pResult = event.pData.Get<uTaskResultScpiCommand>();
    const std::string sFrom = MakerAndModel(instrument);
    const char* sKind = !pResult ? "" : pResult->fRequestFinished ? "Eine Antwort wurde empfangen von: "
                                                                  : "Kommando wurde gesendet an: ";
    PostLine(t, task, std::string(" Ereignis InstrumentTaskScpiCommand - ") + sKind + sFrom);
    if (!pResult) {
        PostLine(t, task, " Ereignis InstrumentTaskScpiCommand - Es sind keine Daten vorhanden: " + sFrom);
        return true;
    }
    uScriptTask* pTarget = task.pParentAddress;
    if (!pTarget || pTarget->eTaskType != eScriptTaskType::Variable) return true;
    const auto iSize = static_cast<std::size_t>(
        std::clamp<std::int64_t>(pResult->iRequestTransferred, 0, static_cast<std::int64_t>(pResult->requestData.size())));
    const std::string_view bytes = pResult->requestData.view().substr(0, iSize);
    uScriptVariable& v = *pTarget->variable;
    switch (v.Type) {
    case eVariableType::Boolean:
        v.Boolean = BooleanFromData(t, task, bytes);
        PostLine(t, task, " BooleanFromData - " + v.Name + " set " + Utility::BoolToText(v.Boolean));
        break;
    case eVariableType::Integer:
        v.Integer = IntegerFromData(t, task, bytes);
        PostLine(t, task, " IntegerFromData - " + v.Name + " set " + std::to_string(v.Integer));
        break;
    case eVariableType::Float:
        v.Float = FloatFromData(t, task, bytes);
        PostLine(t, task, " FloatFromData - " + v.Name + " set " + FloatToPlainText(v.Float));
        break;
    case eVariableType::String:
        v.String = StringFromData(t, task, bytes);
        PostLine(t, task, " StringFromData - " + v.Name + " set " + v.String);
        break;
    case eVariableType::Data:
        ResetVariable(*pTarget);
        v.Data = DataFromData(t, task, bytes);
        PostLine(t, task, " DataFromData - " + v.Name + " set " + AddressText(v.Data.data()));
        break;
    default:
        PostError(t, "Script error: Data cannot be assigned to variables of type bitmap or waveform.",
                  "EventInstrumentScpiCommand");
        PostLine(t, task, " Ereignis InstrumentTaskScpiCommand - FEHLER - Daten können nicht an Variablen vom Typ "
                          "image oder waveform zugewiesen werden.");
        break;
    }
    PostLine(t, task, " Ereignis InstrumentTaskScpiCommand - Empfangene Daten von: " + sFrom);
    const auto& r = *pResult;
    PostLine(t, task, " Ereignis InstrumentTaskScpiCommand - Struktur der empfangenen Daten:\n     iTaskNumber = " +
                          std::to_string(r.iTaskNumber) + "\n     iSendTransferred = " +
                          std::to_string(r.iSendTransferred) + " Bytes\n     fSendFinished = " +
                          Utility::BoolToText(r.fSendFinished) + "\n     fRequestData = " +
                          Utility::BoolToText(r.fRequestData) + "\n     pRequestData = " +
                          AddressText(r.requestData.data()) + "\n     iRequestTransferred = " +
                          std::to_string(r.iRequestTransferred) + " Bytes\n     fRequestFinished = " +
                          std::to_string(r.fRequestFinished ? 1 : 0));
    const auto iDump = static_cast<std::int64_t>(std::min<std::size_t>(bytes.size(), 32));
    PostLine(t, task, " Daten (ersten max. 32 Bytes, Hex u. Ascii), Bytes: " + std::to_string(r.iRequestTransferred) +
                          "\r\n" +
                          Utility::HexDump(reinterpret_cast<const std::uint8_t*>(bytes.data()), iDump, 16, 0, true,
                                           false, 0));
    return true;
}

} // namespace InstrumentScript
