#include "script/ScriptInstrument.h"

#include "common/TextRoutines.h"
#include "instrument/ConnectionFailure.h"
#include "instrument/InstrumentObject.h"
#include "instrument/TaskRecords.h"
#include "platform/OsVersion.h"
#include "platform/ProgramEvents.h"
#include "script/ScriptConvert.h"
#include "script/ScriptEnvironment.h"
#include "script/ScriptFunctionLines.h"

#include <cstdio>
#include <mutex>

namespace InstrumentScript {
namespace {

std::int64_t WordCode(const std::string& sWord, std::initializer_list<const char*> words) {
    std::int64_t i = 0;
    for (const char* p : words) {
        if (sWord == p) return i;
        ++i;
    }
    return 0;
}

std::string HexBytes(const std::string& sText) {
    std::string s;
    for (unsigned char c : sText) {
        char buffer[4];
        std::snprintf(buffer, sizeof buffer, "%02X", c);
        if (!s.empty()) s += ',';
        s += buffer;
    }
    return s;
}

bool CheckTaskPointers(const uScriptThread* pThread, const uScriptTask* pTask, const char* sProcedure,
                       std::string& sError) {
    if (!pThread || !pThread->pInstance) sError = std::string("InstrumentScript::") + sProcedure + ": The pointer to the instance is zero.";
    else if (!pTask) sError = std::string("InstrumentScript::") + sProcedure + ": The pointer to the script task is zero.";
    else return true;
    return false;
}

// Writes a declaration's object where the stop reads it.
void StoreInstrument(uScriptTask& task, const InstrumentObject& pObject, bool fCreated) {
    std::lock_guard lock(ModuleMutex());
    task.instrument->pInstrument = pObject;
    task.instrument->fCreatedUnconnected = fCreated;
}

} // namespace

std::int64_t HexIdValue(std::string_view sText) {
    if (sText.size() >= 2 && sText[0] == '0' && (sText[1] == 'x' || sText[1] == 'X')) sText.remove_prefix(2);
    return TextToInteger("$" + std::string(sText));
}

uTaskPrepare ConnectionDescription(const uScriptInstrument& d) {
    uTaskPrepare p;
    p.eInterface = d.InterfaceType;
    p.eProtocol = d.InterfaceType;
    p.fUserModel = 1;
    switch (d.InterfaceType) {
    case 1:
        p.usb.iVendorId = HexIdValue(d.VID);
        p.usb.iProductId = HexIdValue(d.PID);
        p.usb.sSerialNumber = d.SerialNumber;
        break;
    case 2:
        p.vxi11.sAdapterIp = d.VxiLocalIpAddress;
        p.vxi11.sInstrumentIp = d.VxiIpAddress;
        p.vxi11.iPortmapperPort = 111;
        p.vxi11.iCorePort = TextToInteger(d.VxiPort);
        break;
    case 3:
        p.rawTcp.sAdapterIp = d.RawTcpLocalIpAddress;
        p.rawTcp.sInstrumentIp = d.RawTcpIpAddress;
        p.rawTcp.iPort = TextToInteger(d.RawTcpPort);
        break;
    case 4: {
        p.serial.sPort = d.SerialPort;
        p.serial.iBaudRate = TextToInteger(d.SerialBaud);
        p.serial.iDataBits = TextToInteger(d.SerialDataBits);
        p.serial.fStopBits = static_cast<float>(TextToFloat(d.SerialStopBits));
        const std::string sParity = LowerAscii(d.SerialParity);
        p.serial.iParity = WordCode(sParity, {"none", "odd", "even", "mark", "space"});
        p.serial.iHandshake = WordCode(LowerAscii(d.SerialFlowControl), {"none", "rtson", "rtscts", "xon"});
        break;
    }
    default: break;
    }
    return p;
}

uScriptTask* FindDeclaration(const uScriptProgram& program, const std::string& sName, bool fRan) {
    if (sName.empty()) return nullptr;
    const auto it = program.mInstruments.find(sName);
    if (it == program.mInstruments.end()) return nullptr;
    for (uScriptTask* p : it->second) {
        if (!fRan || p->instrument->pInstrument) return p;
    }
    return nullptr;
}

std::string MakerAndModel(uInstrumentObject& instrument) {
    uInfo info;
    std::string sIgnored;
    if (!instrument.pInterface || !instrument.pInterface->GetInfo(instrument, info, sIgnored)) return " ";
    return info.idn.sManufacturer + " " + info.idn.sModel;
}

bool TaskInstrument(uScriptThread& t, uScriptTask& task, std::string& sError) {
    if (!CheckTaskPointers(&t, &task, "TaskInstrument", sError)) return false;
    t.pActiveInstrumentTask = &task;
    uScriptInstrument& d = *task.instrument;
    if (d.pInstrument) {
        // Back over a declaration (a goto, or a run of the same list again): it is active again.
        t.pActiveInstrument = d.pInstrument;
        PostLine(t, task, " TaskInstrument - Das Instrument schon vorhanden und verbunden.");
        return true;
    }
    uTaskPrepare prepare = ConnectionDescription(d);
    bool fCreated = false;
    std::string sCreate;
    // One step under the instrument list's lock: two scripts declaring the same instrument at
    // once share one object.
    InstrumentObject pObject = Instruments()->FindOrCreate(prepare, fCreated, sCreate);
    if (pObject && !fCreated) {
        PostLine(t, task, " TaskInstrument - Das Instrument ist schon in der Instrumentenliste vorhanden.");
        if (!QueueAwaitedTask(t, *pObject, uTaskConnect{}, InstrumentTaskConnect, sError)) return false;
        StoreInstrument(task, pObject, false);
        PostLine(t, task, " TaskInstrument - Das Instrument wird verbunden.");
        d.fWaitForConnect = 1;
        return true;
    }
    PostLine(t, task, " TaskInstrument - Das Instrument ist noch nicht in der Instrumentenliste vorhanden.");
    if (!pObject) {
        sError = "InstrumentScript::TaskInstrument: Script error: The instrument could not be created. - " + sCreate;
        return false;
    }
    PostLine(t, task, " TaskInstrument - Das Instrument wurde neu erstellt.");
    const bool fWindows2000 = OsVersion::Windows2000();
    prepare.fLibUsb0 = fWindows2000 ? 1 : 0;
    prepare.fLibUsb1 = fWindows2000 ? 0 : 1;
    // The connect result ends the wait; the prepare result's handler queues the connect.
    if (!QueueAwaitedTask(t, *pObject, prepare, InstrumentTaskConnect, sError)) return false;
    StoreInstrument(task, pObject, true);
    PostLine(t, task, " TaskInstrument - Das Instrument wird vorbereitet.");
    d.fWaitForConnect = 1;
    return true;
}

bool TaskInstrumentSelect(uScriptThread& t, uScriptTask& task, std::string& sError) {
    if (!CheckTaskPointers(&t, &task, "TaskInstrumentSelect", sError)) return false;
    uScriptTask* pDeclaration = FindDeclaration(*t.pProgram, task.select->Name, true);
    if (!pDeclaration) return false;
    t.pActiveInstrument = pDeclaration->instrument->pInstrument;
    t.pActiveInstrumentTask = pDeclaration;
    PostLine(t, task, " TaskInstrumentSelect - Das aktive Instrument ist: " + task.select->Name);
    return true;
}

bool TaskInstrumentSet(uScriptThread& t, uScriptTask& task, std::string& sError) {
    if (!CheckTaskPointers(&t, &task, "TaskInstrumentSet", sError)) return false;
    const auto& s = *task.setting;
    uScriptTask* pNamed = FindDeclaration(*t.pProgram, s.Name, true);
    if (pNamed) PostLine(t, task, " TaskInstrumentSet - Das verwendete Instrument ist: " + s.Name);
    if (!t.pActiveInstrument) {
        PostScriptError(t, task, "TaskInstrumentSet", "There is no active instrument.");
        return false;
    }
    if (s.Setting == "wait") {
        // A wait mode belongs to the declaration even before it ran; without one by that name
        // the active declaration takes it.
        uScriptTask* pTarget = pNamed ? pNamed : FindDeclaration(*t.pProgram, s.Name, false);
        if (!pTarget) pTarget = t.pActiveInstrumentTask;
        const std::string sWord = LowerAscii(Utility::TrimCharacters(s.Value, " "));
        std::string sMessage;
        if (sWord == "stbmav") {
            if (pTarget) pTarget->instrument->eScpiWait = 1;
            sMessage = "Es wird auf das MAV-Bit im Statusbyte gewartet.";
        } else if (sWord == "srq") {
            if (pTarget) pTarget->instrument->eScpiWait = 2;
            sMessage = "Es wird auf den Service Request gewartet.";
        } else if (sWord == "scpi") {
            std::int64_t iDelay = TextToInteger(s.Value2);
            if (iDelay < 0) iDelay = 0;
            if (pTarget) pTarget->instrument->iScpiDelay = iDelay;
            sMessage = "Es wird zwischen den SCPI-Kommandos gewartet. Millisekunden: " + std::to_string(iDelay);
        } else {
            if (pTarget) pTarget->instrument->eScpiWait = 0;
            sMessage = "Es wird nicht gewartet bis Daten bereitstehen.";
        }
        PostLine(t, task, " TaskInstrumentSet - " + sMessage);
        return true;
    }
    uTask record;
    std::string sLine;
    if (s.Setting == "local") {
        record = uTaskLocal{};
        sLine = "Das Kommando für das Entsperren wurde gesendet.";
    } else if (s.Setting == "remote") {
        record = uTaskRemote{};
        sLine = "Das Kommando für das Sperren wurde gesendet.";
    } else if (s.Setting == "timeout") {
        uTaskTimeout timeout;
        timeout.iTimeout = TextToInteger(s.Value);
        record = timeout;
        sLine = "Das Kommando für das Setzen der Wartezeit wurde gesendet. Timeout = " +
                std::to_string(timeout.iTimeout) + " ms";
    } else if (s.Setting == "termchar") {
        uTaskTerminationChar termination;
        termination.sTerminationChar = ParseByteList(s.Value);
        sLine = "Das Kommando für die Terminierungszeichen wurde gesendet. Zeichen = " +
                HexBytes(termination.sTerminationChar);
        record = std::move(termination);
    } else {
        return true;
    }
    // The line's own instrument when it has run, else the active one.
    const InstrumentObject pObject = pNamed ? pNamed->instrument->pInstrument : t.pActiveInstrument;
    if (QueueTask(t, *pObject, std::move(record), sError) == 0) {
        PostLine(t, task, " TaskInstrumentSet - Fehler beim Hinzufügen des Tasks.");
        return false;
    }
    PostLine(t, task, " TaskInstrumentSet - " + sLine);
    return true;
}

bool EventInstrumentPrepare(uScriptThread& t, uInstrumentObject& instrument, uScriptTask& task,
                            const EventHub::uEvent&, std::string& sError) {
    // Also when the object reports connected already (a window connected it): the script's own
    // connect ends the wait, and the stop's disconnect balances it.
    PostLine(t, task,
             " Ereignis InstrumentTaskPrepare - Ein Instrument wurde erstellt, es wird jetzt die Verbindung "
             "hergestellt: " +
                 task.instrument->Name);
    if (QueueTask(t, instrument, uTaskConnect{}, sError) == 0) {
        PostError(t, sError, "EventInstrumentPrepare");
        return false;
    }
    return true;
}

bool EventInstrumentConnect(uScriptThread& t, uInstrumentObject& instrument, uScriptTask& task,
                            const EventHub::uEvent&, std::string&) {
    t.pActiveInstrument = instrument.shared_from_this();
    {
        std::lock_guard lock(ModuleMutex());
        task.instrument->fCreatedUnconnected = false;
    }
    uInfo info;
    std::string sIgnored;
    if (instrument.pInterface) instrument.pInterface->GetInfo(instrument, info, sIgnored);
    const std::string& sName = task.instrument->Name;
    // An instrument whose identification gave none (noise, no answer) is named by why.
    const std::string sWhy = Instrument::NotIdentifiedText(info.connection, info.idn);
    PostLine(t, task, " Ereignis InstrumentTaskConnect - Ein Instrument wurde verbunden: " + sName + " - " +
                          (sWhy.empty() ? info.idn.sIdn : sWhy));
    PostLine(t, task, " Ereignis InstrumentTaskConnect - Das aktive Instrument ist: " + sName + " - " +
                          info.idn.sManufacturer + " " + info.idn.sModel);
    return true;
}

bool EventInstrumentDisconnect(uScriptThread& t, uInstrumentObject&, uScriptTask& task, const EventHub::uEvent&,
                               std::string&) {
    PostLine(t, task, " Ereignis InstrumentTaskDisconnect - Ein Instrument ist nicht mehr verbunden.");
    return true;
}

void ReleaseRefused(const uScriptProgram& program) {
    std::vector<InstrumentObject> refused;
    {
        std::lock_guard lock(ModuleMutex());
        for (const uScriptTask& task : program.mTasks) {
            if (task.eTaskType == eScriptTaskType::Instrument && task.instrument->fCreatedUnconnected)
                refused.push_back(task.instrument->pInstrument);
        }
    }
    for (const InstrumentObject& pObject : refused) {
        // The open instrument lists refill, as when an instrument is freed.
        if (Instruments()->ReleaseUnused(pObject))
            EventHub::PostEvent(EventInstrumentFreed, 0, reinterpret_cast<std::intptr_t>(pObject.get()));
    }
}

} // namespace InstrumentScript
