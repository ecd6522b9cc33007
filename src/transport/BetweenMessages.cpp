#include "transport/BetweenMessages.h"

#include "common/TextRoutines.h"
#include "common/WindowLog.h"
#include "platform/ProgramEvents.h"
#include "transport/AbortRequests.h"
#include "transport/ChainedAnswers.h"
#include "transport/DataBuffers.h"
#include "transport/StreamTransfer.h"
#include "transport/TransferStatus.h"

#include <algorithm>
#include <cstring>

namespace BetweenMessages {

using StreamTransfer::Clock;
using StreamTransfer::Prefix;
using StreamTransfer::uStreamInstance;
using StreamTransfer::uTransfer;

namespace {

// The instrument's name that begins the transport's lines in the log.
std::string Name(const uStreamInstance& stream) { return stream.sInstrument.empty() ? "" : stream.sInstrument + ": "; }

std::string Bytes(std::size_t iBytes) { return std::to_string(iBytes) + (iBytes == 1 ? " byte" : " bytes"); }

// Bytes dropped, in plain words (unless a line about the owed answer they belong to says it) and
// in the module's own line of the procedure that dropped them.
void PostDropped(const uTransfer& transfer, const char* pProcedure, std::size_t iBytes, bool fPlain = true) {
    const std::string sName = Name(transfer.mStream);
    const std::string sBytes = Bytes(iBytes);
    const char* pWere = iBytes == 1 ? "was" : "were";
    if (fPlain) WindowLog::PostLine(sName + sBytes + " that no request was waiting for " + pWere + " dropped.");
    WindowLog::PostLine(sName + (pProcedure == transfer.mNames.pWrite
                                     ? StaleText(transfer.mNames, iBytes)
                                     : Prefix(transfer.mNames.pModule, pProcedure) + sBytes + " behind the answer " +
                                           pWere + " dropped."));
}

// Owes from now iAnswers answers read by the stream's answer rule, those at places iFirst on of its
// message, of which pData[0, iSize) came.
void Owe(uStreamInstance& stream, const std::uint8_t* pData, std::size_t iSize, std::int64_t iTimeoutMs,
         std::size_t iAnswers, std::size_t iFirst = 0) {
    uOwed& owed = stream.mOwed;
    owed.since = Clock::now();
    owed.fAnswer = true;
    owed.fUnknown = owed.fUnread = false;
    owed.iAnswers = iAnswers;
    owed.eUnit = stream.eBlockUnit;
    owed.blockEnds = stream.blockEnds.From(iFirst);
    owed.iWaitMs = std::max<std::int64_t>(iTimeoutMs, 1);
    owed.sQuery = stream.sCommand;
    owed.pBegun.clear();
    if (iSize > 0) owed.pBegun.append(pData, std::min(iSize, StreamTransfer::StaleLimit));
}

// An answer that ended with a block (scan) whose own line ends reached the end of what came
// (fAtEnd): whole end texts that come before the next write are its own, and so are the line ends
// the model sends behind that block beyond those that came, where they come first after it.
void BlockEnded(uStreamInstance& stream, const Instrument::uAnswerScan& scan, bool fAtEnd) {
    uOwed& owed = stream.mOwed;
    owed.fBlockEnds = scan.iBlockEnds > 0 && fAtEnd;
    owed.iTrailer = owed.fBlockEnds && scan.iBlockEndsSent > scan.iBlockEnds
                        ? (scan.iBlockEndsSent - scan.iBlockEnds) * stream.sEndOfMessage.size()
                        : 0;
}

// The bytes at the start of pData[0, iSize) that are no answer and no note's: the owed trailer,
// then, while the last block may still bring its own line ends, whole end texts. Whatever comes,
// no trailer is owed afterwards (it came, or it is not coming first). Without an end text there
// are no line ends to take.
std::size_t TakeOwnEnds(uStreamInstance& stream, const std::uint8_t* pData, std::size_t iSize) {
    const std::string& sEnd = stream.sEndOfMessage;
    uOwed& owed = stream.mOwed;
    if (sEnd.empty()) {
        owed.iTrailer = 0;
        owed.fBlockEnds = false;
        return 0;
    }
    std::size_t i = 0;
    while (owed.iTrailer > 0 && i < iSize &&
           pData[i] == static_cast<std::uint8_t>(sEnd[(sEnd.size() - owed.iTrailer % sEnd.size()) % sEnd.size()])) {
        ++i;
        --owed.iTrailer;
    }
    owed.iTrailer = 0;
    // The rest of an end text may follow what came.
    for (; owed.fBlockEnds && iSize - i >= sEnd.size(); i += sEnd.size()) {
        owed.fBlockEnds = std::memcmp(pData + i, sEnd.data(), sEnd.size()) == 0;
        if (!owed.fBlockEnds) break;
    }
    return i;
}

// Feeds bytes that came after the owed answer's exchange ended to what is owed: a block's own
// line ends first (TakeOwnEnds), then the answer, which is no longer owed once its message has
// ended. Bytes beyond that end (nothing the instrument was asked for) are dropped with it. Returns
// the bytes taken silently.
std::size_t FeedOwed(uStreamInstance& stream, const std::uint8_t* pData, std::size_t iSize) {
    uOwed& owed = stream.mOwed;
    std::size_t iOwn = TakeOwnEnds(stream, pData, iSize);
    // Ahead of a message: padding, whether an owed answer or an unasked message would follow it.
    if (owed.pBegun.empty())
        iOwn += Instrument::PaddingAhead(pData + iOwn, iSize - iOwn, stream.sEndOfMessage);
    if (!owed.fAnswer || iOwn == iSize) return iOwn;
    const std::size_t iRoom = StreamTransfer::StaleLimit - std::min(StreamTransfer::StaleLimit, owed.pBegun.size());
    const std::size_t iNew = std::min(iSize - iOwn, iRoom);
    if (iNew == 0 || !owed.pBegun.append(pData + iOwn, iNew)) return iOwn; // it cannot be placed
    if (!StreamTransfer::MayHaveEnded(owed.pBegun.data(), owed.pBegun.size(), iNew, stream.sEndOfMessage))
        return iOwn;
    const Instrument::uAnswerScan scan =
        StreamTransfer::ScanStream(owed.pBegun.data(), owed.pBegun.size(), stream.sEndOfMessage, owed.eUnit,
                                   owed.iAnswers, owed.blockEnds);
    if (scan.iEnd == 0) return iOwn;
    owed.fAnswer = owed.fUnknown = owed.fUnread = false;
    BlockEnded(stream, scan, scan.iEnd == owed.pBegun.size());
    owed.pBegun.clear();
    return iOwn;
}

// An image that ended by its own structure may be followed by its end text, sent a moment later:
// it is awaited briefly and taken with the answer; what does not come is owed.
void TakeImageEnd(const uTransfer& transfer) {
    uStreamInstance& stream = transfer.mStream;
    const std::string& sEnd = stream.sEndOfMessage;
    const std::size_t iSize = stream.iReceiveSize;
    if (sEnd.empty()) return;
    if (iSize >= sEnd.size() && std::memcmp(stream.pReceiveData.data() + iSize - sEnd.size(), sEnd.data(), sEnd.size()) == 0)
        return;
    stream.mOwed.iTrailer = sEnd.size();
    const Clock::time_point deadline = Clock::now() + StreamTransfer::StragglerQuiet;
    while (stream.mOwed.iTrailer > 0) {
        std::uint8_t end[16];
        std::int64_t iCode = 0;
        const std::int64_t n =
            transfer.mChannel.Read(end, std::min(stream.mOwed.iTrailer, sizeof end), iCode);
        if (n > 0) {
            if (!stream.pReceiveData.append(end, static_cast<std::size_t>(n))) return;
            stream.mOwed.iTrailer -= static_cast<std::size_t>(n);
            stream.iReceiveSize += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 || Clock::now() >= deadline || transfer.mChannel.WaitInput(deadline) != StreamTransfer::eWait::Ready)
            return;
    }
}

// The query an owed answer belongs to, as the log (quoted) and the window's status name it.
std::string Query(const uOwed& owed, bool fQuoted) {
    constexpr std::size_t Most = 60;
    const std::string sShown = Utility::PrintableText(std::string_view(owed.sQuery).substr(0, Most)) +
                               (owed.sQuery.size() > Most ? "..." : "");
    return fQuoted ? "\"" + sShown + "\"" : sShown;
}

// What came of an owed answer that has not ended, in the log's words: nothing, whole messages short
// of the answers it awaited (a chain answered in part), or part of a message; fCameOn: bytes of it
// came during the wait.
bool StoppedInAMessage(const uStreamInstance& stream, bool fCameOn, std::string& sWords) {
    const uOwed& owed = stream.mOwed;
    if (owed.pBegun.empty()) {
        sWords = "it did not come";
        return false;
    }
    const Instrument::uAnswerScan scan = StreamTransfer::ScanStream(
        owed.pBegun.data(), owed.pBegun.size(), stream.sEndOfMessage, owed.eUnit, owed.iAnswers, owed.blockEnds);
    if (scan.iWholeEnd == owed.pBegun.size()) {
        sWords = "only " + std::to_string(scan.iWhole) + " of the " + std::to_string(owed.iAnswers) +
                 " answers awaited came";
        return false;
    }
    sWords = fCameOn ? "it did not end" : "the rest of it did not come";
    return true;
}

} // namespace

void Sent(uStreamInstance& stream, std::int64_t iTimeoutMs, bool fUnread) {
    stream.mOwed.fBlockEnds = false; // what comes now may be this message's answer
    if (!stream.fSendQuery) return;
    Owe(stream, nullptr, 0, iTimeoutMs, stream.iAnswers);
    stream.mOwed.fUnread = fUnread;
}

void ReadBegins(uStreamInstance& stream) {
    uOwed& owed = stream.mOwed;
    owed.fAnswer = owed.fUnknown = owed.fUnread = owed.fBlockEnds = false;
}

bool TakeAhead(uStreamInstance& stream) {
    const std::size_t iBase = stream.iReceiveBase;
    std::uint8_t* pAnswer = stream.pReceiveData.data() + iBase;
    const std::size_t iHave = stream.iReceiveSize - iBase;
    std::size_t iTaken = stream.mOwed.iTrailer > 0 ? TakeOwnEnds(stream, pAnswer, iHave) : 0;
    iTaken += Instrument::PaddingAhead(pAnswer + iTaken, iHave - iTaken, stream.sEndOfMessage);
    if (iTaken == 0) return true;
    std::memmove(pAnswer, pAnswer + iTaken, iHave - iTaken);
    stream.iReceiveSize -= iTaken;
    stream.pReceiveData.setSize(stream.iReceiveSize);
    return stream.iReceiveSize > iBase;
}

void AnswerEnded(const uTransfer& transfer, const Instrument::uAnswerScan& scan, bool fImage) {
    uStreamInstance& stream = transfer.mStream;
    const std::size_t iEnd = stream.iReceiveBase + scan.iEnd;
    BlockEnded(stream, scan, iEnd == stream.iReceiveSize);
    // Behind it: messages that have ended are dropped, however many; one still arriving is owed,
    // so that its rest is not taken for the next answer.
    std::size_t iDropped = 0;
    for (std::size_t iAt = iEnd; iAt < stream.iReceiveSize;) {
        iAt += Instrument::PaddingAhead(stream.pReceiveData.data() + iAt, stream.iReceiveSize - iAt,
                                        stream.sEndOfMessage);
        if (iAt == stream.iReceiveSize) break;
        const std::uint8_t* pRest = stream.pReceiveData.data() + iAt;
        const std::size_t iRest = stream.iReceiveSize - iAt;
        const std::size_t iMessage = StreamTransfer::AnswerLength(pRest, iRest, stream.sEndOfMessage);
        if (iMessage == 0) {
            Owe(stream, pRest, iRest, transfer.iTimeoutMs, 1);
            stream.mOwed.blockEnds = {};
            stream.mOwed.sQuery.clear(); // nobody asked for it
        }
        iDropped += iMessage;
        iAt += iMessage == 0 ? iRest : iMessage;
    }
    if (iDropped > 0) PostDropped(transfer, transfer.mNames.pRead, iDropped);
    stream.iReceiveSize = stream.iReceiveBase + scan.iAnswerEnd;
    stream.pReceiveData.setSize(stream.iReceiveSize);
    if (fImage) TakeImageEnd(transfer);
}

void GaveUp(uStreamInstance& stream, const std::uint8_t* pData, std::size_t iSize, std::int64_t iTimeoutMs,
            std::size_t iAnswers) {
    // The answers still owed are the last of the message's.
    const std::size_t iAll = std::max<std::size_t>(stream.iAnswers, 1);
    Owe(stream, pData, iSize, iTimeoutMs, iAnswers, iAll - std::min(iAll, iAnswers));
}

Failure::eKind Settle(const uTransfer& transfer, int iWindow, std::string& sError) {
    uStreamInstance& stream = transfer.mStream;
    uOwed& owed = stream.mOwed;
    const StreamTransfer::uNames& names = transfer.mNames;
    const bool fRenews = transfer.mChannel.Renews();
    stream.iStaleBytes = 0;
    const auto renew = [&] {
        NewConnection(stream); // nothing sent on the old connection can arrive on the new one
        return transfer.mChannel.Renew(sError) ? Failure::eKind::None : Failure::eKind::GoneBefore;
    };
    if (owed.fCommandCut && fRenews) return renew();
    owed.fCommandCut = false;
    std::string sIgnored;
    if (!Instrument::CreateMemory(stream.pReceive, StreamTransfer::ReceiveChunk, 0, sIgnored)) return Failure::eKind::None;
    // What the log and the window name: the answer owed as it stood when the message came.
    const bool fOwed = owed.fAnswer && !owed.fUnknown;
    const std::string sSubject = owed.sQuery.empty() ? "A message that came unasked behind an answer"
                                 : "The answer to " + Query(owed, true) +
                                       (owed.fUnread ? ", sent without reading it," : ", which its read gave up,");
    const std::string sAwaiting =
        owed.sQuery.empty() ? "the rest of an unasked message" : "the answer to " + Query(owed, false);
    // Awaited where only a wait keeps the next answer its own. A line that can be renewed awaits an
    // answer nobody read for its query's time-out from the write, then renews. One that cannot grants
    // at least its interface's time-out from this message's start, whatever pause came before it,
    // and again from each byte of the owed answer that comes (an answer of a port's last open only
    // once it has begun), so that an answer arriving is read to its end.
    const bool fAwait = fOwed && (!fRenews || owed.fUnread);
    const std::chrono::milliseconds bound(
        fRenews ? owed.iWaitMs : std::max({transfer.iInterfaceTimeoutMs, owed.iWaitMs, transfer.iTimeoutMs}));
    const Clock::time_point start = Clock::now();
    Clock::time_point deadline = !fAwait ? start : fRenews ? owed.since + bound : start + bound;
    const bool fWaits = deadline > start;
    if (fWaits) TransferStatus::PostText(iWindow, TransferStatus::TransferAwaiting, sAwaiting);
    const std::size_t iBegun = owed.pBegun.size();
    std::size_t iDropped = 0;
    Failure::eKind eKind = Failure::eKind::None;
    for (;;) {
        std::int64_t iCode = 0;
        const std::int64_t n = transfer.mChannel.Read(stream.pReceive.data(), StreamTransfer::ReceiveChunk, iCode);
        if (n > 0) {
            const std::size_t iHad = owed.pBegun.size();
            iDropped += static_cast<std::size_t>(n) - FeedOwed(stream, stream.pReceive.data(), static_cast<std::size_t>(n));
            if (!owed.fAnswer) {
                deadline = Clock::now(); // what else waits now goes with it
            } else if (!fRenews && owed.pBegun.size() > iHad) {
                deadline = Clock::now() + bound; // arriving: read to its end
            }
            if (iDropped >= StreamTransfer::StaleLimit) break;
        } else if (n < 0) {
            eKind = Failure::eKind::GoneBefore;
            sError = StreamTransfer::BrokenText(names, names.pWrite, n, iCode);
            break;
        } else {
            const Clock::time_point now = Clock::now();
            if (now >= deadline) break;
            if (transfer.mChannel.WaitInput(std::min(deadline, now + StreamTransfer::AbortSlice)) ==
                StreamTransfer::eWait::Closed)
                break;
        }
        // Also while bytes keep coming: an owed answer may be a long block.
        if (Instrument::TakeAbortRequest(transfer.pInstance)) {
            eKind = Failure::eKind::Canceled; // what is owed still is, for the next write
            sError = Prefix(names.pModule, names.pWrite) + Instrument::AbortedText;
            break;
        }
    }
    const std::int64_t iWaitedMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    if (fWaits) TransferStatus::Post(iWindow, TransferStatus::TransferAwaited, WindowNobody, iWaitedMs);
    stream.iStaleBytes = iDropped;
    // The owed answer's outcome; what the line says of it in plain words, once, with the bytes
    // dropped (the module's line beside it).
    std::string sOutcome;
    Failure::eKind eResult = eKind;
    if (eKind == Failure::eKind::Canceled) {
        sOutcome = "the wait was cancelled";
    } else if (eKind != Failure::eKind::None) {
    } else if (!owed.fAnswer) {
        sOutcome = fAwait ? "it came and was dropped" : "the rest of it came and was dropped";
    } else if (owed.fUnknown) {
        // What a port opened again found is never held against the message.
        owed = {};
    } else if (const bool fCameOn = owed.pBegun.size() > iBegun;
               !StoppedInAMessage(stream, fCameOn, sOutcome) || !fCameOn || fRenews) {
        // It has not ended in what came: nothing of it may reach the next answer. A connection that
        // can be renewed is; on a serial line nothing more came of it within the bound, or it came
        // in whole messages: the instrument sends no more (it did not take a query as one, or its
        // answer ends otherwise than the end text says).
        if (fRenews) {
            sOutcome += "; the connection was renewed";
            eResult = renew();
        } else {
            owed.fAnswer = owed.fUnread = false;
            owed.pBegun.clear();
        }
    } else {
        // Still coming inside a message: its rest is awaited anew by the next message.
        sOutcome += ", and the message was not sent";
        sError = Prefix(names.pModule, names.pWrite) + StreamTransfer::ArrivingText;
        eResult = Failure::eKind::Arriving;
    }
    const bool fNote = fOwed && !sOutcome.empty();
    if (fNote) {
        WindowLog::PostLine(Name(stream) + sSubject +
                            (fWaits ? " was awaited for " + std::to_string(iWaitedMs) + " ms before the next message: "
                                    : " was still owed at the next message: ") +
                            sOutcome + (iDropped > 0 ? " (" + Bytes(iDropped) + " dropped)." : "."));
    }
    if (iDropped > 0) PostDropped(transfer, names.pWrite, iDropped, !fNote);
    return eResult;
}

std::string StaleText(const StreamTransfer::uNames& names, std::size_t iBytes) {
    return Prefix(names.pModule, names.pWrite) + std::to_string(iBytes) +
           (iBytes == 1 ? " byte of an earlier answer was dropped." : " bytes of an earlier answer were dropped.");
}

void NewConnection(uStreamInstance& stream) {
    stream.mOwed.pBegun.release();
    stream.mOwed = {};
}

} // namespace BetweenMessages
