// The USBTMC transport: SCPI messages to and from one USB instrument of the USBTMC class with
// its USB488 subclass, through libusb-1.0 (LibUsb1) or the libusb 0.1 interface (LibUsb0), as
// the instance's settings say. One instance per open instrument; the SCPI exchange drives it as
// PrepareData, SendData, WaitData, RequestData on the instrument's worker thread.
#pragma once

#include "common/DataBuffer.h"
#include "common/Failure.h"
#include "transport/TransportSettings.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace UsbTmc {

// Message ids of the first header byte.
enum eMsgId {
    MsgDevDepOut = 1,
    MsgRequestDevDepIn = 2,
    MsgVendorSpecificOut = 126,
    MsgRequestVendorSpecificIn = 127,
};

// The first byte of every class-request answer.
enum eUsbTmcStatus {
    StatusSuccess = 1,
    StatusPending = 2,
    StatusInterruptInBusy = 0x20,
    StatusFailed = 0x80,
    StatusTransferNotInProgress = 0x81,
};

// What WaitData waits for.
enum eWait {
    WaitStatusByte = 1,
    WaitServiceRequest = 2,
};

// Filled from the GET_CAPABILITIES answer; flags are 1 or 0.
struct uUsbTmcCapabilities {
    std::int64_t iBcdUsbTmc = 0;
    std::int64_t fIndicatorPulse = 0;
    std::int64_t fTalkOnly = 0;
    std::int64_t fListenOnly = 0;
    std::int64_t fTermChar = 0;
    std::int64_t iBcdUsb488 = 0;
    std::int64_t fUsb4882 = 0;
    std::int64_t fRenControl = 0; // REN_CONTROL, GO_TO_LOCAL, LOCAL_LOCKOUT
    std::int64_t fTrigger = 0;
    std::int64_t fScpi = 0;
    std::int64_t fSr1 = 0;
    std::int64_t fRl1 = 0;
    std::int64_t fDt1 = 0;
};

struct uReadStatusByteResponse {
    std::uint8_t eUsbTmcStatus = 0;
    std::uint8_t iTag = 0;
    std::uint8_t iStatusByte = 0;
};

struct uInterruptTransferResponse {
    std::uint8_t iNotify1 = 0;
    std::uint8_t iNotify2 = 0; // the status byte
};

// The Bulk-IN read size: the TransferSize of every REQUEST and the size of each read (+ 12).
inline constexpr std::int64_t cReadSize = 0x120000;

struct uUsbTmcInstance {
    std::int64_t iTransferTimeout = 5000; // ms, every Bulk transfer of a message
    std::int64_t iControlTimeout = 500;   // ms, class requests and the reads while aborting
    std::int64_t iWaitTime = 500;         // ms, one Interrupt-IN read
    std::uint8_t iTermChar = 0x0A;
    std::int64_t fTermCharEnabled = 0;    // REQUESTs ask the device to stop at the TermChar
    std::int64_t fRemoveTermChar = 1;     // RequestData drops a final TermChar
    std::int64_t iBulkOutChunkSize = 0;   // always 0: a message goes out in one transfer
    std::int64_t iProgressStep = 102400;  // received bytes between two progress events
    std::int64_t iReadSize = cReadSize;
    DataBuffer SendData;                  // built by PrepareData; its size is the send length
    std::int64_t iTag = 0;                // bTag of the last Bulk-OUT header (1..255)
    std::int64_t iStatusTag = 0;          // bTag of the last READ_STATUS_BYTE (2..127)
    uUsbTmcSettings uSettings;
    uUsbTmcCapabilities uCapabilities;
    // The kind of the last failed Bulk or Interrupt transfer, from the library's code: a device
    // that went away is GoneAfter, and GoneBefore only for a SendData that knows nothing left.
    Failure::eKind eFailure = Failure::eKind::None;
};

// --- instances ---
std::shared_ptr<uUsbTmcInstance> NewInstance(std::string& sError);
// Removes the instance from the module's list and frees its send buffer. The USB device is
// left alone: its handle belongs to the caller.
bool DeleteInstance(uUsbTmcInstance* pInstance, std::string& sError);

// Copies and checks the settings and reads the capabilities (whose outcome doesn't count).
bool SetInstrument(uUsbTmcInstance& uInstance, const uUsbTmcSettings& uSettings, std::string& sError);
// 0 takes the program's USBTMC response time-out.
void SetTimeout(uUsbTmcInstance& uInstance, std::int64_t iMilliseconds);
// 0 keeps the old value.
void SetControlTimeout(uUsbTmcInstance& uInstance, std::int64_t iMilliseconds);
void SetWaitTime(uUsbTmcInstance& uInstance, std::int64_t iMilliseconds);
std::int64_t GetWaitTime(const uUsbTmcInstance& uInstance);
void SetTermChar(uUsbTmcInstance& uInstance, int iChar, bool fEnable);
void SetRemoveTermChar(uUsbTmcInstance& uInstance, bool fRemove);
// Drops the final TermChar of a finished answer where the instance removes it and it is one.
void RemoveTermChar(const uUsbTmcInstance& uInstance, DataBuffer& data);
void SetProgressStep(uUsbTmcInstance& uInstance, std::int64_t iBytes);

