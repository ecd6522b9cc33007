#include "transport/UsbTmc.h"

#include "platform/ProgramEvents.h"
#include "transport/AbortRequests.h"
#include "transport/DataBuffers.h"
#include "transport/InstanceList.h"
#include "transport/InterfaceDefaults.h"
#include "transport/LibUsb0.h"
#include "transport/LibUsb1.h"
#include "transport/TransferStatus.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

namespace UsbTmc {

namespace {

// Class requests.
constexpr int cInitiateAbortBulkOut = 1;
constexpr int cCheckAbortBulkOutStatus = 2;
constexpr int cInitiateAbortBulkIn = 3;
constexpr int cCheckAbortBulkInStatus = 4;
constexpr int cGetCapabilities = 7;
constexpr int cReadStatusByte = 128;
constexpr int cRequestTypeInterface = 0xA1; // device-to-host, class, interface
constexpr int cRequestTypeEndpoint = 0xA2;  // device-to-host, class, endpoint

constexpr int cHeaderSize = 12;
constexpr std::size_t cAnswerGrowStep = 0x2100000;
// An abort asks this many times, with a pause between two asks.
constexpr int cAbortAttempts = 10;
constexpr std::chrono::milliseconds cAbortPause{50};
// Reads in a row that bring no usable bytes (stale or short headers, empty packets) before a
// receive gives up.
constexpr int cMaxDiscardedReads = 10;
// Reads that empty the Bulk-IN endpoint before giving up on a device that keeps sending.
constexpr int cMaxFlushReads = 256;

const char* const cTooFewBytes = "Es wurden zu wenige Bytes empfangen. Erwartet wurden ";

struct uModule {
    InstanceList::uList<uUsbTmcInstance> lInstances;
    std::mutex mMutex; // guards fnPause
    PauseFunction fnPause;
};

// Never destroyed: a worker thread that outlived its stop wait may still close its connection
// while the process exits.
uModule& Module() {
    static auto* pModule = new uModule;
    return *pModule;
}

void Pause(std::chrono::milliseconds iTime) {
    PauseFunction fn;
    {
        std::lock_guard lock(Module().mMutex);
        fn = Module().fnPause;
    }
    if (fn) fn(iTime);
    else std::this_thread::sleep_for(iTime);
}

// Both libraries take a time-out of 0 as no limit at all, and no abort reaches a transfer
// that waits: a time-out that is not a positive count (a negative one from a script or the
// preferences) becomes the shortest wait instead.
unsigned int Timeout1(std::int64_t iMilliseconds) {
    return static_cast<unsigned int>(std::clamp<std::int64_t>(iMilliseconds, 1, UINT_MAX));
}

int Timeout0(std::int64_t iMilliseconds) {
    return static_cast<int>(std::clamp<std::int64_t>(iMilliseconds, 1, INT_MAX));
}

bool UsesLibUsb0(const uUsbTmcInstance& u) { return u.uSettings.fLibUsb0 != 0; }
bool UsesLibUsb1(const uUsbTmcInstance& u) { return !UsesLibUsb0(u) && u.uSettings.fLibUsb1 != 0; }

libusb_device_handle* Handle1(const uUsbTmcInstance& u) {
    return static_cast<libusb_device_handle*>(u.uSettings.pDeviceHandle);
}

usb_dev_handle* Handle0(const uUsbTmcInstance& u) {
    return static_cast<usb_dev_handle*>(u.uSettings.pDeviceHandle);
}

bool NoLibrary(std::string& sError, const char* pPrefix) {
    sError = std::string(pPrefix) + "No Libusb version was specified.";
    return false;
}

void ClearHaltQuietly(uUsbTmcInstance& u, int iEndpoint) {
    std::string sIgnored;
    if (UsesLibUsb0(u)) LibUsb0::ClearHalt(Handle0(u), iEndpoint, sIgnored);
    else if (UsesLibUsb1(u)) LibUsb1::ClearHalt(Handle1(u), iEndpoint, sIgnored);
}

// The kind of a libusb-1.0 code.
Failure::eKind KindOf1(int iCode) {
    switch (iCode) {
    case LIBUSB_ERROR_NO_DEVICE: return Failure::eKind::GoneAfter;
    case LIBUSB_ERROR_TIMEOUT: return Failure::eKind::TimedOut;
    case LIBUSB_ERROR_ACCESS: return Failure::eKind::NotPermitted;
    case LIBUSB_ERROR_NO_MEM: return Failure::eKind::NoSpace;
    default: return Failure::eKind::Other;
    }
}

// One Bulk (or Interrupt) transfer through the instance's library. A stalled endpoint has its
// halt cleared at once, so that the next transfer can pass.
bool UsbTransfer(uUsbTmcInstance& u, int iEndpoint, bool fInterrupt, std::uint8_t* pData, int iLength,
              int& iTransferred, std::int64_t iTimeout, std::string& sError) {
    iTransferred = 0;
    int iCode = 0;
    bool fOk = false;
    bool fStall = false;
    if (UsesLibUsb0(u)) {
        int iSize = iLength;
        if (fInterrupt)
            fOk = LibUsb0::InterruptRead(Handle0(u), iEndpoint, pData, iSize, Timeout0(iTimeout), &iCode, sError);
        else if (iEndpoint & 0x80)
            fOk = LibUsb0::BulkRead(Handle0(u), iEndpoint, pData, iSize, Timeout0(iTimeout), &iCode, sError);
        else
            fOk = LibUsb0::BulkWrite(Handle0(u), iEndpoint, pData, iSize, Timeout0(iTimeout), &iCode, sError);
        if (fOk) iTransferred = iSize;
        fStall = iCode == -EPIPE;
    } else if (UsesLibUsb1(u)) {
        if (fInterrupt)
            fOk = LibUsb1::InterruptTransfer(Handle1(u), iEndpoint, pData, iLength, &iTransferred,
                                             Timeout1(iTimeout), &iCode, sError);
        else
            fOk = LibUsb1::BulkTransfer(Handle1(u), iEndpoint, pData, iLength, &iTransferred,
                                        Timeout1(iTimeout), &iCode, sError);
        fStall = iCode == LIBUSB_ERROR_PIPE;
    } else {
        return NoLibrary(sError, "UsbTmc::UsbTransfer: ");
    }
    if (fStall && !fInterrupt) ClearHaltQuietly(u, iEndpoint);
    if (!fOk) u.eFailure = UsesLibUsb0(u) ? Failure::OfErrno(-iCode, 1) : KindOf1(iCode);
    return fOk;
}

// Whether the device of a 0.1 handle is still there, asked with GET_CONFIGURATION: the 0.1
// library gives no count of what a failed transfer moved, so only a device that was already
// gone before a Bulk-OUT transfer tells that nothing of it left.
bool Present0(uUsbTmcInstance& u) {
    unsigned char iValue = 0;
    int iSize = 1;
    int iCode = 0;
    std::string sIgnored;
    LibUsb0::ControlMsg(Handle0(u), 0x80, 8, 0, 0, &iValue, iSize, Timeout0(u.iControlTimeout), &iCode, sIgnored);
    return iCode != -ENODEV;
}

bool TooFew(std::string& sError, const char* pPrefix, int iExpected, int iReceived) {
    sError = std::string(pPrefix) + cTooFewBytes + std::to_string(iExpected) +
             " Bytes, empfangen wurden " + std::to_string(iReceived) + " Bytes.";
    return false;
}

std::uint32_t ReadLe32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void WriteLe32(std::uint8_t* p, std::uint32_t iValue) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(iValue >> (8 * i));
}

// An INITIATE or CHECK abort request with its answer zeroed first; at least iNeeded bytes must
// arrive.
bool AbortRequest(uUsbTmcInstance& u, const char* pPrefix, int bRequest, int wValue, int wIndex,
                  std::uint8_t* pAnswer, int iSize, int iNeeded, std::string& sError) {
    std::memset(pAnswer, 0, iSize);
    int iLength = iSize;
    if (!ControlTransfer(u, cRequestTypeEndpoint, bRequest, wValue, wIndex, pAnswer, iLength, sError))
        return false;
    if (iLength < iNeeded) return TooFew(sError, pPrefix, iNeeded, iLength);
    return true;
}

int CurrentTagOr(const uUsbTmcInstance& u, int iTag) {
    return iTag == 0 ? static_cast<int>(u.iTag) : iTag;
}

// Polls CHECK_ABORT_*_STATUS while the device says it is pending; true once it reports
// success. fBulkIn empties the Bulk-IN endpoint whenever the device still holds data there.
bool PollAbortStatus(uUsbTmcInstance& u, bool fBulkIn, std::string& sError) {
    std::array<std::uint8_t, 8> aAnswer{};
    for (int iAttempt = 1;; ++iAttempt) {
        bool fOk = fBulkIn ? CheckAbortBulkInStatus(u, aAnswer, sError)
                           : CheckAbortBulkOutStatus(u, aAnswer, sError);
        if (!fOk) return false;
        if (aAnswer[0] == StatusSuccess) return true;
        if (aAnswer[0] != StatusPending) return false;
        if (fBulkIn && (aAnswer[1] & 1) &&
            !ReadShortPacketFromBulkInEndpoint(u, 500, sError))
            return false;
        if (iAttempt >= cAbortAttempts) return false;
        Pause(cAbortPause);
    }
}

} // namespace

