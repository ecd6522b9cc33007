// Connect, identify, exchange and disconnect through AddTask and the event hub against the
// simulated instrument behind the raw TCP door (loopback), the serial door (a pseudo-terminal)
// and the USBTMC door (the simulated bus under either USB library).
#include "InstrumentTestSupport.h"

#include "common/EventData.h"
#include "common/ImagePluginGdiPlus.h"
#include "instrument/ConnectionFailure.h"
#include "instrument/ModelTable.h"
#include "instrument/NetworkConnection.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowRegistry.h"
#include "sim/Loopback.h"
#include "sim/RawTcpServer.h"
#include "sim/SerialDevice.h"
#include "sim/ScreenCopyAnswers.h"
#include "sim/SimUsb.h"
#include "transport/RawTcp.h"
#include "transport/Serial.h"
#include "transport/TransferStatus.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using TestSupport::Add;
using TestSupport::Answer;
using TestSupport::Command;
using TestSupport::EventRecorder;

namespace {

void ExpectStart(const std::string& sText, const std::string& sStart) {
    EXPECT_EQ(sText.substr(0, sStart.size()), sStart) << sText;
}

class ConnectionTasksTest : public TestSupport::TaskTest {
  protected:
    static uTaskPrepare RawPrepare(int iPort) {
        uTaskPrepare prepare;
        prepare.eProtocol = prepare.eInterface = InterfaceRawTcp;
        prepare.rawTcp = {"127.0.0.1", "127.0.0.1", iPort};
        return prepare;
    }
    static uTaskPrepare SerialPrepare(const std::string& sPort) {
        uTaskPrepare prepare;
        prepare.eProtocol = prepare.eInterface = InterfaceSerial;
        prepare.serial = {sPort, 115200, 8, 1.0F, 0, 0};
        return prepare;
    }
    static uTaskPrepare UsbPrepare(bool fLibUsb0, const std::string& sSerial = "DS1ZA000000001") {
        uTaskPrepare prepare;
        prepare.eProtocol = prepare.eInterface = InterfaceUsbTmc;
        prepare.fLibUsb0 = fLibUsb0 ? 1 : 0;
        prepare.fLibUsb1 = fLibUsb0 ? 0 : 1;
        prepare.usb.iVendorId = 0x1AB1;
        prepare.usb.iProductId = 0x04CE;
        prepare.usb.sSerialNumber = sSerial;
        return prepare;
    }
    uTaskPrepare Head(uTaskPrepare prepare, std::int64_t iEvent = 0) {
        prepare.head = {InstrumentTaskPrepare, iEvent, iWindow};
        return prepare;
    }
    // A started raw TCP instrument.
    void StartRaw() {
        std::string sError;
        ASSERT_TRUE(mRaw.Start(sError)) << sError;
    }

    Sim::RawTcpServer mRaw;
};

TEST_F(ConnectionTasksTest, RawTcpDoor) {
    StartRaw();
    const std::size_t iLive = RawTcp::LiveInstances();
    auto object = NewObject();
    TestSupport::RunThroughDoor(*object, RawPrepare(mRaw.Port()), *pRecorder, mRaw.Device(), "door\n");
    EXPECT_EQ(RawTcp::LiveInstances(), iLive);
    TestSupport::RunSearchChain(*object, RawPrepare(mRaw.Port()), *pRecorder, mRaw.Device());
    EXPECT_EQ(RawTcp::LiveInstances(), iLive);
}

TEST_F(ConnectionTasksTest, ScreenCopyOverRawTcp) {
    ImagePluginGdiPlus::RegisterDecoder(); // the program registers the codec at start-up
    StartRaw();
    QImage screen(80, 48, QImage::Format_RGB32);
    screen.fill(Qt::darkBlue);
    for (int x = 0; x < 80; ++x) screen.setPixel(x, 4, qRgb(255, 255, 0));
    Sim::AnswerRigolScreenCopy(mRaw.Device(), screen);
    auto object = NewObject();
    uTaskPrepare prepare = Head(RawPrepare(mRaw.Port()));
    prepare.eModel = ModelRigolDS1000Z;
    Add(*object, prepare);
    Add(*object, ConnectTask());
    Add(*object, uTaskScreencopy{{InstrumentTaskScreencopy, 0, iWindow}, 1, 5, 0});
    Add(*object, DisconnectTask());
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskDisconnect, 1));
    EXPECT_TRUE(Errors().empty());
    const auto results = pRecorder->Tasks(InstrumentTaskScreencopy);
    ASSERT_EQ(results.size(), 1u);
    const QImage* pImage = results[0].pData.Get<QImage>();
    ASSERT_NE(pImage, nullptr);
    ASSERT_EQ(pImage->size(), screen.size());
    EXPECT_EQ(pImage->pixel(10, 4) & 0xFFFFFF, 0xFFFF00u);
    EXPECT_EQ(pImage->pixel(10, 40) & 0xFFFFFF, screen.pixel(10, 40) & 0xFFFFFF);
    // The answer came as a "#9" block, with progress on the way.
    EXPECT_FALSE(pRecorder->Transfers().empty());
}

