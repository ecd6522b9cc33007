// The VXI-11 transport against the rpcgen test instrument (libtirpc), registered with a real
// rpcbind inside a private network namespace where one can be made; and against scripted
// loopback peers for replies the instrument would never send.
#include "common/TestApplication.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "sim/Loopback.h"
#include "sim/NetNamespace.h"
#include "sim/Vxi11Server.h"
#include "transport/AbortRequests.h"
#include "transport/Lxi.h"
#include "transport/TransferStatus.h"

#include <QCoreApplication>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <map>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;
constexpr int Window = 4711;

double ThreadCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

class LxiTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        TestApplication::EnsureCore();
        // Keep the instrument on a loopback of its own where the machine allows it.
        std::string sWhy;
        fPrivateNetwork = Sim::EnterPrivateNetwork(sWhy);
    }

    void SetUp() override {
        EventHub::Init();
        EventHub::Bind(EventTransferStatus, Window, [this](const EventHub::uEvent& e) {
            mEvents.push_back({static_cast<int>(e.iType), TransferStatus::Data(e), e.iObject});
        });
    }

    void TearDown() override {
        std::string sError;
        if (pInstance) Lxi::DeleteInstance(*pInstance, sError);
        mServer.Stop();
    }

    // Starts the instrument and connects a transport instance to it directly (no portmapper).
    void StartAndConnect(Sim::Vxi11Server::uConfig config = {}, std::int64_t iTimeout = 2000) {
        std::string sError;
        ASSERT_TRUE(mServer.Start(config, sError)) << sError;
        Connect(iTimeout);
    }
    // A new instance, connected to the instrument.
    void Connect(std::int64_t iTimeout) {
        std::string sError;
        if (pInstance) Lxi::DeleteInstance(*pInstance, sError);
        pInstance = Lxi::NewInstance(sError);
        ASSERT_TRUE(pInstance);
        uNetworkSettings settings;
        settings.sAdapterIp = "127.0.0.1";
        settings.sInstrumentIp = "127.0.0.1";
        settings.iPort = mServer.Port();
        settings.iTimeout = iTimeout;
        ASSERT_TRUE(Lxi::SetInstrument(*pInstance, settings, sError)) << sError;
        ASSERT_TRUE(Lxi::Connect(*pInstance, sError)) << sError;
    }

    // One SCPI exchange as the instrument core runs it.
    bool Exchange(const std::string& sCommand, DataBuffer& answer, std::string& sError, bool fRead = true) {
        std::size_t sent = 0;
        if (!Lxi::PrepareData(*pInstance, sCommand, nullptr, 0, sError)) return false;
        if (!Lxi::CreateLink(*pInstance, sError)) return false;
        bool ok = Lxi::SendData(*pInstance, sent, Window, sError) && sent == sCommand.size();
        if (ok && fRead) ok = Lxi::RequestData(*pInstance, answer, Window, sError);
        std::string sIgnored;
        Lxi::DestroyLink(*pInstance, sIgnored);
        return ok;
    }

    std::vector<Sim::uVxi11Call> CallsOf(int iProcedure) {
        std::vector<Sim::uVxi11Call> out;
        for (const auto& c : mServer.Calls()) {
            if (c.iProcedure == iProcedure) out.push_back(c);
        }
        return out;
    }

    struct uSeen {
        int iType;
        std::int64_t iData;
        std::intptr_t iObject;
    };
    static inline bool fPrivateNetwork = false;
    Sim::Vxi11Server mServer;
    std::shared_ptr<Lxi::uLxiInstance> pInstance;
    std::vector<uSeen> mEvents;
};

TEST_F(LxiTest, AsksRpcbindForTheCorePort) {
    std::string sWhy;
    if (!fPrivateNetwork) GTEST_SKIP() << "no private network namespace here: rpcbind is not started";
    Sim::Rpcbind rpcbind;
    if (!rpcbind.Start(sWhy)) GTEST_SKIP() << sWhy;
    Sim::Vxi11Server::uConfig config;
    config.fRegister = true;
    std::string sError;
    ASSERT_TRUE(mServer.Start(config, sError)) << sError;

    pInstance = Lxi::NewInstance(sError);
    uNetworkSettings settings{0, "127.0.0.1", "127.0.0.1", 111, 2000};
    ASSERT_TRUE(Lxi::SetInstrument(*pInstance, settings, sError));
    EXPECT_EQ(Lxi::GetTcpRpcPort(*pInstance, sError), mServer.Port()) << sError;
    EXPECT_EQ(pInstance->mSettings.iConnection, 0); // its own connection is closed again

    // The core channel's port then serves an exchange.
    settings.iPort = mServer.Port();
    ASSERT_TRUE(Lxi::SetInstrument(*pInstance, settings, sError));
    ASSERT_TRUE(Lxi::Connect(*pInstance, sError));
    DataBuffer answer;
    ASSERT_TRUE(Exchange("*IDN?", answer, sError)) << sError;
    EXPECT_EQ(answer.view(), mServer.Device().Idn() + "\n");
}

