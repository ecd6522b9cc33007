// The executors that give a variable a value: "set" (assignment), "add" (logical OR, sum,
// appended text or bytes, block header), "equal"/"greater"/"less" (comparison into the run's
// last comparison result) and "sub"/"mul"/"div"/"crc16ccitt" (arithmetic in place). Each
// narrates its work as German output lines and reports a refused type combination as a script
// error; integers wrap in 64 bits and never trap.
#pragma once

#include "script/ScriptThread.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace InstrumentScript {

bool TaskVariableSet(uScriptThread& thread, uScriptTask& task, std::string& sError);
bool TaskVariableAdd(uScriptThread& thread, uScriptTask& task, std::string& sError);
bool TaskVariableCompare(uScriptThread& thread, uScriptTask& task, std::string& sError);
bool TaskVariableMath(uScriptThread& thread, uScriptTask& task, std::string& sError);

// The script error of a String or Data value that would grow past the environment's
// ValueLimit; the executors refuse such a value before its memory is asked for.
std::string ValueTooLargeText();

// Whether a Data, Image or Waveform variable holds something (Data: at least one byte).
bool HoldsValue(const uScriptVariable& variable);

// The first iCount characters of a UTF-8 text; a sequence is never cut in two.
std::string FirstCharacters(std::string_view sText, std::size_t iCount);

} // namespace InstrumentScript
