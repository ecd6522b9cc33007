// The answer checks of the Siglent reader (SDS2000X Plus: models 18 and 19; SDS5000X through the
// reader's model mapping): the display state of channels, functions and digital lines, the
// point count, data parts (bare blocks or behind "DAT2,"), the binary descriptor (bare or behind "DESC,"),
// unit and label, the required-channels step, the logic labels and the name table. The model
// they take is the effective one (18 or 19).
#pragma once

#include "waveform/InstrumentWaveform.h"

#include <cstdint>
#include <string>

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
// Appends the part's bytes to the source's samples (the element is added on the first part).
bool SiglentSDS2000XPlusCheckChannelData(std::int64_t eModel, const uAnswer& answer, std::int64_t eWaveform,
                                         uWaveformData& data, std::string& sError);
// Appends the descriptor block to the element's raw preamble; no parsed preamble is made.
bool SiglentSDS2000XPlusCheckPreamble(std::int64_t eModel, const uAnswer& answer, std::int64_t eWaveform,
                                      uWaveformData& data, std::string& sError);
bool SiglentSDS2000XPlusCheckUnitAndLabel(std::int64_t eModel, const uAnswer& answer, std::int64_t eWaveform,
                                          uWaveformData& data, std::string& sError);
std::string SiglentSDS2000XPlusChannelName(std::int64_t eWaveform, std::int64_t eKind);
void SiglentSDS2000XPlusRequiredChannels(std::int64_t eModel, const uTaskWaveform* pWaveform, uFlagTable& fVisible);
void SiglentSDS2000XPlusSetLogicLabel(std::int64_t eWaveform, uWaveformData* pData, const uLabelTable& sLabel);

} // namespace InstrumentWaveform
