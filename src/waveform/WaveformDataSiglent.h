// The waveform file writer of the Siglent SDS2000X Plus and SDS5000X: signed 8-bit samples or
// merged logic words, described by the binary waveform descriptor that follows the block.
#pragma once

#include "waveform/WaveformData.h"

#include <cstdint>
#include <string>
#include <vector>

namespace WaveformData {

// Length of the waveform descriptor and the text in front of it ("DESC," and its block header).
inline constexpr std::size_t SiglentDescriptorSize = 346;
inline constexpr char SiglentDescriptorMark[] = "DESC,#9000000346";

// Writes one channel: the block at offset 0, two bytes, "DESC,#9000000346", the descriptor, one
// byte and, for channels 1 to 4, the unit. An unusable descriptor is logged and read as zeros.
// True when the file was written (also after a stop), else false with the text in sError.
bool SaveWaveformSiglent(const uWaveformRecordChannel& channel, const std::vector<uWaveformLogicLine>& logicLines,
                         const std::string& sFileName, std::int64_t iProgressStart, std::int64_t iProgressEnd,
                         const std::string& sManufacturer, const std::string& sModel, std::int64_t iSaveFormat,
                         WaveformDataInstance& instance, std::string& sError);

} // namespace WaveformData
