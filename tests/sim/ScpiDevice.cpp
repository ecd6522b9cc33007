#include "sim/ScpiDevice.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace Sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Drops white space at both ends, but never the first iKeep bytes (a block's data may end in it).
std::string Trim(const std::string& s, std::size_t iKeep = 0) {
    std::size_t a = 0, b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
    while (b > a && b > iKeep && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
    return s.substr(a, b - a);
}

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::vector<std::string> SplitNodes(const std::string& s) {
    std::vector<std::string> nodes;
    std::size_t start = 0;
    for (;;) {
        std::size_t colon = s.find(':', start);
        nodes.push_back(s.substr(start, colon - start));
        if (colon == std::string::npos) break;
        start = colon + 1;
    }
    return nodes;
}

// True when the header matches the pattern in its short form (the pattern's capitals) or long
// form, node by node, e.g. "SYST:ERR?" and "system:error?" both match "SYSTem:ERRor?".
bool MatchHeader(const std::string& sHeader, const std::string& sPattern) {
    std::string h = Upper(sHeader);
    if (!h.empty() && h[0] == ':') h.erase(0, 1);
    const std::vector<std::string> hn = SplitNodes(h);
    const std::vector<std::string> pn = SplitNodes(sPattern);
    if (hn.size() != pn.size()) return false;
    for (std::size_t i = 0; i < hn.size(); ++i) {
        std::string sShort;
        for (char c : pn[i]) {
            if (!std::islower(static_cast<unsigned char>(c))) sShort += c;
        }
        if (hn[i] != sShort && hn[i] != Upper(pn[i])) return false;
    }
    return true;
}

std::shared_ptr<const Bytes> Text(const std::string& s) {
    return std::make_shared<const Bytes>(s.begin(), s.end());
}

// Length of a definite-length block header "#<d><d digits>" at s[i], 0 when there is none yet
// (or none at all); iCount receives the announced byte count.
std::size_t BlockHeaderAt(const std::string& s, std::size_t i, std::size_t& iCount, bool& fIncomplete) {
    fIncomplete = false;
    if (i >= s.size() || s[i] != '#') return 0;
    if (i + 1 >= s.size()) {
        fIncomplete = true;
        return 0;
    }
    const char d = s[i + 1];
    if (d < '1' || d > '9') return 0;
    const std::size_t n = static_cast<std::size_t>(d - '0');
    if (i + 2 + n > s.size()) {
        fIncomplete = true;
        return 0;
    }
    std::size_t count = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const char c = s[i + 2 + k];
        if (c < '0' || c > '9') return 0;
        count = count * 10 + static_cast<std::size_t>(c - '0');
    }
    iCount = count;
    return 2 + n;
}

// True when the answer piece begins a definite-length block, bare or behind a word and a comma
// ("DAT2,#9...", "DESC,#9...").
bool BeginsBlockText(const std::uint8_t* p, std::size_t n) {
    std::size_t i = 0;
    while (i < n && i < 8 && std::isalnum(p[i])) ++i;
    if (i > 0) {
        if (i >= n || p[i] != ',') return false;
        ++i;
    }
    return i < n && p[i] == '#';
}

} // namespace

void ScpiReply::Text(const std::string& sText) {
    auto p = std::make_shared<const std::vector<std::uint8_t>>(sText.begin(), sText.end());
    const std::size_t n = p->size();
    Slice(std::move(p), 0, n);
}

void ScpiReply::Slice(std::shared_ptr<const std::vector<std::uint8_t>> pBytes, std::size_t iOffset, std::size_t iEnd) {
    fAnswered = true;
    if (iEnd > iOffset) mSlices.push_back({std::move(pBytes), iOffset, iEnd});
}

// The header's full path after the path of the headers before it; the path moves on.
std::string ScpiDevice::ExpandHeader(std::string& sCurrentPath, const std::string& sHeader) {
    std::string h = Upper(sHeader);
    if (!h.empty() && h[0] == '*') return h; // common commands keep the path
    std::string sFull;
    if (!h.empty() && h[0] == ':') {
        sFull = h.substr(1);
    } else {
        sFull = sCurrentPath.empty() ? h : sCurrentPath + ":" + h;
    }
    const std::size_t iLast = sFull.rfind(':');
    sCurrentPath = iLast == std::string::npos ? std::string() : sFull.substr(0, iLast);
    return sFull;
}

