#include "waveform/WaveformDataSiglent.h"

#include "common/TextRoutines.h"
#include "common/WindowLog.h"
#include "transport/BlockHeader.h"
#include "waveform/WaveformDataFile.h"

#include <array>
#include <cmath>
#include <cstring>

namespace WaveformData {

namespace {

constexpr std::string_view DescriptorPrefix = "DESC,";
constexpr std::string_view Separators = "\r\n;";
constexpr std::size_t MaxSeparators = 3; // CR, LF and ";" between the block and the descriptor
constexpr std::size_t MarkShown = 16;    // the bytes a wrong mark shows

constexpr std::array<const char*, 39> TimeBaseTexts = {
    "200E-12", "500E-12", "1E-9",   "2E-9",   "5E-9",   "10E-9",  "20E-9",  "50E-9",  "100E-9", "200E-9",
    "500E-9",  "1E-6",    "2E-6",   "5E-6",   "10E-6",  "20E-6",  "50E-6",  "100E-6", "200E-6", "500E-6",
    "1E-3",    "2E-3",    "5E-3",   "10E-3",  "20E-3",  "50E-3",  "100E-3", "200E-3", "500E-3", "1",
    "2",       "5",       "10",     "20",     "50",     "100",    "200",    "500",    "1000"};
constexpr std::array<double, 39> TimeBaseSeconds = {
    200e-12, 500e-12, 1e-9,   2e-9,   5e-9,   10e-9,  20e-9,  50e-9,  100e-9, 200e-9, 500e-9, 1e-6,   2e-6,
    5e-6,    10e-6,   20e-6,  50e-6,  100e-6, 200e-6, 500e-6, 1e-3,   2e-3,   5e-3,   10e-3,  20e-3,  50e-3,
    100e-3,  200e-3,  500e-3, 1,      2,      5,      10,     20,     50,     100,    200,    500,    1000};
constexpr std::array<const char*, 20> ProbeTexts = {
    "0.1X",  "0.2X",  "0.5X",  "1X",     "2X",      "5X",      "10X",     "20X",     "50X",     "100X",
    "200X",  "500X",  "1000X", "2000X",  "5000X",   "10000X",  "CustomA", "CustomB", "CustomC", "CustomD"};

// The descriptor's fields as the writer reads them, little-endian from their offsets.
struct uDescriptor {
    std::array<std::uint8_t, SiglentDescriptorSize> bytes{};

    template <typename T> T At(std::size_t iOffset) const {
        T v;
        std::memcpy(&v, bytes.data() + iOffset, sizeof v);
        return v;
    }
    std::string Text(std::size_t iOffset) const {
        const char* p = reinterpret_cast<const char*>(bytes.data() + iOffset);
        return std::string(p, strnlen(p, 16));
    }
    std::string Int16(std::size_t o) const { return std::to_string(At<std::int16_t>(o)); }
    std::string Int32(std::size_t o) const { return std::to_string(At<std::int32_t>(o)); }
    double Float(std::size_t o) const { return static_cast<double>(At<float>(o)); }
};

// A table entry by a real index; no text for an index that is not finite or outside the table.
template <std::size_t N> const char* Entry(const std::array<const char*, N>& table, double dIndex) {
    const double d = std::trunc(dIndex);
    if (!std::isfinite(d) || d < 0 || d >= static_cast<double>(N)) return "";
    return table[static_cast<std::size_t>(d)];
}

// Codes per division where the descriptor gives none (the SDS2000X Plus and SDS5000X with 8 bits).
constexpr double DefaultCodesPerDivision = 30;
constexpr std::array<double, 16> ProbeFactors = {0.1, 0.2, 0.5, 1,   2,   5,    10,   20,
                                                 50,  100, 200, 500, 1e3, 2e3,  5e3,  10e3};

// The value when it is a usable positive number, else the fallback.
double Positive(double d, double dFallback) {
    return std::isnormal(d) && d > 0 ? d : dFallback;
}

// The probe factor at 328: a float (10 for a 10X probe). Earlier firmware stored an index into
// the factor table there as an integer, which the guide's older example reads the same way; a
// zero field gives 1.
double ProbeFactor(const uDescriptor& d) {
    const auto iIndex = d.At<std::int32_t>(328);
    if (iIndex > 0 && static_cast<std::size_t>(iIndex) < ProbeFactors.size())
        return ProbeFactors[static_cast<std::size_t>(iIndex)];
    return Positive(d.Float(328), 1);
}

// The probe's place in the factor table for the header (-1 where the factor is not in it), so
// that a float factor of 1 reads "1X" and not the text at index 1.
int ProbeIndex(double dFactor) {
    for (std::size_t i = 0; i < ProbeFactors.size(); ++i)
        if (ProbeFactors[i] == dFactor) return static_cast<int>(i);
    return -1;
}

const char* Pick(std::int16_t i, std::initializer_list<const char*> texts) {
    return i >= 0 && static_cast<std::size_t>(i) < texts.size() ? texts.begin()[i] : "";
}

struct uSiglentWriter final : uFileWriter {
    bool fLogic = false;
    bool fAnalogue = false; // channels 1 to 4: the unit follows the descriptor
    std::vector<uWaveformLogicLine> shown;
    double dScale = 0; // volts per code
    double dOffset = 0, dInterval = 0, dFirstTime = 0;
    std::int64_t k = 0;

