// The frame that every waveform reader follows: its working tables, the request exchange with
// its two message shapes, and the copy of the tables into the waveform record.
#pragma once

#include "common/DataBuffer.h"
#include "instrument/InstrumentDefault.h"
#include "instrument/WaveformRead.h"
#include "transport/BlockHeader.h"
#include "waveform/InstrumentWaveform.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace WaveformFrame {

// Only entries 0 to 55 of the tables reach the record.
struct uTables {
    InstrumentWaveform::uFlagTable fVisible{};
    InstrumentWaveform::uLabelTable sLabel;
};

// A record read in parts whose instrument stopped sending before its count (a reader puts
// "<reader>: <source> - " before it).
inline std::string ShortRecordText(std::int64_t iReceived, std::int64_t iExpected) {
    return "The record ends short of its count, points received / expected: " + std::to_string(iReceived) + " / " +
           std::to_string(iExpected);
}

// A record read in pieces, by the waveform window and a script's waveform task alike: the next
// piece asks PieceAsked points from iDone on (points count from 0).
struct uPieces {
    std::int64_t iTotal = 0;      // the record's points
    std::int64_t iPiece = 0;      // the most points one piece asks
    std::int64_t iDone = 0;       // the points that came: the next piece starts behind them
    std::int64_t iPointBytes = 1; // bytes of one sample; 0: lines, eight points to a byte
};
std::int64_t PieceAsked(const uPieces& pieces);
// The points of a piece's block of iBytes (iAnnounced: a line block's points), never more than
// asked, and the bytes they fill: whole samples only (no odd byte of a two-byte sample).
struct uPieceCame {
    std::int64_t iPoints = 0;
    std::uint64_t iBytes = 0;
};
uPieceCame PieceCame(const uPieces& pieces, std::uint64_t iBytes, std::uint64_t iAnnounced);
// Takes a piece of iCame points: the next starts behind them, and after a short piece none asks
// more than came. False, with the short-record text in sReason: nothing came, or lines stopped
// inside a byte before their end.
bool TakePiece(uPieces& pieces, std::int64_t iCame, std::string& sReason);
// A script's read of a record in the pieces of the plan: each asked by fnAsk(first point, count)
// and appended to samples() by its check (iAnnounced: what a line's block announced), cut to
// whole samples. False with fnAsk's failure, or sLead and the short-record text.
bool ReadPieces(uPieces pieces, const std::function<bool(std::int64_t, std::int64_t)>& fnAsk,
                const std::function<DataBuffer&()>& samples, const std::uint64_t& iAnnounced, const std::string& sLead,
                std::string& sError);

// Checks an answer; fails with its text in sError.
using AnswerCheck = std::function<bool(const InstrumentWaveform::uAnswer& answer, std::string& sError)>;

// One reader's exchanges with the instance; sReader is its name, the prefix of its messages.
class Exchanger {
  public:
    Exchanger(InstrumentDefault::uInstance& instance, int iWindow, const char* sReader)
        : instance(instance), iWindow(iWindow), sReader(sReader) {}

    // A command without answer. Failure: "<reader>: Error sending the SCPI command: >cmd< - " + text.
    bool Command(const std::string& sCommand, std::string& sError);
    // A query whose answer goes to the check and is freed after it, whatever the check said.
    // Failure of either: "<reader>: Error sending and receiving the SCPI command: >cmd< - " + text.
    // eUnit tells what the count of the answer's block counts (Bits: a logic line's points), so
    // that a stream transport ends the answer behind its bytes.
    bool Query(const std::string& sCommand, const AnswerCheck& check, std::string& sError,
               Instrument::eBlockUnit eUnit = Instrument::eBlockUnit::Bytes);
    // A query whose failure keeps the text of the exchange or the check as it is.
    bool QueryBare(const std::string& sCommand, const AnswerCheck& check, std::string& sError,
                   Instrument::eBlockUnit eUnit = Instrument::eBlockUnit::Bytes);
    // Query, with the answer read straight behind the samples into their block where the
    // connection can (InstrumentTransport::KeepsAhead) and the block has room for an answer of
    // iBytes data bytes: the check then sees the answer in the samples' room behind their valid
    // bytes, and appending its block there moves it down by its header instead of copying it
    // from elsewhere. Otherwise (the first part, the last one in a block reserved to the byte)
    // a plain Query. The samples keep their valid bytes whatever happens.
    bool QueryBehind(const std::string& sCommand, DataBuffer& samples, std::size_t iBytes, const AnswerCheck& check,
                     std::string& sError);
    // Prefixes a failure text: "<reader>: " + sWhat + " - " + sError.
    void Wrap(const char* sWhat, std::string& sError) const;

    InstrumentDefault::uInstance& Instance() { return instance; }

  private:
    bool Send(const std::string& sCommand, bool fQuery, Instrument::eBlockUnit eUnit, std::string& sError);
    // Frees the answer in the request block; its memory stays with the reader for the next one.
    void FreeAnswer();

    InstrumentDefault::uInstance& instance;
    int iWindow;
    const char* sReader;
    DataBuffer mAnswer; // no bytes, only memory: lent to the next query
};

// The visibility flags 0 to 55 into the record.
void CopyFlags(const uTables& tables, uWaveformData& data);
// The labels of the digital lines (13 to 28) into the record.
void CopyLineLabels(const uTables& tables, uWaveformData& data);
// Any request flag 0 to 55 set.
bool AnyRequest(const uTaskWaveform& waveform);

// Reserves an element's sample block for a source whose size is known before its parts arrive,
// so that appending the parts never moves it. A reservation that fails is left to the checks.
void ReserveSamples(DataBuffer& samples, std::int64_t iPoints, std::int64_t iBytesPerPoint);

} // namespace WaveformFrame