TEST_F(LxiTest, IdentifiesTheInstrumentOverOneLink) {
    StartAndConnect({}, 1500);
    mServer.Device().SetIdn("Rigol Technologies,DS1054Z,DS1ZA000000001,00.04.04");
    std::string sError;
    DataBuffer answer;
    ASSERT_TRUE(Exchange("*IDN?", answer, sError)) << sError;
    EXPECT_EQ(answer.view(), "Rigol Technologies,DS1054Z,DS1ZA000000001,00.04.04\n");
    EXPECT_EQ(answer.size(), 51u);

    const auto link = CallsOf(Sim::Vxi11CreateLink);
    ASSERT_EQ(link.size(), 1u);
    EXPECT_EQ(link[0].sDevice, "inst0");
    // The configured time-out is what the instrument is told to wait.
    for (const auto& c : CallsOf(Sim::Vxi11DeviceWrite)) EXPECT_EQ(c.iIoTimeout, 1500u);
    for (const auto& c : CallsOf(Sim::Vxi11DeviceRead)) EXPECT_EQ(c.iIoTimeout, 1500u);
    EXPECT_EQ(mServer.OpenLinks(), 0u);
    EXPECT_EQ(pInstance->mRpc.iLid, 0);

    // Remote and local on a link of their own.
    ASSERT_TRUE(Lxi::CreateLink(*pInstance, sError));
    ASSERT_TRUE(Lxi::DeviceRemote(*pInstance, sError)) << sError;
    EXPECT_TRUE(mServer.Device().IsRemote());
    ASSERT_TRUE(Lxi::DeviceLocal(*pInstance, sError)) << sError;
    EXPECT_FALSE(mServer.Device().IsRemote());
    ASSERT_TRUE(Lxi::DestroyLink(*pInstance, sError));
    // A second destroy names a link the instrument no longer knows.
    pInstance->mRpc.iLid = 1;
    EXPECT_FALSE(Lxi::DestroyLink(*pInstance, sError));
    EXPECT_EQ(sError, "RpcVxi::CheckVxiDataErrorCode: Die VXI-Daten wurden mit einem Fehlercode empfangen. "
                      "iErrorCode = Invalid Link Identifier");
    EXPECT_EQ(pInstance->mRpc.iLid, 0);
    // Every call on a link waits for a lock that another link holds instead of failing at once.
    for (const auto& c : mServer.Calls()) {
        if (c.iProcedure == Sim::Vxi11CreateLink || c.iProcedure == Sim::Vxi11DestroyLink) continue;
        EXPECT_EQ(c.iFlags & RpcVxi::FlagWaitLock, RpcVxi::FlagWaitLock) << c.iProcedure;
    }
}

TEST_F(LxiTest, WritesInChunksOfMaxRecvSizeWithEndOnTheLastOnly) {
    Sim::Vxi11Server::uConfig config;
    config.iMaxRecvSize = 4;
    StartAndConnect(config);
    std::string sError;
    DataBuffer answer;

    ASSERT_TRUE(Exchange("*RST;*OPC?", answer, sError)) << sError; // 10 bytes
    EXPECT_EQ(answer.view(), "1\n");
    auto writes = CallsOf(Sim::Vxi11DeviceWrite);
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[0].iSize, 4u);
    EXPECT_EQ(writes[1].iSize, 4u);
    EXPECT_EQ(writes[2].iSize, 2u);
    EXPECT_EQ(writes[0].iFlags & 8u, 0u);
    EXPECT_EQ(writes[1].iFlags & 8u, 0u);
    EXPECT_EQ(writes[2].iFlags & 8u, 8u);

    // A message that fills its chunks exactly ends with END on its last full chunk.
    mServer.ClearCalls();
    ASSERT_TRUE(Exchange("*OPC?   ", answer, sError)) << sError; // 8 bytes
    EXPECT_EQ(answer.view(), "1\n");
    writes = CallsOf(Sim::Vxi11DeviceWrite);
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[1].iSize, 4u);
    EXPECT_EQ(writes[1].iFlags & 8u, 8u);

    // Progress of a write: type 4 each time another progress step went out.
    pInstance->iProgressStep = 8;
    mServer.SetMaxRecvSize(4);
    mEvents.clear();
    std::size_t sent = 0;
    ASSERT_TRUE(Lxi::PrepareData(*pInstance, "SIM:ECHO? ", reinterpret_cast<const std::uint8_t*>("0123456789"), 10,
                                 sError));
    ASSERT_TRUE(Lxi::CreateLink(*pInstance, sError));
    ASSERT_TRUE(Lxi::SendData(*pInstance, sent, Window, sError)) << sError;
    EXPECT_EQ(sent, 20u);
    ASSERT_TRUE(Lxi::RequestData(*pInstance, answer, Window, sError)) << sError;
    EXPECT_EQ(answer.view(), "0123456789\n");
    EventHub::Pump();
    ASSERT_EQ(mEvents.size(), 3u);
    EXPECT_EQ(mEvents[0].iType, TransferStatus::TransferSending);
    EXPECT_EQ(mEvents[0].iData, 8);
    EXPECT_EQ(mEvents[0].iObject, reinterpret_cast<std::intptr_t>(pInstance.get()));
    EXPECT_EQ(mEvents[1].iType, TransferStatus::TransferSending);
    EXPECT_EQ(mEvents[1].iData, 16);
    EXPECT_EQ(mEvents[2].iType, TransferStatus::TransferReceiving); // the 11-byte answer passes the step too
    EXPECT_EQ(mEvents[2].iData, 11);
}

