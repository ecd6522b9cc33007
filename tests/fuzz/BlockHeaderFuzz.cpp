// IEEE 488.2 definite-length block headers at any offset of arbitrary answer bytes. Byte 0 gives
// the offset and the unit; the rest is the answer. Whatever is found must lie within the bytes
// given, agree with the digits, and agree between the two parsers.
#include "transport/BlockHeader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pInput, std::size_t iSize) {
    if (iSize < 1) return 0;
    const std::uint8_t* pData = pInput + 1;
    const std::size_t iData = iSize - 1;
    const std::size_t iOffset = (pInput[0] & 0x7F) % (iData + 1);
    const auto eUnit = (pInput[0] & 0x80) ? Instrument::eBlockUnit::Bits : Instrument::eBlockUnit::Bytes;

    std::uint64_t iCount = 0xDEADBEEF, iCountOnly = 0xDEADBEEF;
    const std::size_t iHeader = Instrument::ParseBlockHeader(pData, iOffset, iData, &iCount, eUnit);
    const std::size_t iHeaderOnly = Instrument::ParseBlockHeaderOnly(pData, iOffset, iData, &iCountOnly);
    if (iHeader == 0) {
        if (iCount != 0xDEADBEEF) __builtin_trap(); // a refused header leaves the count alone
        return 0;
    }
    // "#" n digits ("#0": no digits, count 0): within the data, and the header alone reads the same.
    if (iHeader < 2 || iHeader > 11 || iOffset + iHeader > iData) __builtin_trap();
    if (pData[iOffset] != '#' || static_cast<std::size_t>(pData[iOffset + 1] - '0') != iHeader - 2) __builtin_trap();
    if (iHeaderOnly != iHeader || iCountOnly != iCount) __builtin_trap();
    // The announced data is present.
    const std::uint64_t iBytes = eUnit == Instrument::eBlockUnit::Bits ? (iCount + 7) / 8 : iCount;
    if (iBytes > iData - iOffset - iHeader) __builtin_trap();
    return 0;
}
