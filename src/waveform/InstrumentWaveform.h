// What the answer checks of every maker share: the answer as a check sees it, the elements of
// the waveform record, the definite-length data block appended to a source, the raw preamble,
// the number conversions of instrument text, and the release of a record's blocks.
#pragma once

#include "instrument/WaveformRead.h"
#include "transport/BlockHeader.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace InstrumentWaveform {

// A reader's working tables, indexed by eWaveform: one entry more than the record's tables.
inline constexpr std::size_t TableSize = 57;
using uFlagTable = std::array<std::int64_t, TableSize>;
using uLabelTable = std::array<std::string, TableSize>;

// One answer of the request block: the receive-finished flag and the bytes that arrived.
struct uAnswer {
    std::int64_t fFinished = 0;
    const std::uint8_t* pData = nullptr;
    std::size_t iSize = 0;
    std::string_view Bytes() const { return {reinterpret_cast<const char*>(pData), iSize}; }
};

// Releases every sample block, raw preamble and parsed preamble of the record's elements; the
// elements, strings and labels stay. Returns false always.
bool FreeWaveformData(uWaveformData& data);

// The element of the source in its list, or nullptr; FindOrAdd appends one when there is none.
uWaveformAnalogChannel* FindAnalog(uWaveformData& data, std::int64_t eWaveform);
uWaveformDigitalChannel* FindDigital(uWaveformData& data, std::int64_t eWaveform);
uWaveformAnalogChannel& FindOrAddAnalog(uWaveformData& data, std::int64_t eWaveform);
uWaveformDigitalChannel& FindOrAddDigital(uWaveformData& data, std::int64_t eWaveform);

// The answer checks' guards; on failure the text is "InstrumentWaveform::" + sProcedure + ": " + message.
bool HasData(const char* sProcedure, const uAnswer& answer, std::string& sError);
bool ValidSource(const char* sProcedure, std::int64_t eWaveform, std::string& sError);

// Appends the payload of the definite-length block that the answer holds to samples. Fails with
// the German texts of a short answer, a missing header, a zero count, and a count larger than
// the bytes that follow the header. Bytes after the payload are not stored.
bool AppendBlock(const char* sProcedure, const uAnswer& answer, DataBuffer& samples, std::string& sError);
// The same for a block that begins at iOffset, behind a text header that the caller checked. With
// eUnit Bits the count counts points packed eight to a byte, and count / 8 rounded up bytes are
// taken. A block that its answer's end or next answer does not follow announced fewer bytes than
// came (BlockEnds). piEnd and piCount (when not null) receive the offset behind the payload and
// the announced count.
bool AppendBlockAt(const char* sProcedure, const uAnswer& answer, std::size_t iOffset, Instrument::eBlockUnit eUnit,
                   DataBuffer& samples, std::string& sError, std::size_t* piEnd = nullptr,
                   std::uint64_t* piCount = nullptr);
// Whether what follows a data block ending at iEnd ends it: nothing, the message end or ";".
bool BlockEnds(const std::uint8_t* pData, std::size_t iSize, std::size_t iEnd);
// Replaces the raw preamble with a copy of the answer.
bool CopyPreamble(const char* sProcedure, const uAnswer& answer, DataBuffer& raw, std::string& sError);

// The answer's bytes as text with " \t\r\n" trimmed from both ends, and split at the separator.
std::string AnswerText(std::string_view bytes);
std::vector<std::string> Fields(std::string_view sText, std::string_view sSeparator);

// Instrument numbers: a real is the leading decimal number with sign, fraction and exponent (0
// when there is none; "nan" and "inf" as such; beyond double's range infinite); a whole number
// is the leading sign and digits (0 when there are none or it does not fit).
double ToReal(std::string_view sText);
std::int64_t ToWhole(std::string_view sText);
// A real cut to its integer part; 0 when it is not finite or does not fit.
std::int64_t RealToWhole(double dValue);

// The largest point count that an instrument's answer may give.
inline constexpr double MaxPointCount = 1e9;

// The point count of an answer field: stored in iPoints and true for a finite count from 1 to
// MaxPointCount; otherwise iPoints = 0 and sError = "Die Anzahl ist ungültig. Antwort: >" (not
// finite, or too large) or "Die Anzahl ist nicht größer Null. Antwort: >" + sAnswer + "<".
bool TakePointCount(std::string_view sField, const std::string& sAnswer, std::int64_t& iPoints, std::string& sError);
// The digital lines' queries of a request plan: each form sixteen times, its "#" the line number
// 0 to 15, joined with ";".
std::string LineQueries(std::initializer_list<std::string_view> forms);

// The field without every leading and trailing double quote.
std::string Unquote(std::string_view sField);

} // namespace InstrumentWaveform
