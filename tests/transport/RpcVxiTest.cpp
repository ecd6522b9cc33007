// The ONC RPC messages against libtirpc's own XDR encoder, and the reply checks against
// replies that libtirpc encodes (and some that it would never send).
#include "transport/RpcVxi.h"

#include "vxi11.h" // rpcgen structures of the VXI-11 core channel

#include <rpc/pmap_prot.h>
#include <rpc/rpc.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// One call as libtirpc encodes it: call header (AUTH_NONE) and the arguments.
Bytes EncodeCall(std::uint32_t xid, std::uint32_t prog, std::uint32_t vers, std::uint32_t proc, xdrproc_t args,
                 void* pArgs) {
    Bytes buffer(1 << 16);
    XDR x;
    xdrmem_create(&x, reinterpret_cast<char*>(buffer.data()), static_cast<u_int>(buffer.size()), XDR_ENCODE);
    rpc_msg msg{};
    msg.rm_xid = xid;
    msg.rm_direction = CALL;
    msg.rm_call.cb_rpcvers = 2;
    msg.rm_call.cb_prog = prog;
    msg.rm_call.cb_vers = vers;
    msg.rm_call.cb_proc = proc;
    msg.rm_call.cb_cred = _null_auth;
    msg.rm_call.cb_verf = _null_auth;
    EXPECT_TRUE(xdr_callmsg(&x, &msg));
    EXPECT_TRUE(args(&x, pArgs));
    buffer.resize(xdr_getpos(&x));
    xdr_destroy(&x);
    return buffer;
}

