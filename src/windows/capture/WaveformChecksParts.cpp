// Traces read in parts: the point count of a channel, and each part appended to the channel's
// data until the last one, whose block header is rewritten to the total.
#include "common/NumberText.h"
#include "instrument/ModelTable.h"
#include "transport/BlockHeader.h"
#include "waveform/InstrumentWaveformRigol.h"
#include "waveform/InstrumentWaveformSiglent.h"
#include "waveform/WaveformFrame.h"
#include "windows/capture/WaveformChecks.h"
#include "windows/capture/WaveformPumpText.h"
#include "windows/capture/WaveformRequests.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

namespace WaveformChecks {

namespace {

constexpr const char* PointsCheck = "WindowWaveform::CheckInstrumentResponseWaveformPoints";
constexpr const char* PartCheck = "WindowWaveform::CheckInstrumentResponseWaveformPart";

bool IsSiglent(std::int64_t eModel) { return WaveformRequests::FamilyOf(eModel) == WaveformRequests::FamilySiglent; }

bool CurrentLogic(const uWaveformPump& pump) {
    return !pump.mRequestList.empty() && pump.mRequestList.front().fLogic != 0;
}

// The first part window of a channel of iTotal points.
void ArmWindow(uWaveformPump& pump, std::int64_t iTotal, std::int64_t iPart) {
    const std::int64_t iFirst = FirstIndex(pump.instrument.eModel);
    pump.iPartsTaken = 0;
    if (iTotal < 1) {
        pump.iStartPoint = 0;
        pump.iStopPoint = 0;
    } else if (iTotal > iPart) {
        pump.iStartPoint = iFirst;
        pump.iStopPoint = iPart;
    } else {
        pump.iStartPoint = iFirst;
        pump.iStopPoint = iTotal;
    }
}

// The bytes of one point in a part's block: the MSO2000's lines come as words.
std::int64_t PointBytes(const uWaveformPump& pump) {
    return InstrumentWaveform::RigolPointBytes(pump.instrument.eModel, CurrentLogic(pump));
}

// Writes the channel's final byte count into the block header of its first part. A count that
// needs more digits than that header has gets a new header, the data moved behind it.
void RewriteHeader(uWaveformPump& pump, uWaveformRecordChannel& channel) {
    const std::size_t iHeader = pump.iPartHeader;
    DataBuffer& data = channel.pData;
    if (iHeader < 2 || data.size() < iHeader) return;
    const std::uint64_t iCount = data.size() - iHeader;
    const std::size_t iDigits = iHeader - 2;
    std::string sCount = std::to_string(iCount);
    const std::size_t iNeeded = sCount.size();
    if (iNeeded <= iDigits) {
        const std::string sHeader = "#" + std::to_string(iDigits) + std::string(iDigits - iNeeded, '0') + sCount;
        std::memcpy(data.data(), sHeader.data(), iHeader);
        return;
    }
    std::string sHeader;
    if (Instrument::CreateBlockHeader(iCount, sHeader) == 0) {
        pump.pWindow->AddError(std::string(PartCheck) + ": Die Datengröße passt in keinen Block-Header: " + sCount);
        return;
    }
    DataBuffer rebuilt;
    if (!rebuilt.reserve(sHeader.size() + iCount) || !rebuilt.append(sHeader) ||
        !rebuilt.append(data.data() + iHeader, iCount))
        return; // no memory: the header is left as it was rather than half rewritten
    data = std::move(rebuilt);
    pump.iPartHeader = sHeader.size();
}

// Removes the copies of the part request that the pump queued behind the current one: those sent
// ahead and the one behind them. The errors and the result of one sent ahead are dropped when they
// come (uWaveformPump::DroppedAhead).
void DropQueuedPart(uWaveformPump& pump) {
    if (pump.mRequestList.empty()) return;
    const uWaveformRequest& current = pump.mRequestList.front();
    for (auto itNext = std::next(pump.mRequestList.begin()); itNext != pump.mRequestList.end();) {
        if (itNext->eKind != RequestWaveformPart || itNext->eWaveform != current.eWaveform ||
            itNext->sCommand != current.sCommand || !(itNext->fPending || itNext->iAheadTask != 0))
            break;
        const bool fAhead = itNext->iAheadTask != 0;
        if (fAhead) pump.DroppedAhead.push_back(itNext->iAheadTask);
        itNext = pump.mRequestList.erase(itNext);
        if (!fAhead) break;
    }
    pump.AheadResults.clear();
}

// Ends the channel: header rewritten, total points, part state back for the next channel.
void FinishChannel(uWaveformPump& pump, uWaveformRecordChannel* pChannel) {
    if (pChannel) {
        if (!pChannel->pData.empty()) RewriteHeader(pump, *pChannel);
        pChannel->iDataSize = static_cast<std::int64_t>(pChannel->pData.size());
        pChannel->iTotalPoints = pump.pRecord ? pump.pRecord->iTotalPoints : 0;
    }
    pump.iPartBytes = 0;
    pump.iPartHeader = 0;
    if (pump.pRecord) ArmWindow(pump, pump.pRecord->iTotalPoints, pump.pRecord->iPartPoints);
}

// The channel ends early: what it has is no whole record and leaves the record.
int EndChannelEarly(uWaveformPump& pump) {
    AbandonChannel(pump);
    return 1;
}

} // namespace

void AbandonChannel(uWaveformPump& pump) {
    const bool fPart = !pump.mRequestList.empty() && pump.mRequestList.front().eKind == RequestWaveformPart;
    if (fPart) DropQueuedPart(pump);
    if (pump.pRecord && pump.iChannelIndex > 0 && pump.iChannelIndex < pump.pRecord->Channels.size())
        pump.pRecord->Channels.erase(pump.pRecord->Channels.begin() + static_cast<std::ptrdiff_t>(pump.iChannelIndex));
    pump.iChannelIndex = 0;
    if (fPart) FinishChannel(pump, nullptr);
}

std::int64_t PartSize(std::int64_t eModel, bool fLogic) {
    switch (WaveformRequests::FamilyOf(eModel)) {
    case WaveformRequests::FamilyRigol: return InstrumentWaveform::RigolPiecePoints(fLogic);
    case WaveformRequests::FamilySiglent: return InstrumentWaveform::SiglentPiecePoints("", fLogic, 1);
    default: return 0;
    }
}

std::int64_t FirstIndex(std::int64_t eModel) {
    return WaveformRequests::FamilyOf(eModel) == WaveformRequests::FamilyRigol ? 1 : 0;
}

int CheckInstrumentResponseWaveformPoints(uWaveformPump& pump, const std::uint8_t* pData, std::size_t iSize) {
    if (!Validate(pump, PointsCheck, pData, iSize)) return 0;
    const std::int64_t eModel = pump.instrument.eModel;
    const WaveformRequests::eFamily family = WaveformRequests::FamilyOf(eModel);
    if (family != WaveformRequests::FamilyRigol && family != WaveformRequests::FamilySiglent &&
        family != WaveformRequests::FamilyRohdeSchwarz)
        return 0;
    if (!pump.pRecord) return 0;
    const std::string sText = AnswerText(pData, iSize);
    uWaveformRecord& record = *pump.pRecord;
    const bool fLogic = CurrentLogic(pump);
    if (!pump.mRequestList.empty() && pump.mRequestList.front().eKind == RequestMaxPoint) { // Siglent: the most points of one piece
        record.iPartPoints = InstrumentWaveform::SiglentPiecePoints(sText, fLogic, 1);
        ArmWindow(pump, record.iTotalPoints, record.iPartPoints);
        return 1;
    }
    std::int64_t iPoints = 0;
    std::string sIgnored;
    const bool fValid =
        family == WaveformRequests::FamilyRigol
            ? InstrumentWaveform::RigolMemoryDepth(sText, eModel == ModelRigolDS1000Z || eModel == ModelRigolDS1000ZPlus,
                                                   iPoints, sIgnored)
            : ParseCount(sText, iPoints);
    if (!fValid) {
        pump.pWindow->AddError(std::string(PointsCheck) + ": Die Anzahl ist ungültig. Antwort: >" + sText + "<");
        iPoints = 0;
    }
    record.iTotalPoints = iPoints;
    if (family == WaveformRequests::FamilyRohdeSchwarz) return fValid ? 1 : 0;
    record.iPartPoints = PartSize(eModel, fLogic);
    ArmWindow(pump, iPoints, record.iPartPoints);
    if (fValid && WaveformText::DisplayAllowed(pump))
        pump.pWindow->AddLine(WaveformText::Prefix(pump) + (fLogic ? "Logic Points: " : "Waveform Points: ") +
                              Utility::StrDLocalized(static_cast<double>(iPoints), -1));
    return fValid ? 1 : 0;
}

int CheckInstrumentResponseWaveformPart(uWaveformPump& pump, const std::uint8_t* pData, std::size_t iSize,
                                        std::size_t iHeader, std::uint64_t iCount) {
    if (!pData || iSize == 0) {
        Validate(pump, PartCheck, pData, iSize); // logs the "Null" error
        return EndChannelEarly(pump);
    }
    if (!Validate(pump, PartCheck, pData, iSize)) return 0;
    if (!pump.pRecord || pump.iChannelIndex == 0 || pump.iChannelIndex >= pump.pRecord->Channels.size()) return 0;
    const std::int64_t eModel = pump.instrument.eModel;
    const WaveformRequests::eFamily family = WaveformRequests::FamilyOf(eModel);
    if (family != WaveformRequests::FamilyRigol && family != WaveformRequests::FamilySiglent) return 0;
    uWaveformRecord& record = *pump.pRecord;
    uWaveformRecordChannel& channel = record.Channels[pump.iChannelIndex];
    // What the dispatcher found must lie in the answer.
    if (iHeader > iSize || iCount > iSize - iHeader) iHeader = iCount = 0;

    std::uint64_t iAnnounced = 0; // Siglent: the points the block announces
    if (IsSiglent(eModel) && iSize > 5) {
        const std::size_t iOffset =
            InstrumentWaveform::SiglentDataOffset({reinterpret_cast<const char*>(pData), iSize});
        if (iOffset == std::string_view::npos) {
            pump.pWindow->AddError(std::string(PartCheck) + ": Es ist kein Header 'DAT2' vorhanden.");
            return EndChannelEarly(pump);
        } else {
            pData += iOffset;
            iSize -= iOffset;
            const Instrument::eBlockUnit eUnit = WaveformPump::AnswerBlockUnit(pump);
            iHeader = Instrument::ParseBlockHeader(pData, 0, iSize, &iAnnounced, eUnit);
            if (iHeader == 0) {
                // A header that announces more than the answer holds (or none at all).
                pump.pWindow->AddError(std::string(PartCheck) +
                                       ": Der Datenblock hinter 'DAT2' ist unvollständig oder ungültig.");
                return EndChannelEarly(pump);
            }
            iCount = Instrument::BlockBytes(iAnnounced, eUnit);
            // The block ends with LF. Anything else where it should end means bytes went missing
            // and the answers chained behind the block were taken for data.
            const std::size_t iEnd = iHeader + static_cast<std::size_t>(iCount);
            if (!InstrumentWaveform::BlockEnds(pData, iSize, iEnd)) {
                pump.pWindow->AddError(std::string(PartCheck) +
                                       ": Der Datenblock hinter 'DAT2' ist unvollständig oder ungültig.");
                return EndChannelEarly(pump);
            }
        }
    }

    if (!IsSiglent(eModel) && iHeader > 0 && !InstrumentWaveform::BlockEnds(pData, iSize, iHeader + iCount)) {
        WaveformPump::ChannelFailed(pump, WaveformText::Incomplete + std::to_string(iSize));
        return 1;
    }
    // The part as the piece plan takes it: the points before it and those asked of it.
    const std::int64_t iBefore = pump.iStartPoint - FirstIndex(eModel);
    const bool fBits = WaveformPump::AnswerBlockUnit(pump) == Instrument::eBlockUnit::Bits;
    WaveformFrame::uPieces pieces{record.iTotalPoints, pump.iStopPoint - iBefore, iBefore, fBits ? 0 : PointBytes(pump)};
    const std::int64_t iAsked = WaveformFrame::PieceAsked(pieces);
    const WaveformFrame::uPieceCame came = WaveformFrame::PieceCame(pieces, iCount, iAnnounced);
    std::string sShort;
    if (iHeader == 0 || !WaveformFrame::TakePiece(pieces, came.iPoints, sShort)) {
        // Taken as samples, the answer would put its text among them. After parts that came, the
        // record ends short of its count.
        WaveformPump::ChannelFailed(pump, (channel.pData.empty() && came.iPoints <= 0) || iHeader == 0
                                              ? std::string(WaveformText::NoBlock)
                                              : sShort);
        return 1;
    }
    bool fStored = false;
    if (channel.pData.empty()) {
        const std::size_t iTake = iHeader + static_cast<std::size_t>(came.iBytes);
        DataBuffer first;
        // Room for every part at once: a channel of many parts is never moved while it grows.
        // Sized from the bytes this part holds per point (the count is bounded by ParseCount),
        // with a little to spare for an instrument that sends a few bytes more.
        std::size_t iRoom = iSize;
        if (record.iPartPoints > 0 && record.iTotalPoints > record.iPartPoints) {
            const double dAll = std::ceil(static_cast<double>(iCount) * static_cast<double>(record.iTotalPoints) /
                                          static_cast<double>(record.iPartPoints));
            if (dAll < static_cast<double>(std::uint64_t{1} << 40)) {
                const auto iAll = static_cast<std::size_t>(dAll);
                iRoom = std::max(iSize, iHeader + iAll + iAll / 64);
            }
        }
        fStored = (first.reserve(iRoom) || first.reserve(iSize)) && first.append(pData, iTake);
        if (fStored) {
            channel.pData = std::move(first);
            pump.iPartHeader = iHeader;
        }
        const uWaveformRequest* pRequest = pump.mRequestList.empty() ? nullptr : &pump.mRequestList.front();
        if (pRequest) {
            channel.eDataSource = pRequest->eDataSource;
            channel.eWaveform = pRequest->eWaveform;
            channel.sFileChannel = pRequest->sChannelFile;
            channel.sChannelName = pRequest->sChannel;
        }
    } else {
        // append grows the capacity at least twofold when the room made above runs out.
        fStored = channel.pData.append(pData + iHeader, static_cast<std::size_t>(came.iBytes));
    }
    channel.iDataSize = static_cast<std::int64_t>(channel.pData.size());

    if (came.iPoints < iAsked && pump.iStopPoint > 0) {
        // Fewer points than asked: the next part starts behind those that came, and no part is
        // asked larger than that any more. The parts sent ahead had windows of the larger size:
        // they are dropped, and one part is queued again.
        pump.iStopPoint = pieces.iDone;
        record.iPartPoints = pieces.iPiece;
        if (record.iTotalPoints > pump.iStopPoint) {
            DropQueuedPart(pump);
            WaveformPump::QueueNextPart(pump, pump.mRequestList.begin());
        }
    }
    if (record.iTotalPoints > pump.iStopPoint) {
        WaveformPump::AdvancePart(pump);
        pump.iPartBytes += static_cast<std::int64_t>(iSize);
        return 0;
    }
    if (!channel.pData.empty()) RewriteHeader(pump, channel);
    if (fStored) {
        // The text answers chained behind the block, without the answer's last byte.
        const std::size_t iEnd = iHeader + static_cast<std::size_t>(iCount);
        if (iSize > iEnd + 1) channel.pData.append(pData + iEnd, iSize - 1 - iEnd);
    }
    pump.iPartHeader = 0; // rewritten already
    FinishChannel(pump, &channel);
    return 1;
}

} // namespace WaveformChecks
