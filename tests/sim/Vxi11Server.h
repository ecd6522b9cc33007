// The VXI-11 front door of the simulated instrument: an rpcgen server of the VXI-11 core
// channel over libtirpc, run on a thread of its own, optionally registered with rpcbind.
//
//   auto device = std::make_shared<Sim::ScpiDevice>();
//   Sim::Vxi11Server server(device);
//   Sim::Vxi11Server::uConfig config;          // 127.0.0.1, any port, not registered
//   std::string sError;
//   if (!server.Start(config, sError)) ...;
//   ... connect to server.Port() ...
//   server.Stop();                             // also done by the destructor
//
// libtirpc keeps its server tables per process, so only one server runs at a time.
#pragma once

#include "sim/ScpiDevice.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace Sim {

// Procedure numbers of the VXI-11 core channel.
enum eVxi11Procedure {
    Vxi11CreateLink = 10,
    Vxi11DeviceWrite = 11,
    Vxi11DeviceRead = 12,
    Vxi11DeviceReadStb = 13,
    Vxi11DeviceTrigger = 14,
    Vxi11DeviceClear = 15,
    Vxi11DeviceRemote = 16,
    Vxi11DeviceLocal = 17,
    Vxi11DeviceLock = 18,
    Vxi11DeviceUnlock = 19,
    Vxi11DestroyLink = 23,
};

// One call as the server saw it.
struct uVxi11Call {
    int iProcedure = 0;
    std::int32_t iLid = 0;
    std::uint32_t iFlags = 0;
    std::uint32_t iIoTimeout = 0;
    std::uint32_t iLockTimeout = 0;
    std::uint32_t iSize = 0;      // device_write: data bytes; device_read: requestSize
    int iTermChar = 0;            // device_read
    std::int32_t iError = 0;      // the error code answered
    std::uint32_t iAnswered = 0;  // device_write: size taken; device_read: data bytes sent
    std::int32_t iReason = 0;     // device_read
    std::string sDevice;          // create_link
    int iConnection = 0;          // the connection the call came on (the client's port)
};

enum class eVxi11Fault {
    Delay,       // wait iValue ms, then answer normally (a late reply)
    DeviceError, // answer with error code iValue and do nothing
    Close,       // close the connection instead of answering; with iValue > 0, after the first
                 // iValue bytes of a reply that promises more (a peer that dies mid-reply)
    NoReply,     // never answer this call; the connection stays open
    Stall,       // send the first iValue bytes of a reply that promises more, then nothing: a
                 // peer that freezes mid-reply; the connection stays open
};

// A fault for a later call of one procedure: the next iSkip calls pass, the one after fails.
struct uVxi11Fault {
    int iProcedure = 0;
    eVxi11Fault eKind = eVxi11Fault::Delay;
    int iValue = 0;
    int iSkip = 0;
};

class Vxi11Server {
  public:
    struct uConfig {
        std::string sAddress = "127.0.0.1"; // address to listen on
        int iPort = 0;                      // 0: any free port
        bool fRegister = false;             // register with the local rpcbind (in a test namespace only)
        unsigned iFragmentSize = 0;         // record-marking fragment size of replies; 0: libtirpc's default
        std::uint32_t iMaxRecvSize = 0x10000;
        std::string sDevice = "inst0";      // the device name create_link accepts
    };

    explicit Vxi11Server(std::shared_ptr<ScpiDevice> pDevice = std::make_shared<ScpiDevice>());
    ~Vxi11Server();
    Vxi11Server(const Vxi11Server&) = delete;
    Vxi11Server& operator=(const Vxi11Server&) = delete;

    bool Start(const uConfig& config, std::string& sError);
    void Stop();
    int Port() const { return iPort; }
    ScpiDevice& Device() { return *pDevice; }
    std::shared_ptr<ScpiDevice> SharedDevice() { return pDevice; }

    void SetMaxRecvSize(std::uint32_t iSize);
    // From now on new connections are refused (until Stop); open ones are served on.
    void RefuseConnections();
    void AddFault(const uVxi11Fault& fault);
    std::vector<uVxi11Call> Calls() const;
    void ClearCalls();
    std::size_t OpenLinks() const;

    // Used by the rpcgen procedures; not for tests.
    static Vxi11Server* Active();
    bool TakeFault(int iProcedure, uVxi11Fault& fault);
    void Record(const uVxi11Call& call);
    bool WaitStop(int iMs); // true when Stop interrupted the wait
    // Links belong to the connection that made them: another connection cannot drop one.
    std::int32_t NewLink(const std::string& sDevice, int iConnection, std::uint32_t& iMaxRecv);
    bool DropLink(std::int32_t iLid, int iConnection);
    bool HasLink(std::int32_t iLid) const;
    std::vector<std::uint8_t>& ReadBuffer() { return mReadBuffer; }
    std::shared_ptr<const std::vector<std::uint8_t>>& ReadKeep() { return pReadKeep; }

  private:
    void Loop();

    std::shared_ptr<ScpiDevice> pDevice;
    uConfig mConfig;
    int iPort = 0;
    int iListenFd = -1;
    int iWakeFd = -1;
    void* pListenXprt = nullptr;
    bool fRegistered = false;
    std::thread mThread;
    std::atomic<bool> fStop{false};
    std::atomic<bool> fRefuse{false};

    mutable std::mutex mMutex;
    std::condition_variable mStopSignal;
    std::vector<uVxi11Fault> mFaults;
    std::vector<uVxi11Call> mCalls;
    std::map<std::int32_t, int> mLinks; // link id -> the connection that made it
    std::int32_t iNextLid = 0;
    std::vector<std::uint8_t> mReadBuffer; // data of the last device_read reply, when copied
    std::shared_ptr<const std::vector<std::uint8_t>> pReadKeep; // or the answer piece it points into
};

} // namespace Sim
