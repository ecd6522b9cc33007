// The search for instruments and the instrument list of the selection window: releasing what
// nobody holds, reloading the manual entries, the adapters and serial ports, starting the
// search, refilling the list once the identifications have settled, and handing the chosen
// instrument to the main window.
#include "app/ChildWindow.h"
#include "app/Main.h"
#include "app/WindowStart.h"
#include "common/EventData.h"
#include "common/Ini.h"
#include "common/TextRoutines.h"
#include "common/UtilityGui.h"
#include "common/WindowLog.h"
#include "icons/VectorIcon.h"
#include "instrument/ConnectionFailure.h"
#include "instrument/Instrument.h"
#include "instrument/InstrumentDefault.h"
#include "instrument/InstrumentSearch.h"
#include "instrument/ManualInstruments.h"
#include "platform/EventHub.h"
#include "platform/OsVersion.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowRegistry.h"
#include "transport/SerialPorts.h"
#include "windows/select/WindowSelectInstrumentRecord.h"

#include <QComboBox>
#include <QIcon>
#include <QListView>
#include <QPixmap>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QTreeView>
#include <QTreeWidget>

#include <algorithm>

namespace WindowSelectInstrument {
namespace {

constexpr int RefillDelay = 500;

bool Listed(const std::vector<InstrumentObject>& list, const InstrumentObject& object) {
    return std::find(list.begin(), list.end(), object) != list.end();
}

// The picture shown in the icon view: the model's, else the generic one.
QIcon Picture(const InstrumentObject& object) {
    std::string sError;
    const uInstrumentIcon icon = object->pInterface->GetIcon(*object, IconKindPicture, sError);
    QImage picture = icon.picture;
    if (picture.isNull()) picture = VectorIcon::PictureGeneric(Instrument::ScaleToDesktop(128), Instrument::ScaleToDesktop(96));
    return QIcon(QPixmap::fromImage(picture));
}

} // namespace

bool NetworkListHas(const std::string& sNetworkList, const std::string& sNetwork) {
    if (sNetwork.empty()) return false;
    std::vector<std::string> entries;
    Utility::SplitStringToList(sNetworkList, entries, ";");
    return std::any_of(entries.begin(), entries.end(),
                       [&](const std::string& s) { return Utility::TrimCharacters(s, " \t") == sNetwork; });
}

void FillNetworkAdapterList(int iWindow) {
    uWindowSelectInstrument* w = Record(iWindow);
    if (!w) return;
    w->iAdapterCount = 0;
    w->mAdapter.assign(1, uNetworkAdapter{});
    std::vector<Network::uNetworkAdapter> adapters;
    int iCount = 0;
    std::string sError;
    if (!Network::GetAdapters(adapters, iCount, sError)) {
        WindowLog::AddError("No network adapters were found.");
        WindowLog::AddError(sError);
        iCount = 0;
    }
    if (iCount > 0) {
        WindowLog::AddLine("Found network adapters: ");
        for (int i = 1; i <= iCount && i < static_cast<int>(adapters.size()); ++i) {
            const Network::uNetworkAdapter& a = adapters[static_cast<std::size_t>(i)];
            WindowLog::AddLine(std::to_string(i) + ".  " + a.sIpAddress + "  " + a.sConnectionName);
            if (a.sIpAddress == "0.0.0.0") continue;
            uNetworkAdapter entry;
            static_cast<Network::uNetworkAdapter&>(entry) = a;
            w->mAdapter.push_back(entry);
            ++w->iAdapterCount;
        }
    }
    std::string sNetworkList;
    if (uIni* pIni = Main::ConfigIni()) {
        Ini::SelectSection(pIni, ConfigGroup);
        sNetworkList = Ini::ReadString(pIni, "NetworkList", "");
    }
    const QSignalBlocker blockList(w->pAdapterList);
    const QSignalBlocker blockCombo(w->lan.pAdapter);
    w->pAdapterList->clear();
    w->lan.pAdapter->clear();
    for (int k = 1; k <= w->iAdapterCount; ++k) {
        uNetworkAdapter& a = w->mAdapter[static_cast<std::size_t>(k)];
        auto* pItem = new QTreeWidgetItem(
            QStringList{"", QString::fromStdString(a.sIpAddress), QString::fromStdString(a.sConnectionName),
                        QString::fromStdString(a.sDescription), QString::fromStdString(a.sIpMask),
                        QString::fromStdString(a.sBroadcast)});
        pItem->setData(0, Qt::UserRole, k);
        pItem->setFlags(pItem->flags() | Qt::ItemIsUserCheckable);
        a.fSelected = NetworkListHas(sNetworkList, a.sNetwork);
        pItem->setCheckState(0, a.fSelected ? Qt::Checked : Qt::Unchecked);
        w->pAdapterList->addTopLevelItem(pItem);
        w->lan.pAdapter->addItem(QString::fromStdString(a.sIpAddress + " - " + a.sConnectionName), k);
    }
    Utility::ListIconAutoSizeColumns(w->pAdapterList, 0, 0);
    if (w->iAdapterCount > 0) w->lan.pAdapter->setCurrentIndex(0);
}

void StoreAdapterChoice(int iWindow) {
    uWindowSelectInstrument* w = Record(iWindow);
    if (!w || !w->pAdapterList) return;
    std::string sNetworkList;
    for (int i = 0; i < w->pAdapterList->topLevelItemCount(); ++i) {
        QTreeWidgetItem* pItem = w->pAdapterList->topLevelItem(i);
        const int k = pItem->data(0, Qt::UserRole).toInt();
        if (k < 1 || k > w->iAdapterCount) continue;
        uNetworkAdapter& a = w->mAdapter[static_cast<std::size_t>(k)];
        a.fSelected = pItem->checkState(0) == Qt::Checked;
        if (!a.fSelected) continue;
        if (!sNetworkList.empty()) sNetworkList += ";";
        sNetworkList += a.sNetwork;
    }
    if (uIni* pIni = Main::ConfigIni()) {
        Ini::SelectSection(pIni, ConfigGroup);
        Ini::WriteString(pIni, "NetworkList", sNetworkList);
    }
}

void FillSerialPortList(int iWindow) {
    uWindowSelectInstrument* w = Record(iWindow);
    if (!w || !w->serial.pPort) return;
    w->serial.pPort->clear();
    w->iPortCount = 0;
    for (const std::string& sPort : SerialPorts::List()) {
        w->serial.pPort->addItem(QString::fromStdString(sPort));
        ++w->iPortCount;
    }
    if (w->iPortCount > 0) w->serial.pPort->setCurrentIndex(0);
}

void SearchAndShowInstruments(int iWindow, bool fUsbOnly) {
    uWindowSelectInstrument* w = Record(iWindow);
    if (!w) return;
    FillNetworkAdapterList(iWindow);
    FillSerialPortList(iWindow);

    // Objects that a running search is still identifying must not be released under it; the
    // start below then fails and says so.
    if (!InstrumentSearch::IsRunning()) {
        std::string sError;
        Instrument::ReleaseAll(false, fUsbOnly ? static_cast<std::int64_t>(ProtocolUsbTmc) : 0, sError);
        Instrument::InstrumentLoadManuallyAdded(Main::ConfigIni());
    }

    uStartSearch order;
    order.iWindow = iWindow;
    order.fUdpOnly = w->fOption[OptionLanUdpOnly] ? 1 : 0;
    const bool fLan = w->fOption[OptionLan], fRaw = w->fOption[OptionLanHameg];
    if (!fUsbOnly && (fLan || fRaw)) {
        for (int k = 1; k <= w->iAdapterCount; ++k) {
            const uNetworkAdapter& a = w->mAdapter[static_cast<std::size_t>(k)];
            if (!a.fSelected) continue;
            order.lAddress.push_back({a.sIpAddress, a.sBroadcast, 111, 5025, 500});
            WindowLog::AddLine("The search for LXI (VXI-11) instruments in the network was started: " + a.sIpAddress +
                               ":111");
        }
    }
    order.fLibUsb0 = OsVersion::Windows2000() ? 1 : 0;
    order.fLibUsb1 = OsVersion::Windows2000() ? 0 : 1;
    order.fUsb = w->fOption[OptionUsb] ? 1 : 0;
    order.fLxi = !fUsbOnly && fLan ? 1 : 0;
    order.fRawTcp = !fUsbOnly && fRaw ? 1 : 0;
    std::string sError;
    if (!InstrumentSearch::StartSearch(&order, sError)) {
        WindowLog::AddError("WindowSelectInstrument::SearchAndShowInstruments: An error occurred when starting the "
                            "search for instruments.");
        WindowLog::AddError(sError);
    }
}

std::string FillInstrumentListCreateText(int, const InstrumentObject& object) {
    uInfo info;
    std::string sError;
    if (!object || !object->pInterface->GetInfo(*object, info, sError)) {
        WindowLog::AddError("WindowSelectInstrument::FillInstrumentListCreateText: " + sError);
        return "";
    }
    const uTaskPrepare& c = info.connection;
    // The names the user gave; one described without them (a script's instrument) is named by
    // its answer to *IDN? once it has given one, or by why it gave none.
    const bool fUserNames = c.fUserModel && (!c.sUserManufacturer.empty() || !c.sUserModel.empty() ||
                                             (info.idn.sManufacturer.empty() && info.idn.sModel.empty() &&
                                              info.idn.failure.eType == Failure::eKind::None));
    std::string sName, sModel, sManufacturer, sSerial, sFirmware;
    if (fUserNames) {
        sName = "[ " + Utility::TrimCharacters(c.sUserManufacturer + " " + c.sUserModel, " ") + " ]";
        sModel = c.sUserModel;
        sManufacturer = c.sUserManufacturer;
        sSerial = sFirmware = "-";
    } else if (const std::string sWhy = Instrument::NotIdentifiedText(c, info.idn); !sWhy.empty()) {
        // Not identified (its answer was noise, or none came): the row says why where the names go.
        sName = sModel = sWhy;
        sSerial = sFirmware = "-";
    } else {
        sName = Utility::TrimCharacters(info.idn.sManufacturer + " " + info.idn.sModel, " ");
        sModel = info.idn.sModel;
        sManufacturer = info.idn.sManufacturer;
        sSerial = info.idn.sSerialNumber;
        sFirmware = info.idn.sFirmware;
    }
    std::string sInterface = "Error", sIp = "-", sIpPort = "-", sPort = "-";
    switch (c.eInterface) {
    case InterfaceUsbTmc:
    case InterfaceUsbNone: sInterface = "USB"; break;
    case InterfaceVxi11:
        sInterface = "LAN";
        sIp = c.vxi11.sInstrumentIp;
        // Port 0: the connect asks the instrument's portmapper for the port.
        sIpPort = c.vxi11.iCorePort == 0 ? "Portmapper" : std::to_string(c.vxi11.iCorePort);
        break;
    case InterfaceRawTcp:
        sInterface = "LAN";
        sIp = c.rawTcp.sInstrumentIp;
        sIpPort = std::to_string(c.rawTcp.iPort);
        break;
    case InterfaceSerial:
        sInterface = "COM";
        sPort = c.serial.sPort;
        break;
    case InterfaceLanNone: sInterface = "LAN"; break;
    default: break;
    }
    std::string sText;
    for (const std::string* p : {&sName, &sInterface, &sModel, &sManufacturer, &sSerial, &sFirmware, &sIp, &sIpPort,
                                 &sPort}) {
        sText += *p + "\n";
    }
    return sText + Instrument::ProtocolText(c.eProtocol) + "\n";
}

namespace {

// The main window's own instrument, lost, stays held by it and so is not listed: the status
// says so, and how to give it up.
std::string LostHint(const uWindowSelectInstrument& w) {
    WindowStart::uWindowStart* pMain = nullptr;
    if (!WindowStart::GetInstance(w.iMainWindow, &pMain) || !pMain->info.fLost || !pMain->info.pInstrument) return {};
    return " The lost " + pMain->info.sModel + " is not listed: its window holds it until \"Disconnect\".";
}

// Whether another main window or a script run holds the object: an owner other than this
// window's main window and the instrument lists, whose searches hold what they identify.
bool HeldElsewhere(const uWindowSelectInstrument& w, const InstrumentObject& object) {
    const std::vector<std::int64_t> holders = InstrumentDefault::Holders(*object);
    return std::any_of(holders.begin(), holders.end(), [&](std::int64_t iOwner) {
        return iOwner != w.iMainWindow && !Record(static_cast<int>(iOwner));
    });
}

std::string HeldElsewhereHint(int iHeld) {
    if (iHeld == 0) return {};
    if (iHeld == 1) return " 1 instrument is not listed: another window or a script holds it.";
    return " " + std::to_string(iHeld) + " instruments are not listed: other windows or scripts hold them.";
}

} // namespace

void FillInstrumentList(int iWindow) {
    uWindowSelectInstrument* w = Record(iWindow);
    if (!w || !w->pInstruments) return;
    std::vector<InstrumentObject> list;
    if (!Instrument::CopyInstrumentList(list)) {
        WindowLog::AddError("WindowSelectInstrument::FillInstrumentList: Instrument::CopyInstrumentList: The module "
                            "is not initialized.");
        return;
    }
    const int iSelected = SelectedInstrument(*w);
    w->pInstruments->removeRows(0, w->pInstruments->rowCount());
    w->mListed.clear();
    w->iImageCount = 0;
    int iHeldElsewhere = 0;
    for (const InstrumentObject& object : list) {
        if (!object) continue;
        if (Instrument::InUse(object)) {
            iHeldElsewhere += HeldElsewhere(*w, object) ? 1 : 0;
            continue;
        }
        const std::string sText = FillInstrumentListCreateText(iWindow, object);
        // An object whose description cannot be read is left out; its error is in the log.
        if (sText.empty()) continue;
        std::vector<std::string> columns;
        Utility::SplitStringToList(sText, columns, "\n");
        QList<QStandardItem*> row;
        for (std::size_t i = 0; i < InstrumentColumns.size(); ++i) {
            auto* pItem = new QStandardItem(QString::fromStdString(i < columns.size() ? columns[i] : ""));
            pItem->setEditable(false);
            row.append(pItem);
        }
        row[0]->setIcon(Picture(object));
        ++w->iImageCount;
        w->pInstruments->appendRow(row);
        w->mListed.push_back(object);
    }
    Utility::ListIconAutoSizeColumns(w->pInstrumentReport, 0, 0);
    if (w->fListIconView) w->pInstrumentIcons->doItemsLayout();
    SelectInstrument(*w, iSelected);
    const int iCount = static_cast<int>(w->mListed.size());
    // Why instruments in use are missing: this window's own lost one, and those held elsewhere.
    const std::string sMissing = LostHint(*w) + HeldElsewhereHint(iHeldElsewhere);
    if (w->fConnectText) {
        // A connect's word stays until the user acts in this window.
    } else if (iCount == 0) {
        SetStatusText(*w, "No instrument was found." + sMissing);
    } else {
        SetStatusText(*w, std::to_string(iCount) + (iCount == 1 ? " Instrument found." : " Instruments found.") +
                              sMissing);
    }
    UpdateGadgetStates(iWindow);
}

void ConnectInstrument(int iWindow) {
    uWindowSelectInstrument* w = Record(iWindow);
    if (!w) return;
    const int iSelected = SelectedInstrument(*w);
    InstrumentObject object;
    if (iSelected >= 0 && iSelected < static_cast<int>(w->mListed.size())) object = w->mListed[static_cast<std::size_t>(iSelected)];
    w->fConnectText = false;
    SetStatusText(*w, "");
    if (!object || !WindowStart::GetInstance(w->iMainWindow, nullptr)) return;
    // A search may have released the object since the list was filled: only a listed one goes.
    std::vector<InstrumentObject> list;
    if (!Instrument::CopyInstrumentList(list) || !Listed(list, object)) {
        FillInstrumentList(iWindow);
        return;
    }
    EventHub::PostEvent(EventConnectInstrument, w->iMainWindow, reinterpret_cast<std::intptr_t>(object.get()), iWindow,
                        EventHub::Payload::Of<InstrumentObject>(object));
}

void EventSearchFinished(int iWindow) {
    if (Record(iWindow)) WindowRegistry::StartTimer(iWindow, TimerRefill, RefillDelay);
}

void EventTaskFinished(int iWindow, std::intptr_t iType, std::int64_t iData) {
    if (!Record(iWindow)) return;
    if (iType == InstrumentTaskIdentified) {
        WindowRegistry::StartTimer(iWindow, TimerRefill, RefillDelay);
    } else if (iType == InstrumentTaskError) {
        uEventData record;
        Utility::EventDataTake(std::to_string(iData), record);
    }
}

void EventRefresh(int iWindow, std::intptr_t iObject) {
    uWindowSelectInstrument* w = Record(iWindow);
    if (!w) return;
    if (iObject == 0 || w->fOption[OptionUsbAutomatically]) SearchAndShowInstruments(iWindow, true);
}

void EventTimer(int iWindow, int iTimer) {
    WindowRegistry::StopTimer(iWindow, iTimer);
    uWindowSelectInstrument* w = Record(iWindow);
    if (!w) return;
    if (iTimer == TimerFirstSearch) SearchAndShowInstruments(iWindow, !w->fOption[OptionLanAutomatically]);
    // A main window connected an instrument or one was freed: the list follows at once.
    else if (iTimer == TimerRefill || iTimer == TimerConnected) FillInstrumentList(iWindow);
}

} // namespace WindowSelectInstrument