void SetPauseFunction(PauseFunction fnPause) {
    std::lock_guard lock(Module().mMutex);
    Module().fnPause = std::move(fnPause);
}

// ---------------------------------------------------------------------------------------------
// Instances

std::shared_ptr<uUsbTmcInstance> NewInstance(std::string& sError) {
    std::shared_ptr<uUsbTmcInstance> p = Module().lInstances.Add();
    if (!p) {
        sError = "UsbTmc::Constructor: Es konnte keine neue Instanz erstellt werden. Fehler beim Hinzufügen zu der Liste.";
        return nullptr;
    }
    if (int iStep = InterfaceDefaults::ProgressStep(1); iStep > 0) p->iProgressStep = iStep;
    return p;
}

bool DeleteInstance(uUsbTmcInstance* pInstance, std::string& sError) {
    const auto keep = pInstance ? Module().lInstances.Remove(*pInstance) : nullptr; // alive until freed
    if (!keep) {
        sError = InstanceList::MissingText("UsbTmc", pInstance);
        return false;
    }
    pInstance->SendData.release();
    return true;
}

bool SetInstrument(uUsbTmcInstance& u, const uUsbTmcSettings& uSettings, std::string& sError) {
    u.uSettings = uSettings;
    const char* pFailure = nullptr;
    if (!uSettings.pDeviceHandle) pFailure = "Das Handle zum geöffneten Instrument ist Null.";
    else if (!uSettings.fLibUsb0 && !uSettings.fLibUsb1) pFailure = "No Libusb version was specified.";
    else if (!uSettings.iBulkIn) pFailure = "Die Adresse des BulkIn-Endpunkts ist Null.";
    else if (!uSettings.iBulkOut) pFailure = "Die Adresse des BulkOut-Endpunkts ist Null.";
    else if (!uSettings.iInterruptIn) pFailure = "Die Adresse des InterruptIn-Endpunkts ist Null.";
    else if (!uSettings.iBulkInMaxPacketSize) pFailure = "Die maximale Paketgröße für den BulkIn-Endpunkt ist Null.";
    else if (!uSettings.iBulkOutMaxPacketSize) pFailure = "Die maximale Paketgröße für den BulkOut-Endpunkt ist Null.";
    std::string sIgnored;
    GetCapabilities(u, nullptr, sIgnored);
    if (pFailure) {
        sError = std::string("UsbTmc::SetInstrument: ") + pFailure;
        return false;
    }
    return true;
}

