// The main window's instrument: connecting the instrument that the instrument list chose,
// showing and announcing it, disconnecting it, and the instrument list's search after USB
// devices came or went.
#include "app/ChildWindow.h"
#include "app/Window.h"
#include "app/WindowStart.h"
#include "common/EventData.h"
#include "common/NumberText.h"
#include "common/UtilityGui.h"
#include "common/WindowLog.h"
#include "instrument/ConnectionFailure.h"
#include "instrument/ModelCommands.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowFrame.h"
#include "platform/WindowRegistry.h"
#include "transport/DataBuffers.h"

#include <QLabel>
#include <QStatusBar>
#include <QString>

#include <algorithm>
#include <cstdio>

namespace WindowStart {
namespace {

constexpr int SearchAfterConnect = 100;
constexpr int SearchAfterLoss = 500;

std::intptr_t Address(const InstrumentObject& object) { return reinterpret_cast<std::intptr_t>(object.get()); }

// Queues the window's disconnect, whose result nobody waits for: it gives back the window's
// hold on the connection, and only that.
void QueueDisconnect(const InstrumentObject& object, int iWindow) {
    if (!object || !object->pInterface) return;
    std::string sError;
    uTaskDisconnect task;
    task.head.iWindow = WindowNobody;
    task.head.iOwner = iWindow;
    if (object->pInterface->AddTask(*object, task, sError) == 0 && !sError.empty()) WindowLog::AddError(sError);
}

// Takes the object out of the window's pending connects; nullptr when it was not pending.
InstrumentObject TakePending(uWindowStart* pWindow, std::intptr_t iObject) {
    auto& m = pWindow->mPendingConnects;
    const auto it = std::find_if(m.begin(), m.end(), [iObject](const InstrumentObject& p) { return Address(p) == iObject; });
    if (it == m.end()) return nullptr;
    InstrumentObject object = *it;
    m.erase(it);
    return object;
}

// Queues disconnect tasks behind the connects still pending: each gives back what its connect
// took, and the connect's result finds the window no longer waiting for it.
void DropPendingConnects(uWindowStart* pWindow) {
    for (const InstrumentObject& object : pWindow->mPendingConnects) QueueDisconnect(object, pWindow->iWindow);
    pWindow->mPendingConnects.clear();
}

// Timer 4 of every instrument list window of the program.
void StartListSearches(int iMilliseconds) {
    for (const uChildWindow& child : Children()) {
        if (child.iKind == WindowKindSelectInstrument && ChildWindow::Find(child.iWindow)) {
            WindowRegistry::StartTimer(child.iWindow, TimerInstrumentListSearch, iMilliseconds);
        }
    }
}

void SetStatus(uWindowStart* pWindow, const std::string& sText) {
    Utility::SetStatusText(pWindow->pStatusBar, sText);
}

// A text about the connect under way: in the status line of the window that asked for it (the
// instrument list), or of the main window when that one has closed meanwhile.
void ShowConnectText(uWindowStart* pWindow, const std::string& sText) {
    if (pWindow->iRequestingWindow != 0 && WindowRegistry::IsOpen(pWindow->iRequestingWindow)) {
        EventHub::PostEvent(EventStatusText, pWindow->iRequestingWindow, 0, 0, EventHub::Payload::Of<std::string>(sText));
    } else {
        SetStatus(pWindow, sText);
    }
}

// A connect that failed: why, where the connect was asked for.
void ShowConnectFailure(uWindowStart* pWindow, const InstrumentObject& object, const uEventData& record) {
    uInfo details;
    std::string sIgnored;
    if (!object->pInterface->GetInfo(*object, details, sIgnored)) return;
    const std::string sText =
        "The instrument could not be connected: " + Instrument::ConnectFailureReason(details.connection, record.failure);
    WindowLog::AddError(sText); // whole, where the status line may cut it off
    ShowConnectText(pWindow, sText);
}

std::string Hex(std::int64_t iValue) {
    char s[24];
    std::snprintf(s, sizeof s, "%llX", static_cast<unsigned long long>(iValue));
    return s;
}

// Tells the children of the main window what became of its instrument: disconnected (they drop
// it), or lost (they keep it, shown not connected, and their next request tries to open it).
void TellChildren(int iWindow, const InstrumentObject& object, bool fLost) {
    for (const uChildWindow& child : Children()) {
        if (child.iOwner == iWindow && ChildWindow::Find(child.iWindow)) {
            EventHub::PostEvent(EventInstrumentDisconnected, child.iWindow, fLost ? 1 : 0, Address(object),
                                EventHub::Payload::Of<InstrumentObject>(object));
        }
    }
}

// A lost instrument that the user gives up (another one chosen, a disconnect, the window closed):
// the window lets go of its hold, and the children drop it as at a disconnect.
void ReleaseLost(int iWindow, uWindowStart* pWindow) {
    if (!std::exchange(pWindow->info.fLost, false)) return;
    QueueDisconnect(pWindow->info.pInstrument, iWindow);
    WindowLog::AddLine(pWindow->info.sModel + ": disconnected");
    TellChildren(iWindow, pWindow->info.pInstrument, false);
    if (pWindow->pFrame) pWindow->pFrame->setWindowTitle(Title);
    pWindow->info.icon.mIconFile.clear();
}

} // namespace

std::string ScriptParameters(const uTaskPrepare& c) {
    static const char* const mParity[] = {"none", "odd", "even", "mark", "space"};
    static const char* const mHandshake[] = {"none", "rtson", "rtscts", "xon"};
    switch (c.eInterface) {
    case InterfaceUsbTmc:
        return "usbtmc " + Hex(c.usb.iVendorId) + " " + Hex(c.usb.iProductId) + " " + c.usb.sSerialNumber;
    case InterfaceVxi11:
        return "vxi " + c.vxi11.sInstrumentIp + " " + std::to_string(c.vxi11.iCorePort) + " " + c.vxi11.sAdapterIp;
    case InterfaceRawTcp:
        return "rawtcp " + c.rawTcp.sInstrumentIp + " " + std::to_string(c.rawTcp.iPort) + " " + c.rawTcp.sAdapterIp;
    case InterfaceSerial: {
        const auto name = [](const char* const* m, std::size_t n, std::int64_t i) {
            return i >= 0 && static_cast<std::size_t>(i) < n ? std::string(m[i]) : std::to_string(i);
        };
        return "serial " + c.serial.sPort + " " + std::to_string(c.serial.iBaudRate) + " " +
               std::to_string(c.serial.iDataBits) + " " + Utility::FormatDoubleFast(c.serial.fStopBits, 3) + " " +
               name(mParity, std::size(mParity), c.serial.iParity) + " " +
               name(mHandshake, std::size(mHandshake), c.serial.iHandshake);
    }
    default: return "";
    }
}

int OpenInstrument(int iWindow, const InstrumentObject& object, int iRequestingWindow) {
    uWindowStart* pWindow = nullptr;
    if (!GetInstance(iWindow, &pWindow)) return 0;
    if (pWindow->info.fConnected) {
        WindowLog::AddError("WindowStart::OpenInstrument: There is already an instrument connected.");
        return 0;
    }
    if (!object || !object->pInterface) {
        WindowLog::AddError("WindowStart::OpenInstrument: The instrument for the connection is not valid.");
        return 0;
    }
    if (object != pWindow->info.pInstrument) ReleaseLost(iWindow, pWindow);
    pWindow->info.pInstrument = object;
    uTaskConnect task;
    task.head.iWindow = iWindow;
    std::string sError;
    if (object->pInterface->AddTask(*object, task, sError) == 0) {
        WindowLog::AddError("WindowStart::OpenInstrument: The task for connecting to the instrument could not be created.");
        return 0;
    }
    pWindow->mPendingConnects.push_back(object);
    pWindow->iRequestingWindow = iRequestingWindow;
    // The connect may wait for its whole time-out on an address where nothing answers.
    uInfo details;
    if (object->pInterface->GetInfo(*object, details, sError)) {
        ShowConnectText(pWindow, "Connecting to " + Instrument::ConnectionPlace(details.connection) + " ...");
    }
    return 0;
}

void InstrumentConnected(int iWindow, const InstrumentObject& object) {
    uWindowStart* pWindow = nullptr;
    if (!GetInstance(iWindow, &pWindow)) return;
    uInstrumentWindowInfo& info = pWindow->info;
    if (object != info.pInstrument || info.fConnected) {
        // A connect that was overtaken by a later request: nobody would ever close it. (A second
        // connect of the window's own instrument added nothing to the window's hold.)
        if (object != info.pInstrument) {
            WindowLog::AddError("WindowStart::InstrumentConnected: The connected instrument does not match the existing "
                                "instrument.");
            QueueDisconnect(object, iWindow);
        }
        return;
    }
    uInfo details;
    std::string sError;
    if (!object->pInterface->GetInfo(*object, details, sError)) {
        QueueDisconnect(object, iWindow);
        return;
    }
    info.fConnected = true;
    info.fLost = false;
    info.eProtocol = static_cast<::eProtocol>(details.connection.eProtocol);
    info.eModel = static_cast<::eModel>(details.connection.eModel);
    info.sManufacturer = details.idn.sManufacturer;
    info.sModel = Instrument::ShownName(details.connection, details.idn); // what the children show too
    Instrument::FreeDataBuffers(info.sendData, info.receiveData);
    WindowLog::AddLine("Connect to the instrument: " + info.sModel);

    if (pWindow->pFrame) {
        Instrument::GetModelCommands(info.eModel, info.commands);
        Instrument::GetModelCapabilities(info.eModel, info.capabilities);
    }
    info.icon.mIconFile = object->pInterface->GetIcon(*object, IconKindLarge, sError).iconFile;

    if (pWindow->pFrame) pWindow->pFrame->setWindowTitle(QString(Title) + " - " + QString::fromStdString(info.sModel));
    // An instrument described by hand is identified as it connects: a connection on which nothing
    // answered (a serial line with nothing on it) or noise came stays open, but the user learns
    // that no instrument is there, that it answered with an empty line, that its answer did not
    // end as the chosen model's answers end, or that it was no text and the line's settings are
    // to be checked.
    const std::string sNotIdentified = Instrument::NotIdentifiedText(details.connection, details.idn);
    if (sNotIdentified.empty()) {
        SetStatus(pWindow, info.sManufacturer + " " + info.sModel + " - Serial number: " + details.idn.sSerialNumber +
                               " - Firmware: " + details.idn.sFirmware);
    } else {
        SetStatus(pWindow, sNotIdentified);
    }
    WindowLog::AddLine(info.sModel + ": connected");
    if (!sNotIdentified.empty()) WindowLog::AddError(sNotIdentified);
    WindowLog::AddLine(info.sModel + " - for the Script:  instrument " + ScriptParameters(details.connection));

    UpdateMenuState(iWindow);
    if (pWindow->iRequestingWindow != 0 && WindowRegistry::IsOpen(pWindow->iRequestingWindow)) {
        EventHub::PostEvent(EventCloseWindow, pWindow->iRequestingWindow, 0, 0, ChildWindow::Data(0));
    }
    pWindow->iRequestingWindow = 0;
    if (pWindow->pFrame) Utility::SetWindowIcon(pWindow->pFrame, 0, &info.icon);
    StartListSearches(SearchAfterConnect);
    for (const uChildWindow& child : Children()) {
        if (child.iOwner == iWindow && ChildWindow::Find(child.iWindow)) {
            EventHub::PostEvent(EventInstrumentConnected, child.iWindow, 0, 0,
                                EventHub::Payload::Of<uInstrumentWindowInfo>(info));
        }
    }
}

void TaskFinished(int iWindow, std::intptr_t iObject, std::int64_t eTaskType, const std::int64_t* pKey) {
    uWindowStart* pWindow = nullptr;
    if (!GetInstance(iWindow, &pWindow)) return;
    if (eTaskType == InstrumentTaskConnect) {
        InstrumentObject object = TakePending(pWindow, iObject);
        if (!object) {
            // A connect the window gave up (the user's disconnect came first) had a disconnect of
            // its own queued behind it, which gives back what it took.
            if (Address(pWindow->info.pInstrument) != iObject) {
                WindowLog::AddError("WindowStart::InstrumentConnected: The connected instrument does not match the "
                                    "existing instrument.");
            }
            return;
        }
        InstrumentConnected(iWindow, object);
        return;
    }
    if (eTaskType == InstrumentTaskError) {
        // Only connect tasks report to the main window: that connect has ended.
        const InstrumentObject object = TakePending(pWindow, iObject);
        uEventData record;
        if (pKey && Utility::EventDataTake(std::to_string(*pKey), record)) {
            WindowLog::AddError(record.sModule + "::" + record.sProcedure + ": (" + std::to_string(record.iValue) + ") " +
                                record.sText);
            if (object && !pWindow->info.fConnected) ShowConnectFailure(pWindow, object, record);
        }
    }
    // Any other result: its data goes with the event.
}

int CloseInstrument(int iWindow) {
    uWindowStart* pWindow = nullptr;
    if (!GetInstance(iWindow, &pWindow)) return 0;
    // A connect still on its way (a lost instrument's regain, a second choice of the same one) is
    // given up with the instrument: its result leaves the window disconnected.
    DropPendingConnects(pWindow);
    ReleaseLost(iWindow, pWindow);
    uInstrumentWindowInfo& info = pWindow->info;
    const bool fWasConnected = info.fConnected;
    if (fWasConnected) {
        uInfo details;
        std::string sError;
        std::string sModel = info.sModel;
        if (info.pInstrument && info.pInstrument->pInterface->GetInfo(*info.pInstrument, details, sError)) {
            sModel = Instrument::ShownName(details.connection, details.idn);
        }
        info.icon.mIconFile.clear();
        info.fConnected = false;
        QueueDisconnect(info.pInstrument, iWindow);
        if (pWindow->pFrame) pWindow->pFrame->setWindowTitle(Title);
        WindowLog::AddLine(sModel + ": disconnected");
    }
    UpdateMenuState(iWindow);
    SetStatus(pWindow, "");
    if (pWindow->pFrame) Utility::SetWindowIcon(pWindow->pFrame, 0, &info.icon);
    if (fWasConnected) {
        // A disconnect that closes the connection frees it, which refills the lists (InstrumentFreed).
        TellChildren(iWindow, info.pInstrument, false);
    }
    return 0;
}

void InstrumentLost(std::intptr_t iObject, const std::string& sReason) {
    for (const int iWindow : Windows()) {
        uWindowStart* pWindow = nullptr;
        if (!GetInstance(iWindow, &pWindow) || !pWindow->info.fConnected || Address(pWindow->info.pInstrument) != iObject)
            continue;
        // The window keeps its hold and its instrument, shown lost: the next request of the window
        // or its children opens it again, and so may a script; "&Disconnect" gives it up.
        uInstrumentWindowInfo& info = pWindow->info;
        WindowLog::AddError(info.sModel + ": " + Instrument::DroppedText + " - " + sReason);
        info.fConnected = false;
        info.fLost = true;
        UpdateMenuState(iWindow);
        StartListSearches(SearchAfterLoss);
        TellChildren(iWindow, info.pInstrument, true);
        SetStatus(pWindow, std::string(Instrument::DroppedText) +
                               " It could not be opened again; the next request tries again.");
    }
}

void InstrumentRegained(std::intptr_t iObject) {
    for (const int iWindow : Windows()) {
        uWindowStart* pWindow = nullptr;
        // Only a window that lost it and still holds it: one the user disconnected stays so.
        if (!GetInstance(iWindow, &pWindow) || pWindow->info.fConnected || !pWindow->info.fLost ||
            !pWindow->info.pInstrument || Address(pWindow->info.pInstrument) != iObject ||
            !pWindow->mPendingConnects.empty())
            continue;
        OpenInstrument(iWindow, pWindow->info.pInstrument, 0);
    }
}

void InstrumentFreed() { StartListSearches(SearchAfterConnect); }

void DeviceChanged(int iWindow) {
    if (GetInstance(iWindow, nullptr)) WindowRegistry::StartTimer(iWindow, TimerDeviceChange, DeviceChangeDelay);
}

} // namespace WindowStart
