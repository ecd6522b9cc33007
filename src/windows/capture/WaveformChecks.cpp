#include "windows/capture/WaveformChecks.h"

#include "common/TextRoutines.h"
#include "instrument/ModelTable.h"
#include "instrument/WaveformSources.h"
#include "transport/BlockHeader.h"
#include "transport/ChainedAnswers.h"
#include "waveform/InstrumentWaveformRohdeSchwarz.h"
#include "waveform/WaveformFrame.h"
#include "windows/capture/WaveformPumpText.h"
#include "windows/capture/WaveformRequests.h"

#include <charconv>
#include <cmath>
#include <functional>

namespace WaveformChecks {

namespace {

constexpr std::string_view Blanks = " \t\r\n";

struct uToken {
    const char* sToken;
    std::int64_t eWaveform;
};
constexpr uToken HamegTokens[] = {
    {"CH1", WaveformChannel1},   {"CH2", WaveformChannel2},       {"ADD1", WaveformAdd1},
    {"POD1", WaveformLogicPod1}, {"ZCH1", WaveformZoomChannel1},  {"ZCH2", WaveformZoomChannel2},
    {"FFT1", WaveformFft1},      {"FFT2", WaveformFft2},          {"MA1", WaveformMath1},
    {"MA2", WaveformMath2},      {"MA3", WaveformMath3},          {"MA4", WaveformMath4},
    {"MA5", WaveformMath5},      {"RE1", WaveformReference1},     {"RE2", WaveformReference2},
    {"RE3", WaveformReference3}, {"RE4", WaveformReference4},     {"RE5", WaveformReference5},
    {"ZADD1", WaveformZoomAdd1}, {"ZPOD1", WaveformZoomLogicPod1}};

// Field iPosition, trimmed of blanks; empty when missing.
std::string Field(const std::vector<std::string>& fields, std::size_t iPosition) {
    return iPosition < fields.size() ? Utility::TrimCharacters(fields[iPosition], Blanks) : std::string();
}

bool IsSiglent(std::int64_t eModel) { return WaveformRequests::FamilyOf(eModel) == WaveformRequests::FamilySiglent; }
bool IsRohdeSchwarz(std::int64_t eModel) {
    return WaveformRequests::FamilyOf(eModel) == WaveformRequests::FamilyRohdeSchwarz;
}

void AppendLine(std::string& sText, std::int64_t iLine) {
    if (!sText.empty()) sText += ",";
    sText += "D" + std::to_string(iLine);
}

} // namespace

bool Validate(uWaveformPump& pump, const char* sCheck, const std::uint8_t* pData, std::size_t iSize) {
    if (!pData || iSize == 0) {
        pump.pWindow->AddError(std::string(sCheck) + ": Der Zeiger auf die Daten oder die Datengröße ist Null.");
        return false;
    }
    // Bytes inside the pump's answer buffer must lie within its valid bytes.
    const std::uint8_t* pBegin = pump.answer.data();
    if (pBegin && pData >= pBegin && pData < pBegin + pump.answer.capacity() &&
        (pData > pBegin + pump.answer.size() || iSize > static_cast<std::size_t>(pBegin + pump.answer.size() - pData))) {
        pump.pWindow->AddError(std::string(sCheck) +
                               ": Der Speicher ist kleiner als die angegebene Datengröße, iDataSize = " +
                               std::to_string(iSize));
        return false;
    }
    return true;
}

std::string AnswerText(const std::uint8_t* pData, std::size_t iSize, std::string_view sTrim) {
    if (!pData || iSize == 0) return {};
    return Utility::TrimCharacters(std::string_view(reinterpret_cast<const char*>(pData), iSize), sTrim);
}

bool ParseCount(std::string_view sText, std::int64_t& iCount) {
    std::size_t i = 0;
    while (i < sText.size() && Blanks.find(sText[i]) != std::string_view::npos) ++i;
    if (i < sText.size() && sText[i] == '+') ++i;
    // Only digits, a point, a sign and an exponent: "nan" and "inf" are no counts.
    if (i >= sText.size() || !(std::isdigit(static_cast<unsigned char>(sText[i])) || sText[i] == '-' ||
                               sText[i] == '.'))
        return false;
    double dValue = 0.0;
    const char* pFirst = sText.data() + i;
    const auto [pEnd, error] = std::from_chars(pFirst, sText.data() + sText.size(), dValue);
    if (error != std::errc() || pEnd == pFirst) return false;
    if (!std::isfinite(dValue) || std::fabs(dValue) > MaxPoints) return false;
    iCount = static_cast<std::int64_t>(std::trunc(dValue));
    return true;
}

int CheckInstrumentResponseGetVisibleChannels(uWaveformPump& pump, const std::uint8_t* pData, std::size_t iSize) {
    if (!Validate(pump, "WindowWaveform::CheckInstrumentResponseGetVisibleChannels", pData, iSize)) return 0;
    pump.mChannelData.clear();
    const std::int64_t eModel = pump.instrument.eModel;
    const std::string sText = AnswerText(pData, iSize);
    auto& data = pump.mChannelData;
    bool fLogic = false;
    bool fRule = true;
    if (WaveformRequests::FamilyOf(eModel) == WaveformRequests::FamilyHameg) {
        for (const std::string& sField : InstrumentWaveform::Fields(sText, ",")) {
            if (sField.empty()) continue;
            for (const uToken& token : HamegTokens)
                if (sField == token.sToken) data.push_back(token.eWaveform);
        }
    } else {
        const std::vector<std::string> fields = Instrument::AnswerFields(sText);
        const auto on = [&](std::size_t i) {
            return Field(fields, i) == (IsSiglent(eModel) ? "ON" : "1") && i < fields.size();
        };
        const auto math = [&](std::size_t i) { return i < fields.size() && Field(fields, i) != "OFF"; };
        const auto channels = [&](std::size_t iFirst, std::size_t iCount, std::int64_t eFirst) {
            for (std::size_t i = 0; i < iCount; ++i)
                if (on(iFirst + i)) data.push_back(eFirst + static_cast<std::int64_t>(i));
        };
        switch (eModel) {
        case ModelRigolDS1000Z:
        case ModelRigolDS1000ZPlus:
            channels(0, 4, WaveformChannel1);
            if (on(4)) data.push_back(WaveformMath); // ":MATH:DISP?": 1 or 0
            if (on(5)) {
                data.push_back(WaveformLogicPod1);
                data.push_back(WaveformLogicPod2);
                fLogic = true;
            }
            break;
        case ModelRigolDS2000:
        case ModelRigolMSO2000:
            channels(0, 2, WaveformChannel1);
            if (math(2)) data.push_back(WaveformMath);
            if (on(3)) {
                data.push_back(WaveformLogic);
                fLogic = true;
            }
            break;
        case ModelSiglentSDS2000XPlusCh2:
        case ModelSiglentSDS5000XCh2:
        case ModelSiglentSDS2000XPlusCh4:
        case ModelSiglentSDS5000XCh4: {
            const std::size_t n =
                eModel == ModelSiglentSDS2000XPlusCh4 || eModel == ModelSiglentSDS5000XCh4 ? 4 : 2;
            channels(0, n, WaveformChannel1);
            channels(n, 2, WaveformFunction1);
            if (on(n + 2)) {
                data.push_back(WaveformLogic);
                fLogic = true;
            }
            break;
        }
        case ModelRohdeSchwarzRTB2000Ch2:
        case ModelRohdeSchwarzRTB2000Ch4: {
            const std::size_t n = eModel == ModelRohdeSchwarzRTB2000Ch4 ? 4 : 2;
            channels(0, n, WaveformChannel1);
            channels(n, 5, WaveformMath1);
            channels(n + 5, 4, WaveformReference1);
            for (std::size_t i = 0; i < 2; ++i) {
                if (!on(n + 9 + i)) continue;
                data.push_back(WaveformLogicPod1 + static_cast<std::int64_t>(i));
                fLogic = true;
            }
            if (n + 11 < fields.size()) pump.iAcquireType = InstrumentWaveform::RohdeSchwarzAcquireType(Field(fields, n + 11));
            break;
        }
        default: fRule = false; break;
        }
    }
    pump.pWindow->FillChannelList(pump);
    if (fLogic) {
        if (WaveformRequests::CreateRequestGetLogicDisplay(pump) == 0) {
            pump.pWindow->SetStatus(WaveformText::NotSent);
            pump.pWindow->AddError(pump.instrument.sManufacturer + " - " + WaveformText::NotSent);
        } else {
            pump.pTimers->Start(WaveformPump::TimerPump, WaveformPump::PumpTick);
        }
    }
    return fRule ? 1 : 0;
}

int CheckInstrumentResponseGetLogicDisplay(uWaveformPump& pump, const std::uint8_t* pData, std::size_t iSize) {
    if (!Validate(pump, "WindowWaveform::CheckInstrumentResponseGetLogicDisplay", pData, iSize)) return 0;
    pump.sLogicAll.clear();
    pump.sLogicPod1.clear();
    pump.sLogicPod2.clear();
    const std::int64_t eModel = pump.instrument.eModel;
    const bool fRigol = eModel == ModelRigolDS1000ZPlus || eModel == ModelRigolMSO2000;
    const bool fSiglent = IsSiglent(eModel);
    const bool fRohdeSchwarz = IsRohdeSchwarz(eModel);
    if (!fRigol && !fSiglent && !fRohdeSchwarz) {
        pump.pWindow->FillChannelList(pump);
        return 0;
    }
    const std::vector<std::string> fields = Instrument::AnswerFields(AnswerText(pData, iSize));
    pump.LogicLines.clear();
    for (std::int64_t iLine = 0; iLine < 16; ++iLine) {
        uWaveformLogicLine line;
        line.iLine = iLine;
        line.fShown = Field(fields, static_cast<std::size_t>(iLine)) == (fSiglent ? "ON" : "1") ? 1 : 0;
        const std::size_t iLabel = static_cast<std::size_t>(16 + iLine);
        if (iLabel < fields.size()) {
            if (fRigol) {
                std::string s = Utility::TrimCharacters(fields[iLabel], Blanks);
                if (s.find("No Label") == std::string::npos) line.sLabel = std::move(s);
            } else {
                std::string s = Utility::TrimCharacters(fields[iLabel], "\"");
                if (fRohdeSchwarz || s.find("CUST[") == std::string::npos) line.sLabel = std::move(s);
            }
        }
        pump.LogicLines.push_back(std::move(line));
    }
    for (const uWaveformLogicLine& line : pump.LogicLines) {
        if (!line.fShown) continue;
        if (fRigol || fRohdeSchwarz) AppendLine(line.iLine < 8 ? pump.sLogicPod1 : pump.sLogicPod2, line.iLine);
        if (fRigol || fSiglent) AppendLine(pump.sLogicAll, line.iLine);
    }
    pump.pWindow->FillChannelList(pump);
    return 1;
}

int CheckInstrumentResponseWaveformAcquireType(uWaveformPump& pump, const std::uint8_t* pData, std::size_t iSize) {
    if (!Validate(pump, "WindowWaveform::CheckInstrumentResponseWaveformAcquireType", pData, iSize)) return 0;
    if (!IsRohdeSchwarz(pump.instrument.eModel) || !pump.pRecord) return 0;
    const std::int64_t eType = InstrumentWaveform::RohdeSchwarzAcquireType(AnswerText(pData, iSize, " \t\r\n;"));
    static const char* Shown[] = {"Error", "Refresh", "Average", "Envelope"};
    pump.pRecord->eAcquireType = eType;
    if (eType == 2) pump.sBitFormat = "32";
    pump.pWindow->AddLine(WaveformText::Prefix(pump) + "Waveform AcquireType: " + Shown[eType]);
    return 1;
}

int CheckInstrumentResponseWaveform(uWaveformPump& pump, const std::uint8_t* pData, std::size_t iSize) {
    if (!Validate(pump, "WindowWaveform::CheckInstrumentResponseWaveform", pData, iSize)) return 0;
    if (!pump.pRecord || pump.iChannelIndex == 0 || pump.iChannelIndex >= pump.pRecord->Channels.size()) return 0;
    const uWaveformRequest* pRequest = pump.mRequestList.empty() ? nullptr : &pump.mRequestList.front();
    // A block followed by more than its answer's end came longer than announced. R&S: a channel's
    // block holds the points its count gave, or it is no record.
    std::uint64_t iBytes = 0;
    const std::size_t iHeader = Instrument::ParseBlockHeaderOnly(pData, 0, iSize, &iBytes);
    if (iHeader > 0 && !InstrumentWaveform::BlockEnds(pData, iSize, iHeader + iBytes)) {
        WaveformPump::ChannelFailed(pump, WaveformText::Incomplete + std::to_string(iSize));
        return 0;
    }
    std::string sShort;
    if (IsRohdeSchwarz(pump.instrument.eModel) && pRequest && pRequest->eWaveform >= WaveformChannel1 &&
        pRequest->eWaveform <= WaveformChannel4 && iHeader > 0 &&
        !InstrumentWaveform::RohdeSchwarzRTB2000WholeChannel(
            iBytes, pump.sBitFormat == "32" ? 4 : pump.sBitFormat == "16" ? 2 : 1, pump.pRecord->eAcquireType == 3,
            pump.pRecord->iTotalPoints, sShort)) {
        WaveformPump::ChannelFailed(pump, sShort);
        return 0;
    }
    uWaveformRecordChannel& channel = pump.pRecord->Channels[pump.iChannelIndex];
    if (pData == pump.answer.data() && iSize == pump.answer.size()) {
        channel.pData = std::move(pump.answer); // the answer is the pump's until the next send
        pump.answer = DataBuffer();
    } else {
        DataBuffer copy = DataBuffer::FromBytes(pData, iSize);
        if (copy.size() != iSize) return 0;
        channel.pData = std::move(copy);
    }
    channel.iDataSize = static_cast<std::int64_t>(channel.pData.size());
    if (pRequest) {
        const uWaveformRequest& request = *pRequest;
        channel.eDataSource = request.eDataSource;
        channel.eWaveform = request.eWaveform;
        channel.sFileChannel = request.sChannelFile;
        channel.sChannelName = request.sChannel;
    }
    channel.iTotalPoints = pump.pRecord->iTotalPoints;
    channel.eAcquireType = pump.pRecord->eAcquireType;
    return 1;
}

void Install() {
    uWaveformChecks checks;
    checks.fnVisibleChannels = [](uWaveformPump& pump, const std::uint8_t* p, std::size_t n) {
        CheckInstrumentResponseGetVisibleChannels(pump, p, n);
    };
    checks.fnLogicDisplay = [](uWaveformPump& pump, const std::uint8_t* p, std::size_t n) {
        CheckInstrumentResponseGetLogicDisplay(pump, p, n);
    };
    checks.fnWaveformPoints = [](uWaveformPump& pump, const std::uint8_t* p, std::size_t n) {
        CheckInstrumentResponseWaveformPoints(pump, p, n);
    };
    checks.fnAcquireType = [](uWaveformPump& pump, const std::uint8_t* p, std::size_t n) {
        CheckInstrumentResponseWaveformAcquireType(pump, p, n);
    };
    checks.fnWaveform = [](uWaveformPump& pump, const std::uint8_t* p, std::size_t n) {
        CheckInstrumentResponseWaveform(pump, p, n);
    };
    checks.fnWaveformPart = [](uWaveformPump& pump, const std::uint8_t* p, std::size_t n, std::size_t iHeader,
                               std::uint64_t iCount) {
        return CheckInstrumentResponseWaveformPart(pump, p, n, iHeader, iCount) == 1;
    };
    checks.fnChannelFailed = &AbandonChannel;
    WaveformPump::SetChecks(std::move(checks));
}

} // namespace WaveformChecks
