// Instrument lines: the declaration "instrument [$name] <interface> <parameters>" (pass 3) and
// the selection "$name" and settings line "$name set <setting> [<value> [<value2>]]" (pass 4).
// Keywords, the instrument's name, VID, PID and the listed words are compared without regard to
// case; port names, addresses, the USB serial number and baud rate are kept as typed.
#pragma once

#include "script/ScriptLines.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace InstrumentScript {

// With iWanted 0: 1 when the word is one of usbtmc, vxi, rawtcp, serial, else 0. Otherwise the
// type 1 to 4 of the word (in that order), or 0.
std::int64_t GetInterfaceType(std::string_view sWord, std::int64_t iWanted);

bool CheckInstrument(uScriptParse& parse, uScriptLine& line, std::string& sError);

// The parameter text as typed (words separated by single blanks); the checker of the type fills
// the interface fields of the definition. Any other type fails without a text.
bool CheckInterfaceParameters(std::int64_t iType, std::string_view sParameters, uScriptInstrument& definition,
                              std::string& sError);
bool CheckUsbTmcParameters(std::string_view sParameters, uScriptInstrument& definition, std::string& sError);
bool CheckVxiParameters(std::string_view sParameters, uScriptInstrument& definition, std::string& sError);
bool CheckRawTcpParameters(std::string_view sParameters, uScriptInstrument& definition, std::string& sError);
bool CheckSerialParameters(std::string_view sParameters, uScriptInstrument& definition, std::string& sError);

// Whether two definitions describe the same connection.
bool CompareInstrumentDefinition(const uScriptInstrument& a, const uScriptInstrument& b);

bool CheckInstrumentSelect(uScriptParse& parse, uScriptLine& line, std::string& sError);
bool CheckInstrumentSet(uScriptParse& parse, const std::string& sName, uScriptLine& line, std::string& sError);

} // namespace InstrumentScript