// Our message without its record mark; checks that the mark is a last fragment of that length.
Bytes Body(const RpcVxi::uRpc& rpc) {
    EXPECT_GE(rpc.iRpcDataSize, 4u);
    const std::uint8_t* p = rpc.pRpcData.data();
    const std::uint32_t mark = (std::uint32_t(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
    EXPECT_EQ(mark, 0x80000000u | static_cast<std::uint32_t>(rpc.iRpcDataSize - 4));
    return Bytes(p + 4, p + rpc.iRpcDataSize);
}

// A reply as libtirpc encodes it, with the record mark our transport puts in front (its length
// counts the whole reply, the mark included).
Bytes Encode(rpc_msg& msg, std::size_t iRoom) {
    Bytes buffer(iRoom);
    XDR x;
    xdrmem_create(&x, reinterpret_cast<char*>(buffer.data() + 4), static_cast<u_int>(buffer.size() - 4), XDR_ENCODE);
    msg.rm_direction = REPLY;
    EXPECT_TRUE(xdr_replymsg(&x, &msg));
    const std::uint32_t length = xdr_getpos(&x) + 4;
    xdr_destroy(&x);
    buffer.resize(length);
    const std::uint32_t mark = 0x80000000u | length;
    for (int i = 0; i < 4; ++i) buffer[i] = static_cast<std::uint8_t>(mark >> (24 - 8 * i));
    return buffer;
}

Bytes EncodeAccepted(std::uint32_t xid, xdrproc_t results, void* pResults, opaque_auth verf = _null_auth,
                     accept_stat stat = SUCCESS) {
    rpc_msg msg{};
    msg.rm_xid = xid;
    msg.rm_reply.rp_stat = MSG_ACCEPTED;
    msg.acpted_rply.ar_verf = verf;
    msg.acpted_rply.ar_stat = stat;
    msg.acpted_rply.ar_results.where = static_cast<caddr_t>(pResults);
    msg.acpted_rply.ar_results.proc = results;
    return Encode(msg, 1 << 16);
}

Bytes EncodeDenied(std::uint32_t xid, reject_stat stat, std::uint32_t low, std::uint32_t high, auth_stat why) {
    rpc_msg msg{};
    msg.rm_xid = xid;
    msg.rm_reply.rp_stat = MSG_DENIED;
    msg.rjcted_rply.rj_stat = stat;
    if (stat == RPC_MISMATCH) {
        msg.rjcted_rply.rj_vers.low = low;
        msg.rjcted_rply.rj_vers.high = high;
    } else {
        msg.rjcted_rply.rj_why = why;
    }
    return Encode(msg, 256);
}

void SetReply(RpcVxi::uRpc& rpc, const Bytes& reply) {
    rpc.pRpcDataReply.assign(reply.data(), reply.size());
    rpc.iRpcDataReplySize = reply.size();
}

TEST(RpcVxiTest, CallsAreByteIdenticalToLibtirpc) {
    std::string sError;
    RpcVxi::uRpc rpc;

    ASSERT_TRUE(RpcVxi::CreateRpcDataGetPort(rpc, sError));
    EXPECT_EQ(rpc.iRpcDataSize, 60u);
    pmap getport{DEVICE_CORE, DEVICE_CORE_VERSION, IPPROTO_TCP, 0};
    EXPECT_EQ(Body(rpc), EncodeCall(1, PMAPPROG, PMAPVERS, PMAPPROC_GETPORT, (xdrproc_t)xdr_pmap, &getport));

    for (const char* name : {"inst0", "gpib0,12", "x"}) {
        rpc.sDevice = name;
        rpc.fLockDevice = true;
        rpc.iLockTimeout = 1234;
        ASSERT_TRUE(RpcVxi::CreateRpcDataVxiCreateLink(rpc, sError));
        Create_LinkParms link{1, 1, 1234, const_cast<char*>(name)};
        EXPECT_EQ(Body(rpc), EncodeCall(static_cast<std::uint32_t>(rpc.iXId), DEVICE_CORE, DEVICE_CORE_VERSION, 10,
                                        (xdrproc_t)xdr_Create_LinkParms, &link))
            << name;
    }

    rpc.iLid = 7;
    rpc.iIoTimeout = 3000;
    rpc.iLockTimeout = 2000;
    rpc.iFlags = RpcVxi::FlagEnd | RpcVxi::FlagTermCharSet;
    for (std::size_t size : {0u, 1u, 4u, 10u, 1001u}) {
        Bytes data(size);
        for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(i * 13 + 1);
        rpc.pWriteData = data.data();
        rpc.iWriteSize = size;
        ASSERT_TRUE(RpcVxi::CreateRpcDataVxiDeviceWrite(rpc, sError));
        Device_WriteParms write{7, 3000, 2000, 0x88, {static_cast<u_int>(size), reinterpret_cast<char*>(data.data())}};
        EXPECT_EQ(Body(rpc), EncodeCall(static_cast<std::uint32_t>(rpc.iXId), DEVICE_CORE, DEVICE_CORE_VERSION, 11,
                                        (xdrproc_t)xdr_Device_WriteParms, &write))
            << size;
    }

    rpc.iRequestSize = 0x200000;
    rpc.iTermChar = 10;
    ASSERT_TRUE(RpcVxi::CreateRpcDataVxiDeviceRead(rpc, sError));
    EXPECT_EQ(rpc.iRpcDataSize, 68u);
    Device_ReadParms read{7, 0x200000, 3000, 2000, 0x88, 10};
    EXPECT_EQ(Body(rpc), EncodeCall(static_cast<std::uint32_t>(rpc.iXId), DEVICE_CORE, DEVICE_CORE_VERSION, 12,
                                    (xdrproc_t)xdr_Device_ReadParms, &read));

    Device_GenericParms generic{7, 0x88, 2000, 3000};
    ASSERT_TRUE(RpcVxi::CreateRpcDataVxiDeviceRemote(rpc, sError));
    EXPECT_EQ(rpc.iRpcDataSize, 60u);
    EXPECT_EQ(Body(rpc), EncodeCall(static_cast<std::uint32_t>(rpc.iXId), DEVICE_CORE, DEVICE_CORE_VERSION, 16,
                                    (xdrproc_t)xdr_Device_GenericParms, &generic));
    ASSERT_TRUE(RpcVxi::CreateRpcDataVxiDeviceLocal(rpc, sError));
    EXPECT_EQ(Body(rpc), EncodeCall(static_cast<std::uint32_t>(rpc.iXId), DEVICE_CORE, DEVICE_CORE_VERSION, 17,
                                    (xdrproc_t)xdr_Device_GenericParms, &generic));

    Device_Link lid = 7;
    ASSERT_TRUE(RpcVxi::CreateRpcDataVxiDestroyLink(rpc, sError));
    EXPECT_EQ(rpc.iRpcDataSize, 48u);
    EXPECT_EQ(Body(rpc), EncodeCall(static_cast<std::uint32_t>(rpc.iXId), DEVICE_CORE, DEVICE_CORE_VERSION, 23,
                                    (xdrproc_t)xdr_Device_Link, &lid));
}

TEST(RpcVxiTest, MessageSizesAndTheUnmarkedGetPort) {
    std::string sError;
    RpcVxi::uRpc rpc;
    rpc.sDevice = "inst0";
    ASSERT_TRUE(RpcVxi::CreateRpcDataVxiCreateLink(rpc, sError));
    EXPECT_EQ(rpc.iRpcDataSize, 68u);
    EXPECT_EQ(Bytes(rpc.pRpcData.data() + 65, rpc.pRpcData.data() + 68), Bytes(3, 0)); // padding
    rpc.sDevice = "inst0123";
    ASSERT_TRUE(RpcVxi::CreateRpcDataVxiCreateLink(rpc, sError));
    EXPECT_EQ(rpc.iRpcDataSize, 68u);

    rpc.pWriteData = nullptr;
    rpc.iWriteSize = 0;
    ASSERT_TRUE(RpcVxi::CreateRpcDataVxiDeviceWrite(rpc, sError));
    EXPECT_EQ(rpc.iRpcDataSize, 64u);
    EXPECT_EQ(rpc.pRpcData[63], 0); // length word 0

    rpc.iWriteSize = 3;
    EXPECT_FALSE(RpcVxi::CreateRpcDataVxiDeviceWrite(rpc, sError));
    EXPECT_EQ(sError, "RpcVxi::CreateRpcDataVxiDeviceWrite: Der Speicher für die zu sendenden Payload-Daten ist Null.");

    // The search's broadcast: no record mark, 56 bytes starting with the xid.
    RpcVxi::uRpc udp;
    udp.fRecordMarking = false;
    ASSERT_TRUE(RpcVxi::CreateRpcDataGetPort(udp, sError));
    EXPECT_EQ(udp.iRpcDataSize, 56u);
    pmap getport{DEVICE_CORE, DEVICE_CORE_VERSION, IPPROTO_TCP, 0};
    EXPECT_EQ(Bytes(udp.pRpcData.data(), udp.pRpcData.data() + 56),
              EncodeCall(1, PMAPPROG, PMAPVERS, PMAPPROC_GETPORT, (xdrproc_t)xdr_pmap, &getport));
}

TEST(RpcVxiTest, TransactionIdsCountUpWrapAndSkipZero) {
    EXPECT_EQ(RpcVxi::GetNextXId(0), 1);
    EXPECT_EQ(RpcVxi::GetNextXId(1), 2);
    EXPECT_EQ(RpcVxi::GetNextXId(0x7FFFFFFF), -0x80000000LL);
    EXPECT_EQ(RpcVxi::GetNextXId(-1), 1);
    EXPECT_EQ(RpcVxi::GetPaddingSize(5), 3u);
    EXPECT_EQ(RpcVxi::GetPaddingSize(8), 0u);

    std::string sError;
    RpcVxi::uRpc rpc;
    for (int i = 1; i <= 3; ++i) {
        ASSERT_TRUE(RpcVxi::CreateRpcDataVxiDestroyLink(rpc, sError));
        EXPECT_EQ(rpc.iXId, i);
    }
    rpc.iXId = 0x7FFFFFFF;
    ASSERT_TRUE(RpcVxi::CreateRpcDataVxiDestroyLink(rpc, sError));
    EXPECT_EQ(rpc.iXId, -0x80000000LL);
    EXPECT_EQ(rpc.pRpcData[4], 0x80);
}

TEST(RpcVxiTest, AcceptedRepliesAreReadWithinTheBytesReceived) {
    std::string sError;
    RpcVxi::uRpc rpc;
    rpc.iXId = 5;

    Create_LinkResp link{0, 42, 1025, 4096};
    SetReply(rpc, EncodeAccepted(5, (xdrproc_t)xdr_Create_LinkResp, &link));
    ASSERT_TRUE(RpcVxi::CheckRpcData(rpc, sError)) << sError;
    EXPECT_EQ(rpc.iResultOffset, 28u);
    EXPECT_EQ(rpc.iResultSize, 16u);
    ASSERT_TRUE(RpcVxi::GetVxiCreateLinkData(rpc, sError));
    EXPECT_EQ(rpc.iLid, 42);
    EXPECT_EQ(rpc.iAbortPort, 1025u);
    EXPECT_EQ(rpc.iMaxRecvSize, 4096u);

    // A verifier with a body (6 bytes, padded to 8) shifts the results; they are still found.
    char body[6] = {1, 2, 3, 4, 5, 6};
    opaque_auth verf{AUTH_SHORT, body, 6};
    SetReply(rpc, EncodeAccepted(5, (xdrproc_t)xdr_Create_LinkResp, &link, verf));
    ASSERT_TRUE(RpcVxi::CheckRpcData(rpc, sError)) << sError;
    EXPECT_EQ(rpc.iResultOffset, 36u);
    ASSERT_TRUE(RpcVxi::GetVxiCreateLinkData(rpc, sError));
    EXPECT_EQ(rpc.iLid, 42);

    // A device_read reply: reason and data.
    char data[] = "1.2345E+00\n";
    Device_ReadResp readResp{0, 4, {11, data}};
    SetReply(rpc, EncodeAccepted(5, (xdrproc_t)xdr_Device_ReadResp, &readResp));
    ASSERT_TRUE(RpcVxi::CheckRpcData(rpc, sError));
    ASSERT_EQ(RpcVxi::GetVxiDeviceReadData(rpc, sError), 11u);
    EXPECT_EQ(rpc.iReason, 4u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(rpc.pRpcDataReply.data() + rpc.iReadOffset), rpc.iReadSize),
              "1.2345E+00\n");

    Device_WriteResp writeResp{0, 10};
    SetReply(rpc, EncodeAccepted(5, (xdrproc_t)xdr_Device_WriteResp, &writeResp));
    ASSERT_TRUE(RpcVxi::CheckRpcData(rpc, sError));
    EXPECT_EQ(RpcVxi::GetReplyValue(rpc, sError), 10u);
}

TEST(RpcVxiTest, RepliesThatLieAboutTheirLengthsFail) {
    std::string sError;
    RpcVxi::uRpc rpc;
    rpc.iXId = 5;

    // A device_read reply announcing 4 GiB - 1 data bytes with 11 present.
    char data[] = "1.2345E+00\n";
    Device_ReadResp readResp{0, 4, {11, data}};
    Bytes reply = EncodeAccepted(5, (xdrproc_t)xdr_Device_ReadResp, &readResp);
    reply[36] = reply[37] = reply[38] = reply[39] = 0xFF; // the data length word
    SetReply(rpc, reply);
    ASSERT_TRUE(RpcVxi::CheckRpcData(rpc, sError));
    EXPECT_EQ(RpcVxi::GetVxiDeviceReadData(rpc, sError), 0u);
    EXPECT_EQ(rpc.iReadSize, 0u);
    EXPECT_EQ(sError, "RpcVxi::GetVxiDeviceReadData: Die angegebene Datenlänge ist größer als die empfangenen Daten. "
                      "iDataLength = 4294967295 - iResultSize = 24");

    // A length word that overstates the bytes behind it by less than the 12 bytes of error,
    // reason and length words: the result size covers it, the bytes after the word do not.
    // 11 data bytes and one pad byte follow the word; 12 is still within the reply.
    for (std::uint8_t iLength : {13, 16, 23, 24}) {
        reply = EncodeAccepted(5, (xdrproc_t)xdr_Device_ReadResp, &readResp);
        reply[36] = reply[37] = reply[38] = 0;
        reply[39] = iLength;
        SetReply(rpc, reply);
        ASSERT_TRUE(RpcVxi::CheckRpcData(rpc, sError));
        EXPECT_EQ(RpcVxi::GetVxiDeviceReadData(rpc, sError), 0u) << int(iLength);
        EXPECT_EQ(rpc.iReadSize, 0u);
        EXPECT_EQ(sError, "RpcVxi::GetVxiDeviceReadData: Die angegebene Datenlänge ist größer als die empfangenen "
                          "Daten. iDataLength = " +
                              std::to_string(iLength) + " - iResultSize = 24");
    }
    reply[39] = 12;
    SetReply(rpc, reply);
    ASSERT_TRUE(RpcVxi::CheckRpcData(rpc, sError));
    EXPECT_EQ(RpcVxi::GetVxiDeviceReadData(rpc, sError), 12u);
    EXPECT_EQ(rpc.iReadOffset + rpc.iReadSize, rpc.iResultOffset + rpc.iResultSize);

    // A create_link reply cut after the error word: the missing words are not read.
    Create_LinkResp link{0, 42, 1025, 4096};
    reply = EncodeAccepted(5, (xdrproc_t)xdr_Create_LinkResp, &link);
    reply.resize(reply.size() - 8);
    reply[3] = static_cast<std::uint8_t>(reply.size());
    SetReply(rpc, reply);
    ASSERT_TRUE(RpcVxi::CheckRpcData(rpc, sError));
    EXPECT_FALSE(RpcVxi::GetVxiCreateLinkData(rpc, sError));
    EXPECT_EQ(rpc.iLid, 0);
    EXPECT_NE(sError.find("RpcVxi::GetVxiCreateLinkData: Es sind nicht genügend Daten vorhanden"), std::string::npos);

    // A mark that announces more than arrived (the buffer may be larger than what arrived).
    reply = EncodeAccepted(5, (xdrproc_t)xdr_Create_LinkResp, &link);
    rpc.pRpcDataReply.reserve(4096);
    rpc.pRpcDataReply.assign(reply.data(), reply.size());
    rpc.iRpcDataReplySize = reply.size() - 1;
    EXPECT_FALSE(RpcVxi::CheckRpcData(rpc, sError));
    EXPECT_EQ(sError, "RpcVxi::CheckRpcDataSize: Es sind nicht genügend Daten vorhanden - die angegebene Länge im "
                      "Header ist größer als der Datenbuffer. iDataLength = 44 - iDataBufferSize = 43");
    EXPECT_EQ(rpc.iResultOffset, 0u);

    // Only the mark and a word: no header to read.
    SetReply(rpc, Bytes{0x80, 0, 0, 8, 0, 0, 0, 5});
    EXPECT_FALSE(RpcVxi::CheckRpcData(rpc, sError));
    EXPECT_EQ(sError, "RpcVxi::CheckRpcDataSize: Es sind nicht genügend Daten vorhanden - die Antwort ist kürzer als "
                      "der RPC-Kopf. iDataLength = 4");
    SetReply(rpc, Bytes{0x80, 0, 0, 4});
    EXPECT_FALSE(RpcVxi::CheckRpcData(rpc, sError));
    EXPECT_EQ(sError,
              "RpcVxi::CheckRpcDataSize: Es sind nicht genügend Daten vorhanden - kleiner als #iRecordMarkingHeaderLength.");

    // A verifier length beyond the reply.
    reply = EncodeAccepted(5, (xdrproc_t)xdr_Create_LinkResp, &link);
    reply[20] = reply[21] = 0x7F;
    SetReply(rpc, reply);
    EXPECT_FALSE(RpcVxi::CheckRpcData(rpc, sError));
    EXPECT_NE(sError.find("RpcVxi::CheckRpcDataAcceptState: Es sind nicht genügend Daten vorhanden"), std::string::npos);

    RpcVxi::uRpc empty;
    EXPECT_FALSE(RpcVxi::CheckRpcData(empty, sError));
    EXPECT_EQ(sError, "RpcVxi::CheckRpcDataSize: Der übergebene Zeiger für die Daten *uRpc\\pRpcDataReply ist Null.");
}

TEST(RpcVxiTest, ReplyStatesAndDeviceErrorsGiveTheirTexts) {
    std::string sError;
    RpcVxi::uRpc rpc;
    Device_Error ok{0};

    rpc.iXId = 0; // no call built yet: any xid passes
    SetReply(rpc, EncodeAccepted(0x1234ABCD, (xdrproc_t)xdr_Device_Error, &ok));
    EXPECT_TRUE(RpcVxi::CheckRpcData(rpc, sError));
    rpc.iXId = 0x1234ABCE;
    EXPECT_FALSE(RpcVxi::CheckRpcData(rpc, sError));
    EXPECT_EQ(sError, "RpcVxi::CheckRpcDataXId: Die XID stimmt nicht mit den empfangenen Daten überein. iXId = "
                      "$1234ABCE - iDataXId = $1234ABCD");

    rpc.iXId = 9;
    SetReply(rpc, EncodeDenied(9, RPC_MISMATCH, 2, 2, AUTH_OK));
    EXPECT_FALSE(RpcVxi::CheckRpcData(rpc, sError));
    EXPECT_EQ(sError, "RpcVxi::CheckRpcDataAccept: Die Anfrage wurde vom Instrument nicht akzeptiert. iReplyState = "
                      "Denied\r\nRpcVxi::CheckRpcDataReject: Die RPC-Version wird nicht unterstützt. Unterstützt wird "
                      "die Version 2 bis 2.");
    SetReply(rpc, EncodeDenied(9, AUTH_ERROR, 0, 0, AUTH_TOOWEAK));
    EXPECT_FALSE(RpcVxi::CheckRpcData(rpc, sError));
    EXPECT_NE(sError.find("\r\nRpcVxi::CheckRpcDataReject: Ungültige Authentifizierung. AuthError = 5 - TooWeak"),
              std::string::npos);

    SetReply(rpc, EncodeAccepted(9, (xdrproc_t)(void (*)())xdr_void, nullptr, _null_auth, PROC_UNAVAIL));
    EXPECT_FALSE(RpcVxi::CheckRpcData(rpc, sError));
    EXPECT_EQ(sError, "RpcVxi::CheckRpcDataAcceptState: Die Anfrage wurde vom Instrument nicht ausgeführt. "
                      "AcceptState = ProcUnavail");

    // A call instead of a reply.
    Bytes call = EncodeAccepted(9, (xdrproc_t)xdr_Device_Error, &ok);
    call[11] = 0;
    SetReply(rpc, call);
    EXPECT_FALSE(RpcVxi::CheckRpcData(rpc, sError));
    EXPECT_EQ(sError, "RpcVxi::CheckRpcDataType: Die Daten enthalten keine RPC-Antwort. iMessageType = Call");

    Device_Error e2{2};
    SetReply(rpc, EncodeAccepted(9, (xdrproc_t)xdr_Device_Error, &e2));
    ASSERT_TRUE(RpcVxi::CheckRpcData(rpc, sError));
    EXPECT_FALSE(RpcVxi::CheckVxiDestroyLinkData(rpc, sError));
    EXPECT_EQ(sError, "RpcVxi::CheckVxiDataErrorCode: Die VXI-Daten wurden mit einem Fehlercode empfangen. "
                      "iErrorCode = (Unknown)");
    Device_ReadResp timedOut{15, 0, {0, nullptr}};
    SetReply(rpc, EncodeAccepted(9, (xdrproc_t)xdr_Device_ReadResp, &timedOut));
    ASSERT_TRUE(RpcVxi::CheckRpcData(rpc, sError));
    EXPECT_EQ(RpcVxi::GetVxiDeviceReadData(rpc, sError), 0u);
    EXPECT_EQ(sError, "RpcVxi::CheckVxiDataErrorCode: Die VXI-Daten wurden mit einem Fehlercode empfangen. "
                      "iErrorCode = IO Time Out");
}

TEST(RpcVxiTest, GetPortRepliesOverTcpAndUdp) {
    std::string sError;
    RpcVxi::uRpc rpc;
    ASSERT_TRUE(RpcVxi::CreateRpcDataGetPort(rpc, sError));
    for (u_long port : {1ul, 1024ul, 65535ul}) {
        SetReply(rpc, EncodeAccepted(1, (xdrproc_t)xdr_u_long, &port));
        EXPECT_EQ(RpcVxi::GetRpcDataGetPort(rpc, sError), static_cast<int>(port));
    }
    for (u_long port : {0ul, 65536ul}) {
        SetReply(rpc, EncodeAccepted(1, (xdrproc_t)xdr_u_long, &port));
        EXPECT_EQ(RpcVxi::GetRpcDataGetPort(rpc, sError), 0);
        EXPECT_EQ(sError, "RpcVxi::CheckRpcDataGetPort: Der empfangene Port ist nicht gültig. Port = " +
                              std::to_string(port));
    }
    // A reply without its port word.
    SetReply(rpc, EncodeAccepted(1, (xdrproc_t)(void (*)())xdr_void, nullptr));
    EXPECT_EQ(RpcVxi::GetRpcDataGetPort(rpc, sError), 0);

    // Over UDP there is no record mark.
    RpcVxi::uRpc udp;
    udp.fRecordMarking = false;
    ASSERT_TRUE(RpcVxi::CreateRpcDataGetPort(udp, sError));
    u_long port = 4321;
    Bytes reply = EncodeAccepted(1, (xdrproc_t)xdr_u_long, &port);
    SetReply(udp, Bytes(reply.begin() + 4, reply.end()));
    EXPECT_EQ(RpcVxi::GetRpcDataGetPort(udp, sError), 4321);
}

TEST(RpcVxiTest, TextTables) {
    EXPECT_EQ(RpcVxi::GetVxiErrorText(0), "No Error");
    EXPECT_EQ(RpcVxi::GetVxiErrorText(29), "Channel Already Established");
    EXPECT_EQ(RpcVxi::GetVxiErrorText(30), "(Unknown)");
    EXPECT_EQ(RpcVxi::GetVxiErrorText(-1), "(Unknown)");
    EXPECT_EQ(RpcVxi::GetAuthErrorText(14), "RPCsecGSSContextProblem");
    EXPECT_EQ(RpcVxi::GetAcceptStateText(5), "SystemErr");
    EXPECT_EQ(RpcVxi::GetRejectStateText(2), "(Unknown)");
    EXPECT_EQ(RpcVxi::GetReplyStateText(1), "Denied");
    EXPECT_EQ(RpcVxi::GetMessageTypeText(1), "Reply");
}

} // namespace
