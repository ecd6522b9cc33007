// The main window's instrument, end to end: a test instrument list asks for a connection to the
// raw TCP simulator on loopback; the main window connects it, shows and announces it, and
// "&Disconnect" undoes it.
#include "app/FrameTestSupport.h"
#include "common/ImagePluginGdiPlus.h"
#include "common/UtilityGui.h"
#include "common/WindowLog.h"
#include "instrument/Instrument.h"
#include "platform/WindowRegistry.h"
#include "sim/Loopback.h"
#include "sim/RawTcpServer.h"

#include <QStatusBar>

#include <atomic>
#include <chrono>
#include <memory>

namespace {

using namespace FrameTestSupport;

constexpr const char* Idn = "RIGOL TECHNOLOGIES,DS1104Z,DS1ZA000000001,00.04.04.SP3";

class WindowStartInstrumentTest : public InstrumentFrameTest {
  protected:
    void SetUp() override {
        InstrumentFrameTest::SetUp();
        // The program registers the codecs at start-up; the window icon is an ICO file of PNGs.
        ImagePluginGdiPlus::RegisterDecoder();
        ImagePluginGdiPlus::RegisterEncoder();
    }

    static void StartServer(Sim::RawTcpServer& server) {
        std::string sError;
        ASSERT_TRUE(server.Start(sError)) << sError;
        server.Device().SetIdn(Idn);
    }
    // An instrument described by hand (maker and model given): its connect reads *IDN?.
    static InstrumentObject RawInstrument(int iPort) {
        return FrameTestSupport::RawInstrument(iPort, "Rigol", "DS1104Z");
    }
    // What the instrument list does when the user chooses an instrument.
    static void RequestConnect(int iMain, int iList, const InstrumentObject& object) {
        EventHub::PostEvent(EventConnectInstrument, iMain, reinterpret_cast<std::intptr_t>(object.get()), iList,
                            EventHub::Payload::Of<InstrumentObject>(object));
    }
    int ListOf(int iMain) {
        const auto lists = ChildrenOf(iMain, WindowKindSelectInstrument);
        return lists.empty() ? 0 : lists[0].iWindow;
    }
    // How often timer 4 of the instrument list fired.
    std::size_t SearchTimers(int iList) const {
        std::size_t n = 0;
        for (const auto& e : children.EventsOf(iList, EventTimer)) n += e.iObject == WindowStart::TimerInstrumentListSearch;
        return n;
    }
    static bool LogHas(const std::string& sText) { return WindowLog::Text().find(sText) != std::string::npos; }
    static std::string Status(int iMain) { return Utility::StatusLabel(Record(iMain)->pStatusBar)->text().toStdString(); }
};

TEST_F(WindowStartInstrumentTest, ConnectsAnnouncesTellsTheChildrenAndDisconnectsByTheButton) {
    Sim::RawTcpServer server;
    StartServer(server);
    const int iMain = OpenMain();
    const int iOther = OpenMain(); // a second main window with an instrument list of its own
    const int iList = ListOf(iMain);
    const int iOtherList = ListOf(iOther);
    ASSERT_NE(iList, 0);
    Choose(iMain, WindowStart::MenuScpiCommand);
    const int iScpi = ChildrenOf(iMain, WindowKindScpiCommand).at(0).iWindow;
    InstrumentObject object = RawInstrument(server.Port());
    ASSERT_TRUE(object);

    RequestConnect(iMain, iList, object);
    ASSERT_TRUE(WaitFor([&] { return Record(iMain)->info.fConnected; }));
    Settle();
    uWindowStart* p = Record(iMain);
    EXPECT_EQ(p->pFrame->windowTitle().toStdString(), "Orvanto v0.1.0 (Alpha) - DS1104Z");
    EXPECT_EQ(Status(iMain), "RIGOL TECHNOLOGIES DS1104Z - Serial number: DS1ZA000000001 - Firmware: 00.04.04.SP3");
    // The instrument line stays while the mouse passes over the menus; it shows whole on hover.
    HoverMenuItem(p->pFrame);
    EXPECT_EQ(Status(iMain), "RIGOL TECHNOLOGIES DS1104Z - Serial number: DS1ZA000000001 - Firmware: 00.04.04.SP3");
    EXPECT_EQ(TestApplication::ToolTip(Utility::StatusLabel(p->pStatusBar)), Status(iMain));
    EXPECT_TRUE(LogHas("Connect to the instrument: DS1104Z\n"));
    EXPECT_TRUE(LogHas("DS1104Z: connected\n"));
    EXPECT_TRUE(LogHas("DS1104Z - for the Script:  instrument rawtcp 127.0.0.1 " + std::to_string(server.Port()) +
                       " 127.0.0.1\n"));
    EXPECT_EQ(p->info.sManufacturer, "RIGOL TECHNOLOGIES");
    EXPECT_EQ(p->info.eProtocol, ProtocolRawTcp);
    EXPECT_FALSE(p->info.icon.mIconFile.empty());
    EXPECT_FALSE(p->pFrame->windowIcon().isNull());
    // The list that asked got the close request with data 0 and is gone; the other main
    // window's list searches again soon.
    const auto closes = children.EventsOf(iList, EventCloseWindow);
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_EQ(ChildWindow::EventData(closes[0]), 0);
    EXPECT_TRUE(ChildrenOf(iMain, WindowKindSelectInstrument).empty());
    EXPECT_EQ(Record(iMain)->iRequestingWindow, 0);
    EXPECT_TRUE(WaitFor([&] { return SearchTimers(iOtherList) == 1; }));
    // The child got a copy of the instrument, no address.
    const auto connected = children.EventsOf(iScpi, EventInstrumentConnected);
    ASSERT_EQ(connected.size(), 1u);
    const uInstrumentWindowInfo* pInfo = connected[0].pData.Get<uInstrumentWindowInfo>();
    ASSERT_NE(pInfo, nullptr);
    EXPECT_NE(pInfo, &p->info);
    EXPECT_EQ(pInfo->sModel, "DS1104Z");
    EXPECT_TRUE(pInfo->fConnected);
    EXPECT_EQ(pInfo->pInstrument, object);
    // "&Select..." greyed, "&Disconnect" and its button enabled.
    EXPECT_FALSE(WindowStart::FindMenuItem(p->pMenu, WindowStart::MenuSelect)->isEnabled());
    EXPECT_TRUE(WindowStart::FindMenuItem(p->pMenu, WindowStart::MenuDisconnect)->isEnabled());
    EXPECT_FALSE(Button(iMain, WindowStart::MenuSelect)->isEnabled());
    ASSERT_TRUE(Button(iMain, WindowStart::MenuDisconnect)->isEnabled());
    EXPECT_EQ(server.ConnectionsAccepted(), 1);

    QTest::mouseClick(p->pToolBar->widgetForAction(Button(iMain, WindowStart::MenuDisconnect)), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return server.ConnectionsClosedByPeer() == 1; }));
    Settle();
    EXPECT_EQ(p->pFrame->windowTitle().toStdString(), "Orvanto v0.1.0 (Alpha)");
    EXPECT_EQ(Status(iMain), "");
    EXPECT_TRUE(LogHas("DS1104Z: disconnected\n"));
    EXPECT_FALSE(p->info.fConnected);
    EXPECT_EQ(p->info.pInstrument, object); // kept
    EXPECT_FALSE(Button(iMain, WindowStart::MenuDisconnect)->isEnabled());
    EXPECT_FALSE(WindowStart::FindMenuItem(p->pMenu, WindowStart::MenuDisconnect)->isEnabled());
    EXPECT_TRUE(Button(iMain, WindowStart::MenuSelect)->isEnabled());
    EXPECT_TRUE(WaitFor([&] { return SearchTimers(iOtherList) == 2; }));
    const auto disconnected = children.EventsOf(iScpi, EventInstrumentDisconnected);
    ASSERT_EQ(disconnected.size(), 1u);
    EXPECT_EQ(disconnected[0].iType, reinterpret_cast<std::intptr_t>(object.get()));
    ASSERT_NE(disconnected[0].pData.Get<InstrumentObject>(), nullptr);
    EXPECT_EQ(*disconnected[0].pData.Get<InstrumentObject>(), object);
    // The other window was never involved.
    EXPECT_TRUE(children.EventsOf(iOtherList, EventCloseWindow).empty());
}

