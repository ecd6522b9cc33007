#include "transport/LibUsb1.h"

#include "common/TextRoutines.h"
#include "transport/UsbSeam.h"

#include <array>
#include <cstring>

namespace LibUsb1 {

namespace {

const UsbSeam::uLibUsb1Calls& Calls() { return UsbSeam::LibUsb1Calls(); }

// A text of the library, cut to iMax bytes.
std::string LibraryText(const char* pText, std::size_t iMax) {
    if (!pText) return {};
    return std::string(pText, strnlen(pText, iMax));
}

bool Fail(std::string& sError, const char* pPrefix, int iCode) {
    sError = std::string(pPrefix) + GetErrorText(iCode);
    return false;
}

bool NullHandle(std::string& sError, const char* pPrefix) {
    sError = std::string(pPrefix) + "Der Zeiger des geöffneten Geräts ist Null. *uDeviceHandle = 0";
    return false;
}

// UTF-16LE code units up to the first NUL, as UTF-8.
std::string StringDescriptorText(const unsigned char* pData, std::size_t iUnits) {
    std::size_t n = 0;
    while (n < iUnits && (pData[2 * n] | pData[2 * n + 1]) != 0) ++n;
    return Utility::Utf16LeToUtf8(std::string_view(reinterpret_cast<const char*>(pData), 2 * n));
}

constexpr int cRequestTypeStandardIn = 0x80;
constexpr int cRequestGetDescriptor = 6;
constexpr int cDescriptorString = 3;
constexpr unsigned int cDescriptorTimeout = 1000;

bool Transfer(decltype(UsbSeam::uLibUsb1Calls::bulk_transfer) pCall, const char* pPrefix,
              libusb_device_handle* pDeviceHandle, int iEndpoint, unsigned char* pData,
              int iLength, int* pTransferred, unsigned int iTimeout, int* pCode,
              std::string& sError) {
    if (pTransferred) *pTransferred = 0;
    if (pCode) *pCode = LIBUSB_ERROR_INVALID_PARAM;
    if (!pDeviceHandle) {
        sError = std::string(pPrefix) + "Der Zeiger des Geräts ist Null. *uDeviceHandle = 0";
        return false;
    }
    if (!pData) {
        sError = std::string(pPrefix) + "Der Zeiger auf die Daten ist Null. *Data = 0";
        return false;
    }
    if (iLength <= 0) {
        sError = std::string(pPrefix) + "Die Längenangabe der Daten ist Null. iLength = 0";
        return false;
    }
    int iTransferred = 0;
    int iCode = pCall(pDeviceHandle, static_cast<unsigned char>(iEndpoint), pData, iLength,
                      &iTransferred, iTimeout);
    if (iTransferred < 0 || iTransferred > iLength) iTransferred = 0;
    if (pTransferred) *pTransferred = iTransferred;
    if (pCode) *pCode = iCode;
    if (iCode != 0) return Fail(sError, pPrefix, iCode);
    return true;
}

} // namespace

std::string GetErrorText(int iCode) {
    return "(" + std::to_string(iCode) + ") " + LibraryText(libusb_error_name(iCode), 100) +
           " - " + LibraryText(libusb_strerror(iCode), 200);
}

bool Init(libusb_context** pContext, std::string& sError) {
    int iCode = Calls().init(pContext);
    if (iCode != 0) return Fail(sError, "LibUsb1::Init: ", iCode);
    return true;
}

void Exit(libusb_context* pContext) { Calls().exit(pContext); }

bool GetDeviceList(libusb_context* pContext, std::vector<libusb_device*>& lDevices,
                   std::int64_t& iDeviceCount, libusb_device**& pFreeDeviceList,
                   std::string& sError) {
    lDevices.clear();
    iDeviceCount = 0;
    pFreeDeviceList = nullptr;
    libusb_device** pList = nullptr;
    ssize_t iCount = Calls().get_device_list(pContext, &pList);
    if (iCount < 0) {
        if (pList) Calls().free_device_list(pList, 1);
        return Fail(sError, "LibUsb1::GetDeviceList: ", static_cast<int>(iCount));
    }
    pFreeDeviceList = pList;
    if (pList) lDevices.assign(pList, pList + iCount);
    iDeviceCount = static_cast<std::int64_t>(lDevices.size());
    return true;
}

void FreeDeviceList(libusb_device** pList, bool fUnreferenceDevices) {
    if (pList) Calls().free_device_list(pList, fUnreferenceDevices ? 1 : 0);
}

bool GetDeviceDescriptor(libusb_device* pDevice, libusb_device_descriptor& uDeviceDescriptor,
                         std::string& sError) {
    if (!pDevice) {
        sError = "LibUsb1::GetDeviceDescriptor: Der Zeiger des Geräts ist Null. *uDevice = 0";
        return false;
    }
    int iCode = Calls().get_device_descriptor(pDevice, &uDeviceDescriptor);
    if (iCode != 0) return Fail(sError, "LibUsb1::GetDeviceDescriptor: ", iCode);
    return true;
}

bool GetConfigDescriptor(libusb_device* pDevice, int iConfigIndex,
                         libusb_config_descriptor*& pConfigDescriptor, std::string& sError) {
    pConfigDescriptor = nullptr;
    if (!pDevice) {
        sError = "LibUsb1::GetConfigDescriptor: Der Zeiger des Geräts ist Null. *uDevice = 0";
        return false;
    }
    int iCode = Calls().get_config_descriptor(pDevice, static_cast<std::uint8_t>(iConfigIndex),
                                              &pConfigDescriptor);
    if (iCode != 0) {
        pConfigDescriptor = nullptr;
        return Fail(sError, "LibUsb1::GetConfigDescriptor: ", iCode);
    }
    return true;
}

void FreeConfigDescriptor(libusb_config_descriptor* pConfigDescriptor) {
    if (pConfigDescriptor) Calls().free_config_descriptor(pConfigDescriptor);
}

bool GetBusNumber(libusb_device* pDevice, int& iBusNumber, std::string& sError) {
    if (!pDevice) {
        sError = "LibUsb1::GetBusNumber: Der Zeiger des Geräts ist Null. *uDevice = 0";
        return false;
    }
    iBusNumber = Calls().get_bus_number(pDevice);
    return true;
}

bool GetPortNumber(libusb_device* pDevice, int& iPortNumber, std::string& sError) {
    if (!pDevice) {
        sError = "LibUsb1::GetPortNumber: Der Zeiger des Geräts ist Null. *uDevice = 0";
        return false;
    }
    iPortNumber = Calls().get_port_number(pDevice);
    return true;
}

bool GetDeviceAddress(libusb_device* pDevice, int& iAddress, std::string& sError) {
    if (!pDevice) {
        sError = "LibUsb1::GetDeviceAddress: Der Zeiger des Geräts ist Null. *uDevice = 0";
        return false;
    }
    iAddress = Calls().get_device_address(pDevice);
    return true;
}

bool Open(libusb_device* pDevice, libusb_device_handle*& pDeviceHandle, std::string& sError) {
    return Open(pDevice, pDeviceHandle, nullptr, sError);
}

bool Open(libusb_device* pDevice, libusb_device_handle*& pDeviceHandle, int* pCode, std::string& sError) {
    pDeviceHandle = nullptr;
    if (pCode) *pCode = LIBUSB_ERROR_INVALID_PARAM;
    if (!pDevice) {
        sError = "LibUsb1::Open: Der Zeiger des Geräts ist Null. *uDevice = 0";
        return false;
    }
    int iCode = Calls().open(pDevice, &pDeviceHandle);
    if (pCode) *pCode = iCode;
    if (iCode != 0) {
        pDeviceHandle = nullptr;
        return Fail(sError, "LibUsb1::Open: ", iCode);
    }
    return true;
}

void Close(libusb_device_handle* pDeviceHandle) {
    if (pDeviceHandle) Calls().close(pDeviceHandle);
}

bool SetConfiguration(libusb_device_handle* pDeviceHandle, int iConfiguration,
                      std::string& sError) {
    if (!pDeviceHandle) return NullHandle(sError, "LibUsb1::SetConfiguration: ");
    int iCode = Calls().set_configuration(pDeviceHandle, iConfiguration);
    if (iCode != 0) return Fail(sError, "LibUsb1::SetConfiguration: ", iCode);
    return true;
}

bool GetConfiguration(libusb_device_handle* pDeviceHandle, int& iConfiguration, std::string& sError) {
    iConfiguration = 0;
    if (!pDeviceHandle) return NullHandle(sError, "LibUsb1::GetConfiguration: ");
    int iCode = Calls().get_configuration(pDeviceHandle, &iConfiguration);
    if (iCode != 0) return Fail(sError, "LibUsb1::GetConfiguration: ", iCode);
    return true;
}

bool SetAutoDetachKernelDriver(libusb_device_handle* pDeviceHandle, bool fEnable, std::string& sError) {
    if (!pDeviceHandle) return NullHandle(sError, "LibUsb1::SetAutoDetachKernelDriver: ");
    int iCode = Calls().set_auto_detach_kernel_driver(pDeviceHandle, fEnable ? 1 : 0);
    if (iCode != 0) return Fail(sError, "LibUsb1::SetAutoDetachKernelDriver: ", iCode);
    return true;
}

bool ClaimInterface(libusb_device_handle* pDeviceHandle, int iInterface, std::string& sError) {
    if (!pDeviceHandle) return NullHandle(sError, "LibUsb1::ClaimInterface: ");
    int iCode = Calls().claim_interface(pDeviceHandle, iInterface);
    if (iCode != 0) return Fail(sError, "LibUsb1::ClaimInterface: ", iCode);
    return true;
}

bool ReleaseInterface(libusb_device_handle* pDeviceHandle, int iInterface, std::string& sError) {
    if (!pDeviceHandle) return NullHandle(sError, "LibUsb1::ReleaseInterface: ");
    int iCode = Calls().release_interface(pDeviceHandle, iInterface);
    if (iCode != 0) return Fail(sError, "LibUsb1::ReleaseInterface: ", iCode);
    return true;
}

bool ClearHalt(libusb_device_handle* pDeviceHandle, int iEndpoint, std::string& sError) {
    if (!pDeviceHandle) return NullHandle(sError, "LibUsb1::ClearHalt: ");
    int iCode = Calls().clear_halt(pDeviceHandle, static_cast<unsigned char>(iEndpoint));
    if (iCode != 0) return Fail(sError, "LibUsb1::ClearHalt: ", iCode);
    return true;
}

bool ControlTransfer(libusb_device_handle* pDeviceHandle, int bmRequestType, int bRequest,
                     int wValue, int wIndex, unsigned char* pData, int& iLength,
                     unsigned int iTimeout, std::string& sError) {
    if (!pDeviceHandle) return NullHandle(sError, "LibUsb1::ControlTransfer: ");
    if (iLength < 0 || iLength > 0xFFFF || (iLength > 0 && !pData)) {
        iLength = 0;
        return Fail(sError, "LibUsb1::ControlTransfer: ", LIBUSB_ERROR_INVALID_PARAM);
    }
    int iResult = Calls().control_transfer(
        pDeviceHandle, static_cast<std::uint8_t>(bmRequestType), static_cast<std::uint8_t>(bRequest),
        static_cast<std::uint16_t>(wValue), static_cast<std::uint16_t>(wIndex), pData,
        static_cast<std::uint16_t>(iLength), iTimeout);
    if (iResult < 0) {
        iLength = 0;
        return Fail(sError, "LibUsb1::ControlTransfer: ", iResult);
    }
    iLength = iResult;
    return true;
}

bool BulkTransfer(libusb_device_handle* pDeviceHandle, int iEndpoint, unsigned char* pData,
                  int iLength, int* pTransferred, unsigned int iTimeout, int* pCode,
                  std::string& sError) {
    return Transfer(Calls().bulk_transfer, "LibUsb1::BulkTransfer: ", pDeviceHandle, iEndpoint,
                    pData, iLength, pTransferred, iTimeout, pCode, sError);
}

bool InterruptTransfer(libusb_device_handle* pDeviceHandle, int iEndpoint, unsigned char* pData,
                       int iLength, int* pTransferred, unsigned int iTimeout, int* pCode,
                       std::string& sError) {
    return Transfer(Calls().interrupt_transfer, "LibUsb1::InterruptTransfer: ", pDeviceHandle,
                    iEndpoint, pData, iLength, pTransferred, iTimeout, pCode, sError);
}

bool GetStringLanguageList(libusb_device_handle* pDeviceHandle,
                           std::vector<std::uint16_t>& lLanguages, std::string& sError) {
    constexpr const char* cPrefix = "LibUsb1::GetStringLanguageList: ";
    if (!pDeviceHandle) return NullHandle(sError, cPrefix);
    std::array<unsigned char, 254> aBuffer{};
    int iResult = Calls().control_transfer(pDeviceHandle, cRequestTypeStandardIn,
                                           cRequestGetDescriptor, cDescriptorString << 8, 0,
                                           aBuffer.data(), aBuffer.size(), cDescriptorTimeout);
    if (iResult <= 0) return Fail(sError, cPrefix, iResult);
    int iReceived = iResult > static_cast<int>(aBuffer.size()) ? aBuffer.size() : iResult;
    int iLength = aBuffer[0];
    if (iReceived < 4 || aBuffer[1] != cDescriptorString || iLength < 2 || iLength > iReceived)
        return Fail(sError, cPrefix, LIBUSB_ERROR_IO);
    lLanguages.clear();
    for (int i = 2; i + 1 < iLength; i += 2)
        lLanguages.push_back(static_cast<std::uint16_t>(aBuffer[i] | (aBuffer[i + 1] << 8)));
    return true;
}

bool GetStringDescriptor(libusb_device_handle* pDeviceHandle, int iIndex, int iLanguage,
                         std::string& sString, std::string& sError) {
    constexpr const char* cPrefix = "LibUsb1::GetStringDescriptor: ";
    if (!pDeviceHandle) return NullHandle(sError, cPrefix);
    if (iLanguage == 0) {
        std::vector<std::uint16_t> lLanguages;
        if (!GetStringLanguageList(pDeviceHandle, lLanguages, sError)) return false;
        if (lLanguages.empty()) return Fail(sError, cPrefix, LIBUSB_ERROR_NOT_FOUND);
        iLanguage = lLanguages.front();
    }
    std::array<unsigned char, 255> aBuffer{};
    int iResult = Calls().control_transfer(
        pDeviceHandle, cRequestTypeStandardIn, cRequestGetDescriptor,
        static_cast<std::uint16_t>((cDescriptorString << 8) + (iIndex & 0xFF)),
        static_cast<std::uint16_t>(iLanguage), aBuffer.data(), aBuffer.size(), cDescriptorTimeout);
    if (iResult <= 0) return Fail(sError, cPrefix, iResult);
    int iReceived = iResult > static_cast<int>(aBuffer.size()) ? aBuffer.size() : iResult;
    int iLength = aBuffer[0];
    if (iReceived < 2 || aBuffer[1] != cDescriptorString || iLength < 2 || iLength > iReceived)
        return Fail(sError, cPrefix, LIBUSB_ERROR_IO);
    sString = StringDescriptorText(aBuffer.data() + 2, static_cast<std::size_t>(iLength - 2) / 2);
    return true;
}

bool GetVersion(std::string& sVersion, std::string& sDescription, std::string& sError) {
    const libusb_version* pVersion = Calls().get_version();
    if (!pVersion) {
        sVersion.clear();
        sDescription.clear();
        sError = "LibUsb1::GetVersion: Es wurde ein Null-Zeiger zurückgegeben.";
        return false;
    }
    sVersion = std::to_string(pVersion->major) + "." + std::to_string(pVersion->minor) + "." +
               std::to_string(pVersion->micro) + "." + std::to_string(pVersion->nano) +
               LibraryText(pVersion->rc, 32);
    std::string sDescribe = LibraryText(pVersion->describe, 64);
    if (!sDescribe.empty()) sDescription = sDescribe;
    return true;
}

} // namespace LibUsb1
