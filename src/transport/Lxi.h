// The VXI-11 transport: SCPI commands and answers to a LAN instrument as ONC RPC calls of the
// VXI-11 core channel over one TCP connection. One instance is one connection; it is used by
// the worker thread of its instrument only, and its address is its abort-request key.
//
// An exchange: SetTermChar / SetRequestSize, PrepareData, CreateLink, SendData, RequestData,
// DestroyLink. The settings' time-out goes to the instrument as io_timeout; the connection
// itself waits that long plus the lock time-out and a margin, so that an instrument's own
// time-out arrives as its error and not as silence.
#pragma once

#include "common/DataBuffer.h"
#include "common/Failure.h"
#include "transport/RpcVxi.h"
#include "transport/TcpSocket.h"
#include "transport/TransportSettings.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace Lxi {

struct uLxiInstance {
    std::int64_t iProgressStep = 102400; // bytes between two progress events
    uNetworkSettings mSettings;          // the caller's settings; iConnection is 1 while connected
    TcpSocket::uSocket mConnection;
    DataBuffer pSendData; // the prepared message: command text and payload
    std::size_t iSendSize = 0;
    std::size_t iReceiveSize = 0; // bytes of the answer RequestData collected so far
    RpcVxi::uRpc mRpc;
    // A link belongs to the connection it was made on: connections are counted as they open,
    // and the link remembers the count of its own. A link of an earlier connection is gone.
    std::uint64_t iConnectionCount = 0;
    std::uint64_t iLinkConnection = 0; // 0: no link made yet
    // Why the last reconnect after a failed call did not succeed; empty after a good connect.
    std::string sReconnectError;
    // A read ended without its answer (a time-out above all): the instrument may still put it
    // into its output queue, where the next query would find it. The next SendData clears the
    // device first. The queue outlives this instance's links and connections, so the instance's
    // own next connection still clears it; another instance owes nothing, and its first query
    // interrupts an answer left unread (IEEE 488.2 "Query INTERRUPTED").
    bool fAnswerOwed = false;
    // The kind of the last failed call. A broken connection counts as GoneAfter (the call's
    // bytes may have reached the instrument), and so does any failure after which the
    // connection could not be made again; CreateLink makes both GoneBefore, since nothing of
    // the request has left then.
    Failure::eKind eFailure = Failure::eKind::None;
    // The record of the last connect (the portmapper's or the core port's; empty after a success).
    Failure::uFailure connectFailure;
};

// Margin the connection waits beyond the instrument's io_timeout and lock_timeout.
inline constexpr int ReplyMarginMs = 1000;
// Connect time-out, whatever the settings' time-out says.
inline constexpr int ConnectTimeoutMs = 2000;

// Creates an instance (in the module's list) with the defaults; the progress step comes from
// the program's VXI-11 default.
std::shared_ptr<uLxiInstance> NewInstance(std::string& sError);
// Closes an open connection, then removes the instance from the list (Destructor).
bool DeleteInstance(uLxiInstance& instance, std::string& sError);
// Removes the instance from the list and frees its buffers; fails for an unknown instance.
bool Destructor(uLxiInstance& instance, std::string& sError);
// Instances in the list now, and ever created.
std::size_t LiveInstances();
std::size_t CreatedInstances();

// Closes an open connection and copies the settings (adapter address, instrument address and
// port must be given). The settings' time-out becomes the io_timeout of every call.
bool SetInstrument(uLxiInstance& instance, const uNetworkSettings& settings, std::string& sError);
bool Connect(uLxiInstance& instance, std::string& sError);
void Disconnect(uLxiInstance& instance);
// Asks the portmapper at the settings' address and port for the core channel's TCP port;
// opens and closes a connection of its own. 0 on failure.
int GetTcpRpcPort(uLxiInstance& instance, std::string& sError);

// requestSize of device_read; 0 selects 2 MiB.
void SetRequestSize(uLxiInstance& instance, std::uint32_t iSize);
// termChar of device_read and the flag that it is set.
void SetTermChar(uLxiInstance& instance, std::uint8_t iChar, bool fEnable);
// io_timeout of the calls from now on, in ms; 0 takes the interface's configured time-out.
void SetTimeout(uLxiInstance& instance, std::int64_t iTimeoutMs);

// The message of the next SendData: the command text followed by the payload bytes.
bool PrepareData(uLxiInstance& instance, const std::string& sCommand, const std::uint8_t* pPayload,
                 std::size_t iPayloadSize, std::string& sError);

bool CreateLink(uLxiInstance& instance, std::string& sError);
// Sends destroy_link for a link of the open connection. A link that went with its connection
// (the connection was rebuilt after a failed call, or is gone) is only forgotten: its number
// means nothing on another connection. iLid becomes 0 in every case.
bool DestroyLink(uLxiInstance& instance, std::string& sError);
bool DeviceRemote(uLxiInstance& instance, std::string& sError);
bool DeviceLocal(uLxiInstance& instance, std::string& sError);
// device_clear: the instrument drops its input and every unread answer (IEEE 488.1 device clear).
bool DeviceClear(uLxiInstance& instance, std::string& sError);

// Sends the prepared message in chunks of maxRecvSize, END on the last; progress (type 4) to
// iWindow. iBytesSent: bytes of the chunks that went out. After a read that ended without its
// answer, device_clear goes first, so that a late answer is never read as this message's; an
// instrument that refuses it is written to all the same.
bool SendData(uLxiInstance& instance, std::size_t& iBytesSent, int iWindow, std::string& sError);
// Reads the answer with device_read until END or the termination character; progress
// (type 7) to iWindow. The answer is collected straight into the caller's buffer, whose memory
// is reused: on success it holds exactly the answer's bytes, on failure none (and the answer is
// owed, see SendData).
bool RequestData(uLxiInstance& instance, DataBuffer& answer, int iWindow, std::string& sError);

// Sends the message built last; receives one complete reply to it into the record's reply
// buffer (replies to earlier calls are skipped).
bool SocketWrite(uLxiInstance& instance, std::string& sError);
bool SocketRead(uLxiInstance& instance, std::string& sError);

} // namespace Lxi
