#include "app/Main.h"
#include "app/Window.h"
#include "app/WindowPlacementSupport.h"
#include "common/UtilityGui.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using Window::uWindowPosition;
using WindowPlacementSupport::OpenIni;
using WindowPlacementSupport::Value;
using WindowPlacementSupport::WaitExposed;
using WindowPlacementSupport::WaitFor;

class WindowPlacementTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { TestApplication::Ensure(); }
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        Main::SetWindowDontCheckPosition(false);
    }
    void TearDown() override {
        Main::SetConfigSaveAtExit(false);
        Main::CloseConfig();
    }
    QTemporaryDir dir;
};

TEST_F(WindowPlacementTest, KindsAndKeys) {
    EXPECT_EQ(Window::IdToKey(WindowKindLog), "WindowLog");
    EXPECT_EQ(Window::IdToKey(WindowKindScpiCommand), "WindowScpiCommand");
    EXPECT_EQ(Window::IdToKey(WindowKindLiveScreen), "WindowLiveScreen");
    EXPECT_EQ(Window::IdToKey(0), "");
    EXPECT_EQ(Window::IdToKey(13), "");
    for (int iKind = 1; iKind <= 12; ++iKind) {
        EXPECT_EQ(Window::KeyToId(Window::IdToKey(iKind) + "PositionMdi"), iKind) << iKind;
    }
    EXPECT_EQ(Window::KeyToId("WindowWaveformViewerPositionMdi"), WindowKindWaveformViewer);
    EXPECT_EQ(Window::KeyToId("WindowWaveformPosition"), WindowKindWaveform);
    EXPECT_EQ(Window::KeyToId("WindowScreenshotViewerPosition"), WindowKindScreenshotViewer);
    EXPECT_EQ(Window::KeyToId("windowlogposition"), 0); // case matters
    EXPECT_EQ(Window::KeyToId("Anything"), 0);
}

TEST_F(WindowPlacementTest, ValueHasExactlySixCommas) {
    uWindowPosition p;
    ASSERT_TRUE(Window::ParsePosition("-8,10,640,360,656,399,16777216", p));
    EXPECT_EQ(p.x, -8);
    EXPECT_EQ(p.iOuterHeight, 399);
    EXPECT_EQ(p.iState, Window::StateMaximized);
    EXPECT_EQ(Window::FormatPosition(p), "-8,10,640,360,656,399,16777216");
    const uWindowPosition before = p;
    EXPECT_FALSE(Window::ParsePosition("1,2,3,4,5,6", p));       // five commas
    EXPECT_FALSE(Window::ParsePosition("1,2,3,4,5,6,7,8", p));   // seven
    EXPECT_FALSE(Window::ParsePosition("", p));
    EXPECT_EQ(Window::FormatPosition(p), Window::FormatPosition(before));
    ASSERT_TRUE(Window::ParsePosition("a,,3x,4,5,6,99999999999", p)); // what is no number counts as 0
    EXPECT_EQ(Window::FormatPosition(p), "0,0,3,4,5,6,0");
}