void SetTimeout(uUsbTmcInstance& u, std::int64_t iMilliseconds) {
    if (iMilliseconds == 0) {
        iMilliseconds = InterfaceDefaults::Timeout(1);
        if (iMilliseconds <= 0) iMilliseconds = 5000;
    }
    u.iTransferTimeout = iMilliseconds;
}

void SetControlTimeout(uUsbTmcInstance& u, std::int64_t iMilliseconds) {
    if (iMilliseconds != 0) u.iControlTimeout = iMilliseconds;
}

void SetWaitTime(uUsbTmcInstance& u, std::int64_t iMilliseconds) {
    if (iMilliseconds != 0) u.iWaitTime = iMilliseconds;
}

std::int64_t GetWaitTime(const uUsbTmcInstance& u) { return u.iWaitTime; }

void SetTermChar(uUsbTmcInstance& u, int iChar, bool fEnable) {
    u.iTermChar = static_cast<std::uint8_t>(iChar & 0xFF);
    u.fTermCharEnabled = fEnable ? 1 : 0;
}

void SetRemoveTermChar(uUsbTmcInstance& u, bool fRemove) { u.fRemoveTermChar = fRemove ? 1 : 0; }

// A final TermChar is dropped only when it is one; an empty answer is an empty success.
void RemoveTermChar(const uUsbTmcInstance& u, DataBuffer& data) {
    if (u.fRemoveTermChar && u.iTermChar != 0 && !data.empty() && data[data.size() - 1] == u.iTermChar)
        data.setSize(data.size() - 1);
}

void SetProgressStep(uUsbTmcInstance& u, std::int64_t iBytes) { u.iProgressStep = iBytes; }

// ---------------------------------------------------------------------------------------------
// Messages

bool PrepareData(uUsbTmcInstance& u, std::string_view sCommand, const std::uint8_t* pData,
                 std::size_t iDataSize, std::string& sError) {
    u.SendData.release();
    std::size_t iPayload = pData ? iDataSize : 0;
    if (sCommand.size() + iDataSize == 0) {
        sError = "UsbTmc::PrepareData: Es sind keine Daten vorhanden.";
        return false;
    }
    DataBuffer Buffer;
    if (!sCommand.empty() && !Buffer.assign(sCommand.data(), sCommand.size())) {
        sError = "UsbTmc::PrepareData: Der String-Speicher konnte nicht realloziert werden.";
        return false;
    }
    if (iPayload && !Buffer.append(pData, iPayload)) {
        sError = "UsbTmc::PrepareData: Der Binary-Speicher konnte nicht realloziert werden.";
        return false;
    }
    if (Buffer.empty()) {
        sError = "UsbTmc::PrepareData: Es sind keine Daten vorhanden.";
        return false;
    }
    u.SendData = std::move(Buffer);
    return true;
}

void FreeMemory(uUsbTmcInstance& u) { u.SendData.release(); }

int GetNextTag(uUsbTmcInstance& u) {
    ++u.iTag;
    if (u.iTag < 1 || u.iTag > 255) u.iTag = 1;
    return static_cast<int>(u.iTag);
}