TEST_F(ConnectionTasksTest, SerialDoor) {
    Sim::SerialDevice device;
    std::string sError;
    ASSERT_TRUE(device.Start(sError)) << sError;
    const std::size_t iLive = Serial::LiveInstances();
    auto object = NewObject();
    TestSupport::RunThroughDoor(*object, SerialPrepare(device.PortName()), *pRecorder, device.Device(), "door\n");
    EXPECT_EQ(Serial::LiveInstances(), iLive);
    TestSupport::RunSearchChain(*object, SerialPrepare(device.PortName()), *pRecorder, device.Device());
    EXPECT_EQ(Serial::LiveInstances(), iLive);
}

class UsbDoorTest : public ConnectionTasksTest, public ::testing::WithParamInterface<bool> {
  protected:
    void SetUp() override {
        ConnectionTasksTest::SetUp();
        mBus.Install();
    }
    void TearDown() override {
        ConnectionTasksTest::TearDown();
        mBus.Uninstall();
    }
    bool LibUsb0() const { return GetParam(); }
    // Everything the connects opened has been given back.
    void ExpectAllReleased() {
        EXPECT_EQ(mBus.OpenHandles(), 0);
        EXPECT_EQ(mBus.OpenContexts(), 0);
        EXPECT_EQ(mBus.OpenConfigDescriptors(), 0);
    }
    SimUsb::Bus mBus;
};

TEST_P(UsbDoorTest, ConnectExchangeAndCloseFindingTheEndpoints) {
    auto device = mBus.AddDevice();
    auto object = NewObject();
    // USBTMC drops the final LF of an answer.
    TestSupport::RunThroughDoor(*object, UsbPrepare(LibUsb0()), *pRecorder, device->Scpi(), "door");
    uInfo info;
    std::string sError;
    ASSERT_TRUE(object->pInterface->GetInfo(*object, info, sError));
    EXPECT_EQ(info.connection.usb.iConfiguration, 1);
    EXPECT_EQ(info.connection.usb.iInterface, 0);
    EXPECT_EQ(info.connection.usb.iBulkOut, 0x01);
    EXPECT_EQ(info.connection.usb.iBulkIn, 0x82);
    EXPECT_EQ(info.connection.usb.iInterruptIn, 0x83);
    EXPECT_EQ(info.connection.usb.iBulkInMaxPacketSize, 512);
    EXPECT_EQ(info.connection.usb.iBulkOutMaxPacketSize, 512);
    EXPECT_EQ(device->AutoDetach(), !LibUsb0()); // libusb-1.0 takes the interface from a kernel driver
    EXPECT_EQ(device->Claims(), 0);
    ExpectAllReleased();

    TestSupport::RunSearchChain(*object, UsbPrepare(LibUsb0()), *pRecorder, device->Scpi());
    ExpectAllReleased();
}

TEST_P(UsbDoorTest, TheSerialNumberPicksTheDeviceExactlyAndAFailedConnectKeepsNothing) {
    SimUsb::uDeviceConfig first, second;
    second.sSerialNumber = "DS1ZA000000002";
    auto pFirst = mBus.AddDevice(first);
    auto pSecond = mBus.AddDevice(second);
    pFirst->Scpi().SetIdn("first");
    pSecond->Scpi().SetIdn("second");
    auto object = NewObject();
    const std::string sNotFound = std::string("InstrumentDefault::TaskConnect | InstrumentDefault::") +
                                  (LibUsb0() ? "ConnectUsbTmcLibUsb0" : "ConnectUsbTmcLibUsb1") +
                                  ": The instrument was not found and no connection could be established.";

    // A serial number that differs in letter case only is another instrument.
    Add(*object, Head(UsbPrepare(LibUsb0(), "ds1za000000002")));
    Add(*object, ConnectTask());
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskError, 1));
    EXPECT_EQ(Errors(), std::vector<std::string>{sNotFound});
    EXPECT_FALSE(object->pInterface->IsConnected(*object));
    ExpectAllReleased();

    Add(*object, Head(UsbPrepare(LibUsb0(), "DS1ZA000000002")));
    Add(*object, ConnectTask());
    Add(*object, Command("*IDN?", iWindow, true));
    Add(*object, DisconnectTask());
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskDisconnect, 1));
    ASSERT_EQ(pRecorder->Tasks(InstrumentTaskScpiCommand).size(), 1u);
    EXPECT_EQ(Answer(pRecorder->Tasks(InstrumentTaskScpiCommand)[0]), "second");

    // Without a serial number the first device that can be claimed is taken.
    pFirst->SetClaimError(LIBUSB_ERROR_BUSY);
    Add(*object, Head(UsbPrepare(LibUsb0(), "")));
    Add(*object, ConnectTask());
    Add(*object, Command("*IDN?", iWindow, true));
    Add(*object, DisconnectTask());
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskDisconnect, 2));
    EXPECT_EQ(Answer(pRecorder->Tasks(InstrumentTaskScpiCommand)[1]), "second");
    EXPECT_EQ(pRecorder->Tasks(InstrumentTaskError).size(), 1u);
    ExpectAllReleased();
}

