#include "instrument/ModelTable.h"

#include "common/TextRoutines.h"
#include "transport/ChainedAnswers.h"

#include <algorithm>
#include <initializer_list>
#include <optional>
#include <vector>

namespace Instrument {
namespace {

struct uModelGroup {
    std::int64_t eModel;
    std::initializer_list<std::string_view> keys;
};

struct uMaker {
    std::initializer_list<std::string_view> names;
    std::initializer_list<uModelGroup> groups;
};

// Makers in test order; within a maker the groups and keys in test order. A key that holds
// another one is tested first ("DS1054Z Plus" before "DS1054Z").
const std::initializer_list<uMaker> ModelKeyTable = {
    {{"Halvorsk"}, {{ModelOwnDevicePIC18F, {"PIC18F"}}}},
    {{"Rigol Technologies", "Rigol"},
     {
         {ModelRigolDSA, {"DSA705", "DSA710", "DSA700", "DSA815", "DSA832", "DSA875", "DSA800"}},
         {ModelRigolDS1000ZPlus, {"DS1054Z Plus", "DS1074Z Plus", "DS1104Z Plus", "MSO1074Z", "MSO1104Z", "MSO1000Z"}},
         {ModelRigolDS1000Z, {"DS1000Z", "DS1054Z", "DS1074Z", "DS1104Z"}},
         {ModelRigolDS2000, {"DS2072", "DS2102", "DS2202", "DS2302", "DS2000"}},
         {ModelRigolMSO2000, {"MSO2072", "MSO2102", "MSO2202", "MSO2302", "MSO2000"}},
         {ModelRigolMSO5000Ch2, {"MSO5072", "MSO5102", "MSO5202", "MSO5352", "MSO5000"}},
         {ModelRigolMSO5000Ch4, {"MSO5074", "MSO5104", "MSO5204", "MSO5354"}},
         {ModelRigolDG4000, {"DG4000", "DG4062", "DG4102", "DG4162", "DG4202"}},
         {ModelRigolDP800, {"DP800", "DP811", "DP821", "DP831", "DP832"}},
         {ModelRigolDM3068, {"DM3068"}},
     }},
    {{"Rohde", "Rhode", "R&S"},
     {
         {ModelRohdeSchwarzRTB2000Ch2, {"RTB2002", "RTB2000"}},
         {ModelRohdeSchwarzRTB2000Ch4, {"RTB2004"}},
     }},
    {{"Siglent Technologies", "Siglent"},
     {
         {ModelSiglentSDS2000XPlusCh2,
          {"SDS2102X Plus", "SDS2202X Plus", "SDS2352X Plus", "SDS2502X Plus", "SDS2002X Plus", "SDS2000X Plus"}},
         {ModelSiglentSDS2000XPlusCh4, {"SDS2104X Plus", "SDS2204X Plus", "SDS2354X Plus", "SDS2504X Plus", "SDS2004X Plus"}},
         {ModelSiglentSDS5000XCh2, {"SDS5032X", "SDS5052X", "SDS5102X", "SDS5002X", "SDS5000X"}},
         {ModelSiglentSDS5000XCh4, {"SDS5034X", "SDS5054X", "SDS5104X", "SDS5004X"}},
         {ModelSiglentSVA1000X, {"SVA1015X", "SVA1021X", "SVA1032X", "SVA1075X", "SVA1000X"}},
     }},
    {{"Picotest"}, {{ModelPicotestM3500A, {"M3500A"}}}},
    {{"Tonghui"}, {{ModelTonghuiTH1951, {"TH1951"}}}},
    {{"HAMEG"},
     {
         {ModelHamegHM2008, {"HM2008"}},
         {ModelHamegHM1508, {"HM1508"}},
         {ModelHamegHM1008, {"HM1008"}},
     }},
};

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string ToUpper(std::string_view s) {
    std::string r(s);
    std::transform(r.begin(), r.end(), r.begin(), Upper);
    return r;
}

// True when the key occurs in the text, ignoring the case of ASCII letters.
bool ContainsNoCase(std::string_view sText, std::string_view sKey) {
    if (sText.empty() || sKey.empty()) return false;
    const auto it = std::search(sText.begin(), sText.end(), sKey.begin(), sKey.end(),
                                [](char a, char b) { return Upper(a) == Upper(b); });
    return it != sText.end();
}

// Fields split at ","; the first iCount of them, missing ones empty.
std::vector<std::string> Fields(std::string_view sText, std::size_t iCount) {
    std::vector<std::string> fields(iCount);
    std::size_t iStart = 0;
    for (std::size_t i = 0; i < iCount; ++i) {
        const std::size_t iComma = sText.find(',', iStart);
        fields[i] = std::string(sText.substr(iStart, iComma == std::string_view::npos ? sText.npos : iComma - iStart));
        if (iComma == std::string_view::npos) break;
        iStart = iComma + 1;
    }
    return fields;
}

} // namespace

std::int64_t GetModelFromIdn(const uTaskPrepare& connection, const uIdn& idn, std::int64_t iLimit) {
    std::string_view sMaker = idn.sManufacturer;
    std::string_view sModel = idn.sModel;
    if (connection.fUserModel != 0) {
        if (!connection.sUserManufacturer.empty()) sMaker = connection.sUserManufacturer;
        if (!connection.sUserModel.empty()) sModel = connection.sUserModel;
    }
    std::int64_t iResult = ModelGeneric;
    for (const uMaker& maker : ModelKeyTable) {
        const bool fMaker = std::any_of(maker.names.begin(), maker.names.end(),
                                        [&](std::string_view name) { return ContainsNoCase(sMaker, name); });
        if (!fMaker) continue;
        for (const uModelGroup& group : maker.groups) {
            const bool fModel = std::any_of(group.keys.begin(), group.keys.end(),
                                            [&](std::string_view key) { return ContainsNoCase(sModel, key); });
            if (fModel) {
                iResult = group.eModel;
                break;
            }
        }
        break;
    }
    if (iLimit != 0 && iResult >= 20) iResult = ModelGeneric;
    return iResult;
}

std::string FixIdnAnswer(const std::string& sAnswer) {
    if (sAnswer.empty()) return sAnswer;
    const std::vector<std::string> f = Fields(sAnswer, 5);
    const std::string sFirst = ToUpper(f[0]);
    if (sFirst == "TH1951 DIGITAL MULTIMETER") return "Tonghui,TH1951,-," + f[1];
    if (sFirst == "HAMEG") {
        std::string s = f[0] + "," + f[1] + "," + f[2] + "," + f[3];
        if (!f[4].empty()) s += " " + f[4];
        return s;
    }
    return sAnswer;
}

namespace {

unsigned char Byte(char c) {
    return static_cast<unsigned char>(c);
}

// The bytes without the NULs that pad them (ChainedAnswers.h): an identification ends with a line
// feed.
std::string WithoutPadding(std::string_view sBytes) {
    std::string s(sBytes);
    auto* pData = reinterpret_cast<std::uint8_t*>(s.data());
    s.resize(DropPadding(pData, s.size(), "\n", eBlockUnit::Bytes));
    return s;
}

// The bytes as UTF-8: as they are, or, where the end of a cut answer cut their last character
// off (its lead byte and the continuation bytes that came), with U+FFFD for that character.
std::optional<std::string> Utf8Text(std::string_view sBytes) {
    std::size_t i = 0;
    // i ends at the first byte that begins no character, or at the end.
    for (std::size_t n = 1; i < sBytes.size() && n > 0; i += n) n = Utility::Utf8Length(sBytes.substr(i));
    if (i == sBytes.size()) return std::string(sBytes);
    const std::string_view sTail = sBytes.substr(i);
    const unsigned char b = Byte(sTail[0]);
    const std::size_t iLength = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
    const bool fCut =
        b >= 0xC2 && b <= 0xF4 && sTail.size() < iLength &&
        std::all_of(sTail.begin() + 1, sTail.end(), [](char c) { return (Byte(c) & 0xC0) == 0x80; });
    if (!fCut) return std::nullopt;
    return std::string(sBytes.substr(0, i)) + "\xEF\xBF\xBD";
}

// The bytes read as Windows-1252; nullopt when one of them is undefined there.
std::optional<std::string> Cp1252Text(std::string_view sBytes) {
    std::string s;
    for (const char c : sBytes) {
        const char32_t u = Utility::Cp1252Character(Byte(c));
        if (u == 0) return std::nullopt;
        Utility::AppendUtf8(s, u);
    }
    return s;
}

} // namespace

std::optional<std::string> AnswerText(std::string_view sBytes) {
    const std::string sKept = WithoutPadding(sBytes);
    if (std::any_of(sKept.begin(), sKept.end(), [](char c) {
            return (Byte(c) < 0x20 && c != '\t' && c != '\r' && c != '\n') || Byte(c) == 0x7F;
        }))
        return std::nullopt;
    std::optional<std::string> sText = Utf8Text(sKept);
    if (!sText) sText = Cp1252Text(sKept);
    if (!sText) return std::nullopt;
    // Characters, and of them ASCII, which is printable or white space now: a UTF-8 continuation
    // byte begins none.
    const auto iCharacters =
        std::count_if(sText->begin(), sText->end(), [](char c) { return (Byte(c) & 0xC0) != 0x80; });
    const auto iAscii = std::count_if(sText->begin(), sText->end(), [](char c) { return Byte(c) < 0x80; });
    if (4 * iAscii < 3 * iCharacters) return std::nullopt;
    return sText;
}

uIdn ParseIdn(std::string_view sAnswer) {
    uIdn idn;
    const std::optional<std::string> sText = AnswerText(sAnswer);
    if (sText) idn.sIdn = Utility::TrimCharactersRight(*sText, " \t\r\n");
    const std::vector<std::string> f = Fields(FixIdnAnswer(idn.sIdn), 4);
    // Noise, an empty line (or no byte at all), and text that names no maker and no model (",,,")
    // are no identification: the record says which.
    const bool fNoNames = !idn.sIdn.empty() && Utility::TrimCharacters(f[0] + f[1], " \t").empty();
    if (idn.sIdn.empty() || fNoNames) {
        idn = uIdn{};
        idn.failure.eType = Failure::eKind::BadAnswer;
        idn.failure.eAt = Failure::eStep::Receive;
        idn.failure.iReceived = static_cast<std::int64_t>(sAnswer.size());
        idn.failure.fNoText = !sText;
        idn.failure.fEmpty = sText.has_value() && !fNoNames;
        idn.failure.fNoNames = fNoNames;
        return idn;
    }
    idn.sManufacturer = f[0];
    idn.sModel = f[1];
    idn.sSerialNumber = f[2];
    idn.sFirmware = f[3];
    return idn;
}

} // namespace Instrument