int GetNextStatusTag(uUsbTmcInstance& u) {
    ++u.iStatusTag;
    if (u.iStatusTag < 2 || u.iStatusTag > 127) u.iStatusTag = 2;
    return static_cast<int>(u.iStatusTag);
}

std::int64_t GetPaddingSize(std::int64_t iLength, std::int64_t iMultiple) {
    if (iLength <= 0 || iMultiple <= 0 || iLength % iMultiple == 0) return 0;
    return iMultiple - iLength % iMultiple;
}

bool CreateSendBulkOutHeaderWithData(uUsbTmcInstance& u, int iMsgId, DataBuffer& Transfer,
                                     std::string& sError) {
    const std::size_t n = u.SendData.size();
    const std::size_t t = u.iTermChar != 0 ? 1 : 0;
    const std::size_t p = static_cast<std::size_t>(GetPaddingSize(static_cast<std::int64_t>(n + t), 4));
    const std::size_t iTotal = cHeaderSize + n + t + p;
    Transfer.release();
    if (n + t > 0xFFFFFFFFu || iTotal > INT_MAX || !Transfer.reserve(iTotal) ||
        !Transfer.setSize(iTotal)) {
        Transfer.release();
        sError = "UsbTmc::CreateSendBulkOutHeaderWithData: Der BulkOut-Speicher konnte nicht alloziert werden.";
        return false;
    }
    std::uint8_t* b = Transfer.data();
    std::memset(b, 0, iTotal);
    int iTag = GetNextTag(u);
    b[0] = static_cast<std::uint8_t>(iMsgId);
    b[1] = static_cast<std::uint8_t>(iTag);
    b[2] = static_cast<std::uint8_t>(iTag ^ 0xFF);
    WriteLe32(b + 4, static_cast<std::uint32_t>(n + t));
    b[8] = iMsgId == MsgDevDepOut ? 1 : 0;
    if (n) std::memcpy(b + cHeaderSize, u.SendData.data(), n);
    if (t) b[cHeaderSize + n] = u.iTermChar;
    return true;
}

void CreateRequestBulkOutHeader(uUsbTmcInstance& u, std::array<std::uint8_t, 12>& aHeader,
                                std::int64_t iTransferSize, int iMsgId) {
    aHeader.fill(0);
    int iTag = GetNextTag(u);
    aHeader[0] = static_cast<std::uint8_t>(iMsgId);
    aHeader[1] = static_cast<std::uint8_t>(iTag);
    aHeader[2] = static_cast<std::uint8_t>(iTag ^ 0xFF);
    WriteLe32(aHeader.data() + 4, static_cast<std::uint32_t>(iTransferSize));
    if (u.fTermCharEnabled) {
        aHeader[8] = 2;
        aHeader[9] = u.iTermChar;
    }
}

bool SendData(uUsbTmcInstance& u, int iMsgId, std::int64_t& iSent, int iWindow, std::string& sError) {
    iSent = 0;
    u.eFailure = Failure::eKind::Other;
    DataBuffer Transfer;
    std::string sBuild;
    if (!u.SendData.allocated() || u.SendData.empty() ||
        !CreateSendBulkOutHeaderWithData(u, iMsgId, Transfer, sBuild)) {
        sError = "UsbTmc::SendData: Der Zeiger auf die zu sendenden Daten ist Null. *BulkOutData = 0";
        return false;
    }
    int iTransferred = 0;
    const bool fGoneBefore = UsesLibUsb0(u) && !Present0(u);
    bool fOk = UsbTransfer(u, static_cast<int>(u.uSettings.iBulkOut), false, Transfer.data(),
                        static_cast<int>(Transfer.size()), iTransferred, u.iTransferTimeout, sError);
    // libusb-1.0 counts what moved; after a failed 0.1 transfer all of it may have left, unless
    // the device had gone before it.
    if (!fOk && UsesLibUsb0(u)) iTransferred = fGoneBefore ? 0 : static_cast<int>(Transfer.size());
    if (!fOk && u.eFailure == Failure::eKind::GoneAfter && iTransferred == 0) u.eFailure = Failure::eKind::GoneBefore;
    iSent = iTransferred;
    if (!fOk) AbortTransfers(u, iMsgId);
    Transfer.release();
    if (iWindow != WindowNobody)
        TransferStatus::Post(iWindow, TransferStatus::TransferSending,
                             reinterpret_cast<std::intptr_t>(&u),
                             static_cast<std::int64_t>(u.SendData.size()));
    return fOk;
}