TEST_P(UsbDoorTest, AConnectToADeviceTheUserMayNotOpenFailsNamingTheDeviceAndTheRule) {
    SimUsb::uDeviceConfig config;
    config.iBusNumber = 3;
    config.iAddress = 17;
    auto device = mBus.AddDevice(config);
    device->SetOpenError(LIBUSB_ERROR_ACCESS);
    auto object = NewObject();
    const std::string sProcedure = LibUsb0() ? "ConnectUsbTmcLibUsb0" : "ConnectUsbTmcLibUsb1";
    // libusb 0.1 knows the bus by its directory, which the simulated bus numbers 001.
    const std::string sDevice = LibUsb0() ? "1ab1:04ce (bus 001, address 017)" : "1ab1:04ce (bus 003, address 017)";
    Add(*object, Head(UsbPrepare(LibUsb0())));
    Add(*object, ConnectTask());
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskError, 1));
    EXPECT_EQ(Errors(), std::vector<std::string>{
                            "InstrumentDefault::TaskConnect | InstrumentDefault::" + sProcedure +
                            ": The user has no permission to open the USB device " + sDevice +
                            ". The udev rule 70-orvanto-usbtmc.rules (packaging/udev/ of the program) grants it: "
                            "copy it to /etc/udev/rules.d/, run 'udevadm control --reload' and plug the device in "
                            "again."});
    EXPECT_FALSE(object->pInterface->IsConnected(*object));
    ExpectAllReleased();
    // The window that asked says the same, not that the device was unplugged.
    const uTaskPrepare prepare = UsbPrepare(LibUsb0());
    EXPECT_EQ(Instrument::ConnectFailureReason(prepare, Failures()[0]),
              "The user has no permission to open the USB device " + sDevice +
                  ". The udev rule 70-orvanto-usbtmc.rules (packaging/udev/ of the program) grants it: copy it to "
                  "/etc/udev/rules.d/, run 'udevadm control --reload' and plug the device in again.");

    // Any other failure to open keeps the text of an instrument not found.
    device->SetOpenError(LIBUSB_ERROR_IO);
    Add(*object, ConnectTask());
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskError, 2));
    EXPECT_EQ(Errors()[1], "InstrumentDefault::TaskConnect | InstrumentDefault::" + sProcedure +
                               ": The instrument was not found and no connection could be established.");
    EXPECT_EQ(Instrument::ConnectFailureReason(prepare, Failures()[1]),
              "The USB instrument could not be opened: it was unplugged or another program uses it.");
    // The device opens again once access is granted.
    device->SetOpenError(0);
    Add(*object, ConnectTask());
    Add(*object, DisconnectTask());
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskDisconnect, 1));
    EXPECT_EQ(pRecorder->Tasks(InstrumentTaskError).size(), 2u);
    ExpectAllReleased();
}

TEST_P(UsbDoorTest, AClaimedDeviceWithoutBulkInIsClosedAgain) {
    SimUsb::uDeviceConfig config;
    config.iBulkIn = 0;
    config.lConfigurations = {{1, {{0, 0xFE, 3, 1, {{0x01, 2, 512}, {0x83, 3, 8}}}}}};
    auto device = mBus.AddDevice(config);
    auto object = NewObject();
    Add(*object, Head(UsbPrepare(LibUsb0())));
    Add(*object, ConnectTask());
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskError, 1));
    EXPECT_NE(Errors()[0].find("The instrument was not found and no connection could be established."), std::string::npos);
    EXPECT_FALSE(object->pInterface->IsConnected(*object));
    EXPECT_EQ(device->Claims(), 0);
    ExpectAllReleased();
}

