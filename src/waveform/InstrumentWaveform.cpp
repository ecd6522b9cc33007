#include "waveform/InstrumentWaveform.h"

#include "common/TextRoutines.h"
#include "transport/BlockHeader.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace InstrumentWaveform {
namespace {

std::string Prefix(const char* sProcedure) { return std::string("InstrumentWaveform::") + sProcedure + ": "; }

template <class T> T* FindIn(std::list<T>& list, std::int64_t eWaveform) {
    for (T& element : list) {
        if (element.eWaveform == eWaveform) return &element;
    }
    return nullptr;
}

template <class T> T& FindOrAddIn(std::list<T>& list, std::int64_t eWaveform) {
    if (T* p = FindIn(list, eWaveform)) return *p;
    T& element = list.emplace_back();
    element.eWaveform = eWaveform;
    return element;
}

template <class T> void FreeBlocks(std::list<T>& list) {
    for (T& element : list) {
        element.samples.release();
        element.rawPreamble.release();
        element.pPreamble.reset();
    }
}

} // namespace

bool FreeWaveformData(uWaveformData& data) {
    FreeBlocks(data.AnalogChannels);
    FreeBlocks(data.DigitalChannels);
    return false;
}

uWaveformAnalogChannel* FindAnalog(uWaveformData& data, std::int64_t e) { return FindIn(data.AnalogChannels, e); }
uWaveformDigitalChannel* FindDigital(uWaveformData& data, std::int64_t e) { return FindIn(data.DigitalChannels, e); }
uWaveformAnalogChannel& FindOrAddAnalog(uWaveformData& data, std::int64_t e) { return FindOrAddIn(data.AnalogChannels, e); }
uWaveformDigitalChannel& FindOrAddDigital(uWaveformData& data, std::int64_t e) {
    return FindOrAddIn(data.DigitalChannels, e);
}

bool HasData(const char* sProcedure, const uAnswer& answer, std::string& sError) {
    if (answer.fFinished && answer.pData != nullptr && answer.iSize > 0) return true;
    sError = Prefix(sProcedure) + "There are no data available.";
    return false;
}

bool ValidSource(const char* sProcedure, std::int64_t eWaveform, std::string& sError) {
    if (eWaveform >= 1 && eWaveform <= 55) return true;
    sError = Prefix(sProcedure) + "Der Kanal ist ungültig: eWaveform = " + std::to_string(eWaveform);
    return false;
}

bool AppendBlock(const char* sProcedure, const uAnswer& answer, DataBuffer& samples, std::string& sError) {
    return AppendBlockAt(sProcedure, answer, 0, Instrument::eBlockUnit::Bytes, samples, sError);
}

bool BlockEnds(const std::uint8_t* pData, std::size_t iSize, std::size_t iEnd) {
    return iEnd >= iSize || pData[iEnd] == '\n' || pData[iEnd] == '\r' || pData[iEnd] == ';';
}

bool AppendBlockAt(const char* sProcedure, const uAnswer& answer, std::size_t iOffset, Instrument::eBlockUnit eUnit,
                   DataBuffer& samples, std::string& sError, std::size_t* piEnd, std::uint64_t* piCount) {
    if (answer.iSize < iOffset + 11) {
        sError = Prefix(sProcedure) + "Es sind nicht genügend Daten vorhanden für das SCPI-Blockformat.";
        return false;
    }
    std::uint64_t iCount = 0;
    const std::size_t iHeader = Instrument::ParseBlockHeaderOnly(answer.pData, iOffset, answer.iSize, &iCount);
    if (iHeader == 0) {
        sError = Prefix(sProcedure) + "Es ist kein SCPI-Blockformat vorhanden.";
        return false;
    }
    if (iCount == 0) {
        sError = Prefix(sProcedure) + "Die Angegebene Größe im SCPI-Blockformat ist Null.";
        return false;
    }
    const std::uint64_t iBytes = Instrument::BlockBytes(iCount, eUnit);
    const std::size_t iNet = answer.iSize - iOffset - iHeader;
    if (iBytes > iNet) {
        sError = Prefix(sProcedure) + "Die Datengröße ist kleiner als im SCPI-Blockformat angegeben. Datengröße netto = " +
                 std::to_string(iNet) + " - Blockformatwert = " + std::to_string(iBytes);
        return false;
    }
    const std::size_t iEnd = iOffset + iHeader + static_cast<std::size_t>(iBytes);
    if (!BlockEnds(answer.pData, answer.iSize, iEnd)) {
        sError = Prefix(sProcedure) + "Die Datengröße ist größer als im SCPI-Blockformat angegeben. Datengröße netto = " +
                 std::to_string(iNet) + " - Blockformatwert = " + std::to_string(iBytes);
        return false;
    }
    const std::size_t iNew = samples.size() + static_cast<std::size_t>(iBytes);
    // A reader that knows the point count has reserved the whole block already.
    if (samples.capacity() < iNew && !samples.reserve(iNew)) {
        sError = Prefix(sProcedure) + "The memory for " + std::to_string(iNew) + " bytes could not be allocated.";
        return false;
    }
    samples.append(answer.pData + iOffset + iHeader, static_cast<std::size_t>(iBytes));
    if (piEnd) *piEnd = iEnd;
    if (piCount) *piCount = iCount;
    return true;
}

