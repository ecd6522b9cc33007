// The canonical text of a parsed program: one line per script line, numbered, with constants
// put in, blanks collapsed, quotes removed and defaults filled in, as the parser understood it.
#pragma once

#include "script/ScriptTask.h"

#include <string>

namespace InstrumentScript {

// The text of the program's task list; empty for an empty list. A null program writes
// "InstrumentScript::CreateScriptTaskString: The pointer to the instance is zero." to sError.
std::string CreateScriptTaskString(const uScriptProgram* pProgram, std::string& sError);

// The body of one task (without number and line end); false for a task that prints none.
bool ScriptTaskBody(const uScriptTask& task, std::string& sBody);

} // namespace InstrumentScript
