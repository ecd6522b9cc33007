// The child windows as a new main window opens them in its MDI area, at the default font: each
// lies wholly inside the area, and no button, check box, combo box or label of theirs is narrower
// than its text needs, the status line with a failure reason of the usual length included.
#include "app/FrameTestSupport.h"
#include "app/WindowPreferences.h"
#include "common/UtilityGui.h"
#include "common/WindowLog.h"
#include "platform/WindowRegistry.h"
#include "windows/capture/WaveformChecks.h"
#include "windows/capture/WindowScreenshot.h"
#include "windows/capture/WindowWaveform.h"
#include "windows/scpi/WindowScpiCommand.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolButton>

#include <string>

namespace {

using namespace FrameTestSupport;

std::string Text(const QRect& r) {
    return std::to_string(r.x()) + "," + std::to_string(r.y()) + " " + std::to_string(r.width()) + "x" +
           std::to_string(r.height());
}

// The text a control shows, for the message; "" for a control that shows none.
QString Shown(QWidget* p) {
    if (qobject_cast<QToolButton*>(p)) return {}; // the toolbar's pictures
    if (auto* pButton = qobject_cast<QAbstractButton*>(p)) return pButton->text();
    if (auto* pCombo = qobject_cast<QComboBox*>(p)) return pCombo->currentText().isEmpty() ? "(combo)" : pCombo->currentText();
    if (auto* pLabel = qobject_cast<QLabel*>(p)) return pLabel->text();
    return {};
}

class WindowSizesTest : public FrameTest {
  protected:
    void SetUp() override {
        FrameTest::SetUp();
        WindowLog::Create();
        WindowPreferences::RegisterKind();
        WindowScpiCommand::RegisterKind();
        WindowScreenshot::RegisterKind();
        WindowWaveform::RegisterKind();
        WaveformChecks::Install();
        // The shipped command list, whose name the SCPI command window's list box shows.
        ASSERT_TRUE(QDir().mkpath(dir.filePath("SCPI-Commands")));
        QFile list(dir.filePath("SCPI-Commands/Standard.ini"));
        ASSERT_TRUE(list.open(QIODevice::WriteOnly));
        list.write("[0]\r\nName = *IDN?\r\nCommand = *IDN?\r\n");
    }
};

TEST_F(WindowSizesTest, ANewChildFitsTheAreaAndShowsItsTextsWhole) {
    struct uCase {
        const char* sName;
        int iKind;
    };
    for (const uCase& c : {uCase{"SCPI command window", WindowKindScpiCommand}, uCase{"screenshot window", WindowKindScreenshot},
                           uCase{"waveform window", WindowKindWaveform}, uCase{"preferences", WindowKindPreferences}}) {
        SCOPED_TRACE(c.sName);
        const int iMain = OpenMain();
        WindowStart::OpenChildByKind(iMain, c.iKind, 1);
        Settle();
        const auto found = ChildrenOf(iMain, c.iKind);
        ASSERT_EQ(found.size(), 1u);
        WindowFrame* pChild = ChildWindow::Find(found[0].iWindow);
        QMdiSubWindow* pMdiFrame = ChildWindow::MdiFrame(found[0].iWindow);
        ASSERT_NE(pMdiFrame, nullptr);
        // The SCPI command window lists its command lists soon after it opened.
        ASSERT_TRUE(WaitFor([&] {
            return c.iKind != WindowKindScpiCommand ||
                   !WindowRegistry::TimerActive(found[0].iWindow, WindowScpiCommand::TimerFillCommandLists);
        }));
        // A failure reason of the usual length in the windows that show reasons, a transfer's
        // status line as long as a screen copy's in the preferences: either shows whole.
        Utility::SetStatusText(pChild->statusBar(), c.iKind == WindowKindPreferences
                                                        ? "Data received, bytes: 1,152,054 - (1,234 ms total)"
                                                        : Utility::UsualReason);
        Settle();

        // A new main window has its default size of 800 x 600.
        EXPECT_EQ(Record(iMain)->pFrame->size(), QSize(800, 600));
        const QRect area = Record(iMain)->pMdiArea->viewport()->rect();
        const QRect child = pMdiFrame->geometry();
        EXPECT_TRUE(area.contains(child)) << "area " << Text(area) << ", child " << Text(child) << ", minimum "
                                          << pMdiFrame->minimumHeight();
        int iChecked = 0;
        for (QWidget* p : pChild->findChildren<QWidget*>()) {
            const QString sShown = Shown(p);
            if (sShown.isEmpty() || !p->isVisibleTo(pChild)) continue;
            ++iChecked;
            const std::string sWhat = std::string(p->metaObject()->className()) + " \"" + sShown.toStdString() + "\"";
            EXPECT_GE(p->width(), p->sizeHint().width()) << sWhat << " at " << Text(p->geometry());
            // Nor cut off by the edge of the window or of a scroll area around it.
            EXPECT_EQ(p->visibleRegion().boundingRect(), p->rect()) << sWhat;
        }
        EXPECT_GE(iChecked, 4);
        if (c.iKind == WindowKindScpiCommand) {
            // At its least (a tiling may leave it there) the command pane still shows its buttons.
            pMdiFrame->resize(pMdiFrame->minimumSize());
            Settle();
            for (QPushButton* p : pChild->findChildren<QPushButton*>()) {
                if (p->text().startsWith("Send")) EXPECT_EQ(p->visibleRegion().boundingRect(), p->rect()) << "at the least size";
            }
        }
        EventHub::PostEvent(EventCloseWindowRequest, iMain);
        ASSERT_TRUE(WaitFor([&] { return !Record(iMain); }));
        Settle();
    }
}

// Cascading the children of a new main window keeps each at least at its minimum, and no
// window's gadgets have to scroll (the area's own cascade shrank the SCPI command window).
TEST_F(WindowSizesTest, CascadeKeepsEachChildAtItsMinimumWithoutScrolling) {
    const int iMain = OpenMain();
    for (int iKind : {WindowKindScpiCommand, WindowKindScreenshot, WindowKindWaveform, WindowKindPreferences}) {
        WindowStart::OpenChildByKind(iMain, iKind, 1);
        Settle();
    }
    Choose(iMain, WindowStart::MenuCascade);
    const auto children = ChildrenOf(iMain);
    ASSERT_EQ(children.size(), 5u); // with the instrument list the main window opened
    for (const auto& c : children) {
        QMdiSubWindow* pMdiFrame = ChildWindow::MdiFrame(c.iWindow);
        SCOPED_TRACE(pMdiFrame->windowTitle().toStdString());
        EXPECT_GE(pMdiFrame->width(), std::max(pMdiFrame->minimumWidth(), pMdiFrame->minimumSizeHint().width()));
        EXPECT_GE(pMdiFrame->height(), std::max(pMdiFrame->minimumHeight(), pMdiFrame->minimumSizeHint().height()));
        for (QScrollArea* pArea : ChildWindow::Find(c.iWindow)->findChildren<QScrollArea*>()) {
            EXPECT_EQ(pArea->horizontalScrollBar()->maximum(), 0);
            EXPECT_EQ(pArea->verticalScrollBar()->maximum(), 0);
        }
    }
}

// Cascade and both tilings of the real children in a new main window (800 x 600): each child
// lies wholly inside the area and keeps at least its minimum size; where their minimums do not
// fit side by side, they overlap instead.
TEST_F(WindowSizesTest, ArrangingKeepsEveryChildInsideTheAreaAtItsMinimum) {
    const int iMain = OpenMain();
    for (int iKind : {WindowKindScpiCommand, WindowKindScreenshot, WindowKindWaveform}) {
        WindowStart::OpenChildByKind(iMain, iKind, 1);
        Settle();
    }
    ASSERT_EQ(Record(iMain)->pFrame->size(), QSize(800, 600));
    const auto children = ChildrenOf(iMain);
    ASSERT_EQ(children.size(), 4u); // with the instrument list the main window opened
    for (int iItem : {WindowStart::MenuCascade, WindowStart::MenuTileVertically, WindowStart::MenuTileHorizontally}) {
        SCOPED_TRACE(iItem);
        Choose(iMain, iItem);
        Settle();
        const QRect area = Record(iMain)->pMdiArea->viewport()->rect();
        for (const auto& c : children) {
            QMdiSubWindow* pMdiFrame = ChildWindow::MdiFrame(c.iWindow);
            SCOPED_TRACE(pMdiFrame->windowTitle().toStdString());
            EXPECT_TRUE(area.contains(pMdiFrame->geometry())) << "area " << Text(area) << ", child " << Text(pMdiFrame->geometry());
            EXPECT_GE(pMdiFrame->width(), std::max(pMdiFrame->minimumWidth(), pMdiFrame->minimumSizeHint().width()));
            EXPECT_GE(pMdiFrame->height(), std::max(pMdiFrame->minimumHeight(), pMdiFrame->minimumSizeHint().height()));
        }
    }
}

} // namespace
