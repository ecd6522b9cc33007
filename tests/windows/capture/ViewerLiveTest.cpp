// Both viewers in a main window connected over raw TCP on loopback to a simulated instrument,
// opened as a workspace opens them: titles, the instrument's coming and going, and the waveform
// viewer's items that stay disabled.
#include "ViewerTestSupport.h"

#include "instrument/Instrument.h"
#include "sim/RawTcpServer.h"

namespace {

using namespace ViewerTestSupport;

class ViewerLiveTest : public ViewerTest {
  protected:
    void TearDown() override {
        ViewerTest::TearDown();
        std::string sError;
        Instrument::ReleaseAll(true, 0, sError);
    }
    // The main window connects the simulated instrument as its instrument list would ask it to.
    InstrumentObject Connect(Sim::RawTcpServer& server, const char* sIdn, const char* sMaker, const char* sModel) {
        std::string sError;
        EXPECT_TRUE(server.Start(sError)) << sError;
        server.Device().SetIdn(sIdn);
        InstrumentObject object = RawInstrument(server.Port(), sMaker, sModel);
        PostConnect(iMain, object);
        EXPECT_TRUE(WaitFor([&] { return Record(iMain)->info.fConnected; }));
        Settle();
        return object;
    }
    // Both viewers, the screenshot viewer separate and the waveform viewer as an MDI child.
    void OpenViewers() {
        WindowStart::OpenChildByKind(iMain, WindowKindScreenshotViewer, 0);
        WindowStart::OpenChildByKind(iMain, WindowKindWaveformViewer, 1);
        Settle();
        iShot = ChildrenOf(iMain, WindowKindScreenshotViewer).at(0).iWindow;
        iWave = ChildrenOf(iMain, WindowKindWaveformViewer).at(0).iWindow;
    }
    std::string Title(int iViewer) {
        return ChildWindow::Find(iViewer)->windowTitle().toStdString();
    }

    int iShot = 0;
    int iWave = 0;
};

TEST_F(ViewerLiveTest, TitlesFollowTheInstrumentAndAnotherInstrumentChangesNothing) {
    iMain = OpenMain();
    Sim::RawTcpServer server;
    InstrumentObject object = Connect(server, "RIGOL TECHNOLOGIES,DS1104Z,DS1ZA000000001,00.04.04.SP3", "Rigol",
                                      "DS1104Z");
    OpenViewers();
    EXPECT_EQ(Title(iShot), "DS1104Z - Screenshot Viewer");
    EXPECT_EQ(Title(iWave), "Waveform Viewer"); // an MDI child shows no model
    EXPECT_EQ(ChildWindow::MdiFrame(iWave)->windowTitle().toStdString(), "Waveform Viewer");
    EXPECT_FALSE(ChildWindow::Find(iShot)->windowIcon().isNull());
    uWindowWaveformViewer& w = Wave(iWave);
    EXPECT_FALSE(ViewerItem(w.viewer, WindowStart::MenuSelect)->isEnabled());
    EXPECT_TRUE(ViewerItem(w.viewer, WindowStart::MenuDisconnect)->isEnabled());

    // Another instrument's disconnect is none of theirs.
    const auto other = std::make_shared<uInstrumentObject>();
    for (int iViewer : {iShot, iWave}) {
        EventHub::PostEvent(EventInstrumentDisconnected, iViewer, 0, reinterpret_cast<std::intptr_t>(other.get()),
                            EventHub::Payload::Of<InstrumentObject>(other));
    }
    Settle();
    EXPECT_EQ(Title(iShot), "DS1104Z - Screenshot Viewer");
    EXPECT_TRUE(Shot(iShot).viewer.info.fConnected);

    Choose(iMain, WindowStart::MenuDisconnect);
    EXPECT_TRUE(WaitFor([&] { return Title(iShot) == "Screenshot Viewer (disconnected)"; }));
    EXPECT_EQ(Title(iWave), "Waveform Viewer (disconnected)");
    EXPECT_EQ(Shot(iShot).viewer.info.pInstrument, nullptr);
    EXPECT_TRUE(ViewerItem(Wave(iWave).viewer, WindowStart::MenuSelect)->isEnabled());
    EXPECT_FALSE(ViewerItem(Wave(iWave).viewer, WindowStart::MenuDisconnect)->isEnabled());
}

TEST_F(ViewerLiveTest, AModelWithoutScreenshotsLeavesTheScreenshotViewerDisconnected) {
    iMain = OpenMain();
    OpenViewers();
    Sim::RawTcpServer server;
    Connect(server, "Picotest,M3500A,1,1.0", "Picotest", "M3500A");
    EXPECT_EQ(Title(iShot), "Screenshot Viewer (disconnected)");
    EXPECT_FALSE(Shot(iShot).viewer.info.fConnected);
    EXPECT_EQ(Title(iWave), "Waveform Viewer (disconnected)");
    EXPECT_FALSE(Wave(iWave).viewer.info.fConnected);
}

TEST_F(ViewerLiveTest, TheWaveformViewerKeepsSaveAsAndCopyDisabledAndHasNoViewMenu) {
    iMain = OpenMain();
    Sim::RawTcpServer server;
    Connect(server, "RIGOL TECHNOLOGIES,DS1104Z,DS1ZA000000001,00.04.04.SP3", "Rigol", "DS1104Z");
    for (int fMdi : {0, 1}) {
        const int iViewer = OpenWithViewer(WindowKindWaveformViewer, fMdi);
        ASSERT_NE(iViewer, 0);
        ViewerFrame::uViewer& v = Wave(iViewer).viewer;
        const std::string sMenu = DumpMenuBar(v.pMenu);
        EXPECT_EQ(sMenu.find("&View"), std::string::npos);
        EXPECT_EQ(sMenu.find("&Save As..."), std::string::npos);
        EXPECT_EQ(ViewerItem(v, WindowStart::MenuScale), nullptr);
        EXPECT_FALSE(ViewerItem(v, WindowStart::MenuCopy)->isEnabled());
        EXPECT_FALSE(ViewerButton(v, WindowStart::MenuCopy)->isEnabled());
        EXPECT_FALSE(ViewerButton(v, WindowStart::MenuSaveAs)->isEnabled());
        EXPECT_EQ(ViewerButton(v, WindowStart::MenuScale), nullptr);
        EXPECT_EQ(ViewerButton(v, WindowStart::MenuShowMainWindow) != nullptr, fMdi == 0);
        EXPECT_EQ(ViewerButton(v, WindowStart::MenuFullscreen)->isEnabled(), fMdi == 0);
        Menu(iViewer, WindowStart::MenuCopy);
        EXPECT_EQ(Status(v), "");
        // Fullscreen for a separate window only.
        Menu(iViewer, ViewerFrame::MenuF11);
        EXPECT_EQ(Wave(iViewer).viewer.fFullscreen, fMdi == 0);
        EventHub::PostEvent(EventCloseWindowRequest, iViewer);
        Settle();
        EXPECT_FALSE(WindowWaveformViewer::GetInstance(iViewer, nullptr));
        const std::string sKey = fMdi ? "WindowWaveformViewerPositionMdi" : "WindowWaveformViewerPosition";
        Window::uWindowPosition saved;
        ASSERT_TRUE(Window::ParsePosition(ReadConfigValue("Window", sKey), saved)) << sKey;
        EXPECT_EQ(saved.iState, Window::StateNormal);
        EventHub::PostEvent(EventCloseWindowRequest, iCapture);
        Settle();
    }
}

} // namespace
