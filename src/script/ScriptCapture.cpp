#include "script/ScriptCapture.h"

#include "common/TextRoutines.h"
#include "instrument/InstrumentObject.h"
#include "instrument/WaveformRead.h"
#include "script/ScriptInstrument.h"
#include "script/ScriptScpi.h"

#include <QImage>

#include <cstdio>
#include <map>
#include <memory>

namespace InstrumentScript {
namespace {

// Source words of "function waveform" and their flag numbers (eWaveform values).
const std::map<std::string, std::int64_t>& WaveformWords() {
    static const std::map<std::string, std::int64_t> m = [] {
        std::map<std::string, std::int64_t> w{{"all", WaveformAllVisible},  {"analog", WaveformAllAnalog},
                                              {"logic", WaveformLogic},      {"add1", WaveformAdd1},
                                              {"bus1", WaveformLogicBus1},   {"bus2", WaveformLogicBus2},
                                              {"pod1", WaveformLogicPod1},   {"pod2", WaveformLogicPod2},
                                              {"zch1", WaveformZoomChannel1}, {"zch2", WaveformZoomChannel2},
                                              {"zadd1", WaveformZoomAdd1},   {"zpod1", WaveformZoomLogicPod1},
                                              {"fft1", WaveformFft1},        {"fft2", WaveformFft2},
                                              {"func1", WaveformFunction1},  {"func2", WaveformFunction2},
                                              {"math", WaveformMath}};
        for (int i = 1; i <= 4; ++i) w["ch" + std::to_string(i)] = WaveformChannel1 + i - 1;
        for (int i = 0; i <= 15; ++i) w["d" + std::to_string(i)] = WaveformDigital0 + i;
        for (int i = 1; i <= 5; ++i) w["ma" + std::to_string(i)] = WaveformMath1 + i - 1;
        for (int i = 1; i <= 9; ++i) w["re" + std::to_string(i)] = WaveformReference1 + i - 1;
        return w;
    }();
    return m;
}

std::vector<std::string> Words(const std::string& sParameter) {
    std::vector<std::string> words;
    if (sParameter.empty()) return words;
    Utility::SplitStringToList(sParameter, words, " ");
    for (std::string& s : words) s = Utility::TrimCharacters(s, " ");
    return words;
}

std::string HexNumber(std::uint64_t i) {
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "$%llX", static_cast<unsigned long long>(i));
    return buffer;
}

// The executor half both share: check, queue and log.
bool QueueCapture(uScriptThread& t, uScriptTask& task, const uTask& record, const char* sProcedure,
                  const char* sCommand, std::string& sError) {
    if (!t.pActiveInstrument) {
        PostScriptError(t, task, sProcedure, "There is no active instrument.");
        return false;
    }
    if (!QueueAwaitedTask(t, *t.pActiveInstrument, record, TaskHeadOf(record).eTaskType, sError)) {
        PostLine(t, task, std::string(" ") + sProcedure + " - Fehler beim Hinzufügen des Tasks.");
        return false;
    }
    PostLine(t, task, std::string(" ") + sProcedure + " - " + sCommand);
    return true;
}

// The result values that say "a result arrived" for the simple types; false when the type is
// not one of them.
bool StoreArrival(uScriptThread& t, uScriptTask& task, uScriptVariable& v, const std::string& sFrom) {
    std::string sValue;
    switch (v.Type) {
    case eVariableType::Boolean: v.Boolean = 1; sValue = "True"; break;
    case eVariableType::Integer: v.Integer = 1; sValue = "1"; break;
    case eVariableType::Float: v.Float = 1.0; sValue = "1"; break;
    case eVariableType::String: v.String = Utility::BoolToText(1); sValue = v.String; break;
    default: return false;
    }
    const char* sType = v.Type == eVariableType::Boolean   ? " Boolean von "
                        : v.Type == eVariableType::Integer ? " Integer von "
                        : v.Type == eVariableType::Float   ? " Float von "
                                                           : " String von ";
    PostLine(t, task, sType + sFrom + " - " + v.Name + " set " + sValue);
    return true;
}

void Refuse(uScriptThread& t, uScriptTask& task, const char* sProcedure, const std::string& sLine) {
    PostError(t, "Script error: Data cannot be assigned to variables of type bitmap or waveform.", sProcedure);
    PostLine(t, task, sLine);
}

} // namespace

uTaskScreencopy ScreencopyRecord(const std::string& sParameter) {
    uTaskScreencopy r;
    r.eSize = 1;
    r.eColor = 5;
    r.eTitle = 0;
    for (const std::string& s : Words(sParameter)) {
        if (s == "small") r.eSize = 1;
        else if (s == "middle") r.eSize = 2;
        else if (s == "large") r.eSize = 3;
        else if (s == "bw") r.eColor = 4;
        else if (s == "title") r.eTitle = 6;
    }
    return r;
}

