// The answer checks of the Siglent reader (SDS2000X Plus: models 18 and 19; SDS5000X through the
// reader's model mapping): the display state of channels, functions and digital lines, the
// point count, data parts (bare blocks or behind "DAT2,"), the binary descriptor (bare or behind "DESC,"),
// unit and label, the required-channels step, the logic labels and the name table. The model
// they take is the effective one (18 or 19).
#pragma once

#include "waveform/InstrumentWaveform.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace InstrumentWaveform {

// Kinds of the name table: the source after ":WAV:SOUR ", the command prefix of the unit and
// label queries, the display name.
enum eSiglentName : std::int64_t { SiglentNameSource = 1, SiglentNamePrefix = 2, SiglentNameDisplay = 3 };

bool SiglentSDS2000XPlusCheckVisibleChannels(std::int64_t eModel, const uAnswer& answer, uFlagTable& fVisible,
                                             std::string& sError);
bool SiglentSDS2000XPlusCheckVisibleDigitalChannels(std::int64_t eModel, const uAnswer& answer, uFlagTable& fVisible,
                                                    uLabelTable& sLabel, std::string& sError);
bool SiglentSDS2000XPlusCheckAcquirePoints(std::int64_t eModel, const uAnswer& answer, std::int64_t& iPoints,
                                           std::string& sError);
// Appends the part's bytes to the source's samples (the element is added on the first part);
// piAnnounced (when not null) receives the count its block announces.
bool SiglentSDS2000XPlusCheckChannelData(std::int64_t eModel, const uAnswer& answer, std::int64_t eWaveform,
                                         uWaveformData& data, std::string& sError, std::uint64_t* piAnnounced = nullptr);
// Appends the descriptor block to the element's raw preamble; no parsed preamble is made.
bool SiglentSDS2000XPlusCheckPreamble(std::int64_t eModel, const uAnswer& answer, std::int64_t eWaveform,
                                      uWaveformData& data, std::string& sError);
bool SiglentSDS2000XPlusCheckUnitAndLabel(std::int64_t eModel, const uAnswer& answer, std::int64_t eWaveform,
                                          uWaveformData& data, std::string& sError);
// The most points of one data piece, as both the waveform window and a script read them: the
// instrument's MAXPoint (sMaxPoint, the answer to ":WAV:MAXP?"; empty when none came) when it
// counts 8 points or more, never more than SiglentPartPoints, which is also the fallback (half of
// it for samples of two bytes); lines in whole bytes of eight points.
inline constexpr std::int64_t SiglentPartPoints = 10000000;
inline constexpr const char* SiglentMaxPointQuery = ":WAV:MAXP?";
// The request plan's queries of the shown channels and lines.
std::string SiglentVisibleQuery(std::int64_t eModel);
inline std::string SiglentLinesQuery() { return LineQueries({":DIG:D#?", ":DIG:LAB#?"}); }
std::int64_t SiglentPiecePoints(std::string_view sMaxPoint, bool fLine, std::int64_t iSampleBytes);
// Where the block of a ":WAV:DATA?" answer begins: bare at 0, as the current guide shows it, or
// behind "DAT2," (earlier firmware; compared upper-cased) at 5; npos for neither.
std::size_t SiglentDataOffset(std::string_view sAnswer);
std::string SiglentSDS2000XPlusChannelName(std::int64_t eWaveform, std::int64_t eKind);
void SiglentSDS2000XPlusRequiredChannels(std::int64_t eModel, const uTaskWaveform* pWaveform, uFlagTable& fVisible);
void SiglentSDS2000XPlusSetLogicLabel(std::int64_t eWaveform, uWaveformData* pData, const uLabelTable& sLabel);

} // namespace InstrumentWaveform
