// The main window's toolbar on a desktop scaled to 150 %.
#include "app/FrameTestSupport.h"

#include <cstdlib>

namespace {

using namespace FrameTestSupport;

class WindowStartScaledTest : public FrameTest {
  protected:
    static void SetUpTestSuite() {
        ::setenv("QT_SCALE_FACTOR", "1.5", 1); // read when the application starts
        TestApplication::Ensure();
    }
};

struct uSizeCase {
    bool fLarge;
    int iLogical;
    int iDrawn;
};

TEST_F(WindowStartScaledTest, ToolbarIconsAreDrawnAtTheScaledSizeOfTheSetting) {
    for (const uSizeCase& c : {uSizeCase{false, 16, 24}, uSizeCase{true, 24, 36}}) {
        SCOPED_TRACE(c.iLogical);
        Ini::SelectSection(Main::ConfigIni(), "General");
        Ini::WriteBool(Main::ConfigIni(), "ToolBarLarge", c.fLarge ? 1 : 0);
        const int iMain = OpenMain();
        QToolBar* pToolBar = Record(iMain)->pToolBar;
        EXPECT_EQ(Record(iMain)->iToolBarSize, c.fLarge ? 2 : 1);
        EXPECT_EQ(pToolBar->iconSize(), QSize(c.iLogical, c.iLogical));
        int iButtons = 0;
        for (QAction* p : pToolBar->actions()) {
            if (p->isSeparator()) continue;
            ++iButtons;
            const QPixmap pixmap = p->icon().pixmap(QSize(c.iLogical, c.iLogical), 1.5);
            EXPECT_EQ(pixmap.size(), QSize(c.iDrawn, c.iDrawn)) << p->toolTip().toStdString();
        }
        EXPECT_EQ(iButtons, 14);
        EventHub::PostEvent(EventCloseWindowRequest, iMain);
        ASSERT_TRUE(WaitFor([&] { return !Record(iMain); }));
    }
}

} // namespace
