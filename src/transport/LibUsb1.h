// The libusb-1.0 calls of the program: context, device list, descriptors, opening, interface
// claims, control, bulk and interrupt transfers and the library's version. Each wrapper checks
// its arguments, makes one call through UsbSeam and reports a failure as
// "LibUsb1::Procedure: (code) NAME - description".
#pragma once

#include <libusb-1.0/libusb.h>

#include <cstdint>
#include <string>
#include <vector>

namespace LibUsb1 {

// "(" + code + ") " + the library's name of the code + " - " + its description.
std::string GetErrorText(int iCode);

bool Init(libusb_context** pContext, std::string& sError);
void Exit(libusb_context* pContext);

// Fills lDevices with the devices in the library's order, iDeviceCount with their number and
// pFreeDeviceList with the library's list, which the caller frees with FreeDeviceList whatever
// the result. A machine without USB devices gives an empty list and success.
bool GetDeviceList(libusb_context* pContext, std::vector<libusb_device*>& lDevices,
                   std::int64_t& iDeviceCount, libusb_device**& pFreeDeviceList,
                   std::string& sError);
void FreeDeviceList(libusb_device** pList, bool fUnreferenceDevices);

bool GetDeviceDescriptor(libusb_device* pDevice, libusb_device_descriptor& uDeviceDescriptor,
                         std::string& sError);
// The caller frees the descriptor with FreeConfigDescriptor.
bool GetConfigDescriptor(libusb_device* pDevice, int iConfigIndex,
                         libusb_config_descriptor*& pConfigDescriptor, std::string& sError);
void FreeConfigDescriptor(libusb_config_descriptor* pConfigDescriptor);
bool GetBusNumber(libusb_device* pDevice, int& iBusNumber, std::string& sError);
bool GetPortNumber(libusb_device* pDevice, int& iPortNumber, std::string& sError);
// The device's address on its bus (the number of its file under /dev/bus/usb/<bus>/).
bool GetDeviceAddress(libusb_device* pDevice, int& iAddress, std::string& sError);

// pCode (may be null) receives the library's result (LIBUSB_ERROR_ACCESS: no permission).
bool Open(libusb_device* pDevice, libusb_device_handle*& pDeviceHandle, int* pCode, std::string& sError);
bool Open(libusb_device* pDevice, libusb_device_handle*& pDeviceHandle, std::string& sError);
void Close(libusb_device_handle* pDeviceHandle);
bool SetConfiguration(libusb_device_handle* pDeviceHandle, int iConfiguration,
                      std::string& sError);
// The configuration value the device is in now (0: unconfigured).
bool GetConfiguration(libusb_device_handle* pDeviceHandle, int& iConfiguration, std::string& sError);
// With fEnable, claiming an interface takes it from a kernel driver bound to it (Linux: usbtmc)
// and releasing it gives it back. Platforms without kernel drivers fail with NOT_SUPPORTED.
bool SetAutoDetachKernelDriver(libusb_device_handle* pDeviceHandle, bool fEnable, std::string& sError);
bool ClaimInterface(libusb_device_handle* pDeviceHandle, int iInterface, std::string& sError);
bool ReleaseInterface(libusb_device_handle* pDeviceHandle, int iInterface, std::string& sError);
bool ClearHalt(libusb_device_handle* pDeviceHandle, int iEndpoint, std::string& sError);

// iLength: in the wLength asked for, out the bytes transferred.
bool ControlTransfer(libusb_device_handle* pDeviceHandle, int bmRequestType, int bRequest,
                     int wValue, int wIndex, unsigned char* pData, int& iLength,
                     unsigned int iTimeout, std::string& sError);

// The direction comes from bit 7 of the endpoint. pTransferred and pCode may be null; pCode
// receives the library's result code (0 on success). A time-out fails even when bytes moved.
bool BulkTransfer(libusb_device_handle* pDeviceHandle, int iEndpoint, unsigned char* pData,
                  int iLength, int* pTransferred, unsigned int iTimeout, int* pCode,
                  std::string& sError);
bool InterruptTransfer(libusb_device_handle* pDeviceHandle, int iEndpoint, unsigned char* pData,
                       int iLength, int* pTransferred, unsigned int iTimeout, int* pCode,
                       std::string& sError);

// The language ids of string descriptor 0.
bool GetStringLanguageList(libusb_device_handle* pDeviceHandle,
                           std::vector<std::uint16_t>& lLanguages, std::string& sError);
// String descriptor iIndex as UTF-8; iLanguage 0 takes the device's first language.
bool GetStringDescriptor(libusb_device_handle* pDeviceHandle, int iIndex, int iLanguage,
                         std::string& sString, std::string& sError);

// "major.minor.micro.nano" plus the release-candidate text, and the library's description.
bool GetVersion(std::string& sVersion, std::string& sDescription, std::string& sError);

} // namespace LibUsb1
