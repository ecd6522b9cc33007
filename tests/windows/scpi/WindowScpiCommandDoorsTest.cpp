// The SCPI command window over VXI-11, serial and USBTMC: a file with its block header reaches
// the instrument whole, and the USBTMC gadgets choose the message and the wait for the answer.
#include "windows/scpi/ScpiWindowTestSupport.h"

#include "sim/SerialDevice.h"
#include "sim/SimUsb.h"
#include "sim/Vxi11Server.h"

#include <QTemporaryDir>

#include <atomic>

namespace {

using namespace ScpiWindowTestSupport;

constexpr int ReadStatusByte = 128; // USB488 READ_STATUS_BYTE
constexpr std::uint8_t VendorSpecificOut = 126;

class WindowScpiCommandDoorsTest : public ScpiWindowTest {
  protected:
    // Sends a 40368-byte file behind "SIM:DATA " with its block header and checks what the
    // instrument received.
    void SendFile(int iScpi, Sim::ScpiDevice& device) {
        std::vector<std::uint8_t> data(40368);
        for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>((i * 13 + 5) & 0xFF);
        const QString sPath = mFiles.filePath("block.bin");
        QFile f(sPath);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char*>(data.data()), static_cast<qint64>(data.size()));
        f.close();
        uGadgets& g = W(iScpi).gadgets;
        Type(iScpi, "SIM:DATA ");
        Click(g.pFile);
        Click(g.pBlockFormat);
        ChooseFile(iScpi, sPath);
        Click(g.pSend);
        ASSERT_TRUE(WaitIdle(iScpi));
        ASSERT_TRUE(WaitFor([&] { return device.LastData().size() == data.size(); })) << Log();
        EXPECT_EQ(device.LastData(), data);
        EXPECT_EQ(device.Commands().back().substr(0, 16), "SIM:DATA #540368");
        EXPECT_TRUE(LogHas("Data sent, bytes: ")) << Log();
        EXPECT_FALSE(LogHas("Error")) << Log();
    }

    QTemporaryDir mFiles;
};

TEST_F(WindowScpiCommandDoorsTest, AFileWithBlockHeaderOverVxi11) {
    Sim::Vxi11Server server;
    std::string sError;
    ASSERT_TRUE(server.Start({}, sError)) << sError;
    const int iScpi = OpenScpi();
    InstrumentObject object = Connect(VxiPrepare(server.Port()));
    Announce(iScpi, object, ProtocolLxi);
    SendFile(iScpi, server.Device());
    std::string sRelease;
    Instrument::ReleaseAll(true, 0, sRelease);
}

TEST_F(WindowScpiCommandDoorsTest, AFileWithBlockHeaderOverSerial) {
    Sim::SerialDevice device;
    std::string sError;
    ASSERT_TRUE(device.Start(sError)) << sError;
    const int iScpi = OpenScpi();
    InstrumentObject object = Connect(SerialPrepare(device.PortName()));
    Announce(iScpi, object, ProtocolCom);
    SendFile(iScpi, device.Device());
    std::string sRelease;
    Instrument::ReleaseAll(true, 0, sRelease);
}

class WindowScpiCommandUsbTest : public ScpiWindowTest {
  protected:
    void SetUp() override {
        ScpiWindowTest::SetUp();
        pDevice = mBus.AddDevice();
        mBus.Install();
        iScpi = OpenScpi();
        mObject = Connect(UsbPrepare());
        Announce(iScpi, mObject, ProtocolUsbTmc);
    }
    void TearDown() override {
        std::string sError;
        Instrument::ReleaseAll(true, 0, sError);
        ScpiWindowTest::TearDown();
        mBus.Uninstall();
    }
    std::size_t StatusByteRequests() const {
        std::size_t n = 0;
        for (const auto& request : pDevice->ControlLog()) n += request.bRequest == ReadStatusByte ? 1 : 0;
        return n;
    }
    void Query(const QString& sCommand) {
        Type(iScpi, sCommand);
        Click(W(iScpi).gadgets.pSendReceive);
        ASSERT_TRUE(WaitIdle(iScpi));
    }

