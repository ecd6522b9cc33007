// Screen copies and waveforms of scripts: "function screencopy [words]" and "function waveform
// [words]" ask the active instrument for an image or for waveform data; the result handlers put
// it into the line's variable by its type and release what no variable takes.
#pragma once

#include "instrument/TaskRecords.h"
#include "platform/EventHub.h"
#include "script/ScriptThread.h"

#include <string>
#include <vector>

namespace InstrumentScript {

// The records the words ask for (head left at its defaults); unknown waveform words are
// appended to mUnknown, unknown screen-copy words are ignored.
uTaskScreencopy ScreencopyRecord(const std::string& sParameter);
uTaskWaveform WaveformRecord(const std::string& sParameter, std::vector<std::string>& mUnknown);

bool TaskFunctionScreencopy(uScriptThread& thread, uScriptTask& task, std::string& sError);
bool TaskFunctionWaveform(uScriptThread& thread, uScriptTask& task, std::string& sError);

bool EventInstrumentScreencopy(uScriptThread& thread, uInstrumentObject& instrument, uScriptTask& task,
                               const EventHub::uEvent& event, std::string& sError);
bool EventInstrumentWaveform(uScriptThread& thread, uInstrumentObject& instrument, uScriptTask& task,
                             const EventHub::uEvent& event, std::string& sError);

} // namespace InstrumentScript