TEST_F(WindowStartInstrumentTest, ASecondInstrumentWhileOneIsConnectedIsRefusedAndChangesNothing) {
    Sim::RawTcpServer server, other;
    StartServer(server);
    StartServer(other);
    const int iMain = OpenMain();
    InstrumentObject object = RawInstrument(server.Port());
    RequestConnect(iMain, ListOf(iMain), object);
    ASSERT_TRUE(WaitFor([&] { return Record(iMain)->info.fConnected; }));
    InstrumentObject second = RawInstrument(other.Port());
    RequestConnect(iMain, 0, second);
    Settle();
    EXPECT_TRUE(LogHas("Error: WindowStart::OpenInstrument: There is already an instrument connected.\n"));
    EXPECT_EQ(Record(iMain)->info.pInstrument, object);
    EXPECT_TRUE(Record(iMain)->mPendingConnects.empty());
    EXPECT_EQ(other.ConnectionsAccepted(), 0);
    // An empty object is refused as well.
    WindowStart::CloseInstrument(iMain);
    RequestConnect(iMain, 0, nullptr);
    Settle();
    EXPECT_TRUE(LogHas("Error: WindowStart::OpenInstrument: The instrument for the connection is not valid.\n"));
}

TEST_F(WindowStartInstrumentTest, AFailedConnectLogsItsTaskErrorAndLeavesTheWindowUnconnected) {
    // Bound but not listening: connections are refused, and no other test can take the port.
    const Sim::LoopbackListener refusing(false);
    const int iMain = OpenMain();
    const int iList = ListOf(iMain);
    RequestConnect(iMain, iList, RawInstrument(refusing.Port()));
    ASSERT_TRUE(WaitFor([&] { return LogHas("Error: InstrumentDefault::"); }, 15000)) << WindowLog::Text();
    Settle();
    EXPECT_TRUE(Record(iMain)->mPendingConnects.empty());
    const std::string sLog = WindowLog::Text();
    EXPECT_NE(sLog.find(": (0) "), std::string::npos) << sLog;
    EXPECT_FALSE(Record(iMain)->info.fConnected);
    EXPECT_TRUE(ShownItem(iMain, WindowStart::MenuSelect)->isEnabled());
    // The list stays open for another choice.
    EXPECT_EQ(ListOf(iMain), iList);
    EXPECT_TRUE(children.EventsOf(iList, EventCloseWindow).empty());
}

