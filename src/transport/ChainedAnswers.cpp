#include "transport/ChainedAnswers.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <functional>

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

// Walks the units of pData[0, iSize). fnSeparator gets the position and length of each
// separator found outside blocks and strings (";" or the end-of-message text) and returns
// whether to go on. False when a block reaches beyond iSize.
bool WalkUnits(const std::uint8_t* pData, std::size_t iSize, const std::string& sEnd, eBlockUnit eUnit,
               const std::function<bool(std::size_t, std::size_t)>& fnSeparator) {
    std::size_t iPos = 0;
    while (iPos < iSize) {
        const std::string_view sPrefix = BlockPrefix(pData + iPos, iSize - iPos);
        const std::size_t iBlock = iPos + sPrefix.size();
        // The data block, the first unit, counts points bare or behind "DAT2,"; a block chained
        // behind it (a descriptor, bare or behind "DESC,") counts bytes.
        const bool fPoints = eUnit == eBlockUnit::Bits && iPos == 0 && (sPrefix.empty() || sPrefix == DataPrefix);
        std::uint64_t iCount = 0;
        const std::size_t iHeader = ParseBlockHeaderOnly(pData, iBlock, iSize, &iCount);
        if (iHeader > 0) {
            const std::uint64_t iBytes = BlockBytes(iCount, fPoints ? eBlockUnit::Bits : eBlockUnit::Bytes);
            if (iSize - iBlock < iHeader + iBytes) return false;
            iPos = iBlock + iHeader + static_cast<std::size_t>(iBytes);
        }
        // The next separator: ";" or the first byte of the end text followed by the rest of it.
        const auto endAt = [&](std::size_t i) {
            return !sEnd.empty() && iSize - i >= sEnd.size() &&
                   std::memcmp(pData + i, sEnd.data(), sEnd.size()) == 0;
        };
        std::size_t iNext = iPos;
        std::size_t iLength = 0;
        bool fString = false; // inside string data ("...", a doubled quote closes and opens again)
        for (; iNext < iSize; ++iNext) {
            if (pData[iNext] == '"') fString = !fString;
            if (pData[iNext] == ';' && !fString) {
                iLength = 1;
                break;
            }
            // The end text ends a message also inside a string: a quote without its partner
            // (no string at all) costs its own message's separators only.
            // An end text followed by ";" or by another end text ends no answer: the later
            // separator does. A block keeps its own line end so, inside one message ("#9...\n;")
            // and as a message of its own ("#9...\n" and the message's "\n"); no answer is empty.
            const std::size_t iAfter = iNext + sEnd.size();
            if (endAt(iNext) && (iAfter == iSize || (pData[iAfter] != ';' && !endAt(iAfter)))) {
                iLength = sEnd.size();
                break;
            }
        }
        if (iLength == 0 || !fnSeparator(iNext, iLength)) break;
        iPos = iNext + iLength;
    }
    return true;
}

} // namespace

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

std::size_t QueryCount(std::string_view sCommand) {
    std::size_t iCount = 0;
    for (std::string_view sUnit : ProgramUnits(sCommand)) {
        const auto space = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
        while (!sUnit.empty() && space(sUnit.front())) sUnit.remove_prefix(1);
        const std::size_t iHeader = std::find_if(sUnit.begin(), sUnit.end(), space) - sUnit.begin();
        if (iHeader > 0 && sUnit[iHeader - 1] == '?') ++iCount;
    }
    return iCount;
}

bool CountAnswers(const std::uint8_t* pData, std::size_t iSize, const std::string& sEndOfMessage, eBlockUnit eUnit,
                  std::size_t& iAnswers) {
    iAnswers = 0;
    if (iSize == 0) return true;
    std::size_t iSeparators = 0;
    std::size_t iLastEnd = 0; // behind the last separator
    if (!WalkUnits(pData, iSize, sEndOfMessage, eUnit, [&](std::size_t iAt, std::size_t iLength) {
            ++iSeparators;
            iLastEnd = iAt + iLength;
            return true;
        }))
        return false;
    // A separator at the very end closes the last unit rather than opening another.
    iAnswers = iSeparators + (iLastEnd < iSize || iSeparators == 0 ? 1 : 0);
    return true;
}