TEST_F(LxiTest, ReadsALargeBlockInSeveralRepliesWithProgressEveryStep) {
    StartAndConnect();
    std::string sError;
    Lxi::SetRequestSize(*pInstance, 102400);
    DataBuffer answer;
    ASSERT_TRUE(Exchange("SIM:BLOCK? 3000000", answer, sError)) << sError;
    ASSERT_EQ(answer.size(), 3000010u);
    EXPECT_EQ(std::string(answer.view().substr(0, 9)), "#73000000");
    for (std::size_t i = 0; i < 3000000; i += 997) ASSERT_EQ(answer[9 + i], Sim::ScpiDevice::PatternByte(i)) << i;
    EXPECT_EQ(answer[3000009], '\n');

    const auto reads = CallsOf(Sim::Vxi11DeviceRead);
    ASSERT_EQ(reads.size(), 30u);
    EXPECT_EQ(reads[0].iReason, 1);  // REQCNT
    EXPECT_EQ(reads[29].iReason, 4); // END

    EventHub::Pump();
    ASSERT_EQ(mEvents.size(), 29u); // the last partial step posts nothing
    for (std::size_t k = 0; k < mEvents.size(); ++k) {
        EXPECT_EQ(mEvents[k].iType, TransferStatus::TransferReceiving);
        EXPECT_EQ(mEvents[k].iData, static_cast<std::int64_t>((k + 1) * 102400));
        EXPECT_EQ(mEvents[k].iObject, reinterpret_cast<std::intptr_t>(pInstance.get()));
    }

    // 2 MiB requests: the same data in two replies.
    Lxi::SetRequestSize(*pInstance, 0);
    EXPECT_EQ(pInstance->mRpc.iRequestSize, 2097152u);
    mServer.ClearCalls();
    ASSERT_TRUE(Exchange("SIM:BLOCK? 3000000", answer, sError)) << sError;
    EXPECT_EQ(answer.size(), 3000010u);
    EXPECT_EQ(CallsOf(Sim::Vxi11DeviceRead).size(), 2u);
}

TEST_F(LxiTest, JoinsRepliesSplitIntoManyFragments) {
    Sim::Vxi11Server::uConfig config;
    config.iFragmentSize = 1000; // libtirpc then sends every reply in fragments of about 1000 bytes
    StartAndConnect(config);
    std::string sError;
    Lxi::SetRequestSize(*pInstance, 0);
    DataBuffer answer;
    ASSERT_TRUE(Exchange("SIM:BLOCK? 250000", answer, sError)) << sError;
    ASSERT_EQ(answer.size(), 250009u);
    for (std::size_t i = 0; i < 250000; ++i) ASSERT_EQ(answer[8 + i], Sim::ScpiDevice::PatternByte(i)) << i;
}

TEST_F(LxiTest, ProgressFollowsTheStepRuleAndNobodyGetsNothing) {
    StartAndConnect();
    std::string sError;
    Bytes canned(119999, 'x');
    canned.push_back('\n');
    mServer.Device().SetAnswer("DATA?", canned);

    Lxi::SetRequestSize(*pInstance, 60000);
    DataBuffer answer;
    ASSERT_TRUE(Exchange("DATA?", answer, sError)) << sError;
    EXPECT_EQ(answer.size(), 120000u);
    EventHub::Pump();
    ASSERT_EQ(mEvents.size(), 1u); // two passes of 60000: one event after the second
    EXPECT_EQ(mEvents[0].iData, 120000);

    mEvents.clear();
    Lxi::SetRequestSize(*pInstance, 0);
    ASSERT_TRUE(Lxi::CreateLink(*pInstance, sError));
    std::size_t sent = 0;
    ASSERT_TRUE(Lxi::PrepareData(*pInstance, "DATA?", nullptr, 0, sError));
    ASSERT_TRUE(Lxi::SendData(*pInstance, sent, WindowNobody, sError));
    ASSERT_TRUE(Lxi::RequestData(*pInstance, answer, WindowNobody, sError));
    EXPECT_EQ(answer.size(), 120000u);
    EventHub::Pump();
    EXPECT_TRUE(mEvents.empty());
}