bool RequestData(uUsbTmcInstance& u, DataBuffer& Data, std::int64_t& iTransferred, int iMsgId,
                 int iWindow, std::string& sError) {
    u.eFailure = Failure::eKind::BadAnswer; // unless a transfer tells otherwise
    Data.release();
    iTransferred = 0;
    const std::size_t iReadSize = static_cast<std::size_t>(u.iReadSize);
    std::string sMemory;
    if (!Instrument::CreateMemory(Data, iReadSize, 0, sMemory)) {
        sError = "UsbTmc::RequestData: Der Speicher für die zu empfangenden Daten konnte nicht alloziert werden.";
        return false;
    }
    const int iReadLength = static_cast<int>(iReadSize + cHeaderSize);
    std::unique_ptr<std::uint8_t[]> pRead(new (std::nothrow) std::uint8_t[iReadLength]);
    if (!pRead) {
        Data.release();
        sError = "UsbTmc::RequestData: Der Request-Speicher für die zu empfangenden Daten konnte nicht alloziert werden.";
        return false;
    }

    std::array<std::uint8_t, 12> aRequest{};
    bool fNeedRequest = true;
    bool fEnd = false;
    bool fOk = true;
    // The rest of a transfer whose header announced more than its first read brought.
    std::uint64_t iContinuation = 0;
    bool fContinuationEom = false;
    int iDiscarded = 0;
    std::size_t iLastProgress = 0;

    while (!fEnd) {
        if (fNeedRequest) {
            CreateRequestBulkOutHeader(u, aRequest, static_cast<std::int64_t>(iReadSize), iMsgId);
            int iWritten = 0;
            if (!UsbTransfer(u, static_cast<int>(u.uSettings.iBulkOut), false, aRequest.data(),
                          cHeaderSize, iWritten, u.iTransferTimeout, sError)) {
                fOk = false;
                break;
            }
            fNeedRequest = false;
        }
        int n = 0;
        if (!UsbTransfer(u, static_cast<int>(u.uSettings.iBulkIn), false, pRead.get(), iReadLength, n,
                      u.iTransferTimeout, sError)) {
            const Failure::eKind eKind = u.eFailure; // the abort's own transfers leave it alone
            AbortTransfers(u, iMsgId);
            u.eFailure = eKind;
            fOk = false;
            break;
        }

        // Which bytes of this read belong to the answer.
        const std::uint8_t* pPayload = nullptr;
        std::size_t iPayload = 0;
        bool fEom = false;
        if (iContinuation > 0 && n > 0) {
            iPayload = std::min<std::uint64_t>(iContinuation, static_cast<std::uint64_t>(n));
            pPayload = pRead.get();
            iContinuation -= iPayload;
            if (iContinuation == 0) {
                fEom = fContinuationEom;
                fNeedRequest = !fEom;
            }
        } else if (n >= cHeaderSize && std::equal(aRequest.begin(), aRequest.begin() + 4, pRead.get())) {
            const std::uint64_t iTransferSize = ReadLe32(pRead.get() + 4);
            const std::uint64_t iArrived = static_cast<std::uint64_t>(n - cHeaderSize);
            iPayload = static_cast<std::size_t>(std::min(iTransferSize, iArrived));
            pPayload = pRead.get() + cHeaderSize;
            const bool fEomBit = (pRead[8] & 1) != 0;
            if (iMsgId == MsgRequestVendorSpecificIn && iTransferSize == iArrived) {
                fEom = true;
            } else if (iTransferSize > iArrived) {
                iContinuation = iTransferSize - iArrived;
                fContinuationEom = iMsgId == MsgRequestDevDepIn && fEomBit;
            } else {
                fEom = iMsgId == MsgRequestDevDepIn && fEomBit;
                fNeedRequest = !fEom;
            }
        }
        // An empty packet, a short or a stale header bring nothing: the device is read again
        // for the REQUEST that is still open. Reads or REQUESTs that bring nothing, one after
        // the other, end the receive.
        if (iPayload > 0 || fEom) {
            iDiscarded = 0;
        } else if (++iDiscarded >= cMaxDiscardedReads) {
            sError = "UsbTmc::RequestData: Es wurde keine Antwort mit gültigem Header empfangen.";
            AbortTransfers(u, iMsgId);
            fOk = false;
            break;
        }

        if (iPayload > 0) {
            std::string sGrow;
            if (!Instrument::CreateMemory(Data, Data.size() + iPayload, cAnswerGrowStep, sGrow)) {
                sError = "UsbTmc::RequestData: Der Speicher für die zu empfangenden Daten konnte nicht realloziert werden.";
                fOk = false;
                break;
            }
            std::memcpy(Data.data() + Data.size(), pPayload, iPayload);
            Data.setSize(Data.size() + iPayload);
        }
        fEnd = fEom;

        if (Instrument::TakeAbortRequest(&u)) {
            u.eFailure = Failure::eKind::Canceled;
            sError = std::string("UsbTmc::RequestData: ") + Instrument::AbortedText;
            if (!fEnd) {
                std::string sAbort;
                AbortRequestData(u, aRequest[1], sAbort);
                sError = "UsbTmc::RequestData: Das Empfangen wurde abgebrochen.";
                fOk = false;
            }
            break;
        }
        if (!fEnd && iWindow != WindowNobody && u.iProgressStep >= 0 &&
            Data.size() - iLastProgress >= static_cast<std::size_t>(u.iProgressStep)) {
            TransferStatus::Post(iWindow, TransferStatus::TransferReceiving,
                                 reinterpret_cast<std::intptr_t>(&u),
                                 static_cast<std::int64_t>(Data.size()));
            iLastProgress = Data.size();
        }
    }

    if (!fOk) {
        // What came of an answer the time-out cut stays, counted, for the one place that shows it.
        if (u.eFailure == Failure::eKind::TimedOut) iTransferred = static_cast<std::int64_t>(Data.size());
        else Data.release();
        return false;
    }
    RemoveTermChar(u, Data);
    iTransferred = static_cast<std::int64_t>(Data.size());
    return true;
}

