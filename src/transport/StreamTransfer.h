// What the raw TCP and the serial transport share: a message is the command text, an optional
// binary payload and the end-of-message text; an answer is everything that arrives until the
// data end with the end-of-message text. Both run the same write, read and drain loops, each
// over its own channel (a TCP connection, a serial port).
//
// The loops never block for long: each wait on the channel ends at the transfer's deadline or
// after a short slice, and between passes the loop asks for an abort request of its instance.
// A read time-out is the silence since the last data that arrived; a write time-out the time
// since the last piece was fully taken.
#pragma once

#include "common/DataBuffer.h"
#include "common/Failure.h"
#include "transport/BetweenMessages.h"
#include "transport/BlockHeader.h"
#include "transport/ChainedAnswers.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace StreamTransfer {

using Clock = std::chrono::steady_clock;

// The longest a loop waits on its channel before it asks for an abort request again.
inline constexpr std::chrono::milliseconds AbortSlice{10};
// Silence that ends a drain (Drain alone: what an answer owes ends where its message does).
inline constexpr std::chrono::milliseconds DrainQuiet{100};
// Size of the receive buffer and of one receive when the channel cannot tell what waits.
inline constexpr std::size_t ReceiveChunk = 0x10000;
// The most the first reception of an answer takes when the channel cannot tell what waits:
// enough for a block's header and the text before it, little to copy when a long block then
// moves into a buffer of its own size.
inline constexpr std::size_t FirstReception = 0x1000;
// The most one reception takes: a sender's window opens again while the reader goes on,
// rather than after one long copy of everything that waited.
inline constexpr std::size_t ReceiveLimit = 0x100000;
// Growth step of the send and answer buffers.
inline constexpr std::size_t GrowStep = 0x200000;
// How long an image that ended by its own structure waits for its end-of-message text.
inline constexpr std::chrono::milliseconds StragglerQuiet{10};
// The most bytes of earlier answers dropped before one write, and the most of an owed answer kept
// to learn where it ends (BetweenMessages).
inline constexpr std::size_t StaleLimit = 0x4000000;
// The text behind "Module::Write: " of a message refused on a line that cannot be renewed while an
// earlier answer is still arriving (see Write).
inline constexpr const char* ArrivingText = "An earlier answer is still arriving; the command was not sent.";

// The buffers and the answer rule of one instance; the raw TCP and serial instance records
// begin with it.
struct uStreamInstance {
    std::int64_t iProgressStep = 0; // bytes between two progress events
    DataBuffer pReceive;            // ReceiveChunk bytes for the drain
    DataBuffer pSendData;           // the prepared message
    std::size_t iSendSize = 0;
    DataBuffer pReceiveData; // the answer being collected
    std::size_t iReceiveSize = 0;
    std::size_t iReceiveBase = 0; // bytes of the caller's ahead of the answer in pReceiveData
    std::string sEndOfMessage; // empty after construction
    // What the count of the data block ("DAT2,") in the next answer counts. Bits (a Siglent
    // logic line announces its points, packed eight to a byte) is told per exchange by whoever
    // knows the query; every other block announces bytes (see AnswerComplete).
    Instrument::eBlockUnit eBlockUnit = Instrument::eBlockUnit::Bytes;
    // The answers the next answer holds (a chained query's count, told per exchange; 0 or 1:
    // the first end of message ends it). Answers that come as messages of their own are read
    // on until all are in, and joined by ";" as one message would have brought them.
    std::size_t iAnswers = 0;
    // The line ends behind a block in each answer, as the model sends them for its query
    // (ChainedAnswers.h), told per exchange.
    Instrument::uBlockEnds blockEnds;
    std::string sCommand;        // the prepared message's command text, for the log
    BetweenMessages::uOwed mOwed; // what the line still owes
    bool fSendQuery = false;     // the prepared message holds a query
    std::size_t iStaleBytes = 0; // bytes of earlier answers dropped before the last write
    // The kind of the last failure of Write, Read, Drain or ReadAnswer (None after a success):
    // a connection found closed or reset before the first byte of a write, or a renewal that
    // could not connect, is GoneBefore; one that broke under the write or the read GoneAfter.
    Failure::eKind eFailure = Failure::eKind::None;
    // The answers of a chained query that came whole before the last read's time-out, joined in
    // what it read (0: none, or the time-out cut a message).
    std::size_t iWholeAnswers = 0;
    // The record of the last connect (empty after a success): the socket's or the port's.
    Failure::uFailure connectFailure;
    // The instrument's name that begins the instance's log lines ("DS1104Z"; empty: none).
    std::string sInstrument;
};