// --- messages ---
// Command text (ASCII) followed by optional binary data becomes the next message.
bool PrepareData(uUsbTmcInstance& uInstance, std::string_view sCommand, const std::uint8_t* pData,
                 std::size_t iDataSize, std::string& sError);
void FreeMemory(uUsbTmcInstance& uInstance);
// Sends the prepared message in one Bulk-OUT transfer (iMsgId 1 or 126); iSent receives the
// bytes of that transfer. Posts one sending event to iWindow (not to WindowNobody).
bool SendData(uUsbTmcInstance& uInstance, int iMsgId, std::int64_t& iSent, int iWindow,
              std::string& sError);
// One status report: eWait 1 by READ_STATUS_BYTE, 2 by a service request on Interrupt-IN.
bool WaitData(uUsbTmcInstance& uInstance, int eWait, bool& fMav, int& iStatusByte, std::string& sError);
// Reads one answer (iMsgId 2 or 127) into Data. Succeeds only on the end of the message; a
// time-out keeps what came in Data and iTransferred, any other failure leaves nothing.
bool RequestData(uUsbTmcInstance& uInstance, DataBuffer& Data, std::int64_t& iTransferred,
                 int iMsgId, int iWindow, std::string& sError);

// --- headers ---
int GetNextTag(uUsbTmcInstance& uInstance);
int GetNextStatusTag(uUsbTmcInstance& uInstance);
std::int64_t GetPaddingSize(std::int64_t iLength, std::int64_t iMultiple);
// The whole Bulk-OUT transfer of the prepared message: header, data, TermChar, padding.
bool CreateSendBulkOutHeaderWithData(uUsbTmcInstance& uInstance, int iMsgId, DataBuffer& Transfer,
                                     std::string& sError);
void CreateRequestBulkOutHeader(uUsbTmcInstance& uInstance, std::array<std::uint8_t, 12>& aHeader,
                                std::int64_t iTransferSize, int iMsgId);

// --- class requests ---
// iLength: in the size asked for, out the bytes received (more than asked is an error).
bool ControlTransfer(uUsbTmcInstance& uInstance, int bmRequestType, int bRequest, int wValue,
                     int wIndex, std::uint8_t* pBuffer, int& iLength, std::string& sError);
// With nullptr the record goes into the instance.
bool GetCapabilities(uUsbTmcInstance& uInstance, uUsbTmcCapabilities* pCapabilities, std::string& sError);
bool ReadStatusByte(uUsbTmcInstance& uInstance, int iTag, uReadStatusByteResponse& uResponse,
                    std::string& sError);
// iTag 0 takes the instance's current bTag.
bool InitiateAbortBulkOut(uUsbTmcInstance& uInstance, int iTag, std::array<std::uint8_t, 2>& aAnswer,
                          std::string& sError);
bool InitiateAbortBulkIn(uUsbTmcInstance& uInstance, int iTag, std::array<std::uint8_t, 2>& aAnswer,
                         std::string& sError);
bool CheckAbortBulkOutStatus(uUsbTmcInstance& uInstance, std::array<std::uint8_t, 8>& aAnswer,
                             std::string& sError);
bool CheckAbortBulkInStatus(uUsbTmcInstance& uInstance, std::array<std::uint8_t, 8>& aAnswer,
                            std::string& sError);
bool InterruptTransfer(uUsbTmcInstance& uInstance, uInterruptTransferResponse& uResponse,
                       std::string& sError);

// --- aborts ---
// Best-effort clean-up after a failed Bulk transfer of message iMsgId.
void AbortTransfers(uUsbTmcInstance& uInstance, int iMsgId);
// Full abort of the Bulk-IN transfer that answers the REQUEST with bTag iTag.
bool AbortRequestData(uUsbTmcInstance& uInstance, int iTag, std::string& sError);
// Reads Bulk-IN until a short packet; iTimeout 0 takes the control timeout.
bool ReadShortPacketFromBulkInEndpoint(uUsbTmcInstance& uInstance, std::int64_t iTimeout,
                                       std::string& sError);

// The pause between two polls of an abort (50 ms). Tests put a function of their own here;
// nullptr restores the real sleep.
using PauseFunction = std::function<void(std::chrono::milliseconds)>;
void SetPauseFunction(PauseFunction fnPause);

} // namespace UsbTmc
