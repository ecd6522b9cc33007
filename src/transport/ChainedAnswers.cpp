#include "transport/ChainedAnswers.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string_view>

namespace Instrument {

namespace {

constexpr std::string_view DataPrefix = "DAT2,";
constexpr std::string_view BlockPrefixes[] = {DataPrefix, "DESC,", ":TRAC:DATA "};

// The prefix that announces a block at pData; empty where none does.
std::string_view BlockPrefix(const std::uint8_t* pData, std::size_t iSize) {
    for (const std::string_view sPrefix : BlockPrefixes) {
        if (iSize >= sPrefix.size() && std::equal(sPrefix.begin(), sPrefix.end(), pData, [](char a, std::uint8_t b) {
                return a == static_cast<char>(std::toupper(b));
            }))
            return sPrefix;
    }
    return {};
}

std::uint32_t Little32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}

std::uint32_t Big32(const std::uint8_t* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) |
           std::uint32_t(p[3]);
}

constexpr std::uint8_t PngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr std::size_t BmpFileHeader = 14; // "BM", size, two reserved words, data offset
constexpr std::size_t BmpSmallest = 26;   // the file header and the smallest information header

// NULs cannot pad where the end text holds one.
bool Pads(const std::string& sEnd) {
    return sEnd.find('\0') == std::string::npos;
}

// Padding among the line-end bytes (NUL, CR, LF) that close the text pData[iFrom, iTo), as
// runs of NULs in the order they lie.
void PaddingAtEnd(const std::uint8_t* pData, std::size_t iFrom, std::size_t iTo,
                  const std::function<void(std::size_t, std::size_t)>& fnPadding) {
    std::size_t i = iTo;
    while (i > iFrom && (pData[i - 1] == 0 || pData[i - 1] == '\r' || pData[i - 1] == '\n'))
        --i;
    while (i < iTo) {
        std::size_t iNul = i;
        while (iNul < iTo && pData[iNul] != 0)
            ++iNul;
        std::size_t iAfter = iNul;
        while (iAfter < iTo && pData[iAfter] == 0)
            ++iAfter;
        if (iAfter > iNul) fnPadding(iNul, iAfter - iNul);
        i = iAfter;
    }
}

// One separator found by the walk: where it lies, its length, whether it ends a message (the end
// text) rather than a unit (";"), and, where the unit it closes is a block, how many of the
// block's own line ends it is the last of (0: no block).
struct uSeparator {
    std::size_t iAt = 0;
    std::size_t iLength = 0;
    bool fMessageEnd = false;
    std::size_t iBlockEnds = 0;
};

// Walks the units of pData[0, iSize) by the rules at the top of the header. fnSeparator gets each
// separator found outside blocks and strings and returns whether to go on. False when a block
// reaches beyond iSize. A block's unit takes up to the line ends the model sends behind it as its
// own (blockEnds), the unit iLastUnit (counted from 0) every line end behind it. The padding ahead
// of a unit is passed over; fnPadding, where given, gets it and the padding that closes a text
// unit, also where the data end closes it, each run of NULs in the order they lie.
bool WalkUnits(const std::uint8_t* pData, std::size_t iSize, const std::string& sEnd, eBlockUnit eUnit,
               const uBlockEnds& blockEnds, std::size_t iLastUnit,
               const std::function<bool(const uSeparator&)>& fnSeparator,
               const std::function<void(std::size_t, std::size_t)>& fnPadding = {}) {
    const auto endAt = [&](std::size_t i) {
        return !sEnd.empty() && iSize - i >= sEnd.size() && std::memcmp(pData + i, sEnd.data(), sEnd.size()) == 0;
    };
    const bool fPadding = fnPadding && Pads(sEnd);
    std::size_t iPos = 0;
    for (std::size_t iUnit = 0; iPos < iSize; ++iUnit) {
        if (const std::size_t iAhead = PaddingAhead(pData + iPos, iSize - iPos, sEnd); iAhead > 0) {
            if (fPadding) fnPadding(iPos, iAhead);
            iPos += iAhead;
            if (iPos == iSize) break;
        }
        const std::string_view sPrefix = BlockPrefix(pData + iPos, iSize - iPos);
        const std::size_t iBlock = iPos + sPrefix.size();
        // The data block, the first unit, counts points bare or behind "DAT2,"; a block chained
        // behind it (a descriptor, bare or behind "DESC,") counts bytes.
        const bool fPoints =
            eUnit == eBlockUnit::Bits && iUnit == 0 && (sPrefix.empty() || sPrefix == DataPrefix);
        std::uint64_t iCount = 0;
        const std::size_t iHeader = ParseBlockHeaderOnly(pData, iBlock, iSize, &iCount);
        uSeparator next;
        std::size_t iNext = iPos;
        if (iHeader > 0) {
            const std::uint64_t iBytes = BlockBytes(iCount, fPoints ? eBlockUnit::Bits : eBlockUnit::Bytes);
            if (iSize - iBlock < iHeader + iBytes) return false;
            iNext = iBlock + iHeader + static_cast<std::size_t>(iBytes);
            // The block's own line ends: the ";" behind them, or the last of them, ends its unit.
            std::size_t iRun = iNext;
            std::size_t iEnds = 0;
            while (endAt(iRun)) {
                iRun += sEnd.size();
                ++iEnds;
            }
            if (iRun < iSize && pData[iRun] == ';') {
                next = {iRun, 1, false, std::max<std::size_t>(iEnds, 1)};
            } else if (iEnds > 0) {
                if (iUnit < iLastUnit) iEnds = std::min(iEnds, blockEnds.At(iUnit));
                iRun = iNext + iEnds * sEnd.size();
                next = {iRun - sEnd.size(), sEnd.size(), true, iEnds};
            }
            iNext = iRun;
        }
        bool fString = false; // inside string data
        const std::size_t iText = iNext;
        for (std::size_t iElement = iNext; next.iLength == 0 && iNext < iSize; ++iNext) {
            const std::uint8_t c = pData[iNext];
            if (endAt(iNext)) {
                next = {iNext, sEnd.size(), true, 0};
            } else if (fString) {
                // A doubled quote stays inside; a single one closes.
                if (c == '"' && (iNext + 1 >= iSize || pData[iNext + 1] != '"')) fString = false;
                else if (c == '"') ++iNext;
            } else if (c == '"' && iNext == iElement) {
                fString = true;
            } else if ((c == ' ' || c == '\t') && iNext == iElement) {
                iElement = iNext + 1; // white space before a data element
            } else if (c == ';') {
                next = {iNext, 1, false, 0};
            } else if (c == ',') {
                iElement = iNext + 1;
            }
        }
        if (fPadding && (next.fMessageEnd || next.iLength == 0))
            PaddingAtEnd(pData, iText, next.iLength == 0 ? iSize : next.iAt, fnPadding);
        if (next.iLength == 0 || !fnSeparator(next)) break;
        iPos = next.iAt + next.iLength;
    }
    return true;
}

} // namespace

