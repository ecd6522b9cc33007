// Variable lines: a declared variable's name, an instruction word and its parameters. Pass 4
// records the line as a VariableInstruction task; the linking pass hands it to the checker of
// its instruction, which puts the executable task (set, add, math or compare) behind it.
#pragma once

#include "script/ScriptLines.h"

#include <string>
#include <string_view>

namespace InstrumentScript {

// The task type an instruction word of a variable line leads to, with fNeedsParameters set;
// None (and fNeedsParameters cleared) for any other word.
eScriptTaskType GetVariableInstruction(std::string_view sWord, bool& fNeedsParameters);

// Pass 4, for a line whose first word does not begin with "$".
bool CheckVariableInstruction(uScriptParse& parse, uScriptLine& line, std::string& sError);

// Linking, for a VariableInstruction task whose instruction is one of set to less.
bool CheckVariableInstructionParameters(uScriptParse& parse, uScriptTask& task, std::string& sError);

// Each checks a line that begins with its instruction word and puts its task behind the task
// being linked.
bool CheckVariableSet(uScriptParse& parse, const uScriptLine& line, std::string& sError);
bool CheckVariableAdd(uScriptParse& parse, const uScriptLine& line, std::string& sError);
bool CheckVariableMath(uScriptParse& parse, const uScriptLine& line, std::string& sError);
bool CheckVariableCompare(uScriptParse& parse, const uScriptLine& line, std::string& sError);

} // namespace InstrumentScript