std::vector<std::string> ScpiDevice::ExpandHeaders(const std::vector<std::string>& headers) {
    std::vector<std::string> out;
    std::string sCurrent;
    for (const auto& h : headers) out.push_back(ExpandHeader(sCurrent, h));
    return out;
}

void ScpiDevice::SetPersonality(std::shared_ptr<ScpiPersonality> p) {
    std::lock_guard lock(mMutex);
    if (pPersonality) pPersonality->pBound = nullptr;
    pPersonality = std::move(p);
}

ScpiDevice::~ScpiDevice() { SetPersonality(nullptr); }

void ScpiPersonality::Bind(ScpiDevice& device) {
    device.SetPersonality(std::shared_ptr<ScpiPersonality>(this, [](ScpiPersonality*) {}));
    pBound = &device;
}

void ScpiPersonality::Release() {
    if (pBound) pBound->SetPersonality(nullptr);
}

void ScpiDevice::SetAnswerEnd(const std::string& sEnd) {
    std::lock_guard lock(mMutex);
    sAnswerEnd = sEnd;
}

void ScpiDevice::SetNuls(const uNuls& nuls) {
    std::lock_guard lock(mMutex);
    mNuls = nuls;
}

void ScpiDevice::SetSeparateAnswers(int iPauseMs) {
    std::lock_guard lock(mMutex);
    iSeparatePauseMs = iPauseMs;
}

void ScpiDevice::SetBlockMessages(int iPauseMs) {
    std::lock_guard lock(mMutex);
    iBlockPauseMs = iPauseMs;
}

int ScpiDevice::SeparatePause() const {
    std::lock_guard lock(mMutex);
    return std::max(iSeparatePauseMs, iBlockPauseMs);
}

std::size_t ScpiDevice::MessageSize() const {
    std::lock_guard lock(mMutex);
    std::size_t n = 0;
    for (const auto& s : mOutput) {
        n += s.iEnd - s.iOffset;
        if (s.fMessageEnd) break;
    }
    return n;
}

bool ScpiDevice::BeginsBlock(const uSegment& s) {
    return s.iEnd > s.iOffset && BeginsBlockText(s.pBytes->data() + s.iOffset, s.iEnd - s.iOffset);
}

void ScpiDevice::Separate(std::vector<uSegment>& answer, bool fNextBlock) {
    const bool fAfterBlock = iUnitStart < answer.size() && BeginsBlock(answer[iUnitStart]);
    if (iSeparatePauseMs == 0 && !(iBlockPauseMs > 0 && (fAfterBlock || fNextBlock))) {
        const bool fLineEnd =
            fBlockLineEnd && fAfterBlock && (*answer[iUnitStart].pBytes)[answer[iUnitStart].iOffset] == '#';
        answer.push_back(fLineEnd ? uSegment{Text(sAnswerEnd), 0, sAnswerEnd.size()}
                                  : uSegment{Text(";"), 0, 1});
        iUnitStart = answer.size();
        return;
    }
    const auto end = Text(sAnswerEnd);
    if (end->empty() && !answer.empty()) answer.back().fMessageEnd = true; // END alone ends it
    else answer.push_back({end, 0, end->size(), true});
    iUnitStart = answer.size();
}

void ScpiDevice::SetBlockLineEnd(bool fOn) {
    std::lock_guard lock(mMutex);
    fBlockLineEnd = fOn;
}

ScpiDevice::ScpiDevice() : sIdn("Orvanto,Simulated Instrument,SIM0001,1.0") {}

void ScpiDevice::SetIdn(const std::string& s) {
    std::lock_guard lock(mMutex);
    sIdn = s;
}

std::string ScpiDevice::Idn() const {
    std::lock_guard lock(mMutex);
    return sIdn;
}