uTaskWaveform WaveformRecord(const std::string& sParameter, std::vector<std::string>& mUnknown) {
    uTaskWaveform r;
    for (const std::string& s : Words(sParameter)) {
        if (s == "screen") r.eSource = 1;
        else if (s == "memory") r.eSource = 2;
        else if (s == "allmemory") r.eSource = 3;
        else if (s == "8") r.eBits = 4;
        else if (s == "16") r.eBits = 5;
        else if (auto it = WaveformWords().find(s); it != WaveformWords().end()) r.fSource[static_cast<std::size_t>(it->second)] = 1;
        else mUnknown.push_back(s);
    }
    return r;
}

bool TaskFunctionScreencopy(uScriptThread& t, uScriptTask& task, std::string& sError) {
    if (!t.pInstance) {
        sError = "InstrumentScript::TaskFunctionScreencopy: The pointer to the instance is zero.";
        return false;
    }
    return QueueCapture(t, task, ScreencopyRecord(task.screencopy->sParameter), "TaskFunctionScreencopy",
                        "Das Screencopy-Kommando wird gesendet.", sError);
}

bool TaskFunctionWaveform(uScriptThread& t, uScriptTask& task, std::string& sError) {
    if (!t.pInstance) {
        sError = "InstrumentScript::TaskFunctionWaveform: The pointer to the instance is zero.";
        return false;
    }
    if (!t.pActiveInstrument) {
        PostScriptError(t, task, "TaskFunctionWaveform", "There is no active instrument.");
        return false;
    }
    std::vector<std::string> mUnknown;
    const uTaskWaveform record = WaveformRecord(task.waveform->sParameter, mUnknown);
    for (const std::string& s : mUnknown) PostLine(t, task, " TaskFunctionWaveform - Unbekannter Parameter: " + s);
    return QueueCapture(t, task, record, "TaskFunctionWaveform", "Das Waveform-Kommando wird gesendet.", sError);
}

bool EventInstrumentScreencopy(uScriptThread& t, uInstrumentObject& instrument, uScriptTask& task,
                               const EventHub::uEvent& event, std::string&) {
    const QImage* pImage = event.pData.Get<QImage>();
    const bool fValid = pImage && !pImage->isNull();
    const std::string sFrom = MakerAndModel(instrument);
    PostLine(t, task, std::string(" Ereignis InstrumentTaskScreencopy - ") +
                          (pImage ? "Eine Bildschirmkopie wurde empfangen von: " : "") + sFrom);
    if (!fValid) {
        PostLine(t, task, " Ereignis InstrumentTaskScreencopy - Es wurde keine Bildschirmkopie empfangen: " + sFrom);
        return false;
    }
    uScriptTask* pTarget = task.pParentAddress;
    if (!pTarget || pTarget->eTaskType != eScriptTaskType::Variable) return true;
    uScriptVariable& v = *pTarget->variable;
    if (StoreArrival(t, task, v, "Image")) return true;
    if (v.Type == eVariableType::Image) {
        ResetVariable(*pTarget);
        v.Image = *pImage; // shares the pixels; the event's copy goes with the event
        PostLine(t, task, " Image von Image - " + v.Name + " set " + HexNumber(static_cast<std::uint64_t>(v.Image.cacheKey())));
        return true;
    }
    Refuse(t, task, "EventInstrumentScreencopy",
           " Ereignis InstrumentTaskScreencopy - FEHLER - Daten können nicht an Variablen vom Typ data und waveform "
           "zugewiesen werden.");
    return true;
}

bool EventInstrumentWaveform(uScriptThread& t, uInstrumentObject& instrument, uScriptTask& task,
                             const EventHub::uEvent& event, std::string&) {
    uWaveformData* pData = event.pData.Get<uWaveformData>();
    const std::string sFrom = MakerAndModel(instrument);
    PostLine(t, task, std::string(" Ereignis InstrumentTaskWaveform - ") +
                          (pData ? "Messkurven wurden empfangen von: " : "") + sFrom);
    if (!pData) {
        PostLine(t, task, " Ereignis InstrumentTaskWaveform - Es wurden keine Messkurven empfangen: " + sFrom);
        return false;
    }
    uScriptTask* pTarget = task.pParentAddress;
    if (!pTarget || pTarget->eTaskType != eScriptTaskType::Variable) return true;
    uScriptVariable& v = *pTarget->variable;
    if (StoreArrival(t, task, v, "Waveform")) return true;
    if (v.Type == eVariableType::Waveform) {
        ResetVariable(*pTarget);
        // The record's contents move into the variable; what stays behind goes with the event.
        v.Waveform = std::make_unique<uWaveformData>(std::move(*pData));
        PostLine(t, task, " Waveform von Waveform - " + v.Name + " set " +
                              HexNumber(reinterpret_cast<std::uintptr_t>(v.Waveform.get())));
        return true;
    }
    Refuse(t, task, "EventInstrumentWaveform",
           " Ereignis InstrumentTaskWaveform - FEHLER - Waveform-Daten können nicht an Variablen vom Typ data und "
           "image zugewiesen werden.");
    return true;
}

} // namespace InstrumentScript
