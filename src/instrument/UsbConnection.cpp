#include "instrument/UsbConnection.h"

#include "common/WindowLog.h"
#include "instrument/ChainedRead.h"
#include "instrument/ConnectionFailure.h"
#include "instrument/InstrumentDefault.h"
#include "platform/ProgramEvents.h"
#include "transport/AbortRequests.h"
#include "transport/LibUsb0.h"
#include "transport/LibUsb1.h"
#include "transport/TransferStatus.h"
#include "transport/UsbAccess.h"
#include "transport/UsbTmc.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace InstrumentDefault {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr const char* cProcedure = "SendRequestUsbTmc";
constexpr const char* cWaitError = "Error waiting until the data are ready. - ";
constexpr const char* cNotFound = "The instrument was not found and no connection could be established.";

// The status byte as "%" and eight binary digits.
std::string StatusByteText(int iStatusByte) {
    std::string sText = "%";
    for (int iBit = 7; iBit >= 0; --iBit) sText += ((iStatusByte >> iBit) & 1) ? '1' : '0';
    return sText;
}

// Whole seconds since start, rounded up.
std::int64_t SecondsSince(Clock::time_point start) {
    const auto iMs = std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
    return (iMs + 999) / 1000;
}

// One open USBTMC instrument: the library's context, device list and handle, the claimed
// interface and the USBTMC transport instance. Everything is released when it closes or goes.
class uUsbTmcConnection final : public InstrumentTransport {
  public:
    explicit uUsbTmcConnection(bool fLibUsb0) : fLibUsb0(fLibUsb0) {}
    ~uUsbTmcConnection() override { Release(); }

    std::uint64_t AbortId() const override { return iAbortId; }

    void Wake() override {
        std::lock_guard lock(mWake);
        fWoken = true;
        cvWake.notify_all();
    }

    bool Close(std::string&) override {
        Release(); // library failures while closing change nothing
        return true;
    }

    bool Exchange(uInstance& instance, int iWindow, std::string& sError) override;

    // Creates the USBTMC transport instance for the claimed interface of the handle.
    bool Start(const uTaskPrepare& connection, std::string& sError) {
        pUsbTmc = UsbTmc::NewInstance(sError);
        if (!pUsbTmc) return false;
        iAbortId = Instrument::AbortId(pUsbTmc.get());
        uUsbTmcSettings settings;
        settings.fLibUsb0 = fLibUsb0 ? 1 : 0;
        settings.fLibUsb1 = fLibUsb0 ? 0 : 1;
        settings.pDeviceHandle = fLibUsb0 ? static_cast<void*>(pHandle0) : static_cast<void*>(pHandle1);
        settings.iInterface = connection.usb.iInterface;
        settings.iInterruptIn = connection.usb.iInterruptIn;
        settings.iBulkOut = connection.usb.iBulkOut;
        settings.iBulkOutMaxPacketSize = connection.usb.iBulkOutMaxPacketSize;
        settings.iBulkIn = connection.usb.iBulkIn;
        settings.iBulkInMaxPacketSize = connection.usb.iBulkInMaxPacketSize;
        return UsbTmc::SetInstrument(*pUsbTmc, settings, sError);
    }

    libusb_context* pContext = nullptr;
    libusb_device** pDeviceList = nullptr;
    libusb_device_handle* pHandle1 = nullptr;
    usb_dev_handle* pHandle0 = nullptr;
    int iInterface = 0;
    bool fClaimed = false;

  private:
    void Release() {
        std::string sIgnored;
        if (pHandle1) {
            if (fClaimed) LibUsb1::ReleaseInterface(pHandle1, iInterface, sIgnored);
            LibUsb1::Close(pHandle1);
            pHandle1 = nullptr;
        }
        if (pHandle0) {
            if (fClaimed) LibUsb0::ReleaseInterface(pHandle0, iInterface, sIgnored);
            LibUsb0::Close(pHandle0, sIgnored);
            pHandle0 = nullptr;
        }
        fClaimed = false;
        if (pDeviceList) {
            LibUsb1::FreeDeviceList(pDeviceList, true);
            pDeviceList = nullptr;
        }
        if (pContext) {
            LibUsb1::Exit(pContext);
            pContext = nullptr;
        }
        if (pUsbTmc) {
            UsbTmc::DeleteInstance(pUsbTmc.get(), sIgnored);
            pUsbTmc.reset();
        }
    }

    // Waits at most iMs; a Wake ends the wait early.
    void Pause(std::int64_t iMs) {
        std::unique_lock lock(mWake);
        cvWake.wait_for(lock, milliseconds(iMs), [&] { return fWoken; });
        fWoken = false;
    }

