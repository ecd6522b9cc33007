// Merging the logic lines of a read into one channel of 16-bit words (bit n = digital line Dn),
// appended to the record as channel WaveformLogic before the writers run. The source elements
// stay in the record.
#pragma once

#include "waveform/WaveformData.h"

#include <cstdint>
#include <string>

namespace WaveformData {

// R&S RTB2000: logic pods 1 and 2, one byte per sample and pod. Lines of an absent pod are
// hidden. True also when the record holds no pod.
bool CombineLogicChannelsRTB2000(uWaveformRecord& record, WaveformDataInstance& instance, std::string& sError);
// Rigol MSO models: the same merge, logged under its own name.
bool CombineLogicChannelsRigol(uWaveformRecord& record, WaveformDataInstance& instance, std::string& sError);
// Siglent: digital lines 0 to 15, one bit per sample, the earliest in bit 0 of each byte.
bool CombineLogicChannelsSiglent(uWaveformRecord& record, WaveformDataInstance& instance, std::string& sError);

// Transposes the 8 x 8 bit matrix whose row r is byte r: bit c of byte r becomes bit r of byte c.
std::uint64_t TransposeBits8x8(std::uint64_t x);

} // namespace WaveformData