TEST_P(UsbDoorTest, TheStatusByteWaitEndsAtTheAnswerItsTimeOutOrACancel) {
    auto device = mBus.AddDevice();
    auto object = NewObject();
    Add(*object, Head(UsbPrepare(LibUsb0())));
    Add(*object, ConnectTask());
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskConnect, 1));

    // Ready at once: read after the first poll, by status byte and by service request.
    auto byStatus = Command("*IDN?", iWindow, true);
    byStatus.eWait = 1;
    Add(*object, byStatus);
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskScpiCommand, 1));
    device->SetServiceRequestOnAnswer(true);
    auto bySrq = Command("SIMulate:ECHO? srq", iWindow, true);
    bySrq.eWait = 2;
    Add(*object, bySrq);
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskScpiCommand, 2));
    device->SetServiceRequestOnAnswer(false);
    EXPECT_EQ(Answer(pRecorder->Tasks(InstrumentTaskScpiCommand)[0]), device->Scpi().Idn());
    EXPECT_EQ(Answer(pRecorder->Tasks(InstrumentTaskScpiCommand)[1]), "srq");
    EXPECT_TRUE(Errors().empty()) << ::testing::PrintToString(Errors());

    // An instrument that never has its answer ready: the wait ends at the task's time-out.
    device->Scpi().SwallowAnswers(1);
    auto silent = Command("SIMulate:ECHO? never", iWindow, true);
    silent.eWait = 1;
    silent.iTimeout = 300;
    Add(*object, silent);
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskScpiCommand, 3));
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_EQ(Errors()[0], "InstrumentDefault::TaskScpiCommand | Error sending and receiving the data. - "
                           "InstrumentDefault::SendRequestUsbTmc: The instrument did not have the answer ready within "
                           "300 ms.");
    const auto* pSilent = pRecorder->Tasks(InstrumentTaskScpiCommand)[2].pData.Get<uTaskResultScpiCommand>();
    ASSERT_NE(pSilent, nullptr);
    EXPECT_EQ(pSilent->fSendFinished, 1);
    EXPECT_EQ(pSilent->fRequestFinished, 0);
    std::vector<std::int64_t> waited;
    std::vector<std::string> transferErrors;
    for (const auto& event : pRecorder->Transfers()) {
        if (event.iType == TransferStatus::TransferWaiting) waited.push_back(TransferStatus::Data(event));
        if (event.iType == TransferStatus::TransferSendError) {
            uEventData record;
            Utility::EventDataTake(std::to_string(TransferStatus::Data(event)), record);
            transferErrors.push_back(record.sProcedure + " | " + record.sText);
        }
    }
    ASSERT_FALSE(waited.empty());
    EXPECT_EQ(waited.front(), 1); // a fraction of a second shows as 1
    EXPECT_EQ(transferErrors, std::vector<std::string>{"SendRequestUsbTmc | Error waiting until the data are ready. - "
                                                       "InstrumentDefault::SendRequestUsbTmc: The instrument did not have "
                                                       "the answer ready within 300 ms."});

    // A cancel ends the wait at once; the task after it runs normally.
    device->Scpi().SwallowAnswers(1);
    auto endless = Command("SIMulate:ECHO? endless", iWindow, true);
    endless.eWait = 1;
    endless.iTimeout = 60000;
    Add(*object, endless);
    const std::size_t iWaits = waited.size();
    ASSERT_TRUE(pRecorder->WaitFor([&] {
        std::size_t n = 0;
        for (const auto& event : pRecorder->Transfers()) n += event.iType == TransferStatus::TransferWaiting;
        return n > iWaits;
    }));
    Add(*object, uTaskCancel{{InstrumentTaskCancel, 0, iWindow}, 0, 1});
    Add(*object, Command("SIMulate:ECHO? after", iWindow, true));
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskScpiCommand, 5));
    ASSERT_EQ(Errors().size(), 2u);
    EXPECT_EQ(Errors()[1], "InstrumentDefault::TaskScpiCommand | Error sending and receiving the data. - "
                           "InstrumentDefault::SendRequestUsbTmc: The task has been canceled.");
    // The answer that was never read is dropped by the instrument when the next query comes.
    EXPECT_EQ(Answer(pRecorder->Tasks(InstrumentTaskScpiCommand)[4]), "after");
    Add(*object, DisconnectTask());
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskDisconnect, 1));
    ExpectAllReleased();
}

TEST_P(UsbDoorTest, AnAnswerComesWithProgressInTheInterfaceStep) {
    auto device = mBus.AddDevice();
    device->SetMaxPayload(0x8000);
    auto object = NewObject();
    Add(*object, Head(UsbPrepare(LibUsb0())));
    Add(*object, ConnectTask());
    Add(*object, Command("SIMulate:BLOCk? 400000", iWindow, true));
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskScpiCommand, 1));
    EXPECT_EQ(Answer(pRecorder->Tasks(InstrumentTaskScpiCommand)[0]).size(), 400008u);
    TestSupport::ExpectProgressSteps(*pRecorder, 102400);
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, UsbDoorTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "LibUsb0" : "LibUsb1"; });

TEST_F(ConnectionTasksTest, UsbWithoutALibraryOpensNothing) {
    auto object = NewObject();
    uTaskPrepare prepare = UsbPrepare(false);
    prepare.fLibUsb1 = 0;
    Add(*object, Head(prepare));
    Add(*object, ConnectTask());
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskError, 1));
    EXPECT_EQ(Errors(), std::vector<std::string>{"InstrumentDefault::TaskConnect | InstrumentDefault::TaskConnect: No USB "
                                                 "library was chosen for the instrument."});
    EXPECT_TRUE(pRecorder->Tasks(InstrumentTaskConnect).empty());
}

// Each owner holds the connection once: the window connects twice and disconnects twice, and the
// connection stays for the other owner (a script run) until that one's disconnect.
TEST_F(ConnectionTasksTest, TwoOwnersHoldTheConnectionOnceEachAndTheLastOnesDisconnectCloses) {
    StartRaw();
    const std::size_t iLive = RawTcp::LiveInstances();
    auto object = NewObject();
    const std::int64_t iRun = WindowRegistry::NewWindowNumber();
    Add(*object, Head(RawPrepare(mRaw.Port())));
    Add(*object, ConnectTask());
    Add(*object, ConnectTask());
    Add(*object, uTaskConnect{{InstrumentTaskConnect, 0, iWindow, iRun}});
    Add(*object, DisconnectTask());
    Add(*object, DisconnectTask());
    Add(*object, Command("*OPC?", iWindow, true));
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskScpiCommand, 1));
    EXPECT_EQ(pRecorder->Tasks(InstrumentTaskConnect).size(), 3u);
    EXPECT_EQ(pRecorder->Tasks(InstrumentTaskDisconnect).size(), 2u);
    EXPECT_TRUE(object->pInterface->IsConnected(*object));
    EXPECT_EQ(Answer(pRecorder->Tasks(InstrumentTaskScpiCommand)[0]), "1\n");
    EXPECT_EQ(RawTcp::LiveInstances(), iLive + 1);

    Add(*object, uTaskDisconnect{{InstrumentTaskDisconnect, 0, iWindow, iRun}});
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskDisconnect, 3));
    EXPECT_FALSE(object->pInterface->IsConnected(*object));
    EXPECT_EQ(RawTcp::LiveInstances(), iLive);
    // One more finds nothing to close: no error, and nothing posted.
    Add(*object, DisconnectTask());
    Add(*object, Head(RawPrepare(mRaw.Port())));
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskPrepare, 2));
    EXPECT_EQ(pRecorder->Tasks(InstrumentTaskDisconnect).size(), 3u);
    EXPECT_TRUE(Errors().empty());
}

