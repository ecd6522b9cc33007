#include "sim/RigolScope.h"

#include "sim/ScpiPath.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace Sim {
namespace {

constexpr std::int64_t MaxDepthDS1000Z = 24000000;
constexpr std::int64_t MaxDepthDS2000 = 56000000;

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// The short form of an argument word that the guide gives in long and short form.
std::string ShortWord(const std::string& sArg, std::initializer_list<std::pair<const char*, const char*>> words) {
    const std::string a = Upper(sArg);
    for (const auto& [sLong, sShort] : words) {
        if (a == sLong || a == sShort) return sShort;
    }
    return {};
}

} // namespace

RigolScope::RigolScope(eFamily f) : family(f) {}

std::string RigolScope::IdnOf(eFamily family) {
    switch (family) {
    case eFamily::DS1000Z: return "RIGOL TECHNOLOGIES,DS1104Z,DS1ZA000000001,00.04.04.SP3";
    case eFamily::DS1000ZPlus: return "RIGOL TECHNOLOGIES,DS1104Z Plus,DS1ZC000000002,00.04.04.SP4";
    case eFamily::DS2000: return "RIGOL TECHNOLOGIES,DS2202,DS2A000000003,00.03.05.SP1";
    case eFamily::MSO2000: return "RIGOL TECHNOLOGIES,MSO2302,MS2A000000004,00.03.05.SP1";
    }
    return {};
}

void RigolScope::Attach(ScpiDevice& device) {
    device.SetIdn(IdnOf(family));
    Bind(device);
}

void RigolScope::SetMemoryDepth(std::int64_t iPoints) {
    std::lock_guard lock(mMutex);
    iMemoryDepth = std::min(iPoints, FourChannels() ? MaxDepthDS1000Z : MaxDepthDS2000);
    mRecords.clear();
}
void RigolScope::SetChannelUnit(int iChannel, const std::string& s) {
    std::lock_guard lock(mMutex);
    if (iChannel >= 1 && iChannel <= 4) sUnit[iChannel - 1] = s;
}
void RigolScope::SetSilentPreamble(const std::string& s) {
    std::lock_guard lock(mMutex);
    sSilentPreamble = s;
}
void RigolScope::SetDepthAuto(bool f) {
    std::lock_guard lock(mMutex);
    fAutoDepth = f;
}
void RigolScope::ShowChannel(int c, bool f) {
    std::lock_guard lock(mMutex);
    if (c >= 1 && c <= 4) fShown[c - 1] = f;
}
void RigolScope::SetMathMode(const std::string& s) {
    std::lock_guard lock(mMutex);
    sMathMode = s;
}
void RigolScope::ShowLogic(bool f) {
    std::lock_guard lock(mMutex);
    fLogic = f;
}
void RigolScope::ShowLine(int n, bool f) {
    std::lock_guard lock(mMutex);
    if (n >= 0 && n < 16) fLineShown[n] = f;
}
void RigolScope::SetLineLabel(int n, const std::string& s) {
    std::lock_guard lock(mMutex);
    if (n >= 0 && n < 16) sLineLabel[n] = s;
}
void RigolScope::SetPointsAnswer(const std::string& s) {
    std::lock_guard lock(mMutex);
    sPointsAnswer = s;
}
void RigolScope::SetDataFault(eDataFault f, bool fEvery) {
    std::lock_guard lock(mMutex);
    dataFault = f;
    fEveryFault = fEvery;
}
void RigolScope::SetPieceLimit(std::int64_t iPoints) {
    std::lock_guard lock(mMutex);
    iPieceLimit = iPoints;
}
bool RigolScope::Running() const {
    std::lock_guard lock(mMutex);
    return fRunning;
}
std::string RigolScope::WaveformMode() const {
    std::lock_guard lock(mMutex);
    return sMode;
}
std::string RigolScope::WaveformFormat() const {
    std::lock_guard lock(mMutex);
    return sFormat;
}
std::int64_t RigolScope::ScreenPoints() const { return FourChannels() ? 1200 : 1400; }

std::uint8_t RigolScope::AnalogSample(int c, std::size_t i) {
    return static_cast<std::uint8_t>((i * static_cast<std::size_t>(c + 1) + static_cast<std::size_t>(37 * c) + (i >> 10)) & 0xFF);
}

int RigolScope::LineBit(int n, std::size_t i) {
    return static_cast<int>(((i >> (n % 5 + 1)) + static_cast<std::size_t>(n)) & 1);
}

