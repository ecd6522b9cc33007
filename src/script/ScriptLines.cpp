#include "script/ScriptLines.h"

#include <QChar>

#include <algorithm>

namespace InstrumentScript {
namespace {

bool IsTrimmed(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsTrimmed(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsTrimmed(s.back())) s.remove_suffix(1);
    return s;
}

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && IsTrimmed(s.back())) s.remove_suffix(1);
    return s;
}

// Appends the text with tabs made blanks and every run of blanks made one blank.
void AppendCollapsed(std::string& sOut, std::string_view s) {
    for (char c : s) {
        if (c == '\t') c = ' ';
        if (c == ' ' && !sOut.empty() && sOut.back() == ' ') continue;
        sOut += c;
    }
}

int Utf8Length(char32_t c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4; }

// Where the line after the line end at iEnd begins: a CR LF ends one line.
std::size_t LineEnd(std::string_view sText, std::size_t iEnd) {
    return sText[iEnd] == '\r' && iEnd + 1 < sText.size() && sText[iEnd + 1] == '\n' ? iEnd + 2 : iEnd + 1;
}

} // namespace

uScriptTask& uScriptParse::AddTask(eScriptTaskType eType, const uScriptLine& line) {
    auto& tasks = pProgram->mTasks;
    const auto it = fLinking ? std::next(itLinked) : tasks.end();
    uScriptTask& task = *tasks.emplace(it);
    task.eTaskType = eType;
    task.eLineSource = line.eLineSource;
    task.iLine = line.iLine;
    task.fParsed = 1;
    return task;
}

std::string LowerKeepingPositions(std::string_view sText) {
    std::string s(sText);
    for (std::size_t i = 0; i < s.size();) {
        const auto c0 = static_cast<unsigned char>(s[i]);
        if (c0 < 0x80) {
            if (c0 >= 'A' && c0 <= 'Z') s[i] = static_cast<char>(c0 - 'A' + 'a');
            ++i;
            continue;
        }
        // Two- and three-byte sequences; anything else is kept byte by byte.
        int iLength = (c0 & 0xE0) == 0xC0 ? 2 : (c0 & 0xF0) == 0xE0 ? 3 : 1;
        if (iLength == 1 || i + iLength > s.size()) {
            ++i;
            continue;
        }
        char32_t c = c0 & (iLength == 2 ? 0x1F : 0x0F);
        bool fValid = true;
        for (int k = 1; k < iLength; ++k) {
            const auto b = static_cast<unsigned char>(s[i + k]);
            if ((b & 0xC0) != 0x80) fValid = false;
            c = (c << 6) | (b & 0x3F);
        }
        if (!fValid || Utf8Length(c) != iLength || (c >= 0xD800 && c <= 0xDFFF)) {
            ++i;
            continue;
        }
        const char32_t lower = QChar::toLower(c);
        if (lower != c && Utf8Length(lower) == iLength) {
            if (iLength == 2) {
                s[i] = static_cast<char>(0xC0 | (lower >> 6));
                s[i + 1] = static_cast<char>(0x80 | (lower & 0x3F));
            } else {
                s[i] = static_cast<char>(0xE0 | (lower >> 12));
                s[i + 1] = static_cast<char>(0x80 | ((lower >> 6) & 0x3F));
                s[i + 2] = static_cast<char>(0x80 | (lower & 0x3F));
            }
        }
        i += static_cast<std::size_t>(iLength);
    }
    return s;
}

std::string_view Word(std::string_view sText, std::size_t iIndex) {
    std::size_t iStart = 0;
    for (std::size_t i = 0; i < iIndex; ++i) {
        const std::size_t iBlank = sText.find(' ', iStart);
        if (iBlank == std::string_view::npos) return {};
        iStart = iBlank + 1;
    }
    const std::size_t iEnd = sText.find(' ', iStart);
    return sText.substr(iStart, iEnd == std::string_view::npos ? std::string_view::npos : iEnd - iStart);
}

std::string_view From(std::string_view sText, std::size_t iPosition) {
    return iPosition < sText.size() ? sText.substr(iPosition) : std::string_view{};
}

