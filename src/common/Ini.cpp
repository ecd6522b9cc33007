#include "common/Ini.h"

#include "common/FileSaving.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace Ini {
namespace {

using LineIt = std::list<uIniLine>::iterator;

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return s;
}

bool SameName(const std::string& a, const std::string& b) { return Lower(a) == Lower(b); }

std::string TrimSpaces(const std::string& s) {
    const auto first = s.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

bool HasLineBreak(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

LineIt FindSection(uIni* ini, const std::string& sName) {
    for (auto it = ini->mLines.begin(); it != ini->mLines.end(); ++it) {
        if (it->iKind == IniLineSection && SameName(it->sName, sName)) return it;
    }
    return ini->mLines.end();
}

LineIt FindKey(uIni* ini, const std::string& sName) {
    const uIniLine* pSection = &*ini->itCurrentSection;
    for (auto it = std::next(ini->itCurrentSection); it != ini->mLines.end(); ++it) {
        if (it->iKind == IniLineSection) break;
        if (it->iKind == IniLineKey && it->pSection == pSection && SameName(it->sName, sName)) return it;
    }
    return ini->mLines.end();
}

// A section record goes to the end; any other record after the last record of the current section.
// fBeforeBlankLines: a new key goes before the blank lines that end the section instead. Save
// writes a blank line before each header and the next load gives it to the section above, so a
// key put after it would leave one more blank line inside the section at every run that adds one.
LineIt AddEntry(uIni* ini, eIniLine iKind, bool fBeforeBlankLines = false) {
    if (iKind == IniLineSection) {
        ini->mLines.push_back(uIniLine{iKind, {}, {}, nullptr});
        return std::prev(ini->mLines.end());
    }
    auto it = std::next(ini->itCurrentSection);
    while (it != ini->mLines.end() && it->iKind != IniLineSection) ++it;
    while (fBeforeBlankLines && std::prev(it) != ini->itCurrentSection && std::prev(it)->iKind == IniLineBlank) --it;
    return ini->mLines.insert(it, uIniLine{iKind, {}, {}, &*ini->itCurrentSection});
}

std::string ValueOfLine(const uIni* ini, const std::string& sText) {
    const auto pos = sText.find(ini->sSeparator);
    if (pos == std::string::npos) return {};
    std::string sValue = sText.substr(pos + ini->sSeparator.size());
    if (!(ini->iFlags & IniFlagCompact) && !sValue.empty() && sValue.front() == ' ') sValue.erase(0, 1);
    return sValue;
}

int DigitValue(char c, int iBase) {
    int v = -1;
    if (c >= '0' && c <= '9') v = c - '0';
    else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    return v >= 0 && v < iBase ? v : -1;
}

// Digits of the base from the start of the text, up to the first that does not belong.
// Wraps like a 64-bit register, so "$FFFFFFFFFFFFFFFF" is -1.
std::uint64_t ConvertDigits(const std::string& s, std::size_t i, int iBase) {
    std::uint64_t v = 0;
    for (; i < s.size(); ++i) {
        const int d = DigitValue(s[i], iBase);
        if (d < 0) break;
        v = v * static_cast<std::uint64_t>(iBase) + static_cast<std::uint64_t>(d);
    }
    return v;
}

std::int64_t ConvertNumber(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    bool fNegative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) fNegative = s[i++] == '-';
    std::uint64_t v;
    if (i < s.size() && s[i] == '$') v = ConvertDigits(s, i + 1, 16);
    else if (i < s.size() && s[i] == '%') v = ConvertDigits(s, i + 1, 2);
    else v = ConvertDigits(s, i, 10);
    return static_cast<std::int64_t>(fNegative ? 0 - v : v);
}

std::string FixedText(double d, int iDecimals) {
    char buffer[512];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, d, std::chars_format::fixed,
                                   std::clamp(iDecimals, 0, 300));
    if (ec != std::errc()) return "0";
    return std::string(buffer, end);
}

// Written out by hand: g++ 12 warns falsely (-Wrestrict) on a literal + std::string.
std::string Prefixed(char c, const std::string& s) {
    std::string out(1, c);
    out += s;
    return out;
}

std::string Unsigned(std::uint64_t v, int iBase, bool fUpper) {
    char buffer[72];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v, iBase);
    std::string s(buffer, end);
    if (fUpper) std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::toupper(c); });
    return s;
}

} // namespace

