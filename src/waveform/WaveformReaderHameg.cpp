#include "waveform/WaveformReaderHameg.h"

#include "waveform/InstrumentWaveformHameg.h"
#include "waveform/WaveformFrame.h"

namespace InstrumentDefault {
namespace {

using namespace InstrumentWaveform;

constexpr const char* Reader = "InstrumentDefault::GetWaveformHamegHM2008";

// The order in which the sources are read.
constexpr std::int64_t ReadOrder[] = {
    WaveformChannel1,   WaveformChannel2,   WaveformLogicPod1,  WaveformAdd1,       WaveformZoomAdd1,
    WaveformZoomLogicPod1, WaveformZoomChannel1, WaveformZoomChannel2, WaveformMath1, WaveformMath2,
    WaveformMath3,      WaveformMath4,      WaveformMath5,      WaveformReference1, WaveformReference2,
    WaveformReference3, WaveformReference4, WaveformReference5, WaveformReference6, WaveformReference7,
    WaveformReference8, WaveformReference9};

class HamegRead {
  public:
    HamegRead(uInstance& instance, int iWindow, uTaskWaveform& waveform, uWaveformData& data)
        : exchange(instance, iWindow, Reader), eModel(instance.uConnection.eModel), waveform(waveform), data(data) {}

    bool Run(std::string& sError);

  private:
    bool ReadSource(std::int64_t e, std::string& sError);

    WaveformFrame::Exchanger exchange;
    std::int64_t eModel;
    uTaskWaveform& waveform;
    uWaveformData& data;
    WaveformFrame::uTables tables;
};

bool HamegRead::ReadSource(std::int64_t e, std::string& sError) {
    const std::string sSource = HamegHM2008ChannelName(e, HamegNameSource);
    if (!exchange.Query(":TRAC:SOUR " + sSource + ";:TRAC?",
                        [&](const uAnswer& a, std::string& err) {
                            return HamegHM2008CheckChannelData(eModel, a, e, &data, err);
                        },
                        sError)) {
        return false;
    }
    // A description that does not parse fails with the parser's own text.
    if (!HamegHM2008CreatePreamble(e, &data, sError)) return false;
    std::int64_t iPoints = 0;
    if (!exchange.Query(":TRAC:POIN?",
                        [&](const uAnswer& a, std::string& err) {
                            return HamegHM2008CheckAcquirePoints(eModel, a, iPoints, err);
                        },
                        sError)) {
        return false;
    }
    const std::string sLabel = HamegHM2008ChannelName(e, HamegNameLabel);
    if (e == WaveformLogicPod1 || e == WaveformZoomLogicPod1) {
        uWaveformDigitalChannel& pod = FindOrAddDigital(data, e);
        pod.sLabel = sLabel;
        pod.eSource = waveform.eSource;
        pod.iPoints = iPoints;
        return true;
    }
    uWaveformAnalogChannel& channel = FindOrAddAnalog(data, e);
    channel.sLabel = sLabel;
    channel.eSource = waveform.eSource;
    channel.eBits = 4;
    channel.iPoints = iPoints;
    channel.iBytesPerSample = 1;
    return true;
}

bool HamegRead::Run(std::string& sError) {
    const bool fResult = exchange.QueryBare(":TRAC:SOUR:CAT?",
                                            [&](const uAnswer& a, std::string& e) {
                                                return HamegHM2008CheckVisibleChannels(eModel, a, tables.fVisible, e);
                                            },
                                            sError);
    if (!fResult) exchange.Wrap("The visible channels could not be determined.", sError);
    HamegHM2008RequiredChannels(eModel, &waveform, tables.fVisible);
    WaveformFrame::CopyFlags(tables, data);
    if (!fResult) return false;

    static constexpr const char* PointWords[] = {"", "DEF", "DMAX", "MAX"};
    if (waveform.eSource < DataSourceScreen || waveform.eSource > DataSourceEntireMemory) waveform.eSource = DataSourceScreen;
    waveform.eBits = 4;
    if (waveform.eSource != DataSourceScreen && !exchange.Command(":ACQ:STAT STOP", sError)) return false;
    const std::string sSetup = std::string(":TRAC:POIN ") + PointWords[waveform.eSource] + ";:TRAC:FORM BYTE;:TRAC:BORD LSBF";
    if (!exchange.Command(sSetup, sError)) return false;
    for (const std::int64_t e : ReadOrder) {
        if (tables.fVisible[e] && !ReadSource(e, sError)) return false;
    }
    return true;
}

} // namespace

bool GetWaveformHamegHM2008(uInstance& instance, int iWindow, uTaskWaveform& waveform, uWaveformData& data,
                            std::string& sError) {
    return HamegRead(instance, iWindow, waveform, data).Run(sError);
}

} // namespace InstrumentDefault
