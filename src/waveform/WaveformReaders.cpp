#include "waveform/WaveformReaders.h"

#include "instrument/ModelTable.h"
#include "instrument/WaveformRead.h"
#include "waveform/WaveformReaderHameg.h"
#include "waveform/WaveformReaderRigol.h"
#include "waveform/WaveformReaderRohdeSchwarz.h"
#include "waveform/WaveformReaderSiglent.h"

namespace WaveformReaders {

void Register() {
    using namespace InstrumentDefault;
    SetWaveformReader(ModelRigolDS1000Z, GetWaveformRigolDS1000Z);
    SetWaveformReader(ModelRigolDS1000ZPlus, GetWaveformRigolDS1000Z);
    SetWaveformReader(ModelRigolDS2000, GetWaveformRigolDS2000);
    SetWaveformReader(ModelRigolMSO2000, GetWaveformRigolDS2000);
    SetWaveformReader(ModelRohdeSchwarzRTB2000Ch2, GetWaveformRohdeSchwarzRTB2000);
    SetWaveformReader(ModelRohdeSchwarzRTB2000Ch4, GetWaveformRohdeSchwarzRTB2000);
    SetWaveformReader(ModelHamegHM2008, GetWaveformHamegHM2008);
    SetWaveformReader(ModelHamegHM1508, GetWaveformHamegHM2008);
    SetWaveformReader(ModelHamegHM1008, GetWaveformHamegHM2008);
    SetWaveformReader(ModelSiglentSDS2000XPlusCh2, GetWaveformSiglentAlias);
    SetWaveformReader(ModelSiglentSDS2000XPlusCh4, GetWaveformSiglentAlias);
    SetWaveformReader(ModelSiglentSDS5000XCh2, GetWaveformSiglentAlias);
    SetWaveformReader(ModelSiglentSDS5000XCh4, GetWaveformSiglentAlias);
}

} // namespace WaveformReaders
