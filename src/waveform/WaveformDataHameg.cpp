#include "waveform/WaveformDataHameg.h"

#include "common/TextRoutines.h"
#include "transport/ChainedAnswers.h"
#include "waveform/InstrumentWaveform.h"
#include "waveform/WaveformDataFile.h"

#include <algorithm>
#include <cstring>

namespace WaveformData {

namespace {

constexpr char DataPrefix[] = ":TRAC:DATA ";
constexpr std::size_t DataPrefixLength = sizeof(DataPrefix) - 1;

// Removes one double quote at each end.
std::string Unquoted(const std::string& s) {
    std::string t = s;
    if (!t.empty() && t.front() == '"') t.erase(0, 1);
    if (!t.empty() && t.back() == '"') t.pop_back();
    return t;
}

struct uHamegWriter final : uFileWriter {
    enum eKind { Analogue, MinMax, Pod } eKind = Analogue;
    bool fPod = false;
    bool fPairs = false; // two bytes per row (MINMAX)
    double dYInc = 0, dYOr = 0, dYRef = 0, dXInc = 0, dXOr = 0, dXRef = 0;
    std::int64_t r = 0; // the time index of the next row

    explicit uHamegWriter(bool fPod) : fPod(fPod) {
        sProcedure = "WaveformData::SaveWaveformHameg";
        sCountName = "iTracDataSize";
        iBlockOffset = DataPrefixLength;
        iStepBytes = 2;
        iBytesPerRow = 1;
        fLogicRecords = fPod;
    }

    double Time() const { return dXRef + static_cast<double>(r) * dXInc + dXOr; }
    double Value(std::uint8_t b) const { return (static_cast<double>(b) - dYRef) * dYInc + dYOr; }

    bool Describe(const std::string& sDescription, std::uint64_t iCount, uFileHeader& header, std::string& sError) override {
        using InstrumentWaveform::ToReal;
        header.Items.emplace_back(":TRAC:DATA", std::to_string(iCount));
        const std::vector<std::string> items = Instrument::AnswerFields(sDescription);
        std::string sXUnit, sYUnit, sType, sYInc, sXInc;
        for (const std::string& sItem : items) {
            const std::string sTrimmed = Utility::TrimCharacters(sItem, " \t\r\n;");
            if (sTrimmed.empty()) continue;
            std::vector<std::string> words;
            Utility::SplitStringToList(sTrimmed, words, " ");
            words.resize(2);
            const std::string sKey = Utility::TrimCharacters(words[0], " \t\r\n;");
            const std::string sValue = Utility::TrimCharacters(words[1], " \t\r\n;");
            header.Items.emplace_back(sKey, sValue);
            if (sKey == ":TRAC:TYPE") sType = sValue;
            else if (sKey == ":TRAC:YINC") dYInc = ToReal(sYInc = sValue);
            else if (sKey == ":TRAC:YOR") dYOr = ToReal(sValue);
            else if (sKey == ":TRAC:YREF") dYRef = ToReal(sValue);
            else if (sKey == ":TRAC:YUN") sYUnit = Unquoted(sValue);
            else if (sKey == ":TRAC:XINC") dXInc = ToReal(sXInc = sValue);
            else if (sKey == ":TRAC:XOR") dXOr = ToReal(sValue);
            else if (sKey == ":TRAC:XREF") dXRef = ToReal(sValue);
            else if (sKey == ":TRAC:XUN") sXUnit = Unquoted(sValue);
        }
        // Without the increments every time (and every value of an analogue trace) would read
        // the same: no file then.
        if (!HasDescription(sProcedure, sDescription, {fPod ? sXInc : sYInc, sXInc}, sError)) return false;
        fPairs = sType == "MINMAX";
        eKind = fPod ? Pod : fPairs ? MinMax : Analogue;
        header.sTimeColumn = "Time in " + sXUnit;
        switch (eKind) {
        case Pod: header.ValueColumns = {"Logic 0", "Logic 1", "Logic 2", "Logic 3"}; break;
        case MinMax: header.ValueColumns = {"Minima in " + sYUnit, "Maxima in " + sYUnit}; break;
        case Analogue: header.ValueColumns = {"Sample in " + sYUnit}; break;
        }
        return true;
    }

    void PodRow(std::uint8_t b, uRowSink& rows) {
        rows.RowFloatTime(Time());
        for (int i = 0; i < 4; ++i) rows.State(((b >> i) & 1u) != 0);
        rows.EndRow();
        ++r;
    }

    void Step(const std::uint8_t* p, std::size_t iBytes, uRowSink& rows) override {
        if (fPairs) {
            if (iBytes < 2) return; // a lone last byte is no pair
            if (eKind == Pod) {
                PodRow(p[0], rows);
                return;
            }
            rows.Row(Time());
            rows.Value(Value(p[0]));
            rows.Value(Value(p[1]));
            rows.EndRow();
            ++r;
            return;
        }
        for (std::size_t i = 0; i < iBytes; ++i) {
            if (eKind == Pod) {
                PodRow(p[i], rows);
                continue;
            }
            rows.Row(Time());
            rows.Value(Value(p[i]));
            rows.BinaryValue(0.0);
            rows.EndRow();
            ++r;
        }
    }
};

} // namespace

bool SaveWaveformHameg(const uWaveformRecordChannel& channel, const std::vector<uWaveformLogicLine>&,
                       const std::string& sFileName, std::int64_t iProgressStart, std::int64_t iProgressEnd,
                       const std::string& sManufacturer, const std::string& sModel, std::int64_t iSaveFormat,
                       WaveformDataInstance& instance, std::string& sError) {
    uHamegWriter writer(channel.eWaveform == WaveformLogicPod1 || channel.eWaveform == WaveformZoomLogicPod1);
    // The answer begins with the query's own header; the frame checks a missing answer first.
    const std::size_t iSize = std::min<std::size_t>(static_cast<std::size_t>(std::max<std::int64_t>(channel.iDataSize, 0)),
                                                    channel.pData.size());
    if (channel.pData.allocated() && channel.iDataSize > 0 &&
        (iSize < DataPrefixLength || std::memcmp(channel.pData.data(), DataPrefix, DataPrefixLength) != 0)) {
        sError = writer.sProcedure +
                 ": Die Länge der Daten z.B. ':TRAC:DATA #42000', ist nicht am Anfang der Messkurvendaten vorhanden.";
        return false;
    }
    return WriteWaveformFile(writer, channel, sFileName, iProgressStart, iProgressEnd, sManufacturer, sModel,
                             iSaveFormat, instance, sError);
}

} // namespace WaveformData
