// The waveform read of the script's waveform task: the record it fills, and the dispatch by model
// to the readers. The readers themselves live on the floor above; they enter themselves into the
// table of readers below at start-up (WaveformReaders::Register), and the core reaches them only
// through it.
#pragma once

#include "common/DataBuffer.h"
#include "instrument/ModelTable.h"
#include "instrument/TaskRecords.h"
#include "instrument/WaveformSources.h"

#include <array>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <variant>

// A Rigol preamble (":WAV:PRE?") as numbers.
struct uPreambleRigol {
    std::int64_t iFormat = 0; // 0 byte, 1 word, 2 ASCII
    std::int64_t iType = 0;   // 0 normal, 1 maximum, 2 raw
    std::int64_t iPoints = 0;
    std::int64_t iAverages = 0;
    double dXIncrement = 0;
    double dXOrigin = 0;
    double dXReference = 0;
    double dYIncrement = 0;
    double dYOrigin = 0;
    double dYReference = 0;
};

// An RTB2000 data header (":DATA:HEAD?;YRES?;YOR?;YINC?;XOR?;XINC?") as numbers.
struct uPreambleRohdeSchwarz {
    double dXStart = 0;
    double dXStop = 0;
    std::int64_t iSamples = 0;
    std::int64_t iValuesPerSample = 0;
    double dYResolution = 0;
    double dYOrigin = 0;
    double dYIncrement = 0;
    double dXOrigin = 0;
    double dXIncrement = 0;
};

// A HAMEG trace description (the items after ":TRAC:DATA <block>") by position: sixteen fields
// from the items 2 to 17. Nothing reads them after parsing.
struct uPreambleHameg {
    std::string s1, s2;
    std::int64_t i3 = 0;
    std::string s4;
    double d5 = 0, d6 = 0, d7 = 0, d8 = 0, d9 = 0;
    std::string s10;
    double d11 = 0, d12 = 0, d13 = 0;
    std::string s14, s15, s16;
};

// The parsed preamble of one element, whichever maker made it.
using uParsedPreamble = std::variant<uPreambleRigol, uPreambleRohdeSchwarz, uPreambleHameg>;

// One analogue source that a read stored.
struct uWaveformAnalogChannel {
    std::int64_t eWaveform = 0;
    std::int64_t eSource = 0; // 1 screen, 2 memory, 3 entire memory
    std::string sUnit;
    std::string sLabel;
    std::int64_t eBits = 0; // 4 = 8 bit, 5 = 16 bit
    std::int64_t iPoints = 0;
    std::int64_t iBytesPerSample = 0;
    DataBuffer samples;     // the payloads of the source's data blocks, in arrival order
    DataBuffer rawPreamble; // the instrument's preamble answer as received
    std::unique_ptr<uParsedPreamble> pPreamble;
};

// One logic source that a read stored: all logic channels, a pod or a single line.
struct uWaveformDigitalChannel {
    std::int64_t eWaveform = 0;
    std::int64_t eSource = 0;
    std::string sLabel;
    std::int64_t iPoints = 0;
    DataBuffer samples;
    DataBuffer rawPreamble;
    std::unique_ptr<uParsedPreamble> pPreamble;
};

// The waveforms that one waveform task read. The waveform task creates it empty and posts it
// with its result event; the receiver owns it.
struct uWaveformData {
    std::int64_t eModel = 0; // not filled by the readers
    uIdn idn;                // not filled by the readers
    // Local time of a successful read: year, month, day of week, day, hour, minute, second, ms.
    std::array<std::uint16_t, 8> timeStamp{};
    // One element per eWaveform at most, in the order the sources were first stored.
    std::list<uWaveformAnalogChannel> AnalogChannels;
    std::list<uWaveformDigitalChannel> DigitalChannels;
    // Per eWaveform: nonzero for a source that is to be read, and the user label of a digital line.
    std::array<std::int64_t, WaveformSourceCount> fVisible{};
    std::array<std::string, WaveformSourceCount> sLabel;
};

namespace InstrumentDefault {

struct uInstance;

// A model's reader: reads what the task asks for into data, or fails with the text in sError.
using WaveformReader = bool (*)(uInstance& instance, int iWindow, uTaskWaveform& waveform, uWaveformData& data,
                                std::string& sError);

// Enters (or, with nullptr, removes) the reader of a model. Called at start-up by the floor that
// holds the readers; any thread.
void SetWaveformReader(std::int64_t eModel, WaveformReader reader);
// The reader of a model, or nullptr.
WaveformReader FindWaveformReader(std::int64_t eModel);

// Reads the waveforms that the task asks for into data, over the instance's connection;
// transfer events go to iWindow. An abort request left over from an earlier cancel is dropped
// first. Fails when the instance is not connected ("The instrument is not open."), and for a
// model without a reader with "The instrument is not supported for reading the traces.".
bool GetWaveform(uInstance& instance, int iWindow, uTaskWaveform& waveform, uWaveformData& data, std::string& sError);

// Drops the answer that the last exchange left in the request block. Returns false always.
bool FreeReceiveData(uInstance& instance);

} // namespace InstrumentDefault
