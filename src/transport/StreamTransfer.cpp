#include "transport/StreamTransfer.h"

#include "common/WindowLog.h"
#include "transport/AbortRequests.h"
#include "transport/BlockHeader.h"
#include "transport/ChainedAnswers.h"
#include "transport/DataBuffers.h"
#include "transport/TransferStatus.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>
#include <thread>
#include <utility>

namespace StreamTransfer {

std::string Prefix(const char* pModule, const char* pProcedure) {
    return std::string(pModule) + "::" + pProcedure + ": ";
}

namespace {

std::chrono::milliseconds Timeout(const uTransfer& transfer) {
    return std::chrono::milliseconds(std::max<std::int64_t>(transfer.iTimeoutMs, 0));
}

// Room for iNeeded bytes of an answer whose first iAnswer bytes are at pAnswer; the bytes the
// buffer holds are kept. When the answer begins with a block header (bare or behind the text
// that announces it), no more room is asked for than the block still sends, and a buffer that
// must grow is made as large as the block announces, in one step: that takes address space only,
// since pages are committed as the data arrives, and a count that cannot be had leaves the buffer
// as it was. Otherwise (and for whatever comes behind the announced block) the buffer at least
// doubles when it grows, so that a long answer is not copied again for every step.
bool MakeRoom(uStreamInstance& stream, const std::uint8_t* pAnswer, std::size_t iAnswer, std::size_t iNeeded,
              std::string& sError) {
    DataBuffer& buffer = stream.pReceiveData;
    std::uint64_t iCount = 0;
    // The answer starts behind the caller's bytes (none unless ReadAnswer keeps some).
    const std::size_t iBase = pAnswer == buffer.data() ? stream.iReceiveBase : 0;
    // The block may come behind the text that announces it ("DAT2,#9...").
    const std::size_t iBlock = iBase + Instrument::BlockPrefixLength(pAnswer + iBase, iAnswer - iBase);
    const std::size_t iHeader = Instrument::ParseBlockHeaderOnly(pAnswer, iBlock, iAnswer, &iCount);
    const std::uint64_t iBlockEnd = iBlock + iHeader + iCount + stream.sEndOfMessage.size();
    const bool fBlock = iHeader > 0 && iBlockEnd > iAnswer && iBlockEnd <= DataBuffer::MaxCapacity;
    if (fBlock) iNeeded = std::min(iNeeded, static_cast<std::size_t>(iBlockEnd));
    // A long block gets a buffer of its own size rather than a part of a much larger one: the
    // answer then goes to the caller in its buffer instead of being copied out (ReadAnswer). A
    // buffer lent with the caller's bytes ahead of the answer stays.
    const bool fOwnBlock =
        fBlock && stream.iReceiveBase == 0 && iBlockEnd >= ReceiveChunk && iBlockEnd < buffer.capacity() / 2;
    const bool fRoom = buffer.allocated() && iNeeded <= buffer.capacity();
    if (fRoom && !fOwnBlock) return true;
    if (fBlock) {
        DataBuffer block;
        std::string sIgnored;
        if (Instrument::CreateMemory(block, static_cast<std::size_t>(iBlockEnd), 0, sIgnored)) {
            block.assign(buffer.data(), buffer.size()); // the caller copies bytes held elsewhere
            buffer = std::move(block);
            return true;
        }
    }
    if (fRoom) return true; // no block of its own: the large buffer serves
    const std::size_t iDoubled = std::min(buffer.capacity() * 2, DataBuffer::MaxCapacity);
    return Instrument::CreateMemory(buffer, std::max(iNeeded, iDoubled), GrowStep, sError);
}

// Receives what waits into the answer: the count (> 0), a channel result, or NoMemory. The
// first reception of an answer goes to pReceive, so that the answer buffer can be sized by what
// it says, unless the answer buffer already has room for a whole reception (a buffer lent by the
// caller, or the one of the last answer); later ones go straight behind the answer so far.
constexpr std::int64_t NoMemory = -3;

std::int64_t Receive(const uTransfer& transfer, std::int64_t& iCode) {
    uStreamInstance& stream = transfer.mStream;
    DataBuffer& answer = stream.pReceiveData;
    std::string sIgnored;
    if (stream.iReceiveSize == 0 && answer.capacity() < ReceiveChunk) {
        if (!Instrument::CreateMemory(stream.pReceive, ReceiveChunk, 0, sIgnored)) return NoMemory;
        const std::int64_t n = transfer.mChannel.Read(stream.pReceive.data(), FirstReception, iCode);
        if (n <= 0) return n;
        const std::size_t iFirst = static_cast<std::size_t>(n);
        if (!MakeRoom(stream, stream.pReceive.data(), iFirst, iFirst + ReceiveChunk, sIgnored)) return NoMemory;
        answer.assign(stream.pReceive.data(), iFirst);
        stream.iReceiveSize = iFirst;
        return n;
    }
    if (stream.iReceiveSize > 0 &&
        !MakeRoom(stream, answer.data(), stream.iReceiveSize, stream.iReceiveSize + ReceiveChunk, sIgnored)) {
        return NoMemory;
    }
    // The first reception into a buffer larger than a reception's limit (one made for an answer
    // of unknown length) is short: a block's header is seen before the block lands in a buffer
    // far larger than itself, and MakeRoom gives a long block one of its own size.
    const bool fFirstIntoLarge = stream.iReceiveSize == 0 && answer.capacity() > ReceiveLimit;
    const std::size_t iRoom =
        std::min(answer.capacity() - stream.iReceiveSize, fFirstIntoLarge ? FirstReception : ReceiveLimit);
    const std::int64_t n = transfer.mChannel.Read(answer.data() + stream.iReceiveSize, iRoom, iCode);
    if (n <= 0) return n;
    stream.iReceiveSize += static_cast<std::size_t>(n);
    answer.setSize(stream.iReceiveSize);
    return n;
}

// Nothing waited: waits for input, a slice at a time, until the deadline. fWoken (the last wait
// said input waits, kept between calls, cleared by the caller when a read brings data) gives a
// channel that said so without reason a pause, so that it cannot make the loop spin; a channel
// that said so with reason is waited on at once when its sender is slower than the reader.
enum class eIdle { Again, Deadline, Closed };

eIdle WaitIdle(const uTransfer& transfer, Clock::time_point deadline, bool& fWoken) {
    if (fWoken) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return eIdle::Deadline;
    const eWait w = transfer.mChannel.WaitInput(std::min(deadline, now + AbortSlice));
    if (w == eWait::Closed) return eIdle::Closed;
    fWoken = w == eWait::Ready;
    return eIdle::Again;
}

// What the answer holds once the reception of its last iNew bytes ended it (iEnd 0: not ended).
Instrument::uAnswerScan EndedAnswer(const uStreamInstance& stream, std::size_t iNew) {
    const std::uint8_t* pAnswer = stream.pReceiveData.data() + stream.iReceiveBase;
    const std::size_t iSize = stream.iReceiveSize - stream.iReceiveBase;
    if (!MayHaveEnded(pAnswer, iSize, iNew, stream.sEndOfMessage)) return {};
    return ScanStream(pAnswer, iSize, stream.sEndOfMessage, stream.eBlockUnit, stream.iAnswers, stream.blockEnds);
}

// The answer as it is handed on: its padding taken off, and the answers of a chained query that
// came as messages of their own read as one message.
void HandOn(uStreamInstance& stream) {
    const std::size_t iBase = stream.iReceiveBase;
    std::uint8_t* pAnswer = stream.pReceiveData.data() + iBase;
    std::size_t iSize = Instrument::DropPadding(pAnswer, stream.iReceiveSize - iBase, stream.sEndOfMessage,
                                                stream.eBlockUnit, stream.blockEnds);
    if (stream.iAnswers >= 2)
        iSize = Instrument::JoinAnswers(pAnswer, iSize, stream.sEndOfMessage, stream.eBlockUnit,
                                        stream.blockEnds);
    stream.iReceiveSize = iBase + iSize;
    stream.pReceiveData.setSize(stream.iReceiveSize);
}

} // namespace

bool MayHaveEnded(const std::uint8_t* pAnswer, std::size_t iSize, std::size_t iNew, const std::string& sEnd) {
    iNew = std::min(iNew, iSize);
    const bool fBlock = iSize > 0 && (pAnswer[0] == '#' || Instrument::BlockPrefixLength(pAnswer, iSize) > 0);
    const bool fEndText = !sEnd.empty() && std::memchr(pAnswer + iSize - iNew, sEnd.back(), iNew) != nullptr;
    return fBlock || fEndText || Instrument::BareImage(pAnswer, iSize) != Instrument::eImage::None;
}

std::string BrokenText(const uNames& names, const char* pProcedure, std::int64_t iResult, std::int64_t iCode) {
    std::string s = Prefix(names.pModule, pProcedure) + names.pConnection + " wurde unterbrochen.";
    if (iResult != ReadClosed) s += " Code = " + std::to_string(iCode);
    return s;
}

Instrument::uAnswerScan ScanStream(const std::uint8_t* pData, std::size_t iSize, const std::string& sEnd,
                                   Instrument::eBlockUnit eUnit, std::size_t iAnswers,
                                   const Instrument::uBlockEnds& blockEnds) {
    if (const Instrument::eImage image = Instrument::BareImage(pData, iSize);
        image != Instrument::eImage::None) {
        Instrument::uAnswerScan scan;
        scan.iEnd = scan.iAnswerEnd = image == Instrument::eImage::Complete ? iSize : 0;
        return scan;
    }
    return Instrument::ScanAnswer(pData, iSize, sEnd, eUnit, iAnswers, blockEnds);
}

std::size_t AnswerLength(const std::uint8_t* pData, std::size_t iSize, const std::string& sEndOfMessage,
                         Instrument::eBlockUnit eUnit, std::size_t iAnswers, const Instrument::uBlockEnds& blockEnds) {
    return ScanStream(pData, iSize, sEndOfMessage, eUnit, iAnswers, blockEnds).iEnd;
}

bool AnswerComplete(const std::uint8_t* pData, std::size_t iSize, const std::string& sEndOfMessage,
                    Instrument::eBlockUnit eUnit, std::size_t iAnswers, const Instrument::uBlockEnds& blockEnds) {
    return AnswerLength(pData, iSize, sEndOfMessage, eUnit, iAnswers, blockEnds) > 0;
}

bool Prepare(uStreamInstance& stream, const char* pModule, const std::string& sCommand, const std::uint8_t* pPayload,
             std::size_t iPayloadSize, std::string& sError) {
    if (iPayloadSize > 0 && pPayload == nullptr) {
        sError = Prefix(pModule, "PrepareData") + "The pointer to the transferred data is zero.";
        return false;
    }
    stream.iSendSize = 0;
    stream.pSendData.clear();
    stream.fSendQuery = Instrument::QueryCount(sCommand) > 0;
    stream.sCommand = sCommand.substr(0, 0x100);
    std::size_t iLength = sCommand.size() + iPayloadSize;
    if (iLength == 0) return true;
    iLength += stream.sEndOfMessage.size();
    if (!Instrument::CreateMemory(stream.pSendData, iLength, GrowStep, sError)) return false;
    stream.pSendData.append(sCommand);
    stream.pSendData.append(pPayload, iPayloadSize);
    stream.pSendData.append(stream.sEndOfMessage);
    stream.iSendSize = iLength;
    return true;
}

bool Write(const uTransfer& transfer, std::size_t iPieceSize, std::size_t& iBytesSent, int iWindow,
           std::string& sError) {
    uStreamInstance& stream = transfer.mStream;
    const uNames& names = transfer.mNames;
    iBytesSent = 0;
    stream.eFailure = Failure::eKind::NotConnected;
    if (!transfer.mChannel.IsOpen()) {
        sError = Prefix(names.pModule, names.pWrite) + names.pConnection + " ist nicht vorhanden.";
        return false;
    }
    stream.eFailure = Failure::eKind::Other;
    if (stream.iSendSize == 0 || stream.pSendData.size() < stream.iSendSize) {
        sError = Prefix(names.pModule, names.pWrite) +
                 "Die Daten sind nicht vorhanden. Der Zeiger oder die Datenlänge ist Null.";
        return false;
    }
    stream.eFailure = BetweenMessages::Settle(transfer, iWindow, sError);
    if (stream.eFailure != Failure::eKind::None) return false;
    stream.eFailure = Failure::eKind::Other;
    const auto gone = [&] { return iBytesSent == 0 ? Failure::eKind::GoneBefore : Failure::eKind::GoneAfter; };
    TransferStatus::uProgress progress(iWindow, TransferStatus::TransferSending, transfer.pInstance,
                                       stream.iProgressStep);
    const std::size_t iSize = stream.iSendSize;
    std::size_t iOffset = 0;
    std::size_t iPieceEnd = std::min(iSize, iPieceSize);
    Clock::time_point pieceStart = Clock::now();
    const bool fRenews = transfer.mChannel.Renews();
    bool fAborted = false;
    // The write ends before the message does: the next write renews a channel that can be renewed.
    const auto cut = [&](Failure::eKind eKind, std::string_view sText) {
        stream.mOwed.fCommandCut = iOffset > 0 && iOffset < iSize;
        stream.eFailure = eKind;
        sError = Prefix(names.pModule, names.pWrite) + std::string(sText);
        return false;
    };
    for (;;) {
        std::int64_t iCode = 0;
        const std::int64_t n =
            transfer.mChannel.Write(stream.pSendData.data() + iOffset, iPieceEnd - iOffset, iCode);
        if (n < 0) {
            stream.eFailure = gone();
            sError = BrokenText(names, names.pWrite, ReadFailed, iCode);
            return false;
        }
        iOffset += static_cast<std::size_t>(n);
        iBytesSent = iOffset;
        if (iOffset == iSize) {
            // Its answers are owed until a read takes them: a message sent without reading them
            // leaves them to the next write; one whose write was aborted gives them up.
            BetweenMessages::Sent(stream, transfer.iTimeoutMs, !fAborted);
            if (fAborted) return cut(Failure::eKind::Canceled, Instrument::AbortedText);
            stream.eFailure = Failure::eKind::None;
            return true;
        }
        const bool fPieceDone = iOffset == iPieceEnd;
        if (fPieceDone) {
            iPieceEnd = std::min(iSize, iOffset + iPieceSize);
            pieceStart = Clock::now();
        }
        progress.Add(n, static_cast<std::int64_t>(iOffset));
        if (!fAborted && Instrument::TakeAbortRequest(transfer.pInstance)) {
            // A serial line ends the message first: its instrument would take the next one as the rest.
            fAborted = true;
            if (fRenews) return cut(Failure::eKind::Canceled, Instrument::AbortedText);
        }
        if (fPieceDone) continue;
        // The channel took less than offered: wait until it takes more, within the time-out.
        const Clock::time_point deadline = pieceStart + Timeout(transfer);
        const Clock::time_point now = Clock::now();
        if (now >= deadline) return cut(Failure::eKind::TimedOut, "Die Wartezeit für das Senden wurde überschritten.");
        if (transfer.mChannel.WaitOutput(std::min(deadline, now + AbortSlice)) == eWait::Closed) {
            stream.eFailure = gone();
            sError = BrokenText(names, names.pWrite, ReadClosed, 0);
            return false;
        }
    }
}

bool Read(const uTransfer& transfer, int iWindow, std::string& sError) {
    uStreamInstance& stream = transfer.mStream;
    const uNames& names = transfer.mNames;
    const std::size_t iBase = stream.iReceiveBase;
    stream.iReceiveSize = iBase;
    stream.pReceiveData.setSize(iBase);
    stream.eFailure = Failure::eKind::NotConnected;
    if (!transfer.mChannel.IsOpen()) {
        sError = Prefix(names.pModule, names.pRead) + names.pConnection + " ist nicht vorhanden.";
        return false;
    }
    stream.eFailure = Failure::eKind::None;
    stream.iWholeAnswers = 0;
    BetweenMessages::ReadBegins(stream);
    TransferStatus::uProgress progress(iWindow, TransferStatus::TransferReceiving, transfer.pInstance,
                                       stream.iProgressStep);
    Clock::time_point lastData = Clock::now();
    bool fWoken = false; // the last wait said input waits
    for (;;) {
        std::int64_t iCode = 0;
        const std::int64_t n = Receive(transfer, iCode);
        if (n > 0 && !BetweenMessages::TakeAhead(stream)) continue;
        if (n > 0) {
            fWoken = false; // the wait was right: input came
            lastData = Clock::now();
            const Instrument::uAnswerScan scan = EndedAnswer(stream, static_cast<std::size_t>(n));
            progress.Add(n, static_cast<std::int64_t>(stream.iReceiveSize - iBase));
            if (scan.iEnd > 0) {
                const std::uint8_t* pAnswer = stream.pReceiveData.data() + iBase;
                BetweenMessages::AnswerEnded(transfer, scan,
                                             Instrument::BareImage(pAnswer, scan.iEnd) ==
                                                 Instrument::eImage::Complete);
                HandOn(stream);
                return true;
            }
        } else if (n == NoMemory) {
            stream.eFailure = Failure::eKind::NoSpace;
            sError = Prefix(names.pModule, names.pRead) +
                     (stream.iReceiveSize == iBase
                          ? "Speicher für den Empfangsbuffer der Daten konnte nicht reserviert werden."
                          : "Der Speicher für den Empfang der Daten konnte nicht vergrößert werden.");
            stream.iReceiveSize = iBase;
            return false;
        } else if (n < 0) {
            stream.eFailure = Failure::eKind::GoneAfter;
            sError = BrokenText(names, names.pRead, n, iCode);
            return false;
        } else {
            const eIdle idle = WaitIdle(transfer, lastData + Timeout(transfer), fWoken);
            if (idle == eIdle::Deadline) {
                stream.eFailure = Failure::eKind::TimedOut;
                sError = Prefix(names.pModule, names.pRead) + "Die Wartezeit für das Empfangen wurde überschritten.";
                // The rest of the answer is owed: of a chained answer, the answers still missing,
                // with what came of the message the time-out cut. Its whole messages are counted,
                // and joined for the caller with what came of the cut one.
                const std::uint8_t* pAnswer = stream.pReceiveData.data() + iBase;
                const std::size_t iAnswer = stream.iReceiveSize - iBase;
                const Instrument::uAnswerScan scan = ScanStream(pAnswer, iAnswer, stream.sEndOfMessage,
                                                                stream.eBlockUnit, stream.iAnswers, stream.blockEnds);
                const std::size_t iWhole = stream.iAnswers > 1 ? scan.iWhole : 0;
                const std::size_t iWholeEnd = iWhole > 0 ? scan.iWholeEnd : 0;
                BetweenMessages::GaveUp(stream, pAnswer + iWholeEnd, iAnswer - iWholeEnd, transfer.iTimeoutMs,
                                        std::max<std::size_t>(stream.iAnswers, 1) - iWhole);
                HandOn(stream);
                stream.iWholeAnswers = iWhole;
                return stream.iReceiveSize > iBase;
            }
            if (idle == eIdle::Closed) {
                stream.eFailure = Failure::eKind::GoneAfter;
                sError = BrokenText(names, names.pRead, ReadClosed, 0);
                return false;
            }
        }
        if (Instrument::TakeAbortRequest(transfer.pInstance)) {
            // The rest of the answer is owed: the next write takes it off the line up to its end.
            stream.eFailure = Failure::eKind::Canceled;
            BetweenMessages::GaveUp(stream, stream.pReceiveData.data() + iBase, stream.iReceiveSize - iBase,
                                    transfer.iTimeoutMs, stream.iAnswers);
            sError = Prefix(names.pModule, names.pRead) + Instrument::AbortedText;
            return false;
        }
    }
}

bool Drain(const uTransfer& transfer, std::string& sError) {
    uStreamInstance& stream = transfer.mStream;
    const uNames& names = transfer.mNames;
    if (!transfer.mChannel.IsOpen()) {
        sError = Prefix(names.pModule, names.pDrain) + names.pConnection + " ist nicht vorhanden.";
        return false;
    }
    stream.iReceiveSize = 0;
    stream.pReceiveData.clear();
    std::string sMemory;
    if (!Instrument::CreateMemory(stream.pReceive, ReceiveChunk, 0, sMemory)) {
        sError = Prefix(names.pModule, names.pDrain) +
                 "Speicher für den Empfangsbuffer der Daten konnte nicht reserviert werden.";
        return false;
    }
    Clock::time_point quietUntil = Clock::now() + DrainQuiet;
    bool fWoken = false;
    for (;;) {
        std::int64_t iCode = 0;
        const std::int64_t n = transfer.mChannel.Read(stream.pReceive.data(), ReceiveChunk, iCode);
        if (n > 0) {
            fWoken = false;
            quietUntil = Clock::now() + DrainQuiet;
        } else if (n < 0) {
            sError = BrokenText(names, names.pDrain, n, iCode);
            return false;
        } else {
            const eIdle idle = WaitIdle(transfer, quietUntil, fWoken);
            if (idle == eIdle::Deadline) return true;
            if (idle == eIdle::Closed) {
                sError = BrokenText(names, names.pDrain, ReadClosed, 0);
                return false;
            }
        }
        if (Instrument::TakeAbortRequest(transfer.pInstance)) {
            sError = Prefix(names.pModule, names.pDrain) + Instrument::AbortedText;
            return false;
        }
    }
}

bool ReadAnswer(const uTransfer& transfer, DataBuffer& answer, int iWindow, std::string& sError, std::size_t iKeep) {
    uStreamInstance& stream = transfer.mStream;
    DataBuffer& data = stream.pReceiveData;
    if (iKeep > 0 && iKeep <= answer.size()) {
        // The caller's buffer becomes the receive buffer for this answer, its bytes ahead of it.
        std::swap(answer, data);
        stream.iReceiveBase = iKeep;
        const bool fRead = Read(transfer, iWindow, sError);
        stream.iReceiveBase = 0;
        data.setSize(fRead ? stream.iReceiveSize : iKeep);
        stream.iReceiveSize = 0;
        std::swap(answer, data);
        data.clear();
        return fRead;
    }
    if (answer.capacity() > data.capacity()) std::swap(answer, data);
    answer.clear();
    if (!Read(transfer, iWindow, sError)) return false;
    data.setSize(stream.iReceiveSize);
    if (stream.iReceiveSize >= data.capacity() / 2) {
        // A long answer fills most of its buffer: the buffer itself goes to the caller.
        std::swap(answer, data);
        data.clear();
        return true;
    }
    if (!answer.assign(data.data(), stream.iReceiveSize)) {
        stream.eFailure = Failure::eKind::NoSpace;
        sError = Prefix(transfer.mNames.pModule, "RequestData") +
                 "Der Speicher für die Daten konnte nicht reserviert werden.";
        answer.clear();
        return false;
    }
    return true;
}

void FreeMemory(uStreamInstance& stream) {
    stream.pReceive.release();
    stream.pSendData.release();
    stream.pReceiveData.release();
    stream.mOwed.pBegun.release();
    stream.iSendSize = 0;
    stream.iReceiveSize = 0;
}

} // namespace StreamTransfer
