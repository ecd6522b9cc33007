// The gadgets of the instrument selection window: the four pages, the maker and model lists,
// and what each gadget reports through the event hub.
#include "instrument/Instrument.h"

#include "common/NumberText.h"
#include "common/UtilityGui.h"
#include "icons/VectorIcon.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowFrame.h"
#include "windows/select/WindowSelectInstrumentRecord.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <array>

namespace WindowSelectInstrument {
namespace {

struct uMaker {
    const char* sName;
    std::vector<const char*> models;
};

const std::array<uMaker, 5> Makers = {{
    {"HAMEG", {"HM1008", "HM1508", "HM2008"}},
    {"Picotest", {"M3500A"}},
    {"Rigol Technologies",
     {"DG4000", "DP800", "DSA700", "DSA800", "DS1000Z", "DS2000", "MSO1000Z", "MSO2000", "MSO5000"}},
    // "RTB2000" and "SDS2000X Plus" are the two-channel models, as entries of config.ini have
    // always meant them; the four-channel ones are chosen by their own names.
    {"Rohde & Schwarz", {"RTB2000", "RTB2004"}},
    {"Siglent Technologies", {"SDS2000X Plus", "SDS2104X Plus"}},
}};

void Post(int iWindow, int iGadget, int iType) { EventHub::PostEvent(EventGadget, iWindow, iGadget, iType); }

QTreeWidget* NewList(QWidget* pParent, const QStringList& titles, bool fHiddenFirst) {
    auto* pList = new QTreeWidget(pParent);
    pList->setColumnCount(static_cast<int>(titles.size()));
    pList->setHeaderLabels(titles);
    pList->setRootIsDecorated(false);
    pList->setUniformRowHeights(true);
    pList->setAllColumnsShowFocus(true);
    pList->setSelectionMode(QAbstractItemView::SingleSelection);
    pList->header()->setStretchLastSection(false);
    // However small the window, three rows show below the header.
    pList->setMinimumHeight(Utility::ListHeightForRows(pList, 3));
    // Hidden only now: a header that changes its last section's stretch after hiding a column
    // keeps the hidden column's former width as an empty strip before the next one.
    if (fHiddenFirst) pList->setColumnHidden(0, true);
    return pList;
}

QLineEdit* NewDigitsField(QWidget* pParent, const QString& sText, const QString& sHint) {
    auto* pField = new QLineEdit(sText, pParent);
    pField->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), pField));
    pField->setPlaceholderText(sHint);
    return pField;
}

QComboBox* NewCombo(QWidget* pParent, bool fEditable) {
    auto* pCombo = new QComboBox(pParent);
    pCombo->setEditable(fEditable);
    if (fEditable) pCombo->setInsertPolicy(QComboBox::NoInsert);
    return pCombo;
}

QWidget* InstrumentPage(uWindowSelectInstrument& w) {
    const int iWindow = w.iWindow;
    auto* pPage = new QWidget;
    auto* pLayout = new QVBoxLayout(pPage);
    w.pInstruments = new QStandardItemModel(0, static_cast<int>(InstrumentColumns.size()), pPage);
    QStringList titles;
    for (const char* s : InstrumentColumns) titles << s;
    w.pInstruments->setHorizontalHeaderLabels(titles);

    w.pInstrumentViews = new QStackedWidget(pPage);
    auto* pReport = new QTreeView(w.pInstrumentViews);
    pReport->setModel(w.pInstruments);
    pReport->setRootIsDecorated(false);
    pReport->setUniformRowHeights(true);
    pReport->setAllColumnsShowFocus(true);
    pReport->setSelectionMode(QAbstractItemView::SingleSelection);
    pReport->setSelectionBehavior(QAbstractItemView::SelectRows);
    pReport->setEditTriggers(QAbstractItemView::NoEditTriggers);
    pReport->setContextMenuPolicy(Qt::CustomContextMenu);
    pReport->header()->setStretchLastSection(false);
    pReport->setColumnHidden(0, true); // after the stretch, as above
    w.pInstrumentReport = pReport;

    auto* pIcons = new QListView(w.pInstrumentViews);
    pIcons->setModel(w.pInstruments);
    pIcons->setSelectionModel(pReport->selectionModel());
    pIcons->setViewMode(QListView::IconMode);
    pIcons->setResizeMode(QListView::Adjust);
    pIcons->setMovement(QListView::Static);
    pIcons->setFlow(QListView::LeftToRight);
    pIcons->setWrapping(true);
    pIcons->setWordWrap(true);
    pIcons->setIconSize(QSize(Instrument::ScaleToDesktop(128), Instrument::ScaleToDesktop(96)));
    pIcons->setSpacing(6);
    pIcons->setSelectionMode(QAbstractItemView::SingleSelection);
    pIcons->setEditTriggers(QAbstractItemView::NoEditTriggers);
    pIcons->setContextMenuPolicy(Qt::CustomContextMenu);
    w.pInstrumentIcons = pIcons;
    w.pInstrumentViews->addWidget(pReport);
    w.pInstrumentViews->addWidget(pIcons);

    for (QAbstractItemView* pView : {static_cast<QAbstractItemView*>(pReport), static_cast<QAbstractItemView*>(pIcons)}) {
        QObject::connect(pView, &QAbstractItemView::doubleClicked, pView,
                         [iWindow] { Post(iWindow, GadgetInstrumentList, GadgetDoubleClick); });
        QObject::connect(pView, &QAbstractItemView::clicked, pView,
                         [iWindow] { Post(iWindow, GadgetInstrumentList, GadgetClick); });
        QObject::connect(pView, &QWidget::customContextMenuRequested, pView,
                         [iWindow] { Post(iWindow, GadgetInstrumentList, GadgetRightClick); });
    }
    QObject::connect(pReport->selectionModel(), &QItemSelectionModel::currentChanged, pReport,
                     [iWindow] { Post(iWindow, GadgetInstrumentList, GadgetChange); });
    QObject::connect(pReport->selectionModel(), &QItemSelectionModel::selectionChanged, pReport,
                     [iWindow] { Post(iWindow, GadgetInstrumentList, GadgetChange); });

    w.pRefresh = new QPushButton("Refresh", pPage);
    QObject::connect(w.pRefresh, &QPushButton::clicked, w.pRefresh, [iWindow] { Post(iWindow, GadgetRefresh, GadgetClick); });
    pLayout->addWidget(w.pInstrumentViews, 1);
    auto* pButtons = new QHBoxLayout;
    pButtons->addStretch(1);
    pButtons->addWidget(w.pRefresh);
    pLayout->addLayout(pButtons);
    return pPage;
}