void ScpiDevice::SetAnswer(const std::string& sCommand, const std::vector<std::uint8_t>& answer) {
    std::lock_guard lock(mMutex);
    const std::string key = Upper(Trim(sCommand));
    for (auto& entry : mAnswers) {
        if (entry.first == key) {
            entry.second = answer;
            return;
        }
    }
    mAnswers.emplace_back(key, answer);
}

void ScpiDevice::SetBareAnswer(const std::string& sCommand, const std::vector<std::uint8_t>& answer) {
    SetAnswer(sCommand, answer);
    std::lock_guard lock(mMutex);
    const std::string key = Upper(Trim(sCommand));
    if (std::find(mBareAnswers.begin(), mBareAnswers.end(), key) == mBareAnswers.end()) mBareAnswers.push_back(key);
}

void ScpiDevice::Write(const std::string& sText, bool fEnd) {
    Write(reinterpret_cast<const std::uint8_t*>(sText.data()), sText.size(), fEnd);
}

void ScpiDevice::Write(const std::uint8_t* pData, std::size_t iSize, bool fEnd) {
    std::lock_guard lock(mMutex);
    sPending.append(reinterpret_cast<const char*>(pData), iSize);
    while (iScan < sPending.size()) {
        if (iBlockRemaining > 0) {
            const std::size_t take = std::min(iBlockRemaining, sPending.size() - iScan);
            iScan += take;
            iBlockRemaining -= take;
            continue;
        }
        const char c = sPending[iScan];
        if (c == '\n') {
            const std::string rest = sPending.substr(iScan + 1);
            sPending.resize(iScan);
            ExecuteLine(false);
            sPending = rest;
            iScan = 0;
            continue;
        }
        if (c == '#') {
            std::size_t count = 0;
            bool fIncomplete = false;
            const std::size_t header = BlockHeaderAt(sPending, iScan, count, fIncomplete);
            if (fIncomplete) break; // wait for the rest of the header
            if (header > 0) {
                iScan += header;
                iBlockRemaining = count;
                continue;
            }
        }
        ++iScan;
    }
    if (fEnd) {
        ExecuteLine(true);
        sPending.clear();
        iScan = 0;
        iBlockRemaining = 0;
    }
}

void ScpiDevice::ExecuteLine(bool /*fEnd*/) {
    // Split into units at ';' outside quotes and blocks.
    std::vector<std::pair<std::string, std::size_t>> units; // text, and the length its trim must keep
    std::string unit;
    std::size_t keep = 0;
    char quote = 0;
    for (std::size_t i = 0; i < sPending.size(); ++i) {
        const char c = sPending[i];
        if (quote) {
            if (c == quote) quote = 0;
            unit += c;
            continue;
        }
        if (c == '"' || c == '\'') {
            quote = c;
            unit += c;
            continue;
        }
        if (c == '#' && i + 1 < sPending.size() && sPending[i + 1] == '0') {
            // An indefinite-length block: its data run to the end of the message (IEEE 488.2 7.7.6).
            unit.append(sPending, i);
            keep = unit.size();
            break;
        }
        if (c == '#') {
            std::size_t count = 0;
            bool fIncomplete = false;
            const std::size_t header = BlockHeaderAt(sPending, i, count, fIncomplete);
            if (header > 0) {
                const std::size_t take = std::min(header + count, sPending.size() - i);
                unit.append(sPending, i, take);
                keep = unit.size();
                i += take - 1;
                continue;
            }
        }
        if (c == ';') {
            units.emplace_back(unit, keep);
            unit.clear();
            keep = 0;
            continue;
        }
        unit += c;
    }
    units.emplace_back(unit, keep);

    std::vector<uSegment> answer;
    bool fAnswered = false;
    iUnitStart = 0;
    fBareMessage = false;
    sPath.clear();
    for (const auto& [u, iKeep] : units) {
        const std::string t = Trim(u, iKeep);
        if (t.empty()) continue;
        mCommands.push_back(t);
        ExecuteUnit(t, answer, fAnswered);
    }
    if (!fAnswered) return;
    if (iSwallow > 0) {
        --iSwallow;
        return;
    }
    if (!mOutput.empty()) {
        mOutput.clear();
        PushError(-410, "Query INTERRUPTED");
    }
    const auto nuls = [](int n) { return std::string(static_cast<std::size_t>(n), '\0'); };
    if (!fBareMessage) {
        const auto end = Text(nuls(mNuls.iBeforeEnd) + sAnswerEnd + nuls(mNuls.iAfterEnd));
        answer.push_back({end, 0, end->size()});
    }
    if (mNuls.iLead > 0) {
        const auto lead = Text(nuls(mNuls.iLead));
        answer.insert(answer.begin(), {lead, 0, lead->size()});
    }
    for (auto& s : answer) {
        if (s.iEnd > s.iOffset) mOutput.push_back(std::move(s));
    }
    mAnswerReady.notify_all();
}

