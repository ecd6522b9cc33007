#include "waveform/WaveformReaderRohdeSchwarz.h"

#include "waveform/InstrumentWaveformRohdeSchwarz.h"
#include "waveform/WaveformFrame.h"

namespace InstrumentDefault {
namespace {

using namespace InstrumentWaveform;

constexpr const char* Reader = "InstrumentDefault::GetWaveformRohdeSchwarzRTB2000";
constexpr const char* HeaderQueries = ":HEAD?;YRES?;YOR?;YINC?;XOR?;XINC?";

class RohdeSchwarzRead {
  public:
    RohdeSchwarzRead(uInstance& instance, int iWindow, uTaskWaveform& waveform, uWaveformData& data)
        : exchange(instance, iWindow, Reader), eModel(instance.uConnection.eModel), waveform(waveform), data(data) {}

    bool Run(std::string& sError);

  private:
    WaveformFrame::AnswerCheck DataCheck(std::int64_t e) {
        return [this, e](const uAnswer& a, std::string& err) { return RohdeSchwarzRTB2000CheckChannelData(eModel, a, e, data, err); };
    }
    WaveformFrame::AnswerCheck HeaderCheck(std::int64_t e) {
        return [this, e](const uAnswer& a, std::string& err) { return RohdeSchwarzRTB2000CheckPreamble(eModel, a, e, data, err); };
    }
    WaveformFrame::AnswerCheck PointsCheck() {
        return [this](const uAnswer& a, std::string& err) { return RohdeSchwarzRTB2000CheckAcquirePoints(eModel, a, iPoints, err); };
    }
    bool ReadSource(std::int64_t e, std::string& sError);
    bool ReadPods(std::string& sError);

