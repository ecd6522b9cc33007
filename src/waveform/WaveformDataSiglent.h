// The waveform file writer of the Siglent SDS2000X Plus and SDS5000X: signed 8-bit samples or
// merged logic words, described by the binary waveform descriptor that follows the block.
#pragma once

#include "waveform/WaveformData.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace WaveformData {

// Length of the waveform descriptor.
inline constexpr std::size_t SiglentDescriptorSize = 346;

// Where the descriptor begins in what follows a channel's sample block: past the separators
// there (the block's line end, ";"), its own block of 346 bytes, bare ("#9000000346", as the
// current guide answers :WAV:PRE?) or behind "DESC," (earlier firmware). False with the reason
// in sProblem when the bytes hold no whole descriptor.
bool FindSiglentDescriptor(std::string_view sRest, std::size_t& iDescriptor, std::string& sProblem);

// Writes one channel: the block at offset 0, the separators, the descriptor's block, one byte
// and, for channels 1 to 4, the unit. True when the file was written (also after a stop), else
// false with the text in sError; a descriptor that cannot be read gives no file.
bool SaveWaveformSiglent(const uWaveformRecordChannel& channel, const std::vector<uWaveformLogicLine>& logicLines,
                         const std::string& sFileName, std::int64_t iProgressStart, std::int64_t iProgressEnd,
                         const std::string& sManufacturer, const std::string& sModel, std::int64_t iSaveFormat,
                         WaveformDataInstance& instance, std::string& sError);

} // namespace WaveformData