    uSiglentWriter(const uWaveformRecordChannel& channel, const std::vector<uWaveformLogicLine>& lines)
        : shown(ShownLines(lines)) {
        sProcedure = "WaveformData::SaveWaveformSiglent";
        fRawDescription = true; // Describe names a missing descriptor as the reason of the failure
        iCheckEvery = 500;
        fLogic = channel.eWaveform == WaveformLogic;
        fAnalogue = channel.eWaveform >= WaveformChannel1 && channel.eWaveform <= WaveformChannel4;
        iStepBytes = 2;
        iBytesPerRow = fLogic ? 2 : 1;
        fLogicRecords = fLogic;
    }

    void Log(const std::string& sMessage) const { WindowLog::PostError(sProcedure + ": " + sMessage); }

    // Every value of a sample comes from the descriptor: one that cannot be read gives no file.
    bool Describe(const std::string& sRest, std::uint64_t, uFileHeader& header, std::string& sError) override {
        std::size_t iDescriptor = 0;
        std::string sProblem;
        if (!FindSiglentDescriptor(sRest, iDescriptor, sProblem)) {
            sError = sProcedure + ": " + sProblem;
            return false;
        }
        uDescriptor d;
        std::memcpy(d.bytes.data(), sRest.data() + iDescriptor, SiglentDescriptorSize);
        std::string sUnit;
        if (fAnalogue) {
            const std::size_t iUnit = iDescriptor + SiglentDescriptorSize + 1;
            if (sRest.size() <= iUnit) Log("Die Einheit des analogen Kanals konnte nicht ermittelt werden.");
            else sUnit = Utility::TrimCharacters(std::string_view(sRest).substr(iUnit), " \t\r\n;");
        }
        const auto iTimeBase = d.At<std::int16_t>(324);
        // Volts as the programming guide reconstructs them: gain and offset times the probe
        // factor, the code divided by the codes per division.
        const double dFactor = ProbeFactor(d);
        const int iProbe = ProbeIndex(dFactor);
        dScale = d.Float(156) * dFactor / Positive(d.Float(164), DefaultCodesPerDivision);
        dOffset = d.Float(160) * dFactor;
        dInterval = d.Float(176);
        const double dHorizontalOffset = d.At<double>(180);
        const bool fTimeBase = iTimeBase >= 0 && static_cast<std::size_t>(iTimeBase) < TimeBaseSeconds.size();
        dFirstTime = -dHorizontalOffset - 5 * (fTimeBase ? TimeBaseSeconds[static_cast<std::size_t>(iTimeBase)] : 0.0);
        header.sLeadLine = "Preamble:";
        header.Items = {{"Descriptor", d.Text(0)},
                        {"Template", d.Text(16)},
                        {"Instrument", d.Text(76)},
                        {"CommType", d.Int16(32)},
                        {"CommOrder", d.Int16(34)},
                        {"WaveArrayLength", d.Int32(60)},
                        {"WaveArrayCount", d.Int32(116)},
                        {"FirstPointOffset", d.Int32(132)},
                        {"SparseFactor", d.Int32(136)},
                        {"VerticalScale", HeaderReal(d.Float(156))},
                        {"VerticalOffset", HeaderReal(d.Float(160))},
                        {"HorizontalInterval", HeaderReal(dInterval)},
                        {"HorizontalOffset", HeaderReal(dHorizontalOffset)},
                        {"TimeBase Index", std::to_string(iTimeBase)},
                        {"TimeBase", fTimeBase ? TimeBaseTexts[static_cast<std::size_t>(iTimeBase)] : ""},
                        {"GridMaxValue", HeaderWhole(d.Float(164))},
                        {"GridMinValue", HeaderWhole(d.Float(168))},
                        {"VerticalCoupling", Pick(d.At<std::int16_t>(326), {"DC", "AC", "GND"})},
                        {"ProbeAttenuation Index", std::to_string(iProbe)},
                        {"ProbeAttenuation", iProbe >= 0 ? std::string(ProbeTexts[static_cast<std::size_t>(iProbe)])
                                                         : HeaderReal(dFactor) + "X"},
                        {"FixedVerticalScale Index", d.Int16(332)},
                        {"BandwithLimit", Pick(d.At<std::int16_t>(334), {"OFF", "20 MHz", "200 MHz"})},
                        {"WaveSource", Pick(d.At<std::int16_t>(344), {"C1", "C2", "C3", "C4"})}};
        if (fLogic) header.ValueColumns = LogicColumns(shown);
        else header.ValueColumns = {sUnit.empty() ? std::string("Sample") : "Sample in " + sUnit};
        return true;
    }

