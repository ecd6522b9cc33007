// The VXI-11 door through AddTask and the event hub: the rpcgen instrument over libtirpc, with a
// real rpcbind inside a private network namespace where one can be made (manual instruments ask
// it for the core port), and the local adapter chosen among veth adapters of that namespace.
#include "InstrumentTestSupport.h"
#include "app/Main.h"
#include "platform/ProgramEvents.h"
#include "sim/Loopback.h"
#include "sim/NetNamespace.h"
#include "sim/Vxi11Server.h"
#include "transport/InterfaceDefaults.h"
#include "transport/Lxi.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

using TestSupport::Add;
using TestSupport::Answer;
using TestSupport::Command;
using TestSupport::EventRecorder;

namespace {

class LxiConnectionTest : public TestSupport::TaskTest {
  protected:
    static void SetUpTestSuite() {
        TestSupport::StartEventHub();
        std::string sWhy;
        fPrivateNetwork = Sim::EnterPrivateNetwork(sWhy);
        sNoPrivateNetwork = sWhy;
    }
    void TearDown() override {
        TaskTest::TearDown();
        mServer.Stop();
    }
    void StartServer(bool fRegister = false) {
        Sim::Vxi11Server::uConfig config;
        config.fRegister = fRegister;
        std::string sError;
        ASSERT_TRUE(mServer.Start(config, sError)) << sError;
    }
    // A found instrument (the search gave its core port) or a manual one (maker and model given).
    uTaskPrepare VxiPrepare(std::int64_t iCorePort, bool fManual = false, std::int64_t iPortmapper = 111) {
        uTaskPrepare prepare;
        prepare.head = {InstrumentTaskPrepare, 0, iWindow};
        prepare.eProtocol = prepare.eInterface = InterfaceVxi11;
        prepare.vxi11 = {"127.0.0.1", "127.0.0.1", iPortmapper, iCorePort};
        if (fManual) {
            prepare.fUserModel = 1;
            prepare.sUserManufacturer = "Rigol";
            prepare.sUserModel = "DS1104Z";
        }
        return prepare;
    }
    std::size_t CallsOf(int iProcedure) {
        std::size_t n = 0;
        for (const auto& call : mServer.Calls()) n += call.iProcedure == iProcedure;
        return n;
    }

    static inline bool fPrivateNetwork = false;
    static inline std::string sNoPrivateNetwork;
    Sim::Vxi11Server mServer;
};

TEST_F(LxiConnectionTest, FoundInstrumentConnectsStraightToItsCorePort) {
    StartServer();
    const std::size_t iLive = Lxi::LiveInstances();
    auto object = NewObject();
    TestSupport::RunThroughDoor(*object, VxiPrepare(mServer.Port()), *pRecorder, mServer.Device(), "door\n");
    EXPECT_EQ(Lxi::LiveInstances(), iLive);
    EXPECT_EQ(mServer.OpenLinks(), 0u); // every exchange had a link of its own
    EXPECT_EQ(CallsOf(Sim::Vxi11CreateLink), CallsOf(Sim::Vxi11DestroyLink));
    TestSupport::RunSearchChain(*object, VxiPrepare(mServer.Port()), *pRecorder, mServer.Device());
    EXPECT_EQ(Lxi::LiveInstances(), iLive);
}

TEST_F(LxiConnectionTest, AFoundInstrumentWithoutPortIsRefusedWithoutAskingThePortmapper) {
    auto object = NewObject();
    const std::size_t iLive = Lxi::LiveInstances();
    Add(*object, VxiPrepare(0));
    Add(*object, ConnectTask());
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskError, 1));
    EXPECT_EQ(Errors()[0], "InstrumentDefault::TaskConnect | InstrumentDefault::ConnectVxi: The connection data for the LXI "
                           "instrument could not be transferred. - Lxi::SetInstrument: Der IP-Port für das Instrument ist "
                           "Null.");
    EXPECT_EQ(Lxi::LiveInstances(), iLive);
}

