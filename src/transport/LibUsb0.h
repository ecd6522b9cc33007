// The libusb 0.1 path to USB instruments. The library is not linked: "libusb-0.1.so.4" is loaded
// on the first Init and its functions are looked up by name, so the program runs without it. A
// function the library lacks fails only when a wrapper needs it, with
// "LibUsb0::Procedure: Die Funktion 'name' ist nicht vorhanden.".
#pragma once

#include "transport/UsbSeam.h"

#include <string>

namespace LibUsb0 {

// The file loaded by LoadLibrary.
inline constexpr const char* cLibraryFile = "libusb-0.1.so.4";

// Loads the library once (later calls return true at once) and looks up its functions.
bool LoadLibrary(std::string& sError);
// Unloads the library, when loaded.
void CloseLibrary();

// Loads the library if needed, then usb_init.
bool Init(std::string& sError);
bool FindBusses(int& iBusses, std::string& sError);
bool FindDevices(int& iDevices, std::string& sError);
// The first bus, or nullptr.
usb_bus* GetBusses(std::string& sError);

// The handle of the opened device, or nullptr (a device that can't be opened leaves sError).
// pErrno (may be null) receives the errno the library left on failure (EACCES: no permission).
usb_dev_handle* Open(usb_device* pDevice, int* pErrno, std::string& sError);
usb_dev_handle* Open(usb_device* pDevice, std::string& sError);
bool Close(usb_dev_handle* pDeviceHandle, std::string& sError);
// pCode (may be null) receives the library's result: 0, or a negative error number.
bool SetConfiguration(usb_dev_handle* pDeviceHandle, int iConfiguration, int* pCode, std::string& sError);
bool SetConfiguration(usb_dev_handle* pDeviceHandle, int iConfiguration, std::string& sError);
bool ClaimInterface(usb_dev_handle* pDeviceHandle, int iInterface, int* pCode, std::string& sError);
bool ClaimInterface(usb_dev_handle* pDeviceHandle, int iInterface, std::string& sError);
bool ReleaseInterface(usb_dev_handle* pDeviceHandle, int iInterface, std::string& sError);
bool ClearHalt(usb_dev_handle* pDeviceHandle, int iEndpoint, std::string& sError);

// iSize: in the bytes asked for or offered, out the bytes moved. pCode (may be null) receives
// the library's result: the byte count, or a negative error number.
bool ControlMsg(usb_dev_handle* pDeviceHandle, int bmRequestType, int bRequest, int wValue,
                int wIndex, unsigned char* pData, int& iSize, int iTimeout, int* pCode,
                std::string& sError);
bool BulkWrite(usb_dev_handle* pDeviceHandle, int iEndpoint, unsigned char* pData, int& iSize,
               int iTimeout, int* pCode, std::string& sError);
bool BulkRead(usb_dev_handle* pDeviceHandle, int iEndpoint, unsigned char* pData, int& iSize,
              int iTimeout, int* pCode, std::string& sError);
bool InterruptRead(usb_dev_handle* pDeviceHandle, int iEndpoint, unsigned char* pData,
                   int& iSize, int iTimeout, int* pCode, std::string& sError);

// The ASCII text of string descriptor iIndex.
bool GetStringSimple(usb_dev_handle* pDeviceHandle, int iIndex, std::string& sString,
                     std::string& sError);
// "major.minor.micro.nano" of the library (libusb-win32 only).
bool GetVersion(std::string& sVersion, std::string& sError);

} // namespace LibUsb0
