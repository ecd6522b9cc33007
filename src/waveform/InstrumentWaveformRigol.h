// The answer checks of the Rigol readers (DS1000Z: models 6 and 7; DS2000: models 8 and 9): the
// display state of channels and digital lines, the point count, data blocks, preambles, units
// and labels, the required-channels step and the name tables. The two families are twins; each
// procedure exists once per family, with the family's name.
#pragma once

#include "waveform/InstrumentWaveform.h"

#include <cstdint>
#include <string>

namespace InstrumentWaveform {

// Kinds of the name tables: the source after ":WAV:SOUR ", the header before ":UNIT?", the
// display name.
enum eRigolName : std::int64_t { RigolNameSource = 1, RigolNameHeader = 2, RigolNameDisplay = 3 };

// The query of a memory read's record length: the preamble's point count is the size of the
// current start/stop window, so the memory depth is asked for, with the sample rate and the
// time base that give it when the depth is "AUTO".
inline constexpr const char* RigolDepthQuery = ":ACQ:MDEP?;:ACQ:SRAT?;:TIM:SCAL?";
// The record length of the depth query's answer: the depth, or with "AUTO" sample rate x time
// base x the horizontal divisions (12 on the DS1000Z, 14 on the DS2000). False with the point
// count's error text when there is none.
bool RigolMemoryDepth(const std::string& sAnswer, bool fDS1000Z, std::int64_t& iPoints, std::string& sError);

// The most points of one memory piece (RAW mode answers at most 250000 points per request in
// BYTE, 125000 in WORD): the logic sources' pieces are those of the WORD width.
inline constexpr std::int64_t RigolPiecePoints(bool fLogic) { return fLogic ? 125000 : 250000; }
// The bytes of one point of a memory read: the MSO2000's logic comes as words of its sixteen
// lines (":WAV:FORM WORD"), everything else as bytes (the DS1000Z Plus reads its pods as bytes).
inline constexpr std::int64_t RigolPointBytes(std::int64_t eModel, bool fLogic) {
    return fLogic && eModel == ModelRigolMSO2000 ? 2 : 1;
}
// The request plan's queries of the shown channels (the logic state on a model with logic) and lines.
std::string RigolVisibleQuery(std::int64_t eModel);
inline std::string RigolLinesQuery() { return LineQueries({":LA:DIG#:DISP?", ":LA:DIG#:LAB?"}); }

bool RigolDS1000ZCheckVisibleChannels(std::int64_t eModel, const uAnswer& answer, uFlagTable& fVisible, std::string& sError);
bool RigolDS1000ZCheckVisibleDigitalChannels(std::int64_t eModel, const uAnswer& answer, uFlagTable& fVisible,
                                             uLabelTable& sLabel, std::string& sError);
bool RigolDS1000ZCheckAcquirePoints(std::int64_t eModel, const uAnswer& answer, std::int64_t& iPoints, std::string& sError);
bool RigolDS1000ZCheckChannelData(std::int64_t eModel, const uAnswer& answer, std::int64_t eWaveform, uWaveformData& data,
                                  std::string& sError);
bool RigolDS1000ZCheckPreamble(std::int64_t eModel, const uAnswer& answer, std::int64_t eWaveform, uWaveformData& data,
                               std::string& sError);
bool RigolDS1000ZCreatePreamble(std::int64_t eWaveform, uWaveformData& data, std::string& sError);
bool RigolDS1000ZCheckUnitAndLabel(std::int64_t eModel, const uAnswer& answer, std::int64_t eWaveform, uWaveformData& data,
                                   std::string& sError);
void RigolDS1000ZRequiredChannels(std::int64_t eModel, const uTaskWaveform& waveform, uFlagTable& fVisible);
void RigolDS1000ZSetLogicLabel(std::int64_t eWaveform, uWaveformData& data, const uLabelTable& sLabel);
std::string RigolDS1000ZChannelName(std::int64_t eWaveform, std::int64_t eKind);

bool RigolDS2000CheckVisibleChannels(std::int64_t eModel, const uAnswer& answer, uFlagTable& fVisible, std::string& sError);
bool RigolDS2000CheckVisibleDigitalChannels(std::int64_t eModel, const uAnswer& answer, uFlagTable& fVisible,
                                            uLabelTable& sLabel, std::string& sError);
bool RigolDS2000CheckAcquirePoints(std::int64_t eModel, const uAnswer& answer, std::int64_t& iPoints, std::string& sError);
bool RigolDS2000CheckChannelData(std::int64_t eModel, const uAnswer& answer, std::int64_t eWaveform, uWaveformData& data,
                                 std::string& sError);
bool RigolDS2000CheckPreamble(std::int64_t eModel, const uAnswer& answer, std::int64_t eWaveform, uWaveformData& data,
                              std::string& sError);
bool RigolDS2000CreatePreamble(std::int64_t eWaveform, uWaveformData& data, std::string& sError);
bool RigolDS2000CheckUnitAndLabel(std::int64_t eModel, const uAnswer& answer, std::int64_t eWaveform, uWaveformData& data,
                                  std::string& sError);
void RigolDS2000RequiredChannels(std::int64_t eModel, const uTaskWaveform& waveform, uFlagTable& fVisible);
void RigolDS2000SetLogicLabel(std::int64_t eWaveform, uWaveformData& data, const uLabelTable& sLabel);
std::string RigolDS2000ChannelName(std::int64_t eWaveform, std::int64_t eKind);

// The Rigol preamble answer as numbers: ten fields at ","; missing fields stay 0.
uPreambleRigol ParseRigolPreamble(std::string_view sAnswer);

} // namespace InstrumentWaveform
