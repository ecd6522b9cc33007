// The instruments that the user added by hand in the instrument list: LAN instruments by
// address and port, serial instruments by port and line settings, one record per key of two
// groups of config.ini. Loading turns every record whose instrument is not listed yet into an
// instrument object with a queued prepare task.
//
// A LAN record: maker||model||address||portmapper port||VXI-11 port||TCP port||(unused)||
// adapter address||"LXI" or "Raw". A serial record: maker||model||port||baud rate||data bits||
// stop bits||parity code||handshake code. Missing fields are empty (numbers 0). The speed may
// hold grouping characters and the stop bits a decimal comma (records of older versions).
#pragma once

#include "instrument/ConnectionDescription.h"

#include <cstdint>
#include <string>
#include <string_view>

struct uIni;

namespace Instrument {

inline constexpr const char* ManualLanGroup = "WindowSelectAddLANInstrument";
inline constexpr const char* ManualSerialGroup = "WindowSelectAddSerialInstrument";

// Loads both groups of the file (nullptr: nothing). Records already listed create nothing, so
// calling it again only adds what is missing. Failures are posted to the log; the next record
// is taken.
void InstrumentLoadManuallyAdded(uIni* pIni);

// The prepare records of one LAN or serial record value. False for a LAN record whose type is
// neither "LXI" nor "Raw" (nothing is filled in then).
bool ManualLanRecord(std::string_view sValue, uTaskPrepare& prepare);
void ManualSerialRecord(std::string_view sValue, uTaskPrepare& prepare);

// A number as the records hold it: optional blanks and sign, then the leading digits; anything
// else gives 0.
std::int64_t LeadingInteger(std::string_view sText);
// The same for a decimal number such as "1.5".
float LeadingFloat(std::string_view sText);

} // namespace Instrument