TEST_F(ConnectionTasksTest, AConnectBeforeTheSearchChainsOwnLetsTheChainFinishAndClose) {
    StartRaw();
    mRaw.Device().SetIdn("RIGOL TECHNOLOGIES,DS1104Z,DS1ZA1,00.04.04");
    const std::size_t iLive = RawTcp::LiveInstances();
    auto object = NewObject();
    Add(*object, Head(RawPrepare(mRaw.Port())));
    const std::int64_t iMain = WindowRegistry::NewWindowNumber(); // the chain's owner is the list
    Add(*object, uTaskConnect{{InstrumentTaskConnect, 0, iWindow, iMain}});
    // While a query waits for its answer, the chain's prepare and then one of the user's own are
    // queued: the chain's connect comes after the user's prepare. It finds the connection open:
    // it holds it too, and the chain goes on as its own owner.
    std::atomic<bool> fAnswer{false};
    mRaw.AddFault({Sim::eStreamFault::Hold, 0, 0, [&] { return fAnswer.load(); }});
    uTaskScpiCommand query = Command("*OPC?", iWindow, true);
    query.iTimeout = 60000;
    Add(*object, query);
    ASSERT_TRUE(pRecorder->WaitFor([&] { return !mRaw.Device().Commands().empty(); }));
    Add(*object, Head(RawPrepare(mRaw.Port()), EventSearchFinished));
    uTaskPrepare own = Head(RawPrepare(mRaw.Port()));
    own.head.iOwner = iMain;
    Add(*object, own);
    fAnswer = true;
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskIdentified, 1));
    EXPECT_TRUE(object->pInterface->IsConnected(*object));
    uInfo info;
    std::string sError;
    ASSERT_TRUE(object->pInterface->GetInfo(*object, info, sError));
    EXPECT_EQ(info.idn.sIdn, mRaw.Device().Idn());
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(pRecorder->Tasks(InstrumentTaskConnect).size(), 1u); // the chain's connect posts nothing

    // A later search's chain on the connection the user holds, during which the instrument does
    // not answer: it keeps the names and the model it had, which its windows and lists show.
    mRaw.Device().SwallowAnswers(1);
    Add(*object, Head(RawPrepare(mRaw.Port()), EventSearchFinished));
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskIdentified, 2));
    ASSERT_TRUE(object->pInterface->GetInfo(*object, info, sError));
    EXPECT_EQ(info.idn.sModel, "DS1104Z");
    EXPECT_EQ(info.idn.sSerialNumber, "DS1ZA1");
    EXPECT_EQ(info.connection.eModel, ModelRigolDS1000Z);
    EXPECT_TRUE(object->pInterface->IsConnected(*object));
    EXPECT_EQ(Errors().size(), 1u); // the chain's *IDN?

    // The user's disconnect is the last: the connection closes.
    Add(*object, uTaskDisconnect{{InstrumentTaskDisconnect, 0, iWindow, iMain}});
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskDisconnect, 1));
    EXPECT_FALSE(object->pInterface->IsConnected(*object));
    EXPECT_EQ(RawTcp::LiveInstances(), iLive);
}

TEST_F(ConnectionTasksTest, AFailedIdentificationStillDisconnectsAndNothingGoesToNobody) {
    StartRaw();
    const std::size_t iLive = RawTcp::LiveInstances();
    auto object = NewObject();
    mRaw.Device().SwallowAnswers(1);
    Add(*object, Head(RawPrepare(mRaw.Port()), EventSearchFinished));
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskIdentified, 1));
    ASSERT_EQ(Errors().size(), 1u);
    ExpectStart(Errors()[0], "InstrumentDefault::TaskGetIdn | RawTcp::SocketRead: ");
    EXPECT_FALSE(object->pInterface->IsConnected(*object));
    EXPECT_EQ(RawTcp::LiveInstances(), iLive);
    uInfo info;
    std::string sError;
    ASSERT_TRUE(object->pInterface->GetInfo(*object, info, sError));
    EXPECT_EQ(info.idn.sIdn, "");
    EXPECT_EQ(info.connection.eModel, ModelGeneric);

    // The same chain for nobody: no record is left in the event-data store, nothing is queued.
    auto other = NewObject();
    const std::size_t iRecords = Utility::EventDataCount();
    const std::size_t iCommands = mRaw.Device().Commands().size();
    mRaw.Device().SwallowAnswers(1);
    uTaskPrepare prepare = RawPrepare(mRaw.Port());
    prepare.head = {InstrumentTaskPrepare, EventSearchFinished, WindowNobody};
    Add(*other, prepare);
    // The chain has ended when the query has gone out and the connection is closed again.
    for (int i = 0; i < 1000 && (mRaw.Device().Commands().size() == iCommands || other->pInterface->IsConnected(*other));
         ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Add(*other, Head(RawPrepare(mRaw.Port()))); // marks the end of the queue
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskPrepare, 1));
    EXPECT_EQ(Utility::EventDataCount(), iRecords);
    EXPECT_EQ(EventHub::Pending(), 0u);
    EXPECT_EQ(RawTcp::LiveInstances(), iLive);
    EXPECT_EQ(pRecorder->Tasks().size(), 3u);
}