TEST_F(LxiConnectionTest, AManualInstrumentAsksRpcbindOnlyWithoutACorePort) {
    if (!fPrivateNetwork) GTEST_SKIP() << "no private network namespace, so no rpcbind of our own: " << sNoPrivateNetwork;
    auto pRpcbind = std::make_unique<Sim::Rpcbind>();
    std::string sWhy;
    if (!pRpcbind->Start(sWhy)) GTEST_SKIP() << sWhy;
    StartServer(true);
    auto object = NewObject();
    Add(*object, VxiPrepare(0, true));
    Add(*object, ConnectTask());
    Add(*object, Command("*OPC?", iWindow, true));
    Add(*object, DisconnectTask());
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskDisconnect, 1)) << ::testing::PrintToString(Errors());
    EXPECT_EQ(Answer(pRecorder->Tasks(InstrumentTaskScpiCommand)[0]), "1\n");
    uInfo info;
    std::string sError;
    ASSERT_TRUE(object->pInterface->GetInfo(*object, info, sError));
    EXPECT_EQ(info.idn.sIdn, mServer.Device().Idn()); // identified at connect
    EXPECT_EQ(info.connection.eModel, ModelRigolDS1000Z);

    // Without rpcbind: a core port given connects straight to it, none fails.
    pRpcbind.reset();
    Add(*object, VxiPrepare(mServer.Port(), true));
    Add(*object, ConnectTask());
    Add(*object, DisconnectTask());
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskDisconnect, 2)) << ::testing::PrintToString(Errors());
    Add(*object, VxiPrepare(0, true));
    Add(*object, ConnectTask());
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskError, 1));
    const std::string sStart = "InstrumentDefault::TaskConnect | InstrumentDefault::ConnectVxi: The VXI-11 TCP port for the "
                               "LXI instrument could not be determined. - ";
    EXPECT_EQ(Errors()[0].substr(0, sStart.size()), sStart) << Errors()[0];
    EXPECT_FALSE(object->pInterface->IsConnected(*object));
}

TEST_F(LxiConnectionTest, ASilentPortmapperFailsWithItsTextAndLeavesNoInstance) {
    // A short response time-out keeps the wait short.
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const std::string sFolder = folder.path().toStdString() + "/";
    std::ofstream(sFolder + "config.ini") << "[Instrument]\nTimeOutDeviceResponseLxi=100\n";
    Main::SetResourceFolders(sFolder, sFolder);
    Main::OpenConfig();
    Main::ReadInstrumentTimeouts();
    Main::CloseConfig();
    ASSERT_EQ(InterfaceDefaults::Timeout(InterfaceVxi11), 100);

    Sim::LoopbackListener portmapper; // takes connections and never answers: a portmapper that has hung
    ASSERT_NE(portmapper.Port(), 0);
    const std::size_t iLive = Lxi::LiveInstances();
    auto object = NewObject();
    Add(*object, VxiPrepare(0, true, portmapper.Port()));
    Add(*object, ConnectTask());
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskError, 1, 20000));
    EXPECT_EQ(Errors()[0], "InstrumentDefault::TaskConnect | InstrumentDefault::ConnectVxi: The VXI-11 TCP port for the LXI "
                           "instrument could not be determined. - Lxi::SocketRead: Die Wartezeit für das Empfangen wurde "
                           "überschritten.");
    EXPECT_FALSE(object->pInterface->IsConnected(*object));
    EXPECT_EQ(Lxi::LiveInstances(), iLive);
    EXPECT_TRUE(pRecorder->Tasks(InstrumentTaskConnect).empty());
}

TEST_F(LxiConnectionTest, LocalAndRemoteRunOnALinkOfTheirOwnAndReportFailures) {
    StartServer();
    auto object = NewObject();
    Add(*object, VxiPrepare(mServer.Port()));
    Add(*object, ConnectTask());
    Add(*object, uTaskRemote{{InstrumentTaskRemote, 0, iWindow}});
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskRemote, 1));
    EXPECT_TRUE(mServer.Device().IsRemote());
    Add(*object, uTaskLocal{{InstrumentTaskLocal, 0, iWindow}});
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskLocal, 1));
    EXPECT_FALSE(mServer.Device().IsRemote());
    EXPECT_EQ(CallsOf(Sim::Vxi11CreateLink), 2u);
    EXPECT_EQ(mServer.OpenLinks(), 0u);
    EXPECT_TRUE(Errors().empty()) << ::testing::PrintToString(Errors());

    mServer.AddFault({Sim::Vxi11DeviceLocal, Sim::eVxi11Fault::DeviceError, 4});
    Add(*object, uTaskLocal{{InstrumentTaskLocal, 0, iWindow}});
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskLocal, 2));
    ASSERT_EQ(Errors().size(), 1u);
    const std::string sStart = "InstrumentDefault::TaskLocal | InstrumentDefault::TaskLocal: The instrument could not be "
                               "returned to local control. - ";
    EXPECT_EQ(Errors()[0].substr(0, sStart.size()), sStart) << Errors()[0];
    EXPECT_EQ(pRecorder->Tasks(InstrumentTaskError)[0].iObject, reinterpret_cast<std::intptr_t>(object.get()));
    EXPECT_EQ(mServer.OpenLinks(), 0u);

    // An answer comes with progress in the VXI-11 step.
    Add(*object, Command("SIMulate:BLOCk? 300000", iWindow, true));
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskScpiCommand, 1));
    EXPECT_EQ(Answer(pRecorder->Tasks(InstrumentTaskScpiCommand)[0]).size(), 300009u);
    TestSupport::ExpectProgressSteps(*pRecorder, 102400);
}