QWidget* OptionsPage(uWindowSelectInstrument& w) {
    const int iWindow = w.iWindow;
    auto* pPage = new QWidget;
    auto* pLayout = new QVBoxLayout(pPage);
    const char* texts[OptionCount] = {"Search for USBTMC instruments (WinUSB driver).",
                                      "Search automatically when devices are connected or disconnected.",
                                      "Search for LXI (VXI-11) network instruments.",
                                      "Only use UDP, no TCP access for the IDN.",
                                      "Search for Raw-TCP instruments (IP port 5,025).",
                                      "Search automatically when opening this window."};
    for (int i = 0; i < OptionCount; ++i) {
        w.pOption[i] = new QCheckBox(texts[i], pPage);
        QObject::connect(w.pOption[i], &QCheckBox::clicked, w.pOption[i],
                         [iWindow, i] { Post(iWindow, GadgetOptionFirst + i, GadgetChange); });
        pLayout->addWidget(w.pOption[i]);
        if (i == OptionUsbAutomatically) {
            w.pOptionSeparator = new QFrame(pPage);
            w.pOptionSeparator->setFrameShape(QFrame::HLine);
            w.pOptionSeparator->setFrameShadow(QFrame::Plain);
            pLayout->addWidget(w.pOptionSeparator);
        }
    }
    Utility::AddGadgetToolTip(w.pOption[OptionLanUdpOnly],
                              "When instruments are transmitting data, the transmission can be interrupted during "
                              "TCP access. Only the IP address of the instrument is then displayed For selection.",
                              400, "");
    w.pAdapterList = NewList(pPage, {"Search", "IP Address", "Name", "Description", "IP Mask", "IP Broadcast"}, false);
    QObject::connect(w.pAdapterList, &QTreeWidget::itemChanged, w.pAdapterList,
                     [iWindow](QTreeWidgetItem*, int iColumn) {
                         if (iColumn == 0) Post(iWindow, GadgetAdapterList, GadgetChange);
                     });
    pLayout->addWidget(w.pAdapterList, 1);
    return pPage;
}

void AddButtons(QGridLayout* pGrid, int iRow, QPushButton* pAdd, QPushButton* pRemove) {
    auto* pButtons = new QHBoxLayout;
    pButtons->addStretch(1);
    pButtons->addWidget(pAdd);
    pButtons->addWidget(pRemove);
    pGrid->addLayout(pButtons, iRow, 0, 1, 6);
}

