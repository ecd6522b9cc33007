#include "script/ScriptFunctionEdit.h"

#include "common/ByteRoutines.h"
#include "common/TextRoutines.h"
#include "script/ScriptEnvironment.h"
#include "script/ScriptFunctionLines.h"
#include "script/ScriptVariableValues.h"
#include "transport/BlockHeader.h"
#include "transport/DataBuffers.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

namespace InstrumentScript {
namespace {

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The byte offset where character iCharacter (from 0) begins; the size for one at or past the end.
// Gives up early when the thread is asked to stop (the caller then changes nothing).
std::size_t ByteOffsetOf(const std::string& s, std::int64_t iCharacter) {
    std::int64_t iSeen = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (i % StopCheckBytes == 0 && StopAsked()) return s.size();
        if (IsContinuation(s[i])) continue;
        if (iSeen == iCharacter) return i;
        ++iSeen;
    }
    return s.size();
}

// The first match at or after iFrom, looked for a piece of StopCheckBytes start positions at a
// time; npos when there is none or the thread is asked to stop (StopAsked tells which).
std::size_t FindStoppable(std::string_view s, std::string_view sSearch, std::size_t iFrom) {
    while (iFrom < s.size() && !StopAsked()) {
        const std::size_t iEnd = std::min(s.size(), iFrom + StopCheckBytes + sSearch.size() - 1);
        const std::size_t p = s.substr(iFrom, iEnd - iFrom).find(sSearch);
        if (p != std::string_view::npos) return iFrom + p;
        if (iEnd == s.size()) break;
        iFrom = iEnd + 1 - sSearch.size();
    }
    return std::string_view::npos;
}

// A new block of exactly the bytes; false with the memory routine's text when it cannot be had.
bool NewBlock(const std::uint8_t* pBytes, std::size_t iCount, DataBuffer& block, std::string& sError) {
    DataBuffer fresh;
    if (!Instrument::CreateMemory(fresh, iCount, 0, sError)) return false;
    if (iCount > 0) std::memcpy(fresh.data(), pBytes, iCount);
    fresh.setSize(iCount);
    block = std::move(fresh);
    return true;
}

bool Editable(const uScriptVariable& v) { return v.Type == eVariableType::String || v.Type == eVariableType::Data; }

// What remove and replace begin with: the pointer check, the parameter line and the type check.
// The variable, or nullptr when the task fails (a missing variable says nothing).
uScriptTask* EditTarget(uScriptThread& t, uScriptTask& task, const std::string& sProcedure,
                        const std::string& sParameter, const std::string& sRefusal, std::string& sError) {
    if (!t.pInstance) {
        sError = "InstrumentScript::" + sProcedure + ": The pointer to the instance is zero.";
        return nullptr;
    }
    uScriptTask* pVariable = task.pParentAddress;
    if (!pVariable) return nullptr;
    PostLine(t, task, " " + sProcedure + " - Parameter: " + sParameter);
    if (!Editable(*pVariable->variable)) {
        PostScriptError(t, task, sProcedure, sRefusal);
        return nullptr;
    }
    return pVariable;
}

// The characters of a byte list in a string: each byte value is one character (Latin-1).
std::string ByteListText(const std::string& sList) { return Utility::Latin1ToUtf8(ParseByteList(sList)); }

bool RemoveEnd(uScriptThread& t, uScriptTask& task, uScriptTask& variable, std::int64_t n, bool fFirst,
               std::string& sError) {
    uScriptVariable& v = *variable.variable;
    if (!Editable(v)) return false;
    const std::string sProcedure = fFirst ? " TaskFunctionRemoveFirst" : " TaskFunctionRemoveLast";
    if (v.Type == eVariableType::String) {
        if (v.String.empty()) return true;
        const std::int64_t iLength = CharacterCount(v.String);
        if (StopAsked()) return true; // the count was cut short: the text stays as it was
        if (n >= iLength) {
            v.String.clear();
            PostLine(t, task, sProcedure + " - Alle Zeichen wurden entfernt: " + std::to_string(iLength));
            return true;
        }
        if (n > 0) {
            const std::size_t iAt = ByteOffsetOf(v.String, fFirst ? n : iLength - n);
            if (StopAsked()) return true;
            if (fFirst) v.String.erase(0, iAt);
            else v.String.erase(iAt);
        }
        PostLine(t, task, sProcedure + " - Zeichen entfernt: " + std::to_string(n));
        return true;
    }
    if (!v.Data.allocated() || v.Data.empty()) return true;
    const auto iLength = static_cast<std::int64_t>(v.Data.size());
    if (n >= iLength) {
        v.Data.release();
        PostLine(t, task, sProcedure + " - Alle Bytes wurden entfernt: " + std::to_string(iLength));
        return true;
    }
    if (n > 0) {
        const std::uint8_t* pFrom = fFirst ? v.Data.data() + n : v.Data.data();
        if (!NewBlock(pFrom, static_cast<std::size_t>(iLength - n), v.Data, sError)) return false;
    }
    // The text of the last-bytes line is the program's own, blank and all.
    PostLine(t, task, (fFirst ? sProcedure + " -" : std::string(" TaskFunctionRemoveLast-")) + " Bytes entfernt: " +
                          std::to_string(n));
    return true;
}

// The offsets of the non-overlapping matches, at most iCount of them unless iCount is 0; cut
// short when the thread is asked to stop.
std::vector<std::int64_t> FindMatches(const DataBuffer& data, const std::uint8_t* pSearch, std::int64_t iSearch,
                                      std::int64_t iCount) {
    std::vector<std::int64_t> matches;
    const auto iLength = static_cast<std::int64_t>(data.size());
    std::int64_t iStart = 0;
    while (iCount == 0 || static_cast<std::int64_t>(matches.size()) < iCount) {
        const std::size_t p = FindStoppable(data.view(), std::string_view(reinterpret_cast<const char*>(pSearch),
                                                                          static_cast<std::size_t>(iSearch)),
                                            static_cast<std::size_t>(iStart));
        if (p == std::string_view::npos) break;
        matches.push_back(static_cast<std::int64_t>(p));
        iStart = static_cast<std::int64_t>(p) + iSearch;
    }
    return matches;
}

// False, the data unchanged, when the result would be longer than iLimit bytes.
bool ReplaceInData(DataBuffer& data, const DataBuffer& search, const DataBuffer& replacement, std::int64_t iCount,
                   std::size_t iLimit) {
    if (search.empty() || !data.allocated() || data.empty()) return true;
    const auto S = static_cast<std::int64_t>(search.size());
    const auto R = static_cast<std::int64_t>(replacement.size());
    const std::vector<std::int64_t> matches = FindMatches(data, search.data(), S, iCount);
    if (matches.empty() || StopAsked()) return true; // a stopped replace changes nothing
    if (R == S) {
        for (std::int64_t p : matches) std::memcpy(data.data() + p, replacement.data(), static_cast<std::size_t>(R));
        return true;
    }
    const auto L = static_cast<std::int64_t>(data.size());
    const auto k = static_cast<std::int64_t>(matches.size());
    const std::int64_t iNew = L + k * (R - S);
    if (R > S && static_cast<std::size_t>(iNew) > iLimit) return false;
    if (iNew == 0) {
        data.release();
        return true;
    }
    DataBuffer fresh;
    std::string sIgnored; // a replacement that cannot be made leaves the variable as it is
    if (!Instrument::CreateMemory(fresh, static_cast<std::size_t>(iNew), 0, sIgnored)) return true;
    std::uint8_t* pOut = fresh.data();
    std::int64_t iFrom = 0;
    for (std::int64_t p : matches) {
        if (StopAsked()) return true;
        std::memcpy(pOut, data.data() + iFrom, static_cast<std::size_t>(p - iFrom));
        pOut += p - iFrom;
        if (R > 0) std::memcpy(pOut, replacement.data(), static_cast<std::size_t>(R));
        pOut += R;
        iFrom = p + S;
    }
    std::memcpy(pOut, data.data() + iFrom, static_cast<std::size_t>(L - iFrom));
    fresh.setSize(static_cast<std::size_t>(iNew));
    data = std::move(fresh);
    return true;
}

// False, the text unchanged, when the result would be longer than iLimit bytes. A replace that
// the thread's stop cuts short leaves the text unchanged as well, and says true.
bool ReplaceInText(std::string& sValue, const std::string& sSearch, const std::string& sReplacement,
                   std::int64_t iCount, std::size_t iLimit) {
    if (sValue.empty() || sSearch.empty()) return true;
    auto matches = [&](auto each) {
        std::size_t iFrom = 0;
        std::int64_t iDone = 0;
        for (; iCount == 0 || iDone < iCount; ++iDone) {
            const std::size_t p = FindStoppable(sValue, sSearch, iFrom);
            if (p == std::string::npos) break;
            each(iFrom, p);
            iFrom = p + sSearch.size();
        }
        return std::pair(iDone, iFrom);
    };
    if (sReplacement.size() > sSearch.size()) {
        const auto iDone = static_cast<std::size_t>(matches([](std::size_t, std::size_t) {}).first);
        if (StopAsked()) return true;
        if (sValue.size() + iDone * (sReplacement.size() - sSearch.size()) > iLimit) return false;
    }
    std::string sOut;
    const auto [iDone, iFrom] = matches([&](std::size_t iAt, std::size_t p) {
        sOut.append(sValue, iAt, p - iAt);
        sOut += sReplacement;
    });
    if (iDone == 0 || StopAsked()) return true;
    sOut.append(sValue, iFrom, std::string::npos);
    sValue = std::move(sOut);
    return true;
}

} // namespace

