// The frame every waveform file writer runs in: the answer and block checks, the description,
// the header built in memory, the rows (CSV) or packed records (BIN) through one buffer, the
// progress and stop check points, the events and the BIN back-patch. A maker's writer gives only
// what is its own: description items, column names and the conversion of its samples.
//
// CSV: maker SEP model SEP channel, one "key SEP value" line per description item, the column
// line "Number" SEP time column SEP value columns, then one row per sample; lines end "\r\n".
// BIN: "DATA OFFSET", the header length H as int32 LE, the rest of the header (SEP ","), then
// from H the packed little-endian records (int32 row number, time, the writer's fields).
#pragma once

#include "common/FileSaving.h"
#include "waveform/WaveformData.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace WaveformData {

// The rows or records of the loop steps, gathered until the frame writes them out. The BIN
// fields go straight into a block of bytes; the text of CSV rows into a string.
class uRowSink {
  public:
    uRowSink(bool fBinary, char cSeparator, std::size_t iReserve);
    // Starts a row: its number, then the time (12 decimals; BIN a float64, or a float32).
    void Row(double dTime) {
        Number();
        if (fBinary)
            Put(dTime);
        else
            TextReal(dTime, 12);
    }
    void RowFloatTime(double dTime) {
        if (!fBinary) {
            Row(dTime);
            return;
        }
        Number();
        Put(static_cast<float>(dTime));
    }
    // A sample value (10 decimals; BIN a float64).
    void Value(double dValue) {
        if (fBinary)
            Put(dValue);
        else
            TextReal(dValue, 10);
    }
    // A field of the BIN record only (CSV rows do not show it).
    void BinaryValue(double dValue) {
        if (fBinary) Put(dValue);
    }
    // A logic line state ("0" or "1"; BIN one byte).
    void State(bool fHigh) {
        if (fBinary)
            Put(static_cast<char>(fHigh ? 1 : 0));
        else
            TextState(fHigh);
    }
    void EndRow() {
        if (!fBinary) sText.append("\r\n", 2);
    }
    std::int64_t Rows() const { return iRows; }
    // The bytes gathered and not yet written.
    std::size_t Gathered() const { return fBinary ? iUsed : sText.size(); }
    // Writes the gathered bytes to the file and forgets them; false with the reason when the
    // write failed.
    bool WriteTo(Utility::uFileSave& file, std::string& sReason);

  private:
    void Number() {
        ++iRows;
        if (fBinary)
            Put(static_cast<std::int32_t>(iRows));
        else
            TextNumber();
    }
    // The program runs on little-endian machines only; the bytes go as they lie.
    template <typename T>
    void Put(T value) {
        if (iUsed + sizeof value > iCapacity) Grow();
        std::memcpy(pBlock.get() + iUsed, &value, sizeof value);
        iUsed += sizeof value;
    }
    void Grow();
    void TextNumber();
    void TextReal(double dValue, int iDecimals);
    void TextState(bool fHigh);

    bool fBinary;
    char cSeparator;
    std::int64_t iRows = 0;
    std::string sText;                  // CSV
    std::unique_ptr<char[]> pBlock;     // BIN
    std::size_t iCapacity = 0, iUsed = 0;
};

struct uFileHeader {
    std::string sLeadLine; // when not empty, a line of its own (no separator) before the items
    std::vector<std::pair<std::string, std::string>> Items; // description lines, key and value
    std::string sTimeColumn = "Time in s";
    std::vector<std::string> ValueColumns;
};

// What one maker's writer plugs into the frame.
struct uFileWriter {
    virtual ~uFileWriter() = default;
    std::string sProcedure;   // "WaveformData::SaveWaveformRigol": the prefix of its texts
    std::string sNoDescription; // logged when nothing describes the trace after the block
    std::string sCountName = "iChannelDataSize";
    std::size_t iBlockOffset = 0;  // where the block header stands in the answer
    std::size_t iStepBytes = 2;    // data bytes per loop step
    std::int64_t iCheckEvery = 1;  // loop steps between two check points
    std::int64_t iBytesPerRow = 1; // progress: the byte count per row divisor
    bool fLogicRecords = false;    // BIN rows are logic records
    // Describe gets every byte after the block as it stands (terminator included, untrimmed),
    // for descriptions that are binary.
    bool fRawDescription = false;

    // Fills the header from the description (trimmed; empty when there is none) and prepares the
    // conversion; false with the text in sError stops the file before it is created.
    virtual bool Describe(const std::string& sDescription, std::uint64_t iCount, uFileHeader& header,
                          std::string& sError) = 0;
    // Converts one step (iBytes, fewer than iStepBytes only at the end) into rows.
    virtual void Step(const std::uint8_t* pStep, std::size_t iBytes, uRowSink& rows) = 0;
};

// Writes the channel into the file through the writer. True when the whole file was written and
// put under its name (the next free one when the instance asks for a name no file has, see
// nextFreeName); false with the text in sError (StoppedText when a stop, 6 or 8, came first),
// and then no file of this call stands under the name (a file that was there stays). The
// failures are not logged here: the save thread logs them.
bool WriteWaveformFile(uFileWriter& writer, const uWaveformRecordChannel& channel, const std::string& sFileName,
                       std::int64_t iProgressStart, std::int64_t iProgressEnd, const std::string& sManufacturer,
                       const std::string& sModel, std::int64_t iSaveFormat, WaveformDataInstance& instance,
                       std::string& sError);

// Header number texts: reals with at most 12 decimals ("2", "0.5", "-0.000000001").
std::string HeaderReal(double dValue);
// The integer part of an instrument's real (cut toward zero in floating point, no decimals).
std::string HeaderWhole(double dValue);

// The shown logic lines of a record, in list order.
std::vector<uWaveformLogicLine> ShownLines(const std::vector<uWaveformLogicLine>& lines);
// Column names of logic lines: "D" + line, then " [" + label + "]" when labelled.
std::vector<std::string> LogicColumns(const std::vector<uWaveformLogicLine>& shown);
// One row of a logic word (bit n = line Dn): the state of each shown line.
void LogicRow(std::uint16_t iWord, const std::vector<uWaveformLogicLine>& shown, double dTime, uRowSink& rows);

// One loop step of the writers of byte samples with a merged logic channel: one 16-bit word
// (a lone last byte is no word and is not read), or one row per byte. k is the time index of
// the next row; Time(k) and Value(byte) are the writer's formulas.
template <typename TimeOf, typename ValueOf>
void ByteOrWordStep(const std::uint8_t* p, std::size_t iBytes, bool fLogic,
                    const std::vector<uWaveformLogicLine>& shown, std::int64_t& k, TimeOf Time, ValueOf Value,
                    uRowSink& rows) {
    if (fLogic) {
        if (iBytes < 2) return;
        LogicRow(static_cast<std::uint16_t>(p[0] | (p[1] << 8)), shown, Time(k), rows);
        ++k;
        return;
    }
    for (std::size_t i = 0; i < iBytes; ++i) {
        rows.Row(Time(k));
        rows.Value(Value(p[i]));
        rows.EndRow();
        ++k;
    }
}
// True when there is a description and none of the fields the writer cannot do without is
// empty; else false with sError (the writer's prefix, then the reason).
bool HasDescription(const std::string& sProcedure, const std::string& sDescription,
                        std::initializer_list<std::string_view> needed, std::string& sError);
// UTF-8 text as one byte per character: Latin-1 where it fits, else "?".
std::string ToSingleByte(const std::string& sText);

} // namespace WaveformData
