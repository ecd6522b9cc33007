#include "waveform/InstrumentWaveformRohdeSchwarz.h"

#include "transport/ChainedAnswers.h"
#include "waveform/WaveformFrame.h"

#include <algorithm>

namespace InstrumentWaveform {
namespace {

constexpr const char* Module = "InstrumentWaveform::RohdeSchwarzRTB2000";

std::string Prefix(const char* sProcedure) { return std::string(Module) + sProcedure + ": "; }
std::string Name(const char* sProcedure) { return std::string("RohdeSchwarzRTB2000") + sProcedure; }

bool IsLine(std::int64_t e) { return e >= WaveformDigital0 && e <= WaveformDigital15; }
bool IsLogic(std::int64_t e) { return e == WaveformLogic || e == WaveformLogicPod1 || e == WaveformLogicPod2 || IsLine(e); }
bool IsChannel(std::int64_t e) { return e >= WaveformChannel1 && e <= WaveformChannel4; }
bool IsMath(std::int64_t e) { return e >= WaveformMath1 && e <= WaveformMath5; }
bool IsReference(std::int64_t e) { return e >= WaveformReference1 && e <= WaveformReference4; }
bool IsEnvelope(std::int64_t e) { return e >= WaveformEnvelope1 && e <= WaveformEnvelope4; }

std::vector<std::string> AnswerFields(const uAnswer& answer) { return Instrument::AnswerFields(AnswerText(answer.Bytes())); }

} // namespace

std::string RohdeSchwarzRTB2000ChannelName(std::int64_t e, std::int64_t eKind) {
    const bool fSource = eKind == RohdeSchwarzNameSource;
    if (eKind != RohdeSchwarzNameSource && eKind != RohdeSchwarzNameDisplay) return {};
    if (e == WaveformLogic) return fSource ? "" : "LA";
    if (IsChannel(e)) return (fSource ? "CHAN" : "CH") + std::to_string(e - WaveformChannel1 + 1);
    if (e == WaveformLogicPod1 || e == WaveformLogicPod2) {
        return (fSource ? "LOG" : "POD") + std::to_string(e - WaveformLogicPod1 + 1);
    }
    if (IsLine(e)) return (fSource ? "DIG" : "D") + std::to_string(e - WaveformDigital0);
    if (IsMath(e)) return (fSource ? "MATH" : "MA") + std::to_string(e - WaveformMath1 + 1);
    if (IsReference(e)) return (fSource ? "REFC" : "RE") + std::to_string(e - WaveformReference1 + 1);
    if (IsEnvelope(e)) return (fSource ? "CHAN" : "ENV") + std::to_string(e - WaveformEnvelope1 + 1);
    return {};
}

bool RohdeSchwarzRTB2000CheckVisibleChannels(std::int64_t, const uAnswer& answer, uFlagTable& fVisible,
                                             std::string& sError) {
    if (!HasData(Name("CheckVisibleChannels").c_str(), answer, sError)) return false;
    static constexpr std::int64_t order[] = {WaveformChannel1,   WaveformChannel2,   WaveformMath1,      WaveformMath2,
                                             WaveformMath3,      WaveformMath4,      WaveformMath5,      WaveformReference1,
                                             WaveformReference2, WaveformReference3, WaveformReference4, WaveformLogicPod1,
                                             WaveformLogicPod2,  WaveformChannel3,   WaveformChannel4};
    const std::vector<std::string> fields = AnswerFields(answer);
    for (std::size_t i = 0; i < std::size(order) && i < fields.size(); ++i) fVisible[order[i]] = fields[i] == "1";
    return true;
}

bool RohdeSchwarzRTB2000CheckVisibleDigitalChannels(std::int64_t, const uAnswer& answer, uFlagTable& fVisible,
                                                    uLabelTable& sLabel, std::string& sError) {
    if (!HasData(Name("CheckVisibleDigitalChannels").c_str(), answer, sError)) return false;
    const std::vector<std::string> fields = AnswerFields(answer);
    for (std::size_t i = 0; i < 48 && i < fields.size(); ++i) {
        const std::size_t e = WaveformDigital0 + i % 16;
        if (i < 16) {
            fVisible[e] = fields[i] == "1";
        } else if (i < 32) {
            sLabel[e] = Unquote(fields[i]);
        } else if (fields[i] == "0") {
            sLabel[e].clear();
        }
    }
    return true;
}

bool RohdeSchwarzRTB2000CheckAcquireType(std::int64_t, const uAnswer& answer, std::int64_t& eType, std::string& sError) {
    if (!HasData(Name("CheckAcquireType").c_str(), answer, sError)) return false;
    const std::string sType = AnswerText(answer.Bytes());
    eType = RohdeSchwarzAcquireType(sType);
    return true;
}

bool RohdeSchwarzRTB2000WholeChannel(std::uint64_t iBytes, std::int64_t iValueBytes, bool fEnvelope,
                                     std::int64_t iPoints, std::string& sReason) {
    const std::uint64_t iCame = iBytes / static_cast<std::uint64_t>(std::max<std::int64_t>(iValueBytes, 1)) /
                                (fEnvelope ? 2 : 1);
    if (iPoints <= 0 || iCame >= static_cast<std::uint64_t>(iPoints)) return true;
    sReason = WaveformFrame::ShortRecordText(static_cast<std::int64_t>(iCame), iPoints);
    return false;
}

bool RohdeSchwarzRTB2000CheckAcquirePoints(std::int64_t, const uAnswer& answer, std::int64_t& iPoints,
                                           std::string& sError) {
    if (!HasData(Name("CheckAcquirePoints").c_str(), answer, sError)) return false;
    const std::string sText = AnswerText(answer.Bytes());
    return TakePointCount(sText, sText, iPoints, sError);
}

bool RohdeSchwarzRTB2000CheckChannelData(std::int64_t, const uAnswer& answer, std::int64_t eWaveform,
                                         uWaveformData& data, std::string& sError) {
    const std::string sProcedure = Name("CheckChannelData");
    if (!HasData(sProcedure.c_str(), answer, sError) || !ValidSource(sProcedure.c_str(), eWaveform, sError)) return false;
    DataBuffer& samples = IsLogic(eWaveform) ? FindOrAddDigital(data, eWaveform).samples
                                             : FindOrAddAnalog(data, eWaveform).samples;
    return AppendBlock(sProcedure.c_str(), answer, samples, sError);
}

bool RohdeSchwarzRTB2000CheckPreamble(std::int64_t, const uAnswer& answer, std::int64_t eWaveform, uWaveformData& data,
                                      std::string& sError) {
    const std::string sProcedure = Name("CheckPreamble");
    if (!HasData(sProcedure.c_str(), answer, sError) || !ValidSource(sProcedure.c_str(), eWaveform, sError)) return false;
    DataBuffer* pRaw = nullptr;
    const bool fDigital = eWaveform == WaveformLogic || eWaveform == WaveformLogicPod1 || eWaveform == WaveformLogicPod2;
    if (fDigital) {
        if (auto* p = FindDigital(data, eWaveform)) pRaw = &p->rawPreamble;
    } else if (auto* p = FindAnalog(data, eWaveform)) {
        pRaw = &p->rawPreamble;
    }
    if (!pRaw) {
        sError = Prefix("CheckPreamble") + "Der Kanal ist nicht in der Waveform-Struktur vorhanden. eWaveform = " +
                 std::to_string(eWaveform);
        return false;
    }
    return CopyPreamble(sProcedure.c_str(), answer, *pRaw, sError);
}

uPreambleRohdeSchwarz ParseRohdeSchwarzHeader(std::string_view sAnswer) {
    const std::vector<std::string> answers = Instrument::AnswerFields(AnswerText(sAnswer));
    uPreambleRohdeSchwarz p;
    const std::vector<std::string> first = Fields(answers[0], ",");
    auto at = [](const std::vector<std::string>& v, std::size_t i) { return i < v.size() ? std::string_view(v[i]) : std::string_view(); };
    p.dXStart = ToReal(at(first, 0));
    p.dXStop = ToReal(at(first, 1));
    p.iSamples = RealToWhole(ToReal(at(first, 2)));
    p.iValuesPerSample = ToWhole(at(first, 3));
    p.dYResolution = ToReal(at(answers, 1));
    p.dYOrigin = ToReal(at(answers, 2));
    p.dYIncrement = ToReal(at(answers, 3));
    p.dXOrigin = ToReal(at(answers, 4));
    p.dXIncrement = ToReal(at(answers, 5));
    return p;
}

bool RohdeSchwarzRTB2000CreatePreamble(std::int64_t eWaveform, uWaveformData& data, std::string& sError) {
    if (!ValidSource(Name("CreatePreamble").c_str(), eWaveform, sError)) return false;
    DataBuffer* pRaw = nullptr;
    std::unique_ptr<uParsedPreamble>* ppParsed = nullptr;
    if (IsLogic(eWaveform)) {
        if (auto* p = FindDigital(data, eWaveform)) pRaw = &p->rawPreamble, ppParsed = &p->pPreamble;
    } else if (auto* p = FindAnalog(data, eWaveform)) {
        pRaw = &p->rawPreamble, ppParsed = &p->pPreamble;
    }
    if (!pRaw) {
        sError = Prefix("CreatePreamble") +
                 (IsLogic(eWaveform) ? "Der digitale Kanal ist nicht in der Liste vorhanden: eWaveform = "
                                     : "Der analoge Kanal ist nicht in der Liste vorhanden: eWaveform = ") +
                 std::to_string(eWaveform);
        return false;
    }
    if (!pRaw->allocated() || pRaw->empty()) {
        sError = Prefix("CreatePreamble") + "Die Raw-Preamble-Daten sind nicht vorhanden.";
        return false;
    }
    *ppParsed = std::make_unique<uParsedPreamble>(ParseRohdeSchwarzHeader(pRaw->view()));
    return true;
}

bool RohdeSchwarzRTB2000CheckUnitAndLabel(std::int64_t, const uAnswer& answer, std::int64_t eWaveform,
                                          uWaveformData& data, std::string& sError) {
    const std::string sProcedure = Name("CheckUnitAndLabel");
    if (!HasData(sProcedure.c_str(), answer, sError) || !ValidSource(sProcedure.c_str(), eWaveform, sError)) return false;
    uWaveformAnalogChannel* p = FindAnalog(data, eWaveform);
    if (!p) {
        sError = Prefix("CheckUnitAndLabel") + "Der Kanal ist nicht in der Waveform-Struktur vorhanden. eWaveform = " +
                 std::to_string(eWaveform);
        return false;
    }
    const std::vector<std::string> f = AnswerFields(answer);
    // The label at field iLabel when the state field says on (or when there is no state field).
    auto label = [&](std::size_t iState, std::size_t iLabel, bool fHasState) {
        if (f.size() <= iLabel) return;
        if (!fHasState || f[iState] == "1") p->sLabel = Unquote(f[iLabel]);
        if (p->sLabel.empty()) p->sLabel = RohdeSchwarzRTB2000ChannelName(eWaveform, RohdeSchwarzNameDisplay);
    };
    if (IsChannel(eWaveform) || IsEnvelope(eWaveform)) {
        p->sUnit = f[0];
        label(1, 2, true);
    } else if (IsMath(eWaveform)) {
        label(0, 1, true);
    } else if (IsReference(eWaveform)) {
        label(0, 0, false);
    }
    return true;
}

void RohdeSchwarzRTB2000RequiredChannels(std::int64_t eModel, const uTaskWaveform& waveform, uFlagTable& F) {
    const auto& T = waveform.fSource;
    bool fAny = false;
    for (std::size_t i = 0; i <= 55; ++i) fAny = fAny || T[i] != 0;
    if (fAny) {
        const bool fPod1 = T[WaveformLogic] || T[WaveformLogicBus1] || T[WaveformLogicPod1];
        const bool fPod2 = T[WaveformLogic] || T[WaveformLogicBus2] || T[WaveformLogicPod2];
        if (!T[WaveformAllAnalog]) {
            for (std::int64_t e = WaveformChannel1; e <= WaveformChannel4; ++e) F[e] = 0;
        }
        auto pod = [&](bool fWanted, std::int64_t ePod, std::int64_t eFirst) {
            if (fWanted) {
                F[WaveformLogic] = F[ePod] = 1;
            } else {
                for (std::int64_t e = eFirst; e < eFirst + 8; ++e) F[e] = 0;
            }
        };
        pod(fPod1, WaveformLogicPod1, WaveformDigital0);
        pod(fPod2, WaveformLogicPod2, WaveformDigital8);
        if (!T[WaveformAllVisible]) {
            F[WaveformLogic] = F[WaveformLogicPod1] = F[WaveformLogicPod2] = 0;
            for (std::int64_t e = WaveformMath1; e <= WaveformReference4; ++e) F[e] = 0;
        }
        for (std::int64_t e = WaveformChannel1; e <= WaveformChannel4; ++e) {
            if (T[e]) F[e] = 1;
        }
        for (std::int64_t e = WaveformDigital0; e <= WaveformDigital15; ++e) {
            if (!T[e]) continue;
            F[WaveformLogic] = 1;
            F[e <= WaveformDigital7 ? WaveformLogicPod1 : WaveformLogicPod2] = 1;
            F[e] = 1;
        }
        for (std::int64_t e = WaveformMath1; e <= WaveformReference4; ++e) {
            if (T[e]) F[e] = 1;
        }
    }
    if (eModel == ModelRohdeSchwarzRTB2000Ch2) F[WaveformChannel3] = F[WaveformChannel4] = 0;
}

void RohdeSchwarzRTB2000SetLogicLabel(std::int64_t eWaveform, uWaveformData& data, const uLabelTable& sLabel) {
    if (!IsLogic(eWaveform)) return;
    uWaveformDigitalChannel* p = FindDigital(data, eWaveform);
    if (!p) return;
    p->sLabel = sLabel[eWaveform].empty() ? RohdeSchwarzRTB2000ChannelName(eWaveform, RohdeSchwarzNameDisplay)
                                          : sLabel[eWaveform];
}

} // namespace InstrumentWaveform
