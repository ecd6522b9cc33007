// Arranging the MDI children of a main window, showing its separate children, and the viewers
// that capture windows ask for.
#include "app/FrameTestSupport.h"

namespace {

using namespace FrameTestSupport;
using WindowStart::uRect;

struct uAdaptCase {
    const char* sName;
    uRect active;
    std::vector<uRect> others;
    std::optional<uRect> expected;
};

TEST(WindowStartAdapt, GrowsIntoTheFreeSpaceAroundTheTopLeftCorner) {
    const uRect c{0, 0, 800, 600};
    const uAdaptCase cases[] = {
        {"alone it fills the area", {100, 100, 300, 250}, {}, c},
        {"a child directly to its right stops it at that child's left edge",
         {0, 0, 200, 200}, {{400, 0, 800, 600}}, uRect{0, 0, 400, 600}},
        {"a child to its left starts it at that child's right edge",
         {300, 50, 400, 100}, {{0, 0, 250, 600}}, uRect{250, 0, 800, 600}},
        {"children above and below bound the column", {100, 200, 200, 300},
         {{50, 0, 300, 150}, {0, 400, 800, 600}}, uRect{0, 150, 800, 400}},
        {"a child beside the band but outside its rows does not count", {100, 200, 200, 300},
         {{50, 0, 300, 150}, {500, 0, 700, 100}}, uRect{0, 150, 800, 600}},
        {"a child spanning the whole band bounds it", {100, 100, 200, 200},
         {{300, -50, 400, 700}}, uRect{0, 0, 300, 600}},
        {"a corner inside another child does nothing", {150, 150, 300, 300}, {{100, 100, 400, 400}}, std::nullopt},
        {"a corner on another child's last column and row does nothing", {399, 399, 500, 500},
         {{100, 100, 400, 400}}, std::nullopt},
        {"a corner on another child's right edge is outside it", {400, 100, 500, 200},
         {{100, 100, 400, 400}}, uRect{400, 0, 800, 600}},
        {"a corner left of the area does nothing", {-10, 100, 200, 200}, {}, std::nullopt},
        {"a corner below the area does nothing", {10, 601, 200, 700}, {}, std::nullopt},
    };
    for (const uAdaptCase& t : cases) {
        const std::optional<uRect> got = WindowStart::AdaptRect(t.active, c, t.others);
        ASSERT_EQ(got.has_value(), t.expected.has_value()) << t.sName;
        if (got) {
            EXPECT_EQ(got->iLeft, t.expected->iLeft) << t.sName;
            EXPECT_EQ(got->iTop, t.expected->iTop) << t.sName;
            EXPECT_EQ(got->iRight, t.expected->iRight) << t.sName;
            EXPECT_EQ(got->iBottom, t.expected->iBottom) << t.sName;
        }
    }
}

// Tiling along one direction: equal shares where the minimums allow, else each child at its
// minimum and the others sharing the rest; where the minimums do not fit, overlapping spans
// from staggered starts to the end.
TEST(WindowStartTile, SpansKeepEachChildAtItsMinimumAndInsideTheArea) {
    using uSpans = std::vector<std::pair<int, int>>;
    const struct {
        const char* sName;
        std::vector<int> mMinimum;
        int iLength;
        uSpans expected;
    } cases[] = {
        {"equal shares", {10, 10, 10}, 300, {{0, 100}, {100, 100}, {200, 100}}},
        {"shares of an odd length", {0, 0, 0}, 100, {{0, 33}, {33, 33}, {66, 34}}},
        {"one above its share keeps its minimum", {10, 200, 10}, 400, {{0, 100}, {100, 200}, {300, 100}}},
        {"a minimum that raises another above its share", {150, 130, 10}, 300, {{0, 150}, {150, 130}, {280, 20}}},
        {"minimums that just fit", {100, 200}, 300, {{0, 100}, {100, 200}}},
        {"minimums too long overlap, each to the end", {200, 200, 200}, 300, {{0, 300}, {50, 250}, {100, 200}}},
        {"no child starts so late that it runs out", {100, 250, 50}, 300, {{0, 300}, {50, 250}, {250, 50}}},
        {"a minimum longer than the area takes the whole area", {500}, 300, {{0, 300}}},
        {"nothing to tile", {}, 300, {}},
    };
    for (const auto& c : cases) {
        const uSpans got = WindowStart::TileSpans(c.mMinimum, c.iLength);
        EXPECT_EQ(got, c.expected) << c.sName;
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_GE(got[i].first, 0) << c.sName;
            EXPECT_LE(got[i].first + got[i].second, c.iLength) << c.sName;
            EXPECT_GE(got[i].second, std::min(c.mMinimum[i], c.iLength)) << c.sName;
        }
    }
}

