#include "waveform/WaveformReaders.h"

#include "instrument/ModelTable.h"
#include "instrument/WaveformRead.h"
#include "waveform/WaveformReaderRigol.h"
#include "waveform/WaveformReaderRohdeSchwarz.h"

namespace WaveformReaders {

void Register() {
    using namespace InstrumentDefault;
    SetWaveformReader(ModelRigolDS1000Z, GetWaveformRigolDS1000Z);
    SetWaveformReader(ModelRigolDS1000ZPlus, GetWaveformRigolDS1000Z);
    SetWaveformReader(ModelRigolDS2000, GetWaveformRigolDS2000);
    SetWaveformReader(ModelRigolMSO2000, GetWaveformRigolDS2000);
    SetWaveformReader(ModelRohdeSchwarzRTB2000Ch2, GetWaveformRohdeSchwarzRTB2000);
    SetWaveformReader(ModelRohdeSchwarzRTB2000Ch4, GetWaveformRohdeSchwarzRTB2000);
}

} // namespace WaveformReaders
