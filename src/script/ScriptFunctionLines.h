// Function lines: "function <action> <parameters>" alone (pass 3), behind a variable or behind
// true/false (linking pass). The checker of each action fills one task of its type and puts it
// directly behind the task it came from. Also the byte lists the executors convert at run time.
#pragma once

#include "common/DataBuffer.h"
#include "script/ScriptLines.h"

#include <string>
#include <string_view>

namespace InstrumentScript {

// The task type of an action word with fRequired set when the action needs parameters; None
// (and fRequired cleared) for any other word.
eScriptTaskType GetFunctionAction(std::string_view sWord, bool& fRequired);

// Pass 3: a line whose first word is "function" becomes a Function task.
bool CheckFunctionLine(uScriptParse& parse, uScriptLine& line, std::string& sError);

// Linking pass: a Function, True, False or VariableInstruction task whose instruction is a
// function gets its action task behind it, linked both ways.
bool CheckFunction(uScriptParse& parse, uScriptTask& task, std::string& sError);

// The action checkers; each takes the rebuilt line "function <action> ..." and the task it
// came from.
bool CheckFunctionBeep(uScriptParse& parse, uScriptLine& line, std::string& sError);
bool CheckFunctionClipboard(uScriptParse& parse, uScriptLine& line, std::string& sError);
bool CheckFunctionRemove(uScriptParse& parse, uScriptLine& line, std::string& sError);
bool CheckFunctionReplace(uScriptParse& parse, uScriptLine& line, std::string& sError);
bool CheckFunctionSave(uScriptParse& parse, uScriptLine& line, std::string& sError);
bool CheckFunctionScpi(uScriptParse& parse, uScriptLine& line, std::string& sError);
bool CheckFunctionScreencopy(uScriptParse& parse, uScriptLine& line, std::string& sError);
bool CheckFunctionWaveform(uScriptParse& parse, uScriptLine& line, std::string& sError);
bool CheckFunctionView(uScriptParse& parse, uScriptLine& line, std::string& sError);
bool CheckFunctionWait(uScriptParse& parse, uScriptLine& line, std::string& sError);

// The text between the first double quote and the next one; empty when there are fewer than two.
std::string UnquoteParameter(std::string_view sText);

// A byte list ("0d,0a": hexadecimal values without prefix, separated by commas; an element with
// a "$" of its own or without a hexadecimal digit reads as 0) as characters, up to the first 0.
std::string ParseByteList(std::string_view sText);
// The same list as bytes, zeros included; an empty buffer for an empty text or when the memory
// cannot be had.
DataBuffer ParseByteListToMemory(std::string_view sText);

} // namespace InstrumentScript