TEST(WindowStartViewerForm, FollowsTheCaptureWindowTheOptionAndCtrl) {
    struct uCase {
        int fCaptureMdi;
        bool fIndependent, fCtrl;
        int fExpectedMdi;
    };
    const uCase cases[] = {
        {1, false, false, 1}, {1, true, false, 0}, {1, false, true, 0}, {1, true, true, 0},
        {0, false, false, 0}, {0, true, false, 0}, {0, false, true, 1}, {0, true, true, 0},
    };
    for (const uCase& c : cases) {
        EXPECT_EQ(WindowStart::ViewerForm(c.fCaptureMdi, c.fIndependent, c.fCtrl), c.fExpectedMdi)
            << c.fCaptureMdi << c.fIndependent << c.fCtrl;
    }
}

class WindowArrangeTest : public FrameTest {
  protected:
    // A main window of a known size with its instrument list and two more MDI children.
    int OpenWithThreeChildren() {
        const int iMain = OpenMain();
        Record(iMain)->pFrame->resize(900, 700);
        Choose(iMain, WindowStart::MenuScpiCommand);
        Choose(iMain, WindowStart::MenuScreenshot);
        return iMain;
    }
    static QMdiSubWindow* FrameOf(int iMain, int iKind) {
        return ChildWindow::MdiFrame(ChildrenOf(iMain, iKind).at(0).iWindow);
    }
    static QRect Client(int iMain) { return Record(iMain)->pMdiArea->viewport()->rect(); }
};

TEST_F(WindowArrangeTest, TilingSideBySideAndOneAboveTheOtherSplitsTheAreaInOpeningOrder) {
    const int iMain = OpenWithThreeChildren();
    QMdiSubWindow* pList = FrameOf(iMain, WindowKindSelectInstrument);
    QMdiSubWindow* pScpi = FrameOf(iMain, WindowKindScpiCommand);
    QMdiSubWindow* pShot = FrameOf(iMain, WindowKindScreenshot);
    pScpi->showMaximized();
    Settle();
    const QRect c = Client(iMain);
    const int w = c.width(), h = c.height();

    Choose(iMain, WindowStart::MenuTileVertically);
    EXPECT_FALSE(pScpi->isMaximized());
    EXPECT_EQ(pList->geometry(), QRect(0, 0, w / 3, h));
    EXPECT_EQ(pScpi->geometry(), QRect(w / 3, 0, 2 * w / 3 - w / 3, h));
    EXPECT_EQ(pShot->geometry(), QRect(2 * w / 3, 0, w - 2 * w / 3, h));

    Choose(iMain, WindowStart::MenuTileHorizontally);
    EXPECT_EQ(pList->geometry(), QRect(0, 0, w, h / 3));
    EXPECT_EQ(pScpi->geometry(), QRect(0, h / 3, w, 2 * h / 3 - h / 3));
    EXPECT_EQ(pShot->geometry(), QRect(0, 2 * h / 3, w, h - 2 * h / 3));

    // A minimised child keeps out of the tiling.
    pShot->showMinimized();
    Settle();
    Choose(iMain, WindowStart::MenuTileVertically);
    EXPECT_EQ(pList->geometry(), QRect(0, 0, w / 2, h));
    EXPECT_EQ(pScpi->geometry(), QRect(w / 2, 0, w - w / 2, h));
}

TEST_F(WindowArrangeTest, MaximizeFitsTheActiveChildToTheAreaInTheNormalState) {
    const int iMain = OpenWithThreeChildren();
    QMdiSubWindow* pShot = FrameOf(iMain, WindowKindScreenshot);
    ASSERT_EQ(Record(iMain)->pMdiArea->currentSubWindow(), pShot);
    pShot->setGeometry(30, 40, 100, 80);
    Choose(iMain, WindowStart::MenuMaximize);
    EXPECT_EQ(pShot->geometry(), Client(iMain));
    EXPECT_FALSE(pShot->isMaximized());
}