// ---------------------------------------------------------------------------------------------
// Class requests

bool ControlTransfer(uUsbTmcInstance& u, int bmRequestType, int bRequest, int wValue, int wIndex,
                     std::uint8_t* pBuffer, int& iLength, std::string& sError) {
    const int iAsked = iLength;
    std::string sLibrary;
    bool fOk;
    if (UsesLibUsb0(u))
        fOk = LibUsb0::ControlMsg(Handle0(u), bmRequestType, bRequest, wValue, wIndex, pBuffer,
                                  iLength, Timeout0(u.iControlTimeout), nullptr, sLibrary);
    else if (UsesLibUsb1(u))
        fOk = LibUsb1::ControlTransfer(Handle1(u), bmRequestType, bRequest, wValue, wIndex, pBuffer,
                                       iLength, Timeout1(u.iControlTimeout), sLibrary);
    else
        return NoLibrary(sError, "UsbTmc::ControlTransfer: ");
    if (!fOk) {
        sError = "UsbTmc::ControlTransfer: " + sLibrary;
        return false;
    }
    if (iLength > iAsked) {
        sError = "UsbTmc::ControlTransfer: Es wurde eine falsche Anzahl an Bytes empfangen. Erwartet wurden maximal " +
                 std::to_string(iAsked) + " Bytes, empfangen wurden " + std::to_string(iLength) + " Bytes.";
        return false;
    }
    return true;
}

bool GetCapabilities(uUsbTmcInstance& u, uUsbTmcCapabilities* pCapabilities, std::string& sError) {
    std::array<std::uint8_t, 24> a{};
    int iLength = static_cast<int>(a.size());
    if (!ControlTransfer(u, cRequestTypeInterface, cGetCapabilities, 0,
                         static_cast<int>(u.uSettings.iInterface), a.data(), iLength, sError))
        return false;
    // The USB488 part ends with byte 15; what a short answer leaves out reads as 0.
    if (iLength < 16) return TooFew(sError, "UsbTmc::GetCapabilities: ", 16, iLength);
    uUsbTmcCapabilities c;
    c.iBcdUsbTmc = a[2] | (a[3] << 8);
    c.fIndicatorPulse = (a[4] >> 2) & 1;
    c.fTalkOnly = (a[4] >> 1) & 1;
    c.fListenOnly = a[4] & 1;
    c.fTermChar = a[5] & 1;
    c.iBcdUsb488 = a[12] | (a[13] << 8);
    c.fUsb4882 = (a[14] >> 2) & 1;
    c.fRenControl = (a[14] >> 1) & 1;
    c.fTrigger = a[14] & 1;
    c.fScpi = (a[15] >> 3) & 1;
    c.fSr1 = (a[15] >> 2) & 1;
    c.fRl1 = (a[15] >> 1) & 1;
    c.fDt1 = a[15] & 1;
    (pCapabilities ? *pCapabilities : u.uCapabilities) = c;
    return true;
}

bool ReadStatusByte(uUsbTmcInstance& u, int iTag, uReadStatusByteResponse& uResponse, std::string& sError) {
    if (iTag < 2 || iTag > 127) iTag = 2;
    std::array<std::uint8_t, 3> a{};
    int iLength = static_cast<int>(a.size());
    uResponse = {};
    if (!ControlTransfer(u, cRequestTypeInterface, cReadStatusByte, iTag,
                         static_cast<int>(u.uSettings.iInterface), a.data(), iLength, sError))
        return false;
    if (iLength < 3) return TooFew(sError, "UsbTmc::ReadStatusByte: ", 3, iLength);
    uResponse = {a[0], a[1], a[2]};
    return true;
}

bool InitiateAbortBulkOut(uUsbTmcInstance& u, int iTag, std::array<std::uint8_t, 2>& aAnswer,
                          std::string& sError) {
    return AbortRequest(u, "UsbTmc::InitiateAbortBulkOut: ", cInitiateAbortBulkOut, CurrentTagOr(u, iTag),
                        static_cast<int>(u.uSettings.iBulkOut), aAnswer.data(), 2, 1, sError);
}