TEST_F(LxiTest, TermCharEndsTheRead) {
    StartAndConnect();
    std::string sError;
    mServer.Device().SetAnswer("LINES?", Bytes{'a', '\n', 'b', '\n'});
    Lxi::SetTermChar(*pInstance, '\n', true);
    DataBuffer answer;
    ASSERT_TRUE(Exchange("LINES?", answer, sError)) << sError;
    EXPECT_EQ(answer.view(), "a\n");
    const auto reads = CallsOf(Sim::Vxi11DeviceRead);
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].iReason, 2); // CHR
    EXPECT_EQ(reads[0].iTermChar, '\n');
    EXPECT_EQ(reads[0].iFlags & 0x80u, 0x80u);
    Lxi::SetTermChar(*pInstance, '\n', false);
    EXPECT_EQ(pInstance->mRpc.iFlags & 0x80u, 0u);
}

TEST_F(LxiTest, ReportsTheInstrumentsErrors) {
    StartAndConnect();
    std::string sError;
    DataBuffer answer;
    mServer.AddFault({Sim::Vxi11DeviceWrite, Sim::eVxi11Fault::DeviceError, 17});
    EXPECT_FALSE(Exchange("*IDN?", answer, sError));
    EXPECT_EQ(sError, "RpcVxi::CheckVxiDataErrorCode: Die VXI-Daten wurden mit einem Fehlercode empfangen. "
                      "iErrorCode = IO Error");

    mServer.AddFault({Sim::Vxi11DeviceRead, Sim::eVxi11Fault::DeviceError, 11});
    EXPECT_FALSE(Exchange("*IDN?", answer, sError));
    EXPECT_EQ(sError, "RpcVxi::CheckVxiDataErrorCode: Die VXI-Daten wurden mit einem Fehlercode empfangen. "
                      "iErrorCode = Device Locked By Another Link");

    mServer.AddFault({Sim::Vxi11CreateLink, Sim::eVxi11Fault::DeviceError, 3});
    EXPECT_FALSE(Lxi::CreateLink(*pInstance, sError));
    EXPECT_EQ(pInstance->mRpc.iMaxRecvSize, 0u);
    std::size_t sent = 0;
    EXPECT_FALSE(Lxi::SendData(*pInstance, sent, Window, sError));

    // The connection is still good.
    mServer.Device().Clear();
    ASSERT_TRUE(Exchange("*OPC?", answer, sError)) << sError;
    EXPECT_EQ(answer.view(), "1\n");
}

TEST_F(LxiTest, AnAbortStopsBetweenChunksAndBetweenReads) {
    Sim::Vxi11Server::uConfig config;
    config.iMaxRecvSize = 4;
    StartAndConnect(config);
    std::string sError;
    std::size_t sent = 0;
    ASSERT_TRUE(Lxi::PrepareData(*pInstance, "*RST;*OPC?", nullptr, 0, sError));
    ASSERT_TRUE(Lxi::CreateLink(*pInstance, sError));
    std::thread([p = pInstance.get()] { Instrument::RequestAbort(p); }).join();
    EXPECT_FALSE(Lxi::SendData(*pInstance, sent, Window, sError));
    EXPECT_EQ(sError, "Lxi::SendData: The communication was terminated by instruction.");
    EXPECT_EQ(sent, 4u);
    EXPECT_EQ(CallsOf(Sim::Vxi11DeviceWrite).size(), 1u);
    EXPECT_FALSE(Instrument::TakeAbortRequest(pInstance.get())); // consumed

    mServer.Device().Clear();
    mServer.Device().Write("SIM:BLOCK? 1000\n");
    Lxi::SetRequestSize(*pInstance, 100);
    Instrument::RequestAbort(pInstance.get());
    DataBuffer answer;
    EXPECT_FALSE(Lxi::RequestData(*pInstance, answer, Window, sError));
    EXPECT_EQ(sError, "Lxi::RequestData: The communication was terminated by instruction.");
    EXPECT_EQ(CallsOf(Sim::Vxi11DeviceRead).size(), 1u);
}

TEST_F(LxiTest, APeerThatClosesMidReadFailsAtOnceAndTheNextExchangeWorks) {
    StartAndConnect({}, 10000);
    std::string sError;
    Lxi::SetRequestSize(*pInstance, 1000);
    mServer.AddFault({Sim::Vxi11DeviceRead, Sim::eVxi11Fault::Close, 0, 2});
    DataBuffer answer;
    const auto start = Clock::now();
    EXPECT_FALSE(Exchange("SIM:BLOCK? 10000", answer, sError));
    EXPECT_EQ(sError, "Lxi::SocketRead: Die Netzwerkverbindung wurde unterbrochen.");
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10)); // not the time-out
    EXPECT_EQ(CallsOf(Sim::Vxi11DeviceRead).size(), 3u);
    EXPECT_EQ(pInstance->mSettings.iConnection, 1); // reconnected

    mServer.Device().Clear();
    ASSERT_TRUE(Exchange("*IDN?", answer, sError)) << sError;
    EXPECT_EQ(answer.view(), mServer.Device().Idn() + "\n");
}

