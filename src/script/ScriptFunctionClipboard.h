// "<variable> function clipboard": puts the variable's value on the system clipboard through
// the environment (which hands it to the GUI thread): booleans as "True"/"False", numbers and
// strings as text, data as a hex dump, images as images; a waveform cannot go there.
#pragma once

#include "common/DataBuffer.h"
#include "script/ScriptThread.h"

#include <string>

namespace InstrumentScript {

// Always true: what cannot be copied leaves the clipboard empty.
bool TaskFunctionClipboard(uScriptThread& thread, uScriptTask& task, std::string& sError);

// The clipboard text of a data value: a heading and a 16-byte-per-line dump with characters of
// the whole data up to 256 bytes; else of the first 256 bytes and of the rest (at most the last
// 128 bytes). Offsets count from the start of the data.
std::string ClipboardDataText(const DataBuffer& data);

} // namespace InstrumentScript
