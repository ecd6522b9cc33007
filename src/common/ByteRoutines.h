// Routines for raw data: byte-order swaps, the CRC-16 of the script's checksum function, a
// byte-pattern search and the size check of data buffers.
#pragma once

#include "common/DataBuffer.h"

#include <cstddef>
#include <cstdint>

namespace Utility {

// The four low bytes in reverse order, as an unsigned 32-bit number.
std::uint32_t SwapEndian32(std::int64_t iValue);
// The two low bytes exchanged, read as a signed 16-bit number.
std::int16_t SwapEndian16(std::int64_t iValue);

// CRC-16/CCITT-FALSE (polynomial 0x1021, initial 0xFFFF, no reflection, no final XOR);
// 0xFFFF for no data.
std::uint16_t Crc16Ccitt(const std::uint8_t* pData, std::size_t iLength);

// Offset of the first occurrence of the pattern that starts at or after iStart and lies
// wholly within the iLength bytes, or -1. A null pointer, a negative length or start, or an
// empty pattern finds nothing.
std::int64_t FindBytes(const std::uint8_t* pData, std::int64_t iLength, const std::uint8_t* pPattern,
                       std::int64_t iPatternLength, std::int64_t iStart);

// True when the buffer holds memory and at least iSize valid bytes.
bool MemoryHasSize(const DataBuffer& block, std::size_t iSize);

} // namespace Utility