// Every destroy_link went out on the connection whose create_link made the link.
void ExpectLinksDestroyedWhereMade(const std::vector<Sim::uVxi11Call>& calls) {
    std::map<std::int32_t, int> made;
    for (const auto& c : calls) {
        if (c.iProcedure == Sim::Vxi11CreateLink && c.iError == 0) made[c.iLid] = c.iConnection;
        if (c.iProcedure != Sim::Vxi11DestroyLink) continue;
        ASSERT_EQ(made.count(c.iLid), 1u) << "destroy_link for link " << c.iLid << " that was never made";
        EXPECT_EQ(c.iConnection, made[c.iLid]) << "destroy_link for link " << c.iLid << " on another connection";
    }
}

TEST_F(LxiTest, APeerThatFailsMidReadCostsOneReplyWaitAndItsLinkIsNotDestroyedElsewhere) {
    StartAndConnect({}, 300);
    pInstance->mRpc.iLockTimeout = 100;
    const auto replyWait = std::chrono::milliseconds(300 + 100 + Lxi::ReplyMarginMs);
    const struct {
        const char* pName;
        Sim::eVxi11Fault eKind;
        int iBytes; // of the reply sent before the fault
        const char* pText;
        bool fWaits; // the failure shows only by the reply wait
    } cases[] = {
        {"frozen after part of the reply", Sim::eVxi11Fault::Stall, 6000,
         "Lxi::SocketRead: Die Wartezeit für das Empfangen wurde überschritten.", true},
        {"silent", Sim::eVxi11Fault::NoReply, 0, "Lxi::SocketRead: Die Wartezeit für das Empfangen wurde überschritten.",
         true},
        {"closed after part of the reply", Sim::eVxi11Fault::Close, 6000,
         "Lxi::SocketRead: Die Netzwerkverbindung wurde unterbrochen.", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pName);
        mServer.ClearCalls();
        mServer.Device().Clear();
        Lxi::SetRequestSize(*pInstance, 4096);
        // The second read of a long answer fails: the link has carried data by then.
        mServer.AddFault({Sim::Vxi11DeviceRead, c.eKind, c.iBytes, 1});
        std::string sError;
        DataBuffer answer;
        const auto start = Clock::now();
        EXPECT_FALSE(Exchange("SIM:BLOCK? 100000", answer, sError));
        const auto waited = Clock::now() - start;
        EXPECT_EQ(sError, c.pText);
        EXPECT_LT(waited, replyWait * 3 / 2); // one reply wait, not two
        if (c.fWaits) EXPECT_GE(waited, replyWait);
        EXPECT_TRUE(CallsOf(Sim::Vxi11DestroyLink).empty()); // the link went with its connection
        ExpectLinksDestroyedWhereMade(mServer.Calls());
        EXPECT_EQ(pInstance->mRpc.iLid, 0);

        // The connection was made afresh: the next exchange runs on a new link.
        mServer.Device().Clear();
        ASSERT_TRUE(Exchange("*OPC?", answer, sError)) << sError;
        EXPECT_EQ(answer.view(), "1\n");
        EXPECT_EQ(CallsOf(Sim::Vxi11DestroyLink).size(), 1u);
        ExpectLinksDestroyedWhereMade(mServer.Calls());
    }
}

TEST_F(LxiTest, AReconnectThatIsRefusedKeepsItsReasonForTheNextCall) {
    StartAndConnect({}, 2000);
    std::string sError;
    DataBuffer answer;
    ASSERT_TRUE(Exchange("*OPC?", answer, sError)) << sError; // the server has taken the connection
    mServer.ClearCalls();
    mServer.AddFault({Sim::Vxi11DeviceRead, Sim::eVxi11Fault::Close, 100});
    mServer.RefuseConnections(); // the instrument's server stops taking connections
    EXPECT_FALSE(Exchange("*IDN?", answer, sError));
    EXPECT_EQ(sError, "Lxi::SocketRead: Die Netzwerkverbindung wurde unterbrochen.");
    EXPECT_EQ(pInstance->mSettings.iConnection, 0);
    EXPECT_TRUE(CallsOf(Sim::Vxi11DestroyLink).empty());

    const std::string sRefused = "Lxi::Connect: The network connection could not be created. Network adapter: "
                                 "127.0.0.1 Instrument: 127.0.0.1:" +
                                 std::to_string(mServer.Port()) + " - TcpSocket::Connect: Connection refused. Code = 111";
    EXPECT_FALSE(Exchange("*IDN?", answer, sError));
    EXPECT_EQ(sError, "Lxi::SocketWrite: Die Netzwerkverbindung ist nicht vorhanden. - " + sRefused);
    // A link that was never made on an open connection is not destroyed: nothing to wait for.
    EXPECT_TRUE(Lxi::DestroyLink(*pInstance, sError));
    EXPECT_EQ(CallsOf(Sim::Vxi11CreateLink).size(), 1u);
}

