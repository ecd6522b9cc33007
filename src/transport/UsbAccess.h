// Access to USB instruments for a user who is not root. On Linux the device files of USB
// devices belong to root; the udev rule shipped in packaging/udev/ gives the logged-in user the
// devices that have a USBTMC interface. Without it the libraries list such a device but refuse
// to open it, and this module names the device and the rule in the text of that failure.
#pragma once

#include "transport/UsbSeam.h"

#include <string>

namespace UsbAccess {

// The rule file, as installed into /etc/udev/rules.d/.
inline constexpr const char* cRuleFile = "70-orvanto-usbtmc.rules";

// How DeniedText begins: the start of the sentence that names the device.
inline constexpr const char* cDeniedStart = "The user has no permission to open the USB device ";

// A libusb-1.0 result code that means the user may not open the device.
bool Denied1(int iCode);
// The same for libusb 0.1: an errno value, or a negative result carrying one.
bool Denied0(int iCode);

// "The user has no permission to open the USB device vvvv:pppp (bus b, address a). ..."
// followed by what grants it.
std::string DeniedText(int iVendorId, int iProductId, int iBus, int iAddress);
// The same for a device of the libusb-1.0 list and for one of the 0.1 bus records.
std::string DeniedText(libusb_device* pDevice);
std::string DeniedText(const usb_device& device);

} // namespace UsbAccess