eImage BareImage(const std::uint8_t* p, std::size_t n) {
    if (n == 0) return eImage::None;
    if (p[0] == PngSignature[0]) {
        if (std::memcmp(p, PngSignature, std::min(n, sizeof PngSignature)) != 0) return eImage::None;
        // Chunks: length (big-endian), type, data, CRC; the file ends with the IEND chunk.
        std::uint64_t at = sizeof PngSignature;
        while (at + 8 <= n) {
            const std::uint64_t length = Big32(p + at);
            if (length > 0x7FFFFFFF || at + 12 + length > MaxBareImage) return eImage::Incomplete;
            const std::uint64_t next = at + 12 + length;
            if (std::memcmp(p + at + 4, "IEND", 4) == 0)
                return next <= n ? eImage::Complete : eImage::Incomplete;
            at = next;
        }
        return eImage::Incomplete;
    }
    if (p[0] != 'B' || (n >= 2 && p[1] != 'M')) return eImage::None;
    // Until the reserved words show zeros a text beginning "BM" is still possible.
    if (n < 7) return eImage::None;
    for (std::size_t i = 6; i < std::min(n, std::size_t{10}); ++i) {
        if (p[i] != 0) return eImage::None;
    }
    if (n < BmpFileHeader) return eImage::Incomplete;
    const std::uint64_t size = Little32(p + 2);
    const std::uint64_t offset = Little32(p + 10);
    if (size < BmpSmallest || size > MaxBareImage || offset < BmpSmallest || offset > size)
        return eImage::Incomplete;
    return n >= size ? eImage::Complete : eImage::Incomplete;
}

std::size_t PaddingAhead(const std::uint8_t* pData, std::size_t iSize, const std::string& sEndOfMessage) {
    if (iSize == 0 || pData[0] != 0 || !Pads(sEndOfMessage)) return 0;
    std::size_t i = 0;
    while (i < iSize && pData[i] == 0)
        ++i;
    return i;
}

std::size_t DropPadding(std::uint8_t* pData, std::size_t iSize, const std::string& sEndOfMessage,
                        eBlockUnit eUnit, const uBlockEnds& blockEnds) {
    if (!Pads(sEndOfMessage) || iSize == 0 || std::memchr(pData, 0, iSize) == nullptr) return iSize;
    std::size_t iWrite = 0; // bytes kept so far
    std::size_t iRead = 0;
    const auto drop = [&](std::size_t iAt, std::size_t iLength) {
        std::memmove(pData + iWrite, pData + iRead, iAt - iRead);
        iWrite += iAt - iRead;
        iRead = iAt + iLength;
    };
    const std::size_t iAhead = PaddingAhead(pData, iSize, sEndOfMessage);
    if (BareImage(pData + iAhead, iSize - iAhead) != eImage::None) {
        drop(0, iAhead);
    } else {
        WalkUnits(
            pData, iSize, sEndOfMessage, eUnit, blockEnds, SIZE_MAX, [](const uSeparator&) { return true; },
            drop);
    }
    std::memmove(pData + iWrite, pData + iRead, iSize - iRead);
    return iWrite + (iSize - iRead);
}

std::size_t BlockPrefixLength(const std::uint8_t* pData, std::size_t iSize) {
    return BlockPrefix(pData, iSize).size();
}

