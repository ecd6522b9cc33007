#include "instrument/ManualInstruments.h"

#include "common/Ini.h"
#include "common/TextRoutines.h"
#include "common/WindowLog.h"
#include "instrument/Instrument.h"
#include "instrument/InstrumentObject.h"
#include "platform/ProgramEvents.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <vector>

namespace Instrument {
namespace {

const std::string Prefix = "Instrument::InstrumentLoadManuallyAdded: ";

// Field n (from 1) of a record; a missing field is empty.
std::string Field(const std::vector<std::string>& fields, std::size_t n) {
    return n >= 1 && n <= fields.size() ? fields[n - 1] : std::string();
}

std::vector<std::string> Fields(std::string_view sValue) {
    std::vector<std::string> fields;
    Utility::SplitStringToList(sValue, fields, "||");
    return fields;
}

// The head and user model of every manual record.
void BeginRecord(const std::vector<std::string>& fields, uTaskPrepare& prepare) {
    prepare = uTaskPrepare{};
    prepare.head = {InstrumentTaskPrepare, 0, WindowNobody};
    prepare.fUserModel = 1;
    prepare.sUserManufacturer = Field(fields, 1);
    prepare.sUserModel = Field(fields, 2);
}

// Skips leading blanks; returns where the number starts.
std::size_t NumberStart(std::string_view sText) {
    std::size_t i = 0;
    while (i < sText.size() && (sText[i] == ' ' || sText[i] == '\t')) ++i;
    if (i < sText.size() && sText[i] == '+') ++i; // from_chars takes no plus sign
    return i;
}

// The log texts of one group.
struct uGroupTexts {
    const char* sNotCreated;
    const char* sNoPrepare;
};

constexpr uGroupTexts LanTexts{"The manually added LAN instrument could Not be created.",
                               "The prepare task for the manually added LAN instrument could not be created."};
constexpr uGroupTexts SerialTexts{"The manually added serial instrument could not be created.",
                                  "The prepare task for the manually added serial instrument could not be created."};

void PostLines(const std::string& sFirst, const std::string& sName, const std::string& sError) {
    WindowLog::PostError(Prefix + sFirst);
    WindowLog::PostError(sName);
    WindowLog::PostError(sError);
}

// Whether the file has the group. Selecting a group that is missing would add it to the file.
bool HasGroup(const uIni* pIni, std::string_view sGroup) {
    const auto same = [&](const std::string& sName) {
        return std::equal(sName.begin(), sName.end(), sGroup.begin(), sGroup.end(), [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
        });
    };
    return std::any_of(pIni->mLines.begin(), pIni->mLines.end(),
                       [&](const uIniLine& line) { return line.iKind == IniLineSection && same(line.sName); });
}

// One group: every key's value becomes a record; records already listed create nothing.
template <class FillRecord> void LoadGroup(uIni* pIni, const char* sGroup, const uGroupTexts& texts, FillRecord fill) {
    if (!HasGroup(pIni, sGroup) || !Ini::SelectSection(pIni, sGroup)) return;
    const int iKeys = Ini::ExamineKeys(pIni);
    for (int i = 0; i < iKeys && Ini::NextKey(pIni); ++i) {
        const std::string sValue = Ini::KeyValue(pIni);
        const std::vector<std::string> fields = Fields(sValue);
        const std::string sName = Prefix + Field(fields, 1) + " " + Field(fields, 2);
        uTaskPrepare prepare;
        if (!fill(sValue, prepare)) {
            // Such an object could never connect: it is not made.
            PostLines("The connection type of the manually added LAN instrument is neither 'LXI' nor 'Raw'.", sName,
                      Prefix + std::string("Connection type = '") + Field(fields, 9) + "'");
            continue;
        }
        std::string sError;
        bool fCreated = false;
        const InstrumentObject object = FindOrCreate(prepare, fCreated, sError);
        if (!object) {
            PostLines(texts.sNotCreated, sName, sError);
        } else if (fCreated && object->pInterface->AddTask(*object, prepare, sError) == 0) {
            PostLines(texts.sNoPrepare, sName, sError);
        }
    }
}

} // namespace

std::int64_t LeadingInteger(std::string_view sText) {
    std::int64_t iValue = 0;
    const std::size_t i = NumberStart(sText);
    const auto result = std::from_chars(sText.data() + i, sText.data() + sText.size(), iValue);
    return result.ec == std::errc() ? iValue : 0;
}

float LeadingFloat(std::string_view sText) {
    float fValue = 0.0F;
    const std::size_t i = NumberStart(sText);
    const auto result =
        std::from_chars(sText.data() + i, sText.data() + sText.size(), fValue, std::chars_format::fixed);
    return result.ec == std::errc() ? fValue : 0.0F;
}

bool ManualLanRecord(std::string_view sValue, uTaskPrepare& prepare) {
    const std::vector<std::string> fields = Fields(sValue);
    BeginRecord(fields, prepare);
    const std::string sType = Field(fields, 9);
    if (sType == "LXI") {
        prepare.eProtocol = prepare.eInterface = InterfaceVxi11;
        prepare.vxi11.sInstrumentIp = Field(fields, 3);
        prepare.vxi11.iPortmapperPort = LeadingInteger(Field(fields, 4));
        prepare.vxi11.iCorePort = LeadingInteger(Field(fields, 5));
        prepare.vxi11.sAdapterIp = Field(fields, 8);
        return true;
    }
    if (sType == "Raw") {
        prepare.eProtocol = prepare.eInterface = InterfaceRawTcp;
        prepare.rawTcp.sInstrumentIp = Field(fields, 3);
        prepare.rawTcp.iPort = LeadingInteger(Field(fields, 6));
        prepare.rawTcp.sAdapterIp = Field(fields, 8);
        return true;
    }
    return false;
}

void ManualSerialRecord(std::string_view sValue, uTaskPrepare& prepare) {
    const std::vector<std::string> fields = Fields(sValue);
    BeginRecord(fields, prepare);
    prepare.eProtocol = prepare.eInterface = InterfaceSerial;
    prepare.serial.sPort = Field(fields, 3);
    // Older records hold the speed and the stop bits as the user's locale showed them: the
    // speed with grouping characters ("9.600", "9,600", "9 600", "9'600", a no-break space),
    // the stop bits with a decimal comma ("1,5").
    std::string sBaud = Field(fields, 4);
    std::erase_if(sBaud, [](char c) {
        return c == '.' || c == ',' || c == ' ' || c == '\'' || static_cast<unsigned char>(c) >= 0x80;
    });
    prepare.serial.iBaudRate = LeadingInteger(sBaud);
    prepare.serial.iDataBits = LeadingInteger(Field(fields, 5));
    std::string sStopBits = Field(fields, 6);
    std::replace(sStopBits.begin(), sStopBits.end(), ',', '.');
    prepare.serial.fStopBits = LeadingFloat(sStopBits);
    prepare.serial.iParity = LeadingInteger(Field(fields, 7));
    prepare.serial.iHandshake = LeadingInteger(Field(fields, 8));
}

void InstrumentLoadManuallyAdded(uIni* pIni) {
    if (!pIni) return;
    LoadGroup(pIni, ManualLanGroup, LanTexts, ManualLanRecord);
    LoadGroup(pIni, ManualSerialGroup, SerialTexts, [](std::string_view sValue, uTaskPrepare& prepare) {
        ManualSerialRecord(sValue, prepare);
        return true;
    });
}

} // namespace Instrument
