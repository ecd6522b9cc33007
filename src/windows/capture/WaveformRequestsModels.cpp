// The channel requests of the four oscilloscope families.
#include "instrument/ModelTable.h"
#include "instrument/WaveformSources.h"
#include "waveform/InstrumentWaveformRigol.h"
#include "waveform/InstrumentWaveformSiglent.h"
#include "windows/capture/WaveformChannels.h"
#include "windows/capture/WaveformRequests.h"

#include <algorithm>
#include <list>

namespace WaveformRequests {

namespace {

uWaveformRequest Setup(const std::string& sCommand, bool fLogic = false) {
    uWaveformRequest request;
    request.fSend = 1;
    request.fPending = 1;
    request.sCommand = sCommand;
    request.eKind = RequestSetup;
    request.fLogic = fLogic ? 1 : 0;
    return request;
}

uWaveformRequest Query(std::int64_t eKind, const std::string& sCommand, bool fLogic = false) {
    uWaveformRequest request = Setup(sCommand, fLogic);
    request.fResponse = 1;
    request.eKind = eKind;
    return request;
}

// A query that reads one channel's samples.
uWaveformRequest ChannelRequest(const uWaveformPump& pump, std::int64_t eKind, const std::string& sCommand,
                                std::int64_t eWaveform, std::int64_t eDataSource, bool fLogic = false) {
    uWaveformRequest request = Query(eKind, sCommand, fLogic);
    request.eWaveform = eWaveform;
    request.eDataSource = eDataSource;
    request.sChannelFile = WaveformChannels::GetChannelName(eWaveform, pump.instrument.eModel, false);
    request.sChannel = WaveformChannels::GetChannelTypeName(eWaveform);
    return request;
}

uWaveformRequest EndRequest() {
    uWaveformRequest request;
    request.fPending = 0;
    request.eKind = RequestEnd;
    return request;
}

// The channel request just listed: only its last part sends sTail.
void SetLastPartOnly(std::list<uWaveformRequest>& list, const std::string& sTail) { list.back().sLastPartOnly = sTail; }

std::string Short(const uWaveformPump& pump, std::int64_t eWaveform) {
    return WaveformChannels::GetChannelName(eWaveform, pump.instrument.eModel, false);
}
std::string Long(const uWaveformPump& pump, std::int64_t eWaveform) {
    return WaveformChannels::GetChannelName(eWaveform, pump.instrument.eModel, true);
}

bool IsRigolLogic(std::int64_t eWaveform) {
    return eWaveform == WaveformLogic || eWaveform == WaveformLogicPod1 || eWaveform == WaveformLogicPod2;
}

} // namespace

int CreateRequestListHameg(uWaveformPump& pump, std::int64_t eDataSource, const std::vector<std::int64_t>& channels) {
    auto& list = pump.mRequestList;
    if (eDataSource != DataSourceScreen) list.push_back(Setup(":ACQ:STAT STOP"));
    std::string sPoints;
    if (eDataSource == DataSourceScreen) sPoints = ":TRAC:POIN DEF";
    else if (eDataSource == DataSourceMemory) sPoints = ":TRAC:POIN DMAX";
    else if (eDataSource == DataSourceEntireMemory) sPoints = ":TRAC:POIN MAX";
    list.push_back(Setup(sPoints + ";:TRAC:FORM BYTE;:TRAC:BORD LSBF"));
    for (const std::int64_t eWaveform : channels)
        list.push_back(ChannelRequest(pump, RequestWaveform, ":TRAC:SOUR " + Short(pump, eWaveform) + ";:TRAC?",
                                      eWaveform, eDataSource));
    list.push_back(EndRequest());
    return 1;
}

int CreateRequestListRigol(uWaveformPump& pump, std::int64_t eDataSource, const std::vector<std::int64_t>& channels) {
    auto& list = pump.mRequestList;
    const std::int64_t eModel = pump.instrument.eModel;
    const std::string sWidth = eModel == ModelRigolDS2000 || eModel == ModelRigolMSO2000 ? "1400" : "1200";
    const bool fScreen = eDataSource == DataSourceScreen;
    // RAW reads the whole memory: the entire memory is the memory.
    const bool fMemory = eDataSource == DataSourceMemory || eDataSource == DataSourceEntireMemory;
    if (fMemory) list.push_back(Setup(":STOP"));
    if (fScreen) list.push_back(Setup(":WAV:MODE NORM;:WAV:FORM BYTE;:WAV:STAR 1;:WAV:STOP " + sWidth));
    if (fMemory) {
        list.push_back(Setup(":WAV:MODE RAW;:WAV:FORM BYTE"));
        list.push_back(Query(RequestWaveformPoints, InstrumentWaveform::RigolDepthQuery));
    }
    bool fLogic = false;
    for (const std::int64_t eWaveform : channels) {
        if (IsRigolLogic(eWaveform)) {
            fLogic = true;
            continue;
        }
        const std::string m = Short(pump, eWaveform);
        if (fScreen) {
            list.push_back(ChannelRequest(pump, RequestWaveform,
                                          ":WAV:SOUR " + m + ";:WAV:DATA?;:WAV:PRE?;:" + m + ":UNIT?;:" + m + ":UNIT?",
                                          eWaveform, eDataSource));
        } else if (fMemory && eWaveform != WaveformMath) {
            list.push_back(ChannelRequest(pump, RequestWaveformPart,
                                          ":WAV:SOUR " + m + ";:WAV:STAR %START%;:WAV:STOP %STOP%;:WAV:DATA?;:WAV:PRE?;:" +
                                              m + ":UNIT?",
                                          eWaveform, eDataSource));
            SetLastPartOnly(list, ";:WAV:PRE?;:" + m + ":UNIT?");
        }
    }
    if (fLogic) {
        if (eModel == ModelRigolDS1000ZPlus) {
            if (fScreen) list.push_back(Setup(":WAV:MODE NORM;:WAV:FORM BYTE;:WAV:STAR 1;:WAV:STOP " + sWidth));
            if (fMemory) list.push_back(Setup(":WAV:MODE RAW;:WAV:FORM BYTE"));
        } else if (eModel == ModelRigolMSO2000) {
            if (fScreen) list.push_back(Setup(":WAV:MODE NORM;:WAV:FORM WORD;:WAV:STAR 1;:WAV:STOP " + sWidth));
            if (fMemory) list.push_back(Setup(":WAV:MODE RAW;:WAV:FORM WORD"));
        }
        if (fMemory) {
            std::string sLogic;
            if (eModel == ModelRigolDS1000ZPlus) sLogic = Short(pump, WaveformLogicPod1);
            else if (eModel == ModelRigolMSO2000) sLogic = Short(pump, WaveformLogic);
            list.push_back(
                Query(RequestWaveformPoints, ":WAV:SOUR " + sLogic + ";" + InstrumentWaveform::RigolDepthQuery, true));
        }
        for (const std::int64_t eWaveform : channels) {
            if (!IsRigolLogic(eWaveform)) continue;
            const std::string m = Short(pump, eWaveform);
            if (fScreen) {
                list.push_back(ChannelRequest(pump, RequestWaveform, ":WAV:SOUR " + m + ";:WAV:DATA?;:WAV:PRE?",
                                              eWaveform, eDataSource, true));
            } else if (fMemory) {
                list.push_back(ChannelRequest(pump, RequestWaveformPart,
                                              ":WAV:SOUR " + m +
                                                  ";:WAV:STAR %START%;:WAV:STOP %STOP%;:WAV:DATA?;:WAV:PRE?",
                                              eWaveform, eDataSource, true));
                SetLastPartOnly(list, ";:WAV:PRE?");
            }
        }
    }
    list.push_back(EndRequest());
    return 1;
}

int CreateRequestListSiglent(uWaveformPump& pump, std::int64_t eDataSource, const std::vector<std::int64_t>& channels,
                             const std::vector<uWaveformLogicLine>& lines) {
    auto& list = pump.mRequestList;
    const bool fMemory = eDataSource == DataSourceMemory;
    if (fMemory) list.push_back(Setup(":TRIG:STOP"));
    list.push_back(Setup(":WAV:WIDT BYTE"));
    // The guide's way to a deep memory: its count, and the most points one piece may hold.
    if (fMemory) {
        list.push_back(Query(RequestWaveformPoints, ":ACQ:POIN?"));
        list.push_back(Query(RequestMaxPoint, InstrumentWaveform::SiglentMaxPointQuery));
    }
    bool fLogic = false;
    for (const std::int64_t eWaveform : channels) {
        if (eWaveform == WaveformLogic) {
            fLogic = true;
            continue;
        }
        std::string sUnit;
        if (eWaveform >= WaveformChannel1 && eWaveform <= WaveformChannel4)
            sUnit = ";:" + Long(pump, eWaveform) + ":UNIT?";
        list.push_back(ChannelRequest(pump, RequestWaveformPart,
                                      ":WAV:SOUR " + Short(pump, eWaveform) +
                                          ";:WAV:STAR %START%;:WAV:POIN %STOP%;:WAV:DATA?;:WAV:PRE?" + sUnit,
                                      eWaveform, eDataSource));
        SetLastPartOnly(list, ";:WAV:PRE?" + sUnit);
    }
    if (fLogic) {
        list.push_back(Setup(":WAV:WIDT BYTE"));
        list.push_back(Query(RequestWaveformPoints, ":DIG:POIN?", true));
        list.push_back(Query(RequestMaxPoint, InstrumentWaveform::SiglentMaxPointQuery, true));
        for (const uWaveformLogicLine& line : lines) {
            if (!line.fShown || line.iLine < 0 || line.iLine > 15) continue;
            const std::int64_t eWaveform = WaveformDigital0 + line.iLine;
            list.push_back(ChannelRequest(pump, RequestWaveformPart,
                                          ":WAV:SOUR " + Short(pump, eWaveform) +
                                              ";:WAV:STAR %START%;:WAV:POIN %STOP%;:WAV:DATA?;:WAV:PRE?",
                                          eWaveform, eDataSource, true));
            SetLastPartOnly(list, ";:WAV:PRE?");
        }
    }
    list.push_back(EndRequest());
    return 1;
}

int CreateRequestListRohdeSchwarz(uWaveformPump& pump, std::int64_t eDataSource,
                                  const std::vector<std::int64_t>& channels,
                                  const std::vector<uWaveformLogicLine>&) {
    auto& list = pump.mRequestList;
    std::string sPoints;
    switch (eDataSource) {
    case DataSourceScreen: sPoints = "DEF"; pump.sBitFormat = "8"; break;
    case DataSourceMemory: sPoints = "DMAX"; pump.sBitFormat = "8"; break;
    case DataSourceEntireMemory: sPoints = "MAX"; pump.sBitFormat = "8"; break;
    case DataSourceScreen10Bit: sPoints = "DEF"; pump.sBitFormat = "16"; break;
    case DataSourceMemory10Bit: sPoints = "DMAX"; pump.sBitFormat = "16"; break;
    case DataSourceEntireMemory10Bit: sPoints = "MAX"; pump.sBitFormat = "16"; break;
    default: break;
    }
    if (eDataSource != DataSourceScreen && eDataSource != DataSourceScreen10Bit) list.push_back(Setup(":STOP"));
    list.push_back(Query(RequestAcquireType, ":ACQ:TYPE?"));
    list.push_back(Setup(":CHAN1:DATA:POIN " + sPoints + ";:FORM:DATA UINT,%BIT%;:FORM:BORD LSBF"));
    static const std::string sHead = ":%DATA%:HEAD?;YRES?;YOR?;YINC?;XOR?;XINC?";
    std::vector<std::int64_t> pods;
    for (const std::int64_t eWaveform : channels) {
        if (eWaveform == WaveformLogicPod1 || eWaveform == WaveformLogicPod2) {
            pods.push_back(eWaveform);
            continue;
        }
        const std::string M = Long(pump, eWaveform);
        std::string sQuery, sData;
        if (eWaveform >= WaveformChannel1 && eWaveform <= WaveformChannel4) {
            const std::string n = std::to_string(eWaveform - WaveformChannel1 + 1);
            sQuery = ":" + M + ":DATA:POIN?";
            sData = ":" + M + ":%DATA%?;:" + M + sHead + ";:PROB" + n + ":SET:GAIN:UNIT?;:CHAN" + n +
                    ":ARIT?;TYPE?;:ACQ:AVER:COUNT?";
        } else if (eWaveform >= WaveformMath1 && eWaveform <= WaveformMath5) {
            sQuery = ":CALC:" + M + ":DATA:POIN?";
            sData = ":CALC:" + M + ":DATA?;:" + M + sHead;
        } else if (eWaveform >= WaveformReference1 && eWaveform <= WaveformReference4) {
            sQuery = ":" + M + ":DATA:POIN?";
            sData = ":" + M + ":DATA?;:" + M + sHead;
        }
        list.push_back(Query(RequestWaveformPoints, sQuery));
        list.push_back(ChannelRequest(pump, RequestWaveform, sData, eWaveform, eDataSource));
    }
    if (!pods.empty()) {
        list.push_back(Setup(":LOG1:DATA:POIN " + sPoints + ";:FORM:DATA UINT,8;:FORM:BORD LSBF", true));
        for (const std::int64_t eWaveform : pods) {
            const std::string M = Long(pump, eWaveform);
            list.push_back(Query(RequestWaveformPoints, ":" + M + ":DATA:POIN?"));
            list.push_back(ChannelRequest(pump, RequestWaveform,
                                          ":" + M + ":DATA?;:" + M + ":DATA:HEAD?;YRES?;YOR?;YINC?;XOR?;XINC?",
                                          eWaveform, eDataSource, true));
        }
    }
    list.push_back(EndRequest());
    return 1;
}

} // namespace WaveformRequests
