#include "instrument/InstrumentSearch.h"

#include "common/WindowLog.h"
#include "instrument/Instrument.h"
#include "instrument/InstrumentObject.h"
#include "platform/AllocationFailure.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "transport/Lxi.h"
#include "transport/Network.h"
#include "transport/RpcVxi.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace InstrumentSearch {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::int64_t DefaultPortmapperPort = 111;

struct uModule {
    std::mutex mutex;
    std::condition_variable cvEnded;
    bool fRunning = false; // from StartSearch until the search thread has done its work
    int iThreads = 0;      // search threads that have not yet made their last post
    // Asked to end early. Set under the listing mutex, so that no object is listed after
    // StopSearch has set it.
    std::atomic<bool> fStop = false;
    std::mutex listing;
    // Readable while a stop is requested: polled beside the sockets and in the pauses.
    const int iWake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
};

// Made once and never destroyed: the search thread may still reach it while the program ends.
uModule& Module() {
    static uModule* pModule = new uModule;
    return *pModule;
}

std::string Prefix(const char* sProcedure) { return std::string("InstrumentSearch::") + sProcedure + ": "; }

// "InstrumentSearch::<procedure>: <message>" followed by the text of a system error code.
void PostSocketError(const char* sProcedure, const char* sMessage, int iCode) {
    WindowLog::PostError(Prefix(sProcedure) + sMessage + Network::GetErrorText(iCode));
}

// An answer datagram and its sender (dotted IPv4 text).
using AnswerHandler = std::function<void(const std::uint8_t* pData, std::size_t iSize, const std::string& sSender)>;

bool ParseIpv4(const std::string& sIp, in_addr& address) { return inet_pton(AF_INET, sIp.c_str(), &address) == 1; }

// Binds the socket to the adapter's address, sends the datagram to the destination and hands
// every answer that arrives within the time-out to the handler. A failure is posted with the
// procedure's name and ends this broadcast only.
void SendAndCollect(int fd, const char* sProcedure, const uSearchAddress& address, std::int64_t iPort,
                    const std::uint8_t* pData, std::size_t iSize, const AnswerHandler& onAnswer) {
    const int iOn = -1; // a 4-byte value of all ones
    setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &iOn, sizeof iOn);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    if (!ParseIpv4(address.sLocalIp, local.sin_addr)) {
        PostSocketError(sProcedure, "Das UDP-Socket konnte nicht verbunden werden: ", EADDRNOTAVAIL);
        return;
    }
    if (bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        PostSocketError(sProcedure, "Das UDP-Socket konnte nicht verbunden werden: ", errno);
        return;
    }
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_port = htons(static_cast<std::uint16_t>(iPort));
    if (iPort < 1 || iPort > 65535 || !ParseIpv4(address.sDestinationIp, destination.sin_addr)) {
        PostSocketError(sProcedure, "Das UDP-Datagram konnte nicht gesendet werden: ", EINVAL);
        return;
    }
    if (sendto(fd, pData, iSize, 0, reinterpret_cast<const sockaddr*>(&destination), sizeof destination) < 0) {
        PostSocketError(sProcedure, "Das UDP-Datagram konnte nicht gesendet werden: ", errno);
        return;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max<std::int64_t>(address.iTimeout, 0));
    std::uint8_t buffer[ReceiveBufferSize];
    for (;;) {
        sockaddr_in sender{};
        socklen_t iSenderSize = sizeof sender;
        const ssize_t iReceived =
            recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&sender), &iSenderSize);
        if (iReceived < 0) {
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                PostSocketError(sProcedure, "Das UDP-Datagram konnte nicht empfangen werden: ", errno);
                return;
            }
            const auto iLeft = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (iLeft <= 0 || StopRequested()) return;
            pollfd wait[2] = {{fd, POLLIN, 0}, {Module().iWake, POLLIN, 0}};
            poll(wait, 2, static_cast<int>(iLeft));
            continue;
        }
        if (iReceived > 0) {
            char text[INET_ADDRSTRLEN] = {};
            inet_ntop(AF_INET, &sender.sin_addr, text, sizeof text);
            onAnswer(buffer, static_cast<std::size_t>(iReceived), text);
        }
        // Also after an empty datagram: a stream of them must not hold the search here.
        if (Clock::now() >= deadline || StopRequested()) return;
    }
}

// One broadcast on its own non-blocking UDP socket.
void Broadcast(const char* sProcedure, const uSearchAddress& address, std::int64_t iPort, const std::uint8_t* pData,
               std::size_t iSize, const AnswerHandler& onAnswer) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd < 0) {
        PostSocketError(sProcedure, "Das UDP-Socket konnte nicht erstellt werden: ", errno);
        return;
    }
    SendAndCollect(fd, sProcedure, address, iPort, pData, iSize, onAnswer);
    if (close(fd) != 0) PostSocketError(sProcedure, "Das UDP-Socket konnte nicht geschlossen werden: ", errno);
}

