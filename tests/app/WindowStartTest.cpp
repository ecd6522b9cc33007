// The main window driven through its real menus, toolbar and MDI area, with child windows of
// every kind built by the shared child helper.
#include "app/FrameTestSupport.h"

#include <QFile>
#include <QStatusBar>

#include <algorithm>
#include <sstream>

namespace {

using namespace FrameTestSupport;

class WindowStartTest : public FrameTest {};

std::string ReadFile(const QString& sPath) {
    QFile f(sPath);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : "<missing " + sPath.toStdString() + ">";
}

TEST_F(WindowStartTest, EveryKindAndFormBuildsTheMenusOfTheGoldenText) {
    std::string sAll;
    for (int iKind = WindowKindStart; iKind <= WindowKindWaveformViewer; ++iKind) {
        if (iKind == WindowKindScript) continue;
        for (int fMdi : {0, 1}) {
            if (iKind == WindowKindStart && fMdi) continue;
            QMenuBar bar;
            WindowStart::CreateMenu(&bar, 1, iKind, fMdi);
            sAll += "== " + Window::IdToKey(iKind) + (fMdi ? " mdi" : " separate") + "\n" + DumpMenuBar(&bar);
        }
    }
    EXPECT_EQ(sAll, ReadFile(ORVANTO_TEST_DATA "/menus.txt"));
}

TEST_F(WindowStartTest, TheMainWindowShowsItsMenuTitleAndInstrumentListAtOnce) {
    const int iMain = OpenMain();
    ASSERT_NE(iMain, 0);
    uWindowStart* p = Record(iMain);
    EXPECT_EQ(p->pFrame->windowTitle().toStdString(), "Orvanto v" ORVANTO_VERSION " (Alpha)");
    EXPECT_EQ(std::string(ORVANTO_VERSION), "0.1.0");
    ASSERT_TRUE(p->pStatusBar);
    // Item 15 was posted: the instrument list is an MDI child and its menus are in the frame.
    const auto lists = ChildrenOf(iMain, WindowKindSelectInstrument);
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_EQ(lists[0].fMdi, 1);
    EXPECT_EQ(p->pMdiArea->subWindowList().size(), 1);
    EXPECT_EQ(p->pMdiArea->subWindowList()[0]->windowTitle().toStdString(), "Child - Select Device");
    EXPECT_EQ(p->pShownMenu, ChildWindow::Find(lists[0].iWindow)->menuBar());
    EXPECT_NE(ShownItem(iMain, WindowStart::MenuList), nullptr);
    // The child's own bar stays hidden inside the MDI frame.
    EXPECT_FALSE(ChildWindow::Find(lists[0].iWindow)->menuBar()->isVisible());
}

TEST_F(WindowStartTest, TheToolbarHoldsItsButtonsInOrderWithPlainTooltips) {
    const int iMain = OpenMain();
    QToolBar* pToolBar = Record(iMain)->pToolBar;
    ASSERT_NE(pToolBar, nullptr);
    std::string sButtons;
    for (QAction* p : pToolBar->actions()) {
        sButtons += p->isSeparator() ? std::string("|") : std::to_string(p->data().toInt()) + ":" + p->toolTip().toStdString();
        sButtons += "\n";
    }
    EXPECT_EQ(sButtons, "3:New Window\n6:New Script\n7:Preferences...\n|\n15:Select...\n16:Disconnect\n|\n"
                        "21:SCPI-Command...\n22:Screenshot...\n25:Waveform...\n|\n54:Maximize\n55:Adapt\n"
                        "56:Cascade\n57:Tile vertically\n58:Tile horizontally\n|\n29:Show Windows\n");
    EXPECT_EQ(pToolBar->iconSize(), QSize(16, 16));
    for (QAction* p : pToolBar->actions()) {
        if (p->isSeparator()) continue;
        EXPECT_FALSE(p->icon().isNull()) << p->toolTip().toStdString();
        EXPECT_TRUE(p->icon().availableSizes().contains(QSize(16, 16))) << p->toolTip().toStdString();
    }
}

TEST_F(WindowStartTest, ExitClosesAllWindowsOrQuitsWithCtrl) {
    const int iMain = OpenMain();
    Choose(iMain, WindowStart::MenuExit);
    Choose(iMain, WindowStart::MenuExit, true);
    EXPECT_EQ(frameEvents, (std::vector<int>{EventCloseAllWindows, EventQuit}));
    // The toolbar's buttons read Ctrl at the click as well.
    frameEvents.clear();
    const std::size_t iBefore = ChildrenOf(iMain).size();
    QTest::mouseClick(Record(iMain)->pToolBar->widgetForAction(Button(iMain, WindowStart::MenuScpiCommand)),
                      Qt::LeftButton, Qt::ControlModifier);
    Settle();
    ASSERT_EQ(ChildrenOf(iMain).size(), iBefore + 1);
    EXPECT_EQ(ChildrenOf(iMain, WindowKindScpiCommand)[0].fMdi, 0);
}

TEST_F(WindowStartTest, TheTwoCheckMarksAreInvertedAndWrittenToConfig) {
    const int iMain = OpenMain();
    // The instrument list is active: its menus are in the frame and reach the main window first.
    Choose(iMain, WindowStart::MenuOpenSeparately);
    EXPECT_TRUE(WindowStart::WindowOpenIndependent());
    EXPECT_EQ(ReadConfigValue("General", "WindowOpenIndependent"), "1");
    EXPECT_TRUE(WindowStart::FindMenuItem(Record(iMain)->pMenu, WindowStart::MenuOpenSeparately)->isChecked());
    Choose(iMain, WindowStart::MenuDontCheckPosition);
    EXPECT_TRUE(Main::WindowDontCheckPosition());
    EXPECT_EQ(ReadConfigValue("General", "WindowDontCheckPosition"), "1");
    Choose(iMain, WindowStart::MenuOpenSeparately);
    Choose(iMain, WindowStart::MenuDontCheckPosition);
    EXPECT_FALSE(WindowStart::WindowOpenIndependent());
    EXPECT_FALSE(Main::WindowDontCheckPosition());
    EXPECT_EQ(ReadConfigValue("General", "WindowOpenIndependent"), "0");
    EXPECT_EQ(ReadConfigValue("General", "WindowDontCheckPosition"), "0");
    EXPECT_FALSE(WindowStart::FindMenuItem(Record(iMain)->pMenu, WindowStart::MenuOpenSeparately)->isChecked());
}

struct uFormCase {
    int iItem;
    int iKind;
};

TEST_F(WindowStartTest, FunctionWindowsOpenSeparatelyWithTheOptionOrCtrlElseInTheMdiArea) {
    for (const uFormCase& c : {uFormCase{WindowStart::MenuScpiCommand, WindowKindScpiCommand},
                               uFormCase{WindowStart::MenuScreenshot, WindowKindScreenshot},
                               uFormCase{WindowStart::MenuWaveform, WindowKindWaveform}}) {
        for (int iWay = 0; iWay < 3; ++iWay) {
            SCOPED_TRACE(std::to_string(c.iItem) + " way " + std::to_string(iWay));
            const int iMain = OpenMain();
            if (iWay == 2) Choose(iMain, WindowStart::MenuOpenSeparately);
            Choose(iMain, c.iItem, iWay == 1);
            const auto found = ChildrenOf(iMain, c.iKind);
            ASSERT_EQ(found.size(), 1u);
            EXPECT_EQ(found[0].fMdi, iWay == 0 ? 1 : 0);
            if (iWay == 2) Choose(iMain, WindowStart::MenuOpenSeparately);
            EventHub::PostEvent(EventCloseWindowRequest, iMain);
            ASSERT_TRUE(WaitFor([&] { return !Record(iMain); }));
        }
    }
}

TEST_F(WindowStartTest, SelectIsAlwaysMdiAndPreferencesAlwaysSeparate) {
    Choose(OpenMain(), WindowStart::MenuOpenSeparately);
    const int iMain = OpenMain();
    ASSERT_EQ(ChildrenOf(iMain, WindowKindSelectInstrument).size(), 1u);
    EXPECT_EQ(ChildrenOf(iMain, WindowKindSelectInstrument)[0].fMdi, 1);
    Choose(iMain, WindowStart::MenuPreferences);
    ASSERT_EQ(ChildrenOf(iMain, WindowKindPreferences).size(), 1u);
    EXPECT_EQ(ChildrenOf(iMain, WindowKindPreferences)[0].fMdi, 0);
    Choose(iMain, WindowStart::MenuOpenSeparately);
    // The program has one preferences window: a second main window brings it forward.
    Choose(iMain, WindowStart::MenuNewWindow);
    const int iSecond = WindowStart::Windows().back();
    ASSERT_NE(iSecond, iMain);
    Choose(iSecond, WindowStart::MenuPreferences);
    EXPECT_EQ(ChildrenOf(iSecond, WindowKindPreferences).size(), 0u);
    EXPECT_EQ(WindowStart::FindChild(-1, WindowKindPreferences), ChildrenOf(iMain, WindowKindPreferences)[0].iWindow);
}

TEST_F(WindowStartTest, ASecondScpiCommandRestoresAndActivatesTheFirst) {
    const int iMain = OpenMain();
    Choose(iMain, WindowStart::MenuScpiCommand);
    const auto scpi = ChildrenOf(iMain, WindowKindScpiCommand);
    ASSERT_EQ(scpi.size(), 1u);
    QMdiSubWindow* pScpi = ChildWindow::MdiFrame(scpi[0].iWindow);
    pScpi->showMinimized();
    Record(iMain)->pMdiArea->setActiveSubWindow(ChildWindow::MdiFrame(ChildrenOf(iMain, WindowKindSelectInstrument)[0].iWindow));
    Settle();
    Choose(iMain, WindowStart::MenuScpiCommand);
    EXPECT_EQ(ChildrenOf(iMain, WindowKindScpiCommand).size(), 1u);
    EXPECT_FALSE(pScpi->isMinimized());
    EXPECT_EQ(Record(iMain)->pMdiArea->currentSubWindow(), pScpi);
    EXPECT_EQ(Record(iMain)->pShownMenu, ChildWindow::Find(scpi[0].iWindow)->menuBar());
    // Minimised while maximised, it comes back maximised from its entry in the Window menu and
    // by its own restore, and its restore then gives it its normal size; Window > Maximize gives
    // it the area's size in the normal state.
    pScpi->setGeometry(20, 30, 320, 240);
    const QRect normal = pScpi->geometry();
    for (const int iWay : {0, 1, 2}) { // the menu's entry, its own restore, Maximize
        SCOPED_TRACE(iWay);
        pScpi->showMaximized();
        pScpi->showMinimized();
        if (iWay == 2) {
            Record(iMain)->pMdiArea->setActiveSubWindow(pScpi);
            Choose(iMain, WindowStart::MenuMaximize);
            EXPECT_FALSE(pScpi->isMaximized() || pScpi->isMinimized());
            EXPECT_EQ(pScpi->geometry(), Record(iMain)->pMdiArea->viewport()->rect());
            continue;
        }
        if (iWay == 1) {
            pScpi->showNormal();
        } else {
            for (const QPointer<QAction>& pEntry : Record(iMain)->mWindowList) {
                if (pEntry && pEntry->text().contains("SCPI")) pEntry->trigger();
            }
        }
        EXPECT_TRUE(pScpi->isMaximized());
        pScpi->showNormal();
        EXPECT_FALSE(pScpi->isMaximized() || pScpi->isMinimized());
        EXPECT_EQ(pScpi->geometry(), normal);
    }

    // A separate one is brought back the same way.
    Choose(iMain, WindowStart::MenuScreenshot, true);
    const auto shot = ChildrenOf(iMain, WindowKindScreenshot);
    ASSERT_EQ(shot.size(), 1u);
    WindowFrame* pShot = ChildWindow::Find(shot[0].iWindow);
    pShot->showMinimized();
    Settle();
    Choose(iMain, WindowStart::MenuScreenshot, true);
    EXPECT_FALSE(pShot->isMinimized());
    EXPECT_EQ(ChildrenOf(iMain, WindowKindScreenshot).size(), 1u);
}

TEST_F(WindowStartTest, UnhandledItemsGoToTheActiveMdiChildAlone) {
    const int iMain = OpenMain();
    Choose(iMain, WindowStart::MenuScreenshot);
    const int iList = ChildrenOf(iMain, WindowKindSelectInstrument)[0].iWindow;
    const int iShot = ChildrenOf(iMain, WindowKindScreenshot)[0].iWindow;
    ASSERT_EQ(Record(iMain)->pMdiArea->currentSubWindow(), ChildWindow::MdiFrame(iShot));
    const std::vector<int> mShot = {1, 9, 11, 12, 13, 14};
    for (int iItem : mShot) Choose(iMain, iItem);
    EXPECT_EQ(children.received[iShot], mShot);
    EXPECT_TRUE(children.received[iList].empty());

    Record(iMain)->pMdiArea->setActiveSubWindow(ChildWindow::MdiFrame(iList));
    Settle();
    ASSERT_EQ(Record(iMain)->pShownMenu, ChildWindow::Find(iList)->menuBar());
    const std::vector<int> mList = {9, 17, 18, 19, 20};
    for (int iItem : mList) Choose(iMain, iItem);
    EXPECT_EQ(children.received[iList], mList);
    EXPECT_EQ(children.received[iShot], mShot);
    // The frame's own items stay with the frame.
    Choose(iMain, WindowStart::MenuExit);
    EXPECT_EQ(children.received[iList], mList);
    // "Close &MDI-Window" closes the active child only.
    Choose(iMain, WindowStart::MenuCloseMdiWindow);
    EXPECT_FALSE(ChildWindow::Find(iList));
    EXPECT_TRUE(ChildWindow::Find(iShot));
    EXPECT_EQ(ChildrenOf(iMain).size(), 1u);
}

TEST_F(WindowStartTest, CloseWindowIsGreyedWhileOneTopLevelWindowIsOpen) {
    const int iMain = OpenMain();
    Choose(iMain, WindowStart::MenuScpiCommand);
    const auto children = ChildrenOf(iMain);
    ASSERT_EQ(children.size(), 2u);
    EXPECT_FALSE(WindowStart::FindMenuItem(Record(iMain)->pMenu, WindowStart::MenuCloseWindow)->isEnabled());
    for (const uChildWindow& c : children) {
        EXPECT_FALSE(WindowStart::FindMenuItem(ChildWindow::Find(c.iWindow)->menuBar(), 4)->isEnabled()) << c.iKind;
    }
    Choose(iMain, WindowStart::MenuNewScript);
    ASSERT_EQ(Main::CountTopLevelWindows(), 2);
    EXPECT_TRUE(WindowStart::FindMenuItem(Record(iMain)->pMenu, WindowStart::MenuCloseWindow)->isEnabled());
    for (const uChildWindow& c : children) {
        EXPECT_TRUE(WindowStart::FindMenuItem(ChildWindow::Find(c.iWindow)->menuBar(), 4)->isEnabled()) << c.iKind;
    }
}

TEST_F(WindowStartTest, ArrangementItemsAreGreyedWithoutChildren) {
    const int iMain = OpenMain();
    auto check = [&](bool fEnabled) {
        for (int iItem = WindowStart::MenuMaximize; iItem <= WindowStart::MenuPrevious; ++iItem) {
            EXPECT_EQ(WindowStart::FindMenuItem(Record(iMain)->pMenu, iItem)->isEnabled(), fEnabled) << iItem;
            if (iItem <= WindowStart::MenuTileHorizontally) {
                EXPECT_EQ(Button(iMain, iItem)->isEnabled(), fEnabled) << iItem;
            }
        }
    };
    check(true);
    Choose(iMain, WindowStart::MenuCloseMdiWindow);
    ASSERT_TRUE(ChildrenOf(iMain).empty());
    check(false);
    // "Show &Windows" follows the separate children; "&Disconnect" is greyed without instrument.
    EXPECT_FALSE(Button(iMain, WindowStart::MenuShowWindows)->isEnabled());
    EXPECT_FALSE(Button(iMain, WindowStart::MenuDisconnect)->isEnabled());
    EXPECT_TRUE(Button(iMain, WindowStart::MenuSelect)->isEnabled());
    Choose(iMain, WindowStart::MenuWaveform, true);
    EXPECT_TRUE(Button(iMain, WindowStart::MenuShowWindows)->isEnabled());
    check(false);
}

TEST_F(WindowStartTest, TheLastMdiChildClosedGivesTheFrameItsMenuAndWindowListBack) {
    const int iMain = OpenMain();
    Choose(iMain, WindowStart::MenuScpiCommand);
    // The window list sits in the child's second-to-last menu, the active child checked.
    const QList<QAction*> mTitles = ShownBar(iMain)->actions();
    ASSERT_GE(mTitles.size(), 2);
    QMenu* pWindowMenu = mTitles[mTitles.size() - 2]->menu();
    EXPECT_EQ(mTitles[mTitles.size() - 2]->text().toStdString(), "&Window");
    std::vector<std::string> mList;
    for (QAction* p : pWindowMenu->actions()) {
        if (p->data().toInt() >= WindowStart::MenuWindowListFirst) {
            mList.push_back(p->text().toStdString() + (p->isChecked() ? " *" : ""));
        }
    }
    EXPECT_EQ(mList, (std::vector<std::string>{"&1 Child - Select Device", "&2 Child - SCPI-Command *"}));
    // Choosing an entry activates that child.
    for (QAction* p : pWindowMenu->actions()) {
        if (p->data().toInt() == WindowStart::MenuWindowListFirst) p->trigger();
    }
    Settle();
    const int iList = ChildrenOf(iMain, WindowKindSelectInstrument)[0].iWindow;
    EXPECT_EQ(Record(iMain)->pMdiArea->currentSubWindow(), ChildWindow::MdiFrame(iList));
    EXPECT_EQ(Record(iMain)->pShownMenu, ChildWindow::Find(iList)->menuBar());

    Choose(iMain, WindowStart::MenuCloseMdiWindow);
    Choose(iMain, WindowStart::MenuCloseMdiWindow);
    ASSERT_TRUE(ChildrenOf(iMain).empty());
    EXPECT_EQ(Record(iMain)->pShownMenu, Record(iMain)->pMenu);
    EXPECT_EQ(DumpMenuBar(ShownBar(iMain)), DumpMenuBar(Record(iMain)->pMenu));
    EXPECT_EQ(ShownItem(iMain, WindowStart::MenuList), nullptr);
    // No child, no list: only the frame's own items are left in its "&Window".
    for (QAction* p : ShownBar(iMain)->actions()[ShownBar(iMain)->actions().size() - 2]->menu()->actions()) {
        EXPECT_LT(p->data().toInt(), WindowStart::MenuWindowListFirst);
    }
}

TEST_F(WindowStartTest, ClosingClosesTheChildrenOneAtATimeThenSavesThePlace) {
    const int iMain = OpenMain();
    Choose(iMain, WindowStart::MenuScpiCommand);
    Choose(iMain, WindowStart::MenuWaveform, true);
    const auto before = ChildrenOf(iMain);
    ASSERT_EQ(before.size(), 3u);
    Choose(iMain, WindowStart::MenuNewScript); // so that the main window may close alone

    children.closed.clear();
    EventHub::PostEvent(EventCloseWindowRequest, iMain);
    ASSERT_TRUE(WaitFor([&] { return !Record(iMain); }));
    // One child per round, in registry order: each closes once the one before has left the registry.
    std::vector<std::pair<int, std::size_t>> mExpected;
    for (std::size_t i = 0; i < before.size(); ++i) mExpected.emplace_back(before[i].iWindow, before.size() - i);
    EXPECT_EQ(children.closed, mExpected);
    EXPECT_FALSE(Record(iMain));
    for (const uChildWindow& c : before) EXPECT_FALSE(ChildWindow::Find(c.iWindow));
    EXPECT_NE(ReadConfigValue("Window", "WindowStartPosition"), "<none>");
    EXPECT_NE(ReadConfigValue("Window", "WindowScpiCommandPositionMdi"), "<none>");
    EXPECT_NE(ReadConfigValue("Window", "WindowWaveformPosition"), "<none>");
}

TEST_F(WindowStartTest, AnMdiChildWhoseModuleFailsIsNotLeftBehind) {
    children.failingKinds.insert(WindowKindScpiCommand);
    const int iMain = OpenMain();
    const int iFrames = Record(iMain)->pMdiArea->subWindowList().size();
    Choose(iMain, WindowStart::MenuScpiCommand);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(Record(iMain)->pMdiArea->subWindowList().size(), iFrames);
    EXPECT_TRUE(ChildrenOf(iMain, WindowKindScpiCommand).empty());
    // Nor is a separate one registered.
    Choose(iMain, WindowStart::MenuScpiCommand, true);
    EXPECT_TRUE(ChildrenOf(iMain, WindowKindScpiCommand).empty());
}

TEST_F(WindowStartTest, RebuiltMenusKeepTheActiveChildsMenuInTheFrame) {
    const int iMain = OpenMain();
    Choose(iMain, WindowStart::MenuScpiCommand);
    const int iScpi = ChildrenOf(iMain, WindowKindScpiCommand)[0].iWindow;
    WindowStart::RebuildMenus(iMain);
    Settle();
    EXPECT_EQ(Record(iMain)->pShownMenu, ChildWindow::Find(iScpi)->menuBar());
    ASSERT_NE(ShownItem(iMain, WindowStart::MenuSaveAs), nullptr);
    Choose(iMain, WindowStart::MenuSaveAs);
    EXPECT_EQ(children.received[iScpi], std::vector<int>{WindowStart::MenuSaveAs});
    EXPECT_FALSE(WindowStart::FindMenuItem(Record(iMain)->pMenu, WindowStart::MenuCloseWindow)->isEnabled());
}

} // namespace
