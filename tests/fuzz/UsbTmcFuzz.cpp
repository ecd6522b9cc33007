// Arbitrary bytes as what a USBTMC instrument answers, through the USB seam: a table of
// libusb-1.0 calls of this target's own serves the input's packets to Bulk-IN reads, control
// transfers and Interrupt-IN reads; Bulk-OUT takes everything. Byte 0 picks what the program
// does: read an answer (DEV_DEP_MSG_IN or VENDOR_SPECIFIC_IN, with or without the TermChar
// rules), one of the class requests (GET_CAPABILITIES, READ_STATUS_BYTE, the abort requests and
// their status checks), wait for the status byte or a service request, or read a string
// descriptor. The rest is packets, each a length byte and that many bytes; when they run out
// every transfer times out.
#include "transport/LibUsb1.h"
#include "transport/UsbSeam.h"
#include "transport/UsbTmc.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace {

std::deque<std::vector<std::uint8_t>> lPackets;
libusb_device_handle* const pHandle = reinterpret_cast<libusb_device_handle*>(0x1000);

// The next packet into pData (at most iMax bytes: a longer one overflows, as libusb says).
int Next(unsigned char* pData, int iMax, int* pTransferred) {
    if (pTransferred) *pTransferred = 0;
    if (lPackets.empty()) return LIBUSB_ERROR_TIMEOUT;
    std::vector<std::uint8_t> packet = std::move(lPackets.front());
    lPackets.pop_front();
    const int n = static_cast<int>(packet.size());
    if (n > iMax) return LIBUSB_ERROR_OVERFLOW;
    if (n) std::memcpy(pData, packet.data(), packet.size());
    if (pTransferred) *pTransferred = n;
    return n;
}

int Bulk(libusb_device_handle*, unsigned char iEndpoint, unsigned char* pData, int iLength, int* pTransferred,
         unsigned int) {
    if (!(iEndpoint & 0x80)) {
        *pTransferred = iLength;
        return 0;
    }
    const int n = Next(pData, iLength, pTransferred);
    return n < 0 ? n : 0;
}

int Interrupt(libusb_device_handle*, unsigned char, unsigned char* pData, int iLength, int* pTransferred,
              unsigned int) {
    const int n = Next(pData, iLength, pTransferred);
    return n < 0 ? n : 0;
}

int Control(libusb_device_handle*, std::uint8_t bmRequestType, std::uint8_t, std::uint16_t, std::uint16_t,
            unsigned char* pData, std::uint16_t wLength, unsigned int) {
    if (!(bmRequestType & 0x80)) return 0;
    return Next(pData, wLength, nullptr);
}

int ClearHalt(libusb_device_handle*, unsigned char) { return 0; }

UsbSeam::uLibUsb1Calls Table() {
    UsbSeam::uLibUsb1Calls c = UsbSeam::RealLibUsb1Calls();
    c.bulk_transfer = Bulk;
    c.interrupt_transfer = Interrupt;
    c.control_transfer = Control;
    c.clear_halt = ClearHalt;
    return c;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static const UsbSeam::uLibUsb1Calls cTable = Table();
    UsbSeam::InstallLibUsb1Calls(&cTable);
    UsbTmc::SetPauseFunction([](std::chrono::milliseconds) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pInput, std::size_t iSize) {
    if (iSize < 1) return 0;
    lPackets.clear();
    for (std::size_t i = 1; i < iSize;) {
        const std::size_t n = std::min<std::size_t>(pInput[i], iSize - i - 1);
        lPackets.emplace_back(pInput + i + 1, pInput + i + 1 + n);
        i += 1 + n;
    }
    UsbTmc::uUsbTmcInstance u;
    u.uSettings.fLibUsb1 = 1;
    u.uSettings.pDeviceHandle = pHandle;
    u.uSettings.iBulkOut = 0x01;
    u.uSettings.iBulkIn = 0x82;
    u.uSettings.iInterruptIn = 0x83;
    u.uSettings.iBulkOutMaxPacketSize = u.uSettings.iBulkInMaxPacketSize = 64;
    u.iReadSize = 0x1000; // small reads: an answer of several transfers is in reach
    u.iTransferTimeout = u.iControlTimeout = u.iWaitTime = 1;
    u.fTermCharEnabled = (pInput[0] >> 4) & 1;
    u.fRemoveTermChar = (pInput[0] >> 5) & 1;
    std::string sError;
    const int iAction = pInput[0] & 0x0F;
    switch (iAction) {
    case 0:
    case 1: {
        DataBuffer data;
        std::int64_t iTransferred = 0;
        const int iMsgId = iAction == 0 ? UsbTmc::MsgRequestDevDepIn : UsbTmc::MsgRequestVendorSpecificIn;
        if (UsbTmc::RequestData(u, data, iTransferred, iMsgId, 0, sError)) {
            // Nothing is made up: at most what the packets carried.
            std::size_t iCarried = 0;
            for (std::size_t i = 1; i < iSize; i += 1 + pInput[i]) iCarried += pInput[i];
            if (data.size() > iCarried) __builtin_trap();
        } else if (sError.empty()) {
            __builtin_trap();
        }
        break;
    }
    case 2: UsbTmc::GetCapabilities(u, nullptr, sError); break;
    case 3: {
        UsbTmc::uReadStatusByteResponse response;
        UsbTmc::ReadStatusByte(u, UsbTmc::GetNextStatusTag(u), response, sError);
        break;
    }
    case 4: {
        std::array<std::uint8_t, 2> a{};
        UsbTmc::InitiateAbortBulkOut(u, 1, a, sError);
        break;
    }
    case 5: {
        std::array<std::uint8_t, 2> a{};
        UsbTmc::InitiateAbortBulkIn(u, 1, a, sError);
        break;
    }
    case 6: {
        std::array<std::uint8_t, 8> a{};
        UsbTmc::CheckAbortBulkOutStatus(u, a, sError);
        break;
    }
    case 7: {
        std::array<std::uint8_t, 8> a{};
        UsbTmc::CheckAbortBulkInStatus(u, a, sError);
        break;
    }
    case 8: UsbTmc::AbortRequestData(u, 1, sError); break;
    case 9:
    case 10: {
        bool fMav = false;
        int iStatusByte = 0;
        UsbTmc::WaitData(u, iAction == 9 ? UsbTmc::WaitStatusByte : UsbTmc::WaitServiceRequest, fMav, iStatusByte,
                         sError);
        if (iStatusByte < 0 || iStatusByte > 255) __builtin_trap();
        break;
    }
    default: {
        std::string sText;
        LibUsb1::GetStringDescriptor(pHandle, 1 + (pInput[0] & 3), 0, sText, sError);
        break;
    }
    }
    return 0;
}