TEST_F(LxiConnectionTest, PrepareChoosesTheAdapterOnTheInstrumentsNetwork) {
    if (!fPrivateNetwork) GTEST_SKIP() << "no private network namespace for adapters of our own: " << sNoPrivateNetwork;
    std::string sWhy;
    if (!Sim::AddVethInterface("orv1", "192.168.2.7", 24, sWhy) || !Sim::AddVethInterface("orv2", "192.168.1.10", 24, sWhy) ||
        !Sim::AddVethInterface("orv3", "10.0.0.5", 8, sWhy)) {
        GTEST_SKIP() << sWhy;
    }
    auto object = NewObject();
    uTaskPrepare prepare = VxiPrepare(4711);
    prepare.vxi11.sAdapterIp.clear();
    prepare.vxi11.sInstrumentIp = "192.168.1.50";
    Add(*object, prepare);
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskPrepare, 1));
    uInfo info;
    std::string sError;
    ASSERT_TRUE(object->pInterface->GetInfo(*object, info, sError));
    EXPECT_EQ(info.connection.vxi11.sAdapterIp, "192.168.1.10");
    uTaskPrepare raw;
    raw.head = {InstrumentTaskPrepare, 0, iWindow};
    raw.eProtocol = raw.eInterface = InterfaceRawTcp;
    raw.rawTcp = {"", "10.9.8.7", 5025};
    Add(*object, raw);
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskPrepare, 2));
    ASSERT_TRUE(object->pInterface->GetInfo(*object, info, sError));
    EXPECT_EQ(info.connection.rawTcp.sAdapterIp, "10.0.0.5");
    // An address that is given is kept.
    Add(*object, VxiPrepare(4711));
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskPrepare, 3));
    ASSERT_TRUE(object->pInterface->GetInfo(*object, info, sError));
    EXPECT_EQ(info.connection.vxi11.sAdapterIp, "127.0.0.1");
}

// A VXI-11 instrument gone for good (the transport's own new connection is refused): it is no
// longer connected, so that the main windows let it go and a later connect opens it afresh.
TEST_F(LxiConnectionTest, AnInstrumentGoneForGoodIsNoLongerConnected) {
    StartServer();
    auto object = NewObject();
    Add(*object, VxiPrepare(mServer.Port()));
    Add(*object, ConnectTask());
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskConnect, 1));
    mServer.Stop();
    Add(*object, Command("*OPC?", iWindow, true));
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskScpiCommand, 1));
    EXPECT_FALSE(object->pInterface->IsConnected(*object)) << ::testing::PrintToString(Errors());
}

} // namespace

TEST_F(LxiConnectionTest, APeerThatDiesMidReadEndsTheTaskWithItsReasonAndNothingElse) {
    StartServer();
    auto object = NewObject();
    Add(*object, VxiPrepare(mServer.Port()));
    Add(*object, ConnectTask());
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskConnect, 1));
    // The device_read of a long answer gets part of a reply, then the connection closes.
    mServer.AddFault({Sim::Vxi11DeviceRead, Sim::eVxi11Fault::Close, 3000});
    Add(*object, Command("SIMulate:BLOCk? 300000", iWindow, true));
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskScpiCommand, 1));
    // One error: the receive error with its reason; no link is closed on the new connection.
    const auto errors = Errors();
    ASSERT_EQ(errors.size(), 1u) << ::testing::PrintToString(errors);
    EXPECT_EQ(errors[0], "InstrumentDefault::TaskScpiCommand | Error sending and receiving the data. - Lxi::SocketRead: "
                         "Die Netzwerkverbindung wurde unterbrochen.");
    EXPECT_EQ(CallsOf(Sim::Vxi11DestroyLink), 0u);

    // The next exchange runs on a fresh link of the new connection.
    mServer.Device().Clear();
    Add(*object, Command("*OPC?", iWindow, true));
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskScpiCommand, 2));
    EXPECT_EQ(Answer(pRecorder->Tasks(InstrumentTaskScpiCommand)[1]), "1\n");
    EXPECT_EQ(Errors().size(), 1u) << ::testing::PrintToString(Errors());
    const auto calls = mServer.Calls();
    int iLastLink = 0;
    for (const auto& c : calls) {
        if (c.iProcedure == Sim::Vxi11CreateLink) iLastLink = c.iConnection;
        if (c.iProcedure == Sim::Vxi11DestroyLink) {
            EXPECT_EQ(c.iConnection, iLastLink);
        }
    }
    EXPECT_EQ(CallsOf(Sim::Vxi11DestroyLink), 1u);
    EXPECT_EQ(mServer.OpenLinks(), 1u); // the first link went with its connection; the server never heard
}