TEST_F(WindowArrangeTest, AdaptGrowsTheActiveChildUpToItsNeighbour) {
    const int iMain = OpenWithThreeChildren();
    QMdiSubWindow* pList = FrameOf(iMain, WindowKindSelectInstrument);
    QMdiSubWindow* pScpi = FrameOf(iMain, WindowKindScpiCommand);
    QMdiSubWindow* pShot = FrameOf(iMain, WindowKindScreenshot);
    const QRect c = Client(iMain);
    pList->setGeometry(400, 0, 200, 300);
    pScpi->showMinimized(); // not in the normal state: it does not count
    pShot->setGeometry(0, 0, 150, 150);
    Settle();
    Record(iMain)->pMdiArea->setActiveSubWindow(pShot);
    Settle();
    Choose(iMain, WindowStart::MenuAdapt);
    EXPECT_EQ(pShot->geometry(), QRect(0, 0, 400, c.height()));
    // Its corner inside the list: nothing changes.
    pShot->setGeometry(450, 50, 100, 100);
    Settle();
    Record(iMain)->pMdiArea->setActiveSubWindow(pShot);
    Choose(iMain, WindowStart::MenuAdapt);
    EXPECT_EQ(pShot->geometry(), QRect(450, 50, 100, 100));
}

TEST_F(WindowArrangeTest, NextAndPreviousWalkThroughTheChildren) {
    const int iMain = OpenWithThreeChildren();
    QMdiArea* pArea = Record(iMain)->pMdiArea;
    QMdiSubWindow* pStart = pArea->currentSubWindow();
    Choose(iMain, WindowStart::MenuNext);
    QMdiSubWindow* pNext = pArea->currentSubWindow();
    EXPECT_NE(pNext, pStart);
    // The frame shows the menus of the child that is active now.
    auto* pChild = qobject_cast<WindowFrame*>(pNext->widget());
    ASSERT_NE(pChild, nullptr);
    EXPECT_EQ(Record(iMain)->pShownMenu, pChild->menuBar());
    Choose(iMain, WindowStart::MenuPrevious);
    EXPECT_EQ(pArea->currentSubWindow(), pStart);
}

TEST_F(WindowArrangeTest, ShowWindowsBringsASeparateChildBackAndItsShowMainWindowTheMaximisedMainWindow) {
    const int iMain = OpenMain();
    WindowStart::SetWindowOpenIndependent(true);
    Choose(iMain, WindowStart::MenuScpiCommand);
    WindowStart::SetWindowOpenIndependent(false);
    const auto separate = ChildrenOf(iMain, WindowKindScpiCommand);
    ASSERT_EQ(separate.size(), 1u);
    ASSERT_EQ(separate[0].fMdi, 0);
    WindowFrame* pFrame = ChildWindow::Find(separate[0].iWindow);
    pFrame->resize(300, 200);
    pFrame->move(5000, 5000);
    pFrame->showMinimized();
    Settle();
    EXPECT_TRUE(Button(iMain, WindowStart::MenuShowWindows)->isEnabled());
    QTest::mouseClick(Record(iMain)->pToolBar->widgetForAction(Button(iMain, WindowStart::MenuShowWindows)),
                      Qt::LeftButton);
    Settle();
    EXPECT_FALSE(pFrame->isMinimized());
    EXPECT_EQ(pFrame->pos(), QPoint(10, 10));
    EXPECT_EQ(pFrame->size(), QSize(300, 200));
    // One on the screen stays where it is.
    pFrame->move(40, 50);
    Settle();
    Choose(iMain, WindowStart::MenuShowWindows);
    EXPECT_EQ(pFrame->pos(), QPoint(40, 50));
    // Minimised while maximised, it comes back maximised, by "Show Windows" and by the menu item of its kind.
    for (const int iItem : {WindowStart::MenuShowWindows, WindowStart::MenuScpiCommand}) {
        pFrame->setWindowState(Qt::WindowMaximized | Qt::WindowMinimized);
        Choose(iMain, iItem);
        EXPECT_EQ(pFrame->windowState(), Qt::WindowMaximized) << iItem;
    }
    // Its "Show Main Window" gives the main window, minimised while maximised, its maximised state back.
    QWidget* pMain = Record(iMain)->pFrame;
    pMain->setWindowState(Qt::WindowMaximized | Qt::WindowMinimized);
    WindowStart::FindMenuItem(pFrame->menuBar(), WindowStart::MenuShowMainWindow)->trigger();
    EXPECT_TRUE(WaitFor([&] { return pMain->frameGeometry() == pMain->screen()->availableGeometry(); }));
}