    bool WaitForAnswer(uInstance& instance, int iWindow, std::string& sError);

    const bool fLibUsb0;
    std::shared_ptr<UsbTmc::uUsbTmcInstance> pUsbTmc;
    std::uint64_t iAbortId = 0; // set before the connection is handed to the instance
    std::mutex mWake;
    std::condition_variable cvWake;
    bool fWoken = false;
};

// The waiting phase before the read: polls the status byte (eWait 1) or waits for a service
// request (eWait 2) until the answer is ready, a cancel comes, or the exchange's answer time-out
// has passed. False only for the cancel and the time-out; a quick failure of the poll itself is
// posted and the read is made all the same.
bool uUsbTmcConnection::WaitForAnswer(uInstance& instance, int iWindow, std::string& sError) {
    UsbTmc::uUsbTmcInstance& usbTmc = *pUsbTmc;
    const uRequest& request = instance.request;
    const int eWait = static_cast<int>(request.eWait);
    std::int64_t iWaitTime = UsbTmc::GetWaitTime(usbTmc);
    if (iWaitTime <= 0) iWaitTime = 500;
    const std::int64_t iLimit = request.iTimeout > 0 ? request.iTimeout : usbTmc.iTransferTimeout;
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = start + milliseconds(iLimit);
    Pause(10);
    bool fGood = true;
    bool fCheckAgain = false;
    for (;;) {
        if (!instance.fCancel && Instrument::TakeAbortRequest(iAbortId)) instance.fCancel = true;
        if (instance.fCancel) {
            sError = "InstrumentDefault::SendRequestUsbTmc: The task has been canceled.";
            instance.request.failure.eType = Failure::eKind::Canceled;
            fGood = false;
            fCheckAgain = true;
            break;
        }
        if (Clock::now() >= deadline) {
            sError = "InstrumentDefault::SendRequestUsbTmc: The instrument did not have the answer ready within " +
                     std::to_string(iLimit) + " ms.";
            Failure::uFailure& failure = instance.request.failure;
            failure.eType = Failure::eKind::TimedOut;
            failure.eAt = Failure::eStep::Receive;
            failure.iSent = instance.request.iSendTransferred;
            failure.iWaitedMs = iLimit;
            TransferStatus::PostError(iWindow, TransferStatus::TransferSendError, cWaitError + sError, cProcedure, failure);
            fGood = false;
            fCheckAgain = true;
            break;
        }
        const Clock::time_point tPoll = Clock::now();
        bool fReady = false;
        int iStatusByte = 0;
        std::string sWait;
        if (!UsbTmc::WaitData(usbTmc, eWait, fReady, iStatusByte, sWait)) {
            // A poll that failed only after the wait time has run out: nothing came yet.
            if (Clock::now() - tPoll <= milliseconds(iWaitTime)) {
                // The control transfer names no kind: the read that follows tells what became of it.
                TransferStatus::PostError(iWindow, TransferStatus::TransferSendError, cWaitError + sWait, cProcedure,
                                          Failure::uFailure{Failure::eKind::Other});
                TransferStatus::Post(iWindow, TransferStatus::TransferWaiting, WindowNobody, SecondsSince(start));
                fCheckAgain = true;
                break;
            }
        } else if (fReady) {
            break;
        } else if (eWait == UsbTmc::WaitServiceRequest) {
            TransferStatus::PostError(iWindow, TransferStatus::TransferSendError,
                                      "No data is available. Status byte = " + StatusByteText(iStatusByte), cProcedure);
            break;
        } else {
            Pause(100);
        }
        TransferStatus::Post(iWindow, TransferStatus::TransferWaiting, WindowNobody, SecondsSince(start));
    }
    if (fCheckAgain) {
        bool fIgnored = false;
        int iIgnored = 0;
        std::string sIgnored;
        UsbTmc::WaitData(usbTmc, UsbTmc::WaitStatusByte, fIgnored, iIgnored, sIgnored);
    }
    return fGood;
}

