// The waveform reader of the HAMEG oscilloscopes HM2008, HM1508 and HM1008 (models 15 to 17):
// each displayed trace with its description, one byte per sample.
#pragma once

#include "instrument/WaveformRead.h"

#include <string>

namespace InstrumentDefault {

bool GetWaveformHamegHM2008(uInstance& instance, int iWindow, uTaskWaveform& waveform, uWaveformData& data,
                            std::string& sError);

} // namespace InstrumentDefault
