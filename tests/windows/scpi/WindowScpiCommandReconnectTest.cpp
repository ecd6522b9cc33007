// The SCPI command window of a main window that connected the simulated instrument as the
// instrument list does, while the instrument goes away and comes back: a request to the killed
// instrument fails with the reason on screen and the instrument is shown not connected; a later
// request that opens it again brings the windows back, without "&Disconnect"; and the first
// request after a restart that closed the connection while nobody asked goes through.
#include "windows/scpi/ScpiWindowTestSupport.h"

#include "sim/RawTcpServer.h"
#include "sim/ScpiDevice.h"

namespace {

using namespace ScpiWindowTestSupport;

constexpr const char* Idn = "RIGOL TECHNOLOGIES,DS1104Z,DS1ZA000000001,00.04.05.SP2";

class WindowScpiCommandReconnectTest : public ScpiWindowTest {
  protected:
    void SetUp() override {
        ScpiWindowTest::SetUp();
        Serve();
    }
    void Serve(int iPort = 0) {
        std::string sError;
        ASSERT_TRUE(mRaw.Start(sError, "127.0.0.1", iPort)) << sError;
        mRaw.Device().SetIdn(Idn);
    }
    // The SCPI window of a main window that connected the instrument (described by address, as
    // the list's manual entries are) and heard it answer once.
    int ConnectedWindow() {
        const int iScpi = OpenScpi();
        std::string sError;
        mObject = Instrument::Create(sError);
        EXPECT_TRUE(mObject) << sError;
        uTaskPrepare prepare = RawPrepare(mRaw.Port());
        prepare.head = {InstrumentTaskPrepare, 0, WindowNobody};
        prepare.fUserModel = 1;
        EXPECT_NE(mObject->pInterface->AddTask(*mObject, prepare, sError), 0) << sError;
        ConnectFromList();
        Query(iScpi, "*IDN?");
        EXPECT_EQ(Received(iScpi), std::string(Idn) + "\n");
        return iScpi;
    }
    // What the instrument list does when the user chooses the instrument.
    void ConnectFromList() {
        EventHub::PostEvent(EventConnectInstrument, iMain, reinterpret_cast<std::intptr_t>(mObject.get()), 0,
                            EventHub::Payload::Of<InstrumentObject>(mObject));
        EXPECT_TRUE(WaitFor([&] { return Record(iMain)->info.fConnected; }, 20000)) << Log();
        Settle();
    }
    static void Query(int iScpi, const char* pCommand) {
        Type(iScpi, pCommand);
        Click(W(iScpi).gadgets.pSendReceive);
        EXPECT_TRUE(WaitFor([&] { return Idle(iScpi) && EventHub::Pending() == 0; }, 20000)) << Log();
    }
    std::string Refused() const {
        return "The instrument could not be connected: The instrument at 127.0.0.1 refused the connection on port " +
               std::to_string(mRaw.Port()) +
               ": nothing accepts connections there. Check the port and that the instrument's network interface is on.";
    }

