#include "waveform/InstrumentWaveformSiglent.h"

#include "transport/ChainedAnswers.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace InstrumentWaveform {
namespace {

constexpr const char* Family = "SiglentSDS2000XPlus";

std::string Name(const char* sProcedure) { return std::string(Family) + sProcedure; }
std::string Prefix(const char* sProcedure) { return "InstrumentWaveform::" + Name(sProcedure) + ": "; }

bool IsLine(std::int64_t e) { return e >= WaveformDigital0 && e <= WaveformDigital15; }

// The answer as text: bytes up to the first zero byte, trimmed of " \t\r\n".
std::string AnswerOf(const uAnswer& answer) {
    std::string_view bytes = answer.Bytes();
    if (const std::size_t z = bytes.find('\0'); z != std::string_view::npos) bytes = bytes.substr(0, z);
    return AnswerText(bytes);
}

bool On(const std::string& sField) { return sField == "ON"; }

std::string Upper(std::string_view s) {
    std::string u(s);
    for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return u;
}

// The text header in front of a block: "DAT2," or "DESC,", compared upper-cased.
bool CheckHeader(const char* sProcedure, const uAnswer& answer, const char* sHeader, std::string& sError) {
    if (answer.iSize < 5) {
        sError = Prefix(sProcedure) + "Es sind nicht genügend Daten vorhanden für den Header '" + sHeader + "'.";
        return false;
    }
    if (Upper(answer.Bytes().substr(0, 5)) != sHeader) {
        sError = Prefix(sProcedure) + "Der Header '" + sHeader + "' ist nicht vorhanden.";
        return false;
    }
    return true;
}

bool BareBlock(const uAnswer& answer) { return answer.iSize > 0 && answer.pData[0] == '#'; }

std::string NotInRecord(const char* sProcedure, std::int64_t eWaveform) {
    return Prefix(sProcedure) + "Der Kanal ist nicht in der Waveform-Struktur vorhanden. eWaveform = " +
           std::to_string(eWaveform);
}

} // namespace

bool SiglentSDS2000XPlusCheckVisibleChannels(std::int64_t eModel, const uAnswer& answer, uFlagTable& fVisible,
                                             std::string& sError) {
    if (!HasData(Name("CheckVisibleChannels").c_str(), answer, sError)) return false;
    static constexpr std::int64_t two[] = {WaveformChannel1, WaveformChannel2, WaveformFunction1, WaveformFunction2,
                                           WaveformLogic};
    static constexpr std::int64_t four[] = {WaveformChannel1,  WaveformChannel2,  WaveformChannel3, WaveformChannel4,
                                            WaveformFunction1, WaveformFunction2, WaveformLogic};
    const std::int64_t* pOrder = nullptr;
    std::size_t iCount = 0;
    if (eModel == ModelSiglentSDS2000XPlusCh2) {
        pOrder = two, iCount = std::size(two);
    } else if (eModel == ModelSiglentSDS2000XPlusCh4) {
        pOrder = four, iCount = std::size(four);
    } else {
        return true;
    }
    const std::vector<std::string> fields = Instrument::AnswerFields(AnswerOf(answer));
    for (std::size_t i = 0; i < iCount && i < fields.size(); ++i) fVisible[pOrder[i]] = On(fields[i]) ? 1 : 0;
    return true;
}

bool SiglentSDS2000XPlusCheckVisibleDigitalChannels(std::int64_t, const uAnswer& answer, uFlagTable& fVisible,
                                                    uLabelTable& sLabel, std::string& sError) {
    if (!HasData(Name("CheckVisibleDigitalChannels").c_str(), answer, sError)) return false;
    const std::vector<std::string> fields = Instrument::AnswerFields(AnswerOf(answer));
    for (std::size_t i = 0; i < 32 && i < fields.size(); ++i) {
        const std::size_t e = WaveformDigital0 + i % 16;
        if (i < 16) {
            fVisible[e] = On(fields[i]) ? 1 : 0;
        } else if (fields[i].find("CUST[") == std::string::npos) {
            sLabel[e] = Unquote(fields[i]);
        }
    }
    return true;
}

