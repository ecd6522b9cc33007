// What lies between two messages on a stream (raw TCP, serial): what the line still owes from an
// exchange that ended before its answer or its command did, and what the next message sees to
// before it goes. Each rule is decided here and nowhere else:
//
// 1. A query sent whole owes its answers from its write until a read takes them (Sent); the read
//    that follows its message takes them as its own (ReadBegins). A read given up (its time-out
//    after part of the answer, an abort) leaves the rest owed from then on, with what of it came
//    (GaveUp), so that its end is found where its message ends, inside blocks or not; of a chained
//    answer cut after whole messages, the answers still missing.
// 2. Behind an answer (AnswerEnded) whole messages that came with it are dropped at once, however
//    many, and one still arriving is owed. Padding (ChainedAnswers.h) is no message: wherever it
//    comes, ahead of an answer, behind it or between two messages, it is passed over, owes
//    nothing and is not logged. A block's own line ends are no answer and no note in the
//    log: those that came with it, those that come before the next message is written, and, where
//    the model ends the block of that query with more line ends than came (ChainedAnswers.h), as
//    many more where they come first after the next write (the trailer). An image that ended by
//    its own structure awaits its end text briefly (StragglerQuiet) and owes it otherwise.
// 3. Before a message goes (Settle) an owed answer is awaited where only a wait keeps the next
//    answer its own. A line that can be renewed (raw TCP) awaits the answer of a query nobody read
//    for its own time-out, counted from its write: a message that comes later waits only the rest,
//    one that finds the bound passed waits nothing. A line that cannot (serial) awaits every owed
//    answer, whether a read gave it up or nobody read it, up to the interface's time-out, at least
//    its query's own and this message's, counted from this message's start (a pause before it never
//    shortens the wait) and again from each byte of it that comes: an answer arriving is read to the
//    end of its message. Then the line is cleared: what came of the owed answer, and whatever else
//    waits, is read and dropped. Where the owed answer has not ended in what came (or a command was
//    cut off mid-write), a connection that can be renewed is, and nothing sent on the old one can
//    arrive. A serial line writes the answer off where nothing more of it came within the bound or
//    only whole messages came (a chain answered in part: its bytes say no more is coming), and
//    refuses the message (Arriving, nothing sent) only where bytes of it came during the wait and
//    then stopped inside a message for the whole bound, or ran past what an owed answer may hold
//    (StaleLimit), rather than hand its rest to the next answer; the next message awaits that rest
//    anew. An abort request ends the wait, also while bytes keep coming, and leaves what was owed
//    owed.
// 4. A serial port opened again may still see an answer of its last open (the instrument's output
//    queue outlives the open): one that has begun on the line is read to its end within the bound,
//    nothing else is awaited and nothing refuses the message (fUnknown).
// 5. The log says it in plain words beside the module's own line: the bytes dropped that nobody
//    asked for, and, once per owed answer the next message saw to, which query's answer it was,
//    how long it was awaited, whether it came and whether the connection was renewed. The window
//    that sent the message hears of the wait as it begins (TransferStatus::TransferAwaiting) and
//    ends (TransferAwaited).
// Every walk here moves on at every turn, whatever the end text (an empty one included).
// A debt belongs to its connection: a new one owes nothing (NewConnection).
#pragma once

#include "common/DataBuffer.h"
#include "common/Failure.h"
#include "transport/BlockHeader.h"
#include "transport/ChainedAnswers.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace StreamTransfer {
struct uStreamInstance;
struct uTransfer;
struct uNames;
} // namespace StreamTransfer

namespace BetweenMessages {

// What the line still owes. It belongs to the connection it was made on.
struct uOwed {
    // One answer owed, read by the answer rule of its exchange (its units, block unit and block
    // line ends); pBegun holds what of it came. Of a chained answer cut after whole messages,
    // iAnswers counts those still missing.
    bool fAnswer = false;
    std::size_t iAnswers = 0;
    Instrument::eBlockUnit eUnit = Instrument::eBlockUnit::Bytes;
    Instrument::uBlockEnds blockEnds;
    DataBuffer pBegun;
    std::int64_t iWaitMs = 0; // the time-out of the exchange that owes it
    // Since when it is owed (its query's write, or the moment a read gave it up): a line that can be
    // renewed counts its wait for an answer nobody read from here.
    std::chrono::steady_clock::time_point since;
    std::string sQuery;                         // the message that asked for it, for the log
    // The answers of a query sent whole that no read has taken: they are on their way.
    bool fUnread = false;
    // Bytes of the end text still owed behind an image that ended by its own structure, or of the
    // block's own line ends that the model sends and that had not come (rule 2): taken where they
    // come first, never waited for.
    std::size_t iTrailer = 0;
    // The last answer ended with a block and nothing came behind it: whole end texts that come
    // before the next message is written are the block's own.
    bool fBlockEnds = false;
    // A command was cut off in the middle of its write: the instrument takes whatever comes next as
    // its rest, and a connection that can be renewed is.
    bool fCommandCut = false;
    // An answer of a port's last open may be on its way (rule 4).
    bool fUnknown = false;
};

// The message just written whole holds a query: its answers are owed from now, for the time-out
// it was sent with. fUnread: nobody is reading them now (a message sent without reading, or whose
// read is the next exchange's); false: given up (an abort after the write).
void Sent(StreamTransfer::uStreamInstance& stream, std::int64_t iTimeoutMs, bool fUnread);

// A read begins: what the message before it owes is its answer.
void ReadBegins(StreamTransfer::uStreamInstance& stream);

// Takes what is no part of the answer off its start as it arrives: the owed trailer, then the
// padding ahead of it. False when nothing of the reception is left.
bool TakeAhead(StreamTransfer::uStreamInstance& stream);

// The answer ended as scan says, the answer starting at the stream's receive base: its buffer is
// cut to the answer (ChainedAnswers' iAnswerEnd), what came behind it is dropped or owed, and a
// trailer the model still sends is owed. fImage: the answer is an image that ended by its own
// structure, whose end text is then awaited briefly.
void AnswerEnded(const StreamTransfer::uTransfer& transfer, const Instrument::uAnswerScan& scan, bool fImage);

// A read gave up on its answer, of which pData[0, iSize) came: the rest is owed from now, iAnswers
// answers (a chained query's count, or those still missing).
void GaveUp(StreamTransfer::uStreamInstance& stream, const std::uint8_t* pData, std::size_t iSize,
            std::int64_t iTimeoutMs, std::size_t iAnswers);

// Clears the line before a write (rule 3). None when the message may go; else the kind, with
// sError: Canceled on an abort request, Arriving where an owed answer stopped inside a message on
// a channel that cannot be renewed, GoneBefore where the far end closed or reset the connection
// or a renewal could not connect. Nothing of the message has been written in either case. A wait
// for an owed answer is told to iWindow.
Failure::eKind Settle(const StreamTransfer::uTransfer& transfer, int iWindow, std::string& sError);

// The module's own line for bytes a write dropped, behind the instrument's name and ": ":
// "RawTcp::SocketWrite: 12 bytes of an earlier answer were dropped."
std::string StaleText(const StreamTransfer::uNames& names, std::size_t iBytes);

// Forgets what the last connection left: a new connection owes nothing.
void NewConnection(StreamTransfer::uStreamInstance& stream);

} // namespace BetweenMessages
