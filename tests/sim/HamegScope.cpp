#include "sim/HamegScope.h"

#include "sim/ScpiPath.h"

#include <cctype>
#include <cstdio>

namespace Sim {
namespace {

constexpr const char* Traces[] = {"CH1", "CH2", "ADD1", "POD1", "ZCH1", "ZCH2", "ZADD1", "ZPOD1", "FFT1", "FFT2",
                                  "MA1", "MA2", "MA3", "MA4", "MA5", "RE1", "RE2", "RE3", "RE4", "RE5",
                                  "RE6", "RE7", "RE8", "RE9"};

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

int TraceId(const std::string& s) {
    for (int i = 0; i < static_cast<int>(std::size(Traces)); ++i) {
        if (s == Traces[i]) return i + 1;
    }
    return 0;
}

bool IsPod(const std::string& s) { return s == "POD1" || s == "ZPOD1"; }

} // namespace

HamegScope::HamegScope(eModel m) : model(m) {}

void HamegScope::Attach(ScpiDevice& device) {
    static const char* Names[] = {"HM2008", "HM1508", "HM1008"};
    device.SetIdn(std::string("HAMEG,") + Names[static_cast<int>(model)] + ",012345678,05.500-02.014");
    device.SetAnswerEnd("\n\r");
    Bind(device);
}

#define HAMEG_KNOB(Body)                                                                                               \
    {                                                                                                                  \
        std::lock_guard lock(mMutex);                                                                                  \
        Body;                                                                                                          \
    }
void HamegScope::SetCatalogue(const std::string& s) HAMEG_KNOB(sCatalogue = s)
void HamegScope::SetMinMax(bool f) HAMEG_KNOB(fMinMax = f; mRecords.clear())
void HamegScope::SetMemoryDepth(std::int64_t n) HAMEG_KNOB(iDepth = n; mRecords.clear())
void HamegScope::SetPointsAsReal(bool f) HAMEG_KNOB(fPointsReal = f)
void HamegScope::SetPointsAnswer(const std::string& s) HAMEG_KNOB(sPointsAnswer = s)
void HamegScope::SetFault(eFault f) HAMEG_KNOB(fault = f)
#undef HAMEG_KNOB

bool HamegScope::Stopped() const {
    std::lock_guard lock(mMutex);
    return fStopped;
}
std::string HamegScope::PointWord() const {
    std::lock_guard lock(mMutex);
    return sPointWord;
}
std::int64_t HamegScope::Points() const {
    std::lock_guard lock(mMutex);
    return PointsLocked();
}
std::int64_t HamegScope::PointsLocked() const {
    return sPointWord == "MAX" ? iDepth : sPointWord == "DMAX" ? iDepth / 2 : 2000;
}

std::uint8_t HamegScope::Sample(const std::string& sTrace, std::size_t i) {
    const auto s = static_cast<std::size_t>(TraceId(sTrace));
    if (IsPod(sTrace)) return static_cast<std::uint8_t>(((i >> 1) ^ (i >> 4) ^ s) & 0x0F);
    return static_cast<std::uint8_t>((i * (2 * s + 1) + s * 37 + (i >> 8)) & 0xFF);
}

std::string HamegScope::Description(const std::string& sTrace) const {
    std::lock_guard lock(mMutex);
    return DescriptionLocked(sTrace);
}

std::string HamegScope::DescriptionLocked(const std::string& sTrace) const {
    const std::int64_t iPoints = PointsLocked();
    const double dInterval = 1e-3 / static_cast<double>(iPoints);
    char sInterval[32], sOrigin[32];
    std::snprintf(sInterval, sizeof sInterval, "%.6E", dInterval);
    std::snprintf(sOrigin, sizeof sOrigin, "%.6E", -dInterval * static_cast<double>(iPoints) / 2);
    const bool fPod = IsPod(sTrace);
    const std::string items[16] = {
        ":TRAC:SOUR " + sTrace,
        ":TRAC:TYPE " + std::string(fMinMax && !fPod ? "MINMAX" : "NORMAL"),
        ":TRAC:POIN " + std::to_string(iPoints),
        ":TRAC:FORM BYTE",
        ":TRAC:XINC " + std::string(sInterval),
        ":TRAC:XOR " + std::string(sOrigin),
        ":TRAC:XREF 0",
        ":TRAC:YINC " + std::string(fPod ? "1" : "3.125000E-02"),
        ":TRAC:YOR 0",
        ":TRAC:YREF 128",
        ":TRAC:YUN \"V\"",
        ":TRAC:XUN \"s\"",
        ":TRAC:BORD LSBF",
        ":TRAC:ACQ:MODE RTIM",
        ":TRAC:ACQ:AVER 1",
        ":TRAC:HOR:MODE YT"};
    std::string s;
    for (const std::string& item : items) s += (s.empty() ? "" : ";") + item;
    return s;
}

void HamegScope::Trace(ScpiReply& reply) {
    const eFault f = fault;
    fault = eFault::None;
    const bool fPair = fMinMax && !IsPod(sSource);
    const auto iBytes = static_cast<std::size_t>(PointsLocked()) * (fPair ? 2 : 1);
    const std::string sKey = sSource + "/" + std::to_string(iBytes);
    auto it = mRecords.find(sKey);
    if (it == mRecords.end()) {
        auto p = std::make_shared<std::vector<std::uint8_t>>(iBytes);
        for (std::size_t i = 0; i < iBytes; ++i) (*p)[i] = Sample(sSource, i);
        it = mRecords.emplace(sKey, std::move(p)).first;
    }
    const std::string sHeader = f == eFault::NoTraceHeader ? "" : ":TRAC:DATA ";
    if (f == eFault::ZeroCount) {
        reply.Text(sHeader + "#10;" + DescriptionLocked(sSource));
        return;
    }
    const std::string sCount = std::to_string(iBytes);
    reply.Text(sHeader + "#" + std::to_string(sCount.size()) + sCount);
    if (f == eFault::ShortBlock) {
        reply.Slice(it->second, 0, iBytes / 2);
        return;
    }
    reply.Slice(it->second, 0, iBytes);
    if (f != eFault::NoDescription) reply.Text(";" + DescriptionLocked(sSource));
}

bool HamegScope::Execute(const std::string& sPath, const std::string& sArgs, ScpiReply& reply) {
    std::lock_guard lock(mMutex);
    if (MatchPath(sPath, "TRACe:SOURce:CATalog?")) {
        reply.Text(sCatalogue);
    } else if (MatchPath(sPath, "ACQuire:STATe")) {
        const std::string a = Upper(sArgs);
        if (a == "STOP" || a == "RUN") {
            fStopped = a == "STOP";
        } else {
            reply.Error(-224, "Illegal parameter value");
        }
    } else if (MatchPath(sPath, "ACQuire:STATe?")) {
        reply.Text(fStopped ? "STOP" : "RUN");
    } else if (MatchPath(sPath, "TRACe:POINts")) {
        const std::string a = Upper(sArgs);
        if (a == "DEF" || a == "DMAX" || a == "MAX") {
            sPointWord = a;
        } else {
            reply.Error(-224, "Illegal parameter value");
        }
    } else if (MatchPath(sPath, "TRACe:POINts?")) {
        if (!sPointsAnswer.empty()) {
            reply.Text(sPointsAnswer);
        } else if (fPointsReal) {
            char s[32];
            std::snprintf(s, sizeof s, "%.6E", static_cast<double>(PointsLocked()));
            reply.Text(s);
        } else {
            reply.Text(std::to_string(PointsLocked()));
        }
    } else if (MatchPath(sPath, "TRACe:FORMat")) {
        if (Upper(sArgs) != "BYTE") reply.Error(-224, "Illegal parameter value");
    } else if (MatchPath(sPath, "TRACe:BORDer")) {
        if (Upper(sArgs) != "LSBF") reply.Error(-224, "Illegal parameter value");
    } else if (MatchPath(sPath, "TRACe:SOURce")) {
        const std::string a = Upper(sArgs);
        if (TraceId(a) != 0) {
            sSource = a;
        } else {
            reply.Error(-224, "Illegal parameter value");
        }
    } else if (MatchPath(sPath, "TRACe?") || MatchPath(sPath, "TRACe:DATA?")) {
        Trace(reply);
    } else {
        return false;
    }
    return true;
}

} // namespace Sim