bool SiglentSDS2000XPlusCheckAcquirePoints(std::int64_t, const uAnswer& answer, std::int64_t& iPoints,
                                           std::string& sError) {
    if (!HasData(Name("CheckAcquirePoints").c_str(), answer, sError)) return false;
    const std::string sText = AnswerOf(answer);
    return TakePointCount(sText, sText, iPoints, sError);
}

std::string SiglentVisibleQuery(std::int64_t eModel) {
    return eModel == ModelSiglentSDS2000XPlusCh2 || eModel == ModelSiglentSDS5000XCh2
               ? ":CHAN1:VIS?;:CHAN2:VIS?;:FUNC1?;:FUNC2?;:DIG?"
               : ":CHAN1:VIS?;:CHAN2:VIS?;:CHAN3:VIS?;:CHAN4:VIS?;:FUNC1?;:FUNC2?;:DIG?";
}

std::int64_t SiglentPiecePoints(std::string_view sMaxPoint, bool fLine, std::int64_t iSampleBytes) {
    std::int64_t iPiece = SiglentPartPoints / (fLine ? 1 : std::max<std::int64_t>(iSampleBytes, 1));
    std::int64_t iMost = 0;
    std::string sIgnored;
    if (TakePointCount(sMaxPoint, std::string(), iMost, sIgnored) && iMost >= 8) iPiece = std::min(iPiece, iMost);
    return fLine ? iPiece / 8 * 8 : iPiece;
}

std::size_t SiglentDataOffset(std::string_view sAnswer) {
    if (!sAnswer.empty() && sAnswer[0] == '#') return 0;
    return sAnswer.size() >= 5 && Upper(sAnswer.substr(0, 5)) == "DAT2," ? 5 : std::string_view::npos;
}

bool SiglentSDS2000XPlusCheckChannelData(std::int64_t, const uAnswer& answer, std::int64_t eWaveform,
                                         uWaveformData& data, std::string& sError, std::uint64_t* piAnnounced) {
    const std::string sProcedure = Name("CheckChannelData");
    if (!HasData(sProcedure.c_str(), answer, sError) || !ValidSource(sProcedure.c_str(), eWaveform, sError)) return false;
    const bool fLine = IsLine(eWaveform);
    DataBuffer& samples = fLine ? FindOrAddDigital(data, eWaveform).samples : FindOrAddAnalog(data, eWaveform).samples;
    const std::size_t iOffset = SiglentDataOffset(answer.Bytes());
    if (iOffset == std::string_view::npos) {
        CheckHeader("CheckChannelData", answer, "DAT2,", sError); // names why: too short, or no "DAT2,"
        return false;
    }
    return AppendBlockAt(sProcedure.c_str(), answer, iOffset,
                         fLine ? Instrument::eBlockUnit::Bits : Instrument::eBlockUnit::Bytes, samples, sError, nullptr,
                         piAnnounced);
}

bool SiglentSDS2000XPlusCheckPreamble(std::int64_t, const uAnswer& answer, std::int64_t eWaveform, uWaveformData& data,
                                      std::string& sError) {
    const std::string sProcedure = Name("CheckPreamble");
    if (!HasData(sProcedure.c_str(), answer, sError) || !ValidSource(sProcedure.c_str(), eWaveform, sError)) return false;
    DataBuffer* pRaw = nullptr;
    if (IsLine(eWaveform)) {
        if (auto* p = FindDigital(data, eWaveform)) pRaw = &p->rawPreamble;
    } else if (auto* p = FindAnalog(data, eWaveform)) {
        pRaw = &p->rawPreamble;
    }
    if (!pRaw) {
        sError = NotInRecord("CheckPreamble", eWaveform);
        return false;
    }
    // The descriptor comes bare, as the current guide shows it, or behind "DESC," (earlier firmware).
    const std::size_t iOffset = BareBlock(answer) ? 0 : 5;
    if (iOffset != 0 && !CheckHeader("CheckPreamble", answer, "DESC,", sError)) return false;
    return AppendBlockAt(sProcedure.c_str(), answer, iOffset, Instrument::eBlockUnit::Bytes, *pRaw, sError);
}