bool uUsbTmcConnection::Exchange(uInstance& instance, int iWindow, std::string& sError) {
    uRequest& request = instance.request;
    if (!pUsbTmc) {
        request.failure.eType = Failure::eKind::NotConnected;
        sError = "InstrumentDefault::SendRequest: The instrument is not open.";
        return false;
    }
    {
        std::lock_guard lock(mWake);
        fWoken = false;
    }
    UsbTmc::uUsbTmcInstance& usbTmc = *pUsbTmc;
    UsbTmc::SetTimeout(usbTmc, request.iTimeout);
    UsbTmc::SetControlTimeout(usbTmc, request.iControlTimeout);
    UsbTmc::SetWaitTime(usbTmc, request.iWaitTime);
    UsbTmc::SetTermChar(usbTmc, static_cast<int>(request.iTermChar), request.fTermCharEnabled != 0);
    // The answer loses its final TermChar once, behind its padding: a single answer as its message
    // came, before the walk takes a block's own line ends off it; a chain once its messages are
    // walked as they came (a line end that ends a message may be a block's data).
    const bool fChain = request.iAnswers >= 2;
    UsbTmc::SetRemoveTermChar(usbTmc, false);
    const auto removeTermChar = [&] {
        UsbTmc::SetRemoveTermChar(usbTmc, request.fRemoveTermChar != 0);
        UsbTmc::RemoveTermChar(usbTmc, request.requestData);
    };
    UsbTmc::SetProgressStep(usbTmc, request.iProgressStep);

    const std::uint8_t* pPayload = request.data.empty() ? nullptr : request.data.data();
    if (!UsbTmc::PrepareData(usbTmc, request.sCommand, pPayload, request.data.size(), sError)) {
        request.failure.eType = Failure::eKind::Other;
        TransferStatus::PostError(iWindow, TransferStatus::TransferSendError,
                                  "Error while creating the data for sending. - " + sError, cProcedure, request.failure);
        return false;
    }
    const bool fVendor = request.fVendorSpecific != 0;
    std::int64_t iSent = 0;
    bool fGood = UsbTmc::SendData(usbTmc, fVendor ? UsbTmc::MsgVendorSpecificOut : UsbTmc::MsgDevDepOut, iSent,
                                  iWindow, sError);
    UsbTmc::FreeMemory(usbTmc);
    request.iSendTransferred = iSent;
    request.fSendFinished = fGood ? 1 : 0;
    if (!fGood) {
        request.failure.eType = usbTmc.eFailure;
        request.failure.eAt = Failure::eStep::Send;
        request.failure.iSent = iSent;
        if (!Instrument::SendsAgain(request.failure, instance.fConnectTried)) {
            TransferStatus::PostError(iWindow, TransferStatus::TransferSendError,
                                      "Error while sending the data. - " + sError, cProcedure, request.failure);
        }
        return false;
    }
    TransferStatus::Post(iWindow, TransferStatus::TransferSent, WindowNobody, iSent);
    if (!request.fRequestData) return true;
    if ((request.eWait == UsbTmc::WaitStatusByte || request.eWait == UsbTmc::WaitServiceRequest) &&
        !WaitForAnswer(instance, iWindow, sError)) {
        return false;
    }
    std::int64_t iReceived = 0;
    const auto eRead = fVendor ? UsbTmc::MsgRequestVendorSpecificIn : UsbTmc::MsgRequestDevDepIn;
    // A message cut by the time-out fails, its bytes counted; so does a chain short of answers.
    fGood = UsbTmc::RequestData(usbTmc, request.requestData, iReceived, eRead, iWindow, sError);
    Failure::eKind eFailed = usbTmc.eFailure;
    std::size_t iWhole = 0;
    if (fGood && !fChain) {
        DataBuffer& data = request.requestData; // a chain's padding goes as its messages are walked
        data.setSize(Instrument::DropPadding(data.data(), data.size(), request.sTermination,
                                             request.eBlockUnit, request.blockEnds));
        removeTermChar();
    }
    if (fGood) {
        eFailed = ReadChainedMessages(
            request,
            [&](DataBuffer& next, std::string& sNext) {
                std::int64_t iNext = 0;
                const bool fRead = UsbTmc::RequestData(usbTmc, next, iNext, eRead, iWindow, sNext);
                next.setSize(static_cast<std::size_t>(
                    std::clamp<std::int64_t>(iNext, 0, static_cast<std::int64_t>(next.size()))));
                return fRead ? Failure::eKind::None : usbTmc.eFailure;
            },
            iWhole, sError);
        fGood = eFailed == Failure::eKind::None;
        if (fChain) removeTermChar();
        iReceived = static_cast<std::int64_t>(request.requestData.size());
    }
    request.iRequestTransferred = iReceived;
    request.fRequestFinished = fGood ? 1 : 0;
    if (!fGood) {
        Instrument::CountPart(request.failure, eFailed, iReceived, request.requestData.view(), iWhole,
                              request.iAnswers, request.iTimeout, sError);
        request.failure.eType = eFailed;
        request.failure.eAt = Failure::eStep::Receive;
        request.failure.iSent = iSent;
        TransferStatus::PostError(iWindow, TransferStatus::TransferReceiveError,
                                  "Error while receiving the data. - " + sError, cProcedure, request.failure);
        return false;
    }
    TransferStatus::Post(iWindow, TransferStatus::TransferReceived, WindowNobody, iReceived);
    return true;
}