TEST_F(LxiTest, TimeOuts) {
    StartAndConnect({}, 300);
    pInstance->mRpc.iLockTimeout = 100;
    std::string sError;
    DataBuffer answer;

    // Nothing to answer: the instrument waits its io_timeout and says so.
    EXPECT_FALSE(Exchange("*RST", answer, sError));
    EXPECT_EQ(sError, "RpcVxi::CheckVxiDataErrorCode: Die VXI-Daten wurden mit einem Fehlercode empfangen. "
                      "iErrorCode = IO Time Out");
    EXPECT_EQ(CallsOf(Sim::Vxi11DeviceRead).at(0).iIoTimeout, 300u);

    // An instrument that never replies: the connection's own time-out, without spinning.
    mServer.AddFault({Sim::Vxi11DeviceRead, Sim::eVxi11Fault::NoReply, 0});
    const double cpu = ThreadCpuSeconds();
    const auto start = Clock::now();
    EXPECT_FALSE(Exchange("*IDN?", answer, sError));
    const auto waited = Clock::now() - start;
    EXPECT_EQ(sError, "Lxi::SocketRead: Die Wartezeit für das Empfangen wurde überschritten.");
    EXPECT_GE(waited, std::chrono::milliseconds(300 + 100 + Lxi::ReplyMarginMs));
    EXPECT_LT(ThreadCpuSeconds() - cpu, 0.5 * std::chrono::duration<double>(waited).count());

    // A late reply arrives on the old connection, which is gone: the next exchange gets its own.
    mServer.Device().Clear();
    mServer.AddFault({Sim::Vxi11DeviceRead, Sim::eVxi11Fault::Delay, 2500});
    const std::size_t iReads = CallsOf(Sim::Vxi11DeviceRead).size();
    EXPECT_FALSE(Exchange("*IDN?", answer, sError));
    EXPECT_EQ(sError, "Lxi::SocketRead: Die Wartezeit für das Empfangen wurde überschritten.");
    // The failed exchange ends after one reply wait, while the instrument (one thread) still
    // holds the late call: the next exchange begins once the late reply has gone out.
    for (int i = 0; i < 500 && CallsOf(Sim::Vxi11DeviceRead).size() == iReads; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    mServer.Device().Clear();
    ASSERT_TRUE(Exchange("*OPC?", answer, sError)) << sError;
    EXPECT_EQ(answer.view(), "1\n");
}

// A read that ended without its answer leaves it owed: the next exchange clears the device before
// it writes, so that a late answer is never read as the next one's; one whose answer came does
// not. Another instance owes nothing: its query interrupts the answer left unread.
TEST_F(LxiTest, AnAnswerOwedIsClearedBeforeTheNextMessage) {
    StartAndConnect({}, 300);
    std::string sError;
    DataBuffer answer;
    for (const bool fNewConnection : {false, true}) {
        mServer.AddFault({Sim::Vxi11DeviceRead, Sim::eVxi11Fault::DeviceError, 15});
        EXPECT_FALSE(Exchange("*IDN?", answer, sError));
        if (fNewConnection) Connect(300);
        for (const bool fCleared : {!fNewConnection, false}) {
            mServer.ClearCalls();
            ASSERT_TRUE(Exchange("SIM:ECHO? own", answer, sError)) << sError;
            EXPECT_EQ(answer.view(), "own\n");
            EXPECT_EQ(CallsOf(Sim::Vxi11DeviceClear).size(), fCleared ? 1u : 0u);
            EXPECT_EQ(mServer.Calls().at(fCleared ? 2 : 1).iProcedure, Sim::Vxi11DeviceWrite);
        }
    }
}

// A loopback peer that answers each call with a script of raw bytes built from the call's xid.
class ScriptedPeer {
  public:
    using Script = std::function<void(int iFd, std::uint32_t iXId)>;
    explicit ScriptedPeer(Script script) : mScript(std::move(script)), iPort(mListener.Port()) {
        mThread = std::thread([this] {
            const int fd = accept(mListener.Fd(), nullptr, nullptr);
            if (fd < 0) return;
            iConnection = fd;
            for (;;) {
                std::uint8_t head[4];
                if (recv(fd, head, 4, MSG_WAITALL) != 4) break;
                const std::uint32_t length = ((head[0] & 0x7Fu) << 24) | (head[1] << 16) | (head[2] << 8) | head[3];
                Bytes call(length);
                if (recv(fd, call.data(), length, MSG_WAITALL) != static_cast<ssize_t>(length)) break;
                mScript(fd, (std::uint32_t(call[0]) << 24) | (call[1] << 16) | (call[2] << 8) | call[3]);
            }
            close(fd);
        });
    }
    ~ScriptedPeer() {
        if (iConnection >= 0) shutdown(iConnection, SHUT_RDWR);
        mListener.Close();
        mThread.join();
    }

  private:
    Script mScript;
    Sim::LoopbackListener mListener;

  public:
    const int iPort;

  private:
    std::atomic<int> iConnection{-1};
    std::thread mThread;
};

void Put(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (24 - 8 * i)));
}