bool SiglentSDS2000XPlusCheckUnitAndLabel(std::int64_t, const uAnswer& answer, std::int64_t eWaveform,
                                          uWaveformData& data, std::string& sError) {
    const std::string sProcedure = Name("CheckUnitAndLabel");
    if (!HasData(sProcedure.c_str(), answer, sError) || !ValidSource(sProcedure.c_str(), eWaveform, sError)) return false;
    uWaveformAnalogChannel* pChannel = FindAnalog(data, eWaveform);
    if (!pChannel) {
        sError = NotInRecord("CheckUnitAndLabel", eWaveform);
        return false;
    }
    const std::vector<std::string> fields = Instrument::AnswerFields(AnswerOf(answer));
    if (!fields.empty()) pChannel->sUnit = fields[0];
    if (fields.size() >= 3) {
        if (On(fields[1])) pChannel->sLabel = Unquote(fields[2]);
        if (pChannel->sLabel.empty()) pChannel->sLabel = SiglentSDS2000XPlusChannelName(eWaveform, SiglentNameDisplay);
    }
    return true;
}

std::string SiglentSDS2000XPlusChannelName(std::int64_t e, std::int64_t eKind) {
    if (eKind != SiglentNameSource && eKind != SiglentNamePrefix && eKind != SiglentNameDisplay) return {};
    if (e >= WaveformChannel1 && e <= WaveformChannel4) {
        static constexpr const char* Kinds[] = {"", "C", "CHAN", "CH"};
        return Kinds[eKind] + std::to_string(e - WaveformChannel1 + 1);
    }
    if (IsLine(e)) return "D" + std::to_string(e - WaveformDigital0);
    if (e == WaveformFunction1) return "F1";
    if (e == WaveformFunction2) return "F2";
    return {};
}

void SiglentSDS2000XPlusRequiredChannels(std::int64_t eModel, const uTaskWaveform* pWaveform, uFlagTable& F) {
    if (!pWaveform) return;
    const auto& T = pWaveform->fSource;
    bool fAny = false;
    for (std::size_t i = 0; i <= 55; ++i) fAny = fAny || T[i] != 0;
    if (fAny) {
        auto clear = [&](std::int64_t eFirst, std::int64_t eLast) {
            for (std::int64_t e = eFirst; e <= eLast; ++e) F[e] = 0;
        };
        if (!T[WaveformAllAnalog]) clear(WaveformChannel1, WaveformChannel4);
        if (!(T[WaveformLogic] || T[WaveformLogicBus1] || T[WaveformLogicPod1])) clear(WaveformDigital0, WaveformDigital7);
        if (!(T[WaveformLogic] || T[WaveformLogicBus2] || T[WaveformLogicPod2])) clear(WaveformDigital8, WaveformDigital15);
        if (!T[WaveformAllVisible]) clear(WaveformFunction1, WaveformFunction2);
        for (std::int64_t e = WaveformChannel1; e <= WaveformChannel4; ++e) F[e] = T[e] ? 1 : F[e];
        for (std::int64_t e = WaveformDigital0; e <= WaveformDigital15; ++e) F[e] = T[e] ? 1 : F[e];
        for (std::int64_t e : {WaveformFunction1, WaveformFunction2}) F[e] = T[e] ? 1 : F[e];
    }
    if (eModel == ModelSiglentSDS2000XPlusCh2) F[WaveformChannel3] = F[WaveformChannel4] = 0;
}

void SiglentSDS2000XPlusSetLogicLabel(std::int64_t eWaveform, uWaveformData* pData, const uLabelTable& sLabel) {
    if (!pData || !IsLine(eWaveform)) return;
    uWaveformDigitalChannel* pLine = FindDigital(*pData, eWaveform);
    if (!pLine) return;
    pLine->sLabel = sLabel[eWaveform].empty() ? SiglentSDS2000XPlusChannelName(eWaveform, SiglentNameDisplay)
                                              : sLabel[eWaveform];
}

} // namespace InstrumentWaveform
