// The USB part of the instrument search: every USBTMC instrument of the USB488 subclass that
// one of the two USB libraries sees becomes an instrument object with a search-chain prepare
// task. The descriptors are read without opening a device; only a device whose descriptors
// name such an interface is opened (to read its strings), and its configuration is set only
// when the device is not in the one where the interface lies, so that other devices on the bus
// are left as they are.
#include "instrument/InstrumentSearch.h"

#include "common/WindowLog.h"
#include "transport/LibUsb0.h"
#include "transport/LibUsb1.h"
#include "transport/UsbAccess.h"

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace InstrumentSearch {
namespace {

constexpr int ClassApplication = 0xFE;
constexpr int SubClassUsbTmc = 3;
constexpr int ProtocolUsb488 = 1;
constexpr int RequestGetConfiguration = 0x08;
constexpr int RequestTypeStandardIn = 0x80;
constexpr int ControlTimeoutMs = 1000;
// The pause after each instrument found, before the next device.
constexpr auto PauseAfterInstrument = std::chrono::milliseconds(50);

// Class, subclass and protocol 0: the class is given per interface.
template <class DeviceDescriptor> bool ClassPerInterface(const DeviceDescriptor& d) {
    return d.bDeviceClass == 0 && d.bDeviceSubClass == 0 && d.bDeviceProtocol == 0;
}

// A USB488 USBTMC interface gives its number and endpoints.
template <class InterfaceDescriptor> bool ExamineInterface(const InterfaceDescriptor& d, uConnectionUsb& usb) {
    if (d.bInterfaceClass != ClassApplication || d.bInterfaceSubClass != SubClassUsbTmc ||
        d.bInterfaceProtocol != ProtocolUsb488) {
        return false;
    }
    usb.iInterface = d.bInterfaceNumber;
    TakeUsbEndpoints(d.endpoint, d.bNumEndpoints, usb);
    return true;
}

// The first alternate setting of the first interface of a configuration, if it has one.
template <class ConfigDescriptor> auto FirstInterface(const ConfigDescriptor& c) -> decltype(c.interface->altsetting) {
    if (c.bNumInterfaces == 0 || !c.interface || c.interface->num_altsetting < 1) return nullptr;
    return c.interface->altsetting;
}

// Every device found is a new object: two identical instruments are two objects. The pause
// lets the chain of one instrument begin before the next device is looked at.
void ListDevice(const uTaskPrepare& candidate, const char* sProcedure) {
    ListFound(candidate, true, sProcedure);
    PauseUnlessStopped(PauseAfterInstrument);
}

// Finds the USB488 interface among the configurations of a libusb-1.0 device, by its
// descriptors alone.
bool FindInterface1(libusb_device* pDevice, int iConfigurations, uConnectionUsb& usb) {
    for (int i = 0; i < iConfigurations; ++i) {
        libusb_config_descriptor* pConfig = nullptr;
        std::string sError;
        if (!LibUsb1::GetConfigDescriptor(pDevice, i, pConfig, sError)) continue;
        const auto* pInterface = FirstInterface(*pConfig);
        const bool fFound = pInterface && ExamineInterface(*pInterface, usb);
        if (fFound) usb.iConfiguration = pConfig->bConfigurationValue;
        LibUsb1::FreeConfigDescriptor(pConfig);
        if (fFound) return true;
    }
    return false;
}

// A device the user may not open is named in the log with the rule that grants access.
void PostDenied(const char* sProcedure, const std::string& sDenied) {
    WindowLog::PostError(std::string("InstrumentSearch::") + sProcedure + ": " + sDenied);
}

// Opens the device, puts it into the interface's configuration when it is in another one, and
// reads its three strings. False when it cannot be opened or configured.
bool ReadStrings1(libusb_device* pDevice, const libusb_device_descriptor& d, uConnectionUsb& usb) {
    libusb_device_handle* pHandle = nullptr;
    std::string sError;
    int iCode = 0;
    if (!LibUsb1::Open(pDevice, pHandle, &iCode, sError)) {
        if (UsbAccess::Denied1(iCode)) PostDenied("SearchUsbTmcLibUsb1", UsbAccess::DeniedText(pDevice));
        return false;
    }
    int iActive = 0;
    const bool fKnown = LibUsb1::GetConfiguration(pHandle, iActive, sError);
    bool fConfigured = true;
    if (!fKnown || iActive != usb.iConfiguration) {
        fConfigured = LibUsb1::SetConfiguration(pHandle, static_cast<int>(usb.iConfiguration), sError);
    }
    if (fConfigured) {
        const std::pair<int, std::string*> strings[] = {
            {d.iManufacturer, &usb.sManufacturer}, {d.iProduct, &usb.sProduct}, {d.iSerialNumber, &usb.sSerialNumber}};
        for (const auto& [iIndex, pText] : strings) {
            if (iIndex != 0) LibUsb1::GetStringDescriptor(pHandle, iIndex, 0, *pText, sError);
        }
    }
    LibUsb1::Close(pHandle);
    return fConfigured;
}

} // namespace

void SearchUsbTmcLibUsb1(std::int64_t iWindow) {
    constexpr const char* sProcedure = "SearchUsbTmcLibUsb1";
    libusb_context* pContext = nullptr;
    std::string sError;
    if (!LibUsb1::Init(&pContext, sError)) {
        WindowLog::PostError("InstrumentSearch::SearchUsbTmcLibUsb1: The Libusb1 DLL could not be initialized. - " +
                             sError);
        return;
    }
    std::vector<libusb_device*> lDevices;
    std::int64_t iCount = 0;
    libusb_device** pList = nullptr;
    if (!LibUsb1::GetDeviceList(pContext, lDevices, iCount, pList, sError)) {
        WindowLog::PostError(
            "InstrumentSearch::SearchUsbTmcLibUsb1: The list with the WinUSB/libusb1 devices could not be determined.");
        lDevices.clear();
    }
    for (libusb_device* pDevice : lDevices) {
        if (StopRequested()) break;
        libusb_device_descriptor d{};
        if (!LibUsb1::GetDeviceDescriptor(pDevice, d, sError) || !ClassPerInterface(d)) continue;
        uTaskPrepare candidate = SearchCandidate(iWindow, InterfaceUsbTmc);
        candidate.fLibUsb1 = 1;
        uConnectionUsb& usb = candidate.usb;
        usb.iVendorId = d.idVendor;
        usb.iProductId = d.idProduct;
        int iBus = 0, iPort = 0;
        if (LibUsb1::GetBusNumber(pDevice, iBus, sError)) usb.iBusNumber = iBus;
        if (LibUsb1::GetPortNumber(pDevice, iPort, sError)) usb.iPortNumber = iPort;
        if (!FindInterface1(pDevice, d.bNumConfigurations, usb)) continue;
        if (!ReadStrings1(pDevice, d, usb)) continue;
        ListDevice(candidate, sProcedure);
    }
    LibUsb1::FreeDeviceList(pList, true);
    LibUsb1::Exit(pContext);
}

void SearchUsbTmcLibUsb0(std::int64_t iWindow) {
    constexpr const char* sProcedure = "SearchUsbTmcLibUsb0";
    std::string sError;
    if (!LibUsb0::Init(sError)) {
        WindowLog::PostError("InstrumentSearch::SearchUsbTmcLibUsb0: The Libusb0 DLL could not be initialized. - " +
                             sError);
        return;
    }
    int iBusses = 0, iDevices = 0;
    LibUsb0::FindBusses(iBusses, sError);
    LibUsb0::FindDevices(iDevices, sError);
    for (usb_bus* pBus = LibUsb0::GetBusses(sError); pBus && !StopRequested(); pBus = pBus->next) {
        for (usb_device* pDevice = pBus->devices; pDevice && !StopRequested(); pDevice = pDevice->next) {
            const usb_device_descriptor& d = pDevice->descriptor;
            if (!ClassPerInterface(d) || d.bNumConfigurations == 0 || !pDevice->config) continue;
            // Only the first configuration is looked at here.
            uTaskPrepare candidate = SearchCandidate(iWindow, InterfaceUsbTmc);
            candidate.fLibUsb0 = 1;
            uConnectionUsb& usb = candidate.usb;
            const usb_config_descriptor& config = pDevice->config[0];
            const usb_interface_descriptor* pInterface = FirstInterface(config);
            if (!pInterface || !ExamineInterface(*pInterface, usb)) continue;
            usb.iConfiguration = config.bConfigurationValue;
            usb.iVendorId = d.idVendor;
            usb.iProductId = d.idProduct;

            int iCode = 0;
            usb_dev_handle* pHandle = LibUsb0::Open(pDevice, &iCode, sError);
            if (!pHandle) {
                if (UsbAccess::Denied0(iCode)) PostDenied(sProcedure, UsbAccess::DeniedText(*pDevice));
                continue;
            }
            unsigned char iActive = 0;
            int iLength = 1;
            const bool fKnown = LibUsb0::ControlMsg(pHandle, RequestTypeStandardIn, RequestGetConfiguration, 0, 0,
                                                    &iActive, iLength, ControlTimeoutMs, nullptr, sError) &&
                                iLength == 1;
            bool fUsable = true;
            if (!fKnown || iActive != usb.iConfiguration) {
                fUsable = LibUsb0::SetConfiguration(pHandle, static_cast<int>(usb.iConfiguration), &iCode, sError);
            }
            // The interface must be free for the program to use the instrument.
            if (fUsable) {
                fUsable = LibUsb0::ClaimInterface(pHandle, static_cast<int>(usb.iInterface), &iCode, sError);
                std::string sRelease;
                LibUsb0::ReleaseInterface(pHandle, static_cast<int>(usb.iInterface), sRelease);
            }
            if (fUsable) {
                const std::pair<int, std::string*> strings[] = {{d.iManufacturer, &usb.sManufacturer},
                                                                {d.iProduct, &usb.sProduct},
                                                                {d.iSerialNumber, &usb.sSerialNumber}};
                for (const auto& [iIndex, pText] : strings) {
                    if (iIndex != 0) LibUsb0::GetStringSimple(pHandle, iIndex, *pText, sError);
                }
            }
            LibUsb0::Close(pHandle, sError);
            // The old library opens a device file it may only read, and fails at the first
            // request that changes the device.
            if (!fUsable && UsbAccess::Denied0(iCode)) PostDenied(sProcedure, UsbAccess::DeniedText(*pDevice));
            if (fUsable) ListDevice(candidate, sProcedure);
        }
    }
}

} // namespace InstrumentSearch
