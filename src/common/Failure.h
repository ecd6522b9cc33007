// The failure record: what kind of failure ended a transport call or a task, how many bytes of
// the request really left, and the text for the log and the status line. The kind is decided
// once, where the failure is seen (the transport reads errno, the libusb code, the RPC status);
// every later decision (send the request again on a new connection, mark the instrument lost,
// the reason a window shows) reads the kind, never the text.
#pragma once

#include <cstdint>
#include <string>

namespace Failure {

enum class eKind : std::uint8_t {
    None,         // no failure
    Refused,      // the peer refused the connection
    TimedOut,     // no answer (or the data not taken) within the time-out
    GoneBefore,   // the connection or device went away before any byte of the request left
    GoneAfter,    // it went away after bytes of the request had left (or under the answer)
    Canceled,     // canceled by its owner (an abort request)
    Stopped,      // a stop (the exit, a closing window) ended it
    NotConnected, // there is no connection to send on
    NoSpace,      // no memory or no room on the disk
    NotPermitted, // the system denied access
    BadAnswer,    // an answer or reply that does not fit the protocol
    Unreachable,  // no route to the peer's network or host
    Other,        // anything else: the text says what
};

struct uFailure {
    eKind eType = eKind::None;
    std::int64_t iSent = 0; // bytes of the request that really left (or may have)
    std::string sText;
};

// The kind's name for the log and the tests: "gone before anything was sent".
const char* Name(eKind e);

// The kind of a system error number: iSent tells a connection that went away before the
// request from one that went away under it.
eKind OfErrno(int iErrno, std::int64_t iSent);

// The connection went away (before or after).
inline bool Gone(eKind e) { return e == eKind::GoneBefore || e == eKind::GoneAfter; }

} // namespace Failure
