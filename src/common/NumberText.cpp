#include "common/NumberText.h"

#include <QLocale>
#include <QString>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <locale.h>

namespace Utility {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string SeparatorOr(const QString& sSeparator, const char* sDefault) {
    const std::string s = sSeparator.toStdString();
    return s.empty() ? std::string(sDefault) : s;
}

struct uSeparators {
    std::string sDecimal;
    std::string sThousands;
};

// Read once, on the first call that needs them.
const uSeparators& CachedSeparators() {
    static const uSeparators separators{GetDecimalSeparator(), GetThousandsSeparator()};
    return separators;
}

void ReplaceAll(std::string& s, std::string_view sFrom, std::string_view sTo) {
    if (sFrom.empty() || sFrom == sTo) return;
    std::string sResult;
    sResult.reserve(s.size());
    std::size_t iStart = 0;
    for (std::size_t i = s.find(sFrom); i != std::string::npos; i = s.find(sFrom, iStart)) {
        sResult.append(s, iStart, i - iStart);
        sResult += sTo;
        iStart = i + sFrom.size();
    }
    sResult.append(s, iStart);
    s = std::move(sResult);
}

// Removes the thousands separators of the integer part at the start of s when they separate
// whole groups: one to three digits, then groups of exactly three.
void RemoveGrouping(std::string& s, std::string_view sThousands) {
    if (sThousands.empty()) return;
    std::size_t i = (!s.empty() && (s[0] == '+' || s[0] == '-')) ? 1 : 0;
    const std::size_t iBegin = i;
    auto digitRun = [&](std::size_t& pos) {
        const std::size_t iStart = pos;
        while (pos < s.size() && IsDigit(s[pos])) ++pos;
        return pos - iStart;
    };
    const std::size_t iFirst = digitRun(i);
    if (iFirst < 1 || iFirst > 3) return;
    std::size_t iGroups = 0;
    while (std::string_view(s).substr(i).starts_with(sThousands)) {
        i += sThousands.size();
        if (digitRun(i) != 3) return;
        ++iGroups;
    }
    if (iGroups == 0) return;
    std::string sResult(s, 0, iBegin);
    for (std::size_t k = iBegin; k < i; ++k) {
        if (IsDigit(s[k])) sResult += s[k];
    }
    sResult.append(s, i);
    s = std::move(sResult);
}

// The C library's own locale-independent reading, for values beyond the double range.
double ReadOutOfRange(const char* pBegin, const char* pEnd) {
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    const std::string s(pBegin, pEnd);
    return cLocale != static_cast<locale_t>(nullptr) ? strtod_l(s.c_str(), nullptr, cLocale) : 0.0;
}

std::size_t CopyText(std::string_view s, char* pOut) {
    std::memcpy(pOut, s.data(), s.size());
    return s.size();
}

// True when rounding |v| to d decimals meets an exact tie: the value's lowest set bit is
// worth 2^-(d+1), so that v·10^d lies exactly halfway between two integers.
bool IsTie(double dAbs, int d) {
    const auto bits = std::bit_cast<std::uint64_t>(dAbs);
    const auto iExponent = static_cast<int>((bits >> 52) & 0x7FF);
    std::uint64_t iMantissa = bits & ((std::uint64_t{1} << 52) - 1);
    int e = -1074;
    if (iExponent != 0) {
        iMantissa |= std::uint64_t{1} << 52;
        e = iExponent - 1075;
    }
    if (iMantissa == 0) return false;
    return e + std::countr_zero(iMantissa) == -(d + 1);
}

// Strips trailing zeros of the fraction and a bare point from [pBegin, pEnd); returns the new end.
char* TrimFraction(char* pBegin, char* pEnd) {
    if (std::find(pBegin, pEnd, '.') == pEnd) return pEnd;
    while (pEnd > pBegin && pEnd[-1] == '0') --pEnd;
    if (pEnd > pBegin && pEnd[-1] == '.') --pEnd;
    return pEnd;
}

} // namespace

std::string GetDecimalSeparator() { return SeparatorOr(QLocale::system().decimalPoint(), "."); }

std::string GetThousandsSeparator() { return SeparatorOr(QLocale::system().groupSeparator(), ","); }