std::int64_t CharacterCount(const std::string& sText) {
    std::int64_t n = 0;
    for (std::size_t i = 0; i < sText.size(); i += StopCheckBytes) {
        if (StopAsked()) break;
        const std::size_t iEnd = std::min(sText.size(), i + StopCheckBytes);
        for (std::size_t k = i; k < iEnd; ++k) n += IsContinuation(sText[k]) ? 0 : 1;
    }
    return n;
}

bool TaskFunctionRemoveFirst(uScriptThread& t, uScriptTask& task, uScriptTask& variable, std::int64_t iCount,
                             std::string& sError) {
    return RemoveEnd(t, task, variable, iCount, true, sError);
}

bool TaskFunctionRemoveLast(uScriptThread& t, uScriptTask& task, uScriptTask& variable, std::int64_t iCount,
                            std::string& sError) {
    return RemoveEnd(t, task, variable, iCount, false, sError);
}

bool TaskFunctionRemoveBlock(uScriptThread& t, uScriptTask& task, uScriptTask& variable, std::string& sError) {
    uScriptVariable& v = *variable.variable;
    if (!Editable(v)) return false;
    const bool fString = v.Type == eVariableType::String;
    const auto* pBytes = fString ? reinterpret_cast<const std::uint8_t*>(v.String.data()) : v.Data.data();
    const std::size_t iLength = fString ? v.String.size() : v.Data.size();
    if (!pBytes || iLength == 0) return true;
    const std::size_t iHeader = Instrument::ParseBlockHeaderOnly(pBytes, 0, iLength, nullptr);
    if (iHeader == 0) return true;
    if (fString) {
        // The text behind the header, up to a zero byte.
        std::string sRest = v.String.substr(iHeader);
        sRest.resize(std::strlen(sRest.c_str()));
        v.String = std::move(sRest);
    } else if (iHeader == iLength) {
        v.Data.release(); // nothing but a header: no bytes, no block
    } else if (!NewBlock(pBytes + iHeader, iLength - iHeader, v.Data, sError)) {
        return false;
    }
    PostLine(t, task, " TaskFunctionRemoveBlock - Blockformat entfernt, Bytes: " + std::to_string(iHeader));
    return true;
}

