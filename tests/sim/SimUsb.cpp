#include "sim/SimUsb.h"

#include "transport/LibUsb0.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>

namespace SimUsb {

namespace {

// USBTMC message ids, class requests and status values.
constexpr int cDevDepMsgOut = 1, cRequestDevDepMsgIn = 2;
constexpr int cVendorSpecificOut = 126, cRequestVendorSpecificIn = 127;
constexpr int cInitiateAbortBulkOut = 1, cCheckAbortBulkOutStatus = 2;
constexpr int cInitiateAbortBulkIn = 3, cCheckAbortBulkInStatus = 4;
constexpr int cInitiateClear = 5, cCheckClearStatus = 6, cGetCapabilities = 7;
constexpr int cIndicatorPulse = 64, cReadStatusByte = 128;
constexpr int cRenControl = 160, cGoToLocal = 161, cLocalLockout = 162;
constexpr int cGetDescriptor = 6, cGetConfiguration = 8;
constexpr std::uint8_t cSuccess = 1, cPending = 2, cFailed = 0x80;

void PutLe32(std::vector<std::uint8_t>& v, std::size_t iAt, std::uint32_t iValue) {
    for (int i = 0; i < 4; ++i) v[iAt + i] = static_cast<std::uint8_t>(iValue >> (8 * i));
}

std::vector<std::uint8_t> StringDescriptor(const std::string& s) {
    std::vector<std::uint8_t> v{static_cast<std::uint8_t>(2 + 2 * s.size()), 3};
    for (unsigned char c : s) {
        v.push_back(c);
        v.push_back(0);
    }
    return v;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Device

Device::Device(uDeviceConfig uConfigIn, std::shared_ptr<Sim::ScpiDevice> pScpiIn)
    : uConfig(std::move(uConfigIn)), pScpi(std::move(pScpiIn)),
      iActiveConfiguration(uConfig.lConfigurations.empty() ? 1 : uConfig.lConfigurations.front().iValue) {}

void Device::SetActiveConfiguration(int iValue) {
    std::lock_guard lock(mMutex);
    iActiveConfiguration = iValue;
}

int Device::ActiveConfiguration() const {
    std::lock_guard lock(mMutex);
    return iActiveConfiguration;
}

int Device::Opens() const {
    std::lock_guard lock(mMutex);
    return iOpens;
}

std::vector<std::pair<int, int>> Device::SetConfigurationLog() const {
    std::lock_guard lock(mMutex);
    return lSetConfigurationLog;
}

int Device::Opened() {
    std::lock_guard lock(mMutex);
    if (iOpenError) return iOpenError;
    ++iOpens;
    return 0;
}

int Device::SetConfiguration(int iValue) {
    std::lock_guard lock(mMutex);
    lSetConfigurationLog.emplace_back(iOpens, iValue);
    // 0 unconfigures; any other value must name one of the device's configurations.
    bool fKnown = iValue == 0 || (uConfig.lConfigurations.empty() && iValue == 1);
    for (const uConfiguration& k : uConfig.lConfigurations) fKnown = fKnown || k.iValue == iValue;
    if (!fKnown) return LIBUSB_ERROR_NOT_FOUND;
    iActiveConfiguration = iValue;
    return 0;
}

void Device::SetMaxPayload(std::size_t iBytes) {
    std::lock_guard lock(mMutex);
    iMaxPayload = iBytes;
}

void Device::SetReadChunk(std::size_t iBytes) {
    std::lock_guard lock(mMutex);
    iReadChunk = iBytes;
}

void Device::PushBulkInRaw(std::vector<std::uint8_t> vRaw) {
    std::lock_guard lock(mMutex);
    lBulkInRaw.push_back(std::move(vRaw));
}

void Device::PushBulkInError(int iCode) {
    std::lock_guard lock(mMutex);
    lBulkInErrors.push_back(iCode);
}

void Device::PushBulkOutError(int iCode) {
    std::lock_guard lock(mMutex);
    lBulkOutErrors.push_back(iCode);
}

void Device::PushControlReply(int bRequest, std::vector<std::uint8_t> vReply, int iReported) {
    std::lock_guard lock(mMutex);
    mControlReplies[bRequest].emplace_back(std::move(vReply), iReported);
}

void Device::PushControlError(int bRequest, int iCode) {
    std::lock_guard lock(mMutex);
    mControlErrors[bRequest].push_back(iCode);
}

void Device::PushInterrupt(std::vector<std::uint8_t> vNotification) {
    std::lock_guard lock(mMutex);
    lInterrupts.push_back(std::move(vNotification));
}

void Device::PushInterruptError(int iCode) {
    std::lock_guard lock(mMutex);
    lInterruptErrors.push_back(iCode);
}

void Device::SetServiceRequestOnAnswer(bool fOn) {
    std::lock_guard lock(mMutex);
    fServiceRequestOnAnswer = fOn;
}

void Device::SetStringDescriptor(int iIndex, std::vector<std::uint8_t> vRaw) {
    std::lock_guard lock(mMutex);
    mStringDescriptors[iIndex] = std::move(vRaw);
}

void Device::SetBulkInHook(std::function<void(int)> fnHook) {
    std::lock_guard lock(mMutex);
    fnBulkInHook = std::move(fnHook);
}

std::vector<std::vector<std::uint8_t>> Device::BulkOutLog() const {
    std::lock_guard lock(mMutex);
    return lBulkOutLog;
}

std::vector<uControlRequest> Device::ControlLog() const {
    std::lock_guard lock(mMutex);
    return lControlLog;
}

std::vector<long long> Device::TimeoutLog() const {
    std::lock_guard lock(mMutex);
    return lTimeoutLog;
}

void Device::NoteTimeout(long long iTimeout) {
    std::lock_guard lock(mMutex);
    lTimeoutLog.push_back(iTimeout);
}

std::vector<int> Device::ClearHaltLog() const {
    std::lock_guard lock(mMutex);
    return lClearHaltLog;
}

int Device::BulkInReads() const {
    std::lock_guard lock(mMutex);
    return iBulkInReads;
}

bool Device::Halted(int iEndpoint) const {
    std::lock_guard lock(mMutex);
    return iEndpoint == uConfig.iBulkIn ? fHaltIn : iEndpoint == uConfig.iBulkOut ? fHaltOut : false;
}

void Device::MessageBytes(const std::uint8_t* pData, std::size_t iSize, bool fEnd) {
    // Called with the lock held; the SCPI device has its own lock and never calls back.
    const bool fHadAnswer = pScpi->AnswerSize() > 0;
    pScpi->Write(pData, iSize, fEnd);
    if (fServiceRequestOnAnswer && uConfig.iInterruptIn && !fHadAnswer && pScpi->AnswerSize() > 0)
        lInterrupts.push_back({0x81, static_cast<std::uint8_t>(pScpi->StatusByte() | 0x40)});
}

int Device::BulkOut(const std::uint8_t* pData, int iLength, int& iTransferred) {
    std::lock_guard lock(mMutex);
    iTransferred = 0;
    if (fHaltOut) return LIBUSB_ERROR_PIPE;
    if (!lBulkOutErrors.empty()) {
        int iCode = lBulkOutErrors.front();
        lBulkOutErrors.pop_front();
        if (iCode == LIBUSB_ERROR_PIPE) fHaltOut = true;
        return iCode;
    }
    lBulkOutLog.emplace_back(pData, pData + iLength);
    iTransferred = iLength;
    // A transfer that is not a valid header is a protocol error: the device halts Bulk-OUT.
    if (iLength < 12 || pData[1] != static_cast<std::uint8_t>(~pData[2]) || pData[1] == 0) {
        fHaltOut = true;
        return LIBUSB_ERROR_PIPE;
    }
    int iMsgId = pData[0], iTag = pData[1];
    std::uint32_t iSize = pData[4] | (pData[5] << 8) | (pData[6] << 16) |
                          (static_cast<std::uint32_t>(pData[7]) << 24);
    iLastOutTag = iTag;
    if (iMsgId == cDevDepMsgOut || iMsgId == cVendorSpecificOut) {
        if (iSize > static_cast<std::uint32_t>(iLength - 12)) {
            fHaltOut = true;
            return LIBUSB_ERROR_PIPE;
        }
        iOutReceived = iSize;
        MessageBytes(pData + 12, iSize, iMsgId == cVendorSpecificOut || (pData[8] & 1));
    } else if (iMsgId == cRequestDevDepMsgIn || iMsgId == cRequestVendorSpecificIn) {
        uPending = {true, iMsgId, iTag, iSize, (pData[8] & 2) != 0, pData[9]};
    } else {
        fHaltOut = true;
        return LIBUSB_ERROR_PIPE;
    }
    return 0;
}

bool Device::BuildResponseLocked() {
    if (!uPending.fPending || pScpi->AnswerSize() == 0) return false;
    std::size_t iMax = uPending.iTransferSize;
    if (iMaxPayload) iMax = std::min(iMax, iMaxPayload);
    const int iTermChar =
        uPending.fTermCharEnabled && uPending.iMsgId == cRequestDevDepMsgIn ? uPending.iTermChar : -1;
    std::vector<std::uint8_t> vPayload(std::min(iMax, pScpi->AnswerSize()));
    bool fEom = false, fTermChar = false;
    std::size_t n = pScpi->Read(vPayload.data(), vPayload.size(), iTermChar, fEom, fTermChar);
    std::size_t iPadded = (12 + n + 3) / 4 * 4;
    vInFlight.assign(iPadded, 0);
    iInFlightPos = 0;
    vInFlight[0] = static_cast<std::uint8_t>(uPending.iMsgId);
    vInFlight[1] = static_cast<std::uint8_t>(uPending.iTag);
    vInFlight[2] = static_cast<std::uint8_t>(~uPending.iTag);
    PutLe32(vInFlight, 4, static_cast<std::uint32_t>(n));
    if (uPending.iMsgId == cRequestDevDepMsgIn)
        vInFlight[8] = static_cast<std::uint8_t>((fEom ? 1 : 0) | (fTermChar ? 2 : 0));
    if (n) std::memcpy(vInFlight.data() + 12, vPayload.data(), n);
    iInFlightTag = uPending.iTag;
    uPending.fPending = false;
    return true;
}

int Device::BulkIn(std::uint8_t* pData, int iLength, int& iTransferred) {
    std::function<void(int)> fnHook;
    int iRead = 0;
    int iResult = 0;
    {
        std::lock_guard lock(mMutex);
        iTransferred = 0;
        iRead = ++iBulkInReads;
        fnHook = fnBulkInHook;
        if (fHaltIn) {
            iResult = LIBUSB_ERROR_PIPE;
        } else if (!lBulkInErrors.empty()) {
            iResult = lBulkInErrors.front();
            lBulkInErrors.pop_front();
            if (iResult == LIBUSB_ERROR_PIPE) fHaltIn = true;
        } else if (!lBulkInRaw.empty()) {
            std::vector<std::uint8_t> v = std::move(lBulkInRaw.front());
            lBulkInRaw.pop_front();
            iTransferred = static_cast<int>(std::min<std::size_t>(v.size(), iLength));
            if (iTransferred > 0) std::memcpy(pData, v.data(), iTransferred);
        } else if (iInFlightPos < vInFlight.size() || BuildResponseLocked()) {
            std::size_t n = std::min<std::size_t>(vInFlight.size() - iInFlightPos, iLength);
            if (iReadChunk) n = std::min(n, iReadChunk);
            std::memcpy(pData, vInFlight.data() + iInFlightPos, n);
            iInFlightPos += n;
            iTransferred = static_cast<int>(n);
        } else {
            iResult = LIBUSB_ERROR_TIMEOUT;
        }
    }
    if (fnHook) fnHook(iRead);
    return iResult;
}

int Device::InterruptIn(std::uint8_t* pData, int iLength, int& iTransferred) {
    std::lock_guard lock(mMutex);
    iTransferred = 0;
    if (!lInterruptErrors.empty()) {
        int iCode = lInterruptErrors.front();
        lInterruptErrors.pop_front();
        return iCode;
    }
    if (lInterrupts.empty()) return LIBUSB_ERROR_TIMEOUT;
    std::vector<std::uint8_t> v = std::move(lInterrupts.front());
    lInterrupts.pop_front();
    if (static_cast<int>(v.size()) > iLength) return LIBUSB_ERROR_OVERFLOW;
    if (!v.empty()) std::memcpy(pData, v.data(), v.size());
    iTransferred = static_cast<int>(v.size());
    return 0;
}

void Device::SetClaimError(int iCode) {
    std::lock_guard lock(mMutex);
    iClaimError = iCode;
}

void Device::SetOpenError(int iCode) {
    std::lock_guard lock(mMutex);
    iOpenError = iCode;
}

int Device::Claims() const {
    std::lock_guard lock(mMutex);
    return iClaims;
}

bool Device::AutoDetach() const {
    std::lock_guard lock(mMutex);
    return fAutoDetach;
}

int Device::Claim() {
    std::lock_guard lock(mMutex);
    if (iClaimError) return iClaimError;
    ++iClaims;
    return 0;
}

void Device::Release() {
    std::lock_guard lock(mMutex);
    if (iClaims > 0) --iClaims;
}

void Device::SetAutoDetach(bool fOn) {
    std::lock_guard lock(mMutex);
    fAutoDetach = fOn;
}

int Device::ClearHalt(int iEndpoint) {
    std::lock_guard lock(mMutex);
    lClearHaltLog.push_back(iEndpoint);
    if (iEndpoint == uConfig.iBulkIn) fHaltIn = false;
    else if (iEndpoint == uConfig.iBulkOut) fHaltOut = false;
    else if (iEndpoint != uConfig.iInterruptIn) return LIBUSB_ERROR_NOT_FOUND;
    return 0;
}

int Device::ControlLocked(int bmRequestType, int bRequest, int wValue, int wIndex,
                          std::vector<std::uint8_t>& v) {
    if (bmRequestType == 0x80 && bRequest == cGetConfiguration) {
        v = {static_cast<std::uint8_t>(iActiveConfiguration)};
        return 0;
    }
    if (bmRequestType == 0x80 && bRequest == cGetDescriptor) {
        int iType = wValue >> 8, iIndex = wValue & 0xFF;
        if (iType != 3) return LIBUSB_ERROR_PIPE;
        auto it = mStringDescriptors.find(iIndex);
        if (it != mStringDescriptors.end()) v = it->second;
        else if (iIndex == 0) v = {4, 3, 0x09, 0x04};
        else if (iIndex == 1) v = StringDescriptor(uConfig.sManufacturer);
        else if (iIndex == 2) v = StringDescriptor(uConfig.sProduct);
        else if (iIndex == 3) v = StringDescriptor(uConfig.sSerialNumber);
        else return LIBUSB_ERROR_PIPE;
        return 0;
    }
    if (bmRequestType == 0xA2 && (bRequest == cInitiateAbortBulkOut || bRequest == cCheckAbortBulkOutStatus)) {
        if (wIndex != uConfig.iBulkOut) return LIBUSB_ERROR_PIPE;
        if (bRequest == cInitiateAbortBulkOut) {
            v = {wValue == iLastOutTag ? cSuccess : cFailed, static_cast<std::uint8_t>(iLastOutTag)};
        } else {
            v.assign(8, 0);
            v[0] = cSuccess;
            PutLe32(v, 4, iOutReceived);
        }
        return 0;
    }
    if (bmRequestType == 0xA2 && (bRequest == cInitiateAbortBulkIn || bRequest == cCheckAbortBulkInStatus)) {
        if (wIndex != uConfig.iBulkIn) return LIBUSB_ERROR_PIPE;
        bool fInFlight = iInFlightPos < vInFlight.size();
        if (bRequest == cInitiateAbortBulkIn) {
            bool fMatch = (uPending.fPending && uPending.iTag == wValue) ||
                          (fInFlight && iInFlightTag == wValue);
            v = {fMatch ? cSuccess : cFailed, static_cast<std::uint8_t>(wValue)};
            if (fMatch) {
                // The answer is dropped; what is in the FIFO still goes out, ended by a short
                // packet.
                uPending.fPending = false;
                pScpi->Clear();
            }
        } else {
            v.assign(8, 0);
            v[0] = fInFlight ? cPending : cSuccess;
            v[1] = fInFlight ? 1 : 0;
        }
        return 0;
    }
    if (bmRequestType != 0xA1) return LIBUSB_ERROR_PIPE;
    switch (bRequest) {
    case cInitiateClear:
        pScpi->Clear();
        vInFlight.clear();
        iInFlightPos = 0;
        uPending.fPending = false;
        v = {cSuccess};
        return 0;
    case cCheckClearStatus:
        v = {cSuccess, 0};
        return 0;
    case cGetCapabilities: {
        v.assign(24, 0);
        v[0] = cSuccess;
        v[2] = 0x00;
        v[3] = 0x01; // bcdUSBTMC 1.00
        v[4] = 0;
        v[5] = uConfig.fTermChar ? 1 : 0;
        v[12] = 0x00;
        v[13] = 0x01; // bcdUSB488 1.00
        v[14] = static_cast<std::uint8_t>((uConfig.fUsb4882 ? 4 : 0) | (uConfig.fRenControl ? 2 : 0) |
                                          (uConfig.fTrigger ? 1 : 0));
        v[15] = static_cast<std::uint8_t>((uConfig.fScpi ? 8 : 0) | (uConfig.fSr1 ? 4 : 0) |
                                          (uConfig.fRl1 ? 2 : 0) | (uConfig.fDt1 ? 1 : 0));
        return 0;
    }
    case cIndicatorPulse:
    case cRenControl:
    case cGoToLocal:
    case cLocalLockout:
        v = {cSuccess};
        return 0;
    case cReadStatusByte: {
        std::uint8_t iTag = static_cast<std::uint8_t>(wValue);
        std::uint8_t iStb = pScpi->StatusByte();
        if (uConfig.fUsb4882 && uConfig.iInterruptIn) {
            v = {cSuccess, iTag, 0};
            lInterrupts.push_back({static_cast<std::uint8_t>(0x80 | iTag), iStb});
        } else {
            v = {cSuccess, iTag, iStb};
        }
        return 0;
    }
    default:
        return LIBUSB_ERROR_PIPE;
    }
}

int Device::Control(int bmRequestType, int bRequest, int wValue, int wIndex, std::uint8_t* pData,
                    int wLength) {
    std::lock_guard lock(mMutex);
    lControlLog.push_back({bmRequestType, bRequest, wValue, wIndex, wLength});
    auto itError = mControlErrors.find(bRequest);
    if (itError != mControlErrors.end() && !itError->second.empty()) {
        int iCode = itError->second.front();
        itError->second.pop_front();
        return iCode;
    }
    std::vector<std::uint8_t> v;
    int iReported = -1;
    auto itReply = mControlReplies.find(bRequest);
    if (itReply != mControlReplies.end() && !itReply->second.empty()) {
        v = std::move(itReply->second.front().first);
        iReported = itReply->second.front().second;
        itReply->second.pop_front();
    } else {
        int iCode = ControlLocked(bmRequestType, bRequest, wValue, wIndex, v);
        if (iCode < 0) return iCode;
    }
    std::size_t n = std::min<std::size_t>(v.size(), wLength > 0 ? wLength : 0);
    if (n) std::memcpy(pData, v.data(), n);
    return iReported >= 0 ? iReported : static_cast<int>(n);
}

// ---------------------------------------------------------------------------------------------
// Bus

namespace {

struct uConfigHolder {
    libusb_config_descriptor uDescriptor{};
    std::vector<libusb_interface> lInterfaces;
    std::vector<libusb_interface_descriptor> lAltSettings;
    std::vector<std::vector<libusb_endpoint_descriptor>> lEndpoints;
};

// The libusb 0.1 records of one device, kept at stable addresses.
struct uRecords0 {
    usb_device uDevice{};
    std::vector<usb_config_descriptor> lConfigs;
    std::vector<std::vector<usb_interface>> lInterfaces;
    std::vector<std::vector<usb_interface_descriptor>> lAltSettings;
    std::vector<std::vector<std::vector<usb_endpoint_descriptor>>> lEndpoints;
};

} // namespace

struct Bus::uState {
    mutable std::mutex mMutex;
    std::vector<std::shared_ptr<Device>> lDevices;
    int iInitError = 0, iListError = 0;
    int iHandles = 0, iContexts = 0, iConfigs = 0;
    // 0.1 records: every generation built by usb_find_devices stays alive until the bus ends.
    std::deque<usb_bus> lBusses;
    std::deque<std::unique_ptr<uRecords0>> lRecords;
    std::map<const usb_device*, std::shared_ptr<Device>> mRecordDevice;
    std::map<const libusb_config_descriptor*, std::unique_ptr<uConfigHolder>> mConfigs;
    // Hot-plug: registered callbacks, and notices waiting for the next handle_events.
    struct uHotplugCallback {
        int iHandle = 0;
        int iEvents = 0;
        libusb_hotplug_callback_fn fn = nullptr;
        void* pUser = nullptr;
    };
    bool fHotplug = true;
    int iNextHotplug = 1;
    std::vector<uHotplugCallback> lHotplug;
    std::deque<std::pair<std::shared_ptr<Device>, int>> lNotices;
    bool fWake = false;
    std::condition_variable cvEvents;

    // Under mMutex: a notice for the callbacks registered now.
    void Notice(const std::shared_ptr<Device>& pDevice, int iEvent) {
        if (lHotplug.empty()) return;
        lNotices.emplace_back(pDevice, iEvent);
        cvEvents.notify_all();
    }
};

namespace {

struct uHandle {
    Bus::uState* pBus;
    std::shared_ptr<Device> pDevice;
};

std::mutex mInstalledMutex;
Bus::uState* pInstalled = nullptr;

Bus::uState& Installed() { return *pInstalled; }

Device* DeviceOf(libusb_device* p) { return reinterpret_cast<Device*>(p); }
uHandle* HandleOf(libusb_device_handle* p) { return reinterpret_cast<uHandle*>(p); }
uHandle* HandleOf(usb_dev_handle* p) { return reinterpret_cast<uHandle*>(p); }

std::vector<uConfiguration> Configurations(const uDeviceConfig& c) {
    if (!c.lConfigurations.empty()) return c.lConfigurations;
    uInterface i;
    i.lEndpoints.push_back({c.iBulkOut, 2, c.iBulkMaxPacketSize});
    i.lEndpoints.push_back({c.iBulkIn, 2, c.iBulkMaxPacketSize});
    if (c.iInterruptIn) i.lEndpoints.push_back({c.iInterruptIn, 3, 8});
    uConfiguration k;
    k.lInterfaces.push_back(i);
    return {k};
}

std::shared_ptr<Device> Shared(Device* p) {
    Bus::uState& s = Installed();
    std::lock_guard lock(s.mMutex);
    for (auto& d : s.lDevices)
        if (d.get() == p) return d;
    return nullptr;
}

uHandle* NewHandle(Bus::uState& s, std::shared_ptr<Device> pDevice) {
    std::lock_guard lock(s.mMutex);
    ++s.iHandles;
    return new uHandle{&s, std::move(pDevice)};
}

void DeleteHandle(uHandle* p) {
    {
        std::lock_guard lock(p->pBus->mMutex);
        --p->pBus->iHandles;
    }
    delete p;
}

int ErrnoOf(int iCode) {
    switch (iCode) {
    case LIBUSB_ERROR_PIPE: return -EPIPE;
    case LIBUSB_ERROR_TIMEOUT: return -ETIMEDOUT;
    case LIBUSB_ERROR_NO_DEVICE: return -ENODEV;
    case LIBUSB_ERROR_OVERFLOW: return -EOVERFLOW;
    case LIBUSB_ERROR_ACCESS: return -EACCES;
    case LIBUSB_ERROR_BUSY: return -EBUSY;
    default: return -EIO;
    }
}

// --- libusb-1.0 side ---

int Init1(libusb_context** pContext) {
    Bus::uState& s = Installed();
    std::lock_guard lock(s.mMutex);
    if (s.iInitError) return s.iInitError;
    ++s.iContexts;
    if (pContext) *pContext = reinterpret_cast<libusb_context*>(&s);
    return 0;
}

void Exit1(libusb_context*) {
    Bus::uState& s = Installed();
    std::lock_guard lock(s.mMutex);
    --s.iContexts;
}

ssize_t GetDeviceList1(libusb_context*, libusb_device*** pList) {
    Bus::uState& s = Installed();
    std::lock_guard lock(s.mMutex);
    if (s.iListError) return s.iListError;
    auto* p = new libusb_device*[s.lDevices.size() + 1];
    for (std::size_t i = 0; i < s.lDevices.size(); ++i)
        p[i] = reinterpret_cast<libusb_device*>(s.lDevices[i].get());
    p[s.lDevices.size()] = nullptr;
    *pList = p;
    return static_cast<ssize_t>(s.lDevices.size());
}

void FreeDeviceList1(libusb_device** pList, int) { delete[] pList; }

int GetDeviceDescriptor1(libusb_device* pDevice, libusb_device_descriptor* pDescriptor) {
    const uDeviceConfig& c = DeviceOf(pDevice)->Config();
    *pDescriptor = {};
    pDescriptor->bLength = 18;
    pDescriptor->bDescriptorType = 1;
    pDescriptor->bcdUSB = 0x0200;
    pDescriptor->bDeviceClass = c.iDeviceClass;
    pDescriptor->bDeviceSubClass = c.iDeviceSubClass;
    pDescriptor->bDeviceProtocol = c.iDeviceProtocol;
    pDescriptor->bMaxPacketSize0 = 64;
    pDescriptor->idVendor = c.iVendorId;
    pDescriptor->idProduct = c.iProductId;
    pDescriptor->bcdDevice = 0x0100;
    pDescriptor->iManufacturer = 1;
    pDescriptor->iProduct = 2;
    pDescriptor->iSerialNumber = 3;
    pDescriptor->bNumConfigurations = static_cast<std::uint8_t>(Configurations(c).size());
    return 0;
}

int GetConfigDescriptor1(libusb_device* pDevice, std::uint8_t iIndex,
                         libusb_config_descriptor** pConfig) {
    std::vector<uConfiguration> lConfigs = Configurations(DeviceOf(pDevice)->Config());
    if (iIndex >= lConfigs.size()) return LIBUSB_ERROR_NOT_FOUND;
    const uConfiguration& k = lConfigs[iIndex];
    auto pHolder = std::make_unique<uConfigHolder>();
    uConfigHolder* h = pHolder.get();
    h->lAltSettings.resize(k.lInterfaces.size());
    h->lEndpoints.resize(k.lInterfaces.size());
    h->lInterfaces.resize(k.lInterfaces.size());
    for (std::size_t i = 0; i < k.lInterfaces.size(); ++i) {
        const uInterface& f = k.lInterfaces[i];
        for (const uEndpoint& e : f.lEndpoints) {
            libusb_endpoint_descriptor d{};
            d.bLength = 7;
            d.bDescriptorType = 5;
            d.bEndpointAddress = e.iAddress;
            d.bmAttributes = e.iAttributes;
            d.wMaxPacketSize = e.iMaxPacketSize;
            h->lEndpoints[i].push_back(d);
        }
        libusb_interface_descriptor& a = h->lAltSettings[i];
        a = {};
        a.bLength = 9;
        a.bDescriptorType = 4;
        a.bInterfaceNumber = f.iNumber;
        a.bNumEndpoints = static_cast<std::uint8_t>(f.lEndpoints.size());
        a.bInterfaceClass = f.iClass;
        a.bInterfaceSubClass = f.iSubClass;
        a.bInterfaceProtocol = f.iProtocol;
        a.endpoint = h->lEndpoints[i].data();
        h->lInterfaces[i].altsetting = &a;
        h->lInterfaces[i].num_altsetting = 1;
    }
    h->uDescriptor.bLength = 9;
    h->uDescriptor.bDescriptorType = 2;
    h->uDescriptor.bNumInterfaces = static_cast<std::uint8_t>(k.lInterfaces.size());
    h->uDescriptor.bConfigurationValue = k.iValue;
    h->uDescriptor.interface = h->lInterfaces.data();
    *pConfig = &h->uDescriptor;
    Bus::uState& s = Installed();
    std::lock_guard lock(s.mMutex);
    ++s.iConfigs;
    s.mConfigs[&h->uDescriptor] = std::move(pHolder);
    return 0;
}

void FreeConfigDescriptor1(libusb_config_descriptor* pConfig) {
    Bus::uState& s = Installed();
    std::lock_guard lock(s.mMutex);
    if (s.mConfigs.erase(pConfig)) --s.iConfigs;
}

std::uint8_t GetBusNumber1(libusb_device* pDevice) {
    return static_cast<std::uint8_t>(DeviceOf(pDevice)->Config().iBusNumber);
}

std::uint8_t GetPortNumber1(libusb_device* pDevice) {
    return static_cast<std::uint8_t>(DeviceOf(pDevice)->Config().iPortNumber);
}

// The configured address, else the device's place on the bus from 1.
int AddressOf(const Device* pDevice) {
    if (pDevice->Config().iAddress) return pDevice->Config().iAddress;
    Bus::uState& s = Installed();
    std::lock_guard lock(s.mMutex);
    for (std::size_t i = 0; i < s.lDevices.size(); ++i)
        if (s.lDevices[i].get() == pDevice) return static_cast<int>(i + 1);
    return 0;
}

std::uint8_t GetDeviceAddress1(libusb_device* pDevice) {
    return static_cast<std::uint8_t>(AddressOf(DeviceOf(pDevice)));
}

int Open1(libusb_device* pDevice, libusb_device_handle** pHandle) {
    std::shared_ptr<Device> p = Shared(DeviceOf(pDevice));
    if (!p) return LIBUSB_ERROR_NO_DEVICE;
    if (const int iCode = p->Opened()) return iCode;
    *pHandle = reinterpret_cast<libusb_device_handle*>(NewHandle(Installed(), std::move(p)));
    return 0;
}

void Close1(libusb_device_handle* pHandle) { DeleteHandle(HandleOf(pHandle)); }

int SetConfiguration1(libusb_device_handle* pHandle, int iValue) {
    return HandleOf(pHandle)->pDevice->SetConfiguration(iValue);
}

int Claim1(libusb_device_handle* pHandle, int) { return HandleOf(pHandle)->pDevice->Claim(); }

int Release1(libusb_device_handle* pHandle, int) {
    HandleOf(pHandle)->pDevice->Release();
    return 0;
}

int GetConfiguration1(libusb_device_handle* pHandle, int* pConfiguration) {
    *pConfiguration = HandleOf(pHandle)->pDevice->ActiveConfiguration();
    return 0;
}

int SetAutoDetach1(libusb_device_handle* pHandle, int iEnable) {
    HandleOf(pHandle)->pDevice->SetAutoDetach(iEnable != 0);
    return 0;
}

int ClearHalt1(libusb_device_handle* pHandle, unsigned char iEndpoint) {
    return HandleOf(pHandle)->pDevice->ClearHalt(iEndpoint);
}

// A handle of a device pulled off the bus reaches nothing: its transfers fail as libusb's do.
bool Unplugged(libusb_device_handle* pHandle) { return !Shared(HandleOf(pHandle)->pDevice.get()); }

int ControlTransfer1(libusb_device_handle* pHandle, std::uint8_t bmRequestType,
                     std::uint8_t bRequest, std::uint16_t wValue, std::uint16_t wIndex,
                     unsigned char* pData, std::uint16_t wLength, unsigned int iTimeout) {
    if (Unplugged(pHandle)) return LIBUSB_ERROR_NO_DEVICE;
    HandleOf(pHandle)->pDevice->NoteTimeout(iTimeout);
    return HandleOf(pHandle)->pDevice->Control(bmRequestType, bRequest, wValue, wIndex, pData,
                                               wLength);
}

int BulkTransfer1(libusb_device_handle* pHandle, unsigned char iEndpoint, unsigned char* pData,
                  int iLength, int* pTransferred, unsigned int iTimeout) {
    if (pTransferred) *pTransferred = 0;
    if (Unplugged(pHandle)) return LIBUSB_ERROR_NO_DEVICE;
    Device& d = *HandleOf(pHandle)->pDevice;
    d.NoteTimeout(iTimeout);
    int iTransferred = 0;
    int iCode = LIBUSB_ERROR_NOT_FOUND;
    if (iEndpoint == d.Config().iBulkOut) iCode = d.BulkOut(pData, iLength, iTransferred);
    if (iEndpoint == d.Config().iBulkOut && iCode == 0 && d.fUnplugUnderNextBulkOut.exchange(false)) {
        std::lock_guard lock(Installed().mMutex);
        std::erase_if(Installed().lDevices, [&](const auto& p) { return p.get() == &d; });
        iCode = LIBUSB_ERROR_NO_DEVICE;
    } else if (iEndpoint == d.Config().iBulkIn) iCode = d.BulkIn(pData, iLength, iTransferred);
    if (pTransferred) *pTransferred = iTransferred;
    return iCode;
}

int InterruptTransfer1(libusb_device_handle* pHandle, unsigned char iEndpoint,
                       unsigned char* pData, int iLength, int* pTransferred, unsigned int iTimeout) {
    if (pTransferred) *pTransferred = 0;
    if (Unplugged(pHandle)) return LIBUSB_ERROR_NO_DEVICE;
    Device& d = *HandleOf(pHandle)->pDevice;
    d.NoteTimeout(iTimeout);
    int iTransferred = 0;
    int iCode = iEndpoint == d.Config().iInterruptIn && iEndpoint
                    ? d.InterruptIn(pData, iLength, iTransferred)
                    : LIBUSB_ERROR_NOT_FOUND;
    if (pTransferred) *pTransferred = iTransferred;
    return iCode;
}

const libusb_version* GetVersion1() {
    static const libusb_version v{1, 0, 99, 7, "-sim", "simulated bus"};
    return &v;
}

int HasCapability1(std::uint32_t iCapability) {
    Bus::uState& s = Installed();
    std::lock_guard lock(s.mMutex);
    if (iCapability == LIBUSB_CAP_HAS_CAPABILITY) return 1;
    return iCapability == LIBUSB_CAP_HAS_HOTPLUG && s.fHotplug ? 1 : 0;
}

int HotplugRegister1(libusb_context*, int iEvents, int, int, int, int, libusb_hotplug_callback_fn fn, void* pUser,
                     libusb_hotplug_callback_handle* pHandle) {
    Bus::uState& s = Installed();
    std::lock_guard lock(s.mMutex);
    if (!s.fHotplug) return LIBUSB_ERROR_NOT_SUPPORTED;
    const int iHandle = s.iNextHotplug++;
    s.lHotplug.push_back({iHandle, iEvents, fn, pUser});
    if (pHandle) *pHandle = iHandle;
    return 0;
}

void HotplugDeregister1(libusb_context*, libusb_hotplug_callback_handle iHandle) {
    Bus::uState& s = Installed();
    std::lock_guard lock(s.mMutex);
    std::erase_if(s.lHotplug, [iHandle](const Bus::uState::uHotplugCallback& c) { return c.iHandle == iHandle; });
    s.fWake = true;
    s.cvEvents.notify_all();
}

// Waits up to the time-out for hot-plug notices (or a deregistration) and hands each to the
// callbacks registered for its kind, outside the bus lock, as libusb does in its event handling.
int HandleEventsTimeoutCompleted1(libusb_context* pContext, timeval* pTimeout, int*) {
    Bus::uState& s = Installed();
    std::unique_lock lock(s.mMutex);
    const auto wait = pTimeout ? std::chrono::seconds(pTimeout->tv_sec) + std::chrono::microseconds(pTimeout->tv_usec)
                               : std::chrono::microseconds(std::chrono::seconds(60));
    s.cvEvents.wait_for(lock, wait, [&s] { return !s.lNotices.empty() || s.fWake; });
    s.fWake = false;
    while (!s.lNotices.empty()) {
        auto [pDevice, iEvent] = s.lNotices.front();
        s.lNotices.pop_front();
        const std::vector<Bus::uState::uHotplugCallback> lCallbacks = s.lHotplug;
        lock.unlock();
        for (const auto& c : lCallbacks) {
            if ((c.iEvents & iEvent) == 0) continue;
            if (c.fn(pContext, reinterpret_cast<libusb_device*>(pDevice.get()), static_cast<libusb_hotplug_event>(iEvent),
                     c.pUser) != 0) {
                HotplugDeregister1(pContext, c.iHandle);
            }
        }
        lock.lock();
    }
    return 0;
}

const UsbSeam::uLibUsb1Calls cSim1 = {
    Init1, Exit1, GetDeviceList1, FreeDeviceList1, GetDeviceDescriptor1, GetConfigDescriptor1,
    FreeConfigDescriptor1, GetBusNumber1, GetPortNumber1, Open1, Close1, SetConfiguration1, Claim1,
    Release1, ClearHalt1, ControlTransfer1, BulkTransfer1, InterruptTransfer1, GetVersion1,
    GetConfiguration1, SetAutoDetach1, HasCapability1, HotplugRegister1, HotplugDeregister1,
    HandleEventsTimeoutCompleted1, GetDeviceAddress1,
};

// --- libusb 0.1 side ---

void Init0() {}

int FindBusses0() {
    Bus::uState& s = Installed();
    std::lock_guard lock(s.mMutex);
    if (!s.lBusses.empty()) return 0;
    usb_bus b{};
    std::strcpy(b.dirname, "001");
    b.location = 1;
    s.lBusses.push_back(b);
    return 1;
}

int FindDevices0() {
    Bus::uState& s = Installed();
    std::lock_guard lock(s.mMutex);
    if (s.lBusses.empty()) return 0;
    usb_bus& b = s.lBusses.back();
    usb_device* pPrevious = nullptr;
    b.devices = nullptr;
    int iNumber = 0;
    for (auto& pDevice : s.lDevices) {
        const uDeviceConfig& c = pDevice->Config();
        auto r = std::make_unique<uRecords0>();
        usb_device& d = r->uDevice;
        ++iNumber;
        std::snprintf(d.filename, sizeof d.filename, "%03d", c.iAddress ? c.iAddress : iNumber);
        d.bus = &b;
        d.devnum = static_cast<std::uint8_t>(c.iAddress ? c.iAddress : iNumber);
        libusb_device_descriptor dd{};
        GetDeviceDescriptor1(reinterpret_cast<libusb_device*>(pDevice.get()), &dd);
        d.descriptor = {dd.bLength, dd.bDescriptorType, dd.bcdUSB, dd.bDeviceClass,
                        dd.bDeviceSubClass, dd.bDeviceProtocol, dd.bMaxPacketSize0, dd.idVendor,
                        dd.idProduct, dd.bcdDevice, dd.iManufacturer, dd.iProduct,
                        dd.iSerialNumber, dd.bNumConfigurations};
        std::vector<uConfiguration> lConfigs = Configurations(c);
        r->lConfigs.resize(lConfigs.size());
        r->lInterfaces.resize(lConfigs.size());
        r->lAltSettings.resize(lConfigs.size());
        r->lEndpoints.resize(lConfigs.size());
        for (std::size_t k = 0; k < lConfigs.size(); ++k) {
            const auto& lIf = lConfigs[k].lInterfaces;
            r->lInterfaces[k].resize(lIf.size());
            r->lAltSettings[k].resize(lIf.size());
            r->lEndpoints[k].resize(lIf.size());
            for (std::size_t i = 0; i < lIf.size(); ++i) {
                for (const uEndpoint& e : lIf[i].lEndpoints) {
                    usb_endpoint_descriptor ed{};
                    ed.bLength = 7;
                    ed.bDescriptorType = 5;
                    ed.bEndpointAddress = e.iAddress;
                    ed.bmAttributes = e.iAttributes;
                    ed.wMaxPacketSize = e.iMaxPacketSize;
                    r->lEndpoints[k][i].push_back(ed);
                }
                usb_interface_descriptor& a = r->lAltSettings[k][i];
                a.bLength = 9;
                a.bDescriptorType = 4;
                a.bInterfaceNumber = lIf[i].iNumber;
                a.bNumEndpoints = static_cast<std::uint8_t>(lIf[i].lEndpoints.size());
                a.bInterfaceClass = lIf[i].iClass;
                a.bInterfaceSubClass = lIf[i].iSubClass;
                a.bInterfaceProtocol = lIf[i].iProtocol;
                a.endpoint = r->lEndpoints[k][i].data();
                r->lInterfaces[k][i] = {&a, 1};
            }
            usb_config_descriptor& cd = r->lConfigs[k];
            cd.bLength = 9;
            cd.bDescriptorType = 2;
            cd.bNumInterfaces = static_cast<std::uint8_t>(lIf.size());
            cd.bConfigurationValue = lConfigs[k].iValue;
            cd.interface = r->lInterfaces[k].data();
        }
        d.config = r->lConfigs.data();
        d.prev = pPrevious;
        if (pPrevious) pPrevious->next = &d;
        else b.devices = &d;
        pPrevious = &d;
        s.mRecordDevice[&d] = pDevice;
        s.lRecords.push_back(std::move(r));
    }
    return iNumber;
}

usb_bus* GetBusses0() {
    Bus::uState& s = Installed();
    std::lock_guard lock(s.mMutex);
    return s.lBusses.empty() ? nullptr : &s.lBusses.back();
}

usb_dev_handle* Open0(usb_device* pDevice) {
    Bus::uState& s = Installed();
    std::shared_ptr<Device> p;
    {
        std::lock_guard lock(s.mMutex);
        auto it = s.mRecordDevice.find(pDevice);
        if (it == s.mRecordDevice.end()) return nullptr;
        p = it->second;
    }
    if (const int iCode = p->Opened()) {
        errno = -ErrnoOf(iCode);
        return nullptr;
    }
    return reinterpret_cast<usb_dev_handle*>(NewHandle(s, std::move(p)));
}

int Close0(usb_dev_handle* pHandle) {
    DeleteHandle(HandleOf(pHandle));
    return 0;
}

int SetConfiguration0(usb_dev_handle* pHandle, int iValue) {
    const int iCode = HandleOf(pHandle)->pDevice->SetConfiguration(iValue);
    return iCode < 0 ? ErrnoOf(iCode) : 0;
}

int Claim0(usb_dev_handle* pHandle, int) {
    const int iCode = HandleOf(pHandle)->pDevice->Claim();
    return iCode < 0 ? ErrnoOf(iCode) : 0;
}

int Release0(usb_dev_handle* pHandle, int) {
    HandleOf(pHandle)->pDevice->Release();
    return 0;
}

int ClearHalt0(usb_dev_handle* pHandle, unsigned int iEndpoint) {
    int iCode = HandleOf(pHandle)->pDevice->ClearHalt(static_cast<int>(iEndpoint));
    return iCode < 0 ? ErrnoOf(iCode) : 0;
}

int ControlMsg0(usb_dev_handle* pHandle, int bmRequestType, int bRequest, int wValue, int wIndex,
                char* pData, int iSize, int iTimeout) {
    if (Unplugged(reinterpret_cast<libusb_device_handle*>(pHandle))) return -ENODEV;
    HandleOf(pHandle)->pDevice->NoteTimeout(iTimeout);
    int iResult = HandleOf(pHandle)->pDevice->Control(bmRequestType, bRequest, wValue, wIndex,
                                                      reinterpret_cast<std::uint8_t*>(pData), iSize);
    return iResult < 0 ? ErrnoOf(iResult) : iResult;
}

int GetStringSimple0(usb_dev_handle* pHandle, int iIndex, char* pBuffer, std::size_t iLength) {
    const uDeviceConfig& c = HandleOf(pHandle)->pDevice->Config();
    const std::string* p = iIndex == 1 ? &c.sManufacturer : iIndex == 2 ? &c.sProduct
                          : iIndex == 3 ? &c.sSerialNumber : nullptr;
    if (!p) return -EPIPE;
    if (iLength == 0) return -EINVAL;
    std::size_t n = std::min(p->size(), iLength - 1);
    std::memcpy(pBuffer, p->data(), n);
    pBuffer[n] = 0;
    return static_cast<int>(n);
}

int Bulk0(usb_dev_handle* pHandle, int iEndpoint, char* pData, int iSize, int iTimeout) {
    int iTransferred = 0;
    int iCode = BulkTransfer1(reinterpret_cast<libusb_device_handle*>(pHandle),
                              static_cast<unsigned char>(iEndpoint),
                              reinterpret_cast<unsigned char*>(pData), iSize, &iTransferred,
                              static_cast<unsigned int>(iTimeout));
    return iCode < 0 ? ErrnoOf(iCode) : iTransferred;
}

int InterruptRead0(usb_dev_handle* pHandle, int iEndpoint, char* pData, int iSize, int iTimeout) {
    int iTransferred = 0;
    int iCode = InterruptTransfer1(reinterpret_cast<libusb_device_handle*>(pHandle),
                                   static_cast<unsigned char>(iEndpoint),
                                   reinterpret_cast<unsigned char*>(pData), iSize, &iTransferred,
                                   static_cast<unsigned int>(iTimeout));
    return iCode < 0 ? ErrnoOf(iCode) : iTransferred;
}

const usb_version* GetVersion0() {
    static const usb_version v{{1, 2, 6, 0}, {1, 2, 6, 0}};
    return &v;
}

const UsbSeam::uLibUsb0Calls cSim0 = {
    Init0,     FindBusses0,      FindDevices0, GetBusses0, Open0,    Close0,
    SetConfiguration0,  Claim0,   Release0,     ClearHalt0, ControlMsg0, GetStringSimple0,
    Bulk0,     Bulk0,            InterruptRead0, GetVersion0,
};

} // namespace

Bus::Bus() : pState(std::make_unique<uState>()) {}

Bus::~Bus() { Uninstall(); }

std::shared_ptr<Device> Bus::AddDevice(uDeviceConfig uConfig, std::shared_ptr<Sim::ScpiDevice> pScpi) {
    if (!pScpi) pScpi = std::make_shared<Sim::ScpiDevice>();
    auto p = std::make_shared<Device>(std::move(uConfig), std::move(pScpi));
    std::lock_guard lock(pState->mMutex);
    pState->lDevices.push_back(p);
    pState->Notice(p, LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED);
    return p;
}

void Bus::RemoveDevice(const std::shared_ptr<Device>& pDevice) {
    std::lock_guard lock(pState->mMutex);
    const auto it = std::find(pState->lDevices.begin(), pState->lDevices.end(), pDevice);
    if (it == pState->lDevices.end()) return;
    pState->lDevices.erase(it);
    pState->Notice(pDevice, LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT);
}

void Bus::SetHotplug(bool fOn) {
    std::lock_guard lock(pState->mMutex);
    pState->fHotplug = fOn;
}

int Bus::HotplugCallbacks() const {
    std::lock_guard lock(pState->mMutex);
    return static_cast<int>(pState->lHotplug.size());
}

void Bus::Install() {
    {
        std::lock_guard lock(mInstalledMutex);
        pInstalled = pState.get();
    }
    LibUsb0::CloseLibrary();
    UsbSeam::InstallLibUsb1Calls(&cSim1);
    UsbSeam::InstallLibUsb0Calls(&cSim0);
}

void Bus::Uninstall() {
    {
        std::lock_guard lock(mInstalledMutex);
        if (pInstalled != pState.get()) return;
        pInstalled = nullptr;
    }
    UsbSeam::InstallLibUsb1Calls(nullptr);
    UsbSeam::InstallLibUsb0Calls(nullptr);
    LibUsb0::CloseLibrary();
}

void Bus::SetInitError(int iCode) {
    std::lock_guard lock(pState->mMutex);
    pState->iInitError = iCode;
}

void Bus::SetDeviceListError(int iCode) {
    std::lock_guard lock(pState->mMutex);
    pState->iListError = iCode;
}

int Bus::OpenHandles() const {
    std::lock_guard lock(pState->mMutex);
    return pState->iHandles;
}

int Bus::OpenContexts() const {
    std::lock_guard lock(pState->mMutex);
    return pState->iContexts;
}

int Bus::OpenConfigDescriptors() const {
    std::lock_guard lock(pState->mMutex);
    return pState->iConfigs;
}

libusb_device_handle* Bus::Open1(const std::shared_ptr<Device>& pDevice) {
    return reinterpret_cast<libusb_device_handle*>(NewHandle(*pState, pDevice));
}

usb_dev_handle* Bus::Open0(const std::shared_ptr<Device>& pDevice) {
    return reinterpret_cast<usb_dev_handle*>(NewHandle(*pState, pDevice));
}

} // namespace SimUsb