void ScpiDevice::ExecuteUnit(const std::string& sUnit, std::vector<uSegment>& answer, bool& fAnswered) {
    auto add = [&](std::shared_ptr<const Bytes> p, std::size_t from, std::size_t to) {
        if (fAnswered) Separate(answer, BeginsBlockText(p->data() + from, to - from));
        fAnswered = true;
        answer.push_back({std::move(p), from, to});
    };
    auto addText = [&](const std::string& s) {
        auto p = Text(s);
        const std::size_t n = p->size();
        add(std::move(p), 0, n);
    };

    const std::string key = Upper(sUnit);
    for (const auto& entry : mAnswers) {
        if (entry.first == key) {
            if (!entry.second.empty()) {
                auto p = std::make_shared<const Bytes>(entry.second);
                // A canned answer carries its own terminator: strip a final LF, the message adds
                // one. A bare answer goes as it is.
                std::size_t n = p->size();
                if (std::find(mBareAnswers.begin(), mBareAnswers.end(), key) != mBareAnswers.end()) {
                    fBareMessage = true;
                } else if (n > 0 && (*p)[n - 1] == '\n') {
                    --n;
                }
                add(std::move(p), 0, n);
            }
            return;
        }
    }

    std::size_t split = 0;
    while (split < sUnit.size() && !std::isspace(static_cast<unsigned char>(sUnit[split]))) ++split;
    const std::string header = sUnit.substr(0, split);
    std::string args = sUnit.substr(split);
    args.erase(0, std::min(args.size(), args.find_first_not_of(" \t\r\n")));

    const std::string sFull = ExpandHeader(sPath, header);
    if (!sSilentQuery.empty() && sFull == sSilentQuery) return PushError(-113, "Undefined header");
    if (pPersonality) {
        ScpiReply reply;
        if (pPersonality->Execute(sFull, args, reply)) {
            for (const auto& [iCode, sText] : reply.Errors()) {
                if (mErrors.size() < 20) mErrors.emplace_back(iCode, sText);
            }
            if (reply.Answered()) {
                if (fAnswered) {
                    const auto& slices = reply.Slices();
                    Separate(answer, !slices.empty() &&
                                         BeginsBlock({slices[0].pBytes, slices[0].iOffset, slices[0].iEnd}));
                }
                fAnswered = true;
                for (const auto& slice : reply.Slices()) answer.push_back({slice.pBytes, slice.iOffset, slice.iEnd});
            }
            fBareMessage = fBareMessage || reply.NoEnd();
            return;
        }
    }

    if (MatchHeader(header, "*IDN?")) {
        addText(sIdn);
    } else if (MatchHeader(header, "*RST")) {
        mErrors.clear();
        iEsr = 0;
        iSre = 0;
    } else if (MatchHeader(header, "*CLS")) {
        mErrors.clear();
        iEsr = 0;
    } else if (MatchHeader(header, "*OPC?")) {
        addText("1");
    } else if (MatchHeader(header, "*OPC")) {
        iEsr |= 1;
    } else if (MatchHeader(header, "*ESR?")) {
        addText(std::to_string(iEsr));
        iEsr = 0;
    } else if (MatchHeader(header, "*STB?")) {
        addText(std::to_string(StatusByteLocked()));
    } else if (MatchHeader(header, "*SRE?")) {
        addText(std::to_string(iSre));
    } else if (MatchHeader(header, "*SRE")) {
        iSre = static_cast<std::uint8_t>(std::atoi(args.c_str()) & 0xBF);
    } else if (MatchHeader(header, "SYSTem:ERRor?") || MatchHeader(header, "SYSTem:ERRor:NEXT?")) {
        if (mErrors.empty()) {
            addText("0,\"No error\"");
        } else {
            addText(std::to_string(mErrors.front().first) + ",\"" + mErrors.front().second + "\"");
            mErrors.pop_front();
        }
    } else if (MatchHeader(header, "SIMulate:BLOCk?")) {
        char* rest = nullptr;
        const std::size_t n = static_cast<std::size_t>(std::strtoull(args.c_str(), &rest, 10));
        std::string digits = std::to_string(n);
        // An optional second argument asks for that many length digits, zero-padded ("#9...").
        if (rest && *rest == ',') {
            const std::size_t width = static_cast<std::size_t>(std::strtoul(rest + 1, nullptr, 10));
            if (width > digits.size() && width <= 9) digits.insert(0, width - digits.size(), '0');
        }
        addText("#" + std::to_string(digits.size()) + digits);
        if (n > 0) answer.push_back({BlockPayload(n), 0, n});
    } else if (MatchHeader(header, "SIMulate:ECHO?")) {
        addText(args);
    } else if (MatchHeader(header, "SIMulate:DATA")) {
        std::size_t count = 0;
        bool fIncomplete = false;
        const std::size_t h = BlockHeaderAt(args, 0, count, fIncomplete);
        if (h == 0 || h + count > args.size()) {
            PushError(-160, "Block data error");
        } else {
            mLastData.assign(args.begin() + static_cast<std::ptrdiff_t>(h),
                             args.begin() + static_cast<std::ptrdiff_t>(h + count));
        }
    } else {
        PushError(-113, "Undefined header");
    }
}