std::unique_ptr<uIni> Open(const std::string& sFileName, std::int64_t iFlags) {
    if (sFileName.empty()) return nullptr;
    QFile file(QString::fromStdString(sFileName));
    if (!file.open(QIODevice::ReadOnly)) return nullptr;
    const QByteArray content = file.readAll();
    file.close();

    auto ini = std::make_unique<uIni>();
    ini->sFileName = sFileName;
    ini->iFlags = iFlags;
    const char* pLineEnd = (iFlags & IniFlagLineEndCr) ? "\r" : (iFlags & IniFlagLineEndLf) ? "\n" : "\r\n";
    ini->sLineEnd = std::string(pLineEnd);
    ini->sSeparator = std::string(1, (iFlags & IniFlagSeparatorColon) ? ':' : '=');
    ini->mLines.push_back(uIniLine{IniLineSection, {}, {}, nullptr});
    ini->itCurrentSection = ini->mLines.begin();

    std::string_view rest(content.constData(), static_cast<std::size_t>(content.size()));
    // A leading byte-order mark is not part of the text. On a line of its own (as this library
    // writes it) the whole line goes; otherwise the line keeps what follows the mark.
    bool fSkipLine = false;
    if (rest.substr(0, 3) == "\xEF\xBB\xBF") {
        rest.remove_prefix(3);
        fSkipLine = rest.empty() || rest.front() == '\r' || rest.front() == '\n';
    }
    while (!rest.empty()) {
        const auto end = rest.find_first_of("\r\n");
        std::string line(rest.substr(0, end));
        if (end == std::string_view::npos) {
            rest = {};
        } else {
            rest.remove_prefix(end + ((rest[end] == '\r' && end + 1 < rest.size() && rest[end + 1] == '\n') ? 2 : 1));
        }
        if (fSkipLine) {
            fSkipLine = false;
            continue;
        }
        const auto first = line.find_first_not_of(" \t\r\n");
        if (first == std::string::npos) {
            AddEntry(ini.get(), IniLineBlank)->sText = line;
            continue;
        }
        const char c = line[first];
        if (c == '[') {
            if (line.find(']') == std::string::npos) continue;
            const auto nameEnd = line.find_first_of("[]", first + 1);
            const std::string sName = line.substr(first + 1, nameEnd - first - 1);
            auto existing = FindSection(ini.get(), sName);
            if (existing != ini->mLines.end()) {
                // A repeated header adds its keys to the section of that name (first key wins).
                ini->itCurrentSection = existing;
                continue;
            }
            auto it = AddEntry(ini.get(), IniLineSection);
            it->sName = sName;
            it->sText = Prefixed('[', sName) + ']';
            ini->itCurrentSection = it;
        } else if (c == ';' || c == '#') {
            AddEntry(ini.get(), IniLineComment)->sText = line;
        } else {
            // The file's own separator first: a value may hold the other one ("url: a?b=c").
            const char cOwn = ini->sSeparator.front();
            auto split = line.find(cOwn);
            if (split == std::string::npos) split = line.find(cOwn == '=' ? ':' : '=');
            if (split == std::string::npos) continue;
            const std::string sName = TrimSpaces(line.substr(0, split));
            if (FindKey(ini.get(), sName) != ini->mLines.end()) continue;
            auto it = AddEntry(ini.get(), IniLineKey);
            it->sName = sName;
            it->sText = line.substr(0, split) + ini->sSeparator + line.substr(split + 1);
        }
    }
    ini->itCurrentSection = ini->mLines.begin();
    ini->itSectionPosition = ini->mLines.begin();
    ini->itKeyPosition = ini->mLines.begin();
    return ini;
}

bool Save(uIni* ini) {
    std::string sIgnored;
    return Save(ini, sIgnored);
}

bool Save(uIni* ini, std::string& sError) {
    if (!ini || ini->sFileName.empty()) {
        sError = "The file has no name.";
        return false;
    }
    std::string out;
    if (!(ini->iFlags & IniFlagNoBom)) out += "\xEF\xBB\xBF" + ini->sLineEnd;
    const uIniLine* pWrittenSection = nullptr;
    bool fAnySectionWritten = false;
    std::size_t iLastLength = 0;
    for (const uIniLine& line : ini->mLines) {
        if (line.iKind == IniLineSection) continue;
        if (line.pSection != pWrittenSection) {
            pWrittenSection = line.pSection;
            if ((ini->iFlags & IniFlagBlankLineBeforeSection) && fAnySectionWritten && iLastLength > 0) {
                out += ini->sLineEnd;
            }
            if (!line.pSection->sName.empty()) out += line.pSection->sText + ini->sLineEnd;
            fAnySectionWritten = true;
        }
        out += line.sText + ini->sLineEnd;
        iLastLength = line.sText.size();
    }
    return Utility::SaveFile(ini->sFileName, out, sError);
}

void Free(std::unique_ptr<uIni>& ini) { ini.reset(); }

