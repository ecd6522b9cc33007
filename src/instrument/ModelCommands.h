// What the program may do with each model (which windows make sense) and with which SCPI
// texts: the identification query, the screen-copy queries and image options, and the
// instrument-control commands and data sources of the screenshot and waveform windows.
#pragma once

#include "transport/ChainedAnswers.h"

#include <cstdint>
#include <string>
#include <string_view>

struct uModelCapabilities {
    std::int64_t bScpiCommand = 1; // the SCPI command window; every model
    std::int64_t bScreenshot = 0;
    std::int64_t bWaveform = 0;
};

// One window's instrument-control commands (an empty text: the model does not offer it).
struct uModelControl {
    std::string sStop;
    std::string sStopComplete;     // stop the acquisition and complete it
    std::string sSingle;           // single trigger
    std::string sRun;
    std::int64_t iWaitShort = 100; // ms
    std::int64_t iWaitLong = 500;  // ms
    std::string sTriggerStatus;     // trigger-status query
    std::string sTriggerStatusStop; // its answer when the acquisition has stopped
    std::string sTriggerAuto;
    std::string sTriggerNormal;
    std::string sLocal; // return the instrument to local operation
};

// The model's command set.
struct uModelCommands {
    std::string sIdnQuery = "*IDN?";
    std::string sScreenCopy;    // answer: an image data block
    std::string sDisplayDump;   // sent instead by the HAMEG models; answer: a display-dump stream
    std::int64_t fDumpBlackWhite = 0; // offer drawing the dump in black and white
    std::string sMargins;       // "left,top,right,bottom" in pixels, cut off the copied screen
    std::int64_t fInvert = 0;   // offer inverted colours
    std::int64_t fBlackWhite = 0;
    std::int64_t fGrayscale = 0;
    uModelControl screenshot;   // the screenshot window's commands
    std::string sTraceSettings; // trace-settings query
    std::int64_t fSourceScreen = 0; // data sources offered by the waveform window
    std::int64_t fSourceMemory = 0;
    std::int64_t fSourceEntireMemory = 0;
    std::int64_t fSourceScreen10Bit = 0;
    std::int64_t fSourceMemory10Bit = 0;
    std::int64_t fSourceEntireMemory10Bit = 0;
    uModelControl waveform; // the waveform window's commands
};

namespace Instrument {

// Writes the model's capabilities ({1, 0, 0} first in every case); false for a model without
// a row (0, 1, 2, 20 and unknown values).
bool GetModelCapabilities(std::int64_t iModel, uModelCapabilities& capabilities);

// Resets every field to its default, then writes the model's values; false for a model without
// a row, whose record then holds the defaults.
bool GetModelCommands(std::int64_t iModel, uModelCommands& commands);

// The text that ends every answer of the model on raw TCP and serial: line feed and carriage
// return for the HAMEG models, a line feed for all others.
std::string AnswerEndText(std::int64_t iModel);

// The line ends behind a definite-length block in the answer to each query of sCommand, as the
// model sends them: two behind the Siglent oscilloscopes' waveform data (":WAV:DATA?", as their
// guides end it), one behind their preamble and every other block. It tells a block's own line
// end from an empty answer where the bytes cannot (ChainedAnswers.h).
uBlockEnds BlockLineEnds(std::int64_t iModel, std::string_view sCommand);

} // namespace Instrument
