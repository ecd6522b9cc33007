// The raw TCP transport's own parts: pieces of a long message, settings, connecting.
#include "StreamTransportFixture.h"
#include "transport/BlockHeader.h"
#include "sim/Loopback.h"
#include "transport/InterfaceDefaults.h"

#include <sys/socket.h>

namespace {

using namespace StreamTest;
using RawTcpTest = Fixture<RawTcpSide>;

TEST_F(RawTcpTest, AMessageOf150000BytesLeavesInPiecesOf64KiB) {
    // Room for the whole message in the socket, so that every piece is taken at once.
    const int iBuffer = 4 << 20;
    ASSERT_EQ(setsockopt(pInstance->mConnection.Fd(), SOL_SOCKET, SO_SNDBUF, &iBuffer, sizeof iBuffer), 0);
    std::string sHeader;
    const std::string sCommand = "SIM:DATA ";
    const std::size_t iPayload = 150000 - sCommand.size() - 8 - 1;
    ASSERT_EQ(Instrument::CreateBlockHeader(iPayload, sHeader), 8u);
    Bytes payload(iPayload);
    for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(i * 13);

    std::string sError;
    std::size_t iSent = 0;
    ASSERT_TRUE(RawTcp::PrepareData(*pInstance, sCommand + sHeader, payload.data(), payload.size(), sError));
    EXPECT_EQ(pInstance->iSendSize, 150000u);
    ASSERT_TRUE(RawTcp::SendData(*pInstance, iSent, Window, sError)) << sError;
    EXPECT_EQ(iSent, 150000u);
    // Progress after the first and the second piece; none after the last.
    EXPECT_EQ(EventData(TransferStatus::TransferSending), (std::vector<std::int64_t>{65536, 131072}));
    DataBuffer answer;
    ASSERT_TRUE(Exchange("*OPC?", answer, sError)) << sError;
    EXPECT_EQ(mPeer.Device().LastData(), payload);
    EXPECT_EQ(mPeer.BytesReceived(), 150000u + 6);

    // Without a window nothing is posted.
    mEvents.clear();
    ASSERT_TRUE(RawTcp::PrepareData(*pInstance, sCommand + sHeader, payload.data(), payload.size(), sError));
    ASSERT_TRUE(RawTcp::SendData(*pInstance, iSent, WindowNobody, sError)) << sError;
    EXPECT_TRUE(EventData(TransferStatus::TransferSending).empty());
}

TEST_F(RawTcpTest, SettingsTimeOutsAndConnecting) {
    EXPECT_EQ(pInstance->iProgressStep, 51200);
    RawTcp::SetTimeout(*pInstance, 0);
    EXPECT_EQ(pInstance->mSettings.iTimeout, InterfaceDefaults::Timeout(3));
    RawTcp::SetTimeout(*pInstance, 750);
    EXPECT_EQ(pInstance->mSettings.iTimeout, 750);

    std::string sError;
    uNetworkSettings settings;
    settings.iTimeout = 2000;
    EXPECT_FALSE(RawTcp::SetInstrument(*pInstance, settings, sError));
    EXPECT_EQ(sError, "RawTcp::SetInstrument: Die IP-Adresse des Netzwerkadapters ist leer.");
    EXPECT_FALSE(pInstance->mConnection.IsOpen()); // the connection was closed first
    settings.sAdapterIp = "127.0.0.1";
    EXPECT_FALSE(RawTcp::SetInstrument(*pInstance, settings, sError));
    EXPECT_EQ(sError, "RawTcp::SetInstrument: Die IP-Adresse für das Instrument ist leer.");
    settings.sInstrumentIp = "127.0.0.1";
    EXPECT_FALSE(RawTcp::SetInstrument(*pInstance, settings, sError));
    EXPECT_EQ(sError, "RawTcp::SetInstrument: Der IP-Port für das Instrument ist Null.");

    // A port where nobody listens; held bound, so that no other test can take it meanwhile.
    const Sim::LoopbackListener refusing(false);
    settings.iPort = refusing.Port();
    ASSERT_TRUE(RawTcp::SetInstrument(*pInstance, settings, sError));
    EXPECT_FALSE(RawTcp::Connect(*pInstance, sError));
    EXPECT_EQ(sError, "RawTcp::Connect: The network connection could not be created. Network adapter: 127.0.0.1 "
                      "Instrument: 127.0.0.1:" +
                          std::to_string(settings.iPort) + " - TcpSocket::Connect: Connection refused. Code = 111");
    EXPECT_EQ(pInstance->mSettings.iConnection, 0);

    settings.iPort = mPeer.Port();
    ASSERT_TRUE(RawTcp::SetInstrument(*pInstance, settings, sError));
    ASSERT_TRUE(RawTcp::Connect(*pInstance, sError)) << sError;
    EXPECT_EQ(pInstance->mSettings.iConnection, 1);
    DataBuffer answer;
    ASSERT_TRUE(Exchange("*IDN?", answer, sError)) << sError;

    const std::size_t iLive = RawTcp::LiveInstances();
    auto other = RawTcp::NewInstance(sError);
    ASSERT_TRUE(other);
    EXPECT_EQ(RawTcp::LiveInstances(), iLive + 1);
    EXPECT_TRUE(RawTcp::DeleteInstance(*other, sError));
    EXPECT_EQ(RawTcp::LiveInstances(), iLive);
    EXPECT_FALSE(other->pReceiveData.allocated());
}

} // namespace
