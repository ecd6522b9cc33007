// The waveform read of the waveform task: the record it fills and the read itself, which runs
// the model's read sequence on the instance's worker thread.
#pragma once

#include "instrument/ModelTable.h"
#include "instrument/TaskRecords.h"

#include <array>
#include <cstdint>
#include <string>

// The waveforms that one waveform task read. The waveform task creates it empty and posts it
// with its result event; the receiver owns it.
struct uWaveformData {
    std::int64_t eModel = 0;
    uIdn idn;
    // Local time of a successful read: year, month, day of week, day, hour, minute, second, ms.
    std::array<std::uint16_t, 8> timeStamp{};
    // Per eWaveform: nonzero for a source that is to be read, and the user label of a digital line.
    std::array<std::int64_t, WaveformSourceCount> fVisible{};
    std::array<std::string, WaveformSourceCount> sLabel;
};

namespace InstrumentDefault {

struct uInstance;

// Reads the waveforms that the task asks for into data, over the instance's connection;
// transfer events go to iWindow. Fails when the instance is not connected, and for a model
// without a read sequence with "The instrument is not supported for reading the traces.".
bool GetWaveform(uInstance& instance, int iWindow, uTaskWaveform& waveform, uWaveformData& data, std::string& sError);

} // namespace InstrumentDefault
