// The waveform window's answer checks per oscilloscope family: visible channels, logic lines
// and labels, acquire type, whole traces, point counts and traces read in parts. Install puts
// them into the pump's check hooks. Each check returns 1 when it parsed the answer, 0 when not
// (the part check: 1 when the channel is complete).
#pragma once

#include "windows/capture/WaveformPump.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace WaveformChecks {

// Start-up: the checks into the pump's hooks.
void Install();

int CheckInstrumentResponseGetVisibleChannels(uWaveformPump& pump, const std::uint8_t* pData, std::size_t iSize);
int CheckInstrumentResponseGetLogicDisplay(uWaveformPump& pump, const std::uint8_t* pData, std::size_t iSize);
int CheckInstrumentResponseWaveformAcquireType(uWaveformPump& pump, const std::uint8_t* pData, std::size_t iSize);
int CheckInstrumentResponseWaveform(uWaveformPump& pump, const std::uint8_t* pData, std::size_t iSize);
int CheckInstrumentResponseWaveformPoints(uWaveformPump& pump, const std::uint8_t* pData, std::size_t iSize);
int CheckInstrumentResponseWaveformPart(uWaveformPump& pump, const std::uint8_t* pData, std::size_t iSize,
                                        std::size_t iHeader, std::uint64_t iCount);

// A channel whose answer failed: its element leaves the record (no file is written from it),
// a part of it that the pump queued is not sent and the part state returns to the first part.
void AbandonChannel(uWaveformPump& pump);

// Points per part and the index of the first point, by model and logic flag (0 for models
// that read no parts).
std::int64_t PartSize(std::int64_t eModel, bool fLogic);
std::int64_t FirstIndex(std::int64_t eModel);

// The largest point count an instrument may announce.
inline constexpr double MaxPoints = 1000000000.0;

// The number at the start of the text (blanks before it skipped; a leading "+" allowed;
// exponents accepted); false when there is none, or it is not finite or beyond MaxPoints in
// size. Nothing here converts an unchecked double to an integer.
bool ParseCount(std::string_view sText, std::int64_t& iCount);

// The common validation of a check named sCheck ("WindowWaveform::..."): logs its "Null"
// error for no data and its "kleiner" error when the bytes lie in the pump's answer but reach
// beyond its valid bytes. True when the check may read the bytes.
bool Validate(uWaveformPump& pump, const char* sCheck, const std::uint8_t* pData, std::size_t iSize);

// The bytes as text, trimmed of the characters of sTrim on both ends.
std::string AnswerText(const std::uint8_t* pData, std::size_t iSize, std::string_view sTrim = " \t\r\n");

} // namespace WaveformChecks