std::shared_ptr<const std::vector<std::uint8_t>> ScpiDevice::BlockPayload(std::size_t iSize) {
    if (!pPatternCache || pPatternCache->size() < iSize) {
        auto p = std::make_shared<Bytes>(iSize);
        // PatternByte(i) without a division per byte: a 50 MB block is made in a blink even in
        // an instrumented build on a busy machine, well inside the reader's time-out.
        std::uint8_t* pOut = p->data();
        std::size_t iStep = 0;
        for (std::size_t i = 0; i < iSize; i += 251, ++iStep) {
            const std::size_t iEnd = std::min(iSize, i + 251);
            auto b = static_cast<std::uint8_t>((i * 7 + iStep) & 0xFF);
            for (std::size_t j = i; j < iEnd; ++j, b = static_cast<std::uint8_t>(b + 7)) pOut[j] = b;
        }
        pPatternCache = std::move(p);
    }
    return pPatternCache;
}

void ScpiDevice::PushError(int iCode, const char* pText) {
    if (mErrors.size() < 20) mErrors.emplace_back(iCode, pText);
}

std::size_t ScpiDevice::AnswerSize() const {
    std::lock_guard lock(mMutex);
    std::size_t n = 0;
    for (const auto& s : mOutput) n += s.iEnd - s.iOffset;
    return n;
}

bool ScpiDevice::WaitForAnswer(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mMutex);
    mAnswerReady.wait_for(lock, timeout, [&] { return fWaitsCancelled || !mOutput.empty(); });
    return !fWaitsCancelled && !mOutput.empty();
}

std::size_t ScpiDevice::Read(std::uint8_t* pOut, std::size_t iMax, int iTermChar, bool& fEnd, bool& fTermChar) {
    std::lock_guard lock(mMutex);
    std::size_t done = 0;
    fTermChar = false;
    while (done < iMax && !mOutput.empty() && !fTermChar) {
        uSegment& s = mOutput.front();
        std::size_t take = std::min(iMax - done, s.iEnd - s.iOffset);
        const std::uint8_t* from = s.pBytes->data() + s.iOffset;
        if (iTermChar >= 0 && iTermChar <= 255) {
            const void* hit = std::memchr(from, iTermChar, take);
            if (hit) {
                take = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - from) + 1;
                fTermChar = true;
            }
        }
        std::memcpy(pOut + done, from, take);
        done += take;
        s.iOffset += take;
        if (s.iOffset == s.iEnd) {
            const bool fMessageEnd = s.fMessageEnd;
            mOutput.pop_front();
            if (fMessageEnd) {
                fEnd = true; // one message of an answer sent as several
                return done;
            }
        }
    }
    fEnd = mOutput.empty() && done > 0;
    return done;
}

