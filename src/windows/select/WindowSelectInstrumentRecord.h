// The record of an instrument selection window, shared by the files of its module (window and
// menus, search and instrument list, manual entries). GUI thread only.
#pragma once

#include "instrument/InstrumentObject.h"
#include "transport/Network.h"

#include <QPointer>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QMenuBar;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QStandardItemModel;
class QStatusBar;
class QTabWidget;
class QToolBar;
class QTreeView;
class QTreeWidget;
class WindowFrame;

namespace WindowSelectInstrument {

// One local adapter as the window keeps it.
struct uNetworkAdapter : Network::uNetworkAdapter {
    bool fSelected = false;
};

// The entry gadgets of the "Add LAN instrument" page.
struct uLanPage {
    QPointer<QLabel> pNetworkLabel;
    QPointer<QComboBox> pAdapter;
    QPointer<QLabel> pDescriptionLabel;
    QPointer<QComboBox> pMaker;
    QPointer<QComboBox> pModel;
    QPointer<QLabel> pIpLabel;
    QPointer<QLineEdit> pIp;
    QPointer<QLabel> pRpcLabel;
    QPointer<QLineEdit> pRpcPort;
    QPointer<QLabel> pVxiLabel;
    QPointer<QLineEdit> pVxiPort;
    QPointer<QRadioButton> pLxi;
    QPointer<QRadioButton> pRaw;
    QPointer<QLabel> pIpPortLabel;
    QPointer<QLineEdit> pIpPort;
    QPointer<QPushButton> pAdd;
    QPointer<QPushButton> pRemove;
    QPointer<QTreeWidget> pList;
};

// The entry gadgets of the "Add serial instrument" page.
struct uSerialPage {
    QPointer<QComboBox> pPort;
    QPointer<QComboBox> pMaker;
    QPointer<QComboBox> pModel;
    QPointer<QComboBox> pSpeed;
    QPointer<QComboBox> pDataBits;
    QPointer<QComboBox> pStopBits;
    QPointer<QComboBox> pParity;
    QPointer<QComboBox> pFlowControl;
    QPointer<QPushButton> pAdd;
    QPointer<QPushButton> pRemove;
    QPointer<QTreeWidget> pList;
};

// The option check boxes in the order of the options page.
enum eOption : int {
    OptionUsb = 0,
    OptionUsbAutomatically,
    OptionLan,
    OptionLanUdpOnly,
    OptionLanHameg,
    OptionLanAutomatically,
    OptionCount
};

struct uWindowSelectInstrument {
    std::int64_t iCreation = 0;
    int iWindow = 0;
    int iMainWindow = 0;
    int iKind = 4;
    QPointer<WindowFrame> pFrame;
    QPointer<QMenuBar> pMenu;
    QPointer<QToolBar> pToolBar;
    QPointer<QStatusBar> pStatusBar;
    QPointer<QLabel> pStatusText;
    int fMdi = 0;
    QPointer<QTabWidget> pPanel;
    // The instrument list: one model, shown as a report or as large icons.
    QPointer<QStandardItemModel> pInstruments;
    QPointer<QStackedWidget> pInstrumentViews;
    QPointer<QTreeView> pInstrumentReport;
    QPointer<QListView> pInstrumentIcons;
    // The object behind each row of the list.
    std::vector<InstrumentObject> mListed;
    int iImageCount = 0;
    // The status shows the main window's word on the connect this list asked for (its reason
    // when it failed): a refill of the list keeps it until the user acts in this window.
    bool fConnectText = false;
    QPointer<QPushButton> pRefresh;
    QPointer<QMenu> pPopup;
    QPointer<QCheckBox> pOption[OptionCount];
    QPointer<QFrame> pOptionSeparator;
    QPointer<QTreeWidget> pAdapterList;
    uLanPage lan;
    uSerialPage serial;
    // The adapters with an address, from index 1 (element 0 stays empty).
    std::vector<uNetworkAdapter> mAdapter{1};
    int iAdapterCount = 0;
    int iPortCount = 0;
    bool fListIconView = false;
    bool fOption[OptionCount] = {};
};

// The window's record, or nullptr when the window is not open.
uWindowSelectInstrument* Record(int iWindow);

// Config.ini group and keys of the options.
inline constexpr const char* ConfigGroup = "WindowSelectInstrument";
inline constexpr const char* OptionKey[OptionCount] = {"SearchUsb", "SearchUsbAutomatically", "SearchLan",
                                                       "LanUdpOnly", "SearchLanHameg", "SearchLanAutomatically"};

// The gadgets, as the object of EventGadget, and what happened to them (its type).
enum eGadget : int {
    GadgetRefresh = 1,
    GadgetInstrumentList,
    GadgetAdapterList,
    GadgetLxi,
    GadgetRaw,
    GadgetLanAdd,
    GadgetLanRemove,
    GadgetSerialAdd,
    GadgetSerialRemove,
    GadgetLanMaker,
    GadgetSerialMaker,
    GadgetOptionFirst = 20, // + eOption
};
enum eGadgetEvent : int { GadgetClick = 1, GadgetDoubleClick, GadgetRightClick, GadgetChange };

// Column titles of the instrument list; the first column holds the name.
inline constexpr std::array<const char*, 10> InstrumentColumns = {
    "", "Interface", "Model", "Manufacturer", "Serialnumber", "Firmware", "IP Address", "IP Port", "Port", "Type"};
// The items of the parity and flow-control combos, by the index that a serial entry stores.
inline constexpr std::array<const char*, 5> ParityTexts = {"None", "Odd", "Even", "Mark", "Space"};
inline constexpr std::array<const char*, 4> FlowControlTexts = {"No handshaking", "No hands., RTS is 1", "RTS/CTS",
                                                                "Xon/Xoff"};

// Window timers.
inline constexpr int TimerConnected = 4; // WindowStart::TimerInstrumentListSearch
inline constexpr int TimerFirstSearch = 5;
inline constexpr int TimerRefill = 6;

// The keyboard-shortcut items.
inline constexpr int MenuShortcutClose = 267;
inline constexpr int MenuShortcutConnect = 268;

// Search and instrument list (WindowSelectInstrumentSearch.cpp).
void SearchAndShowInstruments(int iWindow, bool fUsbOnly);
void FillNetworkAdapterList(int iWindow);
void FillSerialPortList(int iWindow);
void FillInstrumentList(int iWindow);
std::string FillInstrumentListCreateText(int iWindow, const InstrumentObject& object);
void ConnectInstrument(int iWindow);
void StoreAdapterChoice(int iWindow);
void EventSearchFinished(int iWindow);
void EventTaskFinished(int iWindow, std::intptr_t iType, std::int64_t iData);
void EventRefresh(int iWindow, std::intptr_t iObject);
void EventTimer(int iWindow, int iTimer);
// Whether the ";"-joined list names the network address as one of its entries.
bool NetworkListHas(const std::string& sNetworkList, const std::string& sNetwork);

// Manual entries (WindowSelectInstrumentManual.cpp).
void LoadLanInstrumentList(int iWindow);
void LoadSerialInstrumentList(int iWindow);
void AddLanInstrument(int iWindow);
void AddSerialInstrument(int iWindow);
void RemoveLanInstrument(int iWindow);
void RemoveSerialInstrument(int iWindow);

// Gadgets and states (WindowSelectInstrument.cpp and WindowSelectInstrumentGadgets.cpp).
void CreateGadgets(uWindowSelectInstrument& window);
void FillMakerLists(uWindowSelectInstrument& window);
void FillModelList(QComboBox* pMaker, QComboBox* pModel);
// "LXI" chosen (true) or "Raw TCP": the port fields and labels that go with it.
void SetLanProtocol(uWindowSelectInstrument& window, bool fLxi);
void UpdateGadgetStates(int iWindow);
void SetStatusText(uWindowSelectInstrument& window, const std::string& sText);
// The selected row of the instrument list, -1 for none.
int SelectedInstrument(const uWindowSelectInstrument& window);
void SelectInstrument(uWindowSelectInstrument& window, int iRow);

} // namespace WindowSelectInstrument