// An accepted reply carrying one Device_Error word, without record mark.
Bytes ErrorReply(std::uint32_t xid, std::uint32_t error) {
    Bytes b;
    for (std::uint32_t w : {xid, 1u, 0u, 0u, 0u, 0u, error}) Put(b, w);
    return b;
}

void SendAll(int fd, const Bytes& b) { ASSERT_EQ(send(fd, b.data(), b.size(), MSG_NOSIGNAL), static_cast<ssize_t>(b.size())); }

std::shared_ptr<Lxi::uLxiInstance> ConnectTo(int iPort, std::string& sError) {
    auto instance = Lxi::NewInstance(sError);
    uNetworkSettings settings{0, "127.0.0.1", "127.0.0.1", iPort, 2000};
    EXPECT_TRUE(Lxi::SetInstrument(*instance, settings, sError));
    EXPECT_TRUE(Lxi::Connect(*instance, sError)) << sError;
    return instance;
}

TEST(LxiRecordMarkingTest, SkipsStaleRepliesAndJoinsFragmentsSplitAcrossReceptions) {
    ScriptedPeer peer([](int fd, std::uint32_t xid) {
        // A late reply to an earlier call, then the real one in three fragments, the second
        // fragment's header arriving in two pieces.
        Bytes stale = ErrorReply(xid - 1, 23);
        Bytes mark;
        Put(mark, 0x80000000u | static_cast<std::uint32_t>(stale.size()));
        SendAll(fd, mark);
        SendAll(fd, stale);
        const Bytes reply = ErrorReply(xid, 0); // 28 bytes
        Bytes part;
        Put(part, 10);
        part.insert(part.end(), reply.begin(), reply.begin() + 10);
        Put(part, 8);
        SendAll(fd, Bytes(part.begin(), part.end() - 2));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        Bytes rest(part.end() - 2, part.end());
        rest.insert(rest.end(), reply.begin() + 10, reply.begin() + 18);
        Put(rest, 0x80000000u | 10);
        rest.insert(rest.end(), reply.begin() + 18, reply.end());
        SendAll(fd, rest);
    });
    std::string sError;
    auto instance = ConnectTo(peer.iPort, sError);
    instance->mRpc.iXId = 40;
    instance->mRpc.iLid = 1;
    ASSERT_TRUE(Lxi::DeviceRemote(*instance, sError)) << sError;
    EXPECT_EQ(instance->mRpc.iRpcDataReplySize, 32u);
    EXPECT_EQ(instance->mRpc.pRpcDataReply[0], 0x80);
    EXPECT_EQ(instance->mRpc.pRpcDataReply[3], 32); // 4 + 10 + 8 + 10
    Lxi::DeleteInstance(*instance, sError);
}

// A device_read reply without record mark: the verifier body, error, reason, length word,
// then the data (the length word may lie) with its padding.
Bytes ReadReply(std::uint32_t xid, const std::string& data, std::uint32_t length, std::uint32_t reason,
                std::uint32_t verifier = 0) {
    Bytes b;
    for (std::uint32_t w : {xid, 1u, 0u, 1u, verifier}) Put(b, w);
    b.insert(b.end(), verifier, 0xAA);
    for (std::uint32_t w : {0u, 0u, reason, length}) Put(b, w);
    b.insert(b.end(), data.begin(), data.end());
    b.insert(b.end(), (4 - data.size() % 4) % 4, 0);
    return b;
}

// Sends a reply as record-marking fragments of at most iFragment bytes.
void SendFragments(int fd, const Bytes& reply, std::size_t iFragment) {
    Bytes out;
    for (std::size_t o = 0; o < reply.size(); o += iFragment) {
        const std::size_t n = std::min(iFragment, reply.size() - o);
        Put(out, static_cast<std::uint32_t>(n) | (o + n == reply.size() ? 0x80000000u : 0u));
        out.insert(out.end(), reply.begin() + static_cast<std::ptrdiff_t>(o),
                   reply.begin() + static_cast<std::ptrdiff_t>(o + n));
    }
    SendAll(fd, out);
}