TEST_F(WindowPlacementTest, DesktopMarginOfTenPixels) {
    const std::vector<QRect> desktops = {QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
    auto on = [&](int x, int y, int w, int h, double dScale = 1.0) {
        const uWindowPosition p{x, y, w - 16, h - 39, w, h, 0};
        return Window::IsOnDesktop(&p, desktops, dScale);
    };
    EXPECT_EQ(on(-10, 0, 800, 600), 1);
    EXPECT_EQ(on(-11, 0, 800, 600), 0);
    EXPECT_EQ(on(0, -10, 800, 600), 1);
    EXPECT_EQ(on(0, -11, 800, 600), 0);
    EXPECT_EQ(on(1130, 0, 800, 600), 1);  // right edge 10 pixels past the first desktop
    EXPECT_EQ(on(1131, 0, 800, 600), 0);  // and not on the second either
    EXPECT_EQ(on(0, 490, 800, 600), 1);
    EXPECT_EQ(on(0, 491, 800, 600), 0);
    EXPECT_EQ(on(2000, 400, 800, 600), 1); // on the second desktop
    EXPECT_EQ(on(2000, 435, 800, 600), 0); // below it
    EXPECT_EQ(on(-15, 0, 800, 600, 1.5), 1);
    EXPECT_EQ(on(-16, 0, 800, 600, 1.5), 0);
    EXPECT_EQ(on(2147483000, 0, 2147483000, 600), 0); // no overflow in the sums
    EXPECT_EQ(Window::IsOnDesktop(nullptr, desktops, 1.0), 0);
    const uWindowPosition p{0, 0, 10, 10, 10, 10, 0};
    EXPECT_EQ(Window::IsOnDesktop(&p, {}, 1.0), 0);

    // The present screens, and the user's switch that turns the check off.
    const uWindowPosition far{-5000, -5000, 100, 100, 100, 100, 0};
    EXPECT_EQ(Window::IsOnDesktop(&far), 0);
    EXPECT_EQ(Window::IsOnDesktop(&p), 1);
    Main::SetWindowDontCheckPosition(true);
    EXPECT_EQ(Window::IsOnDesktop(&far), 1);
}

TEST_F(WindowPlacementTest, NormalAndMaximisedWindowRoundTrip) {
    auto pIni = OpenIni(dir, "workspace.ini", "");
    ASSERT_TRUE(pIni);
    QMainWindow window;
    window.setGeometry(100, 120, 300, 200);
    window.show();
    ASSERT_TRUE(WaitExposed(window));
    const QRect frame = window.frameGeometry();

    Window::SavePosition(&window, WindowKindStart, 0, pIni.get(), "Workspace 1");
    const std::string sValue = Value(pIni.get(), "Workspace 1", "WindowStartPosition");
    EXPECT_EQ(std::count(sValue.begin(), sValue.end(), ','), 6);
    EXPECT_EQ(sValue, std::to_string(frame.x()) + "," + std::to_string(frame.y()) + ",300,200," +
                          std::to_string(frame.width()) + "," + std::to_string(frame.height()) + ",0");

    window.showMaximized();
    ASSERT_TRUE(WaitFor([&] { return window.isMaximized(); }));
    Window::SavePosition(&window, WindowKindStart, 0, pIni.get(), "Workspace 1");
    EXPECT_TRUE(window.isMaximized()); // the window stays as it is shown
    const std::string sMax = Value(pIni.get(), "Workspace 1", "WindowStartPosition");
    EXPECT_EQ(sMax.substr(sMax.rfind(',') + 1), "16777216");

    int x = -1, y = -1, w = -1, h = -1, iState = -1;
    ASSERT_TRUE(Window::LoadPosition(WindowKindStart, x, y, w, h, iState, 0, pIni.get(), "Workspace 1"));
    EXPECT_EQ(x, frame.x());
    EXPECT_EQ(y, frame.y());
    EXPECT_EQ(w, 300); // the normal size, to restore to
    EXPECT_EQ(h, 200);
    EXPECT_EQ(iState, Window::StateMaximized);
}

TEST_F(WindowPlacementTest, MdiChildIsMeasuredInItsAreaAndPutBackForWorkspaces) {
    auto pIni = OpenIni(dir, "workspace.ini", "");
    ASSERT_TRUE(pIni);
    WindowPlacementSupport::uMdiChild mdi(QRect(30, 40, 320, 240));
    ASSERT_TRUE(mdi.fShown);
    QMainWindow* pChild = mdi.pChild;
    QMdiSubWindow* pFrame = mdi.pFrame;
    Utility::KeepMaximisedWhenMinimised(pFrame); // as the frame keeps every MDI child
    const QSize inner = pChild->size();

    pFrame->showMaximized();
    Window::SavePosition(pChild, WindowKindScpiCommand, 1, pIni.get(), "W");
    EXPECT_TRUE(pFrame->isMaximized()); // put back: the workspace keeps working
    EXPECT_EQ(Value(pIni.get(), "W", "WindowScpiCommandPositionMdi"),
              "30,40," + std::to_string(inner.width()) + "," + std::to_string(inner.height()) + ",320,240,16777216");

    pFrame->showMinimized();
    Window::SavePosition(pChild, WindowKindScpiCommand, 1, pIni.get(), "W");
    EXPECT_TRUE(pFrame->isMinimized());
    const std::string sMin = Value(pIni.get(), "W", "WindowScpiCommandPositionMdi");
    EXPECT_EQ(sMin.substr(sMin.rfind(',') + 1), "536870912");
    // Minimised while maximised, it still comes back maximised.
    Utility::RestoreMinimised(pFrame);
    EXPECT_TRUE(pFrame->isMaximized());
    pFrame->showMinimized();

    // Saved into config.ini (the window is closing): it stays restored.
    auto pConfig = OpenIni(dir, "config.ini", "");
    Window::SavePosition(pChild, WindowKindScpiCommand, 1, pConfig.get(), "");
    pFrame->showMaximized();
    Main::SetResourceFolders(dir.path().toStdString() + "/", dir.path().toStdString() + "/none/");
    Main::OpenConfig();
    ASSERT_NE(Main::ConfigIni(), nullptr);
    Window::SavePosition(pChild, WindowKindScpiCommand, 1);
    EXPECT_FALSE(pFrame->isMaximized());
    EXPECT_EQ(Value(Main::ConfigIni(), "Window", "WindowScpiCommandPositionMdi").substr(0, 6), "30,40,");
}

TEST_F(WindowPlacementTest, LoadRefusesWhatCannotBeUsed) {
    auto pIni = OpenIni(dir, "w.ini",
                       "[Window]\n"
                       "WindowLogPosition=-5000,-5000,300,200,316,239,0\n"
                       "WindowLogPositionMdi=-50,-40,200,100,210,130,0\n"
                       "WindowStartPosition=1,2,3,4,5,6\n"
                       "WindowScriptPosition=\n"
                       "WindowScreenshotPosition=10,20,300,200,316,239,536870912\n");
    ASSERT_TRUE(pIni);
    int x = 7, y = 7, w = 7, h = 7, iState = 7;
    EXPECT_FALSE(Window::LoadPosition(WindowKindLog, x, y, w, h, iState, 0, pIni.get(), ""));  // off every screen
    EXPECT_FALSE(Window::LoadPosition(WindowKindStart, x, y, w, h, iState, 0, pIni.get(), "")); // five commas
    EXPECT_FALSE(Window::LoadPosition(WindowKindScript, x, y, w, h, iState, 0, pIni.get(), ""));
    EXPECT_FALSE(Window::LoadPosition(WindowKindWaveform, x, y, w, h, iState, 0, pIni.get(), "")); // missing
    EXPECT_FALSE(Window::LoadPosition(0, x, y, w, h, iState, 0, pIni.get(), ""));
    EXPECT_EQ(x + y + w + h + iState, 35); // untouched

    // An MDI child's place is relative to its area and used as it is.
    ASSERT_TRUE(Window::LoadPosition(WindowKindLog, x, y, w, h, iState, 1, pIni.get(), "Window"));
    EXPECT_EQ(x, -50);
    EXPECT_EQ(y, -40);
    EXPECT_EQ(w, 200);
    EXPECT_EQ(h, 100);
    ASSERT_TRUE(Window::LoadPosition(WindowKindScreenshot, x, y, w, h, iState, 0, pIni.get(), ""));
    EXPECT_EQ(iState, Window::StateMinimized);

    // The user's switch lets the far position through.
    Main::SetWindowDontCheckPosition(true);
    EXPECT_TRUE(Window::LoadPosition(WindowKindLog, x, y, w, h, iState, 0, pIni.get(), ""));
    EXPECT_EQ(x, -5000);
}

TEST_F(WindowPlacementTest, WithoutConfigNothingIsSavedOrLoaded) {
    // A folder below a regular file: config.ini can neither be found nor created.
    QFile blocker(dir.filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    Main::SetResourceFolders(dir.filePath("file/none/").toStdString(), dir.filePath("file/none/").toStdString());
    Main::OpenConfig();
    ASSERT_EQ(Main::ConfigIni(), nullptr);
    QMainWindow window;
    Window::SavePosition(&window, WindowKindLog, 0);
    Window::SavePosition(nullptr, WindowKindLog, 0);
    int x = 7, y = 7, w = 7, h = 7, iState = 7;
    EXPECT_FALSE(Window::LoadPosition(WindowKindLog, x, y, w, h, iState, 0));
    EXPECT_EQ(x, 7);
}

} // namespace
