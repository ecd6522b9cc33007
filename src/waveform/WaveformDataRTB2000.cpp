#include "waveform/WaveformDataRTB2000.h"

#include "common/TextRoutines.h"
#include "transport/ChainedAnswers.h"
#include "waveform/InstrumentWaveform.h"
#include "waveform/WaveformDataFile.h"

namespace WaveformData {

namespace {

constexpr std::int64_t AcquireAverage = 2;
constexpr std::int64_t AcquireEnvelope = 3;

std::string ArithmeticsText(const std::string& s) {
    if (s == "ENV") return "Envelope";
    if (s == "AVER") return "Average";
    return s; // "OFF" stays "OFF", unknown mnemonics as received
}

std::string TypeText(const std::string& s) {
    if (s == "SAMP") return "Sample";
    if (s == "PDET") return "Peak Detect";
    if (s == "HRES") return "High Resolution";
    return s;
}

bool IsEightBit(std::int64_t eDataSource) {
    return eDataSource == DataSourceScreen || eDataSource == DataSourceMemory || eDataSource == DataSourceEntireMemory;
}

std::uint32_t Word16(const std::uint8_t* p) { return static_cast<std::uint32_t>(p[0] | (p[1] << 8)); }
std::uint32_t Word32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

struct uRtbWriter final : uFileWriter {
    enum eLayout { Logic, Average, Envelope16, Word, Envelope8, Byte } eLayout = Byte;
    bool fAnalogue = false; // channels 1 to 4: unit and channel settings are read
    std::vector<uWaveformLogicLine> shown;
    double dYOrigin = 0, dYIncrement = 0, dXOrigin = 0, dXIncrement = 0;
    std::int64_t k = 0;

    uRtbWriter(const uWaveformRecordChannel& channel, const std::vector<uWaveformLogicLine>& lines)
        : shown(ShownLines(lines)) {
        sProcedure = "WaveformData::SaveWaveformRTB2000";
        iCheckEvery = 500; // Describe names a missing description as the reason of the failure
        fAnalogue = channel.eWaveform >= WaveformChannel1 && channel.eWaveform <= WaveformChannel4;
        const bool fEightBit = IsEightBit(channel.eDataSource);
        if (channel.eWaveform == WaveformLogic) eLayout = Logic;
        else if (channel.eAcquireType == AcquireAverage) eLayout = Average;
        else if (!fEightBit && channel.eAcquireType == AcquireEnvelope) eLayout = Envelope16;
        else if (!fEightBit) eLayout = Word;
        else if (channel.eAcquireType == AcquireEnvelope) eLayout = Envelope8;
        else eLayout = Byte;
        switch (eLayout) {
        case Logic: iStepBytes = 2; iBytesPerRow = 2; fLogicRecords = true; break;
        case Average: iStepBytes = 4; iBytesPerRow = 4; break;
        case Envelope16: iStepBytes = 4; iBytesPerRow = 4; break;
        case Word: iStepBytes = 2; iBytesPerRow = 2; break;
        case Envelope8: iStepBytes = 2; iBytesPerRow = 1; break;
        case Byte: iStepBytes = 2; iBytesPerRow = 1; break;
        }
    }

    double Time() const { return dXOrigin + static_cast<double>(k) * dXIncrement; }
    double Value(std::uint32_t raw) const { return dYOrigin + dYIncrement * static_cast<double>(raw); }

    bool Describe(const std::string& sDescription, std::uint64_t, uFileHeader& header, std::string& sError) override {
        using InstrumentWaveform::ToReal;
        std::vector<std::string> fields = Instrument::AnswerFields(sDescription);
        fields.resize(10);
        for (std::string& s : fields) s = Utility::TrimCharacters(s, " \t\r\n");
        // The origins and increments of both axes give every value and time: without one of
        // them there is no file rather than one of zeros.
        if (!HasDescription(sProcedure, sDescription, {fields[2], fields[3], fields[4], fields[5]}, sError))
            return false;
        std::vector<std::string> head;
        Utility::SplitStringToList(fields[0], head, ",");
        head.resize(4);
        for (std::string& s : head) s = Utility::TrimCharacters(s, " \t\r\n");
        dYOrigin = ToReal(fields[2]);
        dYIncrement = ToReal(fields[3]);
        dXOrigin = ToReal(fields[4]);
        dXIncrement = ToReal(fields[5]);
        std::string sUnit, sArithmetics, sType, sAverages;
        if (fAnalogue) {
            sUnit = fields[6];
            sArithmetics = ArithmeticsText(fields[7]);
            sType = TypeText(fields[8]);
            if (fields[7] == "AVER") sAverages = fields[9];
        }
        header.Items = {{"XStart in s", HeaderReal(ToReal(head[0]))},
                        {"XStop in s", HeaderReal(ToReal(head[1]))},
                        {"Samples", head[2]},
                        {"Values per Samples", head[3]},
                        {"YResolution", fields[1]},
                        {"YOrigin", HeaderReal(dYOrigin)},
                        {"YIncrement", HeaderReal(dYIncrement)},
                        {"XOrigin", HeaderReal(dXOrigin)},
                        {"XIncrement", HeaderReal(dXIncrement)},
                        {"Channel Arithmetics", sArithmetics},
                        {"Channel Type", sType},
                        {"Acquire Average Count", sAverages}};
        // The unit (field 7) has no line of its own: it names the value columns.
        const std::string sIn = sUnit.empty() ? "" : " in " + sUnit;
        if (eLayout == Logic) {
            for (const uWaveformLogicLine& line : shown) header.ValueColumns.push_back(line.sLabel);
        } else if (eLayout == Envelope16 || eLayout == Envelope8) {
            header.ValueColumns = {"Minima" + sIn, "Maxima" + sIn};
        } else {
            header.ValueColumns = {"Sample" + sIn};
        }
        return true;
    }

    void Step(const std::uint8_t* p, std::size_t iBytes, uRowSink& rows) override {
        if (iBytes < iStepBytes && eLayout != Byte) return; // a cut word or pair is not read
        switch (eLayout) {
        case Logic: LogicRow(static_cast<std::uint16_t>(Word16(p)), shown, Time(), rows); break;
        case Average: Single(Word32(p), rows); break;
        case Word: Single(Word16(p), rows); break;
        case Envelope16: Pair(Word16(p), Word16(p + 2), rows); break;
        case Envelope8: Pair(p[0], p[1], rows); break;
        case Byte:
            for (std::size_t i = 0; i < iBytes; ++i) Single(p[i], rows);
            return;
        }
        if (eLayout == Logic) ++k;
    }

    void Single(std::uint32_t raw, uRowSink& rows) {
        rows.Row(Time());
        rows.Value(Value(raw));
        rows.EndRow();
        ++k;
    }
    void Pair(std::uint32_t minimum, std::uint32_t maximum, uRowSink& rows) {
        rows.Row(Time());
        rows.Value(Value(minimum));
        rows.Value(Value(maximum));
        rows.EndRow();
        ++k;
    }
};

} // namespace

bool SaveWaveformRTB2000(const uWaveformRecordChannel& channel, const std::vector<uWaveformLogicLine>& logicLines,
                         const std::string& sFileName, std::int64_t iProgressStart, std::int64_t iProgressEnd,
                         const std::string& sManufacturer, const std::string& sModel, std::int64_t iSaveFormat,
                         WaveformDataInstance& instance, std::string& sError) {
    uRtbWriter writer(channel, logicLines);
    return WriteWaveformFile(writer, channel, sFileName, iProgressStart, iProgressEnd, sManufacturer, sModel,
                             iSaveFormat, instance, sError);
}

} // namespace WaveformData
