// Variable values put into texts at run time: "$name" in wait messages and SCPI commands ("$$"
// stands for one "$") and "/$name" in file paths. The longest declared name wins, compared
// without regard to case. The text is read once from left to right: a value that was put in is
// never searched again, and "$$" counts only where the script wrote it.
#pragma once

#include "common/DataBuffer.h"
#include "script/ScriptThread.h"

#include <string>
#include <string_view>

namespace InstrumentScript {

enum class eReferenceForm {
    Dollar,     // "$name", "$$" for "$"
    PathDollar, // "/$name"
};

// The text with every reference replaced by its variable's value (booleans 0 or 1, integers in
// decimal, floats in the plain form, strings as they are, image, data and waveform empty). One
// output line " <sProcedure> - Die Variable '<name>' wird ersetzt durch: <value>" per
// replacement. With pPayload, a data variable is logged as a hex dump of its first 16 bytes and
// its bytes become the payload (the last such variable's).
std::string ReplaceVariablesInText(uScriptThread& thread, const uScriptTask& task, std::string_view sText,
                                   eReferenceForm eForm, std::string_view sProcedure,
                                   DataBuffer* pPayload = nullptr);

// The message of a FunctionWait task with its variables put in; empty for any other task.
std::string TaskReplaceVariable(uScriptThread& thread, const uScriptTask& task);

} // namespace InstrumentScript