bool SelectSection(uIni* ini, const std::string& sName) {
    if (!ini) return false;
    if (sName.empty()) {
        ini->itCurrentSection = ini->mLines.begin();
        return true;
    }
    auto it = FindSection(ini, sName);
    if (it == ini->mLines.end()) {
        if (HasLineBreak(sName) || sName.find_first_of("[]") != std::string::npos) return false;
        it = AddEntry(ini, IniLineSection);
        it->sName = sName;
        it->sText = Prefixed('[', sName) + ']';
    }
    ini->itCurrentSection = it;
    return true;
}

std::string ReadString(uIni* ini, const std::string& sKey, const std::string& sDefault) {
    if (!ini || sKey.empty()) return sDefault;
    auto it = FindKey(ini, sKey);
    if (it == ini->mLines.end()) return sDefault;
    std::string sValue = TrimSpaces(ValueOfLine(ini, it->sText));
    return sValue.empty() ? sDefault : sValue;
}

std::int64_t ReadInteger(uIni* ini, const std::string& sKey, std::int64_t iDefault) {
    const std::string sText = ReadString(ini, sKey, "");
    if (sText.empty()) return iDefault;
    if (sText.front() == '#') return ParseNumberText(sText);
    return ConvertNumber(sText);
}

int ReadBool(uIni* ini, const std::string& sKey, int iDefault) {
    const std::string sText = Lower(ReadString(ini, sKey, ""));
    if (sText.empty()) return iDefault ? 1 : 0;
    for (const char* yes : {"1", "true", "yes", "on", "enabled", "enable"}) {
        if (sText == yes) return 1;
    }
    return 0;
}

bool WriteString(uIni* ini, const std::string& sKey, const std::string& sValue) {
    if (!ini || sKey.empty()) return false;
    if (HasLineBreak(sKey) || HasLineBreak(sValue)) return false;
    // A key that the loader would read as something else (a header, a comment, another split).
    const auto first = sKey.find_first_not_of(" \t");
    if (first == std::string::npos || sKey[first] == '[' || sKey[first] == ';' || sKey[first] == '#' ||
        sKey.find('=') != std::string::npos || sKey.find(ini->sSeparator) != std::string::npos) {
        return false;
    }
    auto it = FindKey(ini, sKey);
    if (it == ini->mLines.end()) {
        it = AddEntry(ini, IniLineKey, true);
        it->sName = sKey;
    }
    it->sText = (ini->iFlags & IniFlagCompact) ? sKey + ini->sSeparator + sValue
                                               : sKey + " " + ini->sSeparator + " " + sValue;
    return true;
}

bool WriteBool(uIni* ini, const std::string& sKey, int iValue, int iStyle) {
    static const char* const kTrue[] = {"1", "true", "yes", "on"};
    static const char* const kFalse[] = {"0", "false", "no", "off"};
    const int i = iStyle >= 1 && iStyle <= 3 ? iStyle : 0;
    return WriteString(ini, sKey, iValue ? kTrue[i] : kFalse[i]);
}

bool WriteInteger(uIni* ini, const std::string& sKey, std::int64_t iValue) {
    return WriteString(ini, sKey, std::to_string(iValue));
}

bool WriteLong(uIni* ini, const std::string& sKey, std::int32_t iValue) {
    return WriteString(ini, sKey, std::to_string(iValue));
}

bool WriteFloat(uIni* ini, const std::string& sKey, float fValue, int iDecimals) {
    return WriteString(ini, sKey, FixedText(fValue, iDecimals < 0 ? 6 : iDecimals));
}

bool WriteDouble(uIni* ini, const std::string& sKey, double dValue, int iDecimals) {
    return WriteString(ini, sKey, FixedText(dValue, iDecimals < 0 ? 16 : iDecimals));
}

bool WriteNumberAs(uIni* ini, const std::string& sKey, std::int64_t iValue, int iForm) {
    const auto u = static_cast<std::uint64_t>(iValue);
    switch (iForm) {
    case 1: return WriteString(ini, sKey, Prefixed('$', Unsigned(u, 16, true)));
    case 2: return WriteString(ini, sKey, Prefixed('%', Unsigned(u, 2, false)));
    case 3: return WriteString(ini, sKey, ColorToText(iValue, false));
    case 4: return WriteString(ini, sKey, ColorToText(iValue, true));
    default: return WriteString(ini, sKey, std::to_string(iValue));
    }
}

void RemoveKey(uIni* ini, const std::string& sKey) {
    if (!ini || sKey.empty()) return;
    auto it = FindKey(ini, sKey);
    if (it == ini->mLines.end()) return;
    if (ini->itKeyPosition == it) ini->itKeyPosition = std::prev(it);
    ini->mLines.erase(it);
}