bool CountMessageAnswers(const std::uint8_t* pData, std::size_t iSize, const std::string& sEndOfMessage,
                         eBlockUnit eUnit, bool fNeedEnd, std::size_t& iAnswers) {
    const std::size_t iEnd = sEndOfMessage.size();
    const bool fEnds = iEnd > 0 && iSize >= iEnd && std::memcmp(pData + iSize - iEnd, sEndOfMessage.data(), iEnd) == 0;
    if (fEnds && CountAnswers(pData, iSize - iEnd, sEndOfMessage, eUnit, iAnswers)) return true;
    iAnswers = 0;
    return !fNeedEnd && CountAnswers(pData, iSize, sEndOfMessage, eUnit, iAnswers);
}

std::size_t AnswerEnd(const std::uint8_t* pData, std::size_t iSize, const std::string& sEndOfMessage,
                      eBlockUnit eUnit, std::size_t iAwaited) {
    std::size_t iAnswers = 0; // units closed so far
    std::size_t iLastEnd = 0; // behind the last separator
    std::size_t iEnd = 0;
    WalkUnits(pData, iSize, sEndOfMessage, eUnit, [&](std::size_t iAt, std::size_t iLength) {
        const bool fMessageEnd = pData[iAt] != ';';
        // A message's end right behind a separator (or at the very start) closes no unit.
        if (!fMessageEnd || iAt > iLastEnd) ++iAnswers;
        iLastEnd = iAt + iLength;
        if (fMessageEnd && (iAwaited <= 1 || iAnswers >= iAwaited)) iEnd = iLastEnd;
        return iEnd == 0;
    });
    return iEnd;
}

std::vector<std::string> AnswerFields(std::string_view sAnswer) {
    const auto* pData = reinterpret_cast<const std::uint8_t*>(sAnswer.data());
    std::vector<std::string> fields;
    std::size_t iStart = 0;
    WalkUnits(pData, sAnswer.size(), std::string(), eBlockUnit::Bytes, [&](std::size_t iAt, std::size_t) {
        fields.emplace_back(sAnswer.substr(iStart, iAt - iStart));
        iStart = iAt + 1;
        return true;
    });
    fields.emplace_back(sAnswer.substr(std::min(iStart, sAnswer.size())));
    return fields;
}

bool EndsAtSeparator(const std::uint8_t* pData, std::size_t iSize, const std::string& sEndOfMessage,
                     eBlockUnit eUnit) {
    std::size_t iLastEnd = 0;
    return WalkUnits(pData, iSize, sEndOfMessage, eUnit,
                     [&](std::size_t iAt, std::size_t iLength) {
                         iLastEnd = iAt + iLength;
                         return true;
                     }) &&
           iSize > 0 && iLastEnd == iSize;
}

std::size_t JoinAnswers(std::uint8_t* pData, std::size_t iSize, const std::string& sEndOfMessage, eBlockUnit eUnit) {
    if (sEndOfMessage.empty() || iSize <= sEndOfMessage.size()) return iSize;
    // The answer's own end stays; only the ends inside it become ";".
    const std::size_t iLimit = iSize - sEndOfMessage.size();
    std::size_t iWrite = 0; // bytes kept so far (a longer end text shrinks the answer)
    std::size_t iRead = 0;
    WalkUnits(pData, iLimit, sEndOfMessage, eUnit, [&](std::size_t iAt, std::size_t iLength) {
        if (iLength != sEndOfMessage.size() || (iLength == 1 && pData[iAt] == ';')) return true;
        if (iWrite != iRead) std::memmove(pData + iWrite, pData + iRead, iAt - iRead);
        iWrite += iAt - iRead;
        pData[iWrite++] = ';';
        iRead = iAt + iLength;
        return true;
    });
    if (iWrite == iRead) return iSize;
    std::memmove(pData + iWrite, pData + iRead, iSize - iRead);
    return iWrite + (iSize - iRead);
}

} // namespace Instrument