std::int64_t RigolScope::RecordPoints() const { return sMode == "NORM" ? ScreenPoints() : iMemoryDepth; }

std::size_t RigolScope::BytesPerPoint() const {
    const bool fLine = sSource.size() > 1 && sSource[0] == 'D';
    if (fLine || sSource.rfind("POD", 0) == 0) return 1; // digital sources always come as bytes
    return sFormat == "WORD" ? 2 : 1;
}

std::int64_t RigolScope::MaxPerRequest() const {
    if (sMode == "NORM") return ScreenPoints();
    if (sFormat == "ASC") return 15625;
    return BytesPerPoint() == 2 ? 125000 : 250000;
}

std::shared_ptr<const std::vector<std::uint8_t>> RigolScope::Chunk(std::int64_t iRecord, std::size_t iChunk) {
    const std::string sKey = sSource + "/" + sMode + "/" + std::to_string(BytesPerPoint()) + "/" +
                             std::to_string(iRecord) + "/" + std::to_string(iChunk);
    if (auto it = mRecords.find(sKey); it != mRecords.end()) return it->second;
    const std::size_t iFirst = iChunk * ChunkPoints;
    const std::size_t n = std::min(ChunkPoints, static_cast<std::size_t>(iRecord) - iFirst);
    // What stays the same for every point is asked once: a memory's first chunk of a million points is
    // made before the first byte of its answer leaves, and a loaded machine must not wait seconds for it.
    const bool fWord = BytesPerPoint() == 2;
    auto p = std::make_shared<std::vector<std::uint8_t>>(n * (fWord ? 2 : 1));
    auto& bytes = *p;
    const bool fScreen = sMode == "NORM";
    if (sSource.rfind("CHAN", 0) == 0 || sSource == "MATH") {
        const int c = sSource == "MATH" ? 5 : sSource[4] - '0';
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint8_t v = AnalogSample(c, iFirst + i);
            if (fWord) {
                bytes[2 * i] = static_cast<std::uint8_t>(v ^ 0x5A);
                bytes[2 * i + 1] = v;
            } else {
                bytes[i] = v;
            }
        }
    } else if (sSource == "LA") {
        for (std::size_t i = 0; i < n; ++i) {
            unsigned w = 0;
            for (int line = 0; line < 16; ++line) w |= static_cast<unsigned>(LineBit(line, iFirst + i)) << line;
            if (fWord) {
                bytes[2 * i] = static_cast<std::uint8_t>(w & 0xFF);
                bytes[2 * i + 1] = static_cast<std::uint8_t>(w >> 8);
            } else {
                bytes[i] = static_cast<std::uint8_t>(w & 0xFF);
            }
        }
    } else {
        // D0..D15 or POD1/POD2: a single line on the screen, its group of eight from memory.
        const bool fPod = sSource.rfind("POD", 0) == 0;
        const int iLine = fPod ? (sSource == "POD1" ? 0 : 8) : std::stoi(sSource.substr(1));
        const int iGroup = iLine < 8 ? 0 : 8;
        for (std::size_t i = 0; i < n; ++i) {
            if (fScreen && !fPod) {
                bytes[i] = static_cast<std::uint8_t>(LineBit(iLine, iFirst + i));
                continue;
            }
            unsigned b = 0;
            for (int k = 0; k < 8; ++k) b |= static_cast<unsigned>(LineBit(iGroup + k, iFirst + i)) << k;
            bytes[i] = static_cast<std::uint8_t>(b);
        }
    }
    std::shared_ptr<const std::vector<std::uint8_t>> pShared = std::move(p);
    mRecords[sKey] = pShared;
    return pShared;
}