TEST_F(ConnectionTasksTest, AManualInstrumentIsIdentifiedWhenItConnects) {
    StartRaw();
    auto object = NewObject();
    uTaskPrepare prepare = RawPrepare(mRaw.Port());
    prepare.fUserModel = 1;
    prepare.sUserManufacturer = "Rigol";
    prepare.sUserModel = "DP832";
    mRaw.Device().SetIdn("RIGOL TECHNOLOGIES,DP832,DP8A0001,00.01.14");
    Add(*object, Head(prepare));
    Add(*object, ConnectTask());
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskConnect, 1));
    uInfo info;
    std::string sError;
    ASSERT_TRUE(object->pInterface->GetInfo(*object, info, sError));
    EXPECT_EQ(info.idn.sModel, "DP832");
    EXPECT_EQ(info.connection.eModel, ModelRigolDP800);
    EXPECT_EQ(mRaw.Device().Commands(), std::vector<std::string>{"*IDN?"});
    // The request block is set up for the model again: the next command has the raw default time-out.
    Add(*object, Command("*OPC?", iWindow, true));
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskScpiCommand, 1));
    EXPECT_EQ(Answer(pRecorder->Tasks(InstrumentTaskScpiCommand)[0]), "1\n");
    Add(*object, DisconnectTask());
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskDisconnect, 1));

    // An answer held back after its first 16 bytes, past the time-out, identifies nothing on either
    // stream door (nor in the search chain, which reads it the same way).
    Sim::SerialDevice serial;
    ASSERT_TRUE(serial.Start(sError)) << sError;
    uTaskPrepare onSerial = SerialPrepare(serial.PortName());
    onSerial.fUserModel = 1;
    onSerial.sUserManufacturer = "Rigol";
    onSerial.sUserModel = "DP832";
    const std::pair<uTaskPrepare, Sim::StreamPeer*> doors[] = {{prepare, &mRaw}, {onSerial, &serial}};
    for (const auto& [door, pPeer] : doors) {
        pPeer->AddFault({Sim::eStreamFault::Hold, 16, 0, [] { return false; }}); // until the peer stops
        const std::size_t iDone = pRecorder->Tasks(InstrumentTaskConnect).size();
        auto pCut = NewObject();
        Add(*pCut, Head(door));
        Add(*pCut, ConnectTask());
        ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskConnect, iDone + 1));
        ASSERT_TRUE(pCut->pInterface->GetInfo(*pCut, info, sError));
        EXPECT_EQ(info.idn.sIdn, "");
        EXPECT_EQ(info.connection.eModel, ModelRigolDP800);
        Add(*pCut, DisconnectTask());
        ASSERT_TRUE(pRecorder->WaitFor([&] { return !pCut->pInterface->IsConnected(*pCut); }));
    }
}

TEST_F(ConnectionTasksTest, APrepareForAnotherInterfaceClosesWhatWasOpened) {
    StartRaw();
    const std::size_t iRawLive = RawTcp::LiveInstances();
    const std::size_t iSerialLive = Serial::LiveInstances();
    auto object = NewObject();
    Add(*object, Head(RawPrepare(mRaw.Port())));
    Add(*object, ConnectTask());
    Add(*object, Head(SerialPrepare("/dev/null-not-a-port")));
    Add(*object, Command("*OPC?", iWindow, true)); // still over the open raw connection
    Add(*object, DisconnectTask());
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskDisconnect, 1));
    EXPECT_EQ(Answer(pRecorder->Tasks(InstrumentTaskScpiCommand)[0]), "1\n");
    EXPECT_TRUE(Errors().empty()) << ::testing::PrintToString(Errors());
    EXPECT_FALSE(object->pInterface->IsConnected(*object));
    EXPECT_EQ(RawTcp::LiveInstances(), iRawLive);
    EXPECT_EQ(Serial::LiveInstances(), iSerialLive);
}

