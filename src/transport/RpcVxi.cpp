#include "transport/RpcVxi.h"

#include <cstring>
#include <initializer_list>
#include <iterator>

namespace RpcVxi {
namespace {

constexpr std::size_t RecordMarkSize = 4;
constexpr std::size_t CallHeaderSize = 40;   // xid .. verifier length
constexpr std::size_t MaxVerifierSize = 400; // the largest opaque_auth body ONC RPC allows
constexpr std::size_t MaxMessageSize = 0x7FFFFFFF;

void PutWord(DataBuffer& buffer, std::size_t iOffset, std::uint32_t iValue) {
    buffer[iOffset] = static_cast<std::uint8_t>(iValue >> 24);
    buffer[iOffset + 1] = static_cast<std::uint8_t>(iValue >> 16);
    buffer[iOffset + 2] = static_cast<std::uint8_t>(iValue >> 8);
    buffer[iOffset + 3] = static_cast<std::uint8_t>(iValue);
}

std::uint32_t GetWord(const DataBuffer& buffer, std::size_t iOffset) {
    return (std::uint32_t(buffer[iOffset]) << 24) | (std::uint32_t(buffer[iOffset + 1]) << 16) |
           (std::uint32_t(buffer[iOffset + 2]) << 8) | std::uint32_t(buffer[iOffset + 3]);
}

// Starts a call: makes room for the whole message, takes the next transaction id and writes
// the record mark (when asked) and the 40-byte call header. iArgs receives the offset of the
// arguments.
bool BeginCall(uRpc& rpc, std::uint32_t iProgram, std::uint32_t iVersion, std::uint32_t iProcedure,
               std::size_t iArgBytes, bool fMark, std::size_t& iArgs, std::string& sError) {
    const std::size_t head = (fMark ? RecordMarkSize : 0) + CallHeaderSize;
    if (!CreateRpcDataMemory(rpc, head + iArgBytes, sError)) return false;
    rpc.iXId = GetNextXId(rpc.iXId);
    std::size_t o = 0;
    if (fMark) {
        PutWord(rpc.pRpcData, 0, 0x80000000u | static_cast<std::uint32_t>(rpc.iRpcDataSize - RecordMarkSize));
        o = RecordMarkSize;
    }
    const std::uint32_t words[10] = {static_cast<std::uint32_t>(rpc.iXId), 0, 2, iProgram, iVersion, iProcedure,
                                     0, 0, 0, 0};
    for (std::uint32_t w : words) {
        PutWord(rpc.pRpcData, o, w);
        o += 4;
    }
    iArgs = o;
    return true;
}

// Writes argument words from iOffset on and returns the offset behind them.
std::size_t PutWords(uRpc& rpc, std::size_t iOffset, std::initializer_list<std::uint32_t> words) {
    for (std::uint32_t w : words) {
        PutWord(rpc.pRpcData, iOffset, w);
        iOffset += 4;
    }
    return iOffset;
}

// Writes bytes and their zero padding from iOffset on.
void PutOpaque(uRpc& rpc, std::size_t iOffset, const std::uint8_t* pData, std::size_t iSize) {
    if (iSize > 0) std::memcpy(rpc.pRpcData.data() + iOffset, pData, iSize);
    std::memset(rpc.pRpcData.data() + iOffset + iSize, 0, GetPaddingSize(iSize));
}

bool BuildGeneric(uRpc& rpc, std::uint32_t iProcedure, std::string& sError) {
    std::size_t o = 0;
    if (!BeginCall(rpc, VxiCoreProgram, VxiCoreVersion, iProcedure, 16, true, o, sError)) return false;
    PutWords(rpc, o, {static_cast<std::uint32_t>(rpc.iLid), rpc.iFlags, rpc.iLockTimeout, rpc.iIoTimeout});
    return true;
}

// The reply's extent: words from iStart (behind the record mark) up to iEnd (exclusive), all
// of them bytes that arrived.
struct uExtent {
    std::size_t iStart = 0;
    std::size_t iEnd = 0;
    bool Has(std::size_t iOffset, std::size_t iBytes) const { return iOffset <= iEnd && iBytes <= iEnd - iOffset; }
};

std::string ShortText(const char* pProcedure, const uExtent& e) {
    return std::string("RpcVxi::") + pProcedure +
           ": Es sind nicht genügend Daten vorhanden - die Antwort endet vor dem erwarteten Wert. iDataLength = " +
           std::to_string(e.iEnd - e.iStart);
}

bool CheckRpcDataSize(const uRpc& rpc, uExtent& e, std::string& sError) {
    const std::size_t received = rpc.iRpcDataReplySize;
    if (!rpc.pRpcDataReply.allocated() || received == 0) {
        sError = "RpcVxi::CheckRpcDataSize: Der übergebene Zeiger für die Daten *uRpc\\pRpcDataReply ist Null.";
        return false;
    }
    if (rpc.pRpcDataReply.capacity() < received) {
        sError = "RpcVxi::CheckRpcDataSize: Der Speicher *uRpc\\pRpcDataReply mit den empfangenen Daten ist kleiner "
                 "als die angegebene Datenlänge.";
        return false;
    }
    if (rpc.fRecordMarking) {
        if (received <= RecordMarkSize) {
            sError = "RpcVxi::CheckRpcDataSize: Es sind nicht genügend Daten vorhanden - kleiner als "
                     "#iRecordMarkingHeaderLength.";
            return false;
        }
        // The transport rewrites the mark of a joined reply to count the whole reply.
        const std::size_t length = GetWord(rpc.pRpcDataReply, 0) & 0x7FFFFFFFu;
        if (length > received) {
            sError = "RpcVxi::CheckRpcDataSize: Es sind nicht genügend Daten vorhanden - die angegebene Länge im "
                     "Header ist größer als der Datenbuffer. iDataLength = " +
                     std::to_string(length) + " - iDataBufferSize = " + std::to_string(received);
            return false;
        }
        e.iStart = RecordMarkSize;
        e.iEnd = length < RecordMarkSize ? RecordMarkSize : length;
    } else {
        e.iStart = 0;
        e.iEnd = received;
    }
    if (!e.Has(e.iStart, 12)) {
        sError = "RpcVxi::CheckRpcDataSize: Es sind nicht genügend Daten vorhanden - die Antwort ist kürzer als der "
                 "RPC-Kopf. iDataLength = " +
                 std::to_string(e.iEnd - e.iStart);
        return false;
    }
    return true;
}

bool CheckRpcDataReject(const uRpc& rpc, const uExtent& e, std::uint32_t iReplyState, std::string& sError) {
    const std::size_t w3 = e.iStart + 12;
    if (iReplyState != 1) {
        sError = "RpcVxi::CheckRpcDataReject: Der RejectState konnte nicht ermittelt werden. ReplyState ist nicht "
                 "'Denied' = " +
                 std::to_string(iReplyState) + " - " + GetReplyStateText(iReplyState);
        return false;
    }
    if (!e.Has(w3, 4)) {
        sError = ShortText("CheckRpcDataReject", e);
        return false;
    }
    const std::uint32_t reject = GetWord(rpc.pRpcDataReply, w3);
    if (reject == 0 && e.Has(w3 + 4, 8)) {
        sError = "RpcVxi::CheckRpcDataReject: Die RPC-Version wird nicht unterstützt. Unterstützt wird die Version " +
                 std::to_string(GetWord(rpc.pRpcDataReply, w3 + 4)) + " bis " +
                 std::to_string(GetWord(rpc.pRpcDataReply, w3 + 8)) + ".";
    } else if (reject == 1 && e.Has(w3 + 4, 4)) {
        const std::uint32_t auth = GetWord(rpc.pRpcDataReply, w3 + 4);
        sError = "RpcVxi::CheckRpcDataReject: Ungültige Authentifizierung. AuthError = " + std::to_string(auth) +
                 " - " + GetAuthErrorText(auth);
    } else if (reject == 0 || reject == 1) {
        sError = ShortText("CheckRpcDataReject", e);
    } else {
        sError = "RpcVxi::CheckRpcDataReject: Der RejectState konnte nicht ermittelt werden. RejectState = " +
                 std::to_string(reject) + " - " + GetRejectStateText(reject);
    }
    return false;
}

// Checks 1 to 5 of a reply; iResults receives the offset of the procedure's results.
bool CheckReplyHeader(const uRpc& rpc, uExtent& e, std::size_t& iResults, std::string& sError) {
    if (!CheckRpcDataSize(rpc, e, sError)) return false;
    const std::uint32_t xid = GetWord(rpc.pRpcDataReply, e.iStart);
    if (rpc.iXId != 0 && xid != static_cast<std::uint32_t>(rpc.iXId)) {
        sError = "RpcVxi::CheckRpcDataXId: Die XID stimmt nicht mit den empfangenen Daten überein. iXId = $" +
                 GetHexText(static_cast<std::uint32_t>(rpc.iXId)) + " - iDataXId = $" + GetHexText(xid);
        return false;
    }
    const std::uint32_t type = GetWord(rpc.pRpcDataReply, e.iStart + 4);
    if (type != 1) {
        sError = "RpcVxi::CheckRpcDataType: Die Daten enthalten keine RPC-Antwort. iMessageType = " +
                 GetMessageTypeText(type);
        return false;
    }
    const std::uint32_t state = GetWord(rpc.pRpcDataReply, e.iStart + 8);
    if (state != 0) {
        std::string sReject;
        CheckRpcDataReject(rpc, e, state, sReject);
        sError = "RpcVxi::CheckRpcDataAccept: Die Anfrage wurde vom Instrument nicht akzeptiert. iReplyState = " +
                 GetReplyStateText(state) + "\r\n" + sReject;
        return false;
    }
    // Accepted: verifier flavor and length, the verifier's body padded to whole words, then
    // the accept state.
    if (!e.Has(e.iStart + 12, 8)) {
        sError = ShortText("CheckRpcDataAcceptState", e);
        return false;
    }
    const std::size_t verifier = GetWord(rpc.pRpcDataReply, e.iStart + 16);
    const std::size_t accept = e.iStart + 20 + (verifier <= MaxVerifierSize ? verifier + GetPaddingSize(verifier) : 0);
    if (verifier > MaxVerifierSize || !e.Has(accept, 4)) {
        sError = ShortText("CheckRpcDataAcceptState", e);
        return false;
    }
    const std::uint32_t acceptState = GetWord(rpc.pRpcDataReply, accept);
    if (acceptState != 0) {
        sError = "RpcVxi::CheckRpcDataAcceptState: Die Anfrage wurde vom Instrument nicht ausgeführt. AcceptState = " +
                 GetAcceptStateText(acceptState);
        return false;
    }
    iResults = accept + 4;
    return true;
}

// The result word at index i (after CheckRpcData), or false when it did not arrive.
bool ResultWord(const uRpc& rpc, std::size_t i, std::uint32_t& iValue) {
    if (rpc.iResultSize < (i + 1) * 4) return false;
    iValue = GetWord(rpc.pRpcDataReply, rpc.iResultOffset + i * 4);
    return true;
}

bool CheckResultWords(const uRpc& rpc, std::size_t iWords, const char* pProcedure, std::string& sError) {
    if (rpc.iResultSize >= iWords * 4) return true;
    sError = std::string("RpcVxi::") + pProcedure +
             ": Es sind nicht genügend Daten vorhanden - die Antwort enthält nicht alle Ergebniswerte. iResultSize = " +
             std::to_string(rpc.iResultSize);
    return false;
}

const char* TableText(const char* const* pTable, std::size_t iCount, std::int64_t iValue) {
    if (iValue < 0 || static_cast<std::uint64_t>(iValue) >= iCount || !pTable[iValue]) return "(Unknown)";
    return pTable[iValue];
}

} // namespace

bool CreateRpcDataMemory(uRpc& rpc, std::size_t iSize, std::string& sError) {
    const bool fFirst = !rpc.pRpcData.allocated();
    if (!rpc.pRpcData.reserve(iSize)) {
        rpc.pRpcData.release();
        rpc.iRpcDataSize = 0;
        sError = fFirst ? "RpcVxi::CreateRpcDataMemory: Der Speicher für die RPC-Daten konnte nicht reserviert werden."
                        : "RpcVxi::CreateRpcDataMemory: Der Speicher für die RPC-Daten konnte nicht vergrößert werden.";
        return false;
    }
    rpc.pRpcData.setSize(iSize);
    rpc.iRpcDataSize = iSize;
    return true;
}

std::int64_t GetNextXId(std::int64_t iXId) {
    const std::uint32_t next = static_cast<std::uint32_t>(iXId) + 1u;
    const std::int32_t value = static_cast<std::int32_t>(next);
    return value == 0 ? 1 : value;
}

std::size_t GetPaddingSize(std::size_t iLength) { return iLength % 4 == 0 ? 0 : 4 - iLength % 4; }

bool CreateRpcDataGetPort(uRpc& rpc, std::string& sError) {
    std::size_t o = 0;
    if (!BeginCall(rpc, PortmapperProgram, PortmapperVersion, PortmapperGetPort, 16, rpc.fRecordMarking, o, sError))
        return false;
    PutWords(rpc, o, {VxiCoreProgram, VxiCoreVersion, 6, 0});
    return true;
}

bool CreateRpcDataVxiCreateLink(uRpc& rpc, std::string& sError) {
    const std::size_t name = rpc.sDevice.size();
    std::size_t o = 0;
    if (!BeginCall(rpc, VxiCoreProgram, VxiCoreVersion, VxiCreateLink, 16 + name + GetPaddingSize(name), true, o,
                   sError))
        return false;
    o = PutWords(rpc, o, {static_cast<std::uint32_t>(GetNextXId(0)), rpc.fLockDevice ? 1u : 0u, rpc.iLockTimeout,
                          static_cast<std::uint32_t>(name)});
    PutOpaque(rpc, o, reinterpret_cast<const std::uint8_t*>(rpc.sDevice.data()), name);
    return true;
}

bool CreateRpcDataVxiDeviceWrite(uRpc& rpc, std::string& sError) {
    if (rpc.iWriteSize > 0 && !rpc.pWriteData) {
        sError = "RpcVxi::CreateRpcDataVxiDeviceWrite: Der Speicher für die zu sendenden Payload-Daten ist Null.";
        return false;
    }
    if (rpc.iWriteSize > MaxMessageSize - 64) {
        sError = "RpcVxi::CreateRpcDataVxiDeviceWrite: Die Payload-Daten sind zu groß für eine RPC-Nachricht. "
                 "iWriteSize = " +
                 std::to_string(rpc.iWriteSize);
        return false;
    }
    std::size_t o = 0;
    if (!BeginCall(rpc, VxiCoreProgram, VxiCoreVersion, VxiDeviceWrite,
                   20 + rpc.iWriteSize + GetPaddingSize(rpc.iWriteSize), true, o, sError))
        return false;
    o = PutWords(rpc, o, {static_cast<std::uint32_t>(rpc.iLid), rpc.iIoTimeout, rpc.iLockTimeout, rpc.iFlags,
                          static_cast<std::uint32_t>(rpc.iWriteSize)});
    PutOpaque(rpc, o, rpc.pWriteData, rpc.iWriteSize);
    return true;
}

bool CreateRpcDataVxiDeviceRead(uRpc& rpc, std::string& sError) {
    std::size_t o = 0;
    if (!BeginCall(rpc, VxiCoreProgram, VxiCoreVersion, VxiDeviceRead, 24, true, o, sError)) return false;
    PutWords(rpc, o, {static_cast<std::uint32_t>(rpc.iLid), rpc.iRequestSize, rpc.iIoTimeout, rpc.iLockTimeout,
                      rpc.iFlags, rpc.iTermChar});
    return true;
}

bool CreateRpcDataVxiDeviceRemote(uRpc& rpc, std::string& sError) { return BuildGeneric(rpc, VxiDeviceRemote, sError); }

bool CreateRpcDataVxiDeviceLocal(uRpc& rpc, std::string& sError) { return BuildGeneric(rpc, VxiDeviceLocal, sError); }

bool CreateRpcDataVxiDeviceClear(uRpc& rpc, std::string& sError) { return BuildGeneric(rpc, VxiDeviceClear, sError); }

bool CreateRpcDataVxiDestroyLink(uRpc& rpc, std::string& sError) {
    std::size_t o = 0;
    if (!BeginCall(rpc, VxiCoreProgram, VxiCoreVersion, VxiDestroyLink, 4, true, o, sError)) return false;
    PutWords(rpc, o, {static_cast<std::uint32_t>(rpc.iLid)});
    return true;
}

bool GetReplyXId(const uRpc& rpc, std::uint32_t& iXId) {
    const std::size_t start = rpc.fRecordMarking ? RecordMarkSize : 0;
    if (rpc.iRpcDataReplySize < start + 4 || rpc.pRpcDataReply.capacity() < start + 4) return false;
    iXId = GetWord(rpc.pRpcDataReply, start);
    return true;
}

bool CheckRpcData(uRpc& rpc, std::string& sError) {
    rpc.iResultOffset = 0;
    rpc.iResultSize = 0;
    uExtent e;
    std::size_t results = 0;
    if (!CheckReplyHeader(rpc, e, results, sError)) return false;
    rpc.iResultOffset = results;
    rpc.iResultSize = e.iEnd - results;
    return true;
}

int GetRpcDataGetPort(uRpc& rpc, std::string& sError) {
    uExtent e;
    std::size_t results = 0;
    if (!CheckReplyHeader(rpc, e, results, sError)) return 0;
    if (!e.Has(results, 4)) {
        sError = ShortText("CheckRpcDataGetPort", e);
        return 0;
    }
    const std::uint32_t port = GetWord(rpc.pRpcDataReply, results);
    if (port < 1 || port > 65535) {
        sError = "RpcVxi::CheckRpcDataGetPort: Der empfangene Port ist nicht gültig. Port = " + std::to_string(port);
        return 0;
    }
    return static_cast<int>(port);
}

bool CheckVxiDataErrorCode(uRpc& rpc, std::int32_t& iErrorCode, std::string& sError) {
    std::uint32_t word = 0;
    if (!ResultWord(rpc, 0, word)) {
        CheckResultWords(rpc, 1, "CheckVxiDataErrorCode", sError);
        iErrorCode = -1;
        return false;
    }
    iErrorCode = static_cast<std::int32_t>(word);
    if (iErrorCode == 0) return true;
    sError = "RpcVxi::CheckVxiDataErrorCode: Die VXI-Daten wurden mit einem Fehlercode empfangen. iErrorCode = " +
             GetVxiErrorText(iErrorCode);
    return false;
}

bool GetVxiCreateLinkData(uRpc& rpc, std::string& sError) {
    std::int32_t code = 0;
    if (!CheckVxiDataErrorCode(rpc, code, sError) || !CheckResultWords(rpc, 4, "GetVxiCreateLinkData", sError)) {
        rpc.iLid = 0;
        rpc.iAbortPort = 0;
        rpc.iMaxRecvSize = 0;
        return false;
    }
    std::uint32_t lid = 0, port = 0, size = 0;
    ResultWord(rpc, 1, lid);
    ResultWord(rpc, 2, port);
    ResultWord(rpc, 3, size);
    rpc.iLid = static_cast<std::int32_t>(lid);
    rpc.iAbortPort = port;
    rpc.iMaxRecvSize = size;
    return true;
}

std::uint32_t GetReplyValue(uRpc& rpc, std::string& sError) {
    std::int32_t code = 0;
    if (!CheckVxiDataErrorCode(rpc, code, sError) || !CheckResultWords(rpc, 2, "GetReplyValue", sError)) return 0;
    std::uint32_t size = 0;
    ResultWord(rpc, 1, size);
    return size;
}

std::size_t GetVxiDeviceReadData(uRpc& rpc, std::string& sError) {
    rpc.iReadOffset = 0;
    rpc.iReadSize = 0;
    std::int32_t code = 0;
    if (!CheckVxiDataErrorCode(rpc, code, sError) || !CheckResultWords(rpc, 3, "GetVxiDeviceReadData", sError))
        return 0;
    std::uint32_t reason = 0, length = 0;
    ResultWord(rpc, 1, reason);
    ResultWord(rpc, 2, length);
    rpc.iReason = reason;
    // The data length is a word from the wire: the bytes must have arrived.
    const bool external = rpc.iReadExternal > 0;
    if (external ? length != rpc.iReadExternal : length > rpc.iResultSize - 12) {
        sError = "RpcVxi::GetVxiDeviceReadData: Die angegebene Datenlänge ist größer als die empfangenen Daten. "
                 "iDataLength = " +
                 std::to_string(length) + " - iResultSize = " + std::to_string(rpc.iResultSize + rpc.iReadExternal);
        return 0;
    }
    rpc.iReadOffset = external ? 0 : rpc.iResultOffset + 12;
    rpc.iReadSize = length;
    return length;
}

bool CheckVxiDeviceRemoteData(uRpc& rpc, std::string& sError) {
    std::int32_t code = 0;
    return CheckVxiDataErrorCode(rpc, code, sError);
}

bool CheckVxiDeviceLocalData(uRpc& rpc, std::string& sError) {
    std::int32_t code = 0;
    return CheckVxiDataErrorCode(rpc, code, sError);
}

bool CheckVxiDeviceClearData(uRpc& rpc, std::string& sError) { return CheckVxiDeviceLocalData(rpc, sError); }

bool CheckVxiDestroyLinkData(uRpc& rpc, std::string& sError) {
    std::int32_t code = 0;
    return CheckVxiDataErrorCode(rpc, code, sError);
}

std::string GetHexText(std::uint64_t iValue) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    do {
        s.insert(s.begin(), digits[iValue & 0xF]);
        iValue >>= 4;
    } while (iValue);
    return s;
}

