// The program: the waveform readers and file writers enter themselves into their tables, every
// window module above the frame enters its kind (StartUp::RegisterAll), then the frame starts.
#include "StartUp.h"
#include "app/Main.h"

int main(int argc, char** argv) {
    StartUp::RegisterAll();
    return Main::Run(argc, argv);
}
