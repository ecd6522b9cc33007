// The waveform file writer of the Rigol oscilloscopes: 8-bit analogue channels described by
// their ":WAV:PRE?" preamble and unit, and the merged logic channel of 16-bit words.
#pragma once

#include "waveform/WaveformData.h"

#include <cstdint>
#include <string>
#include <vector>

namespace WaveformData {

// Writes one channel: the block at offset 0, one terminator byte, the ten preamble fields
// separated by "," and, for analogue channels, ";" and the unit. WaveformLogic is the merged
// logic channel. True when the file was written (also after a stop), else false with sError.
bool SaveWaveformRigol(const uWaveformRecordChannel& channel, const std::vector<uWaveformLogicLine>& logicLines,
                       const std::string& sFileName, std::int64_t iProgressStart, std::int64_t iProgressEnd,
                       const std::string& sManufacturer, const std::string& sModel, std::int64_t iSaveFormat,
                       WaveformDataInstance& instance, std::string& sError);

} // namespace WaveformData
