// The selection window in a private network without instruments: its defaults, options, pages
// and menus, the choice of adapters, and the manually added LAN and serial instruments.
#include "SelectTestSupport.h"

#include "common/NumberText.h"
#include "common/WindowLog.h"
#include "instrument/Instrument.h"
#include "sim/NetNamespace.h"
#include "sim/RawTcpServer.h"
#include "sim/SerialDevice.h"

#include <QApplication>
#include <QHeaderView>
#include <QMdiSubWindow>
#include <QStackedWidget>

#include <filesystem>

namespace {

using namespace FrameTestSupport;
using SelectTestSupport::SelectTest;

class SelectWindowTest : public SelectTest {
  protected:
    static void SetUpTestSuite() {
        EnterNetwork();
        FrameTest::SetUpTestSuite();
    }
    // A LAN adapter of the test's network; skips the test when it cannot be made.
    bool AddAdapter(const std::string& sName, const std::string& sAddress, int iPrefix) {
        std::string sWhy;
        if (Sim::AddVethInterface(sName, sAddress, iPrefix, sWhy)) return true;
        sAdapterFailure = sWhy;
        return false;
    }
    QAction* PopupItem(int iList, int iItem) {
        for (QMenu* pMenu : ChildWindow::Find(iList)->findChildren<QMenu*>()) {
            if (pMenu->parent() != ChildWindow::Find(iList)) continue;
            for (QAction* p : pMenu->actions()) {
                if (!p->isSeparator() && p->data().toInt() == iItem) return p;
            }
        }
        return nullptr;
    }
    QAction* ToolItem(int iList, int iItem) {
        for (QAction* p : ChildWindow::Find(iList)->findChild<QToolBar*>()->actions()) {
            if (p->data().toInt() == iItem) return p;
        }
        return nullptr;
    }
    QStackedWidget* Views(int iList) { return qobject_cast<QStackedWidget*>(Report(iList)->parentWidget()); }
    std::string sAdapterFailure;
};

TEST_F(SelectWindowTest, AFreshConfigWithoutInstrumentsShowsTheDefaultsAndNothingFound) {
    const int iList = OpenWithList();
    ASSERT_NE(iList, 0);
    ASSERT_TRUE(WaitForSearch(iList));
    EXPECT_EQ(ChildWindow::Find(iList)->windowTitle().toStdString(), "Select Instrument");
    QTabWidget* pPanel = Gadget<QTabWidget>(iList);
    ASSERT_EQ(pPanel->count(), 4);
    EXPECT_EQ(pPanel->tabText(0), "Instrument");
    EXPECT_EQ(pPanel->tabText(1), "Options for USB and LAN");
    EXPECT_EQ(pPanel->tabText(2), "Add LAN instrument");
    EXPECT_EQ(pPanel->tabText(3), "Add serial instrument");

    // USB search and USB automatic ticked, the network options clear, report view.
    const std::vector<std::pair<QString, bool>> options = {
        {"Search for USBTMC instruments (WinUSB driver).", true},
        {"Search automatically when devices are connected or disconnected.", true},
        {"Search for LXI (VXI-11) network instruments.", false},
        {"Only use UDP, no TCP access for the IDN.", false},
        {"Search for Raw-TCP instruments (IP port 5,025).", false},
        {"Search automatically when opening this window.", false}};
    for (const auto& [sText, fTicked] : options) {
        QCheckBox* p = Gadget<QCheckBox>(iList, sText);
        ASSERT_NE(p, nullptr) << sText.toStdString();
        EXPECT_EQ(p->isChecked(), fTicked) << sText.toStdString();
    }
    EXPECT_NE(Gadget<QCheckBox>(iList, "Only use UDP, no TCP access for the IDN.")->toolTip().indexOf("displayed For selection."), -1);
    EXPECT_EQ(Views(iList)->currentWidget(), Report(iList));
    // The name column is hidden and leaves no room: "Interface" starts at the left edge.
    EXPECT_TRUE(Report(iList)->isColumnHidden(0));
    EXPECT_EQ(Report(iList)->header()->sectionViewportPosition(1), 0);
    EXPECT_TRUE(ShownItem(WindowStart::Windows()[0], WindowStart::MenuList)->isChecked());
    EXPECT_TRUE(ToolItem(iList, WindowStart::MenuList)->isChecked());
    EXPECT_FALSE(ToolItem(iList, WindowStart::MenuIcons)->isChecked());

    // Nothing found: no dialog, the status says so, the log holds the adapter error.
    EXPECT_EQ(StatusText(iList), "No instrument was found.");
    EXPECT_EQ(Model(iList)->rowCount(), 0);
    EXPECT_EQ(Model(iList)->columnCount(), 10);
    const std::string sLog = WindowLog::Text();
    EXPECT_NE(sLog.find("Error: No network adapters were found."), std::string::npos) << sLog;
    EXPECT_EQ(sLog.find("The search for LXI (VXI-11) instruments in the network was started"), std::string::npos);
    EXPECT_EQ(AdapterList(iList)->topLevelItemCount(), 0);
    EXPECT_EQ(Combo(iList, 2, 0)->count(), 0);

    // "&Connect" greyed in the menu, the popup menu and the toolbar.
    const int iMain = WindowStart::Windows()[0];
    EXPECT_FALSE(ShownItem(iMain, WindowStart::MenuConnect)->isEnabled());
    EXPECT_FALSE(PopupItem(iList, WindowStart::MenuConnect)->isEnabled());
    EXPECT_FALSE(ToolItem(iList, WindowStart::MenuConnect)->isEnabled());
    EXPECT_EQ(ToolItem(iList, WindowStart::MenuConnect)->toolTip(), "Connect");

    // LAN "Add" without an adapter does nothing; the config keeps no entry and no option.
    Field(iList, 0)->setText("192.168.1.20");
    Click(PageButton(iList, 2, "Add"));
    EXPECT_EQ(LanList(iList)->topLevelItemCount(), 0);
    EXPECT_EQ(Keys("WindowSelectAddLANInstrument"), std::vector<std::string>{});
    EXPECT_EQ(ReadConfigValue("WindowSelectInstrument", "SearchUsb"), "<none>");
    // The serial page without a port adds nothing either.
    Click(PageButton(iList, 3, "Add"));
    EXPECT_EQ(SerialList(iList)->topLevelItemCount(), 0);
}

TEST_F(SelectWindowTest, AnOptionIsWrittenAtOnceAndShownOnReopening) {
    const int iMain = OpenMain();
    int iList = ListOf(iMain);
    ASSERT_NE(iList, 0);
    Click(Gadget<QCheckBox>(iList, "Search for LXI (VXI-11) network instruments."));
    EXPECT_EQ(ReadConfigValue("WindowSelectInstrument", "SearchLan"), "1");
    Click(Gadget<QCheckBox>(iList, "Search automatically when devices are connected or disconnected."));
    EXPECT_EQ(ReadConfigValue("WindowSelectInstrument", "SearchUsbAutomatically"), "0");
    StopSearch();
    // Escape closes the MDI child.
    EventHub::PostEvent(EventMenu, iList, 267);
    Settle();
    EXPECT_EQ(ListOf(iMain), 0);
    Choose(iMain, WindowStart::MenuSelect);
    iList = ListOf(iMain);
    ASSERT_NE(iList, 0);
    EXPECT_TRUE(Gadget<QCheckBox>(iList, "Search for LXI (VXI-11) network instruments.")->isChecked());
    EXPECT_FALSE(Gadget<QCheckBox>(iList, "Search automatically when devices are connected or disconnected.")->isChecked());
    EXPECT_TRUE(Gadget<QCheckBox>(iList, "Search for USBTMC instruments (WinUSB driver).")->isChecked());
}

TEST_F(SelectWindowTest, TheProtocolChoiceSwitchesThePortFieldsAndMakersFillTheModels) {
    const int iList = OpenWithList();
    ASSERT_NE(iList, 0);
    QLineEdit* pIp = Field(iList, 0);
    QLineEdit* pRpc = Field(iList, 1);
    QLineEdit* pVxi = Field(iList, 2);
    QLineEdit* pPort = Field(iList, 3);
    // Hints, not texts.
    EXPECT_EQ(pIp->text(), "");
    EXPECT_EQ(pIp->placeholderText(), "255.255.255.255");
    EXPECT_EQ(pVxi->text(), "");
    EXPECT_EQ(pVxi->placeholderText(), "optionally");
    EXPECT_EQ(pRpc->text(), "111");
    EXPECT_EQ(pPort->text(), "5025");
    EXPECT_TRUE(Gadget<QRadioButton>(iList, "LXI")->isChecked());
    EXPECT_FALSE(pRpc->isEnabled());
    EXPECT_TRUE(pVxi->isEnabled());
    EXPECT_FALSE(pPort->isEnabled());
    Click(Gadget<QRadioButton>(iList, "Raw TCP"));
    EXPECT_TRUE(pPort->isEnabled());
    EXPECT_FALSE(pVxi->isEnabled());
    EXPECT_FALSE(pRpc->isEnabled());
    Click(Gadget<QRadioButton>(iList, "LXI"));
    EXPECT_FALSE(pPort->isEnabled());
    EXPECT_TRUE(pVxi->isEnabled());
    // Digits only.
    pVxi->setFocus();
    QTest::keyClicks(pVxi, "4a0-9");
    EXPECT_EQ(pVxi->text(), "409");

    for (int iPage : {2, 3}) {
        QComboBox* pMaker = Combo(iList, iPage, 1);
        QComboBox* pModel = Combo(iList, iPage, 2);
        ASSERT_EQ(pMaker->count(), 5);
        EXPECT_EQ(pMaker->itemText(0), "HAMEG");
        EXPECT_EQ(pMaker->itemText(3), "Rohde & Schwarz");
        EXPECT_EQ(pModel->count(), 3); // HAMEG's
        pMaker->setEditText("Rigol Technologies");
        Settle();
        EXPECT_EQ(pModel->count(), 9);
        EXPECT_EQ(pModel->itemText(4), "DS1000Z");
        pMaker->setEditText("Rigol Technologies ");
        Settle();
        EXPECT_EQ(pModel->count(), 0);
        pMaker->setEditText("Acme");
        Settle();
        EXPECT_EQ(pModel->count(), 0);
    }
    // The serial combos with their first choices.
    EXPECT_EQ(Combo(iList, 3, 3)->currentText().toStdString(), Utility::StrDLocalized(9600, 0));
    EXPECT_EQ(Combo(iList, 3, 3)->count(), 6);
    EXPECT_EQ(Combo(iList, 3, 4)->currentText(), "8");
    EXPECT_EQ(Combo(iList, 3, 5)->currentText(), "1");
    EXPECT_EQ(Combo(iList, 3, 5)->itemText(1).toStdString(), Utility::StrDLocalized(1.5, 1));
    EXPECT_EQ(Combo(iList, 3, 6)->currentText(), "None");
    EXPECT_EQ(Combo(iList, 3, 7)->itemText(1), "No hands., RTS is 1");
}

// Tab goes through the "Add LAN instrument" form as it reads: left to right along a row, then
// the next row down, every gadget that takes the focus once.
TEST_F(SelectWindowTest, TabGoesThroughTheLanFormLeftToRightRowByRow) {
    const int iList = OpenWithList();
    ASSERT_NE(iList, 0);
    QTabWidget* pPanel = Gadget<QTabWidget>(iList);
    QWidget* pPage = pPanel->widget(2);
    ASSERT_EQ(pPanel->tabText(2), "Add LAN instrument");
    pPanel->setCurrentIndex(2);
    Settle();
    std::vector<QWidget*> chain;
    for (QWidget* p = pPage->nextInFocusChain(); p != pPage && chain.size() < 100; p = p->nextInFocusChain()) {
        if (p->parentWidget() == pPage && (p->focusPolicy() & Qt::TabFocus)) chain.push_back(p);
    }
    int iFocusable = 0;
    for (QWidget* p : pPage->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) iFocusable += (p->focusPolicy() & Qt::TabFocus) ? 1 : 0;
    ASSERT_EQ(static_cast<int>(chain.size()), iFocusable);
    ASSERT_GE(chain.size(), 10u);
    for (std::size_t i = 1; i < chain.size(); ++i) {
        const QRect a = chain[i - 1]->geometry(), b = chain[i]->geometry();
        const bool fSameRow = std::abs(a.center().y() - b.center().y()) <= 5;
        const std::string sPair = std::string(chain[i - 1]->metaObject()->className()) + " at " + std::to_string(a.x()) +
                                  "," + std::to_string(a.y()) + " then " + chain[i]->metaObject()->className() + " at " +
                                  std::to_string(b.x()) + "," + std::to_string(b.y());
        EXPECT_TRUE(fSameRow ? b.x() > a.x() : b.center().y() > a.center().y()) << sPair;
    }
}

TEST_F(SelectWindowTest, ListAndIconsSwitchTheViewEverywhereAndAreKept) {
    const int iMain = OpenMain();
    const int iList = ListOf(iMain);
    ASSERT_NE(iList, 0);
    Choose(iMain, WindowStart::MenuIcons);
    EXPECT_EQ(Views(iList)->currentWidget(), Icons(iList));
    EXPECT_TRUE(ShownItem(iMain, WindowStart::MenuIcons)->isChecked());
    EXPECT_FALSE(ShownItem(iMain, WindowStart::MenuList)->isChecked());
    EXPECT_TRUE(PopupItem(iList, WindowStart::MenuIcons)->isChecked());
    EXPECT_TRUE(ToolItem(iList, WindowStart::MenuIcons)->isChecked());
    EXPECT_FALSE(ToolItem(iList, WindowStart::MenuList)->isChecked());
    EXPECT_EQ(ReadConfigValue("WindowSelectInstrument", "SelectInstrumentListIconView"), "1");
    ToolItem(iList, WindowStart::MenuList)->trigger();
    Settle();
    EXPECT_EQ(Views(iList)->currentWidget(), Report(iList));
    EXPECT_TRUE(PopupItem(iList, WindowStart::MenuList)->isChecked());
    EXPECT_EQ(ReadConfigValue("WindowSelectInstrument", "SelectInstrumentListIconView"), "0");
}

// Escape with a combo box's list open closes that list only; the next Escape closes the window.
TEST_F(SelectWindowTest, EscapeClosesAnOpenListFirstAndThenTheWindow) {
    const int iMain = OpenMain();
    const int iList = ListOf(iMain);
    ASSERT_NE(iList, 0);
    ASSERT_TRUE(WaitForSearch(iList));
    Gadget<QTabWidget>(iList)->setCurrentIndex(3);
    Settle();
    for (const int iCombo : {1, 3, 6}) { // maker (editable), speed, parity
        SCOPED_TRACE(iCombo);
        QComboBox* pCombo = Combo(iList, 3, iCombo);
        pCombo->showPopup();
        ASSERT_TRUE(WaitFor([] { return QApplication::activePopupWidget() != nullptr; }));
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
        Settle();
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
        ASSERT_EQ(ListOf(iMain), iList);
    }
    // The offscreen platform leaves the closed list the active window: the main window takes
    // the keys again, as it does on a desktop.
    QApplication::setActiveWindow(Record(iMain)->pFrame);
    Combo(iList, 3, 1)->setFocus();
    QTest::keyClick(Combo(iList, 3, 1), Qt::Key_Escape);
    Settle();
    EXPECT_TRUE(WaitFor([&] { return ListOf(iMain) == 0; }));
}

// As a workspace opens it: a separate window, owned by the main window (it stays above it).
TEST_F(SelectWindowTest, ASeparateListBelongsToItsMainWindow) {
    const int iMain = OpenMain();
    const int iInArea = ListOf(iMain);
    ASSERT_NE(iInArea, 0);
    ASSERT_TRUE(WaitForSearch(iInArea));
    ChildWindow::Close(iInArea);
    Settle();
    WindowStart::OpenChildByKind(iMain, WindowKindSelectInstrument, 0);
    const int iList = ListOf(iMain);
    ASSERT_NE(iList, 0);
    EXPECT_EQ(ChildWindow::MdiFrame(iList), nullptr);
    WindowFrame* pList = ChildWindow::Find(iList);
    EXPECT_TRUE(pList->isWindow());
    EXPECT_EQ(pList->parentWidget(), Record(iMain)->pFrame.data());
    EXPECT_TRUE(WaitForSearch(iList));
}

// A window kept far too small (as one that shrank at every start) opens as large as its pages
// need: every page's fields and buttons whole, the tabs' titles without scroll arrows, three rows
// in each list; and it keeps its size from one start to the next.
TEST_F(SelectWindowTest, ARestoredWindowBelowItsMinimumIsEnlargedAndKeepsItsSize) {
    WriteConfig("[Window]\nWindowSelectInstrumentPositionMdi=10,10,552,282,560,310,0\n");
    Main::CloseConfig();
    Main::OpenConfig();
    const int iMain = OpenMain();
    const int iList = ListOf(iMain);
    ASSERT_NE(iList, 0);
    ASSERT_TRUE(WaitForSearch(iList));
    QMdiSubWindow* pMdiFrame = ChildWindow::MdiFrame(iList);
    EXPECT_GE(pMdiFrame->width(), pMdiFrame->minimumSizeHint().width());
    EXPECT_GE(pMdiFrame->height(), pMdiFrame->minimumSizeHint().height());
    QTabWidget* pPanel = Gadget<QTabWidget>(iList);
    EXPECT_GE(pPanel->tabBar()->width(), pPanel->tabBar()->sizeHint().width());
    for (int iPage = 0; iPage < pPanel->count(); ++iPage) {
        SCOPED_TRACE(pPanel->tabText(iPage).toStdString());
        pPanel->setCurrentIndex(iPage);
        Settle();
        for (QWidget* p : pPanel->widget(iPage)->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (!p->isVisible()) continue;
            const std::string sWhat = p->metaObject()->className() + std::string(" ") + p->objectName().toStdString();
            if (auto* pTree = qobject_cast<QTreeWidget*>(p)) {
                EXPECT_GE(pTree->viewport()->height(), 3 * pTree->fontMetrics().height()) << "list rows";
            } else if (qobject_cast<QAbstractButton*>(p) || qobject_cast<QComboBox*>(p) || qobject_cast<QLineEdit*>(p) ||
                       qobject_cast<QLabel*>(p)) {
                EXPECT_GE(p->width(), p->minimumSizeHint().width()) << sWhat;
                EXPECT_GE(p->height(), p->minimumSizeHint().height()) << sWhat;
                EXPECT_EQ(p->visibleRegion().boundingRect(), p->rect()) << sWhat;
            }
        }
    }
    // Made larger, closed and opened again at the size it had.
    pMdiFrame->resize(pMdiFrame->size() + QSize(40, 30));
    const QSize left = ChildWindow::Find(iList)->size();
    EventHub::PostEvent(EventCloseWindowRequest, iMain);
    ASSERT_TRUE(WaitFor([&] { return !Record(iMain); }));
    StopSearch();
    const int iAgain = ListOf(OpenMain());
    ASSERT_NE(iAgain, 0);
    EXPECT_EQ(ChildWindow::Find(iAgain)->size(), left);
    ASSERT_TRUE(WaitForSearch(iAgain));
}

TEST_F(SelectWindowTest, TheChosenNetworksAreWholeEntries) {
    if (!AddAdapter("lab0", "10.0.0.1", 8) || !AddAdapter("lab1", "110.0.0.1", 8)) GTEST_SKIP() << sAdapterFailure;
    WriteConfig("[WindowSelectInstrument]\nNetworkList=10.0.0.0\n");
    Main::CloseConfig();
    Main::OpenConfig();
    const int iList = OpenWithList();
    ASSERT_NE(iList, 0);
    ASSERT_TRUE(WaitForSearch(iList));
    QTreeWidget* pAdapters = AdapterList(iList);
    std::map<std::string, bool> ticked;
    for (int i = 0; i < pAdapters->topLevelItemCount(); ++i) {
        ticked[pAdapters->topLevelItem(i)->text(1).toStdString()] = pAdapters->topLevelItem(i)->checkState(0) == Qt::Checked;
    }
    // Only 10.0.0.0 is chosen: 110.0.0.0 holds it as a substring but is another network.
    EXPECT_EQ(ticked, (std::map<std::string, bool>{{"10.0.0.1", true}, {"110.0.0.1", false}}));
    const std::string sLog = WindowLog::Text();
    EXPECT_NE(sLog.find("Found network adapters: "), std::string::npos);
    EXPECT_NE(sLog.find("  10.0.0.1  lab0"), std::string::npos) << sLog;
    // Ticking the other stores both, in list order.
    for (int i = 0; i < pAdapters->topLevelItemCount(); ++i) pAdapters->topLevelItem(i)->setCheckState(0, Qt::Checked);
    Settle();
    const std::string sList = ReadConfigValue("WindowSelectInstrument", "NetworkList");
    EXPECT_TRUE(sList == "10.0.0.0;110.0.0.0" || sList == "110.0.0.0;10.0.0.0") << sList;
    // The adapter combo names each adapter with its address.
    QComboBox* pCombo = Combo(iList, 2, 0);
    ASSERT_EQ(pCombo->count(), 2);
    EXPECT_EQ(pCombo->currentIndex(), 0);
    EXPECT_TRUE(pCombo->findText("10.0.0.1 - lab0") >= 0);
}

} // namespace