// Results of uChannel::Read besides a byte count.
inline constexpr std::int64_t ReadNothing = 0;  // nothing waits now
inline constexpr std::int64_t ReadClosed = -1;  // the far end closed the connection
inline constexpr std::int64_t ReadFailed = -2;  // the channel failed; the code tells how

// Results of uChannel::Wait.
enum class eWait { Ready, Timeout, Closed };

// The channel under the loops.
class uChannel {
  public:
    virtual ~uChannel() = default;
    virtual bool IsOpen() const = 0;
    // Waits until input waits (or the far end went, which the next Read reports), at most
    // until the deadline.
    virtual eWait WaitInput(Clock::time_point deadline) = 0;
    // Takes up to iMax waiting bytes without blocking: a count > 0, or one of the results
    // above (iCode receives the code of a failure).
    virtual std::int64_t Read(std::uint8_t* pData, std::size_t iMax, std::int64_t& iCode) = 0;
    // Waits until the channel takes more bytes, at most until the deadline.
    virtual eWait WaitOutput(Clock::time_point deadline) = 0;
    // Hands on what the channel takes now: the count (0 when it takes nothing now), or -1
    // when the channel is gone (iCode receives the code).
    virtual std::int64_t Write(const std::uint8_t* pData, std::size_t iSize, std::int64_t& iCode) = 0;
    // Whether Renew can replace the channel: a TCP connection can; a serial line cannot, since
    // the instrument's output queue outlives every open of its port.
    virtual bool Renews() const { return false; }
    // Replaces the channel by a new one to the same peer, so that nothing the peer still sends
    // on the old one can arrive (a TCP connection opened again). False with the reason where it
    // failed; asked only of a channel that Renews.
    virtual bool Renew(std::string& sError) {
        sError.clear();
        return false;
    }
};

// The names in the texts of one transport.
struct uNames {
    const char* pModule;     // "RawTcp"
    const char* pWrite;      // "SocketWrite"
    const char* pRead;       // "SocketRead"
    const char* pDrain;      // "SocketReadEmpty"
    const char* pConnection; // "Die Netzwerkverbindung"
};

// One transfer: the instance's buffers, its channel, its names, the transport instance (the
// abort-request key and the progress events' object), the time-out of this exchange and the
// interface's configured time-out, in ms.
struct uTransfer {
    uStreamInstance& mStream;
    uChannel& mChannel;
    const uNames& mNames;
    const void* pInstance;
    std::int64_t iTimeoutMs;
    std::int64_t iInterfaceTimeoutMs;
};

// True when the answer in pData[0, iSize) is complete: it ends with sEndOfMessage (an answer
// that is only that text included) and the text lies behind the announced data of every
// definite-length block "#n..." of the answer, so that a 0x0A inside a block that happens to end
// a reception does not end the answer. The announced data is the count in bytes; with eUnit
// Bits, that of the data block, bare or behind "DAT2," (a Siglent logic line's points), is the
// count / 8 rounded up, so that such an answer ends with the text behind its packed bytes rather
// than waiting for eight times as many; a descriptor behind "DESC," still counts bytes. A block
// is recognised at the start of the answer and of each of its ";"-separated units, bare or
// behind "DAT2,", "DESC," or ":TRAC:DATA " (any case). An empty text never completes an answer.
// An image file sent without a block header (Siglent ":PRINt?") is complete by its own
// structure, whatever the text: a BMP ("BM", 32-bit size, reserved zeros, data offset) when its
// size has arrived, a PNG (signature, chunks) behind its IEND chunk; anything after that
// (a trailing LF) is taken with it. A size beyond sane bounds is not believed: such an answer
// ends by the time-out. With iAnswers > 1 the answer is complete only when it holds that many
// answer units, an end text outside blocks ending one unit as ";" does; blockEnds are the model's
// counts of each answer's block line ends (ChainedAnswers.h). Returns the answer's length, 0 while it is not
// complete: it ends with the message whose end completed it, and what came behind that belongs to
// a later message.
std::size_t AnswerLength(const std::uint8_t* pData, std::size_t iSize, const std::string& sEndOfMessage,
                         Instrument::eBlockUnit eUnit = Instrument::eBlockUnit::Bytes, std::size_t iAnswers = 0,
                         const Instrument::uBlockEnds& blockEnds = {});
