#include "waveform/InstrumentWaveformRigol.h"

#include "transport/ChainedAnswers.h"

#include <cmath>

namespace InstrumentWaveform {

std::string RigolVisibleQuery(std::int64_t eModel) {
    const bool fDS1000Z = eModel == ModelRigolDS1000Z || eModel == ModelRigolDS1000ZPlus;
    // The DS1000Z series has no :CALCulate subsystem: its math display state is ":MATH:DISP?" (1 or 0).
    return (fDS1000Z ? std::string(":CHAN1:DISP?;:CHAN2:DISP?;:CHAN3:DISP?;:CHAN4:DISP?;:MATH:DISP?")
                     : std::string(":CHAN1:DISP?;:CHAN2:DISP?;:CALC:MODE?")) +
           (eModel == ModelRigolDS1000ZPlus || eModel == ModelRigolMSO2000 ? ";:LA:STAT?" : "");
}

namespace {

// What tells the two families apart.
struct uFamily {
    const char* sName;       // "RigolDS1000Z" or "RigolDS2000"
    bool fFourChannels;      // DS1000Z: four channels and the pods
    std::int64_t eLogicModel; // the model with logic channels
};

constexpr uFamily DS1000Z{"RigolDS1000Z", true, ModelRigolDS1000ZPlus};
constexpr uFamily DS2000{"RigolDS2000", false, ModelRigolMSO2000};

std::string Name(const uFamily& family, const char* sProcedure) { return std::string(family.sName) + sProcedure; }
std::string Prefix(const uFamily& family, const char* sProcedure) {
    return "InstrumentWaveform::" + Name(family, sProcedure) + ": ";
}

bool IsLine(std::int64_t e) { return e >= WaveformDigital0 && e <= WaveformDigital15; }
// The DS1000Z rule: the logic channels, the pods and the lines are logic sources.
bool IsLogicWide(std::int64_t e) { return e == WaveformLogic || e == WaveformLogicPod1 || e == WaveformLogicPod2 || IsLine(e); }
bool IsLogic(const uFamily& family, std::int64_t e) { return family.fFourChannels ? IsLogicWide(e) : e == WaveformLogic; }

std::string AnswerOf(const uAnswer& answer) { return AnswerText(answer.Bytes()); }

bool CheckVisibleChannels(const uFamily& family, const uAnswer& answer, uFlagTable& fVisible, std::string& sError) {
    if (!HasData(Name(family, "CheckVisibleChannels").c_str(), answer, sError)) return false;
    const std::vector<std::string> fields = Instrument::AnswerFields(AnswerOf(answer));
    // The flag that each field sets, and whether the field is a math mode ("OFF" = not shown; the
    // DS2000's ":CALC:MODE?") rather than a display state of 1 or 0 (the DS1000Z's ":MATH:DISP?").
    struct uField {
        std::int64_t eWaveform;
        bool fMathMode;
    };
    static constexpr uField fieldsDS1000Z[] = {{WaveformChannel1, false}, {WaveformChannel2, false},
                                               {WaveformChannel3, false}, {WaveformChannel4, false},
                                               {WaveformMath, false},     {WaveformLogic, false}};
    static constexpr uField fieldsDS2000[] = {
        {WaveformChannel1, false}, {WaveformChannel2, false}, {WaveformMath, true}, {WaveformLogic, false}};
    const uField* pTable = family.fFourChannels ? fieldsDS1000Z : fieldsDS2000;
    const std::size_t iCount = family.fFourChannels ? std::size(fieldsDS1000Z) : std::size(fieldsDS2000);
    for (std::size_t i = 0; i < iCount && i < fields.size(); ++i) {
        const uField& f = pTable[i];
        fVisible[f.eWaveform] = f.fMathMode ? (fields[i] != "OFF") : (fields[i] == "1");
    }
    return true;
}

bool CheckVisibleDigitalChannels(const uFamily& family, const uAnswer& answer, uFlagTable& fVisible,
                                 uLabelTable& sLabel, std::string& sError) {
    if (!HasData(Name(family, "CheckVisibleDigitalChannels").c_str(), answer, sError)) return false;
    sLabel[WaveformLogic] = "LA";
    if (family.fFourChannels) {
        sLabel[WaveformLogicPod1] = "POD1";
        sLabel[WaveformLogicPod2] = "POD2";
    }
    const std::vector<std::string> fields = Instrument::AnswerFields(AnswerOf(answer));
    for (std::size_t i = 0; i < 32 && i < fields.size(); ++i) {
        if (i < 16) {
            fVisible[WaveformDigital0 + i] = fields[i] == "1";
        } else if (fields[i].find("No Label!") == std::string::npos) {
            sLabel[WaveformDigital0 + i - 16] = fields[i];
        }
    }
    return true;
}

bool CheckAcquirePoints(const uFamily& family, const uAnswer& answer, std::int64_t& iPoints, std::string& sError) {
    if (!HasData(Name(family, "CheckAcquirePoints").c_str(), answer, sError)) return false;
    const std::string sText = AnswerOf(answer);
    if (sText.find(';') != std::string::npos) return RigolMemoryDepth(sText, family.fFourChannels, iPoints, sError);
    const std::vector<std::string> fields = Fields(sText, ",");
    return TakePointCount(fields.size() > 2 ? fields[2] : std::string(), sText, iPoints, sError);
}

bool CheckChannelData(const uFamily& family, const uAnswer& answer, std::int64_t eWaveform, uWaveformData& data,
                      std::string& sError) {
    const std::string sProcedure = Name(family, "CheckChannelData");
    if (!HasData(sProcedure.c_str(), answer, sError) || !ValidSource(sProcedure.c_str(), eWaveform, sError)) return false;
    DataBuffer& samples = IsLogic(family, eWaveform) ? FindOrAddDigital(data, eWaveform).samples
                                                     : FindOrAddAnalog(data, eWaveform).samples;
    return AppendBlock(sProcedure.c_str(), answer, samples, sError);
}

std::string NotInRecord(const uFamily& family, const char* sProcedure, std::int64_t eWaveform) {
    return Prefix(family, sProcedure) + "Der Kanal ist nicht in der Waveform-Struktur vorhanden. eWaveform = " +
           std::to_string(eWaveform);
}

bool CheckPreamble(const uFamily& family, const uAnswer& answer, std::int64_t eWaveform, uWaveformData& data,
                   std::string& sError) {
    const std::string sProcedure = Name(family, "CheckPreamble");
    if (!HasData(sProcedure.c_str(), answer, sError) || !ValidSource(sProcedure.c_str(), eWaveform, sError)) return false;
    DataBuffer* pRaw = nullptr;
    if (IsLogic(family, eWaveform)) {
        if (auto* p = FindDigital(data, eWaveform)) pRaw = &p->rawPreamble;
    } else if (auto* p = FindAnalog(data, eWaveform)) {
        pRaw = &p->rawPreamble;
    }
    if (!pRaw) {
        sError = NotInRecord(family, "CheckPreamble", eWaveform);
        return false;
    }
    return CopyPreamble(sProcedure.c_str(), answer, *pRaw, sError);
}

bool CreatePreamble(const uFamily& family, std::int64_t eWaveform, uWaveformData& data, std::string& sError) {
    if (!ValidSource(Name(family, "CreatePreamble").c_str(), eWaveform, sError)) return false;
    DataBuffer* pRaw = nullptr;
    std::unique_ptr<uParsedPreamble>* ppParsed = nullptr;
    if (IsLogicWide(eWaveform)) {
        if (auto* p = FindDigital(data, eWaveform)) pRaw = &p->rawPreamble, ppParsed = &p->pPreamble;
    } else if (auto* p = FindAnalog(data, eWaveform)) {
        pRaw = &p->rawPreamble, ppParsed = &p->pPreamble;
    }
    if (!pRaw) {
        sError = Prefix(family, "CreatePreamble") +
                 (IsLogicWide(eWaveform) ? "Der digitale Kanal ist nicht in der Liste vorhanden: eWaveform = "
                                         : "Der analoge Kanal ist nicht in der Liste vorhanden: eWaveform = ") +
                 std::to_string(eWaveform);
        return false;
    }
    if (!pRaw->allocated() || pRaw->empty()) {
        sError = Prefix(family, "CreatePreamble") + "Die Raw-Preamble-Daten sind nicht vorhanden.";
        return false;
    }
    *ppParsed = std::make_unique<uParsedPreamble>(ParseRigolPreamble(pRaw->view()));
    return true;
}

std::string ChannelName(const uFamily& family, std::int64_t e, std::int64_t eKind) {
    if (eKind != RigolNameSource && eKind != RigolNameHeader && eKind != RigolNameDisplay) return {};
    const bool fDisplay = eKind == RigolNameDisplay;
    if (e == WaveformLogic) return "LA";
    if (e == WaveformMath) return fDisplay ? "Math" : "MATH";
    const std::int64_t iChannels = family.fFourChannels ? 4 : 2;
    if (e >= WaveformChannel1 && e < WaveformChannel1 + iChannels) {
        return (fDisplay ? "CH" : "CHAN") + std::to_string(e - WaveformChannel1 + 1);
    }
    if (IsLine(e) && (family.fFourChannels || fDisplay)) return "D" + std::to_string(e - WaveformDigital0);
    if (family.fFourChannels && e == WaveformLogicPod1) return "POD1";
    if (family.fFourChannels && e == WaveformLogicPod2) return "POD2";
    return {};
}

bool CheckUnitAndLabel(const uFamily& family, const uAnswer& answer, std::int64_t eWaveform, uWaveformData& data,
                       std::string& sError) {
    const std::string sProcedure = Name(family, "CheckUnitAndLabel");
    if (!HasData(sProcedure.c_str(), answer, sError) || !ValidSource(sProcedure.c_str(), eWaveform, sError)) return false;
    uWaveformAnalogChannel* pChannel = FindAnalog(data, eWaveform);
    if (!pChannel) {
        sError = NotInRecord(family, "CheckUnitAndLabel", eWaveform);
        return false;
    }
    pChannel->sUnit = Instrument::AnswerFields(AnswerOf(answer))[0];
    pChannel->sLabel = ChannelName(family, eWaveform, RigolNameDisplay);
    return true;
}

void RequiredChannels(const uFamily& family, std::int64_t eModel, const uTaskWaveform& waveform, uFlagTable& F) {
    const auto& T = waveform.fSource;
    bool fAny = false;
    for (std::size_t i = 0; i <= 55; ++i) fAny = fAny || T[i] != 0;
    if (!fAny) return;
    const bool fLogicModel = eModel == family.eLogicModel;
    const bool fAll = T[WaveformAllVisible] != 0;
    const bool fAnalog = T[WaveformAllAnalog] != 0;
    const bool fFirst = fLogicModel && (T[WaveformLogic] || T[WaveformLogicBus1] || T[WaveformLogicPod1]);
    const bool fSecond = fLogicModel && (T[WaveformLogic] || T[WaveformLogicBus2] || T[WaveformLogicPod2]);
    const std::int64_t eLastChannel = family.fFourChannels ? WaveformChannel4 : WaveformChannel2;
    if (!fAnalog) {
        for (std::int64_t e = WaveformChannel1; e <= eLastChannel; ++e) F[e] = 0;
    }
    auto half = [&](bool fWanted, std::int64_t eFirst, std::int64_t ePod) {
        if (!fWanted) {
            for (std::int64_t e = eFirst; e < eFirst + 8; ++e) F[e] = 0;
            return;
        }
        F[WaveformLogic] = 1;
        if (family.fFourChannels) F[ePod] = 1;
    };
    half(fFirst, WaveformDigital0, WaveformLogicPod1);
    half(fSecond, WaveformDigital8, WaveformLogicPod2);
    auto clearLogic = [&] {
        F[WaveformLogic] = 0;
        if (family.fFourChannels) F[WaveformLogicPod1] = F[WaveformLogicPod2] = 0;
    };
    if (!fAll) {
        clearLogic();
        F[WaveformMath] = 0;
    }
    for (std::int64_t e = WaveformChannel1; e <= eLastChannel; ++e) {
        if (T[e]) F[e] = 1;
    }
    if (fLogicModel) {
        for (std::int64_t e = WaveformDigital0; e <= WaveformDigital15; ++e) {
            if (!T[e]) continue;
            F[e] = 1;
            F[WaveformLogic] = 1;
            if (family.fFourChannels) F[e <= WaveformDigital7 ? WaveformLogicPod1 : WaveformLogicPod2] = 1;
        }
    } else {
        clearLogic();
    }
    if (T[WaveformMath] || T[WaveformMath1]) F[WaveformMath] = 1;
}

void SetLogicLabel(const uFamily& family, std::int64_t eWaveform, uWaveformData& data, const uLabelTable& sLabel) {
    const bool fLogic = family.fFourChannels ? IsLogicWide(eWaveform) : (eWaveform == WaveformLogic || IsLine(eWaveform));
    if (!fLogic) return;
    uWaveformDigitalChannel* p = FindDigital(data, eWaveform);
    if (!p) return;
    p->sLabel = sLabel[eWaveform].empty() ? ChannelName(family, eWaveform, RigolNameDisplay) : sLabel[eWaveform];
}

} // namespace

bool RigolMemoryDepth(const std::string& sAnswer, bool fDS1000Z, std::int64_t& iPoints, std::string& sError) {
    const std::vector<std::string> fields = Instrument::AnswerFields(sAnswer);
    const std::string sDepth = fields.empty() ? std::string() : AnswerText(fields[0]);
    if (sDepth != "AUTO") return TakePointCount(sDepth, sAnswer, iPoints, sError);
    // Memory depth = sample rate x time base x the screen's horizontal divisions.
    const double dRate = fields.size() > 1 ? ToReal(fields[1]) : 0.0;
    const double dScale = fields.size() > 2 ? ToReal(fields[2]) : 0.0;
    const double dDepth = std::round(dRate * dScale * (fDS1000Z ? 12.0 : 14.0));
    return TakePointCount(std::isfinite(dDepth) ? std::to_string(dDepth) : "nan", sAnswer, iPoints, sError);
}

uPreambleRigol ParseRigolPreamble(std::string_view sAnswer) {
    const std::vector<std::string> f = Fields(AnswerText(sAnswer), ",");
    auto field = [&](std::size_t i) -> std::string_view { return i < f.size() ? std::string_view(f[i]) : std::string_view(); };
    uPreambleRigol p;
    p.iFormat = ToWhole(field(0));
    p.iType = ToWhole(field(1));
    p.iPoints = RealToWhole(ToReal(field(2)));
    p.iAverages = ToWhole(field(3));
    p.dXIncrement = ToReal(field(4));
    p.dXOrigin = ToReal(field(5));
    p.dXReference = ToReal(field(6));
    p.dYIncrement = ToReal(field(7));
    p.dYOrigin = ToReal(field(8));
    p.dYReference = ToReal(field(9));
    return p;
}

#define ORVANTO_RIGOL_FAMILY(Prefix, Family)                                                                            \
    bool Prefix##CheckVisibleChannels(std::int64_t, const uAnswer& a, uFlagTable& f, std::string& e) {                 \
        return CheckVisibleChannels(Family, a, f, e);                                                                   \
    }                                                                                                                   \
    bool Prefix##CheckVisibleDigitalChannels(std::int64_t, const uAnswer& a, uFlagTable& f, uLabelTable& l,            \
                                             std::string& e) {                                                          \
        return CheckVisibleDigitalChannels(Family, a, f, l, e);                                                         \
    }                                                                                                                   \
    bool Prefix##CheckAcquirePoints(std::int64_t, const uAnswer& a, std::int64_t& p, std::string& e) {                 \
        return CheckAcquirePoints(Family, a, p, e);                                                                     \
    }                                                                                                                   \
    bool Prefix##CheckChannelData(std::int64_t, const uAnswer& a, std::int64_t w, uWaveformData& d, std::string& e) {  \
        return CheckChannelData(Family, a, w, d, e);                                                                    \
    }                                                                                                                   \
    bool Prefix##CheckPreamble(std::int64_t, const uAnswer& a, std::int64_t w, uWaveformData& d, std::string& e) {     \
        return CheckPreamble(Family, a, w, d, e);                                                                       \
    }                                                                                                                   \
    bool Prefix##CreatePreamble(std::int64_t w, uWaveformData& d, std::string& e) { return CreatePreamble(Family, w, d, e); } \
    bool Prefix##CheckUnitAndLabel(std::int64_t, const uAnswer& a, std::int64_t w, uWaveformData& d, std::string& e) { \
        return CheckUnitAndLabel(Family, a, w, d, e);                                                                   \
    }                                                                                                                   \
    void Prefix##RequiredChannels(std::int64_t m, const uTaskWaveform& t, uFlagTable& f) {                              \
        RequiredChannels(Family, m, t, f);                                                                              \
    }                                                                                                                   \
    void Prefix##SetLogicLabel(std::int64_t w, uWaveformData& d, const uLabelTable& l) { SetLogicLabel(Family, w, d, l); } \
    std::string Prefix##ChannelName(std::int64_t w, std::int64_t k) { return ChannelName(Family, w, k); }

ORVANTO_RIGOL_FAMILY(RigolDS1000Z, DS1000Z)
ORVANTO_RIGOL_FAMILY(RigolDS2000, DS2000)
#undef ORVANTO_RIGOL_FAMILY

} // namespace InstrumentWaveform
