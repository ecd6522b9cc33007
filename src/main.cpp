// The program: the waveform readers enter themselves into the core's table and every window
// module above the frame enters its kind, then the frame starts.
#include "app/Main.h"
#include "script/WindowScript.h"
#include "waveform/WaveformReaders.h"

int main(int argc, char** argv) {
    WaveformReaders::Register();
    WindowScript::RegisterKind();
    return Main::Run(argc, argv);
}