std::size_t ScpiDevice::ReadView(std::size_t iMax, int iTermChar, std::vector<std::uint8_t>& scratch,
                                 const std::uint8_t*& pData, std::shared_ptr<const std::vector<std::uint8_t>>& pKeep,
                                 bool& fEnd, bool& fTermChar) {
    {
        std::lock_guard lock(mMutex);
        if (!mOutput.empty()) {
            uSegment& s = mOutput.front();
            const std::size_t avail = s.iEnd - s.iOffset;
            const std::uint8_t* from = s.pBytes->data() + s.iOffset;
            const bool term = iTermChar >= 0 && iTermChar <= 255 &&
                              std::memchr(from, iTermChar, std::min(iMax, avail)) != nullptr;
            // In place only when the piece covers the whole read and no termination character cuts it.
            if (!term && (iMax < avail || (iMax == avail && mOutput.size() == 1))) {
                pData = from;
                pKeep = s.pBytes;
                s.iOffset += iMax;
                const bool fMessageEnd = s.iOffset == s.iEnd && s.fMessageEnd;
                if (s.iOffset == s.iEnd) mOutput.pop_front();
                fTermChar = false;
                fEnd = mOutput.empty() || fMessageEnd;
                return iMax;
            }
        }
    }
    const std::size_t want = std::min(iMax, AnswerSize());
    if (scratch.size() < want) scratch.resize(want);
    pKeep.reset();
    pData = scratch.data();
    return Read(scratch.data(), want, iTermChar, fEnd, fTermChar);
}

std::vector<std::uint8_t> ScpiDevice::Read(std::size_t iMax) {
    const std::size_t n = std::min(iMax, AnswerSize());
    std::vector<std::uint8_t> out(n);
    bool fEnd = false, fTerm = false;
    out.resize(Read(out.data(), n, -1, fEnd, fTerm));
    return out;
}

std::uint8_t ScpiDevice::StatusByte() const {
    std::lock_guard lock(mMutex);
    return StatusByteLocked();
}

std::uint8_t ScpiDevice::StatusByteLocked() const {
    std::uint8_t stb = 0;
    if (!mErrors.empty()) stb |= 0x04;
    if (!mOutput.empty()) stb |= 0x10;
    if (iEsr) stb |= 0x20;
    if (stb & iSre) stb |= 0x40;
    return stb;
}

void ScpiDevice::Clear() {
    DropPartialCommand();
    std::lock_guard lock(mMutex);
    mOutput.clear();
}

void ScpiDevice::DropPartialCommand() {
    std::lock_guard lock(mMutex);
    sPending.clear();
    iScan = 0;
    iBlockRemaining = 0;
}

void ScpiDevice::SetRemote(bool f) {
    std::lock_guard lock(mMutex);
    fRemote = f;
}

bool ScpiDevice::IsRemote() const {
    std::lock_guard lock(mMutex);
    return fRemote;
}

std::vector<std::string> ScpiDevice::Commands() const {
    std::lock_guard lock(mMutex);
    return mCommands;
}

std::vector<std::uint8_t> ScpiDevice::LastData() const {
    std::lock_guard lock(mMutex);
    return mLastData;
}

void ScpiDevice::SwallowAnswers(int iCount) {
    std::lock_guard lock(mMutex);
    iSwallow = iCount;
}

void ScpiDevice::SilenceQuery(const std::string& sHeader) {
    std::lock_guard lock(mMutex);
    sSilentQuery = sHeader;
}

void ScpiDevice::CancelWaits() {
    std::lock_guard lock(mMutex);
    fWaitsCancelled = true;
    mAnswerReady.notify_all();
}

void ScpiDevice::ResumeWaits() {
    std::lock_guard lock(mMutex);
    fWaitsCancelled = false;
}

} // namespace Sim