double ValLocalized(std::string_view sText) {
    if (sText.empty()) return 0.0;
    const uSeparators& sep = CachedSeparators();
    std::string s;
    s.reserve(sText.size());
    for (char c : sText) {
        if (c != ' ') s += c;
    }
    if (sep.sThousands != sep.sDecimal) RemoveGrouping(s, sep.sThousands);
    ReplaceAll(s, sep.sDecimal, ".");

    const char* p = s.data();
    const char* pEnd = s.data() + s.size();
    bool fNegative = false;
    if (p < pEnd && (*p == '+' || *p == '-')) fNegative = *p++ == '-';
    // Only decimal digits: no "inf", "nan" or hexadecimal forms.
    if (p == pEnd || !(IsDigit(*p) || (*p == '.' && p + 1 < pEnd && IsDigit(p[1])))) return 0.0;
    double d = 0.0;
    const auto result = std::from_chars(p, pEnd, d, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) d = ReadOutOfRange(p, result.ptr);
    else if (result.ec != std::errc()) return 0.0;
    return fNegative ? -d : d;
}

std::string StrDLocalized(double dValue, int iDecimals) {
    if (std::isnan(dValue)) return std::string(NotANumberText);
    if (std::isinf(dValue)) return std::string(dValue < 0 ? MinusInfinityText : PlusInfinityText);
    const uSeparators& sep = CachedSeparators();
    const double dAbs = std::fabs(dValue);
    char buffer[FormatDoubleFastMaxLength + 8];
    if (iDecimals < 0) {
        const double dFraction = dAbs - std::trunc(dAbs);
        const auto r = std::to_chars(buffer, buffer + sizeof buffer, dFraction, std::chars_format::fixed, 10);
        const char* pEnd = TrimFraction(buffer, r.ptr);
        const char* pPoint = std::find(static_cast<const char*>(buffer), pEnd, '.');
        iDecimals = pPoint == pEnd ? 0 : static_cast<int>(pEnd - pPoint - 1);
    }
    iDecimals = std::min(iDecimals, MaxFastDecimals);
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, dAbs, std::chars_format::fixed, iDecimals);
    const std::string_view sDigits(buffer, static_cast<std::size_t>(r.ptr - buffer));
    const std::size_t iPoint = std::min(sDigits.find('.'), sDigits.size());
    const std::string_view sInteger = sDigits.substr(0, iPoint);

    std::string s;
    const bool fZero = sDigits.find_first_not_of("0.") == std::string_view::npos;
    if (dValue < 0 && !fZero) s += '-';
    for (std::size_t i = 0; i < sInteger.size(); ++i) {
        if (i > 0 && (sInteger.size() - i) % 3 == 0) s += sep.sThousands;
        s += sInteger[i];
    }
    if (iPoint < sDigits.size()) {
        s += sep.sDecimal;
        s += sDigits.substr(iPoint + 1);
    }
    return s;
}

std::size_t FormatDoubleFast(double dValue, int iDecimals, char* pOut) {
    if (std::isnan(dValue)) return CopyText(NotANumberText, pOut);
    if (std::isinf(dValue)) return CopyText(dValue < 0 ? MinusInfinityText : PlusInfinityText, pOut);
    const int d = std::clamp(iDecimals, 0, MaxFastDecimals);
    char* p = pOut;
    if (dValue < 0.0) *p++ = '-';
    const double dAbs = std::fabs(dValue);
    const bool fTie = IsTie(dAbs, d);
    char* const pDigits = p;
    // Exactly rounded by the standard library, which breaks a tie towards the even digit; a tie
    // is written with one more (exact) decimal, a 5, that is then rounded away from zero.
    const auto r = std::to_chars(pDigits, pOut + FormatDoubleFastMaxLength, dAbs, std::chars_format::fixed,
                                 fTie ? d + 1 : d);
    char* pEnd = r.ptr;
    if (fTie) {
        --pEnd;
        char* q = pEnd - 1;
        bool fCarry = true;
        for (; fCarry && q >= pDigits; --q) {
            if (*q == '.') continue;
            if (*q == '9') {
                *q = '0';
            } else {
                ++*q;
                fCarry = false;
            }
        }
        if (fCarry) {
            std::memmove(pDigits + 1, pDigits, static_cast<std::size_t>(pEnd - pDigits));
            *pDigits = '1';
            ++pEnd;
        }
    }
    pEnd = TrimFraction(pDigits, pEnd);
    return static_cast<std::size_t>(pEnd - pOut);
}

void AppendDoubleFast(std::string& sOut, double dValue, int iDecimals) {
    char buffer[FormatDoubleFastMaxLength];
    sOut.append(buffer, FormatDoubleFast(dValue, iDecimals, buffer));
}

std::string FormatDoubleFast(double dValue, int iDecimals) {
    std::string s;
    AppendDoubleFast(s, dValue, iDecimals);
    return s;
}

} // namespace Utility
