#include "waveform/WaveformReaderSiglent.h"

#include "waveform/InstrumentWaveformSiglent.h"
#include "waveform/WaveformFrame.h"

#include <algorithm>

namespace InstrumentDefault {
namespace {

using namespace InstrumentWaveform;

constexpr const char* Reader = "InstrumentDefault::GetWaveformSiglentSDS2000XPlus";

class SiglentRead {
  public:
    SiglentRead(uInstance& instance, int iWindow, uTaskWaveform& waveform, uWaveformData& data, std::int64_t eModel)
        : exchange(instance, iWindow, Reader), eModel(eModel), waveform(waveform), data(data) {}

    bool Run(std::string& sError);

  private:
    WaveformFrame::AnswerCheck PointsCheck(std::int64_t& iCount) {
        return [this, &iCount](const uAnswer& a, std::string& e) {
            return SiglentSDS2000XPlusCheckAcquirePoints(eModel, a, iCount, e);
        };
    }
    // The instrument's MAXPoint answer, empty when none came: the piece plan then falls back, and
    // the read does not ask again (each unanswered query waits out the time-out).
    std::string MaxPoint() {
        std::string sAnswer, sIgnored;
        const auto take = [&](const uAnswer& a, std::string&) { return sAnswer.assign(a.Bytes()), true; };
        if (!fMaxPointUnanswered) fMaxPointUnanswered = !exchange.Query(SiglentMaxPointQuery, take, sIgnored);
        return sAnswer;
    }
    // The data of one source in parts of at most iPart points, then its descriptor.
    bool ReadParts(std::int64_t e, std::int64_t iPart, std::string& sError);
    bool ReadAnalog(std::string& sError);
    bool ReadLines(std::string& sError);