TEST_F(WindowArrangeTest, AViewerOpenedFromAScreenshotWindowIsLinkedAndReused) {
    const int iMain = OpenMain();
    Choose(iMain, WindowStart::MenuScreenshot);
    const int iShot = ChildrenOf(iMain, WindowKindScreenshot).at(0).iWindow;
    // The screenshot window (an MDI child) asks for its viewer.
    EventHub::PostEvent(EventOpenViewer, iMain, WindowKindScreenshotViewer, 1, ChildWindow::Data(iShot));
    Settle();
    const auto viewers = ChildrenOf(iMain, WindowKindScreenshotViewer);
    ASSERT_EQ(viewers.size(), 1u);
    EXPECT_EQ(viewers[0].fMdi, 1);
    auto links = children.EventsOf(iShot, EventLinkViewer);
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].iObject, viewers[0].iWindow);
    EXPECT_EQ(links[0].iType, 1);
    // Asked again with Ctrl held: the viewer that exists is linked again, no second one opens.
    SetCtrl(true);
    EventHub::PostEvent(EventOpenViewer, iMain, WindowKindScreenshotViewer, 1, ChildWindow::Data(iShot));
    Settle();
    SetCtrl(false);
    EXPECT_EQ(ChildrenOf(iMain, WindowKindScreenshotViewer).size(), 1u);
    links = children.EventsOf(iShot, EventLinkViewer);
    ASSERT_EQ(links.size(), 2u);
    EXPECT_EQ(links[1].iObject, viewers[0].iWindow);
    EXPECT_EQ(links[1].iType, 0); // the request's form: separate with Ctrl
    // Any other kind opens nothing.
    EventHub::PostEvent(EventOpenViewer, iMain, WindowKindScpiCommand, 1, ChildWindow::Data(iShot));
    Settle();
    EXPECT_TRUE(ChildrenOf(iMain, WindowKindScpiCommand).empty());
}

TEST_F(WindowArrangeTest, ACaptureWindowOpenedWhileItsViewerExistsIsLinkedToIt) {
    const int iMain = OpenMain();
    // A workspace opens the waveform viewer first, with no waveform window to pair it with.
    WindowStart::OpenChildByKind(iMain, WindowKindWaveformViewer, 0);
    Settle();
    const auto viewers = ChildrenOf(iMain, WindowKindWaveformViewer);
    ASSERT_EQ(viewers.size(), 1u);
    EXPECT_EQ(viewers[0].fMdi, 0);
    Choose(iMain, WindowStart::MenuWaveform);
    const int iWave = ChildrenOf(iMain, WindowKindWaveform).at(0).iWindow;
    const auto links = children.EventsOf(iWave, EventLinkViewer);
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].iObject, viewers[0].iWindow);
    EXPECT_EQ(links[0].iType, 0);
    // A screenshot window finds no screenshot viewer: no link.
    Choose(iMain, WindowStart::MenuScreenshot);
    EXPECT_TRUE(children.EventsOf(ChildrenOf(iMain, WindowKindScreenshot).at(0).iWindow, EventLinkViewer).empty());
    // The screenshot viewer by kind pairs with the screenshot window.
    WindowStart::OpenChildByKind(iMain, WindowKindScreenshotViewer, 1);
    Settle();
    EXPECT_EQ(children.EventsOf(ChildrenOf(iMain, WindowKindScreenshot).at(0).iWindow, EventLinkViewer).size(), 1u);
}

TEST_F(WindowArrangeTest, AWorkspaceOpensNoInstrumentListWhileConnected) {
    const int iMain = OpenMain();
    EventHub::PostEvent(EventCloseWindow, ChildrenOf(iMain, WindowKindSelectInstrument).at(0).iWindow, 0, 0,
                        ChildWindow::Data(0));
    Settle();
    Record(iMain)->info.fConnected = true;
    WindowStart::OpenChildByKind(iMain, WindowKindSelectInstrument, 1);
    Settle();
    EXPECT_TRUE(ChildrenOf(iMain, WindowKindSelectInstrument).empty());
    Record(iMain)->info.fConnected = false;
    WindowStart::OpenChildByKind(iMain, WindowKindSelectInstrument, 1);
    Settle();
    EXPECT_EQ(ChildrenOf(iMain, WindowKindSelectInstrument).size(), 1u);
}

} // namespace
