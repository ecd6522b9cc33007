#include "common/TextRoutines.h"

#include <algorithm>
#include <bit>

namespace Utility {
namespace {

// Length in bytes of the UTF-8 sequence that starts with byte c (1 for a stray byte).
std::size_t SequenceLength(unsigned char c) {
    if (c >= 0xF0 && c < 0xF8) return 4;
    if (c >= 0xE0) return c < 0xF0 ? 3 : 1;
    if (c >= 0xC0) return 2;
    return 1;
}

// The characters of a set, each as its UTF-8 bytes.
std::vector<std::string_view> SetCharacters(std::string_view sSet) {
    std::vector<std::string_view> chars;
    for (std::size_t i = 0; i < sSet.size();) {
        const std::size_t n = std::min(SequenceLength(static_cast<unsigned char>(sSet[i])), sSet.size() - i);
        chars.push_back(sSet.substr(i, n));
        i += n;
    }
    return chars;
}

// True when the text starts (or, with fEnd, ends) with one of the characters; iLength is its size.
bool MatchesAny(std::string_view sText, const std::vector<std::string_view>& chars, bool fEnd, std::size_t& iLength) {
    for (const auto& c : chars) {
        if (fEnd ? sText.ends_with(c) : sText.starts_with(c)) {
            iLength = c.size();
            return true;
        }
    }
    return false;
}

constexpr char HexDigits[] = "0123456789ABCDEF";

void AppendCharacter(std::string& s, std::uint8_t b) {
    if ((b >= 32 && b <= 126)) {
        s += static_cast<char>(b);
    } else if (b >= 161 && b != 173) {
        s += static_cast<char>(0xC0 | (b >> 6));
        s += static_cast<char>(0x80 | (b & 0x3F));
    } else {
        s += '.';
    }
}

} // namespace

std::string TrimCharactersLeft(std::string_view sText, std::string_view sSet) {
    const auto chars = SetCharacters(sSet);
    std::size_t n = 0;
    while (!sText.empty() && MatchesAny(sText, chars, false, n)) sText.remove_prefix(n);
    return std::string(sText);
}

std::string TrimCharactersRight(std::string_view sText, std::string_view sSet) {
    const auto chars = SetCharacters(sSet);
    std::size_t n = 0;
    while (!sText.empty() && MatchesAny(sText, chars, true, n)) sText.remove_suffix(n);
    return std::string(sText);
}

std::string TrimCharacters(std::string_view sText, std::string_view sSet) {
    return TrimCharactersRight(TrimCharactersLeft(sText, sSet), sSet);
}

void SplitStringToList(std::string_view sText, std::vector<std::string>& list, std::string_view sSeparator) {
    list.clear();
    if (sSeparator.empty()) {
        list.emplace_back(sText);
        return;
    }
    std::size_t iStart = 0;
    for (;;) {
        const std::size_t iFound = sText.find(sSeparator, iStart);
        if (iFound == std::string_view::npos) break;
        list.emplace_back(sText.substr(iStart, iFound - iStart));
        iStart = iFound + sSeparator.size();
    }
    list.emplace_back(sText.substr(iStart));
}

void AppendUtf8(std::string& s, char32_t c) {
    if (c < 0x80) {
        s += static_cast<char>(c);
    } else if (c < 0x800) {
        s += static_cast<char>(0xC0 | (c >> 6));
        s += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        s += static_cast<char>(0xE0 | (c >> 12));
        s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        s += static_cast<char>(0xF0 | (c >> 18));
        s += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string Utf16LeToUtf8(std::string_view bytes) {
    std::string s;
    s.reserve(bytes.size());
    const std::size_t iUnits = bytes.size() / 2;
    auto unit = [&](std::size_t i) {
        return static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    };
    for (std::size_t i = 0; i < iUnits; ++i) {
        const char16_t u = unit(i);
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < iUnits && unit(i + 1) >= 0xDC00 && unit(i + 1) < 0xE000) {
            AppendUtf8(s, 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (unit(i + 1) - 0xDC00));
            ++i;
        } else if (u >= 0xD800 && u < 0xE000) {
            AppendUtf8(s, 0xFFFD);
        } else {
            AppendUtf8(s, u);
        }
    }
    return s;
}

std::string Latin1ToUtf8(std::string_view sBytes) {
    std::string s;
    s.reserve(sBytes.size());
    for (char c : sBytes) {
        const auto b = static_cast<std::uint8_t>(c);
        if (b < 0x80) {
            s += c;
        } else {
            s += static_cast<char>(0xC0 | (b >> 6));
            s += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return s;
}

char32_t Cp1252Character(unsigned char b) {
    static constexpr char16_t High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                          0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                          0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                          0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    return b >= 0x80 && b < 0xA0 ? High[b - 0x80] : b;
}

std::string BoolToText(std::int64_t iValue) { return iValue != 0 ? "True" : "False"; }

std::string BinaryText(std::int64_t iValue, int iWidthCode) {
    int iWidth = 64;
    switch (iWidthCode) {
    case 1:
    case 24: iWidth = 8; break;
    case 3:
    case 25: iWidth = 16; break;
    case 5: iWidth = 32; break;
    default: break;
    }
    const std::uint64_t v = static_cast<std::uint64_t>(iValue);
    std::string s(static_cast<std::size_t>(iWidth), '0');
    for (int i = 0; i < iWidth; ++i) {
        if ((v >> i) & 1U) s[static_cast<std::size_t>(iWidth - 1 - i)] = '1';
    }
    return s;
}

std::size_t Utf8Length(std::string_view s) {
    if (s.empty()) return 0;
    const auto b = static_cast<unsigned char>(s[0]);
    if (b < 0x80) return 1;
    std::size_t n = 0;
    unsigned char lo = 0x80, hi = 0xBF; // the bounds of the second byte
    if (b >= 0xC2 && b <= 0xDF) n = 2, lo = b == 0xC2 ? 0xA0 : 0x80; // C2 80..9F: the C1 controls
    else if (b >= 0xE0 && b <= 0xEF) n = 3, lo = b == 0xE0 ? 0xA0 : 0x80, hi = b == 0xED ? 0x9F : 0xBF;
    else if (b >= 0xF0 && b <= 0xF4) n = 4, lo = b == 0xF0 ? 0x90 : 0x80, hi = b == 0xF4 ? 0x8F : 0xBF;
    if (n == 0 || s.size() < n) return 0;
    for (std::size_t i = 1; i < n; ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < (i == 1 ? lo : 0x80) || c > (i == 1 ? hi : 0xBF)) return 0;
    }
    return n;
}

namespace {

// The length of the printable UTF-8 sequence at the start of s, 0 when it is none.
std::size_t PrintableLength(std::string_view s) {
    const auto b = static_cast<unsigned char>(s[0]);
    if (b < 0x80) return (b >= 0x20 && b != 0x7F) || b == '\n' || b == '\t' ? 1 : 0;
    return Utf8Length(s);
}

} // namespace

std::string PrintableText(std::string_view sText, std::size_t iMostEscapes) {
    std::string s;
    s.reserve(sText.size());
    std::size_t iEscapes = 0;
    for (std::size_t i = 0; i < sText.size();) {
        const std::size_t n = PrintableLength(sText.substr(i));
        if (n > 0) {
            s.append(sText.substr(i, n));
            i += n;
            continue;
        }
        if (iEscapes++ == iMostEscapes) return s + "...";
        const auto b = static_cast<unsigned char>(sText[i++]);
        s += "\\x";
        s += HexDigits[b >> 4];
        s += HexDigits[b & 0xF];
    }
    return s;
}

std::string HexDump(const std::uint8_t* pData, std::int64_t iEnd, int iBytesPerLine, std::int64_t iStart,
                    bool fCharacters, bool fLastLineEnd, int iOffsetDigits) {
    std::string s;
    if (pData == nullptr || iEnd <= 0 || iStart < 0 || iStart >= iEnd || iBytesPerLine < 1 || iBytesPerLine > 64)
        return s;
    int w = iOffsetDigits;
    if (w <= 0) {
        const auto iLast = static_cast<std::uint64_t>(iEnd - 1);
        w = std::max(1, static_cast<int>((std::bit_width(iLast) + 3) / 4));
    }
    w = std::min(w, 32);
    const auto n = static_cast<std::int64_t>(iBytesPerLine);
    const std::int64_t iLines = (iEnd - iStart + n - 1) / n;
    s.reserve(static_cast<std::size_t>(iLines) * static_cast<std::size_t>(w + 6 + 5 * n));
    for (std::int64_t iLine = iStart; iLine < iEnd; iLine += n) {
        const auto iOffset = static_cast<std::uint64_t>(iLine);
        for (int d = w - 1; d >= 0; --d) s += d < 16 ? HexDigits[(iOffset >> (4 * d)) & 0xF] : '0';
        s += "| ";
        const std::int64_t iCount = std::min(n, iEnd - iLine);
        for (std::int64_t i = 0; i < iCount; ++i) {
            const std::uint8_t b = pData[iLine + i];
            s += HexDigits[b >> 4];
            s += HexDigits[b & 0xF];
            s += ' ';
        }
        const bool fLast = iLine + n >= iEnd;
        if (fCharacters) {
            const auto iMissing = static_cast<std::size_t>(n - iCount);
            s.append(3 * iMissing, ' ');
            s += '|';
            for (std::int64_t i = 0; i < iCount; ++i) AppendCharacter(s, pData[iLine + i]);
            s.append(iMissing, ' ');
            s += '|';
            if (fLast && !fLastLineEnd && iMissing > 0) s.append(2, ' ');
        }
        if (!fLast || fLastLineEnd) s += "\r\n";
    }
    return s;
}

} // namespace Utility