    WaveformFrame::Exchanger exchange;
    std::int64_t eModel;
    uTaskWaveform& waveform;
    uWaveformData& data;
    WaveformFrame::uTables tables;
    std::int64_t iBytes = 1;
    std::int64_t iPartPoints = 0;
    std::int64_t iPoints = 0;
    bool fMaxPointUnanswered = false;
};

bool SiglentRead::ReadParts(std::int64_t e, std::int64_t iPart, std::string& sError) {
    const std::string sSource = SiglentSDS2000XPlusChannelName(e, SiglentNameSource);
    std::uint64_t iAnnounced = 0;
    const WaveformFrame::AnswerCheck check = [&](const uAnswer& a, std::string& err) {
        return SiglentSDS2000XPlusCheckChannelData(eModel, a, e, data, err, &iAnnounced);
    };
    // A line's block announces points packed eight to a byte (the check takes it so too).
    const bool fLine = e >= WaveformDigital0 && e <= WaveformDigital15;
    const Instrument::eBlockUnit eUnit = fLine ? Instrument::eBlockUnit::Bits : Instrument::eBlockUnit::Bytes;
    const auto samples = [&]() -> DataBuffer& {
        return fLine ? FindOrAddDigital(data, e).samples : FindOrAddAnalog(data, e).samples;
    };
    const auto ask = [&](std::int64_t iFirst, std::int64_t iCount) {
        return exchange.Query(":WAV:SOUR " + sSource + ";:WAV:STAR " + std::to_string(iFirst) + ";:WAV:POIN " +
                                  std::to_string(iCount) + ";:WAV:DATA?",
                              check, sError, eUnit);
    };
    if (!WaveformFrame::ReadPieces({iPoints, iPart, 0, fLine ? 0 : iBytes}, ask, samples, iAnnounced,
                                   std::string(Reader) + ": " + sSource + " - ", sError))
        return false;
    return exchange.Query(":WAV:SOUR " + sSource + ";:WAV:PRE?",
                          [this, e](const uAnswer& a, std::string& err) {
                              return SiglentSDS2000XPlusCheckPreamble(eModel, a, e, data, err);
                          },
                          sError);
}

bool SiglentRead::ReadAnalog(std::string& sError) {
    static constexpr std::int64_t Order[] = {WaveformChannel1, WaveformChannel2,  WaveformChannel3,
                                             WaveformChannel4, WaveformFunction1, WaveformFunction2};
    for (const std::int64_t e : Order) {
        if (!tables.fVisible[e]) continue;
        WaveformFrame::ReserveSamples(FindOrAddAnalog(data, e).samples, iPoints, iBytes);
        if (!ReadParts(e, iPartPoints, sError)) return false;
        const std::string P = SiglentSDS2000XPlusChannelName(e, SiglentNamePrefix);
        if (!exchange.Query(":" + P + ":UNIT?;:" + P + ":LAB?;:" + P + ":LAB:TEXT?",
                            [this, e](const uAnswer& a, std::string& err) {
                                return SiglentSDS2000XPlusCheckUnitAndLabel(eModel, a, e, data, err);
                            },
                            sError)) {
            return false;
        }
        uWaveformAnalogChannel& channel = FindOrAddAnalog(data, e);
        channel.eSource = waveform.eSource;
        channel.eBits = waveform.eBits;
        channel.iPoints = iPoints;
        channel.iBytesPerSample = iBytes;
    }
    return true;
}

bool SiglentRead::ReadLines(std::string& sError) {
    if (!exchange.Command(":WAV:WIDT BYTE", sError) || !exchange.Query(":DIG:POIN?", PointsCheck(iPoints), sError))
        return false;
    const std::int64_t iLinePartPoints = SiglentPiecePoints(MaxPoint(), true, 1);
    for (std::int64_t e = WaveformDigital0; e <= WaveformDigital15; ++e) {
        if (!tables.fVisible[e]) continue;
        WaveformFrame::ReserveSamples(FindOrAddDigital(data, e).samples, (iPoints + 7) / 8, 1);
        if (!ReadParts(e, iLinePartPoints, sError)) return false;
        SiglentSDS2000XPlusSetLogicLabel(e, &data, tables.sLabel);
        uWaveformDigitalChannel& line = FindOrAddDigital(data, e);
        line.eSource = waveform.eSource;
        line.iPoints = iPoints;
    }
    return true;
}

bool SiglentRead::Run(std::string& sError) {
    bool fResult = exchange.QueryBare(SiglentVisibleQuery(eModel),
                                      [&](const uAnswer& a, std::string& e) {
                                          return SiglentSDS2000XPlusCheckVisibleChannels(eModel, a, tables.fVisible, e);
                                      },
                                      sError);
    if (!fResult) exchange.Wrap("The visible channels could not be determined.", sError);
    if (fResult && tables.fVisible[WaveformLogic]) {
        fResult = exchange.QueryBare(SiglentLinesQuery(),
                                     [&](const uAnswer& a, std::string& e) {
                                         return SiglentSDS2000XPlusCheckVisibleDigitalChannels(eModel, a, tables.fVisible,
                                                                                               tables.sLabel, e);
                                     },
                                     sError);
        if (!fResult) exchange.Wrap("The visible digital channels could not be determined.", sError);
    }
    SiglentSDS2000XPlusRequiredChannels(eModel, &waveform, tables.fVisible);
    WaveformFrame::CopyFlags(tables, data);
    if (!fResult) return false;

    waveform.eSource = DataSourceMemory;
    if (waveform.eBits != 4 && waveform.eBits != 5) waveform.eBits = 4;
    iBytes = waveform.eBits == 5 ? 2 : 1;
    if (!exchange.Command(":TRIG:STOP", sError)) return false;
    if (!exchange.Command(iBytes == 2 ? ":WAV:WIDT WORD" : ":WAV:WIDT BYTE", sError)) return false;
    if (!exchange.Query(":ACQ:POIN?", PointsCheck(iPoints), sError)) return false;
    // The guide's way to a deep memory: no piece larger than the instrument's MAXPoint.
    iPartPoints = SiglentPiecePoints(MaxPoint(), false, iBytes);
    if (!ReadAnalog(sError)) return false;
    bool fLines = false;
    for (std::int64_t e = WaveformDigital0; e <= WaveformDigital15; ++e) fLines = fLines || tables.fVisible[e];
    if (!tables.fVisible[WaveformLogic] || !fLines) return true;
    fResult = ReadLines(sError);
    WaveformFrame::CopyLineLabels(tables, data);
    return fResult;
}

} // namespace

bool GetWaveformSiglentSDS2000XPlus(uInstance& instance, int iWindow, uTaskWaveform& waveform, uWaveformData& data,
                                    std::string& sError, std::int64_t eEffective) {
    return SiglentRead(instance, iWindow, waveform, data, eEffective).Run(sError);
}

bool GetWaveformSiglentAlias(uInstance& instance, int iWindow, uTaskWaveform& waveform, uWaveformData& data,
                             std::string& sError) {
    std::int64_t eModel = instance.uConnection.eModel;
    if (eModel == ModelSiglentSDS5000XCh2) eModel = ModelSiglentSDS2000XPlusCh2;
    if (eModel == ModelSiglentSDS5000XCh4) eModel = ModelSiglentSDS2000XPlusCh4;
    return GetWaveformSiglentSDS2000XPlus(instance, iWindow, waveform, data, sError, eModel);
}

} // namespace InstrumentDefault
