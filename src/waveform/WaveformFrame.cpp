#include "waveform/WaveformFrame.h"

#include "instrument/InstrumentTasks.h"
#include "instrument/InstrumentTransport.h"
#include "transport/StreamTransfer.h"

#include <algorithm>

namespace WaveformFrame {

namespace {

constexpr std::size_t AnswerFrame = 64; // a block header ("#9" and nine digits) and the answer's end

} // namespace

bool Exchanger::Send(const std::string& sCommand, bool fQuery, Instrument::eBlockUnit eUnit, std::string& sError) {
    uRequest& request = instance.request;
    request.fSend = 1;
    request.sCommand = sCommand;
    request.data.release();
    // The memory of the last answer is lent to this one, so that the parts of a trace arrive in
    // memory already committed rather than in a fresh block each.
    request.requestData = std::move(mAnswer);
    request.fRequestData = fQuery ? 1 : 0;
    request.fVendorSpecific = 0;
    request.eWait = 0;
    request.eBlockUnit = eUnit;
    return InstrumentDefault::SendRequest(instance, iWindow, sError);
}

void Exchanger::FreeAnswer() {
    mAnswer = std::move(instance.request.requestData);
    mAnswer.clear();
    InstrumentDefault::FreeReceiveData(instance);
}

bool Exchanger::Command(const std::string& sCommand, std::string& sError) {
    std::string sText;
    const bool fSent = Send(sCommand, false, Instrument::eBlockUnit::Bytes, sText);
    FreeAnswer();
    if (fSent) return true;
    sError = std::string(sReader) + ": Error sending the SCPI command: >" + sCommand + "< - " + sText;
    return false;
}

bool Exchanger::QueryBare(const std::string& sCommand, const AnswerCheck& check, std::string& sError,
                          Instrument::eBlockUnit eUnit) {
    bool fGood = Send(sCommand, true, eUnit, sError);
    if (fGood) {
        const uRequest& request = instance.request;
        InstrumentWaveform::uAnswer answer;
        answer.fFinished = request.fRequestFinished;
        answer.pData = request.requestData.data();
        answer.iSize = std::min(request.requestData.size(),
                                static_cast<std::size_t>(std::max<std::int64_t>(request.iRequestTransferred, 0)));
        fGood = check(answer, sError);
    }
    FreeAnswer();
    return fGood;
}

bool Exchanger::QueryBehind(const std::string& sCommand, DataBuffer& samples, std::size_t iBytes,
                            const AnswerCheck& check, std::string& sError) {
    // The room a stream connection wants for its first reception, and a block header and end.
    const std::size_t iRoom = std::max(iBytes + AnswerFrame, StreamTransfer::ReceiveChunk);
    if (!instance.pTransport || !instance.pTransport->KeepsAhead() || samples.empty() ||
        samples.capacity() - samples.size() < iRoom)
        return Query(sCommand, check, sError);
    uRequest& request = instance.request;
    const std::size_t iKeep = samples.size();
    request.fSend = 1;
    request.sCommand = sCommand;
    request.data.release();
    request.requestData = std::move(samples);
    request.iKeep = static_cast<std::int64_t>(iKeep);
    request.fRequestData = 1;
    request.fVendorSpecific = 0;
    request.eWait = 0;
    request.eBlockUnit = Instrument::eBlockUnit::Bytes;
    std::string sText;
    bool fGood = InstrumentDefault::SendRequest(instance, iWindow, sText);
    request.iKeep = 0;
    samples = std::move(request.requestData);
    request.requestData.release();
    // The answer stays in the room behind the valid samples until the check appends it.
    const std::size_t iAnswer = samples.size() > iKeep ? samples.size() - iKeep : 0;
    samples.setSize(iKeep);
    if (fGood) {
        InstrumentWaveform::uAnswer answer;
        answer.fFinished = request.fRequestFinished;
        answer.pData = samples.data() + iKeep;
        answer.iSize = std::min(iAnswer, static_cast<std::size_t>(std::max<std::int64_t>(request.iRequestTransferred, 0)));
        fGood = check(answer, sText);
    }
    InstrumentDefault::FreeReceiveData(instance);
    if (fGood) return true;
    sError = std::string(sReader) + ": Error sending and receiving the SCPI command: >" + sCommand + "< - " + sText;
    return false;
}

bool Exchanger::Query(const std::string& sCommand, const AnswerCheck& check, std::string& sError,
                      Instrument::eBlockUnit eUnit) {
    std::string sText;
    if (QueryBare(sCommand, check, sText, eUnit)) return true;
    sError = std::string(sReader) + ": Error sending and receiving the SCPI command: >" + sCommand + "< - " + sText;
    return false;
}

void Exchanger::Wrap(const char* sWhat, std::string& sError) const {
    sError = std::string(sReader) + ": " + sWhat + " - " + sError;
}

std::int64_t PieceAsked(const uPieces& pieces) {
    return std::max<std::int64_t>(std::min(pieces.iPiece, pieces.iTotal - pieces.iDone), 0);
}

uPieceCame PieceCame(const uPieces& pieces, std::uint64_t iBytes, std::uint64_t iAnnounced) {
    const auto iAsked = static_cast<std::uint64_t>(PieceAsked(pieces));
    uPieceCame came;
    if (pieces.iPointBytes <= 0) {
        const std::uint64_t iPoints = std::min({iAnnounced, iAsked, iBytes * 8});
        came.iPoints = static_cast<std::int64_t>(iPoints);
        came.iBytes = (iPoints + 7) / 8;
    } else {
        const auto iWidth = static_cast<std::uint64_t>(pieces.iPointBytes);
        const std::uint64_t iPoints = std::min(iBytes / iWidth, iAsked);
        came.iPoints = static_cast<std::int64_t>(iPoints);
        came.iBytes = iPoints * iWidth;
    }
    return came;
}

bool TakePiece(uPieces& pieces, std::int64_t iCame, std::string& sReason) {
    const std::int64_t iAsked = PieceAsked(pieces);
    if (iCame <= 0 || (pieces.iPointBytes <= 0 && iCame < iAsked && iCame % 8 != 0)) {
        sReason = ShortRecordText(pieces.iDone, pieces.iTotal);
        return false;
    }
    pieces.iDone += iCame;
    if (iCame < iAsked) pieces.iPiece = iCame;
    return true;
}

bool ReadPieces(uPieces pieces, const std::function<bool(std::int64_t, std::int64_t)>& fnAsk,
                const std::function<DataBuffer&()>& samples, const std::uint64_t& iAnnounced, const std::string& sLead,
                std::string& sError) {
    while (pieces.iDone < pieces.iTotal) {
        const std::size_t iHad = samples().size();
        if (!fnAsk(pieces.iDone, PieceAsked(pieces))) return false;
        const uPieceCame came = PieceCame(pieces, samples().size() - iHad, iAnnounced);
        samples().setSize(iHad + came.iBytes);
        std::string sShort;
        if (!TakePiece(pieces, came.iPoints, sShort)) {
            sError = sLead + sShort;
            return false;
        }
    }
    return true;
}

void CopyFlags(const uTables& tables, uWaveformData& data) {
    std::copy_n(tables.fVisible.begin(), data.fVisible.size(), data.fVisible.begin());
}

void CopyLineLabels(const uTables& tables, uWaveformData& data) {
    for (std::size_t e = WaveformDigital0; e <= WaveformDigital15; ++e) data.sLabel[e] = tables.sLabel[e];
}

bool AnyRequest(const uTaskWaveform& waveform) {
    return std::any_of(waveform.fSource.begin(), waveform.fSource.end(), [](std::int64_t f) { return f != 0; });
}

void ReserveSamples(DataBuffer& samples, std::int64_t iPoints, std::int64_t iBytesPerPoint) {
    if (iPoints <= 0 || iBytesPerPoint <= 0) return;
    const auto iWanted = static_cast<std::size_t>(iPoints) * static_cast<std::size_t>(iBytesPerPoint);
    samples.reserve(samples.size() + iWanted);
}

} // namespace WaveformFrame