    Sim::RawTcpServer mRaw;
    InstrumentObject mObject;
};

// Killed: the query fails with why on screen, the refused reconnect shows the instrument not
// connected in the main window and the SCPI window, and each button of the window tries it again
// and says why that failed. Started again: a request that opens it (a script's) has the main
// window connect it once more, and the window's next query works.
TEST_F(WindowScpiCommandReconnectTest, AKilledInstrumentFailsWithWhyAndALaterRequestConnectsItAgain) {
    const int iScpi = ConnectedWindow();
    const int iPort = mRaw.Port();
    mRaw.Stop();
    Type(iScpi, "*IDN?");
    Click(W(iScpi).gadgets.pSendReceive);
    ASSERT_TRUE(WaitFor([&] { return Idle(iScpi) && !W(iScpi).info.fConnected && EventHub::Pending() == 0; }, 20000))
        << Log();
    EXPECT_EQ(Status(iScpi), "The data is not available, 0 bytes. " + Refused());
    EXPECT_TRUE(LogHas("Connection refused. Code = 111")) << Log();
    EXPECT_FALSE(Record(iMain)->info.fConnected);
    EXPECT_EQ(W(iScpi).pFrame->windowTitle(), "SCPI-Command"); // lost, not disconnected
    EXPECT_TRUE(LogHas("DS1104Z - The data is not available, 0 bytes.")) << Log();
    EXPECT_EQ(Received(iScpi), "");
    // Both buttons of the window that lost its instrument try it again, and say why that failed.
    for (QPushButton* pButton : {W(iScpi).gadgets.pSend.data(), W(iScpi).gadgets.pSendReceive.data()}) {
        Utility::StatusLabel(W(iScpi).pStatusBar)->setText("");
        Click(pButton);
        ASSERT_TRUE(WaitFor([&] { return Idle(iScpi) && EventHub::Pending() == 0; }, 20000)) << Log();
        EXPECT_NE(Status(iScpi).find("refused the connection on port " + std::to_string(iPort)), std::string::npos)
            << pButton->text().toStdString() << ": " << Status(iScpi);
    }

    Serve(iPort);
    // A script run's request opens it again and the run is stopped at once: its release (abort and
    // cleared queue, both its own) leaves the window's request alone, which answers.
    const int iRun = WindowRegistry::NewWindowNumber();
    std::string sError;
    ASSERT_NE(mObject->pInterface->AddTask(*mObject, uTaskGetIdn{{InstrumentTaskGetIdn, 0, iRun}}, sError), 0);
    ASSERT_NE(mObject->pInterface->AddTask(*mObject, uTaskCancel{{InstrumentTaskCancel, 0, WindowNobody, iRun}, 1, 1}, sError), 0);
    Query(iScpi, "SIM:ECHO? early");
    EXPECT_EQ(Received(iScpi), "early\n");
    ASSERT_TRUE(WaitFor([&] { return W(iScpi).info.fConnected && EventHub::Pending() == 0; }, 20000)) << Log();
    Query(iScpi, "SIM:ECHO? back");
    EXPECT_EQ(Received(iScpi), "back\n");
    EXPECT_TRUE(Status(iScpi).starts_with("Data received, bytes: ")) << Status(iScpi);
}

// Killed and refused: the window keeps its instrument, shown not connected, and its next query
// tries to connect it, refused again with why on screen. Started again: the window's own next
// query connects it and works, with neither "&Disconnect" nor a script, and the main window shows
// it connected again; one "&Disconnect" then closes the connection and lets the window go.
TEST_F(WindowScpiCommandReconnectTest, TheWindowsOwnNextQueryConnectsALostInstrumentAgain) {
    const int iScpi = ConnectedWindow();
    const int iPort = mRaw.Port();
    mRaw.Stop();
    Query(iScpi, "*IDN?");
    ASSERT_TRUE(WaitFor([&] { return !W(iScpi).info.fConnected && EventHub::Pending() == 0; }, 20000)) << Log();
    Query(iScpi, "*IDN?");
    EXPECT_TRUE(Status(iScpi).ends_with(". " + Refused())) << Status(iScpi);
    EXPECT_EQ(W(iScpi).pFrame->windowTitle(), "SCPI-Command"); // lost, not disconnected
    EXPECT_FALSE(Record(iMain)->info.fConnected);

    Serve(iPort);
    Query(iScpi, "SIM:ECHO? back");
    EXPECT_EQ(Received(iScpi), "back\n");
    EXPECT_TRUE(Status(iScpi).starts_with("Data received, bytes: ")) << Status(iScpi);
    ASSERT_TRUE(WaitFor([&] { return W(iScpi).info.fConnected && EventHub::Pending() == 0; }, 20000)) << Log();
    EXPECT_TRUE(Record(iMain)->info.fConnected);
    EXPECT_NE(W(iScpi).pFrame->windowTitle(), "SCPI-Command (disconnected)");
    EXPECT_EQ(mRaw.ConnectionsAccepted(), 2); // the first connect's, and the one the window's query opened
    const int iClosed = mRaw.ConnectionsClosedByPeer();
    Choose(iMain, WindowStart::MenuDisconnect);
    EXPECT_TRUE(WaitFor([&] { return mRaw.ConnectionsClosedByPeer() == iClosed + 1; }, 20000)) << Log();
    EXPECT_TRUE(WaitFor([&] { return !mObject->pInterface->IsConnected(*mObject); }, 20000));
    EXPECT_FALSE(W(iScpi).info.pInstrument);
    Query(iScpi, "*IDN?");
    EXPECT_EQ(Status(iScpi), "The instrument is not connected.");
}

// Killed and refused, then started again: choosing the instrument in the list connects it
// without "&Disconnect" first, and the window's next query works.
TEST_F(WindowScpiCommandReconnectTest, ALostInstrumentIsConnectedAgainFromTheListWithoutDisconnect) {
    const int iScpi = ConnectedWindow();
    const int iPort = mRaw.Port();
    mRaw.Stop();
    Query(iScpi, "*IDN?");
    ASSERT_TRUE(WaitFor([&] { return !Record(iMain)->info.fConnected && EventHub::Pending() == 0; }, 20000)) << Log();
    Serve(iPort);
    ConnectFromList();
    ASSERT_TRUE(WaitFor([&] { return W(iScpi).info.fConnected; }, 20000)) << Log();
    Query(iScpi, "*IDN?");
    EXPECT_EQ(Received(iScpi), std::string(Idn) + "\n");
}

// The instrument restarts while nobody asks (its connection closed): the first query after the
// restart goes through on a new connection, and nothing is shown lost.
TEST_F(WindowScpiCommandReconnectTest, TheFirstQueryAfterARestartThatClosedTheConnectionWorks) {
    const int iScpi = ConnectedWindow();
    const int iPort = mRaw.Port();
    mRaw.Stop();
    Serve(iPort);
    Query(iScpi, "SIM:ECHO? first");
    EXPECT_EQ(Received(iScpi), "first\n");
    EXPECT_TRUE(Status(iScpi).starts_with("Data received, bytes: ")) << Status(iScpi);
    EXPECT_TRUE(Record(iMain)->info.fConnected);
    EXPECT_TRUE(W(iScpi).info.fConnected);
    EXPECT_EQ(mRaw.ConnectionsAccepted(), 2); // the connect's, and the request's own after the restart
}

} // namespace
