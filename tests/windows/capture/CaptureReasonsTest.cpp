// The capture windows say why a reading did not happen, in their own status lines: the read and
// refresh buttons of windows whose instrument is not connected, and a screenshot asked of a
// simulated instrument that was killed (the main window connected it as the instrument list does).
#include "WaveformWindowTestSupport.h"

#include "common/ImagePluginGdiPlus.h"
#include "common/UtilityGui.h"
#include "sim/RigolScope.h"
#include "sim/ScreenCopyAnswers.h"
#include "windows/capture/WindowScreenshot.h"
#include "windows/capture/WindowScreenshotViewer.h"

namespace WaveformWindowTest {
namespace {

constexpr const char* NotConnected = "The instrument is not connected.";

class CaptureReasonsTest : public WaveformWindowTest {
  protected:
    void SetUp() override {
        WaveformWindowTest::SetUp();
        WindowScreenshot::RegisterKind();
        WindowScreenshotViewer::RegisterKind();
        ImagePluginGdiPlus::Startup();
        rigol.Attach(server.Device());
        Sim::AnswerRigolScreenCopy(server.Device(), Sim::ScreenPicture(800, 480));
    }
    int OpenScreenshot() {
        Choose(iMain, WindowStart::MenuScreenshot);
        const auto found = ChildrenOf(iMain, WindowKindScreenshot);
        EXPECT_EQ(found.size(), 1u);
        return found.empty() ? 0 : found[0].iWindow;
    }
    static WindowScreenshotWindow& S(int iShot) { return *WindowScreenshot::Find(iShot); }
    static bool ShotIdle(int iShot) {
        return S(iShot).gadgets.pRead->isEnabled() && S(iShot).pump.iCurrentTask == 0 && EventHub::Pending() == 0;
    }
    // "Screenshot", waited for.
    static void Shoot(int iShot) {
        S(iShot).gadgets.pRead->click();
        ASSERT_TRUE(WaitFor([&] { return ShotIdle(iShot); }, 20000)) << WindowLog::Text();
    }
    // A click on a button of a window that cannot read: its status line says so, and nothing
    // reaches the instrument.
    void ExpectSaysNotConnected(CaptureWindow& window, QPushButton* pButton) {
        const std::size_t iCommands = server.Device().Commands().size();
        window.SetStatus("");
        pButton->click();
        Settle();
        EXPECT_EQ(window.Status(), NotConnected) << pButton->text().toStdString();
        EXPECT_EQ(server.Device().Commands().size(), iCommands);
    }

    Sim::RigolScope rigol{Sim::RigolScope::eFamily::DS1000ZPlus};
};

// After "&Disconnect" the "Screenshot" button no longer leaves the last "Data received, bytes:"
// text standing, and "Waveform" and "Refresh" of the waveform window say the same.
TEST_F(CaptureReasonsTest, TheReadButtonsOfADisconnectedWindowSaySo) {
    ConnectMain(3000);
    const int iShot = OpenScreenshot();
    const int iWave = OpenWaveform();
    Shoot(iShot);
    EXPECT_TRUE(S(iShot).Status().starts_with("Data received, bytes: ")) << S(iShot).Status();
    Choose(iMain, WindowStart::MenuDisconnect);
    Settle();
    ASSERT_FALSE(S(iShot).info.fConnected);
    ASSERT_FALSE(W(iWave).info.fConnected);
    ExpectSaysNotConnected(S(iShot), S(iShot).gadgets.pRead);
    ExpectSaysNotConnected(W(iWave), G(iWave).pRead);
    ExpectSaysNotConnected(W(iWave), W(iWave).pRefresh);
}

// The instrument is killed: the screenshot fails with the reason on screen, the log keeps the
// transport's text, and the window shows the instrument not connected. The next "Screenshot"
// tries to connect it again and says why that failed; once the instrument is back, the next one
// works, with no "&Disconnect" and no new choice in the instrument list.
TEST_F(CaptureReasonsTest, AScreenshotOfAKilledInstrumentFailsWithTheReasonOnScreen) {
    ConnectMain(3000);
    const int iShot = OpenScreenshot();
    Shoot(iShot);
    server.Stop();
    S(iShot).gadgets.pRead->click();
    ASSERT_TRUE(WaitFor([&] { return ShotIdle(iShot) && !S(iShot).info.fConnected; }, 20000)) << WindowLog::Text();
    // The connection was found closed, and the connect that tried to open it again was refused.
    EXPECT_EQ(S(iShot).Status(), "The data could not be sent. The instrument could not be connected: The instrument "
                                 "at 127.0.0.1 refused the connection on port " +
                                     std::to_string(server.Port()) +
                                     ": nothing accepts connections there. Check the port and that the "
                                     "instrument's network interface is on.");
    EXPECT_TRUE(LogHas("Connection refused. Code = 111")) << WindowLog::Text();
    ASSERT_TRUE(WaitFor([&] { return !Record(iMain)->info.fConnected && EventHub::Pending() == 0; }, 20000));
    EXPECT_EQ(S(iShot).pFrame->windowTitle().toStdString().find(" (disconnected)"), std::string::npos); // only lost
    S(iShot).SetStatus("");
    Shoot(iShot);
    EXPECT_TRUE(S(iShot).Status().ends_with(". The instrument could not be connected: The instrument at 127.0.0.1 "
                                            "refused the connection on port " +
                                            std::to_string(server.Port()) +
                                            ": nothing accepts connections there. Check the port and that the "
                                            "instrument's network interface is on."))
        << S(iShot).Status();

    Sim::RawTcpServer again(server.SharedDevice());
    std::string sError;
    ASSERT_TRUE(again.Start(sError, "127.0.0.1", server.Port())) << sError;
    const std::string sReceived = "Data received, bytes: 1,152,066";
    const std::size_t iFirst = WindowLog::Text().find(sReceived);
    Shoot(iShot);
    ASSERT_TRUE(WaitFor([&] { return S(iShot).info.fConnected && EventHub::Pending() == 0; }, 20000))
        << WindowLog::Text();
    // The picture came, and the status line says so after the main window showed it connected again.
    EXPECT_NE(WindowLog::Text().find(sReceived, iFirst + 1), std::string::npos) << WindowLog::Text();
    EXPECT_TRUE(S(iShot).Status().starts_with(sReceived)) << S(iShot).Status();
    EXPECT_TRUE(Record(iMain)->info.fConnected);
    EXPECT_EQ(again.ConnectionsAccepted(), 1);
}

// A screen copy that its time-out cuts fails with the cut on screen: no picture is made of a part.
TEST_F(CaptureReasonsTest, AScreenshotCutByItsTimeOutFailsWithTheCutOnScreen) {
    ConnectMain(300);
    const int iShot = OpenScreenshot();
    server.AddFault({Sim::eStreamFault::Hold, 1000, 0, [] { return false; }}); // until the server stops
    Shoot(iShot);
    EXPECT_TRUE(S(iShot).Status().ends_with("cut the answer after 1000 bytes.")) << S(iShot).Status();
}

} // namespace
} // namespace WaveformWindowTest
