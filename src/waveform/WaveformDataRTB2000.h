// The waveform file writer of the R&S RTB2000: the data header and channel settings that the
// waveform window chains behind the block, and the sample layouts of the instrument (8-bit,
// 10-bit sources as 16-bit words, averages as 32-bit words, envelope pairs, merged logic words).
#pragma once

#include "waveform/WaveformData.h"

#include <cstdint>
#include <string>
#include <vector>

namespace WaveformData {

// Writes one channel; true when the file was written (also after a stop), else false with the
// text in sError.
bool SaveWaveformRTB2000(const uWaveformRecordChannel& channel, const std::vector<uWaveformLogicLine>& logicLines,
                         const std::string& sFileName, std::int64_t iProgressStart, std::int64_t iProgressEnd,
                         const std::string& sManufacturer, const std::string& sModel, std::int64_t iSaveFormat,
                         WaveformDataInstance& instance, std::string& sError);

} // namespace WaveformData
