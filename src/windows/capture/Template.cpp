#include "windows/capture/Template.h"

#include "waveform/WaveformData.h"

#include <chrono>
#include <ctime>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace Template {

namespace {

std::mutex mClockMutex;
std::shared_ptr<const Clock> mClock; // null: the system clock

uLocalTime SystemNow() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm tm{};
    localtime_r(&t, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms)};
}

std::string Pad(int iValue, std::size_t iDigits) {
    std::string s = std::to_string(iValue);
    if (s.size() < iDigits) s.insert(0, iDigits - s.size(), '0');
    return s;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool HasToken(std::string_view sText, char cLetter) {
    for (std::size_t i = 0; i + 1 < sText.size(); ++i)
        if (sText[i] == '/' && Lower(sText[i + 1]) == Lower(cLetter)) return true;
    return false;
}

bool IsAlphanumeric(char c) { return (c >= '0' && c <= '9') || (Lower(c) >= 'a' && Lower(c) <= 'z'); }

// Where the extension of the name at the end of the text begins: a dot followed by one to four
// letters or digits, at least one a letter (".csv", ".bin", ".png"); the text's size when none.
std::size_t ExtensionStart(std::string_view sText) {
    const std::size_t iDot = sText.rfind('.');
    if (iDot == std::string::npos || sText.size() - iDot < 2 || sText.size() - iDot > 5) return sText.size();
    bool fLetter = false;
    for (std::size_t i = iDot + 1; i < sText.size(); ++i) {
        if (!IsAlphanumeric(sText[i])) return sText.size();
        fLetter = fLetter || !(sText[i] >= '0' && sText[i] <= '9');
    }
    return fLetter ? iDot : sText.size();
}

} // namespace

void SetClock(Clock clock) {
    std::lock_guard lock(mClockMutex);
    mClock = clock ? std::make_shared<const Clock>(std::move(clock)) : nullptr;
}

uLocalTime Now() {
    std::shared_ptr<const Clock> pClock;
    {
        std::lock_guard lock(mClockMutex);
        pClock = mClock;
    }
    return pClock ? (*pClock)() : SystemNow();
}

std::string DataSourceText(std::int64_t eDataSource) {
    switch (eDataSource) {
    case DataSourceScreen: return "Screen";
    case DataSourceMemory: return "Memory";
    case DataSourceEntireMemory: return "Entire memory";
    case DataSourceScreen10Bit: return "Screen 10bit";
    case DataSourceMemory10Bit: return "Memory 10bit";
    case DataSourceEntireMemory10Bit: return "Entire memory 10bit";
    default: return {};
    }
}

std::string ExpandFileName(std::string_view sTemplate, std::string_view sManufacturer, std::string_view sModel,
                           std::int64_t iDate, std::int64_t iMilliseconds, std::int64_t eDataSource,
                           std::string_view sChannel) {
    if (sTemplate.empty()) return {};
    const uLocalTime now = Now();
    uLocalTime date = now;
    if (iDate != 0) {
        // The date value counts local civil seconds: its fields are read as they stand.
        const std::time_t t = static_cast<std::time_t>(iDate);
        std::tm tm{};
        if (gmtime_r(&t, &tm))
            date = {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, 0};
    }
    std::string sMilliseconds;
    if (iMilliseconds == 0) {
        sMilliseconds = Pad(now.iMilliseconds, 3);
    } else {
        sMilliseconds = std::to_string(iMilliseconds);
        if (sMilliseconds.size() > 3) sMilliseconds.erase(0, sMilliseconds.size() - 3);
    }
    const std::string sSource = DataSourceText(eDataSource);
    const std::string sYear = std::to_string(date.iYear), sMonth = Pad(date.iMonth, 2), sDay = Pad(date.iDay, 2),
                      sHour = Pad(date.iHour, 2), sMinute = Pad(date.iMinute, 2), sSecond = Pad(date.iSecond, 2);
    // What the token of a letter puts in; none for a source or channel without a text, whose token
    // stays as written.
    const auto value = [&](char cLetter) -> std::optional<std::string_view> {
        switch (Lower(cLetter)) {
        case 'f': return sManufacturer;
        case 'o': return sModel;
        case 'y': return sYear;
        case 'm': return sMonth;
        case 'd': return sDay;
        case 'h': return sHour;
        case 'n': return sMinute;
        case 's': return sSecond;
        case 'z': return sMilliseconds;
        case 'u': return sSource.empty() ? std::nullopt : std::optional<std::string_view>(sSource);
        case 'c': return sChannel.empty() ? std::nullopt : std::optional<std::string_view>(sChannel);
        default: return std::nullopt;
        }
    };
    // One walk over the template: what a token puts in (an instrument's maker, model or channel, a
    // port's path) is never looked at again.
    std::string s;
    for (std::size_t i = 0; i < sTemplate.size(); ++i) {
        const std::optional<std::string_view> sValue =
            sTemplate[i] == '/' && i + 1 < sTemplate.size() ? value(sTemplate[i + 1]) : std::nullopt;
        if (sValue) {
            s += *sValue;
            ++i;
        } else {
            s += sTemplate[i];
        }
    }
    // A source or channel the template has no token for goes in with a blank in front of the
    // template's extension, which stays last.
    const std::size_t iExtension = sTemplate.size() - ExtensionStart(sTemplate);
    for (const auto& [cLetter, sValue] : {std::pair{'U', std::string_view(sSource)}, std::pair{'C', sChannel}})
        if (!sValue.empty() && !HasToken(sTemplate, cLetter)) s.insert(s.size() - iExtension, " " + std::string(sValue));
    return s;
}

std::string SanitizeFileName(std::string_view sName) {
    std::string sOut(sName);
    for (char& c : sOut) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || u < 0x20 || u == 0x7F) c = '_';
    }
    if (sOut.empty() || sOut == "." || sOut == "..") return "_";
    return sOut;
}

std::string ExpandSafeFileName(std::string_view sTemplate, std::string_view sManufacturer, std::string_view sModel,
                               std::int64_t iDate, std::int64_t iMilliseconds, std::int64_t eDataSource,
                               std::string_view sChannel) {
    return SanitizeFileName(
        ExpandFileName(sTemplate, sManufacturer, sModel, iDate, iMilliseconds, eDataSource, sChannel));
}

void RegisterExpander() {
    WaveformData::SetFileNameExpander([](const std::string& sTemplate, const std::string& sManufacturer,
                                         const std::string& sModel, std::int64_t iDate, std::int64_t iMilliseconds,
                                         std::int64_t eDataSource, std::int64_t, const std::string& sChannel) {
        return ExpandSafeFileName(sTemplate, sManufacturer, sModel, iDate, iMilliseconds, eDataSource, sChannel);
    });
}

} // namespace Template