TEST_F(WindowStartInstrumentTest, AnOvertakenConnectIsClosedAgainAndOnlyTheSecondInstrumentStays) {
    Sim::RawTcpServer first, second;
    StartServer(first);
    StartServer(second);
    second.Device().SetIdn("RIGOL TECHNOLOGIES,DS2202A,DS2A000000002,00.03.05");
    const int iMain = OpenMain();
    InstrumentObject a = RawInstrument(first.Port());
    InstrumentObject b = RawInstrument(second.Port());
    // Both requests are handled before either connect reports back.
    RequestConnect(iMain, ListOf(iMain), a);
    RequestConnect(iMain, ListOf(iMain), b);
    ASSERT_TRUE(WaitFor([&] { return Record(iMain)->info.fConnected && Record(iMain)->mPendingConnects.empty(); }));
    ASSERT_TRUE(WaitFor([&] { return first.ConnectionsClosedByPeer() == 1; }));
    Settle();
    EXPECT_TRUE(LogHas("Error: WindowStart::InstrumentConnected: The connected instrument does not match the existing "
                       "instrument.\n"));
    EXPECT_EQ(Record(iMain)->info.pInstrument, b);
    EXPECT_EQ(Record(iMain)->info.sModel, "DS2202A");
    // The peer may see the socket close before the disconnect task has finished.
    EXPECT_TRUE(WaitFor([&] { return !a->pInterface->IsConnected(*a); }));
    EXPECT_TRUE(b->pInterface->IsConnected(*b));
    EXPECT_EQ(second.ConnectionsClosedByPeer(), 0);
    // Closing the main window closes the second one.
    EventHub::PostEvent(EventCloseWindowRequest, iMain);
    ASSERT_TRUE(WaitFor([&] { return second.ConnectionsClosedByPeer() == 1; }));
    EXPECT_EQ(first.ConnectionsAccepted(), 1);
    EXPECT_EQ(second.ConnectionsAccepted(), 1);
}

