// The waveform reader of the Siglent oscilloscopes: the SDS2000X Plus (models 18 and 19) and,
// under their model mapping, the SDS5000X (22 and 23). Traces are read from the memory in parts.
#pragma once

#include "instrument/WaveformRead.h"

#include <string>

namespace InstrumentDefault {

// Reads as the model eEffective (18 or 19) would be read; the instance's own model plays no part.
bool GetWaveformSiglentSDS2000XPlus(uInstance& instance, int iWindow, uTaskWaveform& waveform, uWaveformData& data,
                                    std::string& sError, std::int64_t eEffective);
// The reader of the table: the instance's model, with 22 read as 18 and 23 as 19.
bool GetWaveformSiglentAlias(uInstance& instance, int iWindow, uTaskWaveform& waveform, uWaveformData& data,
                             std::string& sError);

} // namespace InstrumentDefault
