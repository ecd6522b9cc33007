#include "sim/SiglentScope.h"

#include "sim/ScpiPath.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace Sim {
namespace {

constexpr std::int64_t PartLimit = 10000000; // points of one data answer (half with WORD)
constexpr std::size_t DescriptorSize = 346;

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string OnOff(bool f) { return f ? "ON" : "OFF"; }

template <class T> void Put(std::vector<std::uint8_t>& d, std::size_t iOffset, T value) {
    std::uint8_t b[sizeof(T)];
    std::memcpy(b, &value, sizeof(T)); // the simulator runs on little-endian hosts
    std::copy(b, b + sizeof(T), d.begin() + static_cast<std::ptrdiff_t>(iOffset));
}

void PutText(std::vector<std::uint8_t>& d, std::size_t iOffset, const std::string& s) {
    std::copy_n(s.begin(), std::min<std::size_t>(s.size(), 16), d.begin() + static_cast<std::ptrdiff_t>(iOffset));
}

// "C1".."C4" 1..4, "F1"/"F2" 5/6, "D0".."D15" 100..115; 0 for anything else.
int SourceId(const std::string& s) {
    if (s.size() < 2) return 0;
    const std::string sNumber = s.substr(1);
    if (!std::all_of(sNumber.begin(), sNumber.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
        return 0;
    }
    const int n = std::stoi(sNumber);
    if (s[0] == 'C' && n >= 1 && n <= 4) return n;
    if (s[0] == 'F' && n >= 1 && n <= 2) return 4 + n;
    if (s[0] == 'D' && n >= 0 && n <= 15) return 100 + n;
    return 0;
}

} // namespace

SiglentScope::SiglentScope(eModel m) : model(m) {}

int SiglentScope::Channels() const { return model == eModel::SDS2102XPlus || model == eModel::SDS5032X ? 2 : 4; }

void SiglentScope::Attach(ScpiDevice& device) {
    static const char* Names[] = {"SDS2102X Plus", "SDS2104X Plus", "SDS5032X", "SDS5034X"};
    device.SetIdn(std::string("Siglent Technologies,") + Names[static_cast<int>(model)] + ",SDS2XPAX1R0001,3.8.12.1.1.3.8");
    Bind(device);
}

#define SIGLENT_KNOB(Body)                                                                                             \
    {                                                                                                                  \
        std::lock_guard lock(mMutex);                                                                                  \
        Body;                                                                                                          \
    }
void SiglentScope::ShowChannel(int c, bool f) SIGLENT_KNOB(if (c >= 1 && c <= 4) fChannel[c - 1] = f)
void SiglentScope::ShowFunction(int x, bool f) SIGLENT_KNOB(if (x >= 1 && x <= 2) fFunction[x - 1] = f)
void SiglentScope::ShowLogic(bool f) SIGLENT_KNOB(fLogic = f)
void SiglentScope::ShowLine(int n, bool f) SIGLENT_KNOB(if (n >= 0 && n < 16) fLine[n] = f)
void SiglentScope::SetLineLabel(int n, const std::string& s) SIGLENT_KNOB(if (n >= 0 && n < 16) sLineLabel[n] = s)
void SiglentScope::SetChannelLabel(int c, const std::string& s, bool f) SIGLENT_KNOB(if (c >= 1 && c <= 4) {
    sChannelLabel[c - 1] = s;
    fChannelLabel[c - 1] = f;
})
void SiglentScope::SetChannelUnit(int c, const std::string& s) SIGLENT_KNOB(if (c >= 1 && c <= 4) {
    sChannelUnit[c - 1] = s;
})
void SiglentScope::SetMemoryDepth(std::int64_t n) SIGLENT_KNOB(iDepth = n; mRecords.clear())
void SiglentScope::SetLineDepth(std::int64_t n) SIGLENT_KNOB(iLineDepth = n; mRecords.clear())
void SiglentScope::SetPointsAsInteger(bool f) SIGLENT_KNOB(fPointsInteger = f)
void SiglentScope::SetPointsAnswer(const std::string& s) SIGLENT_KNOB(sPointsAnswer = s)
void SiglentScope::SetDataPrefix(bool f) SIGLENT_KNOB(fDataPrefix = f)
void SiglentScope::SetDescriptorPrefix(bool f) SIGLENT_KNOB(fDescriptorPrefix = f)
void SiglentScope::SetProbe(float f) SIGLENT_KNOB(fProbe = f)
void SiglentScope::SetCodesPerDivision(float f) SIGLENT_KNOB(fCodes = f)
void SiglentScope::SetFault(eFault f, int iSkip) SIGLENT_KNOB(fault = f; iFaultSkip = iSkip)
void SiglentScope::SetMaxPointText(const std::string& s) SIGLENT_KNOB(sMaxPointText = s)
#undef SIGLENT_KNOB

bool SiglentScope::Stopped() const {
    std::lock_guard lock(mMutex);
    return fStopped;
}
std::string SiglentScope::Width() const {
    std::lock_guard lock(mMutex);
    return sWidth;
}
std::vector<std::string> SiglentScope::DataRequests() const {
    std::lock_guard lock(mMutex);
    return mRequests;
}

std::int16_t SiglentScope::Sample(int s, std::size_t i) {
    const std::size_t v = i * static_cast<std::size_t>(4 * s + 1) + static_cast<std::size_t>(s) * 5003 + (i >> 9) * 31;
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(v & 0xFFFF));
}