void RigolScope::Data(ScpiReply& reply) {
    eDataFault fault = dataFault;
    if (!faultTable.empty()) fault = faultTable.front(), faultTable.erase(faultTable.begin());
    else if (!fEveryFault) dataFault = eDataFault::None;
    const std::int64_t iRecord = RecordPoints();
    const std::int64_t iFrom = sMode == "NORM" ? std::min<std::int64_t>(iStart, iRecord) : iStart;
    std::int64_t iTo = sMode == "NORM" ? std::min<std::int64_t>(iStop, iRecord) : iStop;
    if (sMode != "NORM" && iPieceLimit > 0 && iTo - iFrom + 1 > iPieceLimit) iTo = iFrom + iPieceLimit - 1;
    auto empty = [&](int iCode, const char* sText) {
        reply.Error(iCode, sText);
        reply.Text("#9000000000");
    };
    if (sMode != "NORM" && fRunning) return empty(-221, "Settings conflict");
    if (iFrom < 1 || iTo < iFrom || iTo > iRecord) return empty(-222, "Data out of range");
    if (iTo - iFrom + 1 > MaxPerRequest()) return empty(-223, "Too much data");
    if (fault == eDataFault::ZeroSize) return reply.Text("#9000000000");
    const std::size_t iBytes = BytesPerPoint();
    std::size_t iFirst = static_cast<std::size_t>(iFrom - 1);
    const std::size_t iEnd = static_cast<std::size_t>(iTo);
    char sHeader[16];
    // The points to send: all, all but the last byte, or the first half.
    std::size_t iSend = (iEnd - iFirst) * iBytes - (fault == eDataFault::OddBytes ? 1 : 0);
    std::snprintf(sHeader, sizeof sHeader, "#9%09zu", iSend - (fault == eDataFault::LongBlock ? 5 : 0));
    reply.Text(sHeader);
    if (fault == eDataFault::ShortBlock) iSend -= 1;
    if (fault == eDataFault::CutOff) iSend /= 2;
    if (fault == eDataFault::ShortBlock || fault == eDataFault::CutOff) reply.LeaveOffEnd();
    // Slices of the record's shared chunks, never copies.
    while (iSend > 0 && iFirst < iEnd) {
        const std::size_t iChunk = iFirst / ChunkPoints;
        const auto pChunk = Chunk(iRecord, iChunk);
        const std::size_t a = (iFirst - iChunk * ChunkPoints) * iBytes;
        const std::size_t b = std::min(pChunk->size(), a + iSend);
        reply.Slice(pChunk, a, b);
        iSend -= b - a;
        iFirst = (iChunk + 1) * ChunkPoints;
    }
}