bool AnswerComplete(const std::uint8_t* pData, std::size_t iSize, const std::string& sEndOfMessage,
                    Instrument::eBlockUnit eUnit = Instrument::eBlockUnit::Bytes, std::size_t iAnswers = 0,
                    const Instrument::uBlockEnds& blockEnds = {});
// The walk behind AnswerLength: an image without a block header by its own structure, anything
// else by the walk of every door (Instrument::ScanAnswer).
Instrument::uAnswerScan ScanStream(const std::uint8_t* pData, std::size_t iSize, const std::string& sEndOfMessage,
                                   Instrument::eBlockUnit eUnit, std::size_t iAnswers,
                                   const Instrument::uBlockEnds& blockEnds);

// Whether the answer pAnswer[0, iSize) can have ended with the reception of its last iNew bytes:
// a text answer only with a reception that brings an end text, so that a long one is not walked
// once per reception; one that begins with a block, or an image, at once (the block is skipped
// whole rather than searched for end texts among its data).
bool MayHaveEnded(const std::uint8_t* pAnswer, std::size_t iSize, std::size_t iNew, const std::string& sEnd);

// Builds the message: the command as ASCII, the payload, then the end-of-message text unless
// both are empty. A payload size > 0 needs a payload.
bool Prepare(uStreamInstance& stream, const char* pModule, const std::string& sCommand, const std::uint8_t* pPayload,
             std::size_t iPayloadSize, std::string& sError);

// Sends the prepared message in pieces of at most iPieceSize bytes; type-4 progress to iWindow.
// iBytesSent receives the bytes taken, also when the write fails. First the line is cleared of
// what it owes (BetweenMessages::Settle, which holds the rules), so that nothing of it is taken for
// the answer to this message; a query sent whole owes its answers until a Read takes them. A
// channel found closed or reset by the far end before the write fails it with the
// broken-connection text and nothing sent. An abort request in the middle of the message ends the
// write where it is on a channel that is then renewed; a serial line sends the message to its end
// first (its instrument would take the next one as the rest), and a query so sent owes its answer,
// given up rather than unread.
bool Write(const uTransfer& transfer, std::size_t iPieceSize, std::size_t& iBytesSent, int iWindow,
           std::string& sError);

// Reads one answer into pReceiveData / iReceiveSize; type-7 progress to iWindow. The answer is
// whole when its message has ended (AnswerComplete), never because the line went quiet; it then
// leaves eFailure None. A time-out after some data ends the read with true, the data so far
// (the whole messages of a chained answer joined and counted in iWholeAnswers, what came of the
// message it cut behind them), the time-out text in sError and eFailure TimedOut (the exchange
// fails with a part); a time-out with nothing received fails with that text. An abort request
// ends the read with false. Either leaves the rest of the answer owed for the next Write, with
// what of it came: of a chained answer of which whole messages came, the answers still missing.
// What came behind the answer, and what comes of it later, is BetweenMessages' (AnswerEnded).
bool Read(const uTransfer& transfer, int iWindow, std::string& sError);

// Reads and drops input until DrainQuiet passes without any, or an abort request comes.
bool Drain(const uTransfer& transfer, std::string& sError);

// Read, then hands the answer to the caller. A caller's buffer with more room than the
// instance's lends its memory to the read, so that a caller who reads into the same buffer
// again and again commits its pages once. On success answer holds exactly the answer's bytes
// (a long answer in the buffer it was read into, a short one as a copy, the instance keeping
// its buffer); on failure none.
// With iKeep (at most answer.size()), the first iKeep bytes of answer stay and the answer is read
// behind them into answer's own memory (a trace read in parts arrives where its samples go):
// on success answer holds those bytes and then the answer's, on failure those bytes alone.
bool ReadAnswer(const uTransfer& transfer, DataBuffer& answer, int iWindow, std::string& sError,
                std::size_t iKeep = 0);

// "Module::Procedure: ", the head of the transport's own log lines and errors.
std::string Prefix(const char* pModule, const char* pProcedure);
// The text of a connection that broke under procedure pProcedure (iResult: ReadClosed, or a
// failure whose code is iCode).
std::string BrokenText(const uNames& names, const char* pProcedure, std::int64_t iResult, std::int64_t iCode);

// Frees the buffers (the Destructor's part).
void FreeMemory(uStreamInstance& stream);

} // namespace StreamTransfer
