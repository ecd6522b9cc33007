// TCP connections for the network transports: a non-blocking connect with a time-out from a
// chosen local address, waits with poll, sends that never raise SIGPIPE, and receives that tell
// "nothing yet" from "the peer closed the connection" (a receive of 0 bytes).
#pragma once

#include "common/Failure.h"
#include "transport/TransportSettings.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace TcpSocket {

// An open connection: owns its descriptor and closes it when it goes.
class uSocket {
  public:
    uSocket() = default;
    explicit uSocket(int iFd) : iFd(iFd) {}
    ~uSocket() { Close(); }
    uSocket(uSocket&& other) noexcept : iFd(other.iFd) { other.iFd = -1; }
    uSocket& operator=(uSocket&& other) noexcept;
    uSocket(const uSocket&) = delete;
    uSocket& operator=(const uSocket&) = delete;

    bool IsOpen() const { return iFd >= 0; }
    int Fd() const { return iFd; }
    void Close();
    // Ends both directions at once; a thread waiting on the socket wakes up (it sees Closed).
    void Shutdown() const;

    // The last wait on the socket ended within BriefWait::Quick, and the last reception was no
    // bulk one: the next wait looks before it sleeps. Hints of the waiting thread only.
    mutable bool fQuickPeer = true;
    mutable bool fBulk = false;

  private:
    int iFd = -1;
};

// Opens a TCP connection to sHost:iPort (IPv4 dotted text) from the local address sLocalIp
// (empty: any), waiting at most iTimeoutMs for it. The socket is non-blocking with TCP_NODELAY.
// On failure the socket stays closed and sError holds "TcpSocket::Connect: ..." with the reason,
// the system's words and number where it gave one ("Connection refused. Code = 111"), and
// *pFailure (when given) the failure's record: its kind (refused, timed out, unreachable, gone
// before), the step Connect, the port, the time waited for a time-out, the text. An empty
// record after a success.
bool Connect(uSocket& socket, const std::string& sLocalIp, const std::string& sHost, int iPort, int iTimeoutMs,
             std::string& sError, Failure::uFailure* pFailure = nullptr);

// sIp is an IPv4 address in dotted text, as Connect takes it ("192.168.1.20").
bool IsAddress(const std::string& sIp);

// The checks of a network transport's SetInstrument, in this order: adapter address, instrument
// address, port; the texts name the procedure as pModule's SetInstrument.
bool CheckSettings(const char* pModule, const uNetworkSettings& settings, std::string& sError);
// Connect from the settings' adapter address to their instrument address and port; iConnection
// becomes 1 or 0. The failure text names pModule's Connect and the addresses, then " - " and
// the reason; *pFailure (when given) is the connect's record.
bool ConnectInstrument(const char* pModule, uSocket& socket, uNetworkSettings& settings, int iTimeoutMs,
                       std::string& sError, Failure::uFailure* pFailure = nullptr);

enum eWait {
    WaitReady = 1,   // data (or the peer's close) can be read / bytes can be written
    WaitTimeout = 0, // nothing within the time
    WaitClosed = -1, // no connection, or (for writing) the connection is gone
};

using Clock = std::chrono::steady_clock;

// Waits until the deadline (a past one: only looks) until the socket can be read: data waits
// or the peer closed its side (the next Receive then returns 0).
eWait WaitReadable(const uSocket& socket, Clock::time_point deadline);
// Waits until the deadline until the socket takes more bytes.
eWait WaitWritable(const uSocket& socket, Clock::time_point deadline);

// Receive results besides a byte count.
inline constexpr std::int64_t ReceiveClosed = 0;   // the peer closed the connection
inline constexpr std::int64_t ReceiveNothing = -1; // nothing waiting now
inline constexpr std::int64_t ReceiveFailed = -2;  // a socket error; errno tells which

// Sends what the socket takes now, without blocking and without SIGPIPE: the bytes taken
// (0 when the send buffer is full), or -1 on a socket error (errno tells which).
std::int64_t Send(const uSocket& socket, const void* pData, std::size_t iSize);
// Receives what waits, without blocking: a byte count > 0, or one of the results above.
std::int64_t Receive(const uSocket& socket, void* pData, std::size_t iSize);

} // namespace TcpSocket