    WaveformFrame::Exchanger exchange;
    std::int64_t eModel;
    uTaskWaveform& waveform;
    uWaveformData& data;
    WaveformFrame::uTables tables;
    std::string sPointWord;
    std::string sWidthWord;
    std::int64_t iBytes = 1;
    std::int64_t eAcquireType = 0;
    std::int64_t iPoints = 0;
};

bool RohdeSchwarzRead::ReadSource(std::int64_t e, std::string& sError) {
    const bool fEnvelope = e >= WaveformEnvelope1 && e <= WaveformEnvelope4;
    const bool fMath = e >= WaveformMath1 && e <= WaveformMath5;
    const std::string N = RohdeSchwarzRTB2000ChannelName(e, RohdeSchwarzNameSource);
    const std::string P = fMath ? ":CALC" : "";
    const std::string sSuffix = fEnvelope ? ":ENV" : "";
    if (!exchange.Query(P + ":" + N + ":DATA" + sSuffix + "?", DataCheck(e), sError)) return false;
    if (!exchange.Query(P + ":" + N + ":DATA:POIN?", PointsCheck(), sError)) return false;
    // A channel's block in one piece: fewer points than its count is no record.
    std::string sShort;
    if (((e >= WaveformChannel1 && e <= WaveformChannel4) || fEnvelope) &&
        !RohdeSchwarzRTB2000WholeChannel(FindOrAddAnalog(data, e).samples.size(), iBytes, fEnvelope, iPoints, sShort)) {
        sError = std::string(Reader) + ": " + N + " - " + sShort;
        return false;
    }
    const std::string sHeader = P + ":" + N + ":DATA" + sSuffix + HeaderQueries;
    if (!exchange.Query(sHeader, HeaderCheck(e), sError)) return false;
    // A header copy that does not parse fails with the parser's own text.
    if (!RohdeSchwarzRTB2000CreatePreamble(e, data, sError)) return false;
    std::string sUnit;
    if (e >= WaveformChannel1 && e <= WaveformChannel4) {
        sUnit = ":PROB" + std::to_string(e - WaveformChannel1 + 1) + ":SET:GAIN:UNIT?;:" + N + ":LAB:STAT?;:" + N + ":LAB?";
    } else if (fEnvelope) {
        sUnit = ":PROB" + std::to_string(e - WaveformEnvelope1 + 1) + ":SET:GAIN:UNIT?;:" + N + ":LAB:STAT?;:" + N + ":LAB?";
    } else if (fMath) {
        sUnit = P + ":" + N + ":LAB:STAT?;:" + N + ":LAB?";
    } else {
        sUnit = ":" + N + ":LAB?";
    }
    if (!exchange.Query(sUnit,
                        [&](const uAnswer& a, std::string& err) {
                            return RohdeSchwarzRTB2000CheckUnitAndLabel(eModel, a, e, data, err);
                        },
                        sError)) {
        return false;
    }
    uWaveformAnalogChannel& channel = FindOrAddAnalog(data, e);
    channel.eSource = waveform.eSource;
    channel.eBits = waveform.eBits;
    channel.iBytesPerSample = fEnvelope ? 2 : iBytes;
    channel.iPoints = fEnvelope ? 1200 : iPoints;
    return true;
}

bool RohdeSchwarzRead::ReadPods(std::string& sError) {
    if (!exchange.Command(":LOG1:DATA:POIN " + sPointWord + ";:FORM:DATA UINT,8;:FORM:BORD LSBF", sError)) return false;
    const std::string sFirst = RohdeSchwarzRTB2000ChannelName(WaveformLogicPod1, RohdeSchwarzNameSource);
    if (!exchange.Query(":" + sFirst + ":DATA:POIN?", PointsCheck(), sError)) return false;
    for (const std::int64_t e : {WaveformLogicPod1, WaveformLogicPod2}) {
        if (!tables.fVisible[e]) continue;
        const std::string N = RohdeSchwarzRTB2000ChannelName(e, RohdeSchwarzNameSource);
        WaveformFrame::ReserveSamples(FindOrAddDigital(data, e).samples, iPoints, 1);
        if (!exchange.Query(":" + N + ":DATA?", DataCheck(e), sError)) return false;
        if (!exchange.Query(":" + N + ":DATA" + HeaderQueries, HeaderCheck(e), sError)) return false;
        if (!RohdeSchwarzRTB2000CreatePreamble(e, data, sError)) return false;
        RohdeSchwarzRTB2000SetLogicLabel(e, data, tables.sLabel);
        uWaveformDigitalChannel& pod = FindOrAddDigital(data, e);
        pod.eSource = waveform.eSource;
        pod.iPoints = iPoints;
    }
    return true;
}

bool RohdeSchwarzRead::Run(std::string& sError) {
    std::string sVisible = ":CHAN1:STAT?;:CHAN2:STAT?;:CALC:MATH1:STAT?;:CALC:MATH2:STAT?;:CALC:MATH3:STAT?;"
                           ":CALC:MATH4:STAT?;:CALC:MATH5:STAT?;:REFC1:STAT?;:REFC2:STAT?;:REFC3:STAT?;:REFC4:STAT?;"
                           ":LOG1:PROB:ENAB?;:LOG2:PROB:ENAB?";
    if (eModel == ModelRohdeSchwarzRTB2000Ch4) sVisible += ";:CHAN3:STAT?;:CHAN4:STAT?";
    bool fResult = exchange.QueryBare(sVisible,
                                      [&](const uAnswer& a, std::string& e) {
                                          return RohdeSchwarzRTB2000CheckVisibleChannels(eModel, a, tables.fVisible, e);
                                      },
                                      sError);
    if (!fResult) exchange.Wrap("The visible channels could not be determined.", sError);
    if (fResult && (tables.fVisible[WaveformLogicPod1] || tables.fVisible[WaveformLogicPod2])) {
        fResult = exchange.QueryBare(RohdeSchwarzLinesQuery(),
                                     [&](const uAnswer& a, std::string& e) {
                                         return RohdeSchwarzRTB2000CheckVisibleDigitalChannels(eModel, a, tables.fVisible,
                                                                                               tables.sLabel, e);
                                     },
                                     sError);
        if (!fResult) exchange.Wrap("The visible digital channels could not be determined.", sError);
    }
    RohdeSchwarzRTB2000RequiredChannels(eModel, waveform, tables.fVisible);
    WaveformFrame::CopyFlags(tables, data);
    if (!fResult) return false;

    static constexpr const char* PointWords[] = {"", "DEF", "DMAX", "MAX"};
    if (waveform.eSource < 1 || waveform.eSource > 3) waveform.eSource = DataSourceScreen;
    sPointWord = PointWords[waveform.eSource];
    if (waveform.eBits != 4 && waveform.eBits != 5) waveform.eBits = 4;
    sWidthWord = waveform.eBits == 5 ? "16" : "8";
    iBytes = waveform.eBits == 5 ? 2 : 1;

    if (!exchange.Query(":ACQ:TYPE?",
                        [&](const uAnswer& a, std::string& e) {
                            return RohdeSchwarzRTB2000CheckAcquireType(eModel, a, eAcquireType, e);
                        },
                        sError)) {
        return false;
    }
    if (eAcquireType == 3) {
        for (std::int64_t i = 0; i < 4; ++i) tables.fVisible[WaveformEnvelope1 + i] = tables.fVisible[WaveformChannel1 + i];
    }
    if (waveform.eSource != DataSourceScreen && !exchange.Command(":STOP", sError)) return false;
    if (!exchange.Command(":CHAN1:DATA:POIN " + sPointWord + ";:FORM:DATA UINT," + sWidthWord + ";:FORM:BORD LSBF", sError)) {
        return false;
    }
    static constexpr std::int64_t Positions[] = {
        WaveformChannel1,   WaveformChannel2,   WaveformChannel3,   WaveformChannel4,   WaveformMath1,
        WaveformMath2,      WaveformMath3,      WaveformMath4,      WaveformMath5,      WaveformReference1,
        WaveformReference2, WaveformReference3, WaveformReference4, WaveformEnvelope1,  WaveformEnvelope2,
        WaveformEnvelope3,  WaveformEnvelope4};
    for (const std::int64_t e : Positions) {
        if (tables.fVisible[e] && !ReadSource(e, sError)) return false;
    }
    if (!tables.fVisible[WaveformLogic]) return true;
    fResult = ReadPods(sError);
    WaveformFrame::CopyLineLabels(tables, data);
    return fResult;
}

} // namespace

bool GetWaveformRohdeSchwarzRTB2000(uInstance& instance, int iWindow, uTaskWaveform& waveform, uWaveformData& data,
                                    std::string& sError) {
    return RohdeSchwarzRead(instance, iWindow, waveform, data).Run(sError);
}

} // namespace InstrumentDefault
