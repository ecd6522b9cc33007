#include "waveform/WaveformReaderRigol.h"

#include "waveform/InstrumentWaveformRigol.h"
#include "waveform/WaveformFrame.h"

#include <algorithm>
#include <vector>

namespace InstrumentDefault {
namespace {

using InstrumentWaveform::uAnswer;
using InstrumentWaveform::uFlagTable;
using InstrumentWaveform::uLabelTable;

// What a Rigol family's reader does differently: a row per family.
struct uRigolFamily {
    const char* sReader;
    std::int64_t iScreenPoints;     // points per request in NORM
    std::vector<std::int64_t> analogSources; // in reading order, math last
    const char* sLogicForm;         // "BYTE" or "WORD"
    const char* sLogicPointsSource; // the source of the logic points query
    bool fPods;                     // memory reads pods, the screen single lines; else one source "LA"
    bool (*CheckVisibleChannels)(std::int64_t, const uAnswer&, uFlagTable&, std::string&);
    bool (*CheckVisibleDigitalChannels)(std::int64_t, const uAnswer&, uFlagTable&, uLabelTable&, std::string&);
    void (*RequiredChannels)(std::int64_t, const uTaskWaveform&, uFlagTable&);
    bool (*CheckAcquirePoints)(std::int64_t, const uAnswer&, std::int64_t&, std::string&);
    bool (*CheckChannelData)(std::int64_t, const uAnswer&, std::int64_t, uWaveformData&, std::string&);
    bool (*CheckPreamble)(std::int64_t, const uAnswer&, std::int64_t, uWaveformData&, std::string&);
    bool (*CreatePreamble)(std::int64_t, uWaveformData&, std::string&);
    bool (*CheckUnitAndLabel)(std::int64_t, const uAnswer&, std::int64_t, uWaveformData&, std::string&);
    void (*SetLogicLabel)(std::int64_t, uWaveformData&, const uLabelTable&);
    std::string (*ChannelName)(std::int64_t, std::int64_t);
};

#define ORVANTO_RIGOL_CHECKS(P)                                                                                         \
    InstrumentWaveform::P##CheckVisibleChannels, InstrumentWaveform::P##CheckVisibleDigitalChannels,                    \
        InstrumentWaveform::P##RequiredChannels, InstrumentWaveform::P##CheckAcquirePoints,                             \
        InstrumentWaveform::P##CheckChannelData, InstrumentWaveform::P##CheckPreamble,                                  \
        InstrumentWaveform::P##CreatePreamble, InstrumentWaveform::P##CheckUnitAndLabel,                                \
        InstrumentWaveform::P##SetLogicLabel, InstrumentWaveform::P##ChannelName

const uRigolFamily& FamilyDS1000Z() {
    static const uRigolFamily family{"InstrumentDefault::GetWaveformRigolDS1000Z",
                                     1200,
                                     {WaveformChannel1, WaveformChannel2, WaveformChannel3, WaveformChannel4, WaveformMath},
                                     "BYTE",
                                     "D0",
                                     true,
                                     ORVANTO_RIGOL_CHECKS(RigolDS1000Z)};
    return family;
}

const uRigolFamily& FamilyDS2000() {
    static const uRigolFamily family{"InstrumentDefault::GetWaveformRigolDS2000",
                                     1400,
                                     {WaveformChannel1, WaveformChannel2, WaveformMath},
                                     "WORD",
                                     "LA",
                                     false,
                                     ORVANTO_RIGOL_CHECKS(RigolDS2000)};
    return family;
}
#undef ORVANTO_RIGOL_CHECKS


class RigolRead {
  public:
    RigolRead(const uRigolFamily& family, uInstance& instance, int iWindow, uTaskWaveform& waveform, uWaveformData& data)
        : family(family), exchange(instance, iWindow, family.sReader), eModel(instance.uConnection.eModel),
          waveform(waveform), data(data) {}

    bool Run(std::string& sError);

  private:
    using Check = WaveformFrame::AnswerCheck;

    bool Points(const std::string& sSource, std::int64_t& iPoints, std::string& sError);
    // The data requests of one source, in parts of at most iPerRequest points, each read behind
    // the samples so far (fDigital: the source's element is a digital one).
    bool ReadParts(const std::string& sSource, std::int64_t eWaveform, bool fDigital, std::int64_t iPoints,
                   std::int64_t iPerRequest, std::string& sError);
    bool Preamble(std::int64_t eWaveform, std::string& sError);
    bool ReadAnalog(std::int64_t iPerRequest, std::string& sError);
    bool ReadLogicSource(std::int64_t eWaveform, std::int64_t iPerRequest, std::string& sError);
    bool ReadLogic(std::string& sError);

