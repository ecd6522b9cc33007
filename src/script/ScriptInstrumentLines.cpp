#include "script/ScriptInstrumentLines.h"

#include <array>

namespace InstrumentScript {
namespace {

constexpr std::array<std::string_view, 4> InterfaceWords{"usbtmc", "vxi", "rawtcp", "serial"};

bool IsOneOf(std::string_view sWord, std::initializer_list<std::string_view> list) {
    for (std::string_view s : list) {
        if (s == sWord) return true;
    }
    return false;
}

// Reads the words of a parameter text in order, as typed and in lower case.
struct uWords {
    std::string_view sTyped;
    std::string sLower;
    explicit uWords(std::string_view s) : sTyped(s), sLower(LowerKeepingPositions(s)) {}
    std::string Typed(std::size_t i) const { return std::string(Word(sTyped, i)); }
    std::string Lower(std::size_t i) const { return std::string(Word(sLower, i)); }
};

} // namespace

std::int64_t GetInterfaceType(std::string_view sWord, std::int64_t iWanted) {
    for (std::size_t i = 0; i < InterfaceWords.size(); ++i) {
        if (InterfaceWords[i] == sWord) return iWanted == 0 ? 1 : static_cast<std::int64_t>(i) + 1;
    }
    return 0;
}

bool CheckUsbTmcParameters(std::string_view sParameters, uScriptInstrument& d, std::string& sError) {
    const uWords w(sParameters);
    // Hexadecimal digits in either case name the same device: VID and PID are kept in lower case.
    d.VID = w.Lower(0);
    if (d.VID.empty()) {
        sError = "The vendor ID (VID) was not specified for the interface.";
        return false;
    }
    d.PID = w.Lower(1);
    if (d.PID.empty()) {
        sError = "The product ID (PID) was not specified for the interface.";
        return false;
    }
    d.SerialNumber = w.Typed(2);
    return true;
}

bool CheckVxiParameters(std::string_view sParameters, uScriptInstrument& d, std::string& sError) {
    const uWords w(sParameters);
    d.VxiIpAddress = w.Typed(0);
    if (d.VxiIpAddress.empty()) {
        sError = "The IP address for the instrument was not specified.";
        return false;
    }
    d.VxiPort = w.Typed(1);
    if (!d.VxiPort.empty()) d.VxiLocalIpAddress = w.Typed(2);
    return true;
}

bool CheckRawTcpParameters(std::string_view sParameters, uScriptInstrument& d, std::string& sError) {
    const uWords w(sParameters);
    d.RawTcpIpAddress = w.Typed(0);
    if (d.RawTcpIpAddress.empty()) {
        sError = "The IP address for the instrument was not specified.";
        return false;
    }
    d.RawTcpPort = w.Typed(1);
    if (d.RawTcpPort.empty()) {
        sError = "The port for the interface was not specified.";
        return false;
    }
    d.RawTcpLocalIpAddress = w.Typed(2);
    return true;
}

bool CheckSerialParameters(std::string_view sParameters, uScriptInstrument& d, std::string& sError) {
    const uWords w(sParameters);
    d.SerialPort = w.Typed(0);
    if (d.SerialPort.empty()) {
        sError = "The port for the interface was not specified.";
        return false;
    }
    d.SerialBaud = "9600";
    d.SerialDataBits = "8";
    d.SerialStopBits = "1";
    d.SerialParity = "none";
    d.SerialFlowControl = "none";
    // Each word is read only while every earlier one was given.
    const std::string sBaud = w.Typed(1);
    if (sBaud.empty()) return true;
    d.SerialBaud = sBaud;
    const std::string sDataBits = w.Lower(2);
    if (sDataBits.empty()) return true;
    if (!IsOneOf(sDataBits, {"7", "8"})) {
        sError = "The number of data bits is invalid.";
        return false;
    }
    d.SerialDataBits = sDataBits;
    const std::string sStopBits = w.Lower(3);
    if (sStopBits.empty()) return true;
    if (!IsOneOf(sStopBits, {"1", "1.5", "2"})) {
        sError = "The number of stop bits is invalid.";
        return false;
    }
    d.SerialStopBits = sStopBits;
    const std::string sParity = w.Lower(4);
    if (sParity.empty()) return true;
    if (!IsOneOf(sParity, {"none", "odd", "even", "mark", "space"})) {
        sError = "The parity specification is invalid.";
        return false;
    }
    d.SerialParity = sParity;
    const std::string sFlow = w.Lower(5);
    if (sFlow.empty()) return true;
    if (!IsOneOf(sFlow, {"none", "rtson", "rtscts", "xon"})) {
        sError = "The flow control specification is invalid.";
        return false;
    }
    d.SerialFlowControl = sFlow;
    return true;
}

bool CheckInterfaceParameters(std::int64_t iType, std::string_view sParameters, uScriptInstrument& d,
                              std::string& sError) {
    switch (iType) {
    case 1: return CheckUsbTmcParameters(sParameters, d, sError);
    case 2: return CheckVxiParameters(sParameters, d, sError);
    case 3: return CheckRawTcpParameters(sParameters, d, sError);
    case 4: return CheckSerialParameters(sParameters, d, sError);
    default: return false;
    }
}

bool CompareInstrumentDefinition(const uScriptInstrument& a, const uScriptInstrument& b) {
    if (a.InterfaceType != b.InterfaceType) return false;
    switch (a.InterfaceType) {
    case 0: return true;
    case 1: return a.VID == b.VID && a.PID == b.PID && a.SerialNumber == b.SerialNumber;
    case 2:
        return a.VxiIpAddress == b.VxiIpAddress && a.VxiPort == b.VxiPort && a.VxiLocalIpAddress == b.VxiLocalIpAddress;
    case 3:
        return a.RawTcpIpAddress == b.RawTcpIpAddress && a.RawTcpPort == b.RawTcpPort &&
               a.RawTcpLocalIpAddress == b.RawTcpLocalIpAddress;
    case 4:
        return a.SerialPort == b.SerialPort && a.SerialBaud == b.SerialBaud && a.SerialDataBits == b.SerialDataBits &&
               a.SerialStopBits == b.SerialStopBits && a.SerialParity == b.SerialParity &&
               a.SerialFlowControl == b.SerialFlowControl;
    default: return false;
    }
}

bool CheckInstrument(uScriptParse& parse, uScriptLine& line, std::string& sError) {
    const std::string sLower = LowerKeepingPositions(line.sText);
    if (Word(sLower, 0) != "instrument") {
        sError = "The keyword is not present: instrument";
        return false;
    }
    const std::string sSecond(Word(sLower, 1));
    if (sSecond.empty()) {
        sError = "An instrument name or interface was not specified.";
        return false;
    }
    uScriptInstrument definition;
    std::size_t iInterfaceWord = 1;
    if (sSecond.front() == '$') {
        if (sSecond == "$") {
            sError = "The instrument name was not specified.";
            return false;
        }
        definition.Name = sSecond;
        iInterfaceWord = 2;
        if (Word(sLower, 2).empty()) {
            sError = "The interface was not specified.";
            return false;
        }
    }
    const std::string sInterface(Word(sLower, iInterfaceWord));
    if (GetInterfaceType(sInterface, 0) == 0) {
        sError = "The interface name is not allowed: " + sInterface;
        return false;
    }
    definition.InterfaceType = GetInterfaceType(sInterface, 1);
    if (Word(sLower, iInterfaceWord + 1).empty()) {
        sError = "The parameters for the interface were not specified.";
        return false;
    }
    // Lower case keeps every byte position: the parameters are cut from the line as typed.
    std::size_t iParameters = 0;
    for (std::size_t i = 0; i <= iInterfaceWord; ++i) iParameters += Word(sLower, i).size() + 1;
    if (!CheckInterfaceParameters(definition.InterfaceType, From(line.sText, iParameters), definition, sError)) {
        return false;
    }
    if (!definition.Name.empty()) {
        const auto it = parse.mInstruments.find(definition.Name);
        if (it != parse.mInstruments.end()) {
            if (!CompareInstrumentDefinition(*it->second->instrument, definition)) {
                sError = "The instrument is already present, with a different interface or parameters: " +
                         it->second->instrument->Name;
                return false;
            }
            line.fParsed = 1;
            return true;
        }
    }
    uScriptTask& task = parse.AddTask(eScriptTaskType::Instrument, line);
    task.Execute = 1;
    *task.instrument = std::move(definition);
    if (!task.instrument->Name.empty()) parse.mInstruments.emplace(task.instrument->Name, &task);
    line.fParsed = 1;
    return true;
}

bool CheckInstrumentSelect(uScriptParse& parse, uScriptLine& line, std::string& sError) {
    const std::string sLower = LowerKeepingPositions(line.sText);
    const std::string sName(Word(sLower, 0));
    if (sName.empty() || sName.front() != '$') {
        sError = "The instrument name was not specified.";
        return false;
    }
    if (!parse.mInstruments.count(sName)) {
        sError = "The selected instrument is not present.";
        return false;
    }
    const std::string sSecond(Word(sLower, 1));
    if (sSecond == "set") return CheckInstrumentSet(parse, sName, line, sError);
    if (!sSecond.empty()) {
        sError = "This instruction is not allowed: " + sSecond;
        return false;
    }
    uScriptTask& task = parse.AddTask(eScriptTaskType::InstrumentSelect, line);
    task.Execute = 1;
    task.select->Name = sName;
    line.fParsed = 1;
    return true;
}

bool CheckInstrumentSet(uScriptParse& parse, const std::string& sName, uScriptLine& line, std::string& sError) {
    const std::string sLower = LowerKeepingPositions(line.sText);
    const std::string sSetting(Word(sLower, 2));
    if (sSetting.empty()) {
        sError = "The parameters for the instruction were not specified.";
        return false;
    }
    if (!IsOneOf(sSetting, {"local", "remote", "timeout", "termchar", "wait"})) {
        sError = "This instruction is not allowed: " + sSetting;
        return false;
    }
    uScriptTask& task = parse.AddTask(eScriptTaskType::InstrumentSet, line);
    task.Execute = 1;
    task.setting->Name = sName;
    task.setting->Setting = sSetting;
    task.setting->Value = std::string(Word(sLower, 3));
    if (!task.setting->Value.empty()) task.setting->Value2 = std::string(Word(sLower, 4));
    line.fParsed = 1;
    return true;
}

} // namespace InstrumentScript