// Configuration 0 in the description: configuration 1, interface 0, endpoints to be found.
bool PrepareUsbPart(uConnectionUsb& usb) {
    if (usb.iConfiguration != 0) return false;
    usb.iConfiguration = 1;
    usb.iInterface = 0;
    return true;
}

// Writes what the connect found back into the instance's description.
void StoreUsbPart(uInstance& instance, const uConnectionUsb& usb) {
    uTaskPrepare connection = instance.uConnection;
    connection.usb = usb;
    SetConnection(instance, std::move(connection));
}

// Puts the device into the configuration unless it is in it already: a configuration that is
// set again while a kernel driver holds an interface is refused on Linux.
bool ActivateConfiguration(libusb_device_handle* pHandle, int iConfiguration, std::string& sError) {
    int iActive = 0;
    std::string sIgnored;
    if (LibUsb1::GetConfiguration(pHandle, iActive, sIgnored) && iActive == iConfiguration) return true;
    return LibUsb1::SetConfiguration(pHandle, iConfiguration, sError);
}

// sDenied: the text of a device asked for that the user may not open, else empty.
bool Failed(const char* pProcedure, std::string& sError, const std::string& sDenied = {}) {
    sError = std::string("InstrumentDefault::") + pProcedure + ": " + (sDenied.empty() ? cNotFound : sDenied);
    return false;
}

// No device of the description could be opened: one the user may not open is told apart by
// its kind, so that the window's reason names the rule that grants it.
bool NotOpened(uInstance& instance, const char* pProcedure, std::string& sError, const std::string& sDenied) {
    // The sentence that names the device and the rule is the reason the window shows.
    if (!sDenied.empty()) instance.connectFailure = {Failure::eKind::NotPermitted, 0, sDenied};
    return Failed(pProcedure, sError, sDenied);
}

} // namespace

bool ConnectUsbTmcLibUsb1(uInstance& instance, std::string& sError) {
    uConnectionUsb usb = instance.uConnection.usb;
    const bool fDiscover = PrepareUsbPart(usb);
    auto pConnection = std::make_shared<uUsbTmcConnection>(false);
    std::string sStep;
    if (!LibUsb1::Init(&pConnection->pContext, sStep)) return Failed("ConnectUsbTmcLibUsb1", sError);
    std::vector<libusb_device*> lDevices;
    std::int64_t iCount = 0;
    const bool fListed = LibUsb1::GetDeviceList(pConnection->pContext, lDevices, iCount, pConnection->pDeviceList, sStep);
    bool fOpened = false;
    std::string sDenied;
    for (libusb_device* pDevice : fListed ? lDevices : std::vector<libusb_device*>{}) {
        libusb_device_descriptor descriptor{};
        if (!LibUsb1::GetDeviceDescriptor(pDevice, descriptor, sStep) || descriptor.idVendor != usb.iVendorId ||
            descriptor.idProduct != usb.iProductId) {
            continue;
        }
        libusb_device_handle* pHandle = nullptr;
        int iCode = 0;
        if (!LibUsb1::Open(pDevice, pHandle, &iCode, sStep)) {
            if (UsbAccess::Denied1(iCode)) sDenied = UsbAccess::DeniedText(pDevice);
            continue;
        }
        bool fMatch = ActivateConfiguration(pHandle, static_cast<int>(usb.iConfiguration), sStep);
        if (fMatch && !usb.sSerialNumber.empty()) {
            std::string sSerial;
            fMatch = descriptor.iSerialNumber != 0 &&
                     LibUsb1::GetStringDescriptor(pHandle, descriptor.iSerialNumber, 0, sSerial, sStep) &&
                     sSerial == usb.sSerialNumber;
        }
        if (!fMatch) {
            LibUsb1::Close(pHandle);
            continue;
        }
        uConnectionUsb candidate = usb;
        if (fDiscover) {
            libusb_config_descriptor* pConfig = nullptr;
            if (LibUsb1::GetConfigDescriptor(pDevice, 0, pConfig, sStep)) {
                if (pConfig->bNumInterfaces > 0 && pConfig->interface && pConfig->interface[0].num_altsetting > 0) {
                    const libusb_interface_descriptor& setting = pConfig->interface[0].altsetting[0];
                    TakeUsbEndpoints(setting.endpoint, setting.bNumEndpoints, candidate);
                }
                LibUsb1::FreeConfigDescriptor(pConfig);
            }
        }
        std::string sIgnored; // platforms without kernel drivers do not support it
        LibUsb1::SetAutoDetachKernelDriver(pHandle, true, sIgnored);
        if (!LibUsb1::ClaimInterface(pHandle, static_cast<int>(candidate.iInterface), sStep)) {
            LibUsb1::Close(pHandle);
            continue;
        }
        pConnection->pHandle1 = pHandle;
        pConnection->iInterface = static_cast<int>(candidate.iInterface);
        pConnection->fClaimed = true;
        StoreUsbPart(instance, candidate);
        fOpened = pConnection->Start(instance.uConnection, sStep);
        break;
    }
    if (!fOpened) return NotOpened(instance, "ConnectUsbTmcLibUsb1", sError, sDenied); // the connection releases everything
    SetTransport(instance, std::move(pConnection));
    return true;
}