    const uRigolFamily& family;
    WaveformFrame::Exchanger exchange;
    std::int64_t eModel;
    uTaskWaveform& waveform;
    uWaveformData& data;
    WaveformFrame::uTables tables;
    std::int64_t eMode = DataSourceScreen;
    std::int64_t iPoints = 0;
};

bool RigolRead::Points(const std::string& sSource, std::int64_t& iCount, std::string& sError) {
    // The preamble counts the points of the start/stop window: on the screen that window is
    // set to the screen first; the memory's length is its depth.
    const std::string sLength = eMode == DataSourceMemory ? std::string(InstrumentWaveform::RigolDepthQuery)
                                                          : ":WAV:STAR 1;:WAV:STOP " +
                                                                std::to_string(family.iScreenPoints) + ";:WAV:PRE?";
    return exchange.Query(":WAV:SOUR " + sSource + ";" + sLength,
                          [&](const uAnswer& a, std::string& e) { return family.CheckAcquirePoints(eModel, a, iCount, e); },
                          sError);
}

bool RigolRead::ReadParts(const std::string& sSource, std::int64_t eWaveform, bool fDigital, std::int64_t iCount,
                          std::int64_t iPerRequest, std::string& sError) {
    const Check check = [&](const uAnswer& a, std::string& e) {
        return family.CheckChannelData(eModel, a, eWaveform, data, e);
    };
    const auto samples = [&]() -> DataBuffer& {
        return fDigital ? InstrumentWaveform::FindOrAddDigital(data, eWaveform).samples
                        : InstrumentWaveform::FindOrAddAnalog(data, eWaveform).samples;
    };
    // Windows 1-based with both ends in.
    const std::int64_t iPointBytes = InstrumentWaveform::RigolPointBytes(eModel, fDigital);
    const auto ask = [&](std::int64_t iFirst, std::int64_t iPoints) {
        return exchange.QueryBehind(":WAV:SOUR " + sSource + ";:WAV:STAR " + std::to_string(iFirst + 1) + ";:WAV:STOP " +
                                        std::to_string(iFirst + iPoints) + ";:WAV:DATA?",
                                    samples(), static_cast<std::size_t>(iPoints * iPointBytes), check, sError);
    };
    return WaveformFrame::ReadPieces({iCount, iPerRequest, 0, iPointBytes}, ask, samples, 0,
                                     std::string(family.sReader) + ": " + sSource + " - ", sError);
}

bool RigolRead::Preamble(std::int64_t eWaveform, std::string& sError) {
    return exchange.Query(":WAV:PRE?",
                          [&](const uAnswer& a, std::string& e) {
                              return family.CheckPreamble(eModel, a, eWaveform, data, e) &&
                                     family.CreatePreamble(eWaveform, data, e);
                          },
                          sError);
}

bool RigolRead::ReadAnalog(std::int64_t iPerRequest, std::string& sError) {
    for (const std::int64_t e : family.analogSources) {
        if (!tables.fVisible[e]) continue;
        if (e == WaveformMath && eMode != DataSourceScreen) continue; // math lives on the screen only
        const std::string sSource = family.ChannelName(e, InstrumentWaveform::RigolNameSource);
        WaveformFrame::ReserveSamples(InstrumentWaveform::FindOrAddAnalog(data, e).samples, iPoints, 1);
        if (!ReadParts(sSource, e, false, iPoints, iPerRequest, sError) || !Preamble(e, sError)) return false;
        const std::string sUnit = ":" + family.ChannelName(e, InstrumentWaveform::RigolNameHeader) + ":UNIT?";
        if (!exchange.Query(sUnit,
                            [&](const uAnswer& a, std::string& err) {
                                return family.CheckUnitAndLabel(eModel, a, e, data, err);
                            },
                            sError)) {
            return false;
        }
        uWaveformAnalogChannel& channel = InstrumentWaveform::FindOrAddAnalog(data, e);
        channel.eSource = eMode;
        channel.eBits = 4;
        channel.iPoints = iPoints;
        channel.iBytesPerSample = 1;
    }
    return true;
}

bool RigolRead::ReadLogicSource(std::int64_t e, std::int64_t iPerRequest, std::string& sError) {
    const std::string sSource = family.ChannelName(e, InstrumentWaveform::RigolNameSource);
    WaveformFrame::ReserveSamples(InstrumentWaveform::FindOrAddDigital(data, e).samples, iPoints, family.fPods ? 1 : 2);
    if (!ReadParts(sSource, e, true, iPoints, iPerRequest, sError) || !Preamble(e, sError)) return false;
    family.SetLogicLabel(e, data, tables.sLabel);
    uWaveformDigitalChannel& channel = InstrumentWaveform::FindOrAddDigital(data, e);
    channel.eSource = eMode;
    channel.iPoints = iPoints;
    return true;
}

bool RigolRead::ReadLogic(std::string& sError) {
    const bool fMemory = eMode == DataSourceMemory;
    const std::string sFormat = std::string(fMemory ? ":WAV:MODE RAW" : ":WAV:MODE NORM") + ";:WAV:FORM " + family.sLogicForm;
    const std::int64_t iPerRequest = fMemory ? InstrumentWaveform::RigolPiecePoints(true) : family.iScreenPoints;
    if (!exchange.Command(sFormat, sError) || !Points(family.sLogicPointsSource, iPoints, sError)) return false;
    if (!family.fPods) return ReadLogicSource(WaveformLogic, iPerRequest, sError);
    if (fMemory) {
        for (const std::int64_t ePod : {WaveformLogicPod1, WaveformLogicPod2}) {
            if (tables.fVisible[ePod] && !ReadLogicSource(ePod, iPerRequest, sError)) return false;
        }
        return true;
    }
    for (std::int64_t e = WaveformDigital0; e <= WaveformDigital15; ++e) {
        if (tables.fVisible[e] && !ReadLogicSource(e, iPerRequest, sError)) return false;
    }
    return true;
}

bool RigolRead::Run(std::string& sError) {
    bool fResult = exchange.QueryBare(
        InstrumentWaveform::RigolVisibleQuery(eModel), [&](const uAnswer& a, std::string& e) { return family.CheckVisibleChannels(eModel, a, tables.fVisible, e); },
        sError);
    if (!fResult) exchange.Wrap("The visible channels could not be determined.", sError);
    if (fResult && tables.fVisible[WaveformLogic]) {
        fResult = exchange.QueryBare(InstrumentWaveform::RigolLinesQuery(),
                                     [&](const uAnswer& a, std::string& e) {
                                         return family.CheckVisibleDigitalChannels(eModel, a, tables.fVisible,
                                                                                   tables.sLabel, e);
                                     },
                                     sError);
        if (!fResult) exchange.Wrap("The visible digital channels could not be determined.", sError);
    }
    family.RequiredChannels(eModel, waveform, tables.fVisible);
    WaveformFrame::CopyFlags(tables, data);
    if (!fResult) return false;

    eMode = waveform.eSource == DataSourceMemory || waveform.eSource == DataSourceEntireMemory ? DataSourceMemory
                                                                                                : DataSourceScreen;
    waveform.eSource = eMode;
    waveform.eBits = 4;
    const bool fMemory = eMode == DataSourceMemory;
    if (fMemory && !exchange.Command(":STOP", sError)) return false;
    if (!exchange.Command(fMemory ? ":WAV:MODE RAW;:WAV:FORM BYTE" : ":WAV:MODE NORM;:WAV:FORM BYTE", sError)) return false;
    if (!Points(family.ChannelName(WaveformChannel1, InstrumentWaveform::RigolNameSource), iPoints, sError)) return false;
    if (!ReadAnalog(fMemory ? InstrumentWaveform::RigolPiecePoints(false) : family.iScreenPoints, sError)) return false;
    if (!tables.fVisible[WaveformLogic]) return true;
    fResult = ReadLogic(sError);
    WaveformFrame::CopyLineLabels(tables, data);
    return fResult;
}

} // namespace

bool GetWaveformRigolDS1000Z(uInstance& instance, int iWindow, uTaskWaveform& waveform, uWaveformData& data,
                             std::string& sError) {
    return RigolRead(FamilyDS1000Z(), instance, iWindow, waveform, data).Run(sError);
}

bool GetWaveformRigolDS2000(uInstance& instance, int iWindow, uTaskWaveform& waveform, uWaveformData& data,
                            std::string& sError) {
    return RigolRead(FamilyDS2000(), instance, iWindow, waveform, data).Run(sError);
}

} // namespace InstrumentDefault
