// The parser's front end: the script and constants texts cut into numbered lines, the constant
// definitions and the replacement of constant references. Texts are kept as bytes: invalid
// UTF-8 and NUL bytes pass through unchanged.
#pragma once

#include "script/ScriptTask.h"

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace InstrumentScript {

// What one parse builds: the program and the names seen so far.
struct uScriptParse {
    std::shared_ptr<uScriptProgram> pProgram; // the program being built
    std::unordered_map<std::string, uScriptTask*> mConstants; // lower-case name with its "#"
    std::unordered_map<std::string, uScriptTask*> mLabels;
    std::unordered_map<std::string, uScriptTask*> mVariables;
    std::unordered_map<std::string, uScriptTask*> mInstruments; // named declarations, name with its "$"
    // While the linking pass runs: the task being linked, behind which new tasks go.
    bool fLinking = false;
    std::pmr::list<uScriptTask>::iterator itLinked;
    // Adds a task at the end of the list, or directly behind the task being linked.
    uScriptTask& AddTask(eScriptTaskType eType, const uScriptLine& line);
};

// Lower case that keeps every byte position: A to Z, and letters whose lower-case form has the
// same UTF-8 length; every other byte stays as it is.
std::string LowerKeepingPositions(std::string_view sText);

// The blank-separated word of the text with the index, empty when there is none.
std::string_view Word(std::string_view sText, std::size_t iIndex);

// The text from the position on, empty when the position lies behind its end.
std::string_view From(std::string_view sText, std::size_t iPosition);

// Appends the lines of the text (each ended by CR, LF or CR LF, as the editor shows them),
// trimmed, without comments, tabs made blanks and blank runs collapsed outside the first quoted part.
void SplitScriptLines(std::string_view sText, std::vector<uScriptLine>& lines, std::int64_t eSource);

// The number (from 1, counted as SplitScriptLines counts) of the first line holding a NUL byte,
// 0 when there is none; and the error that names it.
std::int64_t NulLine(std::string_view sText);
inline constexpr const char* NulText = "The line contains a NUL byte, which a script cannot hold.";

// For a line whose first word begins with "#": 1 the constant is defined, 0 an error in
// sError, -1 a bare reference (no second word).
int CheckConstant(uScriptParse& parse, uScriptLine& line, std::string& sError);

// Appends the text with every byte below 0x20 and 0x7F written as "\xHH" (two upper-case hex
// digits), so that a message quoting a script line shows its control bytes instead of carrying them.
void AppendEscaped(std::string& sOut, std::string_view sText);

// "Script - " or "Constants - " by the source, "Error at line <n>. " and the checker's text, escaped.
std::string LineError(std::int64_t eSource, std::int64_t iLine, std::string_view sText);

// Puts the values of the constants known so far in place of their references; at most 20 "#"
// of the line are examined.
void ReplaceConstants(uScriptParse& parse, uScriptLine& line);

} // namespace InstrumentScript
