#include "common/ByteRoutines.h"

#include <array>
#include <cstring>

namespace Utility {
namespace {

constexpr std::array<std::uint16_t, 256> MakeCrcTable() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i << 8;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000U) != 0 ? (crc << 1) ^ 0x1021U : crc << 1;
        table[i] = static_cast<std::uint16_t>(crc);
    }
    return table;
}

constexpr std::array<std::uint16_t, 256> CrcTable = MakeCrcTable();
static_assert(CrcTable[1] == 0x1021);

} // namespace

std::uint32_t SwapEndian32(std::int64_t iValue) {
    const auto v = static_cast<std::uint32_t>(iValue);
    return (v >> 24) | ((v >> 8) & 0xFF00U) | ((v << 8) & 0xFF0000U) | (v << 24);
}

std::int16_t SwapEndian16(std::int64_t iValue) {
    const auto v = static_cast<std::uint16_t>(iValue);
    return static_cast<std::int16_t>(static_cast<std::uint16_t>((v >> 8) | (v << 8)));
}

std::uint16_t Crc16Ccitt(const std::uint8_t* pData, std::size_t iLength) {
    unsigned crc = 0xFFFF;
    if (pData == nullptr) return static_cast<std::uint16_t>(crc);
    for (std::size_t i = 0; i < iLength; ++i) crc = ((crc << 8) ^ CrcTable[((crc >> 8) ^ pData[i]) & 0xFF]) & 0xFFFF;
    return static_cast<std::uint16_t>(crc);
}

std::int64_t FindBytes(const std::uint8_t* pData, std::int64_t iLength, const std::uint8_t* pPattern,
                       std::int64_t iPatternLength, std::int64_t iStart) {
    if (pData == nullptr || pPattern == nullptr || iLength <= 0 || iPatternLength <= 0 || iStart < 0) return -1;
    if (iPatternLength > iLength) return -1;
    const std::int64_t m = iPatternLength;
    const std::int64_t iLastStart = iLength - m;
    if (iStart > iLastStart) return -1;
    std::array<std::int64_t, 256> skip;
    skip.fill(m + 1);
    for (std::int64_t i = 0; i < m; ++i) skip[pPattern[i]] = m - i;
    const auto iCompare = static_cast<std::size_t>(m);
    for (std::int64_t pos = iStart; pos <= iLastStart;) {
        if (std::memcmp(pData + pos, pPattern, iCompare) == 0) return pos;
        if (pos == iLastStart) break;
        pos += skip[pData[pos + m]];
    }
    return -1;
}

bool MemoryHasSize(const DataBuffer& block, std::size_t iSize) { return block.allocated() && block.size() >= iSize; }

} // namespace Utility
