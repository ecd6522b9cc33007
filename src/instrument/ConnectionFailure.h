// The words a user reads when a connection could not be made or went away: the transports'
// own texts (kept byte for byte for the log) name the failing procedure and the system's error
// code; these sentences say what happened to the instrument and what to look at.
#pragma once

#include "instrument/ConnectionDescription.h"

#include <string>
#include <string_view>

namespace Instrument {

// Why the connect of the instrument that the description names failed, from the error text of
// the connect task: a refused port, no answer within the connect time-out, an unreachable
// network, LXI (VXI-11) chosen for an instrument without a VXI-11 service, a port that cannot
// be opened. Never empty.
std::string ConnectFailureReason(const uTaskPrepare& connection, std::string_view sError);

// Whether the error text of a transfer says that the connection went away under it (the far end
// closed it, reset it, or the line broke), as opposed to a time-out or a malformed answer.
bool ConnectionDropped(std::string_view sError);

// The sentence that a window's status line adds after a transfer error when the connection
// went away.
inline constexpr const char* DroppedText = "The connection to the instrument was interrupted.";

} // namespace Instrument
