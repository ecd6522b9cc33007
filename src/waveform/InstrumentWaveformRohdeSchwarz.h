// The answer checks of the RTB2000 reader (models 3 and 4): displayed sources, digital lines,
// acquisition type, point counts, data blocks, data headers, units and labels, the
// required-channels step, the pods' labels and the channel names.
#pragma once

#include "waveform/InstrumentWaveform.h"

#include <cstdint>
#include <string>

namespace InstrumentWaveform {

// Kinds of the name table: the source name in commands, the name of a channel without label.
enum eRohdeSchwarzName : std::int64_t { RohdeSchwarzNameSource = 2, RohdeSchwarzNameDisplay = 3 };

bool RohdeSchwarzRTB2000CheckVisibleChannels(std::int64_t eModel, const uAnswer& answer, uFlagTable& fVisible,
                                             std::string& sError);
bool RohdeSchwarzRTB2000CheckVisibleDigitalChannels(std::int64_t eModel, const uAnswer& answer, uFlagTable& fVisible,
                                                    uLabelTable& sLabel, std::string& sError);
// 1 "REFR", 2 "AVER", 3 "ENV", 0 anything else.
bool RohdeSchwarzRTB2000CheckAcquireType(std::int64_t eModel, const uAnswer& answer, std::int64_t& eType,
                                         std::string& sError);
// A channel's data block of iBytes holds its values of iValueBytes each, a pair per point for an
// envelope: fewer points than its count iPoints is no record (false, the short-record text in
// sReason). The waveform window and a script's read both take a channel by it.
// The acquire type's answer: 1 REFResh, 2 AVERage, 3 ENVelope, 0 any other.
inline std::int64_t RohdeSchwarzAcquireType(std::string_view s) { return s == "REFR" ? 1 : s == "AVER" ? 2 : s == "ENV" ? 3 : 0; }
inline std::string RohdeSchwarzLinesQuery() { return LineQueries({":DIG#:DISP?", ":DIG#:LAB?", ":DIG#:LAB:STAT?"}); }
bool RohdeSchwarzRTB2000WholeChannel(std::uint64_t iBytes, std::int64_t iValueBytes, bool fEnvelope,
                                     std::int64_t iPoints, std::string& sReason);
bool RohdeSchwarzRTB2000CheckAcquirePoints(std::int64_t eModel, const uAnswer& answer, std::int64_t& iPoints,
                                           std::string& sError);
bool RohdeSchwarzRTB2000CheckChannelData(std::int64_t eModel, const uAnswer& answer, std::int64_t eWaveform,
                                         uWaveformData& data, std::string& sError);
bool RohdeSchwarzRTB2000CheckPreamble(std::int64_t eModel, const uAnswer& answer, std::int64_t eWaveform,
                                      uWaveformData& data, std::string& sError);
bool RohdeSchwarzRTB2000CreatePreamble(std::int64_t eWaveform, uWaveformData& data, std::string& sError);
bool RohdeSchwarzRTB2000CheckUnitAndLabel(std::int64_t eModel, const uAnswer& answer, std::int64_t eWaveform,
                                          uWaveformData& data, std::string& sError);
void RohdeSchwarzRTB2000RequiredChannels(std::int64_t eModel, const uTaskWaveform& waveform, uFlagTable& fVisible);
void RohdeSchwarzRTB2000SetLogicLabel(std::int64_t eWaveform, uWaveformData& data, const uLabelTable& sLabel);
std::string RohdeSchwarzRTB2000ChannelName(std::int64_t eWaveform, std::int64_t eKind);

// The header answer (";" answers, the first of them four "," fields) as numbers.
uPreambleRohdeSchwarz ParseRohdeSchwarzHeader(std::string_view sAnswer);

} // namespace InstrumentWaveform