TEST_F(ConnectionTasksTest, FailedConnectsLeaveNoTransportInstance) {
    const std::size_t iRawLive = RawTcp::LiveInstances();
    const std::size_t iSerialLive = Serial::LiveInstances();
    auto object = NewObject();
    uTaskPrepare noAddress = RawPrepare(5025);
    noAddress.rawTcp.sAdapterIp = "0.0.0.0"; // given, so that Prepare leaves it
    noAddress.rawTcp.sInstrumentIp = "";
    Add(*object, Head(noAddress));
    Add(*object, ConnectTask());
    // A port on loopback that is bound but not listening refuses at once.
    const Sim::LoopbackListener refusing(false);
    const int iClosedPort = refusing.Port();
    Add(*object, Head(RawPrepare(iClosedPort)));
    Add(*object, ConnectTask());
    Add(*object, Head(SerialPrepare("/dev/orvanto-no-such-port")));
    Add(*object, ConnectTask());
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskError, 3));
    const auto errors = Errors();
    ExpectStart(errors[0], "InstrumentDefault::TaskConnect | InstrumentDefault::ConnectRawTcp: The connection data for "
                           "the RawTCP instrument could not be transferred. - RawTcp::SetInstrument: ");
    ExpectStart(errors[1], "InstrumentDefault::TaskConnect | InstrumentDefault::ConnectRawTcp: The network connection "
                           "to the RawTCP instrument could not be established. - RawTcp::Connect: ");
    ExpectStart(errors[2], "InstrumentDefault::TaskConnect | InstrumentDefault::ConnectSerial: The serial connection to "
                           "the instrument could not be established. - Serial::Connect: ");
    EXPECT_TRUE(pRecorder->Tasks(InstrumentTaskConnect).empty());
    EXPECT_FALSE(object->pInterface->IsConnected(*object));
    EXPECT_EQ(RawTcp::LiveInstances(), iRawLive);
    EXPECT_EQ(Serial::LiveInstances(), iSerialLive);
    // Nothing to disconnect: the disconnect posts nothing.
    Add(*object, DisconnectTask());
    Add(*object, Head(RawPrepare(iClosedPort)));
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskPrepare, 4));
    EXPECT_TRUE(pRecorder->Tasks(InstrumentTaskDisconnect).empty());
}

TEST_F(ConnectionTasksTest, AnswersComeWithProgressInEachInterfacesStep) {
    StartRaw();
    auto object = NewObject();
    Add(*object, Head(RawPrepare(mRaw.Port())));
    Add(*object, ConnectTask());
    Add(*object, Command("SIMulate:BLOCk? 300000", iWindow, true));
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskScpiCommand, 1));
    EXPECT_EQ(Answer(pRecorder->Tasks(InstrumentTaskScpiCommand)[0]).size(), 300009u);
    TestSupport::ExpectProgressSteps(*pRecorder, 51200);
    Add(*object, DisconnectTask());
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskDisconnect, 1));

    Sim::SerialDevice serial;
    std::string sError;
    ASSERT_TRUE(serial.Start(sError)) << sError;
    EventRecorder serialRecorder(WindowRegistry::NewWindowNumber());
    uTaskPrepare prepare = SerialPrepare(serial.PortName());
    prepare.head.iWindow = serialRecorder.Window();
    Add(*object, prepare);
    Add(*object, uTaskConnect{{InstrumentTaskConnect, 0, serialRecorder.Window()}});
    Add(*object, Command("SIMulate:BLOCk? 100000", serialRecorder.Window(), true));
    ASSERT_TRUE(serialRecorder.WaitForTasks(InstrumentTaskScpiCommand, 1));
    EXPECT_EQ(Answer(serialRecorder.Tasks(InstrumentTaskScpiCommand)[0]).size(), 100009u);
    TestSupport::ExpectProgressSteps(serialRecorder, 20480);
}

} // namespace

