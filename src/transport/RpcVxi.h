// ONC RPC version 2 messages of the portmapper (GETPORT) and of the VXI-11 core channel: the
// builders of the calls and the checks and readers of the replies. No input or output here:
// the VXI-11 transport sends what is built and hands back the received reply; the LAN search
// uses the GETPORT builder and reader over UDP (without record marking).
//
// Every number on the wire is a 32-bit big-endian word; credentials and verifier of a call are
// AUTH_NONE. A received reply is read only within the bytes that actually arrived.
#pragma once

#include "common/DataBuffer.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace RpcVxi {

inline constexpr std::uint32_t PortmapperProgram = 100000;
inline constexpr std::uint32_t PortmapperVersion = 2;
inline constexpr std::uint32_t PortmapperGetPort = 3;
inline constexpr std::uint32_t VxiCoreProgram = 0x0607AF;
inline constexpr std::uint32_t VxiCoreVersion = 1;

enum eVxiProcedure {
    VxiCreateLink = 10,
    VxiDeviceWrite = 11,
    VxiDeviceRead = 12,
    VxiDeviceClear = 15,
    VxiDeviceRemote = 16,
    VxiDeviceLocal = 17,
    VxiDestroyLink = 23,
};

// Bits of the flags word and of the device_read reason. With FlagWaitLock, a call that finds the
// device locked by another link waits up to lock_timeout for it (the link of an abandoned
// connection whose read still runs in the instrument holds it until that read ends); without it,
// such a call fails at once with "Device Locked By Another Link".
inline constexpr std::uint32_t FlagWaitLock = 0x01;
inline constexpr std::uint32_t FlagEnd = 0x08;
inline constexpr std::uint32_t FlagTermCharSet = 0x80;
inline constexpr std::uint32_t ReasonRequestCount = 1;
inline constexpr std::uint32_t ReasonTermChar = 2;
inline constexpr std::uint32_t ReasonEnd = 4;

// The working record of one connection. The defaults are the VXI-11 transport's.
struct uRpc {
    std::int64_t iXId = 0;            // id of the last call built (signed 32-bit value); 0: none yet
    bool fRecordMarking = true;       // messages carry the 4-byte TCP record mark
    std::string sDevice = "inst0";    // device name of create_link
    std::uint32_t iIoTimeout = 5000;  // io_timeout in ms
    bool fLockDevice = false;
    std::uint32_t iLockTimeout = 2000;
    std::uint32_t iFlags = FlagWaitLock; // flags word of every call of the link
    std::int32_t iLid = 0;            // link id from create_link
    std::uint32_t iAbortPort = 0;
    std::uint32_t iMaxRecvSize = 0;   // largest device_write chunk the instrument takes
    std::uint32_t iRequestSize = 1024;
    std::uint32_t iTermChar = 10;
    std::uint32_t iReason = 0;        // reason word of the last device_read reply

    // Where the procedure's results lie in pRpcDataReply (set by the reply check).
    std::size_t iResultOffset = 0;
    std::size_t iResultSize = 0;
    // Where the data bytes of the last device_read reply lie in pRpcDataReply.
    std::size_t iReadOffset = 0;
    std::size_t iReadSize = 0;
    // Data bytes of the last reply that the transport received straight into their destination
    // instead of pRpcDataReply (0: all of the reply is in pRpcDataReply).
    std::size_t iReadExternal = 0;

    // The bytes the next device_write carries (not owned).
    const std::uint8_t* pWriteData = nullptr;
    std::size_t iWriteSize = 0;

    // The received reply (with record marking: one mark whose length counts the whole reply,
    // the 4 mark bytes included) and the number of bytes received; the buffer's capacity is
    // what was allocated for it.
    DataBuffer pRpcDataReply;
    std::size_t iRpcDataReplySize = 0;
    // The message built last (iRpcDataSize bytes); the buffer only grows.
    DataBuffer pRpcData;
    std::size_t iRpcDataSize = 0;
};

// Makes pRpcData hold at least iSize bytes and sets iRpcDataSize to iSize.
bool CreateRpcDataMemory(uRpc& rpc, std::size_t iSize, std::string& sError);
// The id after iXId: +1 on the low 32 bits as a signed value (0x7FFFFFFF → -0x80000000), never 0.
std::int64_t GetNextXId(std::int64_t iXId);
// Zero bytes that pad a length to a multiple of 4.
std::size_t GetPaddingSize(std::size_t iLength);

// Builders: each writes one complete call into pRpcData.
bool CreateRpcDataGetPort(uRpc& rpc, std::string& sError);
bool CreateRpcDataVxiCreateLink(uRpc& rpc, std::string& sError);
bool CreateRpcDataVxiDeviceWrite(uRpc& rpc, std::string& sError);
bool CreateRpcDataVxiDeviceRead(uRpc& rpc, std::string& sError);
bool CreateRpcDataVxiDeviceRemote(uRpc& rpc, std::string& sError);
bool CreateRpcDataVxiDeviceLocal(uRpc& rpc, std::string& sError);
bool CreateRpcDataVxiDeviceClear(uRpc& rpc, std::string& sError);
bool CreateRpcDataVxiDestroyLink(uRpc& rpc, std::string& sError);

// The transaction id of the reply in pRpcDataReply; false when too few bytes arrived.
bool GetReplyXId(const uRpc& rpc, std::uint32_t& iXId);

// Checks a VXI-11 reply (size, transaction id, message type, reply state, accept state) and
// sets iResultOffset / iResultSize; on failure both are 0.
bool CheckRpcData(uRpc& rpc, std::string& sError);
// The port (1..65535) of a GETPORT reply, 0 on any failure.
int GetRpcDataGetPort(uRpc& rpc, std::string& sError);

// Readers of the results; each checks the device error word first.
bool GetVxiCreateLinkData(uRpc& rpc, std::string& sError);
// A device_write reply → the size taken, 0 on error.
std::uint32_t GetReplyValue(uRpc& rpc, std::string& sError);
// A device_read reply → the number of data bytes (iReadOffset / iReadSize set), 0 on error.
// When the transport took the data out already (iReadExternal), the length word must count
// exactly those bytes; iReadOffset is then 0.
std::size_t GetVxiDeviceReadData(uRpc& rpc, std::string& sError);
bool CheckVxiDeviceRemoteData(uRpc& rpc, std::string& sError);
bool CheckVxiDeviceLocalData(uRpc& rpc, std::string& sError);
bool CheckVxiDeviceClearData(uRpc& rpc, std::string& sError);
bool CheckVxiDestroyLinkData(uRpc& rpc, std::string& sError);
// Reads the first result word (the device error code); true when it is 0.
bool CheckVxiDataErrorCode(uRpc& rpc, std::int32_t& iErrorCode, std::string& sError);

// A number as upper-case hexadecimal digits without leading zeros (the "$" values of the texts).
std::string GetHexText(std::uint64_t iValue);

// Texts of the protocol numbers; "(Unknown)" for any other number.
std::string GetMessageTypeText(std::int64_t iValue);
std::string GetReplyStateText(std::int64_t iValue);
std::string GetAcceptStateText(std::int64_t iValue);
std::string GetRejectStateText(std::int64_t iValue);
std::string GetAuthErrorText(std::int64_t iValue);
std::string GetVxiErrorText(std::int64_t iValue);

} // namespace RpcVxi
