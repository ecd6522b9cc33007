#include "transport/TcpSocket.h"

#include "platform/BriefWait.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace TcpSocket {
namespace {

// The system's words for an error and its number: "Connection refused. Code = 111".
std::string Reason(int iError) { return std::string(std::strerror(iError)) + ". Code = " + std::to_string(iError); }

bool ParseAddress(const std::string& sIp, int iPort, sockaddr_in& addr) {
    addr = {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(iPort));
    return inet_pton(AF_INET, sIp.c_str(), &addr.sin_addr) == 1;
}

// A reception of this many bytes or more is part of a bulk transfer.
constexpr std::int64_t BulkReception = 0x10000;

// Polls until the deadline for one socket; EINTR continues with the time left. A peer that
// answered quickly last time is looked for a moment before the thread sleeps (BriefWait), unless
// the last reception was a bulk one: a peer that prepares a long answer would only lose the
// processor to the look.
eWait Poll(const uSocket& socket, short iEvents, Clock::time_point deadline) {
    pollfd p{socket.Fd(), iEvents, 0};
    const auto Ready = [&] { return poll(&p, 1, 0) > 0; };
    if (socket.fQuickPeer && !socket.fBulk && BriefWait::Look(Ready, deadline))
        return p.revents & iEvents ? WaitReady : WaitClosed;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        const int iMs = left <= 0 ? 0 : (left > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(left));
        p.revents = 0;
        const int n = poll(&p, 1, iMs);
        if (n < 0) {
            if (errno == EINTR) continue;
            return WaitClosed;
        }
        if (n == 0) return WaitTimeout;
        if (p.revents & iEvents) return WaitReady;
        // POLLHUP / POLLERR / POLLNVAL without the asked-for event.
        return WaitClosed;
    }
}

eWait WaitFor(const uSocket& socket, short iEvents, Clock::time_point deadline) {
    if (!socket.IsOpen()) return WaitClosed;
    const Clock::time_point start = Clock::now();
    const eWait w = Poll(socket, iEvents, deadline);
    socket.fQuickPeer = Clock::now() - start < BriefWait::Quick;
    return w;
}

} // namespace

uSocket& uSocket::operator=(uSocket&& other) noexcept {
    if (this != &other) {
        Close();
        iFd = other.iFd;
        fQuickPeer = other.fQuickPeer;
        fBulk = other.fBulk;
        other.iFd = -1;
    }
    return *this;
}

void uSocket::Close() {
    if (iFd >= 0) close(iFd);
    iFd = -1;
}

void uSocket::Shutdown() const {
    if (iFd >= 0) shutdown(iFd, SHUT_RDWR);
}