bool InitiateAbortBulkIn(uUsbTmcInstance& u, int iTag, std::array<std::uint8_t, 2>& aAnswer,
                         std::string& sError) {
    return AbortRequest(u, "UsbTmc::InitiateAbortBulkIn: ", cInitiateAbortBulkIn, CurrentTagOr(u, iTag),
                        static_cast<int>(u.uSettings.iBulkIn), aAnswer.data(), 2, 1, sError);
}

bool CheckAbortBulkOutStatus(uUsbTmcInstance& u, std::array<std::uint8_t, 8>& aAnswer, std::string& sError) {
    return AbortRequest(u, "UsbTmc::CheckAbortBulkOutStatus: ", cCheckAbortBulkOutStatus, 0,
                        static_cast<int>(u.uSettings.iBulkOut), aAnswer.data(), 8, 1, sError);
}

bool CheckAbortBulkInStatus(uUsbTmcInstance& u, std::array<std::uint8_t, 8>& aAnswer, std::string& sError) {
    return AbortRequest(u, "UsbTmc::CheckAbortBulkInStatus: ", cCheckAbortBulkInStatus, 0,
                        static_cast<int>(u.uSettings.iBulkIn), aAnswer.data(), 8, 2, sError);
}

bool InterruptTransfer(uUsbTmcInstance& u, uInterruptTransferResponse& uResponse, std::string& sError) {
    uResponse = {};
    std::array<std::uint8_t, 2> a{};
    int n = 0;
    std::string sLibrary;
    if (!UsbTransfer(u, static_cast<int>(u.uSettings.iInterruptIn), true, a.data(), 2, n, u.iWaitTime,
                  sLibrary)) {
        sError = "UsbTmc::InterruptTransfer: " + sLibrary;
        return false;
    }
    if (n > 2) {
        sError = "UsbTmc::InterruptTransfer: Es wurde eine falsche Anzahl an Bytes empfangen. Erwartet wurden maximal 2 Bytes, empfangen wurden " +
                 std::to_string(n) + " Bytes.";
        return false;
    }
    if (n < 2) return TooFew(sError, "UsbTmc::InterruptTransfer: ", 2, n);
    uResponse = {a[0], a[1]};
    return true;
}

