// The words a user reads when a connection could not be made or went away: the transports'
// own texts (kept byte for byte for the log) name the failing procedure and the system's error
// code; these sentences say what happened to the instrument and what to look at, chosen from the
// failure record, never from a text.
#pragma once

#include "instrument/ConnectionDescription.h"
#include "instrument/InstrumentObject.h"
#include "common/Failure.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace Instrument {

// Why the connect of the instrument that the description names failed: a refused port, no
// answer within the connect time-out, an unreachable network, LXI (VXI-11) chosen for an
// instrument without a VXI-11 service, a port that cannot be opened. failure is the connect's
// record (eConnect, the step, the port, the time waited; for a USB device the user may not open,
// the transport's sentence that names it and the rule). Never empty.
std::string ConnectFailureReason(const uTaskPrepare& connection, const Failure::uFailure& failure);

// Whether a failed exchange goes out once more on a new connection: its connection was found
// gone (or not there) before any byte of the request left, so the request cannot reach the
// instrument twice, and the task has not had its one connect attempt yet. The connection layers
// then keep the failure from the window (the second exchange tells), and the task layer sends.
bool SendsAgain(const Failure::uFailure& failure, bool fConnectTried);

// Whether the connection went away under an exchange (it is opened again, or the instrument is
// lost), as opposed to a time-out, a cancel or a malformed answer.
bool Dropped(const Failure::uFailure& failure);

// The sentence that a window's status line adds after a transfer error when the connection
// went away.
inline constexpr const char* DroppedText = "The connection to the instrument was interrupted.";

// How the reason of an exchange begins whose connect, made for it, failed (ConnectFailureReason
// follows).
inline constexpr const char* ConnectFailedText = "The instrument could not be connected: ";

// What a window says when it is asked to talk to an instrument it does not have (none chosen,
// disconnected, or lost and not opened again).
inline constexpr const char* NotConnectedText = "The instrument is not connected.";

// Why an exchange with the instrument that the description names failed, in plain words, from
// the record of its transfer or task: the connection went away, the instrument is not connected,
// or it did not answer (did not take the data, at the send step; cut the answer, when part of
// it came) within iTimeoutMs (the request's time-out; the time the failing call waited is
// believed first). A connect made for the request that failed says why as ConnectFailureReason
// does. Empty for other kinds (a malformed answer, a cancel): the window's own text then says
// all there is.
std::string ExchangeFailureReason(const uTaskPrepare& connection, const Failure::uFailure& failure,
                                  std::int64_t iTimeoutMs);

// The sentence of an answer that the time-out (of iTimeoutMs, when known) cut: after how many
// bytes and, of a chained query cut after whole answers, how many of its answers came; of a
// message of which the transport hands nothing on (VXI-11), that none of its bytes is handed on
// and how long the read waited in all.
std::string CutAnswerText(const Failure::uFailure& failure, std::int64_t iTimeoutMs = 0);

// ", answers received / expected: k / n" for a chained query cut after whole answers, else "".
std::string AnswerCountText(const Failure::uFailure& failure);

// A read of any door that failed (eKind) after iBytes of its answer came, iAnswers of the
// iAwaited answers of a chained query whole among them (0: none whole, or no chain): the record
// counts them, notes whether sCame (those of the bytes that were handed on) is no text
// (AnswerText), and a time-out's text (sError) begins by saying that it cut the answer. The part
// stays in the request, fRequestFinished 0, for the one place that shows answers to a user;
// nobody reads values from it. Bytes that came and were not handed on count in iBytes and, set
// before, in failure.iDropped.
void CountPart(Failure::uFailure& failure, Failure::eKind eKind, std::int64_t iBytes, std::string_view sCame,
               std::size_t iAnswers, std::int64_t iAwaited, std::int64_t iTimeoutMs, std::string& sError);

// The same for a window's instrument object: its description and the response time-out of its
// interface (the time-out the windows' requests run with; "in time" where neither is known).
// NotConnectedText without an object.
std::string ExchangeFailureReason(const InstrumentObject& pInstrument, const Failure::uFailure& failure);

// A status text with the reason of a failure after it, when there is one.
inline std::string WithReason(const std::string& sText, const std::string& sReason) {
    return sReason.empty() ? sText : sText + " " + sReason;
}

// Why the instrument has no identification, from its record (idn): empty when it has one, or
// when, found by a search, it was never asked. Else the answer that is none
// (IdentificationAnswerText), or that no instrument answered (a serial line with nothing on it, a
// socket nobody answers on). The main window's status, the script's connect and the instrument
// list's row say it.
std::string NotIdentifiedText(const uTaskPrepare& connection, const uIdn& idn);

// The sentence of an identification whose answer came and is none (else empty), from the record of
// its read. An empty line is said as one, with the model the user chose and the instrument's
// settings to check, and so is an identification that names no maker and no model. Bytes that are
// no text (AnswerText), ended or cut, are noise: the sentence names the settings of the serial line
// (baud rate, data bits, parity, end text) or of the socket (port, end text), then the model the
// user chose (the one to check). Text that its time-out cut did not end, on raw TCP and serial,
// with the model's end text, which the sentence names, with the model; on VXI-11 and USBTMC its
// message did not end.
std::string IdentificationAnswerText(const uTaskPrepare& connection, const Failure::uFailure& failure);

// The place a connect goes to, as the status line names it while the connect waits: the
// address and port, the serial port, the USB instrument.
std::string ConnectionPlace(const uTaskPrepare& connection);

// The name the windows' titles and the log give the instrument: its model, or where none is known
// (nothing answered the identification) the place of its connection.
std::string ShownName(const uTaskPrepare& connection, const uIdn& idn);

} // namespace Instrument
