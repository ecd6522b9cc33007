// What the program enters into the tables below it before its frame starts: the one heap of the
// byte buffers, the waveform readers and file writers, every window kind above the frame, the
// capture engine's checks and the file-name templates. main and the memory soak benchmark call it.
#pragma once

namespace StartUp {

void RegisterAll();

} // namespace StartUp
