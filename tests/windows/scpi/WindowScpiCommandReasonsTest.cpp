// Why a request of the SCPI command window failed, in the window's own status line, while the
// log keeps the transports' words: an answer that never comes within the preferences' time-out.
// (A killed instrument's reasons are in WindowScpiCommandReconnectTest.)
#include "windows/scpi/ScpiWindowTestSupport.h"

#include "sim/RawTcpServer.h"
#include "sim/ScpiDevice.h"
#include "sim/SerialDevice.h"
#include "transport/InterfaceDefaults.h"

#include <atomic>
#include <chrono>
#include <thread>

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

// A chain whose answers come as messages of their own is shown whole, joined as one message
// brings it; one whose last query goes unanswered shows its whole answers as the part, counted.
TEST_F(WindowScpiCommandReasonsTest, AChainShowsEveryAnswerOrThePartWithItsCounts) {
    InterfaceDefaults::SetTimeouts(iTimeouts[0], iTimeouts[1], 300, iTimeouts[3]);
    const int iScpi = ConnectedWindow();
    mRaw.Device().SetSeparateAnswers(20);
    Query(iScpi, "*IDN?;*OPC?;SIM:ECHO? x");
    EXPECT_EQ(Received(iScpi), std::string(Idn) + ";1;x\n");
    Query(iScpi, "*IDN?;*OPC?;:SIM:NONE?");
    const std::string sPart = std::string(Idn) + ";1\n";
    const std::string sCut = "The time-out cut the answer, bytes received: " + std::to_string(sPart.size()) +
                             ", answers received / expected: 2 / 3 - (";
    EXPECT_EQ(Received(iScpi) + Status(iScpi).substr(0, sCut.size()), sPart + sCut);
    // "Send" of a query owes its answer, however late: "Send && Receive" then gets its own.
    mRaw.SetLateness(100);
    Type(iScpi, "SIM:ECHO? x");
    Click(W(iScpi).gadgets.pSend);
    EXPECT_TRUE(WaitIdle(iScpi));
    Query(iScpi, "*OPC?");
    EXPECT_EQ(Received(iScpi), "1\n");
}

// A part the time-out cut is shown, its status says so; its rest, still coming at the next query
// on a serial line, refuses that query, and the status keeps why.
TEST_F(WindowScpiCommandReasonsTest, ACutAnswerIsShownAsCutAndItsRestRefusesTheNextQuery) {
    InterfaceDefaults::SetTimeouts(iTimeouts[0], iTimeouts[1], iTimeouts[2], 300);
    std::atomic<int> iPieces = 0; // pieces after the first that may go; outlives the device's thread
    Sim::SerialDevice serial;
    std::string sError;
    ASSERT_TRUE(serial.Start(sError)) << sError;
    serial.AddFault({Sim::eStreamFault::Trickle, 4, 0, [&] { return iPieces > 0 && iPieces-- > 0; }});
    const int iScpi = OpenScpi();
    Announce(iScpi, mObject = Connect(SerialPrepare(serial.PortName())), ProtocolCom);
    Query(iScpi, "SIM:ECHO? 0123456789");
    EXPECT_EQ(Received(iScpi) + Status(iScpi).substr(0, 50), "0123The time-out cut the answer, bytes received: 4 - (");
    iPieces = 1;
    Query(iScpi, "*OPC?");
    EXPECT_EQ(Status(iScpi), "The data could not be sent. An earlier answer is still arriving.");
}

// On a serial line the answer of a read that gave up is awaited by the next request, however long
// after the failure it starts, and dropped: Send && Receive shows its own answer.
TEST_F(WindowScpiCommandReasonsTest, ALateAnswerOnASerialLineIsNeverTheNextRequests) {
    InterfaceDefaults::SetTimeouts(iTimeouts[0], iTimeouts[1], iTimeouts[2], 1000);
    Sim::SerialDevice serial;
    std::string sError;
    ASSERT_TRUE(serial.Start(sError)) << sError;
    serial.Device().SetIdn(Idn);
    const int iScpi = OpenScpi();
    Announce(iScpi, mObject = Connect(SerialPrepare(serial.PortName())), ProtocolCom);
    serial.AddFault({Sim::eStreamFault::Delay, 2500});
    Query(iScpi, "*OPC?");
    EXPECT_EQ(Status(iScpi), "The data is not available, 0 bytes. The instrument did not answer within 1000 ms.");
    std::this_thread::sleep_for(std::chrono::milliseconds(1200)); // its answer comes 300 ms into the next wait
    Query(iScpi, "*IDN?");
    EXPECT_EQ(Received(iScpi), std::string(Idn) + "\n");
    EXPECT_TRUE(LogHas("The answer to \"*OPC?\", which its read gave up, was awaited for ") &&
                LogHas(" ms before the next message: it came and was dropped (2 bytes dropped)."))
        << Log();
}

} // namespace
