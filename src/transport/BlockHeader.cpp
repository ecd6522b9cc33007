#include "transport/BlockHeader.h"

#include <charconv>

namespace Instrument {

std::size_t CreateBlockHeader(std::uint64_t iCount, std::string& sHeader) {
    sHeader.clear();
    if (iCount == 0 || iCount > MaxBlockCount) return 0;
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, iCount);
    const std::size_t n = static_cast<std::size_t>(result.ptr - digits);
    sHeader.reserve(2 + n);
    sHeader += '#';
    sHeader += static_cast<char>('0' + n);
    sHeader.append(digits, n);
    return sHeader.size();
}

std::size_t ParseBlockHeaderOnly(const std::uint8_t* pData, std::size_t iOffset, std::size_t iSize,
                                 std::uint64_t* piCount) {
    if (pData == nullptr || iSize == 0) return 0;
    if (iOffset > iSize || iSize - iOffset < 2) return 0;
    const std::uint8_t* p = pData + iOffset;
    if (p[0] != '#' || p[1] < '0' || p[1] > '9') return 0;
    const std::size_t n = static_cast<std::size_t>(p[1] - '0');
    const std::size_t iHeader = 2 + n;
    if (iSize - iOffset < iHeader) return 0;
    std::uint64_t iCount = 0;
    for (std::size_t i = 2; i < iHeader; ++i) {
        if (p[i] < '0' || p[i] > '9') return 0;
        iCount = iCount * 10 + static_cast<std::uint64_t>(p[i] - '0');
    }
    if (piCount != nullptr) *piCount = iCount;
    return iHeader;
}

std::size_t ParseBlockHeader(const std::uint8_t* pData, std::size_t iOffset, std::size_t iSize,
                             std::uint64_t* piCount, eBlockUnit eUnit) {
    std::uint64_t iCount = 0;
    const std::size_t iHeader = ParseBlockHeaderOnly(pData, iOffset, iSize, &iCount);
    if (iHeader == 0) return 0;
    if (BlockBytes(iCount, eUnit) > iSize - iOffset - iHeader) return 0;
    if (piCount != nullptr) *piCount = iCount;
    return iHeader;
}

} // namespace Instrument
