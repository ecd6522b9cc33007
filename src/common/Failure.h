// The failure record: what kind of failure ended a transport call or a task, where it ended,
// how many bytes of the request really left, and the text for the log and the status line. The
// kind is decided once, where the failure is seen (the transport reads errno, the libusb code,
// the RPC status); every later decision (send the request again on a new connection, mark the
// instrument lost, the reason a window shows) reads the record, never the text. It lives on this
// floor because it travels with an error's event-data record to the window.
#pragma once

#include <cstdint>
#include <string>

namespace Failure {

enum class eKind : std::uint8_t {
    None,         // no failure
    Refused,      // the peer refused the connection
    TimedOut,     // no answer, or not all of it (or the data not taken), within the time-out
    GoneBefore,   // the connection or device went away before any byte of the request left
    GoneAfter,    // it went away after bytes of the request had left (or under the answer)
    Canceled,     // canceled by its owner (an abort request)
    Stopped,      // a stop (the exit, a closing window) ended it
    NotConnected, // there is no connection to send on
    NoSpace,      // no memory or no room on the disk
    NotPermitted, // the system denied access
    BadAnswer,    // an answer or reply that does not fit the protocol
    Unreachable,  // no route to the peer's network or host
    Arriving,     // an earlier answer was still arriving on a line that cannot be renewed: nothing sent
    Other,        // anything else: the text says what
};

// The step a failure ended.
enum class eStep : std::uint8_t {
    Exchange,   // an exchange, no finer step named
    Send,       // sending the request
    Receive,    // waiting for or receiving the answer
    Connect,    // opening the connection
    Portmapper, // asking the portmapper for the VXI-11 port, before the connect
};

struct uFailure {
    eKind eType = eKind::None;
    std::int64_t iSent = 0; // bytes of the request that really left (or may have)
    std::string sText{};    // the failing call's own text
    eStep eAt = eStep::Exchange;
    // A failed connect behind this failure (the connect task's own, or the one a request made
    // to open its instrument again, whose record is NotConnected): its kind (None when no
    // connect failed) and the port it went to (0 when none was reached for).
    eKind eConnect = eKind::None;
    std::int64_t iPort = 0;
    // The milliseconds waited before a time-out, when the failing call knows them (0: the
    // request's time-out).
    std::int64_t iWaitedMs = 0;
    // The bytes of the answer that came before the read failed (a time-out that cut it).
    std::int64_t iReceived = 0;
    // Of those, the bytes of the message the failure cut, none of which the transport hands on
    // (VXI-11), and the milliseconds the read had run by then (0: not measured): each device_read
    // has a time-out of its own, so a long answer may wait far longer than one.
    std::int64_t iDropped = 0;
    std::int64_t iReadMs = 0;
    // A chained query whose time-out came after whole answers, before all of them: the answers
    // that came and the answers its queries await (both 0 for any other failure).
    std::int64_t iAnswers = 0;
    std::int64_t iAnswersAwaited = 0;
    // Those bytes are no text (Instrument::AnswerText: a control byte other than tab, CR and LF
    // once the NULs that pad them are off, bytes neither UTF-8 nor Windows-1252, or too few
    // printable ASCII characters): noise, as a serial line set otherwise than the instrument
    // sends. An identification whose ended answer is noise is BadAnswer with them.
    bool fNoText = false;
    // An identification answered by an empty line (blanks and line ends alone, or no byte at
    // all): BadAnswer with it.
    bool fEmpty = false;
    // An identification answered by text that names no maker and no model (",,,", blanks
    // between the commas): BadAnswer with it.
    bool fNoNames = false;
};

// The kind's name for the log and the tests: "gone before anything was sent".
const char* Name(eKind e);

// The kind of a system error number: iSent tells a connection that went away before the
// request from one that went away under it.
eKind OfErrno(int iErrno, std::int64_t iSent);

// The connection went away (before or after).
inline bool Gone(eKind e) { return e == eKind::GoneBefore || e == eKind::GoneAfter; }

} // namespace Failure
