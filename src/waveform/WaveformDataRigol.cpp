#include "waveform/WaveformDataRigol.h"

#include "common/TextRoutines.h"
#include "transport/ChainedAnswers.h"
#include "waveform/InstrumentWaveform.h"
#include "waveform/WaveformDataFile.h"

namespace WaveformData {

namespace {

const char* FormatText(std::int64_t i) {
    switch (i) {
    case 0: return "BYTE";
    case 1: return "WORD";
    case 2: return "ASC";
    default: return "UNKNOWN";
    }
}

const char* TypeText(std::int64_t i) {
    switch (i) {
    case 0: return "NORMAL";
    case 1: return "MAXIMUM";
    case 2: return "RAW";
    default: return "UNKNOWN";
    }
}

struct uRigolWriter final : uFileWriter {
    bool fLogic = false;
    std::vector<uWaveformLogicLine> shown;
    double dXIncrement = 0, dXOrigin = 0, dXReference = 0;
    double dYIncrement = 0, dYBase = 0; // dYBase = YOrigin + YReference
    std::int64_t k = 0;                  // the time index of the next sample

    uRigolWriter(bool fLogic, const std::vector<uWaveformLogicLine>& lines) : fLogic(fLogic), shown(ShownLines(lines)) {
        sProcedure = "WaveformData::SaveWaveformRigol";
        sNoDescription = "Es sind keine Beschreibungen bzw. Preamble der Messkurve am Ende der Daten vorhanden.";
        iStepBytes = 2;
        iBytesPerRow = fLogic ? 2 : 1;
        fLogicRecords = fLogic;
    }

    double Time(std::int64_t i) const { return dXReference + static_cast<double>(i) * dXIncrement + dXOrigin; }

    bool Describe(const std::string& sDescription, std::uint64_t, uFileHeader& header, std::string& sError) override {
        using InstrumentWaveform::RealToWhole;
        using InstrumentWaveform::ToReal;
        const std::vector<std::string> parts = Instrument::AnswerFields(sDescription);
        std::vector<std::string> fields;
        Utility::SplitStringToList(parts.empty() ? std::string() : parts[0], fields, ",");
        // Every value of a sample comes from the preamble: one with a field missing gives no
        // file rather than zeros.
        double d[10];
        for (std::size_t i = 0; i < 10; ++i) {
            const std::string sField = i < fields.size() ? Utility::TrimCharacters(fields[i], " \t\r\n") : std::string();
            if (sField.empty()) {
                sError = sProcedure + ": Die Preamble der Messkurve ist unvollständig: >" +
                         (parts.empty() ? std::string() : parts[0]) + "<";
                return false;
            }
            d[i] = ToReal(sField);
        }
        const std::string sUnit = parts.size() > 1 ? Utility::TrimCharacters(parts[1], " \t\r\n") : std::string();
        dXIncrement = d[4];
        dXOrigin = d[5];
        dXReference = d[6];
        dYIncrement = d[7];
        dYBase = d[8] + d[9];
        header.Items = {{"Preamble Format", FormatText(RealToWhole(d[0]))},
                        {"Preamble Type", TypeText(RealToWhole(d[1]))},
                        {"Preamble Points", std::to_string(RealToWhole(d[2]))},
                        {"Preamble Averages Count", std::to_string(RealToWhole(d[3]))},
                        {"Preamble XIncrement", HeaderReal(d[4])},
                        {"Preamble XOrigin", HeaderReal(d[5])},
                        {"Preamble XReference", HeaderWhole(d[6])},
                        {"Preamble YIncrement", HeaderReal(d[7])},
                        {"Preamble YOrigin", HeaderWhole(d[8])},
                        {"Preamble YReference", HeaderWhole(d[9])}};
        header.ValueColumns = fLogic ? LogicColumns(shown) : std::vector<std::string>{"Sample in " + sUnit};
        return true;
    }

    void Step(const std::uint8_t* p, std::size_t iBytes, uRowSink& rows) override {
        ByteOrWordStep(
            p, iBytes, fLogic, shown, k, [this](std::int64_t i) { return Time(i); },
            [this](std::uint8_t b) { return (static_cast<double>(b) - dYBase) * dYIncrement; }, rows);
    }
};

} // namespace

bool SaveWaveformRigol(const uWaveformRecordChannel& channel, const std::vector<uWaveformLogicLine>& logicLines,
                       const std::string& sFileName, std::int64_t iProgressStart, std::int64_t iProgressEnd,
                       const std::string& sManufacturer, const std::string& sModel, std::int64_t iSaveFormat,
                       WaveformDataInstance& instance, std::string& sError) {
    uRigolWriter writer(channel.eWaveform == WaveformLogic, logicLines);
    return WriteWaveformFile(writer, channel, sFileName, iProgressStart, iProgressEnd, sManufacturer, sModel,
                             iSaveFormat, instance, sError);
}

} // namespace WaveformData