void Search(const uStartSearch& order) {
    if (order.fUsb) {
        if (order.fLibUsb1 && !StopRequested()) SearchUsbTmcLibUsb1(order.iWindow);
        if (order.fLibUsb0 && !StopRequested()) SearchUsbTmcLibUsb0(order.iWindow);
    }
    for (const uSearchAddress& address : order.lAddress) {
        if (!order.fLxi || StopRequested()) break;
        SearchLanLxi(address, order.iWindow, order.fUdpOnly != 0);
    }
    for (const uSearchAddress& address : order.lAddress) {
        if (!order.fRawTcp || StopRequested()) break;
        SearchLanRawTcp(address, order.iWindow);
    }
}

void SearchThread(uStartSearch order) {
    // An answer whose memory cannot be had ends the search as if it had run to its end.
    if (!AllocationFailure::Run([&] { Search(order); }))
        AllocationFailure::Report("InstrumentSearch::SearchThread");
    // The flag goes first, so that a window that starts the next search on the end event is
    // not refused.
    uModule& module = Module();
    {
        std::lock_guard lock(module.mutex);
        module.fRunning = false;
    }
    EventHub::PostEvent(EventSearchFinished, static_cast<int>(order.iWindow), WindowNobody, 3);
    std::lock_guard lock(module.mutex);
    --module.iThreads;
    module.cvEnded.notify_all();
}

} // namespace

bool InitModuleInstrumentSearch(std::string& sError) {
    (void)sError; // the module's state cannot fail to exist; POSIX sockets need no start-up
    Module();
    return true;
}

bool StartSearch(const uStartSearch* pStartSearch, std::string& sError) {
    if (!pStartSearch) {
        sError = "InstrumentSearch::StartSearch: The pointer to the structure is zero: *uStartSearch.uStartSearch";
        return false;
    }
    if (!InitModuleInstrumentSearch(sError)) {
        sError = "InstrumentSearch::StartSearch: The module could not be initialized.";
        return false;
    }
    uModule& module = Module();
    std::lock_guard lock(module.mutex);
    if (module.fRunning) {
        sError = "InstrumentSearch::StartSearch: A search for instruments has already been started, and is still ongoing.";
        return false;
    }
    module.fRunning = true;
    // A stop asked of an earlier search is forgotten.
    module.fStop = false;
    std::uint64_t iCount = 0;
    while (read(module.iWake, &iCount, sizeof iCount) > 0) {
    }
    try {
        // The thread is detached: it uses its own copy of the order and state that lives as
        // long as the program. StopSearch asks it to end and waits for it a bounded time.
        std::thread(SearchThread, *pStartSearch).detach();
    } catch (const std::system_error&) {
        module.fRunning = false;
        sError = "InstrumentSearch::StartSearch: The thread could not be created.";
        return false;
    }
    ++module.iThreads;
    return true;
}

bool IsRunning() {
    uModule& module = Module();
    std::lock_guard lock(module.mutex);
    return module.fRunning;
}

bool StopSearch(std::chrono::milliseconds wait, std::string& sError) {
    uModule& module = Module();
    {
        std::lock_guard lock(module.listing);
        module.fStop = true;
    }
    const std::uint64_t iOne = 1;
    const ssize_t iWritten = write(module.iWake, &iOne, sizeof iOne); // wakes the waits of the search
    (void)iWritten;
    std::unique_lock lock(module.mutex);
    if (!module.cvEnded.wait_for(lock, wait, [&] { return module.iThreads == 0; })) {
        sError = "InstrumentSearch::StopSearch: The search did not end in time.";
        return false;
    }
    return true;
}

bool StopRequested() { return Module().fStop; }

void PauseUnlessStopped(std::chrono::milliseconds pause) {
    pollfd wake{Module().iWake, POLLIN, 0};
    poll(&wake, 1, static_cast<int>(pause.count()));
}

uTaskPrepare SearchCandidate(std::int64_t iWindow, std::int64_t eInterface) {
    uTaskPrepare candidate;
    candidate.head = {InstrumentTaskPrepare, EventSearchFinished, iWindow};
    candidate.eProtocol = candidate.eInterface = eInterface;
    return candidate;
}

void ListFound(const uTaskPrepare& candidate, bool fAlwaysNew, const char* sProcedure) {
    uModule& module = Module();
    std::lock_guard listing(module.listing);
    if (module.fStop) return;
    std::string sError;
    bool fCreated = true;
    const InstrumentObject object =
        fAlwaysNew ? Instrument::Create(sError) : Instrument::FindOrCreate(candidate, fCreated, sError);
    if (!object) {
        WindowLog::PostError(Prefix(sProcedure) + sError);
        return;
    }
    if (fCreated) object->pInterface->AddTask(*object, candidate, sError);
}

