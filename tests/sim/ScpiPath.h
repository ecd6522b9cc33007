// Matching a unit's full header path against a manual's command form, for the personalities of
// the simulated instruments: "CHANnel#:DATA:HEADer?" matches "CHAN1:DATA:HEAD?" and
// "CHANNEL2:DATA:HEADER?" (short form = the capitals, long form = the whole word, '#' = a
// numeric suffix that the match hands back, "[NODE]" = an optional node).
#pragma once

#include <string>
#include <vector>

namespace Sim {

// True when sPath (upper case, no leading ':') has the form; the numeric suffixes in order.
bool MatchPath(const std::string& sPath, const std::string& sForm, std::vector<int>& suffixes);
bool MatchPath(const std::string& sPath, const std::string& sForm);

// Boolean arguments of SCPI: "1", "ON" true; "0", "OFF" false.
bool ScpiBool(const std::string& sArg);

} // namespace Sim
