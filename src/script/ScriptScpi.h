// SCPI exchanges of scripts: "function scpi write|read <command>" queues the command, with the
// values of the variables it names put in (a data variable's bytes travel as the payload), on
// the active instrument; the result handler turns the answer into the line's variable.
#pragma once

#include "platform/EventHub.h"
#include "script/ScriptThread.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace InstrumentScript {

// The answer's bytes up to the first zero byte as text (valid UTF-8 as it is, else each byte as
// Windows-1252), blanks, tabs, CR and LF removed at both ends.
std::string AnswerText(std::string_view bytes);

// The conversions of an answer; each posts its own output line for the task.
std::int64_t BooleanFromData(uScriptThread& thread, const uScriptTask& task, std::string_view bytes);
std::int64_t IntegerFromData(uScriptThread& thread, const uScriptTask& task, std::string_view bytes);
double FloatFromData(uScriptThread& thread, const uScriptTask& task, std::string_view bytes);
std::string StringFromData(uScriptThread& thread, const uScriptTask& task, std::string_view bytes);
DataBuffer DataFromData(uScriptThread& thread, const uScriptTask& task, std::string_view bytes);

bool TaskFunctionScpi(uScriptThread& thread, uScriptTask& task, std::string& sError);
bool EventInstrumentScpiCommand(uScriptThread& thread, uInstrumentObject& instrument, uScriptTask& task,
                                const EventHub::uEvent& event, std::string& sError);

// "$" and the address in upper-case hexadecimal, as the log lines show a memory block.
std::string AddressText(const void* p);

} // namespace InstrumentScript