TEST(LxiRecordMarkingTest, ReadDataGoesToTheAnswerOnlyFromTheRightReply) {
    int call = 0;
    ScriptedPeer peer([&call](int fd, std::uint32_t xid) {
        ++call;
        if (call == 1) {
            // A late reply with data of its own, then the real one with a verifier, its data
            // crossing fragment boundaries.
            SendFragments(fd, ReadReply(xid - 1, "stale data", 10, 4), 1000);
            SendFragments(fd, ReadReply(xid, "fresh answer\n", 13, 4, 8), 7);
        } else {
            // The length word claims 100 bytes; 8 come.
            SendFragments(fd, ReadReply(xid, "shortfal", 100, 4), 1000);
        }
    });
    std::string sError;
    auto instance = ConnectTo(peer.iPort, sError);
    instance->mRpc.iMaxRecvSize = 0x10000;
    instance->mRpc.iLid = 1;
    DataBuffer answer;
    ASSERT_TRUE(Lxi::RequestData(*instance, answer, Window, sError)) << sError;
    EXPECT_EQ(answer.view(), "fresh answer\n");

    EXPECT_FALSE(Lxi::RequestData(*instance, answer, Window, sError));
    EXPECT_EQ(sError, "RpcVxi::GetVxiDeviceReadData: Die angegebene Datenlänge ist größer als die empfangenen Daten. "
                      "iDataLength = 100 - iResultSize = 20");
    EXPECT_TRUE(answer.empty());
    Lxi::DeleteInstance(*instance, sError);
}

TEST(LxiRecordMarkingTest, AFragmentLengthFromTheWireIsNotTrusted) {
    ScriptedPeer peer([](int fd, std::uint32_t) {
        Bytes b;
        Put(b, 0xFFFFFFFFu); // last fragment of 2 GiB - 1 bytes
        Put(b, 1);
        SendAll(fd, b);
    });
    std::string sError;
    auto instance = ConnectTo(peer.iPort, sError);
    instance->mRpc.iLid = 1;
    EXPECT_FALSE(Lxi::DeviceLocal(*instance, sError));
    EXPECT_EQ(sError, "Lxi::SocketRead: Die Antwort ist größer als erwartet. iDataLength = 2147483647");
    EXPECT_LT(instance->mRpc.pRpcDataReply.capacity(), 0x100000u);
    Lxi::DeleteInstance(*instance, sError);
}

TEST(LxiInstanceTest, SettingsConnectAndTheInstanceList) {
    std::string sError;
    const std::size_t live = Lxi::LiveInstances();
    auto instance = Lxi::NewInstance(sError);
    ASSERT_TRUE(instance);
    EXPECT_EQ(Lxi::LiveInstances(), live + 1);
    EXPECT_EQ(instance->iProgressStep, 102400);
    EXPECT_EQ(instance->mRpc.sDevice, "inst0");
    EXPECT_EQ(instance->mRpc.iRequestSize, 1024u);
    EXPECT_EQ(instance->mRpc.iTermChar, 10u);

    EXPECT_FALSE(Lxi::SetInstrument(*instance, {0, "", "10.0.0.2", 111, 1000}, sError));
    EXPECT_EQ(sError, "Lxi::SetInstrument: Die IP-Adresse des Netzwerkadapters ist leer.");
    EXPECT_FALSE(Lxi::SetInstrument(*instance, {0, "127.0.0.1", "", 111, 1000}, sError));
    EXPECT_EQ(sError, "Lxi::SetInstrument: Die IP-Adresse für das Instrument ist leer.");
    EXPECT_FALSE(Lxi::SetInstrument(*instance, {0, "127.0.0.1", "127.0.0.1", 0, 1000}, sError));
    EXPECT_EQ(sError, "Lxi::SetInstrument: Der IP-Port für das Instrument ist Null.");

    // A port nobody listens on.
    Sim::LoopbackListener bound(false);
    const int port = bound.Port();
    ASSERT_TRUE(Lxi::SetInstrument(*instance, {0, "127.0.0.1", "127.0.0.1", port, 1000}, sError));
    EXPECT_FALSE(Lxi::Connect(*instance, sError));
    EXPECT_EQ(sError, "Lxi::Connect: The network connection could not be created. Network adapter: 127.0.0.1 "
                      "Instrument: 127.0.0.1:" +
                          std::to_string(port) + " - TcpSocket::Connect: Connection refused. Code = 111");
    EXPECT_FALSE(Lxi::SocketWrite(*instance, sError));
    EXPECT_EQ(sError, "Lxi::SocketWrite: Die Netzwerkverbindung ist nicht vorhanden.");
    EXPECT_FALSE(Lxi::SocketRead(*instance, sError));
    EXPECT_EQ(sError, "Lxi::SocketRead: Die Netzwerkverbindung ist nicht vorhanden.");
    EXPECT_FALSE(Lxi::PrepareData(*instance, "X", nullptr, 3, sError));
    EXPECT_EQ(sError, "Lxi::PrepareData: The pointer to the transferred data is zero.");

    ASSERT_TRUE(Lxi::DeleteInstance(*instance, sError));
    EXPECT_EQ(Lxi::LiveInstances(), live);
    EXPECT_FALSE(Lxi::Destructor(*instance, sError));
    char expected[80];
    std::snprintf(expected, sizeof expected, "%llX",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(instance.get())));
    EXPECT_EQ(sError, std::string("Lxi::Destructor: This instance does not exist. Instance number = $") + expected);
}

} // namespace