bool TaskFunctionRemove(uScriptThread& t, uScriptTask& task, std::string& sError) {
    uScriptTask* pVariable = EditTarget(t, task, "TaskFunctionRemove", task.remove->sParameter,
                                        "Removing is not allowed, wrong data type.", sError);
    if (!pVariable) return false;
    bool fResult = true;
    for (const uScriptRemove& op : task.remove->aRemove) {
        switch (op.eRemove) {
        case 1: fResult = TaskFunctionRemoveBlock(t, task, *pVariable, sError); break;
        case 2: fResult = TaskFunctionRemoveFirst(t, task, *pVariable, op.iNumber, sError); break;
        case 3: fResult = TaskFunctionRemoveLast(t, task, *pVariable, op.iNumber, sError); break;
        default: break;
        }
    }
    return fResult;
}

bool TaskFunctionReplace(uScriptThread& t, uScriptTask& task, std::string& sError) {
    uScriptTask* pVariable = EditTarget(t, task, "TaskFunctionReplace", task.replace->sParameter,
                                        "Replacing is not allowed, wrong data type.", sError);
    if (!pVariable) return false;
    uScriptVariable& v = *pVariable->variable;
    const auto& r = *task.replace;
    if (r.iCount < 0) return true;
    const std::size_t iLimit = Environment()->ValueLimit();
    auto tooLarge = [&] {
        PostScriptError(t, task, "TaskFunctionReplace", ValueTooLargeText());
        return false;
    };
    if (v.Type == eVariableType::String) {
        const std::string sSearch = r.fSearchBytes ? ByteListText(r.sSearch) : r.sSearch;
        const std::string sReplacement = r.fReplacementBytes ? ByteListText(r.sReplacement) : r.sReplacement;
        return ReplaceInText(v.String, sSearch, sReplacement, r.iCount, iLimit) || tooLarge();
    }
    const DataBuffer search = r.fSearchBytes ? ParseByteListToMemory(r.sSearch) : DataBuffer::FromText(r.sSearch);
    const DataBuffer replacement =
        r.fReplacementBytes ? ParseByteListToMemory(r.sReplacement) : DataBuffer::FromText(r.sReplacement);
    // A replacement that is not empty but whose memory could not be had replaces nothing.
    const bool fReplacementLost = !replacement.allocated() && !r.sReplacement.empty();
    return fReplacementLost || ReplaceInData(v.Data, search, replacement, r.iCount, iLimit) || tooLarge();
}

} // namespace InstrumentScript