std::string GetMessageTypeText(std::int64_t iValue) {
    static const char* const t[] = {"Call", "Reply"};
    return TableText(t, std::size(t), iValue);
}

std::string GetReplyStateText(std::int64_t iValue) {
    static const char* const t[] = {"Accepted", "Denied"};
    return TableText(t, std::size(t), iValue);
}

std::string GetAcceptStateText(std::int64_t iValue) {
    static const char* const t[] = {"Success", "ProgUnavail", "ProgMismatch", "ProcUnavail", "GarbageArgs", "SystemErr"};
    return TableText(t, std::size(t), iValue);
}

std::string GetRejectStateText(std::int64_t iValue) {
    static const char* const t[] = {"RPCMismatch", "AuthError"};
    return TableText(t, std::size(t), iValue);
}

std::string GetAuthErrorText(std::int64_t iValue) {
    static const char* const t[] = {"Ok",         "BadCred",    "RejectedCred", "BadVerf",
                                    "RejectedVerf", "TooWeak",  "InvalidResp",  "Failed",
                                    "KerbGeneric", "TimeExpire", "TicketFile",  "Decode",
                                    "NetAddress",  "RPCSecGSSCredProblem", "RPCsecGSSContextProblem"};
    return TableText(t, std::size(t), iValue);
}

std::string GetVxiErrorText(std::int64_t iValue) {
    static const char* const t[] = {"No Error",
                                    "Syntax Error",
                                    nullptr,
                                    "Device Not Accessible",
                                    "Invalid Link Identifier",
                                    "Parameter Error",
                                    "Channel Not Established",
                                    nullptr,
                                    "Operation Not Supported",
                                    "Out Of Resources",
                                    nullptr,
                                    "Device Locked By Another Link",
                                    "No Lock Held By This Link",
                                    nullptr,
                                    nullptr,
                                    "IO Time Out",
                                    nullptr,
                                    "IO Error",
                                    nullptr,
                                    nullptr,
                                    nullptr,
                                    "Invalid Address",
                                    nullptr,
                                    "Abort",
                                    nullptr,
                                    nullptr,
                                    nullptr,
                                    nullptr,
                                    nullptr,
                                    "Channel Already Established"};
    return TableText(t, std::size(t), iValue);
}

} // namespace RpcVxi
