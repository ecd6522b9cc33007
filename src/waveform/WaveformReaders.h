// Enters the waveform readers of this floor into the instrument core's table by model. The
// program calls it once at start-up; tests call it before they read waveforms.
#pragma once

namespace WaveformReaders {

void Register();

} // namespace WaveformReaders
