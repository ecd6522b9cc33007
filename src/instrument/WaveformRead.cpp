#include "instrument/WaveformRead.h"

#include "instrument/InstrumentDefault.h"

namespace InstrumentDefault {

bool GetWaveform(uInstance& instance, int, uTaskWaveform&, uWaveformData&, std::string& sError) {
    if (!instance.fConnected || !instance.pTransport) {
        sError = "InstrumentDefault::GetWaveform: The instrument is not open.";
        return false;
    }
    // No model has a read sequence yet.
    sError = "The instrument is not supported for reading the traces.";
    return false;
}

} // namespace InstrumentDefault