TEST_F(WindowStartInstrumentTest, AMainWindowClosedWhileItsConnectIsPendingLeavesNoConnectionOpen) {
    Sim::RawTcpServer server;
    StartServer(server);
    // The identification's answer comes a byte every 50 ms (its read waits 200 ms for the next)
    // until the window is gone: the connect is on its way however long a loaded machine takes to
    // close the window.
    const auto pGone = std::make_shared<std::atomic<bool>>(false);
    server.AddFault({Sim::eStreamFault::Trickle, 1, 0, [pGone, last = std::chrono::steady_clock::now()]() mutable {
                         if (!*pGone && std::chrono::steady_clock::now() - last < std::chrono::milliseconds(50)) return false;
                         return last = std::chrono::steady_clock::now(), true;
                     }});
    const int iMain = OpenMain();
    InstrumentObject object = RawInstrument(server.Port());
    RequestConnect(iMain, ListOf(iMain), object);
    EventHub::PostEvent(EventCloseWindowRequest, iMain);
    ASSERT_TRUE(WaitFor([&] { return WindowStart::Windows().empty(); }));
    EXPECT_EQ(server.ConnectionsClosedByPeer(), 0); // still connecting
    *pGone = true;
    ASSERT_TRUE(WaitFor([&] { return server.ConnectionsClosedByPeer() == 1; }));
    EXPECT_EQ(server.ConnectionsAccepted(), 1);
    EXPECT_TRUE(WaitFor([&] { return !object->pInterface->IsConnected(*object); }));
}

// The instrument goes away and cannot be opened again: the main window and its children are
// told at once, "Select..." is free; a later request that opens it again (here a task from
// nobody, as a script's) has the main window connect it once more, and the children hear so.
TEST_F(WindowStartInstrumentTest, ALostInstrumentIsShownDisconnectedAndARequestThatReopensItConnectsItAgain) {
    Sim::RawTcpServer server;
    StartServer(server);
    const int iMain = OpenMain();
    Choose(iMain, WindowStart::MenuScpiCommand);
    const int iScpi = ChildrenOf(iMain, WindowKindScpiCommand).at(0).iWindow;
    InstrumentObject object = RawInstrument(server.Port());
    RequestConnect(iMain, ListOf(iMain), object);
    ASSERT_TRUE(WaitFor([&] { return Record(iMain)->info.fConnected; }));
    const int iPort = server.Port();
    server.Stop();
    std::string sError;
    uTaskGetIdn request;
    request.head.iWindow = WindowNobody;
    ASSERT_NE(object->pInterface->AddTask(*object, request, sError), 0) << sError;
    ASSERT_TRUE(WaitFor([&] { return !Record(iMain)->info.fConnected; }));
    Settle();
    EXPECT_TRUE(WindowStart::FindMenuItem(Record(iMain)->pMenu, WindowStart::MenuSelect)->isEnabled());
    EXPECT_EQ(Status(iMain).rfind("The connection to the instrument was interrupted.", 0), 0u) << Status(iMain);
    EXPECT_EQ(children.EventsOf(iScpi, EventInstrumentDisconnected).size(), 1u);
    EXPECT_FALSE(object->pInterface->IsConnected(*object));

    ASSERT_TRUE(server.Start(sError, "127.0.0.1", iPort)) << sError;
    server.Device().SetIdn(Idn);
    ASSERT_NE(object->pInterface->AddTask(*object, request, sError), 0) << sError;
    ASSERT_TRUE(WaitFor([&] { return Record(iMain)->info.fConnected; }));
    Settle();
    EXPECT_TRUE(LogHas("DS1104Z: connected again\n")) << WindowLog::Text();
    EXPECT_EQ(Status(iMain), "RIGOL TECHNOLOGIES DS1104Z - Serial number: DS1ZA000000001 - Firmware: 00.04.04.SP3");
    EXPECT_EQ(children.EventsOf(iScpi, EventInstrumentConnected).size(), 2u);
    EXPECT_FALSE(WindowStart::FindMenuItem(Record(iMain)->pMenu, WindowStart::MenuSelect)->isEnabled());
    // One disconnect by the button closes it: the window holds it once, also after its connect at the regain.
    Choose(iMain, WindowStart::MenuDisconnect);
    ASSERT_TRUE(WaitFor([&] { return server.ConnectionsClosedByPeer() == 1; }));
    EXPECT_TRUE(WaitFor([&] { return !object->pInterface->IsConnected(*object); }));
    // A script connects it, loses it and regains it: the window the user disconnected stays so.
    ASSERT_NE(object->pInterface->AddTask(*object, uTaskConnect{{InstrumentTaskConnect, 0, WindowNobody}}, sError), 0);
    ASSERT_TRUE(WaitFor([&] { return object->pInterface->IsConnected(*object); }));
    server.Stop();
    ASSERT_NE(object->pInterface->AddTask(*object, request, sError), 0) << sError;
    ASSERT_TRUE(WaitFor([&] { return !object->pInterface->IsConnected(*object); }));
    ASSERT_TRUE(server.Start(sError, "127.0.0.1", iPort)) << sError;
    // The regain is told before the first request's result; a connect the window queued for it
    // would report before the second one's.
    const int iProbe = WindowRegistry::NewWindowNumber();
    int iResults = 0;
    EventHub::Bind(EventTaskFinished, iProbe, [&](const EventHub::uEvent&) { ++iResults; });
    request.head.iWindow = iProbe;
    for (int i = 1; i <= 2; ++i) {
        ASSERT_NE(object->pInterface->AddTask(*object, request, sError), 0) << sError;
        ASSERT_TRUE(WaitFor([&] { return iResults == i; }));
    }
    EventHub::Unbind(EventTaskFinished, iProbe);
    EXPECT_TRUE(object->pInterface->IsConnected(*object));
    EXPECT_FALSE(Record(iMain)->info.fConnected);
}

