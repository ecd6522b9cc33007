// Arbitrary bytes as the ONC RPC reply that the VXI-11 transport or the LAN search received.
// Byte 0 picks the reader (GETPORT over TCP or UDP, create_link, device_write, device_read
// with the data in the reply or taken out before, device_remote/local, destroy_link) and
// whether the call's transaction id is the reply's own (so the checks go past it); byte 1 how
// many bytes the reply buffer has beyond the reply and, for device_read, how many data bytes
// the transport took out of the stream; the rest is the reply as received, record mark
// included where TCP has one. Every offset a reader hands
// back must lie within the bytes received.
#include "transport/RpcVxi.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pInput, std::size_t iSize) {
    if (iSize < 3) return 0;
    const int iReader = pInput[0] % 9;
    const bool fSameXId = (pInput[0] & 0x80) != 0;
    RpcVxi::uRpc rpc;
    rpc.fRecordMarking = iReader != 1;
    rpc.iXId = 0x12345678;
    // The reply buffer as the transport allocates it: room for more than arrived.
    const std::size_t iReply = iSize - 2;
    if (!rpc.pRpcDataReply.reserve(iReply + pInput[1])) return 0;
    rpc.pRpcDataReply.assign(pInput + 2, iReply);
    rpc.iRpcDataReplySize = iReply;
    std::uint32_t iXId = 0;
    if (fSameXId && RpcVxi::GetReplyXId(rpc, iXId)) rpc.iXId = static_cast<std::int32_t>(iXId);

    std::string sError;
    if (iReader < 2) {
        const int iPort = RpcVxi::GetRpcDataGetPort(rpc, sError);
        if (iPort < 0 || iPort > 65535 || (iPort == 0 && sError.empty())) __builtin_trap();
        return 0;
    }
    // The VXI-11 transport checks the reply, then reads the procedure's results.
    if (!RpcVxi::CheckRpcData(rpc, sError)) {
        if (rpc.iResultOffset || rpc.iResultSize || sError.empty()) __builtin_trap();
        return 0;
    }
    if (rpc.iResultOffset + rpc.iResultSize > iReply) __builtin_trap();
    switch (iReader) {
    case 2: RpcVxi::GetVxiCreateLinkData(rpc, sError); break;
    case 3: RpcVxi::GetReplyValue(rpc, sError); break;
    case 4:
    case 5: {
        // Case 5: the transport took this many data bytes out of the stream itself.
        if (iReader == 5) rpc.iReadExternal = pInput[1];
        const std::size_t iData = RpcVxi::GetVxiDeviceReadData(rpc, sError);
        if (iData != rpc.iReadSize) __builtin_trap();
        if (rpc.iReadExternal ? (iData && iData != rpc.iReadExternal)
                              : rpc.iReadOffset + rpc.iReadSize > rpc.iResultOffset + rpc.iResultSize) {
            __builtin_trap();
        }
        break;
    }
    case 6: RpcVxi::CheckVxiDeviceRemoteData(rpc, sError); break;
    case 7: RpcVxi::CheckVxiDeviceLocalData(rpc, sError); break;
    default: RpcVxi::CheckVxiDestroyLinkData(rpc, sError); break;
    }
    return 0;
}
