// The same placement and icon sizes on a desktop scaled to 150 %.
#include "app/Window.h"
#include "app/WindowPlacementSupport.h"
#include "common/UtilityGui.h"

#include <QToolBar>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace {

using WindowPlacementSupport::OpenIni;
using WindowPlacementSupport::Value;
using WindowPlacementSupport::WaitExposed;

class WindowPlacementScaledTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ::setenv("QT_SCALE_FACTOR", "1.5", 1); // read when the application starts
        TestApplication::Ensure();
    }
    QTemporaryDir dir;
};

TEST_F(WindowPlacementScaledTest, ToolbarIconsAreDrawnAtTheScaledSize) {
    ASSERT_DOUBLE_EQ(Utility::DesktopScale(), 1.5);
    EXPECT_EQ(Utility::IsDisplayScaled(), 1);
    QToolBar toolbar;
    EXPECT_EQ(Utility::SetToolBarIconSize(&toolbar, 2), 36);
    EXPECT_EQ(toolbar.iconSize(), QSize(24, 24)); // Qt sizes the toolbar in logical pixels
    EXPECT_EQ(Utility::SetToolBarIconSize(&toolbar, 1), 24);
}

TEST_F(WindowPlacementScaledTest, LogicalHundredIsStoredAs150AndLoadedAs100) {
    auto pIni = OpenIni(dir, "workspace.ini", "");
    ASSERT_TRUE(pIni);
    WindowPlacementSupport::uMdiChild mdi(QRect(100, 40, 320, 240));
    ASSERT_TRUE(mdi.fShown);
    QMainWindow* pChild = mdi.pChild;
    Window::SavePosition(pChild, WindowKindWaveform, 1, pIni.get(), "W");
    const std::string sValue = Value(pIni.get(), "W", "WindowWaveformPositionMdi");
    EXPECT_EQ(sValue.substr(0, 7), "150,60,") << sValue;
    EXPECT_EQ(sValue.substr(sValue.size() - 10), ",480,360,0") << sValue;
    int x = 0, y = 0, w = 0, h = 0, iState = -1;
    ASSERT_TRUE(Window::LoadPosition(WindowKindWaveform, x, y, w, h, iState, 1, pIni.get(), "W"));
    EXPECT_EQ(x, 100);
    EXPECT_EQ(y, 40);
    EXPECT_EQ(w, pChild->width());
    EXPECT_EQ(h, pChild->height());

    // A top-level window: stored in device pixels, read back in logical ones.
    QMainWindow window;
    window.setGeometry(100, 120, 300, 200);
    window.show();
    ASSERT_TRUE(WaitExposed(window));
    const QRect frame = window.frameGeometry();
    Window::SavePosition(&window, WindowKindStart, 0, pIni.get(), "W");
    Window::uWindowPosition stored;
    ASSERT_TRUE(Window::ParsePosition(Value(pIni.get(), "W", "WindowStartPosition"), stored));
    EXPECT_EQ(stored.x, std::lround(frame.x() * 1.5));
    EXPECT_EQ(stored.iInnerWidth, 450);
    EXPECT_EQ(stored.iInnerHeight, 300);
    ASSERT_TRUE(Window::LoadPosition(WindowKindStart, x, y, w, h, iState, 0, pIni.get(), "W"));
    EXPECT_EQ(x, frame.x());
    EXPECT_EQ(y, frame.y());
    EXPECT_EQ(w, 300);
    EXPECT_EQ(h, 200);
}

} // namespace
