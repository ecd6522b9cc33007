#include "StartUp.h"

#include "app/WindowPreferences.h"
#include "common/DataBuffer.h"
#include "script/WindowScript.h"
#include "waveform/WaveformReaders.h"
#include "waveform/WaveformWriters.h"
#include "windows/capture/Template.h"
#include "windows/capture/WaveformChecks.h"
#include "windows/capture/WindowScreenshot.h"
#include "windows/capture/WindowScreenshotViewer.h"
#include "windows/capture/WindowWaveform.h"
#include "windows/capture/WindowWaveformViewer.h"
#include "windows/scpi/WindowScpiCommand.h"
#include "windows/select/WindowSelectInstrument.h"

namespace StartUp {

void RegisterAll() {
    DataBuffer::UseOneHeap();
    WaveformReaders::Register();
    WaveformWriters::Register();
    WindowPreferences::RegisterKind();
    WindowSelectInstrument::RegisterKind();
    WindowScpiCommand::RegisterKind();
    WindowScreenshot::RegisterKind();
    WindowScreenshotViewer::RegisterKind();
    WindowWaveform::RegisterKind();
    WaveformChecks::Install();
    WindowWaveformViewer::RegisterKind();
    WindowScript::RegisterKind();
    Template::RegisterExpander();
}

} // namespace StartUp
