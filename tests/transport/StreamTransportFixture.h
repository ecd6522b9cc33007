// The raw TCP and serial transports side by side, for tests that run against both: each side
// names its module's procedures and texts, starts its simulated instrument (a loopback
// listener, a pseudo-terminal) and opens a transport instance on it.
#pragma once

#include "common/TestApplication.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "sim/RawTcpServer.h"
#include "sim/SerialDevice.h"
#include "transport/AbortRequests.h"
#include "transport/InterfaceDefaults.h"
#include "transport/RawTcp.h"
#include "transport/Serial.h"
#include "transport/TransferStatus.h"

#include <sys/ioctl.h>
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace StreamTest {

using Bytes = std::vector<std::uint8_t>;
inline constexpr int Window = 4712;

struct RawTcpSide {
    using Instance = RawTcp::uRawTcpInstance;
    using Peer = Sim::RawTcpServer;
    static constexpr const char* Module = "RawTcp";
    static constexpr bool Renews = true; // a new connection leaves a late answer behind
    static constexpr const char* WriteName = "SocketWrite";
    static constexpr const char* ReadName = "SocketRead";
    static constexpr const char* Connection = "Die Netzwerkverbindung";
    static constexpr std::size_t Piece = RawTcp::PieceSize;
    static constexpr auto PrepareData = &RawTcp::PrepareData;
    static constexpr auto SendData = &RawTcp::SendData;
    // A whole answer, nothing kept ahead of it.
    static bool RequestData(RawTcp::uRawTcpInstance& instance, DataBuffer& answer, int iWindow, std::string& sError) {
        return RawTcp::RequestData(instance, answer, iWindow, sError);
    }
    static constexpr auto Drain = &RawTcp::SocketReadEmpty;
    static constexpr auto SetEndOfMessage = &RawTcp::SetEndOfMessage;
    static constexpr auto SetTimeout = &RawTcp::SetTimeout;
    static constexpr auto Disconnect = &RawTcp::Disconnect;
    static constexpr auto Connect = &RawTcp::Connect;
    static constexpr auto NewInstance = &RawTcp::NewInstance;
    static constexpr auto DeleteInstance = &RawTcp::DeleteInstance;

    static bool Start(Peer& peer, std::string& sError) { return peer.Start(sError); }
    static std::shared_ptr<Instance> Open(Peer& peer, std::int64_t iTimeout, std::string& sError) {
        auto instance = RawTcp::NewInstance(sError);
        uNetworkSettings settings;
        settings.sAdapterIp = "127.0.0.1";
        settings.sInstrumentIp = "127.0.0.1";
        settings.iPort = peer.Port();
        settings.iTimeout = iTimeout;
        if (!instance || !RawTcp::SetInstrument(*instance, settings, sError) || !RawTcp::Connect(*instance, sError)) {
            return nullptr;
        }
        return instance;
    }
    static int Fd(const Instance& instance) { return instance.mConnection.Fd(); }
};

struct SerialSide {
    using Instance = Serial::uSerialInstance;
    using Peer = Sim::SerialDevice;
    static constexpr const char* Module = "Serial";
    static constexpr bool Renews = false;
    static constexpr const char* WriteName = "PortWrite";
    static constexpr const char* ReadName = "PortRead";
    static constexpr const char* Connection = "Die serielle Verbindung";
    static constexpr std::size_t Piece = Serial::PieceSize;
    static constexpr auto PrepareData = &Serial::PrepareData;
    static constexpr auto SendData = &Serial::SendData;
    // A whole answer, nothing kept ahead of it.
    static bool RequestData(Serial::uSerialInstance& instance, DataBuffer& answer, int iWindow, std::string& sError) {
        return Serial::RequestData(instance, answer, iWindow, sError);
    }
    static constexpr auto Drain = &Serial::PortReadEmpty;
    static constexpr auto SetEndOfMessage = &Serial::SetEndOfMessage;
    static constexpr auto SetTimeout = &Serial::SetTimeout;
    static constexpr auto Disconnect = &Serial::Disconnect;
    static constexpr auto Connect = &Serial::Connect;
    static constexpr auto NewInstance = &Serial::NewInstance;
    static constexpr auto DeleteInstance = &Serial::DeleteInstance;

    static bool Start(Peer& peer, std::string& sError) { return peer.Start(sError); }
    static uSerialSettings Settings(const Peer& peer, std::int64_t iTimeout) {
        uSerialSettings settings;
        settings.sPort = peer.PortName();
        settings.iBaudRate = 115200;
        settings.iDataBits = 8;
        settings.fStopBits = 1.0F;
        settings.iParity = Serial::ParityNone;
        settings.iHandshake = Serial::HandshakeNone;
        settings.iTimeout = iTimeout;
        return settings;
    }
    static std::shared_ptr<Instance> Open(Peer& peer, std::int64_t iTimeout, std::string& sError) {
        auto instance = Serial::NewInstance(sError);
        if (!instance || !Serial::SetInstrument(*instance, Settings(peer, iTimeout), sError) ||
            !Serial::Connect(*instance, sError)) {
            return nullptr;
        }
        return instance;
    }
    static int Fd(const Instance& instance) { return instance.mPort.Fd(); }
};

// The interface time-outs of raw TCP and serial for one test, restored at its end.
struct InterfaceTimeouts {
    explicit InterfaceTimeouts(int iMs) { InterfaceDefaults::SetTimeouts(iUsb, iVxi, iMs, iMs); }
    ~InterfaceTimeouts() { InterfaceDefaults::SetTimeouts(iUsb, iVxi, iRaw, iSerial); }
    int iUsb = InterfaceDefaults::Timeout(InterfaceUsbTmc), iVxi = InterfaceDefaults::Timeout(InterfaceVxi11);
    int iRaw = InterfaceDefaults::Timeout(InterfaceRawTcp), iSerial = InterfaceDefaults::Timeout(InterfaceSerial);
};

inline double ThreadCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

inline Bytes ToBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }
inline Bytes ToBytes(const DataBuffer& b) { return Bytes(b.begin(), b.end()); }

