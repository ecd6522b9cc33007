#include "sim/RtbScope.h"

#include "sim/ScpiPath.h"
#include "sim/ScreenCopyAnswers.h"

#include <cctype>
#include <cstdio>

namespace Sim {
namespace {

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

} // namespace

RtbScope::RtbScope(bool fFour) : iChannels(fFour ? 4 : 2) {}

void RtbScope::Attach(ScpiDevice& device) {
    device.SetIdn(iChannels == 4 ? "Rohde&Schwarz,RTB2004,1333.1005k04/102030,02.400"
                                 : "Rohde&Schwarz,RTB2002,1333.1005k02/102031,02.400");
    Bind(device);
}

#define RTB_KNOB(Body)                                                                                                 \
    {                                                                                                                  \
        std::lock_guard lock(mMutex);                                                                                  \
        Body;                                                                                                          \
    }
void RtbScope::ShowChannel(int c, bool f) RTB_KNOB(if (c >= 1 && c <= 4) fChannel[c - 1] = f)
void RtbScope::SetChannelLabel(int c, const std::string& s, bool f) RTB_KNOB(if (c >= 1 && c <= 4) {
    sChannelLabel[c - 1] = s;
    fChannelLabel[c - 1] = f;
})
void RtbScope::ShowMath(int m, bool f) RTB_KNOB(if (m >= 1 && m <= 5) fMath[m - 1] = f)
void RtbScope::ShowReference(int r, bool f) RTB_KNOB(if (r >= 1 && r <= 4) fReference[r - 1] = f)
void RtbScope::EnableProbe(int p, bool f) RTB_KNOB(if (p >= 1 && p <= 2) fProbe[p - 1] = f)
void RtbScope::ShowLine(int n, bool f) RTB_KNOB(if (n >= 0 && n < 16) fLine[n] = f)
void RtbScope::SetLineLabel(int n, const std::string& s, bool f) RTB_KNOB(if (n >= 0 && n < 16) {
    sLineLabel[n] = s;
    fLineLabel[n] = f;
})
void RtbScope::SetAcquireType(const std::string& s) RTB_KNOB(sAcquireType = s)
void RtbScope::SetMemoryDepth(std::int64_t n) RTB_KNOB(iDepth = n; mRecords.clear())
void RtbScope::SetPointsAsReal(bool f) RTB_KNOB(fPointsReal = f)
void RtbScope::SetPointsAnswer(const std::string& s) RTB_KNOB(sPointsAnswer = s)
void RtbScope::SetProbeUnit(int p, const std::string& s) RTB_KNOB(if (p >= 1 && p <= 4) sProbeUnit[p - 1] = s)
void RtbScope::SetDataFault(eDataFault f) RTB_KNOB(dataFault = f)
void RtbScope::SetShortSource(int i) RTB_KNOB(iShortSource = i)
#undef RTB_KNOB

void RtbScope::SetScreen(const QImage& picture) {
    std::lock_guard lock(mMutex);
    screen = picture.copy();
}

std::string RtbScope::HardcopyFormat() const {
    std::lock_guard lock(mMutex);
    return sHardcopyFormat;
}

bool RtbScope::Running() const {
    std::lock_guard lock(mMutex);
    return fRunning;
}
std::string RtbScope::Format() const {
    std::lock_guard lock(mMutex);
    return sFormat;
}

std::uint16_t RtbScope::Value(int s, std::size_t i) {
    return static_cast<std::uint16_t>((i * static_cast<std::size_t>(2 * s + 3) + static_cast<std::size_t>(s) * 4099 + (i >> 7)) & 0xFFFF);
}

int RtbScope::LineBit(int n, std::size_t i) { return static_cast<int>(((i >> (n % 3 + 1)) ^ static_cast<std::size_t>(n)) & 1); }

std::int64_t RtbScope::Points() const { return sPointWord == "DEF" ? 1200 : iDepth; }

int RtbScope::Bits() const { return sFormat == "UINT,16" ? 16 : sFormat == "UINT,32" ? 32 : 8; }

void RtbScope::Block(std::shared_ptr<const std::vector<std::uint8_t>> p, ScpiReply& reply) {
    const eDataFault fault = dataFault;
    dataFault = eDataFault::None;
    if (fault == eDataFault::ZeroSize) return reply.Text("#9000000000");
    const std::string sCount = std::to_string(p->size());
    reply.Text("#" + std::to_string(sCount.size()) + sCount);
    if (fault == eDataFault::ShortBlock) {
        reply.Slice(p, 0, p->size() - 1);
        reply.LeaveOffEnd();
        return;
    }
    reply.Slice(p, 0, p->size());
}

void RtbScope::Data(int iSource, std::int64_t iValues, ScpiReply& reply) {
    if (iSource == iShortSource) iValues -= iSource > 30 ? 2 : 1;
    const int iBits = Bits();
    const std::string sKey = std::to_string(iSource) + "/" + std::to_string(iValues) + "/" + std::to_string(iBits) + sByteOrder;
    auto it = mRecords.find(sKey);
    if (it == mRecords.end()) {
        const std::size_t iBytes = static_cast<std::size_t>(iBits / 8);
        auto p = std::make_shared<std::vector<std::uint8_t>>(static_cast<std::size_t>(iValues) * iBytes);
        for (std::size_t i = 0; i < static_cast<std::size_t>(iValues); ++i) {
            const std::uint32_t v = iBits == 8 ? Value(iSource, i) >> 8 : iBits == 16 ? Value(iSource, i) : std::uint32_t{Value(iSource, i)} << 16;
            for (std::size_t k = 0; k < iBytes; ++k) {
                const std::size_t iByte = sByteOrder == "LSBF" ? k : iBytes - 1 - k;
                (*p)[i * iBytes + iByte] = static_cast<std::uint8_t>((v >> (8 * k)) & 0xFF);
            }
        }
        it = mRecords.emplace(sKey, std::move(p)).first;
    }
    Block(it->second, reply);
}

void RtbScope::LogicData(int iProbe, ScpiReply& reply) {
    const std::string sKey = "LOG" + std::to_string(iProbe) + "/" + std::to_string(Points());
    auto it = mRecords.find(sKey);
    if (it == mRecords.end()) {
        auto p = std::make_shared<std::vector<std::uint8_t>>(static_cast<std::size_t>(Points()));
        for (std::size_t i = 0; i < p->size(); ++i) {
            unsigned b = 0;
            for (int k = 0; k < 8; ++k) b |= static_cast<unsigned>(LineBit((iProbe - 1) * 8 + k, i)) << k;
            (*p)[i] = static_cast<std::uint8_t>(b);
        }
        it = mRecords.emplace(sKey, std::move(p)).first;
    }
    Block(it->second, reply);
}

bool RtbScope::Execute(const std::string& sPath, const std::string& sArgs, ScpiReply& reply) {
    std::lock_guard lock(mMutex);
    std::vector<int> n;
    auto bit = [](bool f) { return std::string(f ? "1" : "0"); };
    auto channel = [&](const char* sForm) { return MatchPath(sPath, sForm, n) && n[0] >= 1 && n[0] <= iChannels; };
    auto math = [&](const char* sForm) { return MatchPath(sPath, sForm, n) && n[0] >= 1 && n[0] <= 5; };
    auto ref = [&](const char* sForm) { return MatchPath(sPath, sForm, n) && n[0] >= 1 && n[0] <= 4; };
    auto line = [&](const char* sForm) { return MatchPath(sPath, sForm, n) && n[0] >= 0 && n[0] < 16; };
    auto probe = [&](const char* sForm) { return MatchPath(sPath, sForm, n) && n[0] >= 1 && n[0] <= 2; };
    // The point count of a source: envelopes and the screen 1200, else the memory depth.
    auto points = [&] {
        if (!sPointsAnswer.empty()) return sPointsAnswer;
        if (!fPointsReal) return std::to_string(Points());
        char s[32];
        std::snprintf(s, sizeof s, "%.1E", static_cast<double>(Points()));
        return std::string(s);
    };
    auto header = [&](int iValuesPerSample) {
        reply.Text("-6E-05,6E-05," + std::to_string(Points()) + "," + std::to_string(iValuesPerSample));
    };
    auto tail = [&](const std::string& sLeaf, int iValuesPerSample) {
        if (sLeaf == "HEAD") return header(iValuesPerSample), true;
        if (sLeaf == "YRES") return reply.Text(Bits() == 8 ? "8" : "10"), true;
        if (sLeaf == "YOR") return reply.Text("-0.02"), true;
        if (sLeaf == "YINC") return reply.Text("0.0001"), true;
        if (sLeaf == "XOR") return reply.Text("0"), true;
        if (sLeaf == "XINC") return reply.Text("1E-08"), true;
        return false;
    };
    static const char* Leaves[][2] = {{"HEADer?", "HEAD"}, {"YRESolution?", "YRES"}, {"YORigin?", "YOR"},
                                      {"YINCrement?", "YINC"}, {"XORigin?", "XOR"}, {"XINCrement?", "XINC"}};
    if (MatchPath(sPath, "HCOPy:FORMat", n)) {
        sHardcopyFormat = Upper(sArgs).rfind("BMP", 0) == 0 ? "BMP" : "PNG";
        return true;
    }
    if (MatchPath(sPath, "HCOPy:FORMat?", n)) return reply.Text(sHardcopyFormat), true;
    if (MatchPath(sPath, "HCOPy:COLor:SCHeme", n)) {
        const std::string sScheme = Upper(sArgs);
        sColorScheme = sScheme.rfind("GRAY", 0) == 0 ? "GRAY" : sScheme.rfind("INV", 0) == 0 ? "INV" : "COL";
        return true;
    }
    if (MatchPath(sPath, "HCOPy:DATA?", n)) {
        QImage picture = screen.convertToFormat(QImage::Format_RGB888);
        if (sColorScheme == "GRAY") picture = picture.convertToFormat(QImage::Format_Grayscale8);
        if (sColorScheme == "INV") picture.invertPixels();
        Block(std::make_shared<const std::vector<std::uint8_t>>(sHardcopyFormat == "BMP" ? BmpFile(picture, false)
                                                                                         : PngFile(picture)),
              reply);
        return true;
    }
    for (const auto& leaf : Leaves) {
        const std::string sLeaf = leaf[0];
        if (channel(("CHANnel#:DATA:" + sLeaf).c_str())) return tail(leaf[1], 1);
        if (channel(("CHANnel#:DATA:ENVelope:" + sLeaf).c_str())) return tail(leaf[1], 2);
        if (math(("CALCulate:MATH#:DATA:" + sLeaf).c_str())) return tail(leaf[1], 1);
        if (ref(("REFCurve#:DATA:" + sLeaf).c_str())) return tail(leaf[1], 1);
        if (probe(("LOGic#:DATA:" + sLeaf).c_str())) return tail(leaf[1], 1);
    }
    if (channel("CHANnel#:STATe?")) {
        reply.Text(bit(fChannel[n[0] - 1]));
    } else if (channel("CHANnel#:STATe")) {
        fChannel[n[0] - 1] = ScpiBool(sArgs);
    } else if (math("CALCulate:MATH#:STATe?")) {
        reply.Text(bit(fMath[n[0] - 1]));
    } else if (ref("REFCurve#:STATe?")) {
        reply.Text(bit(fReference[n[0] - 1]));
    } else if (probe("LOGic#:PROBe:ENABle?")) {
        reply.Text(bit(fProbe[n[0] - 1]));
    } else if (line("DIGital#:DISPlay?")) {
        reply.Text(bit(fLine[n[0]]));
    } else if (line("DIGital#:LABel?")) {
        reply.Text(Quoted(sLineLabel[n[0]]));
    } else if (line("DIGital#:LABel:STATe?")) {
        reply.Text(bit(fLineLabel[n[0]]));
    } else if (MatchPath(sPath, "ACQuire:TYPE?")) {
        reply.Text(sAcquireType);
    } else if (MatchPath(sPath, "ACQuire:TYPE")) {
        sAcquireType = Upper(sArgs).substr(0, 4) == "ENVE" ? "ENV" : Upper(sArgs).substr(0, 4);
    } else if (MatchPath(sPath, "ACQuire:AVERage:COUNt?")) {
        reply.Text("2");
    } else if (MatchPath(sPath, "STOP")) {
        fRunning = false;
    } else if (MatchPath(sPath, "RUN") || MatchPath(sPath, "RUNContinous") || MatchPath(sPath, "SINGle")) {
        fRunning = true;
    } else if (MatchPath(sPath, "FORMat:DATA")) {
        const std::string a = Upper(sArgs);
        if (a == "UINT,8" || a == "UINT,16" || a == "UINT,32") {
            sFormat = a;
        } else {
            reply.Error(-224, "Illegal parameter value");
        }
    } else if (MatchPath(sPath, "FORMat:DATA?")) {
        reply.Text(sFormat);
    } else if (MatchPath(sPath, "FORMat:BORDer")) {
        sByteOrder = Upper(sArgs) == "MSBF" ? "MSBF" : "LSBF";
    } else if (channel("CHANnel#:DATA:POINts") || probe("LOGic#:DATA:POINts")) {
        const std::string a = Upper(sArgs);
        sPointWord = a.rfind("DMAX", 0) == 0 ? "DMAX" : a.rfind("MAX", 0) == 0 ? "MAX" : "DEF";
    } else if (channel("CHANnel#:DATA:POINts?") || math("CALCulate:MATH#:DATA:POINts?") ||
               ref("REFCurve#:DATA:POINts?") || probe("LOGic#:DATA:POINts?")) {
        reply.Text(points());
    } else if (channel("CHANnel#:DATA?")) {
        Data(n[0], Points(), reply);
    } else if (channel("CHANnel#:DATA:ENVelope?")) {
        Data(30 + n[0], 2 * Points(), reply);
    } else if (math("CALCulate:MATH#:DATA?")) {
        Data(10 + n[0], Points(), reply);
    } else if (ref("REFCurve#:DATA?")) {
        Data(20 + n[0], Points(), reply);
    } else if (probe("LOGic#:DATA?")) {
        LogicData(n[0], reply);
    } else if (MatchPath(sPath, "PROBe#:SETup:GAIN:UNIT?", n)) {
        reply.Text(n[0] >= 1 && n[0] <= 4 ? sProbeUnit[n[0] - 1] : "V");
    } else if (channel("CHANnel#:LABel:STATe?")) {
        reply.Text(bit(fChannelLabel[n[0] - 1]));
    } else if (channel("CHANnel#:LABel?")) {
        reply.Text(Quoted(sChannelLabel[n[0] - 1]));
    } else if (math("[CALCulate]:MATH#:LABel:STATe?")) {
        reply.Text("0");
    } else if (math("[CALCulate]:MATH#:LABel?")) {
        reply.Text(Quoted(""));
    } else if (ref("REFCurve#:LABel?")) {
        reply.Text(Quoted(""));
    } else if (channel("CHANnel#:ARIThmetics?")) {
        reply.Text("OFF");
    } else if (channel("CHANnel#:TYPE?")) {
        reply.Text("SAMP");
    } else {
        return false;
    }
    return true;
}

} // namespace Sim