    SimUsb::Bus mBus;
    std::shared_ptr<SimUsb::Device> pDevice;
    InstrumentObject mObject;
    int iScpi = 0;
};

TEST_F(WindowScpiCommandUsbTest, TheUsbGadgetsAreEnabledOnlyHere) {
    const uGadgets& g = W(iScpi).gadgets;
    for (QWidget* p : {static_cast<QWidget*>(g.pVendorSpecific.data()), static_cast<QWidget*>(g.pWaitLabel.data()),
                       static_cast<QWidget*>(g.pWaitMav.data()), static_cast<QWidget*>(g.pWaitSrq.data())}) {
        EXPECT_TRUE(p->isEnabled());
    }
    Withdraw(iScpi, mObject);
    EXPECT_FALSE(g.pWaitMav->isEnabled());
}

TEST_F(WindowScpiCommandUsbTest, WithMavTheStatusByteIsPolledBeforeTheAnswerIsRead) {
    std::atomic<long> iPolledAtFirstRead{-1};
    pDevice->SetBulkInHook([&](int) {
        long iExpected = -1;
        iPolledAtFirstRead.compare_exchange_strong(iExpected, static_cast<long>(StatusByteRequests()));
    });
    Click(W(iScpi).gadgets.pWaitMav);
    Query("*IDN?");
    EXPECT_EQ(Received(iScpi).substr(0, 8), "Orvanto,");
    EXPECT_GT(iPolledAtFirstRead.load(), 0);
    EXPECT_FALSE(LogHas("Error")) << Log();
}

TEST_F(WindowScpiCommandUsbTest, WithSrqTheInterruptNotificationEndsTheWait) {
    pDevice->SetServiceRequestOnAnswer(true);
    Type(iScpi, "*SRE 16");
    Click(W(iScpi).gadgets.pSend);
    ASSERT_TRUE(WaitIdle(iScpi));
    Click(W(iScpi).gadgets.pWaitSrq);
    const std::size_t iPolls = StatusByteRequests();
    Query("*IDN?");
    EXPECT_EQ(Received(iScpi).substr(0, 8), "Orvanto,");
    EXPECT_EQ(StatusByteRequests(), iPolls);
    EXPECT_FALSE(LogHas("Error")) << Log();
}

// A part the time-out cut (the second Bulk-IN of an answer sent 16 bytes at a time) is shown
// as cut, as on the stream doors.
TEST_F(WindowScpiCommandUsbTest, ACutAnswerIsShownAsCut) {
    pDevice->SetMaxPayload(16);
    const int iFirst = pDevice->BulkInReads() + 1;
    pDevice->SetBulkInHook([this, iFirst](int iRead) {
        if (iRead == iFirst) pDevice->PushBulkInError(LIBUSB_ERROR_TIMEOUT);
    });
    Query("SIM:ECHO? 0123456789abcdefghij");
    EXPECT_EQ(Received(iScpi) + Status(iScpi).substr(0, 51), "0123456789abcdefThe time-out cut the answer, bytes received: 16 - (");
}

TEST_F(WindowScpiCommandUsbTest, BothTickedWaitsForMavAndVendorSpecificChangesTheMessage) {
    // Without SRQ notifications only the status-byte wait can see the answer.
    W(iScpi).gadgets.pWaitMav->setChecked(true);
    W(iScpi).gadgets.pWaitSrq->setChecked(true);
    Query("*IDN?");
    EXPECT_GT(StatusByteRequests(), 0u);
    EXPECT_EQ(Received(iScpi).substr(0, 8), "Orvanto,");

    W(iScpi).gadgets.pVendorSpecific->setChecked(true);
    W(iScpi).gadgets.pWaitMav->setChecked(false);
    W(iScpi).gadgets.pWaitSrq->setChecked(false);
    Type(iScpi, "*CLS");
    Click(W(iScpi).gadgets.pSend);
    ASSERT_TRUE(WaitIdle(iScpi));
    ASSERT_TRUE(WaitFor([&] { return !pDevice->BulkOutLog().empty(); }));
    EXPECT_EQ(pDevice->BulkOutLog().back().front(), VendorSpecificOut);
}

} // namespace
