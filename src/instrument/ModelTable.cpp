#include "instrument/ModelTable.h"

#include "common/TextRoutines.h"

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

std::optional<std::string> AnswerText(std::string_view sBytes) {
    const auto byte = [](char c) { return static_cast<unsigned char>(c); };
    if (std::any_of(sBytes.begin(), sBytes.end(), [&](char c) {
            return (byte(c) < 0x20 && c != '\t' && c != '\r' && c != '\n') || byte(c) == 0x7F;
        }))
        return std::nullopt;
    std::size_t i = 0;
    // i ends at the first byte that begins no character, or at the end.
    for (std::size_t n = 1; i < sBytes.size() && n > 0; i += n) n = Utility::Utf8Length(sBytes.substr(i));
    if (i == sBytes.size()) return std::string(sBytes);
    if (std::none_of(sBytes.begin(), sBytes.end(), [&](char c) { return byte(c) >= 0x80 && byte(c) < 0xA0; }))
        return Utility::Latin1ToUtf8(sBytes);
    // A character that the end of a cut answer cuts off: its lead byte and the continuation
    // bytes that came.
    const std::string_view sTail = sBytes.substr(i);
    const unsigned char b = byte(sTail[0]);
    const std::size_t iLength = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
    const bool fCut = b >= 0xC2 && b <= 0xF4 && sTail.size() < iLength &&
                      std::all_of(sTail.begin() + 1, sTail.end(), [&](char c) { return (byte(c) & 0xC0) == 0x80; });
    if (!fCut) return std::nullopt;
    return std::string(sBytes.substr(0, i)) + "\xEF\xBF\xBD";
}

uIdn ParseIdn(std::string_view sAnswer) {
    uIdn idn;
    const std::optional<std::string> sText = AnswerText(sAnswer);
    if (!sText) {
        idn.failure.eType = Failure::eKind::BadAnswer;
        idn.failure.eAt = Failure::eStep::Receive;
        idn.failure.iReceived = static_cast<std::int64_t>(sAnswer.size());
        idn.failure.fNoText = true;
        return idn;
    }
    const std::size_t iEnd = sText->find_last_not_of(" \t\r\n");
    idn.sIdn = iEnd == std::string::npos ? std::string() : sText->substr(0, iEnd + 1);
    const std::vector<std::string> f = Fields(FixIdnAnswer(idn.sIdn), 4);
    idn.sManufacturer = f[0];
    idn.sModel = f[1];
    idn.sSerialNumber = f[2];
    idn.sFirmware = f[3];
    return idn;
}

} // namespace Instrument