QWidget* LanPage(uWindowSelectInstrument& w) {
    const int iWindow = w.iWindow;
    uLanPage& g = w.lan;
    auto* pPage = new QWidget;
    auto* pLayout = new QVBoxLayout(pPage);
    auto* pGrid = new QGridLayout;
    g.pNetworkLabel = new QLabel("Network:", pPage);
    g.pAdapter = NewCombo(pPage, false);
    g.pDescriptionLabel = new QLabel("Description:", pPage);
    g.pMaker = NewCombo(pPage, true);
    g.pModel = NewCombo(pPage, true);
    g.pIpLabel = new QLabel("IP Address:", pPage);
    g.pIp = new QLineEdit(pPage);
    g.pIp->setPlaceholderText("255.255.255.255");
    g.pRpcLabel = new QLabel("RPC Port:", pPage);
    g.pRpcPort = NewDigitsField(pPage, "111", "");
    g.pRpcPort->setEnabled(false);
    g.pVxiLabel = new QLabel("VXI-11 Port:", pPage);
    g.pVxiPort = NewDigitsField(pPage, "", "optionally");
    g.pLxi = new QRadioButton("LXI", pPage);
    g.pRaw = new QRadioButton("Raw TCP", pPage);
    g.pLxi->setChecked(true);
    g.pIpPortLabel = new QLabel("IP Port:", pPage);
    g.pIpPort = NewDigitsField(pPage, "5025", "");
    g.pIpPortLabel->setEnabled(false);
    g.pIpPort->setEnabled(false);
    g.pAdd = new QPushButton("Add", pPage);
    g.pRemove = new QPushButton("Remove", pPage);

    pGrid->addWidget(g.pNetworkLabel, 0, 0);
    pGrid->addWidget(g.pAdapter, 0, 1, 1, 5);
    pGrid->addWidget(g.pDescriptionLabel, 1, 0);
    pGrid->addWidget(g.pMaker, 1, 1, 1, 3);
    pGrid->addWidget(g.pModel, 1, 4, 1, 2);
    pGrid->addWidget(g.pIpLabel, 2, 0);
    pGrid->addWidget(g.pIp, 2, 1, 1, 5);
    pGrid->addWidget(g.pLxi, 3, 0);
    pGrid->addWidget(g.pRpcLabel, 3, 1);
    pGrid->addWidget(g.pRpcPort, 3, 2);
    pGrid->addWidget(g.pVxiLabel, 3, 3);
    pGrid->addWidget(g.pVxiPort, 3, 4);
    pGrid->addWidget(g.pRaw, 4, 0);
    pGrid->addWidget(g.pIpPortLabel, 4, 1);
    pGrid->addWidget(g.pIpPort, 4, 2);
    AddButtons(pGrid, 5, g.pAdd, g.pRemove);
    pGrid->setColumnStretch(5, 1);
    pLayout->addLayout(pGrid);
    g.pList = NewList(pPage, {"", "Description", "IP Address", "RPC Port", "VXI Port", "IP Port", "Network", "IP Address", "Type"}, true);
    pLayout->addWidget(g.pList, 1);
    // Tab goes through the form as it reads, left to right and row by row.
    QWidget* const mOrder[] = {g.pAdapter, g.pMaker, g.pModel, g.pIp,  g.pLxi,    g.pRpcPort,
                               g.pVxiPort, g.pRaw,   g.pIpPort, g.pAdd, g.pRemove, g.pList};
    for (std::size_t i = 1; i < std::size(mOrder); ++i) QWidget::setTabOrder(mOrder[i - 1], mOrder[i]);

    QObject::connect(g.pLxi, &QRadioButton::clicked, g.pLxi, [iWindow] { Post(iWindow, GadgetLxi, GadgetClick); });
    QObject::connect(g.pRaw, &QRadioButton::clicked, g.pRaw, [iWindow] { Post(iWindow, GadgetRaw, GadgetClick); });
    QObject::connect(g.pAdd, &QPushButton::clicked, g.pAdd, [iWindow] { Post(iWindow, GadgetLanAdd, GadgetClick); });
    QObject::connect(g.pRemove, &QPushButton::clicked, g.pRemove, [iWindow] { Post(iWindow, GadgetLanRemove, GadgetClick); });
    QObject::connect(g.pMaker, &QComboBox::currentTextChanged, g.pMaker,
                     [iWindow] { Post(iWindow, GadgetLanMaker, GadgetChange); });
    return pPage;
}