struct uScriptCase {
    const char* sName;
    uTaskPrepare connection;
    const char* sExpected;
};

uTaskPrepare Serial(float fStopBits, int iParity, int iHandshake) {
    uTaskPrepare c;
    c.eInterface = InterfaceSerial;
    c.serial = {"COM3", 9600, 8, fStopBits, iParity, iHandshake};
    return c;
}

TEST(WindowStartScriptLine, EachInterfaceGivesItsParameters) {
    uTaskPrepare usb;
    usb.eInterface = InterfaceUsbTmc;
    usb.usb.iVendorId = 0x1AB1;
    usb.usb.iProductId = 0x04CE;
    usb.usb.sSerialNumber = "DS1ZA000000001";
    uTaskPrepare vxi;
    vxi.eInterface = InterfaceVxi11;
    vxi.vxi11 = {"192.168.1.5", "192.168.1.20", 111, 9009};
    uTaskPrepare raw;
    raw.eInterface = InterfaceRawTcp;
    raw.rawTcp = {"10.0.0.1", "10.0.0.7", 5025};
    uTaskPrepare unknown;
    unknown.eInterface = 9;
    uTaskPrepare lanNone;
    lanNone.eInterface = InterfaceLanNone;
    const uScriptCase cases[] = {
        {"usb", usb, "usbtmc 1AB1 4CE DS1ZA000000001"},
        {"vxi", vxi, "vxi 192.168.1.20 9009 192.168.1.5"},
        {"raw", raw, "rawtcp 10.0.0.7 5025 10.0.0.1"},
        {"serial", Serial(1.0F, 0, 0), "serial COM3 9600 8 1 none none"},
        {"1.5 stop bits", Serial(1.5F, 1, 1), "serial COM3 9600 8 1.5 odd rtson"},
        {"2 stop bits", Serial(2.0F, 2, 2), "serial COM3 9600 8 2 even rtscts"},
        {"mark, xon", Serial(1.0F, 3, 3), "serial COM3 9600 8 1 mark xon"},
        {"space", Serial(1.0F, 4, 0), "serial COM3 9600 8 1 space none"},
        {"unknown interface", unknown, ""},
        {"no transport", lanNone, ""},
    };
    for (const uScriptCase& c : cases) {
        EXPECT_EQ(WindowStart::ScriptParameters(c.connection), c.sExpected) << c.sName;
    }
}

} // namespace
