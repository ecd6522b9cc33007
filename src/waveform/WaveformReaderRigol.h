// The waveform readers of the Rigol oscilloscopes: DS1000Z (models 6 and 7) and DS2000 (models 8
// and 9). Each reads the shown or asked-for channels from the screen (NORM) or the memory (RAW,
// the acquisition stopped first), fetching long records in parts.
#pragma once

#include "instrument/WaveformRead.h"

#include <string>

namespace InstrumentDefault {

bool GetWaveformRigolDS1000Z(uInstance& instance, int iWindow, uTaskWaveform& waveform, uWaveformData& data,
                             std::string& sError);
bool GetWaveformRigolDS2000(uInstance& instance, int iWindow, uTaskWaveform& waveform, uWaveformData& data,
                            std::string& sError);

} // namespace InstrumentDefault
