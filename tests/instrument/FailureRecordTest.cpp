// The failure record of one request over every door, each failure made to happen on a real peer
// (a restarted server or pseudo-terminal, a VXI-11 peer that closes under device_write, a device
// pulled off the simulated bus): its kind, whether bytes left, whether it went out again and was
// answered (only with nothing sent), the error the window is shown and the reason its status
// line gives, made from the record.
#include "InstrumentTestSupport.h"
#include "common/EventData.h"
#include "instrument/ConnectionFailure.h"
#include "instrument/InstrumentTasks.h"
#include "instrument/NetworkConnection.h"
#include "instrument/UsbConnection.h"
#include "platform/ProgramEvents.h"
#include "sim/RawTcpServer.h"
#include "sim/SerialDevice.h"
#include "sim/SimUsb.h"
#include "sim/Vxi11Server.h"
#include "transport/InterfaceDefaults.h"
#include "transport/TransferStatus.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <utility>

namespace {

using namespace InstrumentDefault;
using Failure::eKind;

enum class eDoor { RawTcp, Serial, Vxi11, Usb1, Usb0 };
// Cut: under the write, after part of it. Deaf: a peer that takes the connection and never reads.
// Abandoned: a read aborted there, and then the peer takes no new connection. Stalled: the answer
// stops after its first part (VXI-11 between two device_reads; USB between two Bulk-IN reads,
// and the device halts Bulk-IN when the transfer is aborted). StalledInChain: the second answer
// of a chain, a message of its own, stops so after its first part.
enum class eFault { Gone, Restarted, Cut, Silent, Deaf, Abandoned, Stalled, StalledInChain };

struct uRow {
    const char* pName;
    eDoor eDoorOf;
    eFault eFaultOf;
    eKind eExpected;
    bool fSentSome, fAnswered; // bytes left before the failure; it went out again and was answered
    const char* pShown;        // the start of the error the window is shown ("": none)
    const char* pReason;       // the start of the reason its status line gives ("": none); "{ms}" stands
                               // for the milliseconds the record says the read ran
};

class FailureRecordTest : public TestSupport::TaskTest, public ::testing::WithParamInterface<uRow> {};

TEST_P(FailureRecordTest, KindBytesSentAgainAndTheWindowsText) {
    const uRow& row = GetParam();
    auto pScpi = std::make_shared<Sim::ScpiDevice>();
    Sim::RawTcpServer raw(pScpi), rawAgain(pScpi);
    Sim::SerialDevice serial(pScpi), serialAgain(pScpi);
    Sim::Vxi11Server vxi(pScpi), vxiAgain(pScpi);
    SimUsb::Bus bus;
    bus.Install();
    const auto pUsb = row.eDoorOf >= eDoor::Usb1 ? bus.AddDevice({}, pScpi) : nullptr;
    const std::string sLink = "/tmp/orvanto-failure-" + std::to_string(getpid());
    std::remove(sLink.c_str()); // left by a row that failed
    std::string sError;
    uInstance instance;
    uTaskPrepare& c = instance.uConnection;
    const int iDoor = static_cast<int>(row.eDoorOf);
    const std::int64_t aInterface[] = {InterfaceRawTcp, InterfaceSerial, InterfaceVxi11, InterfaceUsbTmc,
                                       InterfaceUsbTmc};
    bool (*aConnect[])(uInstance&, std::string&) = {ConnectRawTcp, ConnectSerial, ConnectVxi,
                                                    ConnectUsbTmcLibUsb1, ConnectUsbTmcLibUsb0};
    c.eProtocol = c.eInterface = aInterface[iDoor];
    Sim::Vxi11Server::uConfig config;
    const bool fOpen = raw.Start(sError) && serial.Start(sError) &&
                       symlink(serial.PortName().c_str(), sLink.c_str()) == 0 && vxi.Start(config, sError);
    c.rawTcp = {"127.0.0.1", "127.0.0.1", raw.Port()};
    // The kernel completes its connects from the backlog; nobody accepts or reads them.
    int iDeaf = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in deaf{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t iLength = sizeof deaf;
    const bool fDeaf = row.eFaultOf == eFault::Deaf || row.eFaultOf == eFault::Abandoned;
    if (fDeaf && bind(iDeaf, reinterpret_cast<sockaddr*>(&deaf), iLength) == 0 && listen(iDeaf, 1) == 0 &&
        getsockname(iDeaf, reinterpret_cast<sockaddr*>(&deaf), &iLength) == 0) {
        c.rawTcp.iPort = ntohs(deaf.sin_port);
    }
    c.serial = {sLink, 115200, 8, 1.0F, 0, 0};
    c.vxi11 = {"127.0.0.1", "127.0.0.1", 111, vxi.Port()};
    c.fLibUsb0 = row.eDoorOf == eDoor::Usb0 ? 1 : 0;
    c.fLibUsb1 = 1 - c.fLibUsb0;
    c.usb.iVendorId = 0x1AB1, c.usb.iProductId = 0x04CE, c.usb.sSerialNumber = "DS1ZA000000001";
    ASSERT_TRUE(fOpen && aConnect[iDoor](instance, sError)) << sError;
    SetCommunicationDefaults(instance);
    uRequest& request = instance.request;
    request.fSend = request.fRequestData = 1;
    request.sCommand = "SIMulate:ECHO? again";
    const int iVxi11 = InterfaceDefaults::Timeout(InterfaceVxi11);
    const auto SetVxi11 = [](int iMs) {
        InterfaceDefaults::SetTimeouts(InterfaceDefaults::Timeout(InterfaceUsbTmc), iMs,
                                       InterfaceDefaults::Timeout(InterfaceRawTcp),
                                       InterfaceDefaults::Timeout(InterfaceSerial));
    };
    switch (row.eFaultOf) {
    case eFault::Gone:
        raw.Stop();
        break;
    case eFault::Restarted:
        config.iPort = vxi.Port();
        raw.Stop(), vxi.Stop(), bus.RemoveDevice(pUsb);
        ASSERT_TRUE(rawAgain.Start(sError, "127.0.0.1", raw.Port()) && vxiAgain.Start(config, sError) &&
                    serialAgain.Start(sError) && std::remove(sLink.c_str()) == 0 &&
                    symlink(serialAgain.PortName().c_str(), sLink.c_str()) == 0);
        serial.Stop();
        if (pUsb) bus.AddDevice({}, pScpi);
        break;
    case eFault::Cut:
        if (pUsb) pUsb->fUnplugUnderNextBulkOut = true, bus.AddDevice({}, pScpi);
        request.data.assign(std::string(3000, 'x').data(), 3000);
        vxi.SetMaxRecvSize(1024);
        vxi.AddFault({Sim::Vxi11DeviceWrite, Sim::eVxi11Fault::Close, 0, 1}); // the second chunk
        break;
    case eFault::Deaf: // more than the socket buffers hold
        request.data.assign(std::string(64 << 20, 'x').data(), 64 << 20);
        request.iTimeout = 300;
        break;
    case eFault::Abandoned: { // the answer owed is left behind on a new connection, which is refused
        const int iTaken = accept(iDeaf, nullptr, nullptr);
        Instrument::RequestAbort(instance.pTransport->AbortId());
        SendRequest(instance, WindowNobody, sError);
        close(std::exchange(iDeaf, iTaken));
        break;
    }
    case eFault::StalledInChain:
        request.sCommand = "*OPC?;SIMulate:ECHO? again";
        pScpi->SetSeparateAnswers(-1);
        [[fallthrough]];
    case eFault::Stalled:
        request.iRequestSize = 4;
        // An I/O timeout of the read after the first part.
        vxi.AddFault({Sim::Vxi11DeviceRead, Sim::eVxi11Fault::DeviceError, 15, row.eFaultOf == eFault::Stalled ? 1 : 2});
        if (pUsb) {
            pUsb->SetMaxPayload(4);
            pUsb->SetBulkInHook([p = pUsb.get(), iFirst = pUsb->BulkInReads() + 1](int iRead) {
                if (iRead != iFirst) return;
                p->PushBulkInError(LIBUSB_ERROR_TIMEOUT);
                p->PushBulkInError(LIBUSB_ERROR_PIPE); // the abort's read
            });
        }
        [[fallthrough]];
    case eFault::Silent: // the request's time-out, and VXI-11's from the preferences of now
        if (row.eFaultOf == eFault::Silent) pScpi->SwallowAnswers(1);
        request.iTimeout = 300;
        SetVxi11(300);
    }
    const bool fAnswered = SendRequest(instance, pRecorder->Window(), sError);
    SetVxi11(iVxi11);
    for (const auto& call : vxi.Calls()) {
        if (call.iProcedure == Sim::Vxi11DeviceRead) {
            EXPECT_EQ(call.iIoTimeout, row.eFaultOf == eFault::Silent || row.eFaultOf >= eFault::Stalled ? 300 : iVxi11);
        }
    }
    std::remove(sLink.c_str());
    close(iDeaf);
    EventHub::Pump();
    std::string sShown, sReason, sExpected = row.pReason;
    for (const auto& event : pRecorder->Transfers()) {
        uEventData record;
        if (event.iType == TransferStatus::TransferSendError || event.iType == TransferStatus::TransferReceiveError) {
            Utility::EventDataTake(std::to_string(TransferStatus::Data(event)), record);
            sShown += record.sText;
            sReason += Instrument::ExchangeFailureReason(c, record.failure, 300);
            if (const std::size_t iMs = sExpected.find("{ms}"); iMs != std::string::npos) {
                sExpected.replace(iMs, 4, std::to_string(record.failure.iReadMs));
                EXPECT_GE(record.failure.iReadMs, 300); // the read waited its time-out at least
            }
            // The window chooses its reason from the kind in the record.
            EXPECT_EQ(Failure::Name(record.failure.eType), std::string(Failure::Name(row.eExpected)));
        }
    }
    EXPECT_EQ(Failure::Name(request.failure.eType), std::string(Failure::Name(row.eExpected))) << sError;
    EXPECT_EQ(request.failure.iSent > 0, row.fSentSome) << request.failure.iSent;
    EXPECT_EQ(fAnswered, row.fAnswered) << sError;
    EXPECT_EQ(row.pShown[0] ? sShown.substr(0, std::string(row.pShown).size()) : sShown, row.pShown);
    EXPECT_EQ(sReason.substr(0, row.pReason[0] ? sExpected.size() : std::string::npos), sExpected);
}

const char* const cNotSent =
    "Error while sending the data. - InstrumentDefault::SendRequest: The instrument is not "
    "connected. - ";
const char* const cSent = "Error while sending the data. - ";
const char* const cNotRead = "Error while receiving the data. - ";
const char* const cSilent =
    "Error while receiving the data. - RawTcp::SocketRead: Die Wartezeit für das Empfangen "
    "wurde überschritten.";
const char* const cCut =
    "Error while sending the data. - Lxi::SocketRead: Die Netzwerkverbindung wurde unterbrochen.";
const char* const cRefused =
    "The instrument could not be connected: The instrument at 127.0.0.1 refused the connection on port ";
const char* const cNoAnswer = "The instrument did not answer within 300 ms.";
const char* const cCutShown = "Error while receiving the data. - The time-out (300 ms) cut the answer after 4 bytes. ";
const char* const cCutAnswer = "The time-out (300 ms) cut the answer after 4 bytes.";
const char* const cCutVxi11 = "The time-out (300 ms) cut the answer after 4 bytes. None of them is handed on; the read "
                              "waited {ms} ms in all.";
const char* const cCutInChainShown = "Error while receiving the data. - The time-out (300 ms) cut the answer after 6 bytes, "
                                     "answers received / expected: 1 / 2. ";
const char* const cCutInChain = "The time-out (300 ms) cut the answer after 6 bytes, answers received / expected: 1 / 2. "
                                "The 4 bytes of the message it cut are not handed on; the read waited {ms} ms in all.";
const char* const cDropped = Instrument::DroppedText;
constexpr eDoor Raw = eDoor::RawTcp, Ser = eDoor::Serial, Vxi = eDoor::Vxi11, Usb1 = eDoor::Usb1,
                Usb0 = eDoor::Usb0;

INSTANTIATE_TEST_SUITE_P(
    Doors, FailureRecordTest,
    ::testing::Values(
        uRow{"RawTcpRefused", Raw, eFault::Gone, eKind::NotConnected, false, false, cNotSent, cRefused},
        uRow{"RawTcpResetBeforeTheWrite", Raw, eFault::Restarted, eKind::None, false, true, "", ""},
        uRow{"RawTcpTimeOut", Raw, eFault::Silent, eKind::TimedOut, true, false, cSilent, cNoAnswer},
        uRow{"RawTcpRenewalRefused", Raw, eFault::Abandoned, eKind::NotConnected, false, false, cNotSent,
             cRefused},
        uRow{"RawTcpNotTaken", Raw, eFault::Deaf, eKind::TimedOut, true, false,
             "Error while sending the data. - RawTcp::SocketWrite: Die Wartezeit für das Senden wurde überschritten.",
             "The instrument did not take the data within 300 ms."},
        uRow{"SerialClosedBeforeTheWrite", Ser, eFault::Restarted, eKind::None, false, true, "", ""},
        uRow{"SerialTimeOut", Ser, eFault::Silent, eKind::TimedOut, true, false, cNotRead, cNoAnswer},
        uRow{"Vxi11ResetBeforeTheWrite", Vxi, eFault::Restarted, eKind::None, false, true, "", ""},
        uRow{"Vxi11ResetAfterPartOfABlock", Vxi, eFault::Cut, eKind::GoneAfter, true, false, cCut, cDropped},
        uRow{"Vxi11TimeOut", Vxi, eFault::Silent, eKind::TimedOut, true, false, cNotRead, cNoAnswer},
        uRow{"Vxi11CutBetweenTwoReads", Vxi, eFault::Stalled, eKind::TimedOut, true, false, cCutShown, cCutVxi11},
        uRow{"Vxi11CutAfterAWholeAnswer", Vxi, eFault::StalledInChain, eKind::TimedOut, true, false, cCutInChainShown,
             cCutInChain},
        uRow{"Usb1UnplugBefore", Usb1, eFault::Restarted, eKind::None, false, true, "", ""},
        uRow{"Usb1UnplugUnderTheFirst", Usb1, eFault::Cut, eKind::GoneAfter, true, false, cSent, cDropped},
        uRow{"Usb1CutBetweenTwoReads", Usb1, eFault::Stalled, eKind::TimedOut, true, false, cCutShown, cCutAnswer},
        uRow{"Usb0UnplugBefore", Usb0, eFault::Restarted, eKind::None, false, true, "", ""},
        uRow{"Usb0UnplugUnderTheFirst", Usb0, eFault::Cut, eKind::GoneAfter, true, false, cSent, cDropped},
        uRow{"Usb0CutBetweenTwoReads", Usb0, eFault::Stalled, eKind::TimedOut, true, false, cCutShown, cCutAnswer}),
    [](const auto& info) { return std::string(info.param.pName); });

} // namespace