std::vector<std::string_view> ProgramUnits(std::string_view sCommand) {
    const auto* pData = reinterpret_cast<const std::uint8_t*>(sCommand.data());
    const std::size_t iSize = sCommand.size();
    std::vector<std::string_view> units;
    std::size_t iStart = 0;
    std::uint8_t cQuote = 0;
    for (std::size_t i = 0; i <= iSize; ++i) {
        if (i == iSize || (cQuote == 0 && pData[i] == ';')) {
            units.push_back(sCommand.substr(iStart, i - iStart));
            iStart = i + 1;
        } else if (cQuote != 0) {
            if (pData[i] == cQuote) cQuote = 0;
        } else if (pData[i] == '"' || pData[i] == '\'') {
            cQuote = pData[i];
        } else if (pData[i] == '#' && i + 1 < iSize && pData[i + 1] == '0') {
            i = iSize - 1;
        } else if (std::uint64_t iBytes = 0; pData[i] == '#') {
            const std::size_t iLength = ParseBlockHeaderOnly(pData, i, iSize, &iBytes);
            if (iLength > 0) i += static_cast<std::size_t>(std::min<std::uint64_t>(iLength + iBytes, iSize - i)) - 1;
        }
    }
    return units;
}

std::string_view UnitHeader(std::string_view sUnit) {
    const auto space = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!sUnit.empty() && space(sUnit.front())) sUnit.remove_prefix(1);
    return sUnit.substr(0, static_cast<std::size_t>(std::find_if(sUnit.begin(), sUnit.end(), space) - sUnit.begin()));
}

std::size_t QueryCount(std::string_view sCommand) {
    std::size_t iCount = 0;
    for (const std::string_view sUnit : ProgramUnits(sCommand)) {
        if (UnitHeader(sUnit).ends_with('?')) ++iCount;
    }
    return iCount;
}

uAnswerScan ScanAnswer(const std::uint8_t* pData, std::size_t iSize, const std::string& sEndOfMessage,
                       eBlockUnit eUnit, std::size_t iAwaited, const uBlockEnds& blockEnds) {
    uAnswerScan scan;
    const std::size_t iAnswers = std::max<std::size_t>(iAwaited, 1);
    std::size_t iClosed = 0; // units closed so far
    scan.fOpenBlock = !WalkUnits(pData, iSize, sEndOfMessage, eUnit, blockEnds, iAnswers - 1,
                                 [&](const uSeparator& separator) {
        ++iClosed;
        if (!separator.fMessageEnd) return true;
        const std::size_t iMessageEnd = separator.iAt + separator.iLength;
        scan.iWhole = iClosed;
        scan.iWholeEnd = iMessageEnd + PaddingAhead(pData + iMessageEnd, iSize - iMessageEnd, sEndOfMessage);
        scan.iBlockEnds = separator.iBlockEnds;
        scan.iBlockEndsSent = separator.iBlockEnds > 0 ? blockEnds.At(iClosed - 1) : 0;
        if (iClosed >= iAnswers) {
            scan.iEnd = scan.iWholeEnd;
            // The answer keeps one line end of its block; the others are the block's own.
            scan.iAnswerEnd =
                iMessageEnd - (std::max<std::size_t>(scan.iBlockEnds, 1) - 1) * separator.iLength;
        }
        return scan.iEnd == 0;
    });
    return scan;
}

std::vector<std::string> AnswerFields(std::string_view sAnswer) {
    const auto* pData = reinterpret_cast<const std::uint8_t*>(sAnswer.data());
    std::vector<std::string> fields;
    std::size_t iStart = 0;
    WalkUnits(pData, sAnswer.size(), std::string(), eBlockUnit::Bytes, {}, SIZE_MAX, [&](const uSeparator& separator) {
        fields.emplace_back(sAnswer.substr(iStart, separator.iAt - iStart));
        iStart = separator.iAt + 1;
        return true;
    });
    fields.emplace_back(sAnswer.substr(std::min(iStart, sAnswer.size())));
    return fields;
}

std::size_t JoinAnswers(std::uint8_t* pData, std::size_t iSize, const std::string& sEndOfMessage, eBlockUnit eUnit,
                        const uBlockEnds& blockEnds) {
    // The answer's own end stays; only the message ends inside it become ";".
    std::size_t iWrite = 0; // bytes kept so far (a longer end text shrinks the answer)
    std::size_t iRead = 0;
    WalkUnits(pData, iSize, sEndOfMessage, eUnit, blockEnds, SIZE_MAX, [&](const uSeparator& separator) {
        const std::size_t iAt = separator.iAt;
        if (!separator.fMessageEnd || iAt + separator.iLength >= iSize) return true;
        if (iWrite != iRead) std::memmove(pData + iWrite, pData + iRead, iAt - iRead);
        iWrite += iAt - iRead;
        pData[iWrite++] = ';';
        iRead = iAt + separator.iLength;
        return true;
    });
    if (iWrite == iRead) return iSize;
    std::memmove(pData + iWrite, pData + iRead, iSize - iRead);
    return iWrite + (iSize - iRead);
}

} // namespace Instrument
