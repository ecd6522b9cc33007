// The numbers of the waveform channels and sources, and of the places in an oscilloscope that a
// trace is read from. The readers, the file writers, the waveform window and the script all
// index their tables by these numbers; the values are fixed.
#pragma once

#include <cstdint>

enum eWaveform : std::int64_t {
    WaveformNone = 0, // the placeholder element of a waveform record
    WaveformAllVisible = 1,
    WaveformAllAnalog = 2, // request flag of the script: every analogue channel
    WaveformLogic = 3,     // the merged logic channel, and the instrument's logic display
    WaveformChannel1 = 4,
    WaveformChannel2 = 5,
    WaveformChannel3 = 6,
    WaveformChannel4 = 7,
    WaveformAdd1 = 8,
    WaveformLogicBus1 = 9,
    WaveformLogicBus2 = 10,
    WaveformLogicPod1 = 11, // lines D0 to D7
    WaveformLogicPod2 = 12, // lines D8 to D15
    WaveformDigital0 = 13,
    WaveformDigital1 = 14,
    WaveformDigital2 = 15,
    WaveformDigital3 = 16,
    WaveformDigital4 = 17,
    WaveformDigital5 = 18,
    WaveformDigital6 = 19,
    WaveformDigital7 = 20,
    WaveformDigital8 = 21,
    WaveformDigital9 = 22,
    WaveformDigital10 = 23,
    WaveformDigital11 = 24,
    WaveformDigital12 = 25,
    WaveformDigital13 = 26,
    WaveformDigital14 = 27,
    WaveformDigital15 = 28,
    WaveformZoomChannel1 = 29,
    WaveformZoomChannel2 = 30,
    WaveformZoomAdd1 = 31,
    WaveformZoomLogicPod1 = 32,
    WaveformFft1 = 33,
    WaveformFft2 = 34,
    WaveformFunction1 = 35,
    WaveformFunction2 = 36,
    WaveformMath = 37,
    WaveformMath1 = 38,
    WaveformMath2 = 39,
    WaveformMath3 = 40,
    WaveformMath4 = 41,
    WaveformMath5 = 42,
    WaveformReference1 = 43,
    WaveformReference2 = 44,
    WaveformReference3 = 45,
    WaveformReference4 = 46,
    WaveformReference5 = 47,
    WaveformReference6 = 48,
    WaveformReference7 = 49,
    WaveformReference8 = 50,
    WaveformReference9 = 51,
    WaveformEnvelope1 = 52,
    WaveformEnvelope2 = 53,
    WaveformEnvelope3 = 54,
    WaveformEnvelope4 = 55,
};

// Number of eWaveform values: the size of every table indexed by them.
inline constexpr std::int64_t WaveformCount = 56;

enum eDataSource : std::int64_t {
    DataSourceNone = 0,
    DataSourceScreen = 1,
    DataSourceMemory = 2,
    DataSourceEntireMemory = 3,
    DataSourceScreen10Bit = 6,
    DataSourceMemory10Bit = 7,
    DataSourceEntireMemory10Bit = 8,
};