namespace {

// Connect's steps; the failure's kind and time-out go into the record, Connect adds the text.
bool Open(uSocket& socket, const std::string& sLocalIp, const std::string& sHost, int iPort, int iTimeoutMs,
          std::string& sError, Failure::uFailure& failure) {
    Failure::eKind& eKind = failure.eType;
    sockaddr_in remote{};
    if (iPort <= 0 || iPort > 65535 || !ParseAddress(sHost, iPort, remote)) {
        sError = "TcpSocket::Connect: The address is not valid: " + sHost + ":" + std::to_string(iPort);
        return false;
    }
    uSocket s(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!s.IsOpen()) {
        eKind = Failure::OfErrno(errno, 0);
        sError = "TcpSocket::Connect: The socket could not be created. " + Reason(errno);
        return false;
    }
    if (!sLocalIp.empty()) {
        sockaddr_in local{};
        if (!ParseAddress(sLocalIp, 0, local) ||
            bind(s.Fd(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
            sError = "TcpSocket::Connect: The local address could not be used: " + sLocalIp + " - " + Reason(errno);
            return false;
        }
    }
    const int one = 1;
    setsockopt(s.Fd(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (connect(s.Fd(), reinterpret_cast<const sockaddr*>(&remote), sizeof remote) != 0) {
        if (errno != EINPROGRESS) {
            eKind = Failure::OfErrno(errno, 0);
            sError = "TcpSocket::Connect: " + Reason(errno);
            return false;
        }
        const eWait w = WaitFor(s, POLLOUT, Clock::now() + std::chrono::milliseconds(iTimeoutMs));
        if (w == WaitTimeout) {
            eKind = Failure::eKind::TimedOut;
            failure.iWaitedMs = iTimeoutMs;
            sError = "TcpSocket::Connect: No connection within " + std::to_string(iTimeoutMs) + " ms.";
            return false;
        }
        int err = 0;
        socklen_t len = sizeof err;
        if (getsockopt(s.Fd(), SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
        if (err != 0) {
            eKind = Failure::OfErrno(err, 0);
            sError = "TcpSocket::Connect: " + Reason(err);
            return false;
        }
    }
    socket = std::move(s);
    return true;
}

} // namespace

bool Connect(uSocket& socket, const std::string& sLocalIp, const std::string& sHost, int iPort, int iTimeoutMs,
             std::string& sError, Failure::uFailure* pFailure) {
    socket.Close();
    Failure::uFailure failure{Failure::eKind::Other};
    failure.eAt = Failure::eStep::Connect;
    failure.iPort = iPort;
    const bool fOpen = Open(socket, sLocalIp, sHost, iPort, iTimeoutMs, sError, failure);
    if (fOpen) failure = {};
    else failure.sText = sError;
    if (pFailure) *pFailure = std::move(failure);
    return fOpen;
}

bool IsAddress(const std::string& sIp) {
    sockaddr_in addr{};
    return ParseAddress(sIp, 0, addr);
}

bool CheckSettings(const char* pModule, const uNetworkSettings& settings, std::string& sError) {
    const char* pFailure = nullptr;
    if (settings.sAdapterIp.empty()) pFailure = "Die IP-Adresse des Netzwerkadapters ist leer.";
    else if (settings.sInstrumentIp.empty()) pFailure = "Die IP-Adresse für das Instrument ist leer.";
    else if (settings.iPort == 0) pFailure = "Der IP-Port für das Instrument ist Null.";
    if (!pFailure && settings.iPort >= 1 && settings.iPort <= 65535) return true;
    // A stored entry may hold any number: it must not reach the socket cut to an int.
    sError = std::string(pModule) + "::SetInstrument: " +
             (pFailure ? pFailure : "The IP port " + std::to_string(settings.iPort) + " is not a port number from 1 to 65535.");
    return false;
}

bool ConnectInstrument(const char* pModule, uSocket& socket, uNetworkSettings& settings, int iTimeoutMs,
                       std::string& sError, Failure::uFailure* pFailure) {
    std::string sReason;
    if (!Connect(socket, settings.sAdapterIp, settings.sInstrumentIp, static_cast<int>(settings.iPort), iTimeoutMs,
                 sReason, pFailure)) {
        settings.iConnection = 0;
        sError = std::string(pModule) + "::Connect: The network connection could not be created. Network adapter: " +
                 settings.sAdapterIp + " Instrument: " + settings.sInstrumentIp + ":" + std::to_string(settings.iPort) +
                 " - " + sReason;
        return false;
    }
    settings.iConnection = 1;
    return true;
}

eWait WaitReadable(const uSocket& socket, Clock::time_point deadline) {
    if (!socket.IsOpen()) return WaitClosed;
    // A hang-up or an error also counts as ready: the next Receive reports it (0 bytes or a
    // failure) after any data that still waits.
    return WaitFor(socket, POLLIN, deadline) == WaitTimeout ? WaitTimeout : WaitReady;
}

eWait WaitWritable(const uSocket& socket, Clock::time_point deadline) {
    return WaitFor(socket, POLLOUT, deadline);
}

std::int64_t Send(const uSocket& socket, const void* pData, std::size_t iSize) {
    for (;;) {
        const ssize_t n = send(socket.Fd(), pData, iSize, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0) return n;
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
        return -1;
    }
}

std::int64_t Receive(const uSocket& socket, void* pData, std::size_t iSize) {
    for (;;) {
        const ssize_t n = recv(socket.Fd(), pData, iSize, MSG_DONTWAIT);
        if (n > 0) {
            socket.fBulk = n >= BulkReception;
            return n;
        }
        if (n == 0) return ReceiveClosed;
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return ReceiveNothing;
        return ReceiveFailed;
    }
}

} // namespace TcpSocket
