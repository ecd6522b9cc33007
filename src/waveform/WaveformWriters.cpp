#include "waveform/WaveformWriters.h"

#include "waveform/WaveformData.h"
#include "waveform/WaveformDataHameg.h"
#include "waveform/WaveformDataRTB2000.h"
#include "waveform/WaveformDataRigol.h"
#include "waveform/WaveformDataSiglent.h"

namespace WaveformWriters {

void Register() {
    using namespace WaveformData;
    SetWriter(WriterHameg, SaveWaveformHameg);
    SetWriter(WriterRigol, SaveWaveformRigol);
    SetWriter(WriterRTB2000, SaveWaveformRTB2000);
    SetWriter(WriterSiglent, SaveWaveformSiglent);
}

} // namespace WaveformWriters
