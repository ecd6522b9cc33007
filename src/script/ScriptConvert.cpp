#include "script/ScriptConvert.h"

#include "common/NumberText.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <locale.h>

namespace InstrumentScript {
namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char ca = a[i], cb = b[i];
        if (ca >= 'A' && ca <= 'Z') ca = static_cast<char>(ca - 'A' + 'a');
        if (cb >= 'A' && cb <= 'Z') cb = static_cast<char>(cb - 'A' + 'a');
        if (ca != cb) return false;
    }
    return true;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::size_t SkipBlanks(std::string_view s, std::size_t i) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    return i;
}

} // namespace

std::int64_t TextToInteger(std::string_view sText) {
    std::size_t i = SkipBlanks(sText, 0);
    bool fNegative = false;
    if (i < sText.size() && (sText[i] == '-' || sText[i] == '+')) fNegative = sText[i++] == '-';
    std::uint64_t iValue = 0;
    if (i < sText.size() && sText[i] == '$') {
        for (++i; i < sText.size() && HexValue(sText[i]) >= 0; ++i) iValue = iValue * 16 + HexValue(sText[i]);
    } else if (i < sText.size() && sText[i] == '%') {
        for (++i; i < sText.size() && (sText[i] == '0' || sText[i] == '1'); ++i) iValue = iValue * 2 + (sText[i] - '0');
    } else {
        for (; i < sText.size() && IsDigit(sText[i]); ++i) iValue = iValue * 10 + static_cast<std::uint64_t>(sText[i] - '0');
    }
    if (fNegative) iValue = std::uint64_t{0} - iValue;
    return static_cast<std::int64_t>(iValue);
}

double TextToFloat(std::string_view sText) {
    std::size_t i = 0;
    while (i < sText.size() && (sText[i] == ' ' || sText[i] == '\t' || sText[i] == '\r' || sText[i] == '\n' ||
                                sText[i] == '\v' || sText[i] == '\f'))
        ++i;
    const std::string_view sRest = sText.substr(i);
    if (EqualsIgnoringCase(sRest, Utility::PlusInfinityText)) return std::numeric_limits<double>::infinity();
    if (EqualsIgnoringCase(sRest, Utility::MinusInfinityText)) return -std::numeric_limits<double>::infinity();
    if (EqualsIgnoringCase(sRest, Utility::NotANumberText)) return std::numeric_limits<double>::quiet_NaN();
    // The number's extent: sign, digits, point, digits, and an exponent only when it has digits.
    std::size_t iEnd = 0;
    if (iEnd < sRest.size() && (sRest[iEnd] == '-' || sRest[iEnd] == '+')) ++iEnd;
    std::size_t iDigits = 0;
    while (iEnd < sRest.size() && IsDigit(sRest[iEnd])) ++iEnd, ++iDigits;
    if (iEnd < sRest.size() && sRest[iEnd] == '.') {
        ++iEnd;
        while (iEnd < sRest.size() && IsDigit(sRest[iEnd])) ++iEnd, ++iDigits;
    }
    if (iDigits == 0) return 0.0;
    if (iEnd < sRest.size() && (sRest[iEnd] == 'e' || sRest[iEnd] == 'E')) {
        std::size_t j = iEnd + 1;
        if (j < sRest.size() && (sRest[j] == '-' || sRest[j] == '+')) ++j;
        if (j < sRest.size() && IsDigit(sRest[j])) {
            while (j < sRest.size() && IsDigit(sRest[j])) ++j;
            iEnd = j;
        }
    }
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    if (cLocale == static_cast<locale_t>(nullptr)) return 0.0;
    const std::string sNumber(sRest.substr(0, iEnd));
    return strtod_l(sNumber.c_str(), nullptr, cLocale);
}

std::int64_t TextToBoolean(std::string_view sText) { return EqualsIgnoringCase(sText, "true") ? 1 : 0; }

std::int64_t FloatToInteger(double dValue) {
    if (std::isnan(dValue)) return 0;
    // 2^63 is exactly representable; every double below it converts without overflow.
    if (dValue >= 9223372036854775808.0) return std::numeric_limits<std::int64_t>::max();
    if (dValue < -9223372036854775808.0) return std::numeric_limits<std::int64_t>::min();
    const double dFloor = std::floor(dValue);
    const double dFraction = dValue - dFloor;
    double dResult = dFloor;
    if (dFraction > 0.5 || (dFraction == 0.5 && std::fmod(dFloor, 2.0) != 0.0)) dResult = dFloor + 1.0;
    if (dResult >= 9223372036854775808.0) return std::numeric_limits<std::int64_t>::max();
    return static_cast<std::int64_t>(dResult);
}

std::string FloatToPlainText(double dValue) {
    if (std::isnan(dValue)) return std::string(Utility::NotANumberText);
    if (std::isinf(dValue)) return std::string(dValue > 0 ? Utility::PlusInfinityText : Utility::MinusInfinityText);
    std::string s = Utility::FormatDoubleFast(dValue, 10);
    if (s == "-0") s = "0";
    return s;
}

std::string FloatToLocalizedText(double dValue) {
    std::string s = Utility::StrDLocalized(dValue, -1);
    if (s == "-0") s = "0";
    return s;
}

std::string LowerAscii(std::string_view sText) {
    std::string s(sText);
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

namespace {

std::string TwoDigits(std::int64_t i) {
    char a[8];
    std::snprintf(a, sizeof a, "%02d", static_cast<int>(i));
    return a;
}

} // namespace

std::string TimeOfDayText(std::int64_t iSeconds) {
    iSeconds = ((iSeconds % 86400) + 86400) % 86400;
    return TwoDigits(iSeconds / 3600) + ":" + TwoDigits(iSeconds / 60 % 60) + ":" + TwoDigits(iSeconds % 60);
}

std::string DateTimeText(std::int64_t iSeconds) {
    std::int64_t iDays = iSeconds / 86400;
    if (iSeconds % 86400 < 0) --iDays;
    const std::int64_t z = iDays + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
    char a[32];
    std::snprintf(a, sizeof a, "%04lld-", static_cast<long long>(y));
    return a + TwoDigits(m) + "-" + TwoDigits(d) + " " + TimeOfDayText(iSeconds);
}

} // namespace InstrumentScript
