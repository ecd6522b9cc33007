// The parser: passes over the lines of both texts that build a program, the checkers of labels,
// jumps, declarations and conditional lines, and the linking pass.
#pragma once

#include "script/ScriptLines.h"

#include <memory>
#include <string>
#include <string_view>

namespace InstrumentScript {

// Parses both texts. True with the finished program in pProgram; false with the error text.
// With no script lines, pProgram stays null (the caller keeps its old program); otherwise it
// holds what was built up to the failure, which must not be run.
bool ParseScript(std::string_view sScript, std::string_view sConstants, std::shared_ptr<uScriptProgram>& pProgram,
                 std::string& sError);

bool IsReservedWord(std::string_view sWord);
bool CheckLabel(uScriptParse& parse, uScriptLine& line, std::string& sError);
bool CheckGoto(uScriptParse& parse, uScriptLine& line, uScriptTask* pParent, std::string& sError);
bool CheckVariableDeclaration(uScriptParse& parse, eVariableType eType, uScriptLine& line, std::string& sError);
bool CheckTrue(uScriptParse& parse, uScriptLine& line, std::string& sError);
bool CheckFalse(uScriptParse& parse, uScriptLine& line, std::string& sError);
bool CheckConditionalGoto(uScriptParse& parse, uScriptTask& condition, std::string& sError);
bool LinkInstructions(uScriptParse& parse, std::string& sError);

} // namespace InstrumentScript
