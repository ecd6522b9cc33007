// The waveform file writer of the HAMEG oscilloscopes: ":TRAC:DATA " and the block, then the
// trace's own ":TRAC:" items; analogue, MINMAX and logic pod traces.
#pragma once

#include "waveform/WaveformData.h"

#include <cstdint>
#include <string>
#include <vector>

namespace WaveformData {

// Writes one trace (the logic lines are not used: a pod arrives as one trace of four lines).
// True when the file was written (also after a stop), else false with the text in sError.
bool SaveWaveformHameg(const uWaveformRecordChannel& channel, const std::vector<uWaveformLogicLine>& logicLines,
                       const std::string& sFileName, std::int64_t iProgressStart, std::int64_t iProgressEnd,
                       const std::string& sManufacturer, const std::string& sModel, std::int64_t iSaveFormat,
                       WaveformDataInstance& instance, std::string& sError);

} // namespace WaveformData