bool CopyPreamble(const char* sProcedure, const uAnswer& answer, DataBuffer& raw, std::string& sError) {
    if (raw.assign(answer.pData, answer.iSize)) return true;
    sError = Prefix(sProcedure) + "The memory for " + std::to_string(answer.iSize) + " bytes could not be allocated.";
    return false;
}

std::string AnswerText(std::string_view bytes) { return Utility::TrimCharacters(bytes, " \t\r\n"); }

std::vector<std::string> Fields(std::string_view sText, std::string_view sSeparator) {
    std::vector<std::string> fields;
    Utility::SplitStringToList(sText, fields, sSeparator);
    return fields;
}

double ToReal(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    bool fNegative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        fNegative = s[i] == '-';
        ++i;
    }
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) return 0; // no second sign
    double d = 0;
    const char* pBegin = s.data() + i;
    const auto result = std::from_chars(pBegin, s.data() + s.size(), d, std::chars_format::general);
    if (result.ptr == pBegin) return 0;
    if (result.ec == std::errc::result_out_of_range) {
        // Too large reads infinite, too small reads 0: tell them apart by the exponent's sign.
        const std::string_view sNumber(pBegin, static_cast<std::size_t>(result.ptr - pBegin));
        const std::size_t e = sNumber.find_first_of("eE");
        const bool fTiny = e != std::string_view::npos && e + 1 < sNumber.size() && sNumber[e + 1] == '-';
        d = fTiny ? 0.0 : std::numeric_limits<double>::infinity();
    }
    return fNegative ? -d : d;
}

std::int64_t ToWhole(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    if (i < s.size() && s[i] == '+') ++i;
    std::int64_t v = 0;
    const auto result = std::from_chars(s.data() + i, s.data() + s.size(), v);
    return result.ec == std::errc() ? v : 0;
}

std::int64_t RealToWhole(double d) {
    if (!std::isfinite(d) || d >= 9.2e18 || d <= -9.2e18) return 0;
    return static_cast<std::int64_t>(d);
}

std::string LineQueries(std::initializer_list<std::string_view> forms) {
    std::string s;
    for (const std::string_view sForm : forms) {
        for (int n = 0; n < 16; ++n) {
            const std::size_t iAt = sForm.find('#');
            s += (s.empty() ? "" : ";") + std::string(sForm.substr(0, iAt)) + std::to_string(n) + std::string(sForm.substr(iAt + 1));
        }
    }
    return s;
}

bool TakePointCount(std::string_view sField, const std::string& sAnswer, std::int64_t& iPoints, std::string& sError) {
    const double d = ToReal(sField);
    iPoints = 0;
    if (!std::isfinite(d) || d > MaxPointCount) {
        sError = "Die Anzahl ist ungültig. Antwort: >" + sAnswer + "<";
        return false;
    }
    const std::int64_t i = RealToWhole(d);
    if (i <= 0) {
        sError = "Die Anzahl ist nicht größer Null. Antwort: >" + sAnswer + "<";
        return false;
    }
    iPoints = i;
    return true;
}

std::string Unquote(std::string_view s) {
    std::size_t a = 0, b = s.size();
    while (a < b && s[a] == '"') ++a;
    while (b > a && s[b - 1] == '"') --b;
    return std::string(s.substr(a, b - a));
}

} // namespace InstrumentWaveform