void PostNotIdentified(const uTaskPrepare& found, const std::string& sReason) {
    std::string sWhere;
    switch (found.eInterface) {
    case InterfaceVxi11: sWhere = found.vxi11.sInstrumentIp + " (VXI-11)"; break;
    case InterfaceRawTcp: sWhere = found.rawTcp.sInstrumentIp + ":" + std::to_string(found.rawTcp.iPort); break;
    case InterfaceUsbTmc: {
        char ids[16];
        std::snprintf(ids, sizeof ids, "%04X:%04X", static_cast<unsigned>(found.usb.iVendorId & 0xFFFF),
                      static_cast<unsigned>(found.usb.iProductId & 0xFFFF));
        sWhere = "USB " + std::string(ids) + (found.usb.sSerialNumber.empty() ? "" : " " + found.usb.sSerialNumber);
        break;
    }
    default: sWhere = "interface " + std::to_string(found.eInterface); break;
    }
    WindowLog::PostError("InstrumentSearch: The instrument found at " + sWhere + " could not be identified. " + sReason);
}

bool ProbeLxiTcpPort(uNetworkSettings& settings, std::string& sError) {
    const std::shared_ptr<Lxi::uLxiInstance> pInstance = Lxi::NewInstance(sError);
    if (!pInstance) return false;
    int iPort = 0;
    if (Lxi::SetInstrument(*pInstance, settings, sError)) iPort = Lxi::GetTcpRpcPort(*pInstance, sError);
    std::string sDeleteError;
    Lxi::DeleteInstance(*pInstance, sDeleteError);
    if (iPort == 0) return false;
    settings.iPort = iPort;
    return true;
}

void SearchLanLxi(uSearchAddress address, std::int64_t iWindow, bool fUdpOnly) {
    constexpr const char* sProcedure = "SearchLanLxi";
    if (address.iPortmapperPort == 0) address.iPortmapperPort = DefaultPortmapperPort;
    // A fresh record for every address: the call carries transaction id 1.
    RpcVxi::uRpc rpc;
    rpc.fRecordMarking = false;
    std::string sError;
    if (!RpcVxi::CreateRpcDataGetPort(rpc, sError)) return;
    Broadcast(sProcedure, address, address.iPortmapperPort, rpc.pRpcData.data(), rpc.iRpcDataSize,
              [&](const std::uint8_t* pData, std::size_t iSize, const std::string& sSender) {
                  // The reply is checked like every RPC reply, within the bytes that arrived.
                  rpc.pRpcDataReply.assign(pData, iSize);
                  rpc.iRpcDataReplySize = rpc.pRpcDataReply.size();
                  std::string sCheck;
                  const int iPort = RpcVxi::GetRpcDataGetPort(rpc, sCheck);
                  if (iPort == 0) {
                      WindowLog::PostError(Prefix(sProcedure) + "Ungültigen Port 0 erhalten von IP-Adresse " + sSender +
                                           " - " + sCheck);
                      return;
                  }
                  // The answer names the core channel's port; a probe over TCP may still correct it.
                  std::int64_t iCorePort = iPort;
                  if (!fUdpOnly && !StopRequested()) {
                      uNetworkSettings settings{0, address.sLocalIp, sSender, address.iPortmapperPort, address.iTimeout};
                      std::string sProbe;
                      if (ProbeLxiTcpPort(settings, sProbe)) iCorePort = settings.iPort;
                  }
                  uTaskPrepare candidate = SearchCandidate(iWindow, InterfaceVxi11);
                  candidate.vxi11.sAdapterIp = address.sLocalIp;
                  candidate.vxi11.sInstrumentIp = sSender;
                  candidate.vxi11.iPortmapperPort = address.iPortmapperPort;
                  candidate.vxi11.iCorePort = iCorePort;
                  ListFound(candidate, false, sProcedure);
              });
}

void SearchLanRawTcp(const uSearchAddress& address, std::int64_t iWindow) {
    constexpr const char* sProcedure = "SearchLanRawTcp";
    const std::string sDatagram = RawIdnDatagram;
    Broadcast(sProcedure, address, address.iRawTcpPort, reinterpret_cast<const std::uint8_t*>(sDatagram.data()),
              sDatagram.size(), [&](const std::uint8_t*, std::size_t, const std::string& sSender) {
                  // Whatever the answer says, its sender takes SCPI on the raw port.
                  uTaskPrepare candidate = SearchCandidate(iWindow, InterfaceRawTcp);
                  candidate.rawTcp.sAdapterIp = address.sLocalIp;
                  candidate.rawTcp.sInstrumentIp = sSender;
                  candidate.rawTcp.iPort = address.iRawTcpPort;
                  ListFound(candidate, false, sProcedure);
              });
}

} // namespace InstrumentSearch
