// "<variable> function save "path" [add] [asc] [eol]": writes a variable's value into a file.
// Booleans, integers and floats go as binary (one byte, 8 bytes little-endian) or, with asc, as
// text; strings and data as they are; images as 24-bit PNG; waveforms through the waveform
// writer. The path takes variable values ("/$name") and file-name template tokens.
#pragma once

#include "script/ScriptThread.h"

#include <QDateTime>

#include <functional>
#include <string>

namespace InstrumentScript {

bool TaskFunctionSave(uScriptThread& thread, uScriptTask& task, std::string& sError);

// A file name with a NUL byte would be cut there by the system, naming another file: true after
// the script error that names the line and shows the NUL as "?".
bool FileNameHoldsNul(uScriptThread& thread, const uScriptTask& task, const char* sProcedure,
                      const std::string& sPath);

// The task's path with its "/$name" references replaced (one output line per replacement): the
// path of a FunctionSave task, the file of a VariableSet or VariableAdd task, empty for others.
std::string TaskFunctionSaveVariable(uScriptThread& thread, const uScriptTask& task);

// The path expanded as a file-name template with the active instrument's maker and model
// (empty without one) and the environment's local time.
std::string GetWaveformSourceText(uScriptThread& thread, const std::string& sPath);

// Whether a path names an existing folder (through the environment's file mapping).
using FolderCheck = std::function<bool(const std::string& sPath)>;

// The path with template tokens expanded only behind its longest leading part that names an
// existing folder; that part is kept as written. Behind it, a "/" that does not begin a token
// of maker, model, date or time separates folders and stays.
std::string ExpandPathTemplate(const std::string& sPath, const std::string& sManufacturer, const std::string& sModel,
                               const QDateTime& time, const FolderCheck& fIsFolder);

// The PNG name of an image save: a 3-character extension is replaced by ".png", any other name
// gets ".png" appended.
std::string ImageFilePath(const std::string& sPath);

// The words add, asc and eol found anywhere in the parameter text, case-insensitive.
struct uSaveWords {
    bool fAdd = false;
    bool fAsc = false;
    bool fEol = false;
};
uSaveWords SaveWords(const std::string& sParameter);

} // namespace InstrumentScript