int SiglentScope::LineBit(int n, std::size_t i) { return static_cast<int>(((i >> (n % 4 + 1)) ^ (i >> 7) ^ static_cast<std::size_t>(n)) & 1); }

std::int64_t SiglentScope::MaxPointLocked(bool fAnswer) const {
    if (fAnswer && iMaxPointAnswer > 0) return iMaxPointAnswer;
    if (iMaxPoint > 0) return iMaxPoint;
    return sWidth == "WORD" && SourceId(sSource) < 100 ? PartLimit / 2 : PartLimit;
}

void SiglentScope::SetMaxPoint(std::int64_t iPoints, std::int64_t iAnswer) {
    std::lock_guard lock(mMutex);
    iMaxPoint = iPoints;
    iMaxPointAnswer = iAnswer;
}

std::string SiglentScope::Points(std::int64_t iPoints, bool fCount) const {
    if (fCount && !sPointsAnswer.empty()) return sPointsAnswer;
    if (fPointsInteger) return std::to_string(iPoints);
    char s[32];
    std::snprintf(s, sizeof s, "%.2E", static_cast<double>(iPoints));
    return s;
}

std::vector<std::uint8_t> SiglentScope::Descriptor(const std::string& s) const {
    std::lock_guard lock(mMutex);
    return DescriptorLocked(s);
}

std::vector<std::uint8_t> SiglentScope::DescriptorLocked(const std::string& s) const {
    static const char* Names[] = {"SDS2102X Plus", "SDS2104X Plus", "SDS5032X", "SDS5034X"};
    const int id = SourceId(s);
    const bool fLine = id >= 100;
    const bool fWord = sWidth == "WORD" && !fLine;
    const std::int64_t iPoints = fLine ? iLineDepth : iDepth;
    std::vector<std::uint8_t> d(DescriptorSize, 0);
    PutText(d, 0, "WAVEDESC");
    PutText(d, 16, "WAVEACE");
    Put<std::int16_t>(d, 32, fWord ? 1 : 0); // CommType: 0 byte, 1 word
    Put<std::int16_t>(d, 34, 0);             // CommOrder: LSB first
    Put<std::int32_t>(d, 60, static_cast<std::int32_t>(fLine ? (iPoints + 7) / 8 : iPoints * (fWord ? 2 : 1)));
    PutText(d, 76, Names[static_cast<int>(model)]);
    Put<std::int32_t>(d, 116, static_cast<std::int32_t>(iPoints));
    Put<std::int32_t>(d, 132, 0);
    Put<std::int32_t>(d, 136, 1);
    // Gain and offset as the guide's conversion takes them: multiplied by the probe factor they
    // give 2 V per division and 0.5 V at the probe tip.
    Put<float>(d, 156, 2.0f / fProbe);
    Put<float>(d, 160, 0.5f / fProbe);
    Put<float>(d, 164, fCodes); // codes per division
    Put<float>(d, 168, fWord ? -32768.0f : -128.0f);
    Put<float>(d, 176, 1e-6f);                       // seconds per point
    Put<double>(d, 180, 0.0);
    Put<std::int16_t>(d, 324, 20);                   // 1 ms per division
    Put<std::int16_t>(d, 326, 0);                    // DC
    Put<float>(d, 328, fProbe);
    Put<std::int16_t>(d, 332, 0);
    Put<std::int16_t>(d, 334, 0);
    Put<std::int16_t>(d, 344, static_cast<std::int16_t>(id >= 1 && id <= 4 ? id - 1 : 0));
    return d;
}

