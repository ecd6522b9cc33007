// Why a request of the SCPI command window failed, in the window's own status line, while the
// log keeps the transports' words: the simulated instrument killed, an answer that never comes
// within the preferences' time-out, and a window without a connected instrument.
#include "windows/scpi/ScpiWindowTestSupport.h"

#include "sim/RawTcpServer.h"
#include "sim/ScpiDevice.h"
#include "transport/InterfaceDefaults.h"

namespace {

using namespace ScpiWindowTestSupport;

constexpr const char* Idn = "RIGOL TECHNOLOGIES,DS1104Z,DS1ZA000000001,00.04.05.SP2";

class WindowScpiCommandReasonsTest : public ScpiWindowTest {
  protected:
    void SetUp() override {
        ScpiWindowTest::SetUp();
        for (int i = 0; i < 4; ++i) iTimeouts[i] = InterfaceDefaults::Timeout(i + 1);
        std::string sError;
        ASSERT_TRUE(mRaw.Start(sError)) << sError;
        mRaw.Device().SetIdn(Idn);
    }
    void TearDown() override {
        ScpiWindowTest::TearDown();
        InterfaceDefaults::SetTimeouts(iTimeouts[0], iTimeouts[1], iTimeouts[2], iTimeouts[3]);
    }
    // A window whose main window has the raw TCP simulator, and one *IDN? that went through.
    int ConnectedWindow() {
        const int iScpi = OpenScpi();
        mObject = Connect(RawPrepare(mRaw.Port()));
        Announce(iScpi, mObject, ProtocolRawTcp);
        Query(iScpi, "*IDN?");
        EXPECT_EQ(Received(iScpi), std::string(Idn) + "\n");
        return iScpi;
    }
    static void Query(int iScpi, const char* pCommand) {
        Type(iScpi, pCommand);
        Click(W(iScpi).gadgets.pSendReceive);
        EXPECT_TRUE(WaitIdle(iScpi));
    }

    Sim::RawTcpServer mRaw;
    InstrumentObject mObject;
    int iTimeouts[4] = {};
};

// The instrument is killed: the query fails, and the window keeps the Part's text with the
// reason after it (the connection was found closed, and the connect that tried to open it again
// was refused); the instrument is shown not connected, and each button of the window tries to
// connect it again and says why that failed.
TEST_F(WindowScpiCommandReasonsTest, AKilledInstrumentsQueryFailsWithTheReasonOnScreen) {
    const int iScpi = ConnectedWindow();
    mRaw.Stop();
    Type(iScpi, "*IDN?");
    Click(W(iScpi).gadgets.pSendReceive);
    ASSERT_TRUE(WaitFor([&] { return Idle(iScpi) && !W(iScpi).info.fConnected && EventHub::Pending() == 0; }, 20000))
        << Log();
    EXPECT_EQ(Status(iScpi), "The data is not available, 0 bytes. The instrument could not be connected: The "
                             "instrument at 127.0.0.1 refused the connection on port " +
                                 std::to_string(mRaw.Port()) +
                                 ": nothing accepts connections there. Check the port and that the instrument's "
                                 "network interface is on.");
    EXPECT_TRUE(LogHas("DS1104Z - The data is not available, 0 bytes.")) << Log();
    EXPECT_TRUE(LogHas("Connection refused. Code = 111")) << Log();
    EXPECT_EQ(Received(iScpi), "");
    // Both buttons of the window that lost its instrument try it again, and say why that failed.
    for (QPushButton* pButton : {W(iScpi).gadgets.pSend.data(), W(iScpi).gadgets.pSendReceive.data()}) {
        Utility::StatusLabel(W(iScpi).pStatusBar)->setText("");
        Click(pButton);
        ASSERT_TRUE(WaitFor([&] { return Idle(iScpi) && EventHub::Pending() == 0; }, 20000)) << Log();
        EXPECT_NE(Status(iScpi).find("refused the connection on port " + std::to_string(mRaw.Port())), std::string::npos)
            << pButton->text().toStdString() << ": " << Status(iScpi);
    }
}

// No answer within the response time-out of the preferences: the window says how long it
// waited, after its own text of the empty result.
TEST_F(WindowScpiCommandReasonsTest, AnAnswerThatNeverComesSaysHowLongTheWindowWaited) {
    InterfaceDefaults::SetTimeouts(iTimeouts[0], iTimeouts[1], 300, iTimeouts[3]);
    const int iScpi = ConnectedWindow();
    mRaw.Device().SwallowAnswers(1);
    Type(iScpi, "*IDN?");
    Click(W(iScpi).gadgets.pSendReceive);
    ASSERT_TRUE(WaitIdle(iScpi, 20000)) << Log();
    EXPECT_EQ(Status(iScpi), "The data is not available, 0 bytes. The instrument did not answer within 300 ms.");
    EXPECT_TRUE(LogHas("Die Wartezeit für das Empfangen wurde überschritten.")) << Log();
    // The next query goes through and says nothing of the earlier failure.
    Query(iScpi, "SIM:ECHO? after");
    EXPECT_EQ(Received(iScpi), "after\n");
    EXPECT_TRUE(Status(iScpi).starts_with("Data received, bytes: ")) << Status(iScpi);
}

} // namespace