bool ConnectUsbTmcLibUsb0(uInstance& instance, std::string& sError) {
    uConnectionUsb usb = instance.uConnection.usb;
    const bool fDiscover = PrepareUsbPart(usb);
    std::string sStep;
    if (!LibUsb0::Init(sStep)) {
        WindowLog::PostError("InstrumentDefault::ConnectUsbTmcLibUsb0: The Libusb0 DLL could not be initialized. - " +
                             sStep);
        return Failed("ConnectUsbTmcLibUsb0", sError);
    }
    int iIgnored = 0;
    LibUsb0::FindBusses(iIgnored, sStep);
    LibUsb0::FindDevices(iIgnored, sStep);
    auto pConnection = std::make_shared<uUsbTmcConnection>(true);
    bool fFound = false;
    bool fOpened = false;
    std::string sDenied;
    for (usb_bus* pBus = LibUsb0::GetBusses(sStep); pBus && !fFound; pBus = pBus->next) {
        for (usb_device* pDevice = pBus->devices; pDevice && !fFound; pDevice = pDevice->next) {
            const usb_device_descriptor& descriptor = pDevice->descriptor;
            // Hubs and other devices of their own class are no candidates; a device is opened
            // only when it is the one asked for.
            if (descriptor.bDeviceClass != 0 || descriptor.bDeviceSubClass != 0 || descriptor.bDeviceProtocol != 0 ||
                descriptor.idVendor != usb.iVendorId || descriptor.idProduct != usb.iProductId) {
                continue;
            }
            int iCode = 0;
            usb_dev_handle* pHandle = LibUsb0::Open(pDevice, &iCode, sStep);
            if (!pHandle) {
                if (UsbAccess::Denied0(iCode)) sDenied = UsbAccess::DeniedText(*pDevice);
                continue;
            }
            uConnectionUsb candidate = usb;
            bool fMatch = LibUsb0::SetConfiguration(pHandle, static_cast<int>(usb.iConfiguration), &iCode, sStep);
            if (fMatch && !usb.sSerialNumber.empty()) {
                std::string sSerial;
                fMatch = descriptor.iSerialNumber != 0 &&
                         LibUsb0::GetStringSimple(pHandle, descriptor.iSerialNumber, sSerial, sStep) &&
                         sSerial == usb.sSerialNumber;
            }
            if (fMatch && fDiscover) {
                const usb_config_descriptor* pConfig = pDevice->config;
                fMatch = pConfig && pConfig->bNumInterfaces > 0 && pConfig->interface &&
                         pConfig->interface[0].altsetting && pConfig->interface[0].num_altsetting > 0 &&
                         pConfig->interface[0].altsetting[0].endpoint;
                if (fMatch) {
                    const usb_interface_descriptor& setting = pConfig->interface[0].altsetting[0];
                    candidate.iInterface = setting.bInterfaceNumber;
                    TakeUsbEndpoints(setting.endpoint, setting.bNumEndpoints, candidate);
                }
            }
            if (!fMatch || !LibUsb0::ClaimInterface(pHandle, static_cast<int>(candidate.iInterface), &iCode, sStep)) {
                // The old library opens a file it may only read and fails at the first change.
                if (UsbAccess::Denied0(iCode)) sDenied = UsbAccess::DeniedText(*pDevice);
                LibUsb0::Close(pHandle, sStep);
                continue;
            }
            fFound = true;
            pConnection->pHandle0 = pHandle;
            pConnection->iInterface = static_cast<int>(candidate.iInterface);
            pConnection->fClaimed = true;
            StoreUsbPart(instance, candidate);
            fOpened = pConnection->Start(instance.uConnection, sStep);
        }
    }
    if (!fOpened) return NotOpened(instance, "ConnectUsbTmcLibUsb0", sError, sDenied);
    SetTransport(instance, std::move(pConnection));
    return true;
}

} // namespace InstrumentDefault
