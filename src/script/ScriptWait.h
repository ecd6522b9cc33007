// The executors of waits, messages and beeps: "function wait" for milliseconds, with a fixed
// period (abs), until a time of day or a date, or with a message that pauses the script until
// the user runs it on; "function beep" with its system sound.
#pragma once

#include "script/ScriptThread.h"

#include <string>

namespace InstrumentScript {

// True when the wait is over; false pauses the script until the window runs it again (a zero
// wait, or a message). A stop or a pause ends a running wait at once.
bool TaskFunctionWait(uScriptThread& thread, uScriptTask& task, std::string& sError);
bool TaskFunctionBeep(uScriptThread& thread, uScriptTask& task, std::string& sError);

} // namespace InstrumentScript
