// The adapter list and the TCP socket helper, on loopback and on dummy interfaces of a private
// network namespace (skipped where none can be made).
#include "transport/Network.h"
#include "transport/TcpSocket.h"

#include "sim/Loopback.h"
#include "sim/NetNamespace.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

TEST(NetworkTest, BroadcastAndNetworkAddresses) {
    EXPECT_EQ(Network::BroadcastAddress("192.168.1.20", "255.255.255.0"), "192.168.1.255");
    EXPECT_EQ(Network::NetworkAddress("192.168.1.20", "255.255.255.0"), "192.168.1.0");
    EXPECT_EQ(Network::BroadcastAddress("10.1.2.3", "255.0.0.0"), "10.255.255.255");
    EXPECT_EQ(Network::NetworkAddress("10.1.2.3", "255.0.0.0"), "10.0.0.0");
    EXPECT_EQ(Network::BroadcastAddress("172.16.5.9", "255.255.240.0"), "172.16.15.255");
    // An adapter without an address: built from zeros.
    EXPECT_EQ(Network::BroadcastAddress("", ""), "255.255.255.255");
    EXPECT_EQ(Network::NetworkAddress("", ""), "0.0.0.0");
}

TEST(NetworkTest, LoopbackAddressesAndTheLoopbackAdapter) {
    const std::pair<const char*, bool> aCases[] = {{"127.0.0.1", true},   {"127.255.255.254", true}, {"127.0.0.0", true},
                                                   {"126.255.255.255", false}, {"128.0.0.1", false}, {"10.127.0.1", false},
                                                   {"127.1", false},      {"localhost", false},      {"", false}};
    for (const auto& [sIp, fLoopback] : aCases) EXPECT_EQ(Network::IsLoopbackAddress(sIp), fLoopback) << sIp;
    const Network::uNetworkAdapter lo = Network::LoopbackAdapter();
    EXPECT_EQ(lo.sIpAddress, "127.0.0.1");
    EXPECT_EQ(lo.sConnectionName, "lo");
    EXPECT_EQ(lo.sNetwork, "127.0.0.0");
    EXPECT_EQ(lo.sBroadcast, "127.255.255.255");
}

TEST(NetworkTest, ErrorTexts) {
    EXPECT_EQ(Network::GetErrorText(ECONNREFUSED), "Code: 111; Connection refused");
    EXPECT_EQ(Network::GetErrorText(99999), "Code: 99999");
}

TEST(NetworkTest, ListsTheAdaptersOfThisNamespace) {
    std::string sWhy;
    if (!Sim::EnterPrivateNetwork(sWhy)) GTEST_SKIP() << sWhy;
    std::vector<Network::uNetworkAdapter> adapters;
    int count = -1;
    std::string sError;
    // Only the loopback device: no adapter, and the system's no-data text.
    EXPECT_FALSE(Network::GetAdapters(adapters, count, sError));
    EXPECT_EQ(count, 0);
    EXPECT_EQ(sError, "Error determining the required data size with GetAdaptersInfo(). Error = 232");

    if (!Sim::AddVethInterface("lab0", "192.168.1.20", 24, sWhy)) GTEST_SKIP() << sWhy;
    if (!Sim::AddVethInterface("lab1", "10.1.2.3", 8, sWhy)) GTEST_SKIP() << sWhy;
    ASSERT_TRUE(Network::GetAdapters(adapters, count, sError)) << sError;
    ASSERT_EQ(count, 4); // two pairs
    ASSERT_EQ(adapters.size(), 5u);
    EXPECT_TRUE(adapters[0].sIpAddress.empty()); // element 0 stays empty
    auto find = [&](const std::string& name) {
        auto it = std::find_if(adapters.begin() + 1, adapters.end(),
                               [&](const Network::uNetworkAdapter& a) { return a.sAdapterName == name; });
        return it == adapters.end() ? Network::uNetworkAdapter{} : *it;
    };
    const Network::uNetworkAdapter lab0 = find("lab0");
    EXPECT_EQ(lab0.sConnectionName, "lab0");
    EXPECT_EQ(lab0.sIpAddress, "192.168.1.20");
    EXPECT_EQ(lab0.sIpMask, "255.255.255.0");
    EXPECT_EQ(lab0.sBroadcast, "192.168.1.255");
    EXPECT_EQ(lab0.sNetwork, "192.168.1.0");
    const Network::uNetworkAdapter lab1 = find("lab1");
    EXPECT_EQ(lab1.sIpAddress, "10.1.2.3");
    EXPECT_EQ(lab1.sBroadcast, "10.255.255.255");
    EXPECT_EQ(lab1.sNetwork, "10.0.0.0");
    // A device without an IPv4 address, as the system reports such an adapter.
    const Network::uNetworkAdapter peer = find("lab0p");
    EXPECT_EQ(peer.sIpAddress, "0.0.0.0");
    EXPECT_EQ(peer.sBroadcast, "255.255.255.255");
    EXPECT_EQ(peer.sNetwork, "0.0.0.0");
    EXPECT_EQ(Network::GetAdapterConnectionName("lab1"), "lab1");
    EXPECT_EQ(Network::GetAdapterConnectionName("nosuch0"), "");
}

