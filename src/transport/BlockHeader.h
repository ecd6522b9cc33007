// The IEEE 488.2 definite-length block header: "#", one digit n, then n decimal digits giving
// the byte count of the data that follows ("#0": count 0). Every answer that carries raw bytes
// is parsed here; nothing else parses a block header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace Instrument {

// The largest byte count one length digit can announce (nine digits).
inline constexpr std::uint64_t MaxBlockCount = 999999999;

// Writes the header for iCount bytes into sHeader and returns its length ("#41234", 6).
// A count of 0, or one beyond MaxBlockCount, gives the empty text and 0.
std::size_t CreateBlockHeader(std::uint64_t iCount, std::string& sHeader);

// What the announced count counts: bytes, or bits packed eight to a byte (logic channels).
enum class eBlockUnit { Bytes, Bits };

// The bytes that a count announces: the count, or for eBlockUnit::Bits count / 8 rounded up.
constexpr std::uint64_t BlockBytes(std::uint64_t iCount, eBlockUnit eUnit) {
    return eUnit == eBlockUnit::Bits ? iCount / 8 + (iCount % 8 != 0 ? 1 : 0) : iCount;
}

// Parses a header that starts at iOffset of the iSize valid bytes at pData. Returns the header
// length 2 + n and stores the announced count through piCount (when not null), or returns 0
// and leaves *piCount untouched when there is no valid header. Every byte read lies within the
// valid data, and a header is valid only when the data it announces is present after it
// (for eBlockUnit::Bits, count / 8 bytes rounded up).
std::size_t ParseBlockHeader(const std::uint8_t* pData, std::size_t iOffset, std::size_t iSize,
                             std::uint64_t* piCount, eBlockUnit eUnit = eBlockUnit::Bytes);

// Parses the header alone, as ParseBlockHeader does, but does not ask for the announced data:
// a receive loop learns from it, once the header has arrived, how many bytes are still to come.
// Returns 0 while the bytes at iOffset are not (or not yet all) a header.
std::size_t ParseBlockHeaderOnly(const std::uint8_t* pData, std::size_t iOffset, std::size_t iSize,
                                 std::uint64_t* piCount);

} // namespace Instrument
