// Enters the waveform file writers of this floor into the save thread's table by instrument
// family. The program calls it once at start-up; tests call it before they save waveforms.
#pragma once

namespace WaveformWriters {

void Register();

} // namespace WaveformWriters