void RemoveSection(uIni* ini, const std::string& sName) {
    if (!ini || sName.empty()) return;
    auto header = FindSection(ini, sName);
    if (header == ini->mLines.end()) return;
    const uIniLine* pSection = &*header;
    if (ini->itCurrentSection == header) ini->itCurrentSection = ini->mLines.begin();
    // An enumeration standing on a removed line goes on from the line before the section.
    const auto before = std::prev(header);
    for (auto it = header; it != ini->mLines.end();) {
        if (it != header && it->pSection != pSection) {
            ++it;
            continue;
        }
        if (ini->itSectionPosition == it) ini->itSectionPosition = before;
        if (ini->itKeyPosition == it) ini->itKeyPosition = before;
        it = ini->mLines.erase(it);
    }
}

int ExamineSections(uIni* ini) {
    if (!ini) return 0;
    ini->itSectionPosition = ini->mLines.begin();
    ini->itKeyPosition = ini->itCurrentSection;
    return static_cast<int>(std::count_if(ini->mLines.begin(), ini->mLines.end(), [](const uIniLine& l) {
        return l.iKind == IniLineSection && !l.sName.empty();
    }));
}

bool NextSection(uIni* ini) {
    if (!ini || ini->itSectionPosition == ini->mLines.end()) return false;
    for (auto it = std::next(ini->itSectionPosition); it != ini->mLines.end(); ++it) {
        if (it->iKind == IniLineSection && !it->sName.empty()) {
            ini->itSectionPosition = it;
            ini->itCurrentSection = it;
            return true;
        }
    }
    ini->itSectionPosition = ini->mLines.end();
    return false;
}

std::string SectionName(uIni* ini) {
    if (!ini || ini->itSectionPosition == ini->mLines.end()) return {};
    return ini->itSectionPosition->iKind == IniLineSection ? ini->itSectionPosition->sName : std::string();
}

int ExamineKeys(uIni* ini) {
    if (!ini) return 0;
    ini->itKeyPosition = ini->itCurrentSection;
    const uIniLine* pSection = &*ini->itCurrentSection;
    return static_cast<int>(std::count_if(ini->mLines.begin(), ini->mLines.end(), [pSection](const uIniLine& l) {
        return l.iKind == IniLineKey && l.pSection == pSection;
    }));
}

bool NextKey(uIni* ini) {
    if (!ini || ini->itKeyPosition == ini->mLines.end()) return false;
    const uIniLine* pSection = &*ini->itCurrentSection;
    for (auto it = std::next(ini->itKeyPosition); it != ini->mLines.end(); ++it) {
        if (it->iKind == IniLineKey && it->pSection == pSection) {
            ini->itKeyPosition = it;
            return true;
        }
    }
    ini->itKeyPosition = ini->mLines.end();
    return false;
}

std::string KeyName(uIni* ini) {
    if (!ini || ini->itKeyPosition == ini->mLines.end() || ini->itKeyPosition->iKind != IniLineKey) return {};
    return ini->itKeyPosition->sName;
}

std::string KeyValue(uIni* ini) {
    if (!ini || ini->itKeyPosition == ini->mLines.end() || ini->itKeyPosition->iKind != IniLineKey) return {};
    return ValueOfLine(ini, ini->itKeyPosition->sText);
}

std::string ColorToText(std::int64_t iColor, bool fAlpha) {
    char buffer[12];
    const auto u = static_cast<std::uint64_t>(iColor);
    const unsigned r = u & 0xFF, g = (u >> 8) & 0xFF, b = (u >> 16) & 0xFF, a = (u >> 24) & 0xFF;
    if (fAlpha) std::snprintf(buffer, sizeof buffer, "#%02X%02X%02X%02X", r, g, b, a);
    else std::snprintf(buffer, sizeof buffer, "#%02X%02X%02X", r, g, b);
    return buffer;
}

std::int64_t ParseNumberText(const std::string& sText) {
    if (sText.empty() || sText.front() != '#') return 0;
    const std::string sDigits = sText.substr(1);
    std::string channel[4];
    if (sDigits.size() == 3) {
        for (int i = 0; i < 3; ++i) channel[i] = std::string(2, sDigits[static_cast<std::size_t>(i)]);
    } else if (sDigits.size() == 6 || sDigits.size() == 8) {
        for (std::size_t i = 0; i < sDigits.size() / 2; ++i) channel[i] = sDigits.substr(2 * i, 2);
    } else {
        return 0;
    }
    std::int64_t iColor = 0;
    for (int i = 0; i < 4; ++i) {
        iColor |= static_cast<std::int64_t>(ConvertDigits(channel[i], 0, 16) & 0xFF) << (8 * i);
    }
    return iColor;
}

} // namespace Ini