std::shared_ptr<const std::vector<std::uint8_t>> SiglentScope::Record(const std::string& s) {
    const int id = SourceId(s);
    const bool fLine = id >= 100;
    const std::string sKey = s + "/" + (fLine ? std::to_string(iLineDepth) : std::to_string(iDepth) + sWidth);
    auto it = mRecords.find(sKey);
    if (it != mRecords.end()) return it->second;
    std::shared_ptr<std::vector<std::uint8_t>> p;
    if (fLine) {
        const auto n = static_cast<std::size_t>(iLineDepth);
        p = std::make_shared<std::vector<std::uint8_t>>((n + 7) / 8, 0);
        for (std::size_t i = 0; i < n; ++i) {
            if (LineBit(id - 100, i)) (*p)[i / 8] = static_cast<std::uint8_t>((*p)[i / 8] | (1u << (i % 8)));
        }
    } else {
        const auto n = static_cast<std::size_t>(iDepth);
        const bool fWord = sWidth == "WORD";
        p = std::make_shared<std::vector<std::uint8_t>>(n * (fWord ? 2 : 1));
        for (std::size_t i = 0; i < n; ++i) {
            const auto v = static_cast<std::uint16_t>(Sample(id, i));
            if (fWord) {
                (*p)[2 * i] = static_cast<std::uint8_t>(v & 0xFF);
                (*p)[2 * i + 1] = static_cast<std::uint8_t>(v >> 8);
            } else {
                (*p)[i] = static_cast<std::uint8_t>(v >> 8);
            }
        }
    }
    return mRecords.emplace(sKey, std::move(p)).first->second;
}

void SiglentScope::Data(ScpiReply& reply) {
    eFault f = eFault::None;
    if (iFaultSkip > 0) {
        --iFaultSkip;
    } else if (fault != eFault::WrongDescriptorTag) {
        f = fault;
        fault = eFault::None;
    }
    const int id = SourceId(sSource);
    const bool fLine = id >= 100;
    const std::int64_t iPoints = fLine ? iLineDepth : iDepth;
    const std::int64_t iLimit = MaxPointLocked(false);
    const std::int64_t iFrom = std::clamp<std::int64_t>(iStart, 0, iPoints);
    const std::int64_t iAll = iCount > 0 ? iCount : iPoints;
    const std::int64_t iTake = std::min({iAll, iPoints - iFrom, iLimit});
    mRequests.push_back(sSource + " " + std::to_string(iStart) + " " + std::to_string(iAll));
    const std::string sHeader = f == eFault::NoDataHeader ? "DATA," : fDataPrefix ? "DAT2," : "";
    char sCount[16];
    if (id == 0 || (id >= 3 && id <= 4 && id > Channels()) || f == eFault::ZeroCount || iTake <= 0) {
        reply.Text(sHeader + "#9000000000\n");
        return;
    }
    std::shared_ptr<const std::vector<std::uint8_t>> p = Record(sSource);
    std::size_t iBegin = 0, iEnd = 0;
    if (fLine) {
        if (iFrom % 8 != 0) { // not on a byte: pack the part anew
            auto part = std::make_shared<std::vector<std::uint8_t>>(static_cast<std::size_t>((iTake + 7) / 8), 0);
            for (std::int64_t k = 0; k < iTake; ++k) {
                if (LineBit(id - 100, static_cast<std::size_t>(iFrom + k))) {
                    (*part)[static_cast<std::size_t>(k / 8)] |= static_cast<std::uint8_t>(1u << (k % 8));
                }
            }
            p = part;
            iBegin = 0, iEnd = part->size();
        } else {
            iBegin = static_cast<std::size_t>(iFrom / 8);
            iEnd = iBegin + static_cast<std::size_t>((iTake + 7) / 8);
        }
        std::snprintf(sCount, sizeof sCount, "%09lld", static_cast<long long>(iTake));
    } else {
        const std::size_t iWidth = sWidth == "WORD" ? 2 : 1;
        iBegin = static_cast<std::size_t>(iFrom) * iWidth;
        iEnd = iBegin + static_cast<std::size_t>(iTake) * iWidth;
        if (f == eFault::OddBytes) --iEnd;
        std::snprintf(sCount, sizeof sCount, "%09zu", iEnd - iBegin - (f == eFault::LongBlock ? 5 : 0));
    }
    reply.Text(sHeader + "#9" + sCount);
    if (f == eFault::ShortBlock) {
        reply.Slice(p, iBegin, iEnd - 1);
        reply.LeaveOffEnd();
        return;
    }
    reply.Slice(p, iBegin, iEnd);
    reply.Text("\n");
}

