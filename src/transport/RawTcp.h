// The raw TCP transport: SCPI text and binary data to a LAN instrument over a plain TCP
// connection (usually port 5025). A message is the command text, an optional payload and the
// end-of-message text; the answer is everything that arrives until the data end with that
// text (behind the data of a leading "#n" block). One instance is one connection; it is used by
// the worker thread of its instrument only, and its address is its abort-request key.
//
// Per exchange: SetEndOfMessage, SetTimeout, PrepareData, SendData, RequestData.
#pragma once

#include "transport/StreamTransfer.h"
#include "transport/TcpSocket.h"
#include "transport/TransportSettings.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace RawTcp {

struct uRawTcpInstance : StreamTransfer::uStreamInstance {
    uNetworkSettings mSettings; // the caller's settings; iConnection is 1 while connected
    TcpSocket::uSocket mConnection;
};

// Connect time-out, whatever the settings' time-out says.
inline constexpr int ConnectTimeoutMs = 2000;
// Largest piece of one send.
inline constexpr std::size_t PieceSize = 0x10000;

// Creates an instance in the module's list; its progress step is the program's raw TCP step.
std::shared_ptr<uRawTcpInstance> NewInstance(std::string& sError);
// Closes an open connection, then removes the instance (Destructor).
bool DeleteInstance(uRawTcpInstance& instance, std::string& sError);
// Removes the instance from the list and frees its buffers; fails for an unknown instance.
bool Destructor(uRawTcpInstance& instance, std::string& sError);
// Instances in the list now, and ever created.
std::size_t LiveInstances();
std::size_t CreatedInstances();

// Closes an open connection and copies the settings; adapter address, instrument address and
// port must be given.
bool SetInstrument(uRawTcpInstance& instance, const uNetworkSettings& settings, std::string& sError);
bool Connect(uRawTcpInstance& instance, std::string& sError);
void Disconnect(uRawTcpInstance& instance);
// Send and silence time-out in ms; 0 selects the program's raw TCP time-out.
void SetTimeout(uRawTcpInstance& instance, std::int64_t iTimeoutMs);
void SetEndOfMessage(uRawTcpInstance& instance, const std::string& sEndOfMessage);

// The message of the next SendData: command, payload, end-of-message text.
bool PrepareData(uRawTcpInstance& instance, const std::string& sCommand, const std::uint8_t* pPayload,
                 std::size_t iPayloadSize, std::string& sError);
// SocketWrite.
bool SendData(uRawTcpInstance& instance, std::size_t& iBytesSent, int iWindow, std::string& sError);
// Sends the prepared message; type-4 progress to iWindow; iBytesSent: bytes taken.
bool SocketWrite(uRawTcpInstance& instance, std::size_t& iBytesSent, int iWindow, std::string& sError);
// SocketRead into the caller's buffer, whose memory is reused: on success it holds exactly the
// answer's bytes, on failure none; with iKeep, behind the buffer's first iKeep bytes, which stay
// (StreamTransfer::ReadAnswer).
bool RequestData(uRawTcpInstance& instance, DataBuffer& answer, int iWindow, std::string& sError,
                 std::size_t iKeep = 0);
// Reads one answer into pReceiveData; type-7 progress to iWindow. See StreamTransfer::Read
// for time-out and abort.
bool SocketRead(uRawTcpInstance& instance, int iWindow, std::string& sError);
// Reads and drops what the instrument still sends until it is quiet for 100 ms.
bool SocketReadEmpty(uRawTcpInstance& instance, std::string& sError);

} // namespace RawTcp