TEST(TcpSocketTest, ReceiveTellsNothingYetFromClosedAndSendNeverRaisesSigpipe) {
    Sim::LoopbackListener server;
    TcpSocket::uSocket client;
    std::string sError;
    ASSERT_TRUE(TcpSocket::Connect(client, "127.0.0.1", "127.0.0.1", server.Port(), 1000, sError)) << sError;
    const int peer = accept(server.Fd(), nullptr, nullptr);
    ASSERT_GE(peer, 0);

    char buffer[16];
    EXPECT_EQ(TcpSocket::Receive(client, buffer, sizeof buffer), TcpSocket::ReceiveNothing);
    EXPECT_EQ(TcpSocket::WaitReadable(client, Clock::now() + std::chrono::milliseconds(20)), TcpSocket::WaitTimeout);
    ASSERT_EQ(send(peer, "abc", 3, 0), 3);
    EXPECT_EQ(TcpSocket::WaitReadable(client, Clock::now() + std::chrono::seconds(5)), TcpSocket::WaitReady);
    EXPECT_EQ(TcpSocket::Receive(client, buffer, sizeof buffer), 3);
    EXPECT_EQ(std::memcmp(buffer, "abc", 3), 0);

    close(peer);
    EXPECT_EQ(TcpSocket::WaitReadable(client, Clock::now() + std::chrono::seconds(5)), TcpSocket::WaitReady);
    EXPECT_EQ(TcpSocket::Receive(client, buffer, sizeof buffer), TcpSocket::ReceiveClosed);
    // Writing into a connection the peer closed fails with an error, not with SIGPIPE.
    std::int64_t result = 0;
    for (int i = 0; i < 100 && result >= 0; ++i) result = TcpSocket::Send(client, "xyz", 3);
    EXPECT_EQ(result, -1);
    client.Close();
    EXPECT_FALSE(client.IsOpen());
    EXPECT_EQ(TcpSocket::WaitReadable(client, Clock::now()), TcpSocket::WaitClosed);
}

TEST(TcpSocketTest, ConnectFailuresAndShutdownWakesAWaiter) {
    TcpSocket::uSocket s;
    std::string sError;
    EXPECT_FALSE(TcpSocket::Connect(s, "", "not-an-address", 5025, 100, sError));
    EXPECT_EQ(sError, "TcpSocket::Connect: The address is not valid: not-an-address:5025");
    EXPECT_FALSE(TcpSocket::Connect(s, "", "127.0.0.1", 0, 100, sError));
    EXPECT_FALSE(TcpSocket::Connect(s, "192.0.2.1", "127.0.0.1", 5025, 100, sError)); // not our address
    EXPECT_NE(sError.find("TcpSocket::Connect: The local address could not be used: 192.0.2.1"), std::string::npos);

    Sim::LoopbackListener server;
    ASSERT_TRUE(TcpSocket::Connect(s, "", "127.0.0.1", server.Port(), 1000, sError)) << sError;
    const int peer = accept(server.Fd(), nullptr, nullptr);
    s.Shutdown();
    EXPECT_EQ(TcpSocket::WaitReadable(s, Clock::now() + std::chrono::seconds(5)), TcpSocket::WaitReady);
    char c;
    EXPECT_EQ(TcpSocket::Receive(s, &c, 1), TcpSocket::ReceiveClosed);
    close(peer);
}

TEST(TcpSocketTest, ConnectGivesUpAfterItsTimeOut) {
    std::string sWhy;
    if (!Sim::EnterPrivateNetwork(sWhy)) GTEST_SKIP() << sWhy;
    // Nobody on the other end of the pair answers: the connection request goes nowhere.
    if (!Sim::AddVethInterface("void0", "10.99.0.1", 24, sWhy)) GTEST_SKIP() << sWhy;
    TcpSocket::uSocket s;
    std::string sError;
    const auto start = Clock::now();
    EXPECT_FALSE(TcpSocket::Connect(s, "10.99.0.1", "10.99.0.2", 111, 300, sError));
    const auto waited = Clock::now() - start;
    EXPECT_EQ(sError, "TcpSocket::Connect: No connection within 300 ms.");
    EXPECT_GE(waited, std::chrono::milliseconds(300));
    EXPECT_FALSE(s.IsOpen());
}

} // namespace