bool SiglentScope::Execute(const std::string& sPath, const std::string& sArgs, ScpiReply& reply) {
    std::lock_guard lock(mMutex);
    std::vector<int> n;
    auto channel = [&](const char* sForm) { return MatchPath(sPath, sForm, n) && n[0] >= 1 && n[0] <= Channels(); };
    auto function = [&](const char* sForm) { return MatchPath(sPath, sForm, n) && n[0] >= 1 && n[0] <= 2; };
    auto line = [&](const char* sForm) { return MatchPath(sPath, sForm, n) && n[0] >= 0 && n[0] < 16; };
    if (channel("CHANnel#:VISible?")) {
        reply.Text(OnOff(fChannel[n[0] - 1]));
    } else if (channel("CHANnel#:VISible")) {
        fChannel[n[0] - 1] = ScpiBool(sArgs);
    } else if (function("FUNCtion#?")) {
        reply.Text(OnOff(fFunction[n[0] - 1]));
    } else if (MatchPath(sPath, "DIGital?") || MatchPath(sPath, "DIGital:STATe?")) {
        reply.Text(OnOff(fLogic));
    } else if (line("DIGital:D#?")) {
        reply.Text(OnOff(fLine[n[0]]));
    } else if (line("DIGital:LABel#?")) {
        reply.Text("\"" + (sLineLabel[n[0]].empty() ? "D" + std::to_string(n[0]) : sLineLabel[n[0]]) + "\"");
    } else if (MatchPath(sPath, "DIGital:POINts?")) {
        reply.Text(Points(iLineDepth));
    } else if (MatchPath(sPath, "ACQuire:POINts?")) {
        reply.Text(Points(iDepth));
    } else if (MatchPath(sPath, "TRIGger:STOP")) {
        fStopped = true;
    } else if (MatchPath(sPath, "TRIGger:RUN") || MatchPath(sPath, "TRIGger:SINGle")) {
        fStopped = false;
    } else if (MatchPath(sPath, "TRIGger:STATus?")) {
        reply.Text(fStopped ? "Stop" : "Auto");
    } else if (MatchPath(sPath, "WAVeform:WIDTh")) {
        const std::string a = Upper(sArgs);
        if (a == "BYTE" || a == "WORD") {
            sWidth = a;
        } else {
            reply.Error(-224, "Illegal parameter value");
        }
    } else if (MatchPath(sPath, "WAVeform:WIDTh?")) {
        reply.Text(sWidth);
    } else if (MatchPath(sPath, "WAVeform:SOURce")) {
        const std::string a = Upper(sArgs);
        if (SourceId(a) != 0) {
            sSource = a;
        } else {
            reply.Error(-224, "Illegal parameter value");
        }
    } else if (MatchPath(sPath, "WAVeform:STARt")) {
        iStart = std::atoll(sArgs.c_str());
    } else if (MatchPath(sPath, "WAVeform:POINt")) {
        iCount = std::atoll(sArgs.c_str());
    } else if (MatchPath(sPath, "WAVeform:MAXPoint?")) {
        if (sMaxPointText == "?") return false;
        reply.Text(sMaxPointText.empty() ? Points(MaxPointLocked(true), false) : sMaxPointText);
    } else if (MatchPath(sPath, "WAVeform:DATA?")) {
        Data(reply);
    } else if (MatchPath(sPath, "WAVeform:PREamble?")) {
        const eFault f = iFaultSkip == 0 ? fault : eFault::None;
        if (f == eFault::WrongDescriptorTag) fault = eFault::None;
        reply.Text(f == eFault::WrongDescriptorTag ? "DESX,#9000000346"
                   : fDescriptorPrefix                ? "DESC,#9000000346"
                                                      : "#9000000346");
        reply.Slice(std::make_shared<const std::vector<std::uint8_t>>(DescriptorLocked(sSource)), 0, DescriptorSize);
    } else if (channel("CHANnel#:UNIT?")) {
        reply.Text(sChannelUnit[n[0] - 1]);
    } else if (function("F#:UNIT?")) {
        reply.Text("V");
    } else if (channel("CHANnel#:LABel?")) {
        reply.Text(OnOff(fChannelLabel[n[0] - 1]));
    } else if (channel("CHANnel#:LABel:TEXT?")) {
        reply.Text("\"" + sChannelLabel[n[0] - 1] + "\"");
    } else if (function("F#:LABel?")) {
        reply.Text("OFF");
    } else if (function("F#:LABel:TEXT?")) {
        reply.Text("\"\"");
    } else {
        return false;
    }
    return true;
}

} // namespace Sim