    double Time(std::int64_t i) const { return dFirstTime + static_cast<double>(i) * dInterval; }

    void Step(const std::uint8_t* p, std::size_t iBytes, uRowSink& rows) override {
        ByteOrWordStep(
            p, iBytes, fLogic, shown, k, [this](std::int64_t i) { return Time(i); },
            [this](std::uint8_t b) {
                return static_cast<double>(static_cast<std::int8_t>(b)) * dScale - dOffset;
            },
            rows);
    }
};

} // namespace

bool FindSiglentDescriptor(std::string_view sRest, std::size_t& iDescriptor, std::string& sProblem) {
    if (sRest.empty()) {
        sProblem = "Es sind keine Beschreibungen bzw. Preamble der Messkurve am Ende der Daten vorhanden.";
        return false;
    }
    const std::size_t iPreamble = sRest.size() - 1;
    if (iPreamble < SiglentDescriptorSize) {
        sProblem = "Die Größe der Preamble-Daten ist zu klein. iPreambleSize = " + std::to_string(iPreamble);
        return false;
    }
    std::size_t iMark = 0;
    while (iMark < MaxSeparators && Separators.find(sRest[iMark]) != std::string_view::npos) ++iMark;
    const std::size_t iBlock = iMark + (sRest.substr(iMark, DescriptorPrefix.size()) == DescriptorPrefix ? DescriptorPrefix.size() : 0);
    std::uint64_t iCount = 0;
    const std::size_t iHeader = Instrument::ParseBlockHeaderOnly(reinterpret_cast<const std::uint8_t*>(sRest.data()),
                                                                 iBlock, sRest.size(), &iCount);
    if (iHeader == 0 || iCount != SiglentDescriptorSize) {
        sProblem = "Die Kennung der Preamble ist falsch: >" + std::string(sRest.substr(iMark, MarkShown)) + "<";
        return false;
    }
    if (sRest.size() - iBlock - iHeader < SiglentDescriptorSize) {
        sProblem = "Es sind nicht genügend Daten für die Preamble vorhanden.";
        return false;
    }
    iDescriptor = iBlock + iHeader;
    return true;
}

bool SaveWaveformSiglent(const uWaveformRecordChannel& channel, const std::vector<uWaveformLogicLine>& logicLines,
                         const std::string& sFileName, std::int64_t iProgressStart, std::int64_t iProgressEnd,
                         const std::string& sManufacturer, const std::string& sModel, std::int64_t iSaveFormat,
                         WaveformDataInstance& instance, std::string& sError) {
    uSiglentWriter writer(channel, logicLines);
    return WriteWaveformFile(writer, channel, sFileName, iProgressStart, iProgressEnd, sManufacturer, sModel,
                             iSaveFormat, instance, sError);
}

} // namespace WaveformData