bool RigolScope::Execute(const std::string& sPath, const std::string& sArgs, ScpiReply& reply) {
    std::lock_guard lock(mMutex);
    std::vector<int> n;
    auto bit = [](bool f) { return std::string(f ? "1" : "0"); };
    const int iChannels = FourChannels() ? 4 : 2;
    if (MatchPath(sPath, "CHANnel#:DISPlay?", n) && n[0] >= 1 && n[0] <= iChannels) {
        reply.Text(bit(fShown[n[0] - 1]));
    } else if (MatchPath(sPath, "CHANnel#:DISPlay", n) && n[0] >= 1 && n[0] <= iChannels) {
        fShown[n[0] - 1] = ScpiBool(sArgs);
    } else if (MatchPath(sPath, "CHANnel#:UNITs?", n) && n[0] >= 1 && n[0] <= iChannels) {
        reply.Text(sUnit[n[0] - 1]);
    } else if (MatchPath(sPath, "MATH:UNITs?")) {
        reply.Text("VOLT");
    } else if (FourChannels() && MatchPath(sPath, "MATH:DISPlay?")) {
        reply.Text(bit(sMathMode != "OFF"));
    } else if (FourChannels() && MatchPath(sPath, "MATH:DISPlay")) {
        sMathMode = ScpiBool(sArgs) ? "ON" : "OFF";
    } else if (!FourChannels() && MatchPath(sPath, "CALCulate:MODE?")) {
        reply.Text(sMathMode);
    } else if (!FourChannels() && MatchPath(sPath, "CALCulate:MODE")) {
        sMathMode = Upper(sArgs);
    } else if (HasLogic() && MatchPath(sPath, "LA:STATe?")) {
        reply.Text(bit(fLogic));
    } else if (HasLogic() && MatchPath(sPath, "LA:STATe")) {
        fLogic = ScpiBool(sArgs);
    } else if (HasLogic() && MatchPath(sPath, "LA:DIGital#:DISPlay?", n) && n[0] < 16) {
        reply.Text(bit(fLineShown[n[0]]));
    } else if (HasLogic() && MatchPath(sPath, "LA:DIGital#:DISPlay", n) && n[0] < 16) {
        fLineShown[n[0]] = ScpiBool(sArgs);
    } else if (HasLogic() && MatchPath(sPath, "LA:DIGital#:LABel?", n) && n[0] < 16) {
        reply.Text(sLineLabel[n[0]].empty() ? "No Label!" : sLineLabel[n[0]]);
    } else if (HasLogic() && MatchPath(sPath, "LA:DIGital#:LABel", n) && n[0] < 16) {
        sLineLabel[n[0]] = sArgs;
    } else if (MatchPath(sPath, "STOP")) {
        fRunning = false;
    } else if (MatchPath(sPath, "RUN") || MatchPath(sPath, "SINGle")) {
        fRunning = true;
    } else if (MatchPath(sPath, "TRIGger:STATus?")) {
        reply.Text(fRunning ? "AUTO" : "STOP");
    } else if (MatchPath(sPath, "ACQuire:MDEPth?")) {
        reply.Text(!sPointsAnswer.empty() ? sPointsAnswer : fAutoDepth ? "AUTO" : std::to_string(iMemoryDepth));
    } else if (MatchPath(sPath, "ACQuire:SRATe?")) {
        // Memory depth = sample rate x time base x horizontal divisions.
        char s[32];
        std::snprintf(s, sizeof s, "%e", static_cast<double>(iMemoryDepth) / (Divisions() * TimeScale));
        reply.Text(s);
    } else if (MatchPath(sPath, "TIMebase:SCALe?") || MatchPath(sPath, "TIMebase:MAIN:SCALe?")) {
        char s[32];
        std::snprintf(s, sizeof s, "%e", TimeScale);
        reply.Text(s);
    } else if (MatchPath(sPath, "WAVeform:SOURce?")) {
        reply.Text(sSource);
    } else if (MatchPath(sPath, "WAVeform:SOURce")) {
        const std::string s = Upper(sArgs);
        std::vector<int> m;
        const bool fChannel = MatchPath(s, "CHANnel#", m) && m[0] >= 1 && m[0] <= iChannels;
        const bool fLine = HasLogic() && FourChannels() && MatchPath(s, "D#", m) && m[0] < 16;
        const bool fPod = HasLogic() && FourChannels() && (s == "POD1" || s == "POD2");
        if (fChannel) {
            sSource = "CHAN" + std::to_string(m[0]);
        } else if (fLine) {
            sSource = "D" + std::to_string(m[0]);
        } else if (fPod || s == "MATH" || (HasLogic() && s == "LA")) {
            sSource = s;
        } else {
            reply.Error(-224, "Illegal parameter value");
        }
    } else if (MatchPath(sPath, "WAVeform:MODE?")) {
        reply.Text(sMode);
    } else if (MatchPath(sPath, "WAVeform:MODE")) {
        const std::string m = ShortWord(sArgs, {{"NORMAL", "NORM"}, {"MAXIMUM", "MAX"}, {"RAW", "RAW"}});
        if (m.empty()) return reply.Error(-224, "Illegal parameter value"), true;
        sMode = m;
    } else if (MatchPath(sPath, "WAVeform:FORMat?")) {
        reply.Text(sFormat);
    } else if (MatchPath(sPath, "WAVeform:FORMat")) {
        const std::string f = ShortWord(sArgs, {{"WORD", "WORD"}, {"BYTE", "BYTE"}, {"ASCII", "ASC"}});
        if (f.empty()) return reply.Error(-224, "Illegal parameter value"), true;
        sFormat = f;
    } else if (MatchPath(sPath, "WAVeform:STARt?")) {
        reply.Text(std::to_string(iStart));
    } else if (MatchPath(sPath, "WAVeform:STARt")) {
        iStart = std::atoll(sArgs.c_str());
    } else if (MatchPath(sPath, "WAVeform:STOP?")) {
        reply.Text(std::to_string(iStop));
    } else if (MatchPath(sPath, "WAVeform:STOP")) {
        iStop = std::atoll(sArgs.c_str());
    } else if (MatchPath(sPath, "WAVeform:PREamble?") && sSource == sSilentPreamble) {
        // Answers nothing: the preamble of a chained query goes missing.
    } else if (MatchPath(sPath, "WAVeform:PREamble?")) {
        const int iFormat = sFormat == "WORD" ? 1 : sFormat == "ASC" ? 2 : 0;
        const int iType = sMode == "NORM" ? 0 : sMode == "MAX" ? 1 : 2;
        // The points of the current start/stop window, not of the memory.
        const std::int64_t iWindow = std::max<std::int64_t>(0, std::min(iStop, RecordPoints()) - iStart + 1);
        const std::string sPoints = sPointsAnswer.empty() ? std::to_string(iWindow) : sPointsAnswer;
        reply.Text(std::to_string(iFormat) + "," + std::to_string(iType) + "," + sPoints +
                   ",1,1.000000e-06,-6.000000e-04,0,4.000000e-02,0,127");
    } else if (MatchPath(sPath, "WAVeform:DATA?")) {
        Data(reply);
    } else {
        return false;
    }
    return true;
}

} // namespace Sim
