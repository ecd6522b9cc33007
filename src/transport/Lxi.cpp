#include "transport/Lxi.h"

#include "transport/AbortRequests.h"
#include "transport/DataBuffers.h"
#include "transport/InstanceList.h"
#include "transport/InterfaceDefaults.h"
#include "transport/TransferStatus.h"

#include <algorithm>
#include <cerrno>

namespace Lxi {
namespace {

constexpr std::size_t PieceSize = 0x10000;         // largest piece of one send
constexpr std::size_t ReplyGrowStep = 0x200000;    // growth of the reply buffer
constexpr std::size_t ReplyOverhead = 0x10000;     // room beyond requestSize for a reply's own words
constexpr std::size_t DefaultRequestSize = 0x200000;
constexpr int MaxStaleReplies = 64;                // replies to earlier calls skipped at most per read

// Never destroyed: a worker thread that outlived its stop wait may still close its connection
// while the process exits.
InstanceList::uList<uLxiInstance>& Instances() {
    static auto* pList = new InstanceList::uList<uLxiInstance>;
    return *pList;
}

// How long the connection waits for a reply: the instrument's own time-outs and a margin.
std::chrono::milliseconds ReplyTimeout(const uLxiInstance& instance) {
    return std::chrono::milliseconds(std::int64_t{instance.mRpc.iIoTimeout} + instance.mRpc.iLockTimeout +
                                     ReplyMarginMs);
}

// Grows a buffer that is filled from the network: by at least the step, and at least doubling,
// so that a long answer is not copied again for every step.
bool Grow(DataBuffer& buffer, std::size_t iNeeded, std::size_t iStep, std::string& sError) {
    if (iNeeded <= buffer.capacity()) return true;
    const std::size_t doubled = buffer.capacity() <= DataBuffer::MaxCapacity / 2 ? buffer.capacity() * 2 : iNeeded;
    return Instrument::CreateMemory(buffer, std::max(iNeeded, doubled), iStep, sError);
}

// The connection broke or a reply did not come: start afresh on a new connection, so that a
// late reply can never be taken for the answer of a later call. The link goes with the old
// connection. A reconnect that fails keeps its text for the calls that then find no connection.
void Reconnect(uLxiInstance& instance) {
    Disconnect(instance);
    std::string sReason;
    if (!Connect(instance, sReason)) instance.sReconnectError = sReason;
}

// The text of a call that finds no connection, with the reason the last reconnect failed.
std::string NoConnectionText(const uLxiInstance& instance, const char* pProcedure) {
    std::string s = std::string("Lxi::") + pProcedure + ": Die Netzwerkverbindung ist nicht vorhanden.";
    if (!instance.sReconnectError.empty()) s += " - " + instance.sReconnectError;
    return s;
}

bool ReadReply(uLxiInstance& instance, DataBuffer* pData, std::string& sError);

// Builds a call, sends it, reads its reply (device_read data straight into pData, when given)
// and checks it. A failed write or read reconnects.
bool Call(uLxiInstance& instance, bool (*build)(RpcVxi::uRpc&, std::string&), std::string& sError,
          DataBuffer* pData = nullptr) {
    instance.eFailure = Failure::eKind::Other;
    if (!build(instance.mRpc, sError)) return false;
    if (!SocketWrite(instance, sError) || !ReadReply(instance, pData, sError)) {
        Reconnect(instance);
        if (instance.mSettings.iConnection == 0) instance.eFailure = Failure::eKind::GoneAfter;
        return false;
    }
    instance.eFailure = Failure::eKind::BadAnswer;
    if (!RpcVxi::CheckRpcData(instance.mRpc, sError)) return false;
    instance.eFailure = Failure::eKind::None;
    return true;
}

// The kind of the instrument's own error in the reply (an io_timeout above all).
Failure::eKind DeviceErrorKind(RpcVxi::uRpc& rpc) {
    std::int32_t iCode = 0;
    std::string sIgnored;
    RpcVxi::CheckVxiDataErrorCode(rpc, iCode, sIgnored);
    if (iCode == 15) return Failure::eKind::TimedOut; // I/O timeout
    if (iCode == 23) return Failure::eKind::Canceled; // abort
    return Failure::eKind::BadAnswer;
}

// A word of the reply buffer, counted from the start of the reply behind the mark.
std::uint32_t ReplyWord(const DataBuffer& reply, std::size_t iPayloadOffset) {
    const std::size_t o = 4 + iPayloadOffset;
    return (std::uint32_t(reply[o]) << 24) | (std::uint32_t(reply[o + 1]) << 16) | (std::uint32_t(reply[o + 2]) << 8) |
           std::uint32_t(reply[o + 3]);
}

// Reads one complete reply to the last call into the record's reply buffer: the payloads of
// its record-marking fragments joined behind one 4-byte mark that counts the whole buffer.
// Replies to earlier calls are skipped. Nothing is read past the reply.
//
// With pData, the data bytes of a device_read reply that answers the call (accepted, no device
// error, no more than requested) are appended straight to pData instead of the reply buffer;
// rpc.iReadExternal counts them. Everything else of the reply stays in the reply buffer.
bool ReadReply(uLxiInstance& instance, DataBuffer* pData, std::string& sError) {
    RpcVxi::uRpc& rpc = instance.mRpc;
    rpc.iRpcDataReplySize = 0;
    rpc.iReadExternal = 0;
    instance.eFailure = Failure::eKind::NotConnected;
    if (!instance.mConnection.IsOpen()) {
        sError = NoConnectionText(instance, "SocketRead");
        return false;
    }
    instance.eFailure = Failure::eKind::NoSpace; // until the buffer is there
    if (!Instrument::CreateMemory(rpc.pRpcDataReply, PieceSize, 0, sError)) {
        sError = "Lxi::SocketRead: Speicher für den Empfangsbuffer der Daten konnte nicht reserviert werden.";
        return false;
    }
    instance.eFailure = Failure::eKind::BadAnswer; // unless the connection says otherwise below
    // A reply may not be much larger than the data asked for.
    const std::size_t maxReply = std::size_t{rpc.iRequestSize} + ReplyOverhead;
    const auto timeout = ReplyTimeout(instance);
    auto deadline = TcpSocket::Clock::now() + timeout;
    const std::size_t dataBase = pData ? pData->size() : 0;
    constexpr std::size_t None = SIZE_MAX;
    int stale = 0;

    for (;;) {
        std::uint8_t header[4];
        std::size_t headerBytes = 0;
        std::size_t fragmentLeft = 0;
        bool inHeader = true;
        bool lastFragment = false;
        std::size_t total = 4;   // bytes in the reply buffer, the mark included
        std::size_t payload = 0; // payload bytes of this reply so far, wherever they went
        std::size_t external = 0;
        // Where the payload is looked at to decide about the data: after the verifier length
        // (20 bytes), then after the length word of the results; data runs up to dataEnd.
        std::size_t inspectAt = pData ? 20 : None;
        std::size_t dataEnd = None;
        bool routing = false;
        if (pData) pData->setSize(dataBase);

        for (;;) {
            std::uint8_t* target = nullptr;
            std::size_t want = 0;
            const bool toData = routing && payload < dataEnd;
            if (inHeader) {
                target = header + headerBytes;
                want = 4 - headerBytes;
            } else if (toData) {
                if (pData->size() == pData->capacity() &&
                    !Grow(*pData, pData->size() + std::min(dataEnd - payload, ReplyGrowStep), ReplyGrowStep, sError)) {
                    sError = "Lxi::SocketRead: Der Speicher für den Empfang der Daten konnte nicht vergrößert werden.";
                    return false;
                }
                target = pData->data() + pData->size();
                want = std::min({fragmentLeft, dataEnd - payload, pData->capacity() - pData->size()});
            } else {
                if (total == rpc.pRpcDataReply.capacity() &&
                    !Grow(rpc.pRpcDataReply, total + std::min(fragmentLeft, ReplyGrowStep), ReplyGrowStep, sError)) {
                    sError = "Lxi::SocketRead: Der Speicher für den Empfang der Daten konnte nicht vergrößert werden.";
                    return false;
                }
                target = rpc.pRpcDataReply.data() + total;
                want = std::min(fragmentLeft, rpc.pRpcDataReply.capacity() - total);
                if (inspectAt != None) want = std::min(want, inspectAt - payload);
            }
            if (want > 0) {
                const std::int64_t n = TcpSocket::Receive(instance.mConnection, target, want);
                if (n == TcpSocket::ReceiveNothing) {
                    if (TcpSocket::WaitReadable(instance.mConnection, deadline) == TcpSocket::WaitTimeout) {
                        instance.eFailure = Failure::eKind::TimedOut;
                        sError = "Lxi::SocketRead: Die Wartezeit für das Empfangen wurde überschritten.";
                        return false;
                    }
                    continue;
                }
                if (n == TcpSocket::ReceiveClosed) {
                    instance.eFailure = Failure::eKind::GoneAfter;
                    sError = "Lxi::SocketRead: Die Netzwerkverbindung wurde unterbrochen.";
                    return false;
                }
                if (n < 0) {
                    instance.eFailure = Failure::eKind::GoneAfter;
                    sError = "Lxi::SocketRead: Die Netzwerkverbindung wurde unterbrochen. Code = " + std::to_string(errno);
                    return false;
                }
                deadline = TcpSocket::Clock::now() + timeout;
                const std::size_t got = static_cast<std::size_t>(n);
                if (inHeader) {
                    headerBytes += got;
                } else {
                    fragmentLeft -= got;
                    payload += got;
                    if (toData) {
                        pData->setSize(pData->size() + got);
                        external += got;
                    } else {
                        total += got;
                    }
                }
            }
            if (inHeader && headerBytes == 4) {
                const std::uint32_t mark = (std::uint32_t(header[0]) << 24) | (std::uint32_t(header[1]) << 16) |
                                           (std::uint32_t(header[2]) << 8) | header[3];
                lastFragment = (mark & 0x80000000u) != 0;
                fragmentLeft = mark & 0x7FFFFFFFu;
                if (fragmentLeft > maxReply || payload > maxReply - fragmentLeft) {
                    sError = "Lxi::SocketRead: Die Antwort ist größer als erwartet. iDataLength = " +
                             std::to_string(payload + fragmentLeft);
                    return false;
                }
                inHeader = false;
                headerBytes = 0;
            }
            if (payload == inspectAt) {
                if (inspectAt == 20) {
                    // Accepted reply: the verifier (padded) and four result words follow.
                    const std::uint32_t verifier = ReplyWord(rpc.pRpcDataReply, 16);
                    inspectAt = ReplyWord(rpc.pRpcDataReply, 8) == 0 && verifier <= 400
                                    ? 20 + verifier + RpcVxi::GetPaddingSize(verifier) + 16
                                    : None;
                } else {
                    const std::size_t words = inspectAt - 16; // accept_stat, error, reason, length
                    const std::uint32_t length = ReplyWord(rpc.pRpcDataReply, words + 12);
                    if (rpc.iXId != 0 && ReplyWord(rpc.pRpcDataReply, 0) == static_cast<std::uint32_t>(rpc.iXId) &&
                        ReplyWord(rpc.pRpcDataReply, 4) == 1 && ReplyWord(rpc.pRpcDataReply, words) == 0 &&
                        ReplyWord(rpc.pRpcDataReply, words + 4) == 0 && length <= rpc.iRequestSize) {
                        routing = true;
                        dataEnd = payload + length;
                    }
                    inspectAt = None;
                }
            }
            if (!inHeader && fragmentLeft == 0) {
                if (lastFragment) break;
                inHeader = true;
            }
        }
        const std::uint32_t mark = 0x80000000u | static_cast<std::uint32_t>(total);
        rpc.pRpcDataReply[0] = static_cast<std::uint8_t>(mark >> 24);
        rpc.pRpcDataReply[1] = static_cast<std::uint8_t>(mark >> 16);
        rpc.pRpcDataReply[2] = static_cast<std::uint8_t>(mark >> 8);
        rpc.pRpcDataReply[3] = static_cast<std::uint8_t>(mark);
        rpc.pRpcDataReply.setSize(total);
        rpc.iRpcDataReplySize = total;
        rpc.iReadExternal = external;

        // A reply to an earlier call (one that timed out) is skipped.
        std::uint32_t xid = 0;
        if (rpc.iXId == 0 || !RpcVxi::GetReplyXId(rpc, xid) || xid == static_cast<std::uint32_t>(rpc.iXId)) return true;
        if (++stale > MaxStaleReplies) return true; // the reply check reports the mismatch
    }
}

} // namespace

std::shared_ptr<uLxiInstance> NewInstance(std::string& sError) {
    std::shared_ptr<uLxiInstance> instance = Instances().Add();
    if (!instance) {
        sError = "Lxi::Constructor: Es konnte keine neue Instanz erstellt werden. Fehler beim Hinzufügen zu der Liste.";
        return nullptr;
    }
    if (const int step = InterfaceDefaults::ProgressStep(InterfaceVxi11); step > 0) instance->iProgressStep = step;
    return instance;
}

bool Destructor(uLxiInstance& instance, std::string& sError) {
    const auto keep = Instances().Remove(instance); // alive until its buffers are freed
    if (!keep) {
        sError = InstanceList::MissingText("Lxi", &instance);
        return false;
    }
    instance.pSendData.release();
    instance.mRpc.pRpcDataReply.release();
    instance.mRpc.pRpcData.release();
    instance.iSendSize = instance.iReceiveSize = 0;
    return true;
}

bool DeleteInstance(uLxiInstance& instance, std::string& sError) {
    Disconnect(instance);
    return Destructor(instance, sError);
}

std::size_t LiveInstances() { return Instances().Live(); }
std::size_t CreatedInstances() { return Instances().Created(); }

bool SetInstrument(uLxiInstance& instance, const uNetworkSettings& settings, std::string& sError) {
    Disconnect(instance);
    instance.mSettings = settings;
    instance.mSettings.iConnection = 0;
    // The response time-out is what the instrument is told to wait (io_timeout).
    if (settings.iTimeout > 0)
        instance.mRpc.iIoTimeout = static_cast<std::uint32_t>(std::min<std::int64_t>(settings.iTimeout, 0x7FFFFFFF));
    return TcpSocket::CheckSettings("Lxi", settings, sError);
}

bool Connect(uLxiInstance& instance, std::string& sError) {
    // Whatever happens, a link of an earlier connection is gone now.
    ++instance.iConnectionCount;
    if (!TcpSocket::ConnectInstrument("Lxi", instance.mConnection, instance.mSettings, ConnectTimeoutMs, sError,
                                      &instance.connectFailure)) {
        return false;
    }
    instance.sReconnectError.clear();
    return true;
}

void Disconnect(uLxiInstance& instance) {
    if (instance.mConnection.IsOpen()) ++instance.iConnectionCount;
    instance.mConnection.Close();
    instance.mSettings.iConnection = 0;
}

int GetTcpRpcPort(uLxiInstance& instance, std::string& sError) {
    if (!Connect(instance, sError)) return 0;
    instance.mRpc.fRecordMarking = true;
    int port = 0;
    if (!RpcVxi::CreateRpcDataGetPort(instance.mRpc, sError)) {
        sError = "Lxi::GetTcpRpcPort: Die TCP-RPC-Daten für GetPort konnten nicht erstellt werden.";
    } else if (SocketWrite(instance, sError) && SocketRead(instance, sError)) {
        port = RpcVxi::GetRpcDataGetPort(instance.mRpc, sError);
    }
    Disconnect(instance);
    return port;
}

void SetRequestSize(uLxiInstance& instance, std::uint32_t iSize) {
    instance.mRpc.iRequestSize = iSize == 0 ? static_cast<std::uint32_t>(DefaultRequestSize) : iSize;
}

void SetTimeout(uLxiInstance& instance, std::int64_t iTimeoutMs) {
    const std::int64_t iMs = iTimeoutMs > 0 ? iTimeoutMs : InterfaceDefaults::Timeout(InterfaceVxi11);
    if (iMs > 0) instance.mRpc.iIoTimeout = static_cast<std::uint32_t>(std::min<std::int64_t>(iMs, 0x7FFFFFFF));
}

void SetTermChar(uLxiInstance& instance, std::uint8_t iChar, bool fEnable) {
    instance.mRpc.iTermChar = iChar;
    if (fEnable) {
        instance.mRpc.iFlags |= RpcVxi::FlagTermCharSet;
    } else {
        instance.mRpc.iFlags &= ~RpcVxi::FlagTermCharSet;
    }
}

bool PrepareData(uLxiInstance& instance, const std::string& sCommand, const std::uint8_t* pPayload,
                 std::size_t iPayloadSize, std::string& sError) {
    if (iPayloadSize > 0 && !pPayload) {
        sError = "Lxi::PrepareData: The pointer to the transferred data is zero.";
        return false;
    }
    const std::size_t total = sCommand.size() + iPayloadSize;
    instance.pSendData.clear();
    if (!Instrument::CreateMemory(instance.pSendData, total, ReplyGrowStep, sError)) return false;
    instance.pSendData.append(sCommand.data(), sCommand.size());
    instance.pSendData.append(pPayload, iPayloadSize);
    instance.iSendSize = total;
    return true;
}

bool CreateLink(uLxiInstance& instance, std::string& sError) {
    RpcVxi::uRpc& rpc = instance.mRpc;
    const bool fCalled = Call(instance, RpcVxi::CreateRpcDataVxiCreateLink, sError);
    if (!fCalled || !RpcVxi::GetVxiCreateLinkData(rpc, sError)) {
        // No byte of the request has left: a connection that went (or was not there) is gone before it.
        const Failure::eKind e = instance.eFailure;
        if (!fCalled && (Failure::Gone(e) || e == Failure::eKind::NotConnected)) instance.eFailure = Failure::eKind::GoneBefore;
        else if (fCalled) instance.eFailure = DeviceErrorKind(rpc);
        rpc.iLid = 0;
        rpc.iAbortPort = 0;
        rpc.iMaxRecvSize = 0;
        return false;
    }
    instance.iLinkConnection = instance.iConnectionCount;
    return true;
}

bool DestroyLink(uLxiInstance& instance, std::string& sError) {
    RpcVxi::uRpc& rpc = instance.mRpc;
    if (!instance.mConnection.IsOpen() || instance.iLinkConnection != instance.iConnectionCount) {
        // The instrument dropped the link with its connection; nothing to send, nothing to wait for.
        rpc.iLid = 0;
        return true;
    }
    const bool ok = Call(instance, RpcVxi::CreateRpcDataVxiDestroyLink, sError) &&
                    RpcVxi::CheckVxiDestroyLinkData(rpc, sError);
    rpc.iLid = 0;
    return ok;
}

bool DeviceRemote(uLxiInstance& instance, std::string& sError) {
    return Call(instance, RpcVxi::CreateRpcDataVxiDeviceRemote, sError) &&
           RpcVxi::CheckVxiDeviceRemoteData(instance.mRpc, sError);
}

bool DeviceLocal(uLxiInstance& instance, std::string& sError) {
    return Call(instance, RpcVxi::CreateRpcDataVxiDeviceLocal, sError) &&
           RpcVxi::CheckVxiDeviceLocalData(instance.mRpc, sError);
}

bool DeviceClear(uLxiInstance& instance, std::string& sError) {
    return Call(instance, RpcVxi::CreateRpcDataVxiDeviceClear, sError) &&
           RpcVxi::CheckVxiDeviceClearData(instance.mRpc, sError);
}

bool SendData(uLxiInstance& instance, std::size_t& iBytesSent, int iWindow, std::string& sError) {
    RpcVxi::uRpc& rpc = instance.mRpc;
    iBytesSent = 0;
    if (rpc.iMaxRecvSize == 0) {
        instance.eFailure = Failure::eKind::NotConnected;
        sError = "Lxi::SendData: Es besteht kein Link zum Instrument.";
        return false;
    }
    if (instance.fAnswerOwed) {
        instance.fAnswerOwed = false;
        std::string sIgnored;
        DeviceClear(instance, sIgnored);
    }
    const std::size_t chunkSize = rpc.iMaxRecvSize;
    TransferStatus::uProgress progress(iWindow, TransferStatus::TransferSending, &instance, instance.iProgressStep);
    std::size_t offset = 0;
    for (;;) {
        // The last chunk is the one that reaches the end; a message that fills its chunks
        // exactly carries END on its last full chunk, not on an extra empty one.
        const bool last = chunkSize >= instance.iSendSize - offset;
        const std::size_t chunk = last ? instance.iSendSize - offset : chunkSize;
        if (last) {
            rpc.iFlags |= RpcVxi::FlagEnd;
        } else {
            rpc.iFlags &= ~RpcVxi::FlagEnd;
        }
        rpc.pWriteData = instance.pSendData.data() + offset;
        rpc.iWriteSize = chunk;
        bool ok = Call(instance, RpcVxi::CreateRpcDataVxiDeviceWrite, sError);
        if (ok) {
            std::string sDeviceError;
            const std::uint32_t taken = RpcVxi::GetReplyValue(rpc, sDeviceError);
            if (!sDeviceError.empty()) {
                sError = sDeviceError; // the instrument's own error
                instance.eFailure = DeviceErrorKind(rpc);
                ok = false;
            } else if (taken != chunk) {
                sError = "Lxi::SendData: Es wurden vom Instrument weniger Daten gelesen als gesendet wurde. Bytes "
                         "gesendet: " +
                         std::to_string(chunk) + " - gelesen: " + std::to_string(taken);
                Reconnect(instance);
                instance.eFailure = Failure::eKind::BadAnswer;
                ok = false;
            }
        } else if (instance.eFailure == Failure::eKind::NotConnected) {
            instance.eFailure = Failure::eKind::GoneAfter; // the chunk counts as sent
        }
        offset += chunk;
        progress.Add(static_cast<std::int64_t>(chunk), static_cast<std::int64_t>(offset));
        iBytesSent = offset;
        if (!ok) return false;
        if (last) return true;
        if (Instrument::TakeAbortRequest(&instance)) {
            instance.eFailure = Failure::eKind::Canceled;
            sError = std::string("Lxi::SendData: ") + Instrument::AbortedText;
            return false;
        }
    }
}

bool RequestData(uLxiInstance& instance, DataBuffer& answer, int iWindow, std::string& sError) {
    RpcVxi::uRpc& rpc = instance.mRpc;
    instance.iReceiveSize = 0;
    answer.clear();
    if (rpc.iRequestSize == 0) rpc.iRequestSize = static_cast<std::uint32_t>(DefaultRequestSize);
    TransferStatus::uProgress progress(iWindow, TransferStatus::TransferReceiving, &instance, instance.iProgressStep);
    for (std::size_t pass = 1;; ++pass) {
        instance.fAnswerOwed = true; // until the answer is in
        if (!Call(instance, RpcVxi::CreateRpcDataVxiDeviceRead, sError, &answer)) {
            answer.clear();
            return false;
        }
        std::string sReadError;
        const std::size_t length = RpcVxi::GetVxiDeviceReadData(rpc, sReadError);
        if (length == 0) {
            instance.eFailure = DeviceErrorKind(rpc);
            // The instrument's own error (an io_timeout above all) is reported as such.
            sError = !sReadError.empty() ? sReadError
                                         : "Lxi::RequestData: Es wurden keine Daten mit dem " + std::to_string(pass) +
                                               ". RPC-Fragment empfangen. VXI-Reason = $" + RpcVxi::GetHexText(rpc.iReason);
            answer.clear();
            return false;
        }
        // Usually the data went straight into the answer; a reply that could not be told apart
        // in time left it in the reply buffer.
        if (rpc.iReadExternal == 0 && (!Grow(answer, instance.iReceiveSize + length, ReplyGrowStep, sError) ||
                                       !answer.append(rpc.pRpcDataReply.data() + rpc.iReadOffset, length))) {
            answer.clear();
            return false;
        }
        instance.iReceiveSize += length;
        const bool complete = (rpc.iReason & (RpcVxi::ReasonEnd | RpcVxi::ReasonTermChar)) != 0;
        progress.Add(static_cast<std::int64_t>(length), static_cast<std::int64_t>(instance.iReceiveSize));
        if (complete) {
            instance.fAnswerOwed = false;
            break;
        }
        if (Instrument::TakeAbortRequest(&instance)) {
            instance.eFailure = Failure::eKind::Canceled;
            sError = std::string("Lxi::RequestData: ") + Instrument::AbortedText;
            answer.clear();
            return false;
        }
    }
    return true;
}

bool SocketWrite(uLxiInstance& instance, std::string& sError) {
    const RpcVxi::uRpc& rpc = instance.mRpc;
    instance.eFailure = Failure::eKind::NotConnected;
    if (!instance.mConnection.IsOpen()) {
        sError = NoConnectionText(instance, "SocketWrite");
        return false;
    }
    instance.eFailure = Failure::eKind::Other;
    if (rpc.iRpcDataSize == 0 || !rpc.pRpcData.allocated()) {
        sError = "Lxi::SocketWrite: Die Daten sind nicht vorhanden. Der Zeiger oder die Datenlänge ist Null.";
        return false;
    }
    const auto timeout = std::chrono::milliseconds(rpc.iIoTimeout);
    std::size_t offset = 0;
    while (offset < rpc.iRpcDataSize) {
        const std::size_t pieceEnd = std::min(rpc.iRpcDataSize, offset + PieceSize);
        const auto deadline = TcpSocket::Clock::now() + timeout;
        while (offset < pieceEnd) {
            const std::int64_t n = TcpSocket::Send(instance.mConnection, rpc.pRpcData.data() + offset, pieceEnd - offset);
            if (n < 0) {
                instance.eFailure = Failure::eKind::GoneAfter;
                sError = "Lxi::SocketWrite: Die Netzwerkverbindung wurde unterbrochen. Code = " + std::to_string(errno);
                return false;
            }
            offset += static_cast<std::size_t>(n);
            if (offset == pieceEnd) break;
            const TcpSocket::eWait w = TcpSocket::WaitWritable(instance.mConnection, deadline);
            if (w == TcpSocket::WaitTimeout) {
                instance.eFailure = Failure::eKind::TimedOut;
                sError = "Lxi::SocketWrite: Die Wartezeit für das Senden wurde überschritten.";
                return false;
            }
            if (w == TcpSocket::WaitClosed) {
                instance.eFailure = Failure::eKind::GoneAfter;
                sError = "Lxi::SocketWrite: Die Netzwerkverbindung wurde unterbrochen.";
                return false;
            }
        }
    }
    return true;
}

bool SocketRead(uLxiInstance& instance, std::string& sError) { return ReadReply(instance, nullptr, sError); }

} // namespace Lxi