bool WaitData(uUsbTmcInstance& u, int eWaitMode, bool& fMav, int& iStatusByte, std::string& sError) {
    const int iTag = GetNextStatusTag(u);
    if (eWaitMode == WaitServiceRequest) {
        if (!u.uCapabilities.fSr1) return true;
        uInterruptTransferResponse uNotify;
        if (!InterruptTransfer(u, uNotify, sError)) return false;
        if (uNotify.iNotify1 != 0x81) {
            sError = "UsbTmc::WaitData: Das empfangene iNotify1 Byte ist kein Service Request (0x81). uInterruptTransferResponse\\iNotify1 = " +
                     std::to_string(uNotify.iNotify1);
            return false;
        }
        fMav = (uNotify.iNotify2 & 0x10) != 0;
        iStatusByte = uNotify.iNotify2;
        return true;
    }
    if (eWaitMode != WaitStatusByte) {
        sError = "UsbTmc::WaitData: Die Art des Wartens ist unbekannt. eWait = " + std::to_string(eWaitMode);
        return false;
    }

    uReadStatusByteResponse uAnswer;
    if (!ReadStatusByte(u, iTag, uAnswer, sError)) return false;
    if (uAnswer.iTag != iTag) {
        sError = "UsbTmc::WaitData: Das gesendete Tag stimmt nicht mit dem empfangenen Tag überein. iTag out = " +
                 std::to_string(iTag) + " - iTag in = " + std::to_string(uAnswer.iTag);
        return false;
    }
    if (uAnswer.eUsbTmcStatus != StatusSuccess) {
        if (uAnswer.eUsbTmcStatus == StatusInterruptInBusy) {
            uInterruptTransferResponse uIgnored;
            std::string sIgnored;
            InterruptTransfer(u, uIgnored, sIgnored);
            sError = "UsbTmc::WaitData: Der Interrupt-In Endpoint ist belegt. uReadStatusByteResponse\\eUsbTmcStatus = #eUsbTmcStatusInterruptInBusy";
        } else {
            sError = "UsbTmc::WaitData: Es ist ein unbekannter Fehler aufgetreten. uReadStatusByteResponse\\eUsbTmcStatus = " +
                     std::to_string(uAnswer.eUsbTmcStatus);
        }
        return false;
    }
    int iStb = uAnswer.iStatusByte;
    if (u.uCapabilities.fUsb4882 && uAnswer.iStatusByte == 0) {
        uInterruptTransferResponse uNotify;
        if (!InterruptTransfer(u, uNotify, sError)) return false;
        if (uNotify.iNotify1 != (iTag | 0x80)) {
            sError = "UsbTmc::WaitData: Das gesendete Tag stimmt nicht mit dem empfangenen Tag überein. iTag|$80 = " +
                     std::to_string(iTag | 0x80) + " - iNotify1 = " + std::to_string(uNotify.iNotify1);
            return false;
        }
        iStb = uNotify.iNotify2;
    }
    fMav = (iStb & 0x10) != 0;
    iStatusByte = iStb;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Aborts

void AbortTransfers(uUsbTmcInstance& u, int iMsgId) {
    std::string sIgnored;
    const bool fBulkIn = iMsgId == MsgRequestDevDepIn || iMsgId == MsgRequestVendorSpecificIn;
    const bool fBulkOut = iMsgId == MsgDevDepOut || iMsgId == MsgVendorSpecificOut;
    if (!fBulkIn && !fBulkOut) return;
    std::array<std::uint8_t, 2> aInitiate{};
    bool fStarted = fBulkIn ? InitiateAbortBulkIn(u, 0, aInitiate, sIgnored)
                            : InitiateAbortBulkOut(u, 0, aInitiate, sIgnored);
    if (fBulkIn) {
        std::vector<std::uint8_t> vDrop(1024 + cHeaderSize);
        int n = 0;
        UsbTransfer(u, static_cast<int>(u.uSettings.iBulkIn), false, vDrop.data(),
                 static_cast<int>(vDrop.size()), n, u.iControlTimeout, sIgnored);
    }
    if (fStarted && aInitiate[0] == StatusSuccess) PollAbortStatus(u, fBulkIn, sIgnored);
    else {
        std::array<std::uint8_t, 8> aCheck{};
        if (fBulkIn) CheckAbortBulkInStatus(u, aCheck, sIgnored);
        else CheckAbortBulkOutStatus(u, aCheck, sIgnored);
    }
    // The aborted endpoint is usable again only after its halt is cleared.
    ClearHaltQuietly(u, static_cast<int>(fBulkIn ? u.uSettings.iBulkIn : u.uSettings.iBulkOut));
}

bool AbortRequestData(uUsbTmcInstance& u, int iTag, std::string& sError) {
    const char* const cNotConfirmed =
        "UsbTmc::AbortRequestData: Der Status des Abbruchs des Bulk-In-Transfers wurde nicht vom Gerät bestätigt.";
    std::array<std::uint8_t, 2> aInitiate{};
    for (int iAttempt = 1;; ++iAttempt) {
        if (!InitiateAbortBulkIn(u, iTag, aInitiate, sError)) return false;
        if (aInitiate[0] == StatusFailed) return true;
        if (aInitiate[0] == StatusSuccess) break;
        if (aInitiate[0] != StatusTransferNotInProgress) {
            sError = "UsbTmc::AbortRequestData: Es ist ein unbekannter Fehler aufgetreten. uInitiateAbortBulkOutInResponse\\eUsbTmcStatus = " +
                     std::to_string(aInitiate[0]);
            return false;
        }
        if (iAttempt >= cAbortAttempts) {
            sError = cNotConfirmed;
            return false;
        }
        Pause(cAbortPause);
    }
    std::array<std::uint8_t, 8> aCheck{};
    for (int iAttempt = 1;; ++iAttempt) {
        if (!CheckAbortBulkInStatus(u, aCheck, sError)) return false;
        if (aCheck[0] == StatusSuccess) break;
        if (aCheck[0] != StatusPending) {
            sError = "UsbTmc::AbortRequestData: Es ist ein unbekannter Fehler aufgetreten. uCheckAbortBulkInStatusResponse\\eUsbTmcStatus = " +
                     std::to_string(aCheck[0]);
            return false;
        }
        if ((aCheck[1] & 1) && !ReadShortPacketFromBulkInEndpoint(u, 500, sError)) return false;
        if (iAttempt >= cAbortAttempts) {
            sError = cNotConfirmed;
            return false;
        }
        Pause(cAbortPause);
    }
    ClearHaltQuietly(u, static_cast<int>(u.uSettings.iBulkIn));
    return true;
}

bool ReadShortPacketFromBulkInEndpoint(uUsbTmcInstance& u, std::int64_t iTimeout, std::string& sError) {
    if (iTimeout == 0) iTimeout = u.iControlTimeout;
    std::unique_ptr<std::uint8_t[]> pBuffer(new (std::nothrow) std::uint8_t[cReadSize]);
    if (!pBuffer) {
        sError = "UsbTmc::ReadShortPacketFromBulkInEndpoint: Es konnte kein 'Short Packet' eingelesen werden.";
        return false;
    }
    bool fAny = false;
    for (int iRead = 0; iRead < cMaxFlushReads; ++iRead) {
        int n = 0;
        std::string sIgnored;
        if (!UsbTransfer(u, static_cast<int>(u.uSettings.iBulkIn), false, pBuffer.get(),
                      static_cast<int>(cReadSize), n, iTimeout, sIgnored)) {
            sError = "UsbTmc::ReadShortPacketFromBulkInEndpoint: Es konnte kein 'Short Packet' eingelesen werden.";
            break;
        }
        fAny = true;
        if (n < u.uSettings.iBulkInMaxPacketSize) break;
    }
    return fAny;
}

} // namespace UsbTmc