void SplitScriptLines(std::string_view sText, std::vector<uScriptLine>& lines, std::int64_t eSource) {
    if (sText.empty()) return;
    std::int64_t iLine = 0;
    std::size_t iStart = 0;
    for (;;) {
        const std::size_t iFeed = sText.find_first_of("\r\n", iStart);
        const std::string_view sPiece =
            sText.substr(iStart, iFeed == std::string_view::npos ? std::string_view::npos : iFeed - iStart);
        ++iLine;
        std::string_view s = Trim(sPiece);
        if (!s.empty() && s.substr(0, 2) != "//") {
            // A trailing comment: the first "//" from position 1 on with an even count of quotes before it.
            std::size_t iQuotes = s[0] == '"' ? 1 : 0;
            for (std::size_t i = 1; i + 1 < s.size(); ++i) {
                if (s[i] == '/' && s[i + 1] == '/' && iQuotes % 2 == 0) {
                    s = TrimRight(s.substr(0, i));
                    break;
                }
                if (s[i] == '"') ++iQuotes;
            }
            // The first quoted part keeps its blank runs; the quote that closes it ends any run.
            std::string sLine;
            sLine.reserve(s.size());
            const std::size_t iFirst = s.find('"');
            const std::size_t iSecond = iFirst == std::string_view::npos ? iFirst : s.find('"', iFirst + 1);
            if (iSecond != std::string_view::npos) {
                AppendCollapsed(sLine, s.substr(0, iFirst));
                for (char c : s.substr(iFirst, iSecond - iFirst + 1)) sLine += c == '\t' ? ' ' : c;
                AppendCollapsed(sLine, s.substr(iSecond + 1));
            } else {
                AppendCollapsed(sLine, s);
            }
            lines.push_back(uScriptLine{eSource, std::move(sLine), iLine, 0});
        }
        if (iFeed == std::string_view::npos) break;
        iStart = LineEnd(sText, iFeed);
    }
}

std::int64_t NulLine(std::string_view sText) {
    const std::size_t iNul = sText.find('\0');
    if (iNul == std::string_view::npos) return 0;
    std::int64_t iLine = 1;
    for (std::size_t i = sText.find_first_of("\r\n"); i < iNul; i = sText.find_first_of("\r\n", LineEnd(sText, i))) {
        ++iLine;
    }
    return iLine;
}

void AppendEscaped(std::string& sOut, std::string_view sText) {
    static constexpr char Digits[] = "0123456789ABCDEF";
    const auto isControl = [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; };
    for (auto it = sText.begin(); it != sText.end();) {
        const auto itControl = std::find_if(it, sText.end(), isControl);
        sOut.append(it, itControl);
        if (itControl == sText.end()) break;
        const auto b = static_cast<unsigned char>(*itControl);
        const char escaped[] = {'\\', 'x', Digits[b >> 4], Digits[b & 0x0F]};
        sOut.append(escaped, sizeof escaped);
        it = itControl + 1;
    }
}

std::string LineError(std::int64_t eSource, std::int64_t iLine, std::string_view sText) {
    std::string s = std::string(eSource == LineSourceScript ? "Script - " : "Constants - ") + "Error at line " +
                    std::to_string(iLine) + ". ";
    AppendEscaped(s, sText);
    return s;
}

int CheckConstant(uScriptParse& parse, uScriptLine& line, std::string& sError) {
    const std::string sLower = LowerKeepingPositions(line.sText);
    const std::string sName(Word(sLower, 0));
    if (sName == "#") {
        sError = "A constant name is not defined.";
        return 0;
    }
    const std::string_view sKeyword = Word(sLower, 1);
    if (sKeyword.empty()) return -1;
    if (sKeyword != "set") {
        sError = "The keyword is not present: set";
        return 0;
    }
    const std::string_view sValue = From(line.sText, sName.size() + 3 + 2);
    if (sValue.empty()) {
        sError = "The value for the constant is missing: " + sName;
        return 0;
    }
    auto it = parse.mConstants.find(sName);
    if (it != parse.mConstants.end()) {
        sError = (it->second->eLineSource == LineSourceScript
                      ? std::string("The constant was already defined in the script in line")
                      : std::string("The constant has already been defined in the constants in line")) +
                 " " + std::to_string(it->second->iLine) + ": " + sName;
        return 0;
    }
    uScriptTask& task = parse.AddTask(eScriptTaskType::Constant, line);
    task.constant->Name = sName;
    task.constant->Value = std::string(sValue);
    parse.mConstants.emplace(sName, &task);
    line.fParsed = 1;
    return 1;
}

void ReplaceConstants(uScriptParse& parse, uScriptLine& line) {
    if (parse.mConstants.empty() || line.sText.find('#') == std::string::npos) return;
    std::string s = line.sText;
    bool fReplaced = false;
    std::size_t p = 0;
    bool fFirst = true;
    for (int iStep = 1; iStep <= 20; ++iStep) {
        const std::size_t iHash = s.find('#', fFirst ? 0 : p + 1);
        fFirst = false;
        if (iHash == std::string::npos) break;
        p = iHash;
        if (std::count(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(p), '"') % 2 != 0) continue;
        const std::size_t iBlank = s.find(' ', p);
        const std::size_t iLength = (iBlank == std::string::npos ? s.size() : iBlank) - p;
        auto it = parse.mConstants.find(LowerKeepingPositions(std::string_view(s).substr(p, iLength)));
        if (it == parse.mConstants.end()) continue;
        s.replace(p, iLength, it->second->constant->Value);
        fReplaced = true;
    }
    if (fReplaced) line.sText = std::move(s);
}

} // namespace InstrumentScript
