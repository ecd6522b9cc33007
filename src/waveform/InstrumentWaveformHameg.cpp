#include "waveform/InstrumentWaveformHameg.h"

#include "transport/ChainedAnswers.h"

#include <cctype>
#include <vector>

namespace InstrumentWaveform {
namespace {

constexpr const char* Family = "HamegHM2008";
constexpr std::string_view TraceHeader = ":TRAC:DATA ";

std::string Name(const char* sProcedure) { return std::string(Family) + sProcedure; }
std::string Prefix(const char* sProcedure) { return "InstrumentWaveform::" + Name(sProcedure) + ": "; }

struct uSource {
    std::int64_t eWaveform;
    const char* sName;
};

// The sources with a mnemonic (the catalogue token as well).
constexpr uSource Sources[] = {
    {WaveformChannel1, "CH1"},      {WaveformChannel2, "CH2"},      {WaveformAdd1, "ADD1"},
    {WaveformLogicPod1, "POD1"},    {WaveformZoomChannel1, "ZCH1"}, {WaveformZoomChannel2, "ZCH2"},
    {WaveformZoomAdd1, "ZADD1"},    {WaveformZoomLogicPod1, "ZPOD1"}, {WaveformFft1, "FFT1"},
    {WaveformFft2, "FFT2"},         {WaveformMath1, "MA1"},         {WaveformMath2, "MA2"},
    {WaveformMath3, "MA3"},         {WaveformMath4, "MA4"},         {WaveformMath5, "MA5"},
    {WaveformReference1, "RE1"},    {WaveformReference2, "RE2"},    {WaveformReference3, "RE3"},
    {WaveformReference4, "RE4"},    {WaveformReference5, "RE5"},    {WaveformReference6, "RE6"},
    {WaveformReference7, "RE7"},    {WaveformReference8, "RE8"},    {WaveformReference9, "RE9"}};

// The pods are stored as digital elements by the trace check; the description parse also
// counts the values that every reader calls digital.
bool IsPod(std::int64_t e) { return e == WaveformLogicPod1 || e == WaveformZoomLogicPod1; }
bool IsDigitalForParse(std::int64_t e) {
    return e == WaveformLogic || e == WaveformLogicPod1 || e == WaveformLogicPod2 || e == WaveformZoomLogicPod1 ||
           (e >= WaveformDigital0 && e <= WaveformDigital15);
}

std::string Upper(std::string_view s) {
    std::string u(s);
    for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return u;
}

} // namespace

bool HamegHM2008CheckVisibleChannels(std::int64_t, const uAnswer& answer, uFlagTable& fVisible, std::string& sError) {
    if (!HasData(Name("CheckVisibleChannels").c_str(), answer, sError)) return false;
    for (const std::string& sItem : Fields(AnswerText(answer.Bytes()), ",")) {
        for (const uSource& source : Sources) {
            if (sItem == source.sName) fVisible[source.eWaveform] = 1;
        }
    }
    return true;
}

void HamegHM2008RequiredChannels(std::int64_t, const uTaskWaveform* pWaveform, uFlagTable& V) {
    if (!pWaveform) return;
    const auto& R = pWaveform->fSource;
    bool fAny = false;
    for (std::size_t i = 0; i <= 55; ++i) fAny = fAny || R[i] != 0;
    if (!fAny) return;
    const bool fAll = R[WaveformAllVisible] != 0;
    const bool fAnalog = R[WaveformAllAnalog] != 0;
    const bool fLogic = R[WaveformLogic] || R[WaveformLogicBus1] || R[WaveformLogicPod1] || R[WaveformZoomLogicPod1];
    if (!fAnalog) V[WaveformChannel1] = V[WaveformChannel2] = 0;
    if (!fLogic) {
        for (std::int64_t e = WaveformDigital0; e <= WaveformDigital3; ++e) V[e] = 0;
    } else {
        V[WaveformLogic] = V[WaveformLogicPod1] = 1;
    }
    if (!fAll) {
        for (std::int64_t e : {WaveformLogic, WaveformAdd1, WaveformLogicPod1}) V[e] = 0;
        for (std::int64_t e = WaveformZoomChannel1; e <= WaveformFft2; ++e) V[e] = 0;
        for (std::int64_t e = WaveformMath1; e <= WaveformReference9; ++e) V[e] = 0;
    }
    for (std::int64_t e : {WaveformChannel1, WaveformChannel2, WaveformAdd1, WaveformZoomChannel1, WaveformZoomChannel2,
                           WaveformZoomAdd1, WaveformFft1, WaveformFft2}) {
        if (R[e]) V[e] = 1;
    }
    for (std::int64_t e = WaveformMath1; e <= WaveformReference9; ++e) {
        if (R[e]) V[e] = 1;
    }
    if (R[WaveformZoomLogicPod1]) V[WaveformLogic] = V[WaveformLogicPod1] = V[WaveformZoomLogicPod1] = 1;
    for (std::int64_t e = WaveformDigital0; e <= WaveformDigital3; ++e) {
        if (R[e]) V[WaveformLogic] = V[WaveformLogicPod1] = V[e] = 1;
    }
}

std::string HamegHM2008ChannelName(std::int64_t e, std::int64_t eMode) {
    if (eMode != HamegNameCatalogue && eMode != HamegNameSource && eMode != HamegNameLabel) return {};
    for (const uSource& source : Sources) {
        if (source.eWaveform == e) return source.sName;
    }
    if (eMode == HamegNameLabel && e >= WaveformDigital0 && e <= WaveformDigital3) {
        return "D" + std::to_string(e - WaveformDigital0);
    }
    return {};
}

bool HamegHM2008CheckChannelData(std::int64_t, const uAnswer& answer, std::int64_t eWaveform, uWaveformData* pData,
                                 std::string& sError) {
    const std::string sProcedure = Name("CheckChannelData");
    const std::string T = Prefix("CheckChannelData");
    if (!HasData(sProcedure.c_str(), answer, sError)) return false;
    if (!pData) {
        sError = T + "The pointer to the structure is zero: *uWaveformData";
        return false;
    }
    if (!ValidSource(sProcedure.c_str(), eWaveform, sError)) return false;
    DataBuffer* pSamples = nullptr;
    DataBuffer* pRaw = nullptr;
    if (IsPod(eWaveform)) {
        auto& element = FindOrAddDigital(*pData, eWaveform);
        pSamples = &element.samples, pRaw = &element.rawPreamble;
    } else {
        auto& element = FindOrAddAnalog(*pData, eWaveform);
        pSamples = &element.samples, pRaw = &element.rawPreamble;
    }
    if (answer.iSize < TraceHeader.size()) {
        sError = T + "Es sind nicht genügend Daten vorhanden für den Header ':TRAC:DATA '.";
        return false;
    }
    if (Upper(answer.Bytes().substr(0, TraceHeader.size())) != TraceHeader) {
        sError = T + "Der Header ':TRAC:DATA ' ist nicht vorhanden.";
        return false;
    }
    // A trace is read once: its samples replace what the element held.
    DataBuffer samples;
    std::size_t iEnd = 0;
    if (!AppendBlockAt(sProcedure.c_str(), answer, TraceHeader.size(), Instrument::eBlockUnit::Bytes, samples, sError,
                       &iEnd)) {
        return false;
    }
    *pSamples = std::move(samples);
    if (answer.iSize <= iEnd) {
        sError = T + "Die Preamble-Daten sind nicht vorhanden.";
        return false;
    }
    return CopyPreamble(sProcedure.c_str(), uAnswer{answer.fFinished, answer.pData + iEnd, answer.iSize - iEnd}, *pRaw,
                        sError);
}

uPreambleHameg ParseHamegDescription(std::string_view sDescription) {
    const std::vector<std::string> items = Instrument::AnswerFields(AnswerText(sDescription));
    auto text = [&](std::size_t n) { return n <= items.size() ? items[n - 1] : std::string(); };
    auto real = [&](std::size_t n) { return ToReal(text(n)); };
    uPreambleHameg p;
    p.s1 = text(2);
    p.s2 = text(3);
    p.i3 = RealToWhole(real(4));
    p.s4 = text(5);
    p.d5 = real(6), p.d6 = real(7), p.d7 = real(8), p.d8 = real(9), p.d9 = real(10);
    p.s10 = text(11);
    p.d11 = real(12), p.d12 = real(13), p.d13 = real(14);
    p.s14 = text(15), p.s15 = text(16), p.s16 = text(17);
    return p;
}

bool HamegHM2008CreatePreamble(std::int64_t eWaveform, uWaveformData* pData, std::string& sError) {
    const std::string T = Prefix("CreatePreamble");
    if (!pData) {
        sError = T + "The pointer to the structure is zero: *uWaveformData";
        return false;
    }
    if (!ValidSource(Name("CreatePreamble").c_str(), eWaveform, sError)) return false;
    DataBuffer* pRaw = nullptr;
    std::unique_ptr<uParsedPreamble>* ppParsed = nullptr;
    const bool fDigital = IsDigitalForParse(eWaveform);
    if (fDigital) {
        if (auto* p = FindDigital(*pData, eWaveform)) pRaw = &p->rawPreamble, ppParsed = &p->pPreamble;
    } else if (auto* p = FindAnalog(*pData, eWaveform)) {
        pRaw = &p->rawPreamble, ppParsed = &p->pPreamble;
    }
    if (!pRaw) {
        sError = T + (fDigital ? "Der digitale Kanal ist nicht in der Liste vorhanden: eWaveform = "
                               : "Der analoge Kanal ist nicht in der Liste vorhanden: eWaveform = ") +
                 std::to_string(eWaveform);
        return false;
    }
    if (!pRaw->allocated() || pRaw->empty()) {
        sError = T + "Die Raw-Preamble-Daten sind nicht vorhanden.";
        return false;
    }
    *ppParsed = std::make_unique<uParsedPreamble>(ParseHamegDescription(pRaw->view()));
    return true;
}

bool HamegHM2008CheckAcquirePoints(std::int64_t, const uAnswer& answer, std::int64_t& iPoints, std::string& sError) {
    if (!HasData(Name("CheckAcquirePoints").c_str(), answer, sError)) return false;
    const std::string sText = AnswerText(answer.Bytes());
    return TakePointCount(sText, sText, iPoints, sError);
}

bool SaveWaveform(const uWaveformData* pWaveform, const std::string& sFileName, const std::string&, std::int64_t,
                  std::string* pError) {
    if (!pError) return false;
    const std::string T = "InstrumentWaveform::SaveWaveform: ";
    if (!pWaveform) {
        *pError = T + "The pointer to the structure is zero: *uWaveform";
        return false;
    }
    if (sFileName.empty()) {
        *pError = T + "The file name is not present.";
        return false;
    }
    const std::int64_t eModel = pWaveform->eModel;
    if (eModel == ModelHamegHM2008 || eModel == ModelHamegHM1508 || eModel == ModelHamegHM1008) {
        const uWaveformSave save;
        if (!HamegHM2008SaveWaveform(&save, pWaveform, pError)) return false;
    }
    *pError = T + ScriptSaveUnsupported;
    return false;
}

bool HamegHM2008SaveWaveform(const uWaveformSave* pSave, const uWaveformData* pWaveform, std::string* pError) {
    if (!pError) return false;
    const std::string T = "InstrumentWaveform::HamegHM2008SaveWaveform: ";
    if (!pSave) {
        *pError = T + "The pointer to the structure is zero: *uWaveformSave";
        return false;
    }
    if (!pWaveform) {
        *pError = T + "The pointer to the structure is zero: *uWaveform";
        return false;
    }
    return true;
}

} // namespace InstrumentWaveform
