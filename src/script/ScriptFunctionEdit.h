// "<variable> function remove block|first n|last n" and "<variable> function replace <search>
// <replacement> [count]" on String and Data variables. Counts on a string are characters (a
// UTF-8 character is never split); on data they are bytes. A Data variable that loses every
// byte holds no block.
#pragma once

#include "script/ScriptThread.h"

#include <cstdint>
#include <string>

namespace InstrumentScript {

// Runs the line's (up to three) remove operations in line order; the result of the last one.
bool TaskFunctionRemove(uScriptThread& thread, uScriptTask& task, std::string& sError);
// Strips a leading definite-length block header and keeps every byte behind it.
bool TaskFunctionRemoveBlock(uScriptThread& thread, uScriptTask& task, uScriptTask& variable, std::string& sError);
// A count of 0 or below removes nothing (and logs the count).
bool TaskFunctionRemoveFirst(uScriptThread& thread, uScriptTask& task, uScriptTask& variable, std::int64_t iCount,
                             std::string& sError);
bool TaskFunctionRemoveLast(uScriptThread& thread, uScriptTask& task, uScriptTask& variable, std::int64_t iCount,
                            std::string& sError);

// Replaces non-overlapping matches from the left, case-sensitive: all for a count of 0, else
// the first count ones (a negative count replaces nothing).
bool TaskFunctionReplace(uScriptThread& thread, uScriptTask& task, std::string& sError);

// The number of UTF-8 characters of the text (bytes that do not continue a character).
std::int64_t CharacterCount(const std::string& sText);

} // namespace InstrumentScript