namespace {

std::vector<Network::uNetworkAdapter> Adapters(const std::vector<std::pair<std::string, std::string>>& list) {
    std::vector<Network::uNetworkAdapter> adapters(1); // element 0 stays empty
    for (const auto& [sAddress, sMask] : list) {
        Network::uNetworkAdapter adapter;
        adapter.sIpAddress = sAddress;
        adapter.sIpMask = sMask;
        adapters.push_back(adapter);
    }
    return adapters;
}

std::string Choose(const std::vector<std::pair<std::string, std::string>>& list, const std::string& sInstrument) {
    const auto adapters = Adapters(list);
    return InstrumentDefault::ChooseAdapter(adapters, static_cast<int>(adapters.size()) - 1, sInstrument);
}

TEST(AdapterChoice, TheInstrumentsOwnNetworkFirstThenTheMostEqualLeadingOctets) {
    const std::string c24 = "255.255.255.0";
    EXPECT_EQ(Choose({{"192.168.1.10", c24}, {"10.0.0.5", "255.0.0.0"}}, "192.168.1.50"), "192.168.1.10");
    // A later adapter on another subnet does not replace the one on the instrument's own.
    EXPECT_EQ(Choose({{"192.168.1.10", c24}, {"192.168.2.7", c24}}, "192.168.1.50"), "192.168.1.10");
    EXPECT_EQ(Choose({{"192.168.2.7", c24}, {"192.168.1.10", c24}}, "192.168.1.50"), "192.168.1.10");
    // The network, as the mask draws it, counts before equal octets.
    EXPECT_EQ(Choose({{"10.1.2.3", c24}, {"10.8.0.1", "255.0.0.0"}}, "10.1.7.9"), "10.8.0.1");
    EXPECT_EQ(Choose({{"10.0.0.5", "255.0.0.0"}, {"192.168.2.7", "255.255.0.0"}}, "192.168.1.50"), "192.168.2.7");
    // Without a network of its own: the most equal leading octets, the earlier among equals.
    EXPECT_EQ(Choose({{"172.16.0.1", c24}, {"192.168.9.1", c24}, {"192.168.7.1", c24}}, "192.168.1.50"), "192.168.9.1");
    EXPECT_EQ(Choose({{"172.16.0.1", c24}, {"10.0.0.1", c24}}, "192.168.1.50"), "172.16.0.1");
    // A name instead of an address: the first adapter that has an address.
    EXPECT_EQ(Choose({{"0.0.0.0", c24}, {"10.0.0.1", c24}, {"172.16.0.1", c24}}, "scope.local"), "10.0.0.1");
    // Adapters without an address are never chosen.
    EXPECT_EQ(Choose({{"0.0.0.0", "0.0.0.0"}, {"", ""}}, "192.168.1.50"), "");
    EXPECT_EQ(Choose({}, "192.168.1.50"), "");
    // An instrument on this PC: the loopback address, also where loopback is the only adapter.
    for (const char* sLoopback : {"127.0.0.1", "127.8.9.10"}) {
        EXPECT_EQ(Choose({{"192.168.1.10", c24}, {"10.0.0.1", "255.0.0.0"}}, sLoopback), "127.0.0.1");
        EXPECT_EQ(Choose({}, sLoopback), "127.0.0.1");
    }
    EXPECT_EQ(Choose({{"128.0.0.2", c24}}, "128.0.0.1"), "128.0.0.2");
    // Only the counted adapters take part.
    const auto adapters = Adapters({{"10.0.0.1", c24}, {"192.168.1.10", c24}});
    EXPECT_EQ(InstrumentDefault::ChooseAdapter(adapters, 1, "192.168.1.50"), "10.0.0.1");
    EXPECT_EQ(InstrumentDefault::ChooseAdapter(adapters, 7, "192.168.1.50"), "192.168.1.10");
}

// What a window's status line says after a failed exchange, from its failure record: each cause
// a user can act on, and nothing for the others, whose window text says all there is. The texts
// of the records do not matter.
TEST(ExchangeFailureReason, NamesTheCauseOfEveryFailureKind) {
    using Failure::eKind;
    using Failure::eStep;
    uTaskPrepare raw;
    raw.eInterface = InterfaceRawTcp;
    raw.rawTcp = {"10.0.0.1", "10.0.0.5", 5555}; // adapter, instrument, port
    uTaskPrepare serial;
    serial.eInterface = InterfaceSerial;
    serial.serial.sPort = "/dev/ttyUSB0";
    const std::string sInterrupted = "The connection to the instrument was interrupted.";
    const std::string sNotConnected = "The instrument is not connected.";
    const std::string sConnect = "The instrument could not be connected: ";
    const struct {
        Failure::uFailure failure;
        std::string sReason;
    } cases[] = {
        {{eKind::GoneAfter, 12, "", eStep::Receive}, sInterrupted},
        {{eKind::GoneBefore, 0, "", eStep::Send}, sInterrupted},
        {{eKind::TimedOut, 5, "", eStep::Receive}, "The instrument did not answer within 750 ms."},
        // The time the failing call waited (USBTMC's wait for the answer) is believed first.
        {{eKind::TimedOut, 5, "", eStep::Receive, eKind::None, 0, 2500}, "The instrument did not answer within 2500 ms."},
        {{eKind::TimedOut, 0, "", eStep::Send}, "The instrument did not take the data within 750 ms."},
        {{eKind::NotConnected}, sNotConnected},
        {{eKind::Arriving, 0, "", eStep::Send}, "An earlier answer is still arriving."}, // nothing sent
        // A connect made for the request says why as a connect failure does.
        {{eKind::NotConnected, 0, "", eStep::Connect, eKind::Refused, 5555},
         sConnect + "The instrument at 10.0.0.5 refused the connection on port 5555: nothing accepts connections "
                    "there. Check the port and that the instrument's network interface is on."},
        {{eKind::NotConnected, 0, "", eStep::Connect, eKind::TimedOut, 5555, 2000},
         sConnect + "No answer from 10.0.0.5 within 2000 ms. Check the IP address, the cable and that the instrument is "
                    "switched on."},
        {{eKind::NotConnected, 0, "", eStep::Connect, eKind::GoneBefore, 5555},
         sConnect + "The instrument at 10.0.0.5 closed the connection at once."},
        // Causes the window's own text covers.
        {{eKind::Canceled, 3}, ""},
        {{eKind::Other}, ""},
        {{eKind::BadAnswer}, ""},
        {{}, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Instrument::ExchangeFailureReason(raw, c.failure, 750), c.sReason) << Failure::Name(c.failure.eType);
    }
    Failure::uFailure unreachable{eKind::Unreachable, 0, "TcpSocket::Connect: Connection refused. Code = 111"};
    unreachable.eConnect = eKind::Unreachable;
    EXPECT_EQ(Instrument::ConnectFailureReason(raw, unreachable),
              "The address 10.0.0.5 cannot be reached from this PC. Check the IP address and the network adapter.");
    // A time-out without a known length says no number.
    EXPECT_EQ(Instrument::ExchangeFailureReason(raw, {eKind::TimedOut}, 0), "The instrument did not answer in time.");
    // Where a connect goes, as "Connecting to ..." names it.
    EXPECT_EQ(Instrument::ConnectionPlace(raw), "10.0.0.5:5555");
    EXPECT_EQ(Instrument::ConnectionPlace(serial), "/dev/ttyUSB0");
    // Without an instrument object there is nothing connected.
    EXPECT_EQ(Instrument::ExchangeFailureReason(InstrumentObject(), {eKind::Other}), sNotConnected);
}

} // namespace