// A transport instance connected to its simulated instrument, with the transfer events that
// reached Window.
template <class Side> class Fixture : public ::testing::Test {
  protected:
    struct uSeen {
        int iType;
        std::int64_t iData;
        std::intptr_t iObject;
    };

    static void SetUpTestSuite() { TestApplication::Ensure(); }

    void SetUp() override {
        EventHub::Init();
        EventHub::Bind(EventTransferStatus, Window, [this](const EventHub::uEvent& e) {
            mEvents.push_back({static_cast<int>(e.iType), TransferStatus::Data(e), e.iObject});
        });
        std::string sError;
        ASSERT_TRUE(Side::Start(mPeer, sError)) << sError;
        Reopen(2000);
    }

    void TearDown() override {
        std::string sError;
        if (pInstance) Side::DeleteInstance(*pInstance, sError);
        mPeer.Stop();
    }

    void Reopen(std::int64_t iTimeout) {
        std::string sError;
        if (pInstance) Side::DeleteInstance(*pInstance, sError);
        pInstance = Side::Open(mPeer, iTimeout, sError);
        ASSERT_TRUE(pInstance) << sError;
        Side::SetEndOfMessage(*pInstance, "\n");
    }

    bool Send(const std::string& sCommand, std::string& sError, const Bytes& payload = {}, int iWindow = Window) {
        std::size_t iSent = 0;
        return Side::PrepareData(*pInstance, sCommand, payload.data(), payload.size(), sError) &&
               Side::SendData(*pInstance, iSent, iWindow, sError);
    }

    bool Exchange(const std::string& sCommand, DataBuffer& answer, std::string& sError) {
        return Send(sCommand, sError) && Side::RequestData(*pInstance, answer, Window, sError);
    }

    // True once the program's side has read everything that arrived.
    std::function<bool()> AllTaken() const {
        const int iFd = Side::Fd(*pInstance);
        return [iFd] {
            int n = 0;
            return ioctl(iFd, FIONREAD, &n) == 0 && n == 0;
        };
    }

    // Waits (at most 5 s) until iBytes wait on the program's side of the line.
    void AwaitInput(std::size_t iBytes = 1) {
        for (int i = 0, n = 0; i < 5000 && (ioctl(Side::Fd(*pInstance), FIONREAD, &n) != 0 || std::size_t(n) < iBytes); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    // Waits (at most 5 s) until the simulated instrument has taken iCommands commands in all: the
    // fault set for its next answer is then that command's also where the program renews the
    // connection at once (what came on a connection the peer left behind is never read).
    void AwaitCommands(std::size_t iCommands) {
        for (int i = 0; i < 5000 && mPeer.Device().Commands().size() < iCommands; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    // An exchange whose read begins once the first iBytes of the answer have come (waited for as
    // AwaitInput waits): a time-out that ends the read is the answer's doing, never that of a
    // loaded machine that was slow to send it.
    bool ExchangeArrived(const std::string& sCommand, std::size_t iBytes, DataBuffer& answer, std::string& sError) {
        if (!Send(sCommand, sError)) return false;
        AwaitInput(iBytes);
        return Side::RequestData(*pInstance, answer, Window, sError);
    }

    std::vector<std::int64_t> EventData(int iType) {
        EventHub::Pump();
        std::vector<std::int64_t> out;
        for (const uSeen& e : mEvents) {
            if (e.iType == iType) out.push_back(e.iData);
        }
        return out;
    }

    std::string Text(const char* pProcedure, const std::string& sRest) const {
        return std::string(Side::Module) + "::" + pProcedure + ": " + sRest;
    }

    typename Side::Peer mPeer;
    std::shared_ptr<typename Side::Instance> pInstance;
    std::vector<uSeen> mEvents;
};

} // namespace StreamTest