QWidget* SerialPage(uWindowSelectInstrument& w) {
    const int iWindow = w.iWindow;
    uSerialPage& g = w.serial;
    auto* pPage = new QWidget;
    auto* pLayout = new QVBoxLayout(pPage);
    auto* pGrid = new QGridLayout;
    g.pPort = NewCombo(pPage, false);
    g.pMaker = NewCombo(pPage, true);
    g.pModel = NewCombo(pPage, true);
    g.pSpeed = NewCombo(pPage, false);
    for (int iSpeed : {9600, 19200, 38400, 57600, 115200, 921600}) {
        g.pSpeed->addItem(QString::fromStdString(Utility::StrDLocalized(iSpeed, 0)), QString::number(iSpeed));
    }
    g.pDataBits = NewCombo(pPage, false);
    g.pDataBits->addItem("7", "7");
    g.pDataBits->addItem("8", "8");
    g.pDataBits->setCurrentIndex(1);
    g.pStopBits = NewCombo(pPage, false);
    g.pStopBits->addItem("1", "1");
    g.pStopBits->addItem(QString::fromStdString(Utility::StrDLocalized(1.5, 1)), "1.5");
    g.pStopBits->addItem("2", "2");
    g.pParity = NewCombo(pPage, false);
    for (const char* s : ParityTexts) g.pParity->addItem(s);
    g.pFlowControl = NewCombo(pPage, false);
    for (const char* s : FlowControlTexts) g.pFlowControl->addItem(s);
    g.pAdd = new QPushButton("Add", pPage);
    g.pRemove = new QPushButton("Remove", pPage);

    pGrid->addWidget(new QLabel("Port:", pPage), 0, 0);
    pGrid->addWidget(g.pPort, 0, 1, 1, 5);
    pGrid->addWidget(new QLabel("Description:", pPage), 1, 0);
    pGrid->addWidget(g.pMaker, 1, 1, 1, 3);
    pGrid->addWidget(g.pModel, 1, 4, 1, 2);
    pGrid->addWidget(new QLabel("Speed:", pPage), 2, 0);
    pGrid->addWidget(g.pSpeed, 2, 1);
    pGrid->addWidget(new QLabel("Data bits:", pPage), 2, 2);
    pGrid->addWidget(g.pDataBits, 2, 3);
    pGrid->addWidget(new QLabel("Stop bits:", pPage), 2, 4);
    pGrid->addWidget(g.pStopBits, 2, 5);
    pGrid->addWidget(new QLabel("Parity:", pPage), 3, 0);
    pGrid->addWidget(g.pParity, 3, 1);
    pGrid->addWidget(new QLabel("Flow control:", pPage), 3, 2);
    pGrid->addWidget(g.pFlowControl, 3, 3, 1, 3);
    AddButtons(pGrid, 4, g.pAdd, g.pRemove);
    pLayout->addLayout(pGrid);
    g.pList = NewList(pPage, {"", "Description", "Port", "Speed", "Data bits", "Stop bits", "Parity", "Flow control"}, true);
    pLayout->addWidget(g.pList, 1);

    QObject::connect(g.pAdd, &QPushButton::clicked, g.pAdd, [iWindow] { Post(iWindow, GadgetSerialAdd, GadgetClick); });
    QObject::connect(g.pRemove, &QPushButton::clicked, g.pRemove,
                     [iWindow] { Post(iWindow, GadgetSerialRemove, GadgetClick); });
    QObject::connect(g.pMaker, &QComboBox::currentTextChanged, g.pMaker,
                     [iWindow] { Post(iWindow, GadgetSerialMaker, GadgetChange); });
    return pPage;
}

} // namespace

void CreateGadgets(uWindowSelectInstrument& window) {
    window.pPanel = new QTabWidget(window.pFrame);
    // Every page's title shows whole: the window is at least as wide as the row of tabs.
    window.pPanel->setUsesScrollButtons(false);
    window.pPanel->addTab(InstrumentPage(window), "Instrument");
    window.pPanel->addTab(OptionsPage(window), "Options for USB and LAN");
    window.pPanel->addTab(LanPage(window), "Add LAN instrument");
    window.pPanel->addTab(SerialPage(window), "Add serial instrument");
}

void FillMakerLists(uWindowSelectInstrument& window) {
    for (QComboBox* pMaker : {window.lan.pMaker.data(), window.serial.pMaker.data()}) {
        if (!pMaker) continue;
        const QSignalBlocker block(pMaker);
        pMaker->clear();
        for (const uMaker& maker : Makers) pMaker->addItem(maker.sName);
    }
    FillModelList(window.lan.pMaker, window.lan.pModel);
    FillModelList(window.serial.pMaker, window.serial.pModel);
}

void FillModelList(QComboBox* pMaker, QComboBox* pModel) {
    if (!pMaker || !pModel) return;
    pModel->clear();
    const std::string sMaker = pMaker->currentText().toStdString();
    for (const uMaker& maker : Makers) {
        if (sMaker != maker.sName) continue;
        for (const char* sModel : maker.models) pModel->addItem(sModel);
    }
}

void SetLanProtocol(uWindowSelectInstrument& window, bool fLxi) {
    uLanPage& g = window.lan;
    if (!g.pRpcLabel) return;
    g.pRpcLabel->setEnabled(fLxi);
    g.pRpcPort->setEnabled(false);
    g.pVxiLabel->setEnabled(fLxi);
    g.pVxiPort->setEnabled(fLxi);
    g.pIpPortLabel->setEnabled(!fLxi);
    g.pIpPort->setEnabled(!fLxi);
}

} // namespace WindowSelectInstrument
