// The waveform reader of the R&S RTB2000 oscilloscopes (models 3 and 4): channels, math,
// references, the envelopes of an envelope acquisition and the two logic probes.
#pragma once

#include "instrument/WaveformRead.h"

#include <string>

namespace InstrumentDefault {

bool GetWaveformRohdeSchwarzRTB2000(uInstance& instance, int iWindow, uTaskWaveform& waveform, uWaveformData& data,
                                    std::string& sError);

} // namespace InstrumentDefault
