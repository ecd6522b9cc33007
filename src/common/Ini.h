// INI files held in memory as an ordered list of lines: sections, keys, comments and blank
// lines keep their places, so a file edited by hand keeps its layout when it is rewritten.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <string>

inline constexpr std::int64_t IniFlagCompact = 0x1;
inline constexpr std::int64_t IniFlagBlankLineBeforeSection = 0x2;
inline constexpr std::int64_t IniFlagNoBom = 0x10000;
inline constexpr std::int64_t IniFlagLineEndCr = 0x20000;
inline constexpr std::int64_t IniFlagLineEndLf = 0x40000;
inline constexpr std::int64_t IniFlagLineEndCrLf = 0x80000;
inline constexpr std::int64_t IniFlagSeparatorColon = 0x100000;

// The flags every file of the program is opened with: CR LF, a blank line before each
// section, byte-order mark, "key = value".
inline constexpr std::int64_t IniFlagsProgram = 0x80002;

enum eIniLine : std::int64_t { IniLineSection = 0, IniLineKey = 1, IniLineComment = 2, IniLineBlank = 3 };

struct uIniLine {
    eIniLine iKind = IniLineBlank;
    std::string sName;            // section name of a header, key name of a key line
    std::string sText;            // the line as it is written, without line end
    const uIniLine* pSection = nullptr; // owning section; none for section records
};

struct uIni {
    std::string sFileName;
    std::int64_t iFlags = 0;
    std::string sLineEnd;
    std::string sSeparator;
    std::list<uIniLine> mLines;
    std::list<uIniLine>::iterator itCurrentSection;
    std::list<uIniLine>::iterator itSectionPosition; // the nameless section = none yet; end() = past the last
    std::list<uIniLine>::iterator itKeyPosition;     // the current section's header = none yet; end() = past the last
};

namespace Ini {

// Loads the file, which must exist; nullptr when it cannot be read.
std::unique_ptr<uIni> Open(const std::string& sFileName, std::int64_t iFlags);
// Rewrites the whole file through a new file beside it (Utility::SaveFile); the old file stays
// intact on failure, and sError gets the system's reason.
bool Save(uIni* ini);
bool Save(uIni* ini, std::string& sError);
void Free(std::unique_ptr<uIni>& ini);

bool SelectSection(uIni* ini, const std::string& sName);
std::string ReadString(uIni* ini, const std::string& sKey, const std::string& sDefault);
std::int64_t ReadInteger(uIni* ini, const std::string& sKey, std::int64_t iDefault);
int ReadBool(uIni* ini, const std::string& sKey, int iDefault);

// The writes refuse (false) a key, value or section name that would break the file's lines.
bool WriteString(uIni* ini, const std::string& sKey, const std::string& sValue);
bool WriteBool(uIni* ini, const std::string& sKey, int iValue, int iStyle = 0);
bool WriteInteger(uIni* ini, const std::string& sKey, std::int64_t iValue);
bool WriteLong(uIni* ini, const std::string& sKey, std::int32_t iValue);
bool WriteFloat(uIni* ini, const std::string& sKey, float fValue, int iDecimals = -1);
bool WriteDouble(uIni* ini, const std::string& sKey, double dValue, int iDecimals = -1);
bool WriteNumberAs(uIni* ini, const std::string& sKey, std::int64_t iValue, int iForm);

void RemoveKey(uIni* ini, const std::string& sKey);
void RemoveSection(uIni* ini, const std::string& sName);

int ExamineSections(uIni* ini);
bool NextSection(uIni* ini);
std::string SectionName(uIni* ini);
int ExamineKeys(uIni* ini);
bool NextKey(uIni* ini);
std::string KeyName(uIni* ini);
std::string KeyValue(uIni* ini);

// Colour values: red in bits 0-7, green 8-15, blue 16-23, alpha 24-31.
std::string ColorToText(std::int64_t iColor, bool fAlpha);
std::int64_t ParseNumberText(const std::string& sText);

} // namespace Ini
